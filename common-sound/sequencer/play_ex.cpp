#include "play_ex.h"

#include "RealTime.h"
#include "SongSettings.h"
#include "inserts.h"
#include "logmsg.h"
#include "sequencer_click.h"
#include "sequencer_ex_p.h"
#include "sequencer_signals.h"
#include "volumes.h"

#include <cstring>

namespace {
const char *const LOG_SRC = "../common-sound/sequencer/play_ex";

// Stream flags a song start sets and clears.
constexpr uint32_t START_FLAGS_CLEAR = SF_SECOND_PORT_COPY | SF_OUT_SEL_2 | SF_FADE_OUT_NOW |
                                       SF_AUDIBLE;
constexpr uint32_t START_FLAGS_SET = SF_AUDIBLE | SF_OUT_SEL_1;

const uint8_t *songEvents(const s_StreamData *song)
{
    return song->mfi->buffer ? song->mfi->buffer : song->eventBuffer;
}
} // namespace

int PLAY_EX_PlayProcedure(unsigned start, s_StreamData *song)
{
    if (!song || !song->midiStream || !song->midiInfos || !song->mfi || !song->db ||
        !songEvents(song)) {
        rtLogMsg(1, LOG_SRC, __LINE__, "[PLAY_EX_PlayProcedure] incomplete song handle");
        return 0;
    }

    // Stop before taking a port: the stop frees both, and a port taken before
    // it would be marked free again while the new song still names it.
    if (!SEQUENCER_EX_Stop())
        SEQUENCER_EX_ActionStop();

    const int port = SEQUENCER_EX_GetFreeMidiPort();
    rtLogMsg(3, LOG_SRC, __LINE__, "[PLAY_EX_PlayProcedure] start=%i slot=%i port=%i", int(start),
             int(song->slotFlag), port);
    if (port < 0) {
        rtLogMsg(1, LOG_SRC, __LINE__, "[PLAY_EX_PlayProcedure] no free MIDI port");
        return 0;
    }
    int index = -1;
    uint8_t *buffer = SEQUENCER_EX_GetFreeBuffer(&index);
    // Slot 1 reads the first event buffer; with it taken the song cannot start.
    if (!buffer || index != 0) {
        rtLogMsg(1, LOG_SRC, __LINE__, "[PLAY_EX_PlayProcedure] no free event buffer");
        freeMidiPortMF5(port);
        resetBufferStatus();
        return 0;
    }

    SEQUENCER_EX_AssignPtrs(0);
    MidiStream *stream = ptrMidiStream;
    MidiInfos *infos = ptrMidiInfos;
    Mfi *mfi = ptrMfi;
    Db *db = ptrDb;

    updateMidiGeneralVol();
    SEQUENCER_EX_ClearWorkStructures();

    // The engine works on its own copies from here on; the song's records are
    // never read again while it plays.
    std::memcpy(infos, song->midiInfos, sizeof *infos);
    std::memcpy(stream, song->midiStream, sizeof *stream);
    std::memcpy(mfi, song->mfi, sizeof *mfi);
    std::memcpy(db, song->db, sizeof *db);
    if (mfi->streamLength > EVENT_BUFFER_SIZE)
        mfi->streamLength = EVENT_BUFFER_SIZE;
    // The song's events only: the engine reads no further.
    std::memcpy(buffer, songEvents(song), mfi->streamLength);

    stream->db = db;
    infos->db = db;
    mfi->buffer = buffer;
    stream->port = uint8_t(port);

    SEQUENCER_EX_SetEnableIntrAdvance(0);
    stream->slotByte = uint8_t(index + 1);
    const int area = SEQUENCER_EX_getAssociateTextArea(mfi);
    infos->textAreaWord = uint16_t(area);
    C_SIGNAL_SetNowIsPlaying(area);
    txtArea.store(uint16_t(area));
    VOLUMES_ClearLastSliders();
    sflagsAssign(stream, (sflags(stream) & ~START_FLAGS_CLEAR) | START_FLAGS_SET);
    stClear(ST_TEMPO_RECOMPUTE | ST_GOTO_PENDING);
    jumpStatus.store(0);
    rewindOnEOT.store(0);
    SEQUENCER_EX_SetPause(start == 0);
    sflagsClear(stream, SF_CHASE_FADE_IN | SF_SUSPENDED);
    mfi->messageLength = 0;
    stClear(ST_CROSSFADE);
    // An unset program stays unset (0xFF): such a channel belongs to no mixer
    // group rather than to the group of program 127.
    for (int c = 0; c < NUM_SLOTS; ++c)
        EX_SEQUENCER_SetRealTimeProgramChange(c, db->layers[c][0].program);
    SEQUENCER_EX_SetEnableIntrAdvance(1);

    stream->startBar = 0;
    updateMidiAllChanelVolumes();
    SEQUENCER_EX_ResetFadingVolume();
    SEQUENCER_EX_InitPrecountBar();
    C_SIGNAL_UpdatePots(1);

    if (mfi->tpqn == 0)
        mfi->tpqn = uint16_t((buffer[12] << 8) | buffer[13]);
    // The saved offsets go in before the first tempo computation, so a song
    // without a tempo event plays at 120 BPM plus its offset from the start.
    stream->userTempoDelta = db->tempoDelta;
    stream->transpose = db->transpose;
    stream->currentBar = 0;
    stream->songBpm = SEQ_DEFAULT_BPM;
    ComputeTime(stream);
    mfi->errorCode = 0;
    SEQUENCER_EX_ResetReadPosition(stream, mfi);
    mfi->noteSeen = 0;
    soloRecal(db);
    mfi->fastRun = uint16_t(SEQUENCER_EX_GetFastRun());
    tickFirstNote.store(0);

    int length = 0;
    INSERTS_LoadAllFromDb(db, port, nullptr, &length);
    INSERTS_GetConfig(stream->insertConfig);

    SEQUENCER_EX_Run();
    if (SEQUENCER_EX_GetHarmonizerSeqControl())
        ResumeHarmonizer();
    return 1;
}

int PLAY_EX_InitAllBasicPtr(int slot)
{
    return SEQUENCER_EX_AssignPtrs(slot);
}
