// Messages written from several threads at once: the queue and port mutexes
// must keep every message whole and every string in order. Bounded loops, no
// timing: each test ends when all writers have finished and the queues are
// empty.
#include "cinterface.h"
#include "midi_fixture.h"
#include "testutil.h"

#include <QtTest>
#include <atomic>
#include <map>
#include <thread>

namespace {

Bytes sysEx(int writer, int seq)
{
    // Length varies with seq so that short and long SysEx mix.
    Bytes m{0xF0, 0x7D, static_cast<unsigned char>(writer), static_cast<unsigned char>(seq >> 7),
            static_cast<unsigned char>(seq & 127)};
    const int extra = (seq * 37) % 300;
    for (int i = 0; i < extra; ++i)
        m.push_back(static_cast<unsigned char>((seq + i) & 127));
    m.push_back(0xF7);
    return m;
}

// Runs the drain loop (queues 1, 2, 4 as the Sequencer does) until done is set
// and every queue is empty.
void drainUntil(Sound::MidiInterface *mi, const std::atomic<bool> &done)
{
    for (;;) {
        const bool finished = done.load();
        bool any = false;
        for (int o : {1, 2, 4})
            any |= mi->sendFirstQueued(o);
        if (!any) {
            if (finished)
                return;
            std::this_thread::yield();
        }
    }
}

} // namespace

class TestMidiQueues : public QObject
{
    Q_OBJECT
private slots:
    void queuedInOneThreadSentFromAnother()
    {
        MidiFixture f;
        constexpr int kStrings = 3000;
        std::vector<Bytes> expected;
        for (int s = 0; s < kStrings; ++s) {
            if (s % 2) {
                expected.push_back(sysEx(0, s));
            } else {
                const auto hi = static_cast<unsigned char>(s >> 7), lo = static_cast<unsigned char>(s & 127);
                expected.push_back({0xB0, 0x14, hi});
                expected.push_back({0xB0, 0x15, lo});
                expected.push_back({0xB0, 0x16, 0x00});
            }
        }
        std::atomic<bool> done{false};
        std::thread producer([&] {
            for (int s = 0; s < kStrings; ++s) {
                Bytes str;
                if (s % 2) {
                    str = sysEx(0, s);
                } else {
                    const auto hi = static_cast<unsigned char>(s >> 7), lo = static_cast<unsigned char>(s & 127);
                    str = {0xB0, 0x14, hi, 0xB0, 0x15, lo, 0xB0, 0x16, 0x00};
                }
                CINTERFACE_QueueMidiEvent1(str.data(), int(str.size()));
                // The caller's buffer may be reused at once.
                std::fill(str.begin(), str.end(), 0);
            }
            done = true;
        });
        std::thread consumer([&] { drainUntil(f.mi.get(), done); });
        producer.join();
        consumer.join();
        const auto got = f.out[0].messageBytes();
        QCOMPARE(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i)
            QVERIFY2(got[i] == expected[i], qPrintable(QStringLiteral("message %1: %2 instead of %3")
                                                           .arg(i)
                                                           .arg(hexText(got[i]).left(60))
                                                           .arg(hexText(expected[i]).left(60))));
        QCOMPARE(f.out[0].overlappingCalls(), 0);
    }

    // Binding, opening and closing output 1 while another thread writes to
    // it: no device call may overlap a send, and nothing deadlocks.
    void rebindingWhileSending()
    {
        MidiFixture f(0);
        RecordingMidiOutput a, b;
        f.mi->initMidiOutPortsSound({&a});
        MIDI_CONTROLS_Config_GS_Reset(1);
        std::atomic<bool> stop{false};
        std::atomic<bool> writerDone{false};
        std::thread writer([&] {
            int s = 0;
            while (!stop.load()) {
                const unsigned char msg[] = {0x90, static_cast<unsigned char>(s & 127), 0x40,
                                             0x80, static_cast<unsigned char>(s & 127), 0x00};
                CINTERFACE_SendMidiEvent1(msg, sizeof msg);
                CINTERFACE_QueueMidiEvent1(msg, sizeof msg);
                ++s;
            }
            writerDone = true;
        });
        std::thread drain([&] { drainUntil(f.mi.get(), writerDone); });
        for (int i = 0; i < 300; ++i) {
            f.mi->closeMidiBaseOutPorts();
            f.mi->initMidiOutPortsSound({i % 2 ? &a : &b});
            QVERIFY(f.mi->openMidiBaseOutPorts(i, -1, -1, -1, -1, -1));
        }
        stop = true;
        writer.join();
        drain.join();
        MIDI_CONTROLS_Config_GS_Reset(0);
        QCOMPARE(a.overlappingCalls(), 0);
        QCOMPARE(b.overlappingCalls(), 0);
        QCOMPARE(a.openCount() + b.openCount(), 300);
        for (RecordingMidiOutput *o : {&a, &b})
            for (const Bytes &m : o->messageBytes())
                QVERIFY2(m.size() == 3 || m == Bytes(GM_RESET, GM_RESET + 6)
                             || m == Bytes(GS_RESET, GS_RESET + 11),
                         qPrintable(hexText(m)));
    }
};

VELMAR_TEST(TestMidiQueues)
#include "tst_midiqueues.moc"
