// Lyric rows, syllables, chords, markers and GS messages taken while normalising.
#include "normalise_util.h"
#include "testutil.h"

#include <QtTest>

namespace {

QByteArray maker(int command, const QByteArray &text = {})
{
    return hexBytes({0x00, 0x20, 0x24, 0x00, command}) + text + char(0xF7);
}

QByteArray gs(int block, int address, int value)
{
    QByteArray d = hexBytes({0x41, 0x10, 0x42, 0x12, 0x40, block, address, value, 0, 0xF7});
    int sum = 0x40 + block + address + value;
    d[8] = char((128 - sum % 128) % 128);
    return d;
}

QStringList rows(const LoadedSong &s)
{
    QStringList out;
    for (int i = 0; i < s.infos->textRowCount; ++i)
        out << QString::fromLatin1(s.infos->textRows[i].text);
    return out;
}

QString syllables(const LoadedSong &s)
{
    QStringList out;
    for (int i = 0; i < s.infos->syllableCount; ++i)
        out << QStringLiteral("%1/%2@%3")
                   .arg(s.infos->syllables[i].offset)
                   .arg(s.infos->syllables[i].row)
                   .arg(s.infos->syllables[i].tick);
    return out.join(QLatin1Char(' '));
}

QStringList chords(const LoadedSong &s)
{
    QStringList out;
    for (int i = 0; i < s.infos->chordCount; ++i)
        out << QString::fromLatin1(s.infos->chords[i].name);
    return out;
}

int run(LoadedSong &s, SmfTrack t)
{
    return s.normalise(smf0(480, t.end()));
}

} // namespace

class TestExtractLyrics : public QObject
{
    Q_OBJECT
private slots:
    void karaokeTexts()
    {
        SmfTrack t;
        t.meta(0, 0x01, "@KMIDI KARAOKE FILE").meta(0, 0x01, "@TTitle");
        t.meta(100, 0x01, "\\Hel").meta(100, 0x01, "lo ").meta(100, 0x01, "world");
        t.meta(100, 0x01, "/Say \"hi\"");
        LoadedSong s;
        QVERIFY(run(s, t.end(100)) > 0);
        QCOMPARE(rows(s), QStringList({"Hello world", "Say 'hi'"}));
        QCOMPARE(syllables(s), QStringLiteral("3/0@100 5/0@200 10/0@300 127/0@400 7/1@400 127/1@500"));
        QCOMPARE(s.infos->textRows[1].tick, 400u);
    }

    // A row holds 41 characters: a text without a space is cut, one with
    // spaces wraps its last word onto the next row.
    void rowLimit()
    {
        SmfTrack t;
        t.meta(0, 0x01, "@K");
        t.meta(10, 0x01, "\\" + QByteArray(45, 'a'));
        t.meta(10, 0x01, "\\" + QByteArray(30, 'b') + " ");
        t.meta(10, 0x01, "cccccccc ");
        t.meta(10, 0x01, "dddddd");
        LoadedSong s;
        QVERIFY(run(s, t) > 0);
        QCOMPARE(rows(s), QStringList({QString(41, 'a'), QString(30, 'b') + " cccccccc", "dddddd"}));
        QCOMPARE(syllables(s), QStringLiteral("127/0@20 30/1@20 38/1@30 127/1@30 6/2@40 127/2@40"));
    }

    void lyricEvents()
    {
        SmfTrack t;
        t.meta(0, 0x05, "Ca").meta(10, 0x05, "ro ").meta(10, 0x05, "mio\r");
        t.meta(10, 0x05, "Canale 1\r");          // a channel label, not lyrics
        t.meta(10, 0x05, "CH 2\r");
        t.meta(10, 0x05, "MIDI10\r");
        t.meta(10, 0x05, "Chorus\r");
        t.meta(10, 0x05, "\nnext");
        t.meta(10, 0x05, "");
        LoadedSong s;
        QVERIFY(run(s, t.end(10)) > 0);
        // A lyric that starts with a line feed starts a paragraph: an empty row.
        QCOMPARE(rows(s), QStringList({"Caro mio", "Chorus", "", "next"}));
        QCOMPARE(s.infos->textRows[2].tick, 60u);
        QCOMPARE(syllables(s), QStringLiteral("2/0@0 4/0@10 7/0@20 127/0@20 6/1@60 127/1@60 4/3@70 127/3@90"));
    }

    void specialLyrics()
    {
        SmfTrack t;
        t.meta(0, 0x05, "<First whole row");
        t.meta(10, 0x05, "%Am7");
        t.meta(10, 0x05, "ignored");
        t.meta(10, 0x05, "<Second");
        LoadedSong s;
        QVERIFY(run(s, t) > 0);
        QCOMPARE(rows(s), QStringList({"First whole row", "Second"}));
        QCOMPARE(s.infos->textRows[1].tick, 30u);
        QCOMPARE(chords(s), QStringList({"Am7"}));
    }

    // The maker's text track replaces what lyric events gave.
    void makerTextTrack()
    {
        SmfTrack t;
        t.meta(0, 0x05, "old lyric\r");
        t.meta(0, 0x01, "Am");                      // text chord, dropped too
        t.sysex(10, maker(0x04, "First row"));
        t.sysex(0, maker(0x05, "Canale 3"));        // label: not shown
        t.sysex(0, maker(0x06, "Third\r\nrow"));
        t.sysex(0, maker(0x17, hexBytes({5})));     // before any row and before 127: ignored
        t.sysex(0, maker(0x17, hexBytes({127})));
        t.sysex(0, maker(0x17, hexBytes({2})));     // still before any row
        t.sysex(100, maker(0x08));
        t.sysex(0, maker(0x17, hexBytes({0})));
        t.sysex(10, maker(0x17, hexBytes({3})));
        t.sysex(10, maker(0x17, hexBytes({3})));    // same offset again
        t.sysex(10, maker(0x17, hexBytes({2})));    // going back
        t.sysex(10, maker(0x17, hexBytes({8})));
        t.sysex(100, maker(0x08));
        t.sysex(0, maker(0x08));
        t.sysex(10, maker(0x17, hexBytes({4})));
        t.meta(10, 0x05, "later lyric\r");          // kept, not read
        t.sysex(0, maker(0x1F, QByteArray(20, 0)));  // settings record: not for the engine
        LoadedSong s;
        const int length = run(s, t);
        QVERIFY(length > 0);
        QVERIFY(isSysExMode());
        QCOMPARE(rows(s), QStringList({"First row", "Thirdrow"}));
        QCOMPARE(s.infos->textRows[0].tick, 110u);
        QCOMPARE(s.infos->textRows[1].tick, 250u);
        QCOMPARE(syllables(s), QStringLiteral("0/0@110 3/0@120 127/0@150 4/1@260"));
        QCOMPARE(int(s.infos->sysexSyllableMode), 1);
        QVERIFY(chords(s).isEmpty());
        const QVector<StreamEvent> ev =
            withoutGrid(parseStream(s.output(length), EXTRACT_HEAD_SIZE, true, nullptr));
        int lyricsKept = 0, makerKept = 0;
        for (const StreamEvent &e : ev) {
            lyricsKept += e.bytes.startsWith(hexBytes({0xFF, 0x05}));
            if (e.bytes.size() > 7 && e.bytes.mid(2, 4) == hexBytes({0, 0x20, 0x24, 0})) {
                ++makerKept;
                QVERIFY(uint8_t(e.bytes[6]) != 0x1F);
            }
        }
        QCOMPARE(lyricsKept, 1);
        QCOMPARE(makerKept, 15);
    }

    // Row records past the table stop the run with its code, nothing more.
    void makerRowLimit()
    {
        SmfTrack t;
        for (int i = 0; i < 130; ++i) {
            for (int c = 0x04; c <= 0x07; ++c)
                t.sysex(0, maker(c, "row " + QByteArray::number(i)));
            for (int c = 0; c < 4; ++c)
                t.sysex(1, maker(0x08));
        }
        LoadedSong s;
        QCOMPARE(run(s, t), 0);
        QCOMPARE(getLoadingError(), 11);
        QCOMPARE(int(s.infos->textRowCount), MAX_TEXT_ROWS);
    }

    void controllerSyllablesAndChords()
    {
        SmfTrack t;
        t.meta(0, 0x01, "@K");
        t.meta(0, 0x01, "\\some text");
        t.ev(0, {0xB0, 98, 1}).ev(0, {0xB0, 100, 'E'}).ev(0, {0xB0, 100, 'm'});
        t.ev(10, {0xB0, 98, 1}).ev(0, {0xB0, 100, 'x'});             // not a chord: dropped
        t.ev(10, {0xB0, 98, 1});
        for (char c : QByteArray("G7sus4add9add11"))
            t.ev(0, {0xB0, 100, c});
        LoadedSong s;
        QVERIFY(run(s, t) > 0);
        QCOMPARE(chords(s), QStringList({"Em", "G7sus4add9add11"}));
        QCOMPARE(s.infos->chords[1].tick, 20u);
        // Chord controllers are not set-up events.
        QCOMPARE(int(s.infos->setupList[0].count), 0);
    }

    void xfChords_data()
    {
        QTest::addColumn<QByteArray>("event");
        QTest::addColumn<QString>("chord");
        auto meta = [](int cr, int ct, int bn) {
            return hexBytes({0xFF, 0x7F, 7, 0x43, 0x7B, 0x01, cr, ct, bn, 0});
        };
        QTest::newRow("Cmin/G") << meta(0x31, 8, 0x35) << "Cmin/G";
        QTest::newRow("Cmin") << meta(0x31, 8, 127) << "Cmin";
        QTest::newRow("Bb7") << meta(0x27, 19, 0x27) << "Bb7";
        QTest::newRow("F#minMaj7(9)/Db") << meta(0x44, 16, 0x22) << "F#minMaj7(9)/Db";
        QTest::newRow("root 0") << meta(0x30, 8, 127) << "";
        QTest::newRow("root 9") << meta(0x39, 8, 127) << "";
        QTest::newRow("bass 9") << meta(0x33, 0, 0x39) << "EMaj";
        QTest::newRow("type 40") << meta(0x35, 40, 127) << "G";
        QTest::newRow("sysex") << hexBytes({0xF0, 8, 0x43, 0x7E, 0x02, 0x46, 10, 0x31, 0, 0xF7}) << "A#min7/C";
    }
    void xfChords()
    {
        QFETCH(QByteArray, event);
        QFETCH(QString, chord);
        SmfTrack t;
        t.bytes = char(0) + event;
        LoadedSong s;
        QVERIFY(run(s, t) > 0);
        QCOMPARE(chords(s).join(QLatin1Char(',')), chord);
    }

    void textChords_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("chord");
        QTest::newRow("F#min7") << QByteArray("F#min7") << "F#m7";
        QTest::newRow("Bb/") << QByteArray("Bb/") << "Bb";
        QTest::newRow("spaces") << QByteArray("C _ 9th") << "C9";
        QTest::newRow("14 characters") << QByteArray("Abmaj7add9sus4") << "Abmaj7add9sus4";
        QTest::newRow("16 characters") << QByteArray("Abmaj7add9sus4xy") << "";
        QTest::newRow("lower case") << QByteArray("am") << "";
        QTest::newRow("H") << QByteArray("H7") << "";
    }
    void textChords()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, chord);
        SmfTrack t;
        t.meta(5, 0x01, text);
        LoadedSong s;
        QVERIFY(run(s, t) > 0);
        QCOMPARE(chords(s).join(QLatin1Char(',')), chord);
    }

    void makerChords()
    {
        SmfTrack t;
        t.sysex(0, maker(0x01, "Dm7\n"));
        t.ev(0, {0xFF, 0x7F, 7, 0x43, 0x7B, 0x01, 0x31, 8, 127, 0});   // XF after maker chords: not read
        t.sysex(10, maker(0x01, "G13sus4add9b13"));
        LoadedSong s;
        QVERIFY(run(s, t) > 0);
        QCOMPARE(chords(s), QStringList({"Dm7", "G13sus4add"}));
    }

    void chordLimit()
    {
        SmfTrack t;
        for (int i = 0; i < MAX_CHORDS; ++i)
            t.meta(1, 0x01, "C");
        LoadedSong s;
        QCOMPARE(run(s, t), 0);
        QCOMPARE(getLoadingError(), 9);
        SmfTrack ok;
        for (int i = 0; i < MAX_CHORDS - 1; ++i)
            ok.meta(1, 0x01, "C");
        QVERIFY(run(s, ok) > 0);
        QCOMPARE(int(s.infos->chordCount), MAX_CHORDS - 1);
    }

    void syllableAndRowLimits()
    {
        SmfTrack syl;
        for (int i = 0; i < 1250; ++i)
            syl.meta(1, 0x05, "la\r");                // a syllable and an end of row each
        LoadedSong s;
        QCOMPARE(run(s, syl), 0);
        QCOMPARE(getLoadingError(), 11);
        SmfTrack many;
        for (int i = 0; i < 300; ++i)
            many.meta(1, 0x05, "a ").meta(1, 0x05, "b ").meta(1, 0x05, "c ").meta(1, 0x05, "d ")
                .meta(1, 0x05, "e ").meta(1, 0x05, "f ").meta(1, 0x05, "g ").meta(1, 0x05, "h ")
                .meta(1, 0x05, "i\r");
        QCOMPARE(run(s, many), 0);
        QCOMPARE(getLoadingError(), 8);
        QCOMPARE(int(s.infos->syllableCount), MAX_SYLLABLES);
    }

    void markers()
    {
        SmfTrack t;
        t.ev(0, {0x90, 60, 100});
        t.meta(1920, 0x06, "Verse one");
        t.meta(1920, 0x06, "Chorus");
        t.meta(1920, 0x06, "Bridge");
        t.meta(9600, 0x06, "A very long marker name");
        t.meta(1920, 0x06, "Fine");
        LoadedSong s;
        QVERIFY(run(s, t) > 0);
        QCOMPARE(int(s.infos->markerCount), 5);
        QCOMPARE(QByteArray(s.infos->markers[3].name), QByteArray("A very long mar"));
        QCOMPARE(int(s.infos->markers[3].bar), 8);
        QCOMPARE(s.infos->markers[1].time, 3840u);
        QCOMPARE(s.infos->verseChorusTick, 3840u);
        // Seven seconds before "Bridge" at 120 BPM: 6720 ticks, held at 0.
        QCOMPARE(s.infos->chorusTick, 0u);
        QCOMPARE(int(s.infos->endBar), 9 - 4);

        SmfTrack many;
        for (int i = 0; i < MAX_MARKERS + 5; ++i)
            many.meta(1, 0x06, "m" + QByteArray::number(i));
        QVERIFY(run(s, many) > 0);
        QCOMPARE(int(s.infos->markerCount), MAX_MARKERS);
        QCOMPARE(QByteArray(s.infos->markers[MAX_MARKERS - 1].name), QByteArray("m174"));
    }

    // Maker markers show once the song reaches their bar, at that bar's tick.
    void makerMarkers()
    {
        SmfTrack t;
        t.meta(0, 0x58, hexBytes({3, 2, 24, 8}));
        t.meta(0, 0x4B, hexBytes({6, 0, 0}) + "Intro");
        t.meta(0, 0x4B, hexBytes({6, 0, 2}) + "Verse");
        t.meta(0, 0x4B, hexBytes({6, 0, 50}) + "Never");
        t.ev(0, {0x90, 60, 100}).ev(1440 * 3, {0x80, 60, 0});
        LoadedSong s;
        QVERIFY(run(s, t) > 0);
        QCOMPARE(int(s.infos->markerCount), 2);
        QCOMPARE(QByteArray(s.infos->markers[1].name), QByteArray("Verse"));
        QCOMPARE(s.infos->markers[1].time, 2880u);
        QCOMPARE(s.infos->markers[0].time, 0u);
    }

    void gsEffects()
    {
        SmfTrack t;
        t.sysex(0, gs(0x01, 0x30, 0x09));              // reverb macro 9: 4
        t.sysex(0, gs(0x01, 0x33, 127));               // sets the song's level
        t.sysex(0, gs(0x01, 0x33, 40));                // sent at the song's level
        t.sysex(0, gs(0x01, 0x3A, 64));
        t.sysex(0, gs(0x11, 0x15, 1));                 // part 1 (channel 1) is drums
        t.sysex(0, gs(0x12, 0x02, 5));                 // part 2 listens on channel 6
        t.sysex(0, gs(0x12, 0x15, 2));
        t.sysex(0, gs(0x13, 0x02, 16));                // "off": part 3 stays on channel 3
        t.sysex(0, gs(0x13, 0x15, 1));
        t.sysex(0, hexBytes({0x7E, 0x7F, 0x09, 0x01, 0xF7}));
        LoadedSong s;
        const int length = run(s, t.ev(0, {0x90, 60, 1}));
        QVERIFY(length > 0);
        QCOMPARE(int(s.stream->reverbMacro), 4);
        QCOMPARE(int(s.db->reverbMacro), 4);
        QCOMPARE(int(s.stream->reverbLevel), 40);
        QCOMPARE(int(s.db->reverbLevel), 127);
        QCOMPARE(int(s.db->chorusLevel), 64);
        QVERIFY(s.db->layers[0][3].flags & DB_FLAG_DRUM);
        QVERIFY(s.db->layers[5][0].flags & DB_FLAG_DRUM);
        QVERIFY(s.db->layers[2][0].flags & DB_FLAG_DRUM);
        QVERIFY(!(s.db->layers[1][0].flags & DB_FLAG_DRUM));

        const QVector<StreamEvent> ev =
            withoutGrid(parseStream(s.output(length), EXTRACT_HEAD_SIZE, true, nullptr));
        QCOMPARE(ev[2].bytes.mid(2), gs(0x01, 0x33, 106));
        QCOMPARE(ev[3].bytes.mid(2), gs(0x01, 0x3A, 54));
        for (int i = 0; i < 10; ++i) {
            const QByteArray &b = ev[i].bytes;
            if (uint8_t(b[2]) != 0x41)
                continue;
            int sum = 0;
            for (int k = 6; k < b.size() - 1; ++k)
                sum += uint8_t(b[k]);
            QVERIFY2(sum % 128 == 0, qPrintable(b.toHex(' ')));
        }
        // Every SysEx but the macro is in the table, with its bar and port.
        QCOMPARE(int(s.infos->sysexCount), 9);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(s.infos->sysexTable[8].message), 7),
                 hexBytes({0xF0, 5, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    }
};

VELMAR_TEST(TestExtractLyrics)
#include "tst_extract_lyrics.moc"
