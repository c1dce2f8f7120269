// Owner of the song library's storage: the song folder, the library database
// file (made from the template resource) and two in-memory databases.
//
// Contract: every operation runs on the GUI thread (the worker threads reach
// the two index slots through queued signals only). A failed statement is
// logged as "SqLite error:" with its text and answered with the operation's
// failure value; nothing is shown and nothing is thrown. Every value that
// comes from a user, a file or the store is bound, never pasted into SQL.
// Operations that write more than one row run in a savepoint, so a failure
// leaves the library as it was; savepoints nest, so they also work inside a
// rebuild, which holds one open from prepareForRebuild to finalizeRebuild
// (quitting before finalizeRebuild gives the old library back). Code on the
// default connection must therefore use savepoints, never BEGIN.
//
// A change the library file refuses (its permissions or attributes, a
// read-only mount, a full or failing disk) returns its failure value;
// lastRefusal() then says why, for the window to tell. SQLite gives the file
// back as it was before the change, at once or, where it cannot even write
// that back (a file made immutable while open), at the first statement once
// the file can be written again: nothing kept before is lost, and until
// then reads of the file fail: the lists are then read from a copy of the
// file with the change put back (readDb), so they show what is kept.
//
// Another program holding the file (an sqlite3 shell in a transaction, a
// backup tool) never holds the window: a statement waits for it at most
// kBusyWaitMs, after which the file counts as held (isHeld) and every
// statement fails at once, its refusal Busy, until tryFree() finds it free.
#pragma once

#include "LibraryRecords.h"
#include "SongInfo.h"

#include <QElapsedTimer>
#include <QList>
#include <QSet>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>

namespace LibrarySql {
class Savepoint;
}

// The store list a song row was shown in; it chooses the cache whose
// download state changes. Any other value counts as the title search.
enum SongProvenience : int { ProvenienceTitleSearch = 0, ProvenienceNews = 1, ProvenienceStoreList = 2 };

// Download states kept in a store cache's isFromSub.
enum StoreSongState { StoreDownloading = 3, StoreDownloaded = 4, StoreDownloadFailed = 5 };

class DatabaseHelper : public QObject
{
    Q_OBJECT
public:
    // Sets the query texts and the folders; opens nothing.
    DatabaseHelper();
    ~DatabaseHelper() override;

    // Makes sure the song folder and the library file exist; false when the
    // file could not be made.
    bool initDb();
    // Opens the drive index and store databases in memory and the library
    // file on the default connection; false when the file does not open.
    bool connect();

    const QString &getLibraryFolder() const { return libraryFolder; }

    // Why the last statement on the library failed.
    enum class Refusal {
        ReadOnly,  // the file or its folder cannot be written
        DiskFull,
        DiskError, // the disk reported an error
        Busy,      // another program holds the file
        Other,     // SQLite's own reason, in lastFailureText()
    };
    Refusal lastRefusal() const;
    QString lastFailureText() const;

    // With what a press does around it, the window waits under 100 ms.
    static constexpr int kBusyWaitMs = 75;
    // Another program held the library file longer than a statement waits.
    bool isHeld() const { return held; }
    // Asks the file without waiting whether it is free again; true when
    // it is (or was never held). What the start could not set up because
    // the file was held is set up then.
    bool tryFree();

    // The connection the library's lists are read on: the library file's,
    // or, while the file gives nothing because SQLite cannot yet put back a
    // change it refused (its journal left beside it), a copy of the file
    // and journal in which SQLite has put the change back: what the file
    // will hold once it can be written. The copy is made again whenever
    // the file or its journal change. Writes always go to the file.
    QSqlDatabase readDb();

    // Registration and lookup. A file already registered under the same path
    // is not registered again (true).
    bool checkSong(const SongInfo &info, const QString &path);
    bool insertDataSongs(const SongInfo &info, const QString &path, int idArtist, int idGenre,
                         int idAuthor);
    // The song is heard now.
    bool updateLastPlay(int idSong);
    // `read` false when the file would not give the row (an empty record
    // also when there is none).
    SongInfo selectSongById(int idSong, bool *read = nullptr);
    // The library's row of the file at path; an empty record when none.
    SongInfo selectSongByPath(const QString &path);
    Artist selectArtistById(int id);
    Genres selectGenreById(int id);
    QList<Artist> selectArtists();
    QList<Genres> selectGenres();
    QList<SongInfo> selectSongs();
    QList<SongInfo> selectSubSongs();
    // The x songs heard last, the latest first.
    QList<SongInfo> selectLastXSongs(int x);
    // Modes: 1 title, 2 artist name, 3 genre name contain f; 4 artist id,
    // 5 genre id equal f. Any other mode gives an empty list.
    QList<SongInfo> selectSongsWithFilter(int mode, const QString &f);

    // Playlists. Positions of a playlist are 0, 1, 2... in play order.
    bool insertPlaylist(const QString &name);
    bool updatePlaylistName(int id, const QString &name);
    bool deletePlaylist(int id);
    // The side list's entries: All Songs, Recent, Downloaded, the news and
    // the user's playlists; `ok` false (and no entry) when unreadable.
    QList<Playlist> selectPlaylists(bool *ok = nullptr);
    bool insertSongInPlayList(int idSong, int idPlaylist);
    // All or nothing: on any failure the playlist keeps its old content.
    bool reorderSongIntoPlaylist(int idPlaylist, const QList<SongInfo> &songs);
    QList<SongInfo> getPlaylistSongs(int idPlaylist);

    // Store result caches: MDNews and MDSearchTitle of the file, MDSearchTitle
    // in memory ("MDdb") and MDSearchGenArt of the file.
    bool insertMDSongsNews(const SongInfo &info);
    bool insertMDSongsSearch(const SongInfo &info);
    bool insertMDSongsSearchMem(const SongInfo &info);
    bool insertMDSongsSearch(const QList<SongInfo> &songs);
    bool insertMDGenreSearch(const Genres &genre);
    QList<SongInfo> selectMDSongs();
    // The store song id of a cached product, or an empty text.
    QString getSongIdWithProductId(const QString &productId);
    // The key the store gives a cached product, or an empty text.
    QString getStoreKeyWithProductId(int productId);
    // What the store's caches say of a product: title, artist, author,
    // genre and key, each from the first cache that gives it, the cache of
    // `provenience` first.
    SongInfo storeRecordOfProduct(int productId, SongProvenience provenience);
    // In every cache that lists the product: the song follows its state
    // whichever list shows it.
    bool updateDownloadStatus(int productId, int newStatus);

    // A store song is known by the store's key: each download keeps the
    // file it made under its product ("MDDownloads", made where missing).
    // A song downloaded before keys were kept is known by its file's name
    // (as a download of the row names it) while no key claims that file.
    bool keepStoreSong(int productId, const QString &path);
    // The file the product downloaded into, registered or not; empty when
    // none is kept.
    QString storeSongFile(int productId);
    // Whether a file at `path` would be another's: a library song, or a
    // file another product downloaded into.
    bool storePathTaken(const QString &path, int productId);
    // The library's song of the product (registered as downloaded); an
    // empty record when the library has none. `namedPath`: where a
    // download names the row's file.
    SongInfo librarySongOfProduct(int productId, const QString &namedPath);
    // What the library has from the store, for a whole list at once: read
    // on the default connection.
    struct StoreSongsOwned
    {
        QSet<int> keys;
        QSet<QString> names; // files downloaded before keys were kept
        bool isEmpty() const { return keys.isEmpty() && names.isEmpty(); }
        bool has(int productId, const QString &fileName) const
        {
            return keys.contains(productId) || names.contains(fileName);
        }
    };
    static StoreSongsOwned storeSongsOwned();
    // The store caches' rows marked downloaded whose song the library no
    // longer has (`fileName` names the file a download of the row makes)
    // are marked for sale again; false when a cache could not be written.
    bool unmarkSongsGone(const std::function<QString(const SongInfo &)> &fileName);
    // True when the rows are gone.
    bool truncateMDNews();
    // A new news list is written into the table named newsStaging a slice
    // at a time (see StoreListing) and takes the place of "MDNews" whole, by
    // renames in one transaction: the list is replaced whole or not at all,
    // and however long it is, the replacing is a moment.
    static constexpr char newsStaging[] = "MDNewsNext";
    // Makes the staging table (like "MDNews") and empties it; false when
    // it cannot be written.
    bool startNewsStaging();
    // The staged list becomes "MDNews"; the list it replaces stays in the
    // staging table until the next startNewsStaging(), so that a news page
    // still reading it reads it to its end.
    bool swapInNews();
    bool truncateMDSearchTitles();
    bool truncateMDSearchGenArt();
    // One statement for many songs of a store cache ("MDNews",
    // "MDSearchTitle"): prepared once, run once a song.
    static bool prepareMDSong(QSqlQuery &q, const char *table);
    static bool execMDSong(QSqlQuery &q, const SongInfo &info);

    // Maintenance. A song removed leaves every playlist. Removing an artist
    // or a genre also deletes its songs' files inside the song folder (an
    // MP3's CD+G companion and every song's ".bak" with them); a single
    // song's file stays.
    bool removeSongFromLibrary(int idSong);
    bool removeArtist(int idArtist);
    bool removeGenre(int idGenre);
    // Deletes a song file of the song folder with its CD+G companion (MP3
    // only) and its ".bak"; false when the file stays.
    bool removeSongFiles(const QString &path);
    // Empties the song tables keeping the playlists; the songs of the song
    // folder are then registered again and finalizeRebuild links the
    // playlists to them by file name and makes it all permanent.
    void prepareForRebuild();
    void finalizeRebuild();
    // The song files of the song folder, as the rebuild imports them.
    QList<QUrl> songFolderFiles() const;
    bool selectIndexedFiles();

public slots:
    // Id of the row of exactly that name, created when missing; 0 on failure.
    int checkInsertArtist(const QString &name);
    int checkInsertGenre(const QString &name);
    int checkInsertAuthor(const QString &name);
    // The drive-file index: one row (suffix, file name, folder) per file.
    bool addFileToIndex(const QString &path);
    bool truncateIndexedFilesTable();

public:

    // Read directly by the library browser.
    QSqlDatabase driveIdxDb;
    QSqlDatabase mdDb;

    QString sqlSongsByTitle;
    QString sqlMDNews;
    QString sqlRecentSongs;
    QString sqlDownloadedSongs;
    QString sqlPlaylistSongs;
    QString sqlArtists;
    QString sqlGenres;
    QString sqlSongsOfArtist;
    QString sqlSongsOfGenre;
    QString sqlTitleFilter;
    QString sqlTitleFilterWithMD;
    QString sqlMDSearchTitle;
    QString sqlArtistNameFilter;
    QString sqlGenreNameFilter;
    QString sqlArtistFilter;
    QString sqlArtistFilterWithMD;
    QString sqlGenreFilter;
    QString sqlGenreFilterWithMD;

    QSqlDatabase libraryDb;

private:
    bool copyTemplate(const QString &dbPath);
    // SQLite's busy handler on the library's connection.
    static int waitBriefly(void *helper, int tries);
    // The store's caches and the lookup indexes, where the file is a library.
    void setUpTables();
    bool checkLibraryTables();
    void addLookupIndexes();
    void mendOlderRows();
    int checkInsertName(const char *table, const char *idColumn, const char *nameColumn,
                        const QString &name);
    QList<SongInfo> selectSongList(const QString &condition, const char *bind = nullptr,
                                   const QVariant &value = {}, bool *read = nullptr);
    bool removeWithFiles(const char *selectText, const char *selectBind, const char *deleteText,
                         const char *deleteBind, int id);
    bool insertMDSong(QSqlDatabase db, const char *table, const SongInfo &info);
    QString storeFieldOfProduct(const char *column, const QVariant &productId);
    QString storeFieldIn(int place, const char *column, const QVariant &productId);
    bool truncate(QSqlDatabase db, const char *table);
    // "CREATE TABLE IF NOT EXISTS" of a store song cache: "MDNews", its
    // staging table or "MDSearchTitle".
    static QString storeSongTable(const char *table);
    static const char storeSongsTable[];

    QString documentsPath;
    QString libraryFolder;
    // The copies readDb() read from: the newest last; the one before stays
    // while a list may still hold rows of it.
    std::unique_ptr<QTemporaryDir> copyFolder;
    QStringList copyConnections;
    QString copyOf; // the file and journal state the newest copy was made of
    int copies = 0;
    bool rebuilding = false;
    bool held = false;
    bool setUpWhenFree = false;
    // Since the statement waiting began.
    QElapsedTimer busyFor;
    std::unique_ptr<LibrarySql::Savepoint> rebuildSavepoint;
    // Prepared once: a drive scan sends one insert per file.
    std::unique_ptr<QSqlQuery> indexInsert;
};
