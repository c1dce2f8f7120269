#include "mainwindow.h"

#include "DatabaseHelper.h"
#include "tabbablegroup.h"
#include "KaraokeTextWidget.h"
#include "StartedSong.h"
#include "ViewParameter.h"
#include "accountview.h"
#include "adbanner.h"
#include "chordsView.h"
#include "constants.h"
#include "editview.h"
#include "downloadmngr.h"
#include "melodychannelpopup.h"
#include "mixerview.h"
#include "settingsview.h"
#include "soundfontmanager.h"
#include "volumepopup.h"
#include "fileCopyThread.h"
#include "headerfit.h"
#include "libraryview.h"
#include "melodromemanager.h"
#include "newwidgetwindow.h"
#include "popupplacement.h"
#include "programfonts.h"
#include "seektrackslider.h"
#include "appsettings.h"
#include "ui_mainwindow.h"
#include "user.h"

#include <QAbstractItemView>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLocale>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSettings>
#include <QShowEvent>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <utility>

namespace {

QString osTag()
{
    const QString type = QSysInfo::productType();
    if (type.startsWith(QLatin1String("win")))
        return QStringLiteral("win");
    if (type.startsWith(QLatin1String("osx")) || type.startsWith(QLatin1String("mac")))
        return QStringLiteral("mac");
#ifndef Q_OS_LINUX
    qCritical() << "The host's operating system is not one the version check knows";
#endif
    return QStringLiteral("linux");
}

bool firstShowDone = false;

} // namespace

MainWindow::MainWindow(DatabaseHelper *db, QWidget *parent, SoundEngine::Devices devices)
    : QMainWindow(parent), ui(new Ui::MainWindow), db(db), m_soundfonts(new SoundfontManager)
{
    // Children built below may reach the window through `mw` already.
    mw = this;
    // The looks name families this machine may not have ("Marker Felt"):
    // their stand-ins answer before the first page is drawn.
    ProgramFonts::install();
    programSettings();
    ui->setupUi(this);
    connectHeaderButtons();
    setUpHeader();
    setUpSongFolder();
    setUpEngine(std::move(devices));
    setUpOptions();
    setUpStore();
    showEngineInHeader();
    setUpPages();
    setUpAccountPages();
    setUpImport();
    loadSettings();
    m_accountPopup->getUserInfo();
    if (!m_karaokeDetached)
        ui->screenWidget->show();
    followEngine();
    setUpPressedLooks();
    refreshMDNews();
}

// The header's buttons, each to what it does.
void MainWindow::connectHeaderButtons()
{
    connect(ui->actionImport, &QAction::triggered, this, &MainWindow::openImportDialog);
    connect(ui->playButton, &QPushButton::clicked, this, &MainWindow::startPlaying);
    connect(ui->pauseButton, &QPushButton::clicked, this, &MainWindow::togglePause);
    connect(ui->rewButton, &QPushButton::clicked, this, &MainWindow::stopToStart);
    connect(ui->fwdButton, &QPushButton::clicked, this, &MainWindow::showSeekBar);
    connect(ui->melodyMuteButton, &QPushButton::clicked, this, &MainWindow::cycleMelodyMute);
    connect(ui->volumeButton, &QPushButton::clicked, this, &MainWindow::showVolumePopup);
    connect(ui->melodyChButton, &QPushButton::clicked, this, &MainWindow::showMelodyChannelPopup);
    connect(ui->optionsButton, &QPushButton::clicked, this, &MainWindow::showOptions);
    connect(ui->userButton, &QPushButton::clicked, this, &MainWindow::showAccountPopup);
    connect(ui->unpinButton, &QPushButton::clicked, this, &MainWindow::unpinView);
    connect(ui->dragArrow, &QPushButton::clicked, this, &MainWindow::toggleScreenFromArrow);
    connect(ui->FeedbackButton, &QPushButton::clicked, this, &MainWindow::openReportPage);
}

// The header's size, texts and tabs, and the window's title.
void MainWindow::setUpHeader()
{
    // Narrow enough for the screen it opens on (a 1024-pixel projector).
    setMinimumWidth(qMin(kMinimumWidth, screen()->availableGeometry().width()));
    // A song's title and artist are read before the maker's logo is seen.
    m_headerFit = new HeaderFit(ui->headerBar, ui->storeButton,
                                {ui->volumeButton, ui->melodyChButton, ui->melodyMuteButton},
                                [this] { return ui->lcdFrame->roomForNames(kNameCharacters); });
    fitHeaderTexts();
    // The page tabs, one checked at a time, are each in the Tab order.
    TabbableGroup::keepEveryButton(ui->buttonGroup);
    ui->stackedWidget->setCurrentWidget(ui->pageSplashscreen);
    setWindowTitle(QStringLiteral("%1 v%2").arg(QLatin1String(kProductName),
                                                QLatin1String(kProductVersion)));
    m_osTag = osTag();
    ui->menuBar->hide();
}

// The library's song folder and the thread that imports into it.
void MainWindow::setUpSongFolder()
{
    m_documentsFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    m_songFolder = m_documentsFolder + QStringLiteral("/VelmarPC/");
    m_copyThread = new fileCopyThread(this, m_songFolder);
    connect(m_copyThread, &fileCopyThread::songImported, this, &MainWindow::onSongImported);
    connect(m_copyThread, &fileCopyThread::endImpoting, this, &MainWindow::importingDone);
    setAcceptDrops(true);
}

// The sound engine, and the page tabs' ids.
void MainWindow::setUpEngine(SoundEngine::Devices devices)
{
    Song::initSong();
    m_engine = new SoundEngine(std::move(devices), this);
    ui->lcdFrame->setEngPtr(m_engine);

    // The tab ids are the view ids whatever order the form adds the buttons in.
    const std::pair<QAbstractButton *, int> tabs[] = {
        {ui->KaraokeButton, Karaoke}, {ui->LibraryButton, Library}, {ui->EditButton, Editing},
        {ui->MixerButton, Mixer}, {ui->ChordsButton, Chords}};
    for (const auto &[button, id] : tabs)
        ui->buttonGroup->setId(button, id);
    connect(ui->buttonGroup, &QButtonGroup::buttonClicked, this, &MainWindow::buttonIndexChanged);
}

// The options page and the volume and melody channel pop-ups.
void MainWindow::setUpOptions()
{
    m_settings = new SettingsView(this, m_engine);
    connect(m_settings, &SettingsView::runtimeTempoChanged, m_engine, &SoundEngine::changeBpmWithOutSaving);
    connect(m_settings, &SettingsView::runtimeKeyChanged, m_engine, &SoundEngine::changeKeyWithOutSaving);
    connect(m_settings, &SettingsView::rebuildDatabaseRequest, this, &MainWindow::onRebuildDatabaseRequest);
    connect(m_settings, &SettingsView::fontSizeChanged, this, &MainWindow::changeKaraokeTextSize);
    connect(m_settings, &SettingsView::fontFamilyChanged, this, &MainWindow::changeKaraokeTextFont);
    connect(m_settings, &SettingsView::fontAlignmentChanged, this, &MainWindow::changeKaraokeTextAlignment);
    connect(m_settings, &SettingsView::chordChanged, this, &MainWindow::changeChordsSettings);
    m_volumePopup = new volumePopup(this);
    connect(m_volumePopup, &volumePopup::volumeChanged, this, &MainWindow::volumeChanged);
    m_melodyPopup = new MelodyChannelPopup(this);
    connect(m_melodyPopup, &MelodyChannelPopup::melodyTrackChanged, this, &MainWindow::changeMelodyTrack);
}

// The user, the store and the sound bank's download.
void MainWindow::setUpStore()
{
    m_user = new User();
    m_user->restore(programSettings());
    m_store = new MelodromeManager(this, m_user, db);

    m_soundfonts->setSoundfontFilePath(SoundEngine::getSoundfontFilePath());
    connect(m_soundfonts, &SoundfontManager::soundfontAvailable, this, &MainWindow::onSoundfontAvailable);
}

// What the engine says of the song, shown in the header.
void MainWindow::showEngineInHeader()
{
    connect(m_engine, &SoundEngine::songBpmChanged, ui->lcdFrame, &statusBarHead::showSongBpm);
    connect(m_engine, &SoundEngine::songKeyChanged, ui->lcdFrame, &statusBarHead::showDeltaKey);
    connect(m_engine, &SoundEngine::soundOutputLost, ui->lcdFrame, &statusBarHead::showOutputLost);
    connect(m_engine, &SoundEngine::soundOutputStandingIn, ui->lcdFrame, &statusBarHead::showOutputStandingIn);
}

// The started song and the pages below the header: library, editing,
// chords, mixer, karaoke and the position bar.
void MainWindow::setUpPages()
{
    m_song = new StartedSong(m_engine, this);
    m_song->setLookup([db = db](const QString &path) { return db ? db->selectSongByPath(path) : SongInfo(); });
    connect(m_song, &StartedSong::cannotPlay, this, &MainWindow::sayCannotPlay);
    connect(m_song, &StartedSong::started, this, &MainWindow::showSongInfo);
    m_edit = new editView(this, m_engine, m_song);
    connect(m_edit, &editView::restartSong, this, &MainWindow::onStartSongPath);

    m_library = new libraryView(db, this, m_store);
    connect(m_library, &libraryView::startSongInfo, this, &MainWindow::onStartSongInfo);
    connect(m_library, &libraryView::startSongPath, this, &MainWindow::onStartSongPath);
    connect(m_library, &libraryView::importRequest, this, &MainWindow::importRequested);
    connect(m_library, &libraryView::playlistEdited, this, &MainWindow::followPlaylist);

    m_chords = new chordsView(this);
    auto *barLayout = new QHBoxLayout(ui->barWidget);
    barLayout->setContentsMargins(0, 0, 0, 0);
    m_mixer = new mixerView(this, m_engine, m_song->song());
    m_karaoke = new KaraokeTextWidget(this, m_chords);
    m_karaoke->setObjectName(QStringLiteral("KaraokeTextWidget"));
    m_seekSlider = new SeekTrackSlider(this, m_engine);
    m_seekSlider->setWindowFlags(Qt::Popup);
    m_seekSlider->setSongSource([this] { return TransportSong::of(m_song->song()); });

    changeKaraokeTextAlignment(m_settings->getTextAlign());
    changeKaraokeTextFont(m_settings->getFont());
    changeKaraokeTextSize(m_settings->getFontSize());
    // Every view that names a key, not the chord strip alone.
    changeChordsSettings(m_settings->getChordMode());
    connect(m_settings, &SettingsView::lyricsOffsetChanged, m_karaoke, &KaraokeTextWidget::setDTimeTextMs);
    m_karaoke->setDTimeTextMs(m_settings->getLyricsTimeOffset());
    connectViews();

    ui->verticalLayout_3->addWidget(m_karaoke);
    for (QWidget *view : {static_cast<QWidget *>(m_library), static_cast<QWidget *>(m_edit),
                          static_cast<QWidget *>(m_chords), static_cast<QWidget *>(m_mixer)})
        barLayout->addWidget(view);
    m_edit->hide();
    m_chords->hide();
    m_mixer->hide();
    ui->screenWidget->hide();

    connect(this, &MainWindow::songImported, m_library, &libraryView::addImportedSong);
    connect(this, &MainWindow::doneImporting, m_library, &libraryView::refreshSongView);
    connect(this, &MainWindow::barDragged, m_mixer, &mixerView::showDetails);
}

// The account pop-up and the login page.
void MainWindow::setUpAccountPages()
{
    m_accountPopup = new AccountView(this, m_user);
    m_accountPopup->setWindowFlags(Qt::Popup);
    m_accountPage = new AccountView(ui->pageLogin, m_user);
    auto *loginRow = new QHBoxLayout(ui->pageLogin);
    auto *loginColumn = new QVBoxLayout();
    loginRow->addLayout(loginColumn);
    loginColumn->addWidget(m_accountPage);
    // Once the user has logged in on the first page, the program opens.
    connect(m_accountPage, &AccountView::userDataChanged, this, [this] {
        if (m_user->isUserLogged() && ui->stackedWidget->currentWidget() == ui->pageLogin)
            ui->stackedWidget->setCurrentWidget(ui->pageMain);
    });
}

// The engine's and the song's reports, followed by the views.
void MainWindow::followEngine()
{
    connect(m_engine, &SoundEngine::mSecOfPlaying, m_karaoke, &KaraokeTextWidget::mSecOfPlaying);
    connect(&m_song->song(), &Song::loadSongChange, this, &MainWindow::on_loadSongChange);
    connect(&m_song->song(), &Song::loadSongChange, m_settings, &SettingsView::on_loadSongChange);
    connect(m_engine, &SoundEngine::playStateChanged, this, &MainWindow::changePlayButtonState);
    connect(m_engine, &SoundEngine::playStateChanged, this, &MainWindow::noteHeard);
    connect(m_engine, &SoundEngine::songBpmChanged, m_karaoke, &KaraokeTextWidget::onSongBpmChanged);
    connect(m_engine, &SoundEngine::songKeyChanged, m_karaoke, &KaraokeTextWidget::onSongKeyChanged);
}

// The header's pop-up buttons look pressed while held.
void MainWindow::setUpPressedLooks()
{
    connect(ui->volumeButton, &QPushButton::pressed, this, [this] { pressedLook(ui->volumeButton, ":/icon2x/generic_button-roudedLeft-checked.png"); });
    connect(ui->melodyChButton, &QPushButton::pressed, this, [this] { pressedLook(ui->melodyChButton, ":/icon2x/generic_button-center-checked.png"); });
    connect(ui->melodyMuteButton, &QPushButton::pressed, this, [this] { pressedLook(ui->melodyMuteButton, ":/icon2x/generic_button-roudedRight-checked.png"); });
    connect(ui->optionsButton, &QPushButton::pressed, this, [this] { pressedLook(ui->optionsButton, ":/icon2x/generic small header button-checked.png"); });
    connect(ui->userButton, &QPushButton::pressed, this, [this] { pressedLook(ui->userButton, ":/icon2x/generic small header button-checked.png"); });
    for (QPushButton *b : {ui->volumeButton, ui->melodyChButton, ui->melodyMuteButton,
                           ui->optionsButton, ui->userButton})
        connect(b, &QPushButton::released, this, [b] { b->setStyleSheet(QString()); });
}

MainWindow::~MainWindow()
{
    if (mw == this)
        mw = nullptr;
    dockAllViews();
    // An update or a sound bank still arriving: its part file goes with it,
    // first, as the process may be ended while the sound devices let go.
    delete m_soundfonts;
    delete m_updateDownload;
    delete m_updateProgress;
    // The engine stops the song and joins the sequencer thread before the
    // views that follow it go; its last unload starts nothing here.
    disconnect(&m_song->song(), nullptr, this, nullptr);
    delete m_engine;
    m_engine = nullptr;
    delete m_accountPopup;
    delete m_accountPage;
    delete m_user;
    delete ui;
}

void MainWindow::loadSettings()
{
    QSettings &s = *appSettings;
    m_volumePopup->setVolume(s.value(QStringLiteral("Volume/value"), 100u).toUInt());
    m_engine->changeMusicVolume(unsigned(m_volumePopup->getVolume()));

    restoreWindowPositions();

    // A stored channel outside the list is no choice of the user's.
    int melodyTrack = s.value(QStringLiteral("MidiSettings/MelodyTrack"), MelodyChannelPopup::kDefaultChannel).toInt();
    if (melodyTrack < 0 || melodyTrack >= MelodyChannelPopup::kChannels)
        melodyTrack = MelodyChannelPopup::kDefaultChannel;
    m_engine->setMelodyMuteTrack(melodyTrack);
    m_melodyPopup->loadSavedIndex(melodyTrack);
    m_melodyMute = s.value(QStringLiteral("MidiSettings/MelodyMute"), 0).toInt();
    changeMelodyButtonState();

    m_library->setHasUnseenNews(s.value(QStringLiteral("News/Unseen"), true).toBool());
    m_library->refreshPlaylistsView();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        QTimer::singleShot(0, this, &MainWindow::raiseViewWindows);
    if (firstShowDone)
        return;
    firstShowDone = true;
    QTimer::singleShot(3000, Qt::CoarseTimer, this, &MainWindow::startDelayedFunc);
}

void MainWindow::startDelayedFunc()
{
    // The audio device first: the synthesizer then opens on the device
    // chosen, not on the system's default (which may be no output at all).
    // No device at all is no sound server yet (a program started at login
    // before it): the header says so and the outputs chosen open once it is
    // there; a box would only stand behind the window, telling of nothing
    // to plug.
    if (!m_engine->listAudioDevices().isEmpty())
        m_settings->connectAudioDevice();
    else
        m_settings->connectAudioDeviceWhenThere();
    m_settings->connectSoundCard();
    m_karaoke->getAdBanner()->init(m_user);
    // The first page comes before any request that may wait on the network.
    ui->stackedWidget->setCurrentWidget(m_user->isUserLogged() ? ui->pageMain : ui->pageLogin);
    // On the login page the cursor waits in the e-mail field.
    if (m_user->isUserLogged())
        ui->playButton->setFocus();
    else
        m_accountPage->setFocus();
    offerSoundBank();
    // A song named on the command line starts as a double-click would start
    // it; a path that is no song, or no file at all, is told like any other.
    if (!m_commandLineSong.isEmpty())
        onStartSongPath(QFileInfo(std::exchange(m_commandLineSong, QString())).absoluteFilePath(), -1);
    // The store's status and the version check wait on the network: they
    // come after the first page. Its questions come after the device
    // warnings: one box at a time.
    m_store->checkServiceStatus();
    if (m_settings->isWarning())
        connect(m_settings, &SettingsView::warningsDone, this, &MainWindow::checkVersion, Qt::SingleShotConnection);
    else
        checkVersion();
}

// ---- play requests

void MainWindow::sayCannotPlay(const QString &text)
{
    if (m_cannotPlayBox) {
        m_cannotPlayBox->setText(m_cannotPlayBox->text() + QStringLiteral("\n\n") + text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, tr("Attention"), text, QMessageBox::Ok, this);
    m_cannotPlayBox = &box;
    box.exec();
}

void MainWindow::onStartSongInfo(SongInfo info, int action)
{
    const int index = m_library->getPlaylistStartIndex();
    if (index < 0)
        startSongPlaylist(info, action, -1, QString(), -1);
    else
        startSongPlaylist(info, action, m_library->getPlaylistId(), m_library->getPlaylistName(), index);
}

bool MainWindow::startSongPlaylist(SongInfo info, int action, int playlistId, QString playlistName,
                                   int index)
{
    return startSong(info.innerPath, info, action, playlistId, playlistName, index);
}

bool MainWindow::startSong(const QString &path, const SongInfo &record, int action, int playlistId,
                           const QString &playlistName, int index)
{
    // A request that cannot play leaves the song loaded, playing or not, as
    // it is: the file is checked before anything is stopped.
    if (m_song->song().isLoaded() && !m_song->playable(path))
        return false;
    m_song->dropNext();
    m_place.clear();
    if (!m_song->load(path, record, playlistId, playlistName, index))
        return false;
    if (index >= 0 && m_song->song().inPlaylist() && db) {
        const QList<SongInfo> songs = db->getPlaylistSongs(m_song->song().playlistId());
        m_place.start(m_song->song().playlistId(), entriesOf(songs), index);
        preloadNext(songs);
    }
    if (action == -1)
        action = m_settings->getPlayAction();
    m_song->begin(action == 0);
    m_library->showPlayingEntry(m_place.playlistId(), m_place.index());
    m_choiceAtStop = libraryChoice();
    return true;
}

QList<uint> MainWindow::entriesOf(const QList<SongInfo> &songs)
{
    QList<uint> ids;
    ids.reserve(songs.size());
    for (const SongInfo &song : songs)
        ids << song.idSong;
    return ids;
}

// The next song is loaded ahead, and loaded again whenever the list comes
// to show another one next: its being loaded is what makes the current
// song's end start it.
void MainWindow::preloadNext(const QList<SongInfo> &songs)
{
    const int at = m_place.next();
    m_song->prepareNext(at >= 0 && at < songs.size() ? songs.at(at).innerPath : QString(), at);
}

void MainWindow::followPlaylist(int playlistId, int movedFrom, int movedTo)
{
    if (!m_place.active() || !db || (playlistId >= 0 && playlistId != m_place.playlistId()))
        return;
    const QList<SongInfo> songs = db->getPlaylistSongs(m_place.playlistId());
    m_place.follow(entriesOf(songs), movedFrom, movedTo);
    m_song->movedInPlaylist(m_place.index());
    preloadNext(songs);
    // The list filled anew after its edit lights the entry where it is now.
    m_library->showPlayingEntry(m_place.playlistId(), m_song->song().isLoaded() ? m_place.index() : -1);
}

bool MainWindow::onStartSongPath(QString path, int action)
{
    // A restart from the edit page keeps the song's place in its playlist, so
    // auto-play goes on after it; any other path is a song of its own.
    const Song &song = m_song->song();
    if (path == song.path() && song.inPlaylist() && song.isLoaded())
        return startSong(path, SongInfo(), action, song.playlistId(), song.playlistName(), song.playlistIndex());
    return startSong(path, SongInfo(), action, -1, QString(), -1);
}

void MainWindow::showSongInfo(const SongInfo &info)
{
    ui->lcdFrame->clearSongInfo();
    ui->lcdFrame->showSongInfo(info);
}

void MainWindow::on_loadSongChange(Song::LoadSongState state)
{
    if (m_song->song().isLoaded())
        m_karaoke->loadSongChange(state, LyricsSource::of(m_song->song()));
    else
        m_karaoke->loadSongChange(0);
    m_seekSlider->showLoadState(state);
    if (state != Song::eLsUnloaded)
        return;
    ui->lcdFrame->clearSongInfo();
    // The song reports while it holds its own lock: the next one starts later.
    if (m_song->waiting().isLoaded() && !m_song->stopping())
        QTimer::singleShot(10, this, &MainWindow::startNextSong);
    else if (!m_song->stopping())
        m_library->showPlayingEntry(-1, -1);
}

void MainWindow::startNextSong()
{
    if (!m_song->waiting().isLoaded() || !m_place.active() || !db) {
        m_place.clear();
        return;
    }
    // The list as it stands now says which song follows, whatever was
    // loaded ahead.
    const int id = m_place.playlistId();
    const QString name = m_song->waiting().playlistName();
    m_song->dropNext();
    const QList<SongInfo> songs = db->getPlaylistSongs(id);
    m_place.follow(entriesOf(songs));
    const int at = m_place.next();
    if (at < 0) {
        m_place.clear();
        m_library->showPlayingEntry(-1, -1);
        return;
    }
    const bool autoplay = appSettings->value(QStringLiteral("System/Autoplay"), 1).toInt() != 0;
    startSongPlaylist(m_song->readInfo(songs.at(at).innerPath), autoplay ? 0 : 1, id, name, at);
}

// Recent lists what was heard: a song counts when it starts playing, not
// when it is chosen, loaded or added to a playlist, nor again on resuming.
void MainWindow::noteHeard(SoundEngine::PlayingState state)
{
    const bool resumed = std::exchange(m_lastState, state) == SoundEngine::ePsPaused;
    const Song &song = m_song->song();
    if (state != SoundEngine::ePsPlaying || resumed || !db || !song.isLoaded())
        return;
    SongInfo listed = db->selectSongByPath(song.path());
    if (listed.innerPath != song.path() || listed.idSong == 0) {
        // A file imported before, started from where it came from: the
        // library's copy has its name (the import takes no second file of
        // one name).
        const QString copy = db->getLibraryFolder() + QFileInfo(song.path()).fileName();
        listed = db->selectSongByPath(copy);
        if (listed.innerPath != copy || listed.idSong == 0)
            return;
    }
    m_library->notePlayed(listed);
    m_library->showRecentAgain();
}

QPair<QString, int> MainWindow::libraryChoice() const
{
    return {m_library->getSelectedPath(), m_library->chosenRow()};
}

// ---- header bar

void MainWindow::startPlaying()
{
    const SoundEngine::PlayingState state = m_engine->getPlayingState();
    if (state == SoundEngine::ePsIdle || state == SoundEngine::ePsReady) {
        if (m_song->song().isLoaded()) {
            // A row chosen since the song stopped (or was loaded) plays
            // instead of it.
            const QPair<QString, int> choice = libraryChoice();
            if (!choice.first.isEmpty() && choice != m_choiceAtStop)
                onStartSongInfo(m_song->readInfo(choice.first), 0);
            else
                m_engine->setPlayingState(SoundEngine::ePsPlaying);
            return;
        }
        const QString path = m_library->getSelectedPath();
        if (!path.isEmpty())
            onStartSongInfo(m_song->readInfo(path), 0);
        // The song that ended (or was stopped twice) plays again from its
        // start, unless a store song is chosen; a file gone is told.
        else if (!storeSongChosen() && !m_song->info().innerPath.isEmpty())
            onStartSongPath(m_song->info().innerPath, 0);
        // No file: a store song, downloaded and then played.
        else
            m_library->requestSelectedMDSong();
        return;
    }
    if (state != SoundEngine::ePsPlaying && state != SoundEngine::ePsPaused)
        return;
    // Another song chosen in the library shown takes over; the song in play
    // itself never starts again from the top, and a paused one resumes.
    const QString path = m_library->isVisible() ? m_library->getSelectedPath() : QString();
    if (!path.isEmpty() && path != m_song->song().path())
        onStartSongInfo(m_song->readInfo(path), 0);
    else if (state == SoundEngine::ePsPaused)
        m_engine->setPlayingState(SoundEngine::ePsPlaying);
}

bool MainWindow::storeSongChosen() const
{
    return m_library->storeSongChosen();
}

void MainWindow::togglePause()
{
    switch (m_engine->getPlayingState()) {
    case SoundEngine::ePsIdle:
    case SoundEngine::ePsReady:
        ui->pauseButton->setChecked(false);
        break;
    case SoundEngine::ePsPlaying:
        ui->pauseButton->setChecked(true);
        m_engine->setPlayingState(SoundEngine::ePsPaused);
        break;
    case SoundEngine::ePsPaused:
        ui->pauseButton->setChecked(false);
        m_engine->setPlayingState(SoundEngine::ePsPlaying);
        break;
    default:
        break;
    }
}

void MainWindow::changePlayButtonState(SoundEngine::PlayingState state)
{
    if (state == SoundEngine::ePsPaused && !m_song->song().isLoaded())
        return;
    ui->pauseButton->setChecked(state == SoundEngine::ePsPaused);
}

void MainWindow::stopToStart()
{
    m_choiceAtStop = libraryChoice();
    if (m_engine->setPlayingState(SoundEngine::ePsReady) == SoundEngine::ePsIdle)
        ui->lcdFrame->clearSongInfo();
}

void MainWindow::showSeekBar()
{
    const QRect g = geometry();
    const QRect at(QPoint(g.x() + (g.width() - m_seekSlider->width()) / 2,
                          g.y() + ui->headerBar->height() + ui->menuBar->height() + 30),
                   m_seekSlider->size());
    m_seekSlider->setGeometry(PopupPlacement::keepInside(at, PopupPlacement::availableAt(at.center())));
    m_seekSlider->show();
}

void MainWindow::cycleMelodyMute()
{
    m_melodyMute = m_melodyMute >= 2 ? 0 : m_melodyMute + 1;
    appSettings->setValue(QStringLiteral("MidiSettings/MelodyMute"), m_melodyMute);
    changeMelodyButtonState();
}

void MainWindow::changeMelodyButtonState()
{
    static const char *const texts[] = {QT_TR_NOOP("Melody ON"), QT_TR_NOOP("Melody OFF"),
                                        QT_TR_NOOP("Melody SEMI")};
    QStringList all;
    for (const char *text : texts)
        all << tr(text);
    // The melody button as wide as its widest text: a press moves nothing.
    m_headerFit->setTexts(ui->melodyMuteButton, all.value(m_melodyMute, all.first()), all);
    m_engine->setMelodyMute(m_melodyMute);
}

void MainWindow::fitHeaderTexts()
{
    // As the form has just written them, each taken before a fit folds it.
    const QString volume = ui->volumeButton->text();
    const QString channel = ui->melodyChButton->text();
    m_headerFit->setTexts(ui->volumeButton, volume);
    m_headerFit->setTexts(ui->melodyChButton, channel);
}

void MainWindow::changeMelodyTrack(int track)
{
    m_engine->setMelodyMuteTrack(track);
    appSettings->setValue(QStringLiteral("MidiSettings/MelodyTrack"), track);
}

void MainWindow::volumeChanged(int value)
{
    m_engine->changeMusicVolume(unsigned(qMax(0, value)));
}

void MainWindow::showUnder(QWidget *button, QWidget *popup)
{
    PopupPlacement::showNextTo(popup, button, ui->menuBar->isVisible() ? ui->menuBar->height() : 0);
}

void MainWindow::showVolumePopup()
{
    showUnder(ui->volumeButton, m_volumePopup);
}

void MainWindow::showMelodyChannelPopup()
{
    showUnder(ui->melodyChButton, m_melodyPopup);
}

void MainWindow::showOptions()
{
    showUnder(ui->optionsButton, m_settings);
}

void MainWindow::pressedLook(QAbstractButton *button, const char *picture)
{
    button->setStyleSheet(QStringLiteral("border-image: url(%1);").arg(QLatin1String(picture)));
}

void MainWindow::openReportPage()
{
    static const char *const pages[] = {"it", "en", "de", "zh"};
    const int lang = appSettings->value(QStringLiteral("System/Lang"), 1).toInt();
    const char *page = lang >= 0 && lang <= 3 ? pages[lang] : "en";
    const QUrl url(QStringLiteral("https://www.melodrome.com/%1/report-a-problem").arg(QLatin1String(page)));
    // Without a web browser the click would do nothing visible: the page's
    // address is given to the user instead.
    if (!QDesktopServices::openUrl(url))
        QMessageBox::information(this, tr("Report an Error"),
                                 tr("No web browser could be opened. The page to report an error is:\n%1")
                                     .arg(url.toString()));
}

// ---- settings page

void MainWindow::changeKaraokeTextFont(QString family)
{
    qDebug() << "MainWindow::changeKaraokeTextFont " << family;
    ViewParameter *p = m_karaoke->viewParameter();
    p->setFontTextAreaParameter(family, p->fontSize, p->fontWeight);
    m_karaoke->viewParameterUpdate();
}

void MainWindow::changeKaraokeTextSize(int size)
{
    qDebug() << "MainWindow::changeKaraokeTextSize " << size;
    ViewParameter *p = m_karaoke->viewParameter();
    p->setFontTextAreaParameter(p->fontFamily, size, p->fontWeight);
    m_karaoke->viewParameterUpdate();
}

void MainWindow::changeKaraokeTextAlignment(Qt::Alignment flags)
{
    m_karaoke->viewParameter()->textAlignment = flags;
    m_karaoke->viewParameterUpdate();
}

void MainWindow::changeChordsSettings(int mode)
{
    qDebug() << "Changed chords mode " << mode;
    m_chords->setChordInterNotation(mode);
    ui->lcdFrame->setChordLang(mode);
    m_edit->setChordLang(mode);
    m_library->setChordLang(mode);
}

// ---- window

void MainWindow::closeEvent(QCloseEvent *event)
{
    appSettings->setValue(QStringLiteral("Volume/value"), unsigned(m_volumePopup->getVolume()));
    saveNewsMD5(getNewsMD5FromCache());
    m_engine->setPlayingState(SoundEngine::ePsPaused);
    // The edits are written while the window is still there: a failure is
    // told in a box the user closes, not lost in the log after the window.
    for (QString notSaved = m_edit->saveBeforeQuit(); !notSaved.isEmpty(); notSaved = m_edit->saveBeforeQuit()) {
        QMessageBox box(QMessageBox::Warning, tr("Changes not saved"), notSaved, QMessageBox::NoButton, this);
        QPushButton *again = box.addButton(tr("Try Again"), QMessageBox::AcceptRole);
        box.addButton(tr("Quit Without Saving"), QMessageBox::DestructiveRole);
        box.setDefaultButton(again);
        box.exec();
        if (box.clickedButton() != again) {
            m_edit->dropUnsaved();
            break;
        }
    }
    saveWindowPositions();
    QMainWindow::closeEvent(event);
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange)
        fitFrame();
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        fitHeaderTexts();
        changeMelodyButtonState();
        retranslateImport();
    }
    QMainWindow::changeEvent(event);
}
