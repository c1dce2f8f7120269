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
        out << QString::fromLatin1(s.infos->textRows[i].text) + QLatin1Char('@') +
                   QString::number(s.infos->textRows[i].tick);
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

int run(LoadedSong &s, SmfTrack t)
{
    return s.normalise(smf0(480, t.end()));
}

} // namespace

class TestExtractLyrics : public QObject
{
    Q_OBJECT
private slots:
    // Rows (text@tick) and syllables (offset/row@tick) of text tracks.
    void textRows_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("syllables");
        SmfTrack kar;
        kar.meta(0, 0x01, "@KMIDI KARAOKE FILE").meta(0, 0x01, "@TTitle");
        kar.meta(100, 0x01, "\\Hel").meta(100, 0x01, "lo ").meta(100, 0x01, "world");
        kar.meta(100, 0x01, "/Say \"hi\"");
        QTest::newRow("karaoke texts") << smf0(480, kar.end(100))
                                       << QStringList({"Hello world@100", "Say 'hi'@400"})
                                       << "3/0@100 5/0@200 10/0@300 127/0@400 7/1@400 127/1@500";
        // A row holds 41 characters: a text without a space is cut, one with
        // spaces wraps its last word onto the next row.
        SmfTrack wide;
        wide.meta(0, 0x01, "@K");
        wide.meta(10, 0x01, "\\" + QByteArray(45, 'a'));
        wide.meta(10, 0x01, "\\" + QByteArray(30, 'b') + " ");
        wide.meta(10, 0x01, "cccccccc ");
        wide.meta(10, 0x01, "dddddd");
        QTest::newRow("row limit") << smf0(480, wide.end())
                                   << QStringList({QString(41, 'a') + "@20", QString(30, 'b') + " cccccccc@20",
                                                   "dddddd@40"})
                                   << "127/0@20 30/1@20 38/1@30 127/1@30 6/2@40 127/2@40";
        // Channel labels are no lyrics; a leading line feed starts a paragraph.
        SmfTrack lyr;
        lyr.meta(0, 0x05, "Ca").meta(10, 0x05, "ro ").meta(10, 0x05, "mio\r");
        lyr.meta(10, 0x05, "Canale 1\r").meta(10, 0x05, "CH 2\r").meta(10, 0x05, "MIDI10\r");
        lyr.meta(10, 0x05, "Chorus\r").meta(10, 0x05, "\nnext").meta(10, 0x05, "");
        QTest::newRow("lyric events") << smf0(480, lyr.end(10))
                                      << QStringList({"Caro mio@0", "Chorus@60", "@60", "next@70"})
                                      << "2/0@0 4/0@10 7/0@20 127/0@20 6/1@60 127/1@60 4/3@70 127/3@90";
        SmfTrack special;
        special.meta(0, 0x05, "<First whole row").meta(10, 0x05, "%Am7");
        special.meta(10, 0x05, "ignored").meta(10, 0x05, "<Second");
        QTest::newRow("whole rows") << smf0(480, special.end())
                                    << QStringList({"First whole row@0", "Second@30"}) << "127/0@0 127/1@30";
    }
    void textRows()
    {
        QFETCH(QByteArray, file);
        LoadedSong s;
        QVERIFY(s.normalise(file) > 0);
        QTEST(rows(s), "rows");
        QTEST(syllables(s), "syllables");
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
        QCOMPARE(rows(s), QStringList({"First row@110", "Thirdrow@250"}));
        QCOMPARE(syllables(s), QStringLiteral("0/0@110 3/0@120 127/0@150 4/1@260"));
        QCOMPARE(int(s.infos->sysexSyllableMode), 1);
        QCOMPARE(int(s.infos->chordCount), 0);
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

    // Chords from controllers, XF meta events and SysEx, texts, lyrics and
    // maker records, each as the name shown.
    void chords_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("chord");
        auto one = [](const QByteArray &event) {
            SmfTrack t;
            t.bytes = char(0) + event;
            return smf0(480, t.end());
        };
        auto xf = [&one](int cr, int ct, int bn) {
            return one(hexBytes({0xFF, 0x7F, 7, 0x43, 0x7B, 0x01, cr, ct, bn, 0}));
        };
        QTest::newRow("XF Cmin/G") << xf(0x31, 8, 0x35) << "Cmin/G";
        QTest::newRow("XF root 0") << xf(0x30, 8, 127) << "";
        QTest::newRow("XF bass 9") << xf(0x33, 0, 0x39) << "EMaj";
        QTest::newRow("XF type 40") << xf(0x35, 40, 127) << "G";
        QTest::newRow("XF sysex") << one(hexBytes({0xF0, 8, 0x43, 0x7E, 0x02, 0x46, 10, 0x31, 0, 0xF7}))
                                  << "A#min7/C";
        auto text = [&one](const QByteArray &t) { return one(hexBytes({0xFF, 0x01, int(t.size())}) + t); };
        QTest::newRow("text F#min7") << text("F#min7") << "F#m7";
        QTest::newRow("text spaces") << text("C _ 9th") << "C9";
        QTest::newRow("text 14 characters") << text("Abmaj7add9sus4") << "Abmaj7add9sus4";
        QTest::newRow("text 16 characters") << text("Abmaj7add9sus4xy") << "";
        QTest::newRow("text lower case") << text("am") << "";
        QTest::newRow("lyric %") << one(hexBytes({0xFF, 0x05, 4}) + "%Am7") << "Am7";
        SmfTrack cc;
        cc.meta(0, 0x01, "@K").meta(0, 0x01, "\\some text");
        cc.ev(0, {0xB0, 98, 1}).ev(0, {0xB0, 100, 'E'}).ev(0, {0xB0, 100, 'm'});
        cc.ev(10, {0xB0, 98, 1}).ev(0, {0xB0, 100, 'x'});             // not a chord: dropped
        cc.ev(10, {0xB0, 98, 1});
        for (char c : QByteArray("G7sus4add9add11"))
            cc.ev(0, {0xB0, 100, c});
        QTest::newRow("controllers") << smf0(480, cc.end()) << "Em@0,G7sus4add9add11@20";
        SmfTrack mk;
        mk.sysex(0, maker(0x01, "Dm7\n"));
        mk.ev(0, {0xFF, 0x7F, 7, 0x43, 0x7B, 0x01, 0x31, 8, 127, 0});   // XF after maker chords: not read
        mk.sysex(10, maker(0x01, "G13sus4add9b13"));
        QTest::newRow("maker") << smf0(480, mk.end()) << "Dm7@0,G13sus4add@10";
    }
    void chords()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, chord);
        LoadedSong s;
        QVERIFY(s.normalise(file) > 0);
        QStringList got;
        for (int i = 0; i < s.infos->chordCount; ++i)
            got << QString::fromLatin1(s.infos->chords[i].name) +
                       (chord.contains(QLatin1Char('@')) ? QStringLiteral("@%1").arg(s.infos->chords[i].tick)
                                                         : QString());
        QCOMPARE(got.join(QLatin1Char(',')), chord);
    }

    // Past a table's end the run stops with the table's code, nothing more.
    void tableLimits_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("code");
        SmfTrack rowsT, chordsT, rowEnds, syl;
        for (int i = 0; i < 130; ++i) {
            for (int c = 0x04; c <= 0x07; ++c)
                rowsT.sysex(0, maker(c, "row " + QByteArray::number(i)));
            for (int c = 0; c < 4; ++c)
                rowsT.sysex(1, maker(0x08));
        }
        for (int i = 0; i < MAX_CHORDS; ++i)
            chordsT.meta(1, 0x01, "C");
        for (int i = 0; i < 1250; ++i)
            rowEnds.meta(1, 0x05, "la\r");                // a syllable and an end of row each
        for (int i = 0; i < 300; ++i)
            for (const char *w : {"a ", "b ", "c ", "d ", "e ", "f ", "g ", "h ", "i\r"})
                syl.meta(1, 0x05, w);
        QTest::newRow("maker rows") << smf0(480, rowsT.end()) << 11;
        QTest::newRow("chords") << smf0(480, chordsT.end()) << 9;
        QTest::newRow("lyric rows") << smf0(480, rowEnds.end()) << 11;
        QTest::newRow("syllables") << smf0(480, syl.end()) << 8;
    }
    void tableLimits()
    {
        QFETCH(QByteArray, file);
        LoadedSong s;
        QCOMPARE(s.normalise(file), 0);
        QTEST(getLoadingError(), "code");
        QVERIFY(s.infos->textRowCount <= MAX_TEXT_ROWS && s.infos->syllableCount <= MAX_SYLLABLES &&
                s.infos->chordCount <= MAX_CHORDS);
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
