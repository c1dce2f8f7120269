// Engine operations the player does not call yet, by what reaches the outputs.
#include "enginerig.h"
#include "sequencer_ex_p.h"
#include "testutil.h"
#include "volumes.h"

#include <QtTest>
#include <functional>

using Action = std::function<void()>;
Q_DECLARE_METATYPE(Action)

class TestEngineOps : public QObject
{
    Q_OBJECT
private slots:
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
        rig.clearOutputs();
        action();
        rig.driver.advance(50);
        const uint8_t status = uint8_t(QByteArray::fromHex(expected.left(2)).at(0));
        QByteArrayList got;
        for (const TimedMessage &m : rig.messages(output))
            if (m.bytes[0] == status)
                got << hex(m.bytes);
        QCOMPARE(got.join(" | "), expected);
    }
};

VELMAR_TEST(TestEngineOps)
#include "tst_engineops.moc"
