// The program's one top-level window. It builds every page and service
// object, wires them together and restores the stored settings; it turns a
// play request (a library row, a file path, the play button, the end of the
// previous playlist song) into a loaded and playing current song and, when
// it ends, moves on to the song its playlist shows next at that moment.
//
// Threads: GUI thread only. The engine and the songs report while holding
// their own locks, so the window never loads or unloads from inside such a
// report: the next song is started from a short timer instead.
#pragma once

#include "SongInfo.h"
#include "SoundEngine.h"
#include "phrase.h"
#include "fileCopyThread.h"
#include "playlistplace.h"

#include <QHash>
#include <QFileInfo>
#include <QMainWindow>
#include <QPointer>
#include <QList>
#include <QRect>
#include <QUrl>

class AccountView;
class DatabaseHelper;
class HeaderFit;
class KaraokeTextWidget;
class MelodromeManager;
class MelodyChannelPopup;
class NewWidgetWindow;
class SettingsView;
class SoundfontManager;
class StartedSong;
class QAbstractButton;
class QMouseEvent;
class QMoveEvent;
class SeekTrackSlider;
class User;
class chordsView;
class editView;
class mixerView;
class volumePopup;
class libraryView;
class fileCopyThread;
class DialogCopyFiles;
class DownloadMngr;
class QFileDialog;
class QMessageBox;
class QNetworkReply;
class QProgressDialog;
class StoreListing;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // The view ids, equal to the ids of the tab buttons.
    enum View { Karaoke = -2, Library = -3, Editing = -4, Mixer = -5, Chords = -6 };
    Q_ENUM(View)
    // Half a 1920-pixel screen: the header gives up its logo and folds its
    // labels to fit, the pages fit as they are, in every language, so that
    // a language chosen while the program runs never widens the window.
    static constexpr int kMinimumWidth = 960;
    // Characters of a song's title and artist the header shows before it
    // shows the maker's logo.
    static constexpr int kNameCharacters = 24;

    // devices: where the engine sends its sound (the audio devices when empty).
    explicit MainWindow(DatabaseHelper *db, QWidget *parent = nullptr,
                        SoundEngine::Devices devices = {});
    ~MainWindow() override;

    SoundEngine *engine() const { return m_engine; }
    KaraokeTextWidget *karaokeView() const { return m_karaoke; }
    SettingsView *settingsView() const { return m_settings; }
    mixerView *mixer() const { return m_mixer; }
    editView *editor() const { return m_edit; }
    int melodyMuteMode() const { return m_melodyMute; }
    // A song path given on the command line, started with the first page.
    void setCommandLineSong(const QString &path) { m_commandLineSong = path; }
    // A later start of the program asked for this window: it comes forward
    // and starts `song` (when not empty) as the command line's would be.
    void bringForward(const QString &song);

public slots:
    void onStartSongInfo(SongInfo info, int action);
    // Loads the song as the current one (true on success); a playlist index
    // of 0 or more also preloads the song the playlist shows after it, and
    // from then on follows the playlist's edits (followPlaylist), so that
    // the song that follows it is the one the list shows next when it ends.
    bool startSongPlaylist(SongInfo info, int action, int playlistId, QString playlistName,
                           int index);
    void followPlaylist(int playlistId, int movedFrom, int movedTo);
    bool onStartSongPath(QString path, int action);
    void on_loadSongChange(Song::LoadSongState state);
    void startNextSong();
    void changePlayButtonState(SoundEngine::PlayingState state);
    void noteHeard(SoundEngine::PlayingState state);
    void changeMelodyButtonState();
    void changeMelodyTrack(int track);
    void volumeChanged(int value);

    void changeKaraokeTextSize(int size);
    void changeKaraokeTextFont(QString family);
    void changeKaraokeTextAlignment(Qt::Alignment flags);
    void changeChordsSettings(int mode);

    // Views: the tab switch, detaching into windows and docking back, the
    // drag bar and the screen area (mainwindow_views.cpp).
    void buttonIndexChanged(QAbstractButton *button);
    void openWindowAtLoad(int viewId, QRect rect);
    void retriveWidget(QWidget *view, int id, bool closed);
    void savePosAndSizeWidgets(int view, int x, int y, int width, int height);
    void toggleScreenWidget();
    bool handleDragViews(QMouseEvent *event, QWidget *view);
    bool handleLibrary(QWidget *view);
    void karaokeWindowOpened();
    void resizeLayout();
    void windowOpened(int view);
    void windowOpened();
    void hideToKaraoke();
    void setWindowFullScreen(QWidget *window, int view);
    void mainWindowSelected();

    // Import: a list given while another import runs waits its turn.
    void importFiles(QList<QUrl> urls);
    void onSongImported(SongInfo info, QString path);
    void importingDone(ImportReport report);
    void openImportDialog();
    void onRebuildDatabaseRequest();
    void dropEventOnDetachedWidgets(QDropEvent *event, bool play);
    void changeFastRun(bool on);

    // Store news, program update and sound-bank check.
    void onfinish(QNetworkReply *reply);
    // The news request of this run has ended: its list stored, or its
    // failure said.
    bool newsSettled() const { return m_newsSettled; }
    void onDownloadProgress(qint64 received, qint64 total);
    void onDownloadCancelRequest();

private slots:
    void startPlaying();
    void togglePause();
    void stopToStart();
    void showSeekBar();
    void cycleMelodyMute();
    void showVolumePopup();
    void showMelodyChannelPopup();
    void showOptions();
    void showAccountPopup();
    void unpinView();
    void toggleScreenFromArrow();
    void onSoundfontAvailable();
    void openReportPage();
    void startDelayedFunc();

public:
    // The library page's import request: an empty list opens the file dialog.
    void importRequested(QList<QUrl> urls);
    // Handles a drop of files over `area` (the window or the library page);
    // false for a drop that is no drop of files.
    bool dropFiles(QDropEvent *event, QWidget *area);

    void refreshMDNews();
    // The news listing has ended: its list put in place when it is all in.
    void storeNews(bool complete, const Phrase &unreadable, const QString &md5);
    // `connection`: the failure lies with the connection, which the user
    // may mend.
    void showNewsFailure(const QString &logged, const Phrase &told, bool connection = false);
    void saveNewsMD5(QString md5);
    QString getNewsMD5FromCache() const;
    void checkVersion();
    // True when candidate is a higher dot-separated version than current.
    static bool checkUpdateSwVersion(QString current, QString candidate);
    // Starts the update's download in the background; false when it cannot
    // start (one under way, no folder). Its end unpacks it and goes on to
    // the sound bank.
    bool downloadUpdate(QString version, unsigned int size, QString folder, QString url);
    void updateSoftware(QFileInfo archive);
    static QString updateFolder();

signals:
    void songImported(SongInfo info, QString path);
    void doneImporting();
    void barDragged(bool bigger);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    // The constructor's steps, in their order.
    void connectHeaderButtons();
    void setUpHeader();
    void setUpSongFolder();
    void setUpEngine(SoundEngine::Devices devices);
    void setUpOptions();
    void setUpStore();
    void showEngineInHeader();
    void setUpPages();
    void setUpAccountPages();
    void followEngine();
    void setUpPressedLooks();
    void loadSettings();
    // The header's labelled buttons take their texts from the form anew.
    void fitHeaderTexts();
    // Files refused while a box says one (later starts in a row) are said
    // in that box.
    void sayCannotPlay(const QString &text);
    QPointer<QMessageBox> m_cannotPlayBox;
    void pressedLook(QAbstractButton *button, const char *picture);
    // The library shows a store song as its current row.
    bool storeSongChosen() const;
    static QList<uint> entriesOf(const QList<SongInfo> &songs);
    void preloadNext(const QList<SongInfo> &songs);
    // The library's row chosen: its file and its row.
    QPair<QString, int> libraryChoice() const;
    // Starts the song at path through the started song, shown with record
    // (one of another path: the record the started song keeps for it), as
    // the playlist's song at index when index is 0 or more.
    bool startSong(const QString &path, const SongInfo &record, int action, int playlistId,
                   const QString &playlistName, int index);
    void showSongInfo(const SongInfo &info);
    // Shows the pop-up next to the header button (under it where it fits),
    // inside the screen.
    void showUnder(QWidget *button, QWidget *popup);
    QWidget *viewFor(int viewId) const;
    // A window of its own for the view, which hands the view back here.
    NewWidgetWindow *openViewWindow(QWidget *view, int id);
    void wireViewWindow(NewWidgetWindow *window);
    // The height of the window made for a view shown `shownHeight` tall.
    static int detachedHeight(QWidget *view, QWidget *window, int shownHeight);
    // The settings page's karaoke looks, the engine and the banner strip on
    // the karaoke view.
    void connectViews();
    // The "WindowsPosition" group: views open where they were last closed;
    // on close, where each window is now.
    void restoreWindowPositions();
    void reopenWindow(int viewId, const QRect &stored);
    void placeMovedWindows();
    void saveWindowPositions();
    // Views still in windows of their own come back home (the windows go).
    void dockAllViews();
    // Brings the views' own windows back in front of this one.
    void raiseViewWindows();
    // The window placed by its frame, title bar and borders counted in: the
    // frame takes `frame` once the window manager has framed the window.
    void placeFrame(const QRect &frame);
    void fitFrame();
    bool isDocked(QWidget *view) const;
    // The window height fixed for the mixer while the karaoke view is away.
    void releaseFixedHeight();
    void setUpImport();
    void retranslateImport();
    void startRebuild();
    void onVersionChecked();
    void onUpdateDownloaded(int result);
    void checkSoundBank();
    void offerNewerSoundBank();
    // Asks whether to download the newer version `server`, and starts its
    // download; false when the user declined or it could not start.
    bool offerUpdate(const QString &server);
    // The synthesizer found no sound bank at start-up: says which, and
    // offers to download it at once.
    void offerSoundBank();
    void fetchSoundBank(bool ask);
    void onSoundBankFetched(bool installed);

    Ui::MainWindow *ui;
    DatabaseHelper *db;
    QString m_commandLineSong;
    SoundEngine *m_engine = nullptr;
    StartedSong *m_song = nullptr;
    fileCopyThread *m_copyThread = nullptr;
    User *m_user = nullptr;
    MelodromeManager *m_store = nullptr;
    SoundfontManager *m_soundfonts = nullptr;
    bool m_soundBankOffered = false;
    SettingsView *m_settings = nullptr;
    volumePopup *m_volumePopup = nullptr;
    MelodyChannelPopup *m_melodyPopup = nullptr;
    editView *m_edit = nullptr;
    mixerView *m_mixer = nullptr;
    AccountView *m_accountPopup = nullptr;
    AccountView *m_accountPage = nullptr;
    chordsView *m_chords = nullptr;
    libraryView *m_library = nullptr;
    KaraokeTextWidget *m_karaoke = nullptr;
    SeekTrackSlider *m_seekSlider = nullptr;
    HeaderFit *m_headerFit = nullptr;
    // "win", "mac" or "linux": the version check's target.
    QString m_osTag;
    QString m_documentsFolder;
    QString m_songFolder;
    bool m_karaokeDetached = false;
    int m_currentView = Library;
    // A drag from the drag bar has entered this window.
    bool dragFromMainWindow = false;
    int m_unfixedMinimumHeight = -1;
    // Where the frame goes while the window manager has not framed the
    // window yet; null once it is there.
    QRect m_wantedFrame;
    QHash<int, QRect> m_viewRects;
    // Views whose windows could not reopen where they were left.
    QList<int> m_movedAtStart;
    int m_melodyMute = 0;
    // Where the current song stands in its playlist.
    PlaylistPlace m_place;
    // The library's choice when the song last stopped or was loaded.
    QPair<QString, int> m_choiceAtStop;
    SoundEngine::PlayingState m_lastState = SoundEngine::ePsIdle;

    DialogCopyFiles *m_copyDialog = nullptr;
    QFileDialog *m_importDialog = nullptr;
    unsigned int importCount = 0;
    bool m_importing = false;
    // Imports asked for while one ran, in order; an empty list is a rebuild.
    QList<QList<QUrl>> m_pendingImports;
    QProgressDialog *m_updateProgress = nullptr;
    DownloadMngr *m_updateDownload = nullptr;
    bool m_newsSettled = false;
    QPointer<QNetworkReply> m_newsReply;
    QPointer<StoreListing> m_newsListing;
};
