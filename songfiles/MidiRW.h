// Editor of a Standard MIDI File (format 0 or 1). Metadata lives at the head
// of the first track, the maker's settings records at the head of the track
// that holds them (the first one when none does), each event with delta 0;
// every insertion or removal keeps that track's length field right at once,
// and nothing else in the file is touched: chunks of other kinds stay byte
// for byte where they stand. setLyrics rewrites the song
// without its text and appends new text, chord and marker tracks. Every read
// of the image is bounded by its size; removals only take events that lie
// wholly inside the first track.
//
// The events that are replaced or removed (the maker's records, the head's
// meta events) are found by walking the first track event by event, never
// by searching its bytes: the same bytes inside a delta time, a text or
// another maker's SysEx are no event. The walk ends at the first event that
// does not parse whole inside the track; nothing behind it is replaced.
#pragma once

#include "SmfWalk.h"
#include "SongRW.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <functional>

class MidiRW : public SongRW
{
public:
    enum kveroMetaTypeEnum : uint8_t {
        metaGenre = 1,
        metaArtist = 2,
        metaAuthor = 3,
        metaLength = 4,
        metaUserBpm = 5,
    };
    enum midiControlsEnum : uint8_t {
        ccBankSelect = 0,
        ccVolume = 7,
        ccPan = 10,
        ccSostenuto = 66,
        ccResonance = 71,
        ccRelease = 72,
        ccAttack = 73,
        ccCutoff = 74,
        ccDecay = 75,
        ccReverb = 91,
        ccChorus = 93,
    };

    MidiRW();

    bool openFile(const QString &path) override;
    bool saveToFile(const QString &path) override;

protected:
    bool onlySettingsDifferFrom(const SongRW &original) const override;
    bool takeSettingsFrom(const SongRW &original) override;
    QByteArray wholeFile() const override { return fileData; }

public:

    QString getTitle() const override;
    QString getGenre() const override;
    QString getArtist() const override;
    QString getAuthor() const override;
    int getLength() const override;
    int getUserBpm() const override;
    QString getUserKey() const override;
    int getDeltaBpm() const override;
    int getDeltaKey() const override;

    void setTitle(const QString &title) override;
    void setGenre(const QString &genre) override;
    void setArtist(const QString &artist) override;
    void setAuthor(const QString &author) override;
    void setLength(int seconds) override;
    void setUserBpm(int bpm) override;
    void setUserKey(const QString &key) override;
    void setDeltaBpm(int delta) override;
    void setDeltaKey(int delta) override;

    bool setLyrics(LyrFormat format, const QList<TEXT_EV> &rows, const QList<SYL_EV> &syllables,
                   const QList<CHORD_EV> &chords, const QList<MARKER_EV> &markers) override;
    void setReverbEffect(unsigned char type, unsigned char level) override;
    void setChorusEffect(unsigned char type, unsigned char level) override;
    // Tracks 0-31, layers 0-3; anything else is ignored (the reader would
    // fold it onto another channel).
    void setTrackParameter(int track, int layer, MidiTrackParam param) override;
    void setTrackParameterAdv(int track, int layer, MidiTrackParamAdv param) override;
    // data: 20 bytes, an FF byte takes the default of its even or odd place.
    void setDrumParameter(int first, int second, QByteArray data, int evenDefault,
                          int oddDefault) override;

    // Takes an image that is a format 0/1 file whose first track lies inside it.
    bool loadHeader(const QByteArray &bytes);
    const QByteArray &image() const { return fileData; }

    // Variable-length quantity: at most 0 writes 0; above 0x0FFFFFFF is clamped.
    static void writeMidiMultiByteVal(QByteArray *out, int value);

    // Text tracks, each a complete "MTrk" chunk.
    static QByteArray createKveroTxtMidiTrk_CCSyl(const QList<TEXT_EV> &rows,
                                                  const QList<SYL_EV> &syllables);
    static QByteArray createKveroTxtMidiTrk_SysExSyl(const QList<TEXT_EV> &rows,
                                                     const QList<SYL_EV> &syllables);
    static QByteArray createStdTxtMidiTrk(const QList<TEXT_EV> &rows, const QList<SYL_EV> &syllables);
    static QByteArray createChordsMidiTrk(const QList<CHORD_EV> &chords);
    static QByteArray createMarkersMidiTrk(const QList<MARKER_EV> &markers);

private:
    // One event of the first track where it lies in the image.
    using HeadEvent = SmfEvent;
    // The first event of the first track, in order, for which found is true;
    // false when none is before the end of the track or of its parsable part.
    bool findHeadEvent(const std::function<bool(const HeadEvent &)> &found, HeadEvent &event) const;

    int trackEnd() const { return trackDataPos + int(trackLength); }
    void updateTrackSize();
    int changeTrack(int pos, int removed, const QByteArray &inserted);

    // A track where it lies in the image.
    struct Track {
        int lengthPos = 0;
        int dataPos = 0;
        uint32_t length = 0;
        int end() const { return dataPos + int(length); }
    };
    Track firstTrack() const { return {trackLengthPos, trackDataPos, trackLength}; }
    // Where the settings records are read and replaced, and new ones go:
    // the track of the set (m_recordsTrack), else the first track.
    Track recordsTrack() const;
    bool findTrackEvent(const Track &track, const std::function<bool(const HeadEvent &)> &found,
                        HeadEvent &event) const;
    int changeTrack(Track &track, int pos, int removed, const QByteArray &inserted);
    // The index-th "MTrk" chunk; dataPos -1 when there is none.
    Track trackAt(int index) const;
    uint32_t lengthField(int pos) const;
    void removeTrackEvent(int index, int pos);
    // A settings record of a size the writers give, and what makes it one of
    // a kind (its command and its channel layer or drum pair).
    struct SettingsRecord {
        int track;
        int pos;
        QByteArray key;
        QByteArray event;   // from its F0
    };
    QList<SettingsRecord> settingsRecords() const;
    // The records as one set: of two of one kind the later, as the player
    // reads them, in the order the kinds first appear.
    static QList<QByteArray> settingsSet(const QList<SettingsRecord> &records);
    // Takes the records out of their tracks and puts the set at the head of
    // the first track that held any (the first track when none did).
    void replaceSettings(const QList<SettingsRecord> &records, const QList<QByteArray> &set);
    // Makes the settings records one set, when another program split them
    // over tracks or left one twice.
    void gatherSettings();
    // The song but for what the program writes into it, as events at their
    // times: the settings records, and the controllers and program changes
    // a save adds at the head of the records' track for a channel that the
    // original (the song before the program's first save) never sets.
    QByteArray musicBeside(const MidiRW &original) const;

    // The first event of the whole song, track by track, for which found is true.
    bool findSongEvent(const std::function<bool(const HeadEvent &)> &found, HeadEvent &event) const;
    QString metaText(const HeadEvent &e, int skip) const;
    QString extractMetaevent(kveroMetaTypeEnum type) const;
    QString extractMetaevent(char type) const;
    int removeHeadMetaevent(kveroMetaTypeEnum type, bool firstOnly);
    int removeHeadMetaevent(char type, bool firstOnly);
    int removeHeadEvents(bool firstOnly, const std::function<bool(const HeadEvent &)> &match);
    int insertMetaevent(const QByteArray &data, kveroMetaTypeEnum type, int pos);
    int insertMetaevent(const QByteArray &data, char type, int pos);
    QString extractKey() const;
    void setMakerText(kveroMetaTypeEnum type, const QString &text);
    int makerNumber(kveroMetaTypeEnum type) const;

    int indexOfKveroSysEx(const Track &track, int start, int &size, const QByteArray &pattern) const;
    int deltaRecord(uint8_t command) const;
    void replaceRecord(const QByteArray &pattern, const QByteArray &record);
    // Puts record over the one found at pos (size bytes), or at the track's head.
    void putRecord(Track &track, int pos, int size, const QByteArray &record);
    void insertAtRecordsHead(const QByteArray &event);
    void replaceLayerRecord(uint8_t command, int track, int layer, int size, int layerByte,
                            const QByteArray &record);
    // Whether any track holds an event of the channel of that type (B0, C0),
    // of that controller when one is given.
    bool hasChannelEvent(uint8_t type, int channel, int controller = -1) const;
    struct DefaultController {
        bool wanted;
        uint8_t controller;
        uint8_t value;
    };
    void insertDefaultControllerEvent(int channel, uint8_t controller, uint8_t value);
    void insertDefaultTrackEvents(int track, const MidiTrackParam &p);
    void insertDefaultTrackEventsAdv(int track, const MidiTrackParamAdv &p);
    void insertMissingControllers(int track, const DefaultController *defaults, size_t count);

    QByteArray createDeltaBpmEvent(int delta) const;
    QByteArray createDeltaKeyEvent(int delta) const;
    QByteArray createChorusEffectEvent(uint8_t type, uint8_t level) const;
    QByteArray createReverbEffectEvent(uint8_t type, uint8_t level) const;
    QByteArray createTrackParamEvent(int track, int layer, const MidiTrackParam &p, bool &nonDefault) const;
    QByteArray createTrackParamEventAdv(int track, int layer, const MidiTrackParamAdv &p,
                                        bool &nonDefault) const;
    QByteArray createDrumParamEvent(uint8_t first, uint8_t second, const QByteArray &data,
                                    int evenDefault, int oddDefault) const;
    QByteArray createKveroRecord(uint8_t command, int size) const;
    QByteArray kveroPattern(uint8_t command) const;

    QByteArray fileData;
    QByteArray lyricsTrack;
    QByteArray chordsTrack;
    QByteArray markersTrack;
    uint32_t trackLength = 0;
    int trackDataPos = 0;
    int trackLengthPos = 0;
    uint16_t trackCount = 0;
    QByteArray kveroHeader;
    int m_recordsTrack = -1;   // the track of the settings set; -1 none yet
};
