#include "MIDI_const.h"
#include "testutil.h"

#include <QtTest>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

void select(int version)
{
    int ext = -7;
    MIDI_CONST_SetTrkGsNames(version, &ext);
}

} // namespace

class TestMidiConst : public QObject
{
    Q_OBJECT
private slots:
    void versions_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("extendedBank");
        QTest::addColumn<int>("setVersion");
        QTest::newRow("external port") << 0 << 0 << SOUNDSET_EXTERNAL_PORT;
        QTest::newRow("software synthesizer") << 1 << 0 << SOUNDSET_SOFT_SYNTH;
        QTest::newRow("190621") << 190621 << 1 << SOUNDSET_190603;
        QTest::newRow("500000") << 500000 << 0 << SOUNDSET_500000;
        QTest::newRow("990001") << 990001 << 1 << SOUNDSET_990001;
        QTest::newRow("unknown -1") << -1 << 0 << SOUNDSET_DEFAULT;
    }
    void versions()
    {
        QFETCH(int, version);
        QFETCH(int, extendedBank);
        QFETCH(int, setVersion);
        int ext = -7;
        const int rows = MIDI_CONST_SetTrkGsNames(version, &ext);
        QCOMPARE(ext, extendedBank);
        QCOMPARE(MIDI_CONST_SetTrkGsNames(version, nullptr), rows);
        const GS_NAME_TABLES *t = MIDI_CONST_GetTrkGsNames();
        QCOMPARE(t->version, setVersion);
        QCOMPARE(int(t->GS_INSTR_NAMES_SIZE), rows);
        QVERIFY(t->GS_INSTR_NAMES_SIZE <= GS_INSTR_NAMES_MAX);
        QVERIFY(t->GS_DRUMKIT_NAMES_SIZE <= GS_DRUMKIT_NAMES_MAX);
    }

    // The larger sets are made from the named rows we have: no other name,
    // sorted by program and bank, and every insertion-effect row of the
    // default set in its place right after its plain row.
    void derivedSetsUseOnlyGivenRows()
    {
        const GS_NAME_TABLES *def = MIDI_CONST_GetBuiltInNames(SOUNDSET_DEFAULT);
        std::vector<const GS_INSTRUMENT_NAME *> given;
        std::set<std::string> known;
        for (int v : {0, 1}) {
            const GS_NAME_TABLES *t = MIDI_CONST_GetBuiltInNames(v);
            for (int i = 0; i < t->GS_INSTR_NAMES_SIZE; ++i)
                known.insert(t->trkGsNames[i].name);
        }
        for (int i = 0; i < def->GS_INSTR_NAMES_SIZE; ++i)
            if (def->trkGsNames[i].insert) {
                given.push_back(&def->trkGsNames[i]);
                known.insert(def->trkGsNames[i].name);
            }
        known.insert("Stage El. Piano");

        for (int v : {SOUNDSET_DEFAULT, SOUNDSET_190603, SOUNDSET_500000, SOUNDSET_990001}) {
            const GS_NAME_TABLES *t = MIDI_CONST_GetBuiltInNames(v);
            int inserts = 0;
            for (int i = 0; i < t->GS_INSTR_NAMES_SIZE; ++i) {
                const GS_INSTRUMENT_NAME &r = t->trkGsNames[i];
                QVERIFY2(known.count(r.name), r.name);
                if (i > 0) {
                    const GS_INSTRUMENT_NAME &p = t->trkGsNames[i - 1];
                    QVERIFY(p.program < r.program || (p.program == r.program && p.bank <= r.bank));
                }
                if (r.insert)
                    ++inserts;
            }
            QCOMPARE(inserts, v == SOUNDSET_500000 ? 0 : 20);
            if (v == SOUNDSET_500000)
                continue;
            int previous = -1;
            for (const GS_INSTRUMENT_NAME *want : given) {
                int at = -1;
                for (int i = 0; i < t->GS_INSTR_NAMES_SIZE && at < 0; ++i)
                    if (QByteArray(t->trkGsNames[i].name) == want->name)
                        at = i;
                QVERIFY2(at > previous, want->name);
                const GS_INSTRUMENT_NAME &r = t->trkGsNames[at];
                QVERIFY(r.program == want->program && r.bank == want->bank && r.insert == want->insert
                        && r.param1 == want->param1 && r.param2 == want->param2
                        && r.family == want->family);
                int plain = at - 1;
                while (plain >= 0 && t->trkGsNames[plain].insert != 0)
                    --plain;
                QVERIFY2(plain >= 0 && t->trkGsNames[plain].program == want->program
                             && t->trkGsNames[plain].bank == want->bank,
                         want->name);
                previous = at;
            }
        }
    }

    void lookups_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("program");
        QTest::addColumn<int>("bank");
        QTest::addColumn<int>("insert");
        QTest::addColumn<int>("isDrum");
        QTest::addColumn<QByteArray>("expected");
        auto row = [](const char *tag, int v, int p, int b, int ins, int drum, const char *want) {
            QTest::newRow(tag) << v << p << b << ins << drum << QByteArray(want);
        };
        row("v1 bank row after bank 0", 1, 28, 1, 0, 0, "Muted Guitar 2");
        row("v1 first of equal rows", 1, 118, 8, 0, 0, "TR-808 Toms");
        row("v1 bank 255 is 0", 1, 0, 255, 0, 0, "Grand Piano");
        row("v1 program 156 is 28", 1, 156, 1, 0, 0, "Muted Guitar 2");
        row("v1 two blanks", 1, 87, 0, 0, 0, "Bass  & Lead");
        row("v1 unknown bank", 1, 50, 3, 0, 0, "<No Instrument>");
        row("v1 insert asked, none", 1, 0, 0, 3, 0, "Grand Piano");
        row("v0 square before sine", 0, 80, 0, 0, 0, "Square Wave");
        row("v0 family in brackets", 0, 14, 9, 0, 0, "Carillon");
        row("v0 kit", 0, 0, 0, 0, 1, "STANDARD");
        row("v0 kit bank 255", 0, 127, 255, 0, 1, "CM-64/32L");
        row("v0 kit missing", 0, 26, 0, 0, 1, "<No Instrument>");
        row("v1 kit", 1, 127, 0, 0, 1, "TR-707 Drum Kit");
        row("default insert 5", SOUNDSET_DEFAULT, 4, 0, 5, 0, "Rhodes Tremolo (i)");
        row("default insert 3 first", SOUNDSET_DEFAULT, 4, 0, 3, 0, "Rhodes heavy phaser(i)");
        row("default plain", SOUNDSET_DEFAULT, 4, 0, 0, 0, "Stage El. Piano");
        row("default kit bank 1", SOUNDSET_DEFAULT, 25, 1, 0, 1, "TR-808 Drum Kit");
        row("500000 keeps v1 piano", SOUNDSET_500000, 4, 0, 0, 0, "Electric Piano 1");
        row("190603 kit", SOUNDSET_190603, 0, 2, 0, 1, "Velmar Std Drum Kit");
        row("190603 kit missing on bank 3", SOUNDSET_190603, 26, 3, 0, 1, "<No Instrument>");
    }
    void lookups()
    {
        QFETCH(int, version);
        QFETCH(int, program);
        QFETCH(int, bank);
        QFETCH(int, insert);
        QFETCH(int, isDrum);
        QFETCH(QByteArray, expected);
        select(version);
        QCOMPARE(QByteArray(getInstrumentOrDrumKitName(program, bank, insert, isDrum)), expected);
        const bool found = expected != "<No Instrument>";
        if (isDrum) {
            const int pos = findDrumKitPos(program, bank);
            QCOMPARE(pos >= 0, found);
            if (found) {
                QCOMPARE(drumkitPrgChg(pos), program & 127);
            }
        } else {
            const int pos = findInstrumentPos(program, bank, insert);
            QCOMPARE(pos >= 0, found);
            if (found) {
                QCOMPARE(instrumentPrgChg(pos), program & 127);
                QCOMPARE(int(EXTR_INFO_getInstrumentInsert(program, bank, insert)),
                         instrumentInsert(pos));
            }
        }
    }

    void mixerGroups()
    {
        for (unsigned p = 0; p < unsigned(GM_PROGRAMS); ++p) {
            const int g = getInstrumentFamily(p, 0, 0);
            QVERIFY2(g >= 0 && g < MIXER_GROUPS, qPrintable(QString::number(p)));
            QCOMPARE(getInstrumentFamily(p, 0, 1), 0);
            QCOMPARE(getInstrumentFamily(p, 77, 0x100), g); // only the low byte marks drums
        }
        QCOMPARE(getInstrumentFamily(128, 0, 0), -1);
        QCOMPARE(getInstrumentFamily(unsigned(-1), 0, 1), -1);
    }

    void unknownDrumKit_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("program");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("after");
        QTest::newRow("v1 missing 3") << 1 << 0xC9 << 3 << 1 << 0;
        QTest::newRow("v1 has 127") << 1 << 0xC9 << 127 << 0 << 127;
        QTest::newRow("v0 lacks 26") << 0 << 0xC9 << 26 << 1 << 0;
        QTest::newRow("not a program change") << 1 << 0x99 << 3 << 0 << 3;
        QTest::newRow("end row is no kit") << SOUNDSET_190603 << 0xC9 << 255 << 1 << 0;
    }
    void unknownDrumKit()
    {
        QFETCH(int, version);
        QFETCH(int, status);
        QFETCH(int, program);
        QFETCH(int, result);
        QFETCH(int, after);
        select(version);
        uint8_t ev[2] = {uint8_t(status), uint8_t(program)};
        QCOMPARE(changeUnknownDrumKit(ev), result);
        QCOMPARE(int(ev[0]), status);
        QCOMPARE(int(ev[1]), after);
        QCOMPARE(changeUnknownDrumKit(nullptr), 0);
    }

    // Readers on other threads see one whole set at a time while the sets
    // are switched underneath them.
    void switchWhileReading()
    {
        const GS_NAME_TABLES *sets[] = {MIDI_CONST_GetBuiltInNames(0), MIDI_CONST_GetBuiltInNames(1),
                                        MIDI_CONST_GetBuiltInNames(SOUNDSET_DEFAULT)};
        select(0);
        std::atomic<bool> stop{false};
        std::atomic<int> started{0};
        std::atomic<int> errors{0};
        std::atomic<long> reads{0};
        auto reader = [&] {
            started.fetch_add(1);
            long n = 0;
            while (!stop.load(std::memory_order_relaxed) || n == 0) {
                const GS_NAME_TABLES *t = MIDI_CONST_GetTrkGsNames();
                bool ok = t == sets[0] || t == sets[1] || t == sets[2];
                const QByteArray piano(getInstrumentOrDrumKitName(t, 0, 0, 0, 0));
                ok = ok && piano == (t == sets[0] ? "Piano 1" : "Grand Piano");
                const int16_t pos = findInstrumentPos(t, 127, 3, 0);
                ok = ok && pos >= 0 && pos < t->GS_INSTR_NAMES_SIZE
                     && QByteArray(t->trkGsNames[pos].name) == "Explosion";
                const QByteArray live(getInstrumentOrDrumKitName(0, 0, 0, 0));
                ok = ok && (live == "Piano 1" || live == "Grand Piano");
                uint8_t ev[2] = {0xC9, 26};
                const int rewritten = changeUnknownDrumKit(ev);
                ok = ok && ((rewritten == 1 && ev[1] == 0) || (rewritten == 0 && ev[1] == 26));
                if (!ok)
                    errors.fetch_add(1);
                ++n;
            }
            reads.fetch_add(n);
        };
        std::vector<std::thread> threads;
        for (int i = 0; i < 3; ++i)
            threads.emplace_back(reader);
        while (started.load() < 3)
            std::this_thread::yield();
        const int versions[] = {0, 1, SOUNDSET_DEFAULT};
        for (int i = 0; i < 30000; ++i) {
            int ext = 0;
            MIDI_CONST_SetTrkGsNames(versions[i % 3], &ext);
            if (i % 64 == 0)
                std::this_thread::yield();
        }
        stop.store(true);
        for (std::thread &th : threads)
            th.join();
        QCOMPARE(errors.load(), 0);
        QVERIFY(reads.load() >= 3);
    }
};

VELMAR_TEST(TestMidiConst)
#include "tst_midiconst.moc"
