#pragma once

#include <QString>
#include <cstdint>

// Metadata of one song file as the song file editors read and write it.
struct SongInfoRW {
    enum fileTypeEnum : int32_t {
        unknown = 0,
        midiFormat0 = 1,
        midiFormat1 = 2,
        mf3 = 3,
        mf4 = 4,
        mf5 = 5,
        mp3 = 6,
        mta = 8,
        mtv = 9,
    };

    QString title;
    QString artist;
    QString genre;
    QString author;
    int length = 0;  // seconds
    int userBpm = 0;
    QString userKey;
    QString format;

    SongInfoRW() { clear(); }

    void clear()
    {
        title = QString();
        artist = QString();
        genre = QString();
        author = QString();
        length = 0;
        userBpm = 0;
        userKey = QString();
        format = QString();
    }
};
