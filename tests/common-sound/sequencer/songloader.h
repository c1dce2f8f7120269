// A song start for tests: what the play procedure does when it puts a loaded
// song into slot 1, with the song's records made up from a SongSetup.
#pragma once

#include "inserts.h"
#include "sequencer_click.h"
#include "sequencer_ex_p.h"
#include "sequencer_signals.h"
#include "streambuilder.h"
#include "volumes.h"

#include <cstring>
#include <memory>

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

// Starts a loaded song in slot 1 as the play procedure does: its four
// records and its stream are copied into the engine's slot; paused unless
// start. False when no event buffer is free (the engine needs
// SEQUENCER_EX_SetRamBuffers first).
inline bool startSongForTest(const MidiStream &song, const MidiInfos &infos, const Mfi &mfi,
                             const Db &songDb, const uint8_t *data, size_t length, bool start)
{
    if (!SEQUENCER_EX_Stop())
        SEQUENCER_EX_ActionStop();
    const int port = SEQUENCER_EX_GetFreeMidiPort();
    int index = -1;
    uint8_t *buffer = SEQUENCER_EX_GetFreeBuffer(&index);
    if (!buffer) {
        freeMidiPortMF5(port);
        return false;
    }
    SEQUENCER_EX_AssignPtrs(0);
    updateMidiGeneralVol();
    SEQUENCER_EX_ClearWorkStructures();

    MidiStream &s = *SEQUENCER_EX_GetMidiStream1();
    Mfi &m = *SEQUENCER_EX_GetMfi1();
    MidiInfos &inf = *SEQUENCER_EX_GetMidiInfo1();
    Db &db = *SEQUENCER_EX_GetDb1();
    std::memcpy(&s, &song, sizeof s);
    std::memcpy(&m, &mfi, sizeof m);
    std::memcpy(&inf, &infos, sizeof inf);
    std::memcpy(&db, &songDb, sizeof db);
    const size_t size = length < EVENT_BUFFER_SIZE ? length : EVENT_BUFFER_SIZE;
    std::memset(buffer, 0, EVENT_BUFFER_SIZE);
    if (size)
        std::memcpy(buffer, data, size);
    m.buffer = buffer;
    m.streamLength = uint32_t(size);
    if (m.tpqn == 0)
        m.tpqn = size >= 14 ? uint16_t((buffer[12] << 8) | buffer[13]) : 480;
    s.db = &db;
    inf.db = &db;
    s.port = uint8_t(port);

    SEQUENCER_EX_SetEnableIntrAdvance(0);
    s.slotByte = uint8_t(index + 1);
    const int area = SEQUENCER_EX_getAssociateTextArea(&m);
    inf.textAreaWord = uint16_t(area);
    C_SIGNAL_SetNowIsPlaying(area);
    txtArea.store(uint16_t(area));
    VOLUMES_ClearLastSliders();
    s.flags = (s.flags & ~0x2608u) | 0x2200u;
    stClear(ST_TEMPO_RECOMPUTE | ST_GOTO_PENDING);
    jumpStatus.store(0);
    SEQUENCER_EX_SetPause(!start);
    s.flags &= ~0x82u;
    m.messageLength = 0;
    stClear(ST_CROSSFADE);
    for (int c = 0; c < NUM_SLOTS; ++c)
        EX_SEQUENCER_SetRealTimeProgramChange(c, db.layers[c][0].program);
    SEQUENCER_EX_SetEnableIntrAdvance(1);
    s.startBar = 0;
    updateMidiAllChanelVolumes();
    SEQUENCER_EX_ResetFadingVolume();
    SEQUENCER_EX_InitPrecountBar();
    s.currentBar = 0;
    s.songBpm = SEQ_DEFAULT_BPM;
    ComputeTime(&s);
    m.errorCode = 0;
    SEQUENCER_EX_ResetReadPosition(&s, &m);
    s.userTempoDelta = db.tempoDelta;
    s.transpose = db.transpose;
    m.noteSeen = 0;
    db.anySolo = 0;
    for (auto &c : db.layers)
        for (auto &l : c)
            if (l.muteSolo == DB_SOLO)
                db.anySolo = 1;
    m.fastRun = uint16_t(SEQUENCER_EX_GetFastRun());
    int len = 0;
    INSERTS_LoadAllFromDb(&db, port, nullptr, &len);
    INSERTS_GetConfig(s.insertConfig);
    SEQUENCER_EX_Run();
    return true;
}

// Puts a hand-built stream into slot 1 with records made from setup.
inline bool loadSongForTest(const uint8_t *data, size_t length, bool start, const SongSetup &setup)
{
    std::unique_ptr<MidiStream> s(new MidiStream());
    std::unique_ptr<MidiInfos> inf(new MidiInfos());
    std::unique_ptr<Mfi> m(new Mfi());
    std::unique_ptr<Db> db(new Db());
    db->reverbMacro = db->reverbLevel = db->chorusMacro = db->chorusLevel = UNSET_BYTE;
    for (int c = 0; c < NUM_SLOTS; ++c) {
        for (int l = 0; l < NUM_LAYERS; ++l) {
            db->layers[c][l].program = UNSET_BYTE;
            db->layers[c][l].bank = UNSET_BYTE;
            s->programMap[c][l] = {UNSET_BYTE, UNSET_BYTE};
        }
        if (setup.programs[c] >= 0) {
            db->layers[c][0].program = uint8_t(setup.programs[c]);
            db->layers[c][0].flags |= DB_FLAG_IN_USE;
            s->programMap[c][0] = {uint8_t(setup.programs[c]), 0};
        }
        if (setup.drum[c])
            db->layers[c][0].flags |= DB_FLAG_DRUM | DB_FLAG_IN_USE;
    }
    db->tempoDelta = setup.tempoDelta;
    db->transpose = setup.transpose;
    if (setup.bars) {
        inf->barCount = uint16_t(setup.bars->barCount());
        for (int b = 0; b < setup.bars->barCount() && b < MAX_BARS; ++b) {
            inf->barOffsets[b] = setup.bars->barOffset(b);
            inf->barTicks[b] = setup.bars->barTick(b);
        }
    }
    s->fileType = uint32_t(setup.fileType);
    s->port = NO_PORT;
    m->beatsPerBar = 4;
    m->beatUnit = 4;
    return startSongForTest(*s, *inf, *m, *db, data, length, start);
}
