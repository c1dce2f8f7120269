// Expected bytes are worked out by hand from the MIDI 1.0 and GS documents;
// GS checksums are 128 minus (address + data) modulo 128.
#include "cinterface.h"
#include "midi_fixture.h"
#include "testutil.h"

#include <QtTest>
#include <functional>

using Action = std::function<void()>;
Q_DECLARE_METATYPE(Action)

class TestMidiControls : public QObject
{
    Q_OBJECT
private slots:
    void messages_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("expected");

        auto row = [](const char *name, Action a, const char *expected) {
            QTest::newRow(name) << a << QString::fromLatin1(expected);
        };
        row("GM reset on output 1", [] { MIDI_CONTROLS_Push_Reset(1); }, "1: F0 7E 7F 09 01 F7");
        row("reset on output 2, GS off", [] { MIDI_CONTROLS_Push_Reset(2); },
            "2: F0 7E 7F 09 01 F7");
        row("reset on output 2, GS on",
            [] {
                MIDI_CONTROLS_Config_GS_Reset(1);
                MIDI_CONTROLS_Push_Reset(2);
            },
            "2: F0 7E 7F 09 01 F7 | F0 41 10 42 12 40 00 7F 00 41 F7");
        row("GS reset on output 4", [] { MIDI_CONTROLS_PushGS_Reset(4); },
            "4: F0 41 10 42 12 40 00 7F 00 41 F7");
        row("reset on output 5 sends nothing",
            [] {
                MIDI_CONTROLS_Config_GS_Reset(1);
                MIDI_CONTROLS_Push_Reset(5);
                MIDI_CONTROLS_Push_Reset(0);
            },
            "");
        // Outputs 1 and 2 scale Master Volume by 0.7: 127 -> 88 (58), 72 -> 50 (32).
        row("master volume port 0", [] { MIDI_CONTROLS_SendMidiVol(127, 0); },
            "1: F0 7F 7F 04 01 00 58 F7");
        row("master volume 200 on port 1", [] { MIDI_CONTROLS_SendMidiVol(200, 1); },
            "2: F0 7F 7F 04 01 00 32 F7");
        row("master volume other port on output 3", [] { MIDI_CONTROLS_SendMidiVol(100, 7); },
            "3: F0 7F 7F 04 01 00 64 F7");
        row("pushed volume on output 3", [] { MIDI_CONTROLS_PushSysExVol(0x40, 3); },
            "3: F0 7F 7F 04 01 00 40 F7");
        row("pushed volume on port 0 or 4 sends nothing",
            [] {
                MIDI_CONTROLS_PushSysExVol(10, 0);
                MIDI_CONTROLS_PushSysExVol(10, 4);
            },
            "");
        row("sequencer master volume", [] { MIDI_CONTROLS_SendMasterSysExVolSequencer(100); },
            "1: F0 7F 7F 04 01 00 46 F7  2: F0 7F 7F 04 01 00 46 F7");
        row("NRPN on port 2 as three messages", [] { MIDI_CONTROLS_Send_NRPN(0x3701, 5, 2, 0, 0); },
            "3: B0 63 37 | B0 62 01 | B0 06 05");
        row("NRPN on port 3 cut by the output layer",
            [] { MIDI_CONTROLS_Send_NRPN(0x0108, 0x40, 3, 9, 1); },
            "4: B9 63 01 | B9 62 08 | B9 06 40");
        row("NRPN at once on port 0", [] { MIDI_CONTROLS_Send_NRPN(0x3701, 5, 0, 3, 0); },
            "1: B3 63 37 | B3 62 01 | B3 06 05");
        row("NRPN at once on port 1, channel masked",
            [] { MIDI_CONTROLS_Send_NRPN(0x3701, 5, 1, 17, 0); },
            "2: B1 63 37 | B1 62 01 | B1 06 05");
        row("NRPN fields kept to 7 bits", [] { MIDI_CONTROLS_Send_NRPN(0x01FF, 0x80, 2, 0, 0); },
            "3: B0 63 01 | B0 62 7F | B0 06 00");
        row("NRPN on port 4 sends nothing", [] { MIDI_CONTROLS_Send_NRPN(0x3701, 5, 4, 0, 0); },
            "");
        row("reverb type 4", [] { sendMidiReverb(4); }, "1: F0 41 00 42 12 40 01 30 04 0B F7");
        row("reverb type 15, checksum 0", [] { sendMidiReverb(0x0F); },
            "1: F0 41 00 42 12 40 01 30 0F 00 F7");
        row("reverb type from low 8 bits", [] { sendMidiReverb(0x104); },
            "1: F0 41 00 42 12 40 01 30 04 0B F7");
        row("reverb level 80", [] { sendMidiMasterReverb(0x50); },
            "1: F0 41 00 42 12 40 01 33 50 3C F7");
        row("chorus type 2", [] { sendMidiChorus(2); }, "1: F0 41 00 42 12 40 01 38 02 05 F7");
        row("chorus level 64", [] { sendMidiMasterChorus(0x40); },
            "1: F0 41 00 42 12 40 01 3A 40 45 F7");
        row("reverb value above 127 sends nothing",
            [] {
                sendMidiReverb(200);
                sendMidiChorus(0xFF);
            },
            "");
        row("stop sound flat 20", [] { MIDI_CONTROLS_StopSoundChan(20); },
            "2: B4 7B 00 | B4 78 00 | B4 40 00");
        row("stop sound flat 63", [] { MIDI_CONTROLS_StopSoundChan(63); },
            "4: BF 7B 00 | BF 78 00 | BF 40 00");
        row("stop sound outside 0..63",
            [] {
                MIDI_CONTROLS_StopSoundChan(64);
                MIDI_CONTROLS_StopSoundChan(-1);
            },
            "");
        row("stop sound at port 2", [] { MIDI_CONTROLS_StopSoundChanAtPort(2, 5); },
            "3: B5 7B 00 | B5 78 00 | B5 40 00");
        row("instrument on port 0", [] { MIDI_CONTROLS_SendInstrument(9, 0x10, 8, 0); },
            "1: B9 00 08 | C9 10");
        row("instrument on port 2", [] { MIDI_CONTROLS_SendInstrument(1, 5, 0, 2); },
            "3: B1 00 00 | C1 05");
        row("instrument on port 3 sends nothing", [] { MIDI_CONTROLS_SendInstrument(1, 5, 0, 3); },
            "");
        row("pitch-bend centre 1", [] { MIDI_CONTROLS_ResetPitchBand_1(3); }, "1: E3 00 40");
        row("pitch-bend centre 2", [] { MIDI_CONTROLS_ResetPitchBand_2(18); }, "2: E2 00 40");
    }
    void messages()
    {
        QFETCH(Action, action);
        QFETCH(QString, expected);
        MidiFixture f;
        action();
        QCOMPARE(f.received(), expected);
        MIDI_CONTROLS_Config_GS_Reset(0);
    }

    void queuedMessages_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("expected");
        QTest::newRow("NRPN queued on port 0")
            << Action([] { MIDI_CONTROLS_Send_NRPN(0x3701, 5, 0, 2, 1); })
            << QStringLiteral("1: B2 63 37 | B2 62 01 | B2 06 05");
        QTest::newRow("NRPN queued on port 1")
            << Action([] { MIDI_CONTROLS_Send_NRPN(0x3701, 5, 1, 2, 1); })
            << QStringLiteral("2: B2 63 37 | B2 62 01 | B2 06 05");
        QTest::newRow("sound-module volume")
            << Action([] { MIDI_CONTROLS_SetMasterSAM1_vol(0x64); })
            << QStringLiteral("1: B0 63 37 | B0 62 07 | B0 06 64 | B0 63 37 | B0 62 19 | B0 06 00");
        QTest::newRow("click routing")
            << Action([] { MIDI_CONTROLS_SetClickRouting(2); })
            << QStringLiteral("1: B0 63 37 | B0 62 1F | B0 06 02 | B0 63 37 | B0 62 19 | B0 06 00");
    }
    void queuedMessages()
    {
        QFETCH(Action, action);
        QFETCH(QString, expected);
        MidiFixture f;
        action();
        QCOMPARE(f.received(), QString());
        f.drainAll();
        QCOMPARE(f.received(), expected);
    }

    void effectCacheClearedByReset()
    {
        MidiFixture f;
        sendMidiReverb(4);
        sendMidiReverb(4);
        sendMidiReverb(5);
        QCOMPARE(f.out[0].messageCount(), size_t(2));
        sendMidiChorus(3);
        sendMidiChorus(3);
        QCOMPARE(f.out[0].messageCount(), size_t(3));
        // The module is back at its default effects after any reset.
        MIDI_CONTROLS_Push_Reset(1);
        f.out[0].clear();
        sendMidiReverb(5);
        sendMidiChorus(3);
        QCOMPARE(f.received(), QStringLiteral("1: F0 41 00 42 12 40 01 30 05 0A F7 | "
                                              "F0 41 00 42 12 40 01 38 03 04 F7"));
        MIDI_CONTROLS_Config_GS_Reset(1);
        MIDI_CONTROLS_Push_Reset(2);
        f.out[0].clear();
        sendMidiMasterReverb(0x50);
        sendMidiMasterReverb(0x50);
        QCOMPARE(f.out[0].messageCount(), size_t(1));
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

    void buffersWithoutSending()
    {
        MidiFixture f;
        const unsigned char *nrpn = MIDI_CONTROLS_Set_NRPN(0x3702, 0x7F, 4);
        QCOMPARE(hexText(Bytes(nrpn, nrpn + MIDI_CONTROLS_NRPN_LEN)),
                 QStringLiteral("B4 63 37 B4 62 02 B4 06 7F"));
        unsigned char buf[16] = {};
        int len = 0;
        MIDI_CONTROLS_StopSoundChanAtPort_Ex(3, 0x1A, buf, &len);
        QCOMPARE(len, 9);
        QCOMPARE(hexText(Bytes(buf, buf + len)), QStringLiteral("BA 7B 00 BA 78 00 BA 40 00"));
        QCOMPARE(f.received(), QString());
        QCOMPARE(f.mi->queuedCount(1), 0);
    }

};

VELMAR_TEST(TestMidiControls)
#include "tst_midicontrols.moc"
