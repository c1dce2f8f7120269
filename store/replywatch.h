// Limits and failure tests shared by every store request. A watch rides on
// one reply (as its child, so it dies with it), aborts the reply when a limit
// passes, and tells afterwards whether what arrived may be read as the
// store's answer. A reply counts as failed when a limit passed, the network
// layer reported an error, the HTTP status is 400 or above, the body is
// shorter or longer than its Content-Length, or the body is empty.
//
// Limits: the time limits below; a size, past which the reply is cut off
// (so that a wrong or hostile server cannot fill the memory); and
// redirects, which are followed only to the same site over the same or a
// safer scheme (http to https), so that a login's password never goes to
// another host. Every request must be made with verifyRedirects() and get
// its watch at once, or its redirects would wait for a verdict forever.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include "phrase.h"
#include <QTimer>
#include <QUrl>

class QEventLoop;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

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
    // The longest reply read whole: the store's lists, banner lists and
    // banner pictures are kilobytes, a song list of the whole store a few
    // hundred. Downloads of files keep their announced size instead.
    static constexpr qint64 kMaxReplyBytes = qint64(16) << 20;
    // The longest answer that holds one record or a short list (the service
    // status, a version, the sound bank's information, a user, one song's
    // details, the banner list): a few hundred bytes each. These are read on
    // the window's thread, so an answer beyond its kind is refused unread.
    static constexpr qint64 kMaxRecordBytes = qint64(256) << 10;

    // How the client takes the body: whole once the reply has finished (the
    // reply holds all of it meanwhile), or as it comes (the reply holds a
    // little at a time, so a file of any size costs no more memory).
    enum Reading { Whole, AsItComes };

    // `who` names the client in the log lines ("WebCom"); a reply of more
    // than `maxBytes` is cut off and fails.
    ReplyWatch(QNetworkReply *reply, const NetTimeouts &limits, const char *who,
               qint64 maxBytes = kMaxReplyBytes, Reading reading = Whole);

    // Makes the request's redirects wait for the watch's verdict.
    static void verifyRedirects(QNetworkRequest &request);
    // Whether a reply from `from` may be followed to `to` (which may be
    // relative): the same host and port over the same scheme, or from http
    // to https on the standard ports.
    static bool mayRedirect(const QUrl &from, const QUrl &to);

    // Whether `url` is a web address (http or https with a host): the only
    // kind of address a store answer may name for a file or a picture, so
    // that a hostile answer cannot have a local file or a named pipe read.
    static bool isWebAddress(const QUrl &url);

    // Sends `body` with `method` ("POST" or "PUT") so that it goes out once
    // per page: the network layer may send a request again on its own when
    // a connection closes under it before the answer, which for a login
    // would post the password twice; the body is given again only to a
    // redirect the watch allowed. The request must have verifyRedirects();
    // the reply's watch must be made at once, as for any request.
    static QNetworkReply *send(QNetworkAccessManager *manager, const QNetworkRequest &request,
                               const QByteArray &method, const QByteArray &body);

    // A reader that takes the body as it comes says how much it has taken,
    // so that the size limit holds between the network's progress reports.
    void taken(qint64 received) { onBytes(received); }

    // The kinds of failure a reply may have: an error page, an answer too
    // large, a redirect to another site, no answer in time, no server
    // reached, a connection broken off after the answer began, one closed
    // without a web server's answer (another service on the port), no
    // secure connection, another refusal of the network, an empty or an
    // incomplete answer.
    enum class Failure {
        None,
        ErrorStatus,
        TooLarge,
        Elsewhere,
        OutOfTime,
        Unreachable,
        BrokeOff,
        NotWebServer,
        Insecure,
        Refused,
        Empty,
        Incomplete
    };
    Q_ENUM(Failure)
    Failure kind(qint64 received) const;

    // Why the finished reply must not be read, or an empty string when it may.
    // `received` is the number of body bytes the client took from the reply.
    QString failure(qint64 received) const;
    // The same failure in words for the user ("the server cannot be
    // reached"), to go after a colon; empty when there is none.
    QString describe(qint64 received) const;
    // The same kept as a phrase, for a message that stays on screen.
    Phrase reason(qint64 received) const;
    // Whether the failure lies with the connection (no answer, an answer cut
    // off or out of time): what checking the internet connection may mend.
    // False for an answer the server gave (an error, too large, elsewhere).
    bool connectionFailed(qint64 received) const;

private slots:
    void onHeaders();
    void onBytes(qint64 received);
    void onLimit();
    void onRedirected(const QUrl &to);

private:
    friend class OnceBody;
    // Whether the body may be read again from its start: once per redirect
    // the watch allowed, never for a plain repetition.
    bool takeResend();

    enum Refusal { NoRefusal, TooLarge, ElsewhereRedirect };
    Phrase busy() const;
    void expire(const QString &reason, Refusal refusal = NoRefusal);

    QNetworkReply *m_reply;
    NetTimeouts m_limits;
    const char *m_who;
    qint64 m_maxBytes;
    // Beyond the limit, what may arrive before the cut; and what waits
    // unread at most for a client that reads as it comes.
    static constexpr qint64 kReadAhead = qint64(1) << 20;
    Refusal m_refusal = NoRefusal;
    QString m_elsewhere; // the host a refused redirect led to
    QTimer m_connectTimer;
    QTimer m_stallTimer;
    QTimer m_totalTimer;
    QString m_expired;
    int m_resendsAllowed = 0;
};
