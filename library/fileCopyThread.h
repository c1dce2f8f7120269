// Import of dropped or chosen song files into the song folder, on a worker
// thread. For each file it reads the song's information, copies the file (an
// MP3 with its CD+G companion) and reports the song; at the end of a list it
// reports the files it could not import: those that are no song the loader
// would take (with why), those whose copy failed (with the system's reason),
// and those already in the song folder. It never touches the database.
//
// A copy is written under a temporary name in the song folder and renamed
// only when complete, and never over an existing file, so an interrupted
// import leaves no half song for the library or a rebuild to register. A
// list given while another is being imported is imported after it. The
// destructor stops the import (a copy under way is discarded) and joins.
#pragma once

#include "SongFile.h"
#include "SongInfo.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>

// What the import of one list could not bring into the song folder.
struct ImportReport {
    struct Refused {
        QString path;
        SongRefusal why;
    };
    struct FailedCopy {
        QString path;
        QString cause; // the system's words
    };
    QList<Refused> refused;
    QList<FailedCopy> failedCopies;
    QStringList alreadyPresent;
};
Q_DECLARE_METATYPE(ImportReport)

class fileCopyThread : public QThread
{
    Q_OBJECT
public:
    // The owner connects songImported and endImpoting.
    fileCopyThread(QObject *owner, const QString &destFolder);
    ~fileCopyThread() override;

    // The files of the next import; start() then imports them.
    void setFileList(const QList<QUrl> &files);
    // Origin recorded in the songs of the next import (1 from the store).
    void setFromSub(bool fromSub);

    // Song information of a file the program can play (Song::checkSongFile),
    // its length as the player finds it; false, with why, for any other.
    static bool readSongInfo(const QString &path, SongInfo &info, SongRefusal *why = nullptr);

signals:
    void songImported(SongInfo song, QString path);
    void endImpoting(ImportReport report);

protected:
    void run() override;

private:
    enum class Copy { Done, Exists, Failed, Refused, Stopped };

    void importOne(const QUrl &url);
    // Opened as a song is (a regular file, at most maxBytes); refused or the
    // system's reason (failed) tells a failure.
    Copy copyInto(const QString &source, const QString &dest, qint64 maxBytes, SongRefusal &refused,
                  QString &why);
    void startIfPending();

    QMutex mutex;               // guards the pending lists and the flag
    QList<QList<QUrl>> pending; // lists given and not yet taken
    QString destinationFolder;
    bool fromSubFlag = false;
    uint32_t runFromSub = 0;    // the flag as the running list took it
    ImportReport report;        // of the list being imported
};
