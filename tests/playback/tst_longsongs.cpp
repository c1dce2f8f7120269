// Songs far longer and denser than most, loaded through the song object and
// played by the real engine (simulated clock, recording outputs): every note
// at mido's time, every bar in the song's bar list, a seek far into the song;
// songs past the player's bounds refused with the reason.
#include "../common-sound/sequencer/sequencerrig.h"
#include "Song.h"
#include "SongObjects.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {
struct Note {
    double ms;
    int channel;
    int key;
    bool operator<(const Note &o) const { return std::tie(ms, channel, key) < std::tie(o.ms, o.channel, o.key); }
};

// A format-0 song of one track holding `events`, closed by its end.
QByteArray smf0(const QByteArray &events)
{
    const QByteArray body = events + QByteArray::fromHex("00ff2f00");
    QByteArray song = QByteArray::fromHex("4d546864000000060000000101e04d54726b");
    for (int shift = 24; shift >= 0; shift -= 8)
        song += char(body.size() >> shift);
    return song + body;
}
} // namespace

class TestLongSongs : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QJsonObject m_songs;
    std::unique_ptr<SequencerRig> m_rig;

    // Runs the engine's clock until the song in play has ended.
    bool playToEnd()
    {
        for (int s = 0; s < 3600; ++s) {
            m_rig->seq->advance(1000);
            QCoreApplication::processEvents();
            if (m_rig->sigs.count("songEnded") > 0)
                return true;
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        m_songs = QJsonDocument::fromJson(TestUtil::runPython("playback/make_long_songs.py", {m_dir.path()})).object();
        QCOMPARE(m_songs.size(), 2);
        Song::initSong();
    }
    void init() { m_rig = std::make_unique<SequencerRig>(); }
    void cleanup()
    {
        m_rig->seq->ActionStop();
        currSong->unloadSongFile();
        m_rig.reset();
    }

    void playAtMidoTime_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("1,500 bars of 2/4 and 6/8") << "long.mid";
        QTest::newRow("1.2 MB of events") << "dense.mid";
    }
    void playAtMidoTime()
    {
        QFETCH(QString, file);
        const QJsonObject song = m_songs[file].toObject();
        QVERIFY2(currSong->loadSongFile(m_dir.filePath(file)), qPrintable(currSong->refusal().cause));
        // Past what the player held before: 1000 bars, 1 MiB of events.
        QVERIFY(currSong->midiInfos().barCount > 1000 || currSong->stream()->streamLength > 1048576);
        QCOMPARE(int(currSong->lengthSeconds()), qRound(song["seconds"].toDouble()));
        // Every bar's start but the first, which has no mark, and every beat.
        const QList<BAR_BEAT_POS> &bars = currSong->barsBeats();
        QVERIFY(bars.last().bar >= song["bars"].toInt() - 1);
        QCOMPARE(std::count_if(bars.begin(), bars.end(), [](const BAR_BEAT_POS &b) { return b.beat == 0; }),
                 qsizetype(bars.last().bar));
        if (file == "long.mid")
            QCOMPARE(bars.size(), 1200 * 2 + 300 * 6 - 1);

        m_rig->seq->setPause(false);
        QVERIFY(playToEnd());
        std::vector<Note> expected, got;
        for (const QJsonValue &v : song["notes"].toArray()) {
            const QJsonArray a = v.toArray();
            expected.push_back({a[0].toDouble(), a[1].toInt(), a[2].toInt()});
        }
        const std::vector<TimedMessage> ons = m_rig->noteOns(1);
        for (const TimedMessage &m : ons)
            got.push_back({double(m.ms - ons[0].ms), m.bytes[0] & 15, m.bytes[1]});
        QCOMPARE(got.size(), expected.size());
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
        for (size_t i = 0; i < got.size(); ++i)
            QVERIFY2(got[i].channel == expected[i].channel && got[i].key == expected[i].key &&
                         std::fabs(got[i].ms - expected[i].ms) <= 1.0,
                     qPrintable(QStringLiteral("note %1: %2 ms channel %3 key %4, mido %5 ms channel %6 key %7")
                                    .arg(i).arg(got[i].ms).arg(got[i].channel).arg(got[i].key)
                                    .arg(expected[i].ms).arg(expected[i].channel).arg(expected[i].key)));
    }

    // A seek into bar 1,400 plays that bar: its mark first, and the bars of
    // bar 1,200 on, 6/8 at 200 BPM.
    void seekPastBar1000()
    {
        QVERIFY(currSong->loadSongFile(m_dir.filePath("long.mid")));
        QVERIFY(m_rig->seq->seekBar(1400));
        m_rig->seq->setPause(false);
        m_rig->seq->advance(1000);
        std::vector<TimedMessage> marks;
        for (const TimedMessage &m : m_rig->noteOns(1))
            if ((m.bytes[0] & 15) == 1)
                marks.push_back(m);
        QVERIFY(marks.size() >= 2);
        QCOMPARE(int(marks[0].bytes[1]), 36 + 1400 % 48);
        QCOMPARE(int(marks[1].bytes[1]), 36 + 1401 % 48);
        QCOMPARE(int(marks[1].ms - marks[0].ms), 900);
    }

    // One bar or one byte of events beyond the bounds: refused, and why.
    void pastTheBoundsRefused_data()
    {
        QTest::addColumn<QByteArray>("events");
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("limit");
        // Two notes 10,001 bars apart.
        QTest::newRow("10,001 bars") << QByteArray::fromHex("00903c408993ff00803c00") << int(SongRefusal::TooManyBars)
                                     << qint64(10000);
        // 16.8 MiB of one note struck and ended over and over.
        QTest::newRow("16.8 MiB of events") << QByteArray::fromHex("00903c4000803c00").repeated(2200000)
                                            << int(SongRefusal::TooManyEvents) << qint64(16 << 20);
    }
    void pastTheBoundsRefused()
    {
        QFETCH(QByteArray, events);
        QFETCH(int, kind);
        QFETCH(qint64, limit);
        const QString path = m_dir.filePath("past.mid");
        QVERIFY(TestUtil::writeFile(path, smf0(events)));
        QVERIFY(!currSong->loadSongFile(path));
        QVERIFY(!currSong->isLoaded());
        QCOMPARE(int(currSong->refusal().kind), kind);
        QCOMPARE(currSong->refusal().limit, limit);
    }
};

VELMAR_TEST(TestLongSongs)
#include "tst_longsongs.moc"
