// The karaoke view driven by a stand-in for the sound engine, offscreen: KAR
// songs made with mido and read by the song decoder, syllable times taken
// from mido, the chord strip read back from its pixels.
#include "Chord.h"
#include "Extract.h"
#include "KaraokeTextWidget.h"
#include "ListTextViewDelegate.h"
#include "ViewParameter.h"
#include "cdgstream.h"
#include "chordsView.h"
#include "loadedsong.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QListView>
#include <QPropertyAnimation>
#include <QScrollBar>
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
    LoadedSong song;
    QJsonArray syllables;   // [ms, row, text] by mido
    chordsView strip;
    KaraokeTextWidget view{nullptr, &strip};
    FakeEngine engine;
    ListTextViewDelegate *painter = nullptr;
    LyricsSource source;

    Stage(const QString &json, int baseType = 1, QSize size = QSize(900, 600))
    {
        const QByteArray out = TestUtil::runPython("karaoke/gen_lyrics_kar.py", {dir.filePath("x.kar"), json});
        syllables = QJsonDocument::fromJson(out).array();
        QByteArray file = TestUtil::readFile(dir.filePath("x.kar"));
        Extract::NormalizeMidiSequence(&song.sd, reinterpret_cast<uint8_t *>(file.data()), int(file.size()), 0, 0);
        MidiInfos &m = *song.infos;
        // An audio song carries the same records timed in hundredths.
        for (int i = 0; baseType != 1 && i < m.textRowCount; ++i)
            m.textRows[i].tick = m.textRows[i].tick * 10 / 96;
        for (int i = 0; baseType != 1 && i < m.syllableCount; ++i)
            m.syllables[i].tick = m.syllables[i].tick * 10 / 96;
        for (int i = 0; baseType != 1 && i < m.chordCount; ++i)
            m.chords[i].tick = m.chords[i].tick * 10 / 96;
        QObject::connect(&engine, &FakeEngine::mSecOfPlaying, &view, &KaraokeTextWidget::mSecOfPlaying);
        QObject::connect(&engine, &FakeEngine::songBpmChanged, &view, &KaraokeTextWidget::onSongBpmChanged);
        strip.resize(1400, 400);
        strip.show();
        view.resize(size);
        view.show();
        QTRY_VERIFY(view.viewParameter()->chordCellsCount > 0 && view.viewParameter()->textRowVerticalSpace > 0);
        source = {m.textRows, m.textRowCount, m.syllables, m.syllableCount, m.chords, m.chordCount,
                  m.textRowCount > 0, m.syllableCount > 0, m.chordCount > 0, {}, baseType, 480};
        view.loadSongChange(2, source);
        painter = view.findChild<ListTextViewDelegate *>();
    }

    // The row lit, as the song wrote it: a split row's first half, a space,
    // and the lit part of the second.
    QString sungText()
    {
        const QVector<TEXT_EV> &rows = view.lyricsModel()->rows();
        if (painter->playRow < 0)
            return QString();
        const int r = painter->playRow;
        const QString text(rows[r].text);
        QString sung = painter->playPos < 0 ? text : text.left(painter->playPos);
        if (r > 0 && rows[r - 1].tick == rows[r].tick)
            sung = QString(rows[r - 1].text) + ' ' + sung;
        return sung.trimmed();
    }
};

const QString SONG = R"({"rows": [["Sing ", "a", "long "], ["with ", "me ", "now"], ["la ", "la ", "la"],
    ["one ", "more ", "row"], ["and ", "an", "oth", "er"], ["last ", "one"]],
    "chords": ["C", "C5", "Am", "F#m7", "Bb", "G"]})";

} // namespace

class TestKaraokeWidget : public QObject
{
    Q_OBJECT
private slots:
    void syllablesLight_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<int>("baseType");
        QTest::addColumn<int>("bpmDelta");   // beats a minute for MIDI, percent for audio
        QTest::addColumn<int>("offsetMs");
        QTest::addColumn<int>("width");
        QTest::newRow("MIDI") << SONG << 1 << 0 << 0 << 900;
        QTest::newRow("MIDI faster, lyrics a second late") << SONG << 1 << 60 << 1000 << 900;
        QTest::newRow("MIDI, lyrics half a second early") << SONG << 1 << 0 << -500 << 900;
        QTest::newRow("MP3 slower") << SONG << 2 << -20 << 0 << 900;
        QTest::newRow("MP3, lyrics a second late") << SONG << 2 << 0 << 1000 << 900;
        QTest::newRow("one very long row")
            << R"({"rows": [["A ", "ve", "ry ", "long ", "row ", "that ", "will ", "not ", "fit ", "in ", "it"]]})"
            << 1 << 0 << 0 << 700;
    }

    // One millisecond before each syllable the one before it is lit, one
    // millisecond after it the syllable itself, whole.
    void syllablesLight()
    {
        QFETCH(QString, json);
        QFETCH(int, baseType);
        QFETCH(int, bpmDelta);
        QFETCH(int, offsetMs);
        QFETCH(int, width);
        Stage stage(json, baseType, QSize(width, 600));
        emit stage.engine.songBpmChanged(120, bpmDelta);
        stage.view.setDTimeTextMs(offsetMs);
        // A MIDI offset is heard time at the song's tempo; an audio one song time.
        const double offset = baseType == 1 ? offsetMs * (120.0 + bpmDelta) / 120 : offsetMs;
        QString before;
        QString sung;
        int row = -1;
        for (const QJsonValue &v : stage.syllables) {
            const QJsonArray s = v.toArray();
            sung = (s[1].toInt() == row ? sung : QString()) + s[2].toString();
            row = s[1].toInt();
            const double lit = s[0].toDouble() + offset;
            if (lit >= 1) {
                stage.engine.at(lit - 1);
                QCOMPARE(stage.sungText(), before.trimmed());
                stage.engine.at(lit + 1);
                QCOMPARE(stage.sungText(), sung.trimmed());
            }
            before = sung;
        }
    }

    // Between two reports the next syllable lights on time by itself.
    void lightsBetweenReports()
    {
        Stage stage(SONG);
        stage.engine.at(1000 - 40);
        QCOMPARE(stage.sungText(), QString("Sing"));
        QTRY_COMPARE(stage.sungText(), QString("Sing a"));
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
        Stage stage(SONG, 1, QSize(900, 300));
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
        stage.view.loadSongChange(2, stage.source);
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == 0);
        stage.engine.at(positions.last());
        QCOMPARE(bar->value(), qMin(bar->maximum(), rows.last() * pitch));
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

    // A song without lyrics lights nothing; a CD+G song shows the picture of
    // each moment and leaves the lyric timing alone.
    void otherSongs()
    {
        Stage empty(R"({"rows": []})");
        for (double ms : {0, 700, 5000}) {
            empty.engine.at(ms);
            QCOMPARE(empty.painter->playRow, -1);
        }
        // A burst of resizes lays the view out once, when it has settled.
        QSignalSpy relayouts(empty.view.viewParameter(), &ViewParameter::viewParameterUpdate);
        for (int h : {520, 480, 440, 400})
            empty.view.resize(700, h);
        QCOMPARE(relayouts.size(), 0);
        QTRY_COMPARE(empty.view.viewParameter()->textAreaSize, QSize(700, 400));
        QCOMPARE(relayouts.size(), 1);
        using namespace CdgStream;
        const QByteArray cdg = colours(false, {0x000, 0xF00, 0x0F0}) + packet(1, {1}) + QByteArray(24 * 60, 0) +
                               packet(1, {2});
        empty.view.loadSongChange(2, {nullptr, 0, nullptr, 0, nullptr, 0, false, false, false, cdg, 2, 480});
        QVERIFY(empty.view.cdgLabel()->isVisible() && !empty.view.lyricList()->isVisible());
        QTRY_COMPARE(empty.view.cdgLabel()->size(), QSize(600, 400));   // the CD+G screen's aspect
        for (auto [ms, colour] : {std::pair{100, 0xFF0000}, {300, 0x00FF00}, {50, 0xFF0000}}) {
            empty.engine.at(ms);
            QCOMPARE(empty.view.cdgLabel()->pixmap().toImage().pixel(150, 100) & 0xF0F0F0, QRgb(colour & 0xF0F0F0));
        }
        QCOMPARE(empty.painter->playRow, -1);
    }
};

VELMAR_TEST(TestKaraokeWidget)
#include "tst_karaokewidget.moc"
