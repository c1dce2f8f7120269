// The user's saved mix of a song (mute/solo, instruments, volumes and effect
// offsets, tempo and key offsets, reverb and chorus) read from the maker's
// settings records of a MIDI file or from a container header into Db.
#pragma once

#include "StreamData.h"

#include <cstdint>

constexpr int BAR_INFO_GEN_EDIT_SIZE = 22;

// Resets the channel block and controller offsets: programs and banks unset,
// drums on channel 10 of both ports, macros and levels unset, no solo. The
// transpose and tempo delta words are left as they are.
void initDBSTRUCT(Db *db);

// Reads the maker's settings records from the events of every track, as far
// as each track parses, in file order: of two records of one kind (of one
// channel layer for the mix records) the later counts. Bytes inside other
// events are never taken for one. 1 when the file has a track.
int loadSongSettings_MID(const uint8_t *file, uint32_t length, Db *db);

// Reads the settings of a container header: MFX_HEADER_SIZE bytes, or
// MFX5_HEADER_SIZE for "_MF5". Returns 1.
int loadSongSettings_MFx(const uint8_t *header, Db *db);

// Recomputes Db::anySolo from the layers' mute/solo states.
void soloRecal(Db *db);

// Block of consecutive settings records (1F, 2F, 3F, 1E) from the first F0 of
// the file: start at the delta byte before it and size in bytes; start 22 and
// size 0 when there is none. 1 when a block was found.
int searchParamEvent(const uint8_t *file, int length, uint16_t *start, uint16_t *size);

// First values of a slot in the bar-info table, in the order bank, program,
// CC7, CC10, CC93, CC91, CC74, CC71, CC72, CC73, CC75, CC66; out holds
// BAR_INFO_GEN_EDIT_SIZE bytes, 0xFF where unset. Returns -1.
int findBarInfoGenEdit(int slot, uint8_t *out, const MidiInfos *infos);
