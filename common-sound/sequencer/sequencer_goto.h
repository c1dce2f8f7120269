// Jumps between bars and songs, and the chase events that rebuild a song's
// channel state at a bar. The application starts no jump; the interpreter
// uses the tempo match at every jump it would execute.
#pragma once

#include <cstdint>

constexpr int MIDI_AUX_BUFFER_SIZE = 4096;

// Chase events of channels 0-15, then those of channels 16-31.
extern uint8_t MidiAuxBuffer[MIDI_AUX_BUFFER_SIZE];
extern uint8_t *ptrMF5AuxBuffer;

extern "C" {

// 1 when 100 * newBpm / oldBpm lies within 100 -+ the adjust rate; a BPM of 0
// or below never matches.
int isAutoBpm(int newBpm, int oldBpm);
// Both jump fade factors back to 20.
void ResetCueingFactor(void);

} // extern "C"
