#include "language.h"

#include "resourcepaths.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

QTranslator *translator = nullptr;
QTranslator *systemTranslator = nullptr;

TranslationNames translationNames(int languageCode)
{
    switch (languageCode) {
    case 0:
        return {QStringLiteral("lang_it"), QStringLiteral("qt_it")};
    case 2:
        return {QStringLiteral("lang_de"), QStringLiteral("qt_de")};
    case 3:
        return {QStringLiteral("lang_zh"), QStringLiteral("qt_zh_CN")};
    default:
        return {QStringLiteral("lang_en"), QStringLiteral("qt_en")};
    }
}

int chooseLanguage(QSettings &settings, const QString &systemLocaleName)
{
    const QString key = QStringLiteral("System/Lang");
    if (settings.contains(key)) {
        bool ok = false;
        const int code = settings.value(key, 1).toInt(&ok);
        return ok ? code : 1;
    }
    if (systemLocaleName.startsWith(QLatin1String("it_"))) {
        settings.setValue(key, 0);
        settings.sync();
        return 0;
    }
    return 1;
}

QLocale localeOf(int languageCode)
{
    switch (languageCode) {
    case 0:
        return QLocale(QLocale::Italian, QLocale::Italy);
    case 2:
        return QLocale(QLocale::German, QLocale::Germany);
    case 3:
        return QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::China);
    default:
        return QLocale(QLocale::English, QLocale::UnitedStates);
    }
}

void installTranslators(int languageCode)
{
    const TranslationNames names = translationNames(languageCode);
    // Month names and the kinds of files (the import dialog's columns)
    // follow the language shown, not the system's.
    QLocale::setDefault(localeOf(languageCode));
    const QString folder = QLatin1String(ResourcePaths::languageFolder);

    translator = new QTranslator;
    if (translator->load(names.program, folder)) {
        QCoreApplication::installTranslator(translator);
        qDebug().noquote() << "Loaded translation :" << names.program;
    }
    systemTranslator = new QTranslator;
    if (systemTranslator->load(names.qt, folder)) {
        QCoreApplication::installTranslator(systemTranslator);
        qDebug().noquote() << "Loaded system translation :" << names.qt;
    }
}
