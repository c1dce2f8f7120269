// Downloads one file over HTTP into a folder. The body streams into "<file>.part" beside the target; only a
// complete download (within 10 bytes of the announced size, no network or
// HTTP error) replaces the target, in one rename. A cancelled or failed
// download removes the part file and leaves an existing target as it was.
// startDownload() runs it in the background and tells its end by ended();
// startDownloadSync() waits for it in a nested event loop on the GUI thread,
// so the caller's dialog keeps running and its cancel button reaches
// onUserAbort().
#pragma once

#include "replywatch.h"

#include <QCryptographicHash>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QString>

class QEventLoop;

class DownloadMngr : public QObject
{
    Q_OBJECT

public:
    enum Result { Complete = 0, Cancelled = 1, Failed = 2 };

    explicit DownloadMngr(QObject *parent = nullptr);
    ~DownloadMngr() override;

    // Filled by the caller before startDownloadSync().
    QString m_url;
    QString m_destFolder;
    QString m_fileName;
    quint32 m_fileSize = 0;

    // Runs the download to its end: 0 complete, 1 cancelled by the user or
    // overwrite refused, 2 failed (an announced size of 0 fails at once).
    int startDownloadSync();
    // The same in the background: ended() tells the result, also of a
    // download that fails or is refused before its request.
    void startDownload();
    QString getDestFullPath() const { return m_destFullPath; }
    // MD5 of the bytes that arrived (lower-case hex), taken as they came.
    QByteArray md5() const { return m_md5.result().toHex(); }
    // Why the last download failed, in words for the user ("the server
    // answered with error 404"); empty after a complete or cancelled one.
    QString failureText() const { return m_failure.text(); }
    Phrase failure() const { return m_failure; }
    // The last failure lies with the connection: no answer, or a file that
    // arrived incomplete (ReplyWatch::connectionFailed).
    bool connectionFailed() const { return m_connectionFailed; }
    // What kind of failure the reply had; None for a failure on this side
    // (no address or size given, the disk) or none at all.
    ReplyWatch::Failure failureKind() const { return m_failureKind; }
    // Ends the wait without cancelling the transfer; the result stays failed.
    void close();

    void setTimeouts(const NetTimeouts &limits) { m_timeouts = limits; }

    // Removes the part files of every download under way, from any thread:
    // for a process that ends without waiting for them.
    static void removePartFilesNow();

signals:
    void progressValChanged(qint64 received, qint64 total);
    // The transfer has ended with `result` and the file is in place or gone;
    // sent at once, while startDownloadSync() returns only once every wait
    // started inside its own has ended. Not sent when startDownloadSync()
    // fails before its request.
    void ended(int result);

public slots:
    void onUserAbort();
    void onProgressValChanged(qint64 received, qint64 total);
    void onReplyFinished();
    void onReplyReadyRead();
    void onNetError(QNetworkReply::NetworkError code);

private:
    QString partPath() const;
    Phrase writeFailure(int error) const;
    // The result when the download ended before its request, -1 once the
    // request is under way.
    int begin();
    void endWait();
    void conclude();
    bool sizeMatches(qint64 written) const;
    // The most bytes the announced size lets through.
    qint64 largestAccepted() const;

    QNetworkAccessManager m_manager;
    QNetworkRequest m_request;
    QPointer<QNetworkReply> m_reply;
    QEventLoop *m_loop = nullptr;
    QString m_destFullPath;
    QFile m_part;
    QCryptographicHash m_md5{QCryptographicHash::Md5};
    qint64 m_received = 0;
    bool m_writeFailed = false;
    bool m_finished = true;
    int m_result = Failed;
    Phrase m_failure;
    bool m_connectionFailed = false;
    ReplyWatch::Failure m_failureKind = ReplyWatch::Failure::None;
    NetTimeouts m_timeouts = NetTimeouts::forDownloads();
};
