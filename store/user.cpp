#include "user.h"

#include <QSettings>
#include <QUuid>

namespace {
const QString kGroup = QStringLiteral("User");
}

User::User(const QString &name, const QString &surname, quint32 user_id, const QString &email,
           const QString &currency, float songNet)
    : name(name), surname(surname), user_id(user_id), email(email), currency(currency), songNet(songNet)
{
}

void User::forgot()
{
    name.clear();
    surname.clear();
    email.clear();
    currency.clear();
    user_id = 0;
    songNet = 0;
}

void User::restore(QSettings &settings)
{
    settings.beginGroup(kGroup);
    name = settings.value(QStringLiteral("name")).toString();
    surname = settings.value(QStringLiteral("surname")).toString();
    user_id = settings.value(QStringLiteral("user_id")).toUInt();
    email = settings.value(QStringLiteral("email")).toString();
    currency = settings.value(QStringLiteral("currency")).toString();
    songNet = settings.value(QStringLiteral("songnet")).toFloat();
    device = settings.value(QStringLiteral("device")).toString();
    settings.endGroup();
    if (device.isEmpty()) {
        device = QUuid::createUuid().toString(QUuid::WithoutBraces);
        save(settings);
    }
}

void User::save(QSettings &settings) const
{
    settings.beginGroup(kGroup);
    settings.remove(QString());
    settings.setValue(QStringLiteral("device"), device);
    if (isUserLogged()) {
        settings.setValue(QStringLiteral("name"), name);
        settings.setValue(QStringLiteral("surname"), surname);
        settings.setValue(QStringLiteral("user_id"), user_id);
        settings.setValue(QStringLiteral("email"), email);
        settings.setValue(QStringLiteral("currency"), currency);
        settings.setValue(QStringLiteral("songnet"), songNet);
    }
    settings.endGroup();
    settings.sync();
}
