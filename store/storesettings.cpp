#include "storesettings.h"

#include <QPointer>
#include <QSettings>

#include <memory>

namespace {
QPointer<QSettings> handedIn;
}

void setStoreSettings(QSettings *settings)
{
    handedIn = settings;
}

QSettings &storeSettings()
{
    if (handedIn)
        return *handedIn;
    static std::unique_ptr<QSettings> own;
    if (!own) {
        own = std::make_unique<QSettings>(QStringLiteral("Kvero"), QStringLiteral("VelmarPC"));
        own->setFallbacksEnabled(false);
    }
    return *own;
}
