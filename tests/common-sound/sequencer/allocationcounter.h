// Counts heap allocations (operator new) and blocking mutex locks
// (pthread_mutex_lock) made on real-time threads (RealTime::ThreadScope)
// while armed. The whole test binary runs with these replacements.
#pragma once

#include <cstdint>

namespace AllocationCounter {
// False where the replacements cannot be installed (ThreadSanitizer).
bool available();
void arm(bool on);
uint64_t allocations();
// Locks on the real-time threads other than one marked as the audio device's
// (FluidSynth renders under its own API lock, which other threads take only
// for rare control calls).
uint64_t blockingLocks();
void markAudioThread();
} // namespace AllocationCounter
