#include "mainwindowrig.h"

// Playlists played to their end, Auto Play, the lit row and Recent through
// edits, and imports.
class TestMainWindowLists : public MainWindowRig
{
    Q_OBJECT
private slots:
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

    // 50 files dropped on the song list, shown on Downloaded: songs, files
    // that are no songs and songs already in the song folder; a second
    // import given while the first runs follows it. Every song is listed
    // once, the rest reported; the page says how many songs the last import
    // added, and All Songs shows them, chosen.
    void imports()
    {
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *side = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(side->viewport(), Qt::LeftButton, {}, side->visualItemRect(side->item(2)).center());
        QTRY_COMPARE(find<libraryView>("libraryView")->getHeaderStatus(), int(libraryView::DownloadedSongs));
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
        const auto *note = find<QLabel>("importNote");
        QVERIFY(note && note->isVisible());
        QCOMPARE(note->text(), QString("Songs added to the library: 5"));
        QCOMPARE(find<libraryView>("libraryView")->getHeaderStatus(), int(libraryView::AllSongs));
        QStringList chosen, added;
        for (const QModelIndex &row : songTable()->selectionModel()->selectedRows(8))
            chosen << QFileInfo(row.data().toString()).fileName();
        for (const QUrl &song : second)
            added << song.fileName();
        chosen.sort();
        QCOMPARE(chosen, added);
        // A song let go over the lyrics (under the karaoke view's buttons) plays.
        drop(window(), window()->findChild<QAbstractScrollArea *>("lV_Text")->viewport(), second.mid(0, 1));
        QCOMPARE(currSong->path(), second.first().toLocalFile());
        // The count said again in the language chosen.
        auto restore = qScopeGuard(&removeTranslators);
        auto *languages = window()->settingsView()->findChild<QComboBox *>("languageCombo");
        languages->setCurrentIndex(0);
        emit languages->activated(0);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(note->text(), QString("Brani aggiunti alla libreria: 5"));
        // With the artists listed, an import shows its songs too, by title.
        QTest::mouseClick(find<QPushButton>("artistButton"), Qt::LeftButton);
        QTRY_COMPARE(find<libraryView>("libraryView")->getHeaderStatus(), int(libraryView::Listing));
        window()->importFiles(make(in, 45, 46));
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 3, 60000);
        QCOMPARE(find<libraryView>("libraryView")->getHeaderStatus(), int(libraryView::AllSongs));
        const QModelIndexList third = songTable()->selectionModel()->selectedRows(8);
        QCOMPARE(third.size(), 1);
        QCOMPARE(QFileInfo(third.first().data().toString()).fileName(), QString("imp-45.kar"));
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
            QTRY_COMPARE(litRows(), QList<int>{step});
            QCOMPARE(songTable()->model()->index(step, 8).data().toString(), expected.at(step));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!currSong->isLoaded(), 30000);
        QCOMPARE(heard, expected);
        QCOMPARE(recent().mid(0, 5), QStringList({song("a"), q(5), q(3), q(4), q(1)}));
        QVERIFY(!recent().contains(q(2)));
        QVERIFY2(!addedCounted, "a song added to the playlist counted as heard");
    }

    // The row of the song in play stays lit in its list, whatever is
    // selected, through every edit a host makes while it plays (a row above
    // it dragged below it, the song itself dragged, a drag that moves
    // nothing, the next row removed), after leaving the list and coming
    // back, and goes once the song is removed from the list.
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
        // The row lit, the only one.
        const auto lit = [this] {
            const QList<int> rows = litRows();
            return rows.size() == 1
                       ? QFileInfo(songTable()->model()->index(rows.first(), 8).data().toString()).completeBaseName()
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
        // A row dragged onto itself: nothing moves, the row dragged is the
        // one selected.
        drag(0, 0);
        QTRY_COMPARE(songTable()->currentIndex().row(), 0);
        QCOMPARE(shown(), QStringList({"lit1", "lit3", "lit4", "lit2", "lit5"}));
        QTRY_COMPARE(lit(), "lit2");
        // The next row removed: chosen, the delete button, Yes.
        QTest::mouseClick(songTable()->viewport(), Qt::LeftButton, {}, rowOf(4));
        QCOMPARE(lit(), "lit2");
        QTest::mouseClick(find<QPushButton>("deleteButton"), Qt::LeftButton);
        QTRY_COMPARE(shown(), QStringList({"lit1", "lit3", "lit4", "lit2"}));
        QTRY_COMPARE(lit(), "lit2");
        // All Songs, where no row is the list's entry, then the list again.
        openSide(0);
        QTRY_VERIFY(songTable()->model()->rowCount() > 4);
        QCOMPARE(lit(), "0 rows");
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

    // In a list longer than the page, the row of the song Auto Play starts
    // comes into sight, lit, wherever the list was scrolled.
    void playingRowInSight()
    {
        QStringList names, paths;
        for (int i = 0; i < 30; ++i)
            names << QStringLiteral("far%1").arg(i);
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), QStringList{m_files.path(), "2"} + names);
        for (const QString &name : std::as_const(names))
            paths << m_files.filePath(name + ".kar");
        QList<int> ids;
        const int list = makePlaylist(QStringLiteral("Long"), paths, ids);
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
        QTRY_COMPARE(songTable()->model()->rowCount(), 30);
        const QPoint first = songTable()->visualRect(songTable()->model()->index(0, 2)).center();
        QTest::mouseClick(songTable()->viewport(), Qt::LeftButton, {}, first);
        QTest::mouseDClick(songTable()->viewport(), Qt::LeftButton, {}, first);
        QTRY_VERIFY(currSong->path() == paths.first() && state() == SoundEngine::ePsPlaying);
        QScrollBar *bar = songTable()->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum());
        QVERIFY(litRows().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(currSong->path() == paths.at(1), 30000);
        QTRY_COMPARE(litRows(), QList<int>{1});
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

VELMAR_TEST(TestMainWindowLists)
#include "tst_mainwindow_lists.moc"
