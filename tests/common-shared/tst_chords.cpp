#include "Chord.h"
#include "ChordsParser.h"
#include "testutil.h"

#include <QtTest>
#include <climits>
#include <cstring>
#include <set>

namespace {

const int kTuning[GUITAR_STRINGS] = {40, 45, 50, 55, 59, 64}; // E A D G B E

ChordInfo parsed(const char *text)
{
    ChordInfo info;
    std::memset(&info, 0x5A, sizeof info);
    Chord::ParseChord(text, &info);
    return info;
}

QByteArray transposed(const char *text, int semitones)
{
    char out[CHORD_TEXT_SIZE];
    Chord::TransposeChord(out, text, semitones);
    return QByteArray(out);
}

std::set<int> chordTones(int root, int type)
{
    std::set<int> tones;
    for (int d = 0; d < CHORD_DEGREES; ++d) {
        const uint8_t mark = chordsDB[type].degree[d];
        if (mark == DEGREE_ABSENT)
            continue;
        const int shift = mark == DEGREE_RAISED ? 1 : mark == DEGREE_LOWERED ? -1 : 0;
        tones.insert((root + chordDegreeSemitones[d] + shift + 12) % 12);
    }
    return tones;
}

int wrap12(int v)
{
    return ((v % 12) + 12) % 12;
}

bool isEmptyDiagram(const S_GUITAR_CHORD &g)
{
    return std::memcmp(&g, &emptyGuitarChord, sizeof g) == 0;
}

} // namespace

class TestChords : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("root");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("bass");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");

        auto row = [](const char *in, int root, int type, int bass, const char *text, bool ok = true) {
            QTest::newRow(in) << QByteArray(in) << root << type << bass << QByteArray(text) << ok;
        };
        row("Cmaj7", 0, 5, -1, "CM7");
        row("cm7", -1, -1, -1, "cm7", false);
        row("C7+", 0, 5, -1, "CM7");
        row("C7#9", 0, 30, -1, "CM9");
        row("C7/5-", 0, 8, -1, "C7(b5)");
        row("C+", 0, 0, -1, "C");
        row("C4", 0, 19, -1, "Csus4");
        row("C9sus", 0, 35, -1, "C9sus4");
        row("C/E", 0, 0, 4, "C/E");
        row("C/Em", 0, 0, -1, "C");
        row("C3", -1, -1, -1, "C3", false);
        row("", -1, -1, -1, "", false);
        row(" C m 7 ", 0, 6, -1, "Cm7");
        row("CMin", -1, -1, -1, "CMin", false);
        row("Cm(maj7)", 0, 7, -1, "CmM7");
        row("Bm7b5", 11, 9, -1, "Bm7(b5)");
        row("Gm/Bb", 7, 1, 10, "Gm/Bb");
        row("C#m7/G#", 1, 6, 8, "C#m7/G#");
        row("Cb", 11, 0, -1, "Cb");
        row("C11no5", -1, -1, -1, "C11no5");          // readable, but no table row
        row("H7", -1, -1, -1, "H7", false);
        row("C#m7/x", -1, -1, -1, "C#m7/x", false);   // the slash stays, the x cannot be read
    }
    void parse()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, root);
        QFETCH(int, type);
        QFETCH(int, bass);
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        ChordInfo info;
        std::memset(&info, 0x5A, sizeof info);
        QCOMPARE(Chord::ParseChord(input.constData(), &info), ok);
        QCOMPARE(int(info.root), root);
        QCOMPARE(int(info.type), type);
        QCOMPARE(int(info.bass), bass);
        QCOMPARE(QByteArray(info.text), text);
    }

    void parseLongAndHostile()
    {
        QByteArray longText = "C" + QByteArray(200, '7');
        ChordInfo info = parsed(longText.constData());
        QVERIFY(std::strlen(info.text) <= size_t(CHORD_TEXT_SIZE - 1));
        QVERIFY(std::strlen(info.italianText) <= size_t(CHORD_TEXT_SIZE - 1));
        QCOMPARE(Chord::ParseChord(nullptr, &info), false);
        QCOMPARE(int(info.root), -1);
        QCOMPARE(ChordsParser_ParseChord("C", nullptr), 0);
        const char bytes[] = {'C', char(0xC3), char(0xA9), '/', char(0xFF), 0};
        info = parsed(bytes);
        QCOMPARE(int(info.root), -1);
    }

    // Every chord-table row, written out with either spelling of its root,
    // reads back as that root and type.
    void everyTableRowReadsBack()
    {
        for (int root = 0; root < CHORD_ROOTS; ++root) {
            for (int type = 0; type < CHORD_TYPES; ++type) {
                for (const char *const *list : {chordListSharp, chordListFlat}) {
                    const QByteArray name = QByteArray(list[root]) + chordsDB[type].suffix;
                    const ChordInfo info = parsed(name.constData());
                    QVERIFY2(info.root == root && info.type == type, name.constData());
                    QCOMPARE(QByteArray(info.text), name);
                }
            }
        }
    }

    void transpose_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("semitones");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("recognised");
        auto row = [](const char *in, int n, const char *out, bool known = true) {
            QTest::addRow("%s %+d", in, n) << QByteArray(in) << n << QByteArray(out) << known;
        };
        row("Bb/D", 2, "C/E");
        row("E#", 3, "E#", false);
        row("C", -1, "B");
        row("C", 13, "C#");
        row("F#m7(b5)", -14, "Em7(b5)");
        row("G", INT_MIN, "B");
        row("G", INT_MAX, "D");
        row("N.C.", 5, "N.C.", false);
    }
    void transpose()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, semitones);
        QFETCH(QByteArray, output);
        QFETCH(bool, recognised);
        char out[CHORD_TEXT_SIZE];
        QCOMPARE(Chord::TransposeChord(out, input.constData(), semitones), recognised);
        QCOMPARE(QByteArray(out), output);
    }

    // Moving a chord by n and back by -n keeps root, type and bass, and the
    // moved chord sounds n semitones away, for any n a key change can reach.
    void transposeRoundTrip()
    {
        const char *spellings[] = {"C", "C#m7", "Dbmaj7", "D/F#", "Ebm7b5", "E7sus4", "F6/9",
                                   "F#dim7", "Gb9", "G13", "Ab7(#9)", "Am/G", "Bbadd9",
                                   "Bm11", "B/D#", "Esus2", "Gaug", "Cm6/Eb", "A7(b9)/C#"};
        for (const char *s : spellings) {
            const ChordInfo orig = parsed(s);
            QVERIFY2(orig.root >= 0, s);
            for (int n = -24; n <= 24; ++n) {
                const QByteArray moved = transposed(s, n);
                const ChordInfo m = parsed(moved.constData());
                QVERIFY2(m.root == wrap12(orig.root + n) && m.type == orig.type
                             && m.bass == (orig.bass < 0 ? -1 : wrap12(orig.bass + n)),
                         qPrintable(QStringLiteral("%1 %2 -> %3").arg(s).arg(n).arg(moved.constData())));
                const QByteArray back = transposed(moved.constData(), -n);
                const ChordInfo b = parsed(back.constData());
                QVERIFY2(b.root == orig.root && b.type == orig.type && b.bass == orig.bass,
                         qPrintable(QStringLiteral("%1 %2 -> %3 -> %4").arg(s).arg(n)
                                        .arg(moved.constData(), back.constData())));
            }
        }
    }

    void transposeStaysInBuffers()
    {
        // 39 characters whose root and bass both grow by one.
        const QByteArray fuller = "C" + QByteArray(36, '7') + "/D";
        QCOMPARE(fuller.size(), CHORD_TEXT_SIZE - 1);
        char out[CHORD_TEXT_SIZE];
        Chord::TransposeChord(out, fuller.constData(), 1);
        QVERIFY(std::strlen(out) <= size_t(CHORD_TEXT_SIZE - 1));
        QVERIFY(QByteArray(out).startsWith("C#77"));

        char inPlace[CHORD_TEXT_SIZE];
        std::memcpy(inPlace, fuller.constData(), size_t(fuller.size()) + 1);
        ChordsParser_GetTransposedString(inPlace, 1);
        QVERIFY(std::strlen(inPlace) <= size_t(CHORD_TEXT_SIZE - 1));

        char twin[TWIN_CHORD_SIZE];
        std::memset(twin, 'D', sizeof twin); // not even terminated
        transposeChord(twin, 1, 1);
        QVERIFY(std::strlen(twin) <= size_t(TWIN_CHORD_SIZE - 1));
        QVERIFY(QByteArray(twin).startsWith("D#D"));

        char small[4];
        ChordsParser_TransposeChord(small, "Bb/D", 1, int(sizeof small));
        QCOMPARE(QByteArray(small), QByteArray("B/"));
    }

    void respell()
    {
        char out[CHORD_TEXT_SIZE];
        Chord::ToSharp(out, "Bb/Eb");
        QCOMPARE(QByteArray(out), QByteArray("A#/D#"));
        Chord::ToFlat(out, "C#m/G#");
        QCOMPARE(QByteArray(out), QByteArray("Dbm/Ab"));
        Chord::ToSharp(out, "Em7");
        QCOMPARE(QByteArray(out), QByteArray("Em7"));
    }

    void italian_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("C#m7/G#") << QByteArray("C#m7/G#") << 40 << QByteArray("Do#m7/Sol#");
        QTest::newRow("G/B") << QByteArray("G/B") << 40 << QByteArray("Sol/Si");
        QTest::newRow("cut") << QByteArray("G/B") << 4 << QByteArray("Sol");
        QTest::newRow("one") << QByteArray("G") << 1 << QByteArray("");
    }
    void italian()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, length);
        QFETCH(QByteArray, output);
        char out[CHORD_TEXT_SIZE];
        std::memset(out, 'z', sizeof out);
        Chord::TranslateChordToIta(out, input.constData(), length);
        QCOMPARE(QByteArray(out), output);
    }

    void twinRoutines_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("semitones");
        QTest::addColumn<int>("keepInternational");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("up takes Gb") << QByteArray("C") << 6 << 1 << QByteArray("Gb");
        QTest::newRow("down takes F#") << QByteArray("C") << -6 << 1 << QByteArray("F#");
        QTest::newRow("down flats") << QByteArray("D") << -1 << 1 << QByteArray("Db");
        QTest::newRow("italian bass") << QByteArray("A/C#") << 2 << 0 << QByteArray("Si/Re#");
        QTest::newRow("italian cut") << QByteArray("C#m7(b5)/G#") << 0 << 0 << QByteArray("Do#m7(b5)");
    }
    void twinRoutines()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, semitones);
        QFETCH(int, keepInternational);
        QFETCH(QByteArray, output);
        char buf[TWIN_CHORD_SIZE] = {};
        std::memcpy(buf, input.constData(), size_t(input.size()));
        transposeChord(buf, semitones, keepInternational);
        QCOMPARE(QByteArray(buf), output);
    }

    void piano_data()
    {
        QTest::addColumn<QByteArray>("chord");
        QTest::addColumn<QList<int>>("keys");
        QTest::newRow("C/E") << QByteArray("C/E") << QList<int>{4, 12, 16, 19};
        QTest::newRow("Am/C") << QByteArray("Am/C") << QList<int>{0, 9, 12, 16};
        QTest::newRow("B13 past the keys") << QByteArray("B13") << QList<int>{11, 15, 18, 21};
    }
    void piano()
    {
        QFETCH(QByteArray, chord);
        QFETCH(QList<int>, keys);
        const ChordInfo info = parsed(chord.constData());
        S_PIANO_FRAME frame;
        QVERIFY(Chord::GetGraphPianoChord(&info, &frame));
        QList<int> pressed;
        for (int k = 0; k < PIANO_KEYS; ++k)
            if (frame.key[k])
                pressed << k;
        QCOMPARE(pressed, keys);
    }

    void pianoFailuresAndSignature()
    {
        S_PIANO_FRAME frame;
        std::memset(&frame, 1, sizeof frame);
        ChordInfo none = parsed("xyz");
        ChordSignature sig;
        QVERIFY(!Chord::GetGraphPianoChord(&none, &frame, &sig));
        QCOMPARE(QByteArray(sig.suffix), QByteArray("end"));
        for (uint8_t k : frame.key)
            QCOMPARE(int(k), 0);
        ChordInfo m7 = parsed("Am7");
        QVERIFY(Chord::GetGraphPianoChord(&m7, &frame, &sig));
        QCOMPARE(QByteArray(sig.suffix), QByteArray("m7"));
        QCOMPARE(int(Chord::getChordVars(1000)->degree[0]), 0);
    }

    void guitarLookup()
    {
        S_GUITAR_CHORD g;
        ChordInfo cs = parsed("Db/F");
        QVERIFY(Chord::GetGraphGuitarChord(&cs, &g));
        QCOMPARE(QByteArray(g.name), QByteArray("C#"));
        ChordInfo odd = cs;
        odd.type = -1; // root 1, type -1 must not land on a row of C
        QVERIFY(!Chord::GetGraphGuitarChord(&odd, &g));
        QVERIFY(isEmptyDiagram(g));
        ChordInfo none = parsed("C11no5");
        QVERIFY(!Chord::GetGraphGuitarChord(&none, &g));
        ChordInfo empty = parsed("C#9"); // a row without a diagram still counts
        QVERIFY(Chord::GetGraphGuitarChord(&empty, &g));
        QVERIFY(isEmptyDiagram(g));
    }

    // Every diagram is playable in standard tuning and sounds only its chord.
    void guitarDiagrams()
    {
        int drawn = 0;
        for (int row = 0; row < GUITAR_CHORDS; ++row) {
            const S_GUITAR_CHORD &g = kGuitarChord[row];
            const int root = row / CHORD_TYPES;
            const int type = row % CHORD_TYPES;
            const QByteArray what = QByteArray::number(row) + " " + g.name;
            if (isEmptyDiagram(g))
                continue;
            ++drawn;
            QCOMPARE(QByteArray(g.name), QByteArray(chordListSharp[root]) + chordsDB[type].suffix);
            QVERIFY2(g.baseFret >= 0 && g.baseFret <= 24, what.constData());
            const int first = g.baseFret == 0 ? 1 : g.baseFret;

            int frets[GUITAR_STRINGS];
            for (int s = 0; s < GUITAR_STRINGS; ++s) {
                if (g.stringMark[s] == 1 || g.stringMark[s] == 0) {
                    QVERIFY2(g.fretRow[s] == -1, what.constData());
                    frets[s] = g.stringMark[s] == 1 ? -1 : 0;
                } else {
                    QVERIFY2(g.stringMark[s] == -1 && g.fretRow[s] >= 0 && g.fretRow[s] <= 3,
                             what.constData());
                    frets[s] = first + g.fretRow[s];
                }
            }
            if (g.baseFret > 0)
                for (int s = 0; s < GUITAR_STRINGS; ++s)
                    QVERIFY2(frets[s] != 0, what.constData()); // open strings only at the nut

            int fingers = 0;
            if (g.barreRow >= 0) {
                QVERIFY2(g.barreFrom >= 0 && g.barreFrom < g.barreTo && g.barreTo < GUITAR_STRINGS,
                         what.constData());
                QVERIFY2(g.fretRow[g.barreFrom] == g.barreRow && g.fretRow[g.barreTo] == g.barreRow,
                         what.constData());
                for (int s = g.barreFrom; s <= g.barreTo; ++s)
                    QVERIFY2(g.fretRow[s] >= g.barreRow, what.constData());
                fingers = 1;
            } else {
                QVERIFY2(g.barreFrom == -1 && g.barreTo == -1, what.constData());
            }
            for (int s = 0; s < GUITAR_STRINGS; ++s) {
                const bool underBarre = g.barreRow >= 0 && s >= g.barreFrom && s <= g.barreTo
                                        && g.fretRow[s] == g.barreRow;
                if (frets[s] > 0 && !underBarre)
                    ++fingers;
            }
            QVERIFY2(fingers <= 4, what.constData());

            const std::set<int> tones = chordTones(root, type);
            std::set<int> heard;
            int lowestFret = 99, highestFret = 0, lowestString = -1;
            for (int s = 0; s < GUITAR_STRINGS; ++s) {
                if (frets[s] < 0)
                    continue;
                if (lowestString < 0)
                    lowestString = s;
                const int pc = (kTuning[s] + frets[s]) % 12;
                QVERIFY2(tones.count(pc), what.constData());
                heard.insert(pc);
                if (frets[s] > 0) {
                    lowestFret = std::min(lowestFret, frets[s]);
                    highestFret = std::max(highestFret, frets[s]);
                }
            }
            QVERIFY2(heard.size() >= 2 && heard.count(root), what.constData());
            QVERIFY2((kTuning[lowestString] + frets[lowestString]) % 12 == root, what.constData());
            QVERIFY2(highestFret == 0 || highestFret - lowestFret <= 3, what.constData());
        }
        QCOMPARE(drawn, GUITAR_CHORDS - 52);
    }
};

VELMAR_TEST(TestChords)
#include "tst_chords.moc"
