// Insertion effects bound by a sound of the instrument table, by a song's
// settings and by automatic assignment: the sound module gets its EFX-assign
// SysEx and effect NRPNs when the module is enabled, and nothing when not
// (as in the application), over a whole song.
#include "enginerig.h"
#include "inserts.h"
#include "play_ex.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
// The insertion-effect traffic of an output, one line a message: "efx
// <part> <value>" for an EFX assign (checksum checked), "nrpn <channel>
// <parameter>=<value>" for an effect NRPN, "prg <channel> <bank> <program>"
// for a bank select with its program change.
QStringList insertTrace(const std::vector<TimedMessage> &msgs)
{
    QStringList r;
    for (size_t i = 0; i < msgs.size(); ++i) {
        const std::vector<uint8_t> &b = msgs[i].bytes;
        if (b.size() == 11 && b[0] == 0xF0 && b[1] == 0x41 && b[3] == 0x42 && b[7] == 0x22) {
            const int sum = b[5] + b[6] + b[7] + b[8] + b[9];
            r << QStringLiteral("efx %1 %2%3").arg(b[6] & 15).arg(b[8]).arg(sum % 128 ? " bad sum" : "");
        } else if (b.size() == 3 && (b[0] & 0xF0) == 0xB0 && b[1] == 0x63 && b[2] == 0x37 &&
                   i + 2 < msgs.size()) {
            r << QStringLiteral("nrpn %1 %2=%3").arg(b[0] & 15).arg(msgs[i + 1].bytes[2], 2, 16, QChar('0'))
                     .arg(msgs[i + 2].bytes[2], 2, 16, QChar('0'));
            i += 2;
        } else if (b.size() == 3 && (b[0] & 0xF0) == 0xB0 && b[1] == 0 && i + 1 < msgs.size() &&
                   msgs[i + 1].bytes[0] == (0xC0 | (b[0] & 15))) {
            r << QStringLiteral("prg %1 %2 %3").arg(b[0] & 15).arg(b[2]).arg(msgs[i + 1].bytes[1]);
        }
    }
    return r;
}

// Presets 9 and 0 as blocks 0 and 1 send them.
const QStringList PRESET9 = {"nrpn 0 00=09", "nrpn 0 20=0b", "nrpn 0 30=00", "nrpn 0 59=00", "nrpn 0 66=06"};
const QStringList PRESET0 = {"nrpn 1 00=00", "nrpn 1 20=00", "nrpn 1 30=06", "nrpn 1 3f=01",
                             "nrpn 1 40=03", "nrpn 1 46=07", "nrpn 1 59=00", "nrpn 1 70=03"};
} // namespace

class TestInserts : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_song;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        TestUtil::runPython(QStringLiteral("common-sound/sequencer/gen_jumpsong.py"), {m_dir.path()});
        m_song = TestUtil::readFile(m_dir.filePath(QStringLiteral("jumpsong.mid")));
        QVERIFY(!m_song.isEmpty());
        MIDI_CONST_SetTrkGsNames(SOUNDSET_DEFAULT, nullptr);
    }
    void cleanup()
    {
        INSERTS_SetEnabled(0);
        INSERTS_SetAutoAssign(0);
        INSERTS_Init();
    }

    void bindingsSendTheirMessages_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QStringList>("trace");
        // The program waits in the send queue behind the effect's set-up.
        const QStringList special = QStringList{"efx 2 0"} + PRESET9 +
                                    QStringList{"efx 2 1", "prg 2 59 29"};
        const QStringList song = QStringList{"nrpn 0 01=02", "nrpn 1 01=05", "efx 2 1"} +
                                 PRESET9 + QStringList{"efx 5 2"} + PRESET0;
        for (bool on : {true, false}) {
            const char *state = on ? "on" : "off";
            QTest::addRow("sound of the table, %s", state) << "sound" << on << (on ? special : QStringList());
            QTest::addRow("song settings, whole song, %s", state) << "song" << on << (on ? song : QStringList());
            // The built-in sound sets hold no super sound to switch to.
            QTest::addRow("automatic assignment, %s", state) << "auto" << on << QStringList();
        }
    }
    void bindingsSendTheirMessages()
    {
        QFETCH(QString, how);
        QFETCH(bool, enabled);
        QFETCH(QStringList, trace);
        EngineRig rig;
        rig.driver.setMidiInterface(&rig.iface);
        INSERTS_Init();
        INSERTS_SetEnabled(enabled ? 1 : 0);
        if (how == QLatin1String("sound")) {
            const GS_NAME_TABLES *t = MIDI_CONST_GetTrkGsNames();
            const int row = findInstrumentPos(t, 26, 0, 10);
            QVERIFY(row >= 0);
            const GS_INSTRUMENT_NAME *sound = &t->trkGsNames[row];
            QCOMPARE(INSERTS_ActivateSpecialSound(sound, 2, 0), enabled ? 1 : 0);
            rig.driver.advance(50);
            QCOMPARE(INSERTS_GetBlockUsingChannel(2), enabled ? 1 : 0);
        } else {
            LoadedSong song;
            QVERIFY(song.normalise(m_song) > 0);
            if (how == QLatin1String("song")) {
                song.db->layers[2][0].insertId = 10;
                song.db->layers[5][0].insertId = 1;
                song.db->layers[7][1].insertId = 6;   // no third block
            } else {
                INSERTS_SetAutoAssign(1);
                song.db->layers[1][0].program = 29;
                song.db->layers[1][0].bank = 0;
            }
            QCOMPARE(PLAY_EX_PlayProcedure(0, &song.sd), 1);
            QVERIFY(rig.playToEnd());
            QCOMPARE(INSERTS_Available(), enabled && how == QLatin1String("song") ? 0 : 2);
        }
        const QStringList got = insertTrace(rig.messages(1)) + insertTrace(rig.messages(2)) +
                                insertTrace(rig.messages(3));
        QCOMPARE(got.filter(QStringLiteral("nrpn")) + got.filter(QStringLiteral("efx")),
                 trace.filter(QStringLiteral("nrpn")) + trace.filter(QStringLiteral("efx")));
        if (how == QLatin1String("sound"))
            QCOMPARE(got.join(", "), trace.join(", "));
    }
};

VELMAR_TEST(TestInserts)
#include "tst_inserts.moc"
