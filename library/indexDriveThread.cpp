#include "indexDriveThread.h"

#include "DatabaseHelper.h"
#include "SystemMounts.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStringList>

indexDriveThread::indexDriveThread(QObject *view, DatabaseHelper *db)
    : QThread(view), database(db)
{
    if (db) {
        connect(this, &indexDriveThread::insertFile, db, &DatabaseHelper::addFileToIndex);
        connect(this, &indexDriveThread::truncateTable, db,
                &DatabaseHelper::truncateIndexedFilesTable);
    }
}

indexDriveThread::~indexDriveThread()
{
    {
        QMutexLocker lock(&mutex);
        quit = true;
        abort = true;
        wake.wakeOne();
    }
    wait();
}

bool indexDriveThread::setPath(const QString &newPath)
{
    if (newPath == path)
        return false;
    QMutexLocker lock(&mutex);
    path = newPath;
    if (!isRunning()) {
        start(QThread::HighPriority);
    } else {
        // Woken while holding the mutex: a scan that has just ended sees the
        // flag before it parks, so the new path is never lost.
        abort = true;
        wake.wakeOne();
    }
    return true;
}

void indexDriveThread::setMountTable(const QString &file)
{
    QMutexLocker lock(&mutex);
    mountTable = file;
}

void indexDriveThread::run()
{
    QMutexLocker lock(&mutex);
    while (!quit) {
        const QString root = path;
        const QString mounts = mountTable;
        lock.unlock();
        // Emptied before any row of this scan arrives: the queued slots run
        // in the order emitted.
        emit truncateTable();
        emit fileAdded();
        scan(root, SystemMounts::pseudoMountPoints(mounts));
        lock.relock();
        qDebug() << "indexDriveThread::run: done";
        emit fileAdded();
        if (!abort && !quit) {
            emit indexingDone();
            wake.wait(&mutex);
        }
        abort = false;
    }
}

// Walks the tree one folder at a time rather than with a recursive iterator,
// so that unreadable folders can be logged and skipped folders are not
// walked at all.
void indexDriveThread::scan(const QString &root, const QStringList &unwalked)
{
    static const QStringList filters{QStringLiteral("*.MID"), QStringLiteral("*.MP3"),
                                     QStringLiteral("*.KAR"), QStringLiteral("*.MF3"),
                                     QStringLiteral("*.MF4"), QStringLiteral("*.MF5")};
    int count = 0;
    QStringList folders{root};
    while (!folders.isEmpty() && !abort) {
        const QString folder = folders.takeLast();
        if (unwalked.contains(QDir::cleanPath(folder))) {
            qDebug().noquote().nospace() << "Skipping the system's file system " << folder;
            continue;
        }
        const QFileInfo info(folder);
        if (!info.isDir() || !info.isReadable() || !info.isExecutable()) {
            qDebug().noquote().nospace() << "Folder not readable " << folder;
            continue;
        }
        QDirIterator files(folder, filters, QDir::Files);
        while (files.hasNext() && !abort) {
            emit insertFile(files.next());
            if (++count % 50 == 0)
                emit fileAdded();
        }
        QDirIterator dirs(folder, QDir::Dirs | QDir::NoDotAndDotDot);
        while (dirs.hasNext() && !abort) {
            dirs.next();
            const QFileInfo dir = dirs.fileInfo();
            if (dir.isSymLink())
                qDebug().noquote().nospace() << "Skipping link " << dir.filePath();
            else if (isSystemFolder(dir.fileName()))
                qDebug().noquote().nospace() << "Skipping " << dir.filePath();
            else
                folders << dir.filePath();
        }
    }
}

// Only folders below the chosen one are tested, so a drive mounted at
// /media/anna/Windows is indexed while its "Program Files" folder is not. A
// song is never skipped for its name ("Programmed Love.mp3"), nor a folder
// whose name merely holds such a word ("Windows Hits", "Programmi").
bool indexDriveThread::isSystemFolder(const QString &name)
{
    static const QStringList system{QStringLiteral("Windows"), QStringLiteral("Program Files"),
                                    QStringLiteral("Program Files (x86)"), QStringLiteral("ProgramData")};
    return system.contains(name, Qt::CaseInsensitive);
}
