// How far a held note has decayed since it was struck (engine-private).
#pragma once

#include <cstdint>

// dB below its strike a note of a General MIDI program is, heldMs after it.
int noteDecayDb(uint8_t program, uint32_t heldMs);
// The velocity that strikes a note at the level a note struck at `velocity`
// has heldMs later; 0 when it has died away.
uint8_t velocityAfterDecay(uint8_t velocity, uint8_t program, uint32_t heldMs);
