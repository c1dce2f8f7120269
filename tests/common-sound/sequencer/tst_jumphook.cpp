// The interpreter's side of a jump between the two slots: with a second song
// waiting at its start bar (as the jump code leaves it), the song in play
// hands over at its arming bar.
#include "enginerig.h"
#include "sequencer_ex_p.h"
#include "testutil.h"

#include <QtTest>

namespace {
StreamBuilder song(int bars, int baseKey)
{
    StreamBuilder b;
    b.grid(bars);
    for (int i = 0; i < bars * 4; ++i)
        b.note(uint32_t(i) * 480, 200, 0, baseKey + i % 24);
    b.end(uint32_t(bars) * 1920);
    return b;
}
} // namespace

class TestJumpHook : public QObject
{
    Q_OBJECT
private slots:
    void immediateJumpAtTheArmingBar()
    {
        EngineRig rig;
        StreamBuilder a = song(8, 40);
        SongSetup setup;
        setup.bars = &a;
        QVERIFY(rig.play(a.build(), false, setup));

        // Song B waits in the second slot at bar 3, suspended, as a chase leaves it.
        StreamBuilder b = song(8, 80);
        const std::vector<uint8_t> bytes = b.build();
        int index = -1;
        uint8_t *buffer = SEQUENCER_EX_GetFreeBuffer(&index);
        QVERIFY(buffer);
        QCOMPARE(index, 1);
        std::memcpy(buffer, bytes.data(), bytes.size());
        MidiStream &s2 = *SEQUENCER_EX_GetMidiStream2();
        Mfi &m2 = *SEQUENCER_EX_GetMfi2();
        MidiInfos &i2 = *SEQUENCER_EX_GetMidiInfo2();
        std::memset(&s2, 0, sizeof s2);
        std::memset(&m2, 0, sizeof m2);
        s2.fileType = FILE_TYPE_MIDI;
        s2.slotByte = 2;
        s2.port = uint8_t(SEQUENCER_EX_GetFreeMidiPort());
        QCOMPARE(int(s2.port), 1);
        s2.db = SEQUENCER_EX_GetDb2();
        s2.songBpm = 120;
        s2.startBar = 3;
        s2.flags = SF_AUDIBLE | SF_OUT_SEL_1 | SF_SKIP_DELTA | SF_SUSPENDED;
        m2.buffer = buffer;
        m2.streamLength = uint32_t(bytes.size());
        m2.tpqn = 480;
        m2.readPosition = b.barOffset(3);
        m2.startFlags = 2;
        i2.barCount = 8;
        ComputeTime(&s2);

        MidiStream &s1 = *SEQUENCER_EX_GetMidiStream1();
        s1.atBar = 2;
        s1.flags |= SF_JUMP_AT_BAR;
        jumpStatus.store(5);
        SEQUENCER_EX_SetCueingMode(0);

        SEQUENCER_EX_ActionResume();
        QVERIFY(rig.driver.runUntil([&] { return rig.sigs.count("jumpDone") > 0; }, 10000));
        QCOMPARE(rig.sigs.count("jumpSwapSong"), 1);
        QCOMPARE(jumpStatus.load(), 0);
        QCOMPARE(int(SEQUENCER_EX_GetMidiStream1()->slotByte), 0);
        QCOMPARE(SEQUENCER_EX_GetMidiStreamInPlay(), &s2);
        const uint64_t jumpAt = rig.sigs.named("jumpDone")[0].ms;
        rig.driver.advance(1100);

        // Song A played its first two bars on output 1, then stopped.
        for (const TimedMessage &m : rig.noteOns(1))
            QVERIFY(m.ms < jumpAt && m.bytes[1] < 48);
        QCOMPARE(int(rig.noteOns(1).size()), 8);
        // Song B goes on from its bar 3 on output 2, at its own pace.
        const std::vector<TimedMessage> bNotes = rig.noteOns(2);
        QVERIFY(bNotes.size() >= 2);
        QCOMPARE(int(bNotes[0].bytes[1]), 80 + 12);
        QVERIFY(bNotes[0].ms - jumpAt <= 1);
        QCOMPARE(int(bNotes[1].ms - bNotes[0].ms), 500);
        QCOMPARE(SEQUENCER_EX_GetCurrentBar(), 3);
        QCOMPARE(rig.sigs.named("bar").back().a, 3);
    }
};

VELMAR_TEST(TestJumpHook)
#include "tst_jumphook.moc"
