// The output layer with recording devices: how it cuts, rewrites, queues and
// routes what the engine and the controls send, and messages written from
// several threads at once. Expected bytes are worked out by hand from the
// MIDI 1.0 and GS documents; GS checksums are 128 minus (address + data)
// modulo 128.
#include "cinterface.h"
#include "midi_fixture.h"
#include "testutil.h"

#include <QtTest>
#include <atomic>
#include <functional>
#include <thread>

using Action = std::function<void()>;
Q_DECLARE_METATYPE(Action)

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

class TestMidiOutput : public QObject
{
    Q_OBJECT
private slots:
    void nothingForEmptyOrWithoutInterface()
    {
        const Bytes data = hexBytes(QStringLiteral("90 3C 64"));
        {
            MidiFixture f;
            CINTERFACE_SendMidiEvent1(data.data(), 0);
            CINTERFACE_SendMidiEvent2(data.data(), -3);
            CINTERFACE_QueueMidiEvent1(data.data(), 0);
            CINTERFACE_SendMidiString(MidiOutput::of<1>(), data.data(), 0);
            QCOMPARE(f.mi->queuedCount(1), 0);
            QCOMPARE(f.received(), QString());
            QCOMPARE(f.mi->queuedCount(3), 0);
            QVERIFY(!f.mi->sendFirstQueued(3));
        }
        QVERIFY(MidiInterface_static == nullptr);
        CINTERFACE_SendMidiEvent1(data.data(), 3);
        CINTERFACE_QueueMidiEvent4(data.data(), 3);
        CINTERFACE_SendMidiString(MidiOutput::of<1>(), data.data(), 3);
        MIDI_CONTROLS_Push_Reset(1);
        sendMidiReverb(1);
    }

    void openOutputs()
    {
        {
            // Six times -1: nothing opened, resets on outputs 1 and 2 only.
            MidiFixture f;
            MIDI_CONTROLS_Config_GS_Reset(1);
            QVERIFY(f.mi->openMidiBaseOutPorts(-1, -1, -1, -1, -1, -1));
            const QString reset = QStringLiteral("F0 7E 7F 09 01 F7 | F0 41 10 42 12 40 00 7F 00 41 F7");
            QCOMPARE(f.received(), QStringLiteral("1: %1  2: %1").arg(reset));
            for (auto &o : f.out)
                QCOMPARE(o.openCount(), 0);
            MIDI_CONTROLS_Config_GS_Reset(0);
        }
        {
            // Output 1 unbound: false at once, no reset anywhere.
            MidiFixture f(0);
            RecordingMidiOutput two;
            f.mi->initMidiOutPortsSound({nullptr, &two});
            QVERIFY(!f.mi->openMidiBaseOutPorts(5, -1, -1, -1, -1, -1));
            QCOMPARE(two.messageCount(), size_t(0));
        }
        {
            // Output 2 fails: it is unbound; output 1 was opened and reset;
            // output 3 is not tried.
            MidiFixture f;
            f.out[1].setOpenResult(3);
            QVERIFY(!f.mi->openMidiBaseOutPorts(1000, 4, 2, -1, -1, -1));
            QVERIFY(f.out[0].isOpen());
            QCOMPARE(f.out[0].lastOpenedPort(), 1000);
            QCOMPARE(f.out[1].openCount(), 1);
            QCOMPARE(f.out[2].openCount(), 0);
            QCOMPARE(f.received(), QStringLiteral("1: F0 7E 7F 09 01 F7"));
            Bytes msg = hexBytes(QStringLiteral("90 3C 64"));
            f.mi->sendMidiEventWrapper2(&msg);
            QCOMPARE(f.out[1].sendCalls(), 0);
        }
    }

    void messages_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("expected");

        auto row = [](const char *name, Action a, const char *expected) {
            QTest::newRow(name) << a << QString::fromLatin1(expected);
        };
        row("reset on output 2, GS on",
            [] {
                MIDI_CONTROLS_Config_GS_Reset(1);
                MIDI_CONTROLS_Push_Reset(2);
            },
            "2: F0 7E 7F 09 01 F7 | F0 41 10 42 12 40 00 7F 00 41 F7");
        row("reset on output 5 sends nothing",
            [] {
                MIDI_CONTROLS_Config_GS_Reset(1);
                MIDI_CONTROLS_Push_Reset(5);
                MIDI_CONTROLS_Push_Reset(0);
            },
            "");
        // Outputs 1 and 2 scale Master Volume by 0.7: 127 -> 88 (58), 72 -> 50 (32).
        row("master volume on output 1", [] { MIDI_CONTROLS_PushSysExVol(127, MidiOutput::of<1>()); },
            "1: F0 7F 7F 04 01 00 58 F7");
        row("master volume 200 on output 2", [] { MIDI_CONTROLS_PushSysExVol(200, MidiOutput::of<2>()); },
            "2: F0 7F 7F 04 01 00 32 F7");
        row("sequencer master volume", [] { MIDI_CONTROLS_SendMasterSysExVolSequencer(100); },
            "1: F0 7F 7F 04 01 00 46 F7  2: F0 7F 7F 04 01 00 46 F7");
        row("NRPN on output 4 cut by the output layer",
            [] { MIDI_CONTROLS_Send_NRPN(0x0108, 0x40, MidiOutput::of<4>(), 9, 1); },
            "4: B9 63 01 | B9 62 08 | B9 06 40");
        row("NRPN at once on output 2, channel masked",
            [] { MIDI_CONTROLS_Send_NRPN(0x3701, 5, MidiOutput::of<2>(), 17, 0); },
            "2: B1 63 37 | B1 62 01 | B1 06 05");
        row("NRPN fields kept to 7 bits", [] { MIDI_CONTROLS_Send_NRPN(0x01FF, 0x80, MidiOutput::of<3>(), 0, 0); },
            "3: B0 63 01 | B0 62 7F | B0 06 00");
        row("reverb type 4", [] { sendMidiReverb(4); }, "1: F0 41 00 42 12 40 01 30 04 0B F7");
        row("chorus type 2", [] { sendMidiChorus(2); }, "1: F0 41 00 42 12 40 01 38 02 05 F7");
        row("reverb value above 127 sends nothing",
            [] {
                sendMidiReverb(200);
                sendMidiChorus(0xFF);
            },
            "");
        row("stop sound flat 20", [] { MIDI_CONTROLS_StopSoundChan(20); },
            "2: B4 7B 00 | B4 78 00 | B4 40 00");
        row("stop sound outside 0..63",
            [] {
                MIDI_CONTROLS_StopSoundChan(64);
                MIDI_CONTROLS_StopSoundChan(-1);
            },
            "");
        row("instrument on output 1", [] { MIDI_CONTROLS_SendInstrument(9, 0x10, 8, MidiOutput::of<1>()); },
            "1: B9 00 08 | C9 10");
        row("instrument on output 3; output 4 has no programs", [] {
                MIDI_CONTROLS_SendInstrument(0, 0x10, 8, MidiOutput::of<3>());
                MIDI_CONTROLS_SendInstrument(0, 0x10, 8, MidiOutput::of<4>());
            },
            "3: B0 00 08 | C0 10");
        row("pitch-bend centre 1", [] { MIDI_CONTROLS_ResetPitchBand_1(3); }, "1: E3 00 40");
        // These wait in the send queues for the Sequencer's passes.
        row("NRPN queued on output 1", [] { MIDI_CONTROLS_Send_NRPN(0x3701, 5, MidiOutput::of<1>(), 2, 1); },
            "queued 1: B2 63 37 | B2 62 01 | B2 06 05");
        row("sound-module volume", [] { MIDI_CONTROLS_SetMasterSAM1_vol(0x64); },
            "queued 1: B0 63 37 | B0 62 07 | B0 06 64 | B0 63 37 | B0 62 19 | B0 06 00");
    }
    void messages()
    {
        QFETCH(Action, action);
        QFETCH(QString, expected);
        MidiFixture f;
        action();
        const bool queued = expected.startsWith(QLatin1String("queued "));
        QCOMPARE(f.received(), queued ? QString() : expected);
        drainUntil(f.mi.get(), std::atomic<bool>{true});
        if (queued)
            QCOMPARE(f.received(), expected.mid(7));
        MIDI_CONTROLS_Config_GS_Reset(0);
    }

    // The value last sent is what the module on output 1 last received, from
    // whoever sent it: a song's own effect or reset messages pass there too.
    void effectCacheFollowsOtherSenders_data()
    {
        QTest::addColumn<QString>("between");
        QTest::newRow("song's reverb type, device 10")
            << "F0 41 10 42 12 40 01 30 00 0F F7";
        QTest::newRow("song's GM System On") << "F0 7E 7F 09 01 F7";
        QTest::newRow("song's GS reset") << "F0 41 10 42 12 40 00 7F 00 41 F7";
    }
    void effectCacheFollowsOtherSenders()
    {
        QFETCH(QString, between);
        MidiFixture f;
        sendMidiReverb(4);
        const Bytes song = hexBytes(between);
        CINTERFACE_SendMidiEvent1(song.data(), int(song.size()));
        f.out[0].clear();
        sendMidiReverb(4);
        QCOMPARE(f.received(), QStringLiteral("1: F0 41 00 42 12 40 01 30 04 0B F7"));

        // And a value the song already set is not sent again; the song's
        // messages on another output say nothing about output 1.
        f.out[0].clear();
        const Bytes level = hexBytes(QStringLiteral("F0 41 10 42 12 40 01 33 50 3C F7"));
        CINTERFACE_SendMidiEvent1(level.data(), int(level.size()));
        sendMidiMasterReverb(0x50);
        CINTERFACE_SendMidiEvent2(song.data(), int(song.size()));
        sendMidiReverb(4);
        QCOMPARE(f.out[0].messageCount(), size_t(1));
    }

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
                // Room for the string first, whenever the other thread gets
                // to drain: a writer that is not real-time drops a string
                // only after waiting 200 ms, which a busy machine's
                // scheduler (or a sanitizer) may keep the drain from.
                while (f.mi->queuedCount(1) > 4)
                    std::this_thread::yield();
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

VELMAR_TEST(TestMidiOutput)
#include "tst_output.moc"
