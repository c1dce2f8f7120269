// The lyric and chord models filled from KAR songs made with mido and loaded
// by the song loader.
#include "ChordsParser.h"
#include "LyricsModel.h"
#include "Song.h"
#include "ViewParameter.h"
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
            << QStringList{"a", "b", "c", "d", "e", ""} << ""   // a syllable a row: the rows light whole
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
        TestUtil::runPython("karaoke/gen_lyrics_song.py", {dir.filePath("x.kar"), json});
        Song::initSong();
        QVERIFY(currSong->loadSongFile(dir.filePath("x.kar")));

        ViewParameter view;
        view.setViewTextArea(QSize(5000, 300));
        LyricsModel model(&view);
        QSignalSpy label(&model, &LyricsModel::noChordsLabelChanged);
        connect(&view, &ViewParameter::viewParameterUpdate, &model, &LyricsModel::viewParameterUpdate);
        model.onSongKeyChanged(keyShift);
        model.loadSongChange(Song::eLsLoaded, LyricsSource::of(*currSong));
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
        QCOMPARE(model.chords().size(), currSong->chords().size());
        QVERIFY(model.chords().isEmpty() || QByteArray(model.chords()[0].name) == currSong->chords()[0].name);
        QCOMPARE(label.size() == 1 && model.noChordsLabelVisible(), model.chords().isEmpty());
        currSong->unloadSongFile();
    }
};

VELMAR_TEST(TestLyricsModel)
#include "tst_lyricsmodel.moc"
