#pragma once

#include <QMetaType>
#include <QString>
#include <cstdint>

struct SongInfoRW;

// One song as the library, the window, the database and the store pass it
// around. An empty innerPath means there is nothing to play.
class SongInfo {
public:
    QString title;
    QString artist;
    QString genre;
    QString author;
    int32_t length = 0;  // seconds
    int32_t bpm = 0;
    QString keySign;
    QString format;      // "MIDI", "MF3", "MP3", ... as the song file editors report it
    uint32_t isFromSub = 0;
    uint32_t idSong = 0;
    QString innerPath;
    int32_t ProductId = 0;

    SongInfo() = default;
    explicit SongInfo(const SongInfoRW &rw);

    void clear();

    bool operator==(const SongInfo &o) const;
    bool operator!=(const SongInfo &o) const { return !(*this == o); }

    // Registers "SongInfo" for queued connections between threads.
    static void registerMetaType();
};

Q_DECLARE_METATYPE(SongInfo)
