// The real Sequencer thread playing a dense song into the software
// synthesizer (pulled by a device thread) with the window's signals
// connected: after the start, neither thread allocates, and the sequencer
// thread waits on no lock.
#include "MidiBassOutWrapper.h"
#include "MidiInterface.h"
#include "RealTime.h"
#include "allocationcounter.h"
#include "signalrecorder.h"
#include "songloader.h"
#include "testutil.h"

#include <QtTest>
#include <atomic>
#include <thread>

namespace {

// Four seconds at 133 BPM: a note every 7 ticks over 16 channels, with
// controllers, pitch bends, program changes and a GS SysEx in every bar.
std::vector<uint8_t> denseSong()
{
    StreamBuilder b;
    b.tempo(0, 451127);
    b.grid(3, 4);
    const uint32_t end = 3 * 4 * 480;
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
    for (uint32_t bar = 0; bar < 3; ++bar)
        b.sysex(bar * 1920 + 3, {0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x33, uint8_t(40 + bar), 0x00, 0xF7});
    b.end(end);
    return b.build();
}

} // namespace

class TestRealTime : public QObject
{
    Q_OBJECT
private slots:
    void denseSongAllocatesNothingOnTheRealTimeThreads()
    {
        if (!AllocationCounter::available())
            QSKIP("allocations are counted only outside ThreadSanitizer");
        auto owned = std::make_unique<OfflineAudioSink>(44100);
        owned->setScheduled(true);
        OfflineAudioSink *sink = owned.get();
        MidiBassOutWrapper synth(std::move(owned));
        synth.setSoundFont("/usr/share/sounds/sf2/TimGM6mb.sf2");
        Sound::MidiInterface iface;
        iface.initMidiOutPortsSound({&synth});
        QVERIFY(iface.openMidiBaseOutPorts(0, -1, -1, -1, -1, -1));
        Sequencer seq(Sequencer::Clock::Monotonic);
        seq.setMidiInterface(&iface);
        seq.init();
        seq.ChangeMelodyMode(0);
        SignalRecorder rec(&seq);
        seq.sequencerStart();

        // The device: every few milliseconds the audio that has come due.
        std::atomic<bool> quit{false};
        std::thread device([&] {
            AllocationCounter::markAudioThread();
            std::vector<float> buffer(2 * 4096);
            const double start = RealTime::nowMs();
            uint64_t pulled = 0;
            while (!quit.load()) {
                const uint64_t due = uint64_t((RealTime::nowMs() - start) * 44.1) + 1024;
                for (; pulled + 256 <= due; pulled += 256)
                    sink->pull(buffer.data(), 256);
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
        });

        SongSetup setup;
        for (int c = 0; c < 16; ++c)
            setup.programs[c] = c;
        QVERIFY(loadSongForTest(denseSong(), false, setup));
        QTest::qWait(50);
        AllocationCounter::arm(true);
        seq.setPause(false);
        QTRY_VERIFY_WITH_TIMEOUT(rec.count("fineBrano") == 1, 60000);
        AllocationCounter::arm(false);
        quit = true;
        device.join();
        seq.sequencerStop();

        QCOMPARE(AllocationCounter::allocations(), uint64_t(0));
        QCOMPARE(AllocationCounter::blockingLocks(), uint64_t(0));
        QVERIFY(rec.count("meter") > 0);
        QCOMPARE(rec.values("bar"), (QVector<int>{0, 1, 2}));
        QCOMPARE(synth.expander()->synth()->droppedEvents(), uint64_t(0));
        QVERIFY(synth.expander()->synth()->latencyFrames() > 0);
    }
};

VELMAR_TEST(TestRealTime)
#include "tst_realtime.moc"
