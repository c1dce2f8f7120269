// Watches the threads marked real-time (RealTime::ThreadScope: the sequencer
// loop, the synthesizer's render, a test's song-player device thread) while
// armed, and counts what they must never do: allocate or free (operator
// new/delete and the malloc family), take a blocking lock (std::mutex and
// std::shared_mutex through pthread's locks, QMutex, QRecursiveMutex,
// QReadWriteLock; a try-lock is allowed) or write (write, writev and
// stdio's writers, std::cout included).
//
// The executable that links realtimeguard.cpp runs with these functions
// replaced by counting ones that call the C library's or Qt's. A QMutex
// locks in inline code that calls QtCore only when the mutex is taken: the
// sanitizer build, which hands Qt's lock annotations to the guard, sees
// every QMutex lock; the others see one only when it had to wait. Two
// callers are counted apart: Debian's FluidSynth renders its reverb and
// chorus inside an OpenMP parallel region, and libgomp allocates and frees
// the region's team on every render call (openMpAllocations: what is
// allocated while FluidSynth's call of GOMP_parallel runs, or from
// libgomp's code); the locks FluidSynth takes itself, its API lock
// (fluidSynthLocks: by the library the call comes from). Neither is code of
// ours.
#pragma once

#include <QString>

#include <cstdint>

namespace RealTimeGuard {

// Operator new/delete and locks are counted (not under ThreadSanitizer,
// whose runtime owns them).
bool available();
// The malloc family and the writers too (not under Address- or
// ThreadSanitizer: their runtimes own malloc and intercept the writers).
bool countsMalloc();
// A QMutex lock that finds the mutex free too (the sanitizer build).
bool seesEveryQMutexLock();

// Counters to zero, then counting on or off.
void arm(bool on);

uint64_t allocations();
uint64_t locks();
uint64_t writes();
uint64_t openMpAllocations();
uint64_t fluidSynthLocks();

// One line per kind of ours counted (allocations, locks, writes), with
// where the first few calls came from: "function (file:line)" in the test
// program (the file and line where it has line tables), else
// "library(symbol+offset)"; empty when there were none.
QString report();

} // namespace RealTimeGuard
