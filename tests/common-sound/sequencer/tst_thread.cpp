// The engine on real threads: operations from another thread never deadlock,
// the Sequencer's signals reach the GUI thread, and after the start neither
// the sequencer thread nor the synthesizer's render allocates, locks or
// writes, through seeks, a pause and key changes too.
#include "MidiBassOutWrapper.h"
#include "RealTime.h"
#include "realtimeguard.h"
#include "rig.h"
#include "testutil.h"

#include <QtTest>

namespace {
constexpr int WAIT_MS = 20000;

// bars of 4/4 at usPerQuarter, a note on every beat with key 50 + beat.
std::vector<uint8_t> beatSong(int bars, uint32_t usPerQuarter)
{
    StreamBuilder b;
    b.tempo(0, usPerQuarter);
    b.grid(bars);
    for (int i = 0; i < bars * 4; ++i)
        b.note(uint32_t(i * 480), 240, 0, 50 + i % 60);
    b.end(uint32_t(bars * 1920));
    return b.build();
}

// Bars of 4/4 at 133 BPM (1.8 s each): a note every 7 ticks over 16
// channels, with controllers, pitch bends, program changes and a GS SysEx in
// every bar.
std::vector<uint8_t> denseSong(uint32_t bars)
{
    StreamBuilder b;
    b.tempo(0, 451127);
    b.grid(int(bars), 4);
    const uint32_t end = bars * 4 * 480;
    for (uint32_t t = 0, i = 0; t < end; t += 7, ++i) {
        const int ch = int(i % 16);
        b.note(t, 60, ch, 36 + int(i % 48), 40 + int(i % 80));
        if (i % 5 == 0)
            b.cc(t, ch, 11, int(i % 128));
        if (i % 9 == 0)
            b.pitchBend(t, ch, 0, int(i % 128));
        if (i % 97 == 0)
            b.program(t, ch, int(i % 128));
    }
    for (uint32_t bar = 0; bar < bars; ++bar)
        b.sysex(bar * 1920 + 3, {0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x33, uint8_t(40 + bar), 0x00, 0xF7});
    b.end(end);
    return b.build();
}
// The synthesizer on `sink`, behind the MIDI output layer and a sequencer
// (started by the test).
struct SynthChain {
    explicit SynthChain(std::unique_ptr<SynthAudioSink> sink) : synth(std::move(sink)), seq(Sequencer::Clock::Monotonic)
    {
        synth.setSoundFont("/usr/share/sounds/sf2/TimGM6mb.sf2");
        iface.initMidiOutPortsSound({&synth});
    }
    bool open()
    {
        if (!iface.openMidiBaseOutPorts(0, -1, -1, -1, -1, -1))
            return false;
        seq.setMidiInterface(&iface);
        seq.init();
        return true;
    }
    MidiBassOutWrapper synth;
    Sound::MidiInterface iface;
    Sequencer seq;
};
} // namespace

class TestThread : public QObject
{
    Q_OBJECT
private slots:
    void heldSectionsNeverDeadlock()
    {
        // A deadlock fails the run through Qt Test's own per-function watchdog.
        EngineRig rig(EngineRig::RealThread);
        // 32 bars at 1000 BPM: 60 ms a beat, long enough that the song is
        // still playing when the calls below, slow on a busy machine, seek.
        StreamBuilder b;
        b.tempo(0, 60000);
        b.grid(32);
        for (int i = 0; i < 128; ++i)
            b.note(uint32_t(i) * 480, 200, i % 3, 60 + i % 12);
        b.end(32 * 1920);
        SongSetup setup;
        setup.bars = &b;
        setup.programs[0] = setup.programs[1] = setup.programs[2] = 0;
        QVERIFY(rig.play(b.build(), false, setup));
        SEQUENCER_EX_ActionResume();
        QVERIFY(QTest::qWaitFor([] { return SEQUENCER_EX_GetCurrentBar() >= 1; }, WAIT_MS));

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
        QVERIFY(QTest::qWaitFor([&] { return rig.sigs.count("seekDone") > 0; }, WAIT_MS));
        rig.sigs.clear();
        QCOMPARE(SEQUENCER_EX_SeekBar(2, 0), 1);
        QVERIFY(QTest::qWaitFor([&] { return rig.sigs.count("seekDone") > 0; }, WAIT_MS));
        QCOMPARE(rig.sigs.named("seekDone")[0].a, 2);

        // An armed seek runs inside the tick: silencing and rewinding there
        // must not take the lock the tick already holds.
        rig.sigs.clear();
        QCOMPARE(SEQUENCER_EX_SeekBar(1, 4), 1);
        QVERIFY(QTest::qWaitFor([&] { return rig.sigs.count("seekDone") > 0; }, WAIT_MS));

        // So does the rewind at the end of the song.
        SEQUENCER_EX_RewindOnEOT(1);
        QVERIFY(QTest::qWaitFor([&] { return rig.sigs.count("songEnded") > 0; }, 30000));
        QVERIFY(QTest::qWaitFor([] { return SEQUENCER_EX_GetPause() == -1; }, 5000));
        QCOMPARE(SEQUENCER_EX_GetCurrentBar(), 0);

        SEQUENCER_EX_ActionResume();
        SEQUENCER_EX_ActionStop();
        QCOMPARE(int(SEQUENCER_EX_Stop()), 1);
        QCOMPARE(rig.sigs.count("stopAllSongs"), 1);
        QCOMPARE(rig.out[0].overlappingCalls(), 0);
    }

    void songPlaysToItsEndWithSignalsOnTheGuiThread()
    {
        SequencerRig rig(Sequencer::Clock::Monotonic);
        LoadedSong song;
        song.setStream(beatSong(2, 125000));
        song.setProgram(0, 0);
        QVERIFY(rig.seq->preloadMidiFile(&song.sd));
        rig.seq->setPause(false);
        QTRY_COMPARE_WITH_TIMEOUT(rig.sigs.count("songEnded"), 1, WAIT_MS);

        std::vector<int> keys;
        for (const TimedMessage &m : rig.noteOns(1))
            keys.push_back(m.bytes[1]);
        QCOMPARE(keys, (std::vector<int>{50, 51, 52, 53, 54, 55, 56, 57}));
        QCOMPARE(rig.sigs.values("bar"), (std::vector<int>{0, 1}));
        QCOMPARE(rig.sigs.values("beat"), (std::vector<int>{1, 2, 3, 1, 2, 3}));
        for (const SignalEvent &s : rig.sigs.all())
            QVERIFY2(s.onGuiThread, s.name.c_str());
    }

    // Destroying the Sequencer in the middle of a song joins the thread.
    void destroyWhilePlaying()
    {
        SequencerRig rig(Sequencer::Clock::Monotonic);
        std::atomic<bool> finished{false};
        connect(rig.seq.get(), &QThread::finished, rig.seq.get(), [&finished] { finished = true; },
                Qt::DirectConnection);
        LoadedSong song;
        song.setStream(beatSong(40, 500000));
        song.setProgram(0, 0);
        QVERIFY(rig.seq->playMidiFile(&song.sd));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.noteOns(1).empty(), WAIT_MS);
        rig.seq.reset();
        QVERIFY(finished);
        QVERIFY(sequencer == nullptr);
    }

    // The contract of the real-time threads, checked: while a dense song
    // plays, is sought back and forth, paused, resumed and changed in key,
    // neither the sequencer thread nor the synthesizer's render allocates,
    // frees, locks a mutex or writes (realtimeguard.h; FluidSynth's own
    // OpenMP team and API lock are counted apart and only reported): pulled
    // by a test device, and on the program's own road, RtAudio's thread
    // through the stream wrapper on a sound server of the test's own. Under
    // ThreadSanitizer, which counts nothing, the song still plays through
    // the synthesizer on the device's thread.
    void realTimeThreadsStayClean_data()
    {
        QTest::addColumn<bool>("rtAudio");
        QTest::newRow("test device") << false;
        QTest::newRow("RtAudio") << true;
    }
    void realTimeThreadsStayClean()
    {
        QFETCH(bool, rtAudio);
        // The sound server is a child process, which ThreadSanitizer's
        // runtime does not survive (the guard counts nothing there anyway).
        if (rtAudio && !RealTimeGuard::available())
            QSKIP("no real-time guard in this build");
        TestUtil::SoundServer server;
        if (rtAudio && !server.start())
            QSKIP("no PulseAudio server of the test's own");
        auto owned = std::make_unique<OfflineAudioSink>(44100);
        owned->setScheduled(true);
        OfflineAudioSink *sink = owned.get();
        SynthChain chain(rtAudio ? makeRtAudioSink() : std::unique_ptr<SynthAudioSink>(std::move(owned)));
        QVERIFY(chain.open());
        MidiBassOutWrapper &synth = chain.synth;
        Sequencer &seq = chain.seq;
        seq.ChangeMelodyMode(0);
        SignalLog sigs;
        sigs.listen(&seq);
        seq.sequencerStart();

        // The device: every few milliseconds the audio that has come due.
        std::atomic<bool> quit{false};
        std::atomic<uint64_t> renders{0};
        const SoftSynth *soft = synth.expander()->synth();
        std::thread device([&] {
            std::vector<float> buffer(2 * 4096);
            const double start = RealTime::nowMs();
            uint64_t pulled = 0;
            while (rtAudio && !quit.load()) {
                renders = soft->renderedFrames() / 256;
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
            while (!quit.load()) {
                const uint64_t due = uint64_t((RealTime::nowMs() - start) * 44.1) + 1024;
                for (; pulled + 256 <= due; pulled += 256, ++renders)
                    sink->pull(buffer.data(), 256);
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
        });

        SongSetup setup;
        for (int c = 0; c < 16; ++c)
            setup.programs[c] = c;
        QVERIFY(loadSongForTest(denseSong(6), false, setup));
        QTest::qWait(50);
        RealTimeGuard::arm(true);
        seq.setPause(false);
        const auto reaches = [&sigs](int bar) {
            return QTest::qWaitFor([&] { const auto b = sigs.values("bar"); return !b.empty() && b.back() >= bar; }, WAIT_MS);
        };
        QVERIFY(reaches(1));
        // Back to the top, then on to bar 3; a pause and a resume; a key
        // change each way.
        for (int bar : {0, 3}) {
            const int seeks = sigs.count("seekDone");
            QVERIFY(seq.seekBar(bar));
            QVERIFY(QTest::qWaitFor([&] { return sigs.count("seekDone") > seeks; }, WAIT_MS));
        }
        const uint64_t before = renders.load();
        seq.setPause(true);
        QVERIFY(QTest::qWaitFor([&] { return renders.load() > before + 20; }, WAIT_MS));
        seq.setPause(false);
        seq.SetDeltaTransposeCurrent(2);
        QVERIFY(reaches(4));
        seq.SetDeltaTransposeCurrent(-1);
        QTRY_VERIFY_WITH_TIMEOUT(sigs.count("songEnded") == 1, 60000);
        RealTimeGuard::arm(false);
        quit = true;
        device.join();
        seq.sequencerStop();

        if (RealTimeGuard::available()) {
            qInfo("FluidSynth's OpenMP region: %llu allocations and frees in %llu renders; its API lock: %llu",
                  static_cast<unsigned long long>(RealTimeGuard::openMpAllocations()),
                  static_cast<unsigned long long>(renders.load()),
                  static_cast<unsigned long long>(RealTimeGuard::fluidSynthLocks()));
            const QString ours = RealTimeGuard::report();
            QVERIFY2(ours.isEmpty(), qPrintable(ours));
        }
        QVERIFY(sigs.count("meter") > 0);
        QCOMPARE(sigs.values("bar").back(), 5);
        QCOMPARE(synth.expander()->synth()->droppedEvents(), uint64_t(0));
    }

    // The whole program held 0.8 s (stopped, as when swapped out) while the
    // synthesizer plays on a sound server: the sequencer woke that late, and
    // so did the audio callback, whose device catches up by itself; no room
    // is left for it afterwards (every start would be that much later). A
    // loop late on its own still counts.
    void heldProgramLeavesNoRoom()
    {
        // The hold comes from a child process (see realTimeThreadsStayClean).
        if (!RealTimeGuard::available())
            QSKIP("no real-time guard in this build");
        TestUtil::SoundServer server;
        if (!server.start())
            QSKIP("no PulseAudio server of the test's own");
        SynthChain chain(makeRtAudioSink());
        QVERIFY(chain.open());
        chain.seq.sequencerStart();
        const SoftSynth *soft = chain.synth.expander()->synth();
        const uint64_t rendered = soft->renderedFrames();
        QTRY_VERIFY_WITH_TIMEOUT(soft->renderedFrames() > rendered + 44100, WAIT_MS);

        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, longest = 0;
        QProcess hold;
        hold.start("/bin/sh", {"-c", QStringLiteral("kill -STOP %1; sleep 0.8; kill -CONT %1")
                                         .arg(QCoreApplication::applicationPid())});
        while (longest < 700 && clock.elapsed() < WAIT_MS) {
            QTest::qWait(5);
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        }
        QVERIFY2(longest >= 700, "the program was not held");
        // It may have ended, and been seen to, within the last wait.
        QVERIFY(hold.state() == QProcess::NotRunning || hold.waitForFinished());
        // The sequencer's lateness waits for the callbacks' word a moment.
        QTest::qWait(1000);
        QVERIFY2(RealTime::longWakeLatenessMs() < 400, qPrintable(QString::number(RealTime::longWakeLatenessMs())));
        chain.seq.sequencerStop();

        // A loop as late with the callbacks on time.
        RealTime::noteWakeLateness(800);
        clock.restart();
        while (clock.elapsed() < 400) {
            RealTime::noteWakeLateness(1);
            QTest::qWait(5);
        }
        QVERIFY(RealTime::longWakeLatenessMs() >= 800);
    }
};

VELMAR_TEST(TestThread)
#include "tst_thread.moc"
