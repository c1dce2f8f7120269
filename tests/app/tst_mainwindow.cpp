#include "DatabaseHelper.h"
#include "KaraokeTextWidget.h"
#include "LyricsModel.h"
#include "chordsView.h"
#include "constants.h"
#include "volumepopup.h"
#include "mainwindow.h"
#include "resourcepaths.h"
#include "testutil.h"
#include "windowrig.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

// The real window on the real engine, its synthesizer rendering into a buffer
// nobody pulls, over a song library of mido-made KAR songs.
class TestMainWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_songs;
    std::unique_ptr<DatabaseHelper> m_db;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_boxes; // "title|text" of each message box, closed at once
    QTimer m_boxCloser;

    MainWindow *window()
    {
        if (!m_window) {
            m_window = windowOnSynth(m_db.get());
            m_window->engine()->connectToSoundCardByIdx(SoundEngine::kSynthIndex);
        }
        return m_window.get();
    }
    QString song(const char *name) const { return m_songs.filePath(QLatin1String(name) + ".kar"); }
    SongInfo info(const char *name) const
    {
        SongInfo i;
        i.innerPath = song(name);
        return i;
    }
    SoundEngine::PlayingState state() { return window()->engine()->getPlayingState(); }
    template <class T> T *find(const char *name) { return window()->findChild<T *>(name); }

private slots:
    void initTestCase()
    {
        appSettings = new QSettings(QStringLiteral("Kvero"), QStringLiteral("VelmarPC"));
        TestUtil::runPython(QStringLiteral("app/make_kar.py"),
                            {m_songs.path(), QStringLiteral("2"), "a", "b", "c"});
        m_db = std::make_unique<DatabaseHelper>();
        QVERIFY(m_db->initDb());
        QVERIFY(m_db->connect());
        const int artist = m_db->checkInsertArtist(QStringLiteral("Artist"));
        const int genre = m_db->checkInsertGenere(QStringLiteral("Genre"));
        const int author = m_db->checkInsertAuthor(QStringLiteral("Author"));
        m_db->insertPlaylist(QStringLiteral("Stage"));
        for (const char *name : {"a", "b", "c"}) {
            QVERIFY(m_db->insertDataSongs(info(name), song(name), artist, genre, author));
            const int id = int(m_db->selectSongs().last().idSong);
            QVERIFY(m_db->insertSongInPlayList(id, m_db->selectPlaylists().last().getId()));
        }
        connect(&m_boxCloser, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                m_boxes << box->windowTitle() + "|" + box->text();
                box->done(QMessageBox::Ok);
            }
        });
        m_boxCloser.start(20);
    }
    void init()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
        appSettings->clear();
        m_boxes.clear();
    }
    void cleanup() { m_window.reset(); }
    void cleanupTestCase()
    {
        m_db.reset();
        delete appSettings;
        appSettings = nullptr;
    }

    // A window on no settings at all: the splash page, every view docked.
    void construction()
    {
        MainWindow *w = window();
        QCOMPARE(mw, w);
        QCOMPARE(find<QStackedWidget>("stackedWidget")->currentWidget()->objectName(), QString("pageSplashscreen"));
        QCOMPARE(w->karaokeView()->parentWidget()->objectName(), QString("screenWidget"));
        QVERIFY(!find<QLabel>("lb_splashLogo")->pixmap().isNull());
    }

    // Stored rectangles: the window is cut to the screen, a detached karaoke
    // view opens in its own window and leaves the screen area hidden.
    void storedPositions()
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        appSettings->setValue("WindowsPosition/MainWindow", QRect(10, 10, 900, screen.height() + 500));
        appSettings->setValue("WindowsPosition/KaraokeTextWidget", QRect(50, 60, 400, 300));
        appSettings->setValue("MidiSettings/MelodyMute", 2);
        MainWindow *w = window();
        QCOMPARE(w->geometry().height(), screen.height());
        QVERIFY(w->karaokeView()->window() != w);
        QVERIFY(find<QWidget>("screenWidget")->isHidden());
        QCOMPARE(find<QPushButton>("melodyMuteButton")->text(), QString("Melody SEMI"));
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
        QTest::addColumn<QString>("box");
        QTest::newRow("row, play") << false << "a" << 0 << 0 << 1 << "";
        QTest::newRow("row, load only") << false << "a" << 1 << 0 << 3 << "";
        QTest::newRow("row, settings say pause") << false << "a" << -1 << 1 << 3 << "";
        QTest::newRow("row, settings say play") << false << "a" << -1 << 0 << 1 << "";
        QTest::newRow("path, play") << true << "b" << 0 << 0 << 1 << "";
        QTest::newRow("path, other value") << true << "b" << 5 << 0 << 3 << "";
        QTest::newRow("missing file") << true << "gone" << 0 << 0 << -1 << "Attention|Cannot play this file";
        QTest::newRow("not a song") << false << "notsong" << 0 << 0 << -1 << "Attention|Cannot play this file";
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
        const QString path = m_songs.filePath(file + ".kar");
        if (file == "notsong")
            TestUtil::writeFile(path, "plain text, no song");
        QSignalSpy states(window()->engine(), &SoundEngine::playStateChanged);
        SongInfo i;
        i.innerPath = path;
        const bool ok = byPath ? window()->onStartSongPath(path, action)
                               : window()->startSongPlaylist(i, action, -1, QString(), -1);
        QCOMPARE(ok, box.isEmpty());
        // A failed load leaves nothing playing.
        if (expected >= 0)
            QCOMPARE(int(state()), expected);
        else
            QVERIFY(state() != SoundEngine::ePsPlaying);
        QCOMPARE(m_boxes, box.isEmpty() ? QStringList() : QStringList{box});
        QCOMPARE(currSong->isLoaded(), ok);
        if (ok) {
            QCOMPARE(window()->karaokeView()->lyricsModel()->rows().size() > 0, true);
            QCOMPARE(int(states.last().at(0).value<SoundEngine::PlayingState>()), expected);
        }
    }

    // A playlist plays to its end by itself; without auto-play each next
    // song waits ready (the one after it preloaded) until Play is pressed.
    void playlist_data()
    {
        QTest::addColumn<int>("autoplay");
        QTest::newRow("auto-play") << 1;
        QTest::newRow("no auto-play") << 0;
    }
    void playlist()
    {
        QFETCH(int, autoplay);
        appSettings->setValue("System/Autoplay", autoplay);
        const int list = m_db->selectPlaylists().last().getId();
        QVERIFY(window()->startSongPlaylist(info("a"), 0, list, "Stage", 0));
        QCOMPARE(nextSong->path(), song("b"));
        QCOMPARE(nextSong->playlistIndex(), 1);
        // The edit page's restart of the same song keeps its place in the list.
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        QCOMPARE(currSong->playlistIndex(), 0);
        QCOMPARE(nextSong->path(), song("b"));
        for (const char *next : {"b", "c"}) {
            QTRY_COMPARE_WITH_TIMEOUT(currSong->path(), song(next), 20000);
            QTRY_VERIFY(currSong->isLoaded());
            QCOMPARE(int(state()), autoplay ? 1 : 3);
            QCOMPARE(nextSong->isLoaded(), next[0] != 'c');
            if (!autoplay)
                QTest::mouseClick(find<QPushButton>("playButton"), Qt::LeftButton);
            QCOMPARE(int(state()), 1);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!currSong->isLoaded(), 20000);
        QCOMPARE(int(state()), 0);
    }

    // Header bar: pause and resume (also from the play button), stop, and the
    // melody button's three modes.
    void headerBar()
    {
        QVERIFY(window()->onStartSongPath(song("c"), 0));
        auto *pause = find<QPushButton>("pauseButton");
        QTest::mouseClick(pause, Qt::LeftButton);
        QCOMPARE(int(state()), 2);
        QVERIFY(pause->isChecked());
        QTest::mouseClick(pause, Qt::LeftButton);
        QCOMPARE(int(state()), 1);
        QTest::mouseClick(pause, Qt::LeftButton);
        QTest::mouseClick(find<QPushButton>("KaraokeButton"), Qt::LeftButton);
        QTest::mouseClick(find<QPushButton>("playButton"), Qt::LeftButton);
        QCOMPARE(int(state()), 1);
        QVERIFY(!pause->isChecked());
        QTest::mouseClick(find<QPushButton>("rewButton"), Qt::LeftButton);
        QCOMPARE(int(state()), 3);
        QVERIFY(currSong->isLoaded());

        auto *melody = find<QPushButton>("melodyMuteButton");
        const char *texts[] = {"Melody OFF", "Melody SEMI", "Melody ON"};
        for (int i = 0; i < 3; ++i) {
            QTest::mouseClick(melody, Qt::LeftButton);
            QCOMPARE(melody->text(), QString(texts[i]));
            QCOMPARE(appSettings->value("MidiSettings/MelodyMute").toInt(), (i + 1) % 3);
        }
    }

    // Each tab shows its page in the bar, each header button its pop-up.
    void tabsAndPopups_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("shown");
        QTest::newRow("library") << "LibraryButton" << "libraryView";
        QTest::newRow("edit") << "EditButton" << "editView";
        QTest::newRow("mixer") << "MixerButton" << "mixerView";
        QTest::newRow("chords") << "ChordsButton" << "chordsView";
        QTest::newRow("volume") << "volumeButton" << "volumePopup";
        QTest::newRow("melody channel") << "melodyChButton" << "MelodyChannelPopup";
        QTest::newRow("options") << "optionsButton" << "SettingsView";
    }
    void tabsAndPopups()
    {
        QFETCH(QString, button);
        QFETCH(QString, shown);
        window()->show();
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        QTest::mouseClick(find<QPushButton>(button.toLatin1()), Qt::LeftButton);
        const QStringList pages{"libraryView", "editView", "mixerView", "chordsView"};
        for (QWidget *w : window()->findChildren<QWidget *>()) {
            const QString type = QLatin1String(w->metaObject()->className());
            if (type == shown)
                QVERIFY2(w->isVisible(), qPrintable(type));
            else if (pages.contains(type) && pages.contains(shown))
                QVERIFY2(!w->isVisible(), qPrintable(type));
        }
    }

    // Closing while a song plays pauses it and keeps the volume.
    void closeWhilePlaying()
    {
        // The volume pop-up reports to the window, which stores the value on close.
        window()->findChild<volumePopup *>()->setVolume(77);
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        QVERIFY(window()->close());
        QCOMPARE(int(state()), 2);
        QCOMPARE(appSettings->value("Volume/value").toUInt(), 77u);
        m_window.reset();
        QCOMPARE(mw, nullptr);
    }

    // Each language switches the visible texts, the program's and Qt's own.
    void languages_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("qt");
        QTest::addColumn<QString>("loading");
        QTest::addColumn<QString>("cancel");
        QTest::newRow("it") << "lang_it" << "qt_it" << "Caricamento..." << "Annulla";
        QTest::newRow("en") << "lang_en" << "qt_en" << "Loading..." << "Cancel";
        QTest::newRow("de") << "lang_de" << "qt_en" << "Wird geladen..." << "Cancel";
        QTest::newRow("zh") << "lang_zh" << "qt_en" << QString::fromUtf8("正在加载...") << "Cancel";
    }
    void languages()
    {
        QFETCH(QString, program);
        QFETCH(QString, qt);
        QFETCH(QString, loading);
        QFETCH(QString, cancel);
        window();
        QTranslator programTranslator, qtTranslator;
        QVERIFY(programTranslator.load(program, ResourcePaths::languageFolder));
        QVERIFY(qtTranslator.load(qt, ResourcePaths::languageFolder));
        QCoreApplication::installTranslator(&programTranslator);
        QCoreApplication::installTranslator(&qtTranslator);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(find<QLabel>("lb_splashLoading")->text(), loading);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);
        QCOMPARE(find<QPushButton>("melodyMuteButton")->text(), QString("Melody ON"));
        QCoreApplication::removeTranslator(&programTranslator);
        QCoreApplication::removeTranslator(&qtTranslator);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(find<QLabel>("lb_splashLoading")->text(), QString("Loading..."));
    }
};

VELMAR_TEST(TestMainWindow)
#include "tst_mainwindow.moc"
