#include "appsettings.h"

#include <QSettings>

QSettings *appSettings = nullptr;

QSettings &programSettings()
{
    if (!appSettings) {
        appSettings = new QSettings(QStringLiteral("Kvero"), QStringLiteral("VelmarPC"));
        appSettings->setFallbacksEnabled(false);
    }
    return *appSettings;
}
