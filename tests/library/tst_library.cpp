#include "DatabaseHelper.h"
#include "SafeSave.h"
#include "SongRW.h"
#include "testutil.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/wait.h>
#include <unistd.h>

#include <memory>

namespace {

SongInfo song(const QString &title, const QString &artist, const QString &genre = "Pop",
              const QString &author = "Anon")
{
    SongInfo s;
    s.title = title;
    s.artist = artist;
    s.genre = genre;
    s.author = author;
    s.format = "MIDI";
    s.bpm = 120;
    return s;
}

QStringList titles(const QList<SongInfo> &songs)
{
    QStringList t;
    for (const SongInfo &s : songs)
        t << s.title;
    return t;
}

QByteArray sha1(const QString &path)
{
    return QCryptographicHash::hash(TestUtil::readFile(path), QCryptographicHash::Sha1);
}

// The first column of every row, comma-joined.
QString column(QSqlQuery &&q, const QString &sql)
{
    QStringList values;
    if (!q.exec(sql))
        return q.lastError().text();
    while (q.next())
        values << q.value(0).toString();
    return values.join(',');
}
QString column(const QString &sql)
{
    return column(QSqlQuery(), sql);
}

// Runs the sqlite3 shell on a file, an independent reader; its output.
QString shell(const QString &db, const QString &sql)
{
    QByteArray out;
    const int rc = TestUtil::runProgram(QStringLiteral("sqlite3"), {db, sql}, &out);
    return rc == 0 ? QString::fromUtf8(out).trimmed() : QStringLiteral("sqlite3 failed");
}

bool exec(const QString &sql)
{
    return QSqlQuery().exec(sql);
}

} // namespace

// The library file made from the template in a documents folder of our own,
// its operations checked with the sqlite3 shell reading the same file.
class TestLibrary : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<DatabaseHelper> db;
    QString folder, file;

    // Registers a song whose file is made in the song folder; its id.
    int add(const SongInfo &s, const QString &name)
    {
        const QString path = folder + name;
        TestUtil::writeFile(path, "x");
        if (!db->checkSong(s, path))
            return 0;
        QSqlQuery q;
        q.prepare("SELECT IdSong FROM Songs WHERE innerPath = ?");
        q.addBindValue(path);
        return q.exec() && q.next() ? q.value(0).toInt() : 0;
    }

    QString check() { return shell(file, "PRAGMA integrity_check; PRAGMA foreign_key_check;"); }

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", home->path().toUtf8());
        folder = home->path() + "/Documents/VelmarPC/";
        file = folder + "db_VelmarPC.sqlite";
        db = std::make_unique<DatabaseHelper>();
        QVERIFY(db->initDb());
        QVERIFY(db->connect());
    }
    void cleanup() { db.reset(); }

    // Text that would break or change a statement pasted together goes in
    // and comes back as it was, and the shell reads the same.
    void awkwardTextsRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("quotes") << "It's \"Titolo\" isn't it";
        QTest::newRow("column name") << "NomeArtista";
        QTest::newRow("percent") << "100% Love_50%";
        QTest::newRow("non-Latin") << "Ніч яка місячна 月亮代表我的心";
        QTest::newRow("injection") << "x'); DROP TABLE Songs; --";
    }
    void awkwardTextsRoundTrip()
    {
        QFETCH(QString, text);
        add(song("plain", "someone"), "plain.mid");
        const int id = add(song(text, text, text, text), "a.mid");
        QVERIFY(id > 0);
        SongInfo expected = song(text, text, text, text);
        expected.idSong = id;
        expected.innerPath = folder + "a.mid";
        QCOMPARE(db->selectSongById(id), expected);
        QCOMPARE(titles(db->selectSongsWithFilter(2, text)), QStringList{text});
        QCOMPARE(shell(file, QString("SELECT Titolo FROM Songs WHERE IdSong = %1").arg(id)), text);

        db->insertPlaylist(text);
        QVERIFY(db->updatePlaylistName(5, text + text));
        QCOMPARE(shell(file, "SELECT ListName FROM PlayList WHERE IdPlayList = 5"), text + text);
        QCOMPARE(check(), QString("ok"));
    }

    void registration()
    {
        const int a = add(song("One", "ABBA"), "one.mid");
        add(song("Two", "ABBA", "Rock"), "two.kar");
        add(song("Three", "abba", "", ""), "three.mp3");
        add(song("Four", QString(), QString(), QString()), "four.mp3");
        QCOMPARE(shell(file, "SELECT NomeArtista || NumBrani FROM Artisti ORDER BY IdArtista"),
                 QString("ABBA2\nabba1\n1"));
        QCOMPARE(shell(file, "SELECT NomeGenere || NumBrani FROM Genere ORDER BY IdGenere"),
                 QString("Pop1\nRock1\n2"));
        QCOMPARE(shell(file, "SELECT NomeFile || Formato FROM Songs WHERE IdSong = 2"),
                 QString("two.karMIDI"));

        // The same file again (dropped from the song folder itself).
        QVERIFY(db->checkSong(song("One", "ABBA"), folder + "one.mid"));
        QCOMPARE(shell(file, "SELECT count(*) FROM Songs"), QString("4"));

        // A song insert that fails takes its new artist, genre and author along.
        QVERIFY(exec("CREATE TEMP TRIGGER boom BEFORE INSERT ON Songs WHEN NEW.Titolo = 'boom' "
                     "BEGIN SELECT RAISE(ABORT, 'boom'); END"));
        QVERIFY(!db->checkSong(song("boom", "Orphan", "Lonely", "Nobody"), folder + "b.mid"));
        QCOMPARE(shell(file, "SELECT count(*) FROM Artisti WHERE NomeArtista = 'Orphan'"), QString("0"));
        QCOMPARE(shell(file, "SELECT count(*) FROM Genere"), QString("3"));

        QCOMPARE(db->selectSongById(9999), SongInfo());
        QVERIFY(db->updateLastPlay(a));
        QVERIFY(exec("UPDATE Songs SET ultimaRiproduzione = '2020-01-01 10:00:00' WHERE IdSong = 3"));
        QCOMPARE(titles(db->selectLastXSongs(2)), QStringList({"One", "Three"}));
    }

    void filters_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("f");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("title, any case") << 1 << "LA" << QStringList({"Volare", "La Bamba"});
        QTest::newRow("artist") << 2 << "mod" << QStringList{"Volare"};
        QTest::newRow("genre") << 3 << "latin" << QStringList{"La Bamba"};
        QTest::newRow("artist id") << 4 << "2" << QStringList{"La Bamba"};
        QTest::newRow("empty text") << 1 << QString() << QStringList({"Volare", "La Bamba"});
        QTest::newRow("unknown mode") << 6 << "1" << QStringList{};
    }
    void filters()
    {
        QFETCH(int, mode);
        QFETCH(QString, f);
        QFETCH(QStringList, expected);
        add(song("Volare", "Modugno", "Pop"), "v.mid");
        add(song("La Bamba", "Valens", "Latin"), "b.mid");
        QCOMPARE(titles(db->selectSongsWithFilter(mode, f)), expected);
    }

    void playlists()
    {
        const int a = add(song("A", "x"), "a.mid"), b = add(song("B", "x"), "b.mid"),
                  c = add(song("C", "x"), "c.mid");
        db->insertPlaylist("Mine");
        db->insertPlaylist("Other");
        for (int id : {a, b, c})
            QVERIFY(db->insertSongInPlayList(id, 5));
        QVERIFY(db->insertSongInPlayList(b, 6));
        QVERIFY(db->insertSongInPlayList(a, 6));
        const QString other = "6|0|2\n6|1|1";
        const QString rows = "SELECT IdPlayList || '|' || SeqNum || '|' || IdSong FROM PlayListSongs "
                             "WHERE IdPlayList = %1 ORDER BY SeqNum";
        QCOMPARE(titles(db->getPlaylistSongs(5)), QStringList({"A", "B", "C"}));

        const QList<SongInfo> order{db->selectSongById(c), db->selectSongById(a), db->selectSongById(b)};
        QVERIFY(db->reorderSongIntoPlaylist(5, order));
        QCOMPARE(shell(file, rows.arg(5)), QString("5|0|3\n5|1|1\n5|2|2"));
        QCOMPARE(shell(file, rows.arg(6)), other);

        // A failure in the middle of a rewrite leaves the old order.
        QVERIFY(exec("CREATE TEMP TRIGGER boom BEFORE INSERT ON PlayListSongs WHEN NEW.IdSong = 2 "
                     "BEGIN SELECT RAISE(ABORT, 'boom'); END"));
        QVERIFY(!db->reorderSongIntoPlaylist(5, {order[1], order[2], order[0]}));
        QCOMPARE(shell(file, rows.arg(5)), QString("5|0|3\n5|1|1\n5|2|2"));
        QVERIFY(exec("DROP TRIGGER boom"));

        // A removed song leaves every playlist, the entries after it moving up.
        QVERIFY(db->removeSongFromLibrary(a));
        QVERIFY(QFile::exists(folder + "a.mid"));
        QCOMPARE(titles(db->getPlaylistSongs(5)), QStringList({"C", "B"}));
        QCOMPARE(shell(file, rows.arg(5)), QString("5|0|3\n5|1|2"));
        QCOMPARE(shell(file, rows.arg(6)), QString("6|0|2"));
        const Playlist mine = db->selectPlaylists().value(4);
        QCOMPARE(mine.getName() + QString::number(mine.getNumsongs()), QString("Mine2"));

        QVERIFY(db->updatePlaylistName(99, "nothing"));
        QVERIFY(db->deletePlaylist(5));
        QCOMPARE(shell(file, "SELECT count(*) FROM PlayListSongs WHERE IdPlayList = 5"), QString("0"));
        QCOMPARE(shell(file, rows.arg(6)), QString("6|0|2"));
        // So do the songs of an artist removed.
        QVERIFY(db->removeArtist(db->checkInsertArtist("x")));
        QCOMPARE(shell(file, "SELECT count(*) FROM PlayListSongs"), QString("0"));
        QCOMPARE(check(), QString("ok"));
    }

    // A download's state follows the song into every list that shows it.
    void downloadStateGoesToEveryList()
    {
        SongInfo s = song("Store song", "Seller");
        s.ProductId = 500;
        s.isFromSub = 2;
        for (int i = 0; i < 3; ++i) {
            s.idSong = 10 + i;
            QVERIFY(i == 0 ? db->insertMDSongsNews(s)
                           : i == 1 ? db->insertMDSongsSearch(s) : db->insertMDSongsSearchMem(s));
        }
        QVERIFY(db->updateDownloadStatus(500, StoreDownloading));
        QVERIFY(db->updateDownloadStatus(9999, StoreDownloadFailed));
        QSqlQuery mem(db->mdDb);
        QVERIFY(mem.exec("SELECT isFromSub FROM MDSearchTitle") && mem.next());
        QCOMPARE(shell(file, "SELECT (SELECT isFromSub FROM MDNews) || ' ' || "
                             "(SELECT isFromSub FROM MDSearchTitle)") + " " + mem.value(0).toString(),
                 QString("3 3 3"));
    }

    void storeCaches()
    {
        SongInfo s = song("News", "Seller");
        s.ProductId = 1;
        s.idSong = 11;
        QVERIFY(db->insertMDSongsNews(s));
        s.ProductId = 2;
        s.idSong = 22;
        QVERIFY(db->insertMDSongsSearch({s, s}));
        QCOMPARE(db->getSongIdWithProductId("1"), QString("11"));
        QCOMPARE(db->getSongIdWithProductId("2"), QString("22"));
        QCOMPARE(db->getSongIdWithProductId("3"), QString());
        QVERIFY(db->insertMDGenreSearch(Genres()));

        // A list that has read only part of a long cache does not stop it
        // from being cleared.
        for (int i = 0; i < 600; ++i)
            QVERIFY(db->insertMDSongsNews(s));
        QSqlQueryModel news;
        news.setQuery(db->sqlMDNews);
        QVERIFY(news.rowCount() < 600);
        QVERIFY(db->truncateMDNews());
        QVERIFY(db->truncateMDSearchTitles());
        QVERIFY(db->truncateMDSearchGenArt());
        QCOMPARE(db->getSongIdWithProductId("2"), QString());
        QCOMPARE(shell(file, "SELECT (SELECT count(*) FROM MDNews) + (SELECT count(*) FROM "
                             "MDSearchGenArt)"), QString("0"));
    }

    // Only the song's own files go: an MP3's CD+G companion and every backup,
    // never the CD+G beside a MIDI song, never a file outside the song folder.
    void removingAnArtistDeletesItsFiles()
    {
        for (const char *name : {"a.mp3.bak", "a.cdg", "b.cdg", "keep.mid"})
            TestUtil::writeFile(folder + name, "x");
        QDir(home->path()).mkpath("elsewhere");
        const QString outside = home->path() + "/elsewhere/c.mid";
        TestUtil::writeFile(outside, "x");
        add(song("A", "Gone", "Solo", "Only"), "a.mp3");
        add(song("B", "Gone", "Pop"), "b.mid");
        add(song("Keep", "Stays", "Pop"), "keep.mid");
        QVERIFY(db->checkSong(song("Outside", "Gone"), outside));
        QVERIFY(db->checkSong(song("Missing", "Gone"), folder + "missing.mid"));
        QVERIFY(db->removeArtist(1));
        QCOMPARE(QDir(folder).entryList(QDir::Files),
                 QStringList({"b.cdg", "db_VelmarPC.sqlite", "keep.mid"}));
        QVERIFY(QFile::exists(outside));
        QCOMPARE(shell(file, "SELECT group_concat(Titolo) FROM Songs"), QString("Keep"));
        QCOMPARE(shell(file, "SELECT group_concat(NomeGenere) FROM Genere"), QString("Pop"));
        QCOMPARE(shell(file, "SELECT group_concat(NomeAutore) FROM Autori"), QString("Anon"));

        QVERIFY(db->removeGenre(2));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList({"b.cdg", "db_VelmarPC.sqlite"}));
        QCOMPARE(check(), QString("ok"));
    }

    // Songs are registered again from the folder, every song suffix
    // included, and the playlists find them by file name.
    void rebuildKeepsPlaylists()
    {
        const QStringList names{"a.mid", "b.midi", "c.KAR", "d.mp3", "e.mf3", "f.mf4", "g.MF5"};
        QList<int> ids;
        for (const QString &n : names)
            ids << add(song("T " + n, "x"), n);
        const int gone = add(song("Gone", "y"), "gone.mid");
        QFile::remove(folder + "gone.mid");
        TestUtil::writeFile(folder + "notes.txt", "x");
        QVERIFY(db->removeSongFromLibrary(ids[0]));
        add(song("T a.mid", "x"), "a.mid");
        db->insertPlaylist("Party");
        for (int id : {ids[6], gone, ids[2], ids[0] + 8})
            QVERIFY(db->insertSongInPlayList(id, 5));
        const QStringList before = titles(db->getPlaylistSongs(5));

        // Quitting in the middle gives the old library back.
        db->prepareForRebuild();
        db.reset();
        db = std::make_unique<DatabaseHelper>();
        QVERIFY(db->connect());
        QCOMPARE(titles(db->getPlaylistSongs(5)), before);

        db->prepareForRebuild();
        db->prepareForRebuild();
        const QList<QUrl> files = db->songFolderFiles();
        QCOMPARE(files.size(), names.size());
        for (const QUrl &url : files)
            QVERIFY(db->checkSong(song("T " + url.fileName(), "x"), url.toLocalFile()));
        db->finalizeRebuild();
        QCOMPARE(titles(db->getPlaylistSongs(5)), QStringList({"T g.MF5", "T c.KAR", "T a.mid"}));
        QCOMPARE(shell(file, "SELECT group_concat(IdSong) FROM Songs"), QString("1,2,3,4,5,6,7"));
        QCOMPARE(shell(file, "SELECT count(*) FROM PlayListSongs WHERE IdSong IS NULL"), QString("1"));
        QCOMPARE(check(), QString("ok"));
    }

    // A save that died while it wrote a song in place (a song with a second
    // name is written so) is put back when a rebuild lists the folder; a
    // long name's backup goes with its song.
    void rebuildPutsBackAnInterruptedSave()
    {
        // One track: a program, a note and a long text (a save takes many writes).
        const QByteArray text(200000, 't');
        QByteArray length;
        for (int v = int(text.size()); v; v >>= 7)
            length.prepend(char((v & 0x7F) | (length.isEmpty() ? 0 : 0x80)));
        const QByteArray track = QByteArray::fromHex("00c000009040648360804000" "00ff01") + length + text +
                                 QByteArray::fromHex("00ff2f00");
        const QString path = folder + "song.mid";
        QByteArray midi = QByteArray::fromHex("4d546864000000060000000101e04d54726b");
        for (int shift : {24, 16, 8, 0})
            midi += char(track.size() >> shift);
        QVERIFY(TestUtil::writeFile(path, midi + track));
        const QByteArray native = QFile::encodeName(path);
        QCOMPARE(::link(native.constData(), QFile::encodeName(folder + "second.mid").constData()), 0);
        const QByteArray original = TestUtil::readFile(path);
        const auto save = [&](int dieAt) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                SafeSave::interruptForTest(dieAt);
                std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
                editor->setDeltaKey(2);
                ::_exit(editor->saveToFile(path) ? 0 : 1);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
        };
        // In the middle of the song's write the song is part old, part new.
        save(7);
        QVERIFY(QFile::exists(folder + ".song.mid.kept"));
        db->songFolderFiles();
        QVERIFY(!QFile::exists(folder + ".song.mid.kept"));
        QCOMPARE(TestUtil::readFile(path), original);
        QCOMPARE(TestUtil::readFile(folder + "second.mid"), original);

        const QString longName = folder + QString(248, u'n') + ".mid";
        QVERIFY(QFile::copy(path, longName));
        save(0);
        std::unique_ptr<SongRW> editor(SongRW::createFromFile(longName, true));
        editor->setDeltaKey(1);
        QVERIFY(editor->saveToFile(longName));
        const QString backup = SongRW::backupPath(longName);
        QVERIFY(QFile::exists(backup));
        QVERIFY(db->checkSong(song("Long", "Gone"), longName));
        QVERIFY(db->removeArtist(1));
        QVERIFY(!QFile::exists(backup));
    }

    void driveIndex_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("row");
        QTest::newRow("song") << "/Volumes/X/song.mid" << "mid|song.mid|/Volumes/X/";
        QTest::newRow("no dot") << "/Volumes/X/README" << "|README|/Volumes/X/";
        QTest::newRow("folder named as the file") << "/a/song.mid/song.mid" << "mid|song.mid|/a/song.mid/";
    }
    void driveIndex()
    {
        QFETCH(QString, path);
        QFETCH(QString, row);
        QVERIFY(db->addFileToIndex(path));
        QSqlQuery q(db->driveIdxDb);
        QVERIFY(q.exec("SELECT suffix || '|' || file || '|' || path FROM indexes") && q.next());
        QCOMPARE(q.value(0).toString(), row);
        QVERIFY(db->truncateIndexedFilesTable());
        QVERIFY(q.exec("SELECT count(*) FROM indexes") && q.next());
        QCOMPARE(q.value(0).toInt(), 0);
    }

    // What a start makes of what it finds at the library's place: nothing or
    // an empty file (a stale half copy beside it goes) becomes the template,
    // a read-only library is made writable, and no other file is ever
    // rewritten; a file where the song folder belongs stops the start.
    void startFinds_data()
    {
        QTest::addColumn<QString>("found");
        QTest::addColumn<bool>("kept");
        QTest::newRow("nothing") << "" << false;
        QTest::newRow("empty file, stale part") << "empty" << false;
        QTest::newRow("read-only library") << "read-only" << true;
        QTest::newRow("another program's database") << "CREATE TABLE Other(x);" << true;
        QTest::newRow("not a database") << "my notes, not a library\n" << true;
        QTest::newRow("folder is a file") << "folder" << true;
    }
    void startFinds()
    {
        QFETCH(QString, found);
        QFETCH(bool, kept);
        db.reset();
        QVERIFY(QDir(folder).removeRecursively());
        const QString songFolder = folder.chopped(1);
        QVERIFY(QDir().mkpath(found == "folder" ? home->path() + "/Documents" : folder));
        if (found == "folder") {
            QVERIFY(TestUtil::writeFile(songFolder, "not a folder"));
        } else if (found == "empty") {
            QVERIFY(TestUtil::writeFile(file, {}) && TestUtil::writeFile(file + ".part", "half a copy"));
        } else if (found == "read-only") {
            QVERIFY(DatabaseHelper().initDb());
            QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadUser));
        } else if (found.startsWith("CREATE")) {
            QCOMPARE(shell(file, found), QString());
        } else if (!found.isEmpty()) {
            QVERIFY(TestUtil::writeFile(file, found.toUtf8()));
        }
        const QString target = found == "folder" ? songFolder : file;
        const QByteArray before = sha1(target);

        db = std::make_unique<DatabaseHelper>();
        QCOMPARE(db->initDb(), found != "folder");
        QCOMPARE(sha1(target) == before, kept);
        if (found == "folder")
            return;
        if (kept && found != "read-only") {
            QVERIFY(db->connect());
            QCOMPARE(sha1(file), before);
            return;
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"db_VelmarPC.sqlite"});
        QCOMPARE(QFileInfo(file).permissions() & 0x7777,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        QVERIFY(db->connect());
        QCOMPARE(column("PRAGMA foreign_keys"), QString("1"));
        QCOMPARE(column("SELECT IdPlayList || ListName FROM PlayList ORDER BY IdPlayList"),
                 QString("1All Songs,2Recenti,3Downloaded,4News"));
        QCOMPARE(shell(file, "PRAGMA integrity_check"), QString("ok"));
        QCOMPARE(column(QSqlQuery(db->driveIdxDb), "SELECT suffix, file, path FROM indexes"), QString());
        // The store's song caches, of memory and of the file, in one layout.
        for (const QSqlDatabase &on : {db->mdDb, QSqlDatabase::database()})
            QCOMPARE(column(QSqlQuery(on), "SELECT IdSong,ProductId,Genere,Artista,Autore,Titolo,Formato,Bpm,"
                                           "keySign,Durata,innerPath,isFromSub FROM MDSearchTitle UNION ALL "
                                           "SELECT * FROM MDNews"),
                     QString());
    }

    // Positions of a playlist stay 0, 1, 2... and other playlists are untouched.
    void playlistPositions_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("expected"); // list 6 as "seq:song" in order
        QTest::newRow("delete one") << "DELETE FROM PlayListSongs WHERE IdPlayList = 6 AND SeqNum = 1"
                                    << "0:60,1:62,2:63";
        QTest::newRow("delete two") << "DELETE FROM PlayListSongs WHERE IdPlayList = 6 AND SeqNum IN (0, 2)"
                                    << "0:61,1:63";
        QTest::newRow("delete the playlist") << "DELETE FROM PlayList WHERE IdPlayList = 6" << "";
        QTest::newRow("move down") << "UPDATE PlayListSongs SET SeqNum = 2 WHERE IdPlayList = 6 AND IdSong = 60"
                                   << "0:61,1:62,2:60,3:63";
        QTest::newRow("move up") << "UPDATE PlayListSongs SET SeqNum = 0 WHERE IdPlayList = 6 AND IdSong = 63"
                                 << "0:63,1:60,2:61,3:62";
        QTest::newRow("same place") << "UPDATE PlayListSongs SET StartTime = 5 WHERE IdPlayList = 6 AND IdSong = 61"
                                    << "0:60,1:61,2:62,3:63";
    }
    void playlistPositions()
    {
        QFETCH(QString, change);
        QFETCH(QString, expected);
        QVERIFY(QSqlQuery().exec("INSERT INTO PlayList (IdPlayList, ListName) VALUES (5, 'Five'), (6, 'Six')"));
        for (int list : {5, 6})
            for (int seq = 0; seq < (list == 5 ? 3 : 4); ++seq)
                QVERIFY(QSqlQuery().exec(QString("INSERT INTO PlayListSongs (IdPlayList, SeqNum, IdSong) "
                                                 "VALUES (%1, %2, %3)").arg(list).arg(seq).arg(list * 10 + seq)));
        QVERIFY(QSqlQuery().exec(change));
        const QString rows = "SELECT SeqNum || ':' || IdSong FROM PlayListSongs WHERE IdPlayList = %1 ORDER BY SeqNum";
        QCOMPARE(column(rows.arg(5)), QString("0:50,1:51,2:52"));
        QCOMPARE(column(rows.arg(6)), expected);
    }

    // A library filled while songs without a tempo event were listed at 1
    // BPM lists them at the 120 they play at once it is opened; other rows
    // keep theirs. A song is looked up by its path as the library has it.
    void tempoOfOlderRows()
    {
        SongInfo untimed = song("Untimed", "Band");
        untimed.bpm = 1;
        SongInfo mp3 = untimed;
        mp3.title = "Slow Tag";
        mp3.format = "MP3";
        untimed.keySign = "F";
        QVERIFY(add(untimed, "untimed.mid") && add(mp3, "slow.mp3") && add(song("Timed", "Band"), "timed.mid"));
        db.reset();
        db = std::make_unique<DatabaseHelper>();
        QVERIFY(db->connect());
        QCOMPARE(shell(file, "SELECT Titolo || ' ' || Bpm FROM Songs ORDER BY Titolo"),
                 "Slow Tag 1\nTimed 120\nUntimed 120");
        const SongInfo found = db->selectSongByPath(folder + "untimed.mid");
        QCOMPARE(QStringList({found.title, found.artist, found.keySign, QString::number(found.bpm), found.innerPath}),
                 QStringList({"Untimed", "Band", "F", "120", folder + "untimed.mid"}));
        QVERIFY(db->selectSongByPath(folder + "missing.mid").innerPath.isEmpty());
    }
};

VELMAR_TEST(TestLibrary)
#include "tst_library.moc"
