// The store client's request: one request at a time per client. Sent with
// startNetRequest() it runs in the background: the callback gets the body
// and ended() follows, so no other wait is held by it. startAndWait...()
// waits for it in a nested event loop on the GUI thread instead, so a caller
// reads like a plain call while the GUI keeps repainting and handling timers;
// such a wait returns only after every wait started inside it, so it is kept
// for callers that nothing else can start within.
//
// A request counts as read only when the reply may be read as the store's
// answer (see ReplyWatch for what fails); on failure, on a busy client or on
// an unknown method the callback is not called (and a waiting call returns
// false). Every request ends within the client's time limits.
#pragma once

#include "replywatch.h"

#include <QAtomicInt>
#include <QByteArray>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class QEventLoop;
class QNetworkAccessManager;
class QNetworkReply;
class QWidget;

class WebCom : public QObject
{
    Q_OBJECT

public:
    using ReplyCallback = std::function<void(const QByteArray &body)>;

    explicit WebCom(QWidget *parent = nullptr);
    ~WebCom() override;

    // Method "GET", "POST", "PUT" or "DELETE" (case-sensitive); the body goes
    // with "POST" and "PUT" only.
    bool startAndWaitNetRequest(const QUrl &url, const QByteArray &body,
                                const ReplyCallback &callback, const QString &method);
    // The same with a JSON body and the program's token header.
    bool startAndWaitNetRequestNew(const QUrl &url, const QByteArray &body,
                                   const ReplyCallback &callback, const QString &method);

    // The same without waiting: false at once when the client is busy or the
    // method unknown (and ended() does not follow); otherwise the callback
    // gets a readable body and ended() follows once the reply has ended.
    bool startNetRequest(const QUrl &url, const QByteArray &body, const ReplyCallback &callback,
                         const QString &method);

    // The value of `name` in a text of name=value pairs joined by "&", as it
    // stands (no decoding); a null string when the name is missing. The name
    // matches whole keys only: "a" is not found in "xa=5".
    static QString getVarValFromStringReply(const QString &reply, const QString &name);

    void setTimeouts(const NetTimeouts &limits) { m_timeouts = limits; }
    // The longest answer read (ReplyWatch::kMaxReplyBytes unless set).
    void setReplyLimit(qint64 bytes) { m_maxBytes = bytes; }
    // A request is waiting for its reply.
    bool isBusy() const { return m_busy.loadAcquire() != 0; }
    // Why the last request failed, in words for the user; empty after one
    // that was read.
    QString failureText() const { return m_failure.text(); }
    Phrase failure() const { return m_failure; }
    // The last failure lies with the connection (ReplyWatch::connectionFailed).
    bool connectionFailed() const { return m_connectionFailed; }
    // What kind of failure the last request had.
    ReplyWatch::Failure failureKind() const { return m_failureKind; }

signals:
    // A request has ended; `read` when its answer went to the callback.
    void ended(bool read);

public slots:
    void parseNetReplayData();

private:
    bool begin(const QUrl &url, const QByteArray &body, const ReplyCallback &callback,
               const QString &method, bool json);
    bool send(const QUrl &url, const QByteArray &body, const ReplyCallback &callback,
              const QString &method, bool json);

    QAtomicInt m_busy;
    QNetworkAccessManager *m_manager;
    QNetworkRequest m_request;
    QPointer<QNetworkReply> m_reply;
    QEventLoop *m_loop = nullptr;
    ReplyCallback m_callback;
    NetTimeouts m_timeouts = NetTimeouts::forRequests();
    qint64 m_maxBytes = ReplyWatch::kMaxReplyBytes;
    bool m_replyRead = false;
    Phrase m_failure;
    bool m_connectionFailed = false;
    ReplyWatch::Failure m_failureKind = ReplyWatch::Failure::None;
};
