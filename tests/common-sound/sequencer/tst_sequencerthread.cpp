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
