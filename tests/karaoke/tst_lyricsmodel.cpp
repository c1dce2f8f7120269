// The lyric and chord models filled from KAR songs made with mido and read by
// the song decoder.
#include "ChordsParser.h"
#include "Extract.h"
#include "LyricsModel.h"
#include "ViewParameter.h"
#include "loadedsong.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList texts(QStandardItemModel *model, bool chords = false)
{
    QStringList out;
    for (int i = 0; i < model->rowCount(); ++i) {
        const QVariant v = model->item(i)->data(LyricsModel::TEXT_ROLE);
        out << (chords ? QString(reinterpret_cast<const ChordInfo *>(v.toByteArray().constData())->text) : v.toString());
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
        QTest::addColumn<int>("narrower");   // than the width the first row needs; -1: a wide view
        QTest::addColumn<int>("keyShift");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("syllables");
        QTest::addColumn<QStringList>("chords");
        const QString song = R"({"rows": [["aaaa ", "bb ", "cccc ", "dd"], ["next"]], "chords": ["C", "Am"]})";
        QTest::newRow("fits") << song << 0 << 0 << QStringList{"aaaa bb cccc dd", "next", ""}
                              << "4/0 7/0 12/0 15/0 127/0 4/1 127/1" << QStringList{"C", "Am"};
        QTest::newRow("a pixel more splits at the middle space") << song << 1 << 0 << QStringList{"aaaa bb", "cccc dd", "next", ""}
                                                               << "4/0 7/0 4/1 7/1 127/1 4/2 127/2" << QStringList{"C", "Am"};
        QTest::newRow("chords follow the key")
            << R"({"rows": [["a"], ["b"], ["c"], ["d"], ["e"]], "chords": ["C", "Am", "F#m7", "Bb", "G/B"]})" << -1 << 2
            << QStringList{"a", "b", "c", "d", "e", ""} << "1/0 127/0 1/1 127/1 1/2 127/2 1/3 127/3 1/4 127/4"
            << QStringList{"D", "Bm", "G#m7", "C", "A/C#"};
        const QString dashes = "- - - - - - - - - - - - - - - -";
        QTest::newRow("no lyrics") << R"({"rows": []})" << -1 << 0 << QStringList{"", dashes, "Text NOT found", dashes, ""}
                                   << "" << QStringList{};
    }

    void fill()
    {
        QFETCH(QString, json);
        QFETCH(int, narrower);
        QFETCH(int, keyShift);
        QTemporaryDir dir;
        TestUtil::runPython("karaoke/gen_lyrics_kar.py", {dir.filePath("x.kar"), json});
        QByteArray file = TestUtil::readFile(dir.filePath("x.kar"));
        LoadedSong song;
        Extract::NormalizeMidiSequence(&song.sd, reinterpret_cast<uint8_t *>(file.data()), int(file.size()), 0, 0);
        const MidiInfos &m = *song.infos;

        ViewParameter view;
        view.setViewTextArea(QSize(5000, 300));
        LyricsModel model(&view);
        QSignalSpy label(&model, &LyricsModel::noChordsLabelChanged);
        connect(&view, &ViewParameter::viewParameterUpdate, &model, &LyricsModel::viewParameterUpdate);
        model.onSongKeyChanged(keyShift);
        model.loadSongChange(2, {m.textRows, m.textRowCount, m.syllables, m.syllableCount, m.chords, m.chordCount,
                                 m.textRowCount > 0, m.syllableCount > 0, m.chordCount > 0, {}});
        if (narrower >= 0) {
            const QFontMetrics metrics(view.textFont);
            view.setViewTextArea(QSize(metrics.horizontalAdvance(texts(model.textModel())[0]) +
                                       4 * metrics.horizontalAdvance('W') - narrower, 300));
        }
        QTEST(texts(model.textModel()), "rows");
        QStringList syllables;
        for (const SYL_EV &s : model.syllables())
            syllables << QString("%1/%2").arg(s.offset).arg(s.row);
        QTEST(syllables.join(' '), "syllables");
        QTEST(texts(model.chordModel(), true), "chords");
        // Timing keeps the song's own chord names.
        QCOMPARE(model.chords().size(), int(m.chordCount));
        QVERIFY(model.chords().isEmpty() || QByteArray(model.chords()[0].name) == m.chords[0].name);
        QCOMPARE(label.size() == 1 && model.noChordsLabelVisible(), model.chords().isEmpty());
    }

    // The song decoder keeps 500 rows; the view takes whatever the song holds.
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
        QCOMPARE(texts(model.textModel()).mid(1998), QStringList({"row 1998", "row 1999", ""}));
        model.loadSongChange(2, {nullptr, 0, nullptr, 0, nullptr, 0, false, false, false, QByteArray(240, 0)});
        QCOMPARE(model.textModel()->rowCount() + model.chordModel()->rowCount(), 0);
        QVERIFY(!model.noChordsLabelVisible());
        QCOMPARE(model.cdgPicture().size(), QSize(300, 216));
    }
};

VELMAR_TEST(TestLyricsModel)
#include "tst_lyricsmodel.moc"
