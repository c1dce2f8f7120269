// The lyric and chord models filled from KAR songs made with mido and read by
// the song decoder.
#include "ChordsParser.h"
#include "Extract.h"
#include "LyricsModel.h"
#include "ViewParameter.h"
#include "loadedsong.h"
#include "testutil.h"

#include <QFontMetrics>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The song decoder's records of a KAR written from the JSON description.
std::unique_ptr<LoadedSong> karSong(const QString &json)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("song.kar");
    TestUtil::runPython("karaoke/gen_lyrics_kar.py", {path, json});
    QByteArray file = TestUtil::readFile(path);
    auto song = std::make_unique<LoadedSong>();
    Extract::NormalizeMidiSequence(&song->sd, reinterpret_cast<uint8_t *>(file.data()), int(file.size()), 0, 0);
    return song;
}

// What the playing song hands to the view.
LyricsSource sourceOf(LoadedSong &s)
{
    const MidiInfos &m = *s.infos;
    return {m.textRows, m.textRowCount, m.syllables, m.syllableCount, m.chords, m.chordCount,
            m.textRowCount > 0, m.syllableCount > 0, m.chordCount > 0, {}};
}

QStringList items(QStandardItemModel *model, bool chords)
{
    QStringList out;
    for (int i = 0; i < model->rowCount(); ++i) {
        const QVariant v = model->item(i)->data(LyricsModel::TEXT_ROLE);
        out << (chords ? QString::fromLatin1(reinterpret_cast<const ChordInfo *>(v.toByteArray().constData())->text)
                       : v.toString());
    }
    return out;
}

} // namespace

class TestLyricsModel : public QObject
{
    Q_OBJECT
private slots:
    void fill_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<int>("narrower");   // than the width that fits the first row; -1: a wide view
        QTest::addColumn<int>("keyShift");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("syllables");
        QTest::addColumn<QStringList>("chords");
        const QString split = R"({"rows": [["aaaa ", "bb ", "cccc ", "dd"], ["next"]], "chords": ["C", "Am"]})";
        QTest::newRow("fits") << split << 0 << 0 << QStringList{"aaaa bb cccc dd", "next", ""}
                              << "4/0 6/0 10/0 12/0 127/0 4/1 127/1" << QStringList{"C", "Am"};
        QTest::newRow("one pixel wider splits at the middle space")
            << split << 1 << 0 << QStringList{"aaaa bb", "cccc dd", "next", ""}
            << "4/0 6/0 2/1 4/1 127/1 4/2 127/2" << QStringList{"C", "Am"};
        QTest::newRow("chords follow the key")
            << R"({"rows": [["a"], ["b"], ["c"], ["d"], ["e"]], "chords": ["C", "Am", "F#m7", "Bb", "G/B"]})" << -1 << 2
            << QStringList{"a", "b", "c", "d", "e", ""} << "1/0 127/0 1/1 127/1 1/2 127/2 1/3 127/3 1/4 127/4"
            << QStringList{"D", "Bm", "G#m7", "C", "A/C#"};
        QTest::newRow("no lyrics, no chords")
            << R"({"rows": []})" << -1 << 0
            << QStringList{"", "- - - - - - - - - - - - - - - -", "Text NOT found", "- - - - - - - - - - - - - - - -", ""}
            << "" << QStringList{};
    }

    void fill()
    {
        QFETCH(QString, json);
        QFETCH(int, narrower);
        QFETCH(int, keyShift);
        ViewParameter view;
        view.setViewTextArea(QSize(5000, 300));
        LyricsModel model(&view);
        QSignalSpy label(&model, &LyricsModel::noChordsLabelChanged);
        model.onSongKeyChanged(keyShift);
        auto song = karSong(json);
        model.loadSongChange(2, sourceOf(*song));
        if (narrower >= 0) {
            const QFontMetrics m(view.textFont);
            const QString first = items(model.textModel(), false).first();
            view.setViewTextArea(QSize(m.horizontalAdvance(first) + 4 * m.horizontalAdvance('W') - narrower, 300));
            model.viewParameterUpdate();
        }
        QTEST(items(model.textModel(), false), "rows");
        QStringList syllables;
        for (const SYL_EV &s : model.syllables())
            syllables << QString("%1/%2").arg(s.offset).arg(s.row);
        QTEST(syllables.join(' '), "syllables");
        QTEST(items(model.chordModel(), true), "chords");
        QCOMPARE(model.chords().size(), int(song->infos->chordCount));
        if (!model.chords().isEmpty())
            QCOMPARE(QByteArray(model.chords()[0].name), QByteArray(song->infos->chords[0].name));
        QCOMPARE(model.noChordsLabelVisible(), model.chords().isEmpty());
        QCOMPARE(label.size(), model.chords().isEmpty() ? 1 : 0);
    }

    // The decoder keeps 500 rows; the view takes whatever the song holds.
    void manyRowsThenCdg()
    {
        QVector<TEXT_EV> rows(2000);
        for (int i = 0; i < rows.size(); ++i)
            qsnprintf(rows[i].text, TEXT_EV_SIZE, "row %d", i);
        const CHORD_EV chord{"Am", 0};
        ViewParameter view;
        view.setViewTextArea(QSize(800, 300));
        LyricsModel model(&view);
        model.loadSongChange(2, {rows.data(), int(rows.size()), nullptr, 0, &chord, 1, true, false, true, {}});
        QCOMPARE(model.textModel()->rowCount(), 2001);
        QCOMPARE(items(model.textModel(), false)[1999], QString("row 1999"));
        model.loadSongChange(2, {nullptr, 0, nullptr, 0, nullptr, 0, false, false, false, QByteArray(240, 0)});
        QCOMPARE(model.textModel()->rowCount(), 0);
        QCOMPARE(model.chordModel()->rowCount(), 0);
        QVERIFY(!model.noChordsLabelVisible());
        QCOMPARE(model.cdgPicture().size(), QSize(300, 216));
        model.loadSongChange(0);
        QVERIFY(!model.noChordsLabelVisible() && !model.isLoaded());
    }
};

VELMAR_TEST(TestLyricsModel)
#include "tst_lyricsmodel.moc"
