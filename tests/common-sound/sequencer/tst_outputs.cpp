// The volumes of a song of two ports land on the output each port plays on:
// a channel's volume and its fade term, the cross-fade term of an output
// and its Master Volume; so do the insert effects of each engine port.
#include "inserts.h"
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

// The insert effects' messages of each output (1..6): their EFX assigns,
// NRPNs and channel 3's bank and program, as "output: kinds".
QStringList insertMessages(const EngineRig &rig)
{
    QStringList found;
    for (int output = 1; output <= MIDI_OUTPUT_COUNT; ++output) {
        int assigns = 0, nrpns = 0, programs = 0;
        for (const TimedMessage &m : rig.messages(output)) {
            const std::vector<uint8_t> &b = m.bytes;
            assigns += b.size() == 11 && b[0] == 0xF0 && b[1] == 0x41 && b[7] == 0x22;
            nrpns += b.size() == 3 && (b[0] & 0xF0) == 0xB0 && (b[1] == 0x63 || b[1] == 0x62 || b[1] == 0x06);
            programs += b.size() == 2 && b[0] == 0xC3;
        }
        if (assigns || nrpns || programs)
            found << QStringLiteral("%1: %2 assigns, %3 NRPN parts, %4 programs").arg(output).arg(assigns).arg(nrpns).arg(programs);
    }
    return found;
}

// Full volume on both outputs, whatever a test before left.
void fullVolume()
{
    setMaxMidiGeneralVolume(0, 1023);
    setMaxMidiGeneralVolume(1, 100);
    setMaxMidiSourceVolume(0, SOURCE0_MAX);
    setMaxMidiSourceVolume(1, SOURCE1_MAX);
    setMidiGeneralVolume(0, 1023);
    setMidiGeneralVolume(1, 100);
    VOLUME_setMasterKFactor(127);
    for (MidiOutput output : kVolumeOutputs) {
        maxMidiSourceVolume(0, output);
        maxMidiSourceVolume(1, output);
        maxMidiChVolumesMap(MIDI_CHAN_VOL_FADE, output);
    }
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
        fullVolume();
        // On engine port 0: its first port on output 1, its second on 2.
        QVERIFY(rig.play(b.build(), false, setup));
        const MidiOutput first = MidiOutput::of<1>(), second = MidiOutput::of<2>();
        // The second port's channel faded out on its output alone.
        VOLUMES_setMidiChVolumesMap(MIDI_CHAN_VOL_FADE, 0, 1, second);
        SEQUENCER_EX_ActionResume();
        rig.driver.advance(300);
        QCOMPARE(lastVolume(rig, first.number(), 1), 100);
        QCOMPARE(lastVolume(rig, second.number(), 1), 0);
        QCOMPARE(VOLUMES_GetMidiChVolumesMap(MIDI_CHAN_VOL_TRACK, 1, first), 100);
        QCOMPARE(VOLUMES_GetMidiChVolumesMap(MIDI_CHAN_VOL_TRACK, 1, second), 80);

        // The cross-fade term of one output: its Master Volume alone.
        const int sentFirst = rig.masterVolumes(first.number()), sentSecond = rig.masterVolumes(second.number());
        const int firstLevel = rig.iface.GetLastGMVolumeSent(first);
        setMidiCableSourceVolume(1, SOURCE1_MAX / 2, second);
        rig.driver.advance(50);
        QCOMPARE(rig.masterVolumes(first.number()), sentFirst);
        QCOMPARE(rig.masterVolumes(second.number()), sentSecond + 1);
        QCOMPARE(rig.iface.GetLastGMVolumeSent(second), 64);
        QCOMPARE(rig.iface.GetLastGMVolumeSent(first), firstLevel);
        setMidiCableSourceVolume(1, SOURCE1_MAX, second);
        VOLUMES_setMidiChVolumesMap(MIDI_CHAN_VOL_FADE, 127, 1, second);
        rig.driver.advance(50);
    }

    // Stop in the middle of a cross-fade: both outputs get their whole
    // cross-fade term back, as the next change of the music volume shows.
    void stopEndsACrossFadeOnBothOutputs()
    {
        EngineRig rig;
        fullVolume();
        for (MidiOutput output : kVolumeOutputs)
            setMidiCableSourceVolume(1, SOURCE1_MAX / 2, output);
        rig.driver.advance(50);
        for (MidiOutput output : kVolumeOutputs)
            QCOMPARE(rig.iface.GetLastGMVolumeSent(output), 64);
        SEQUENCER_EX_ActionStop();
        setMidiGeneralVolume(0, 1016);
        rig.driver.advance(50);
        setMidiGeneralVolume(0, 1023);
        for (MidiOutput output : kVolumeOutputs)
            QCOMPARE(rig.iface.GetLastGMVolumeSent(output), 126);
    }

    // An insert effect set on a channel of each engine port, and the stop's
    // reset of that port, go to the port's own output alone, whichever of
    // the two blocks it took (the first free one: block 0).
    void insertEffectsOnTheirOutputs_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("output");
        QTest::addColumn<int>("blocksReset"); // a free block counts as port 0's
        QTest::newRow("engine port 0") << 0 << 1 << 2;
        QTest::newRow("engine port 1") << 1 << 2 << 1;
        QTest::newRow("engine port 2") << 2 << 3 << 1;
    }
    void insertEffectsOnTheirOutputs()
    {
        QFETCH(int, port);
        QFETCH(int, output);
        QFETCH(int, blocksReset);
        QCOMPARE(ownOutput(port).number(), output);
        EngineRig rig;
        INSERTS_Init();
        INSERTS_SetEnabled(1);
        const auto off = qScopeGuard([] { INSERTS_SetEnabled(0); });
        // An organ with its effect, played with program 5 of bank 6 while it is on.
        const GS_INSTRUMENT_NAME organ{17, 8, 3, 5, 6, 3, "Organ with insert"};
        rig.clear();
        QCOMPARE(INSERTS_ActivateSpecialSound(&organ, 3, port), 1);
        QCOMPARE(INSERTS_GetBlockUsingChannel(port * 16 + 3), 1);
        // The program waits in its output's queue, as the engine drains it.
        while (rig.iface.sendFirstQueued(1) || rig.iface.sendFirstQueued(2)) {
        }
        const QStringList set = insertMessages(rig);
        QCOMPARE(set.size(), 1);
        QVERIFY2(set.first().startsWith(QStringLiteral("%1: 2 assigns").arg(output)), qPrintable(set.join(" / ")));
        QVERIFY2(!set.first().contains(" 0 NRPN") && set.first().endsWith(" 1 programs"), qPrintable(set.first()));
        // The preset (the organ's: parameter 00, its number 2) on the block's NRPN channel, 0.
        QVERIFY(rig.hasMessage(output, {0xB0, 0x06, 0x02}));
        rig.clear();
        INSERTS_Reset(port);
        QCOMPARE(INSERTS_GetBlockUsingChannel(port * 16 + 3), 0);
        // Every channel's assign off, and the block's two parameters zeroed on both NRPN channels.
        QCOMPARE(insertMessages(rig), QStringList{QStringLiteral("%1: %2 assigns, %3 NRPN parts, 0 programs")
                                                      .arg(output).arg(16 * blocksReset).arg(12 * blocksReset)});
    }
};

VELMAR_TEST(TestOutputs)
#include "tst_outputs.moc"
