#include "storeendpoints.h"

namespace {

QString baseFrom(const char *variable, const char *fallback)
{
    QString base = qEnvironmentVariable(variable);
    if (base.isEmpty())
        base = QString::fromLatin1(fallback);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

} // namespace

QString StoreEndpoints::storeBase()
{
    return baseFrom("VELMAR_STORE_URL", "https://store.melodrome.com");
}

QString StoreEndpoints::checkBase()
{
    return baseFrom("VELMAR_CHECK_URL", "http://check.melodrome.com");
}

QUrl StoreEndpoints::storeUrl(const QString &path)
{
    return QUrl(storeBase() + path);
}

QUrl StoreEndpoints::checkUrl(const QString &path)
{
    return QUrl(checkBase() + path);
}
