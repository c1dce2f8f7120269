// What the karaoke display and the library rely on from the decoding helpers.
#include "Chord.h"
#include "logmsg.h"
#include "testutil.h"

#include <QtTest>

class TestDisplayServices : public QObject
{
    Q_OBJECT
private slots:
    void millisecondsToTicks_data()
    {
        QTest::addColumn<int>("ms");
        QTest::addColumn<int>("ticks");
        QTest::newRow("half a second") << 500 << 480;
        QTest::newRow("lyrics one second early") << -1000 << -960;
        QTest::newRow("truncated toward zero") << -1 << 0;
    }
    void millisecondsToTicks()
    {
        QFETCH(int, ms);
        QFETCH(int, ticks);
        QCOMPARE(int32_t(convertMilliSecondsTimeToTicks(ms, 480, 120)), ticks);
    }

    void transposeTellsRecognisedNames_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<bool>("recognised");
        QTest::newRow("C up two") << QByteArray("C") << QByteArray("D") << true;
        QTest::newRow("flat root") << QByteArray("Bb/D") << QByteArray("C/E") << true;
        QTest::newRow("E sharp") << QByteArray("E#") << QByteArray("E#") << false;
        QTest::newRow("no chord") << QByteArray("N.C.") << QByteArray("N.C.") << false;
        QTest::newRow("empty") << QByteArray("") << QByteArray("") << false;
    }
    void transposeTellsRecognisedNames()
    {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        QFETCH(bool, recognised);
        char buffer[CHORD_TEXT_SIZE] = {};
        QCOMPARE(Chord::TransposeChord(buffer, in.constData(), 2), recognised);
        QCOMPARE(QByteArray(buffer), out);
    }
};

VELMAR_TEST(TestDisplayServices)
#include "tst_displayservices.moc"
