#include "webcom.h"

#include <QDebug>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QWidget>

namespace {

// The program's fixed token for the JSON requests: three base64url parts of
// 36, 24 and 43 characters.
const char kJsonToken[] = "eyJhbGciOiJIUzI1NiIsInR5cCI6IkpXVCJ9"
                          ".eyJhcHAiOiJ2ZWxtYXJwYyJ9"
                          ".q0Vt1mXr2aPcK8sLdN4fWb7hJzEuY3oG6iRkTn9xAvM";

} // namespace

WebCom::WebCom(QWidget *parent)
    : QObject(parent), m_manager(new QNetworkAccessManager(this))
{
    m_request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("VelmarPC 0.0.0"));
    m_request.setHeader(QNetworkRequest::ContentTypeHeader,
                        QByteArrayLiteral("application/x-www-form-urlencoded"));
    ReplyWatch::verifyRedirects(m_request);
}

WebCom::~WebCom()
{
    // A caller still waiting finds the client gone and returns false.
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        delete m_reply;
    }
    if (m_loop)
        m_loop->exit(1);
}

bool WebCom::startAndWaitNetRequest(const QUrl &url, const QByteArray &body,
                                    const ReplyCallback &callback, const QString &method)
{
    return send(url, body, callback, method, false);
}

bool WebCom::startAndWaitNetRequestNew(const QUrl &url, const QByteArray &body,
                                       const ReplyCallback &callback, const QString &method)
{
    qDebug().noquote() << "startNetRequestNew " << url.toString();
    return send(url, body, callback, method, true);
}

bool WebCom::startNetRequest(const QUrl &url, const QByteArray &body, const ReplyCallback &callback,
                             const QString &method)
{
    return begin(url, body, callback, method, false);
}

bool WebCom::send(const QUrl &url, const QByteArray &body, const ReplyCallback &callback,
                  const QString &method, bool json)
{
    if (!begin(url, body, callback, method, json))
        return false;
    if (!waitInNestedLoop(this, m_loop))
        return false;
    m_callback = nullptr;
    return m_replyRead;
}

bool WebCom::begin(const QUrl &url, const QByteArray &body, const ReplyCallback &callback,
                   const QString &method, bool json)
{
    if (!m_busy.testAndSetOrdered(0, 1))
        return false;
    m_failure = {};
    m_connectionFailed = false;
    m_failureKind = ReplyWatch::Failure::None;

    // A copy, so that the JSON headers never stay on the client's request.
    QNetworkRequest request = m_request;
    request.setUrl(url);
    if (json) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        request.setRawHeader("jw_token", kJsonToken);
    }

    QNetworkReply *reply = nullptr;
    if (method == QLatin1String("GET"))
        reply = m_manager->get(request);
    else if (method == QLatin1String("POST"))
        reply = m_manager->post(request, body);
    else if (method == QLatin1String("PUT"))
        reply = m_manager->put(request, body);
    else if (method == QLatin1String("DELETE"))
        reply = m_manager->deleteResource(request);
    if (!reply) {
        qWarning().noquote() << "WebCom: unknown method" << method << "for" << url.toString();
        m_busy.storeRelease(0);
        return false;
    }

    m_reply = reply;
    new ReplyWatch(reply, m_timeouts, "WebCom", m_maxBytes);
    m_callback = callback;
    m_replyRead = false;
    connect(reply, &QNetworkReply::finished, this, &WebCom::parseNetReplayData);
    return true;
}

void WebCom::parseNetReplayData()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    m_reply = nullptr;
    const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
    const ReplyWatch *watch = reply->findChild<ReplyWatch *>();
    const QString failure = watch->failure(body.size());
    m_failure = watch->reason(body.size());
    m_connectionFailed = watch->connectionFailed(body.size());
    m_failureKind = watch->kind(body.size());
    reply->deleteLater();

    QPointer<WebCom> self(this);
    if (failure.isEmpty()) {
        m_replyRead = true;
        if (m_callback)
            m_callback(body);
    } else {
        qWarning().noquote() << "WebCom: request failed," << failure << ":" << reply->url().toString();
    }
    if (!self)
        return;
    m_busy.storeRelease(0);
    if (m_loop)
        m_loop->exit(0);
    else
        m_callback = nullptr;
    emit ended(m_replyRead);
}

QString WebCom::getVarValFromStringReply(const QString &reply, const QString &name)
{
    const QString key = name + QLatin1Char('=');
    int at = 0;
    while ((at = reply.indexOf(key, at)) >= 0) {
        if (at == 0 || reply.at(at - 1) == QLatin1Char('&'))
            break;
        ++at;
    }
    if (at < 0)
        return {};
    const int start = at + key.size();
    const int end = reply.indexOf(QLatin1Char('&'), start);
    return end < 0 ? reply.mid(start) : reply.mid(start, end - start);
}
