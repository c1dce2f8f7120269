#include "DatabaseHelper.h"
#include "KaraokeTextWidget.h"
#include "ListTextViewDelegate.h"
#include "LyricsModel.h"
#include "ViewParameter.h"
#include "chordsView.h"
#include "constants.h"
#include "SynthAudioSink.h"
#include "mainwindow.h"
#include "newwidgetwindow.h"
#include "prompter.h"
#include "settingsview.h"
#include "teststore.h"
#include "volumepopup.h"
#include "testutil.h"

#include <QNetworkAccessManager>
#include <QtTest>
#include <QtWidgets>

// The real window on the real engine (its synthesizer rendering into a buffer nobody pulls) over
// a library of mido-made KAR songs: requests and playlists, views going into windows of their own
// and back, the karaoke view's looks and extra windows, and the store and import roads.
class TestMainWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_songs;
    std::unique_ptr<DatabaseHelper> m_db;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_boxes; // "title|text" of each message box, closed at once
    QStringList m_prompts; // "title|text" of each prompt, answered Yes
    QTemporaryDir m_files, m_home; // the library lives in a home of the test's own
    QByteArray m_oldHome;
    TestStore m_store;
    QTimer m_boxCloser;

    MainWindow *window()
    {
        if (!m_window) {
            SoundEngine::Devices devices{std::make_unique<OfflineAudioSink>(), std::make_unique<Sound::PullAudioSink>(),
                                         QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2")};
            m_window = std::make_unique<MainWindow>(m_db.get(), nullptr, std::move(devices));
            m_window->engine()->connectToSoundCardByIdx(SoundEngine::kSynthIndex);
            m_window->findChild<QStackedWidget *>("stackedWidget")->setCurrentIndex(0);
            m_window->show();
        }
        return m_window.get();
    }
    QString song(const char *name) const { return m_songs.filePath(QLatin1String(name) + ".kar"); }
    SongInfo info(const QString &path) const
    {
        SongInfo i;
        i.innerPath = path;
        return i;
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
        TestUtil::runPython(QStringLiteral("app/make_kar.py"), args);
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

private slots:
    void initTestCase()
    {
        m_oldHome = qgetenv("HOME");
        qputenv("HOME", m_home.path().toUtf8());
        appSettings = new QSettings(QStringLiteral("Kvero"), QStringLiteral("VelmarPC"));
        QVERIFY(m_store.start(m_files.path()));
        Prompter::setScript([this](const QString &title, const QString &text, auto) {
            return m_prompts << title + "|" + text, QMessageBox::Yes;
        });
        TestUtil::runPython(QStringLiteral("app/make_kar.py"),
                            {m_songs.path(), QStringLiteral("2"), "a", "b", "c"});
        TestUtil::runPython(QStringLiteral("app/make_kar.py"), {m_songs.path(), QStringLiteral("20"), "song"});
        m_db = std::make_unique<DatabaseHelper>();
        QVERIFY(m_db->initDb() && m_db->connect());
        m_db->insertPlaylist(QStringLiteral("Stage"));
        for (const char *name : {"a", "b", "c"}) {
            QVERIFY(m_db->insertDataSongs(info(song(name)), song(name), m_db->checkInsertArtist("Artist"),
                                          m_db->checkInsertGenere("Genre"), m_db->checkInsertAuthor("Author")));
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
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect|connectSlotsByName")));
        appSettings->clear();
        m_boxes.clear();
        m_prompts.clear();
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
        QTest::addColumn<QString>("box");
        QTest::newRow("row, play") << false << "a" << 0 << 0 << 1 << "";
        QTest::newRow("row, load only") << false << "a" << 1 << 0 << 3 << "";
        QTest::newRow("row, settings say pause") << false << "a" << -1 << 1 << 3 << "";
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
        const bool ok = byPath ? window()->onStartSongPath(path, action)
                               : window()->startSongPlaylist(info(path), action, -1, QString(), -1);
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
        QVERIFY(window()->startSongPlaylist(info(song("a")), 0, list, "Stage", 0));
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

    // Header bar: pause and resume (also from the play button) and stop; the
    // window closed while a song plays.
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

        // Closing while a song plays pauses it and keeps the volume.
        window()->findChild<volumePopup *>()->setVolume(77);
        QVERIFY(window()->onStartSongPath(song("a"), 0));
        QVERIFY(window()->close());
        QCOMPARE(int(state()), 2);
        QCOMPARE(appSettings->value("Volume/value").toUInt(), 77u);
        m_window.reset();
        QCOMPARE(mw, nullptr);
    }

    void detachAndDock_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("byClose");   // the window's close, else its pin
        QTest::newRow("library, pinned") << "LibraryButton" << "libraryView" << false;
        QTest::newRow("edit, closed") << "EditButton" << "editView" << true;
        QTest::newRow("mixer, pinned") << "MixerButton" << "mixerView" << false;
        QTest::newRow("karaoke, closed") << "KaraokeButton" << "KaraokeTextWidget" << true;
    }
    // Detached, moved and resized, stored on close as it is, reopened there
    // at the next start, and docked back.
    void detachAndDock()
    {
        QFETCH(QString, tab);
        QFETCH(QString, key);
        QFETCH(bool, byClose);
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

        // A pinned bar view comes back shown on its own tab; a closed one
        // hidden; the karaoke view always shown.
        if (byClose)
            QVERIFY(view->window()->close());
        else
            qobject_cast<NewWidgetWindow *>(view->window())->on_clickPinObject(false);
        QCOMPARE(view->window(), window());
        QCOMPARE(view->isVisible(), isKaraoke || !byClose);
        QCOMPARE(find<QPushButton>(tab.toLatin1())->isChecked(), isKaraoke || !byClose);
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
        QTest::newRow("main window taller than the screen") << "MainWindow" << QRect(10, 10, 900, 9000) << true;
        QTest::newRow("library above the screen") << "libraryView" << QRect(10, -2000, 800, 300) << false;
        QTest::newRow("main window on a screen gone") << "MainWindow" << QRect(screen.right() + 900, 40, 900, 560) << false;
        QTest::newRow("karaoke at the edge") << "KaraokeTextWidget" << QRect(screen.right() - 100, 10, 500, 300) << true;
        QTest::newRow("karaoke a sliver in") << "KaraokeTextWidget" << QRect(screen.right() - 10, 10, 500, 300) << false;
    }
    // A stored rectangle no screen shows opens at the screen's corner.
    void offScreen()
    {
        QFETCH(QString, key);
        QFETCH(QRect, stored);
        QFETCH(bool, kept);
        appSettings->setValue("WindowsPosition/" + key, stored);
        QWidget *w = key == "MainWindow" ? window() : view(key)->window();
        QVERIFY(w != (key == "MainWindow" ? nullptr : window()));
        const QRect home = QGuiApplication::primaryScreen()->availableGeometry();
        // The main window's frame may push it a little inside the screen.
        QVERIFY((w->geometry().topLeft() - (kept ? stored.topLeft() : home.topLeft())).manhattanLength() <= 4);
        if (key != "MainWindow")
            QCOMPARE(w->size(), stored.size());
        else
            QVERIFY(w->height() <= QGuiApplication::primaryScreen()->geometry().height());
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

    // The list the user last saw stays unless a whole new reply came.
    void news_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("sameHash");
        QTest::newRow("new list") << "" << false;
        QTest::newRow("list already seen") << "" << true;
        QTest::newRow("server error") << "http500" << false;
    }
    void news()
    {
        const QByteArray body = "<melodrome_message><songid>x12</songid><download/><title>Second</title>"
                                "<songid>7</songid><download/><title>Dropped</title></melodrome_message>";
        QFETCH(QString, fault);
        QFETCH(bool, sameHash);
        const QString path = "/service/songlist_news.php";
        m_store.setReply(path, body);
        if (!fault.isEmpty())
            m_store.setFault(path, fault);
        const QString md5 = QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex();
        appSettings->setValue("News/MD5", sameHash ? md5 : "old");
        appSettings->setValue("News/Unseen", false);
        SongInfo kept;
        kept.title = "Kept"; // the list of the last start
        QVERIFY(m_db->truncateMDNews() && m_db->insertMDSongsNews(kept));
        QPointer<QObject> request = window()->findChild<QNetworkAccessManager *>(QString(), Qt::FindDirectChildrenOnly);
        QTRY_VERIFY_WITH_TIMEOUT(request.isNull(), 30000);
        QStringList stored;
        for (const SongInfo &s : m_db->selectMDSongs())
            stored << QString::number(s.idSong) + ":" + s.title;
        QCOMPARE(stored, fault.isEmpty() ? QStringList({"0:", "7:Second"}) : QStringList({"0:Kept"}));
        QCOMPARE(appSettings->value("News/MD5").toString(), fault.isEmpty() ? md5 : QString("old"));
        QCOMPARE(appSettings->value("News/Unseen").toBool(), !sameHash && fault.isEmpty());
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
        QDir updates(MainWindow::updateFolder());
        updates.removeRecursively();
        QVERIFY(updates.mkpath(".") && TestUtil::writeFile(updates.filePath("VelmarPC-mac-2.4.9.zip"), "old"));
        window()->checkVersion();
        const QString unpacked = updates.filePath("VelmarPC-linux-2.4.11");
        const QStringList kept{"VelmarPC-linux-2.4.11", "VelmarPC-linux-2.4.11.zip"};
        QCOMPARE(updates.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), good ? kept : QStringList());
        QVERIFY(!QFile::exists(updates.filePath("../evil.txt")));
        QCOMPARE(QFile::exists(unpacked + "/VelmarPC/bin/run.sh"), good);
        QCOMPARE(m_prompts.size(), 2);
        QCOMPARE(m_prompts.last().contains(unpacked), good);
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
        const QStringList boxes{
            "Errored|These songs cannot be copied because they seems to be not a song files:\n\n" + errored.join("\n") + "\n",
            "Duplicated Entries|These songs cannot be copied because they're already present:\n\n"
                + duplicated.join("\n") + "\n"};
        // The start-up's own version check may have asked questions meanwhile.
        QCOMPARE(m_prompts.filter(QRegularExpression("^(Errored|Duplicated Entries)\\|")), boxes);
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
};

VELMAR_TEST(TestMainWindow)
#include "tst_mainwindow.moc"
