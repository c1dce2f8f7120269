// Seek by bar on the simulated clock: forward seeks run the song's set-up
// silently up to the target bar, rewinds restart it, and either way the song
// goes on from the bar's first event at its own pace.
#include "rig.h"
#include "testutil.h"

#include <QtTest>
#include <set>

namespace {
// bars of 4/4 at 120 BPM. Each bar b starts with program b and pan 3b on
// channel 3; on its third beat channel 1 gets pitch bend (lsb b, msb 64) and
// expression 100 - b; a note on channel 1 on each beat, key 36 + b % 24 + beat.
StreamBuilder barSong(int bars)
{
    StreamBuilder b;
    b.tempo(0, 500000);
    b.grid(bars, 4);
    for (int bar = 0; bar < bars; ++bar) {
        const uint32_t t = uint32_t(bar) * 1920;
        b.program(t, 2, bar & 127);
        b.cc(t, 2, 10, (3 * bar) & 127);
        b.pitchBend(t + 960, 0, bar & 127, 64);
        b.cc(t + 960, 0, 11, (100 - bar) & 127);
        for (int beat = 0; beat < 4; ++beat)
            b.note(t + uint32_t(beat) * 480, 240, 0, 36 + bar % 24 + beat);
    }
    b.end(uint32_t(bars) * 1920);
    return b;
}

int keyOf(int bar, int beat) { return 36 + bar % 24 + beat; }

// A note on channel 1 every 8 ticks (about 8 ms) for `bars` bars of 4/4.
StreamBuilder denseSong(int bars)
{
    StreamBuilder b;
    b.tempo(0, 500000);
    b.grid(bars, 4);
    for (uint32_t t = 0; t < uint32_t(bars) * 1920; t += 8)
        b.note(t, 4, 0, 48 + int(t / 8) % 24);
    b.end(uint32_t(bars) * 1920);
    return b;
}

// The value bytes of the messages before the first note-on that start with
// these bytes.
std::vector<int> valuesBefore(const std::vector<TimedMessage> &msgs, std::vector<uint8_t> head)
{
    std::vector<int> r;
    for (const TimedMessage &m : msgs) {
        if ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0)
            break;
        if (m.bytes.size() > head.size() && std::equal(head.begin(), head.end(), m.bytes.begin()))
            r.push_back(m.bytes[head.size()]);
    }
    return r;
}

int last(const std::vector<int> &v) { return v.empty() ? -1 : v.back(); }

bool near(uint64_t gap, uint64_t want) { return gap + 1 >= want && gap <= want + 1; }
} // namespace

class TestSeek : public QObject
{
    Q_OBJECT

    struct Playing {
        EngineRig rig;
        StreamBuilder song;
        explicit Playing(StreamBuilder s, int runToBar) : song(std::move(s))
        {
            SongSetup setup;
            setup.bars = &song;
            setup.programs[0] = 0;
            setup.programs[2] = 0;
            rig.play(song.build(), false, setup);
            SEQUENCER_EX_ActionResume();
            rig.driver.runUntil([&] { return SEQUENCER_EX_GetCurrentBar() >= runToBar; }, 600000);
            rig.driver.advance(100);
            rig.clear();
            rig.sigs.clear();
        }
        // Seeks and runs until the seek reports completion; its time.
        uint64_t seek(int bar)
        {
            if (SEQUENCER_EX_SeekBar(bar, 0) != 1)
                return 0;
            rig.driver.runUntil([&] { return rig.sigs.count("seekDone") > 0; }, 60000);
            return rig.sigs.count("seekDone") == 1 ? rig.sigs.named("seekDone")[0].ms : 0;
        }
    };

private slots:
    void landsOnTheBarWithItsChannelState_data()
    {
        QTest::addColumn<int>("bars");
        QTest::addColumn<int>("fromBar");
        QTest::addColumn<int>("toBar");
        QTest::newRow("forward 2 -> 12") << 20 << 2 << 12;
        QTest::newRow("backward 10 -> 4") << 20 << 10 << 4;
        QTest::newRow("backward 6 -> 1") << 20 << 6 << 1;
        QTest::newRow("back to the start") << 20 << 5 << 0;
        QTest::newRow("to the start from inside the first bar") << 20 << 0 << 0;
        QTest::newRow("bars beyond 255") << 320 << 1 << 300;
    }
    void landsOnTheBarWithItsChannelState()
    {
        QFETCH(int, bars);
        QFETCH(int, fromBar);
        QFETCH(int, toBar);
        Playing p(barSong(bars), fromBar);
        EngineRig &rig = p.rig;
        const uint64_t doneAt = p.seek(toBar);
        QVERIFY(doneAt > 0);
        QCOMPARE(SEQUENCER_EX_GetCurrentBar(), toBar);
        rig.driver.advance(2100);
        const std::vector<TimedMessage> notes = rig.noteOns(1);
        QVERIFY(notes.size() >= 4);
        // Nothing sounded on the way; the channel state of the target bar is
        // set before its first note, the bend and expression of the bar
        // before once each.
        QVERIFY(notes[0].ms >= doneAt);
        const std::vector<TimedMessage> all = rig.messages(1);
        QCOMPARE(last(valuesBefore(all, {0xC2})), toBar & 127);
        QCOMPARE(last(valuesBefore(all, {0xB2, 10})), (3 * toBar) & 127);
        const std::vector<int> bends = valuesBefore(all, {0xE0});
        const std::vector<int> expr = valuesBefore(all, {0xB0, 11});
        QCOMPARE(bends, toBar ? std::vector<int>{(toBar - 1) & 127} : std::vector<int>{});
        QCOMPARE(expr, toBar ? std::vector<int>{(100 - (toBar - 1)) & 127} : std::vector<int>{});
        // Then the song goes on at its own pace from the bar's first note.
        QVERIFY(notes[0].ms - doneAt <= 1);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(int(notes[size_t(i)].bytes[1]), keyOf(toBar, i));
            QVERIFY(i == 0 || near(notes[size_t(i)].ms - notes[size_t(i) - 1].ms, 500));
        }
        QCOMPARE(rig.sigs.named("bar").back().a, toBar + 1);
    }

    // No note may start between the silence of a seek and the seek itself:
    // the seek skips its note-off and it would sound on for good.
    void noNoteBetweenTheSilenceAndTheSeek_data()
    {
        QTest::addColumn<int>("fromBar");
        QTest::addColumn<int>("toBar");
        QTest::newRow("forward") << 2 << 6;
        QTest::newRow("backward") << 6 << 2;
    }
    void noNoteBetweenTheSilenceAndTheSeek()
    {
        QFETCH(int, fromBar);
        QFETCH(int, toBar);
        Playing p(denseSong(10), fromBar);
        EngineRig &rig = p.rig;
        {
            InterleavingHost host([&rig] { rig.driver.advance(1); });
            QCOMPARE(SEQUENCER_EX_SeekBar(toBar, 0), 1);
        }
        QVERIFY(rig.driver.runUntil([&] { return rig.sigs.count("seekDone") > 0; }, 20000));
        const uint64_t doneAt = rig.sigs.named("seekDone")[0].ms;
        bool silenced = false;
        for (const TimedMessage &m : rig.messages(1)) {
            silenced = silenced || (m.bytes[0] == 0xB0 && m.bytes[1] == 0x7B);
            const bool noteOn = (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0;
            QVERIFY2(!(silenced && noteOn && m.ms < doneAt),
                     qPrintable(QStringLiteral("%1 at %2, seek done at %3").arg(QString(hex(m.bytes))).arg(m.ms).arg(doneAt)));
        }
        QVERIFY(silenced);
    }

    void seekToThePlayingBarReportsCompletion()
    {
        Playing p(barSong(8), 3);
        EngineRig &rig = p.rig;
        QCOMPARE(SEQUENCER_EX_SeekBar(3, 0), 1);
        QCOMPARE(rig.sigs.count("seekDone"), 1);
        // It silences every channel of both outputs.
        std::set<int> stopped;
        for (const TimedMessage &m : rig.withStatus(1, 0xB0, true))
            if (m.bytes[1] == 0x7B)
                stopped.insert(m.bytes[0] & 15);
        QCOMPARE(int(stopped.size()), 16);
        QVERIFY(rig.withStatus(1, 0x90, true).empty());
    }

    // After the song has ended there is nothing to seek in: refused at once,
    // without waiting for a rewind that can never arrive.
    void seekAfterTheSongEnded()
    {
        Playing p(barSong(4), 1);
        EngineRig &rig = p.rig;
        QVERIFY(rig.playToEnd());
        const uint64_t before = rig.driver.now();
        QCOMPARE(SEQUENCER_EX_SeekBar(1, 0), 0);
        QCOMPARE(SEQUENCER_EX_SeekBar(0, 0), 0);
        QCOMPARE(rig.driver.now(), before);
    }

    // A rewind keeps the song's tempo, also when it has no tempo event; the
    // click and the bar signals stay silent while the seek runs.
    void rewindKeepsTheTempoAndSilence_data()
    {
        QTest::addColumn<int>("targetBar");
        QTest::addColumn<int>("firstTempo");
        QTest::newRow("to bar 0, no tempo event") << 0 << -1;
        QTest::newRow("to bar 1, no tempo event") << 1 << -1;
        QTest::newRow("to bar 0, song at 100 BPM") << 0 << 600000;
        QTest::newRow("forward to bar 9") << 9 << -1;
    }
    void rewindKeepsTheTempoAndSilence()
    {
        QFETCH(int, targetBar);
        QFETCH(int, firstTempo);
        const uint64_t beat = firstTempo > 0 ? uint64_t(firstTempo / 1000) : 500;
        EngineRig rig;
        StreamBuilder b;
        if (firstTempo > 0)
            b.tempo(0, uint32_t(firstTempo));
        b.grid(12, 4);
        for (int i = 0; i < 48; ++i)
            b.note(uint32_t(i) * 480, 240, 0, 60 + i % 12);
        b.end(48 * 480);
        SongSetup setup;
        setup.bars = &b;
        QVERIFY(rig.play(b.build(), false, setup));
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(beat * 13);
        rig.clear();
        rig.sigs.clear();
        QCOMPARE(SEQUENCER_EX_SeekBar(targetBar, 0), 1);
        QVERIFY(rig.driver.runUntil([&] { return rig.sigs.count("seekDone") > 0; }, 5000));
        const uint64_t doneAt = rig.sigs.named("seekDone")[0].ms;
        rig.driver.advance(beat * 6 + 10);
        const std::vector<TimedMessage> t = rig.noteOns(1);
        QVERIFY2(t.size() >= 5, qPrintable(QString::number(t.size())));
        QCOMPARE(int(t[0].bytes[1]), 60 + (targetBar * 4) % 12);
        for (size_t i = 1; i < t.size(); ++i)
            QVERIFY2(near(t[i].ms - t[i - 1].ms, beat), qPrintable(QStringLiteral("gap %1: %2").arg(i).arg(t[i].ms - t[i - 1].ms)));
        for (const TimedMessage &m : rig.withStatus(4, 0x99))
            QVERIFY(m.ms >= doneAt);
        for (const SignalEvent &e : rig.sigs.named("bar"))
            QVERIFY(e.ms >= doneAt);
    }
};

VELMAR_TEST(TestSeek)
#include "tst_seek.moc"
