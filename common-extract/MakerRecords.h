// The maker's own MIDI vocabulary: SysEx records F0 len 00 20 24 00 cmd ...
// and the meta event FF 4B. Offsets count from the F0 byte.
#pragma once

#include "SmfWalk.h"

#include <cstdint>

constexpr uint8_t MAKER_SYSEX_ID[4] = {0x00, 0x20, 0x24, 0x00};
constexpr int MAKER_OFS_LENGTH = 1;
constexpr int MAKER_OFS_ID = 2;
constexpr int MAKER_OFS_COMMAND = 6;
constexpr int MAKER_OFS_DATA = 7;

// Commands.
constexpr uint8_t MAKER_CMD_TEXT_ROW2 = 0x05;       // text-track row, second line of a page
constexpr uint8_t MAKER_CMD_TRACK_ADV = 0x1E;       // six sound-controller offsets
constexpr uint8_t MAKER_CMD_TRACK = 0x1F;           // one channel layer's mix
constexpr uint8_t MAKER_CMD_DELTA_BPM = 0x2F;
constexpr uint8_t MAKER_CMD_DELTA_KEY = 0x3F;
constexpr uint8_t MAKER_CMD_CHORUS = 0x4F;
constexpr uint8_t MAKER_CMD_REVERB = 0x5F;
constexpr uint8_t MAKER_CMD_DRUM = 0x6F;

// Records counted from the F0 byte (the writers put a delta byte in front).
constexpr int MAKER_SIZE_SHORT = 10;                // 2F, 3F, 4F, 5F
constexpr int MAKER_SIZE_TRACK = 29;                // 1F
constexpr int MAKER_SIZE_TRACK_ADV = 23;            // 1E

// Bytes of a 1F record.
constexpr int MAKER_TRK_SLOT = 7;
constexpr int MAKER_TRK_MUTE_SOLO = 8;
constexpr int MAKER_TRK_PROGRAM = 9;
constexpr int MAKER_TRK_BANK = 10;
constexpr int MAKER_TRK_VOLUME = 11;                // signed pairs from here
constexpr int MAKER_TRK_PAN = 13;
constexpr int MAKER_TRK_REVERB = 15;
constexpr int MAKER_TRK_CHORUS = 17;
constexpr int MAKER_TRK_VELOCITY_CURVE = 19;
constexpr int MAKER_TRK_TRANSPOSE = 20;
constexpr int MAKER_TRK_INSERT = 22;
constexpr int MAKER_TRK_OVERRIDE = 24;
constexpr int MAKER_TRK_LAYER = 25;

// Bytes of a 1E record: six signed pairs from byte 8 in Db::ccOffsets order.
constexpr int MAKER_ADV_SLOT = 7;
constexpr int MAKER_ADV_VALUES = 8;
constexpr int MAKER_ADV_LAYER = 20;

// Sub-types of FF 4B.
constexpr uint8_t MAKER_META = 0x4B;
constexpr uint8_t MAKER_META_GENRE = 1;
constexpr uint8_t MAKER_META_ARTIST = 2;
constexpr uint8_t MAKER_META_COMPOSER = 3;
constexpr uint8_t MAKER_META_SECONDS = 4;
constexpr uint8_t MAKER_META_BPM = 5;
constexpr uint8_t MAKER_META_MARKER = 6;

// A signed value stored as (v, 0) or (0, -v).
inline int makerSignedPair(uint8_t first, uint8_t second)
{
    return first ? int(first) : -int(second);
}

inline bool isMakerSysEx(const uint8_t *f0, uint32_t available)
{
    return available > uint32_t(MAKER_OFS_COMMAND) && f0[0] == 0xF0 && f0[2] == 0x00 &&
           f0[3] == 0x20 && f0[4] == 0x24 && f0[5] == 0x00;
}

// The F0 of a maker record that is a SysEx event of its own with a one-byte
// length, as the editor writes it, and its size from the F0; nullptr for
// any other event.
inline const uint8_t *makerRecord(const uint8_t *data, const SmfEvent &e, uint32_t &size)
{
    if (e.status != 0xF0 || e.statusPos < 0 || e.dataPos != e.statusPos + 2)
        return nullptr;
    size = uint32_t(e.end - e.statusPos);
    const uint8_t *f0 = data + e.statusPos;
    return isMakerSysEx(f0, size) ? f0 : nullptr;
}

// The commands of the settings records the editor writes.
inline bool isSettingsCommand(uint8_t command)
{
    switch (command) {
    case MAKER_CMD_TRACK_ADV:
    case MAKER_CMD_TRACK:
    case MAKER_CMD_DELTA_BPM:
    case MAKER_CMD_DELTA_KEY:
    case MAKER_CMD_CHORUS:
    case MAKER_CMD_REVERB:
    case MAKER_CMD_DRUM:
        return true;
    default:
        return false;
    }
}
