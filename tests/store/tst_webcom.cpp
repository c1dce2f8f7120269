#include "teststore.h"
#include "testutil.h"

#include "storeendpoints.h"
#include "webcom.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

// The blocking client against the local test store.
class TestWebCom : public QObject
{
    Q_OBJECT

    TestStore store;
    const QString statusPath = QStringLiteral("/service/service_status.php");

    static NetTimeouts shortLimits() { return {1500, 0, 4000}; }

private slots:
    void initTestCase() { QVERIFY(store.start()); }
    void init() { store.reset(); }

    // Only a whole, well-formed reply reaches the callback; every bad case
    // ends within the limits with false, the GUI loop running meanwhile.
    void replies_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("read");
        QTest::newRow("normal") << QString() << true;
        QTest::newRow("trickle") << QStringLiteral("trickle") << true;
        QTest::newRow("404 page") << QStringLiteral("http404") << false;
        QTest::newRow("500 page") << QStringLiteral("http500") << false;
        QTest::newRow("empty") << QStringLiteral("empty") << false;
        QTest::newRow("truncated") << QStringLiteral("truncated") << false;
        QTest::newRow("silent") << QStringLiteral("silent") << false;
    }
    void replies()
    {
        QFETCH(QString, fault);
        QFETCH(bool, read);
        if (!fault.isEmpty())
            store.setFault(statusPath, fault, 0, QStringLiteral("chunk=16&gap=20"));
        WebCom client(nullptr);
        client.setTimeouts(shortLimits());
        bool ticked = false;
        QTimer::singleShot(50, [&] { ticked = true; });
        QByteArray got;
        bool called = false;
        const bool ok = client.startAndWaitNetRequest(
            StoreEndpoints::storeUrl(statusPath), {},
            [&](const QByteArray &body) { called = true; got = body; }, QStringLiteral("POST"));
        QCOMPARE(ok, read);
        QCOMPARE(called, read);
        if (read)
            QVERIFY(got.contains("<service_status>online</service_status>"));
        if (fault == QLatin1String("silent") || fault == QLatin1String("trickle"))
            QVERIFY(ticked);
    }

    // A second call during the wait is refused; the first one completes, and
    // the client then serves again with its own headers, also after the JSON
    // variant.
    void oneAtATimeAndHeaders()
    {
        store.setFault(statusPath, QStringLiteral("hold"), 1);
        WebCom client(nullptr);
        int refused = -1;
        QTimer::singleShot(100, [&] {
            refused = client.startAndWaitNetRequest(StoreEndpoints::storeUrl(statusPath), {}, {},
                                                    QStringLiteral("GET"));
            store.release(statusPath);
        });
        QVERIFY(client.startAndWaitNetRequest(StoreEndpoints::storeUrl(statusPath), "a=1", {},
                                              QStringLiteral("POST")));
        QCOMPARE(refused, 0);
        QVERIFY(client.startAndWaitNetRequestNew(StoreEndpoints::checkUrl(statusPath), "{}", {},
                                                 QStringLiteral("PUT")));
        QVERIFY(!client.startAndWaitNetRequest(StoreEndpoints::storeUrl(statusPath), {}, {},
                                               QStringLiteral("post")));
        QVERIFY(client.startAndWaitNetRequest(StoreEndpoints::storeUrl(statusPath), {}, {},
                                              QStringLiteral("GET")));

        const QList<TestStore::Request> seen = store.requests(statusPath);
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen[0].method, QStringLiteral("POST"));
        QCOMPARE(seen[0].body, QByteArray("a=1"));
        QCOMPARE(seen[1].headers.value("content-type"), QStringLiteral("application/json"));
        QCOMPARE(seen[1].headers.value("jw_token").size(), 105);
        QCOMPARE(seen[2].method, QStringLiteral("GET"));
        QVERIFY(!seen[2].headers.contains("jw_token"));
        for (const TestStore::Request &r : seen)
            QCOMPARE(r.headers.value("user-agent"), QStringLiteral("VelmarPC 0.0.0"));
        QCOMPARE(seen[2].headers.value("content-type"), QStringLiteral("application/x-www-form-urlencoded"));
    }

    void formValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::newRow("last") << "a=1&b=2" << "b" << "2";
        QTest::newRow("first") << "a=1&b=2" << "a" << "1";
        QTest::newRow("inside a longer key") << "xa=5" << "a" << QString();
        QTest::newRow("after a longer key") << "xa=5&a=6" << "a" << "6";
        QTest::newRow("missing") << "id=7&name=abc" << "nome" << QString();
    }
    void formValues()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QFETCH(QString, value);
        const QString got = WebCom::getVarValFromStringReply(text, name);
        QCOMPARE(got, value);
        QCOMPARE(got.isNull(), value.isNull());
    }
};

VELMAR_TEST(TestWebCom)
#include "tst_webcom.moc"
