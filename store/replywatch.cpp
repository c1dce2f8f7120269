#include "replywatch.h"

#include <QDebug>
#include <QEventLoop>
#include <QNetworkReply>
#include <QPointer>

bool waitInNestedLoop(QObject *owner, QEventLoop *&current)
{
    QPointer<QObject> alive(owner);
    QEventLoop loop;
    current = &loop;
    loop.exec();
    if (!alive)
        return false;
    current = nullptr;
    return true;
}

ReplyWatch::ReplyWatch(QNetworkReply *reply, const NetTimeouts &limits, const char *who)
    : QObject(reply), m_reply(reply), m_limits(limits), m_who(who)
{
    for (QTimer *t : {&m_connectTimer, &m_stallTimer, &m_totalTimer}) {
        t->setSingleShot(true);
        connect(t, &QTimer::timeout, this, &ReplyWatch::onLimit);
    }
    connect(reply, &QNetworkReply::metaDataChanged, this, &ReplyWatch::onHeaders);
    connect(reply, &QNetworkReply::downloadProgress, this, &ReplyWatch::onBytes);
    connect(reply, &QNetworkReply::finished, this, [this] {
        for (QTimer *t : {&m_connectTimer, &m_stallTimer, &m_totalTimer})
            t->stop();
    });
    if (m_limits.connectMs > 0)
        m_connectTimer.start(m_limits.connectMs);
    if (m_limits.totalMs > 0)
        m_totalTimer.start(m_limits.totalMs);
}

void ReplyWatch::onHeaders()
{
    m_connectTimer.stop();
    onBytes();
}

void ReplyWatch::onBytes()
{
    if (m_limits.stallMs > 0 && !m_reply->isFinished())
        m_stallTimer.start(m_limits.stallMs);
}

void ReplyWatch::onLimit()
{
    const QTimer *t = qobject_cast<QTimer *>(sender());
    if (t == &m_connectTimer)
        expire(QStringLiteral("connection time-out after %1 ms").arg(m_limits.connectMs));
    else if (t == &m_stallTimer)
        expire(QStringLiteral("transfer stalled for %1 ms").arg(m_limits.stallMs));
    else
        expire(QStringLiteral("total time-out after %1 ms").arg(m_limits.totalMs));
}

void ReplyWatch::expire(const QString &reason)
{
    if (!m_expired.isEmpty() || m_reply->isFinished())
        return;
    m_expired = reason;
    qWarning().noquote() << m_who << reason << ":" << m_reply->url().toString();
    m_reply->abort();
}

QString ReplyWatch::failure(qint64 received) const
{
    if (!m_expired.isEmpty())
        return m_expired;
    if (m_reply->error() != QNetworkReply::NoError)
        return QStringLiteral("network error %1 (%2)").arg(int(m_reply->error())).arg(m_reply->errorString());
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() >= 400)
        return QStringLiteral("HTTP status %1").arg(status.toInt());
    // A compressed body is counted after unpacking, so its length says nothing.
    const QVariant announced = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && !m_reply->hasRawHeader("Content-Encoding")
        && announced.toLongLong() != received)
        return QStringLiteral("body of %1 bytes, %2 announced").arg(received).arg(announced.toLongLong());
    if (received == 0)
        return QStringLiteral("empty body");
    return {};
}

QString ReplyWatch::describe(qint64 received) const
{
    if (failure(received).isEmpty())
        return {};
    if (!m_expired.isEmpty())
        return tr("the server did not answer in time");
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() >= 400)
        return tr("the server answered with error %1").arg(status.toInt());
    switch (m_reply->error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
        return tr("the server cannot be reached");
    case QNetworkReply::RemoteHostClosedError:
        return tr("the connection broke off");
    default:
        return m_reply->errorString();
    }
    return received == 0 ? tr("the server sent an empty answer") : tr("the answer arrived incomplete");
}
