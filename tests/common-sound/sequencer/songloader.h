// Hand-built streams started as songs: records made up from a SongSetup, then
// the play procedure puts them into slot 1.
#pragma once

#include "loadedsong.h"
#include "play_ex.h"
#include "streambuilder.h"

#include <memory>
#include <vector>

// What a song brings besides its stream (the records a loaded song carries).
struct SongSetup {
    int fileType = FILE_TYPE_MIDI;
    // Layer 0 of these flat channels in use with this program (-1: none).
    int programs[NUM_SLOTS];
    bool drum[NUM_SLOTS] = {};
    int16_t tempoDelta = 0;
    int16_t transpose = 0;
    const StreamBuilder *bars = nullptr;   // bar table from the builder
    SongSetup()
    {
        for (int &p : programs)
            p = -1;
    }
};

// Starts the stream in slot 1, paused unless start. False when the play
// procedure refuses (the engine needs SEQUENCER_EX_SetRamBuffers first).
inline bool loadSongForTest(const std::vector<uint8_t> &stream, bool start, const SongSetup &setup)
{
    std::unique_ptr<LoadedSong> song(new LoadedSong());
    // Only what setup names: no drum channels or settings by default.
    zeroStreamRecords(&song->sd);
    MidiStream *s = song->stream.get();
    Db *db = song->db.get();
    db->reverbMacro = db->reverbLevel = db->chorusMacro = db->chorusLevel = UNSET_BYTE;
    for (int c = 0; c < NUM_SLOTS; ++c) {
        for (int l = 0; l < NUM_LAYERS; ++l) {
            db->layers[c][l].program = UNSET_BYTE;
            db->layers[c][l].bank = UNSET_BYTE;
            s->programMap[c][l] = {UNSET_BYTE, UNSET_BYTE};
        }
        if (setup.programs[c] >= 0) {
            song->setProgram(c, setup.programs[c]);
            s->programMap[c][0] = {uint8_t(setup.programs[c]), 0};
        }
        if (setup.drum[c])
            db->layers[c][0].flags |= DB_FLAG_DRUM | DB_FLAG_IN_USE;
    }
    db->tempoDelta = setup.tempoDelta;
    db->transpose = setup.transpose;
    if (setup.bars) {
        MidiInfos *inf = song->infos.get();
        inf->barCount = uint16_t(setup.bars->barCount());
        for (int b = 0; b < setup.bars->barCount() && b < MAX_BARS; ++b) {
            inf->barOffsets[b] = setup.bars->barOffset(b);
            inf->barTicks[b] = setup.bars->barTick(b);
        }
    }
    s->fileType = uint32_t(setup.fileType);
    song->setStream(stream);
    return PLAY_EX_PlayProcedure(start ? 1 : 0, &song->sd) == 1;
}
