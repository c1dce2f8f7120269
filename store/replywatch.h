// Time limits and failure tests shared by every store request. A watch rides
// on one reply (as its child, so it dies with it), aborts the reply when a
// limit passes, and tells afterwards whether what arrived may be read as the
// store's answer. A reply counts as failed when a limit passed, the network
// layer reported an error, the HTTP status is 400 or above, the body is
// shorter or longer than its Content-Length, or the body is empty.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QEventLoop;
class QNetworkReply;

// Runs a nested event loop that `current` points at while it runs (so that a
// reply handler can end it); false when `owner` was destroyed meanwhile, in
// which case nothing of the owner may be touched any more.
bool waitInNestedLoop(QObject *owner, QEventLoop *&current);

struct NetTimeouts
{
    // Until the reply's headers arrive: a host that does not answer.
    int connectMs = 15000;
    // Longest pause between two pieces of the body; 0 for none.
    int stallMs = 0;
    // The whole request, headers and body.
    int totalMs = 60000;

    static NetTimeouts forRequests() { return {}; }
    // A file's length is open-ended: a long total, a stalled transfer ends it.
    static NetTimeouts forDownloads() { return {15000, 30000, 2 * 3600 * 1000}; }
};

class ReplyWatch : public QObject
{
    Q_OBJECT

public:
    // `who` names the client in the log lines ("WebCom").
    ReplyWatch(QNetworkReply *reply, const NetTimeouts &limits, const char *who);

    // Why the finished reply must not be read, or an empty string when it may.
    // `received` is the number of body bytes the client took from the reply.
    QString failure(qint64 received) const;
    // The same failure in words for the user ("the server cannot be
    // reached"), to go after a colon; empty when there is none.
    QString describe(qint64 received) const;

private slots:
    void onHeaders();
    void onBytes();
    void onLimit();

private:
    void expire(const QString &reason);

    QNetworkReply *m_reply;
    NetTimeouts m_limits;
    const char *m_who;
    QTimer m_connectTimer;
    QTimer m_stallTimer;
    QTimer m_totalTimer;
    QString m_expired;
};
