// Where the store and the version checker live. Every request of the store
// client builds its address here, so one environment variable moves a whole
// role: VELMAR_STORE_URL for the store host, VELMAR_CHECK_URL for the version
// checker (tests point both at a local server; the README names them).
#pragma once

#include <QString>
#include <QUrl>

struct StoreEndpoints
{
    // Base addresses without a trailing "/", read from the environment at
    // every call so that a test can move them before it starts a request.
    static QString storeBase();
    static QString checkBase();

    // Base address + path ("/service/login.php").
    static QUrl storeUrl(const QString &path);
    static QUrl checkUrl(const QString &path);
};
