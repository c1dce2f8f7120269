#include "replywatch.h"

#include <QDateTime>
#include <QDebug>
#include <QEventLoop>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include <algorithm>

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

// A request body the network layer may read again from its start only when
// the reply's watch lets it: after a redirect, not to repeat a request whose
// connection closed before its answer (the server may have taken it).
class OnceBody : public QIODevice
{
public:
    explicit OnceBody(const QByteArray &data) : m_data(data) { open(ReadOnly | Unbuffered); }

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_data.size(); }
    bool reset() override { return seek(0); }
    bool seek(qint64 to) override
    {
        if (to == pos())
            return QIODevice::seek(to);
        const auto *reply = qobject_cast<QNetworkReply *>(parent());
        ReplyWatch *watch = reply ? reply->findChild<ReplyWatch *>() : nullptr;
        if (to != 0 || !watch || !watch->takeResend()) {
            qWarning().noquote() << "request body not sent again:" << (reply ? reply->url().toString() : QString());
            return false;
        }
        return QIODevice::seek(to);
    }

protected:
    qint64 readData(char *data, qint64 most) override
    {
        const qint64 n = qBound<qint64>(0, m_data.size() - pos(), most);
        memcpy(data, m_data.constData() + pos(), size_t(n));
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const QByteArray m_data;
};

QNetworkReply *ReplyWatch::send(QNetworkAccessManager *manager, const QNetworkRequest &request,
                                const QByteArray &method, const QByteArray &body)
{
    Q_ASSERT(request.attribute(QNetworkRequest::RedirectPolicyAttribute).toInt()
             == QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkRequest sized = request;
    sized.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    auto *data = new OnceBody(body);
    QNetworkReply *reply = method == "PUT" ? manager->put(sized, data) : manager->post(sized, data);
    data->setParent(reply);
    return reply;
}

bool ReplyWatch::takeResend()
{
    if (m_resendsAllowed <= 0)
        return false;
    --m_resendsAllowed;
    return true;
}

ReplyWatch::ReplyWatch(QNetworkReply *reply, const NetTimeouts &limits, const char *who, qint64 maxBytes,
                       Reading reading)
    : QObject(reply), m_reply(reply), m_limits(limits), m_who(who), m_maxBytes(maxBytes)
{
    Q_ASSERT(reply->request().attribute(QNetworkRequest::RedirectPolicyAttribute).toInt()
             == QNetworkRequest::UserVerifiedRedirectPolicy);
    // The transfer pauses once a little more than the limit waits unread, so
    // the cut comes before the memory fills; a reader that takes the body as
    // it comes never lets more than kReadAhead wait. Set once the request is
    // under way: the network thread takes no read limit given before.
    const qint64 buffer = reading == AsItComes ? kReadAhead : m_maxBytes > 0 ? m_maxBytes + kReadAhead : 0;
    if (buffer > 0)
        QMetaObject::invokeMethod(
            this, [this, buffer] { m_reply->setReadBufferSize(buffer); }, Qt::QueuedConnection);
    for (QTimer *t : {&m_connectTimer, &m_stallTimer, &m_totalTimer}) {
        t->setSingleShot(true);
        connect(t, &QTimer::timeout, this, &ReplyWatch::onLimit);
    }
    connect(reply, &QNetworkReply::metaDataChanged, this, &ReplyWatch::onHeaders);
    connect(reply, &QNetworkReply::downloadProgress, this, &ReplyWatch::onBytes);
    // Progress reports come at most every 100 ms: the last one before the
    // transfer pauses may never come, but the data's arrival does.
    connect(reply, &QNetworkReply::readyRead, this, [this] {
        if (m_maxBytes > 0 && m_reply->bytesAvailable() > m_maxBytes)
            onBytes(m_reply->bytesAvailable());
    });
    connect(reply, &QNetworkReply::redirected, this, &ReplyWatch::onRedirected);
    connect(reply, &QNetworkReply::finished, this, [this] {
        for (QTimer *t : {&m_connectTimer, &m_stallTimer, &m_totalTimer})
            t->stop();
    });
    if (m_limits.connectMs > 0)
        m_connectTimer.start(m_limits.connectMs);
    if (m_limits.totalMs > 0)
        m_totalTimer.start(m_limits.totalMs);
}

void ReplyWatch::verifyRedirects(QNetworkRequest &request)
{
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
}

bool ReplyWatch::mayRedirect(const QUrl &from, const QUrl &to)
{
    const QUrl target = from.resolved(to);
    if (target.host().compare(from.host(), Qt::CaseInsensitive) != 0)
        return false;
    const QString a = from.scheme().toLower();
    const QString b = target.scheme().toLower();
    const auto standardPort = [](const QString &scheme) { return scheme == QLatin1String("https") ? 443 : 80; };
    if (a == b)
        return (a == QLatin1String("http") || a == QLatin1String("https"))
               && from.port(standardPort(a)) == target.port(standardPort(b));
    return a == QLatin1String("http") && b == QLatin1String("https") && from.port(80) == 80
           && target.port(443) == 443;
}

bool ReplyWatch::isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
           && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

void ReplyWatch::onHeaders()
{
    m_connectTimer.stop();
    // The network layer takes the body again for a redirect before the
    // redirect is reported: the answer's status is all there is to go by.
    // One that is refused sends nothing anyway.
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 307 || status == 308)
        ++m_resendsAllowed;
    const QVariant announced = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (m_maxBytes > 0 && announced.isValid() && announced.toLongLong() > m_maxBytes)
        expire(QStringLiteral("reply of %1 bytes announced, %2 at most").arg(announced.toLongLong()).arg(m_maxBytes),
               TooLarge);
    else
        onBytes(0);
}

void ReplyWatch::onBytes(qint64 received)
{
    if (m_maxBytes > 0 && received > m_maxBytes) {
        expire(QStringLiteral("reply longer than %1 bytes").arg(m_maxBytes), TooLarge);
        return;
    }
    if (m_limits.stallMs > 0 && !m_reply->isFinished())
        m_stallTimer.start(m_limits.stallMs);
}

void ReplyWatch::onRedirected(const QUrl &to)
{
    // Checked against the address first asked for, so a chain of redirects
    // cannot wander off one hop at a time.
    const QUrl from = m_reply->request().url();
    if (mayRedirect(from, to)) {
        emit m_reply->redirectAllowed();
        return;
    }
    m_elsewhere = from.resolved(to).host();
    expire(QStringLiteral("redirect to %1 refused").arg(from.resolved(to).toString()), ElsewhereRedirect);
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

void ReplyWatch::expire(const QString &reason, Refusal refusal)
{
    if (!m_expired.isEmpty() || m_reply->isFinished())
        return;
    m_expired = reason;
    m_refusal = refusal;
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

ReplyWatch::Failure ReplyWatch::kind(qint64 received) const
{
    if (failure(received).isEmpty())
        return Failure::None;
    // An error page is told as such, however it ended.
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() >= 400)
        return Failure::ErrorStatus;
    if (m_refusal == TooLarge)
        return Failure::TooLarge;
    if (m_refusal == ElsewhereRedirect)
        return Failure::Elsewhere;
    if (!m_expired.isEmpty())
        return Failure::OutOfTime;
    // A redirect's status is the last answer's until the next one begins.
    const int code = status.toInt();
    const bool answerBegan = status.isValid() && (code < 300 || code >= 400);
    switch (m_reply->error()) {
    case QNetworkReply::NoError:
        return received == 0 ? Failure::Empty : Failure::Incomplete;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
        return Failure::Unreachable;
    case QNetworkReply::RemoteHostClosedError:
        // The network layer takes an answer whose first line is no HTTP
        // status line (a mail or shell server's greeting, any other service
        // on the port) for a connection the server closed, as it does one
        // closed before any answer: either way no web server answered, and
        // the internet connection is not to blame.
        return answerBegan ? Failure::BrokeOff : Failure::NotWebServer;
    case QNetworkReply::ContentReSendError:
        // A request whose body may not go twice (a login) ends so where
        // another ends as a closed connection: the same two cases.
        return answerBegan ? Failure::BrokeOff : Failure::NotWebServer;
    case QNetworkReply::SslHandshakeFailedError:
        return Failure::Insecure;
    default:
        return Failure::Refused;
    }
}

Phrase ReplyWatch::reason(qint64 received) const
{
    switch (kind(received)) {
    case Failure::None:
        return {};
    case Failure::ErrorStatus: {
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status == 503)
            return busy();
        return Phrase("ReplyWatch", QT_TR_NOOP("the server answered with error %1")).arg(status);
    }
    case Failure::TooLarge:
        return Phrase("ReplyWatch", QT_TR_NOOP("the server's answer was too large"));
    case Failure::Elsewhere:
        return Phrase("ReplyWatch", QT_TR_NOOP("the server sent the request on to another site (%1), where the "
                                               "program sends nothing"))
            .arg(m_elsewhere);
    case Failure::OutOfTime:
        return Phrase("ReplyWatch", QT_TR_NOOP("the server did not answer in time"));
    case Failure::Unreachable:
        return Phrase("ReplyWatch", QT_TR_NOOP("the server cannot be reached"));
    case Failure::BrokeOff:
        return Phrase("ReplyWatch", QT_TR_NOOP("the connection broke off"));
    case Failure::NotWebServer:
        return Phrase("ReplyWatch", QT_TR_NOOP("the server closed the connection without answering as a web "
                                               "server does"));
    // The library's own words (OpenSSL's, in English) go to the log only.
    case Failure::Insecure:
        return Phrase("ReplyWatch", QT_TR_NOOP("no secure connection could be made with the server"));
    case Failure::Refused:
        return Phrase("ReplyWatch", QT_TR_NOOP("the network refused the request (error %1)"))
            .arg(int(m_reply->error()));
    case Failure::Empty:
        return Phrase("ReplyWatch", QT_TR_NOOP("the server sent an empty answer"));
    case Failure::Incomplete:
        return Phrase("ReplyWatch", QT_TR_NOOP("the answer arrived incomplete"));
    }
    return {};
}

// Every place of the store taken: said with when to try again, as the
// store's Retry-After gives it (seconds, or a date), else in a few minutes.
Phrase ReplyWatch::busy() const
{
    const QByteArray retry = m_reply->rawHeader("Retry-After").trimmed();
    bool isNumber = false;
    qint64 seconds = retry.toLongLong(&isNumber);
    if (!isNumber && !retry.isEmpty()) {
        const QDateTime at = QDateTime::fromString(QString::fromLatin1(retry), Qt::RFC2822Date);
        seconds = at.isValid() ? QDateTime::currentDateTimeUtc().secsTo(at) : -1;
    }
    if (retry.isEmpty() || seconds < 0)
        return Phrase("ReplyWatch", QT_TR_NOOP("the store is busy; try again in a few minutes"));
    // Never more than a day is said, whatever the store's number.
    seconds = std::min<qint64>(seconds, 24 * 60 * 60);
    if (seconds <= 5)
        return Phrase("ReplyWatch", QT_TR_NOOP("the store is busy; try again in a moment"));
    if (seconds < 120)
        return Phrase("ReplyWatch", QT_TR_NOOP("the store is busy; try again in %1 seconds")).arg(int(seconds));
    // Counted up, never sooner than the store said: an hour and a half and
    // more in hours.
    const int minutes = int((seconds + 59) / 60);
    if (minutes < 90)
        return Phrase("ReplyWatch", QT_TR_NOOP("the store is busy; try again in %1 minutes")).arg(minutes);
    return Phrase("ReplyWatch", QT_TR_NOOP("the store is busy; try again in %1 hours")).arg((minutes + 59) / 60);
}

bool ReplyWatch::connectionFailed(qint64 received) const
{
    switch (kind(received)) {
    case Failure::OutOfTime:
    case Failure::Unreachable:
    case Failure::BrokeOff:
    case Failure::Incomplete:
        return true;
    default:
        return false;
    }
}

QString ReplyWatch::describe(qint64 received) const
{
    return reason(received).text();
}
