// The volumes of a song of two ports land on the output each port plays on:
// a channel's volume and its fade term, the cross-fade term of an output
// and its Master Volume.
#include "rig.h"
#include "testutil.h"
#include "volumes.h"

#include <QtTest>

namespace {

// The last channel volume (controller 7) of a channel on an output; -1 none.
int lastVolume(const EngineRig &rig, int output, int channel)
{
    int last = -1;
    for (const TimedMessage &m : rig.withStatus(output, uint8_t(0xB0 | channel)))
        last = m.bytes.size() == 3 && m.bytes[1] == 7 ? m.bytes[2] : last;
    return last;
}

} // namespace

class TestOutputs : public QObject
{
    Q_OBJECT

private slots:
    void volumesOnTheirOutputs()
    {
        EngineRig rig;
        StreamBuilder b;
        b.grid(4);
        b.event(0, {0xF5, 0x01}).cc(0, 1, 7, 100);
        b.event(5, {0xF5, 0x02}).cc(5, 1, 7, 80);
        b.event(10, {0xF5, 0x01}).noteOn(10, 1, 60, 90);
        b.event(15, {0xF5, 0x02}).noteOn(15, 1, 64, 90);
        b.end(4 * 1920);
        SongSetup setup;
        setup.fileType = FILE_TYPE_MF5;
        setup.programs[1] = setup.programs[17] = 25;
        // Full volume, whatever a test before left.
        setMaxMidiGeneralVolume(0, 1023);
        setMaxMidiGeneralVolume(1, 100);
        setMaxMidiSourceVolume(0, SOURCE0_MAX);
        setMaxMidiSourceVolume(1, SOURCE1_MAX);
        setMidiGeneralVolume(0, 1023);
        setMidiGeneralVolume(1, 100);
        VOLUME_setMasterKFactor(127);
        for (int output : {1, 2}) {
            maxMidiSourceVolume(0, MidiOutput::of(output));
            maxMidiSourceVolume(1, MidiOutput::of(output));
            maxMidiChVolumesMap(MIDI_CHAN_VOL_FADE, MidiOutput::of(output));
        }
        // On engine port 0: its first port on output 1, its second on 2.
        QVERIFY(rig.play(b.build(), false, setup));
        const int first = 1, second = 2;
        // The second port's channel faded out on its output alone.
        VOLUMES_setMidiChVolumesMap(MIDI_CHAN_VOL_FADE, 0, 1, MidiOutput::of(second));
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(300);
        QCOMPARE(lastVolume(rig, first, 1), 100);
        QCOMPARE(lastVolume(rig, second, 1), 0);
        QCOMPARE(VOLUMES_GetMidiChVolumesMap(MIDI_CHAN_VOL_TRACK, 1, MidiOutput::of(first)), 100);
        QCOMPARE(VOLUMES_GetMidiChVolumesMap(MIDI_CHAN_VOL_TRACK, 1, MidiOutput::of(second)), 80);

        // The cross-fade term of one output: its Master Volume alone.
        const int sentFirst = rig.masterVolumes(first), sentSecond = rig.masterVolumes(second);
        const int firstLevel = rig.iface.GetLastGMVolumeSent(first - 1);
        setMidiCableSourceVolume(1, SOURCE1_MAX / 2, MidiOutput::of(second));
        rig.driver.advance(50);
        QCOMPARE(rig.masterVolumes(first), sentFirst);
        QCOMPARE(rig.masterVolumes(second), sentSecond + 1);
        QCOMPARE(rig.iface.GetLastGMVolumeSent(second - 1), 64);
        QCOMPARE(rig.iface.GetLastGMVolumeSent(first - 1), firstLevel);
        setMidiCableSourceVolume(1, SOURCE1_MAX, MidiOutput::of(second));
        VOLUMES_setMidiChVolumesMap(MIDI_CHAN_VOL_FADE, 127, 1, MidiOutput::of(second));
        rig.driver.advance(50);
    }
};

VELMAR_TEST(TestOutputs)
#include "tst_outputs.moc"
