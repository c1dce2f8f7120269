// The metronome click on output 4 and the bar and beat signals it gates.
#include "enginerig.h"
#include "sequencer_click.h"
#include "sequencer_ex_p.h"
#include "testutil.h"

#include <QtTest>

class TestClick : public QObject
{
    Q_OBJECT
private slots:
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
        b.end(uint32_t(3 * beats * 480));
        QVERIFY(rig.play(b.build(), false));
        SEQUENCER_EX_GetMfi1()->beatsPerBar = int16_t(beats);
        rig.clearOutputs();
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(uint64_t(beats) * 500 + 250);
        QList<int> got;
        const std::vector<TimedMessage> notes = rig.withStatus(4, 0x99);
        QVERIFY(!notes.empty());
        for (const TimedMessage &m : notes) {
            const bool halfBeat = (m.ms - notes[0].ms) % 500 == 250;
            got << (m.bytes[1] == 56 ? 100 + m.bytes[2] : (halfBeat ? 0 : m.bytes[2]));
        }
        got = got.mid(0, clicks.size());
        QCOMPARE(got, clicks);
        // Beat signals carry the beat, bar signals the bar.
        QCOMPARE(rig.sigs.named("bar").at(0).a, 0);
        QCOMPARE(rig.sigs.named("beat").at(0).a, 1);
        SEQUENCER_EX_SetClickTimeMod(0);
    }

    void silentWhileSeeking()
    {
        EngineRig rig;
        StreamBuilder b;
        b.grid(12);
        for (int i = 0; i < 48; ++i)
            b.note(uint32_t(i) * 480, 100, 0, 60);
        b.end(12 * 1920);
        SongSetup setup;
        setup.bars = &b;
        QVERIFY(rig.play(b.build(), false, setup));
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(2100);
        rig.clearOutputs();
        rig.sigs.clear();
        QCOMPARE(SEQUENCER_EX_SeekBar(9, 0), 1);
        QVERIFY(rig.driver.runUntil([&] { return rig.sigs.count("seekDone") > 0; }, 5000));
        const uint64_t doneAt = rig.sigs.named("seekDone")[0].ms;
        for (const TimedMessage &m : rig.withStatus(4, 0x99))
            QVERIFY(m.ms >= doneAt);
        for (const SignalEvent &e : rig.sigs.named("bar"))
            QVERIFY(e.ms >= doneAt);
        rig.driver.advance(2100);
        QCOMPARE(rig.sigs.named("bar").at(0).a, 10);
    }

};

VELMAR_TEST(TestClick)
#include "tst_click.moc"
