// Runs the song extraction on one file outside the player, into records of
// its own, and gives the lyric rows, syllables and chords as JSON with times
// in milliseconds.
#pragma once

#include "SongInfoRecord.h"
#include "StreamData.h"
#include "TempoMap.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QLoggingCategory>
#include <QString>
#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcExtractTool)

// An MP3 file is read in its first EXTRACT_TOOL_MP3_HEAD_BYTES and, when
// longer, in the last EXTRACT_TOOL_MP3_TAIL_BYTES not read yet (where trailing
// text blocks sit).
constexpr qint64 EXTRACT_TOOL_MP3_HEAD_BYTES = 0x180000;
constexpr qint64 EXTRACT_TOOL_MP3_TAIL_BYTES = 10000;

struct ExtractResult {
    int rows = 0;
    int syllables = 0;
    int chords = 0;

    void clear() { *this = ExtractResult(); }
    // Nothing is read from the JSON: a cleared record.
    static ExtractResult fromJson(const QJsonObject &json);
};

class ExtractTool
{
public:
    struct TextItem {
        QString text;
        qint64 ms;
    };
    struct SylItem {
        int charAt;                  // where the syllable ends in its row; 127 the whole row
        int row;
        qint64 ms;
    };
    struct ChordItem {
        QString chord;
        qint64 ms;
    };

    explicit ExtractTool(const QString &path);
    // type SONG_FORMAT_MIDI or SONG_FORMAT_MP3; the bytes are read as the
    // file constructor reads a file.
    ExtractTool(const QByteArray &data, int type);
    ~ExtractTool();
    ExtractTool(const ExtractTool &) = delete;
    ExtractTool &operator=(const ExtractTool &) = delete;

    bool isLoaded() const { return m_loaded; }
    // Why nothing was loaded, one line; empty when loaded.
    QString errorString() const { return m_error; }
    uint32_t format() const { return m_info.format; }

    void printStatistics() const;

    // getRawJsonText with the keys of getRawJsonChords.
    QJsonObject toJson() const;
    // {"text": [{"text", "tick"}], "syl": [{"offset", "row", "tick"}]}
    QJsonObject getRawJsonText() const;
    // {"chord": [{"chord", "tick"}]}
    QJsonObject getRawJsonChords() const;

    QList<TextItem> getGenericText(qint64 offset) const;
    QList<ChordItem> getGenericChord(qint64 offset) const;
    QList<SylItem> getGenericSyl(int row, qint64 offset) const;
    // {"data": [{"text", "end_tick" (the row's own time), "syl": [{"charat", "tick"}]}]}
    QJsonObject getParsedJsonText(qint64 offset) const;
    // {"data": [{"chord", "tick"}]}
    QJsonObject getParsedJsonChords(qint64 offset) const;

private:
    void setUpRecords();
    bool _loadBuffer(const QByteArray &bytes);
    void _loadTextAndChords();
    qint64 toMs(uint32_t time) const;
    void fail(const QString &error);

    QString m_path;
    SONG_INFO m_info{};
    s_StreamData m_stream{};
    std::unique_ptr<MidiStream> m_midiStream;
    std::unique_ptr<MidiInfos> m_midiInfos;
    std::unique_ptr<Mfi> m_mfi;
    std::unique_ptr<Db> m_db;
    std::unique_ptr<uint8_t[]> m_eventBuffer;
    int m_streamLength = 0;
    TempoMap m_tempo;
    bool m_loaded = false;
    QString m_error;

    QList<TextItem> m_text;
    QList<SylItem> m_syl;
    QList<ChordItem> m_chords;
    QList<BAR_BEAT_POS> m_bars;
    QList<MARKER_EV> m_markers;
    ExtractResult m_result;
};
