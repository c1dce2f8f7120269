#include "SongSettings.h"

#include "ByteReader.h"
#include "MakerRecords.h"
#include "MfxHeader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int DRUM_SLOTS[] = {9, 25};
constexpr uint32_t PARAM_BLOCK_DEFAULT_START = 22;

int16_t pairAt(const uint8_t *p) { return int16_t(makerSignedPair(p[0], p[1])); }

void readTrackRecord(const uint8_t *f0, Db *db)
{
    const int slot = f0[MAKER_TRK_SLOT] & 31;
    const int layer = f0[MAKER_TRK_LAYER] & 3;
    DbLayer &l = db->layers[slot][layer];
    const bool override = f0[MAKER_TRK_OVERRIDE] != 0;
    l.flags |= DB_FLAG_IN_USE;
    l.muteSolo = f0[MAKER_TRK_MUTE_SOLO];
    l.program = f0[MAKER_TRK_PROGRAM];
    l.bank = f0[MAKER_TRK_BANK];
    l.volume = pairAt(f0 + MAKER_TRK_VOLUME);
    l.pan = pairAt(f0 + MAKER_TRK_PAN);
    l.reverb = pairAt(f0 + MAKER_TRK_REVERB);
    l.chorus = pairAt(f0 + MAKER_TRK_CHORUS);
    l.velocityCurve = f0[MAKER_TRK_VELOCITY_CURVE];
    l.transpose = pairAt(f0 + MAKER_TRK_TRANSPOSE);
    if (f0[MAKER_TRK_INSERT] < 128)
        l.insertId = f0[MAKER_TRK_INSERT];
    if (override)
        l.flags |= DB_FLAG_PROGRAM_OVERRIDE;
}

void readAdvancedRecord(const uint8_t *f0, Db *db)
{
    const int slot = f0[MAKER_ADV_SLOT] & 31;
    const int layer = f0[MAKER_ADV_LAYER] & 3;
    for (int i = 0; i < NUM_CC_OFFSETS; ++i)
        db->ccOffsets[slot][layer][i] = pairAt(f0 + MAKER_ADV_VALUES + 2 * i);
}

void readMfxTrack(const uint8_t *rec, DbLayer &l)
{
    l.muteSolo = rec[MFX_TRK_MUTE_SOLO];
    l.volume = int8_t(rec[MFX_TRK_VOLUME]);
    l.pan = int8_t(rec[MFX_TRK_PAN]);
    l.reverb = int8_t(rec[MFX_TRK_REVERB]);
    l.chorus = int8_t(rec[MFX_TRK_CHORUS]);
    l.velocityCurve = rec[MFX_TRK_VELOCITY_CURVE];
    l.transpose = int8_t(rec[MFX_TRK_TRANSPOSE]);
}

uint8_t stripOverride(uint8_t value)
{
    return value == MFX_TRK_ABSENT ? value : uint8_t(value & ~MFX_TRK_OVERRIDE_BIT);
}

int paramRecordSize(uint8_t command)
{
    switch (command) {
    case MAKER_CMD_TRACK: return MAKER_SIZE_TRACK + 1;
    case MAKER_CMD_DELTA_BPM:
    case MAKER_CMD_DELTA_KEY: return MAKER_SIZE_SHORT + 1;
    case MAKER_CMD_TRACK_ADV: return MAKER_SIZE_TRACK_ADV + 1;
    default: return 0;
    }
}

} // namespace

void initDBSTRUCT(Db *db)
{
    std::memset(db->layers, 0, sizeof db->layers);
    std::memset(db->ccOffsets, 0, sizeof db->ccOffsets);
    for (auto &slot : db->layers) {
        for (DbLayer &l : slot) {
            l.program = UNSET_BYTE;
            l.bank = UNSET_BYTE;
        }
    }
    for (int slot : DRUM_SLOTS)
        for (DbLayer &l : db->layers[slot])
            l.flags |= DB_FLAG_DRUM;
    db->anySolo = 0;
    db->reverbMacro = db->reverbLevel = db->chorusMacro = db->chorusLevel = UNSET_BYTE;
}

void soloRecal(Db *db)
{
    db->anySolo = 0;
    for (const auto &slot : db->layers)
        for (const DbLayer &l : slot)
            if (l.muteSolo == DB_SOLO)
                db->anySolo = 1;
}

int loadSongSettings_MID(const uint8_t *file, uint32_t length, Db *db)
{
    // Every record of every track is read, in file order, each over the one
    // of its kind before it: the editor keeps one set, but another program
    // may have split it over two tracks or left a record twice.
    const auto record = [&](const SmfEvent &e) {
        uint32_t size = 0;
        const uint8_t *f0 = makerRecord(file, e, size);
        if (!f0)
            return false;
        const uint8_t command = f0[MAKER_OFS_COMMAND];
        switch (command) {
        case MAKER_CMD_TRACK:
        case MAKER_CMD_TRACK_ADV: {
            const bool track = command == MAKER_CMD_TRACK;
            if (size != uint32_t(track ? MAKER_SIZE_TRACK : MAKER_SIZE_TRACK_ADV))
                break;
            const int slot = f0[track ? MAKER_TRK_SLOT : MAKER_ADV_SLOT];
            const int layer = f0[track ? MAKER_TRK_LAYER : MAKER_ADV_LAYER];
            if (slot >= NUM_SLOTS || layer >= NUM_LAYERS)
                break;
            if (track)
                readTrackRecord(f0, db);
            else
                readAdvancedRecord(f0, db);
            break;
        }
        case MAKER_CMD_DELTA_BPM:
        case MAKER_CMD_DELTA_KEY:
        case MAKER_CMD_CHORUS:
        case MAKER_CMD_REVERB: {
            if (size < uint32_t(MAKER_SIZE_SHORT))
                break;
            const uint8_t a = f0[MAKER_OFS_DATA], b = f0[MAKER_OFS_DATA + 1];
            if (command == MAKER_CMD_DELTA_BPM)
                db->tempoDelta = int16_t(makerSignedPair(a, b));
            else if (command == MAKER_CMD_DELTA_KEY)
                db->transpose = int16_t(makerSignedPair(a, b));
            else if (command == MAKER_CMD_CHORUS)
                db->chorusMacro = a, db->chorusLevel = b;
            else
                db->reverbMacro = a, db->reverbLevel = b;
            break;
        }
        default:
            break;
        }
        return false;
    };
    // A track that does not parse to its end is read as far as it does.
    bool anyTrack = false;
    walkSmfTracks(file, length, [&](int, int start, int end) {
        anyTrack = true;
        walkSmfTrack(file, start, end, record);
        return false;
    });
    soloRecal(db);
    return anyTrack ? 1 : 0;
}

int loadSongSettings_MFx(const uint8_t *header, Db *db)
{
    for (int i = 0; i < MFX_TRACKS_PER_BLOCK; ++i) {
        const uint8_t *rec = header + MFX_OFS_TRACKS + MFX_TRACK_RECORD_SIZE * i;
        if (rec[MFX_TRK_PROGRAM] == MFX_TRK_ABSENT)
            continue;
        DbLayer &l = db->layers[i][0];
        readMfxTrack(rec, l);
        l.flags |= DB_FLAG_IN_USE;
        if ((rec[MFX_TRK_PROGRAM] | rec[MFX_TRK_BANK]) & MFX_TRK_OVERRIDE_BIT)
            l.flags |= DB_FLAG_PROGRAM_OVERRIDE;
        l.program = rec[MFX_TRK_PROGRAM] & 0x7F;
        l.bank = rec[MFX_TRK_BANK] & 0x7F;
    }

    if (readU16le(header + MFX_OFS_EXTRAS_MARKER) == MFX_EXTRAS_MARKER) {
        db->reverbMacro = header[MFX_OFS_REVERB_TYPE];
        db->reverbLevel = header[MFX_OFS_REVERB_LEVEL];
        db->chorusMacro = header[MFX_OFS_CHORUS_TYPE];
        db->chorusLevel = header[MFX_OFS_CHORUS_LEVEL];
        for (int i = 0; i < MFX_TRACKS_PER_BLOCK; ++i) {
            const uint8_t *extra = header + MFX_OFS_EXTRAS + MFX_EXTRA_RECORD_SIZE * i;
            for (int b = 0; b < MFX_EXTRA_RECORD_SIZE; ++b)
                db->ccOffsets[i][0][MFX_EXTRA_RECORD_CC[b]] = int8_t(extra[b]);
            db->ccOffsets[i][0][MFX_SUSTAIN_CC] = int8_t(header[MFX_OFS_SUSTAIN + i]);
        }
    }

    const uint16_t inserts = readU16le(header + MFX_OFS_INSERTS);
    if (inserts != 0) {
        for (uint8_t assignment : {uint8_t(inserts & 0xFF), uint8_t(inserts >> 8)})
            db->layers[assignment >> 4][0].insertId = assignment & 0x0F;
    }

    db->transpose = int16_t(readU16le(header + MFX_OFS_DELTA_KEY));
    db->tempoDelta = int16_t(readU16le(header + MFX_OFS_DELTA_BPM));

    if (std::memcmp(header, "_MF5", 4) == 0) {
        for (int i = 0; i < MFX_TRACKS_PER_BLOCK; ++i) {
            const uint8_t *rec = header + MFX5_OFS_TRACKS + MFX_TRACK_RECORD_SIZE * i;
            DbLayer &l = db->layers[MFX_TRACKS_PER_BLOCK + i][0];
            readMfxTrack(rec, l);
            l.program = stripOverride(rec[MFX_TRK_PROGRAM]);
            l.bank = stripOverride(rec[MFX_TRK_BANK]);
        }
        const uint32_t drums = readU32le(header + MFX5_OFS_DRUM_MASK);
        if (drums != 0) {
            for (int n = 0; n < NUM_SLOTS; ++n) {
                if (drums & (1u << n))
                    db->layers[n][0].flags |= DB_FLAG_DRUM;
                else
                    db->layers[n][0].flags &= uint8_t(~DB_FLAG_DRUM);
            }
        }
    }
    soloRecal(db);
    return 1;
}

int searchParamEvent(const uint8_t *file, int length, uint16_t *start, uint16_t *size)
{
    *start = uint16_t(PARAM_BLOCK_DEFAULT_START);
    *size = 0;
    if (!file || length <= 0)
        return 0;
    const uint32_t len = uint32_t(length);
    const void *hit = std::memchr(file, 0xF0, len);
    if (!hit)
        return 0;
    uint32_t p = uint32_t(static_cast<const uint8_t *>(hit) - file);
    if (p == 0 || p - 1 > 0xFFFF)
        return 0;
    const uint32_t first = p;
    uint32_t total = 0;
    while (p < len && isMakerSysEx(file + p, len - p)) {
        const int recordSize = paramRecordSize(file[p + MAKER_OFS_COMMAND]);
        // The record counts its delta byte, which lies before its F0.
        if (recordSize == 0 || len - (p - 1) < uint32_t(recordSize))
            break;
        total += uint32_t(recordSize);
        p += uint32_t(recordSize);
    }
    if (total == 0 || total > 0xFFFF)
        return 0;
    *start = uint16_t(first - 1);
    *size = uint16_t(total);
    return 1;
}

int findBarInfoGenEdit(int slot, uint8_t *out, const MidiInfos *infos)
{
    std::memset(out, UNSET_BYTE, BAR_INFO_GEN_EDIT_SIZE);
    const int count = std::min<int>(infos->barInfoCount, MAX_BAR_INFO);
    for (int i = 0; i < count; ++i) {
        const BAR_INFO &e = infos->barInfo[i];
        if (e.slot != slot)
            continue;
        const uint8_t values[] = {e.bank, e.program, e.cc7, e.cc10, e.cc93, e.cc91,
                                  e.cc74, e.cc71, e.cc72, e.cc73, e.cc75, e.cc66};
        for (size_t v = 0; v < sizeof values; ++v)
            if (out[v] == UNSET_BYTE)
                out[v] = values[v];
    }
    return -1;
}
