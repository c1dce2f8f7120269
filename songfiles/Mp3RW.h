// The song file editor of MP3 songs: title, artist, genre, author, key, BPM
// and length in the ID3v2 text frames, the tempo and key offsets in the
// program's own frame QEDT, the ID3v1 block at the end of the file as the
// fallback for title, artist and genre, and the karaoke text blocks
// (Mp3TextBlocks.h) inside the same tag.
//
// Only the first MP3_TAG_READ_LIMIT bytes are read at open. A save writes the
// new tag followed by the audio of the opened file, untouched, through
// SafeSave: the song is replaced only once the new file is complete.
#pragma once

#include "Id3Tag.h"
#include "SongRW.h"

#include <QByteArray>
#include <QString>

constexpr int MP3_TAG_READ_LIMIT = 1582864;
constexpr int ID3V1_SIZE = 128;

class Mp3RW : public SongRW
{
public:
    Mp3RW();

    bool openFile(const QString &path) override;
    // Also to another path: the opened file then stays as it is.
    bool saveToFile(const QString &path) override;
    // False for tags of version 2.2, unsynchronised or with a checksum.
    bool isEditable() const override;

    QString getTitle() const override;
    QString getGenre() const override;
    QString getArtist() const override;
    QString getAuthor() const override;
    int getLength() const override;
    int getUserBpm() const override;
    QString getUserKey() const override;
    int getDeltaBpm() const override;
    int getDeltaKey() const override;

    // An empty text removes the frame. Tags this editor cannot rewrite
    // safely (version 2.2, unsynchronised) are left as they are.
    void setTitle(const QString &title) override;
    void setGenre(const QString &genre) override;
    void setArtist(const QString &artist) override;
    void setAuthor(const QString &author) override;
    void setLength(int seconds) override;
    void setUserBpm(int bpm) override;
    void setUserKey(const QString &key) override;
    void setDeltaBpm(int delta) override;
    void setDeltaKey(int delta) override;

    // Replaces any SYLT frame and the LYRICS, COLORS, CHORDS and MARKER
    // blocks with blocks made from the records; MIDITK stays. The format is
    // not used. False when the tag cannot be edited.
    bool setLyrics(LyrFormat format, const QList<TEXT_EV> &rows, const QList<SYL_EV> &syllables,
                   const QList<CHORD_EV> &chords, const QList<MARKER_EV> &markers) override;
    bool getMidiTrkData(QByteArray &out) override;
    bool getMarkerData(QByteArray &out) override;
    // Replaces the MARKER block; true once the tag holds data as given.
    bool setMarkerData(const QByteArray &data) override;

    // Takes the tag from the file's first bytes; false when it does not fit.
    bool loadHeader(const QByteArray &data);
    const Id3Tag &tag() const { return m_tag; }
    int getAudioDataStartPos() const { return m_audioStart; }
    // Name of an ID3v1 genre byte 1-170, else empty.
    static QString getID3v1GenreName(int index);

protected:
    // The settings are the QEDT frame; the rest of the tag and the audio
    // are the song.
    bool onlySettingsDifferFrom(const SongRW &original) const override;
    bool takeSettingsFrom(const SongRW &original) override;

private:
    bool getId3StandardFrameStr(QString &out, const char *frameId) const;
    // The frame's value after its encoding byte.
    bool getId3StandardFrame(QByteArray &out, const char *frameId) const;
    void setTextFrame(const char *frameId, const QString &text);
    int frameNumber(const char *frameId) const;
    QString id3v1Text(int offset) const;
    void setQedtByte(int index, int value);

    Id3Tag m_tag;
    QByteArray m_footer;         // the file's ID3v1 block, empty when none
    int m_audioStart = 0;
};
