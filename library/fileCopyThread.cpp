#include "fileCopyThread.h"

#include "Extract.h"
#include "Song.h"
#include "SongFile.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace {

constexpr qint64 kCopyChunk = 1 << 20;

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

QString fieldText(const char *field, size_t size)
{
    return QString::fromUtf8(field, int(qstrnlen(field, size)));
}

} // namespace

fileCopyThread::fileCopyThread(QObject *owner, const QString &destFolder)
    : QThread(owner), destinationFolder(destFolder)
{
    SongInfo::registerMetaType();
    qRegisterMetaType<ImportReport>();
    // A list given just as the previous run was ending finds the thread
    // still running, so start() did nothing: it is started here instead.
    connect(this, &QThread::finished, this, &fileCopyThread::startIfPending, Qt::QueuedConnection);
}

fileCopyThread::~fileCopyThread()
{
    requestInterruption();
    wait();
}

void fileCopyThread::setFileList(const QList<QUrl> &files)
{
    QMutexLocker lock(&mutex);
    // While a run goes on the list waits its turn; before a start it
    // replaces the one given last.
    if (!isRunning())
        pending.clear();
    pending.append(files);
}

void fileCopyThread::setFromSub(bool fromSub)
{
    QMutexLocker lock(&mutex);
    fromSubFlag = fromSub;
}

void fileCopyThread::startIfPending()
{
    bool waiting;
    {
        QMutexLocker lock(&mutex);
        waiting = !pending.isEmpty();
    }
    if (waiting && !isInterruptionRequested()) {
        wait();
        start(QThread::LowPriority);
    }
}

bool fileCopyThread::readSongInfo(const QString &path, SongInfo &info, SongRefusal *why)
{
    static const QStringList songSuffixes{
        QStringLiteral("mp3"), QStringLiteral("mid"), QStringLiteral("kar"), QStringLiteral("midi"),
        QStringLiteral("mf3"), QStringLiteral("mf4"), QStringLiteral("mf5")};
    SongRefusal dummy;
    SongRefusal &refusal = why ? *why : dummy;
    if (!songSuffixes.contains(QFileInfo(path).suffix().toLower())) {
        // A missing file or a folder is told as such whatever its name.
        if (QFile probe; openSongFile(path, probe, nullptr, &refusal) == SongFileStatus::Ok)
            refusal = {SongRefusal::NotASong};
        return false;
    }
    // What the loader would refuse is not listed as a song.
    uint seconds = 0;
    if (!Song::checkSongFile(path, &refusal, &seconds)) {
        qDebug().noquote() << "Not a song the program plays:" << path << refusal.kind << refusal.cause;
        return false;
    }
    SONG_INFO raw;
    if (!Extract::GetSongInfoFromFile(&raw, path) || raw.format == SONG_FORMAT_NONE) {
        refusal = {SongRefusal::NotASong};
        return false;
    }
    info = SongInfo();
    info.title = fieldText(raw.title, sizeof raw.title);
    info.artist = fieldText(raw.artist, sizeof raw.artist);
    info.genre = fieldText(raw.genre, sizeof raw.genre);
    info.author = fieldText(raw.composer, sizeof raw.composer);
    info.keySign = fieldText(raw.key, sizeof raw.key);
    // The head of a MIDI file holds no length: the player's, as a song
    // information box shows it beside the song.
    info.length = seconds > 0 ? int(seconds) : raw.seconds;
    info.bpm = raw.bpm;
    info.format = Extract::mapFrmFullTypeToFrmDesc().value(raw.format);
    return true;
}

void fileCopyThread::run()
{
    while (!isInterruptionRequested()) {
        QList<QUrl> files;
        {
            QMutexLocker lock(&mutex);
            if (pending.isEmpty())
                return;
            files = pending.takeFirst();
            runFromSub = fromSubFlag ? 1 : 0;
            fromSubFlag = false;
        }
        for (const QUrl &url : files) {
            if (isInterruptionRequested())
                return;
            importOne(url);
        }
        emit endImpoting(std::exchange(report, ImportReport()));
    }
}

void fileCopyThread::importOne(const QUrl &url)
{
    const QString local = url.toLocalFile();
    SongInfo info;
    SongRefusal refused;
    if (local.isEmpty() || !readSongInfo(local, info, &refused)) {
        qDebug().noquote().nospace() << "Cannot open " << local;
        report.refused.append({local.isEmpty() ? url.toString() : local, refused});
        return;
    }
    info.isFromSub = runFromSub;

    // The name comes from the path: a URL's text form keeps characters such
    // as "%" and "#" encoded.
    const QFileInfo source(local);
    const QString dest = destinationFolder + source.fileName();
    const QFileInfo target(dest);
    if (local == dest
        || (target.exists() && source.canonicalFilePath() == target.canonicalFilePath())) {
        emit songImported(info, dest);
        return;
    }

    QString why;
    switch (copyInto(local, dest, SONG_FILE_MAX_MP3_BYTES, refused, why)) {
    case Copy::Done:
        break;
    case Copy::Stopped:
        return;
    case Copy::Refused: // changed since it was read
        report.refused.append({local, refused});
        return;
    case Copy::Exists:
        report.alreadyPresent << local;
        return;
    case Copy::Failed:
        // A full disk is no duplicate: the file is listed with its reason.
        report.failedCopies.append({local, why});
        return;
    }
    if (info.format == QLatin1String("MP3")) {
        for (const char *cdg : {"cdg", "CDG"}) {
            const QString companion = local.left(local.size() - 3) + QLatin1String(cdg);
            if (QFileInfo::exists(companion)) {
                // As the loader reads it: a FIFO, a device or a file larger
                // than a whole CD's graphics is left behind.
                if (copyInto(companion, dest.left(dest.size() - 3) + QLatin1String(cdg), SONG_FILE_MAX_CDG_BYTES,
                             refused, why) != Copy::Done)
                    qDebug().noquote() << "CD+G not copied" << companion << refused.kind << why;
                break;
            }
        }
    }
    emit songImported(info, dest);
}

// Writes to a temporary file in the song folder (unnamed where the system
// allows, else a hidden ".part" name that no song pattern matches) and gives
// it the song's name only when complete; the rename never replaces a file.
fileCopyThread::Copy fileCopyThread::copyInto(const QString &source, const QString &dest, qint64 maxBytes,
                                              SongRefusal &refused, QString &why)
{
    if (QFileInfo::exists(dest))
        return Copy::Exists;
    QFile in;
    if (openSongFile(source, in, &why, &refused) != SongFileStatus::Ok) {
        qDebug().noquote().nospace() << "Cannot open " << source;
        return Copy::Refused;
    }
    if (in.size() > maxBytes) {
        refused = {SongRefusal::TooLarge, QString(), in.size(), maxBytes};
        return Copy::Refused;
    }
    QTemporaryFile out(destinationFolder + QStringLiteral(".import-XXXXXX.part"));
    auto failed = [&](const QString &error) {
        why = error;
        qDebug().noquote() << "Copy failed" << dest << error;
        return Copy::Failed;
    };
    if (!out.open())
        return failed(out.errorString());
    QByteArray chunk;
    while (!in.atEnd()) {
        if (isInterruptionRequested())
            return Copy::Stopped;
        chunk = in.read(kCopyChunk);
        if (chunk.isEmpty())
            return failed(in.errorString());
        // Written straight to the file: the system's own reason (a full
        // disk) is what the user is told.
        if (!writeAll(out.handle(), chunk))
            return failed(QString::fromLocal8Bit(std::strerror(errno)));
    }
    // On disk before it takes its name, so a power cut never leaves an
    // empty song under the right name.
    if (::fsync(out.handle()) != 0)
        return failed(QString::fromLocal8Bit(std::strerror(errno)));
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                       | QFileDevice::ReadOther);
    out.close();
    if (!QFile::rename(out.fileName(), dest))
        return QFileInfo::exists(dest) ? Copy::Exists : failed(QStringLiteral("cannot be named %1").arg(dest));
    out.setAutoRemove(false);
    return Copy::Done;
}
