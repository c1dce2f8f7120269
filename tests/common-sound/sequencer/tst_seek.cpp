// Seek by bar on the simulated clock: forward seeks run the song's set-up
// silently up to the target bar, rewinds restart it, and either way the song
// goes on from the bar's first event at its own pace.
#include "enginerig.h"
#include "sequencer_ex_p.h"
#include "testutil.h"

#include <QtTest>
#include <set>

namespace {
// bars of 4/4 at 120 BPM. Each bar b starts with program b and pan 3b on
// channel 3; on its third beat channel 1 gets pitch bend (lsb b, msb 64) and
// expression 100 - b; a note on channel 1 on each beat, key 36 + b % 24 + beat.
StreamBuilder barSong(int bars, int extraControllersPerBar = 0)
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
        for (int i = 0; i < extraControllersPerBar; ++i)
            b.cc(t + uint32_t(i), 4, 1, i & 127);
        for (int beat = 0; beat < 4; ++beat)
            b.note(t + uint32_t(beat) * 480, 240, 0, 36 + bar % 24 + beat);
    }
    b.end(uint32_t(bars) * 1920);
    return b;
}

int keyOf(int bar, int beat) { return 36 + bar % 24 + beat; }

std::vector<TimedMessage> before(const std::vector<TimedMessage> &m, uint64_t ms)
{
    std::vector<TimedMessage> r;
    for (const TimedMessage &x : m)
        if (x.ms <= ms)
            r.push_back(x);
    return r;
}

// The messages of an output before its first note-on.
std::vector<TimedMessage> beforeFirstNote(const std::vector<TimedMessage> &m)
{
    std::vector<TimedMessage> r;
    for (const TimedMessage &x : m) {
        if ((x.bytes[0] & 0xF0) == 0x90 && x.bytes.size() >= 3 && x.bytes[2] > 0)
            break;
        r.push_back(x);
    }
    return r;
}

std::vector<TimedMessage> withStatus(const std::vector<TimedMessage> &m, uint8_t status)
{
    std::vector<TimedMessage> r;
    for (const TimedMessage &x : m)
        if (x.bytes[0] == status)
            r.push_back(x);
    return r;
}

std::vector<TimedMessage> after(const std::vector<TimedMessage> &m, uint64_t ms)
{
    std::vector<TimedMessage> r;
    for (const TimedMessage &x : m)
        if (x.ms >= ms)
            r.push_back(x);
    return r;
}

// The engine's host with a tick in between every two uses of the advance
// switch, as the engine thread may take its turn whenever the switch is not
// held: what a held section leaves exposed shows up at once.
class InterleavingHost : public SequencerHost
{
public:
    explicit InterleavingHost(SequencerDriver &driver) : m_driver(driver) { SEQUENCER_EX_SetHost(this); }
    ~InterleavingHost() override { SEQUENCER_EX_SetHost(&m_driver); }
    int setEnableIntrAdvance(int on) override
    {
        const int previous = m_driver.setEnableIntrAdvance(on);
        m_driver.advance(1);
        return previous;
    }
    int getEnableIntrAdvance() override { return m_driver.getEnableIntrAdvance(); }

private:
    SequencerDriver &m_driver;
};

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
            rig.clearOutputs();
            rig.sigs.clear();
        }
    };

    // Seeks and runs until the seek reports completion; the completion time.
    static uint64_t seekAndWait(EngineRig &rig, int bar, int expectedResult = 1)
    {
        const int r = SEQUENCER_EX_SeekBar(bar, 0);
        if (r != expectedResult)
            return 0;
        rig.driver.runUntil([&] { return rig.sigs.count("seekDone") > 0; }, 60000);
        const std::vector<SignalEvent> done = rig.sigs.named("seekDone");
        return done.empty() ? 0 : done[0].ms;
    }

private slots:
    void landsOnTheBarWithItsChannelState_data()
    {
        QTest::addColumn<int>("fromBar");
        QTest::addColumn<int>("toBar");
        QTest::newRow("forward 2 -> 12") << 2 << 12;
        QTest::newRow("backward 10 -> 4") << 10 << 4;
        QTest::newRow("backward 6 -> 1") << 6 << 1;
        QTest::newRow("back to the start") << 5 << 0;
    }
    void landsOnTheBarWithItsChannelState()
    {
        QFETCH(int, fromBar);
        QFETCH(int, toBar);
        Playing p(barSong(20), fromBar);
        EngineRig &rig = p.rig;
        const uint64_t doneAt = seekAndWait(rig, toBar);
        QVERIFY(doneAt > 0);
        QCOMPARE(rig.sigs.count("seekDone"), 1);
        QCOMPARE(SEQUENCER_EX_GetCurrentBar(), toBar);
        rig.driver.advance(2100);
        // Nothing sounded on the way.
        QVERIFY(before(rig.noteOns(1), doneAt - 1).empty());
        // The channel state of the target bar is set before its first note.
        const std::vector<TimedMessage> setUp = beforeFirstNote(rig.messages(1));
        const std::vector<TimedMessage> programs = withStatus(setUp, 0xC2);
        QVERIFY(!programs.empty());
        QCOMPARE(int(programs.back().bytes[1]), toBar);
        std::vector<TimedMessage> pans;
        for (const TimedMessage &m : withStatus(setUp, 0xB2))
            if (m.bytes[1] == 10)
                pans.push_back(m);
        QVERIFY(!pans.empty());
        QCOMPARE(int(pans.back().bytes[2]), 3 * toBar);
        // Pitch bend and expression of the bar before arrive once each.
        const std::vector<TimedMessage> bends = withStatus(setUp, 0xE0);
        std::vector<TimedMessage> expr;
        for (const TimedMessage &m : withStatus(setUp, 0xB0))
            if (m.bytes[1] == 11)
                expr.push_back(m);
        if (toBar == 0) {
            QVERIFY(bends.empty() && expr.empty());
        } else {
            QCOMPARE(int(bends.size()), 1);
            QCOMPARE(hex(bends[0].bytes), hex({0xE0, uint8_t(toBar - 1), 64}));
            QCOMPARE(int(expr.size()), 1);
            QCOMPARE(int(expr[0].bytes[2]), 100 - (toBar - 1));
        }
        // Then the song goes on at its own pace from the bar's first note.
        const std::vector<TimedMessage> notes = after(rig.noteOns(1), doneAt);
        QVERIFY(notes.size() >= 4);
        QCOMPARE(int(notes[0].bytes[1]), keyOf(toBar, 0));
        QVERIFY(notes[0].ms - doneAt <= 1);
        for (int i = 1; i < 4; ++i) {
            QCOMPARE(int(notes[size_t(i)].bytes[1]), keyOf(toBar, i));
            QVERIFY2(std::llabs(int64_t(notes[size_t(i)].ms - notes[size_t(i) - 1].ms) - 500) <= 1,
                     qPrintable(QString::number(notes[size_t(i)].ms - notes[size_t(i) - 1].ms)));
        }
    }

    void barsBeyond255()
    {
        Playing p(barSong(320), 1);
        EngineRig &rig = p.rig;
        const uint64_t doneAt = seekAndWait(rig, 300);
        QVERIFY(doneAt > 0);
        QCOMPARE(SEQUENCER_EX_GetCurrentBar(), 300);
        rig.driver.advance(2100);
        const std::vector<TimedMessage> notes = after(rig.noteOns(1), doneAt);
        QVERIFY(!notes.empty());
        QCOMPARE(int(notes[0].bytes[1]), keyOf(300, 0));
        const std::vector<SignalEvent> bars = rig.sigs.named("bar");
        QVERIFY(!bars.empty());
        QCOMPARE(bars.back().a, 301);
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
            InterleavingHost host(rig.driver);
            QCOMPARE(SEQUENCER_EX_SeekBar(toBar, 0), 1);
        }
        QVERIFY(rig.driver.runUntil([&] { return rig.sigs.count("seekDone") > 0; }, 20000));
        const uint64_t doneAt = rig.sigs.named("seekDone")[0].ms;
        bool silenced = false;
        for (const TimedMessage &m : rig.messages(1)) {
            if (m.bytes[0] == 0xB0 && m.bytes[1] == 0x7B)
                silenced = true;
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
        QCOMPARE(rig.withStatus(1, 0x90, true).size(), size_t(0));
    }

    // Going back to the start (the player's stop) from inside the first bar
    // restarts the song rather than leaving it mid-bar.
    void backToTheStartFromTheFirstBar()
    {
        Playing p(barSong(8), 0);
        EngineRig &rig = p.rig;
        rig.driver.advance(1100);
        QCOMPARE(SEQUENCER_EX_GetCurrentBar(), 0);
        rig.clearOutputs();
        rig.sigs.clear();
        const uint64_t doneAt = seekAndWait(rig, 0);
        QVERIFY(doneAt > 0);
        QCOMPARE(rig.sigs.count("seekDone"), 1);
        rig.driver.advance(1100);
        const std::vector<TimedMessage> notes = after(rig.noteOns(1), doneAt);
        QVERIFY(notes.size() >= 2);
        QCOMPARE(int(notes[0].bytes[1]), keyOf(0, 0));
        QVERIFY(notes[0].ms - doneAt <= 1);
        QCOMPARE(int(notes[1].bytes[1]), keyOf(0, 1));
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

};

VELMAR_TEST(TestSeek)
#include "tst_seek.moc"
