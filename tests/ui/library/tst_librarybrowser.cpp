// File browser, drive index, deleting (checked with the sqlite3 shell) and keys.
#include "DatabaseHelper.h"
#include "appsettings.h"
#include "libraryview.h"
#include "prompter.h"
#include "testlanguage.h"
#include "testutil.h"

#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSettings>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestLibraryBrowser : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<DatabaseHelper> db;
    std::unique_ptr<libraryView> page;
    QStringList questions;

    template <typename T> T *child(const char *name) { return page->findChild<T *>(name); }
    QTableView *table() { return child<QTableView>("songsListview"); }
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    void pick(int row) { table()->setFocus(), table()->selectRow(row); }

    void add(const QString &file, const QString &artist, const QString &genre)
    {
        SongInfo s;
        s.title = file, s.artist = artist, s.genre = genre, s.format = "MIDI", s.length = 215;
        TestUtil::writeFile(db->getLibraryFolder() + file, "x");
        QVERIFY(db->checkSong(s, db->getLibraryFolder() + file));
    }

    QString sql(const QString &query)
    {
        QByteArray out;
        TestUtil::runProgram("sqlite3", {QSqlDatabase::database().databaseName(), query}, &out);
        return QString::fromUtf8(out).trimmed();
    }

    void select(QListView *files, const QList<int> &rows)
    {
        files->setFocus();
        files->selectionModel()->setCurrentIndex(files->model()->index(rows[0], 0, files->rootIndex()),
                                                 QItemSelectionModel::Clear);
        for (int r : rows)
            files->selectionModel()->select(files->model()->index(r, 0, files->rootIndex()), QItemSelectionModel::Select);
    }

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", home->path().toUtf8());
        db = std::make_unique<DatabaseHelper>();
        QVERIFY(db->initDb() && db->connect());
        page = std::make_unique<libraryView>(db.get(), nullptr, nullptr);
        page->show();
        questions.clear();
        Prompter::setScript([this](const QString &, const QString &text, QMessageBox::StandardButtons) {
            questions << text;
            return QMessageBox::Yes;
        });
    }

    void cleanup()
    {
        Prompter::setScript({});
        page.reset();
        db.reset();
    }

    // A drive of 2,000 songs in folders beside other files: the list shows
    // song files and folders only, the index gets every song, and every way
    // to a file plays or imports it by its path.
    void browseAndIndex()
    {
        QTemporaryDir drives;
        const QString drive = drives.path() + "/DriveA";
        for (int i = 0; i < 2000; ++i)
            QDir().mkpath(drive + QString("/f%1").arg(i / 100)), TestUtil::writeFile(QString("%1/f%2/song%3.%4")
                .arg(drive).arg(i / 100).arg(i, 4, 10, QChar('0')).arg(i % 2 ? "MID" : "MP3"), "x");
        TestUtil::writeFile(drive + "/readme.txt", "x"), TestUtil::writeFile(drive + "/top.KAR", "x");
        page->setDrivesRoot(drives.path());
        click("browsePcButton");
        // The first visit indexes the first drive and shows it.
        QVERIFY(child<QLabel>("loadingLabel")->isVisible());
        QCOMPARE(child<QLabel>("path")->toolTip(), drive);
        auto *drivesView = child<QListView>("drivesLV");
        QCOMPARE(drivesView->currentIndex().row(), 0);
        emit drivesView->clicked(drivesView->model()->index(0, 0));
        auto *files = child<QListView>("filesLV");
        auto *folders = static_cast<QFileSystemModel *>(files->model());
        QTRY_COMPARE_WITH_TIMEOUT(folders->rowCount(files->rootIndex()), 21, 30000); // not readme.txt
        QSignalSpy played(page.get(), &libraryView::startSongPath);
        emit files->doubleClicked(folders->index(drive + "/f3"));
        QTRY_COMPARE_WITH_TIMEOUT(folders->rowCount(files->rootIndex()), 100, 30000);
        emit files->doubleClicked(folders->index(drive + "/f3/song0301.MID"));
        const int row = folders->index(drive + "/f3/song0302.MP3").row();
        select(files, {row});
        QTest::keyClick(files, Qt::Key_Return), QTest::keyClick(files, Qt::Key_Space);
        for (int action : {-1, 1, 0})
            QCOMPARE(played.takeFirst(), QVariantList({drive + "/f3/song030" + (action < 0 ? "1.MID" : "2.MP3"), action}));
        QSignalSpy imports(page.get(), &libraryView::importRequest);
        select(files, {row, folders->index(drive + "/f3/song0303.MID").row(), folders->index(drive + "/f3/song0304.MP3").row()});
        click("importButton");
        QCOMPARE(imports.at(0).at(0).value<QList<QUrl>>().value(2), QUrl::fromLocalFile(drive + "/f3/song0304.MP3"));
        files->setFocus();
        QTest::keyClick(files, Qt::Key_Backspace);
        QCOMPARE(child<QLabel>("path")->toolTip(), drive);
        auto *found = child<QTableView>("searchLV");
        auto *index = static_cast<QSqlTableModel *>(found->model());
        auto indexed = [&] { QSqlQuery q("SELECT count(*) FROM indexes", db->driveIdxDb); return q.next() ? q.value(0).toInt() : -1; };
        QTRY_COMPARE_WITH_TIMEOUT(indexed(), 2001, 120000);
        // Indexed once: the drive chosen again shows no animation that nothing ends.
        QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>("loadingGifLabel")->isHidden(), 30000);
        emit drivesView->clicked(drivesView->model()->index(0, 0));
        QVERIFY(child<QLabel>("loadingGifLabel")->isHidden());
        index->setFilter("file LIKE '%1234%'");
        QVERIFY(index->select() && index->rowCount() == 1);
        emit found->doubleClicked(index->index(0, 1));
        QCOMPARE(played.takeFirst(), QVariantList({drive + "/f12/song1234.MP3", -1}));
    }

    // Browse PC's search finds the songs of a drive tree without a click on
    // the drive (listed from VELMAR_DRIVES_ROOT), typed into the search
    // field; the page says how far the indexing is, what it found and
    // why nothing is found; the song table keeps its row meanwhile; the
    // results' headers follow a language chosen later.
    void driveSearchFindsTheListedDrive()
    {
        QTemporaryDir drives;
        const QString disk = drives.path() + "/Disk";
        for (const char *name : {"/Music/jazz/city_blues.kar", "/Music/rock/music_box.mid", "/x/y/z/old city_blues.MP3",
                                 "/Music/readme.txt", "/Music/city_blues.txt"})
            QVERIFY(QDir().mkpath(QFileInfo(disk + name).path()) && TestUtil::writeFile(disk + name, "x"));
        for (int i = 0; i < 3000; ++i)
            QDir().mkpath(disk + QString("/more/f%1").arg(i / 100)),
                TestUtil::writeFile(disk + QString("/more/f%1/take%2.mid").arg(i / 100).arg(i), "x");
        add("a.mp3", "Queen", "Rock"), add("b.kar", "Abba", "Pop");
        qputenv("VELMAR_DRIVES_ROOT", drives.path().toUtf8());
        page = std::make_unique<libraryView>(db.get(), nullptr, nullptr);
        qunsetenv("VELMAR_DRIVES_ROOT");
        page->resize(1100, 600);
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));

        click("browsePcButton");
        auto *progress = child<QLabel>("loadingLabel");
        QVERIFY2(progress->isVisible() && progress->text().startsWith("Indexing Disk... songs found: "),
                 qPrintable(progress->text()));
        // Back on the library meanwhile: the scan leaves the chosen song chosen.
        click("repertoireButton");
        pick(1);
        QTRY_VERIFY_WITH_TIMEOUT(progress->isHidden(), 120000);
        QCOMPARE(table()->currentIndex().row(), 1);
        QCOMPARE(table()->selectionModel()->selectedRows().size(), 1);

        click("browsePcButton");
        auto *search = child<QLineEdit>("searchText");
        auto *found = child<QTableView>("searchLV");
        auto *heading = child<QLabel>("labelSearch");
        QTest::mouseClick(search, Qt::LeftButton);
        QTest::keyClicks(search, "city_blues");
        QTRY_VERIFY(found->isVisible());
        QCOMPARE(heading->text(), QString("Search results for: city_blues"));
        QStringList paths;
        for (int r = 0; r < found->model()->rowCount(); ++r)
            paths << found->model()->index(r, 2).data().toString() + found->model()->index(r, 1).data().toString();
        paths.sort();
        QCOMPARE(paths, QStringList({disk + "/Music/jazz/city_blues.kar", disk + "/x/y/z/old city_blues.MP3"}));
        QTest::keyClicks(search, "zz");
        QTRY_COMPARE(heading->text(), QString("No song on Disk matches \"city_blueszz\"."));

        TestLanguage italian("it");
        const auto header = [&](int c) { return found->model()->headerData(c, Qt::Horizontal).toString(); };
        QCOMPARE(QStringList({header(0), header(1), header(2)}),
                 QStringList({QCoreApplication::translate("libraryView", "Type"),
                              QCoreApplication::translate("libraryView", "Name"),
                              QCoreApplication::translate("libraryView", "Path")}));
        QVERIFY(header(2) != "Path");
        QCOMPARE(heading->text(), QCoreApplication::translate("libraryView", "No song on %1 matches \"%2\".")
                                      .arg("Disk", "city_blueszz"));
    }

    // With no drive listed the search says that nothing is indexed.
    void driveSearchWithoutDrives()
    {
        QTemporaryDir none;
        page->setDrivesRoot(none.path());
        click("browsePcButton");
        QTest::keyClicks(child<QLineEdit>("searchText"), "song");
        QTRY_COMPARE(child<QLabel>("labelSearch")->text(),
                     QString("No drive is indexed yet: choose a drive in the list to search its songs."));
        QVERIFY(child<QLabel>("loadingLabel")->isHidden());
    }

    // Songs, artists and genres go with their own files only; a protected
    // file keeps its row; the recent list deletes nothing and asks nothing.
    void deleting_data()
    {
        QTest::addColumn<int>("listing"); // 0 songs, 1 artists, 2 genres, 3 recent
        QTest::addColumn<QString>("target"); // a title, artist or genre
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<QString>("songsLeft");
        QTest::newRow("mp3, companions") << 0 << "a.mp3" << QStringList{"a.mp3", "a.cdg", "a.mp3.bak"} << "b.kar,c.mid";
        QTest::newRow("kar, not the mp3's cdg") << 0 << "b.kar" << QStringList{"b.kar"} << "a.mp3,c.mid";
        QTest::newRow("read-only song") << 0 << "a.mp3" << QStringList{} << "a.mp3,b.kar,c.mid";
        QTest::newRow("artist") << 1 << "Queen" << QStringList{"a.mp3", "a.cdg", "a.mp3.bak", "b.kar"} << "c.mid";
        QTest::newRow("genre") << 2 << "Pop" << QStringList{"c.mid"} << "a.mp3,b.kar";
        QTest::newRow("recent list") << 3 << "a.mp3" << QStringList{} << "a.mp3,b.kar,c.mid";
    }

    void deleting()
    {
        QFETCH(int, listing);
        QFETCH(QString, target);
        const bool readOnly = QByteArray(QTest::currentDataTag()).startsWith("read-only");
        QFETCH(QStringList, gone);
        QFETCH(QString, songsLeft);
        const QString folder = db->getLibraryFolder();
        add("a.mp3", "Queen", "Rock"), add("b.kar", "Queen", "Rock"), add("c.mid", "Abba", "Pop");
        TestUtil::writeFile(folder + "a.cdg", "x"), TestUtil::writeFile(folder + "a.mp3.bak", "x");
        if (readOnly)
            QFile::setPermissions(folder + target, QFile::ReadOwner);
        if (listing == 1 || listing == 2)
            click(listing == 1 ? "artistButton" : "genreButton");
        else
            page->showQuery(listing == 3 ? QString(db->sqlRecentSongs).replace(":x", "10") : db->sqlSongsByTitle,
                            listing == 3 ? libraryView::RecentSongs : libraryView::AllSongs);
        auto *songs = table()->model();
        pick(songs->match(songs->index(0, listing == 1 || listing == 2 ? 1 : 2), Qt::DisplayRole,
                          target, 1, Qt::MatchExactly).value(0).row());
        click("deleteButton");
        QCOMPARE(questions.size(), listing == 3 ? 0 : 1 + int(readOnly));
        for (const QString file : {"a.mp3", "a.cdg", "a.mp3.bak", "b.kar", "c.mid"})
            QCOMPARE(QFile::exists(folder + file), !gone.contains(file));
        QCOMPARE(sql("SELECT group_concat(substr(innerPath, -5), ',') FROM (SELECT innerPath FROM Songs ORDER BY 1)"),
                 songsLeft);
    }

    // Space plays and Return loads a library song, recording nothing: the
    // window records a song when it is heard; info and auto-play on the
    // library page.
    void keysAndControls()
    {
        add("a.mp3", "Queen", "Rock");
        page->showQuery(db->sqlSongsByTitle, libraryView::AllSongs);
        QSignalSpy songs(page.get(), &libraryView::startSongInfo);
        pick(0);
        QTest::keyClick(table(), Qt::Key_Space), QTest::keyClick(table(), Qt::Key_Return);
        QCOMPARE(songs.size(), 2);
        QCOMPARE(songs.at(0).at(0).value<SongInfo>().title, QString("a.mp3"));
        QCOMPARE(songs.at(0).at(1).toInt() + 2 * songs.at(1).at(1).toInt(), 2); // Space 0, Return 1
        QCOMPARE(sql("SELECT ultimaRiproduzione FROM Songs"), QString());
        click("infoButton");
        QVERIFY(questions.value(0).contains("Lenght: 03\u203235\u2033"));
        click("autoPlayButton");
        QCOMPARE(programSettings().value("System/Autoplay").toInt(), 0);
    }
};

VELMAR_TEST(TestLibraryBrowser)
#include "tst_librarybrowser.moc"
