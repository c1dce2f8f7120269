// Entry points of the song-decoding code for the rest of the program: static
// members only, no instances.
#pragma once

#include "SongInfo.h"

#include <QMap>
#include <QString>
#include <cstdint>

class Extract
{
public:
    Extract() = delete;

    // Fills info from the file's suffix and head (and tail for MP3). False when
    // the file is missing (info untouched), its suffix is unknown, it is too
    // short or its content does not match the suffix (then format is 0).
    // Safe from any thread.
    static bool GetSongInfoFromFile(SONG_INFO *info, const QString &path);

    // Tag or meta-event bytes to text: honours a UTF-8/16/32 byte-order mark;
    // without one UTF-8, or ISO 8859-15 when that is not valid UTF-8. Reads at
    // most length bytes and stops at the first NUL (a NUL code unit for UTF-16/32).
    static QString decodeChars(const char *text, int length);

    // Upper-case suffix -> base type of the song format code.
    static const QMap<QString, int> &mapFileExtToFrmBaseType();
    // Full song format code -> display text ("MF5", "MP3"); absent codes give "".
    static const QMap<uint32_t, QString> &mapFrmFullTypeToFrmDesc();
};
