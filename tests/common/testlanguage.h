// The program's and Qt's translations of one language installed for as long
// as the object lives, as the settings page installs them: every window gets
// the language change at once, and again when the object goes.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QString>
#include <QTranslator>

#include <memory>
#include <vector>

class TestLanguage
{
public:
    // "it", "en", "de" or "zh".
    explicit TestLanguage(const QString &code)
    {
        const QString qt = code == QLatin1String("zh") ? QStringLiteral("qt_zh_CN") : QStringLiteral("qt_") + code;
        for (const QString &name : {QStringLiteral("lang_") + code, qt}) {
            auto t = std::make_unique<QTranslator>();
            if (!t->load(name, QStringLiteral(":/Language/")))
                qFatal("no translation %s", qPrintable(name));
            QCoreApplication::installTranslator(t.get());
            installed.push_back(std::move(t));
        }
        // The windows get the change posted, as in the running program.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    }
    ~TestLanguage()
    {
        for (const auto &t : installed)
            QCoreApplication::removeTranslator(t.get());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    }
    TestLanguage(const TestLanguage &) = delete;
    TestLanguage &operator=(const TestLanguage &) = delete;

private:
    std::vector<std::unique_ptr<QTranslator>> installed;
};
