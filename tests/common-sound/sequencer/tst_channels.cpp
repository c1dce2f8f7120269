// What the interpreter does to a song's channel messages: transposition,
// melody modes, mute and solo, stored programs and offsets, song resets.
#include "enginerig.h"
#include "sequencer_ex_p.h"
#include "testutil.h"
#include "volumes.h"

#include <QtTest>

namespace {
std::vector<TimedMessage> allSongMessages(const EngineRig &rig)
{
    std::vector<TimedMessage> r = rig.messages(1);
    const std::vector<TimedMessage> two = rig.messages(2);
    r.insert(r.end(), two.begin(), two.end());
    return r;
}

std::vector<TimedMessage> notesOf(const EngineRig &rig, int output, int channel)
{
    std::vector<TimedMessage> r;
    for (const TimedMessage &m : rig.messages(output))
        if ((m.bytes[0] & 0xE0) == 0x80 && (m.bytes[0] & 15) == channel)
            r.push_back(m);
    return r;
}
} // namespace

class TestChannels : public QObject
{
    Q_OBJECT
private slots:
    void transposition_data()
    {
        QTest::addColumn<int>("note");
        QTest::addColumn<int>("songTranspose");
        QTest::addColumn<int>("globalTranspose");
        QTest::addColumn<int>("layerTranspose");
        QTest::addColumn<bool>("drum");
        QTest::addColumn<int>("expected"); // -1: dropped
        QTest::newRow("song, global and layer add up") << 60 << 2 << 3 << -2 << false << 63;
        QTest::newRow("above 127 is dropped, never wrapped") << 120 << 12 << 0 << 0 << false << -1;
        QTest::newRow("below 0 is dropped") << 5 << -12 << 0 << 0 << false << -1;
        QTest::newRow("127 exactly") << 115 << 12 << 0 << 0 << false << 127;
        QTest::newRow("drums are not transposed") << 38 << 12 << 5 << 0 << true << 38;
    }
    void transposition()
    {
        QFETCH(int, note);
        QFETCH(int, songTranspose);
        QFETCH(int, globalTranspose);
        QFETCH(int, layerTranspose);
        QFETCH(bool, drum);
        QFETCH(int, expected);
        EngineRig rig;
        StreamBuilder b;
        b.grid(3);
        b.note(0, 240, 0, 64);
        b.note(480, 240, 1, note);
        b.note(960, 240, 0, 65);
        b.end(1920);
        SongSetup setup;
        setup.programs[0] = 0;
        setup.programs[1] = 0;
        setup.drum[1] = drum;
        QVERIFY(rig.play(b.build(), false, setup));
        SEQUENCER_EX_GetDb1()->layers[1][0].transpose = int16_t(layerTranspose);
        SEQUENCER_EX_SetDeltaTransposeCurrent(songTranspose);
        SEQUENCER_EX_SetGlobalTranspose(globalTranspose);
        rig.clearOutputs();
        QVERIFY(rig.playToEnd(10000));
        const std::vector<TimedMessage> ch1 = notesOf(rig, 1, 1);
        if (expected < 0) {
            QVERIFY(ch1.empty());
        } else {
            QCOMPARE(int(ch1.size()), 2);
            QCOMPARE(int(ch1[0].bytes[1]), expected);
            QCOMPARE(int(ch1[1].bytes[1]), expected);
        }
        // Whatever happens, no data byte leaves with its top bit set.
        for (const TimedMessage &m : allSongMessages(rig))
            if (m.bytes[0] != 0xF0)
                for (size_t i = 1; i < m.bytes.size(); ++i)
                    QVERIFY2(m.bytes[i] < 0x80, hex(m.bytes).constData());
    }

    void muteAndSolo_data()
    {
        QTest::addColumn<int>("state1");
        QTest::addColumn<int>("state2");
        QTest::addColumn<bool>("muteWhileHeld");
        QTest::addColumn<int>("ch1Notes");
        QTest::addColumn<int>("ch2Notes");
        QTest::newRow("mute channel 1") << 1 << 0 << false << 0 << 3;
        QTest::newRow("muted while its notes are held") << 0 << 0 << true << 0 << 3;
        QTest::newRow("solo channel 2") << 0 << 2 << false << 0 << 3;
        QTest::newRow("solo channel 1 muted channel 2") << 2 << 1 << false << 3 << 0;
    }
    void muteAndSolo()
    {
        QFETCH(int, state1);
        QFETCH(int, state2);
        QFETCH(bool, muteWhileHeld);
        QFETCH(int, ch1Notes);
        QFETCH(int, ch2Notes);
        EngineRig rig;
        StreamBuilder b;
        b.grid(3);
        b.noteOn(0, 1, 50, 90); // held through the song
        for (int i = 0; i < 3; ++i) {
            b.note(uint32_t(i) * 480 + 10, 100, 1, 60 + i);
            b.note(uint32_t(i) * 480 + 10, 100, 2, 70 + i);
        }
        b.noteOff(1700, 1, 50);
        b.end(1920);
        SongSetup setup;
        setup.programs[1] = setup.programs[2] = 0;
        QVERIFY(rig.play(b.build(), false, setup));
        Db *db = SEQUENCER_EX_GetDb1();
        db->layers[1][0].muteSolo = uint8_t(state1);
        db->layers[2][0].muteSolo = uint8_t(state2);
        db->anySolo = (state1 == DB_SOLO || state2 == DB_SOLO) ? 1 : 0;
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(5);
        if (muteWhileHeld)
            db->layers[1][0].muteSolo = DB_MUTE;
        QVERIFY(rig.driver.runUntil([&] { return rig.songEnded(); }, 5000));
        int on1 = 0;
        int on2 = 0;
        for (const TimedMessage &m : rig.noteOns(1)) {
            if (m.bytes[0] == 0x91 && m.bytes[1] != 50)
                ++on1;
            if (m.bytes[0] == 0x92)
                ++on2;
        }
        QCOMPARE(on1, ch1Notes);
        QCOMPARE(on2, ch2Notes);
        // Note-offs always go, so nothing hangs.
        int offs1 = 0;
        for (const TimedMessage &m : rig.withStatus(1, 0x81))
            ++offs1, (void)m;
        QCOMPARE(offs1, 4);
    }

    void storedProgram_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("program");
        QTest::addColumn<int>("bank");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("no override") << 0 << 40 << 255 << QByteArray::fromHex("c105");
        QTest::newRow("override without bank") << int(DB_FLAG_PROGRAM_OVERRIDE) << 40 << 255
                                               << QByteArray::fromHex("c128");
        QTest::newRow("override with bank") << int(DB_FLAG_PROGRAM_OVERRIDE) << 40 << 8
                                            << QByteArray::fromHex("b10008c128");
        QTest::newRow("drum kit the sound set lacks") << int(DB_FLAG_DRUM) << 255 << 255
                                                      << QByteArray::fromHex("c100");
    }
    void storedProgram()
    {
        QFETCH(int, flags);
        QFETCH(int, program);
        QFETCH(int, bank);
        QFETCH(QByteArray, expected);
        EngineRig rig;
        StreamBuilder b;
        b.grid(1);
        b.program(0, 1, 5);
        b.note(10, 100, 1, 60);
        b.end(480);
        QVERIFY(rig.play(b.build(), false));
        DbLayer &l = SEQUENCER_EX_GetDb1()->layers[1][0];
        l.flags = uint8_t(flags | DB_FLAG_IN_USE);
        l.program = uint8_t(program);
        l.bank = uint8_t(bank);
        QVERIFY(rig.playToEnd(5000));
        QByteArray got;
        for (const TimedMessage &m : rig.messages(1))
            if (m.bytes[0] == 0xC1 || (m.bytes[0] == 0xB1 && m.bytes[1] == 0))
                got += QByteArray(reinterpret_cast<const char *>(m.bytes.data()), int(m.bytes.size()));
        QCOMPARE(got.toHex(), expected.toHex());
    }

    void offsetsAndCurves()
    {
        EngineRig rig;
        StreamBuilder b;
        b.grid(1);
        b.cc(0, 1, 7, 80);
        b.cc(0, 1, 10, 64);
        b.cc(0, 1, 91, 120);
        b.cc(0, 1, 74, 64);
        b.noteOn(10, 1, 60, 90);
        b.noteOff(200, 1, 60);
        b.end(480);
        SongSetup setup;
        setup.programs[1] = 0;
        QVERIFY(rig.play(b.build(), false, setup));
        DbLayer &l = SEQUENCER_EX_GetDb1()->layers[1][0];
        l.volume = 20;
        l.pan = -10;
        l.reverb = 30;
        l.velocityCurve = 4;
        SEQUENCER_EX_GetDb1()->ccOffsets[1][0][DB_CC74] = -70;
        QVERIFY(rig.playToEnd(5000));
        std::map<int, int> cc;
        for (const TimedMessage &m : rig.withStatus(1, 0xB1))
            if (m.bytes[1] != 0x7B && m.bytes[1] != 0x78 && m.bytes[1] != 0x40)
                cc[m.bytes[1]] = m.bytes[2];
        QCOMPARE(cc[7], 100);  // the volume task sends 80 + 20
        QCOMPARE(cc[10], 54);
        QCOMPARE(cc[91], 127);
        QCOMPARE(cc[74], 0);
        const std::vector<TimedMessage> on = rig.noteOns(1);
        QCOMPARE(int(on.size()), 1);
        QVERIFY(on[0].bytes[2] < 90);
    }

    void containerDrumNotesEndAtOnce_data()
    {
        QTest::addColumn<int>("fileType");
        QTest::addColumn<int>("note");
        QTest::addColumn<bool>("endsAtOnce");
        QTest::newRow("MF3 snare") << FILE_TYPE_MF3 << 38 << true;
        QTest::newRow("MF5 kick") << FILE_TYPE_MF5 << 35 << true;
        QTest::newRow("MF3 open hi-hat stays") << FILE_TYPE_MF3 << 46 << false;
        QTest::newRow("MF3 crash stays") << FILE_TYPE_MF3 << 61 << false;
        QTest::newRow("MIDI file snare stays") << FILE_TYPE_MIDI << 38 << false;
    }
    void containerDrumNotesEndAtOnce()
    {
        QFETCH(int, fileType);
        QFETCH(int, note);
        QFETCH(bool, endsAtOnce);
        EngineRig rig;
        StreamBuilder b;
        b.grid(1);
        b.noteOn(0, 9, note, 100);
        b.end(480);
        SongSetup setup;
        setup.fileType = fileType;
        QVERIFY(rig.play(b.build(), false, setup));
        QVERIFY(rig.playToEnd(5000));
        const std::vector<TimedMessage> ch10 = notesOf(rig, 1, 9);
        QCOMPARE(int(ch10.size()), endsAtOnce ? 2 : 1);
        if (endsAtOnce) {
            QCOMPARE(hex(ch10[1].bytes), hex({0x89, uint8_t(note), 0}));
            QCOMPARE(ch10[1].ms, ch10[0].ms);
        }
    }

};

VELMAR_TEST(TestChannels)
#include "tst_channels.moc"
