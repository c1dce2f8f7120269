#include "ExtractLock.h"
#include "mp3.h"
#include "mp3fixtures.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace Mp3Fixtures;

namespace {

// Rows ("text@tick|..."), or chords in the same form.
QByteArray rowsOf(const MidiInfos &m, bool chords = false)
{
    QByteArrayList out;
    for (int i = 0; i < (chords ? m.chordCount : m.textRowCount); ++i)
        out << QByteArray(chords ? m.chords[i].name : m.textRows[i].text) + '@' +
                   QByteArray::number(chords ? m.chords[i].tick : m.textRows[i].tick);
    return out.join('|');
}

// Syllables as "offset/row@tick ...".
QByteArray sylsOf(const MidiInfos &m)
{
    QByteArrayList out;
    for (int i = 0; i < m.syllableCount; ++i)
        out << QByteArray::number(m.syllables[i].offset) + '/' + QByteArray::number(m.syllables[i].row) + '@' +
                   QByteArray::number(m.syllables[i].tick);
    return out.join(' ');
}

} // namespace

class TestMp3Text : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_mp3;                    // 44.1 kHz, 128 kbit/s
    std::unique_ptr<MidiInfos> m_infos = std::make_unique<MidiInfos>();

    MidiInfos &read(const QByteArray &file, long tail = MP3_TRAILING_TAIL_LENGTH)
    {
        std::memset(m_infos.get(), 0x5A, sizeof(MidiInfos));
        ExtractLocker lock;
        mp3_text_find_type(m_infos.get(), reinterpret_cast<const uint8_t *>(file.constData()),
                           file.size(), tail);
        return *m_infos;
    }

    QByteArray tagged(const QString &name, int version, int encoding, int format, int picture,
                      const QJsonArray &entries)
    {
        const QString in = m_dir.filePath(QStringLiteral("plain.mp3"));
        const QString out = m_dir.filePath(name);
        TestUtil::writeFile(in, m_mp3);
        TestUtil::runPython(QStringLiteral("common-extract/gen_mp3_sylt.py"),
                            {in, out, QString::number(version), QString::number(encoding),
                             QString::number(format), QString::number(picture),
                             QString::fromUtf8(QJsonDocument(entries).toJson(QJsonDocument::Compact))});
        return TestUtil::readFile(out);
    }

    static QJsonArray entry(const QString &text, int ms) { return QJsonArray{text, ms}; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_mp3 = makeAudio(m_dir.path(), 44100, 128);
        QVERIFY(!m_mp3.isEmpty());
    }

    // Blocks as the song file writer lays them out, with an opaque MIDI track
    // in front that holds text looking like a lyrics block.
    void ownBlocks()
    {
        const QByteArray lyrics = stamp(150) + "Hello world\r\n" + stamp(400) + "Second row\r\n";
        const QByteArray colors = stamp(150) + "003\r\n" + stamp(200) + "005\r\n" + stamp(250) +
                                  "010\r\n" + stamp(300) + "127\r\n" + stamp(400) + "004\r\n" +
                                  stamp(450) + "010\r\n";
        const QByteArray chords = stamp(150) + "C\r\n" + stamp(300) + "Am7/G\r\n" + stamp(400) +
                                  "F#m7(b5)add9long\r\n";
        const QByteArray midi = QByteArray("MTrk\0\x01[00:00.10]Fake\r\nLYRICSBEGIN", 33) +
                                stamp(10) + "Fake\r\n";
        const QByteArray tag = id3Tag(ownBlock("MIDITK", midi) + ownBlock("LYRICS", lyrics) +
                                      ownBlock("COLORS", colors) + ownBlock("CHORDS", chords) +
                                      ownBlock("MARKER", stamp(1000) + "Chorus\r\n") +
                                      QByteArray(64, '\0'));
        const MidiInfos &m = read(tag + m_mp3);
        // The first syllable sits at its row's start: the row moves 1/100 s later.
        QCOMPARE(rowsOf(m), "Hello world@151|Second row@399");
        QCOMPARE(sylsOf(m), "3/0@150 5/0@200 10/0@250 127/0@300 4/1@400 10/1@450");
        QCOMPARE(rowsOf(m, true), "C@150|Am7/G@300|F#m7(b5)add9lon@400");
    }

    void rowLimits()
    {
        QByteArray lyrics = stamp(0) + QByteArray(50, 'x') + "\r\n";
        for (int i = 1; i <= 500; ++i)
            lyrics += stamp(i * 10) + "row " + QByteArray::number(i) + "\r\n";
        const MidiInfos &m = read(id3Tag(ownBlock("LYRICS", lyrics)) + m_mp3);
        QCOMPARE(int(m.textRowCount), MAX_TEXT_ROWS);
        QCOMPARE(QByteArray(m.textRows[0].text), QByteArray(MP3_ROW_STORED_CHARS, 'x'));
        QVERIFY(rowsOf(m).endsWith("|row 499@4990"));
        // The reset without reading leaves nothing to refill.
        ExtractLocker lock;
        mp3_text_init(m_infos.get());
        QCOMPARE(mp3_refill_text(m_infos.get()), 0);
        QCOMPARE(int(m_infos->textRowCount), 0);
    }

    void trailingLyrics3()
    {
        // Colour and chord blocks in the tag are not read beside a trailing block.
        const QByteArray tag = id3Tag(ownBlock("COLORS", stamp(100) + "003\r\n") +
                                      ownBlock("CHORDS", stamp(100) + "C\r\n"));
        const QByteArray file = tag + m_mp3 +
                                lyrics3Block("[00:01]Hello\r\n[00:03]World") + id3v1Tag();
        const MidiInfos &m = read(file);
        QCOMPARE(rowsOf(m), "Hello@100|World@300");
        QCOMPARE(sylsOf(m), "127/0@120 127/1@320");
        QCOMPARE(int(m.chordCount), 0);

        // A broken field size: the rows end at the trailer.
        QByteArray broken = lyrics3Block("[00:01]Hello\r\n[00:03]World");
        broken.replace("LYR000", "LYRx00");
        const MidiInfos &b = read(m_mp3 + broken);
        QCOMPARE(rowsOf(b), "Hello@100|World@300");
    }

    void wl5Block()
    {
        const QByteArray file = m_mp3 + "<WL5SYNCT>head|First row|1500|Second row|003000|Third||";
        const MidiInfos &m = read(file);
        QCOMPARE(rowsOf(m), "First row@0|Second row@150|Third@300");
        QCOMPARE(sylsOf(m), "127/0@200 127/1@170 127/2@320");
    }

    void syltFrames_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("picture");
        QTest::newRow("v2.3 UTF-16") << 3 << 1 << 0;
        QTest::newRow("v2.4 UTF-16BE") << 4 << 2 << 0;
        QTest::newRow("v2.4 UTF-8") << 4 << 3 << 0;
        QTest::newRow("v2.4 big picture first") << 4 << 1 << 200000;
    }
    void syltFrames()
    {
        QFETCH(int, version);
        QFETCH(int, encoding);
        QFETCH(int, picture);
        const bool unicode = encoding != 0;
        const QJsonArray entries{entry("Hel", 1000), entry("lo ", 1500), entry(QStringLiteral("w\u00f6rld"), 2000),
                                 entry("\nSe", 3000), entry("cond ", 3500),
                                 entry(unicode ? QStringLiteral("row\u20ac") : QStringLiteral("row"), 4000)};
        const QByteArray file = tagged(QStringLiteral("sylt.mp3"), version, encoding, 2, picture, entries);
        const MidiInfos &m = read(file);
        QCOMPARE(rowsOf(m), QByteArray("Hello w\xf6rld@0|Second row") + (unicode ? "?" : "") + "@210");
        QCOMPARE(sylsOf(m), QByteArray("3/0@100 5/0@150 10/0@200 127/0@299 2/1@300 6/1@350 ") +
                                (unicode ? "10" : "9") + "/1@400 127/1@400");

        // Cut in the middle of the syllables: what was read stays.
        const QByteArray cond = encoding == 1 ? QByteArray("c\0o\0n\0d\0", 8)
                                : encoding == 2 ? QByteArray("\0c\0o\0n\0d", 8) : QByteArray("cond");
        const int cut = file.indexOf(cond);
        QVERIFY(cut > 0);
        const MidiInfos &c = read(file.left(cut + 4));
        QCOMPARE(rowsOf(c), "Hello w\xf6rld@0|Se@210");
        QVERIFY(sylsOf(c).endsWith(" 127/1@300"));
    }

    void syltWrapsLongRows()
    {
        QJsonArray entries;
        for (int i = 1; i <= 9; ++i)
            entries.append(entry(QStringLiteral("word%1 ").arg(i), i * 100));
        const MidiInfos &m = read(tagged(QStringLiteral("wrap.mp3"), 3, 0, 2, 0, entries));
        QCOMPARE(rowsOf(m), "word1 word2 word3 word4 word5 word6@0|word7 word8 word9 @70");
        QCOMPARE(sylsOf(m), "5/0@10 10/0@20 15/0@30 20/0@40 25/0@50 30/0@60 127/0@69 5/1@70 10/1@80 15/1@90 127/1@90");
    }

    // Where a cap ends the text, every syllable still points at a stored row.
    void syltCaps_data()
    {
        QTest::addColumn<int>("syllables");
        QTest::addColumn<int>("perRow"); // 0: rows broken by width
        QTest::newRow("2,600 syllables, rows by width") << 2600 << 0;
        QTest::newRow("600 rows") << 600 << 1;
        // 60 rows of 40 syllables and their ends, then the 2,500th is the
        // last syllable of row 61: its end no longer fits.
        QTest::newRow("the cap on a row's end") << 2440 << 40;
    }
    void syltCaps()
    {
        QFETCH(int, syllables);
        QFETCH(int, perRow);
        QJsonArray entries;
        for (int i = 0; i < syllables; ++i)
            entries.append(entry(!perRow ? "la " : (i + 1) % perRow ? "l" : "l\n", i * 100));
        const MidiInfos &m = read(tagged(QStringLiteral("caps.mp3"), 3, 0, 2, 0, entries));
        QVERIFY(m.textRowCount > 0 && m.textRowCount <= MAX_TEXT_ROWS);
        QVERIFY(m.syllableCount > 0 && m.syllableCount <= MAX_SYLLABLES);
        for (int i = 0; i < m.syllableCount; ++i)
            QVERIFY2(m.syllables[i].row >= 0 && m.syllables[i].row < m.textRowCount,
                     qPrintable(QStringLiteral("syllable %1 of row %2, %3 rows")
                                    .arg(i).arg(m.syllables[i].row).arg(m.textRowCount)));
    }

    void audioStart()
    {
        // A tag whose size stops 100 bytes short of the first frame.
        const QByteArray tag = id3Tag(ownBlock("LYRICS", stamp(100) + "Row\r\n"));
        const QByteArray file = tag + QByteArray(100, '\0') + m_mp3;
        MP3_CONTROL ctl;
        QCOMPARE(_nomalizeMp3(reinterpret_cast<const uint8_t *>(file.constData()), file.size(), &ctl), 128);
        QCOMPARE(ctl.audio, reinterpret_cast<const uint8_t *>(file.constData()) + tag.size() + 100);
        QCOMPARE(ctl.tagLength, int32_t(tag.size() - 10 + 100));

        // Only a tag, or a tag claiming more than the file: not an MP3.
        QCOMPARE(_nomalizeMp3(reinterpret_cast<const uint8_t *>(tag.constData()), tag.size(), &ctl), 0);
        QCOMPARE(_nomalizeMp3(reinterpret_cast<const uint8_t *>(tag.constData()), 20, &ctl), 0);
    }
};

VELMAR_TEST(TestMp3Text)
#include "tst_mp3text.moc"
