// Real MIDI files made with mido, normalised by the decoder and played on the
// simulated clock: every note leaves at mido's time of it (within 1 ms) and
// in mido's order.
#include "ExtractProc.h"
#include "enginerig.h"
#include "play_ex.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <tuple>

namespace {
struct Note {
    double ms;
    int channel;
    int key;
};

bool byTime(const Note &a, const Note &b)
{
    return std::tie(a.ms, a.channel, a.key) < std::tie(b.ms, b.channel, b.key);
}
} // namespace

class TestMidoSongs : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QJsonObject m_expected;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QByteArray json = TestUtil::runPython(QStringLiteral("common-sound/sequencer/gen_songs.py"),
                                                    {m_dir.path()});
        m_expected = QJsonDocument::fromJson(json).object();
        QVERIFY(!m_expected.isEmpty());
    }

    void playsAtMidoTime_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("tempo and time-signature changes") << "tempo_meter.mid";
        QTest::newRow("16 channels") << "sixteen_channels.mid";
        QTest::newRow("running status, division 96") << "running_status.mid";
    }
    void playsAtMidoTime()
    {
        QFETCH(QString, file);
        const QByteArray bytes = TestUtil::readFile(m_dir.filePath(file));
        QVERIFY(!bytes.isEmpty());
        LoadedSong song;
        const int length = song.normalise(bytes);
        QVERIFY2(length > 0, qPrintable(QStringLiteral("error %1").arg(getLoadingError())));

        EngineRig rig;
        QCOMPARE(PLAY_EX_PlayProcedure(0, &song.sd), 1);
        SEQUENCER_EX_SetMelodyMode(0);
        QVERIFY(rig.playToEnd());

        std::vector<Note> expected;
        for (const QJsonValue &v : m_expected.value(file).toArray()) {
            const QJsonArray a = v.toArray();
            expected.push_back({a[0].toDouble(), a[1].toInt(), a[2].toInt()});
        }
        std::vector<Note> got;
        for (const TimedMessage &m : rig.noteOns(1))
            got.push_back({double(m.ms), m.bytes[0] & 15, m.bytes[1]});
        QCOMPARE(got.size(), expected.size());
        const double t0 = got[0].ms;
        for (Note &n : got)
            n.ms -= t0;
        // Sent order is song order: times never go back.
        for (size_t i = 1; i < got.size(); ++i)
            QVERIFY(got[i].ms >= got[i - 1].ms);
        std::stable_sort(got.begin(), got.end(), byTime);
        std::stable_sort(expected.begin(), expected.end(), byTime);
        for (size_t i = 0; i < got.size(); ++i) {
            const QString where = QStringLiteral("%1 note %2: got %3 ms ch %4 key %5, mido %6 ms ch %7 key %8")
                                      .arg(file).arg(i).arg(got[i].ms).arg(got[i].channel).arg(got[i].key)
                                      .arg(expected[i].ms).arg(expected[i].channel).arg(expected[i].key);
            QVERIFY2(got[i].channel == expected[i].channel && got[i].key == expected[i].key, qPrintable(where));
            QVERIFY2(std::fabs(got[i].ms - expected[i].ms) <= 1.0, qPrintable(where));
        }
    }
};

VELMAR_TEST(TestMidoSongs)
#include "tst_midosongs.moc"
