#include "fileCopyThread.h"

#include "Extract.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTemporaryFile>

#include <unistd.h>

namespace {

constexpr qint64 kCopyChunk = 1 << 20;

QString fieldText(const char *field, size_t size)
{
    return QString::fromUtf8(field, int(qstrnlen(field, size)));
}

} // namespace

fileCopyThread::fileCopyThread(QObject *mainWindow, const QString &destFolder)
    : QThread(mainWindow), destinationFolder(destFolder)
{
    SongInfo::registerMetaType();
    if (mainWindow) {
        connect(this, SIGNAL(songImported(SongInfo,QString)), mainWindow,
                SLOT(onSongImported(SongInfo,QString)));
        connect(this, SIGNAL(endImpoting(QStringList,QStringList)), mainWindow,
                SLOT(importingDone(QStringList,QStringList)));
    }
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

bool fileCopyThread::readSongInfo(const QString &path, SongInfo &info)
{
    static const QStringList songSuffixes{
        QStringLiteral("mp3"), QStringLiteral("mid"), QStringLiteral("kar"), QStringLiteral("midi"),
        QStringLiteral("mf3"), QStringLiteral("mf4"), QStringLiteral("mf5")};
    if (!songSuffixes.contains(QFileInfo(path).suffix().toLower()))
        return false;
    SONG_INFO raw;
    if (!Extract::GetSongInfoFromFile(&raw, path) || raw.format == SONG_FORMAT_NONE)
        return false;
    info = SongInfo();
    info.title = fieldText(raw.title, sizeof raw.title);
    info.artist = fieldText(raw.artist, sizeof raw.artist);
    info.genre = fieldText(raw.genre, sizeof raw.genre);
    info.author = fieldText(raw.composer, sizeof raw.composer);
    info.keySign = fieldText(raw.key, sizeof raw.key);
    info.length = raw.seconds;
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
        emit endImpoting(unreadableFiles, alreadyPresentFiles);
        unreadableFiles.clear();
        alreadyPresentFiles.clear();
    }
}

void fileCopyThread::importOne(const QUrl &url)
{
    const QString local = url.toLocalFile();
    SongInfo info;
    if (local.isEmpty() || !readSongInfo(local, info)) {
        qDebug().noquote().nospace() << "Errore apertura file " << local;
        unreadableFiles << (local.isEmpty() ? url.toString() : local);
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

    switch (copyInto(local, dest)) {
    case Copy::Done:
        break;
    case Copy::Stopped:
        return;
    case Copy::Unreadable: // vanished since it was read
        unreadableFiles << local;
        return;
    case Copy::Exists:
    case Copy::Failed:
        alreadyPresentFiles << local;
        return;
    }
    if (info.format == QLatin1String("MP3")) {
        for (const char *cdg : {"cdg", "CDG"}) {
            const QString companion = local.left(local.size() - 3) + QLatin1String(cdg);
            if (QFileInfo::exists(companion)) {
                copyInto(companion, dest.left(dest.size() - 3) + QLatin1String(cdg));
                break;
            }
        }
    }
    emit songImported(info, dest);
}

// Writes to a temporary file in the song folder (unnamed where the system
// allows, else a hidden ".part" name that no song pattern matches) and gives
// it the song's name only when complete; the rename never replaces a file.
fileCopyThread::Copy fileCopyThread::copyInto(const QString &source, const QString &dest)
{
    if (QFileInfo::exists(dest))
        return Copy::Exists;
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        qDebug().noquote().nospace() << "Errore apertura file " << source;
        return Copy::Unreadable;
    }
    QTemporaryFile out(destinationFolder + QStringLiteral(".import-XXXXXX.part"));
    if (!out.open()) {
        qDebug().noquote() << "Copia non riuscita" << dest << out.errorString();
        return Copy::Failed;
    }
    QByteArray chunk;
    while (!in.atEnd()) {
        if (isInterruptionRequested())
            return Copy::Stopped;
        chunk = in.read(kCopyChunk);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            qDebug().noquote() << "Copia non riuscita" << dest << out.errorString()
                               << in.errorString();
            return Copy::Failed;
        }
    }
    // On disk before it takes its name, so a power cut never leaves an
    // empty song under the right name.
    if (!out.flush() || ::fsync(out.handle()) != 0) {
        qDebug().noquote() << "Copia non riuscita" << dest << out.errorString();
        return Copy::Failed;
    }
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                       | QFileDevice::ReadOther);
    out.close();
    if (!QFile::rename(out.fileName(), dest))
        return QFileInfo::exists(dest) ? Copy::Exists : Copy::Failed;
    out.setAutoRemove(false);
    return Copy::Done;
}
