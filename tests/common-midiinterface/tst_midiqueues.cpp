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

int seqOf(const Bytes &m, int hiPos)
{
    return (m[hiPos] << 7) | m[hiPos + 1];
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

    // Two writers send at once and queue on outputs 1, 2 and 4 while the
    // drain loop runs.
    void twoWritersAndTheDrainLoop()
    {
        MidiFixture f;
        constexpr int kRounds = 1500;
        std::atomic<int> running{2};
        std::atomic<bool> done{false};
        auto writer = [&](int w) {
            for (int s = 0; s < kRounds; ++s) {
                const auto hi = static_cast<unsigned char>(s >> 7), lo = static_cast<unsigned char>(s & 127);
                const unsigned char cc = static_cast<unsigned char>(0xB0 | w);
                const unsigned char direct[] = {cc, 0x14, hi, cc, 0x15, lo, cc, 0x16, 0x00};
                CINTERFACE_SendMidiEvent1(direct, sizeof direct);
                const unsigned char notes[] = {static_cast<unsigned char>(0x90 | w), hi, lo,
                                               static_cast<unsigned char>(0x80 | w), hi, lo};
                CINTERFACE_QueueMidiEvent1(notes, sizeof notes);
                const Bytes sx = sysEx(w, s);
                CINTERFACE_QueueMidiEvent2(sx.data(), int(sx.size()));
                const unsigned char prg[] = {static_cast<unsigned char>(0xC0 | w), lo};
                CINTERFACE_SendMidiEvent2(prg, sizeof prg);
                const unsigned char at[] = {static_cast<unsigned char>(0xA0 | w), hi, lo};
                CINTERFACE_QueueMidiEvent4(at, sizeof at);
            }
            if (--running == 0)
                done = true;
        };
        std::thread drain([&] { drainUntil(f.mi.get(), done); });
        std::thread w0(writer, 0), w1(writer, 1);
        w0.join();
        w1.join();
        drain.join();

        for (auto &o : f.out)
            QCOMPARE(o.overlappingCalls(), 0);

        // Output 1: strings sent at once stay together; queued pairs too.
        std::map<int, int> nextDirect, nextQueued;
        std::vector<Bytes> direct, queued;
        for (const Bytes &m : f.out[0].messageBytes()) {
            QCOMPARE(m.size(), size_t(3));
            ((m[0] & 0xF0) == 0xB0 ? direct : queued).push_back(m);
        }
        QCOMPARE(direct.size(), size_t(2 * kRounds * 3));
        QCOMPARE(queued.size(), size_t(2 * kRounds * 2));
        for (size_t i = 0; i < direct.size(); i += 3) {
            const int w = direct[i][0] & 15;
            const int s = (direct[i][2] << 7) | direct[i + 1][2];
            QVERIFY2(direct[i][1] == 0x14 && direct[i + 1][1] == 0x15 && direct[i + 2][1] == 0x16
                         && direct[i + 1][0] == direct[i][0] && direct[i + 2][0] == direct[i][0],
                     qPrintable(QStringLiteral("string broken at %1").arg(i)));
            QCOMPARE(s, nextDirect[w]++);
        }
        for (size_t i = 0; i < queued.size(); i += 2) {
            const int w = queued[i][0] & 15;
            QCOMPARE(queued[i][0] & 0xF0, 0x90);
            QCOMPARE(int(queued[i + 1][0]), 0x80 | w);
            QCOMPARE(seqOf(queued[i], 1), nextQueued[w]);
            QCOMPARE(seqOf(queued[i + 1], 1), nextQueued[w]++);
        }

        // Output 2: every SysEx whole, each writer's in order.
        std::map<int, int> nextSysEx, nextPrg;
        size_t sysExCount = 0;
        for (const Bytes &m : f.out[1].messageBytes()) {
            if (m[0] == 0xF0) {
                const int w = m[2];
                const int s = seqOf(m, 3);
                QVERIFY2(m == sysEx(w, s), qPrintable(hexText(m).left(60)));
                QCOMPARE(s, nextSysEx[w]++);
                ++sysExCount;
            } else {
                QCOMPARE(m.size(), size_t(2));
                QCOMPARE(int(m[1]), nextPrg[m[0] & 15]++ & 127);
            }
        }
        QCOMPARE(sysExCount, size_t(2 * kRounds));

        // Output 4: each writer's messages in order.
        std::map<int, int> next4;
        const auto out4 = f.out[3].messageBytes();
        QCOMPARE(out4.size(), size_t(2 * kRounds));
        for (const Bytes &m : out4)
            QCOMPARE(seqOf(m, 1), next4[m[0] & 15]++);
        for (int o : {1, 2, 4})
            QCOMPARE(f.mi->queuedCount(o), 0);
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
