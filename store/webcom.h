// The store client's request: one request at a time per client, waited for in
// a nested event loop on the GUI thread, so a caller reads like a plain call
// while the GUI keeps repainting and handling timers. The reply body goes to
// the caller's callback before the call returns.
//
// The call returns true only when the reply may be read as the store's answer
// (see ReplyWatch for what fails); on failure, on a busy client or on an
// unknown method the callback is not called and the call returns false.
// Every request ends within the client's time limits.
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

    // The value of `name` in a text of name=value pairs joined by "&", as it
    // stands (no decoding); a null string when the name is missing. The name
    // matches whole keys only: "a" is not found in "xa=5".
    static QString getVarValFromStringReply(const QString &reply, const QString &name);

    void setTimeouts(const NetTimeouts &limits) { m_timeouts = limits; }
    // A request is waiting for its reply.
    bool isBusy() const { return m_busy.loadAcquire() != 0; }
    // Why the last request failed, in words for the user; empty after one
    // that was read.
    QString failureText() const { return m_failure.text(); }
    Phrase failure() const { return m_failure; }

public slots:
    void parseNetReplayData();

private:
    bool send(const QUrl &url, const QByteArray &body, const ReplyCallback &callback,
              const QString &method, bool json);

    QAtomicInt m_busy;
    QNetworkAccessManager *m_manager;
    QNetworkRequest m_request;
    QPointer<QNetworkReply> m_reply;
    QEventLoop *m_loop = nullptr;
    ReplyCallback m_callback;
    NetTimeouts m_timeouts = NetTimeouts::forRequests();
    bool m_replyRead = false;
    Phrase m_failure;
};
