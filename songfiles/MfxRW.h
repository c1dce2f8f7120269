// Editor of the MF3/MF4/MF5 container header (layout in MfxHeader.h). The
// compressed payload behind the header is carried through unchanged.
#pragma once

#include "SongRW.h"

#include <QByteArray>

class MfxRW : public SongRW
{
public:
    enum FlagsEnum : uint8_t {
        flagMarkers = 0x01,   // the song carries markers
    };

    bool openFile(const QString &path) override;
    bool saveToFile(const QString &path) override;

    QString getTitle() const override;
    QString getGenre() const override;
    QString getArtist() const override;
    QString getAuthor() const override;
    int getLength() const override { return 0; }
    int getUserBpm() const override { return 0; }
    QString getUserKey() const override { return QString(); }
    int getDeltaBpm() const override;
    int getDeltaKey() const override;

    void setTitle(const QString &title) override;
    void setGenre(const QString &genre) override;
    void setArtist(const QString &artist) override;
    void setAuthor(const QString &author) override;
    void setLength(int) override {}
    void setUserBpm(int) override {}
    void setUserKey(const QString &) override {}
    void setDeltaBpm(int delta) override;
    void setDeltaKey(int delta) override;

    void setReverbEffect(unsigned char type, unsigned char level) override;
    void setChorusEffect(unsigned char type, unsigned char level) override;
    // Layer 0 only; tracks 0-15, and 16-31 of an MF5 file.
    void setTrackParameter(int track, int layer, MidiTrackParam param) override;
    // Layer 0 of tracks 0-15 only (no other track has a field for them).
    void setTrackParameterAdv(int track, int layer, MidiTrackParamAdv param) override;

    // Takes data as the header when it is one; false leaves the editor empty.
    bool loadHeader(const QByteArray &data);
    QString editor() const;
    int flags() const;
    int tempo() const;
    void setSize(unsigned size);
    void setOrigSize(unsigned size);
    void setFlag(FlagsEnum flag);
    void setTempo(int bpm);

    const QByteArray &headerBytes() const { return header; }

protected:
    // The settings are the header's fields the setters above write (the
    // channels' mix, effects, offsets); the texts, sizes and the payload are
    // the song.
    bool onlySettingsDifferFrom(const SongRW &original) const override;
    bool takeSettingsFrom(const SongRW &original) override;

private:
    QString textField(int offset, int size) const;
    void setTextField(int offset, const QString &text);
    void setEffect(int typeOffset, unsigned char type, unsigned char level);
    uint16_t u16(int offset) const;
    void putU16(int offset, uint16_t value);
    void putU32(int offset, uint32_t value);

    QByteArray header;
    QByteArray payload;
};
