// The lyric rows, syllables and chords of the loaded song as the karaoke view
// shows them: rows decoded (UTF-8 where they are, else Latin-1) and wider
// than the view (less half a letter of air each side) split once into two,
// syllables renumbered to the split rows with their offsets in characters of
// the decoded row, one lyric item per row (text in TEXT_ROLE) and one
// chord-strip item per chord (a whole ChordInfo in TEXT_ROLE, named after the
// key shift). A CD+G song (one whose companion the song accepted) has no
// lyric or chord items; its decoder is primed instead.
//
// The song hands its records in as a LyricsSource, which the model copies:
// a rebuild after a change of view size or font needs nothing from the song.
#pragma once

#include "CdgCmdExec.h"
#include "StreamData.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QStandardItemModel>
#include <QVector>

class ListTextViewDelegate;
class Song;
class ViewParameter;

// What the view needs of a loaded song. Syllable offsets count the bytes of
// their row up to the syllable's end, spaces included, as the song leaves
// them after its load.
struct LyricsSource {
    // The song's records, valid while it stays loaded.
    static LyricsSource of(const Song &song);

    const TEXT_EV *rows = nullptr;
    int rowCount = 0;
    const SYL_EV *syllables = nullptr;
    int syllableCount = 0;
    const CHORD_EV *chords = nullptr;
    int chordCount = 0;
    bool hasRows = false;
    bool hasSyllables = false;
    bool hasChords = false;
    QByteArray cdg;   // the accepted CD+G companion's bytes; a CD+G song when not empty
    // Low byte of the format code: 1 MIDI (timed in ticks), 2, 4 and 16 audio
    // (timed in hundredths of a second).
    int baseType = 1;
    int ticksPerQuarter = 480;
};

// Where the lyric timing stands in the lists; every fill starts it over.
struct LyricsPlayState {
    int playRow = -1;
    int prevPlayRow = -1;
    int playPos = -1;
    int prevPlayPos = -1;
    uint32_t prevTime = 0;
    int rowSearchIndex = 0;
    int syllableSearchIndex = 0;
    int chordPos = -1;
    int prevChordPos = -1;
    int chordSearchIndex = 0;
    int tempoBpm = 120;
};

// A row as the view shows it.
struct LyricRow {
    QString text;
    uint32_t tick = 0;   // in the song's time unit
    bool continued = false;   // the second half of a song row split in two
};

class LyricsModel : public QObject
{
    Q_OBJECT
public:
    static constexpr int TEXT_ROLE = Qt::UserRole + 100;
    // True on the rows of the page shown for a song without lyrics, which
    // stand centred whatever the rows' alignment.
    static constexpr int CENTRED_ROLE = Qt::UserRole + 101;
    // True on the second half of a song row split in two.
    static constexpr int CONTINUED_ROLE = Qt::UserRole + 102;

    explicit LyricsModel(ViewParameter *viewParam, QObject *parent = nullptr);

    QStandardItemModel *textModel() { return &m_textModel; }
    QStandardItemModel *chordModel() { return &m_chordModel; }
    CdgCmdExec &cdgDecoder() { return m_cdg; }
    // The CD+G picture at 0 ms, taken when the song was loaded.
    const QImage &cdgPicture() const { return m_cdgPicture; }
    void setRowPainter(ListTextViewDelegate *painter) { m_painter = painter; }
    // A view without a chord strip fills no chord items.
    void setChordStripEnabled(bool on) { m_hasChordStrip = on; }

    // Rows, syllables and chords after the last fill; chords keep the song's
    // own names, for timing.
    const QVector<LyricRow> &rows() const { return m_rows; }
    const QVector<SYL_EV> &syllables() const { return m_syllables; }
    const QVector<CHORD_EV> &chords() const { return m_chords; }
    bool isLoaded() const { return m_loaded; }
    bool isCdg() const { return !m_songCdg.isEmpty(); }
    bool songHasRows() const { return m_songHasRows; }
    bool songHasSyllables() const { return m_songHasSyllables; }
    bool songHasChords() const { return m_songHasChords; }
    int baseType() const { return m_songBaseType; }
    int ticksPerQuarter() const { return m_songTicksPerQuarter; }
    int keyShift() const { return m_keyShift; }
    bool noChordsLabelVisible() const { return m_noChordsVisible; }
    // The loaded song's records as this model keeps them, for another view
    // of the same song; valid until the next load.
    LyricsSource source() const;
    // Read and advanced by the lyric timing.
    LyricsPlayState playState;

    void fillDataModel();
    void splitLongRowString();
    void fillChordDataModel();

public slots:
    // State 0 (unloaded) clears the lyric items; any other state takes the
    // song and fills both models.
    void loadSongChange(int state, const LyricsSource &song = LyricsSource());
    void viewParameterUpdate();
    void onSongKeyChanged(int delta);

signals:
    // The strip's "no chords" label: shown exactly while a loaded song that is
    // not CD+G has no chords.
    void noChordsLabelChanged(bool visible);

private:
    void updateNoChordsLabel();

    ViewParameter *m_viewParam;
    ListTextViewDelegate *m_painter = nullptr;
    QStandardItemModel m_textModel;
    QStandardItemModel m_chordModel;
    CdgCmdExec m_cdg;
    QImage m_cdgPicture;
    bool m_hasChordStrip = true;
    bool m_loaded = false;
    bool m_noChordsVisible = false;
    int m_keyShift = 0;

    // The song's own records, as loaded.
    QVector<TEXT_EV> m_songRows;
    QVector<SYL_EV> m_songSyllables;
    QVector<CHORD_EV> m_songChords;
    bool m_songHasRows = false;
    bool m_songHasSyllables = false;
    bool m_songHasChords = false;
    QByteArray m_songCdg;
    int m_songBaseType = 1;
    int m_songTicksPerQuarter = 480;

    QVector<LyricRow> m_rows;
    QVector<SYL_EV> m_syllables;
    QVector<CHORD_EV> m_chords;
};
