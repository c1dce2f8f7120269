// The engine on the simulated clock, by what leaves its outputs: mute and
// solo, damaged streams, volumes, transposition, stored programs and the click.
#include "rig.h"
#include "sequencer_click.h"
#include "testutil.h"
#include "volumes.h"

#include <QtTest>

#include <functional>

using Action = std::function<void()>;
Q_DECLARE_METATYPE(Action)

namespace {
// Notes and their offs on a channel of an output.
std::vector<TimedMessage> notesOf(const EngineRig &rig, int output, int channel)
{
    std::vector<TimedMessage> r;
    for (const TimedMessage &m : rig.messages(output))
        if ((m.bytes[0] & 0xE0) == 0x80 && (m.bytes[0] & 15) == channel)
            r.push_back(m);
    return r;
}

StreamBuilder leadIn()
{
    StreamBuilder b;
    b.grid(4);
    b.note(0, 100, 0, 60);
    b.note(480, 100, 0, 62);
    return b;
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT
private slots:
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
        int on1 = 0, on2 = 0;
        for (const TimedMessage &m : rig.noteOns(1)) {
            on1 += m.bytes[0] == 0x91 && m.bytes[1] != 50;
            on2 += m.bytes[0] == 0x92;
        }
        QCOMPARE(on1, ch1Notes);
        QCOMPARE(on2, ch2Notes);
        // Note-offs always go, so nothing hangs.
        QCOMPARE(int(rig.withStatus(1, 0x81).size()), 4);
    }

    // Each error stops the slot with one report and no read past the stream.
    void readErrors_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("notesBefore");
        QTest::newRow("cut inside an event") << "truncated" << int(SEQ_ERR_PAST_END) << 2;
        QTest::newRow("cut inside a delta") << "truncatedDelta" << int(SEQ_ERR_PAST_END) << 2;
        QTest::newRow("SysEx of 130 bytes") << "sysex130" << int(SEQ_ERR_SYSEX_TOO_LONG) << 2;
        QTest::newRow("status F3") << "f3" << int(SEQ_ERR_BAD_STATUS) << 2;
        QTest::newRow("status F5 outside MF5") << "f5" << int(SEQ_ERR_BAD_STATUS) << 2;
        QTest::newRow("data byte without running status") << "orphan" << int(SEQ_ERR_BAD_STATUS) << 0;
        QTest::newRow("five-byte delta") << "delta5" << int(SEQ_ERR_BAD_DELTA) << 2;
    }
    void readErrors()
    {
        QFETCH(QString, kind);
        QFETCH(int, error);
        QFETCH(int, notesBefore);
        EngineRig rig;
        StreamBuilder b = kind == "orphan" ? StreamBuilder() : leadIn();
        if (kind.startsWith("truncated"))
            b.note(960, 100, 0, 64);
        else if (kind == "sysex130")
            b.sysex(960, std::vector<uint8_t>(129, 0x11));
        else if (kind == "f3" || kind == "f5")
            b.event(960, {uint8_t(kind == "f3" ? 0xF3 : 0xF5), 0x01});
        else if (kind == "orphan")
            b.event(0, {0x3C, 0x40});
        else
            b.eventWithDelta(960, {0x81, 0x80, 0x80, 0x80, 0x80}, {0x90, 0x40, 0x40});
        std::vector<uint8_t> stream = b.end(1920).build();
        if (kind.startsWith("truncated")) {
            // Cut after the last note's status and key (or its delta's first byte).
            auto at = std::find(stream.begin(), stream.end(), uint8_t(0x40));
            stream.resize(size_t(at - stream.begin()) + (kind == "truncated" ? 1 : 0));
            if (kind == "truncatedDelta")
                stream.back() = 0x83;
        }
        QVERIFY(rig.play(stream, false));
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(3000);
        QCOMPARE(int(SEQUENCER_EX_GetMfi1()->errorCode), error);
        QCOMPARE(rig.sigs.count("songEnded"), 1);
        QCOMPARE(int(rig.noteOns(1).size()), notesBefore);
        QVERIFY(SEQUENCER_EX_GetMfi1()->readPosition <= SEQUENCER_EX_GetMfi1()->streamLength);
        // Seconds later nothing has been read again or reported again.
        const uint32_t pos = SEQUENCER_EX_GetMfi1()->readPosition;
        rig.driver.advance(2000);
        QCOMPARE(SEQUENCER_EX_GetMfi1()->readPosition, pos);
        QCOMPARE(rig.sigs.count("songEnded"), 1);
        SEQUENCER_EX_ActionStop();
        QCOMPARE(int(SEQUENCER_EX_Stop()), 1);
    }

    // Long SysEx and text pass, running status is kept; the song ends at its
    // end of track's own time, silencing every channel, then resetting.
    void longMessagesRunningStatusAndTheEnd()
    {
        EngineRig rig;
        StreamBuilder b = leadIn();
        std::vector<uint8_t> sysex(125, 0x22);
        sysex.push_back(0xF7);
        b.sysex(700, sysex);
        b.meta(800, 0x01, std::vector<uint8_t>(200, 'a'));
        b.event(960, {0x90, 0x3C, 0x64}).event(970, {0x3E, 0x64}).event(980, {0x3C, 0x00});
        b.event(990, {0x80, 0x3E, 0x00});
        b.end(1920);
        SongSetup setup;
        setup.programs[0] = 0;
        QVERIFY(rig.play(b.build(), false, setup));
        QVERIFY(rig.playToEnd(5000));
        QCOMPARE(int(SEQUENCER_EX_GetMfi1()->errorCode), 0);
        const uint64_t end = rig.sigs.named("songEnded")[0].ms;
        QByteArrayList song, tail;
        for (const TimedMessage &m : rig.messages(1))
            if (m.ms >= end)
                tail << hex(m.bytes);
            else if ((m.bytes[0] & 0xE0) == 0x80 || (m.bytes[0] == 0xF0 && m.bytes[1] != 0x7F))
                song << hex(m.bytes).left(8) + (m.bytes[0] == 0xF0 ? " " + QByteArray::number(int(m.bytes.size())) : "");
        QCOMPARE(song.join(" | "), QByteArray("90 3c 64 | 80 3c 00 | 90 3e 64 | 80 3e 00 | f0 22 22 127 | "
                                              "90 3c 64 | 90 3e 64 | 90 3c 00 | 80 3e 00"));
        // At the end event, and the tail the last notes are heard in after it.
        QVERIFY2(std::llabs(int64_t(end) - int64_t(rig.noteOns(1)[0].ms + 2000 + 600)) <= 1,
                 qPrintable(QString::number(end)));
        QCOMPARE(int(SEQUENCER_EX_Stop()), 1);
        QCOMPARE(SEQUENCER_EX_GetStopReason(), STOPCHI_SONG_END);
        QVERIFY(tail.size() >= 16 * 3 + 2);
        QCOMPARE(tail[0], QByteArray("b0 7b 00"));
        QCOMPARE(tail[45], QByteArray("bf 7b 00"));
        QVERIFY(tail.contains(QByteArray("f0 7e 7f 09 01 f7")));
        rig.driver.advance(2000);
        QCOMPARE(rig.sigs.count("songEnded"), 1);
    }

    // Master Volume follows the music volume, the fade level, the master
    // factor and a cross-fade term, once for each change.
    void masterVolume_data()
    {
        QTest::addColumn<int>("music");
        QTest::addColumn<int>("fade");
        QTest::addColumn<int>("k");
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("expected");
        QTest::newRow("full") << 1023 << 100 << 127 << int(SOURCE1_MAX) << 127;
        QTest::newRow("music 127 gives 126") << 1016 << 100 << 127 << int(SOURCE1_MAX) << 126;
        QTest::newRow("faded to half") << 1023 << 50 << 127 << int(SOURCE1_MAX) << 64;
        QTest::newRow("faded out") << 1023 << 0 << 127 << int(SOURCE1_MAX) << 0;
        QTest::newRow("master factor 64") << 1023 << 100 << 64 << int(SOURCE1_MAX) << 64;
        QTest::newRow("music above its maximum") << 1600 << 100 << 127 << int(SOURCE1_MAX) << 127;
        QTest::newRow("fade above its maximum") << 1023 << 150 << 127 << int(SOURCE1_MAX) << 127;
        QTest::newRow("cross-fade term set twice before the tick") << 1023 << 100 << 127 << 50 << 64;
    }
    void masterVolume()
    {
        QFETCH(int, music);
        QFETCH(int, fade);
        QFETCH(int, k);
        QFETCH(int, source);
        QFETCH(int, expected);
        EngineRig rig;
        setMidiGeneralVolume(0, music);
        setMidiGeneralVolume(1, fade);
        VOLUME_setMasterKFactor(k);
        setMidiCableSourceVolume(1, source, MidiOutput::of<1>());
        setMidiCableSourceVolume(1, source, MidiOutput::of<1>());
        rig.driver.advance(50);
        QCOMPARE(rig.masterVolumes(1), 1);
        QCOMPARE(rig.iface.GetLastGMVolumeSent(MidiOutput::of<1>()), expected);
        setMidiCableSourceVolume(1, SOURCE1_MAX, MidiOutput::of<1>());
    }

    void channelVolume_data()
    {
        QTest::addColumn<int>("program");   // 255: in use, no program known
        QTest::addColumn<bool>("drum");
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("slider");
        QTest::addColumn<int>("fadeTerm");
        QTest::addColumn<int>("expected");
        QTest::newRow("song volume as it is") << 25 << false << 2 << 127 << 127 << 100;
        QTest::newRow("guitar slider 64") << 25 << false << 2 << 64 << 127 << 50;
        QTest::newRow("other group's slider") << 25 << false << 1 << 64 << 127 << 100;
        QTest::newRow("drums follow the drum slider") << 25 << true << 0 << 64 << 127 << 50;
        QTest::newRow("no program follows no slider") << 255 << false << 2 << 64 << 127 << 100;
        QTest::newRow("faded channel") << 25 << false << 2 << 127 << 0 << 0;
        QTest::newRow("term above 127 is full") << 25 << false << 2 << 127 << 200 << 100;
    }
    void channelVolume()
    {
        QFETCH(int, program);
        QFETCH(bool, drum);
        QFETCH(int, group);
        QFETCH(int, slider);
        QFETCH(int, fadeTerm);
        QFETCH(int, expected);
        EngineRig rig;
        StreamBuilder b;
        b.grid(2);
        b.cc(0, 1, 7, 100);
        b.note(0, 100, 1, 60);
        SongSetup setup;
        setup.programs[1] = program;
        setup.drum[1] = drum;
        QVERIFY(rig.play(b.end(1920).build(), false, setup));
        SEQUENCER_EX_SetSlidersValue(group, slider);
        VOLUMES_setMidiChVolumesMap(MIDI_CHAN_VOL_FADE, fadeTerm, 1, MidiOutput::of<1>());
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(200);
        int last = -1;
        for (const TimedMessage &m : rig.withStatus(1, 0xB1))
            last = m.bytes[1] == 7 ? m.bytes[2] : last;
        QCOMPARE(last, expected);
    }

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
        setup.programs[0] = setup.programs[1] = 0;
        setup.drum[1] = drum;
        QVERIFY(rig.play(b.build(), false, setup));
        SEQUENCER_EX_GetDb1()->layers[1][0].transpose = int16_t(layerTranspose);
        SEQUENCER_EX_SetDeltaTransposeCurrent(songTranspose);
        SEQUENCER_EX_SetGlobalTranspose(globalTranspose);
        rig.clear();
        QVERIFY(rig.playToEnd(10000));
        const std::vector<TimedMessage> ch1 = notesOf(rig, 1, 1);
        QCOMPARE(int(ch1.size()), expected < 0 ? 0 : 2);
        for (const TimedMessage &m : ch1)
            QCOMPARE(int(m.bytes[1]), expected);
        // Whatever happens, no data byte leaves with its top bit set.
        for (int output : {1, 2})
            for (const TimedMessage &m : rig.messages(output))
                for (size_t i = 1; m.bytes[0] != 0xF0 && i < m.bytes.size(); ++i)
                    QVERIFY2(m.bytes[i] < 0x80, hex(m.bytes).constData());
    }

    // What a pause and a key change leave of the notes held, as sent: the
    // held note (with its pedal) is struck again at once at the resume and
    // moves to the new key, ending where it was struck; the held drum and a
    // note that ended before the pause are not struck again, and the key
    // change leaves the drums alone. An organ's note has not decayed: it is
    // struck at the song's velocity.
    void heldNotesThroughPauseAndKey()
    {
        EngineRig rig;
        StreamBuilder b;
        b.grid(4);
        b.cc(0, 0, 64, 127);
        b.noteOn(0, 0, 60, 90);
        b.noteOn(0, 9, 49, 100);
        b.note(0, 240, 1, 64);
        b.noteOff(2 * 1920, 0, 60);
        b.noteOff(2 * 1920, 9, 49);
        b.note(3 * 1920, 240, 1, 64);
        b.end(4 * 1920);
        SongSetup setup;
        setup.programs[1] = setup.programs[9] = 0;
        setup.programs[0] = 16;
        setup.drum[9] = true;
        QVERIFY(rig.play(b.build(), true, setup));
        rig.driver.advance(700);
        SEQUENCER_EX_ActionPause();
        rig.driver.advance(1000);
        rig.clear();
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(5);
        QVERIFY(!rig.messages(1).empty());
        QCOMPARE(hex(rig.messages(1).front().bytes), QByteArray("b0 40 7f"));
        QCOMPARE(int(rig.noteOns(1).size()), 1);
        QCOMPARE(hex(rig.noteOns(1).front().bytes), QByteArray("90 3c 5a"));

        rig.driver.advance(300);
        rig.clear();
        SEQUENCER_EX_SetDeltaTransposeCurrent(3);
        rig.driver.advance(5);
        std::vector<QByteArray> sent;
        for (const TimedMessage &m : rig.messages(1))
            sent.push_back(hex(m.bytes));
        QCOMPARE(sent, std::vector<QByteArray>({"80 3c 00", "90 3f 5a"}));

        rig.clear();
        QVERIFY(rig.playToEnd(10000));
        const std::vector<TimedMessage> ch0 = notesOf(rig, 1, 0);
        QVERIFY(!ch0.empty());
        QCOMPARE(hex(ch0.front().bytes), QByteArray("80 3f 00"));
        QCOMPARE(int(notesOf(rig, 1, 9).size()), 1);
    }

    // A song of two ports (MF5) plays each port's events on its own output,
    // as its port events choose: the notes, a pause's strikes again of the
    // notes held and their ends alike.
    void portEventsChooseTheOutput()
    {
        EngineRig rig;
        StreamBuilder b;
        b.grid(4);
        b.event(0, {0xF5, 0x01}).noteOn(0, 0, 60, 90);
        b.event(10, {0xF5, 0x02}).noteOn(10, 0, 62, 80);
        b.event(1920, {0xF5, 0x01}).noteOff(1920, 0, 60);
        b.event(1930, {0xF5, 0x02}).noteOff(1930, 0, 62);
        b.end(2 * 1920);
        SongSetup setup;
        setup.fileType = FILE_TYPE_MF5;
        setup.programs[0] = setup.programs[16] = 16;
        QVERIFY(rig.play(b.build(), true, setup));
        rig.driver.advance(300);
        SEQUENCER_EX_ActionPause();
        rig.driver.advance(500);
        SEQUENCER_EX_ActionResume();
        QVERIFY(rig.playToEnd(10000));
        const auto notes = [&](int output) {
            QByteArrayList sent;
            for (const TimedMessage &m : rig.messages(output))
                if ((m.bytes[0] & 0xE0) == 0x80)
                    sent << hex(m.bytes);
            return sent.join(", ");
        };
        QCOMPARE(notes(1), QByteArray("90 3c 5a, 90 3c 5a, 80 3c 00"));
        QCOMPARE(notes(2), QByteArray("90 3e 50, 90 3e 50, 80 3e 00"));
    }

    // A song starts the same short lead-in before its first note however
    // it starts: played (as a double-click does) or played again after
    // Stop, which takes it back to the top: the written rest of four beats
    // (2 s) is not played either time.
    void oneLeadInForEveryStart()
    {
        EngineRig rig;
        StreamBuilder b;
        b.grid(4);
        b.program(0, 0, 16);
        b.note(4 * 480, 480, 0, 60);
        b.note(6 * 480, 480, 0, 62);
        b.end(4 * 1920);
        SEQUENCER_EX_SetFastRun(1);
        QVERIFY(rig.play(b.build(), false));
        const auto leadIn = [&] {
            rig.clear();
            const uint64_t from = rig.driver.now();
            SEQUENCER_EX_ActionResume();
            rig.driver.runUntil([&] { return !rig.noteOns(1).empty(); }, 5000);
            return rig.noteOns(1).empty() ? -1 : int(rig.noteOns(1).front().ms - from);
        };
        const int first = leadIn();
        rig.driver.advance(1500);
        // The player's Stop: paused, back to the top.
        SEQUENCER_EX_ActionPause();
        QVERIFY(SEQUENCER_EX_SeekBar(0, 0));
        rig.driver.advance(500);
        const int again = leadIn();
        SEQUENCER_EX_SetFastRun(0);
        QVERIFY2(first > 0 && first < 1000, qPrintable(QString::number(first)));
        QVERIFY2(std::abs(again - first) <= 2, qPrintable(QStringLiteral("%1 ms, then %2 ms").arg(first).arg(again)));
    }

    void storedProgram_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("program");
        QTest::addColumn<int>("bank");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("no override") << 0 << 40 << 255 << QByteArray("c1 05");
        QTest::newRow("override without bank") << int(DB_FLAG_PROGRAM_OVERRIDE) << 40 << 255 << QByteArray("c1 28");
        QTest::newRow("override with bank") << int(DB_FLAG_PROGRAM_OVERRIDE) << 40 << 8 << QByteArray("b1 00 08 c1 28");
        QTest::newRow("drum kit the sound set lacks") << int(DB_FLAG_DRUM) << 255 << 255 << QByteArray("c1 00");
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
        QByteArrayList got;
        for (const TimedMessage &m : rig.messages(1))
            if (m.bytes[0] == 0xC1 || (m.bytes[0] == 0xB1 && m.bytes[1] == 0))
                got << hex(m.bytes);
        QCOMPARE(got.join(' '), expected);
    }

    void clickModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("beats");
        QTest::addColumn<QList<int>>("clicks"); // velocity of each click of one bar; 0 = half beat
        QTest::newRow("mode 0, 4/4") << 0 << 4 << QList<int>{164, 64, 64, 64};
        QTest::newRow("mode 1, 4/4") << 1 << 4 << QList<int>{164, 64};
        QTest::newRow("mode 1, 3/4") << 1 << 3 << QList<int>{164, 64, 64};
        QTest::newRow("mode 2, 4/4") << 2 << 4 << QList<int>{164, 0, 64, 0, 104, 0, 64, 0};
    }

    void clickModes()
    {
        QFETCH(int, mode);
        QFETCH(int, beats);
        QFETCH(QList<int>, clicks);
        EngineRig rig;
        SEQUENCER_EX_SetClickBarSound(0, 0, 56, 64);
        SEQUENCER_EX_SetClickBeatSound(0, 0, 34, 64);
        SEQUENCER_EX_SetClickTimeMod(mode);
        StreamBuilder b;
        b.grid(3, beats);
        QVERIFY(rig.play(b.end(uint32_t(3 * beats * 480)).build(), false));
        SEQUENCER_EX_GetMfi1()->beatsPerBar = int16_t(beats);
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(uint64_t(beats) * 500 + 250);
        QList<int> got;
        const std::vector<TimedMessage> notes = rig.withStatus(4, 0x99);
        for (const TimedMessage &m : notes)
            got << (m.bytes[1] == 56 ? 100 + m.bytes[2] : (m.ms - notes[0].ms) % 500 == 250 ? 0 : m.bytes[2]);
        QCOMPARE(got.mid(0, clicks.size()), clicks);
        // Beat signals carry the beat, bar signals the bar.
        QCOMPARE(rig.sigs.named("bar").at(0).a, 0);
        QCOMPARE(rig.sigs.named("beat").at(0).a, 1);
        SEQUENCER_EX_SetClickTimeMod(0);
    }

    // Operations the player does not call yet, by what they send.
    void sent_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<int>("output");
        QTest::addColumn<QByteArray>("expected");   // messages of that status, in order
        QTest::newRow("master keyboard volume") << Action([] { SEQUENCER_EX_MasterKeb_Volume(100); }) << 3
                                                << QByteArray("f0 7f 7f 04 01 00 64 f7");
        QTest::newRow("channel volume, first output") << Action([] { MidiChannelVolume(90, 3, 0); }) << 1
                                                       << QByteArray("b3 07 5a");
        QTest::newRow("upper channel on the second engine port") << Action([] { MidiChannelVolume(90, 19, 1); })
                                                                  << 1 << QByteArray("b3 07 5a");
        QTest::newRow("channel volume, second output") << Action([] { MidiChannelVolume(90, 3, 1); }) << 2
                                                        << QByteArray("b3 07 5a");
        // Four harmony voices: a fifth finds no slot; a released one is not
        // silenced again.
        QTest::newRow("harmony notes held until all are released")
            << Action([] {
                   SEQUENCER_EX_SetHarmonyMode(0);
                   SEQUENCER_EX_SetHarmonyTrack(2);
                   uint8_t msg[3] = {0x92, 0, 100};
                   for (uint8_t note : {60, 64, 67, 70, 72})
                       QCOMPARE(SendHarmNoteOn(note, msg), 1);
                   QCOMPARE(int(msg[1]), 72);
                   SendHarmNoteOff(64, msg);
                   SEQUENCER_EX_SendHarmAllNoteOff();
               })
            << 4 << QByteArray("82 3c 01 | 82 43 01 | 82 46 01");
    }
    void sent()
    {
        QFETCH(Action, action);
        QFETCH(int, output);
        QFETCH(QByteArray, expected);
        EngineRig rig;
        rig.driver.setMidiInterface(&rig.iface);   // drains the send queues
        rig.driver.advance(1);
        rig.clear();
        action();
        rig.driver.advance(50);
        QByteArrayList got;
        for (const TimedMessage &m : rig.withStatus(output, uint8_t(QByteArray::fromHex(expected.left(2)).at(0))))
            got << hex(m.bytes);
        QCOMPARE(got.join(" | "), expected);
    }
};

VELMAR_TEST(TestEngine)
#include "tst_engine.moc"
