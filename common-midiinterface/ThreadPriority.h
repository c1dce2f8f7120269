// Real-time scheduling for the threads that keep the music in time: the
// sequencer loop, the synthesizer's audio callback and the song player's
// audio callback.
//
// A thread is raised first with sched_setscheduler (which works for root and
// for users the system lets have real-time priority), then through
// RealtimeKit on the system D-Bus, the desktop's usual way for everyone else.
// Both can be refused: the thread then keeps the normal policy, the first
// refusal is logged once, and status() says so for the settings page. The
// music still keeps time then; the synthesizer covers the late wake-ups with
// its latency (SoftSynth).
//
// Where real-time CPU time is limited (RealtimeKit demands it), the kernel
// kills the process when a real-time thread reaches the hard limit without
// sleeping once. The soft limit is kept below it: on its SIGXCPU every thread
// raised here goes back to normal scheduling, report() and grant() say so,
// the log says so from the helper thread, and the music plays on. Once no
// stall has come for 10 s (twice as long after each further drop) the
// helper raises the threads that were dropped again.
//
// Threads: raiseThisThread may block for a D-Bus round trip, so a thread
// calls it before its real-time loop. An audio callback, which must never
// block, calls askForThisThread: a helper thread does the asking.
#pragma once

#include <string>

namespace ThreadPriority {

enum class Role { Sequencer, Synthesizer, AudioPlayer };
constexpr int kRoles = 3;

enum class Grant { NotAsked, Granted, Refused };

// SCHED_RR priorities asked for (capped by what the system allows); the
// sequencer above the callbacks it feeds.
constexpr int kSequencerPriority = 80;
constexpr int kCallbackPriority = 70;

// Real-time scheduling for the calling thread; true when it runs real-time
// afterwards. May block up to about a second (D-Bus).
bool raiseThisThread(Role role, int priority);

// From an audio callback: lock-free and allocation-free. When the thread does
// not run real-time yet (the audio library may have raised it already), a
// helper thread asks for it. startHelper() must have run on an ordinary
// thread before the callback's stream started.
void askForThisThread(Role role, int priority);
// Also guards a limit of real-time CPU time set by now.
void startHelper();

Grant grant(Role role);
// True when a thread asked and was refused.
bool refused();
// One line for the log and the settings page: per role what was granted.
std::string report();

// Tests: forget what was asked and granted, and log the next refusal again.
void resetForTest();

} // namespace ThreadPriority
