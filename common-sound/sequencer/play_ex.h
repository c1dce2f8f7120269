// Turns a loaded song into the engine's running slot 1: stops whatever plays,
// copies the song's four records and its event stream into the engine, applies
// the song's saved channel settings and tempo and key offsets, and lets the
// engine run, paused or playing.
#pragma once

#include "StreamData.h"

extern "C" {

// Runs on the caller's thread (the GUI thread), never inside the tick.
// start 0 leaves the song paused at its first event. 1 when the song is in
// the engine; 0 when the handle lacks a record or its stream, or no event
// buffer or engine port was free (nothing stays marked used then).
int PLAY_EX_PlayProcedure(unsigned start, s_StreamData *song);

// Points the engine's current pointers at a slot (0: slot 1). Always 1.
int PLAY_EX_InitAllBasicPtr(int slot);

} // extern "C"
