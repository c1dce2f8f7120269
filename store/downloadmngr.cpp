#include "downloadmngr.h"

#include "SafeSave.h"
#include "prompter.h"

#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMetaEnum>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <unistd.h>

namespace {
// The part files being written, for an end of the process that cannot wait
// for their downloads.
std::mutex g_partsLock;
std::set<std::string> g_parts;

void partOpened(const QString &path)
{
    const std::lock_guard<std::mutex> lock(g_partsLock);
    g_parts.insert(QFile::encodeName(path).toStdString());
}

void partGone(const QString &path)
{
    const std::lock_guard<std::mutex> lock(g_partsLock);
    g_parts.erase(QFile::encodeName(path).toStdString());
}
} // namespace

void DownloadMngr::removePartFilesNow()
{
    const std::lock_guard<std::mutex> lock(g_partsLock);
    for (const std::string &path : g_parts)
        ::unlink(path.c_str());
    g_parts.clear();
}

DownloadMngr::DownloadMngr(QObject *parent) : QObject(parent)
{
    m_request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Quorin5 0.0.0"));
    ReplyWatch::verifyRedirects(m_request);
}

DownloadMngr::~DownloadMngr()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
    if (m_loop)
        m_loop->exit(1);
    if (m_part.isOpen()) {
        m_part.close();
        m_part.remove();
        partGone(m_part.fileName());
    }
}

int DownloadMngr::startDownloadSync()
{
    const int early = begin();
    if (early >= 0)
        return early;
    if (!waitInNestedLoop(this, m_loop))
        return Failed;
    return m_result;
}

void DownloadMngr::startDownload()
{
    const int early = begin();
    if (early >= 0) {
        m_result = early;
        QMetaObject::invokeMethod(this, [this, early] { emit ended(early); }, Qt::QueuedConnection);
    }
}

// The part file beside the song within the folder's longest name: a long
// song name is cut for it, as a save's file of its own is, not refused.
QString DownloadMngr::partPath() const
{
    static const QByteArray tail(".part");
    const QByteArray folder = QFile::encodeName(QFileInfo(m_destFullPath).absolutePath());
    const QByteArray name = QFile::encodeName(QFileInfo(m_destFullPath).fileName());
    long longest = ::pathconf(folder.constData(), _PC_NAME_MAX);
    if (longest <= 0)
        longest = NAME_MAX;
    qsizetype keep = std::min<qsizetype>(name.size(), qsizetype(longest) - tail.size());
    // Not inside a UTF-8 character.
    while (keep > 0 && keep < name.size() && (uint8_t(name[keep]) & 0xC0) == 0x80)
        --keep;
    return QFile::decodeName(folder + '/' + name.left(std::max<qsizetype>(keep, 0)) + tail);
}

// Why the song's file could not be made, by what the system said.
Phrase DownloadMngr::writeFailure(int error) const
{
    const QString folder = QDir::toNativeSeparators(m_destFolder);
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return Phrase("DownloadMngr", QT_TR_NOOP("the disk of %1 is full")).arg(folder);
    case EACCES:
    case EPERM:
    case EROFS:
        return Phrase("DownloadMngr", QT_TR_NOOP("the folder %1 is read-only")).arg(folder);
    case ENAMETOOLONG:
        return Phrase("DownloadMngr", QT_TR_NOOP("the song's name is too long for the folder %1")).arg(folder);
    default:
        return Phrase("DownloadMngr", QT_TR_NOOP("the file cannot be written in %1 (%2)"))
            .arg(folder)
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

int DownloadMngr::begin()
{
    m_finished = false;
    m_failure = {};
    m_connectionFailed = false;
    m_failureKind = ReplyWatch::Failure::None;
    m_destFullPath = m_destFolder;
    if (!m_destFullPath.endsWith(QLatin1Char('/')))
        m_destFullPath += QLatin1Char('/');
    m_destFullPath += m_fileName;

    const QUrl address(m_url, QUrl::TolerantMode);
    if (!ReplyWatch::isWebAddress(address)) {
        qWarning().noquote() << "DownloadMngr: not a web address:" << m_url;
        m_failure = Phrase("DownloadMngr", QT_TR_NOOP("the server named no web address for the file"));
        m_finished = true;
        return Failed;
    }

    // Only a yes overwrites: a question left unanswered (a signal ending the
    // program closes it) keeps the file there.
    if (QFileInfo::exists(m_destFullPath)
        && Prompter::question(tr("This file already exists"),
                              tr("This file is already present, overwrite?"),
                              QMessageBox::Yes | QMessageBox::No)
               != QMessageBox::Yes) {
        m_finished = true;
        return Cancelled;
    }
    // With no announced size any short error page would pass the size test.
    if (m_fileSize == 0) {
        qWarning().noquote() << "DownloadMngr: no file size announced for" << m_url;
        m_failure = Phrase("DownloadMngr", QT_TR_NOOP("the server announced no file size"));
        m_finished = true;
        return Failed;
    }

    m_part.setFileName(partPath());
    if (!m_part.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const int why = errno;
        qWarning().noquote() << "destination file not open :" << m_part.fileName() << ":" << m_part.errorString();
        m_failure = writeFailure(why);
        m_finished = true;
        return Failed;
    }
    partOpened(m_part.fileName());
    m_received = 0;
    m_md5.reset();
    m_writeFailed = false;

    m_request.setUrl(address);
    QNetworkReply *reply = m_manager.get(m_request);
    m_reply = reply;
    // A file goes to the disk as it comes, up to the size announced for it.
    new ReplyWatch(reply, m_timeouts, "DownloadMngr", largestAccepted(), ReplyWatch::AsItComes);
    connect(reply, &QNetworkReply::finished, this, &DownloadMngr::onReplyFinished);
    connect(reply, &QNetworkReply::readyRead, this, &DownloadMngr::onReplyReadyRead);
    connect(reply, &QNetworkReply::downloadProgress, this, &DownloadMngr::onProgressValChanged);
    connect(reply, &QNetworkReply::errorOccurred, this, &DownloadMngr::onNetError);

    m_result = Failed;
    return -1;
}

// Run as soon as the transfer ends: the wait may return only much later,
// when another wait was started inside it.
void DownloadMngr::conclude()
{
    m_part.close();
    if (m_result == Complete
        && std::rename(QFile::encodeName(m_part.fileName()).constData(),
                       QFile::encodeName(m_destFullPath).constData())
               != 0) {
        const int why = errno;
        qWarning().noquote() << "DownloadMngr: cannot replace" << m_destFullPath << ":" << std::strerror(why);
        m_failure = writeFailure(why);
        m_result = Failed;
    }
    // A song's backup was of the file just replaced: the next edit makes one of this.
    if (m_result == Complete)
        QFile::remove(SafeSave::backupPath(m_destFullPath));
    if (m_result != Complete)
        m_part.remove();
    partGone(m_part.fileName());
    m_finished = true;
    emit ended(m_result);
}

void DownloadMngr::onReplyReadyRead()
{
    if (!m_reply)
        return;
    const QByteArray chunk = m_reply->readAll();
    m_received += chunk.size();
    if (ReplyWatch *watch = m_reply->findChild<ReplyWatch *>())
        watch->taken(m_received);
    if (!m_reply)
        return;
    if (m_writeFailed)
        return;
    if (!m_part.isOpen()) {
        qWarning().noquote() << "destination file not open :" << m_destFullPath;
        return;
    }
    m_md5.addData(chunk);
    if (m_part.write(chunk) != chunk.size()) {
        // A full disk: the rest cannot be kept, so stop fetching it.
        qWarning().noquote() << "DownloadMngr: cannot write" << m_part.fileName() << ":"
                             << m_part.errorString();
        m_writeFailed = true;
        m_reply->abort();
    }
}

void DownloadMngr::onProgressValChanged(qint64 received, qint64 total)
{
    emit progressValChanged(received, total);
}

bool DownloadMngr::sizeMatches(qint64 written) const
{
    // Ten bytes either way count as complete; the store's sizes may rely on
    // it. Below ten bytes only the exact size does.
    const qint64 expected = m_fileSize;
    if (written == expected)
        return true;
    return expected >= 10 && written >= expected - 10 && written <= largestAccepted();
}

qint64 DownloadMngr::largestAccepted() const
{
    const qint64 expected = m_fileSize;
    return expected >= 10 ? expected + 10 : expected;
}

void DownloadMngr::onReplyFinished()
{
    if (!m_reply)
        return;
    m_result = Failed;
    if (m_reply->bytesAvailable() > 0)
        onReplyReadyRead();
    m_part.flush();
    const qint64 written = m_part.size();
    qDebug() << "numByteWrited :" << written;
    qDebug() << "m_fileSize :" << m_fileSize;

    const ReplyWatch *watch = m_reply->findChild<ReplyWatch *>();
    const QString failure = watch->failure(m_received);
    if (!failure.isEmpty())
        qWarning().noquote() << "DownloadMngr: download failed," << failure << ":" << m_url;
    if (m_writeFailed) {
        m_failure = Phrase("DownloadMngr", QT_TR_NOOP("the disk is full or cannot be written"));
    } else if (!failure.isEmpty()) {
        m_failure = watch->reason(m_received);
        m_connectionFailed = watch->connectionFailed(m_received);
        m_failureKind = watch->kind(m_received);
    } else if (sizeMatches(written)) {
        m_result = Complete;
    } else {
        m_connectionFailed = true;
        m_failure = Phrase("DownloadMngr", QT_TR_NOOP("%1 of %2 bytes arrived"))
                        .arg(qint64(written))
                        .arg(qint64(m_fileSize));
    }
    endWait();
}

void DownloadMngr::onNetError(QNetworkReply::NetworkError code)
{
    qDebug().noquote() << "DownloadMngr::netError :"
                       << QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(code);
}

void DownloadMngr::onUserAbort()
{
    if (m_finished)
        return;
    // The abort's own end of the reply must not conclude it as failed.
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
    m_result = Cancelled;
    m_failure = {};
    m_failureKind = ReplyWatch::Failure::None;
    endWait();
}

void DownloadMngr::close()
{
    endWait();
}

void DownloadMngr::endWait()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    if (m_loop)
        m_loop->exit(0);
    if (!m_finished)
        conclude();
}
