// The karaoke view offscreen, with songs made by the tests (KAR files by mido,
// MP3 files by lame with a SYLT frame by mutagen, CD+G companions beside
// them) loaded by the song loader and driven by a stand-in for the sound
// engine's position reports; the lit text and the chord strip read back from
// their pixels.
#include "Chord.h"
#include "ChordsParser.h"
#include "KaraokeTextWidget.h"
#include "ListTextViewDelegate.h"
#include "Song.h"
#include "SongObjects.h"
#include "ViewParameter.h"
#include "adbanner.h"
#include "cdgstream.h"
#include "chordsView.h"
#include "contrast.h"
#include "seektrackslider.h"
#include "soundenginerig.h"
#include "statusbarhead.h"
#include "testutil.h"
#include "widgettexts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QListView>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

// Reports positions as the sound engine does: the song position heard, with
// any tempo change already in it; a MIDI song at 120 BPM, 480 ticks a beat.
class FakeEngine : public QObject
{
    Q_OBJECT
public:
    void at(double songMs) { emit mSecOfPlaying(uint(songMs), uint(songMs * 0.96)); }
signals:
    void mSecOfPlaying(uint msec, uint tick);
    void songBpmChanged(int bpm, int delta);
};

namespace {

struct Stage {
    QTemporaryDir dir;
    QJsonArray syllables;   // [ms, row, text], as mido or the SYLT frame time them
    chordsView strip;
    KaraokeTextWidget view{nullptr, &strip};
    FakeEngine engine;
    ListTextViewDelegate *painter = nullptr;

    // file: "x.kar" or "x.mp3" (see gen_lyrics_song.py); cdg: a companion
    // file written beside the song.
    Stage(const QString &json, const QString &file = "x.kar", QSize size = QSize(1200, 600),
          const QByteArray &cdg = {})
    {
        const QString path = dir.filePath(file);
        syllables = QJsonDocument::fromJson(TestUtil::runPython("karaoke/gen_lyrics_song.py", {path, json})).array();
        if (!cdg.isEmpty())
            QVERIFY(TestUtil::writeFile(path.left(path.size() - 3) + "cdg", cdg));
        QObject::connect(&engine, &FakeEngine::mSecOfPlaying, &view, &KaraokeTextWidget::mSecOfPlaying);
        QObject::connect(&engine, &FakeEngine::songBpmChanged, &view, &KaraokeTextWidget::onSongBpmChanged);
        strip.resize(1400, 400);
        strip.show();
        view.resize(size);
        view.show();
        QTRY_VERIFY(view.viewParameter()->chordCellsCount > 0 && view.viewParameter()->textRowVerticalSpace > 0);
        Song::initSong();
        QVERIFY(currSong->loadSongFile(path));
        view.loadSongChange(Song::eLsLoaded, LyricsSource::of(*currSong));
        painter = view.findChild<ListTextViewDelegate *>();
        QListView *list = view.lyricList();
        QTRY_VERIFY(!list->isVisible() || list->visualRect(list->model()->index(0, 0)).height() > 0);
    }
    ~Stage() { currSong->unloadSongFile(); }

    // Where a model row is painted in the sung colour (or the unsung one),
    // in the view, once the list has scrolled.
    QRect ink(int row, bool sung)
    {
        QListView *list = view.lyricList();
        for (auto *scroll : view.findChildren<QPropertyAnimation *>(Qt::FindDirectChildrenOnly))
            scroll->setCurrentTime(scroll->duration());
        const QImage image = list->viewport()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const QRect r = list->visualRect(list->model()->index(row, 0)).intersected(image.rect());
        QRect found;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = r.left(); x <= r.right(); ++x) {
                if (qAlpha(line[x]) > 64 && qBlue(line[x]) > 128 && (qRed(line[x]) > 128) != sung)
                    found |= QRect(x, y, 1, 1);
            }
        }
        return found.translated(list->viewport()->mapTo(&view, QPoint()));
    }

    // The text lit in the row being sung, read back from the pixels: where
    // the sung colour ends, as characters of the row; a song row split in
    // two reads as both halves.
    QString litText()
    {
        const QFontMetrics metrics(view.viewParameter()->textFont);
        const QVector<LyricRow> &rows = view.lyricsModel()->rows();
        const int x0 = view.lyricList()->viewport()->mapTo(&view, QPoint()).x();
        for (int i = int(rows.size()) - 1; i >= 0; --i) {
            const int right = ink(i, true).right() - x0;
            if (right < 0)
                continue;
            const QString &text = rows[i].text;
            const int left = (view.lyricList()->viewport()->width() - metrics.horizontalAdvance(text)) / 2;
            int k = 1;
            while (k < text.size() && left + metrics.horizontalAdvance(text.left(k)) <= right)
                ++k;
            QString lit = text.left(k);
            if (i > 0 && rows[i - 1].tick == rows[i].tick)
                lit = rows[i - 1].text + ' ' + lit;
            return lit.trimmed();
        }
        return QString();
    }
};

// The items of a model: rows' texts, or chords' names.
QStringList texts(QStandardItemModel *model, bool chords = false)
{
    QStringList out;
    for (int i = 0; i < model->rowCount(); ++i) {
        const QVariant v = model->item(i)->data(LyricsModel::TEXT_ROLE);
        out << (chords ? QString(reinterpret_cast<const ChordInfo *>(v.toByteArray().constData())->text) : v.toString());
    }
    return out;
}

const QString SONG = R"({"rows": [["Sing ", "a", "long, "], ["with ", "me ", "now!"], ["la ", "la ", "la"],
    ["one ", "more ", "row"], ["and ", "an", "oth", "er"], ["last ", "one"]],
    "chords": ["C", "C5", "Am", "F#m7", "Bb", "G"]})";

// Twelve rows of three syllables: a row starts every 1.5 s from 0.5 s on.
QString longSong()
{
    QStringList rows;
    for (int r = 0; r < 12; ++r)
        rows << QStringLiteral(R"(["r%1a ", "r%1b ", "r%1c"])").arg(r);
    return QStringLiteral(R"({"rows": [%1]})").arg(rows.join(','));
}

// "m:ss" as the header writes it, in seconds.
int seconds(const QString &clock)
{
    const QStringList parts = clock.split(':');
    return parts.size() == 2 ? parts[0].toInt() * 60 + parts[1].toInt() : -1;
}

} // namespace

class TestKaraokeWidget : public QObject
{
    Q_OBJECT
private slots:
    void syllablesLight_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("bpmDelta");   // beats a minute for MIDI, percent for audio
        QTest::addColumn<int>("offsetMs");
        QTest::addColumn<int>("width");
        const QString utf8 = R"({"rows": [["Grü", "ße, ", "世", "界!"], ["ça ", "va?"], ["Ÿ ", "€"]],
                                "charset": "utf-8"})";
        QTest::newRow("KAR") << SONG << "x.kar" << 0 << 0 << 1200;
        QTest::newRow("KAR in UTF-8") << utf8 << "x.kar" << 0 << 0 << 1200;
        QTest::newRow("KAR faster, lyrics a second late") << SONG << "x.kar" << 60 << 1000 << 1200;
        QTest::newRow("KAR, lyrics half a second early") << SONG << "x.kar" << 0 << -500 << 1200;
        QTest::newRow("MP3") << SONG << "x.mp3" << 0 << 0 << 1200;
        QTest::newRow("MP3, SYLT in UTF-8") << R"({"rows": [["Grü", "ße, ", "wel", "t!"], ["ça ", "va?"]],
                                                  "charset": "utf-8"})"
                                            << "x.mp3" << 0 << 0 << 1200;
        QTest::newRow("MP3 slower, lyrics a second late") << SONG << "x.mp3" << -20 << 1000 << 1200;
        QTest::newRow("one very long row")
            << R"({"rows": [["A ", "ve", "ry ", "long ", "row ", "that ", "will ", "not ", "fit ", "in ", "it"]]})"
            << "x.kar" << 0 << 0 << 1000;
    }

    // One millisecond before each syllable's time the text lit is the row
    // sung so far, one millisecond after it that text and the syllable, whole.
    void syllablesLight()
    {
        QFETCH(QString, json);
        QFETCH(QString, file);
        QFETCH(int, bpmDelta);
        QFETCH(int, offsetMs);
        QFETCH(int, width);
        Stage stage(json, file, QSize(width, 600));
        emit stage.engine.songBpmChanged(120, bpmDelta);
        stage.view.setDTimeTextMs(offsetMs);
        // A MIDI offset is heard time at the song's tempo; an audio one song time.
        const double offset = file.endsWith(".kar") ? offsetMs * (120.0 + bpmDelta) / 120 : offsetMs;
        QString before;
        QString sung;
        int row = -1;
        for (const QJsonValue &v : std::as_const(stage.syllables)) {
            const QJsonArray s = v.toArray();
            sung = (s[1].toInt() == row ? sung : QString()) + s[2].toString();
            row = s[1].toInt();
            const double lit = s[0].toDouble() + offset;
            if (lit >= 1) {
                stage.engine.at(lit - 1);
                QCOMPARE(stage.litText(), before.trimmed());
                stage.engine.at(lit + 1);
                QCOMPARE(stage.litText(), sung.trimmed());
            }
            before = sung;
        }
    }

    void rowsAndChords_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<int>("narrower");   // than the width the first row needs; -1: as wide as it is
        QTest::addColumn<int>("keyShift");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("syllables");   // offset/row
        QTest::addColumn<QStringList>("chords");
        const QString song = R"({"rows": [["aaaa ", "bb ", "cccc ", "dd"], ["next"]], "chords": ["C", "Am"]})";
        QTest::newRow("fits") << song << 0 << 0 << QStringList{"aaaa bb cccc dd", "next", ""}
                              << "4/0 7/0 12/0 15/0 127/0 4/1 127/1" << QStringList{"C", "Am"};
        QTest::newRow("a pixel more splits at the middle space")
            << song << 1 << 0 << QStringList{"aaaa bb", "cccc dd", "next", ""} << "4/0 7/0 4/1 7/1 127/1 4/2 127/2"
            << QStringList{"C", "Am"};
        QTest::newRow("chords follow the key")
            << R"({"rows": [["a"], ["b"], ["c"], ["d"], ["e"]], "chords": ["C", "Am", "F#m7", "Bb", "G/B"]})" << -1 << 2
            << QStringList{"a", "b", "c", "d", "e", ""} << ""   // a syllable a row: the rows light whole
            << QStringList{"D", "Bm", "G#m7", "C", "A/C#"};
        const QString dashes = "- - - - - - - - - - - - - - - -";
        QTest::newRow("no lyrics") << R"({"rows": []})" << -1 << 0
                                   << QStringList{"", dashes, "Text NOT found", dashes, ""} << "" << QStringList{};
    }

    // The rows (split once where the view is too narrow for them with a "W"
    // of air: at the limit and a pixel over it), their syllables and the
    // chords named after the key.
    void rowsAndChords()
    {
        QFETCH(QString, json);
        QFETCH(int, narrower);
        QFETCH(int, keyShift);
        Stage stage(json);
        stage.view.onSongKeyChanged(keyShift);
        LyricsModel *model = stage.view.lyricsModel();
        ViewParameter *view = stage.view.viewParameter();
        if (narrower >= 0) {
            // The font kept as it is: a narrower view would also take smaller letters.
            const QFontMetrics metrics(view->textFont);
            view->textAreaSize.setWidth(metrics.horizontalAdvance(texts(model->textModel())[0]) +
                                        metrics.horizontalAdvance('W') - narrower);
            model->fillDataModel();
        }
        QTEST(texts(model->textModel()), "rows");
        QStringList syllables;
        for (const SYL_EV &s : model->syllables())
            syllables << QString("%1/%2").arg(s.offset).arg(s.row);
        QTEST(syllables.join(' '), "syllables");
        QTEST(texts(model->chordModel(), true), "chords");
        // Timing keeps the song's own chord names.
        QCOMPARE(model->chords().size(), currSong->chords().size());
        QVERIFY(model->chords().isEmpty() || QByteArray(model->chords()[0].name) == currSong->chords()[0].name);
        QCOMPARE(model->noChordsLabelVisible(), model->chords().isEmpty());
    }

    // Between two reports the next syllable lights on time by itself.
    void lightsBetweenReports()
    {
        Stage stage(SONG);
        stage.engine.at(1000 - 40);
        QCOMPARE(stage.litText(), QString("Sing"));
        QTRY_COMPARE(stage.litText(), QString("Sing a"));
    }

    void seeks_data()
    {
        QTest::addColumn<QVector<int>>("positions");   // song milliseconds, in order
        QTest::addColumn<QVector<int>>("rows");        // lit row at each
        QTest::addColumn<QVector<int>>("chords");      // current chord cell at each
        QTest::newRow("forwards, back, forwards") << QVector<int>{100, 1600, 2200, 9000, 4200, 200, 7600}
                                                  << QVector<int>{-1, 0, 1, 5, 2, -1, 4}
                                                  << QVector<int>{0, 0, 1, 5, 2, 0, 4};
    }

    // A seek lands on the right row, at once at the top of the list, and on
    // the right chord, the middle cell of the strip where the strip can be.
    void seeks()
    {
        QFETCH(QVector<int>, positions);
        QFETCH(QVector<int>, rows);
        QFETCH(QVector<int>, chords);
        Stage stage(SONG, "x.kar", QSize(900, 300));
        QScrollBar *bar = stage.view.lyricList()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        const int pitch = stage.view.viewParameter()->textRowVerticalSpace;
        QListView *cells = stage.strip.findChild<QListView *>("lV_Chord");
        for (int i = 0; i < positions.size(); ++i) {
            stage.engine.at(positions[i]);
            QCOMPARE(stage.painter->playRow, rows[i]);
            QCOMPARE(bar->value(), qMin(bar->maximum(), qMax(0, rows[i]) * pitch));
            QCOMPARE(stage.strip.playPos(), chords[i]);
            QTRY_COMPARE(stage.strip.scrollAnimation()->state(), QAbstractAnimation::Stopped);
            const QRect cell = cells->visualRect(cells->model()->index(chords[i], 0));
            QVERIFY(cells->viewport()->rect().contains(cell.center()));
            if (chords[i] >= 2 && chords[i] < cells->model()->rowCount() - 2)
                QVERIFY(qAbs(cell.center().x() - cells->viewport()->width() / 2) < cell.width() / 2);
        }
        // Loaded again, the song starts at the top; the next report places it.
        stage.view.loadSongChange(Song::eLsLoaded, LyricsSource::of(*currSong));
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == 0);
        stage.engine.at(positions.last());
        QCOMPARE(bar->value(), qMin(bar->maximum(), rows.last() * pitch));
    }

    // The Piano/Guitar/Text switch reads at 4.5:1 or better, checked or
    // not, on the strip's own colours (the page and the checked fill).
    void chordSwitchContrast()
    {
        chordsView strip;
        strip.ensurePolished();
        const QString sheet = strip.styleSheet();
        const QString button = QStringLiteral("QPushButton[styleClass~=\"tabsButtons\"]");
        const QColor page = Contrast::colour(Contrast::property(sheet, "[styleClass=\"chordsPage\"]",
                                                                "background-color"));
        const QColor fill = Contrast::colour(Contrast::property(sheet, button + ":checked", "background-color"));
        const QColor text = Contrast::colour(Contrast::property(sheet, button, "color"));
        const QColor checkedText = Contrast::colour(Contrast::property(sheet, button + ":checked", "color"));
        QCOMPARE(page, QColor(237, 234, 221));
        QCOMPARE(fill, QColor(189, 173, 143));
        QVERIFY2(Contrast::ratio(text, page) >= 4.5, qPrintable(QString::number(Contrast::ratio(text, page))));
        QVERIFY2(Contrast::ratio(checkedText, fill) >= 4.5,
                 qPrintable(QString::number(Contrast::ratio(checkedText, fill))));
        // The rule is the one the buttons are drawn by.
        auto *piano = strip.findChild<QPushButton *>("PianoButton");
        piano->ensurePolished();
        QCOMPARE(piano->palette().color(QPalette::ButtonText), text);
    }

    // Each chord's cell turns red at its time, drawn by the strip's setting:
    // guitar diagrams show the nut or the base fret, piano ones the keys.
    void chordCells_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("text") << 1;
        QTest::newRow("guitar") << 2;
        QTest::newRow("piano") << 3;
    }

    void chordCells()
    {
        QFETCH(int, mode);
        Stage stage(SONG);
        stage.strip.setChordsViewMode(mode);
        QListView *cells = stage.strip.findChild<QListView *>("lV_Chord");
        const QVector<CHORD_EV> &chords = stage.view.lyricsModel()->chords();
        for (int c = 0; c < chords.size(); ++c) {
            stage.engine.at(chords[c].tick / 0.96 + 1);
            QCOMPARE(stage.strip.playPos(), c);
            QTRY_COMPARE(stage.strip.scrollAnimation()->state(), QAbstractAnimation::Stopped);
            const QImage image = cells->grab().toImage();
            const QRect cell = cells->visualRect(cells->model()->index(c, 0));
            const int centre = cell.center().x();
            int red = 0;
            int nextRed = 0;
            int ink = 0;
            int label = 0;
            int nutRun = 0;
            for (int y = cell.top(), run = 0; y <= cell.bottom(); ++y) {
                // Between the first two strings of a guitar diagram, on a white piano key.
                run = image.pixelColor(centre - 77, y).value() < 100 ? run + 1 : 0;
                nutRun = qMax(nutRun, run);
                for (int x = cell.left(); x <= qMin(cell.right() + cell.width(), image.width() - 1); ++x) {
                    const QColor p = image.pixelColor(x, y);
                    (x > cell.right() ? nextRed : red) += p.red() > 200 && p.green() < 60;
                    ink += x <= cell.right() && p.value() < 100;
                    label += x > centre + 58 && x <= cell.right() && y < cell.top() + 80 && p.value() < 100;
                }
            }
            QVERIFY(red > 100 && nextRed == 0);
            QCOMPARE(ink > 200, mode != 1);
            ChordInfo info;
            S_GUITAR_CHORD diagram;
            Chord::ParseChord(chords[c].name, &info);
            Chord::GetGraphGuitarChord(&info, &diagram);
            QCOMPARE(nutRun >= 5, mode == 2 && diagram.baseFret == 0);
            QCOMPARE(label > 20, mode == 2 && diagram.baseFret > 0);
        }
    }

    void cdg_data()
    {
        QTest::addColumn<int>("extraBytes");
        QTest::addColumn<bool>("shown");
        QTest::newRow("whole packets") << 0 << true;
        QTest::newRow("a byte too many") << 1 << false;
    }

    // The picture of a CD+G companion the song accepts shows each moment and
    // leaves the lyric timing alone; a companion the song refuses leaves its
    // lyrics showing.
    void cdg()
    {
        QFETCH(int, extraBytes);
        QFETCH(bool, shown);
        using namespace CdgStream;
        const QByteArray picture = colours(false, {0x000, 0xF00, 0x0F0}) + packet(1, {1}) + QByteArray(24 * 60, 0) +
                                   packet(1, {2}) + QByteArray(extraBytes, 0);
        Stage stage(SONG, "x.mp3", QSize(700, 400), picture);
        QCOMPARE(stage.view.cdgLabel()->isVisible(), shown);
        QCOMPARE(stage.view.lyricList()->isVisible(), !shown);
        if (!shown) {
            stage.engine.at(1001);
            QCOMPARE(stage.litText(), QString("Sing a"));
            return;
        }
        QTRY_COMPARE(stage.view.cdgLabel()->size(), QSize(600, 400));   // the CD+G screen's aspect
        for (auto [ms, colour] : {std::pair{100, 0xFF0000}, {300, 0x00FF00}, {50, 0xFF0000}}) {
            stage.engine.at(ms);
            QCOMPARE(stage.view.cdgLabel()->pixmap().toImage().pixel(150, 100) & 0xF0F0F0, QRgb(colour & 0xF0F0F0));
        }
        QCOMPARE(stage.painter->playRow, -1);
    }

    void sungRowWhole_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("fontSize");
        QTest::newRow("four rows of big letters") << QSize(1000, 300) << 55;
        QTest::newRow("karaoke page of a 1280x800 screen") << QSize(1280, 719) << 46;
    }
    // Rows of ordinary length stay whole; a row too long for the view is
    // split in two, and the song row being sung, both its halves, is on the
    // screen whole at every syllable once the list has scrolled, also when
    // the view was laid out again just before (a resize, the Karaoke tab).
    void sungRowWhole()
    {
        QFETCH(QSize, size);
        QFETCH(int, fontSize);
        Stage stage(R"({"rows": [["When ", "the ", "lights ", "came ", "on"], ["I ", "will ", "sing ", "it ", "now"],
            ["EVERY ", "ROAD ", "IS ", "OPEN ", "AND ", "THE ", "NIGHT ", "IS ", "YOUNG"],
            ["Hold ", "the ", "line"], ["Carry ", "on ", "my ", "friend"], ["Sing ", "it ", "loud"],
            ["Till ", "the ", "end"], ["of ", "the ", "song"]]})", "x.kar", size);
        stage.view.setFontParameter(LYRIC_FONT_FAMILY, fontSize, 700, true);
        QCOMPARE(stage.view.viewParameter()->textRowsCount, fontSize > 49 ? 4 : 8);
        const QVector<LyricRow> &rows = stage.view.lyricsModel()->rows();
        QStringList split;
        for (const LyricRow &row : rows)
            split << (row.continued ? "+" : "") + row.text;
        QCOMPARE(split, QStringList({"When the lights came on", "I will sing it now", "EVERY ROAD IS OPEN AND",
                                     "+THE NIGHT IS YOUNG", "Hold the line", "Carry on my friend", "Sing it loud",
                                     "Till the end", "of the song"}));
        QListView *list = stage.view.lyricList();
        for (int i = 0; i < stage.syllables.size(); ++i) {
            if (i % 2)
                stage.view.viewParameterUpdate();
            stage.engine.at(stage.syllables[i].toArray()[0].toDouble() + 1);
            for (auto *scroll : stage.view.findChildren<QPropertyAnimation *>(Qt::FindDirectChildrenOnly))
                scroll->setCurrentTime(scroll->duration());
            const int row = stage.painter->playRow;
            const int first = row - (rows[row].continued ? 1 : 0);
            const int last = row + 1 < rows.size() && rows[row + 1].continued ? row + 1 : row;
            const int top = list->visualRect(list->model()->index(first, 0)).top();
            const int bottom = list->visualRect(list->model()->index(last, 0)).bottom();
            QVERIFY2(top >= 0 && bottom < list->viewport()->height(),
                     qPrintable(QStringLiteral("rows %1-%2 at %3..%4 of %5").arg(first).arg(last).arg(top)
                                    .arg(bottom).arg(list->viewport()->height())));
        }
    }

    void wrappedLineReadWhole_data()
    {
        QTest::addColumn<int>("fontSize");
        QTest::newRow("Small") << 34;
        QTest::newRow("Medium") << 46;
        QTest::newRow("Large") << 58;
    }
    // A line too long for a row is split in two and never shown in half: at
    // every syllable, at each Text Size, a line whose first half comes to
    // the bottom row is read to its last word, the view a row further on
    // (only where the row sung is at the top already may it wait, unseen).
    void wrappedLineReadWhole()
    {
        QFETCH(int, fontSize);
        QStringList lines;
        for (int r = 0; r < 6; ++r)
            lines << R"(["Sing ", "it ", "now"])" << R"(["Hold ", "the ", "line"])"
                  << R"(["WHOA ", "WHOA ", "WHOA, ", "MOVE ", "WITH ", "ME, ", "WOW ", "WOW ", "WOW"])";
        Stage stage(QStringLiteral(R"({"rows": [%1]})").arg(lines.join(',')));
        stage.view.setFontParameter(LYRIC_FONT_FAMILY, fontSize, 700, true);
        const QVector<LyricRow> &rows = stage.view.lyricsModel()->rows();
        QCOMPARE(std::count_if(rows.begin(), rows.end(), [](const LyricRow &row) { return row.continued; }), 6);
        QListView *list = stage.view.lyricList();
        const QFontMetrics metrics(stage.view.viewParameter()->textFont);
        int readWhole = 0;
        for (const QJsonValue &syllable : std::as_const(stage.syllables)) {
            stage.engine.at(syllable.toArray()[0].toDouble() + 1);
            for (auto *scroll : stage.view.findChildren<QPropertyAnimation *>(Qt::FindDirectChildrenOnly))
                scroll->setCurrentTime(scroll->duration());
            const int pitch = stage.view.viewParameter()->textRowVerticalSpace;
            const int top = list->verticalScrollBar()->value() / pitch;
            const int bottom = top + list->viewport()->height() / pitch - 1;
            const int sung = stage.painter->playRow;
            const int sungFirst = sung - (sung >= 0 && rows[sung].continued ? 1 : 0);
            const QString at = QStringLiteral(" (rows %1-%2 shown, row %3 sung)").arg(top).arg(bottom).arg(sung);
            for (int row = top; row <= bottom && row + 1 < rows.size(); ++row) {
                if (!rows[row + 1].continued)
                    continue;
                const QRect first = stage.ink(row, true) | stage.ink(row, false);
                const QRect second = stage.ink(row + 1, true) | stage.ink(row + 1, false);
                if (row == bottom) {
                    QVERIFY2(!first.isValid() && !second.isValid(), qPrintable("half a line shown" + at));
                    QVERIFY2(sungFirst == top, qPrintable("a line cut at the bottom" + at));
                    continue;
                }
                // Its last word whole, where the centred row ends.
                const QString &end = rows[row + 1].text;
                const int right = list->viewport()->mapTo(&stage.view, QPoint()).x()
                                  + (list->viewport()->width() + metrics.horizontalAdvance(end)) / 2;
                QVERIFY2(first.isValid() && second.isValid() && second.right() >= right - metrics.horizontalAdvance('r'),
                         qPrintable("\"" + end + "\" not drawn to its end" + at));
                readWhole += row + 1 == bottom && sung < row;
            }
        }
        // Lines were read ahead whole in the bottom rows.
        QVERIFY(readWhole > 0);
    }

    // The three corner buttons stand below the lyrics: the end of the last
    // row, a long one sung at the bottom of the view, is never under them.
    void cornerButtonsBelowRows()
    {
        QStringList rows;
        for (int r = 0; r < 10; ++r)
            rows << QStringLiteral(R"(["Row %1 and ", "the night is ", "glowing"])").arg(r);
        Stage stage(QStringLiteral(R"({"rows": [%1]})").arg(rows.join(',')), "x.kar", QSize(1000, 420));
        const int last = int(stage.view.lyricsModel()->rows().size()) - 1;
        for (double ms : {0.0, 6000.0, stage.syllables.last().toArray()[0].toDouble() + 1}) {
            stage.engine.at(ms);
            for (const char *name : {"pb_add_new_window", "pb_to_new_window", "pb_fullscreen"}) {
                auto *button = stage.view.findChild<QPushButton *>(name);
                QVERIFY(button && button->isVisible());
                const QRect at(button->mapTo(&stage.view, QPoint()), button->size());
                // Where rows can be drawn at all, and where they are.
                QWidget *rowsArea = stage.view.lyricList()->viewport();
                QVERIFY(!at.intersects(QRect(rowsArea->mapTo(&stage.view, QPoint()), rowsArea->size())));
                for (int row = 0; row <= last; ++row)
                    for (bool sung : {true, false})
                        QVERIFY2(!at.intersects(stage.ink(row, sung)),
                                 qPrintable(QStringLiteral("%1 over row %2 at %3 ms").arg(name).arg(row).arg(ms)));
            }
        }
    }

    void seekWhileStill_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("stopped");
        QTest::newRow("midi, paused") << "long.kar" << false;
        QTest::newRow("midi, stopped") << "long.kar" << true;
        QTest::newRow("mp3, paused") << "long.mp3" << false;
        QTest::newRow("mp3, stopped") << "long.mp3" << true;
    }
    // A singer pauses (or stops) to find a later place: the position bar,
    // pressed where it is drawn and let go, takes the header's time and bar
    // and the lit row there at once, the song still silent; Play goes on
    // from there. The real engine plays the song loaded through Song.
    void seekWhileStill()
    {
        QFETCH(QString, file);
        QFETCH(bool, stopped);
        SoundEngineRig rig;
        Stage stage(longSong(), file, QSize(900, 400));
        SoundEngine *engine = rig.engine.get();
        statusBarHead head;
        head.setEngPtr(engine);
        SeekTrackSlider seek(nullptr, engine);
        seek.setWindowFlags(Qt::Popup);
        seek.setSongSource([] { return TransportSong::of(*currSong); });
        connect(currSong, &Song::loadSongChange, &seek, [&seek](Song::LoadSongState s) { seek.showLoadState(s); });
        connect(engine, &SoundEngine::mSecOfPlaying, &stage.view, &KaraokeTextWidget::mSecOfPlaying);
        connect(engine, &SoundEngine::playStateChanged, &stage.view, &KaraokeTextWidget::onPlayStateChanged);
        connect(engine, &SoundEngine::songBpmChanged, &stage.view, &KaraokeTextWidget::onSongBpmChanged);
        // The MP3's device takes its sound in time, as a sound card does.
        QTimer device;
        std::vector<int16_t> buffer;
        connect(&device, &QTimer::timeout, [&rig, &buffer] {
            const unsigned frames = rig.audio->rate() / 50;
            buffer.resize(size_t(frames) * rig.audio->channels());
            if (rig.audio->isRunning())
                rig.audio->pull(buffer.data(), frames);
        });
        device.start(20);
        const bool midi = file.endsWith(".kar");
        QVERIFY(rig.play(stage.dir.filePath(file)));
        stage.view.loadSongChange(Song::eLsLoaded, LyricsSource::of(*currSong));
        head.show();
        QTRY_VERIFY_WITH_TIMEOUT(stage.painter->playRow >= 0, 20000);
        QCOMPARE(engine->setPlayingState(stopped ? SoundEngine::ePsReady : SoundEngine::ePsPaused),
                 stopped ? SoundEngine::ePsReady : SoundEngine::ePsPaused);
        const int before = seconds(head.findChild<QLabel *>("timeNumberLabel")->text());
        QVERIFY(before >= 0 && before <= 3);

        seek.show();
        QVERIFY(QTest::qWaitForWindowExposed(&seek));
        auto *slider = seek.findChild<QSlider *>("horizontalSlider");
        // First a place the singer passes on from: the last one counts.
        const QPoint first = WidgetTexts::sliderHandle(slider, midi ? 3 : 6).center();
        QTest::mouseClick(slider, Qt::LeftButton, {}, first);
        QTRY_VERIFY_WITH_TIMEOUT(seconds(head.findChild<QLabel *>("timeNumberLabel")->text()) >= 5, 20000);
        // Bar 6 (12 s) or the 12th second: the eighth row.
        const QPoint at = WidgetTexts::sliderHandle(slider, midi ? 6 : 12).center();
        QTest::mousePress(slider, Qt::LeftButton, {}, at);
        const int target = slider->value();
        QTest::mouseRelease(slider, Qt::LeftButton, {}, at);
        const int targetMs = midi ? target * 2000 : target * 1000;
        QVERIFY2(targetMs >= 10000 && targetMs <= 14000, qPrintable(QString::number(targetMs)));
        int row = -1;
        for (const QJsonValue &syllable : stage.syllables)
            if (syllable.toArray()[0].toInt() <= targetMs)
                row = syllable.toArray()[1].toInt();
        QTRY_COMPARE_WITH_TIMEOUT(seconds(head.findChild<QLabel *>("timeNumberLabel")->text()), targetMs / 1000, 20000);
        if (midi)
            QCOMPARE(head.findChild<QLabel *>("barNumberLabel")->text(), QStringLiteral("%1.1").arg(target + 1));
        QTRY_COMPARE(stage.painter->playRow, row);
        QVERIFY(stage.ink(row, true).isValid());
        // Still silent, and standing there.
        QTest::qWait(500);
        QCOMPARE(engine->getPlayingState(), stopped ? SoundEngine::ePsReady : SoundEngine::ePsPaused);
        QCOMPARE(stage.painter->playRow, row);
        QCOMPARE(seconds(head.findChild<QLabel *>("timeNumberLabel")->text()), targetMs / 1000);
        QVERIFY(!rig.audio->isRunning());
        if (midi)
            QVERIFY(rig.level(300) < 1e-3);

        QSignalSpy times(engine, &SoundEngine::mSecOfPlaying);
        QCOMPARE(engine->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
        QTRY_VERIFY_WITH_TIMEOUT(times.size() >= 3, 20000);
        for (const QList<QVariant> &report : times)
            QVERIFY2(report.at(0).toUInt() + 50 >= uint(targetMs) && report.at(0).toUInt() < uint(targetMs) + 5000,
                     qPrintable(QString::number(report.at(0).toUInt())));
        QVERIFY(stage.painter->playRow >= row);
        rig.stop();
    }

    // A song without lyrics lights nothing; a burst of resizes lays the view
    // out once, when it has settled. Its page stands centred, also with the
    // rows aligned left, and above the banner when the banner shows.
    void noLyrics()
    {
        Stage empty(R"({"rows": []})");
        for (double ms : {0, 700, 5000}) {
            empty.engine.at(ms);
            QCOMPARE(empty.painter->playRow, -1);
        }
        QSignalSpy relayouts(empty.view.viewParameter(), &ViewParameter::viewParameterUpdate);
        for (int h : {520, 480, 440, 400, 300})
            empty.view.resize(700, h);
        QCOMPARE(relayouts.size(), 0);
        // Above the bar of corner buttons.
        QTRY_COMPARE(empty.view.viewParameter()->textAreaSize, QSize(700, 300 - 40));
        QCOMPARE(relayouts.size(), 1);

        empty.view.setTextFlags(Qt::AlignLeft | Qt::AlignVCenter);
        QWidget *banner = empty.view.getAdBanner();
        banner->show();
        // The dashes, the text and the dashes.
        const auto aboveBanner = [&] {
            for (int row = 1; row <= 3; ++row) {
                const QRect drawn = empty.ink(row, false);
                if (!drawn.isValid() || drawn.bottom() >= banner->mapTo(&empty.view, QPoint()).y())
                    return false;
            }
            return true;
        };
        QTRY_VERIFY(aboveBanner());
        for (int row = 1; row <= 3; ++row)
            QVERIFY(qAbs(empty.ink(row, false).center().x() - empty.view.width() / 2) < 8);
    }
};

VELMAR_TEST(TestKaraokeWidget)
#include "tst_karaokewidget.moc"
