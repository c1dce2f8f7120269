// The master keyboard on a real output layer: patches saved to and read from
// .PTC files in a temporary folder, their messages recorded on output 3, and
// notes played into the listener through a MIDI input bound to the output
// layer. Expected bytes are written by hand from the MIDI 1.0 document.
#include "../common-midiinterface/midi_fixture.h"
#include "MIDI_const.h"
#include "MKListener.h"
#include "MasterKeyboard.h"
#include "testutil.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <random>
#include <set>
#include <thread>

namespace {

const GS_INSTRUMENT_NAME PIANO = {0, 0, 0, -1, -1, 3, "Piano"};
const GS_INSTRUMENT_NAME ORGAN_INSERT = {17, 8, 3, 5, 6, 3, "Organ with insert"};
const GS_DRUM_KIT_NAME STANDARD_KIT = {0, 0, "Standard"};
const char *const ALL_OFF_0 = "B0 7B 00 | B0 78 00 | B0 40 00";
const char *const MIX_0 = "B0 07 78 | B0 5B 00 | B0 5D 00 | B0 0A 40 | B0 42 40 | B0 47 40 | "
                          "B0 48 40 | B0 49 40 | B0 4A 40 | B0 4B 40";

QString joined(const std::vector<Bytes> &msgs, size_t from = 0)
{
    QStringList parts;
    for (size_t i = from; i < msgs.size(); ++i)
        parts << hexText(msgs[i]);
    return parts.join(QStringLiteral(" | "));
}

// A keyboard on MIDI input: what it plays reaches the output layer's input
// callback on the caller's thread, as from a device's own thread.
class Keyboard : public IMidiInput
{
public:
    int openPort(int) override { return 0; }
    void closePort() override {}
    void setCallback(MidiInputCallback cb, void *user) override
    {
        m_cb = cb;
        m_user = user;
    }
    void ignoreTypes(bool, bool, bool) override {}
    void play(const Bytes &message)
    {
        Bytes m = message;
        m_cb(0.0, &m, m_user);
    }

private:
    MidiInputCallback m_cb = nullptr;
    void *m_user = nullptr;
};

// Output layer with recorders, a library in a temporary folder and a
// started listener fed by a keyboard in mode 2 (messages to the listener).
struct Rig
{
    MidiFixture fx;
    QTemporaryDir dir;
    MasterKeyboard kb;
    MKListener listener{&kb};
    Keyboard *keys = new Keyboard; // owned by the output layer once bound

    Rig()
    {
        kb.init(dir.path());
        fx.mi->OpenMidiBaseInPorts(keys, 0);
        fx.mi->SetMidiInMode(2);
        QObject::connect(fx.mi.get(), &Sound::MidiInterface::midiInMessageReceived, &listener,
                         &MKListener::onMidiInMessageReceived);
        listener.start();
    }
    ~Rig() { fx.mi->CloseMidiBaseInPorts(); }
    // Waits until the listener has handled everything played so far.
    void fence()
    {
        QMetaObject::invokeMethod(&listener, [] {}, Qt::BlockingQueuedConnection);
    }
    RecordingMidiOutput &out3() { return fx.out[MIDI_OUTPUT_LIVE - 1]; }
    // A library patch: two piano layers split at 60/61, the upper one only
    // for velocities 64-127 and deaf to pitch bend, the lower a fourth up.
    void loadSplit()
    {
        kb.createNewPatch(0, QStringLiteral("Split"));
        MKPatch *p = kb.getLoadedPatch();
        p->addLayer(&PIANO);
        p->addLayer(&PIANO);
        p->setLayerKeyRange(0, 0, 60);
        p->setLayerTranspose(0, 5);
        p->setLayerKeyRange(1, 61, 127);
        p->setLayerVelocityRange(1, 64, 127);
        p->setLayerPitchBand(1, 0);
        kb.loadPatch(kb.getCurrPatchIndex());
    }
};

using PatchAction = std::function<void(MKPatch &, RecordingMidiOutput &)>;
using RigAction = std::function<void(Rig &)>;

} // namespace

Q_DECLARE_METATYPE(PatchAction)
Q_DECLARE_METATYPE(RigAction)

class TestMasterKeyboard : public QObject
{
    Q_OBJECT
private slots:
    void patchFileRoundTrip()
    {
        QTemporaryDir dir;
        MKPatch p(dir.path() + QLatin1Char('/'), false);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(p.addLayer(&PIANO), i);
        p.removeLayerAt(1);
        p.removeLayerAt(1); // already inactive: the count stays
        QCOMPARE(p.layerCount(), 2);
        p.setLayerTranspose(0, -12);
        p.setName(QStringLiteral("Bass = left\nLead"));
        QVERIFY(p.savePatch());
        QVERIFY(!p.hasUsavedChange());

        const QList<QByteArray> lines = TestUtil::readFile(p.getPath()).split('\n');
        QCOMPARE(lines.size(), 2 + 4 + 44 + 1);
        QCOMPARE(lines[0], QByteArray("Name = Bass = left Lead"));
        QVERIFY(lines.contains("Transpose = 4294967284"));
        QCOMPARE(lines[2 + 23], QByteArray("Part_1 = 0"));

        MKPatch q(dir.path() + QLatin1Char('/'), true);
        q.setPath(p.getPath());
        QVERIFY(q.readPatchFromFile());
        QCOMPARE(q.getName(), QStringLiteral("Bass = left Lead"));
        QCOMPARE(q.layerCount(), 2); // the accordion's layers 0-2 were overwritten
        QCOMPARE(q.patchText(), p.patchText());

        q.setPath(dir.path() + QStringLiteral("/PMISSING.PTC"));
        QVERIFY(!q.readPatchFromFile());
        QCOMPARE(q.getName(), QStringLiteral("Bass = left Lead"));
    }

    void patchFileReading_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected"); // name, type, then per active layer

        QTest::newRow("keys in any case, CRLF")
            << QByteArray("Name = Low\r\ntype = 0\r\nPART_1 = 1\r\nvolume = 99\r\nsrcchannel = 3\r\n")
            << "Low 0 | 1: src 3 dst 1 keys 0-127 vel 0-127 prg 0/0 vol 99 tr 0";
        QTest::newRow("no Type line: line 2 is a layer")
            << QByteArray("Name = X\nPart_0 = 1\nPrgChange = 300\nTranspose = 4294967291\n")
            << "X 0 | 0: src 255 dst 0 keys 0-127 vel 0-127 prg 44/0 vol 120 tr -5";
        QTest::newRow("bad lines and layers are skipped")
            << QByteArray("Name = Y\nType = 1\nPart_7 = 1\nVolume 5\nPart_x = 1\nLowKeyLimit = "
                          "abc\nPart_2 = 1\nHiKeyLimit = 70\nIsDrumKit = 256\nBogus = 4\n")
            << "Y 1 | 2: src 255 dst 2 keys 0-70 vel 0-127 prg 0/0 vol 120 tr 0 drum";
        QTest::newRow("empty file") << QByteArray() << " 0";
    }
    void patchFileReading()
    {
        QFETCH(QByteArray, text);
        QTemporaryDir dir;
        MKPatch p(dir.path() + QLatin1Char('/'), false);
        p.readPatchText(text);
        QStringList parts{p.getName() + QLatin1Char(' ') + QString::number(p.getType())};
        for (int i = 0; i < MK_LAYERS; ++i) {
            S_MKLayer l;
            p.getLayerAt(&l, i);
            if (l.active)
                parts << QStringLiteral("%1: src %2 dst %3 keys %4-%5 vel %6-%7 prg %8/%9 vol %10 tr %11%12")
                             .arg(i).arg(l.srcChannel).arg(l.destChannel).arg(l.lowKey).arg(l.highKey)
                             .arg(l.lowVelocity).arg(l.highVelocity).arg(l.program).arg(l.bank)
                             .arg(l.volume).arg(l.transpose).arg(l.isDrumKit ? " drum" : "");
        }
        QFETCH(QString, expected);
        QCOMPARE(parts.join(QStringLiteral(" | ")), expected);
        QCOMPARE(p.layerCount(), parts.size() - 1);
    }

    void patchMessages_data()
    {
        QTest::addColumn<PatchAction>("action");
        QTest::addColumn<QString>("expected"); // output 3 after the last clear

        auto row = [](const char *name, PatchAction a, const QString &e) { QTest::newRow(name) << a << e; };
        auto on = [](int ch) { return QString(MIX_0).replace(QLatin1String("B0"), QStringLiteral("B%1").arg(ch)); };
        row("configuration: sound, then the mix in order",
            [](MKPatch &p, RecordingMidiOutput &) { p.sendLayerConfiguration(0); },
            QStringLiteral("B0 00 00 | C0 00 | ") + MIX_0);
        row("a drum kit plays on channel 10 whatever was stored",
            [](MKPatch &p, RecordingMidiOutput &) {
                p.setLayerDestChannel(1, 5);
                p.setLayerDrumKit(1, &STANDARD_KIT);
            },
            QStringLiteral("%1 | %1 | B9 00 00 | C9 00 | ").arg(ALL_OFF_0) + on(9));
        row("an insert that cannot bind still gets its own sound",
            [](MKPatch &p, RecordingMidiOutput &) { p.setLayerInstrument(0, &ORGAN_INSERT); },
            QStringLiteral("%1 | B0 00 08 | C0 11 | ").arg(ALL_OFF_0) + MIX_0);
        row("a muted layer's configuration is silent",
            [](MKPatch &p, RecordingMidiOutput &) {
                p.setLayerMuteSolo(0, MK_MUTED);
                p.sendLayerConfiguration(0);
            },
            QStringLiteral("B0 07 00 | B0 00 00 | C0 00 | ") +
                QString(MIX_0).replace(QLatin1String("B0 07 78"), QLatin1String("B0 07 00")));
        row("solo and back",
            [](MKPatch &p, RecordingMidiOutput &out) {
                p.addLayer(&PIANO);
                out.clear();
                p.setLayerVolume(1, 90);
                p.setLayerMuteSolo(1, MK_SOLO);
                p.setLayerMuteSolo(1, MK_NORMAL);
            },
            "B1 07 5A | B0 07 00 | B1 07 5A | B0 07 78 | B1 07 5A");
        row("two solos cleared one at a time",
            [](MKPatch &p, RecordingMidiOutput &out) {
                p.addLayer(&PIANO);
                p.addLayer(&PIANO);
                out.clear();
                p.setLayerMuteSolo(1, MK_SOLO);
                p.setLayerMuteSolo(2, MK_SOLO);
                p.setLayerMuteSolo(1, MK_NORMAL);
                p.setLayerMuteSolo(2, MK_NORMAL);
            },
            "B0 07 00 | B2 07 00 | B1 07 78 | B2 07 78 | B1 07 00 | B0 07 78 | B1 07 78 | B2 07 78");
        row("a full patch takes no fifth layer",
            [](MKPatch &p, RecordingMidiOutput &out) {
                for (int i = 0; i < 3; ++i)
                    p.addLayer(&PIANO);
                out.clear();
                QCOMPARE(p.addLayer(&PIANO), -1);
                QCOMPARE(p.layerCount(), 4);
            },
            QStringList({ALL_OFF_0, QString(ALL_OFF_0).replace("B0", "B1"),
                         QString(ALL_OFF_0).replace("B0", "B2"), QString(ALL_OFF_0).replace("B0", "B3")})
                .join(QStringLiteral(" | ")));
    }
    void patchMessages();

    void library()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1Char('/');
        auto write = [&](const QString &file, const char *name) {
            QVERIFY(TestUtil::writeFile(folder + file, QByteArray("Name = ") + name + "\nType = 0\nPart_0 = 1\n"));
        };
        write(QStringLiteral("P0001.PTC"), "One");
        write(QStringLiteral("P0002.PTC"), "Two");
        write(QStringLiteral("P-KVERO01.PTC"), "Factory");
        QVERIFY(TestUtil::writeFile(QDir::tempPath() + "/P0003.PTC", "Name = Elsewhere\n"));
        QVERIFY(TestUtil::writeFile(folder + "_order.txt",
                                    (folder + "P0002.PTC\n" + folder + "P0009.PTC\n" +
                                     QDir::tempPath() + "/P0003.PTC\n").toUtf8()));
        MasterKeyboard kb;
        kb.init(folder);
        QCOMPARE(kb.getPatchNameList(), QStringList({"Two", "Factory", "One"}));
        QVERIFY(QFile::exists(folder + "ACCORDION.PTC"));
        QCOMPARE(kb.getGroupPatch(MasterKeyboard::USER_GROUP), QList<int>({0, 2}));

        QVERIFY(!kb.addPatchToUserGroup(kb.getPatchByIndex(0)));
        QVERIFY(kb.addPatchToUserGroup(kb.getPatchByIndex(1)));
        QVERIFY(!kb.addPatchToUserGroup(kb.getPatchByIndex(1)));
        QSettings ini(folder + "_groups.ini", QSettings::IniFormat);
        QCOMPARE(ini.value("Group_15").toStringList(), QStringList({"P-KVERO01.PTC"}));
        kb.scanFolderForPatches();
        QCOMPARE(kb.getGroupPatch(MasterKeyboard::USER_GROUP), QList<int>({0, 1, 2}));
        QVERIFY(kb.removePatchFromUserGroup(kb.getPatchByIndex(1)));
        QCOMPARE(kb.getGroupPatch(MasterKeyboard::USER_GROUP), QList<int>({0, 2}));

        QCOMPARE(kb.createNewPatch(0, QStringLiteral("New")), 4);
        QCOMPARE(kb.getCurrPatchIndex(), 3);
        QVERIFY(!kb.moveCurrentPatch(1));
        QVERIFY(kb.moveCurrentPatch(-3));
        QVERIFY(!kb.moveCurrentPatch(-1));
        QCOMPARE(kb.getPatchNameList(), QStringList({"New", "Two", "Factory", "One"}));
        QVERIFY(kb.savePatchOrderedList());
        kb.scanFolderForPatches();
        QCOMPARE(kb.getPatchNameList(), QStringList({"New", "Two", "Factory", "One"}));

        QFile::remove(folder + "P0002.PTC");
        kb.deletePatch(1);
        QCOMPARE(kb.getCurrPatchIndex(), MasterKeyboard::NO_PATCH);
        kb.scanFolderForPatches(); // the order file follows the delete
        QCOMPARE(kb.getPatchNameList(), QStringList({"New", "Factory", "One"}));
    }

    void balance_data()
    {
        QTest::addColumn<int>("balance");
        QTest::addColumn<QString>("expected");
        QTest::newRow("keyboard down") << -27 << "F0 7F 7F 04 01 00 64 F7";
        QTest::newRow("song down") << 27 << "F0 7F 7F 04 01 00 7F F7";
        QTest::newRow("clamped") << -300 << "F0 7F 7F 04 01 00 00 F7";
    }
    void balance()
    {
        QFETCH(int, balance);
        QFETCH(QString, expected);
        MidiFixture fx;
        MasterKeyboard kb;
        kb.setVolumeBalance(balance);
        QCOMPARE(joined(fx.out[2].messageBytes()), expected);
        QCOMPARE(kb.getVolumeBalance(), std::clamp(balance, -127, 127));
    }

    void routing_data()
    {
        QTest::addColumn<RigAction>("setup");
        QTest::addColumn<QStringList>("played"); // hex, or "transpose N" / "accordion"
        QTest::addColumn<QString>("expected");   // output 3, the set-up's messages left out

        const RigAction accordion = [](Rig &r) { r.kb.loadAccordion(); };
        const RigAction split = [](Rig &r) { r.loadSplit(); };
        auto row = [](const char *name, const RigAction &s, const QStringList &in, const char *e) {
            QTest::newRow(name) << s << in << QString::fromLatin1(e);
        };
        row("accordion: each hand to its layer", accordion,
            {"92 3C 64", "91 40 64", "90 3C 64", "91 3C 64", "90 20 64"},
            "90 48 64 | 91 40 64 | 99 3C 64");
        row("accordion: controllers, bend, programs", accordion,
            {"B2 07 50", "B3 07 50", "E2 00 50", "C5 10", "D1 20", "A0 3C 10"},
            "B0 07 50 | E0 00 50 | C5 10 | D1 20 | A0 3C 10");
        row("system messages up to 12 bytes", accordion,
            {"F0 7D 01 02 03 04 05 06 07 08 09 F7", "F0 7D 01 02 03 04 05 06 07 08 09 0A F7", "90 3C"},
            "F0 7D 01 02 03 04 05 06 07 08 09 F7");
        row("split by key and velocity", split, {"90 3C 40", "90 3D 40", "90 3E 30"},
            "90 41 40 | 91 3D 40");
        row("keyboard transpose, never past the last key", split,
            {"transpose 4", "90 3C 40", "90 7A 40", "transpose 8", "90 7B 40"},
            "90 45 40 | 91 7E 40 | 91 7B 40");
        row("pitch bend only where followed", split, {"E0 00 50"}, "E0 00 50");
        row("velocity-0 note-off reaches a velocity split", split, {"90 50 70", "90 50 00"},
            "91 50 70 | 91 50 00");
        row("note-off after a transpose change", split, {"90 3C 40", "transpose 2", "80 3C 40"},
            "90 41 40 | 80 41 40");
        row("note-off after a patch change", split, {"90 3C 40", "accordion", "80 3C 40", "80 3C 40"},
            "90 41 40 | 80 41 40 | 89 3C 40");
        row("a drum kit tried alone plays on channel 10",
            [](Rig &r) { r.kb.loadDrumKit(&STANDARD_KIT); }, {"95 24 64"}, "99 24 64");
        row("nothing selected", [](Rig &) {}, {"90 3C 40", "F0 7D 01 F7"}, "");
        row("all layers inactive", [](Rig &r) { r.kb.createNewPatch(0, "Empty"); },
            {"90 3C 40", "C0 05"}, "");
    }
    void routing()
    {
        QFETCH(RigAction, setup);
        Rig rig;
        setup(rig);
        std::vector<Bytes> sent;
        size_t seen = rig.out3().messageCount();
        auto take = [&] {
            rig.fence();
            const auto all = rig.out3().messageBytes();
            sent.insert(sent.end(), all.begin() + long(seen), all.end());
            seen = all.size();
        };
        QFETCH(QStringList, played);
        QFETCH(QString, expected);
        for (const QString &step : played) {
            if (step.startsWith(QLatin1String("transpose"))) {
                rig.fence();
                rig.kb.setTranspose(step.mid(10).toInt());
            } else if (step == QLatin1String("accordion")) {
                take();
                rig.kb.loadAccordion();
                seen = rig.out3().messageCount();
            } else {
                rig.keys->play(hexBytes(step));
            }
        }
        take();
        QCOMPARE(joined(sent), expected);
    }

    // Notes from the keyboard's own thread while the library changes under
    // the listener: every note that sounded is released at the end.
    void stressNoStuckNotes()
    {
        Rig rig;
        for (int i = 0; i < 3; ++i) {
            rig.loadSplit();
            rig.kb.getLoadedPatch()->addLayer(&STANDARD_KIT);
        }
        std::atomic<bool> done{false};
        std::thread feeder([&] {
            std::mt19937 rnd(7);
            std::vector<std::pair<int, int>> held;
            for (int i = 0; i < 4000; ++i) {
                if (held.size() < 6 && rnd() % 2) {
                    const int ch = int(rnd() % 3), key = int(rnd() % 128);
                    held.emplace_back(ch, key);
                    rig.keys->play({uint8_t(0x90 | ch), uint8_t(key), uint8_t(1 + rnd() % 127)});
                } else if (!held.empty()) {
                    const auto [ch, key] = held[rnd() % held.size()];
                    held.erase(std::find(held.begin(), held.end(), std::make_pair(ch, key)));
                    rig.keys->play({uint8_t((rnd() % 2 ? 0x80 : 0x90) | ch), uint8_t(key), 0});
                }
            }
            for (const auto &[ch, key] : held)
                rig.keys->play({uint8_t(0x80 | ch), uint8_t(key), 0x40});
            done = true;
        });
        for (int i = 0; !done; ++i) {
            switch (i % 6) {
            case 0: rig.kb.loadPatch(i % 3); break;
            case 1: rig.kb.setTranspose(i % 7 - 3); break;
            case 2: rig.kb.getLoadedPatch()->setLayerTranspose(0, int8_t(i % 5)); break;
            case 3: rig.kb.loadAccordion(); break;
            case 4: rig.kb.deletePatch(0); rig.loadSplit(); break;
            default: rig.kb.scanFolderForPatches(); break;
            }
        }
        feeder.join();
        rig.fence();
        std::set<std::pair<int, int>> sounding;
        for (const Bytes &m : rig.out3().messageBytes()) {
            const int kind = m[0] & 0xF0;
            if (kind == 0x90 && m[2])
                sounding.emplace(m[0] & 15, m[1]);
            else if (kind == 0x80 || kind == 0x90)
                sounding.erase({m[0] & 15, m[1]});
        }
        QCOMPARE(int(sounding.size()), 0);
        QCOMPARE(rig.out3().overlappingCalls(), 0);
    }
};

void TestMasterKeyboard::patchMessages()
{
    QFETCH(PatchAction, action);
    MidiFixture fx;
    QTemporaryDir dir;
    MKPatch p(dir.path() + QLatin1Char('/'), false);
    p.addLayer(&PIANO);
    fx.out[2].clear();
    QFETCH(QString, expected);
    action(p, fx.out[2]);
    QCOMPARE(joined(fx.out[2].messageBytes()), expected);
}

VELMAR_TEST(TestMasterKeyboard)
#include "tst_masterkeyboard.moc"
