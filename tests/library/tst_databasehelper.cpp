#include "DatabaseHelper.h"
#include "librarytest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QByteArray sha1(const QString &path)
{
    return QCryptographicHash::hash(TestUtil::readFile(path), QCryptographicHash::Sha1);
}

QStringList column(QSqlQuery &q)
{
    QStringList values;
    while (q.next())
        values << q.value(0).toString();
    return values;
}

} // namespace

// The song folder, the library file made from the template and the three
// connections, in a documents folder of our own.
class TestDatabaseHelper : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    QString folder, dbPath;

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        QVERIFY(home->isValid());
        qputenv("HOME", home->path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home->path() + "/config").toUtf8());
        folder = home->path() + "/Documents/VelmarPC/";
        dbPath = folder + "db_VelmarPC.sqlite";
    }

    void firstStartCreatesFolderAndLibrary()
    {
        DatabaseHelper db;
        QCOMPARE(db.getLibraryFolder(), folder);
        QVERIFY(db.initDb());
        QVERIFY(QFileInfo(dbPath).isFile());
        QCOMPARE(QFileInfo(dbPath).permissions() & 0x7777,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
                     | QFileDevice::WriteUser);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"db_VelmarPC.sqlite"});
        QVERIFY(db.connect());

        QSqlQuery q;
        QVERIFY(q.exec("PRAGMA foreign_keys"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 1);
        QVERIFY(q.exec("SELECT IdPlayList, ListName FROM PlayList ORDER BY IdPlayList"));
        QStringList lists;
        while (q.next())
            lists << q.value(0).toString() + ":" + q.value(1).toString();
        QCOMPARE(lists, QStringList({"1:All Songs", "2:Recenti", "3:Downloaded", "4:News"}));
        QVERIFY(q.exec("SELECT count(*) FROM Songs"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 0);

        QSqlQuery idx(db.driveIdxDb);
        QVERIFY(idx.exec("SELECT suffix, file, path FROM indexes"));
        QVERIFY(!idx.next());
        QSqlQuery md(db.mdDb);
        QVERIFY2(md.exec("SELECT IdSong,ProductId,Genere,Artista,Autore,Titolo,Formato,Bpm,keySign,"
                         "Durata,innerPath,isFromSub FROM MDSearchTitle UNION ALL SELECT * FROM MDNews"),
                 qPrintable(md.lastError().text()));
        QVERIFY(!md.next());
    }

    // The store results in memory start empty every time; the file's own
    // caches keep their rows.
    void memoryDatabasesStartEmpty()
    {
        {
            DatabaseHelper db;
            QVERIFY(db.initDb());
            QVERIFY(db.connect());
            QSqlQuery file;
            QVERIFY(file.exec("INSERT INTO MDNews (IdSong, Titolo) VALUES (7, 'Kept')"));
            QSqlQuery md(db.mdDb);
            QVERIFY(md.exec("INSERT INTO MDSearchTitle (IdSong, Titolo) VALUES (8, 'Gone')"));
            QSqlQuery idx(db.driveIdxDb);
            QVERIFY(idx.exec("INSERT INTO indexes VALUES ('mid', 'a.mid', '/x/a.mid')"));
        }
        DatabaseHelper db;
        QVERIFY(db.initDb());
        QVERIFY(db.connect());
        QSqlQuery file;
        QVERIFY(file.exec("SELECT Titolo FROM MDNews"));
        QCOMPARE(column(file), QStringList{"Kept"});
        QSqlQuery md(db.mdDb);
        QVERIFY(md.exec("SELECT count(*) FROM MDSearchTitle"));
        QCOMPARE(column(md), QStringList{"0"});
        QSqlQuery idx(db.driveIdxDb);
        QVERIFY(idx.exec("SELECT count(*) FROM indexes"));
        QCOMPARE(column(idx), QStringList{"0"});
    }

    // Whatever is already there is used as it is and never rewritten.
    void existingFileIsKept_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("sqlite");
        QTest::newRow("another program's database") << QByteArray("CREATE TABLE Other(x);") << true;
        QTest::newRow("not a database") << QByteArray("my notes, not a library\n") << false;
    }
    void existingFileIsKept()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, sqlite);
        QVERIFY(QDir().mkpath(folder));
        if (sqlite)
            QCOMPARE(shell(dbPath, QString::fromUtf8(content)), QString());
        else
            QVERIFY(TestUtil::writeFile(dbPath, content));
        const QByteArray before = sha1(dbPath);

        DatabaseHelper db;
        QVERIFY(db.initDb());
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^Il DB .*db_VelmarPC.sqlite"));
        QVERIFY(db.connect());
        QCOMPARE(sha1(dbPath), before);
    }

    // A library left read-only (a failed permission change at the first start,
    // a restore from a read-only medium) would refuse every new song.
    void readOnlyLibraryIsMadeWritable()
    {
        {
            DatabaseHelper first;
            QVERIFY(first.initDb());
        }
        QVERIFY(QFile::setPermissions(dbPath, QFileDevice::ReadOwner | QFileDevice::ReadUser));
        const QByteArray before = sha1(dbPath);
        DatabaseHelper db;
        QVERIFY(db.initDb());
        QVERIFY(QFileInfo(dbPath).permissions() & QFileDevice::WriteOwner);
        QCOMPARE(sha1(dbPath), before);
    }

    // A zero-byte file holds nothing and would otherwise stay an empty library.
    void emptyFileAndStalePartAreReplaced()
    {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(TestUtil::writeFile(dbPath, {}));
        QVERIFY(TestUtil::writeFile(dbPath + ".part", "half a copy"));
        DatabaseHelper db;
        QVERIFY(db.initDb());
        QVERIFY(!QFile::exists(dbPath + ".part"));
        QCOMPARE(shell(dbPath, "SELECT count(*) FROM PlayList"), QString("4"));
        QCOMPARE(shell(dbPath, "PRAGMA integrity_check"), QString("ok"));
    }

    void songFolderIsAFile()
    {
        QVERIFY(QDir().mkpath(home->path() + "/Documents"));
        QVERIFY(TestUtil::writeFile(home->path() + "/Documents/VelmarPC", "not a folder"));
        DatabaseHelper db;
        QVERIFY(!db.initDb());
        QCOMPARE(TestUtil::readFile(home->path() + "/Documents/VelmarPC"), QByteArray("not a folder"));
    }

    // Each query text is valid against the schema, with its bound names.
    void queryTextsRun()
    {
        DatabaseHelper db;
        QVERIFY(db.initDb());
        QVERIFY(db.connect());
        QSqlQuery setup;
        QVERIFY(setup.exec("INSERT INTO Genere VALUES (1, 'Pop', 0)"));
        QVERIFY(setup.exec("INSERT INTO Artisti VALUES (1, 'Anna', 0)"));
        QVERIFY(setup.exec("INSERT INTO Autori VALUES (1, 'Bruno', 0)"));
        QVERIFY(setup.exec("INSERT INTO Songs (IdGenere, IdArtista, IdAutore, Titolo, isFromSub) "
                           "VALUES (1, 1, 1, 'Volare', 1)"));
        QVERIFY(setup.exec("INSERT INTO PlayListSongs (IdPlayList, SeqNum, IdSong) VALUES (1, 0, 1)"));

        const struct {
            const QString *text;
            const char *bind;
            QVariant value;
            int rows;
        } cases[] = {
            {&db.sqlSongsByTitle, nullptr, {}, 1},
            {&db.sqlMDNews, nullptr, {}, 0},
            {&db.sqlRecentSongs, ":x", 10, 1},
            {&db.sqlDownloadedSongs, nullptr, {}, 1},
            {&db.sqlPlaylistSongs, ":idPlay", 1, 1},
            {&db.sqlArtists, nullptr, {}, 1},
            {&db.sqlGenres, nullptr, {}, 1},
            {&db.sqlSongsOfArtist, ":f", 1, 1},
            {&db.sqlSongsOfGenre, ":f", 1, 1},
            {&db.sqlTitleFilter, ":f", "ola", 1},
            {&db.sqlTitleFilterWithMD, ":f", "ola", 1},
            {&db.sqlMDSearchTitle, nullptr, {}, 0},
            {&db.sqlArtistNameFilter, ":f", "nn", 1},
            {&db.sqlGenreNameFilter, ":f", "op", 1},
            {&db.sqlArtistFilter, ":f", "nn", 1},
            {&db.sqlArtistFilterWithMD, ":f", "nn", 1},
            {&db.sqlGenreFilter, ":f", "x", 0},
            {&db.sqlGenreFilterWithMD, ":f", "op", 1},
        };
        for (const auto &c : cases) {
            QSqlQuery q;
            QVERIFY2(q.prepare(*c.text), qPrintable(*c.text));
            if (c.bind)
                q.bindValue(QString::fromLatin1(c.bind), c.value);
            QVERIFY2(q.exec(), qPrintable(*c.text + ": " + q.lastError().text()));
            int rows = 0;
            while (q.next())
                ++rows;
            QVERIFY2(rows == c.rows, qPrintable(*c.text));
        }
    }

    void deletingLastSongOfArtistRemovesIt()
    {
        DatabaseHelper db;
        QVERIFY(db.initDb());
        QVERIFY(db.connect());
        QSqlQuery q;
        for (const char *sql :
             {"INSERT INTO Genere VALUES (1, 'Pop', 0), (2, 'Rock', 0)",
              "INSERT INTO Artisti VALUES (1, 'Anna', 0), (2, 'Carla', 0)",
              "INSERT INTO Autori VALUES (1, 'Bruno', 0)",
              "INSERT INTO Songs (IdGenere, IdArtista, IdAutore, Titolo) VALUES (1, 1, 1, 'a1')",
              "INSERT INTO Songs (IdGenere, IdArtista, IdAutore, Titolo) VALUES (1, 2, 1, 'c1')",
              "INSERT INTO Songs (IdGenere, IdArtista, IdAutore, Titolo) VALUES (2, 2, 1, 'c2')"})
            QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
        QVERIFY(q.exec("SELECT NomeArtista || NumBrani FROM Artisti ORDER BY IdArtista"));
        QCOMPARE(column(q), QStringList({"Anna1", "Carla2"}));

        QVERIFY2(q.exec("DELETE FROM Songs WHERE Titolo = 'a1'"), qPrintable(q.lastError().text()));
        QVERIFY(q.exec("SELECT NomeArtista || NumBrani FROM Artisti"));
        QCOMPARE(column(q), QStringList({"Carla2"}));
        QVERIFY(q.exec("SELECT NomeGenere || NumBrani FROM Genere ORDER BY IdGenere"));
        QCOMPARE(column(q), QStringList({"Pop1", "Rock1"}));
        QVERIFY(q.exec("SELECT NomeAutore || NumBrani FROM Autori"));
        QCOMPARE(column(q), QStringList({"Bruno2"}));
        QVERIFY(q.exec("SELECT Titolo FROM Songs ORDER BY Titolo"));
        QCOMPARE(column(q), QStringList({"c1", "c2"}));

        QVERIFY(q.exec("DELETE FROM Songs WHERE Titolo = 'c2'"));
        QVERIFY(q.exec("SELECT NomeGenere FROM Genere"));
        QCOMPARE(column(q), QStringList({"Pop"}));
        QVERIFY(q.exec("SELECT Titolo FROM Songs"));
        QCOMPARE(column(q), QStringList({"c1"}));
        QVERIFY(q.exec("PRAGMA integrity_check"));
        QCOMPARE(column(q), QStringList({"ok"}));
    }

    // Positions of a playlist stay 0, 1, 2... and other playlists are untouched.
    void playlistPositions_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("expected"); // "list:seq:song" in list/seq order
        const QStringList untouched5{"5:0:50", "5:1:51", "5:2:52"};
        QTest::newRow("delete one") << "DELETE FROM PlayListSongs WHERE IdPlayList = 6 AND SeqNum = 1"
                                    << (untouched5 + QStringList{"6:0:60", "6:1:62", "6:2:63"});
        QTest::newRow("delete two") << "DELETE FROM PlayListSongs WHERE IdPlayList = 6 AND SeqNum IN (0, 2)"
                                    << (untouched5 + QStringList{"6:0:61", "6:1:63"});
        QTest::newRow("delete the playlist") << "DELETE FROM PlayList WHERE IdPlayList = 6"
                                             << untouched5;
        QTest::newRow("move down") << "UPDATE PlayListSongs SET SeqNum = 2 WHERE IdPlayList = 6 AND IdSong = 60"
                                   << (untouched5 + QStringList{"6:0:61", "6:1:62", "6:2:60", "6:3:63"});
        QTest::newRow("move up") << "UPDATE PlayListSongs SET SeqNum = 0 WHERE IdPlayList = 6 AND IdSong = 63"
                                 << (untouched5 + QStringList{"6:0:63", "6:1:60", "6:2:61", "6:3:62"});
        QTest::newRow("same place") << "UPDATE PlayListSongs SET StartTime = 5 WHERE IdPlayList = 6 AND IdSong = 61"
                                    << (untouched5 + QStringList{"6:0:60", "6:1:61", "6:2:62", "6:3:63"});
    }
    void playlistPositions()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, expected);
        DatabaseHelper db;
        QVERIFY(db.initDb());
        QVERIFY(db.connect());
        QSqlQuery q;
        QVERIFY(q.exec("INSERT INTO PlayList (IdPlayList, ListName) VALUES (5, 'Five'), (6, 'Six')"));
        for (int list : {5, 6}) {
            for (int seq = 0; seq < (list == 5 ? 3 : 4); ++seq)
                QVERIFY(q.exec(QString("INSERT INTO PlayListSongs (IdPlayList, SeqNum, IdSong) "
                                       "VALUES (%1, %2, %3)").arg(list).arg(seq).arg(list * 10 + seq)));
        }
        QVERIFY2(q.exec(change), qPrintable(q.lastError().text()));
        QVERIFY(q.exec("SELECT IdPlayList || ':' || SeqNum || ':' || IdSong FROM PlayListSongs "
                       "ORDER BY IdPlayList, SeqNum"));
        QCOMPARE(column(q), expected);
    }
};

VELMAR_TEST(TestDatabaseHelper)
#include "tst_databasehelper.moc"
