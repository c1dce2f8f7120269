// Master Volume and channel volumes follow the music volume, the fade level,
// the song's controller 7 and the six group sliders.
#include "enginerig.h"
#include "sequencer_ex_p.h"
#include "testutil.h"
#include "volumes.h"

#include <QtTest>

namespace {
std::vector<TimedMessage> masterVolumes(const EngineRig &rig, int output)
{
    std::vector<TimedMessage> r;
    for (const TimedMessage &m : rig.withStatus(output, 0xF0))
        if (m.bytes.size() == 8 && m.bytes[1] == 0x7F && m.bytes[3] == 0x04)
            r.push_back(m);
    return r;
}

// Last controller 7 value sent on a channel of output 1, -1 when none.
int lastVolume(const EngineRig &rig, int channel)
{
    int v = -1;
    for (const TimedMessage &m : rig.withStatus(1, uint8_t(0xB0 | channel)))
        if (m.bytes[1] == 7)
            v = m.bytes[2];
    return v;
}
} // namespace

class TestVolumes : public QObject
{
    Q_OBJECT
private slots:
    void masterVolume_data()
    {
        QTest::addColumn<int>("music");
        QTest::addColumn<int>("fade");
        QTest::addColumn<int>("k");
        QTest::addColumn<int>("expected");
        QTest::newRow("full") << 1023 << 100 << 127 << 127;
        QTest::newRow("music 127 gives 126") << 1016 << 100 << 127 << 126;
        QTest::newRow("faded to half") << 1023 << 50 << 127 << 64;
        QTest::newRow("faded out") << 1023 << 0 << 127 << 0;
        QTest::newRow("master factor 64") << 1023 << 100 << 64 << 64;
        QTest::newRow("music above its maximum") << 1600 << 100 << 127 << 127;
        QTest::newRow("fade above its maximum") << 1023 << 150 << 127 << 127;
    }
    void masterVolume()
    {
        QFETCH(int, music);
        QFETCH(int, fade);
        QFETCH(int, k);
        QFETCH(int, expected);
        EngineRig rig;
        setMidiGeneralVolume(0, music);
        setMidiGeneralVolume(1, fade);
        VOLUME_setMasterKFactor(k);
        rig.driver.advance(1);
        QCOMPARE(int(masterVolumes(rig, 1).size()), 1);
        QCOMPARE(int(masterVolumes(rig, 2).size()), 1);
        // Before the output layer's own correction.
        QCOMPARE(rig.iface.GetLastGMVolumeSent(0), expected);
        QCOMPARE(rig.iface.GetLastGMVolumeSent(1), expected);
        // Nothing goes out again while nothing changes.
        rig.driver.advance(50);
        QCOMPARE(int(masterVolumes(rig, 1).size()), 1);
        setMidiGeneralVolume(0, GENERAL_MUSIC_MAX);
        setMidiGeneralVolume(1, GENERAL_FADE_MAX);
        VOLUME_setMasterKFactor(127);
    }

    // A cross-fade factor set twice to the same value before the tick still
    // reaches the output once.
    void sourceTermSetTwiceBeforeTheTick()
    {
        EngineRig rig;
        setMidiCableSourceVolume(1, 50, 0);
        setMidiCableSourceVolume(1, 50, 0);
        rig.driver.advance(1);
        QCOMPARE(int(masterVolumes(rig, 1).size()), 1);
        QCOMPARE(rig.iface.GetLastGMVolumeSent(0), 64);
        setMidiCableSourceVolume(1, SOURCE1_MAX, 0);
        rig.driver.advance(1);
        QCOMPARE(rig.iface.GetLastGMVolumeSent(0), 127);
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
        b.end(1920);
        SongSetup setup;
        setup.programs[1] = program;
        setup.drum[1] = drum;
        QVERIFY(rig.play(b.build(), false, setup));
        SEQUENCER_EX_SetSlidersValue(group, slider);
        VOLUMES_setMidiChVolumesMap(MIDI_CHAN_VOL_FADE, fadeTerm, 1, 0);
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(200);
        QCOMPARE(lastVolume(rig, 1), expected);
    }

};

VELMAR_TEST(TestVolumes)
#include "tst_volumes.moc"
