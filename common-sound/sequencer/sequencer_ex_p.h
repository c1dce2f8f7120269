// Engine state shared by the engine's own modules (state and tick, event
// interpreter, click, fades, jumps). Not for callers outside the engine.
#pragma once

#include "held_notes.h"
#include "midioutput.h"
#include "sequencer_ex.h"

#include <atomic>
#include <cstdint>

// Log source of the engine module; the event interpreter, though in a file of
// its own, logs as part of it.
constexpr const char *SEQUENCER_EX_LOG_SRC = "../common-sound/sequencer/sequencer_ex";

// ---- song slots and pointer sets

extern MidiStream MidiStream1, MidiStream2;
extern MidiInfos midiInfo1, midiInfo2;
extern Mfi mfi1, mfi2;
extern Db dB1, dB2;

// Role pointers (first, second).
extern MidiStream *MidiStreamFirst, *MidiStreamSecond;
extern MidiInfos *midiInfoFirst, *midiInfoSecond;
extern Mfi *mfiFirst, *mfiSecond;
extern Db *dBFirst, *dBSecond;

// Current pointers: the slot an operation from another thread works on.
extern MidiStream *ptrMidiStream;
extern MidiInfos *ptrMidiInfos;
extern Mfi *ptrMfi;
extern Db *ptrDb;

// Interpreter pointers: the slot the tick is interpreting.
extern MidiStream *irqMidiStream;
extern MidiInfos *irqMidiInfoStream;
extern Mfi *irqMfi;
extern Db *irq_dbPtr;
extern uint8_t *irq_playbuf;
extern uint8_t *irq_sM;

extern uint8_t *ramBuffer[2];
extern std::atomic<uint8_t> ramBufferUsed[2];
extern uint8_t slotMsgBuf[2][SEQ_MSG_BUF_SIZE];
extern std::atomic<uint8_t> midiPortUsed[2];

// Staging records of an armed different-song jump.
extern MidiStream int_MidiStream;
extern MidiInfos int_MidiInfo;
extern Mfi int_mfi;
extern Db int_dB;

// ---- run state (written by one thread, read by the other)

extern std::atomic<uint8_t> stop;
extern std::atomic<uint8_t> reqStop;
extern std::atomic<uint16_t> stopchi;
extern std::atomic<int> stopTimer;
extern std::atomic<uint32_t> StFlag;
extern std::atomic<uint16_t> nowIsPlaying;
extern std::atomic<uint16_t> txtArea;
extern std::atomic<uint16_t> textStreamActive;
extern std::atomic<int> jumpStatus;
extern std::atomic<uint8_t> rewindOnEOT;
extern std::atomic<uint64_t> tCount;
extern std::atomic<uint8_t> innerUse;

// ---- melody, harmonizer and tempo settings

extern std::atomic<uint16_t> melodyChannel;
extern std::atomic<uint16_t> mute;
extern std::atomic<int> melody_mirror;
extern std::atomic<int> globalTranspose;
extern std::atomic<uint16_t> seq_fastRun;
extern std::atomic<uint16_t> tickFirstNote;
extern std::atomic<int> bpmAdjustRate;
extern std::atomic<uint8_t> autoSetBpm;
extern std::atomic<int> crossfadeCurve;
extern std::atomic<int> cueingMode;
extern std::atomic<int> harmonizer;
extern std::atomic<int> harmMode;
extern std::atomic<uint16_t> harmChannel;
extern uint8_t harmNotes[SEQ_HARM_NOTES];
extern std::atomic<int> precountBar;
extern std::atomic<uint32_t> prescalerMidiClock;

// ---- per-channel state

extern std::atomic<int16_t> noteOnVolume[SEQ_FLAT_CHANNELS];
constexpr int RT_INFO_PROGRAM = 2;
constexpr int RT_INFO_LAYER = 4;
extern std::atomic<uint8_t> RT_info[SEQ_FLAT_CHANNELS][5];
extern uint8_t volTrk[SEQ_FLAT_CHANNELS];
extern uint8_t lastVolTrk[SEQ_FLAT_CHANNELS];
extern uint8_t lastReverbSysEx[11];

extern RT_RECORD Rt;

// ---- interpreter statics

extern uint64_t autoBpmTime;
extern int autoBpmStep;
extern uint16_t seekPitchBend[SEQ_FLAT_CHANNELS];
extern uint8_t seekExpression[16];
extern int seekEventCount;
extern Db *savedDb;
extern const uint32_t deltasAutoset[5];
extern const uint8_t fadeTime[13];

// Timing of a slot that the records do not carry: the song is scheduled
// against absolute engine time, so the base is exact and 64-bit.
struct EngineSlotTiming {
    uint64_t baseUs;             // engine time of tick 0 of the running segment
    uint32_t usPerQuarter;       // effective tempo; 0 stands still
    uint32_t songUsPerQuarter;   // the song's own tempo (its last FF 51)
    int16_t songBpmOfTempo;      // the song BPM that tempo gave
    uint32_t nextAdvance;        // ticks from the pending event to the next one
    uint16_t bar;                // current bar (the record keeps 8 bits)
    uint8_t errorReported;
    uint8_t badNoteReported;
};
extern EngineSlotTiming engineSlot[2];

// Role index (0 first, 1 second) of a stream record; 0 for any other.
inline int slotIndexOf(const MidiStream *s)
{
    return (s && s == MidiStreamSecond) ? 1 : 0;
}
inline EngineSlotTiming &timingOf(const MidiStream *s)
{
    return engineSlot[slotIndexOf(s)];
}

// ---- stream flags, touched by both threads

inline uint32_t sflags(const MidiStream *s)
{
    return __atomic_load_n(&s->flags, __ATOMIC_RELAXED);
}
inline void sflagsSet(MidiStream *s, uint32_t bits)
{
    __atomic_fetch_or(&s->flags, bits, __ATOMIC_RELAXED);
}
inline void sflagsClear(MidiStream *s, uint32_t bits)
{
    __atomic_fetch_and(&s->flags, ~bits, __ATOMIC_RELAXED);
}
inline void sflagsAssign(MidiStream *s, uint32_t value)
{
    __atomic_store_n(&s->flags, value, __ATOMIC_RELAXED);
}
inline void stSet(uint32_t bits) { StFlag.fetch_or(bits, std::memory_order_relaxed); }
inline void stClear(uint32_t bits) { StFlag.fetch_and(~bits, std::memory_order_relaxed); }
inline bool stHas(uint32_t bits) { return (StFlag.load(std::memory_order_relaxed) & bits) != 0; }

inline uint64_t nowUs() { return tCount.load(std::memory_order_relaxed) * 500u; }

// ---- the output rule (midioutput.h)

// The song port a slot's events select now (its last port event): 0, 1, or
// -1 for none.
inline int selectedSongPort(const MidiStream *s)
{
    const uint32_t sel = sflags(s) & (SF_OUT_SEL_1 | SF_OUT_SEL_2);
    return sel == SF_OUT_SEL_1 ? 0 : sel == SF_OUT_SEL_2 ? 1 : -1;
}
// Where the slot's events go as they are read now.
inline MidiOutput eventOutput(const MidiStream *s) { return outputFor(s->port, selectedSongPort(s)); }
// The slot's own output. Its insertion effects are set up there, and its fade
// terms kept, whatever port its events select at the moment.
inline MidiOutput homeOutput(const MidiStream *s) { return ownOutput(s->port); }

// ---- helpers shared by the engine's modules

// Switches the engine's advance off for a scope and restores it after.
class AdvanceHold
{
public:
    AdvanceHold() : m_prev(SEQUENCER_EX_SetEnableIntrAdvance(0)) {}
    ~AdvanceHold() { SEQUENCER_EX_SetEnableIntrAdvance(m_prev); }
    AdvanceHold(const AdvanceHold &) = delete;
    AdvanceHold &operator=(const AdvanceHold &) = delete;

private:
    int m_prev;
};

// The real-time record is written by the tick and read by other threads.
inline int32_t rtBar() { return __atomic_load_n(&Rt.bar, __ATOMIC_RELAXED); }
inline void setRtBar(int32_t bar) { __atomic_store_n(&Rt.bar, bar, __ATOMIC_RELAXED); }
inline int32_t rtBeat() { return __atomic_load_n(&Rt.beat, __ATOMIC_RELAXED); }
inline void setRtBeat(int32_t beat) { __atomic_store_n(&Rt.beat, beat, __ATOMIC_RELAXED); }
inline uint64_t rtTick() { return __atomic_load_n(&Rt.tick, __ATOMIC_RELAXED); }
inline void setRtTick(uint64_t tick) { __atomic_store_n(&Rt.tick, tick, __ATOMIC_RELAXED); }

// Seek tables back to "nothing stored".
void clearSeekTables(void);

// Head size of a stream of a file type (MF4 carries a longer head).
uint32_t streamHeadSize(const MidiStream *s);
// Effective tempo of a stream in microseconds per quarter note (0: none).
uint32_t effectiveUsPerQuarter(const MidiStream *s);
// Recomputes a stream's tempo fields and re-bases its time at engine time atUs.
void recomputeTempo(MidiStream *s, uint64_t atUs);
// Re-bases a stream's time at engine time atUs with its current tempo.
void rebaseStream(MidiStream *s, uint64_t atUs);
// Role stream pointer of a slot (0/1).
MidiStream *roleStream(int slot);
Mfi *roleMfi(int slot);
Db *roleDb(int slot);
MidiInfos *roleInfos(int slot);
// Re-marks the event buffers from the occupied role slots.
void resetBufferStatus(void);
// Zeroes every non-zero meter and reports each.
void zeroAllMeters(void);
// Stop sound on flat channels 0-31 (held), melody-click reset, harmony release.
void silenceAll(void);
// The stream start and restart of the jump code.
void StartStream(MidiStream *s);
void RestartStream(MidiStream *s, Mfi *m);

// The interpreter (one run over the slot named by the interpreter pointers).
void CheckAdvance(void);
// The song has played its last event and waits for its last notes to be
// heard before it ends: no MIDI clock goes out meanwhile.
bool endTailWaiting(const MidiStream *s);
