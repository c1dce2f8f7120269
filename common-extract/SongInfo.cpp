#include "SongInfo.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const char *const keyDiesisMag_int[8] = {"C", "G", "D", "A", "E", "B", "F#", "C#"};
const char *const keyBemolleMag_int[8] = {"C", "F", "Bb", "Eb", "Ab", "Db", "Gb", "Cb"};
const char *const keyDiesisMin_int[8] = {"A", "E", "B", "F#", "C#", "G#", "D#", "A#"};
const char *const keyBemolleMin_int[8] = {"A", "D", "G", "C", "F", "Bb", "Eb", "Ab"};
} // namespace

int getFileType(const uint8_t *head, uint8_t *smfFormat)
{
    return getFileTypeN(head, head ? FILE_TYPE_HEAD_SIZE : 0, smfFormat);
}

int getFileTypeN(const uint8_t *data, uint32_t length, uint8_t *smfFormat)
{
    if (smfFormat)
        *smfFormat = 0;
    if (!data || length < 3)
        return FILE_TYPE_UNKNOWN;
    if (length >= 4) {
        if (std::memcmp(data, "MThd", 4) == 0) {
            if (smfFormat && length >= 10)
                *smfFormat = data[9];
            return FILE_TYPE_MIDI;
        }
        if (std::memcmp(data, "_MF3", 4) == 0)
            return FILE_TYPE_MF3;
        if (std::memcmp(data, "_MF4", 4) == 0)
            return FILE_TYPE_MF4;
        if (std::memcmp(data, "_MF5", 4) == 0)
            return FILE_TYPE_MF5;
    }
    if (std::memcmp(data, "ID3", 3) == 0)
        return FILE_TYPE_ID3;
    return FILE_TYPE_UNKNOWN;
}

char *getKeyString(char *out, int sharpsOrFlats, int minor)
{
    const int n = std::abs(sharpsOrFlats) % 8;
    const char *name;
    if (minor)
        name = sharpsOrFlats < 0 ? keyBemolleMin_int[n] : keyDiesisMin_int[n];
    else
        name = sharpsOrFlats < 0 ? keyBemolleMag_int[n] : keyDiesisMag_int[n];
    std::snprintf(out, 4, "%s%s", name, minor ? "m" : "");
    return out;
}
