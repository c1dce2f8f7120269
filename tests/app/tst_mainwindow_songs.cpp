#include "mainwindowrig.h"

// What a request, Play, Stop and the header do to the song in play, and what
// the library tells of a song.
class TestMainWindowSongs : public MainWindowRig
{
    Q_OBJECT
private slots:
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
};

VELMAR_TEST(TestMainWindowSongs)
#include "tst_mainwindow_songs.moc"
