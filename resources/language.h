// The language of the user interface and its two translators, installed
// from the translations compiled in here; below the application shell, so
// that the settings page can switch them.
#pragma once

#include <QLocale>
#include <QString>

class QSettings;
class QTranslator;

// The program's translator and Qt's own, as installed.
extern QTranslator *translator;
extern QTranslator *systemTranslator;

struct TranslationNames {
    QString program; // "lang_it", "lang_en", "lang_de" or "lang_zh"
    QString qt;      // Qt's own: "qt_it", "qt_en", "qt_de" or "qt_zh_CN"
};

// Code stored in "System/Lang": 0 Italian, 1 English, 2 German, 3 Chinese;
// anything else is English.
TranslationNames translationNames(int languageCode);

// "System/Lang" when present (1 when it is not a number); otherwise 0 for an
// Italian system locale, which is then stored, and 1 for any other.
int chooseLanguage(QSettings &settings, const QString &systemLocaleName);

// The locale of a code of "System/Lang" (English for an unknown one).
QLocale localeOf(int languageCode);

// Loads and installs `translator` and `systemTranslator` from the resources,
// and makes the language's locale the default one.
void installTranslators(int languageCode);
