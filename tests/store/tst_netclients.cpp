#include "teststore.h"
#include "testutil.h"

#include "downloadmngr.h"
#include "prompter.h"
#include "storeendpoints.h"
#include "webcom.h"

#include <QtTest>

// The blocking client and the download manager against the local test
// store, downloading into a real folder.
class TestNetClients : public QObject
{
    Q_OBJECT

    TestStore store;
    const QString path = QStringLiteral("/service/service_status.php");
    QTemporaryDir dir;
    const QByteArray oldBytes = QByteArrayLiteral("the old song that must survive");
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    int questions = 0;

    // Downloads /files/bytes/<served> over `song.mid`, holding the old bytes or absent.
    int run(DownloadMngr &d, int served, quint32 announced, bool old, const QString &folderEnd = {})
    {
        QFile::remove(dir.filePath("song.mid"));
        if (old)
            TestUtil::writeFile(dir.filePath("song.mid"), oldBytes);
        d.m_url = store.base() + QStringLiteral("/files/bytes/%1").arg(served);
        d.m_destFolder = dir.path() + folderEnd;
        d.m_fileName = QStringLiteral("song.mid");
        d.m_fileSize = announced;
        d.setTimeouts({1500, 1500, 8000});
        return d.startDownloadSync();
    }

    bool request(WebCom &client, const QString &method, const QByteArray &body = {},
                 const WebCom::ReplyCallback &callback = {}, bool json = false)
    {
        const QUrl url = StoreEndpoints::storeUrl(path);
        return json ? client.startAndWaitNetRequestNew(url, body, callback, method)
                    : client.startAndWaitNetRequest(url, body, callback, method);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(store.start());
        Prompter::setScript([this](const QString &, const QString &, QMessageBox::StandardButtons) {
            ++questions;
            return answer;
        });
    }
    void init() { store.reset(); answer = QMessageBox::Yes; questions = 0; }

    // Only a whole reply reaches the callback; every bad case ends within
    // the limits with false, the GUI loop running meanwhile.
    void replies_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("read");
        QTest::newRow("normal") << QString() << true;
        QTest::newRow("trickle") << "trickle" << true;
        for (const char *fault : {"http404", "http500", "empty", "truncated", "silent", "oversized"})
            QTest::newRow(fault) << fault << false;
    }
    void replies()
    {
        QFETCH(QString, fault);
        QFETCH(bool, read);
        // An endless answer here announces its length: cut before it comes.
        store.setFault(path, fault, 0, QStringLiteral("chunk=16&gap=20&announce=1"));
        WebCom client(nullptr);
        client.setTimeouts({1500, 0, 4000});
        int ticks = 0;
        QTimer ticker;
        ticker.callOnTimeout([&] { ++ticks; });
        ticker.start(50);
        QByteArray got;
        QCOMPARE(request(client, "POST", {}, [&](const QByteArray &body) { got = body; }), read);
        QCOMPARE(got.contains("<service_status>online</service_status>"), read);
        QVERIFY(fault != QLatin1String("silent") || ticks >= 5);
    }

    // A secure connection that cannot be made (here a plain server asked
    // over https) is said in the program's words, not the TLS library's,
    // and is no matter of the internet connection.
    void secureConnectionFailed()
    {
        WebCom client(nullptr);
        client.setTimeouts({1500, 0, 4000});
        QVERIFY(!client.startAndWaitNetRequest(QUrl(QString(store.base()).replace("http:", "https:") + path), {},
                                               [](const QByteArray &) {}, QStringLiteral("GET")));
        QCOMPARE(client.failureKind(), ReplyWatch::Failure::Insecure);
        QVERIFY(!client.failureText().isEmpty());
        QVERIFY(!client.connectionFailed());
    }

    // A second call during the wait is refused and the first completes; the
    // client then serves again with its own headers, also after the JSON
    // variant; an unknown method sends nothing.
    void oneAtATimeAndHeaders()
    {
        store.setFault(path, QStringLiteral("hold"), 1);
        WebCom client(nullptr);
        int refused = -1;
        QTimer::singleShot(100, [&] {
            refused = request(client, "GET");
            store.release(path);
        });
        QVERIFY(request(client, "POST", "a=1"));
        QCOMPARE(refused, 0);
        QVERIFY(request(client, "PUT", "{}", {}, true));
        QVERIFY(!request(client, "post"));
        QVERIFY(request(client, "GET"));

        const QList<TestStore::Request> seen = store.requests(path);
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen[0].body, QByteArray("a=1"));
        QCOMPARE(seen[1].headers.value("content-type"), QStringLiteral("application/json"));
        QCOMPARE(seen[1].headers.value("jw_token").size(), 105);
        QCOMPARE(seen[2].method + seen[2].headers.value("content-type"),
                 QStringLiteral("GETapplication/x-www-form-urlencoded"));
        QVERIFY(!seen[2].headers.contains("jw_token"));
        for (const TestStore::Request &r : seen)
            QCOMPARE(r.headers.value("user-agent"), QStringLiteral("VelmarPC 0.0.0"));
    }

    // Redirects stay on the site: the same host and port, or https on the
    // standard port from http on it; never down to http, never elsewhere.
    void redirectPolicy_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("followed");
        QTest::newRow("a path") << "https://store.example/a" << "/b?x=1" << true;
        QTest::newRow("same site") << "http://store.example:8080/a" << "http://STORE.example:8080/b" << true;
        QTest::newRow("up to https") << "http://store.example/a" << "https://store.example/a" << true;
        QTest::newRow("down to http") << "https://store.example/a" << "http://store.example/a" << false;
        QTest::newRow("other port") << "http://store.example:8080/a" << "http://store.example:8081/a" << false;
        QTest::newRow("other host") << "https://store.example/a" << "https://store.example.evil/a" << false;
        QTest::newRow("other scheme") << "https://store.example/a" << "ftp://store.example/a" << false;
    }
    void redirectPolicy()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, followed);
        QCOMPARE(ReplyWatch::mayRedirect(QUrl(from), QUrl(to)), followed);
    }

    // Whole keys only: "a" is not the end of "xa".
    void formValues()
    {
        QCOMPARE(WebCom::getVarValFromStringReply("xa=5&a=6", "a"), QStringLiteral("6"));
        QVERIFY(WebCom::getVarValFromStringReply("xa=5", "a").isNull());
    }
    void cleanupTestCase() { Prompter::setScript({}); }

    // The announced size decides within ten bytes; below ten only exactly.
    void sizes_data()
    {
        QTest::addColumn<int>("announced");
        QTest::addColumn<int>("served");
        QTest::addColumn<int>("result");
        QTest::newRow("10 short") << 1000 << 990 << 0;
        QTest::newRow("10 long") << 1000 << 1010 << 0;
        QTest::newRow("11 short") << 1000 << 989 << 2;
        QTest::newRow("11 long") << 1000 << 1011 << 2;
        QTest::newRow("5 exact") << 5 << 5 << 0;
        QTest::newRow("5, 4 served") << 5 << 4 << 2;
        QTest::newRow("nothing announced") << 0 << 8 << 2;
    }
    void sizes()
    {
        QFETCH(int, announced);
        QFETCH(int, served);
        QFETCH(int, result);
        DownloadMngr d;
        QCOMPARE(run(d, served, announced, false), result);
        QCOMPARE(QFile::exists(d.getDestFullPath()), result == 0);
        QVERIFY(!QFile::exists(d.getDestFullPath() + ".part"));
        QCOMPARE(store.requests().size(), announced ? 1 : 0);
    }

    // Every way a download can go wrong leaves the old file as it was and no
    // part file behind, and says why in words, asking to check the internet
    // connection only where that may mend it; the user's own cancel says
    // nothing. A file keeps its announced size: an endless one stops there.
    void failuresKeepOldFile_data()
    {
        using Failure = ReplyWatch::Failure;
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("result");
        QTest::addColumn<ReplyWatch::Failure>("kind");
        QTest::addColumn<bool>("advised");
        QTest::newRow("http404") << "http404" << 2 << Failure::ErrorStatus << false;
        QTest::newRow("http500") << "http500" << 2 << Failure::ErrorStatus << false;
        QTest::newRow("empty") << "empty" << 2 << Failure::Empty << false;
        QTest::newRow("truncated") << "truncated" << 2 << Failure::BrokeOff << true;
        QTest::newRow("silent") << "silent" << 2 << Failure::OutOfTime << true;
        QTest::newRow("oversized") << "oversized" << 2 << Failure::TooLarge << false;
        QTest::newRow("another protocol") << "otherprotocol" << 2 << Failure::NotWebServer << false;
        QTest::newRow("cancel while trickling") << "trickle" << 1 << Failure::None << false;
        QTest::newRow("overwrite refused") << QString() << 1 << Failure::None << false;
    }
    void failuresKeepOldFile()
    {
        QFETCH(QString, fault);
        QFETCH(int, result);
        QFETCH(ReplyWatch::Failure, kind);
        QFETCH(bool, advised);
        store.setFault(QStringLiteral("/files/bytes/4000"), fault, 0, QStringLiteral("chunk=100&gap=20"));
        answer = fault.isEmpty() ? QMessageBox::No : QMessageBox::Yes;
        QVERIFY(TestUtil::writeFile(dir.filePath("song.mid.bak"), oldBytes));
        DownloadMngr d;
        connect(&d, &DownloadMngr::progressValChanged, &d, [&](qint64 got, qint64) {
            if (fault == QLatin1String("trickle") && got >= 300)
                d.onUserAbort();
        });
        QCOMPARE(run(d, 4000, 4000, true), result);
        QCOMPARE(d.failureKind(), kind);
        QCOMPARE(d.failureText().isEmpty(), kind == ReplyWatch::Failure::None);
        // An error page says which.
        QVERIFY(kind != ReplyWatch::Failure::ErrorStatus || d.failureText().contains(fault.mid(4)));
        QCOMPARE(d.connectionFailed(), advised);
        d.onUserAbort();
        QCOMPARE(questions, 1);
        QCOMPARE(TestUtil::readFile(d.getDestFullPath()), oldBytes);
        QCOMPARE(TestUtil::readFile(d.getDestFullPath() + ".bak"), oldBytes);
        QVERIFY(!QFile::exists(d.getDestFullPath() + ".part"));
        // The network layer tries again where no answer began.
        if (fault == "otherprotocol")
            QVERIFY(!store.requests().isEmpty());
        else
            QCOMPARE(store.requests().size(), fault.isEmpty() ? 0 : 1);
    }

    // A song downloaded again is a new file: the backup of the one it
    // replaces goes with it, so that Restore never puts that one back.
    void replacedSongLosesItsBackup()
    {
        QVERIFY(TestUtil::writeFile(dir.filePath("song.mid.bak"), oldBytes));
        answer = QMessageBox::Yes;
        DownloadMngr d;
        QCOMPARE(run(d, 4000, 4000, true), 0);
        QCOMPARE(QFileInfo(d.getDestFullPath()).size(), 4000);
        QVERIFY(!QFile::exists(d.getDestFullPath() + ".bak"));
    }

    // A big download goes to the disk as it comes: while the window is busy
    // for a moment, the network holds back instead of filling the memory.
    void bigDownloadInBoundedMemory()
    {
#if defined(__SANITIZE_ADDRESS__) || (defined(__has_feature) && __has_feature(address_sanitizer))
        // The sanitizer keeps freed memory in quarantine: resident size says
        // nothing of what the program holds. The release build measures it.
        QSKIP("resident memory is not the program's under AddressSanitizer");
#endif
        const qint64 size = qint64(512) << 20;
        const auto resident = [] {
            const QByteArray status = TestUtil::readFile("/proc/self/status");
            const int at = status.indexOf("VmRSS:");
            return status.mid(at + 6, status.indexOf('\n', at) - at - 6).trimmed().split(' ').value(0).toLongLong() << 10;
        };
        const qint64 before = resident();
        qint64 most = before;
        bool paused = false;
        DownloadMngr d;
        connect(&d, &DownloadMngr::progressValChanged, &d, [&](qint64 got, qint64) {
            most = qMax(most, resident());
            if (!paused && got > 0) {
                paused = true;
                QThread::msleep(1500);
            }
        });
        d.m_url = store.base() + QStringLiteral("/files/bytes/%1").arg(size);
        d.m_destFolder = dir.path();
        d.m_fileName = QStringLiteral("big.mp3");
        d.m_fileSize = quint32(size);
        d.setTimeouts({15000, 15000, 600000});
        QCOMPARE(d.startDownloadSync(), 0);
        QCOMPARE(QFileInfo(d.getDestFullPath()).size(), size);
        QFile::remove(d.getDestFullPath());
        QVERIFY2(most - before < (qint64(64) << 20), qPrintable(QString::number((most - before) >> 20) + " MiB more"));
    }

    // A file is fetched from a web address only: a local file or any other
    // scheme named by the store is never copied into the folder, and
    // nothing is asked of anyone.
    void onlyWebAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("file address") << "file://" + dir.filePath("secret");
        QTest::newRow("local path") << dir.filePath("secret");
        QTest::newRow("ftp") << "ftp://127.0.0.1/secret";
        QTest::newRow("no host") << "http:///secret";
    }
    void onlyWebAddresses()
    {
        QFETCH(QString, address);
        QVERIFY(TestUtil::writeFile(dir.filePath("secret"), "twelve bytes"));
        DownloadMngr d;
        d.m_url = address;
        d.m_destFolder = dir.path();
        d.m_fileName = QStringLiteral("copy.mid");
        d.m_fileSize = 12;
        QCOMPARE(d.startDownloadSync(), 2);
        QCOMPARE(d.failureText(), QStringLiteral("the server named no web address for the file"));
        QVERIFY(!QFile::exists(dir.filePath("copy.mid")) && !QFile::exists(dir.filePath("copy.mid.part")));
        QCOMPARE(questions, 0);
        QVERIFY(store.requests().isEmpty());
    }

    // Five megabytes over an old file: progress in order, the same bytes on
    // disk; a folder given with its "/" makes the same path.
    void bigDownloadReplacesOldFile()
    {
        const int size = 5 * 1024 * 1024;
        DownloadMngr d;
        QList<QPair<qint64, qint64>> progress{{0, 0}};
        connect(&d, &DownloadMngr::progressValChanged, &d, [&](qint64 got, qint64 total) {
            QVERIFY(got >= progress.last().first);
            progress.append({got, total});
        });
        QCOMPARE(run(d, size, size, true, "/"), 0);
        QCOMPARE(d.getDestFullPath(), dir.filePath("song.mid"));
        QVERIFY(TestUtil::readFile(d.getDestFullPath()) == TestStore::patternBytes(size));
        QCOMPARE(progress.last(), qMakePair(qint64(size), qint64(size)));
        QCOMPARE(store.requests().value(0).headers.value("user-agent"), QStringLiteral("Quorin5 0.0.0"));
    }
};

VELMAR_TEST(TestNetClients)
#include "tst_netclients.moc"
