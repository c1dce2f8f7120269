// Jumps of the engine: to another bar of the song in play, to a different
// song loaded into the second slot (at once or with a cross-fade), from an
// MP3 song to a MIDI song, and the fade-out of the song in play. A jump copies
// the target into the free slot and rebuilds the target's channel state at
// the jump bar as a short event list (the chase events); the interpreter
// switches slots at the arming bar and the fade task runs the fades.
//
// The actions are called on the GUI thread; they hold the engine's advance
// off while the slots change.
#pragma once

#include "StreamData.h"

#include <cstdint>

constexpr int MIDI_AUX_BUFFER_SIZE = 4096;

// Jump states (jumpStatus).
constexpr int JUMP_DIFFERENT_SONG = 1;   // loaded, its chase events waiting
constexpr int JUMP_SAME_SONG = 2;
constexpr int JUMP_FADE_OUT_ARMED = 4;
constexpr int JUMP_ARMED = 5;            // chase played: fires at the arming bar
constexpr int JUMP_CROSSFADE = 6;
constexpr int JUMP_FADE_IN = 10;
constexpr int JUMP_FADE_OUT = 11;

// Cueing modes (cueingMode).
constexpr int CUEING_IMMEDIATE = 0;
constexpr int CUEING_BACK_TWO_BARS = 1;
constexpr int CUEING_CROSSFADE = 3;
constexpr int CUEING_IMMEDIATE_MATCHED = 4;
constexpr int GOTO_OK = 49;
constexpr int GOTO_BUSY = 71;

// Chase events of channels 0-15, then those of channels 16-31.
extern uint8_t MidiAuxBuffer[MIDI_AUX_BUFFER_SIZE];
extern uint8_t *ptrMF5AuxBuffer;
// Channel volume the chase set for channels 0-15, 0 when none.
extern uint8_t IncomingVolume[16];

extern "C" {

// 1 when 100 * newBpm / oldBpm lies within 100 -+ the adjust rate; a BPM of 0
// or below never matches.
int isAutoBpm(int newBpm, int oldBpm);
// Both jump fade factors back to 20, both cross-fade terms back to full.
void ResetCueingFactor(void);
void UnPause(void);
// Cross-fade curve from the two songs' tempos (enable 0: immediate cueing).
void SelectAutoCueingMode(int slot, int enable);
// GOTO_OK, or GOTO_BUSY while a fade runs.
int TheGotoProcedure(MidiStream *stream);
// Writes the chase events of a song at bar into MidiAuxBuffer (second list
// when twoOutputs) and sets the song BPM of stream from the tempo in force.
// Whatever does not fit is left out, SysEx first; 0 when even the programs
// and end markers would not fit.
int SEQUENCER_EX_BuildChaseEvents(int bar, int twoOutputs, const MidiInfos *infos, MidiStream *stream);
int ActionJumpDifferentSong_TMP(s_StreamData *song, int bar);
int SEQUENCER_EX_ActionJumpImmediateDifferentSong(s_StreamData *song, int bar, int atBar);
int SEQUENCER_EX_ActionJumpFadingDifferentSong(s_StreamData *song, int bar, int atBar);
int SEQUENCER_EX_ActionJumpImmediateSameSong(int bar, int atBar);
int SEQUENCER_EX_ActionJumpMP3Midi(s_StreamData *song, int bar);
// mode 1: fade and stop; else fade for a jump.
int SEQUENCER_EX_ActionJumpFadeOutMidiInPlay(int bar, int mode);
int SEQUENCER_EX_ActionFadeInStartFromBar(int bar);
int SEQUENCER_EX_ActionJumpClear(void);

} // extern "C"
