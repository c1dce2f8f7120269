// Scans a chosen drive or folder for song files on a worker thread and feeds
// every path to the drive index through queued signals (it never touches the
// database itself). A scan empties the index first, asks the view to refresh
// every 50 files, then parks until another path is given; a new path stops a
// scan under way and starts one of the new path.
//
// Links to folders are not followed (so a link loop cannot trap the scan),
// unreadable folders are skipped with a log line, the system's own folders
// below the chosen one ("Windows", "Program Files", "Program Files (x86)",
// "ProgramData", in any case) are skipped whole, and so are
// the mount points of the system's own file systems (see SystemMounts), so
// that the root of the disk can be indexed without walking /proc or /sys.
// The destructor stops the scan or the wait and joins.
#pragma once

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class DatabaseHelper;

class indexDriveThread : public QThread
{
    Q_OBJECT
public:
    // Connects insertFile and truncateTable to the database's addFileToIndex
    // and truncateIndexedFilesTable; the view connects the others.
    indexDriveThread(QObject *view, DatabaseHelper *db);
    ~indexDriveThread() override;

    // GUI thread. True when a scan of `path` starts; the same path again
    // changes nothing.
    bool setPath(const QString &path);
    // Where the mounted file systems are listed ("/proc/self/mounts"); read
    // again at the start of every scan.
    void setMountTable(const QString &file);

signals:
    void indexingDone();
    void fileAdded();
    void insertFile(QString path);
    void truncateTable();

protected:
    void run() override;

private:
    void scan(const QString &root, const QStringList &unwalked);
    static bool isSystemFolder(const QString &name);

    std::atomic<bool> abort{false}; // written under the mutex
    QString path;
    QString mountTable = QStringLiteral("/proc/self/mounts");
    DatabaseHelper *database;
    QMutex mutex;
    QWaitCondition wake;
    bool quit = false;              // under the mutex
};
