// The library page: a side list of playlists, one song table over an SQL
// model whose query follows the chosen entry, filter and search, the header
// states that decide which header buttons act, a file browser and the drive
// index's search results; the store's replies fill the caches beside the
// local songs.
#pragma once

#include "SongInfo.h"
#include "LibraryRecords.h"
#include "SearchNarrowing.h"
#include "replywatch.h"

#include <QList>
#include <QModelIndex>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class DatabaseHelper;
class indexDriveThread;
class libraryTableDelegate;
class listItem;
class MelodromeManager;
class myIconProvider;
class PopupForm;
class QLabel;
class QFileSystemModel;
class QStandardItemModel;
class QNetworkAccessManager;
class QNetworkReply;
class QSqlDatabase;
class QSqlQueryModel;
class QSqlRecord;
class QSqlTableModel;
class StoreListing;
struct s_MdResInfo;
enum SongProvenience : int;

namespace Ui {
class libraryView;
}

class libraryView : public QWidget
{
    Q_OBJECT
public:
    enum headerStatus {
        AllSongs = 0,      // all library songs, or a title search
        RecentSongs = 1,   // the songs played last
        PlaylistSongs = 2, // the songs of a user playlist
        Listing = 3,       // the artist or genre listing
        SongsOfListing = 4, // the songs of one artist or genre
        StoreNews = 5,
        DownloadedSongs = 6 // the songs downloaded from the store
    };

    // storeManager (none without a store): its downloadDone() refreshes the
    // table.
    libraryView(DatabaseHelper *db, QWidget *parent, MelodromeManager *storeManager);
    ~libraryView() override;

    void updateHeaderBar(headerStatus state);
    void buildTableSongs();
    void buildTableArtists();
    void buildTableGenres();
    void buildTablePlaylists();
    void buildCurrentTable();
    void refreshPlaylistsView();
    void changeState();

    int getPlaylistStartIndex() const;
    QString getPlaylistName() const;
    int getPlaylistId() const;
    // The entry of the playlist playing is the row chosen, while the table
    // shows that playlist: now, and again whenever the table is filled anew
    // showing it (after an edit, or coming back to it). A playlist id below
    // 0: none plays.
    void showPlayingEntry(int playlistId, int position);
    // A song began: Recent, when it is the list, lists it at once; the
    // row chosen there stays chosen.
    void showRecentAgain();
    void setHasUnseenNews(bool value) { hasUnseenNews = value; }
    bool getHasUnseenNews() const { return hasUnseenNews; }
    // Why the news of this start could not be fetched, said while the news
    // list is shown; empty once they were.
    void setNewsFailure(const Phrase &message);
    void setChordLang(int lang);

    int getHeaderStatus() const { return headerStatus; }
    QString getCurrentQuery() const { return currentQuery; }
    // Shows the query's rows in the header state; ":f" is bound to the
    // search text.
    void showQuery(const QString &sql, headerStatus state);
    // A row of the table that stands for a store song, artist or genre: it
    // never maps to a library id.
    bool isStoreRow(int row) const;
    // The songs list is shown with a store row as its current one.
    bool storeSongChosen() const;
    // The song table: files let go over it are imported.
    bool isSongList(const QWidget *widget) const;

    // Posts a form to the store and hands the reply to `handler` (one of the
    // received... slots). Each reply answers its own request: a search, the
    // songs of a store artist or genre, or a song's details. A newer request
    // of the same kind supersedes (aborts) the older; a search reply is read
    // only while its text (`searchText`) is still the one typed. The loading
    // animation shows while any request waits; a failure or time-out is said
    // in the page until a request of its kind succeeds.
    using ReplyHandler = void (libraryView::*)(QNetworkReply *reply);
    QNetworkReply *postToStore(const QString &path, const QList<QPair<QString, QString>> &fields,
                               ReplyHandler handler, const QString &searchText = QString());
    void setTimeouts(const NetTimeouts &limits) { storeTimeouts = limits; }

    // The song heard noted for the recent songs; a refusal is said on the
    // page.
    void notePlayed(const SongInfo &song);

signals:
    void startSongInfo(SongInfo song, int action);
    void startSongPath(QString path, int action);
    void importRequest(QList<QUrl> urls);
    // The entries of a playlist changed (-1: of any playlist, as when
    // library songs went); `movedFrom` and `movedTo` tell the one entry moved
    // when that was the change, else -1.
    void playlistEdited(int playlistId, int movedFrom, int movedTo);

public slots:
    void refreshSongView();
    void addImportedSong(SongInfo song, QString path);
    // An import has ended: the page says how many songs it added and All
    // Songs shows them, chosen.
    void showImported();
    void hideIndexingAnim();

    void receivedGenreListForQuery(QNetworkReply *reply);
    void receivedArtistListForQuery(QNetworkReply *reply);
    void receivedSongListForQuery(QNetworkReply *reply);
    void receivedSongListForGenArtQuery(QNetworkReply *reply);
    void receivedSongInfo(QNetworkReply *reply);

    // Playlist editing reaches these from the side list's rows.
    void onItemListDeleted(listItem *item);
    void renamePlaylist(QString name, int id);
    void onSongAddToPlaylist(SongInfo song);
    void onRowsMoved(int logical, int oldVisual, int newVisual);

private slots:
    void openPlaylistRow(const QModelIndex &index);
    void showTitles();
    void showArtists();
    void showGenres();
    void showRepertoire();
    void showBrowsePc();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void connectControls();
    void setUpSongTable();
    void setUpBrowsePc();
    // The side list's entry at row (All Songs, Recent, Downloaded, the news,
    // a playlist) in the song table.
    void showEntry(int row);
    // Runs the text on the songs model; ":f" is bound to the search text.
    void runQuery(const QString &sql, const QSqlDatabase &db);
    void buildTableListing(const QString &title);
    void showListing(bool artists);
    void storeListing(QNetworkReply *reply, bool artists);
    int playlistRow(int index) const;
    void leaveAddingMode();
    void showHint(const QString &text);
    // The texts set for the entry and page shown, in the language chosen.
    void retranslateState();
    // The selected side-list row told so (its logo keeps showing).
    void markSelectedRow();
    // All Songs chosen in the side list, as the listings and a title search
    // show the whole library whatever entry was shown before.
    void chooseAllSongs();
    // The kinds of store request; one of each is wanted at a time.
    enum StoreRequest { SearchRequest, ListingRequest, InfoRequest, DownloadRequest, NewsRequest, StoreRequests };
    static int requestKind(ReplyHandler handler);
    void abortPending(int kind);
    bool replyIsCurrent(QNetworkReply *reply) const;
    // Reads the finished reply into `body`; false when it is no longer wanted
    // or failed, in which case the page says `failed` (with "%1" the reason).
    // A list's answer that breaks off is read as far as it goes, and said.
    bool takeReply(QNetworkReply *reply, QByteArray &body, const Phrase &failed);
    // The same for a body read already and judged (`unreadable`, see
    // StoreAnswer) off the window's thread.
    bool takeReadReply(QNetworkReply *reply, qint64 received, const Phrase &failed,
                       const Phrase &unreadable);
    // The failure of a request of `kind` said without the advice to check
    // the internet connection, for one no connection mends (an error, an
    // answer too large, a request sent on to another site, a web page or a
    // broken answer).
    static Phrase unadvisedFailure(int kind, const Phrase &failed);
    // A big answer listed without holding the window (see StoreListing).
    bool listFromStore(QNetworkReply *reply, int listKind, const QSqlDatabase &db, const char *table,
                       const Phrase &failed, const std::function<void()> &show);
    void dropListing(int kind);
    static Phrase searchFailure();
    void showStoreFailure(int kind, const Phrase &message);
    void clearStoreFailure(int kind);
    void sayNewsFailure();
    // The indexing label (with the songs found so far) and the animation,
    // after what is under way.
    void updateLoading();

    // A change the library file refused is said under the lists with why;
    // `what` says what was not kept. Returns ok; a change kept takes the
    // message away.
    bool kept(bool ok, const Phrase &what);
    // The same for reading the lists: a list the file would not give keeps
    // what it showed when it was that list (`sameList`), else shows nothing
    // rather than another list's rows; said either way. Returns ok.
    bool readable(bool ok, bool sameList = true);
    void sayLibraryFailure(const Phrase &message, bool read);
    void showLibraryFailure();
    // The last refusal was another program holding the library file: the
    // file is asked every kLibraryFreeAskMs until it is free, and then the
    // lists are read again. True when so.
    bool awaitLibraryFree();
    void readAgainWhenFree();
    static constexpr int kLibraryFreeAskMs = 500;
    QTimer *libraryFree = nullptr;
    // The song a row of the table shows, as the library holds it.
    SongInfo songOfRow(int row);
    // Into the playlist shown; false when the file refused it.
    bool addToPlaylist(const SongInfo &song);
    void makeLibraryMessage();
    // "Attention", Yes or No: true for Yes.
    static bool askYes(const QString &text);
    QLabel *libraryMessage = nullptr;
    Phrase writeFailure;
    Phrase readFailure;
    // What the last import added: said under the lists until another entry
    // is opened.
    void makeImportNote();
    void sayImported(const Phrase &note);
    void chooseImported(const QStringList &paths);
    QLabel *importNote = nullptr;
    Phrase imported;
    QStringList importedPaths;
    // The statement and search text of the rows shown.
    QString shownSql;
    QString shownText;
    QString searchString() const;

    // File browser, deleting, information and the page's own controls.
public:
    // Where the drive list comes from: the mounted volumes, or with a folder
    // set (VELMAR_DRIVES_ROOT or this setter) that folder's subfolders.
    void setDrivesRoot(const QString &folder);
    void updatePath();
    static bool compareModelIndex(const QModelIndex &a, const QModelIndex &b);

private slots:
    void openDrive(const QModelIndex &index);
    void openFileEntry(const QModelIndex &index);
    void folderUp();
    void showFilesMenu(const QPoint &pos);
    void playFoundFile(const QModelIndex &index);
    void deleteSelected();
    void showSelectedSongInfo();
    void switchStore(bool checked);
    void toggleLeftFrame();
    void setAutoplay(bool checked);
    void importChosen();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Where the file pane starts: the desktop, or the home folder on systems
    // that have no desktop folder.
    static QString desktopFolder();
    void showFolder(const QString &folder);
    void showCurrentDrive();
    QString focusedPath(QWidget *view) const;
    void startSelection(int action);
    // The chosen library songs with their files, or the chosen artists or
    // genres with all their songs, once the user agrees.
    void deleteSongs(const QModelIndexList &rows);
    void deleteListed(const QModelIndexList &rows, bool artists);
    bool deleteLibrarySong(const QSqlRecord &row);
    void forgetDownloadsGone();
    void removeFromPlaylist(const QModelIndexList &rows);
    int storedPosition(QList<SongInfo> &stored, int row) const;

    Ui::libraryView *ui;
    QList<Playlist> playlists;
    DatabaseHelper *database;
    bool showingSongs = false;
    bool isAdding = false;
    int currentPlaylistIndex = 0;
    // The playlist entry that plays (showPlayingEntry); -1 for none.
    int playingList = -1;
    int playingAt = -1;
    void lightPlayingEntry();
    void forgetSearch();
    myIconProvider *iconProvider = nullptr;
    QStandardItemModel *drivesModel = nullptr;
    QFileSystemModel *folderModel = nullptr;
    QSqlTableModel *indexModel = nullptr;
    int chordLang = 0;
    indexDriveThread *indexThread = nullptr;
    bool storeSwitchOn = false;
    bool leftFrameShown = true;
    bool hasUnseenNews = false;
    int pageState = 0;
    int headerStatus = AllSongs;
    int timerId = 0;
    QString currentQuery;
    QSqlQueryModel *songModel = nullptr;
    SearchNarrowing titleNarrowing;
    QPointer<MelodromeManager> storeManager;
    PopupForm *hintPopup = nullptr;
    libraryTableDelegate *tableDelegate = nullptr;
    QNetworkAccessManager *network = nullptr;
    NetTimeouts storeTimeouts = NetTimeouts::forRequests();
    int requestSerial = 0;
    int lastRequest[StoreRequests] = {};
    QSet<QNetworkReply *> pendingReplies;
    // The answer of each kind being listed.
    QPointer<StoreListing> listings[StoreRequests];
    // The kind whose failure the page says, -1 for none.
    int failedRequest = -1;
    // What the page says of it, told again in a language chosen meanwhile.
    Phrase storeFailure;
    Phrase newsFailure;
    // A drive is being indexed.
    bool indexing = false;
    // The drive the index holds (or is filled from), as the list names it;
    // empty while none was chosen.
    QString indexedDrive;
    int indexedSongs = 0;
    QTimer indexGrowth;
    void followIndex();

    // Song activation, playlist editing and search.
public:
    // The file the play button starts: the library row's song, the file
    // browser's file or the drive index's match; empty when there is none.
    QString getSelectedPath();
    // The row chosen in the view that getSelectedPath reads; -1 for none.
    int chosenRow() const;
    // Activates the current row; a store song that downloads then plays.
    void requestSelectedMDSong();
    // The delete button's action on a user playlist.
    void removeSelectedFromPlaylist();
    // The globe switch: searches ask the store too.
    void setStoreSwitchOn(bool on) { storeSwitchOn = on; }
    void endSearching();
    // Asks the user for a name; tests answer in place of the dialog.
    using TextPrompt = std::function<QString(const QString &title, const QString &label,
                                             const QString &text)>;
    static void setTextPrompt(TextPrompt prompt);

public slots:
    void playDownloadedSong(SongInfo song);

private slots:
    void activateSong(const QModelIndex &index);
    void toggleAddingMode();
    void addDownloadedToPlaylist();
    void createPlaylist();
    void scheduleSearch();
    void searchOnReturn();
    void backToListing();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void openListingRow(int row, bool artists);
    void activateSongRow(int row);
    s_MdResInfo storeRecordOfRow(int row) const;
    SongInfo librarySongOfStoreRow(int row) const;
    void downloadStoreRow(int row);
    // The download of a store row ended: its mark, and the page says why
    // it failed.
    void storeRowDownloaded(const s_MdResInfo &info, bool done);
    void showAddedMark();
    void restoreAddButton();
    void endAdding();
    bool askLeaveAdding();
    QString playlistQuery() const;
    bool showsCurrentPlaylist() const;
    void filterDriveIndex();
    // What the drive search's heading says: what it looked for, or why
    // nothing is found; said again while it shows.
    QString driveSearchSaying() const;
    void sayDriveSearch();
    void nameIndexColumns();
    // The page's one timer, started anew.
    void restartTimer(int ms);
    // The query the search text runs under the title filter, or under the
    // artist or genre filter.
    void chooseTitleSearch(bool empty);
    void chooseListingSearch(bool empty);
    void sendStoreSearch(const QString &text);
    // The statement that shows a store search under the checked filter.
    QString storeSearchQuery() const;
};
