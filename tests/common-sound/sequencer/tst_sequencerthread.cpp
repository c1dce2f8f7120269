// The Sequencer on its own thread against the real clock. Only order and
// arrival are checked here, never timing.
#include "cinterface.h"
#include "loadedsong.h"
#include "sequencer_ex.h"
#include "sequencerrig.h"
#include "signalrecorder.h"
#include "streambuilder.h"
#include "testutil.h"

#include <QtTest>
#include <atomic>

namespace {
constexpr int WAIT_MS = 20000;

// Two bars of 4/4 at 480 BPM (a second), a note on every beat with key
// 50 + beat number.
std::vector<uint8_t> shortSong()
{
    StreamBuilder b;
    b.tempo(0, 125000);
    b.grid(2);
    for (int i = 0; i < 8; ++i)
        b.note(uint32_t(i * 480), 240, 0, 50 + i);
    b.end(8 * 480);
    return b.build();
}

// Bars of 120 BPM, the notes of bar b with key 30 + b.
std::vector<uint8_t> longSong(int bars)
{
    StreamBuilder b;
    b.grid(bars);
    for (int bar = 0; bar < bars; ++bar)
        for (int beat = 0; beat < 4; ++beat)
            b.note(uint32_t(bar * 1920 + beat * 480), 240, 0, 30 + bar);
    b.end(uint32_t(bars * 1920));
    return b.build();
}

std::vector<int> keys(const std::vector<TimedBytes> &ons)
{
    std::vector<int> r;
    for (const TimedBytes &m : ons)
        r.push_back(m.bytes[1]);
    return r;
}
} // namespace

class TestSequencerThread : public QObject
{
    Q_OBJECT
private slots:
    void songPlaysToItsEndWithSignalsOnTheGuiThread()
    {
        SequencerRig rig(Sequencer::Clock::Monotonic);
        SignalRecorder rec(rig.seq.get());
        LoadedSong song;
        song.setStream(shortSong());
        song.setProgram(0, 0);
        QVERIFY(rig.seq->preloadMidiFile(&song.sd));
        rig.seq->setPause(false);
        QTRY_COMPARE_WITH_TIMEOUT(rec.count("fineBrano"), 1, WAIT_MS);

        QCOMPARE(keys(rig.noteOns(1)), (std::vector<int>{50, 51, 52, 53, 54, 55, 56, 57}));
        QVERIFY(rig.noteOns(2).empty());
        QCOMPARE(rec.values("bar"), (QVector<int>{0, 1}));
        QCOMPARE(rec.values("beat"), (QVector<int>{1, 2, 3, 1, 2, 3}));
        QVERIFY(rec.values("origBpm").contains(480));
        QCOMPARE(rec.sequence({"bar", "fineBrano"}).last(), QStringLiteral("fineBrano"));
        for (const ArrivedSignal &s : rec.all())
            QVERIFY2(s.onGuiThread, qPrintable(s.name));
    }

    void facadeWhilePlaying()
    {
        SequencerRig rig(Sequencer::Clock::Monotonic);
        SignalRecorder rec(rig.seq.get());
        LoadedSong song;
        song.setStream(longSong(40));
        song.setProgram(0, 0);
        QVERIFY(rig.seq->preloadMidiFile(&song.sd));
        rig.seq->setPause(false);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.noteOns(1).empty(), WAIT_MS);

        // Forward: nothing before bar 20 plays after the call.
        rig.seq->seekBar(20);
        rig.clear();
        QTRY_COMPARE_WITH_TIMEOUT(rec.count("seekDone"), 1, WAIT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.noteOns(1).empty(), WAIT_MS);
        QCOMPARE(rig.noteOns(1).front().bytes[1], uint8_t(50));

        // Transpose: every note after the call is shifted.
        rig.seq->SetDeltaTransposeCurrent(5);
        rig.clear();
        QTRY_VERIFY_WITH_TIMEOUT(rig.noteOns(1).size() >= 2, WAIT_MS);
        for (int k : keys(rig.noteOns(1)))
            QVERIFY2(k >= 55, qPrintable(QString::number(k)));

        rig.seq->SetDeltaBpmCurrent(20);
        QTRY_VERIFY_WITH_TIMEOUT(rec.values("origBpm").contains(140), WAIT_MS);

        // Back to the top.
        rec.clear();
        rig.seq->seekBar(0);
        rig.clear();
        QTRY_COMPARE_WITH_TIMEOUT(rec.count("seekDone"), 1, WAIT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.noteOns(1).empty(), WAIT_MS);
        QCOMPARE(rig.noteOns(1).front().bytes[1], uint8_t(35));

        // Pause and resume: the song goes on from where it stood.
        rig.seq->setPause(true);
        QCOMPARE(SEQUENCER_EX_GetPause(), -1);
        const int barsBefore = rec.count("bar");
        rig.seq->setPause(false);
        QTRY_VERIFY_WITH_TIMEOUT(rec.count("bar") > barsBefore, WAIT_MS);

        rig.seq->requestStop();
        QVERIFY(!SEQUENCER_EX_IsRunning());
        const auto lastTwo = [&rec] {
            const QStringList seq = rec.sequence({"stopAllSongs", "position"});
            return seq.mid(seq.size() - 2);
        };
        QTRY_COMPARE_WITH_TIMEOUT(lastTwo(), (QStringList{"stopAllSongs", "position"}), WAIT_MS);
        QCOMPARE(rec.values("position").last(), 0);
        for (const ArrivedSignal &s : rec.all())
            QVERIFY2(s.onGuiThread, qPrintable(s.name));
    }

    void queuesDrainOnTheThread()
    {
        SequencerRig rig(Sequencer::Clock::Monotonic);
        const unsigned char nrpn[] = {0xB0, 0x63, 0x37, 0xB0, 0x62, 0x07, 0xB0, 0x06, 0x40};
        const unsigned char four[] = {0x99, 0x38, 0x40};
        CINTERFACE_QueueMidiEvent1(nrpn, 9);
        CINTERFACE_QueueMidiEvent4(four, 3);
        CINTERFACE_QueueMidiEvent5(four, 3);
        QTRY_COMPARE_WITH_TIMEOUT(rig.iface.queuedCount(1), 0, WAIT_MS);
        QTRY_COMPARE_WITH_TIMEOUT(rig.iface.queuedCount(4), 0, WAIT_MS);
        QCOMPARE(int(rig.messages(1).size()), 3);
        QCOMPARE(rig.messages(1).back().bytes, (std::vector<unsigned char>{0xB0, 0x06, 0x40}));
        QCOMPARE(rig.iface.queuedCount(5), 1);
    }

    // Destroying the Sequencer in the middle of a song joins the thread.
    void destroyWhilePlaying()
    {
        auto rig = std::make_unique<SequencerRig>(Sequencer::Clock::Monotonic);
        std::atomic<bool> finished{false};
        connect(rig->seq.get(), &QThread::finished, rig->seq.get(), [&finished] { finished = true; },
                Qt::DirectConnection);
        LoadedSong song;
        song.setStream(longSong(40));
        song.setProgram(0, 0);
        QVERIFY(rig->seq->playMidiFile(&song.sd));
        QTRY_VERIFY_WITH_TIMEOUT(!rig->noteOns(1).empty(), WAIT_MS);
        QVERIFY(rig->seq->isRunning());
        rig->seq.reset();
        QVERIFY(finished);
        QVERIFY(sequencer == nullptr);
        rig.reset();
    }

    void stopAndJoin()
    {
        SequencerRig rig(Sequencer::Clock::Monotonic);
        QVERIFY(rig.seq->isRunning());
        rig.seq->sequencerStop();
        QVERIFY(rig.seq->isFinished());
    }
};

VELMAR_TEST(TestSequencerThread)
#include "tst_sequencerthread.moc"
