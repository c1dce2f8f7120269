// Damaged and unusual streams: each error stops the slot with one report and
// no read past the stream; the end of a song empties the slot once.
#include "enginerig.h"
#include "sequencer_ex_p.h"
#include "sequencer_goto.h"
#include "testutil.h"

#include <QtTest>

namespace {
StreamBuilder leadIn()
{
    StreamBuilder b;
    b.grid(4);
    b.note(0, 100, 0, 60);
    b.note(480, 100, 0, 62);
    return b;
}

// The song's SysEx on output 1: not the engine's Master Volume nor the
// resets at the end of the song.
std::vector<TimedMessage> songSysEx(const EngineRig &rig)
{
    const uint64_t end = rig.sigs.named("fineBrano").at(0).ms;
    std::vector<TimedMessage> r;
    for (const TimedMessage &m : rig.withStatus(1, 0xF0))
        if (m.ms < end && (m.bytes.size() < 2 || m.bytes[1] != 0x7F))
            r.push_back(m);
    return r;
}
} // namespace

class TestBoundaries : public QObject
{
    Q_OBJECT
private slots:
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
        std::vector<uint8_t> stream;
        if (kind == "truncated" || kind == "truncatedDelta") {
            b.note(960, 100, 0, 64);
            b.end(1920);
            stream = b.build();
            // Cut after the last note's status and key (or its delta's first byte).
            auto at = std::find(stream.begin(), stream.end(), uint8_t(0x40));
            QVERIFY(at != stream.end());
            stream.resize(size_t(at - stream.begin()) + (kind == "truncated" ? 1 : 0));
            if (kind == "truncatedDelta")
                stream.back() = 0x83;
        } else {
            if (kind == "sysex130")
                b.sysex(960, std::vector<uint8_t>(129, 0x11)), b.end(1920);
            else if (kind == "f3")
                b.event(960, {0xF3, 0x01}).end(1920);
            else if (kind == "f5")
                b.event(960, {0xF5, 0x02}).end(1920);
            else if (kind == "orphan")
                b.event(0, {0x3C, 0x40}).end(1920);
            else if (kind == "delta5")
                b.eventWithDelta(960, {0x81, 0x80, 0x80, 0x80, 0x80}, {0x90, 0x40, 0x40}).end(1920);
            stream = b.build();
        }
        QVERIFY(rig.play(stream, false));
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(3000);
        QCOMPARE(int(SEQUENCER_EX_GetMfi1()->errorCode), error);
        QCOMPARE(rig.sigs.count("fineBrano"), 1);
        QCOMPARE(int(rig.noteOns(1).size()), notesBefore);
        QVERIFY(SEQUENCER_EX_GetMidiStream1()->flags & SF_SUSPENDED);
        QVERIFY(SEQUENCER_EX_GetMfi1()->readPosition <= SEQUENCER_EX_GetMfi1()->streamLength);
        if (kind == "delta5")
            QCOMPARE(SEQUENCER_EX_GetStopReason(), STOPCHI_BAD_DELTA);
        // Seconds later nothing has been read again or reported again.
        const uint32_t pos = SEQUENCER_EX_GetMfi1()->readPosition;
        rig.driver.advance(2000);
        QCOMPARE(SEQUENCER_EX_GetMfi1()->readPosition, pos);
        QCOMPARE(rig.sigs.count("fineBrano"), 1);
        SEQUENCER_EX_ActionStop();
        QCOMPARE(int(SEQUENCER_EX_Stop()), 1);
    }

    void longMessages()
    {
        EngineRig rig;
        StreamBuilder b = leadIn();
        std::vector<uint8_t> sysex(125, 0x22);
        sysex.push_back(0xF7);
        b.sysex(700, sysex);
        std::vector<uint8_t> text(200, 'a');
        b.meta(800, 0x01, text);
        b.note(960, 100, 0, 64);
        b.end(1920);
        QVERIFY(rig.play(b.build(), false));
        QVERIFY(rig.playToEnd(5000));
        QCOMPARE(int(SEQUENCER_EX_GetMfi1()->errorCode), 0);
        const std::vector<TimedMessage> sx = songSysEx(rig);
        QCOMPARE(int(sx.size()), 1);
        QCOMPARE(int(sx[0].bytes.size()), 127);
        QCOMPARE(int(sx[0].bytes.back()), 0xF7);
        QCOMPARE(int(rig.noteOns(1).size()), 3);
        QCOMPARE(int(rig.noteOns(1).back().bytes[1]), 64);
    }

    void runningStatus()
    {
        EngineRig rig;
        StreamBuilder b;
        b.grid(1);
        b.event(0, {0x90, 0x3C, 0x64});
        b.event(10, {0x3E, 0x64});
        b.event(20, {0x3C, 0x00});
        b.event(30, {0x80, 0x3E, 0x00});
        b.end(480);
        SongSetup setup;
        setup.programs[0] = 0;
        QVERIFY(rig.play(b.build(), false, setup));
        QVERIFY(rig.playToEnd(5000));
        std::vector<QByteArray> got;
        for (const TimedMessage &m : rig.withStatus(1, 0x80, true))
            got.push_back(hex(m.bytes));
        for (const TimedMessage &m : rig.withStatus(1, 0x90, true))
            got.push_back(hex(m.bytes));
        std::sort(got.begin(), got.end());
        QCOMPARE(got, (std::vector<QByteArray>{"80 3e 00", "90 3c 00", "90 3c 64", "90 3e 64"}));
    }

    void endOfSong()
    {
        EngineRig rig;
        StreamBuilder b = leadIn();
        b.end(1920);
        QVERIFY(rig.play(b.build(), false));
        QVERIFY(rig.playToEnd(5000));
        const uint64_t end = rig.sigs.named("fineBrano")[0].ms;
        // At the end of track's own time, not when it was read.
        QVERIFY2(std::llabs(int64_t(end) - int64_t(rig.noteOns(1)[0].ms + 2000)) <= 1,
                 qPrintable(QString::number(end)));
        QCOMPARE(int(SEQUENCER_EX_Stop()), 1);
        QCOMPARE(SEQUENCER_EX_GetStopReason(), STOPCHI_SONG_END);
        QCOMPARE(int(SEQUENCER_EX_GetMidiStream1()->slotByte), 0);
        // Every channel silenced, then the output reset.
        std::vector<QByteArray> tail;
        for (const TimedMessage &m : rig.messages(1))
            if (m.ms >= end)
                tail.push_back(hex(m.bytes));
        QVERIFY(tail.size() >= 16 * 3 + 2);
        QCOMPARE(tail[0], QByteArray("b0 7b 00"));
        QCOMPARE(tail[45], QByteArray("bf 7b 00"));
        QVERIFY(std::find(tail.begin(), tail.end(), QByteArray("f0 7e 7f 09 01 f7")) != tail.end());
        rig.driver.advance(2000);
        QCOMPARE(rig.sigs.count("fineBrano"), 1);
    }

    void stopRequestWhileAdvanceIsOff()
    {
        EngineRig rig;
        StreamBuilder b = leadIn();
        b.end(1920);
        QVERIFY(rig.play(b.build(), true));
        rig.driver.advance(10);
        QCOMPARE(SEQUENCER_EX_SetEnableIntrAdvance(0), 1);
        reqStop.store(1);
        rig.driver.advance(1);
        QCOMPARE(int(SEQUENCER_EX_Stop()), 1);
        QCOMPARE(SEQUENCER_EX_GetStopReason(), STOPCHI_REQUEST);
        SEQUENCER_EX_SetEnableIntrAdvance(1);
        SEQUENCER_EX_ActionStop();
        QCOMPARE(rig.sigs.count("stopAllSongs"), 1);
        QCOMPARE(int(SEQUENCER_EX_GetMidiStream1()->fileType), 0);
        int index = -1;
        QVERIFY(SEQUENCER_EX_GetFreeBuffer(&index));
        QCOMPARE(index, 0);
        QCOMPARE(SEQUENCER_EX_GetFreeMidiPort(), 0);
    }
};

VELMAR_TEST(TestBoundaries)
#include "tst_boundaries.moc"
