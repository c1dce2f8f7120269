// The engine on a real tick thread: operations from another thread hold the
// engine and never deadlock, also when the tick itself reaches them.
#include "enginerig.h"
#include "sequencer_ex_p.h"
#include "testutil.h"

#include <QtTest>
#include <condition_variable>

namespace {
// Fails the whole run when the test does not finish: a deadlock would
// otherwise hang it.
class Watchdog
{
public:
    explicit Watchdog(int seconds)
        : m_thread([this, seconds] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_cv.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_done; }))
                  qFatal("engine deadlocked");
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
    std::thread m_thread;
};
} // namespace

class TestThread : public QObject
{
    Q_OBJECT
private slots:
    void heldSectionsNeverDeadlock()
    {
        Watchdog watchdog(120);
        EngineRig rig(EngineRig::RealThread);
        // 8 bars at 1000 BPM: 60 ms a beat.
        StreamBuilder b;
        b.tempo(0, 60000);
        b.grid(8);
        for (int i = 0; i < 32; ++i)
            b.note(uint32_t(i) * 480, 200, i % 3, 60 + i % 12);
        b.end(8 * 1920);
        SongSetup setup;
        setup.bars = &b;
        setup.programs[0] = setup.programs[1] = setup.programs[2] = 0;
        QVERIFY(rig.play(b.build(), false, setup));
        SEQUENCER_EX_ActionResume();
        QVERIFY(EngineRig::waitFor([] { return SEQUENCER_EX_GetCurrentBar() >= 1; }, 20000));

        // Operations from this thread while the tick runs.
        for (int round = 0; round < 20; ++round) {
            SEQUENCER_EX_SetDeltaBpmCurrent(round % 5);
            SEQUENCER_EX_SetDeltaTransposeCurrent(round % 3);
            SEQUENCER_EX_SetSlidersValue(round % 6, 20 + round);
            SEQUENCER_EX_ActionPause();
            SEQUENCER_EX_ActionResume();
            SEQUENCER_EX_StopSoundChan(round % 32);
            SEQUENCER_EX_SendHarmAllNoteOff();
        }
        rig.sigs.clear();
        QCOMPARE(SEQUENCER_EX_SeekBar(5, 0), 1);
        // Key and tempo change while the seek arrives on the tick thread, with
        // no wait on the tick between two calls: the ThreadSanitizer build
        // reports any access the engine hold does not cover.
        for (int calls = 0; calls < 2; calls += SEQUENCER_EX_GetCurrentBar() >= 5) {
            SEQUENCER_EX_SetDeltaTransposeCurrent(calls);
            SEQUENCER_EX_SetDeltaBpmCurrent(calls);
        }
        QVERIFY(EngineRig::waitFor([&] { return rig.sigs.count("seekDone") > 0; }, 20000));
        rig.sigs.clear();
        QCOMPARE(SEQUENCER_EX_SeekBar(2, 0), 1);
        QVERIFY(EngineRig::waitFor([&] { return rig.sigs.count("seekDone") > 0; }, 20000));
        QCOMPARE(rig.sigs.named("seekDone")[0].a, 2);

        // An armed seek runs inside the tick: silencing and rewinding there
        // must not take the lock the tick already holds.
        rig.sigs.clear();
        QCOMPARE(SEQUENCER_EX_SeekBar(1, 4), 1);
        QVERIFY(EngineRig::waitFor([&] { return rig.sigs.count("seekDone") > 0; }, 20000));

        // So does the rewind at the end of the song.
        SEQUENCER_EX_RewindOnEOT(1);
        QVERIFY(EngineRig::waitFor([&] { return rig.sigs.count("fineBrano") > 0; }, 30000));
        QVERIFY(EngineRig::waitFor([] { return SEQUENCER_EX_GetPause() == -1; }, 5000));
        QCOMPARE(SEQUENCER_EX_GetCurrentBar(), 0);

        SEQUENCER_EX_ActionResume();
        SEQUENCER_EX_ActionStop();
        QCOMPARE(int(SEQUENCER_EX_Stop()), 1);
        QCOMPARE(rig.sigs.count("stopAllSongs"), 1);
        QCOMPARE(rig.out[0].overlappingCalls(), 0);
    }
};

VELMAR_TEST(TestThread)
#include "tst_thread.moc"
