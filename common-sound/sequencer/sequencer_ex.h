// The sequencer engine: two song slots, the engine clock counted in
// half-milliseconds, one tick of work per pass, stop, pause, seek by bar,
// tempo and transpose offsets, the melody channel and the harmonizer.
//
// The engine's state is file-scope. The host (the Sequencer thread, or a
// SequencerDriver in tests and tools) calls SEQUENCER_EX_SetTcount and then
// SEQUENCER_EX_MidiSequencer once per pass with the sequencer mutex held. Any
// other thread changes engine state only between
// SEQUENCER_EX_SetEnableIntrAdvance(0) and the restore of the value it
// returned ("held" below); calls made from inside the tick never take the
// mutex, so held operations may be called from anywhere.
#pragma once

#include "StreamData.h"

#include <cstdint>

// Who runs the tick: owns the sequencer mutex and the advance switch.
class SequencerHost
{
public:
    // Under the sequencer mutex: stores on != 0, returns the previous value.
    virtual int setEnableIntrAdvance(int on) = 0;
    virtual int getEnableIntrAdvance() = 0;
    virtual ~SequencerHost() = default;
};

// Installs the host (null: none; held sections then do nothing).
void SEQUENCER_EX_SetHost(SequencerHost *host);
SequencerHost *SEQUENCER_EX_GetHost();
// True on the thread that is running SEQUENCER_EX_MidiSequencer right now.
bool SEQUENCER_EX_InsideTick();

// Stream flag bits (MidiStream::flags).
constexpr uint32_t SF_PENDING = 0x1;        // an event waits for its time
constexpr uint32_t SF_SUSPENDED = 0x2;
constexpr uint32_t SF_SUSPEND_AT_NOTE = 0x4;
constexpr uint32_t SF_SECOND_PORT_COPY = 0x8;
constexpr uint32_t SF_JUMP_AT_BAR = 0x10;
constexpr uint32_t SF_CHASE = 0x20;
constexpr uint32_t SF_SKIP_DELTA = 0x40;
constexpr uint32_t SF_CHASE_FADE_IN = 0x80;
constexpr uint32_t SF_AUTO_BPM = 0x100;
constexpr uint32_t SF_OUT_SEL_1 = 0x200;
constexpr uint32_t SF_OUT_SEL_2 = 0x400;
constexpr uint32_t SF_FADE_OUT_NOW = 0x800;
constexpr uint32_t SF_CHASE_HIGH = 0x1000;
constexpr uint32_t SF_AUDIBLE = 0x2000;
constexpr uint32_t SF_XFADE_SAVED_DB = 0x4000;
constexpr uint32_t SF_XFADE_OWN_DB = 0x8000;
constexpr uint32_t SF_USES_SECOND_PORT = STREAM_FLAG_SECOND_PORT;
constexpr uint32_t SF_FORWARD_SEEK = 0x20000;
constexpr uint32_t SF_REWIND = 0x40000;
constexpr uint32_t SF_SEEK_AT_BAR = 0x80000;
constexpr uint32_t SF_FADE_AND_STOP = 0x100000;

// Engine status bits (StFlag).
constexpr uint32_t ST_PAUSE = 0x04;
constexpr uint32_t ST_GOTO_PENDING = 0x08;
constexpr uint32_t ST_CROSSFADE = 0x10;
constexpr uint32_t ST_JUMP_PREPARED = 0x20;
constexpr uint32_t ST_TEMPO_RECOMPUTE = 0x40;
constexpr uint32_t ST_SHORT_MODE = 0x800;
constexpr uint32_t ST_WIZARD_MODE = 0x1000;

// Why the engine stopped (SEQUENCER_EX_GetStopReason).
constexpr int STOPCHI_REQUEST = 1;
constexpr int STOPCHI_BAD_DELTA = 3;
constexpr int STOPCHI_END_OF_TRACK = 4;
constexpr int STOPCHI_SONG_END = 5;
constexpr int STOPCHI_FADE_STOP = 7;

// Stream read errors (Mfi::errorCode).
constexpr uint16_t SEQ_ERR_BAD_DELTA = 4;
constexpr uint16_t SEQ_ERR_BAD_STATUS = 6;
constexpr uint16_t SEQ_ERR_PAST_END = 20;
constexpr uint16_t SEQ_ERR_SYSEX_TOO_LONG = 126;

constexpr int SEQ_FLAT_CHANNELS = NUM_SLOTS;      // 32: port * 16 + channel
constexpr int SEQ_SLIDER_GROUPS = 6;
constexpr int SEQ_HARM_NOTES = 4;
constexpr int SEQ_MSG_BUF_SIZE = 256;
constexpr int SEQ_MAX_SYSEX_DATA = 126;           // bytes after F0 in one message
constexpr int SEQ_MAX_META_STORED = 127;          // last message index a meta event fills
constexpr uint32_t SEQ_DEFAULT_US_PER_QUARTER = 500000;  // 120 BPM
constexpr int SEQ_DEFAULT_BPM = 120;

// Real-time record of the song in play.
struct RT_RECORD {
    int32_t bar;
    int32_t beat;
    uint64_t tick;               // song position in ticks
    int32_t countInBar;
};

extern "C" {

// ---- the tick and the clock

// One pass: honours a stop request, interprets both slots (when advance is on,
// not stopped, not paused), runs the fade and the volume tasks.
void SEQUENCER_EX_MidiSequencer(uint8_t advanceEnabled);
// Advances the clock to a monotonic millisecond stamp; frozen while paused
// (the first stamp after a freeze only becomes the new reference).
void SEQUENCER_EX_SetTcount(uint64_t ms);
// The advance switch through the host: previous value; 0 without a host; 1 at
// once when called from inside the tick.
int SEQUENCER_EX_SetEnableIntrAdvance(int on);
uint8_t SEQUENCER_EX_InnerUse(void);

// ---- run state

void SEQUENCER_EX_Run(void);
uint8_t SEQUENCER_EX_Stop(void);       // 1 when stopped
int SEQUENCER_EX_IsRunning(void);
int SEQUENCER_EX_GetStopReason(void);  // STOPCHI_*
// Stops and empties both slots, resets the outputs; waits (bounded) for the
// tick to acknowledge.
void SEQUENCER_EX_ActionStop(void);
void SEQUENCER_EX_WaitStop(void);
void SEQUENCER_EX_SetPause(int on);
// Pauses and silences every channel; nothing when already paused.
void SEQUENCER_EX_ActionPause(void);
// Resumes; the notes the song held at the pause sound again (drums not).
void SEQUENCER_EX_ActionResume(void);
int SEQUENCER_EX_GetPause(void);       // -1 paused, 0 not
uint32_t SEQUENCER_EX_GetStFlag(void);

// ---- sound

void SEQUENCER_EX_StopSoundChan(int flatChannel);          // held
void SEQUENCER_EX_StopSoundChanAtPort(int port, int chan);  // held
// Stop sound on flat channels 0-31, melody-click reset, harmony release.
void SEQUENCER_EX_StopSound(void);
// What the song holds and may sound now (after an unmute, a solo's end, a
// melody let in) is struck anew at the interpreter's next run.
void SEQUENCER_EX_SoundHeldNotes(void);

// ---- tempo, transpose, seek

// User tempo offset of the slot in play (BPM); takes effect at its next event.
void SEQUENCER_EX_SetDeltaBpmCurrent(int delta);
// User transpose of the slot in play (semitones); the notes held move to the
// new key at the next run, nothing else is cut. Held.
void SEQUENCER_EX_SetDeltaTransposeCurrent(int delta);
// Tempo of a stream from its three BPM fields; re-bases its time at now.
void ComputeTime(MidiStream *stream);
// 1 accepted. atBar above the current bar arms the seek for when that bar is
// reached; a seek to the current bar (other than bar 0, the start) only
// silences and reports completion. 0 without a song in play.
int SEQUENCER_EX_SeekBar(int bar, int atBar);
int SEQUENCER_EX_ForwardToTargetBar(int bar);
void SEQUENCER_EX_RewindToTargetBar(int bar);
void SEQUENCER_EX_ClearSeekFlags(void);

// ---- slots, buffers, ports

int SEQUENCER_EX_AssignPtrs(int slot);
void SEQUENCER_EX_SetMidiStream1(MidiStream *s);
void SEQUENCER_EX_SetMidiStream2(MidiStream *s);
void SEQUENCER_EX_SetMfi1(Mfi *m);
void SEQUENCER_EX_SetMfi2(Mfi *m);
void SEQUENCER_EX_SetMidiInfo1(MidiInfos *i);
void SEQUENCER_EX_SetMidiInfo2(MidiInfos *i);
void SEQUENCER_EX_SetDb1(Db *d);
void SEQUENCER_EX_SetDb2(Db *d);
// Binds the role pointers to the engine's own physical slots 1 and 2.
void SEQUENCER_EX_BindOwnSlots(void);
MidiStream *SEQUENCER_EX_GetMidiStream1(void);
MidiStream *SEQUENCER_EX_GetMidiStream2(void);
Mfi *SEQUENCER_EX_GetMfi1(void);
Mfi *SEQUENCER_EX_GetMfi2(void);
MidiInfos *SEQUENCER_EX_GetMidiInfo1(void);
MidiInfos *SEQUENCER_EX_GetMidiInfo2(void);
Db *SEQUENCER_EX_GetDb1(void);
Db *SEQUENCER_EX_GetDb2(void);
MidiStream *SEQUENCER_EX_GetMidiStreamInPlay(void);
MidiInfos *SEQUENCER_EX_GetMidiInfoInPlay(void);
Db *SEQUENCER_EX_GetDbInPlay(void);
int SEQUENCER_EX_MidiPortInPlay(void);

void SEQUENCER_EX_SetRamBuffers(uint8_t *buffer0, uint8_t *buffer1);
// Marks the first free event buffer used; null and index -1 when none.
uint8_t *SEQUENCER_EX_GetFreeBuffer(int *index);
int SEQUENCER_EX_getAssociateTextArea(const Mfi *mfi);
int SEQUENCER_EX_GetNumUsedBuffer(void);
// Marks the first free engine port used; -1 when both are used.
int SEQUENCER_EX_GetFreeMidiPort(void);
void freeMidiPort(int port, int reset);
void freeMidiPortMF5(int port);
void SEQUENCER_EX_ClearWorkStructures(void);
void SEQUENCER_EX_ClearNextStructures(void);
int IsNextStructuresEmpty(void);

// Positions a stream at its first event (after the head and the first delta,
// which becomes the first event's tick) with a fresh reader state.
void SEQUENCER_EX_ResetReadPosition(MidiStream *stream, Mfi *mfi);

void CloseStream(int which);
void CloseActualStream(int sendReset);
void CloseActualStreamMF5(void);
void LoadActualStreamForSetupMF5(void);
void setTextAreaActive(int slot);
void freeAllMidiRes(void);
void resetAllMidiChannels(void);
void resetMidiChannels(void);
// Sends the interpreter's message buffer by the stream's routing rule.
void MidiWS(void);
void assignIrqStructPtr(int slot);

// ---- per-channel state

int16_t SEQUENCER_EX_GetNoteOnVolume(int flatChannel);
void SEQUENCER_EX_SetNoteOnVolume(int flatChannel, int layer, int value);
void SEQUENCER_EX_ResetAllNoteOnVolume(void);
void UpdateNoteOnOfDrumTrack(uint32_t amount);
void EX_SEQUENCER_SetRealTimeProgramChange(int flatChannel, int program);
int EX_SEQUENCER_GetRealTimeProgramChange(int flatChannel);
void SEQUENCER_EX_SetSlidersValue(int group, int value);
void GetsSliderVolStrumPannel(void);

// ---- melody, harmonizer, settings

void SEQUENCER_EX_SetMelodyChannel(int channel);
int SEQUENCER_EX_GetMelodyChannel(void);
int SEQUENCER_EX_SetMelodyMode(int mode);
int SEQUENCER_EX_ChangeMelodyMode(int mode);
void SEQUENCER_EX_SetHarmonizerSeqControl(int on);
void SEQUENCER_EX_SetHarmonyTrack(int channel);
void SEQUENCER_EX_SetHarmonyMode(int mode);
int SEQUENCER_EX_GetHarmonizerSeqControl(void);
int SEQUENCER_EX_GetHarmonyMode(void);
int SEQUENCER_EX_GetHarmonyTrack(void);
void SEQUENCER_EX_SendHarmAllNoteOff(void);
void ResumeHarmonizer(void);
void SeqInitHarm(void);
int SendHarmNoteOn(uint8_t note, uint8_t *msg);
int SendHarmNoteOff(uint8_t note, uint8_t *msg);
void SEQUENCER_EX_InitVolumes(void);
void SEQUENCER_EX_SetFastRun(int on);
int SEQUENCER_EX_GetFastRun(void);
int SEQUENCER_EX_GetTickFirstNote(void);
void SEQUENCER_EX_SetCueingMode(int mode);
void SEQUENCER_EX_SetCrossFadeCurve(int curve);
void SEQUENCER_EX_SetAutoBpmAdjustRate(int rate);
void SEQUENCER_EX_SetGlobalTranspose(int semitones);
void SEQUENCER_EX_SetEnableAutoSetBpm(int on);
void SEQUENCER_EX_RewindOnEOT(int on);
void SEQUENCER_EX_SetShortMode(int on);
void SEQUENCER_EX_SetWizardMode(int on);

// ---- getters

int SEQUENCER_EX_GetCurrentBPM(void);
// The song in play's position on the engine's clock, in ticks (the events
// read ahead of it not counted).
uint32_t SEQUENCER_EX_GetCurrentTick(void);
int SEQUENCER_EX_IsValidTick(void);
int SEQUENCER_EX_GetCurrentBar(void);
uint32_t SEQUENCER_EX_GetPrescalerMidiClock(void);
// The running tempo segment of the song in play, in engine time (which stands
// still while paused): tick 0 of the segment at *baseUs, *usPerQuarter per
// quarter note (0: standing still), engine time now. 0 when nothing runs.
// Within the tick or under the sequencer mutex.
int SEQUENCER_EX_GetTempoSegment(uint64_t *baseUs, uint32_t *usPerQuarter, uint64_t *nowUs);
int getFadeBeat(int slot);
int SEQUENCER_EX_getFadeBeatFromBPM(int bpm);
int SEQUENCER_EX_GetSubTrackIndx(void);
MidiStream *getMidiStreamPtr(int slot);
MidiStream *EX_SEQUENCER_GetMidiStreamPtr(void);

// ---- rarely used

void SEQUENCER_EX_logEvents(int port, const uint8_t *bytes, int n);
void SEQUENCER_EX_MasterKeb_Volume(int volume);
void SEQUENCER_EX_MIDI_MKbrd_GeneralVolume(int volume);

} // extern "C"

