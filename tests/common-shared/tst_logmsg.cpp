#include "logmsg.h"
#include "testutil.h"

#include <QtTest>
#include <cstring>

namespace {
struct Captured {
    QtMsgType type;
    QString text;
};
QList<Captured> g_captured;

void capture(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    g_captured.append({type, msg});
}
} // namespace

class TestLogMsg : public QObject
{
    Q_OBJECT
private slots:
    void levels_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("type");
        QTest::newRow("negative") << -1 << int(QtCriticalMsg);
        QTest::newRow("2") << 2 << int(QtWarningMsg);
        QTest::newRow("4") << 4 << int(QtDebugMsg);
        QTest::newRow("5 dropped") << 5 << -1;
    }
    void levels()
    {
        QFETCH(int, level);
        QFETCH(int, type);
        g_captured.clear();
        QtMessageHandler old = qInstallMessageHandler(capture);
        logMsg(level, "../common-extract/ExtractProc", 42, "value %d of %s", 7, "song");
        qInstallMessageHandler(old);
        if (type < 0) {
            QCOMPARE(g_captured.size(), 0);
            return;
        }
        QCOMPARE(g_captured.size(), 1);
        QCOMPARE(int(g_captured[0].type), type);
        QVERIFY2(g_captured[0].text.contains(
                     QRegularExpression(QStringLiteral(
                         "^\\[\\d+\\] \\.\\./common-extract/ExtractProc: \\(42\\) : value 7 of song$"))),
                 qPrintable(g_captured[0].text));
    }
    void longAndNullTexts()
    {
        g_captured.clear();
        QtMessageHandler old = qInstallMessageHandler(capture);
        const QByteArray big(5000, 'x');
        logMsg(2, nullptr, 1, "%s", big.constData());
        qInstallMessageHandler(old);
        QCOMPARE(g_captured.size(), 1);
        QVERIFY(g_captured[0].text.endsWith(QString::fromLatin1(big)));
        QVERIFY(g_captured[0].text.contains(QStringLiteral("] : (1) : ")));
    }
    void helpers()
    {
        char buf[16];
        QCOMPARE(QByteArray(_itoa_k(999, buf)), QByteArray("999"));
        QCOMPARE(QByteArray(_itoa_k(1005, buf)), QByteArray("1.005"));
        QCOMPARE(convertTicksTimeToMilliSeconds(480, 480, 120), 500u);
        QCOMPARE(convertMilliSecondsTimeToTicks(500, 480, 120), 480u);
        // lyrics placed before the song start stay negative, truncated toward zero
        QCOMPARE(int32_t(convertMilliSecondsTimeToTicks(-1000, 480, 120)), -960);
        QCOMPARE(int32_t(convertMilliSecondsTimeToTicks(-1, 480, 120)), 0);
        QCOMPARE(convertTicksTimeToMilliSeconds(480, 0, 120), 0u);
        QCOMPARE(convertTicksTimeToMilliSeconds(480, 480, 0), 0u);
        QVERIFY(isAlphaNumChar('z') && isAlphaNumChar('0') && !isAlphaNumChar('_'));

        QByteArray s(150, 'a');
        strupr(s.data());
        QCOMPARE(s.count('A'), 100);
        QCOMPARE(s.count('a'), 50);
        strlwr_s(s.data(), 10);
        QCOMPARE(s.count('a'), 60);
        char mixed[] = "AbC dE";
        strupr_s(mixed, 100);
        QCOMPARE(QByteArray(mixed), QByteArray("ABC DE"));
        QCOMPARE(QByteArray(strlwr(mixed)), QByteArray("abc de"));
    }
};

VELMAR_TEST(TestLogMsg)
#include "tst_logmsg.moc"
