#include "pauseprobe.h"
#include "teststore.h"
#include "testutil.h"

#include "../common-extract/loadedsong.h"

#include "DatabaseHelper.h"
#include "adbanner.h"
#include "Extract.h"
#include "melodromemanager.h"
#include "prompter.h"
#include "soundfontmanager.h"
#include "user.h"
#include "webcom.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <memory>

// The store manager against the local test store, downloading into the song
// folder of a real library made from the template.
class TestStoreManager : public QObject
{
    Q_OBJECT

    TestStore store;
    QTemporaryDir home;
    std::unique_ptr<DatabaseHelper> db;
    User user{"Anna", "Rossi", 42};
    QStringList asked;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    const QString songFile = "Singer - Love Song.mid";

    static s_MdResInfo record(int productId = 5001) { return {productId, "Love Song", "Singer", "MIDI", {}, 0}; }
    static QString one(const QString &sql)
    {
        QSqlQuery q;
        return q.exec(sql) && q.next() ? q.value(0).toString() : QString();
    }
    QStringList folderFiles() const
    {
        return QDir(db->getLibraryFolder()).entryList({"*.mid", "*.part"}, QDir::Files);
    }
    void configure(MelodromeManager &m) const { m.setTimeouts({1500, 0, 4000}, {1500, 1500, 8000}); }

private slots:
    void initTestCase()
    {
        qputenv("HOME", home.path().toUtf8());
        db = std::make_unique<DatabaseHelper>();
        QVERIFY(db->initDb() && db->connect());
        QVERIFY(store.start());
        Prompter::setScript([this](const QString &title, const QString &, QMessageBox::StandardButtons) {
            asked << title;
            return answer;
        });
    }
    void cleanupTestCase() { Prompter::setScript({}); }
    void init()
    {
        store.reset();
        asked.clear();
        answer = QMessageBox::Yes;
        user.setUser_id(42);
        for (const QString &f : folderFiles())
            QFile::remove(db->getLibraryFolder() + f);
        QSqlQuery q;
        QVERIFY(q.exec("DELETE FROM Songs") && q.exec("DELETE FROM MDNews"));
        SongInfo listed;
        listed.ProductId = 5001;
        listed.isFromSub = StoreDownloading;
        listed.keySign = "F"; // the store's answer; its file carries no key
        QVERIFY(db->insertMDSongsNews(listed));
    }

    // What each answer of the store leaves in the song folder, the library
    // and the news cache (status 3 stays for the caller); only a whole song
    // file gets in.
    void download_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("info");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("status");
        QTest::newRow("song") << QString() << QByteArray() << true << "4";
        for (const char *fault : {"truncated", "http500", "silent"})
            QTest::newRow(fault) << fault << QByteArray() << false << "3";
        QTest::newRow("not a song") << QString()
                                    << QByteArray("<m><song><url>%1/files/bytes/300</url><size>300</size></song></m>")
                                    << true << "5";
        QTest::newRow("no address") << QString() << QByteArray("<m><song><title>%1</title></song></m>") << false
                                    << "3";
        QTest::newRow("logged out") << QString() << QByteArray() << false << "3";
        // A local file named by the store is never copied in.
        QTest::newRow("file address") << QString()
                                      << "<m><song><title>%1</title><url>file:///etc/hostname</url><size>"
                                             + QByteArray::number(QFileInfo("/etc/hostname").size()) + "</size></song></m>"
                                      << false << "3";
    }
    void download()
    {
        QFETCH(QString, fault);
        QFETCH(QByteArray, info);
        QFETCH(bool, result);
        QFETCH(QString, status);
        store.setFault("/files/song/5001.mid", fault);
        if (!info.isEmpty())
            store.setReply("/service/song_info.php", QString::fromLatin1(info).arg(store.base()).toUtf8());
        const bool logged = QTest::currentDataTag() != QLatin1String("logged out");
        user.setUser_id(logged ? 42 : 0);

        MelodromeManager manager(nullptr, &user, db.get());
        configure(manager);
        QSignalSpy played(&manager, &MelodromeManager::songCanBePlayed);
        QCOMPARE(manager.downloadSubscriptSong(record(), nullptr, ProvenienceNews), result);
        QCOMPARE(asked, logged ? QStringList() : QStringList{"Not logged in"});
        QCOMPARE(one("SELECT isFromSub FROM MDNews WHERE ProductId = 5001"), status);
        QVERIFY(!manager.isDownloading());

        const bool kept = status == "4";
        QCOMPARE(folderFiles(), kept ? QStringList{songFile} : QStringList());
        QCOMPARE(one("SELECT count(*) FROM Songs"), kept ? "1" : "0");
        QCOMPARE(played.size(), logged && status != "5" ? 1 : 0);
        if (!kept)
            return;

        // Listed among the downloads under the store's names, the path
        // written with single separators; playable: the loader reads it and
        // normalises its events.
        const QString path = db->getLibraryFolder() + songFile;
        QCOMPARE(played.at(0).at(0).value<SongInfo>().innerPath, path);
        const QList<SongInfo> downloaded = db->selectSubSongs();
        QCOMPARE(downloaded.size(), 1);
        QCOMPARE(downloaded[0].title + " / " + downloaded[0].artist + " " + downloaded[0].innerPath,
                 "Love Song / Singer " + path);
        // Measured as an imported copy is; the key the file does not carry
        // is the store's, in the library and in the song to play.
        QCOMPARE(QList<int>({downloaded[0].bpm, downloaded[0].length > 0}), QList<int>({120, 1}));
        QCOMPARE(downloaded[0].keySign + " " + played.at(0).at(0).value<SongInfo>().keySign, "F F");
        SONG_INFO head{};
        QVERIFY(Extract::GetSongInfoFromFile(&head, path));
        LoadedSong song;
        QVERIFY(song.normalise(TestUtil::readFile(path)) > 0);
    }

    // A song that arrives while another program holds the library file:
    // said as not kept, and nothing of it left in the song folder, so that
    // the next double click downloads it under its own name again.
    void downloadWhileLibraryHeld()
    {
        QProcess holder;
        holder.start("sqlite3", {"-batch", db->getLibraryFolder() + "db_VelmarPC.sqlite"});
        QVERIFY(holder.waitForStarted());
        holder.write(".timeout 20000\nBEGIN EXCLUSIVE;\nINSERT INTO PlayList (ListName) VALUES ('Theirs');\n");
        QTRY_VERIFY_WITH_TIMEOUT(!QSqlQuery().exec("SELECT count(*) FROM Songs"), 20000);
        MelodromeManager manager(nullptr, &user, db.get());
        configure(manager);
        QVERIFY(!manager.downloadSubscriptSong(record(), nullptr, ProvenienceNews));
        QVERIFY2(manager.lastFailure().text().contains("in use by another program"),
                 qPrintable(manager.lastFailure().text()));
        QVERIFY(!manager.lastFailureFromConnection());
        QCOMPARE(folderFiles(), QStringList());
        holder.write("ROLLBACK;\n");
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(20000));
        QTRY_VERIFY(db->tryFree());
        QCOMPARE(one("SELECT count(*) FROM Songs"), QString("0"));
        QVERIFY(manager.downloadSubscriptSong(record(), nullptr, ProvenienceNews));
        QCOMPARE(folderFiles(), QStringList{songFile});
        QCOMPARE(one("SELECT count(*) FROM Songs"), QString("1"));
    }

    // A song of a store artist's list, whose file has no key, genre or
    // author: the list's genre (it carries no key), the rest from the song's
    // details.
    void storeDataFromAnyList()
    {
        SongInfo listed;
        listed.ProductId = 5002;
        listed.isFromSub = StoreDownloading;
        listed.genre = "Jazz";
        QVERIFY(db->insertMDSongsSearchMem(listed));
        MelodromeManager manager(nullptr, &user, db.get());
        configure(manager);
        QSignalSpy played(&manager, &MelodromeManager::songCanBePlayed);
        QVERIFY(manager.downloadSubscriptSong(record(5002), nullptr, ProvenienceStoreList));
        const SongInfo song = played.at(0).at(0).value<SongInfo>();
        const QList<SongInfo> downloaded = db->selectSubSongs();
        QCOMPARE(downloaded.size(), 1);
        for (const SongInfo &s : {song, downloaded[0]})
            QCOMPARE(QStringList({s.keySign, s.genre, s.author}), QStringList({"C", "Jazz", "A. Author"}));
        QVERIFY(db->truncateMDSearchTitles());
    }

    // A second request while one runs is refused with a message and leaves
    // no trace; the first ends as if alone. The same song again is
    // overwritten only when the user says so (not when the question is left
    // unanswered, as a signal ending the program leaves it), and listed once.
    void oneDownloadAtATime()
    {
        store.setFault("/files/song/5001.mid", "hold", 1);
        MelodromeManager manager(nullptr, &user, db.get());
        configure(manager);
        QSignalSpy played(&manager, &MelodromeManager::songCanBePlayed);
        int second = -1;
        QTimer::singleShot(50, &manager, [&] {
            second = manager.downloadSubscriptSong(record(5002), nullptr, ProvenienceNews);
            store.release("/files/song/5001.mid");
        });
        QVERIFY(manager.downloadSubscriptSong(record(), nullptr, ProvenienceNews));
        QCOMPARE(second, 0);
        QCOMPARE(played.size(), 1);
        QCOMPARE(store.requests("/service/song_info.php").size(), 1);

        QVERIFY(manager.downloadSubscriptSong(record(), nullptr, ProvenienceNews));
        const QString kept = db->getLibraryFolder() + songFile;
        QVERIFY(TestUtil::writeFile(kept, TestUtil::readFile(kept) + "kept"));
        for (const QMessageBox::StandardButton refusal : {QMessageBox::No, QMessageBox::NoButton}) {
            answer = refusal;
            QVERIFY(!manager.downloadSubscriptSong(record(), nullptr, ProvenienceNews));
            QVERIFY(played.last().at(0).value<SongInfo>().innerPath.isEmpty());
        }
        QCOMPARE(asked, QStringList({"Download in progress", "This file already exists", "This file already exists",
                                     "This file already exists"}));
        QVERIFY(TestUtil::readFile(kept).endsWith("kept"));
        QCOMPARE(one("SELECT count(*) FROM Songs"), "1");
        QCOMPARE(folderFiles(), QStringList{songFile});
    }

    // A download is told finished as soon as its file is in, while a slow
    // request started during it still waits (its wait holds the call's
    // return); another download may start at once, and ends before the
    // slow request too.
    void finishedWhileAnotherWaits()
    {
        const QString slowPath = "/service/service_status.php";
        store.setFault("/files/song/5001.mid", "trickle", 1, "chunk=4&gap=50");
        store.setFault(slowPath, "hold", 1);
        MelodromeManager manager(nullptr, &user, db.get());
        configure(manager);
        QStringList events;
        QTimer poll;
        poll.callOnTimeout(&manager, [&] {
            if (store.requests("/files/song/5001.mid").isEmpty())
                return;
            poll.stop();
            WebCom slow(nullptr);
            slow.setTimeouts({15000, 0, 20000});
            slow.startAndWaitNetRequest(QUrl(store.base() + slowPath), {}, {}, "GET");
            events << "slow request ended";
        });
        poll.start(10);
        connect(&manager, &MelodromeManager::downloadEnded, &manager, [&](int product, bool done) {
            events << QString("%1 ended %2 %3 %4").arg(product).arg(done).arg(manager.isDownloading())
                          .arg(one(QString("SELECT isFromSub FROM MDNews WHERE ProductId = %1").arg(product)));
            if (product != 5001)
                return;
            QTimer::singleShot(0, &manager, [&] {
                events << QString("second returned %1").arg(manager.downloadSubscriptSong(
                    {5002, "Other Song", "Singer", "MIDI", {}, 0}, nullptr, ProvenienceNews));
                store.release(slowPath);
            });
        });
        QVERIFY(manager.downloadSubscriptSong(record(), nullptr, ProvenienceNews));
        QCOMPARE(events, QStringList({"5001 ended 1 0 4", "5002 ended 1 0 ", "second returned 1", "slow request ended"}));
        QCOMPARE(one("SELECT count(*) FROM Songs"), "2");
        QVERIFY(asked.isEmpty());
    }

    // A banner list its host holds back while a song downloads holds
    // nothing: the download ends, and the list comes when it comes.
    void slowBannerDuringDownload()
    {
        const QString list = "/banners/get_banners.php";
        store.setFault("/files/song/5001.mid", "trickle", 1, "chunk=4&gap=50");
        store.setFault(list, "hold", 1);
        MelodromeManager manager(nullptr, &user, db.get());
        configure(manager);
        AdBanner banner;
        QTimer poll;
        poll.callOnTimeout(&manager, [&] {
            if (store.requests("/files/song/5001.mid").isEmpty())
                return;
            poll.stop();
            banner.reloadBanners();
        });
        poll.start(10);
        QVERIFY(manager.downloadSubscriptSong(record(), nullptr, ProvenienceNews));
        QVERIFY(!manager.isDownloading());
        QTRY_COMPARE(store.requests(list).size(), 1);
        QVERIFY(banner.banners().isEmpty());
        store.release(list);
        QTRY_COMPARE(banner.banners().size(), 1);
    }

    // A song whose artist and title fill a whole file name downloads under
    // that name cut to fit; a store whose places are all taken is said to
    // be busy, with when to try again, and not as the connection's fault.
    void longNameAndBusyStore()
    {
        MelodromeManager manager(nullptr, &user, db.get());
        configure(manager);
        s_MdResInfo song = record();
        song.artist = QString(120, QChar(0xE9));
        song.title = "Love Song " + QString(40, QLatin1Char('x'));
        const QString name = MelodromeManager::songFileName(song);
        QCOMPARE(name.toUtf8().size(), 255);
        QVERIFY2(manager.downloadSubscriptSong(song, nullptr, ProvenienceNews), qPrintable(manager.lastFailure().text()));
        QCOMPARE(folderFiles(), QStringList{name});
        QCOMPARE(one("SELECT count(*) FROM Songs"), QString("1"));

        const QStringList busy[] = {{"retry=30", "the store is busy; try again in 30 seconds"},
                                    {"retry=600", "the store is busy; try again in 10 minutes"},
                                    {"retry=1", "the store is busy; try again in a moment"},
                                    {"retry=5340", "the store is busy; try again in 89 minutes"},
                                    {"retry=5341", "the store is busy; try again in 2 hours"},
                                    {"retry=7200", "the store is busy; try again in 2 hours"},
                                    {"retry=7201", "the store is busy; try again in 3 hours"},
                                    {"retry=99999999999999999", "the store is busy; try again in 24 hours"},
                                    {"", "the store is busy; try again in a few minutes"}};
        for (const QStringList &answer : busy) {
            store.setFault("/files/song/5001.mid", "busy", 1, answer[0]);
            QVERIFY(!manager.downloadSubscriptSong(record(), nullptr, ProvenienceNews));
            QCOMPARE(manager.lastFailure().text(), answer[1]);
            QVERIFY(!manager.lastFailureFromConnection());
        }
        QCOMPARE(folderFiles(), QStringList{name});
    }

    void fileNames_data()
    {
        QTest::addColumn<QStringList>("record"); // artist, title, format
        QTest::addColumn<QString>("name");
        QTest::newRow("quotes, slash") << QStringList{"Blue/Green", "Say \"Hi\"", "MIDI"} << "Blue-Green - Say 'Hi'.mid";
        QTest::newRow("container") << QStringList{"A", "B", "mf3"} << "A - B.mf3";
        QTest::newRow("mp3") << QStringList{"A", "B", "MP3"} << "A - B.mp3";
        QTest::newRow("control") << QStringList{"A\nB", "C", "KAR"} << "A-B - C.kar";
        QTest::newRow("too long") << QStringList{QString(200, QChar(0xE9)), "T", "X"} << QString(125, QChar(0xE9)) + ".mid";
    }
    void fileNames()
    {
        QFETCH(QStringList, record);
        QFETCH(QString, name);
        QCOMPARE(MelodromeManager::songFileName({0, record[1], record[0], record[2], {}, 0}), name);
    }

    // The service is up only on the exact answer; the version fields change
    // only under their own tags.
    void serviceAndVersion()
    {
        MelodromeManager manager(nullptr, &user, db.get());
        configure(manager);
        QSignalSpy known(&manager, &MelodromeManager::serviceStatusKnown);
        QSignalSpy checked(&manager, &MelodromeManager::versionChecked);
        // Both asked at once, each answered in the background.
        const auto status = [&] {
            known.clear();
            return manager.checkServiceStatus() && known.wait(15000) && known.first().first().toBool();
        };
        const auto version = [&] {
            checked.clear();
            return manager.checkUpdateServer("linux") && checked.wait(15000);
        };
        QVERIFY(manager.checkServiceStatus() && manager.checkUpdateServer("linux"));
        QVERIFY(!manager.checkServiceStatus() && !manager.checkUpdateServer("linux"));
        QTRY_VERIFY_WITH_TIMEOUT(known.size() == 1 && checked.size() == 1, 15000);
        QVERIFY(manager.isServiceOnline());
        const QString url = manager.lastVersionUrl();
        QVERIFY(url.endsWith("/files/VelmarPC-linux-2.4.11.zip"));
        store.setReply("/service/service_status.php",
                       "<melodrome_message><service_status>Online</service_status></melodrome_message>");
        store.setReply("/version_checker/check_version_velmarpc.php",
                       "<melodrome_message><velmarpc><url_update>u</url_update><size>5</size></velmarpc>"
                       "</melodrome_message>");
        QVERIFY(!status() && version());
        QCOMPARE(manager.lastVersion() + " " + manager.lastVersionUrl(), "2.4.11 " + url);
        store.reset();
        QVERIFY(status());
        store.setFault("*", "http500");
        QVERIFY(!status());
    }

    // Answers of 14 MB where one record of a few hundred bytes is due (the
    // record, then padding; the version's without a length, ending when the
    // connection closes): each is refused unread as too large, so nothing
    // of it is parsed on the window's thread (parsing one held the window
    // most of a second), and the thread keeps turning throughout.
    void bigAnswersRefused()
    {
        const auto padded = [](const QByteArray &record) {
            return "<melodrome_message>" + record + "<pad>" + QByteArray(14 << 20, 'x') + "</pad></melodrome_message>";
        };
        store.setReply("/service/service_status.php", padded("<service_status>online</service_status>"));
        store.setFault("/version_checker/check_version_velmarpc.php", "oversized", 1, "size=14680064");
        store.setReply("/version_checker/check_soundfont.php",
                       padded("<soundfont><version>9.9</version><url_update>" + store.base().toUtf8()
                              + "/files/bytes/900</url_update><size>900</size></soundfont>"));
        store.setReply("/service/song_info.php",
                       padded("<song><url>" + store.base().toUtf8() + "/files/song/5001.mid</url><size>118</size></song>"));
        PauseProbe probe;
        MelodromeManager manager(nullptr, &user, db.get());
        configure(manager);
        QSignalSpy known(&manager, &MelodromeManager::serviceStatusKnown);
        QSignalSpy checked(&manager, &MelodromeManager::versionChecked);
        QVERIFY(manager.checkServiceStatus() && manager.checkUpdateServer("linux"));
        QTRY_VERIFY_WITH_TIMEOUT(known.size() == 1 && checked.size() == 1, 30000);
        QVERIFY(!known.first().first().toBool());
        QCOMPARE(manager.lastVersion(), QString());

        SoundfontManager bank;
        bank.setTimeouts({1500, 0, 4000}, {1500, 1500, 8000});
        QSignalSpy info(&bank, &SoundfontManager::infoKnown);
        QVERIFY(bank.getInfoFromServer());
        QVERIFY(info.wait(30000));
        QCOMPARE(bank.getLastVersion(), QStringLiteral("0.0"));

        QVERIFY(!manager.downloadSubscriptSong(record(), nullptr, ProvenienceNews));
        QCOMPARE(manager.lastFailure().text(), QStringLiteral("the server's answer was too large"));
        QVERIFY(folderFiles().isEmpty());
        QVERIFY(store.requests("/files/song/5001.mid").isEmpty());
        std::printf("longest pause of the window's thread: %lld ms\n", static_cast<long long>(probe.longestMs()));
        QVERIFY2(probe.longestMs() < 2500, qPrintable(QString("the thread stood still %1 ms").arg(probe.longestMs())));
    }

    // A version check answered a few bytes at a time, asked while a song
    // download looks up the song's address: the download goes on and ends
    // first, and the version comes when it comes.
    void slowVersionCheckDuringDownload()
    {
        const QString info = "/service/song_info.php";
        store.setFault(info, "hold", 1);
        store.setFault("/version_checker/check_version_velmarpc.php", "trickle", 1, "chunk=2&gap=100");
        MelodromeManager manager(nullptr, &user, db.get());
        manager.setTimeouts({1500, 0, 30000}, {1500, 1500, 8000});
        QStringList events;
        QTimer poll;
        poll.callOnTimeout(&manager, [&] {
            if (store.requests(info).isEmpty())
                return;
            poll.stop();
            store.release(info);
            manager.checkUpdateServer("linux");
        });
        poll.start(10);
        QTimer version;
        version.callOnTimeout(&manager, [&] {
            if (manager.lastVersion() == "2.4.11") {
                version.stop();
                events << "version known";
            }
        });
        version.start(20);
        connect(&manager, &MelodromeManager::downloadEnded, &manager, [&](int product, bool done) {
            events << QString("%1 ended %2, version %3").arg(product).arg(done).arg(manager.lastVersion());
        });
        QVERIFY(manager.downloadSubscriptSong(record(), nullptr, ProvenienceNews));
        QTRY_VERIFY_WITH_TIMEOUT(!version.isActive(), 30000);
        QCOMPARE(events, QStringList({"5001 ended 1, version ", "version known"}));
    }
};

VELMAR_TEST(TestStoreManager)
#include "tst_storemanager.moc"
