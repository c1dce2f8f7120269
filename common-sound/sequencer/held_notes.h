// What the song holds on each channel of a role slot (engine-private), so
// that a pause, a key change, a mute, a solo or a melody mode loses nothing
// of it: the keys held down, the keys let go while the channel's sustain
// pedal holds them, the pitch each sounds at now and the level it was struck
// at. Drums are not kept: their sounds are struck once. Written by the
// interpreter and by held sections only.
#pragma once

#include "sequencer_ex.h"

#include <cstdint>

struct DbLayer;

constexpr uint8_t NOTE_NOT_STRUCK = 0xFF;
constexpr uint8_t NO_PROGRAM_SENT = 0xFF;
// Bit 7 of a strike's velocity: halved by the melody's SEMI mode.
constexpr uint8_t STRIKE_HALVED = 0x80;

struct HeldNotes {
    uint8_t velocity[SEQ_FLAT_CHANNELS][128];  // the song's, of each key held down (0: none)
    uint8_t pedalHeld[SEQ_FLAT_CHANNELS][128]; // the song's, of each key let go under the pedal
    uint8_t struck[SEQ_FLAT_CHANNELS][128];    // the pitch it sounds at; NOTE_NOT_STRUCK: silent
    // The velocity it was last struck with (or would have been, while a mute
    // or the melody mode kept it silent) and when, in engine milliseconds.
    uint8_t strikeVelocity[SEQ_FLAT_CHANNELS][128];
    uint32_t strikeMs[SEQ_FLAT_CHANNELS][128];
    uint8_t output[SEQ_FLAT_CHANNELS];   // 1 or 2: where the channel's notes went; 0 none yet
    uint8_t sustain[SEQ_FLAT_CHANNELS];  // the song's last sustain pedal sent
    uint8_t pedalCut[SEQ_FLAT_CHANNELS]; // a cut let the pedal go since
    uint8_t program[SEQ_FLAT_CHANNELS];  // the program last sent, NO_PROGRAM_SENT none

    // The song presses a key, and strikes it at `pitch` (NOTE_NOT_STRUCK: it
    // stays silent) with `velocity` at engine time nowMs.
    void press(int flat, uint8_t key, uint8_t songVelocity, uint8_t pitch, uint8_t velocity, uint32_t nowMs);
    // The song lets a key go: held on by the pedal when it is down.
    void letGo(int flat, uint8_t key);
    // The song's sustain pedal on a channel.
    void pedal(int flat, uint8_t value);
};
extern HeldNotes songHeld[2];

// Forgets what a role slot holds (a start, a seek, a close).
void heldNotesClear(int role);
// A stop-sound of one channel of an output (1..4) silenced what it held.
void heldNotesCut(int output, int channel);
// Asks the interpreter to sound a role slot's held notes as the channels'
// settings are now (key, mute, solo, melody mode) at its next run; atOnce:
// heard as soon as the output allows (a key change), not at the music's
// place a latency later.
void heldNotesResync(int role, bool atOnce = false);
// The interpreter's side of it, once per run of stream s: sends what a
// resync asked for, on the outputs the channels' notes went to.
void heldNotesRun(MidiStream *s, const Db *db);
// Whether a channel's notes may sound as the mix stands (mute, solo, the
// melody's OFF mode).
bool heldNoteAllowed(const Db *db, const DbLayer &layer, int flat);
