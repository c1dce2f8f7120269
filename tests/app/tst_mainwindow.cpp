#include "DatabaseHelper.h"
#include "KaraokeTextWidget.h"
#include "ListTextViewDelegate.h"
#include "LyricsModel.h"
#include "SongObjects.h"
#include "ViewParameter.h"
#include "chordsView.h"
#include "editview.h"
#include "constants.h"
#include "contrast.h"
#include "controltracksmall.h"
#include "dialogcopyfiles.h"
#include "language.h"
#include "librarytabledelegate.h"
#include "SynthAudioSink.h"
#include "adbanner.h"
#include "soundenginerig.h"
#include "mainwindow.h"
#include "newwidgetwindow.h"
#include "prompter.h"
#include "seektrackslider.h"
#include "settingsview.h"
#include "singleinstance.h"
#include "statusbarhead.h"
#include "teststore.h"
#include "volumepopup.h"
#include "widgettexts.h"
#include "testutil.h"

#include <QLocalSocket>
#include <QNetworkAccessManager>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QtTest>
#include <QtWidgets>

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

double rms(const std::vector<float> &s)
{
    double sum = 0;
    for (float v : s)
        sum += double(v) * v;
    return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
}

} // namespace

// The real window on the real engine (its synthesizer rendering into a buffer nobody pulls) over
// a library of mido-made KAR songs: requests and playlists, views going into windows of their own
// and back, the karaoke view's looks and extra windows, the store and import roads, the language
// and the notation of keys.
// Two laptop screens side by side, 1280x800 and 1366x768, when nothing else
// is asked for.
static const int defaultScreens =
    TestUtil::setDefaultPlatform("offscreen:configfile=" VELMAR_TEST_SOURCE_DIR "/screens.json");

class TestMainWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_songs;
    std::unique_ptr<DatabaseHelper> m_db;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_boxes; // "title|text" of each message box, closed at once
    bool m_windowOpenAtBox = false; // the window still shown when the last box came
    QStringList m_prompts; // "title|text" of each prompt, answered Yes
    QTemporaryDir m_files, m_home; // the library lives in a home of the test's own
    QByteArray m_oldHome;
    TestStore m_store;
    QTimer m_boxCloser;
    // Answers the next message box with the button of that text; unset: OK.
    std::function<QString()> m_boxAnswer;
    QMessageBox::StandardButton m_answer = QMessageBox::Yes;
    // The devices of the next window: the synthesizer's list (numbered from
    // 1) and the audio path's (by id), the same devices in the same order.
    std::vector<AudioDeviceEntry> m_synthList;
    std::vector<Sound::AudioSink::Device> m_audioList;
    QString m_bank;
    OfflineAudioSink *m_synthSink = nullptr;
    Sound::PullAudioSink *m_audioSink = nullptr;

    MainWindow *window()
    {
        if (!m_window) {
            auto synth = m_synthList.empty() ? std::make_unique<OfflineAudioSink>()
                                             : std::make_unique<OfflineAudioSink>(44100, m_synthList);
            auto audio = m_audioList.empty() ? std::make_unique<Sound::PullAudioSink>()
                                             : std::make_unique<Sound::PullAudioSink>(m_audioList);
            m_synthSink = synth.get();
            m_audioSink = audio.get();
            SoundEngine::Devices devices{std::move(synth), std::move(audio), m_bank};
            m_window = std::make_unique<MainWindow>(m_db.get(), nullptr, std::move(devices));
            // With devices of its own, a test connects them as the start-up does.
            if (m_synthList.empty())
                m_window->engine()->connectToSoundCardByIdx(SoundEngine::kSynthIndex);
            m_window->findChild<QStackedWidget *>("stackedWidget")->setCurrentIndex(0);
            m_window->show();
        }
        return m_window.get();
    }
    // The prompts answered by m_answer, their title and text kept.
    void scriptPrompts()
    {
        Prompter::setScript([this](const QString &title, const QString &text, auto) {
            return m_prompts << title + "|" + text, m_answer;
        });
    }
    // The start-up's work after the first show, as each start does it.
    void startUp() { QVERIFY(QMetaObject::invokeMethod(window(), "startDelayedFunc")); }
    QComboBox *combo(const char *name) { return window()->settingsView()->findChild<QComboBox *>(name); }
    void choose(const char *name, const QString &text)
    {
        QComboBox *box = combo(name);
        box->setCurrentIndex(box->findText(text));
        QVERIFY(box->currentIndex() >= 0);
        emit box->activated(box->currentIndex());
    }
    // The device warning shown on the screen, if any.
    QMessageBox *warningShown()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                return box;
        }
        return nullptr;
    }
    int updateOffers() const { return int(m_prompts.filter(QRegularExpression("^Update available\\|An update")).size()); }
    QTableView *songTable() { return find<QTableView>("songsListview"); }
    // Makes the library row of `path` the current one (no row for an empty path).
    void select(const QString &path)
    {
        auto *model = qobject_cast<QSqlQueryModel *>(songTable()->model());
        songTable()->setCurrentIndex(QModelIndex());
        for (int row = 0; !path.isEmpty() && row < model->rowCount(); ++row) {
            if (model->record(row).value("innerPath").toString() == path)
                songTable()->setCurrentIndex(model->index(row, 2));
        }
        QCOMPARE(songTable()->currentIndex().isValid(), !path.isEmpty());
    }
    QString song(const char *name) const { return m_songs.filePath(QLatin1String(name) + ".kar"); }
    SongInfo info(const QString &path) const
    {
        SongInfo i;
        i.innerPath = path;
        return i;
    }
    // A playlist named name of the songs at paths, each listed in the
    // library: its id, and the songs' ids in ids.
    int makePlaylist(const QString &name, const QStringList &paths, QList<int> &ids)
    {
        m_db->insertPlaylist(name);
        const int list = m_db->selectPlaylists().last().getId();
        for (const QString &path : paths) {
            if (!m_db->insertDataSongs(info(path), path, m_db->checkInsertArtist("Artist"),
                                       m_db->checkInsertGenre("Genre"), m_db->checkInsertAuthor("Author")))
                return -1;
            ids << int(m_db->selectSongByPath(path).idSong);
            if (!m_db->insertSongInPlayList(ids.last(), list))
                return -1;
        }
        return list;
    }
    SoundEngine::PlayingState state() { return window()->engine()->getPlayingState(); }
    // The window closes (storing the positions) and the next one starts.
    void restart()
    {
        QVERIFY(window()->close());
        m_window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // The next window's engine starts without the song loaded.
        currSong->unloadSongFile();
        window();
    }
    template <class T = QWidget> T *find(const char *name) { return window()->findChild<T *>(name); }
    // A view docked or in the window that carries its name.
    QWidget *view(const QString &key)
    {
        QWidget *found = find(key.toLatin1());
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (!found && w != window() && w->objectName() == key)
                found = w->findChild<QWidget *>(key);
        }
        return found;
    }
    // Songs "imp-FROM.kar" up to TO (excluded) in `folder`.
    QList<QUrl> make(const QString &folder, int from, int to)
    {
        QStringList args{folder, "1"};
        QList<QUrl> urls;
        for (int i = from; i < to; ++i) {
            args << QStringLiteral("imp-%1").arg(i);
            urls << QUrl::fromLocalFile(folder + "/" + args.last() + ".kar");
        }
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), args);
        return urls;
    }
    // As the window system drops: enter over `over`, drop on the widget that took the drag.
    void drop(QWidget *target, QWidget *over, const QList<QUrl> &urls)
    {
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint at = over->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QDropEvent event(over->mapTo(target, at), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(over, &enter) && QApplication::sendEvent(target, &event);
    }
    KaraokeTextWidget *karaoke() { return window()->karaokeView(); }
    // The boxes that told of files in `folder`, whatever their words: each
    // as its sections, a heading and under it one line per file, "FILE
    // (WHY)" where it says why.
    using Section = QPair<QString, QStringList>;
    QList<QList<Section>> reportsOn(const QString &folder) const
    {
        QList<QList<Section>> reports;
        for (const QString &prompt : m_prompts) {
            if (!prompt.contains(folder))
                continue;
            const QStringList parts = prompt.section('|', 1).split(QStringLiteral("\n\n"));
            QList<Section> sections;
            for (int i = 0; i + 1 < parts.size(); i += 2)
                sections << Section{parts.at(i), parts.at(i + 1).split('\n', Qt::SkipEmptyParts)};
            reports << sections;
        }
        return reports;
    }
    static QString fileOf(const QString &line) { return line.section(QStringLiteral(" ("), 0, 0); }
    static QString whyOf(const QString &line) { return line.section(QStringLiteral(" ("), 1).chopped(1); }
    // A song imported and started by a double click on its row in the library.
    void startFromLibrary(const QString &path)
    {
        // Logged in: the first page, when it comes, is the main one.
        QVERIFY(!m_window);
        appSettings->setValue("User/user_id", 42);
        QSignalSpy done(window(), &MainWindow::doneImporting);
        window()->importFiles({QUrl::fromLocalFile(path)});
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);
        auto *table = songTable();
        const QModelIndexList rows = table->model()->match(table->model()->index(0, 8), Qt::DisplayRole,
                                                           QFileInfo(path).fileName(), 1, Qt::MatchEndsWith);
        QVERIFY(!rows.isEmpty());
        const QModelIndex cell = table->model()->index(rows.first().row(), 2);
        table->scrollTo(cell);
        // The row chosen, then double-clicked.
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(cell).center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(cell).center());
        QTRY_VERIFY(currSong->isLoaded() && state() == SoundEngine::ePsPlaying);
    }
    // Posted events (a language change, layout requests) dealt with.
    static void settle()
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }
    static void removeTranslators()
    {
        for (QTranslator **t : {&translator, &systemTranslator}) {
            QCoreApplication::removeTranslator(*t);
            delete *t;
            *t = nullptr;
        }
        QLocale::setDefault(QLocale::c());
    }
    // The library's first song row, selected, on the main page.
    QModelIndex firstSongRow(int column)
    {
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *table = find<QTableView>("songsListview");
        table->selectRow(0);
        return table->model()->index(0, column);
    }
    // The text of the library's song information on its first row.
    QString songInformation()
    {
        firstSongRow(0);
        QTest::mouseClick(find<QPushButton>("infoButton"), Qt::LeftButton);
        return m_prompts.isEmpty() ? QString() : m_prompts.last();
    }

private slots:
    void initTestCase()
    {
        m_oldHome = qgetenv("HOME");
        // As ctest runs it, or with QT_QPA_PLATFORM unset, it has the two
        // laptop screens of screens.json.
        QVERIFY2(QGuiApplication::screens().size() >= 2,
                 "TestMainWindow needs two screens: QT_QPA_PLATFORM=offscreen:configfile=" VELMAR_TEST_SOURCE_DIR
                 "/screens.json, or QT_QPA_PLATFORM unset");
        qputenv("HOME", m_home.path().toUtf8());
        appSettings = new QSettings(QStringLiteral("Kvero"), QStringLiteral("VelmarPC"));
        // The sound bank where the program keeps it, as after a first start.
        const QString bank = SoundEngine::getSoundfontFilePath();
        QFile::remove(bank);
        QVERIFY(QDir().mkpath(QFileInfo(bank).path()) && QFile::link("/usr/share/sounds/sf2/TimGM6mb.sf2", bank));
        QVERIFY(m_store.start(m_files.path()));
        scriptPrompts();
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"),
                            {m_songs.path(), QStringLiteral("2"), "a", "b", "c"});
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), {m_songs.path(), QStringLiteral("20"), "song"});
        m_db = std::make_unique<DatabaseHelper>();
        QVERIFY(m_db->initDb() && m_db->connect());
        m_db->insertPlaylist(QStringLiteral("Stage"));
        for (const char *name : {"a", "b", "c"}) {
            SongInfo row = info(song(name));
            row.keySign = QStringLiteral("G");
            QVERIFY(m_db->insertDataSongs(row, song(name), m_db->checkInsertArtist("Artist"),
                                          m_db->checkInsertGenre("Genre"), m_db->checkInsertAuthor("Author")));
            const int id = int(m_db->selectSongs().last().idSong);
            QVERIFY(m_db->insertSongInPlayList(id, m_db->selectPlaylists().last().getId()));
        }
        connect(&m_boxCloser, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                m_boxes << box->windowTitle() + "|" + box->text();
                m_windowOpenAtBox = m_window && m_window->isVisible();
                const QString answer = m_boxAnswer ? std::exchange(m_boxAnswer, nullptr)() : QString();
                for (QAbstractButton *b : box->buttons()) {
                    if (!answer.isEmpty() && b->text() == answer) {
                        b->click();
                        return;
                    }
                }
                box->done(QMessageBox::Ok);
            }
        });
        m_boxCloser.start(20);
        // The process's first window alone gets the start-up's delayed work,
        // three seconds after it shows (its prompts and boxes would close a
        // test's pop-up): shown and closed here, so that it falls into no
        // test whatever runs first; a test that wants it calls startUp().
        window();
        m_window.reset();
    }
    void init()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect|connectSlotsByName")));
        appSettings->clear();
        // A language chosen in an earlier test leaves its number format.
        QLocale::setDefault(QLocale::c());
        m_boxes.clear();
        m_prompts.clear();
        m_answer = QMessageBox::Yes;
        m_synthList.clear();
        m_audioList.clear();
        m_bank = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
        m_store.reset(); // and its faults
    }
    void cleanup()
    {
        m_window.reset();
        currSong->unloadSongFile();
    }
    void cleanupTestCase()
    {
        Prompter::setScript({});
        m_db.reset();
        delete appSettings;
        appSettings = nullptr;
        qputenv("HOME", m_oldHome);
    }

    // Each road of a request and each play action: whether the song plays,
    // waits ready, or the user is told it cannot be played.
    void requests_data()
    {
        QTest::addColumn<bool>("byPath");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("doubleClick");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("box"); // why the file cannot be played
        QTest::newRow("row, play") << false << "a" << 0 << 0 << 1 << "";
        QTest::newRow("row, load only") << false << "a" << 1 << 0 << 3 << "";
        QTest::newRow("row, settings say pause") << false << "a" << -1 << 1 << 3 << "";
        QTest::newRow("path, other value") << true << "b" << 5 << 0 << 3 << "";
        QTest::newRow("missing file") << true << "gone" << 0 << 0 << -1 << "no such file";
        QTest::newRow("not a song") << false << "notsong" << 0 << 0 << -1 << "not a song file the program plays";
        QTest::newRow("too large") << false << "large" << 0 << 0 << -1
                                   << "too large for a song: 70.0 MiB, at most 64.0 MiB";
        QTest::newRow("a folder") << true << "folder" << 0 << 0 << -1 << "not a file: a folder, a device or a pipe";
        QTest::newRow("10,001 bars") << true << "long" << 0 << 0 << -1 << "too long to play: more than 10000 bars";
        QTest::newRow("a name in Latin-1") << true << "latin1" << 0 << 0 << 1 << "";
    }
    void requests()
    {
        QFETCH(bool, byPath);
        QFETCH(QString, file);
        QFETCH(int, action);
        QFETCH(int, doubleClick);
        QFETCH(int, expected);
        QFETCH(QString, box);
        appSettings->setValue("System/DoubleClickAction", doubleClick);
        QString path = m_songs.filePath(file + ".kar");
        // As Qt reads it from a command line: U+FFFD for the byte of "é".
        if (file == "latin1") {
            const QByteArray raw = QFile::encodeName(m_songs.path()) + "/Caf\xe9.kar";
            QVERIFY(QFile::copy(song("a"), path) && ::rename(QFile::encodeName(path).constData(), raw.constData()) == 0);
            path = QFile::decodeName(raw);
        }
        if (file == "notsong")
            TestUtil::writeFile(path, "plain text, no song");
        // A song's head before 70 MiB of nothing.
        if (file == "large")
            QVERIFY(QFile::copy(song("a"), path) && QFile(path).resize(qint64(70) << 20));
        if (file == "folder")
            QVERIFY(QDir().mkpath(path));
        // Two notes 10,001 bars apart.
        if (file == "long")
            TestUtil::writeFile(path, QByteArray::fromHex("4d546864000000060000000101e04d54726b0000000f"
                                                          "00903c408993ff00803c0000ff2f00"));
        QSignalSpy states(window()->engine(), &SoundEngine::playStateChanged);
        const bool ok = byPath ? window()->onStartSongPath(path, action)
                               : window()->startSongPlaylist(info(path), action, -1, QString(), -1);
        QCOMPARE(ok, box.isEmpty());
        // A failed load leaves nothing playing.
        if (expected >= 0)
            QCOMPARE(int(state()), expected);
        else
            QVERIFY(state() != SoundEngine::ePsPlaying);
        QCOMPARE(m_boxes, box.isEmpty() ? QStringList()
                                        : QStringList{"Attention|Cannot play this file\n\n" + path + " (" + box + ")"});
        QCOMPARE(currSong->isLoaded(), ok);
        if (ok) {
            QCOMPARE(window()->karaokeView()->lyricsModel()->rows().size() > 0, true);
            QCOMPARE(int(states.last().at(0).value<SoundEngine::PlayingState>()), expected);
        }
    }

    // A playlist plays to its end by itself; without auto-play (stored, or
    // switched off by the user on the playlist's page) each next song waits
    // ready (the one after it preloaded) until Play is pressed.
    void playlist_data()
    {
        QTest::addColumn<int>("autoplay");
        QTest::addColumn<bool>("byButton");
        QTest::newRow("auto-play") << 1 << false;
        QTest::newRow("no auto-play") << 0 << false;
        QTest::newRow("Auto Play switched off") << 0 << true;
    }
    void playlist()
    {
        QFETCH(int, autoplay);
        QFETCH(bool, byButton);
        if (byButton) {
            find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
            auto *lists = find<QListWidget>("playlistListWidget");
            QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(5)).center());
            auto *button = find<QPushButton>("autoPlayButton");
            QTRY_VERIFY(button->isVisible() && button->isChecked());
            QTest::mouseClick(button, Qt::LeftButton);
            QVERIFY(!button->isChecked());
        } else {
            appSettings->setValue("System/Autoplay", autoplay);
        }
        const int list = m_db->selectPlaylists().last().getId();
        QVERIFY(window()->startSongPlaylist(info(song("a")), 0, list, "Stage", 0));
        QCOMPARE(nextSong->path(), song("b"));
        QCOMPARE(nextSong->playlistIndex(), 1);
        // The edit page's restart of the same song keeps its place in the list.
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        QCOMPARE(currSong->playlistIndex(), 0);
        QCOMPARE(nextSong->path(), song("b"));
        // Each song that follows by itself shows the library's data, as one
        // started by hand does.
        const auto head = [this] {
            return QStringList{find<QLabel>("authorLabel")->text(), find<QLabel>("keyValueLabel")->text()};
        };
        for (const char *next : {"b", "c"}) {
            QTRY_COMPARE_WITH_TIMEOUT(currSong->path(), song(next), 20000);
            QTRY_VERIFY(currSong->isLoaded());
            QCOMPARE(int(state()), autoplay ? 1 : 3);
            QCOMPARE(head(), QStringList({"Artist", "G [0]"}));
            QCOMPARE(nextSong->isLoaded(), next[0] != 'c');
            if (!autoplay)
                QTest::mouseClick(find<QPushButton>("playButton"), Qt::LeftButton);
            QCOMPARE(int(state()), 1);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!currSong->isLoaded(), 20000);
        QCOMPARE(int(state()), 0);
    }

    // What Play does by the engine's state and the library's selection; a
    // double click plays too. Each request loads its song once.
    void playButton_data()
    {
        QTest::addColumn<QString>("before");   // "", "a playing" or "a paused"
        QTest::addColumn<QString>("selected"); // the library row chosen ("store": a store song)
        QTest::addColumn<bool>("libraryShown");
        QTest::addColumn<QString>("how");      // "play" or "double click"
        QTest::addColumn<QString>("after");    // the song then playing
        QTest::addColumn<int>("loads");
        QTest::newRow("double click") << "" << "b" << true << "double click" << "b" << 1;
        QTest::newRow("nothing loaded: the selection") << "" << "b" << false << "play" << "b" << 1;
        QTest::newRow("nothing loaded: a store song") << "" << "store" << true << "play" << "store" << 1;
        QTest::newRow("nothing loaded or selected") << "" << "" << true << "play" << "" << 0;
        QTest::newRow("paused: another selected") << "a paused" << "b" << true << "play" << "b" << 1;
        QTest::newRow("paused: itself selected") << "a paused" << "a" << true << "play" << "a" << 0;
        QTest::newRow("paused: the library hidden") << "a paused" << "b" << false << "play" << "a" << 0;
        QTest::newRow("playing: another selected") << "a playing" << "b" << true << "play" << "b" << 1;
        QTest::newRow("playing: itself selected") << "a playing" << "a" << true << "play" << "a" << 0;
        QTest::newRow("playing: the library hidden") << "a playing" << "b" << false << "play" << "a" << 0;
    }
    void playButton()
    {
        QFETCH(QString, before);
        QFETCH(QString, selected);
        QFETCH(bool, libraryShown);
        QFETCH(QString, how);
        QFETCH(QString, after);
        QFETCH(int, loads);
        appSettings->setValue("User/user_id", 42); // store songs are for users
        if (!before.isEmpty()) {
            QVERIFY(window()->onStartSongPath(song("a"), 0));
            if (before.endsWith("paused"))
                QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
        }
        QTest::mouseClick(find<QPushButton>("LibraryButton"), Qt::LeftButton);
        if (selected == "store") {
            // A MIDI song in the store's news, once the start's news request is answered.
            QPointer<QObject> request = window()->findChild<QNetworkAccessManager *>(QString(), Qt::FindDirectChildrenOnly);
            QTRY_VERIFY_WITH_TIMEOUT(request.isNull(), 30000);
            SongInfo news;
            news.ProductId = 5001;
            news.isFromSub = 2;
            news.format = "MIDI";
            QVERIFY(m_db->truncateMDNews() && m_db->insertMDSongsNews(news));
            auto *side = find<QListWidget>("playlistListWidget");
            side->setCurrentRow(3);
            emit side->clicked(side->model()->index(3, 0));
            songTable()->setCurrentIndex(songTable()->model()->index(0, 2));
        } else {
            select(selected.isEmpty() ? QString() : song(selected.toLatin1()));
        }
        if (!libraryShown)
            QTest::mouseClick(find<QPushButton>("KaraokeButton"), Qt::LeftButton);
        QSignalSpy changes(currSong, &Song::loadSongChange);
        if (how == "play")
            QTest::mouseClick(find<QPushButton>("playButton"), Qt::LeftButton);
        else
            emit songTable()->doubleClicked(songTable()->currentIndex());
        int loaded = 0;
        for (const QList<QVariant> &change : changes)
            loaded += change.at(0).value<Song::LoadSongState>() == Song::eLsLoaded;
        QCOMPARE(loaded, loads);
        QCOMPARE(int(state()), after.isEmpty() ? 0 : 1);
        QVERIFY(!find<QPushButton>("pauseButton")->isChecked());
        if (after == "store") {
            QVERIFY(currSong->path().startsWith(m_db->getLibraryFolder()) && currSong->path().endsWith(".mid"));
            QCOMPARE(m_db->selectMDSongs().value(0).isFromSub, 4); // downloaded
        } else if (!after.isEmpty()) {
            QCOMPARE(currSong->path(), song(after.toLatin1()));
        }
        QVERIFY(m_boxes.isEmpty());
    }

    // A song (from the command line or a drop: nothing chosen in the
    // library) left to end with the position pop-up open: the pop-up goes
    // with it, so the keys reach the window again, and Play, pressed where
    // it is drawn, plays the song again from its start, on the karaoke page
    // as on the library. A song whose file went meanwhile is told.
    void songEndThenPlay_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("fileGone");
        QTest::newRow("karaoke page") << "KaraokeButton" << false;
        QTest::newRow("library page") << "LibraryButton" << false;
        QTest::newRow("the file gone") << "KaraokeButton" << true;
    }
    void songEndThenPlay()
    {
        QFETCH(QString, page);
        QFETCH(bool, fileGone);
        const QString path = m_files.filePath("ending.kar");
        QFile::remove(path);
        QVERIFY(QFile::copy(song("a"), path));
        QVERIFY(window()->onStartSongPath(path, 0));
        QTest::mouseClick(find<QPushButton>("LibraryButton"), Qt::LeftButton);
        select(QString());
        QTest::mouseClick(find<QPushButton>(page.toLatin1()), Qt::LeftButton);
        auto *seek = window()->findChild<SeekTrackSlider *>();
        QTest::mouseClick(find<QPushButton>("fwdButton"), Qt::LeftButton);
        QVERIFY(seek->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(state() == SoundEngine::ePsIdle, 30000);
        QVERIFY(!seek->isVisible());
        if (fileGone)
            QVERIFY(QFile::remove(path));

        QSignalSpy bars(window()->engine(), &SoundEngine::barBeatOfPlaying);
        auto *play = find<QPushButton>("playButton");
        QTest::mouseClick(play, Qt::LeftButton, {}, play->rect().center());
        if (fileGone) {
            QCOMPARE(int(state()), 3);
            QCOMPARE(m_boxes.size(), 1);
            QVERIFY2(m_boxes.first().startsWith("Attention|Cannot play this file") && m_boxes.first().contains("no such file"),
                     qPrintable(m_boxes.first()));
            return;
        }
        QCOMPARE(int(state()), 1);
        QCOMPARE(currSong->path(), path);
        QTRY_VERIFY_WITH_TIMEOUT(!bars.isEmpty(), 20000);
        QCOMPARE(bars.first().at(0).toInt(), 0);
        QVERIFY(m_boxes.isEmpty());
    }

    // Two outputs of one name behind an input that is the sound server's
    // default: the page offers the name once, and the start-up opens the
    // synthesizer and the MP3 path on the first output of that name, also
    // once chosen on the settings page and after a restart, without a word
    // to the user.
    void devicesAcrossRestart()
    {
        m_synthList = {{"Monitor of Null Output", false}, {"Null Output", true}, {"Null Output", true}};
        m_audioList = {{0, "Monitor of Null Output", 0, 48000}, {1, "Null Output", 2, 48000}, {2, "Null Output", 2, 48000}};
        m_answer = QMessageBox::No;
        SoundEngineRig::makeSongs(m_songs.path());
        startUp();
        QCOMPARE(m_synthSink->openedDevice(), 2);
        QCOMPARE(m_synthSink->opens(), 1);
        QStringList listed;
        for (int i = 0; i < combo("comboAudioDevices")->count(); ++i)
            listed << combo("comboAudioDevices")->itemText(i);
        QCOMPARE(listed, QStringList({"Null Output"}));
        choose("comboSoundCard", "Timbra MIDI Module");
        choose("comboAudioDevices", "Null Output");
        for (bool restarted : {false, true}) {
            if (restarted) {
                restart();
                startUp();
            }
            QCOMPARE(m_synthSink->openedDevice(), 2);
            // Opened once at a start: on the device chosen, not first on the default.
            if (restarted)
                QCOMPARE(m_synthSink->opens(), 1);
            QVERIFY(window()->engine()->getIsMidiPortConnected());
            QCOMPARE(combo("comboSoundCard")->currentText(), QString("Timbra MIDI Module"));
            QCOMPARE(combo("comboAudioDevices")->currentText(), QString("Null Output"));
            QVERIFY(window()->onStartSongPath(m_songs.filePath("song.mp3"), 0));
            QCOMPARE(m_audioSink->openedDevice(), 1);
            QVERIFY(!warningShown());
        }
    }

    // Between songs the host moves the sound from the desk to the PA: while
    // a song plays or pauses the output boxes wait and say what frees them;
    // after Stop, pressed where it is drawn, they take the choice and the
    // song still loaded plays on the new output: the MIDI song through the
    // synthesizer moved there, heard from its first notes, the MP3 song on a
    // stream of its own.
    void outputsBetweenSongs()
    {
        m_synthList = {{"Desk", true}, {"PA", true}};
        m_audioList = {{0, "Desk", 2, 48000}, {1, "PA", 2, 48000}};
        m_answer = QMessageBox::No;
        SoundEngineRig::makeSongs(m_songs.path());
        startUp();
        QCOMPARE(m_synthSink->openedDevice(), 1);
        QLabel *wait = window()->settingsView()->findChild<QLabel *>("outputsWait");
        for (const QString &played : {song("a"), m_songs.filePath("song.mp3")}) {
            QVERIFY(window()->onStartSongPath(played, 0));
            QCOMPARE(state(), SoundEngine::ePsPlaying);
            QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
            QCOMPARE(state(), SoundEngine::ePsPaused);
            QVERIFY(!combo("comboAudioDevices")->isEnabled() && !combo("comboSoundCard")->isEnabled());
            QCOMPARE(wait->text(), QString("Press Stop to change the outputs."));
            QVERIFY(!wait->isHidden());
            QTest::mouseClick(find<QPushButton>("rewButton"), Qt::LeftButton);
            QCOMPARE(state(), SoundEngine::ePsReady);
            QVERIFY(currSong->isLoaded());
            QVERIFY(combo("comboAudioDevices")->isEnabled() && combo("comboSoundCard")->isEnabled());
            QVERIFY(wait->isHidden());
            const bool toPa = combo("comboAudioDevices")->currentText() == "Desk";
            choose("comboAudioDevices", toPa ? "PA" : "Desk");
            QCOMPARE(m_synthSink->openedDevice(), toPa ? 2 : 1);
            QVERIFY(window()->engine()->getIsMidiPortConnected());
            QTest::mouseClick(find<QPushButton>("playButton"), Qt::LeftButton);
            QCOMPARE(state(), SoundEngine::ePsPlaying);
            QCOMPARE(currSong->path(), played);
            if (played.endsWith(".mp3")) {
                QCOMPARE(m_audioSink->openedDevice(), toPa ? 1 : 0);
                continue;
            }
            // The song's first notes, pulled as the new device would.
            double loudest = 0;
            for (int i = 0; i < 30 && loudest < 0.003; ++i) {
                QTest::qWait(100);
                loudest = std::max(loudest, rms(m_synthSink->pull(4410)));
            }
            QVERIFY2(loudest > 0.003, qPrintable(QString::number(loudest)));
        }
        QVERIFY(!warningShown());
        QVERIFY(m_boxes.isEmpty());
    }

    // A synthesizer without its sound bank at start-up: the box names the
    // bank and offers its download at once, before the update offer and
    // without a device warning. Refused, the synthesizer is switched off (an
    // audio device chosen leaves it off) until the bank arrives; taken, the
    // bank comes from the store and the synthesizer opens. Nothing asks for
    // the bank again.
    void synthesizerOpensLater_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("the bank arrives") << "bank";
        QTest::newRow("an audio device is chosen") << "device";
        QTest::newRow("the download is taken") << "download";
    }
    void synthesizerOpensLater()
    {
        QFETCH(QString, how);
        m_synthList = {{"Speakers", true}};
        m_audioList = {{0, "Speakers", 2, 48000}};
        const bool download = how == "download";
        m_bank = download ? SoundEngine::getSoundfontFilePath() : m_files.filePath("later.sf2");
        QFile::remove(m_bank);
        QFile::remove(m_files.filePath("Basic.sfc"));
        if (download)
            QVERIFY(QFile::copy("/usr/share/sounds/sf2/TimGM6mb.sf2", m_files.filePath("Basic.sfc")));
        m_answer = download ? QMessageBox::Yes : QMessageBox::No;
        startUp();
        const QStringList asked = m_prompts.filter(QRegularExpression("^Sound bank\\|"));
        QCOMPARE(asked, QStringList({"Sound bank|The sound bank of the software synthesizer is missing or cannot be "
                                     "read:\n" + QDir::toNativeSeparators(m_bank)
                                     + "\nMIDI songs make no sound without it. Download it now?"}));
        QVERIFY(!warningShown());
        QTRY_COMPARE_WITH_TIMEOUT(updateOffers(), 1, 30000);
        QVERIFY(m_prompts.indexOf(asked.first()) < m_prompts.indexOf(m_prompts.filter("Update available").first()));
        QCOMPARE(m_prompts.filter(QRegularExpression("Timbra|sound bank", QRegularExpression::CaseInsensitiveOption)),
                 asked);
        if (!download) {
            QVERIFY(!window()->engine()->getIsMidiPortConnected());
            QVERIFY(QFile::copy("/usr/share/sounds/sf2/TimGM6mb.sf2", m_bank));
            if (how == "device") {
                choose("comboAudioDevices", "Speakers");
                QVERIFY(!window()->engine()->getIsMidiPortConnected());
            }
            QVERIFY(QMetaObject::invokeMethod(window(), "onSoundfontAvailable"));
        }
        // A download taken comes in the background.
        QTRY_VERIFY_WITH_TIMEOUT(window()->engine()->getIsMidiPortConnected(), 30000);
        QCOMPARE(m_synthSink->openedDevice(), 1);
        QCOMPARE(combo("comboSoundCard")->currentText() + combo("comboAudioDevices")->currentText(),
                 QString("Timbra MIDI ModuleSpeakers"));
        QVERIFY(!warningShown());
        // The bank of the first start again, for the tests that follow.
        if (download)
            QVERIFY(QFile::remove(m_bank) && QFile::link("/usr/share/sounds/sf2/TimGM6mb.sf2", m_bank));
    }

    // Header bar: the pause button pauses and resumes (Play resumes too, see
    // playButton), stop returns to the start; the window closed while a song
    // plays.
    void headerBar()
    {
        QVERIFY(window()->onStartSongPath(song("c"), 0));
        for (int expected : {2, 1}) {
            QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
            QCOMPARE(int(state()), expected);
            QCOMPARE(find<QPushButton>("pauseButton")->isChecked(), expected == 2);
        }
        QTest::mouseClick(find<QPushButton>("rewButton"), Qt::LeftButton);
        QCOMPARE(int(state()), 3);
        QVERIFY(currSong->isLoaded());

        // Closing while a song plays pauses it and keeps the volume.
        window()->findChild<volumePopup *>()->setVolume(77);
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        QVERIFY(window()->close());
        QCOMPARE(int(state()), 2);
        QCOMPARE(appSettings->value("Volume/value").toUInt(), 77u);
        m_window.reset();
        QCOMPARE(mw, nullptr);
    }

    // The header's pop-ups and the options page reach what they set, each
    // pressed where it is drawn: the volume slider the sound, the melody
    // channel list the engine and the settings, the karaoke looks the
    // lyrics view.
    void popupsAndOptionsReachTheirTargets()
    {
        QVERIFY(window()->onStartSongPath(song("song"), 0));
        // The loudest 100 ms of the synthesizer's next half second, once
        // the change has had 300 ms to arrive.
        const auto loudest = [this] {
            double peak = 0;
            for (int i = 0; i < 8; ++i) {
                QTest::qWait(100);
                const double level = rms(m_synthSink->pull(4410));
                if (i >= 3)
                    peak = std::max(peak, level);
            }
            return peak;
        };
        QTest::mouseClick(find<QPushButton>("volumeButton"), Qt::LeftButton);
        auto *slider = window()->findChild<volumePopup *>()->findChild<QSlider *>("masterVolumeSlider");
        QTRY_VERIFY(slider->isVisible());
        QTest::keyClick(slider, Qt::Key_Home);
        QVERIFY2(loudest() < 0.001, "volume 0 still heard");
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(slider->value(), 127);
        QVERIFY2(loudest() > 0.003, "volume 127 not heard");
        slider->window()->close();

        QTest::mouseClick(find<QPushButton>("melodyChButton"), Qt::LeftButton);
        auto *channels = window()->findChild<QListView *>("channelsView");
        QTRY_VERIFY(channels->isVisible());
        const QRect tenth = channels->visualRect(channels->model()->index(9, 0));
        QTest::mouseClick(channels->viewport(), Qt::LeftButton, {}, tenth.center());
        QCOMPARE(appSettings->value("MidiSettings/MelodyTrack").toInt(), 9);
        channels->window()->close();

        QTest::mouseClick(find<QPushButton>("optionsButton"), Qt::LeftButton);
        SettingsView *page = window()->settingsView();
        QTRY_VERIFY(page->isVisible());
        // Opens the box's list and clicks the row's entry in it.
        const auto pick = [page](const char *name, int row) {
            auto *box = page->findChild<QComboBox *>(name);
            page->findChild<QScrollArea *>()->ensureWidgetVisible(box);
            QTest::mouseClick(box, Qt::LeftButton);
            QAbstractItemView *list = box->view();
            QTRY_VERIFY(list->isVisible());
            QTest::qWait(QApplication::doubleClickInterval() + 50); // a release this soon only opened it
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(row, 0)).center());
            QTRY_VERIFY(!list->isVisible());
            QCOMPARE(box->currentIndex(), row);
        };
        const ViewParameter *looks = karaoke()->viewParameter();
        pick("textSizeCombo", 2);
        QCOMPARE(looks->fontSize, 58);
        pick("textFontCombo", 1);
        QCOMPARE(looks->fontFamily, QString("Marker Felt"));
        pick("textAlignCombo", 1);
        QCOMPARE(looks->textAlignment, Qt::AlignLeft | Qt::AlignVCenter);
        pick("chordCombo", 0);
        QCOMPARE(window()->findChild<chordsView *>()->getChordInterNotation(), 0);
    }

    // Where no web browser opens (none here), "Report an Error" says so and
    // gives the page's address.
    void reportWithoutBrowser()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("openUrl"));
        QTest::mouseClick(find<QPushButton>("FeedbackButton"), Qt::LeftButton);
        QTRY_COMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first(), QString("Report an Error|No web browser could be opened. The page to report an "
                                          "error is:\nhttps://www.melodrome.com/en/report-a-problem"));
    }

    // Every button that shows only a picture, on every page, says what it does
    // in a tooltip and an accessible name, in the language shown; Tab
    // reaches it. A playlist of the user's shows its rename and delete.
    void iconButtonsSayWhatTheyDo()
    {
        auto restore = qScopeGuard([] {
            for (QTranslator **t : {&translator, &systemTranslator}) {
                QCoreApplication::removeTranslator(*t);
                delete *t;
                *t = nullptr;
            }
        });
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *lists = find<QListWidget>("playlistListWidget");
        QWidget *stage = nullptr;
        for (int row = 0; row < lists->count(); ++row) {
            QWidget *w = lists->itemWidget(lists->item(row));
            const auto *title = w ? w->findChild<QLabel *>("titleLabel") : nullptr;
            stage = title && title->text() == "Stage" ? w : stage;
        }
        QVERIFY(stage);
        lists->scrollToBottom();
        const auto silent = [&] {
            QStringList out;
            for (const char *tab : {"LibraryButton", "EditButton", "MixerButton", "ChordsButton", "KaraokeButton"}) {
                QTest::mouseClick(find<QPushButton>(tab), Qt::LeftButton);
                for (QAbstractButton *b : window()->findChildren<QAbstractButton *>()) {
                    // The logo, the tab bar's corner and the search box's
                    // magnifier are pictures that do nothing.
                    if (!b->isVisible() || !b->text().trimmed().isEmpty()
                        || QStringList{"storeButton", "OtherButton", "searchLibraryButton"}.contains(b->objectName()))
                        continue;
                    if (b->toolTip().isEmpty() || b->accessibleName().isEmpty() || !(b->focusPolicy() & Qt::TabFocus))
                        out << QStringLiteral("%1 on %2: \"%3\" \"%4\" %5")
                                   .arg(b->objectName(), tab, b->toolTip(), b->accessibleName())
                                   .arg(b->focusPolicy());
                }
            }
            out.removeDuplicates();
            return out;
        };
        QCOMPARE(silent(), QStringList());
        QCOMPARE(find<QPushButton>("rewButton")->toolTip(), QString("Stop"));
        auto *combo = window()->settingsView()->findChild<QComboBox *>("languageCombo");
        combo->setCurrentIndex(0);
        emit combo->activated(0);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(silent(), QStringList());
        QCOMPARE(find<QPushButton>("playButton")->toolTip(), QString("Riproduci"));
        QCOMPARE(find<QPushButton>("fwdButton")->accessibleName(), QString("Vai a un punto del brano"));
        QCOMPARE(stage->findChild<QPushButton *>("deleteButton")->toolTip(), QString("Elimina la playlist"));
    }

    // On each laptop screen the mixer unpinned from the window of a first
    // start, a song playing, opens whole on the screen; so does the edit
    // page's instrument chooser opened from its last channel.
    // Tab alone walks every page round: it leaves the song list (a table
    // would keep it moving from cell to cell) and stops on each of the page
    // tabs, the library's two lists and three filters and the chords'
    // two modes, not only on the one chosen.
    void tabWalksEveryPage()
    {
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window()));
        QSet<QString> reached;
        const auto noted = connect(qApp, &QApplication::focusChanged, this, [&reached](QWidget *, QWidget *now) {
            if (now)
                reached << now->objectName();
        });
        auto forget = qScopeGuard([noted] { disconnect(noted); });
        for (const char *tab : {"LibraryButton", "ChordsButton"}) {
            QTest::mouseClick(find<QPushButton>(tab), Qt::LeftButton);
            find(tab)->setFocus(Qt::MouseFocusReason);
            for (int i = 0; i < 120 && QApplication::focusWidget(); ++i)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QStringList missing;
        for (const char *name : {"KaraokeButton", "LibraryButton", "EditButton", "MixerButton", "ChordsButton",
                                 "repertoireButton", "browsePcButton", "titleButton", "artistButton", "genreButton",
                                 "songsListview", "newPlaylistButton", "TextButton", "GuitarButton"}) {
            if (!reached.contains(name))
                missing << name;
        }
        QCOMPARE(missing, QStringList());
    }

    void windowsOnScreen_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("1280x800") << 1280;
        QTest::newRow("1366x768") << 1366;
    }
    void windowsOnScreen()
    {
        QFETCH(int, width);
        QRect area;
        for (QScreen *screen : QGuiApplication::screens())
            area = screen->geometry().width() == width ? screen->availableGeometry() : area;
        QVERIFY(area.isValid());
        window()->move(area.topLeft());
        window()->resize(window()->width(), area.height() - (window()->frameGeometry().height() - window()->height()));
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        QTest::mouseClick(find<QPushButton>("MixerButton"), Qt::LeftButton);
        QTest::mouseClick(find<QPushButton>("unpinButton"), Qt::LeftButton);
        QWidget *mixer = view("mixerView")->window();
        QVERIFY(mixer != window());
        QCoreApplication::processEvents();
        QVERIFY2(area.contains(mixer->frameGeometry()),
                 qPrintable(QStringLiteral("mixer %1,%2 %3x%4 on %5x%6")
                                .arg(mixer->frameGeometry().x()).arg(mixer->frameGeometry().y())
                                .arg(mixer->frameGeometry().width()).arg(mixer->frameGeometry().height())
                                .arg(area.width()).arg(area.height())));
        QVERIFY(mixer->close());

        QTest::mouseClick(find<QPushButton>("EditButton"), Qt::LeftButton);
        auto strips = view("editView")->findChildren<ControlTrackSmall *>();
        QVERIFY(!strips.isEmpty());
        QWidget *name = strips.last()->findChild<QLabel *>("instrLabel");
        QTest::mousePress(strips.last(), Qt::LeftButton, {}, name->mapTo(strips.last(), name->rect().center()));
        QWidget *chooser = QApplication::activePopupWidget();
        QVERIFY(chooser);
        QVERIFY(area.contains(chooser->frameGeometry()));
        chooser->close();
    }

    // On the 1366x768 screen the instrument chooser opens upward over the
    // karaoke view. A double-click on an instrument, as a hand used to lists
    // gives it, chooses the instrument and closes the chooser with its first
    // click; its second lands where the chooser was, on the lyrics, and does
    // nothing there: the karaoke view stays in the window. A click on the
    // view afterwards still reaches it.
    void chooserDoubleClick()
    {
        QRect area;
        for (QScreen *screen : QGuiApplication::screens())
            area = screen->geometry().width() == 1366 ? screen->availableGeometry() : area;
        window()->setGeometry(area);
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        QTest::mouseClick(find<QPushButton>("EditButton"), Qt::LeftButton);
        settle();
        ControlTrackSmall *strip = view("editView")->findChildren<ControlTrackSmall *>().first();
        QWidget *name = strip->findChild<QLabel *>("instrLabel");
        QTest::mousePress(strip, Qt::LeftButton, {}, name->mapTo(strip, name->rect().center()));
        QWidget *chooser = QApplication::activePopupWidget();
        QVERIFY(chooser);
        auto *families = chooser->findChild<QListView *>("listViewFamiliy");
        QTest::mousePress(families->viewport(), Qt::LeftButton, {},
                          families->visualRect(families->model()->index(8, 0)).center());
        auto *items = chooser->findChild<QListView *>("listViewInstr");
        const QModelIndexList sax = items->model()->match(items->model()->index(0, 0), Qt::DisplayRole, "Soprano Sax");
        QVERIFY(!sax.isEmpty());
        const QPoint at = items->viewport()->mapToGlobal(items->visualRect(sax.first()).center());

        // Both clicks from the window system, within a double-click's time,
        // each to the window under the pointer then.
        const auto click = [&](int time) {
            QWindow *under = QGuiApplication::topLevelAt(at);
            QVERIFY(under);
            const QPointF local = under->mapFromGlobal(at);
            qt_handleMouseEvent(under, local, at, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress, {}, time);
            qt_handleMouseEvent(under, local, at, {}, Qt::LeftButton, QEvent::MouseButtonRelease, {}, time + 30);
            QCoreApplication::processEvents();
        };
        QTest::lastMouseTimestamp += QTest::mouseDoubleClickInterval;
        const int first = QTest::lastMouseTimestamp;
        click(first);
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
        QCOMPARE(name->property("text").toString(), QString("Soprano Sax"));
        QVERIFY(karaoke()->isAncestorOf(QApplication::widgetAt(at)));
        click(first + 120);
        settle();
        QCOMPARE(karaoke()->window(), window());
        QCOMPARE(name->property("text").toString(), QString("Soprano Sax"));

        // Later, a double-click on the lyrics is the view's own again.
        QTest::lastMouseTimestamp = first + 120 + 2 * QTest::mouseDoubleClickInterval;
        click(QTest::lastMouseTimestamp);
        click(QTest::lastMouseTimestamp + 120);
        QTRY_VERIFY(karaoke()->window() != window());
        QTest::lastMouseTimestamp += 120 + QTest::mouseDoubleClickInterval;
    }

    // Every text of every page and of the options and account pop-ups, and
    // the icons of a playlist row, stand out from their ground by at least
    // 4.5:1.
    void textsStandOut()
    {
        appSettings->setValue("User/user_id", 42);
        appSettings->setValue("User/name", "Anna");
        appSettings->setValue("User/surname", "Rossi");
        appSettings->setValue("User/email", "anna@example.org");
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        QStringList faint;
        for (const char *tab : {"LibraryButton", "EditButton", "MixerButton", "ChordsButton", "KaraokeButton"}) {
            QTest::mouseClick(find<QPushButton>(tab), Qt::LeftButton);
            for (const QString &f : Contrast::faint(window()))
                faint << QStringLiteral("%1: %2").arg(tab, f);
        }
        for (const char *button : {"optionsButton", "userButton", "melodyChButton"}) {
            QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton);
            QWidget *popup = QApplication::activePopupWidget();
            QVERIFY2(popup, button);
            for (const QString &f : Contrast::faint(popup))
                faint << QStringLiteral("%1: %2").arg(button, f);
            popup->close();
        }
        // The library page's icons: each on its button's plate, in the
        // middle of the button.
        QTest::mouseClick(find<QPushButton>("LibraryButton"), Qt::LeftButton);
        const QImage page = window()->grab().toImage();
        for (const char *icon : {"unpinButton", "showHideLeftFrame", "MDSwitch", "searchLibraryButton"}) {
            QWidget *w = find(icon);
            QRect at(w->mapTo(window(), QPoint()), w->size());
            at.adjust(at.width() / 5, at.height() / 5, -at.width() / 5, -at.height() / 5);
            const QImage drawn = page.copy(at & page.rect());
            const QColor under = Contrast::ground(drawn);
            double r = 1;
            for (int y = 0; y < drawn.height(); ++y)
                for (int x = 0; x < drawn.width(); ++x)
                    r = std::max(r, Contrast::ratio(drawn.pixelColor(x, y), under));
            if (r < 4.5)
                faint << QStringLiteral("%1 %2").arg(icon).arg(r, 0, 'f', 2);
        }
        // The icons of a playlist of the user's, on its row and on its row chosen.
        auto *lists = find<QListWidget>("playlistListWidget");
        for (int row = 0; row < lists->count(); ++row) {
            QWidget *w = lists->itemWidget(lists->item(row));
            const auto *title = w ? w->findChild<QLabel *>("titleLabel") : nullptr;
            if (!title || title->text() != "Stage")
                continue;
            lists->scrollToItem(lists->item(row));
            for (bool chosen : {false, true}) {
                lists->setCurrentRow(chosen ? row : 0);
                const QImage shown = window()->grab().toImage();
                for (const char *icon : {"infoButton", "deleteButton"}) {
                    const double r = Contrast::standsOut(w->findChild<QWidget *>(icon), shown);
                    if (r < 4.5)
                        faint << QStringLiteral("%1%2 %3").arg(icon, chosen ? " chosen" : "").arg(r, 0, 'f', 2);
                }
            }
        }
        faint.removeDuplicates();
        QCOMPARE(faint, QStringList());
    }

    // On the 1280-pixel screen, in the window of a first start, the header
    // shows at least 24 characters of the title and of the artist.
    // A first start in each language on the screen the window opens on,
    // nothing resized: the window takes the screen's free area, the header
    // shows at least 24 characters of a long title and of a long artist, the
    // library's side list shows its "Playlists" heading whole.
    void firstWindow_data()
    {
        QTest::addColumn<int>("language"); // "System/Lang"
        QTest::newRow("Italian") << 0;
        QTest::newRow("English") << 1;
        QTest::newRow("German") << 2;
        QTest::newRow("Chinese") << 3;
    }
    void firstWindow()
    {
        QFETCH(int, language);
        auto restore = qScopeGuard(&removeTranslators);
        // As a start does: the language before the window.
        installTranslators(language);
        const QString title = QStringLiteral("Evening Lights over the Harbour Wall");
        const QString artist = QStringLiteral("The Practice Room Collective Band");
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"),
                            {m_songs.filePath("first"), "20", "long", "--title", title, "--artist", artist});
        startFromLibrary(m_songs.filePath("first/long.kar"));
        QTRY_COMPARE(window()->frameGeometry(), window()->screen()->availableGeometry());
        const QRect first = window()->geometry();
        for (const auto &[name, full] : {std::pair{"titleLabel", title}, std::pair{"authorLabel", artist}}) {
            const QString shown = find<QLabel>(name)->text();
            const QString whole = shown.endsWith(QChar(0x2026)) ? shown.chopped(1) : shown;
            QVERIFY2(full.startsWith(whole) && whole.size() >= 24,
                     qPrintable(QStringLiteral("%1: \"%2\" in %3 px").arg(name, shown).arg(find<QLabel>(name)->width())));
        }
        auto *side = find<QListWidget>("playlistListWidget");
        auto *heading = qobject_cast<QLabel *>(side->itemWidget(side->item(4)));
        QVERIFY(heading && !heading->text().isEmpty());
        QVERIFY2(side->viewport()->rect().contains(side->visualItemRect(side->item(4))),
                 qPrintable(QStringLiteral("%1 of %2 px shown").arg(side->viewport()->height() - heading->y())
                                .arg(heading->height())));
        QCOMPARE(window()->geometry(), first);
    }

    // A language chosen while the program runs leaves the window as it is:
    // at the size of a first start and at its narrowest.
    void languageKeepsTheWindowSize()
    {
        auto restore = qScopeGuard(&removeTranslators);
        QTRY_COMPARE(window()->frameGeometry(), window()->screen()->availableGeometry());
        const QSize first = window()->size();
        combo("languageCombo")->setCurrentIndex(0);
        emit combo("languageCombo")->activated(0);
        settle();
        QCOMPARE(window()->size(), first);
        window()->resize(window()->minimumWidth(), window()->height());
        settle();
        const QSize narrow = window()->size();
        // German and Chinese come from "System/Lang" only, as at a start.
        for (int language : {1, 2, 3, 0, 1}) {
            removeTranslators();
            installTranslators(language);
            settle();
            QCOMPARE(window()->size(), narrow);
        }
    }

    // The window as narrow as half a 1920-pixel screen, in each language
    // chosen while it is that narrow: on every page no text is
    // cut, no button hidden and nothing squeezed below its least; the
    // transport buttons work where they are drawn; the title and artist
    // are shown, cut to fit, in German about as long as in English.
    // Widened again, the header is as designed.
    void narrowWindow()
    {
        auto restore = qScopeGuard(&removeTranslators);
        const QString title = QStringLiteral("Evening Lights over the Harbour Wall");
        const QString artist = QStringLiteral("The Practice Room Collective Band");
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"),
                            {m_songs.filePath("narrow"), "20", "narrow", "--title", title, "--artist", artist});
        startFromLibrary(m_songs.filePath("narrow/narrow.kar"));
        const QSize wide = window()->size();
        const int half = 1920 / 2;
        window()->resize(half, wide.height());
        settle();
        QCOMPARE(window()->width(), half);
        const auto press = [this](const char *name, SoundEngine::PlayingState then) {
            auto *button = find<QPushButton>(name);
            const QPoint at = button->mapTo(window(), button->rect().center());
            QCOMPARE(window()->childAt(at), button);
            QTest::mouseClick(button, Qt::LeftButton);
            QTRY_COMPARE(state(), then);
        };
        QStringList faults;
        QHash<int, qsizetype> shownCharacters;
        for (int language : {0, 2, 3, 1}) {
            removeTranslators();
            installTranslators(language);
            settle();
            QCOMPARE(window()->width(), half);
            for (const char *tab : {"LibraryButton", "KaraokeButton", "EditButton", "MixerButton", "ChordsButton"}) {
                QTest::mouseClick(find<QPushButton>(tab), Qt::LeftButton);
                settle();
                const QString where = QStringLiteral("%1 %2: ").arg(language).arg(tab);
                if (window()->centralWidget()->minimumSizeHint().width() > window()->width())
                    faults << where + "squeezed";
                for (const WidgetTexts::Entry &e : WidgetTexts::collect(window())) {
                    if (e.cut() && (e.kind == "label" || e.kind == "button" || e.kind == "control"))
                        faults << where + QStringLiteral("%1 %2 \"%3\" needs %4 px, has %5")
                                              .arg(e.kind, e.path.section('/', -1), e.text).arg(e.need).arg(e.have);
                }
            }
            for (const auto &[name, full] : {std::pair{"titleLabel", title}, std::pair{"authorLabel", artist}}) {
                const QString shown = find<QLabel>(name)->text();
                shownCharacters[language] = shown.size();
                QVERIFY2(full.startsWith(shown.chopped(1)) && shown.size() > 10, qPrintable(shown));
            }
            press("pauseButton", SoundEngine::ePsPaused);
            press("playButton", SoundEngine::ePsPlaying);
            press("rewButton", SoundEngine::ePsReady);
            press("playButton", SoundEngine::ePsPlaying);
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
        // German's longer labels fold as English ones do: the names keep
        // about the length they have in English.
        QVERIFY2(shownCharacters.value(2) + 2 >= shownCharacters.value(1),
                 qPrintable(QStringLiteral("%1 against %2").arg(shownCharacters.value(2)).arg(shownCharacters.value(1))));
        window()->resize(wide);
        settle();
        QVERIFY(find<QWidget>("storeButton")->isVisible());
        for (const char *name : {"volumeButton", "melodyChButton", "melodyMuteButton"})
            QVERIFY2(!find<QPushButton>(name)->text().contains('\n'), name);
    }

    // Ordinary lyric rows sung on the karaoke page of a first window: none is
    // split in two, and the row being sung is whole on the screen at every
    // report. Paused by its button, the song keeps its rows at their size.
    void lyricsAtTheFirstWindow()
    {
        const QStringList rows{"When the evening lights came on", "I will sing the song we knew",
                               "Every road is open tonight", "Hold the line and carry on now",
                               "Open road beneath a silver sky", "Till the end of the song we sing"};
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"),
                            {m_songs.filePath("sung"), "1", "sung", "--lyrics", rows.join('|'), "--bpm", "240"});
        startFromLibrary(m_songs.filePath("sung/sung.kar"));
        QTest::mouseClick(find<QPushButton>("KaraokeButton"), Qt::LeftButton);
        QListView *list = karaoke()->lyricList();
        ViewParameter *view = karaoke()->viewParameter();
        LyricsModel *model = karaoke()->lyricsModel();
        // Laid out for the page: the rows are those of the list's height.
        QTRY_VERIFY(list->height() > 500 && view->textAreaSize == list->viewport()->size()
                    && list->visualRect(list->model()->index(0, 0)).height() == view->textRowVerticalSpace);
        QStringList shown;
        for (const LyricRow &row : model->rows())
            shown << row.text;
        QCOMPARE(shown, rows);
        // A row is whole when its top and bottom lie in the list's height.
        const auto whole = [list](int row) {
            const QRect r = list->visualRect(list->model()->index(row, 0));
            return r.top() >= 0 && r.bottom() < list->viewport()->height();
        };
        QStringList cut;
        int sung = -1;
        // After the view has taken each report.
        connect(window()->engine(), &SoundEngine::mSecOfPlaying, this, [&] {
            sung = model->playState.playRow;
            const QRect r = list->visualRect(list->model()->index(sung, 0));
            if (sung >= 0 && !whole(sung))
                cut << QStringLiteral("row %1 at %2..%3 of %4").arg(sung).arg(r.top()).arg(r.bottom())
                           .arg(list->viewport()->height());
        });
        QTRY_VERIFY_WITH_TIMEOUT(sung >= 2, 30000);
        const auto sizes = [&] {
            return QVector<int>{view->textRowVerticalSpace, view->textFont.pixelSize(), list->viewport()->height(),
                                list->visualRect(list->model()->index(sung, 0)).height()};
        };
        const QVector<int> playing = sizes();
        QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
        QTRY_COMPARE(state(), SoundEngine::ePsPaused);
        // Longer than a relayout takes.
        QTest::qWait(4 * KaraokeTextWidget::RESIZE_SETTLE_MS);
        QCOMPARE(sizes(), playing);
        QVERIFY(!karaoke()->getAdBanner()->isVisible());
        QVERIFY(whole(sung));
        QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
        QTRY_COMPARE(state(), SoundEngine::ePsPlaying);
        QTRY_VERIFY_WITH_TIMEOUT(sung == int(rows.size()) - 1 || !currSong->isLoaded(), 30000);
        QCOMPARE(cut, QStringList());
    }

    // Text Size acts on the full karaoke page as on the short view: Small,
    // Medium and Large give three row heights and three letter sizes, every
    // row whole in the width (split where the letters ask it) and the rows
    // shown filling the page. No row is ever drawn in part, standing or
    // played to its end: a row the song wraps onto a second line (or the view
    // splits) shows whole or not at all, even its accents and tallest letters.
    void textSizeOnTheKaraokePage()
    {
        const QStringList rows{"When the evening lights came on", "I will sing the song we knew",
                               "Every road is open tonight", "Hold the line and carry on now",
                               "Èlan of the night, the lights of the harbour glow by the bay",
                               "Ölbaum by the old stone bridge", "Àll the way home we keep singing the song of the highway",
                               "Hold the light", "Éternal skies and the glory of the highlands bright and high",
                               "Till the end", "Ùltimo ballo, the lights glow high above the quay tonight"};
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"),
                            {m_songs.filePath("sizes"), "1", "sizes", "--lyrics", rows.join('|'), "--bpm", "240"});
        startFromLibrary(m_songs.filePath("sizes/sizes.kar"));
        QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
        QTRY_COMPARE(state(), SoundEngine::ePsPaused);
        QTest::mouseClick(find<QPushButton>("KaraokeButton"), Qt::LeftButton);
        QTest::mouseClick(find<QPushButton>("optionsButton"), Qt::LeftButton);
        QListView *list = karaoke()->lyricList();
        ViewParameter *view = karaoke()->viewParameter();
        LyricsModel *model = karaoke()->lyricsModel();
        auto *scroll = karaoke()->findChild<QPropertyAnimation *>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(scroll);
        // The rows whose letters show while they do not lie whole in the
        // list, with the scroll at rest; "none drawn" when no row shows.
        const auto drawnInPart = [&] {
            QStringList cut;
            const QImage image = list->viewport()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
            const auto inked = [&image](const QRect &r) {
                const QRect part = r.intersected(image.rect());
                for (int y = part.top(); y <= part.bottom(); ++y) {
                    for (int x = part.left(); x <= part.right(); ++x) {
                        if (qAlpha(image.pixel(x, y)) > 64 && qGray(image.pixel(x, y)) > 100)
                            return true;
                    }
                }
                return false;
            };
            bool drawn = false;
            for (int row = 0; row < list->model()->rowCount(); ++row) {
                const QRect r = list->visualRect(list->model()->index(row, 0));
                if (r.top() >= 0 && r.bottom() < image.height())
                    drawn = drawn || inked(r);
                else if (inked(r))
                    cut << QStringLiteral("row %1 at %2..%3 of %4, scroll %5").arg(row).arg(r.top()).arg(r.bottom())
                               .arg(image.height()).arg(list->verticalScrollBar()->value());
            }
            return drawn ? cut : cut << QStringLiteral("none drawn");
        };
        QVector<int> pitches, letters;
        for (int size = 0; size < 3; ++size) {
            QComboBox *box = combo("textSizeCombo");
            box->setCurrentIndex(size);
            emit box->activated(size);
            QTRY_VERIFY(list->height() > 500 && view->textAreaSize == list->viewport()->size()
                        && list->visualRect(list->model()->index(0, 0)).height() == view->textRowVerticalSpace);
            pitches << view->textRowVerticalSpace;
            letters << view->textFont.pixelSize();
            const QFontMetrics m(view->textFont);
            for (const LyricRow &row : model->rows())
                QVERIFY2(m.horizontalAdvance(row.text) <= list->viewport()->width(), qPrintable(row.text));
            QVERIFY(view->textRowsCount * view->textRowVerticalSpace <= list->viewport()->height());
            QVERIFY((view->textRowsCount + 1) * view->textRowVerticalSpace > list->viewport()->height());
            QTRY_COMPARE(scroll->state(), QAbstractAnimation::Stopped);
            QCOMPARE(drawnInPart().join(QLatin1Char(';')), QString());
        }
        QVERIFY2(pitches[0] < pitches[1] && pitches[1] < pitches[2] && letters[0] < letters[1] && letters[1] < letters[2],
                 qPrintable(QStringLiteral("rows %1 %2 %3, letters %4 %5 %6").arg(pitches[0]).arg(pitches[1])
                                .arg(pitches[2]).arg(letters[0]).arg(letters[1]).arg(letters[2])));

        // Small, the song going on to its last row: at every report the view
        // takes with its rows at rest, and paused there.
        choose("textSizeCombo", tr("Small"));
        QTRY_COMPARE(view->textRowVerticalSpace, pitches[0]);
        QStringList cut;
        int sung = -1;
        connect(window()->engine(), &SoundEngine::mSecOfPlaying, this, [&] {
            sung = model->playState.playRow;
            if (scroll->state() == QAbstractAnimation::Stopped)
                cut << drawnInPart();
        });
        QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(sung == int(model->rows().size()) - 1 || !currSong->isLoaded(), 60000);
        QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
        QTRY_COMPARE(state(), SoundEngine::ePsPaused);
        QTRY_COMPARE(scroll->state(), QAbstractAnimation::Stopped);
        QVERIFY(list->verticalScrollBar()->value() > 0);
        cut << drawnInPart();
        // Still paused there, the other sizes.
        for (int size : {1, 2}) {
            emit combo("textSizeCombo")->activated(size);
            QTRY_COMPARE(view->textRowVerticalSpace, pitches[size]);
            // Once laid out again.
            QTRY_VERIFY(!drawnInPart().contains(QStringLiteral("none drawn")));
            cut << drawnInPart();
        }
        QCOMPARE(cut.join(QLatin1Char(';')), QString());
    }

    // On each laptop screen, in English and in Italian, with the window in
    // either corner and a song from the library playing a key up: every page keeps the window on the
    // screen (back to its size after), each page's farthest control and
    // every pop-up lie on it, the options scroll to their last row, every
    // text fits its label or button (the font's width within the widget's)
    // and the lyrics' fonts have their stand-ins.
    void reach_data()
    {
        QTest::addColumn<int>("screen");
        QTest::addColumn<int>("language"); // a row of the settings' list
        QTest::newRow("1280x800, English") << 0 << 1;
        QTest::newRow("1366x768, Italian") << 1 << 0;
    }
    void reach()
    {
        QFETCH(int, screen);
        QFETCH(int, language);
        auto *languages = window()->settingsView()->findChild<QComboBox *>("languageCombo");
        emit languages->activated(language);
        const QString folder = m_songs.filePath("fit");
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), {folder, QStringLiteral("20"), QStringLiteral("fit")});
        QSignalSpy done(window(), &MainWindow::doneImporting);
        window()->importFiles({QUrl::fromLocalFile(folder + "/fit.kar")});
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);
        auto *table = find<QTableView>("songsListview");
        const QModelIndexList row = table->model()->match(table->model()->index(0, 2), Qt::DisplayRole, "fit");
        QVERIFY(!row.isEmpty());
        emit table->doubleClicked(row.first());
        QTRY_VERIFY(currSong->isLoaded() && state() == SoundEngine::ePsPlaying);
        window()->engine()->changeKey(2);

        const QRect area = QGuiApplication::screens().at(screen)->availableGeometry();
        const auto onScreen = [&area](QWidget *w) {
            const QRect shown(w->mapToGlobal(QPoint(0, 0)), w->size());
            return area.contains(shown) && w->window()->frameGeometry().contains(shown);
        };
        QStringList clipped;
        const auto fits = [&clipped](QWidget *top) {
            for (QWidget *w : top->findChildren<QWidget *>()) {
                auto *label = qobject_cast<QLabel *>(w);
                auto *button = qobject_cast<QAbstractButton *>(w);
                const QString text = label ? label->text() : button ? button->text() : QString();
                if (!w->isVisible() || text.isEmpty() || (label && (label->wordWrap() || Qt::mightBeRichText(text))))
                    continue;
                const int needed = label ? label->fontMetrics().horizontalAdvance(text) : button->sizeHint().width();
                const int room = label ? label->contentsRect().width() - 2 * label->margin() - qMax(0, label->indent())
                                       : button->width();
                if (needed > room)
                    clipped << QStringLiteral("%1 \"%2\" %3 > %4").arg(w->objectName(), text).arg(needed).arg(room);
            }
        };
        // A first window fills the screen it opened on, which may be the
        // other one: here it is no larger than this screen.
        const QSize chrome = window()->frameGeometry().size() - window()->size();
        window()->resize(window()->size().boundedTo(area.size() - chrome));
        for (const bool bottomRight : {false, true}) {
            const QRect frame = window()->frameGeometry();
            window()->move(bottomRight ? area.bottomRight() - QPoint(frame.width() - 1, frame.height() - 1)
                                       : area.topLeft());
            const QSize home = window()->size();
            const std::pair<const char *, const char *> pages[] = {
                {"KaraokeButton", "pb_fullscreen"}, {"EditButton", "undoButton"},
                {"MixerButton", "muteButtonWinds"}, {"ChordsButton", "TextButton"}, {"LibraryButton", "FeedbackButton"}};
            for (const auto &[tab, farthest] : pages) {
                QTest::mouseClick(find<QPushButton>(tab), Qt::LeftButton);
                QCoreApplication::processEvents();
                QVERIFY2(area.contains(window()->frameGeometry()), tab);
                QList<QWidget *> found = window()->findChildren<QWidget *>(farthest);
                QVERIFY2(!found.isEmpty() && onScreen(found.last()), farthest);
                fits(window());
            }
            QCOMPARE(window()->size(), home);
            for (const char *button : {"optionsButton", "userButton", "volumeButton", "melodyChButton", "fwdButton"}) {
                QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton);
                QWidget *popup = QApplication::activePopupWidget();
                QVERIFY2(popup && area.contains(popup->frameGeometry()), button);
                if (auto *scroll = popup->findChild<QScrollArea *>("scrollArea")) {
                    auto *last = popup->findChild<QPushButton *>("rebuildDatabaseButton");
                    scroll->ensureWidgetVisible(last);
                    QVERIFY(onScreen(last) && onScreen(popup->findChild<QWidget *>("aboutQtButton")));
                }
                fits(popup);
                popup->close();
            }
        }
        emit languages->activated(1);
        clipped.removeDuplicates();
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));
        // Lyrics in "Marker Felt" are drawn in the lettering standing in for it.
        emit window()->settingsView()->fontFamilyChanged(QStringLiteral("Marker Felt"));
        QCOMPARE(QFontInfo(karaoke()->viewParameter()->textFont).family(), QStringLiteral("Comic Neue"));
    }

    // A selected song row is one colour from its first cell to its last; a
    // playlist's drag handles carry no row numbers, the selected row's either.
    void selectedRow()
    {
        auto *table = find<QTableView>("songsListview");
        table->selectRow(0);
        const QImage shot = table->viewport()->grab().toImage();
        for (int column : {2, 3, 4, 6, 7}) {
            const QRect cell = table->visualRect(table->model()->index(0, column));
            QCOMPARE(shot.pixelColor(cell.topLeft() + QPoint(2, 2)), QColor(255, 204, 0));
        }
        auto *side = find<QListWidget>("playlistListWidget");
        side->setCurrentRow(5);
        emit side->clicked(side->model()->index(5, 0));
        QCOMPARE(table->model()->rowCount(), 3);
        table->selectRow(1);
        const QImage handles = table->verticalHeader()->grab().toImage();
        for (int y = 0; y < handles.height(); ++y) {
            for (int x = 0; x < handles.width(); ++x)
                QVERIFY2(qGray(handles.pixel(x, y)) > 60, qPrintable(QStringLiteral("dark pixel at %1,%2").arg(x).arg(y)));
        }
    }

    // Quitting is a stop too: the edit page's changes are in the song file
    // (only for the channels the song has) and show when it is opened again.
    void editsKeptOverQuit()
    {
        const QString mix = m_songs.filePath("mix.mid");
        TestUtil::runPython("playback/make_midiedit_song.py", {"write", mix, "4"});
        QVERIFY(window()->onStartSongPath(mix, 0));
        editView *page = window()->editor();
        QCOMPARE(page->stripCount(), 3);
        QTest::mouseClick(page->strip(1)->findChild<QPushButton *>("muteButton"), Qt::LeftButton);
        QTest::mouseClick(page->findChild<QPushButton *>("plusButtonKey"), Qt::LeftButton);
        restart();
        const QByteArray mido = TestUtil::runPython("playback/make_midiedit_song.py", {"compare", mix + ".bak", mix});
        QVERIFY2(mido.startsWith("same song\n10\n"), mido);
        QVERIFY(window()->onStartSongPath(mix, 0));
        page = window()->editor();
        QCOMPARE(page->stripCount(), 3);
        QVERIFY(page->strip(1)->findChild<QPushButton *>("muteButton")->isChecked());
        QCOMPARE(page->findChild<QLabel *>("labelKey")->text(), QStringLiteral(" [+1]"));
    }

    // Edits that cannot be written when the user quits (the song's folder
    // is read-only) are told in a box while the window is still open, which
    // offers to try again: left without saving, the song stays as it was
    // and nothing is written beside it; tried again once the folder is
    // writable, the edits are in the song.
    void failedSaveAtQuitIsTold_data()
    {
        QTest::addColumn<bool>("tryAgain");
        QTest::newRow("quit without saving") << false;
        QTest::newRow("try again once the folder is writable") << true;
    }
    void failedSaveAtQuitIsTold()
    {
        QFETCH(bool, tryAgain);
        QTemporaryDir dir;
        const QString folder = dir.filePath("read-only");
        const QString mix = folder + "/mix.mid";
        QVERIFY(QDir().mkpath(folder));
        TestUtil::runPython("playback/make_midiedit_song.py", {"write", mix, "4"});
        const QByteArray before = TestUtil::readFile(mix);
        QVERIFY(window()->onStartSongPath(mix, 0));
        QTest::mouseClick(window()->editor()->strip(1)->findChild<QPushButton *>("muteButton"), Qt::LeftButton);
        using P = QFileDevice;
        const auto readable = P::ReadOwner | P::ExeOwner | P::ReadOther | P::ExeOther;
        QFile::setPermissions(dir.path(), readable | P::WriteOwner);
        QFile::setPermissions(folder, readable);
        if (tryAgain) {
            // Asked while the quit runs as nobody: the cause goes away, as
            // the quit goes on as the owner of the folder.
            m_boxAnswer = [] {
                (void)seteuid(0);
                return QStringLiteral("Try Again");
            };
        }
        // Root writes into any folder: the quit runs as nobody.
        QVERIFY(geteuid() != 0 || seteuid(65534) == 0);
        const bool closed = window()->close();
        QVERIFY(getuid() != 0 || seteuid(0) == 0);
        QFile::setPermissions(folder, readable | P::WriteOwner);
        QVERIFY(closed);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first(), "Changes not saved|The changes to mix.mid could not be written: the song's folder "
                                  "is read-only.");
        QVERIFY(m_windowOpenAtBox);
        m_window.reset();
        if (tryAgain) {
            const QByteArray mido = TestUtil::runPython("playback/make_midiedit_song.py", {"compare", mix + ".bak", mix});
            QVERIFY2(mido.startsWith("same song\n"), mido);
            QVERIFY(TestUtil::readFile(mix) != before);
            return;
        }
        QCOMPARE(TestUtil::readFile(mix), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"mix.mid"});
    }

    // A song its owner made read-only is said so on the edit page as it
    // starts; quitting after editing it asks nothing (trying again could
    // not help) and leaves the song as it was.
    void readOnlySongAtQuit()
    {
        QTemporaryDir dir;
        const QString mix = dir.filePath("mix.mid");
        TestUtil::runPython("playback/make_midiedit_song.py", {"write", mix, "4"});
        using P = QFileDevice;
        QVERIFY(QFile::setPermissions(mix, P::ReadOwner | P::ReadGroup | P::ReadOther));
        const QByteArray before = TestUtil::readFile(mix);
        QVERIFY(window()->onStartSongPath(mix, 0));
        QTest::mouseClick(find<QPushButton>("EditButton"), Qt::LeftButton);
        QLabel *said = find<QLabel>("saveMessage");
        QVERIFY(said->isVisible());
        QCOMPARE(said->text(), "The changes to mix.mid are heard but will not be kept: the song file is read-only.");
        QTest::mouseClick(window()->editor()->strip(1)->findChild<QPushButton *>("muteButton"), Qt::LeftButton);
        QVERIFY(window()->close());
        QCOMPARE(m_boxes, QStringList());
        m_window.reset();
        QCOMPARE(TestUtil::readFile(mix), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"mix.mid"});
    }

    // A path given on the command line that is no song file is told, with
    // why, once the first page is up.
    void commandLine_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why"); // empty: it plays
        QTest::newRow("FIFO") << "fifo" << "not a file: a folder, a device or a pipe";
        QTest::newRow("folder") << "folder" << "not a file: a folder, a device or a pipe";
        QTest::newRow("dangling link") << "link" << "no such file";
        QTest::newRow("a song") << "song" << "";
    }
    void commandLine()
    {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        QTemporaryDir dir;
        const QString path = dir.filePath("given.kar");
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (kind == "link")
            QVERIFY(QFile::link(dir.filePath("gone.kar"), path));
        else
            QVERIFY(QFile::copy(song("a"), path));
        window()->setCommandLineSong(path);
        startUp();
        QCOMPARE(m_boxes.filter(QRegularExpression("^Attention\\|")),
                 why.isEmpty() ? QStringList() : QStringList{"Attention|Cannot play this file\n\n" + path + " (" + why + ")"});
        QCOMPARE(currSong->isLoaded(), why.isEmpty());
    }

    // A second start of the real program on this library, with a song named
    // relative to where it starts: this window, minimized, comes forward
    // and plays the song; the second opens nothing and ends, answered
    // before the song starts (a box the song brings keeps it waiting on
    // nobody). It finds this one without a runtime folder (cron, su), and
    // after a crash left a socket behind. A file that cannot play is said
    // and the song in play goes on.
    void secondStart_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("plain") << "plain";
        QTest::newRow("no runtime folder") << "no runtime folder";
        QTest::newRow("socket left by a crash") << "crash";
        QTest::newRow("missing file during a song") << "missing";
    }
    void secondStart()
    {
        QFETCH(QString, how);
        // This one started from a desktop session, with a runtime folder.
        QTemporaryDir runtime;
        const QByteArray runtimeBefore = qgetenv("XDG_RUNTIME_DIR");
        const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", runtimeBefore); });
        QVERIFY(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        SingleInstance first(m_db->getLibraryFolder());
        QVERIFY(!first.socketNames().isEmpty());
        if (how == "crash") {
            // Bound and never removed, as a killed program leaves it.
            const QByteArray path = QFile::encodeName(first.socketNames().first());
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path, path.constData(), size_t(path.size()) + 1);
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            ::close(fd);
        }
        QCOMPARE(first.claim({}), SingleInstance::Start::First);
        if (how == "crash") {
            // Its place taken back, beside the library.
            QLocalSocket reach;
            reach.connectToServer(first.socketNames().first());
            QVERIFY(reach.waitForConnected(10000));
        }
        QProcess second;
        QSignalSpy ended(&second, &QProcess::finished);
        // Acting on the request waits for the second start's end, as a box
        // would: only an answer given before lets it end with success.
        connect(&first, &SingleInstance::broughtForward, this, [&] {
            if (!ended.isEmpty())
                return;
            QEventLoop box;
            connect(&second, &QProcess::finished, &box, &QEventLoop::quit);
            QTimer::singleShot(60000, &box, &QEventLoop::quit);
            box.exec();
        });
        connect(&first, &SingleInstance::broughtForward, window(), &MainWindow::bringForward);
        startUp();
        // Another program's window in front, this one minimized (asked
        // again: a box of the start-up's update check may take the focus
        // meanwhile and give it to nobody).
        QWidget other;
        other.show();
        QTRY_VERIFY((other.activateWindow(), QApplication::activeWindow() == &other));
        window()->showMinimized();
        QTRY_VERIFY(window()->isMinimized());
        if (how == "missing") {
            // From a playlist with Auto Play (copies of its own in the
            // library): the song after it waits, loaded.
            for (const char *name : {"song", "b"})
                QFile::copy(song(name), song(name).replace(".kar", "-later.kar"));
            QList<int> ids;
            const int list = makePlaylist("Later", {song("song-later"), song("b-later")}, ids);
            QVERIFY(list >= 0);
            QVERIFY(window()->startSongPlaylist(info(song("song-later")), 0, list, "Later", 0));
            QTRY_COMPARE(state(), SoundEngine::ePsPlaying);
            QCOMPARE(nextSong->path(), song("b-later"));
        }
        second.setWorkingDirectory(m_songs.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (how == "no runtime folder")
            environment.remove("XDG_RUNTIME_DIR");
        second.setProcessEnvironment(environment);
        m_boxes.clear();
        second.start(TestUtil::binDir() + "/VelmarPC", {how == "missing" ? "gone.kar" : "b.kar"});
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 60000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        const QString said = QString::fromLocal8Bit(second.readAllStandardError());
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(!said.contains("Db "), qPrintable(said));
        QVERIFY(!window()->isMinimized());
        QTRY_COMPARE(QApplication::activeWindow(), window());
        if (how == "missing") {
            QTRY_COMPARE(m_boxes, QStringList{"Attention|Cannot play this file\n\n" + m_songs.filePath("gone.kar")
                                              + " (no such file)"});
            QCOMPARE(currSong->path(), song("song-later"));
            QCOMPARE(state(), SoundEngine::ePsPlaying);
            // Still heard: the song goes on from where it was.
            QSignalSpy heard(window()->engine(), &SoundEngine::mSecOfPlaying);
            QTRY_VERIFY_WITH_TIMEOUT(heard.size() > 5, 30000);
            QVERIFY(heard.last().first().toUInt() > heard.first().first().toUInt());
            // And Auto Play goes on after it with the playlist's next song.
            QCOMPARE(nextSong->path(), song("b-later"));
            window()->engine()->jumpTo(19);
            QTRY_COMPARE_WITH_TIMEOUT(currSong->path(), song("b-later"), 30000);
            QTRY_COMPARE(state(), SoundEngine::ePsPlaying);
            return;
        }
        QTRY_VERIFY(currSong->isLoaded());
        QCOMPARE(currSong->path(), song("b"));
        QCOMPARE(state(), SoundEngine::ePsPlaying);
    }

    // A second start that gave up on a program that did not answer (hung,
    // stopped) ends with 1 and leaves nothing for it to play once it goes
    // on; a later start is taken as usual.
    void secondStartGivenUp()
    {
        SingleInstance first(m_db->getLibraryFolder());
        QCOMPARE(first.claim({}), SingleInstance::Start::First);
        QStringList asked;
        connect(&first, &SingleInstance::broughtForward, this, [&](const QString &song) { asked << song; });
        // Unanswered: this event loop does not run until the start ends.
        QProcess gaveUp;
        gaveUp.setWorkingDirectory(m_songs.path());
        gaveUp.start(TestUtil::binDir() + "/VelmarPC", {"a.kar"});
        QVERIFY(gaveUp.waitForFinished(60000));
        QCOMPARE(gaveUp.exitCode(), 1);
        QVERIFY2(gaveUp.readAllStandardError().contains("Velmar PC is already running."), "not said");
        QProcess later;
        QSignalSpy ended(&later, &QProcess::finished);
        later.setWorkingDirectory(m_songs.path());
        later.start(TestUtil::binDir() + "/VelmarPC", {"b.kar"});
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 60000);
        QCOMPARE(later.exitCode(), 0);
        // Connections are served in order: the one given up came first.
        QTRY_COMPARE(asked, QStringList{song("b")});
    }

    // A MIDI song's information gives its length as the player has it and
    // as mido reads the file; a length nobody knows shows "--", as in the
    // song table.
    void songInformationLength()
    {
        const QString folder = m_songs.filePath("length");
        const QByteArray mido = TestUtil::runPython("../scripts/make_kar.py", {folder, "48", "length"});
        QCOMPARE(mido, QByteArray("48.000\n"));
        QSignalSpy done(window(), &MainWindow::doneImporting);
        window()->importFiles({QUrl::fromLocalFile(folder + "/length.kar")});
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);
        const QString imported = m_db->getLibraryFolder() + "length.kar";
        const auto shownLength = [&](const QString &path) {
            find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
            select(path);
            m_prompts.clear();
            QTest::mouseClick(find<QPushButton>("infoButton"), Qt::LeftButton);
            return m_prompts.value(0).section('\n', 2, 2).section(": ", 1);
        };
        QCOMPARE(shownLength(imported), QString("00\u203248\u2033"));
        QVERIFY(window()->onStartSongPath(imported, 1));
        QCOMPARE(currSong->lengthSeconds(), 48u);
        QCOMPARE(shownLength(song("a")), QString("--"));
    }

    // The Info box of a song with a short text is wide enough for its
    // title beside the window's icon and buttons (not "Det…Info").
    void infoBoxShowsItsTitle()
    {
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        select(song("a"));
        Prompter::setScript({});
        const auto scripted = qScopeGuard([this] { scriptPrompts(); });
        int width = 0;
        m_boxAnswer = [&width] {
            width = QApplication::activeModalWidget()->width();
            return QString();
        };
        QTest::mouseClick(find<QPushButton>("infoButton"), Qt::LeftButton);
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY2(m_boxes.first().startsWith("Detailed Info|Title: "), qPrintable(m_boxes.first()));
        QFont bold = QApplication::font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        QVERIFY2(width >= metrics.horizontalAdvance("Detailed Info") + 6 * metrics.height(), qPrintable(QString::number(width)));
    }

    // "Undo every change" starts the song again as its file has it; the
    // head keeps the library's title and key, not the file's own.
    void undoKeepsTheLibrarysNames()
    {
        const QString path = song("night");
        TestUtil::runPython("../scripts/make_kar.py", {m_songs.path(), "4", "night"});
        SongInfo row = info(path);
        row.title = "Night Ride";
        row.keySign = "Am";
        QVERIFY(m_db->insertDataSongs(row, path, m_db->checkInsertArtist("Artist"), m_db->checkInsertGenre("Genre"),
                                      m_db->checkInsertAuthor("Author")));
        QTest::mouseClick(find<QPushButton>("LibraryButton"), Qt::LeftButton);
        select(path);
        emit songTable()->doubleClicked(songTable()->currentIndex());
        QCOMPARE(int(state()), 1);
        const auto head = [this] {
            auto *title = find<QLabel>("titleLabel");
            return QStringList{title->toolTip().isEmpty() ? title->text() : title->toolTip(),
                               find<QLabel>("keyValueLabel")->text()};
        };
        QCOMPARE(head(), QStringList({"Night Ride", "Am [0]"}));
        QTest::mouseClick(find<QPushButton>("EditButton"), Qt::LeftButton);
        QSignalSpy loads(currSong, &Song::loadSongChange);
        QTest::mouseClick(window()->editor()->findChild<QPushButton *>("globalUndoButton"), Qt::LeftButton);
        QVERIFY(!loads.isEmpty());
        QCOMPARE(int(state()), 1);
        QCOMPARE(head(), QStringList({"Night Ride", "Am [0]"}));
    }

    void detachAndDock_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("how");    // "pin", "close" or "escape"
        QTest::addColumn<bool>("tabFirst");  // its tab clicked (raising the window) before
        QTest::newRow("library, pinned") << "LibraryButton" << "libraryView" << "pin" << false;
        QTest::newRow("edit, closed") << "EditButton" << "editView" << "close" << false;
        QTest::newRow("edit, tab, escape") << "EditButton" << "editView" << "escape" << true;
        QTest::newRow("mixer, tab, pinned") << "MixerButton" << "mixerView" << "pin" << true;
        QTest::newRow("karaoke, closed") << "KaraokeButton" << "KaraokeTextWidget" << "close" << false;
    }
    // Detached, moved and resized, stored on close as it is, reopened there
    // at the next start, and docked back.
    void detachAndDock()
    {
        QFETCH(QString, tab);
        QFETCH(QString, key);
        QFETCH(QString, how);
        QFETCH(bool, tabFirst);
        const bool byClose = how != "pin";
        const bool isKaraoke = key == "KaraokeTextWidget";
        QWidget *view = this->view(key);
        QSignalSpy dragged(window(), &MainWindow::barDragged);
        if (isKaraoke) {
            QTest::mouseClick(view->findChild<QPushButton *>("pb_to_new_window"), Qt::LeftButton);
        } else {
            QTest::mouseClick(find<QPushButton>(tab.toLatin1()), Qt::LeftButton);
            QTest::mouseClick(find<QPushButton>("unpinButton"), Qt::LeftButton);
            QVERIFY(find<QPushButton>("KaraokeButton")->isChecked());
        }
        QCOMPARE(dragged.size(), key == "mixerView" ? 1 : 0);
        auto *own = qobject_cast<NewWidgetWindow *>(view->window());
        QVERIFY(own && own->isVisible() && view->isVisible());
        QCOMPARE(find("screenWidget")->isVisible(), !isKaraoke);
        if (isKaraoke) {
            // A song let go over the lyrics in their own window plays.
            QCOMPARE(int(state()), 0);
            drop(own, view->findChild<QAbstractScrollArea *>("lV_Text")->viewport(), {QUrl::fromLocalFile(song("b"))});
            QCOMPARE(int(state()), 1);
            QCOMPARE(currSong->path(), song("b"));
        }
        own->setGeometry(140, 90, own->width() + 20, own->height() - 10);
        const QRect rect = own->geometry();
        QCOMPARE(rect.topLeft(), QPoint(140, 90));

        restart();
        QCOMPARE(appSettings->value("WindowsPosition/" + key).toRect(), rect);
        QVERIFY(appSettings->value("WindowsPosition/MainWindow").toRect().isValid());
        view = this->view(key);
        QVERIFY(view && view->window() != window());
        QCOMPARE(view->window()->geometry(), rect);
        QVERIFY(find<QPushButton>("KaraokeButton")->isChecked());
        QCOMPARE(find("screenWidget")->isHidden(), isKaraoke);
        QWidget *unpin = karaoke()->findChild<QWidget *>("pb_to_new_window");
        QCOMPARE(unpin->isHidden(), isKaraoke);

        // A pinned bar view comes back shown on its own tab, a closed one
        // hidden unless its tab is the one highlighted; the karaoke view
        // always shown. The highlighted tab's page is the page shown.
        if (tabFirst)
            QTest::mouseClick(find<QPushButton>(tab.toLatin1()), Qt::LeftButton);
        QPointer<QWidget> detached(view->window());
        if (how == "escape")
            QTest::keyClick(detached, Qt::Key_Escape);
        else if (byClose)
            QVERIFY(detached->close());
        else
            qobject_cast<NewWidgetWindow *>(detached.data())->on_clickPinObject(false);
        QTRY_VERIFY(detached.isNull());
        QCOMPARE(view->window(), window());
        const bool shown = isKaraoke || !byClose || tabFirst;
        QCOMPARE(view->isVisible(), shown);
        if (!isKaraoke)
            QCOMPARE(find<QPushButton>(tab.toLatin1())->isChecked(), shown);
        const int checked = find<QButtonGroup>("buttonGroup")->checkedId();
        QStringList pages;
        for (QWidget *page : find("barWidget")->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (page->isVisible())
                pages << page->objectName();
        }
        const QStringList names{"libraryView", "editView", "mixerView", "chordsView"};
        QCOMPARE(pages, checked == MainWindow::Karaoke ? QStringList() : QStringList{names.at(-checked - 3)});
        QVERIFY(find("screenWidget")->isVisible() && !unpin->isHidden());
        restart();
        QVERIFY(!appSettings->contains("WindowsPosition/" + key));
    }

    void offScreen_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<bool>("kept");
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QTest::newRow("main window taller than the screen") << "MainWindow" << QRect(screen.left() + 10, 0, 1200, 9000) << true;
        QTest::newRow("edit page wider than the screen") << "editView" << QRect(screen.left(), 10, 2500, 300) << true;
        QTest::newRow("library above the screen") << "libraryView" << QRect(10, -2000, 800, 300) << false;
        QTest::newRow("main window on a screen gone") << "MainWindow" << QRect(screen.right() + 900, 40, 900, 560) << false;
        QTest::newRow("karaoke at the edge") << "KaraokeTextWidget" << QRect(screen.right() - 100, 10, 500, 300) << true;
        QTest::newRow("karaoke a sliver in") << "KaraokeTextWidget" << QRect(screen.right() - 10, 10, 500, 300) << false;
        QTest::newRow("karaoke's title bar off the bottom") << "KaraokeTextWidget"
                                                            << QRect(screen.left() + 100, screen.bottom() - 10, 900, 700)
                                                            << false;
        QTest::newRow("karaoke's title bar at the bottom") << "KaraokeTextWidget"
                                                           << QRect(screen.left() + 100, screen.bottom() - 30, 900, 700)
                                                           << true;
    }
    // A stored rectangle no screen shows: the main window opens at the
    // screen's corner; a view's window where it covers neither the header
    // (with the transport buttons) nor the tabs. One larger than the screen
    // is cut to it.
    void offScreen()
    {
        QFETCH(QString, key);
        QFETCH(QRect, stored);
        QFETCH(bool, kept);
        appSettings->setValue("WindowsPosition/" + key, stored);
        QWidget *w = key == "MainWindow" ? window() : view(key)->window();
        QVERIFY(w != (key == "MainWindow" ? nullptr : window()));
        const QRect home = QGuiApplication::primaryScreen()->availableGeometry();
        if (key != "MainWindow" && !kept) {
            const auto onScreen = [this](const char *name) {
                QWidget *part = find(name);
                return QRect(part->mapToGlobal(QPoint(0, 0)), part->size());
            };
            const QRect free = window()->screen()->availableGeometry();
            QTRY_VERIFY2(free.contains(w->geometry()) && !w->geometry().intersects(onScreen("headerBar"))
                             && !w->geometry().intersects(onScreen("tabBar")),
                         qPrintable(QStringLiteral("%1,%2 %3x%4").arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height())));
            return;
        }
        // The main window's frame may push it a little inside the screen.
        QVERIFY((w->geometry().topLeft() - (kept ? stored.topLeft() : home.topLeft())).manhattanLength() <= 4);
        // No larger than the screen, the main window no narrower than it can be.
        QCOMPARE(w->height(), qMin(stored.height(), home.height()));
        if (key != "MainWindow")
            QCOMPARE(w->width(), qMin(stored.width(), home.width()));
    }

    // Two windows stored where no screen shows them both move onto it,
    // clear of each other and of one that opens where it was left.
    void offScreenWindowsApart()
    {
        appSettings->setValue("WindowsPosition/libraryView", QRect(10, -2000, 500, 250));
        appSettings->setValue("WindowsPosition/mixerView", QRect(10, -2000, 500, 250));
        const QRect home = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect kept(home.left() + 10, home.top() + 200, 200, 100);
        appSettings->setValue("WindowsPosition/editView", kept);
        appSettings->setValue("WindowsPosition/MainWindow", home);
        window();
        QList<QWidget *> windows;
        for (const char *key : {"libraryView", "mixerView", "editView"}) {
            windows << view(key)->window();
            QVERIFY(windows.last() != window());
        }
        const QRect free = window()->screen()->availableGeometry();
        // What is wrong, empty when nothing.
        const auto fault = [&]() -> QString {
            if (windows.last()->geometry().topLeft() != kept.topLeft())
                return "the window left on the screen moved";
            for (int i = 0; i < windows.size(); ++i) {
                const QRect at = windows.at(i)->geometry();
                const QString where = QStringLiteral("%1 at %2,%3 %4x%5").arg(i).arg(at.x()).arg(at.y()).arg(at.width()).arg(at.height());
                if (!free.contains(at))
                    return where + " off the screen";
                for (int j = 0; j < i; ++j) {
                    if (at.intersects(windows.at(j)->geometry()))
                        return where + QStringLiteral(" covers %1").arg(j);
                }
            }
            return QString();
        };
        QTRY_COMPARE(fault(), QString());
    }

    // What a drag allows, a restart keeps: the mixer dragged by its title
    // bar down past the screen's bottom keeps the bar on the screen, and the
    // next start opens it there.
    void draggedWindowReopensThere()
    {
        QTest::mouseClick(find<QPushButton>("MixerButton"), Qt::LeftButton);
        QTest::mouseClick(find<QPushButton>("unpinButton"), Qt::LeftButton);
        QWidget *own = view("mixerView")->window();
        QVERIFY(own != window());
        auto *bar = own->findChild<QWidget *>("TitleBarWindow");
        QPoint grab(1, bar->height() / 2);
        while (bar->childAt(grab) && grab.x() < bar->width())
            ++grab.rx();
        QVERIFY(!bar->childAt(grab));
        QTest::mousePress(bar, Qt::LeftButton, {}, grab);
        for (int down : {40, 400, 2000})
            QTest::mouseMove(bar, grab + QPoint(0, down));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, grab + QPoint(0, 2000));
        const QRect free = own->screen()->availableGeometry();
        const QRect left = own->geometry();
        QCOMPARE(bar->mapToGlobal(QPoint(0, bar->height() - 1)).y(), free.bottom());
        QVERIFY(left.bottom() > free.bottom() + 100);
        restart();
        QCOMPARE(view("mixerView")->window()->geometry(), left);
    }

    // Icons stand out 3:1 from the plate they are drawn on: the playlist
    // page's Add Song and Info buttons, a song row's clock and the store's
    // mark on a chosen row; a disabled Auto Play does not look switched on;
    // the Report an Error text under the pointer reads 4.5:1 on the tab bar.
    void iconsStandOut()
    {
        // The colour of an icon: its most opaque pixel's.
        const auto ink = [](const QImage &icon) {
            QColor best(Qt::transparent);
            for (int y = 0; y < icon.height(); ++y)
                for (int x = 0; x < icon.width(); ++x)
                    if (icon.pixelColor(x, y).alpha() > best.alpha())
                        best = icon.pixelColor(x, y);
            return best;
        };
        QStringList faint;
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *lists = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(5)).center());
        for (const char *name : {"AddToPlayListButton", "infoButton"}) {
            auto *button = find<QPushButton>(name);
            QTRY_VERIFY2(button->isVisible() && button->isEnabled(), name);
            const double r = Contrast::ratio(ink(button->icon().pixmap(button->iconSize()).toImage()),
                                             Contrast::ground(button->grab().toImage()));
            if (r < 3)
                faint << QStringLiteral("%1 %2").arg(name).arg(r, 0, 'f', 2);
        }
        for (const char *icon : {"clock.png", "library_icon_sel_melodrome.png"}) {
            for (const QColor &row : {QColor(Qt::white), QColor(255, 204, 0)}) {
                const double r = Contrast::ratio(ink(QImage(QStringLiteral(":/icon2x/") + icon)), row);
                if (r < 3)
                    faint << QStringLiteral("%1 on %2 %3").arg(icon, row.name()).arg(r, 0, 'f', 2);
            }
        }
        QCOMPARE(faint, QStringList());
        // Recent songs: Auto Play shown but not to be used.
        QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(1)).center());
        auto *autoPlay = find<QPushButton>("autoPlayButton");
        QTRY_VERIFY(autoPlay->isVisible() && !autoPlay->isEnabled() && autoPlay->isChecked());
        QCOMPARE_NE(Contrast::ground(autoPlay->grab().toImage()), QColor("#c6dffa"));
        const QString sheet = find("centralWidget")->styleSheet();
        const QColor hover = Contrast::colour(Contrast::property(
            sheet, "QWidget[styleClass=\"tabBar\"] QPushButton[styleClass=\"feedback\"]:hover", "color"));
        QVERIFY2(Contrast::ratio(hover, QColor(66, 66, 66)) >= 4.5,
                 qPrintable(QString::number(Contrast::ratio(hover, QColor(66, 66, 66)))));
    }

    // A view's window stored at the bottom of a taller screen (a first
    // window fills its screen, the mixer unpinned lies at its bottom) opens
    // whole on a shorter one: moved up, its size and its left edge kept.
    void viewBelowAShorterScreen()
    {
        const QRect home = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect stored(home.left() + 20, home.bottom() + 1 - 403, 900, 435);
        appSettings->setValue("WindowsPosition/mixerView", stored);
        QWidget *w = view("mixerView")->window();
        QVERIFY(w != window());
        QCOMPARE(w->geometry(), stored.translated(0, -32));
    }

    void extraWindows_data()
    {
        QTest::addColumn<QString>("background");   // a colour, else a picture's file name
        QTest::addColumn<QColor>("expected");
        QTest::newRow("colour") << "#2359bd" << QColor("#2359bd");
        QTest::newRow("picture, awkward name") << R"(sky "blue") {x}.png)" << QColor(Qt::red);
        QTest::newRow("picture not readable") << "missing.png" << QColor(28, 28, 28);
    }
    // Two extra windows take the looks and follow the playing song's rows;
    // each goes with its widget when closed and none is stored on close.
    void extraWindows()
    {
        QFETCH(QString, background);
        QFETCH(QColor, expected);
        SettingsView *settings = window()->settingsView();
        if (background.startsWith('#')) {
            emit settings->colorKaraokeBackgroundChanged(background);
        } else {
            QImage red(50, 50, QImage::Format_RGB32);
            red.fill(Qt::red);
            if (background != "missing.png")
                QVERIFY(red.save(m_songs.filePath(background), "PNG"));
            emit settings->imageKaraokeBackgroundChanged(m_songs.filePath(background));
        }
        emit settings->colorKaraokeHighlightChanged("#0fa00b");
        QVERIFY(window()->onStartSongPath(m_songs.filePath("song.kar"), 0));
        auto *add = karaoke()->findChild<QPushButton *>("pb_add_new_window");
        QTest::mouseClick(add, Qt::LeftButton);
        QTest::mouseClick(add, Qt::LeftButton);
        const QList<KaraokeTextWidget *> copies = karaoke()->copies();
        QCOMPARE(copies.size(), 2);
        // They open over the lyrics, clear of the header's controls.
        QWidget *header = find("headerBar");
        const QRect controls(header->mapToGlobal(QPoint(0, 0)), header->size());
        for (KaraokeTextWidget *w : copies)
            QVERIFY(!w->window()->frameGeometry().intersects(controls));
        for (KaraokeTextWidget *w : {karaoke(), copies[0], copies[1]}) {
            QCOMPARE(w->grab().toImage().pixelColor(3, 3), expected);
            QCOMPARE(w->viewParameter()->sungFillColor, QColor("#0fa00b"));
        }
        // Rows of 2 s (split where a narrow window needs it): the copies
        // light the song's second row, then its third, with the main view.
        auto row = [](KaraokeTextWidget *w) {
            const int r = w->findChild<ListTextViewDelegate *>()->playRow;
            return r < 0 ? -1 : int(w->lyricsModel()->rows()[r].tick);
        };
        for (int bar : {1, 2}) {
            QTRY_VERIFY_WITH_TIMEOUT(row(karaoke()) == bar * 1920, 15000);
            QTRY_VERIFY(row(copies[0]) == bar * 1920 && row(copies[1]) == bar * 1920);
        }

        QPointer<KaraokeTextWidget> first(copies[0]);
        QPointer<QWidget> firstWindow(first->window());
        QVERIFY(firstWindow->close());
        QTRY_VERIFY(!first && !firstWindow);
        QCOMPARE(karaoke()->copies().size(), 1);
        QCOMPARE(karaoke()->window(), window());
        restart();
        QVERIFY(!appSettings->contains("WindowsPosition/KaraokeTextWidget"));
        QCOMPARE(karaoke()->window(), window());
    }

    // The song being sung started again from its row, while its lyrics
    // scroll: the list is back at the top as for a new song, its first
    // syllable lit there.
    // A new user's "Melody OFF" silences the melody of the store's MIDI
    // song, on channel 4, and nothing else, as the synthesizer renders it:
    // the melody played alone is silent, the bass or piano alone is heard.
    void melodyOffSilencesTheMelody_data()
    {
        QTest::addColumn<int>("alone");
        QTest::addColumn<bool>("heard");
        QTest::newRow("melody") << 4 << false;
        QTest::newRow("bass") << 1 << true;
        QTest::newRow("piano") << 2 << true;
    }
    void melodyOffSilencesTheMelody()
    {
        QFETCH(int, alone);
        QFETCH(bool, heard);
        QTemporaryDir shop;
        QCOMPARE(TestUtil::runProgram("/usr/bin/python3",
                                      {TestUtil::testsDir() + "/../store-service/make_catalogue.py", shop.path()}),
                 0);
        const QString midi = shop.filePath("files/The Practice Room - Open Road.mid");
        QVERIFY(QFile::exists(midi));
        auto *melody = find<QPushButton>("melodyMuteButton");
        QTest::mouseClick(melody, Qt::LeftButton);
        QCOMPARE(melody->text(), QString("Melody OFF"));
        QVERIFY(window()->onStartSongPath(midi, 0));
        window()->engine()->setTrackMuteSolo(alone, 2);
        // The melody enters after a bar of introduction: five seconds, pulled
        // as a device would.
        double loudest = 0;
        for (int i = 0; i < 50; ++i) {
            QTest::qWait(100);
            loudest = std::max(loudest, rms(m_synthSink->pull(4410)));
        }
        QVERIFY2(heard ? loudest > 0.003 : loudest < 0.001, qPrintable(QString::number(loudest)));
    }

    void restartFromTheTop()
    {
        const QString path = m_songs.filePath("song.kar");
        QVERIFY(window()->onStartSongPath(path, 0));
        QScrollBar *bar = karaoke()->lyricList()->verticalScrollBar();
        auto *scroll = karaoke()->findChild<QPropertyAnimation *>();
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0 && scroll->state() == QAbstractAnimation::Running, 20000);
        window()->onStartSongInfo(info(path), -1);
        auto *painter = karaoke()->findChild<ListTextViewDelegate *>();
        QTRY_VERIFY_WITH_TIMEOUT(painter->playRow == 0 && painter->playPos > 0, 10000);
        QTRY_COMPARE(scroll->state(), QAbstractAnimation::Stopped);
        QCOMPARE(bar->value(), 0);
    }

    // Stop takes the song back to its start with no lyric row lit, the
    // rows at its very start included, and nothing lights while it waits.
    void stopLightsNoRow()
    {
        QVERIFY(window()->onStartSongPath(m_songs.filePath("song.kar"), 0));
        auto *painter = karaoke()->findChild<ListTextViewDelegate *>();
        QTRY_VERIFY_WITH_TIMEOUT(painter->playRow >= 2, 20000);
        QTest::mouseClick(find<QPushButton>("rewButton"), Qt::LeftButton);
        QCOMPARE(int(state()), 3);
        QCOMPARE(find<QLabel>("barNumberLabel")->text(), QString("1.1"));
        // Longer than the lyrics may run ahead of the last position report.
        QTest::qWait(3 * KaraokeTextWidget::PREDICTION_HORIZON_MS);
        QCOMPARE(QList<int>({painter->playRow, painter->playPos}), QList<int>({-1, -1}));
        QCOMPARE(karaoke()->lyricList()->verticalScrollBar()->value(), 0);
    }

    // The list the user last saw stays unless a whole new reply came; the
    // news page says why (a network's sign-in page, a broken or endless
    // answer are no list), and asks to check the internet connection only
    // where that may mend it; the other pages say nothing. A reply cut off
    // is never read.
    void news_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("sameHash");
        QTest::addColumn<QString>("told");
        QTest::addColumn<bool>("advised"); // to check the internet connection
        const QString failed = "The news of the week could not be fetched: %1.";
        QTest::newRow("new list") << "" << "" << false << "" << false;
        QTest::newRow("list already seen") << "" << "" << true << "" << false;
        QTest::newRow("server error") << "http500" << "" << false
                                      << failed.arg("the server answered with error 500") << false;
        QTest::newRow("a sign-in page") << "html" << "" << false
            << failed.arg("a web page came instead of the store's answer (the network may want you to sign in "
                          "through a web browser first, or the store is under maintenance)") << false;
        QTest::newRow("broken answer") << "malformed" << "" << false << failed.arg("the store's answer cannot be read")
                                       << false;
        QTest::newRow("an answer not the store's") << "foreign" << "" << false
                                                   << failed.arg("the store's answer cannot be read") << false;
        QTest::newRow("a lower-case doctype") << "doctype" << "" << false
            << failed.arg("a web page came instead of the store's answer (the network may want you to sign in "
                          "through a web browser first, or the store is under maintenance)") << false;
        QTest::newRow("endless answer") << "oversized" << "" << false << failed.arg("the server's answer was too large")
                                        << false;
        QTest::newRow("sent elsewhere") << "redirect" << "to=http://127.0.0.2:9/news" << false
            << failed.arg("the server sent the request on to another site (127.0.0.2), where the program sends nothing")
            << false;
        QTest::newRow("cut short") << "truncated" << "" << false << failed.arg("the connection broke off") << true;
    }
    void news()
    {
        QTest::failOnWarning(QRegularExpression("device not open"));
        const QByteArray body = "<melodrome_message><songid>x12</songid><download/><title>Second</title>"
                                "<songid>7</songid><download/><title>Dropped</title></melodrome_message>";
        QFETCH(QString, fault);
        QFETCH(QString, option);
        QFETCH(bool, sameHash);
        QFETCH(QString, told);
        QFETCH(bool, advised);
        const QString path = "/service/songlist_news.php";
        m_store.setReply(path, body);
        if (!fault.isEmpty())
            m_store.setFault(path, fault, 0, option);
        const QString md5 = QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex();
        appSettings->setValue("News/MD5", sameHash ? md5 : "old");
        appSettings->setValue("News/Unseen", false);
        SongInfo kept;
        kept.title = "Kept"; // the list of the last start
        QVERIFY(m_db->truncateMDNews() && m_db->insertMDSongsNews(kept));
        QPointer<QObject> request = window()->findChild<QNetworkAccessManager *>(QString(), Qt::FindDirectChildrenOnly);
        QTRY_VERIFY_WITH_TIMEOUT(request.isNull() && window()->newsSettled(), 30000);
        QStringList stored;
        for (const SongInfo &s : m_db->selectMDSongs())
            stored << QString::number(s.idSong) + ":" + s.title;
        QCOMPARE(stored, fault.isEmpty() ? QStringList({"0:", "7:Second"}) : QStringList({"0:Kept"}));
        QCOMPARE(appSettings->value("News/MD5").toString(), fault.isEmpty() ? md5 : QString("old"));
        QCOMPARE(appSettings->value("News/Unseen").toBool(), !sameHash && fault.isEmpty());

        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *lists = find<QListWidget>("playlistListWidget");
        auto *said = find<QLabel>("storeMessage");
        for (int row : {3, 0}) {
            QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(row)).center());
            QCOMPARE(said->text().section('\n', 0, 0), row == 3 ? told : QString());
            QCOMPARE(said->text().contains("Check the internet connection"), row == 3 && advised);
            QCOMPARE(said->isVisible(), row == 3 && !told.isEmpty());
        }
    }

    // A news list of 40,000 songs (10 MB; 16 MiB is the most any answer
    // may have) is read on a thread and written a slice at a time beside the
    // list in place, which it replaces only once it is
    // all in: the window's timers fire meanwhile. A newer refresh ends the
    // work of the one before; a list cut off leaves the one in place.
    void bigNews()
    {
        const QString path = "/service/songlist_news.php";
        const int total = 40000;
        m_store.setFault(path, "songs", 1, QString("count=%1").arg(total));
        SongInfo kept;
        kept.title = "Kept";
        QVERIFY(m_db->truncateMDNews() && m_db->insertMDSongsNews(kept));
        const auto count = [](const QString &table) {
            QSqlQuery q;
            return q.exec("SELECT count(*), min(Titolo) FROM " + table) && q.next()
                       ? q.value(0).toString() + " " + q.value(1).toString() : QString();
        };
        const auto staged = [] {
            QSqlQuery q;
            return q.exec(QString("SELECT count(*) FROM ") + DatabaseHelper::newsStaging) && q.next()
                       ? q.value(0).toInt() : -1;
        };
        // Ticks of the window's thread with part of the list written and the
        // old one still in place.
        int turns = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const int in = staged();
            turns += in > 0 && in < total && count("MDNews") == "1 Kept";
        });
        ticker.start(20);
        QTRY_VERIFY_WITH_TIMEOUT(window()->newsSettled(), 120000);
        ticker.stop();
        QVERIFY2(turns > 0, "no turn of the event loop while the news were written");
        QCOMPARE(count("MDNews"), QString("40000 Song 0"));
        QVERIFY(find<QLabel>("storeMessage")->text().isEmpty());

        // A refresh while the one before is being written: only the newer
        // list comes in.
        m_store.setFault(path, "songs", 1, QString("count=%1").arg(total));
        bool again = false;
        // The staging table may still hold the list before: the second list
        // is asked for once the store has the first request, whose fault it
        // would otherwise take.
        const qsizetype asked = m_store.requests(path).size();
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const int in = staged();
            if (!again && in > 0 && in < total && m_store.requests(path).size() > asked) {
                again = true;
                m_store.setFault(path, "songs", 1, "count=5");
                window()->refreshMDNews();
            }
        });
        ticker.start(5);
        window()->refreshMDNews();
        QTRY_VERIFY_WITH_TIMEOUT(again && window()->newsSettled(), 60000);
        ticker.stop();
        QTest::qWait(300);
        QCOMPARE(count("MDNews"), QString("5 Song 0"));

        // Cut off half-way: the list in place stays.
        m_store.setFault(path, "songs", 1, QString("count=%1&cut=1").arg(total));
        window()->refreshMDNews();
        QTRY_VERIFY_WITH_TIMEOUT(window()->newsSettled(), 60000);
        QCOMPARE(count("MDNews"), QString("5 Song 0"));
    }

    // A news row carries what the store sent; its MIDI song, whose file has
    // another title (its track name) and no key, genre or author, is
    // downloaded by a double click and takes the news' own (not the song
    // details', which say otherwise) in the library and the header. The
    // Downloaded list's buttons act while a song is loaded. At the next
    // start the news keep the song marked downloaded, and a double click
    // plays it: nothing is asked, nothing downloaded again.
    void newsSongKeepsTheStoresData()
    {
        m_store.setReply("/service/songlist_news.php",
                         "<melodrome_message><list><song><songid>101</songid><productid>5001</productid>"
                         "<title>Open Road</title><authors>A. Writer</authors><interpreters>Singer</interpreters>"
                         "<genre>Rock</genre><format>MIDI</format><lenght>4</lenght><bpm>120</bpm><key>F</key>"
                         "<download>0</download></song></list></melodrome_message>");
        // Nothing downloaded by an earlier test.
        QSqlQuery gone;
        QVERIFY(gone.exec("DELETE FROM Songs WHERE isFromSub = 1"));
        const QString file = m_db->getLibraryFolder() + "Singer - Open Road.mid";
        QFile::remove(file);
        appSettings->setValue("User/user_id", 42);
        QTRY_VERIFY_WITH_TIMEOUT(window()->newsSettled(), 30000);
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *lists = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(3)).center());
        auto *model = qobject_cast<QSqlQueryModel *>(songTable()->model());
        QTRY_COMPARE(model->rowCount(), 1);
        const QSqlRecord row = model->record(0);
        QCOMPARE(QStringList({row.value("Durata").toString(), row.value("Bpm").toString(), row.value("Key").toString()}),
                 QStringList({"4", "120", "F"}));

        // Downloaded from the news, then played from the downloaded songs.
        const auto doubleClickRow = [this, &model](int r) {
            const QModelIndex cell = model->index(r, 2);
            QTest::mouseClick(songTable()->viewport(), Qt::LeftButton, {}, songTable()->visualRect(cell).center());
            QTest::mouseDClick(songTable()->viewport(), Qt::LeftButton, {}, songTable()->visualRect(cell).center());
        };
        doubleClickRow(0);
        QTRY_COMPARE_WITH_TIMEOUT(m_db->selectSubSongs().size(), 1, 30000);
        // Another song the user has from the store.
        SongInfo other;
        other.title = "Other Road";
        other.isFromSub = 1;
        QVERIFY(TestUtil::writeFile(m_db->getLibraryFolder() + "Other Road.mid", "x")
                && m_db->checkSong(other, m_db->getLibraryFolder() + "Other Road.mid"));
        QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(2)).center());
        model = qobject_cast<QSqlQueryModel *>(songTable()->model());
        QTRY_COMPARE(model->rowCount(), 2);
        const int openRoad = model->record(0).value("Titolo").toString() == "Open Road" ? 0 : 1;
        doubleClickRow(openRoad);
        QTRY_VERIFY_WITH_TIMEOUT(currSong->isLoaded() && state() == SoundEngine::ePsPlaying, 30000);
        const QList<SongInfo> downloaded = m_db->selectSubSongs();
        QCOMPARE(QStringList({downloaded[0].title, downloaded[0].keySign, downloaded[0].genre, downloaded[0].author}),
                 QStringList({"Open Road", "F", "Rock", "A. Writer"}));
        QCOMPARE(find<QLabel>("titleLabel")->text(), QString("Open Road"));
        QCOMPARE(find<QLabel>("keyValueLabel")->text(), QString("F [0]"));
        QCOMPARE(model->record(openRoad).value("Key").toString(), QString("F"));
        for (int r : {1 - openRoad, openRoad}) {
            songTable()->selectRow(r);
            for (const char *name : {"AddToPlayListButton", "infoButton", "deleteButton"})
                QVERIFY2(find<QPushButton>(name)->isVisible() && find<QPushButton>(name)->isEnabled(), name);
            // Auto Play plays a playlist on: not offered here.
            QVERIFY(!find<QPushButton>("autoPlayButton")->isVisible());
        }
        QVERIFY(m_boxes.isEmpty());

        restart();
        QTRY_VERIFY_WITH_TIMEOUT(window()->newsSettled(), 30000);
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        lists = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(3)).center());
        model = qobject_cast<QSqlQueryModel *>(songTable()->model());
        QTRY_COMPARE(model->rowCount(), 1);
        QCOMPARE(model->record(0).value("isFromSub").toInt(), int(StoreDownloaded));
        doubleClickRow(0);
        QTRY_VERIFY_WITH_TIMEOUT(currSong->isLoaded() && currSong->path() == file, 30000);
        QVERIFY(m_boxes.isEmpty());
        QCOMPARE(m_store.requests("/files/song/5001.mid").size(), 1);
    }

    // A language chosen on the settings page re-labels the window at once,
    // Qt's own texts with it; the English translation mends the source's
    // spelling.
    void language()
    {
        auto restore = qScopeGuard([] {
            for (QTranslator **t : {&translator, &systemTranslator}) {
                QCoreApplication::removeTranslator(*t);
                delete *t;
                *t = nullptr;
            }
        });
        auto *combo = window()->settingsView()->findChild<QComboBox *>("languageCombo");
        const QModelIndex title = firstSongRow(2);
        const auto shown = [&] {
            return QStringList{find<QPushButton>("LibraryButton")->text(),
                               window()->settingsView()->findChild<QLabel *>("TitleLabel")->text(),
                               title.model()->headerData(2, Qt::Horizontal).toString(),
                               find<QPushButton>("melodyMuteButton")->text(),
                               find<QLabel>("titlegroupBoxDrums")->text(),
                               QCoreApplication::translate("QPlatformTheme", "Cancel"),
                               songInformation().section('\n', 2, 2).section(':', 0, 0)};
        };
        for (int row : {0, 1}) {
            combo->setCurrentIndex(row);
            emit combo->activated(row);
            QCoreApplication::sendPostedEvents();
            QCOMPARE(appSettings->value("System/Lang").toInt(), row);
            QCOMPARE(shown(), row == 0 ? QStringList({"Libreria", "<b>Opzioni</b>", "Titolo", "Melodia ON",
                                                      "BATTERIA", "Annulla", "Durata"})
                                       : QStringList({"Library", "<b>Options</b>", "Title", "Melody ON", "DRUMS",
                                                      "Cancel", "Length"}));
        }
    }

    // Qt's own words follow the language chosen, in all four: the import
    // dialog's kind of a folder and of an MP3, the months, Qt's buttons.
    void qtsOwnWords_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("Italian") << 0 << QStringList{"Cartella", "Audio MP3", "gennaio", "Annulla"};
        QTest::newRow("English") << 1 << QStringList{"Folder", "MP3 audio", "January", "Cancel"};
        QTest::newRow("German") << 2 << QStringList{"Ordner", "MP3-Audio", "Januar", "Abbrechen"};
        QTest::newRow("Chinese") << 3 << QStringList{"文件夹", "MP3 音频", "一月", "取消"};
    }
    void qtsOwnWords()
    {
        QFETCH(int, row);
        QFETCH(QStringList, shown);
        auto restore = qScopeGuard([] {
            for (QTranslator **t : {&translator, &systemTranslator}) {
                QCoreApplication::removeTranslator(*t);
                delete *t;
                *t = nullptr;
            }
            QLocale::setDefault(QLocale::c());
        });
        window();
        installTranslators(row);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        const QString folder = m_home.filePath("Songs folder");
        const QString mp3 = m_home.filePath("tune.mp3");
        QVERIFY(QDir().mkpath(folder) && TestUtil::writeFile(mp3, QByteArray("ID3")));
        window()->findChild<QAction *>("actionImport")->trigger();
        auto *dialog = window()->findChild<QFileDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        auto *files = dialog->findChild<QFileSystemModel *>();
        QVERIFY(files);
        const auto kind = [&](const QString &path) { return files->index(path, 2).data().toString(); };
        QTRY_VERIFY(!kind(folder).isEmpty() && !kind(mp3).isEmpty());
        QCOMPARE((QStringList{kind(folder), kind(mp3), QLocale().standaloneMonthName(1, QLocale::LongFormat),
                              QCoreApplication::translate("QPlatformTheme", "Cancel")}),
                 shown);
        dialog->reject();
    }

    // What shows while the language changes follows it at once: the import
    // dialog kept from the last import, the import's progress, an unknown
    // artist in the header, the edit page's buttons and a view's own window.
    void languageLive()
    {
        auto restore = qScopeGuard([] {
            for (QTranslator **t : {&translator, &systemTranslator}) {
                QCoreApplication::removeTranslator(*t);
                delete *t;
                *t = nullptr;
            }
        });
        SongInfo playing = info(song("a"));
        playing.artist = QStringLiteral("<UNKNOWN>");
        QVERIFY(window()->startSongPlaylist(playing, 0, -1, QString(), -1));
        find<QPushButton>("EditButton")->click();
        QWidget *edit = find("editView");
        auto *strip = edit->findChild<ControlTrackSmall *>();
        QVERIFY(strip);
        window()->findChild<QAction *>("actionImport")->trigger();
        auto *dialog = window()->findChild<QFileDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        auto *progress = window()->findChild<DialogCopyFiles *>();
        progress->setTotalFiles(3);
        progress->refreshCopyingLabel(2);
        find<QPushButton>("unpinButton")->click();
        QPointer<NewWidgetWindow> detached = qobject_cast<NewWidgetWindow *>(edit->window());
        QVERIFY(detached);
        const auto shown = [&] {
            return QStringList{dialog->windowTitle(), dialog->nameFilters().value(0).section(" (", 0, 0),
                               progress->findChild<QLabel *>("labelImporting")->text(),
                               find<QLabel>("authorLabel")->text(),
                               strip->findChild<QPushButton *>("muteButton")->toolTip(),
                               edit->findChild<QPushButton *>("globalUndoButton")->toolTip(), detached->windowTitle()};
        };
        for (int row : {0, 1}) {
            combo("languageCombo")->setCurrentIndex(row);
            emit combo("languageCombo")->activated(row);
            QCoreApplication::sendPostedEvents();
            QCOMPARE(shown(), row == 0 ? QStringList({"Importa", "Tutti i file di brani", "Copia 2 di 3", "<SCONOSCIUTO>",
                                                      "Silenzia questo canale",
                                                      "Annulla ogni modifica fatta a questo brano da quando è partito",
                                                      "Modifica"})
                                       : QStringList({"Import", "All song files", "Copying 2 of 3", "<UNKNOWN>",
                                                      "Mute this channel",
                                                      "Undo every change made to this song since it started", "Editing"}));
        }
        dialog->reject();
        QVERIFY(detached->close());
        QTRY_VERIFY(detached.isNull());
    }

    // A store message on screen is told again in a language chosen while it
    // shows: the news page's, the account pop-up's and a failed download's.
    void storeMessagesFollowTheLanguage()
    {
        auto restore = qScopeGuard([] {
            for (QTranslator **t : {&translator, &systemTranslator}) {
                QCoreApplication::removeTranslator(*t);
                delete *t;
                *t = nullptr;
            }
        });
        const auto chooseLanguage = [this](int row) {
            combo("languageCombo")->setCurrentIndex(row);
            emit combo("languageCombo")->activated(row);
            QCoreApplication::sendPostedEvents();
        };
        const QString error = "the server answered with error 500";
        const QString serverError = "il server ha risposto con l'errore 500";
        m_store.setFault("/service/songlist_news.php", "http500");
        m_store.setFault("/service/login.php", "http500");
        QTRY_VERIFY_WITH_TIMEOUT(window()->newsSettled(), 30000);
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *side = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(side->viewport(), Qt::LeftButton, {}, side->visualItemRect(side->item(3)).center());
        auto *page = find<QLabel>("storeMessage");
        QTest::mouseClick(find<QPushButton>("userButton"), Qt::LeftButton);
        QWidget *account = QApplication::activePopupWidget();
        QVERIFY(account);
        QTest::keyClicks(account->findChild<QLineEdit *>("lineMail"), "anna@example.org");
        QTest::keyClicks(account->findChild<QLineEdit *>("lineUsername"), "secret");
        QTest::mouseClick(account->findChild<QPushButton *>("logButton"), Qt::LeftButton);
        auto *login = account->findChild<QLabel *>("loginStatusMsg");
        QTRY_VERIFY_WITH_TIMEOUT(login->text().contains("500"), 30000);
        const auto shown = [&] {
            return QStringList{page->text().section('\n', 0, 0), login->text().section('\n', 0, 0)};
        };
        QCOMPARE(shown(), QStringList({"The news of the week could not be fetched: " + error + ".",
                                       "You are not logged in: " + error + "."}));
        chooseLanguage(0);
        QCOMPARE(shown(), QStringList({"Impossibile scaricare le novità della settimana: " + serverError + ".",
                                       "Accesso non riuscito: " + serverError + "."}));
        chooseLanguage(1);
        QCOMPARE(shown(), QStringList({"The news of the week could not be fetched: " + error + ".",
                                       "You are not logged in: " + error + "."}));
        account->close();

        // A store song of the news whose address the store does not give.
        m_store.reset();
        appSettings->setValue("User/user_id", 42);
        restart();
        QTRY_VERIFY_WITH_TIMEOUT(window()->newsSettled(), 30000);
        SongInfo news;
        news.ProductId = 5001;
        news.isFromSub = 2;
        news.format = "MIDI";
        news.title = "Evening %2";
        QVERIFY(m_db->truncateMDNews() && m_db->insertMDSongsNews(news));
        m_store.setFault("/service/song_info.php", "http500");
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        side = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(side->viewport(), Qt::LeftButton, {}, side->visualItemRect(side->item(3)).center());
        songTable()->setCurrentIndex(songTable()->model()->index(0, 2));
        emit songTable()->doubleClicked(songTable()->currentIndex());
        page = find<QLabel>("storeMessage");
        QTRY_VERIFY_WITH_TIMEOUT(page->text().contains("500"), 30000);
        // A server's error is no matter of the internet connection.
        QCOMPARE(page->text(), "\"Evening %2\" could not be downloaded: " + error + ".");
        chooseLanguage(0);
        QCOMPARE(page->text(), "Impossibile scaricare \"Evening %2\": " + serverError + ".");
        QVERIFY(page->isVisible());
    }

    void keyNotation_data()
    {
        QTest::addColumn<QVariant>("stored"); // "MidiSettings/Chord"; invalid: none
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("other");   // once the other notation is chosen
        QTest::newRow("no setting") << QVariant() << "G" << "Sol";
        QTest::newRow("international") << QVariant(1) << "G" << "Sol";
        QTest::newRow("italian") << QVariant(0) << "Sol" << "G";
    }
    // Keys are named in the notation of the settings page wherever they
    // show, from the start and after a change: the library's key column and
    // song information, the header and the edit page.
    void keyNotation()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, shown);
        QFETCH(QString, other);
        if (stored.isValid())
            appSettings->setValue("MidiSettings/Chord", stored);
        SongInfo playing = info(song("a"));
        playing.keySign = QStringLiteral("G");
        QVERIFY(window()->startSongPlaylist(playing, 1, -1, QString(), -1));
        const QModelIndex key = firstSongRow(7);
        // The table's painter against one painting each notation.
        const auto painted = [&key](QAbstractItemDelegate *delegate) {
            QImage image(80, 30, QImage::Format_ARGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            QStyleOptionViewItem option;
            option.rect = image.rect();
            option.state = QStyle::State_Enabled;
            delegate->paint(&painter, option, key);
            return image;
        };
        const auto keys = [&] {
            QString cell = "?";
            for (int notation : {0, 1}) {
                libraryTableDelegate reference;
                reference.setChordLang(notation);
                if (painted(find<QTableView>("songsListview")->itemDelegate()) == painted(&reference))
                    cell = notation ? "G" : "Sol";
            }
            return QStringList{cell, songInformation().section("KEY: ", 1).section('\n', 0, 0),
                               find<QLabel>("keyValueLabel")->text().section(' ', 0, 0),
                               window()->editor()->findChild<QLabel *>("labelKey")->text().section(' ', 0, 0)};
        };
        QCOMPARE(keys(), QStringList(4, shown));
        auto *chords = window()->settingsView()->findChild<QComboBox *>("chordCombo");
        const int row = other == "G" ? 1 : 0;
        chords->setCurrentIndex(row);
        emit chords->activated(row);
        QCOMPARE(keys(), QStringList(4, other));
    }

    // Only an archive whose every entry stays in its folder is unpacked;
    // the update folder then holds the archive and the unpacked update only.
    void update_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("good");
        QTest::newRow("good archive") << QStringList{"VelmarPC/bin/run.sh", "VelmarPC/readme.txt"} << true;
        QTest::newRow("parent entry") << QStringList{"ok.txt", "../evil.txt"} << false;
        QTest::newRow("link entry") << QStringList{"ok.txt", "link->/etc"} << false; // name->target
        QTest::newRow("not found") << QStringList() << false;
    }
    void update()
    {
        QFETCH(QStringList, entries);
        QFETCH(bool, good);
        const char *zipper = "import sys, zipfile\nwith zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                             " for e in sys.argv[2:]:\n  n, _, l = e.partition('->'); i = zipfile.ZipInfo(n)\n"
                             "  i.create_system, i.external_attr = 3, (0o120777 if l else 0o100644) << 16\n"
                             "  z.writestr(i, l or 'data')\n";
        const QStringList args{"-c", zipper, m_files.filePath("VelmarPC-linux-2.4.11.zip")};
        QCOMPARE(TestUtil::runProgram("/usr/bin/python3", args + entries), 0);
        if (entries.isEmpty())
            m_store.setFault("/files/VelmarPC-linux-2.4.11.zip", "http404");
        QDir updates(MainWindow::updateFolder());
        updates.removeRecursively();
        QVERIFY(updates.mkpath(".") && TestUtil::writeFile(updates.filePath("VelmarPC-mac-2.4.9.zip"), "old"));
        // No newer sound bank: the check ends with the update.
        m_store.setReply("/version_checker/check_soundfont.php",
                         "<melodrome_message><soundfont><version>0.0</version></soundfont></melodrome_message>");
        window()->checkVersion();
        // The check, the download and the unpacking come in the background;
        // the sound bank is asked about once the update is settled.
        QTRY_COMPARE_WITH_TIMEOUT(m_store.requests("/version_checker/check_soundfont.php").size(), 1, 30000);
        const QString unpacked = updates.filePath("VelmarPC-linux-2.4.11");
        const QStringList kept{"VelmarPC-linux-2.4.11", "VelmarPC-linux-2.4.11.zip"};
        QCOMPARE(updates.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), good ? kept : QStringList());
        QVERIFY(!QFile::exists(updates.filePath("../evil.txt")));
        QCOMPARE(QFile::exists(unpacked + "/VelmarPC/bin/run.sh"), good);
        const QStringList said = m_prompts.filter(QRegularExpression("^Update available\\|"));
        QCOMPARE(said.size(), 2);
        QCOMPARE(said.last().contains(unpacked), good);
        if (entries.isEmpty())
            QVERIFY(said.last().contains("could not be downloaded: the server answered with error 404.\n"));
    }

    // The sound bank is checked whatever became of an offered update: a
    // user without one who declines the update is still offered the bank.
    void bankAfterDeclinedUpdate()
    {
        m_answer = QMessageBox::No;
        const QString bank = SoundEngine::getSoundfontFilePath();
        QVERIFY(QFile::rename(bank, bank + ".away"));
        auto restore = qScopeGuard([&] { QFile::rename(bank + ".away", bank); });
        window()->checkVersion();
        QTRY_COMPARE_WITH_TIMEOUT(m_prompts.size(), 2, 30000);
        QCOMPARE(m_prompts, QStringList({"Update available|An update is available, do you want to download it?",
                                         "Attention|Timbra needs to be downloaded. Do you want to proceed now?"}));
    }

    // A new sound bank starts the banners again.
    void soundBankArrives()
    {
        AdBanner *banner = karaoke()->getAdBanner();
        QVERIFY(!banner->reloadTimer()->isActive());
        QVERIFY(QMetaObject::invokeMethod(window(), "onSoundfontAvailable"));
        QVERIFY(banner->reloadTimer()->isActive());
    }

    // 50 files dropped on the song list: songs, files that are no songs and
    // songs already in the song folder; a second import given while the
    // first runs follows it. Every song is listed once, the rest reported.
    void imports()
    {
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        const QString in = m_songs.filePath("in");
        QList<QUrl> first = make(in, 0, 40);
        QStringList errored, duplicated;
        for (int i = 0; i < 10; ++i) {
            const QString bad = in + QString(i < 5 ? "/bad-%1.txt" : "/bad-%1.kar").arg(i);
            TestUtil::writeFile(bad, "no song here");
            first << QUrl::fromLocalFile(bad);
            errored << bad;
        }
        for (int i = 30; i < 40; ++i) {
            QVERIFY(QFile::copy(first.at(i).toLocalFile(), m_db->getLibraryFolder() + QStringLiteral("imp-%1.kar").arg(i)));
            duplicated << first.at(i).toLocalFile();
        }
        const QList<QUrl> second = make(in, 40, 45);
        QSignalSpy done(window(), &MainWindow::doneImporting);
        auto *list = window()->findChild<QAbstractItemView *>("songsListview");
        drop(window()->findChild<QWidget *>("libraryView"), list->viewport(), first);
        window()->importFiles(second);
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 120000);
        // The files that are no songs under one heading, each with the same
        // reason; the songs already there in a box of their own.
        const auto reports = reportsOn(in);
        QCOMPARE(reports.size(), 2);
        QCOMPARE(reports.at(0).size(), 1);
        QCOMPARE(reports.at(1).size(), 1);
        const QStringList notSongs = reports.at(0).first().second;
        QStringList files, reasons;
        for (const QString &line : notSongs) {
            files << fileOf(line);
            reasons << whyOf(line);
        }
        QCOMPARE(files, errored);
        reasons.removeDuplicates();
        QVERIFY2(reasons.size() == 1 && !reasons.first().isEmpty(), qPrintable(notSongs.join('\n')));
        QCOMPARE(reports.at(1).first().second, duplicated);
        QVERIFY(reports.at(0).first().first != reports.at(1).first().first);
        QStringList listed, expected;
        for (const SongInfo &s : m_db->selectSongs()) {
            if (QFileInfo(s.innerPath).fileName().startsWith("imp-"))
                listed << QFileInfo(s.innerPath).fileName();
        }
        for (const QUrl &song : first.mid(0, 30) + second)
            expected << song.fileName();
        std::sort(listed.begin(), listed.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(listed, expected);
        // A song let go over the lyrics (under the karaoke view's buttons) plays.
        drop(window(), window()->findChild<QAbstractScrollArea *>("lV_Text")->viewport(), second.mid(0, 1));
        QCOMPARE(currSong->path(), second.first().toLocalFile());
    }

    // A host's evening: a playlist of five songs started with Auto Play;
    // while the first plays, the fourth is dragged up by its grip, the
    // second removed with the delete button and a library song added with
    // Add Song (the table then shows its columns whole). The songs that
    // follow are those the list shows next as each ends, the row lit follows
    // them, and Recent lists what was heard, the latest first; a song added
    // counts only once heard.
    void autoPlayFollowsTheList()
    {
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), {m_files.path(), "6", "q1"});
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), {m_files.path(), "2", "q2", "q3", "q4", "q5"});
        const auto q = [this](int n) { return m_files.filePath(QStringLiteral("q%1.kar").arg(n)); };
        QList<int> ids;
        const int list = makePlaylist(QStringLiteral("Party"), {q(1), q(2), q(3), q(4), q(5)}, ids);
        QVERIFY(list >= 0);
        appSettings->setValue("System/DoubleClickAction", 0);
        const auto forget = qScopeGuard([&] {
            m_db->deletePlaylist(list);
            for (int id : ids)
                m_db->removeSongFromLibrary(id);
        });
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *side = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(side->viewport(), Qt::LeftButton, {}, side->visualItemRect(side->item(side->count() - 1)).center());
        QTRY_COMPARE(songTable()->model()->rowCount(), 5);
        const auto rowOf = [this](int row) { return songTable()->visualRect(songTable()->model()->index(row, 2)).center(); };
        QTest::mouseClick(songTable()->viewport(), Qt::LeftButton, {}, rowOf(0));
        QTest::mouseDClick(songTable()->viewport(), Qt::LeftButton, {}, rowOf(0));
        QTRY_VERIFY(currSong->path() == q(1) && state() == SoundEngine::ePsPlaying);

        QStringList heard{q(1)};
        const QMetaObject::Connection noted = connect(currSong, &Song::loadSongChange, this, [&heard](Song::LoadSongState change) {
            if (change == Song::eLsLoaded)
                heard << currSong->path();
        });
        const auto unnote = qScopeGuard([noted] { disconnect(noted); });
        // The fourth song dragged up to the second row by its grip.
        QHeaderView *grips = songTable()->verticalHeader();
        const auto grip = [grips](int row) {
            return QPoint(grips->width() / 2, grips->sectionViewportPosition(row) + grips->sectionSize(row) / 2);
        };
        QTRY_VERIFY(grips->isVisible() && grips->width() > 0);
        QTest::mousePress(grips->viewport(), Qt::LeftButton, {}, grip(3));
        QTest::mouseMove(grips->viewport(), grip(3) - QPoint(0, 12));
        QTest::mouseMove(grips->viewport(), grip(1) - QPoint(0, 3));
        QTest::mouseMove(grips->viewport(), grip(1) - QPoint(0, 6));
        QTest::mouseRelease(grips->viewport(), Qt::LeftButton, {}, grip(1) - QPoint(0, 6));
        // The second song removed: chosen, the delete button, Yes.
        QTRY_COMPARE(songTable()->model()->index(2, 8).data().toString(), q(2));
        QTest::mouseClick(songTable()->viewport(), Qt::LeftButton, {}, rowOf(2));
        QTest::mouseClick(find<QPushButton>("deleteButton"), Qt::LeftButton);
        QCOMPARE(m_db->getPlaylistSongs(list).size(), 4);
        // Song "a" added at the end with Add Song, then End.
        const auto heardAt = [](const QString &path) {
            QSqlQuery q;
            q.prepare("SELECT ultimaRiproduzione FROM Songs WHERE innerPath = ?");
            q.addBindValue(path);
            return q.exec() && q.next() ? q.value(0).toString() : QString("none");
        };
        const QString aHeardAt = heardAt(song("a"));
        QTest::mouseClick(find<QPushButton>("AddToPlayListButton"), Qt::LeftButton);
        QModelIndex a;
        QTRY_VERIFY((a = songTable()->model()->match(songTable()->model()->index(0, 8), Qt::DisplayRole, song("a"), 1,
                                                     Qt::MatchExactly).value(0)).isValid());
        QTest::mouseClick(songTable()->viewport(), Qt::LeftButton, {}, rowOf(a.row()));
        QTest::mouseDClick(songTable()->viewport(), Qt::LeftButton, {}, rowOf(a.row()));
        QTest::mouseClick(find<QPushButton>("AddToPlayListButton"), Qt::LeftButton);
        QTRY_COMPARE(songTable()->model()->rowCount(), 5);
        const auto recent = [this] {
            QStringList paths;
            for (const SongInfo &s : m_db->selectLastXSongs(10))
                paths << s.innerPath;
            return paths;
        };
        const bool addedCounted = heardAt(song("a")) != aHeardAt;
        settle();
        QVERIFY(!songTable()->horizontalScrollBar()->isVisible());
        for (int c = 2; c < 8; ++c) {
            const QRect cell = songTable()->visualRect(songTable()->model()->index(0, c));
            QVERIFY2(cell.width() > 0 && cell.right() < songTable()->viewport()->width(), qPrintable(QString::number(c)));
        }
        QVERIFY2(currSong->path() == q(1), "the first song ended before the list was edited: too slow a machine");

        const QStringList expected{q(1), q(4), q(3), q(5), song("a")};
        for (int step = 1; step < expected.size(); ++step) {
            QTRY_VERIFY_WITH_TIMEOUT(heard.size() > step, 30000);
            QCOMPARE(heard.at(step), expected.at(step));
            // The row lit is the song's own entry.
            QTRY_COMPARE(songTable()->currentIndex().row(), step);
            QCOMPARE(songTable()->model()->index(step, 8).data().toString(), expected.at(step));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!currSong->isLoaded(), 30000);
        QCOMPARE(heard, expected);
        QCOMPARE(recent().mid(0, 5), QStringList({song("a"), q(5), q(3), q(4), q(1)}));
        QVERIFY(!recent().contains(q(2)));
        QVERIFY2(!addedCounted, "a song added to the playlist counted as heard");
    }

    // The row of the song in play stays lit in its list through every edit
    // a host makes while it plays (a row above it dragged below it, the
    // song itself dragged, the next row removed), after leaving the list
    // and coming back, and goes once the song is removed from the list.
    void litRowFollowsEdits()
    {
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), {m_files.path(), "60", "lit2"});
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), {m_files.path(), "2", "lit1", "lit3", "lit4", "lit5"});
        const auto l = [this](int n) { return m_files.filePath(QStringLiteral("lit%1.kar").arg(n)); };
        QList<int> ids;
        const int list = makePlaylist(QStringLiteral("Lit"), {l(1), l(2), l(3), l(4), l(5)}, ids);
        QVERIFY(list >= 0);
        appSettings->setValue("System/DoubleClickAction", 0);
        const auto forget = qScopeGuard([&] {
            m_db->deletePlaylist(list);
            for (int id : ids)
                m_db->removeSongFromLibrary(id);
        });
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *side = find<QListWidget>("playlistListWidget");
        const auto openSide = [side](int row) {
            QTest::mouseClick(side->viewport(), Qt::LeftButton, {}, side->visualItemRect(side->item(row)).center());
        };
        openSide(side->count() - 1);
        QTRY_COMPARE(songTable()->model()->rowCount(), 5);
        const auto rowOf = [this](int row) { return songTable()->visualRect(songTable()->model()->index(row, 2)).center(); };
        QTest::mouseClick(songTable()->viewport(), Qt::LeftButton, {}, rowOf(1));
        QTest::mouseDClick(songTable()->viewport(), Qt::LeftButton, {}, rowOf(1));
        QTRY_VERIFY(currSong->path() == l(2) && state() == SoundEngine::ePsPlaying);
        const auto shown = [this] {
            QStringList paths;
            for (int r = 0; r < songTable()->model()->rowCount(); ++r)
                paths << QFileInfo(songTable()->model()->index(r, 8).data().toString()).completeBaseName();
            return paths;
        };
        // The row lit: the one chosen, and the only one.
        const auto lit = [this] {
            const QModelIndexList rows = songTable()->selectionModel()->selectedRows();
            return rows.size() == 1 && songTable()->currentIndex().row() == rows.first().row()
                       ? QFileInfo(songTable()->model()->index(rows.first().row(), 8).data().toString()).completeBaseName()
                       : QStringLiteral("%1 rows").arg(rows.size());
        };
        QCOMPARE(lit(), "lit2");
        QHeaderView *grips = songTable()->verticalHeader();
        const auto grip = [grips](int row) {
            return QPoint(grips->width() / 2, grips->sectionViewportPosition(row) + grips->sectionSize(row) / 2);
        };
        const auto drag = [&](int from, int to) {
            QTRY_VERIFY(grips->isVisible() && grips->width() > 0);
            const int step = to < from ? -1 : 1;
            const QPoint end = grip(to) + QPoint(0, step * (grips->sectionSize(to) / 2 - 3));
            QTest::mousePress(grips->viewport(), Qt::LeftButton, {}, grip(from));
            QTest::mouseMove(grips->viewport(), grip(from) + QPoint(0, step * 12));
            QTest::mouseMove(grips->viewport(), end - QPoint(0, step * 3));
            QTest::mouseMove(grips->viewport(), end);
            QTest::mouseRelease(grips->viewport(), Qt::LeftButton, {}, end);
        };
        // A row below dragged to the top: the song in play one row down.
        drag(3, 0);
        QTRY_COMPARE(shown(), QStringList({"lit4", "lit1", "lit2", "lit3", "lit5"}));
        QTRY_COMPARE(lit(), "lit2");
        // The row above dragged below it: the song one row up.
        drag(0, 3);
        QTRY_COMPARE(shown(), QStringList({"lit1", "lit2", "lit3", "lit4", "lit5"}));
        QTRY_COMPARE(lit(), "lit2");
        // The song in play dragged down itself.
        drag(1, 3);
        QTRY_COMPARE(shown(), QStringList({"lit1", "lit3", "lit4", "lit2", "lit5"}));
        QTRY_COMPARE(lit(), "lit2");
        // The next row removed: chosen, the delete button, Yes.
        QTest::mouseClick(songTable()->viewport(), Qt::LeftButton, {}, rowOf(4));
        QCOMPARE(lit(), "lit5");
        QTest::mouseClick(find<QPushButton>("deleteButton"), Qt::LeftButton);
        QTRY_COMPARE(shown(), QStringList({"lit1", "lit3", "lit4", "lit2"}));
        QTRY_COMPARE(lit(), "lit2");
        // All Songs, then the list again.
        openSide(0);
        QTRY_VERIFY(songTable()->model()->rowCount() > 4);
        openSide(side->count() - 1);
        QTRY_COMPARE(shown(), QStringList({"lit1", "lit3", "lit4", "lit2"}));
        QTRY_COMPARE(lit(), "lit2");
        // The song in play removed from the list: no row of it is lit.
        QTest::mouseClick(songTable()->viewport(), Qt::LeftButton, {}, rowOf(3));
        QTest::mouseClick(find<QPushButton>("deleteButton"), Qt::LeftButton);
        QTRY_COMPARE(shown(), QStringList({"lit1", "lit3", "lit4"}));
        QCOMPARE(lit(), "0 rows");
        QCOMPARE(currSong->path(), l(2));
    }

    // Recent lists a song however it was started (from the file it was
    // imported from, too) and, shown, lists at once each song that begins,
    // those Auto Play starts included.
    void recentWhileShown()
    {
        const QString folder = m_files.filePath("recent");
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), {folder, "2", "heard"});
        const QString original = folder + "/heard.kar";
        QSignalSpy done(window(), &MainWindow::doneImporting);
        window()->importFiles({QUrl::fromLocalFile(original)});
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);
        const QString copy = m_db->getLibraryFolder() + "heard.kar";
        const auto forget = qScopeGuard([&] { m_db->removeSongFromLibrary(int(m_db->selectSongByPath(copy).idSong)); });
        QVERIFY(m_db->selectSongByPath(copy).idSong > 0);
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *side = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(side->viewport(), Qt::LeftButton, {}, side->visualItemRect(side->item(1)).center());
        const auto first = [this] { return songTable()->model()->index(0, 8).data().toString(); };
        QVERIFY(window()->onStartSongPath(original, 0));
        QTRY_COMPARE(first(), copy);
        // The playlist "Stage" from its second song: its third follows.
        int stage = -1;
        for (const Playlist &p : m_db->selectPlaylists())
            stage = p.getName() == "Stage" ? p.getId() : stage;
        QVERIFY(window()->startSongPlaylist(info(song("b")), 0, stage, "Stage", 1));
        QTRY_COMPARE(first(), song("b"));
        QTRY_COMPARE_WITH_TIMEOUT(currSong->path(), song("c"), 20000);
        QTRY_COMPARE(first(), song("c"));
    }

    // Stop, then Play: the row chosen after the Stop plays; with no new
    // choice (or one made before the Stop) the stopped song plays again.
    void playAfterStop_data()
    {
        QTest::addColumn<QString>("before"); // the row chosen while "a" plays
        QTest::addColumn<QString>("after");  // the row chosen after the Stop
        QTest::addColumn<QString>("plays");
        QTest::newRow("another row chosen") << "" << "b" << "b";
        QTest::newRow("no new choice") << "" << "" << "a";
        QTest::newRow("chosen before the Stop") << "c" << "" << "a";
    }
    void playAfterStop()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, plays);
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        const auto click = [this](const QString &name) {
            auto *model = songTable()->model();
            const QModelIndex cell = model->match(model->index(0, 8), Qt::DisplayRole, song(name.toLatin1()), 1,
                                                  Qt::MatchExactly).value(0).siblingAtColumn(2);
            QVERIFY(cell.isValid());
            QTest::mouseClick(songTable()->viewport(), Qt::LeftButton, {}, songTable()->visualRect(cell).center());
        };
        click("a");
        QTest::mouseClick(find<QPushButton>("playButton"), Qt::LeftButton);
        QTRY_VERIFY(currSong->path() == song("a") && state() == SoundEngine::ePsPlaying);
        if (!before.isEmpty())
            click(before);
        QTest::mouseClick(find<QPushButton>("rewButton"), Qt::LeftButton);
        QCOMPARE(int(state()), int(SoundEngine::ePsReady));
        if (!after.isEmpty())
            click(after);
        QTest::mouseClick(find<QPushButton>("playButton"), Qt::LeftButton);
        QTRY_COMPARE(int(state()), int(SoundEngine::ePsPlaying));
        QCOMPARE(currSong->path(), song(plays.toLatin1()));
    }

    // What an import cannot bring in is told under its own heading, each
    // file with why: files that are no songs, files too large for a song,
    // copies that failed with the system's reason (here a full disk); songs
    // already there in a box of their own. The song that fits is imported.
    void importReport()
    {
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        QTemporaryDir dir;
        const QString in = dir.path();
        SoundEngineRig::makeSongs(in);
        const QList<QUrl> songs = make(in, 50, 52);
        QVERIFY(QFile::copy(songs.last().toLocalFile(), m_db->getLibraryFolder() + "imp-51.kar"));
        const QString text = in + "/notes.txt", pipe = in + "/pipe.kar", large = in + "/large.mid",
                      big = in + "/big.mp3";
        QVERIFY(TestUtil::writeFile(text, "no song here"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);
        QVERIFY(QFile::copy(in + "/mix.mid", large) && QFile(large).resize(qint64(70) << 20));
        QVERIFY(TestUtil::writeFile(big, TestUtil::readFile(in + "/song.mp3") + QByteArray(5 << 20, '\0')));
        QList<QUrl> urls = songs;
        for (const QString &file : {text, pipe, large, big})
            urls << QUrl::fromLocalFile(file);
        QSignalSpy done(window(), &MainWindow::doneImporting);
        QVERIFY(TestUtil::onFullDisk(4 << 20, [&] {
            window()->importFiles(urls);
            QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 120000);
        }));
        // Whatever the words: the files that are no songs under one heading,
        // each with its own reason; the one too large under another, with
        // its size and the limit; the failed copy under a third, with the
        // system's reason; the song already there in a box of its own.
        const auto reports = reportsOn(in);
        QVERIFY2(reports.size() == 2, qPrintable(m_prompts.join("\n--\n")));
        const QList<Section> errors = reports.at(0);
        QCOMPARE(errors.size(), 3);
        QCOMPARE(errors.at(0).second.size(), 2);
        const QString notSong = errors.at(0).second.at(0), notFile = errors.at(0).second.at(1);
        QCOMPARE(fileOf(notSong), text);
        QCOMPARE(fileOf(notFile), pipe);
        QVERIFY(!whyOf(notSong).isEmpty() && !whyOf(notFile).isEmpty() && whyOf(notSong) != whyOf(notFile));
        QCOMPARE(errors.at(1).second.size(), 1);
        QCOMPARE(fileOf(errors.at(1).second.first()), large);
        const QString tooLarge = whyOf(errors.at(1).second.first());
        QVERIFY2(tooLarge.contains("70.0 MiB") && tooLarge.contains("64.0 MiB"), qPrintable(tooLarge));
        QCOMPARE(errors.at(2).second, QStringList{big + " (" + QString::fromLocal8Bit(strerror(EFBIG)) + ")"});
        QStringList headings{errors.at(0).first, errors.at(1).first, errors.at(2).first};
        headings.removeDuplicates();
        QCOMPARE(headings.size(), 3);
        QCOMPARE(reports.at(1).size(), 1);
        QCOMPARE(reports.at(1).first().second, QStringList{songs.last().toLocalFile()});
        QVERIFY(QFile::exists(m_db->getLibraryFolder() + "imp-50.kar"));
        QVERIFY(!QFile::exists(m_db->getLibraryFolder() + "big.mp3"));
    }
};

VELMAR_TEST(TestMainWindow)
#include "tst_mainwindow.moc"
