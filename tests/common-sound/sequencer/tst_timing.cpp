// Song time on the simulated clock: every note leaves at the time its tick
// gives with the song's exact tempo, whatever the tempo changes, offsets,
// pauses and density.
#include "RealTime.h"
#include "enginerig.h"
#include "sequencer_ex_p.h"
#include "testutil.h"

#include <QtTest>
#include <cmath>

namespace {
// Exact time in ms of each tick under a tempo map {tick, us per quarter}.
struct TempoMap {
    std::vector<std::pair<uint32_t, uint32_t>> changes{{0, 500000}};
    double ms(uint32_t tick, uint16_t tpqn) const
    {
        double t = 0;
        for (size_t i = 0; i < changes.size(); ++i) {
            const uint32_t from = changes[i].first;
            if (tick <= from)
                break;
            const uint32_t to = i + 1 < changes.size() ? std::min(tick, changes[i + 1].first) : tick;
            t += double(to - from) * changes[i].second / tpqn / 1000.0;
        }
        return t;
    }
};
} // namespace

class TestTiming : public QObject
{
    Q_OBJECT
private slots:
    void notesAtSongTime_data()
    {
        QTest::addColumn<int>("tpqn");
        QTest::addColumn<QList<int>>("tempoChanges"); // tick, us, tick, us ...
        QTest::addColumn<int>("step");                // ticks between notes
        QTest::addColumn<int>("notes");
        QTest::newRow("no tempo event: 120 BPM") << 480 << QList<int>{} << 240 << 40;
        QTest::newRow("140 BPM, beat not whole ms") << 480 << QList<int>{0, 428571} << 120 << 200;
        QTest::newRow("tempo changes every bar")
            << 480 << QList<int>{0, 600000, 1920, 437500, 3840, 333333, 5760, 1000000, 7680, 468750}
            << 160 << 60;
        QTest::newRow("division 384") << 384 << QList<int>{0, 461538} << 96 << 100;
        QTest::newRow("dense: a note every 7 ticks at 133 BPM") << 480 << QList<int>{0, 451127} << 7 << 3000;
    }
    void notesAtSongTime()
    {
        QFETCH(int, tpqn);
        QFETCH(QList<int>, tempoChanges);
        QFETCH(int, step);
        QFETCH(int, notes);
        EngineRig rig;
        StreamBuilder b{uint16_t(tpqn)};
        TempoMap map;
        if (!tempoChanges.isEmpty())
            map.changes.clear();
        for (int i = 0; i + 1 < tempoChanges.size(); i += 2) {
            b.tempo(uint32_t(tempoChanges[i]), uint32_t(tempoChanges[i + 1]));
            map.changes.push_back({uint32_t(tempoChanges[i]), uint32_t(tempoChanges[i + 1])});
        }
        const uint32_t last = uint32_t(step) * uint32_t(notes);
        b.grid(int(last / (4u * uint32_t(tpqn))) + 2, 4);
        for (int i = 0; i < notes; ++i)
            b.note(uint32_t(i * step), uint32_t(step / 2 > 0 ? step / 2 : 1), i % 16 == 9 ? 0 : i % 16, 40 + i % 60);
        b.end(last + uint32_t(tpqn));
        SongSetup setup;
        for (int c = 0; c < 16; ++c)
            setup.programs[c] = c;
        QVERIFY(rig.play(b.build(), false, setup));
        SEQUENCER_EX_SetMelodyMode(0);
        QVERIFY(rig.playToEnd());

        std::vector<TimedMessage> on;
        for (const TimedMessage &m : rig.noteOns(1))
            on.push_back(m);
        QCOMPARE(int(on.size()), notes);
        const double t0 = double(on[0].ms);
        for (int i = 0; i < notes; ++i) {
            const double expected = map.ms(uint32_t(i * step), uint16_t(tpqn));
            const double got = double(on[size_t(i)].ms) - t0;
            QVERIFY2(std::fabs(got - expected) <= 1.0,
                     qPrintable(QStringLiteral("note %1: %2 ms, expected %3 ms").arg(i).arg(got).arg(expected)));
            QCOMPARE(int(on[size_t(i)].bytes[1]), 40 + i % 60);
        }
    }

    // A note every beat (480 ticks) on channel 1, with the beat grid.
    static StreamBuilder beats(int count, int firstTempo = -1)
    {
        StreamBuilder b;
        if (firstTempo > 0)
            b.tempo(0, uint32_t(firstTempo));
        b.grid(count / 4 + 2, 4);
        for (int i = 0; i < count; ++i)
            b.note(uint32_t(i) * 480, 240, 0, 60 + i % 12);
        b.end(uint32_t(count) * 480);
        return b;
    }

    static std::vector<uint64_t> times(const std::vector<TimedMessage> &m)
    {
        std::vector<uint64_t> t;
        for (const TimedMessage &x : m)
            t.push_back(x.ms);
        return t;
    }

    // 24 clocks per quarter at the song's exact time, whatever the tempo.
    void midiClockFollowsSongTime_data()
    {
        QTest::addColumn<QList<int>>("tempoChanges"); // bar, us, bar, us ...
        QTest::addColumn<int>("bars");
        QTest::addColumn<int>("tempoDelta");
        QTest::newRow("120 BPM") << QList<int>{0, 500000} << 90 << 0;
        QTest::newRow("140, 279, 92 and 120 BPM")
            << QList<int>{0, 428571, 25, 215000, 60, 652174, 80, 500000} << 110 << 0;
        QTest::newRow("130 BPM and the user's +7") << QList<int>{0, 461538} << 100 << 7;
    }
    void midiClockFollowsSongTime()
    {
        QFETCH(QList<int>, tempoChanges);
        QFETCH(int, bars);
        QFETCH(int, tempoDelta);
        constexpr uint32_t kBar = 4 * 480;
        EngineRig rig;
        rig.driver.setMidiInterface(&rig.iface);
        rig.out[0].setClock([] { return RealTime::messageTimeMs(); });
        StreamBuilder b;
        TempoMap map;
        map.changes.clear();
        for (int i = 0; i + 1 < tempoChanges.size(); i += 2) {
            const uint32_t tick = uint32_t(tempoChanges[i]) * kBar;
            const uint32_t us = uint32_t(tempoChanges[i + 1]);
            b.tempo(tick, us);
            // The offset counts in BPM: 60e6 / us + delta beats a minute.
            map.changes.push_back({tick, uint32_t(60000000.0 * us / (60000000.0 + tempoDelta * double(us)))});
        }
        b.grid(bars, 4);
        for (int bar = 0; bar < bars; ++bar)
            b.note(uint32_t(bar) * kBar, 240, 0, 60);
        const uint32_t last = uint32_t(bars) * kBar;
        b.end(last);
        SongSetup setup;
        setup.tempoDelta = int16_t(tempoDelta);
        QVERIFY(rig.play(b.build(), false, setup));
        rig.driver.setMidiClock(true);
        SEQUENCER_EX_ActionResume();
        QVERIFY(rig.driver.runUntil([] { return !SEQUENCER_EX_IsRunning(); }, 400000));

        std::vector<double> clocks;
        for (const RecordingMidiOutput::Message &m : rig.out[0].messages())
            if (m.bytes == std::vector<unsigned char>{0xF8})
                clocks.push_back(m.timeMs);
        QVERIFY(map.ms(last, 480) >= 170000);
        QCOMPARE(int(clocks.size()), int(last / 20));
        for (size_t n = 0; n < clocks.size(); ++n) {
            const double expected = map.ms(uint32_t(n) * 20, 480);
            const double got = clocks[n] - clocks[0];
            QVERIFY2(std::fabs(got - expected) <= 0.5,
                     qPrintable(QStringLiteral("clock %1: %2 ms, expected %3 ms").arg(n).arg(got).arg(expected)));
        }
    }

    void rewindKeepsTempoOfSongWithoutTempoEvent_data()
    {
        QTest::addColumn<int>("targetBar");
        QTest::addColumn<int>("firstTempo");
        QTest::newRow("to bar 0, no tempo event") << 0 << -1;
        QTest::newRow("to bar 1, no tempo event") << 1 << -1;
        QTest::newRow("to bar 0, song at 100 BPM") << 0 << 600000;
    }
    void rewindKeepsTempoOfSongWithoutTempoEvent()
    {
        QFETCH(int, targetBar);
        QFETCH(int, firstTempo);
        const int64_t beat = firstTempo > 0 ? firstTempo / 1000 : 500;
        EngineRig rig;
        StreamBuilder b = beats(24, firstTempo);
        SongSetup setup;
        setup.bars = &b;
        QVERIFY(rig.play(b.build(), false, setup));
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(uint64_t(beat) * 13);
        QVERIFY(SEQUENCER_EX_GetCurrentBar() >= 2);
        rig.clearOutputs();
        rig.sigs.clear();
        QCOMPARE(SEQUENCER_EX_SeekBar(targetBar, 0), 1);
        QCOMPARE(rig.sigs.count("seekDone"), 1);
        rig.driver.advance(uint64_t(beat) * 6 + 10);
        const std::vector<uint64_t> t = times(rig.noteOns(1));
        QVERIFY2(t.size() >= 5, qPrintable(QString::number(t.size())));
        for (size_t i = 1; i < t.size(); ++i)
            QVERIFY2(std::llabs(int64_t(t[i] - t[i - 1]) - beat) <= 1,
                     qPrintable(QStringLiteral("gap %1: %2").arg(i).arg(t[i] - t[i - 1])));
        QCOMPARE(int(rig.noteOns(1)[0].bytes[1]), 60 + (targetBar * 4) % 12);
    }

    void badTempoEventsAreIgnored_data()
    {
        QTest::addColumn<QByteArray>("event");
        QTest::newRow("FF 51 of 0") << QByteArray::fromHex("ff5103000000");
        QTest::newRow("FF 51 of two bytes") << QByteArray::fromHex("ff51020001");
        QTest::newRow("FF 51 of 1 us") << QByteArray::fromHex("ff5103000001");
    }
    void badTempoEventsAreIgnored()
    {
        QFETCH(QByteArray, event);
        EngineRig rig;
        StreamBuilder b = beats(8, 600000);
        b.event(960, std::vector<uint8_t>(event.begin(), event.end()));
        QVERIFY(rig.play(b.build(), false));
        QVERIFY(rig.playToEnd(20000));
        const std::vector<uint64_t> t = times(rig.noteOns(1));
        QCOMPARE(int(t.size()), 8);
        const bool fastTempo = event.size() == 6 && event[5] == 1;
        for (size_t i = 1; i < t.size(); ++i) {
            const int64_t gap = int64_t(t[i] - t[i - 1]);
            if (fastTempo && i >= 3)
                QVERIFY(gap <= 1);
            else
                QVERIFY2(std::llabs(gap - 600) <= 1, qPrintable(QString::number(gap)));
        }
    }
};

VELMAR_TEST(TestTiming)
#include "tst_timing.moc"
