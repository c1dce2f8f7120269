// The program's client of the online song store: the service status, the
// version check, and store songs downloaded into the song folder and
// registered in the library. The status and version checks run in the
// background and tell their end by signals, so a slow host holds nothing; a
// song download waits in nested event loops on the GUI thread (WebCom,
// DownloadMngr), and tells its end by a signal as soon as it has one.
//
// One store download runs at a time: a second request while one runs is
// refused with a message and leaves no trace. A store song's address and size
// come from a song-information lookup when its record does not carry them.
#pragma once

#include "DatabaseHelper.h"
#include "SongInfo.h"
#include "replywatch.h"

#include <QMetaType>
#include <QObject>
#include <QString>

class User;
class WebCom;

// The store's record of one downloadable song.
struct s_MdResInfo
{
    int productId = 0;
    QString title;
    QString artist;
    // "MP3" for an MP3 song; "MF3", "MF4", "MF5", "KAR" for those kinds; any
    // other text is a MIDI song.
    QString format;
    QString url;
    int size = 0;
};
Q_DECLARE_METATYPE(s_MdResInfo)

class MelodromeManager : public QObject
{
    Q_OBJECT

public:
    MelodromeManager(QObject *parent, User *user, DatabaseHelper *db);
    ~MelodromeManager() override;

    // Asks the store whether its service is up; serviceStatusKnown() tells
    // the answer, which stays until the next reply is read (no readable
    // answer: down). False when a check is already under way.
    bool checkServiceStatus();
    bool isServiceOnline() const { return m_online; }
    // Asks the version checker for the newest program version of `target`;
    // versionChecked() follows once the reply has ended. False when a check
    // is already under way. The fields below keep their values until a
    // reply names them again.
    bool checkUpdateServer(const QString &target);
    QString lastVersion() const { return m_swVersion; }
    QString lastVersionUrl() const { return m_urlUpdate; }
    int lastVersionSize() const { return m_size; }

    User *getUsrPtr() const { return m_user; }
    bool isDownloading() const { return m_downloading; }
    // Why the last song download failed, in words for the user; empty when
    // it succeeded or was refused or cancelled by the user.
    Phrase lastFailure() const { return m_failure; }
    // That failure lies with the connection, which the user may mend; the
    // others lie with the store's answer (a song named by a local file, no
    // song in the file) or with this computer's disk.
    bool lastFailureFromConnection() const { return m_connectionFailed; }
    // Song file name of a store song: artist, " - ", title and the suffix of
    // its format, made safe as one file name.
    static QString songFileName(const s_MdResInfo &info);
    // The same of a song of the store's lists (its artist, title and format).
    static QString songFileName(const SongInfo &song);
    // The name a store song downloads under where its own is another's:
    // cut where it must be and marked with the first eight hex digits of
    // the MD5 of its store key ("NAME~1a2b3c4d.mid").
    static QString markedSongFileName(const s_MdResInfo &info);

    void setTimeouts(const NetTimeouts &requests, const NetTimeouts &downloads);

signals:
    void serviceStatusKnown(bool online);
    void versionChecked();
    // A download asked for has ended: `done` as downloadSubscriptSong()
    // returns it, sent as soon as the file has arrived or failed, also while
    // another wait holds the call's return.
    void downloadEnded(int productId, bool done);
    void downloadDone();
    void songCanBePlayed(SongInfo song);

public slots:
    // Downloads one store song into the song folder and registers it. True
    // when the file arrived whole (a file that is no readable song is then
    // removed and marked failed); false when refused, cancelled or failed.
    bool downloadSubscriptSong(s_MdResInfo info, const QObject *receiver,
                               SongProvenience provenience);

private:
    bool lookUpAddress(s_MdResInfo &info);
    void parseServiceStatus(const QByteArray &body);
    void parseVersion(const QByteArray &body);
    void finishFailed();
    bool finishDownload(int result, const s_MdResInfo &info, SongProvenience provenience,
                        const QString &fullPath, bool replaced);
    // Where the song downloads: the name a download gives it, where that
    // is its own or free, else a name of its own.
    QString downloadPath(const s_MdResInfo &info) const;

    QString m_swVersion;
    QString m_urlUpdate;
    int m_size = 0;
    WebCom *m_client;
    WebCom *m_versionClient;
    User *m_user;
    QString m_libraryFolder;
    DatabaseHelper *m_db;
    bool m_online = false;
    bool m_downloading = false;
    Phrase m_failure;
    // The store's details of the song being downloaded (key, genre, author).
    SongInfo m_details;
    bool m_connectionFailed = false;
    NetTimeouts m_requestLimits = NetTimeouts::forRequests();
    NetTimeouts m_downloadLimits = NetTimeouts::forDownloads();
};
