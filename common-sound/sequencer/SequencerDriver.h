// The one host of the engine loop: runs the pass (what the real-time thread
// owes the outputs, the engine tick, the MIDI clock) and owns what the tick
// runs under: the sequencer mutex and the advance switch. The Sequencer's
// thread and the tests and tools share this pass, so they run the same code.
//
// With the simulated clock nothing runs by itself: the caller moves the time
// and runs passes, so a whole song plays in a fraction of a second with
// exact millisecond times; the engine's own waits (stop, rewind) advance the
// simulated clock pass by pass, and message times (RealTime::nowMs) follow
// it. With the monotonic clock a thread of the caller's calls
// pass(getTimeStampMilliSec()) about every millisecond and the engine's waits
// sleep.
#pragma once

#include "sequencer_ex.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace Sound {
class MidiInterface;
}

class SequencerDriver : public SequencerHost
{
public:
    enum class Clock { Simulated, Monotonic };

    // Installs itself as the engine's host (and, simulated, as the engine's
    // sleep and the message clock). One driver at a time.
    explicit SequencerDriver(Clock clock = Clock::Simulated);
    ~SequencerDriver() override;
    SequencerDriver(const SequencerDriver &) = delete;
    SequencerDriver &operator=(const SequencerDriver &) = delete;

    // The engine set-up a new Sequencer does: meters, volumes and harmonizer,
    // role pointers on the engine's own slots, staging records, melody muted,
    // insertion-effect pool.
    static void initEngine();

    // The outputs the pass serves (null: the pass only ticks).
    void setMidiInterface(Sound::MidiInterface *midiInterface) { m_midiInterface = midiInterface; }

    // One pass of the loop at ms, messages stamped with ms: what the outputs
    // deferred, at most one message from each of the send queues of outputs
    // 1, 2 and 4, the tick under the mutex, then the MIDI clocks due.
    void pass(uint64_t ms);
    // The tick alone: under the mutex the clock, then the tick with the
    // advance switch. On a real-time thread a held mutex skips the tick.
    void tickAt(uint64_t ms);

    // MIDI clock: while on, a Timing Clock (F8) goes to the output of the song
    // in play 24 times per quarter note, each stamped with its exact song time
    // (fractional milliseconds, following tempo changes, the user's tempo
    // offset and pauses); onClock(user) follows each.
    void setMidiClock(bool on) { m_midiClockOn.store(on); }
    bool midiClock() const { return m_midiClockOn.load(); }
    void setClockListener(void (*onClock)(void *), void *user);

    // Simulated clock.
    uint64_t now() const { return m_now.load(std::memory_order_relaxed); }
    // One pass at the current time.
    void tick();
    // ms times: the clock moves 1 ms, then one pass.
    void advance(uint64_t ms);
    // Advances millisecond by millisecond until done() holds (checked before
    // each step) or maxMs have passed; done()'s last value.
    bool runUntil(const std::function<bool()> &done, uint64_t maxMs);

    int setEnableIntrAdvance(int on) override;
    int getEnableIntrAdvance() override;

    std::mutex &mutex() { return m_mutex; }
    Clock clock() const { return m_clock; }
    uint64_t ticks() const { return m_ticks.load(std::memory_order_relaxed); }
    // The ms of the last tick: the moment the engine's current tick stood for.
    uint64_t lastTickMs() const { return m_lastTickMs.load(std::memory_order_relaxed); }

private:
    static void simulatedSleep(unsigned long ms, void *self);
    static double simulatedNow(void *self);
    // Under the mutex, after the tick.
    void midiClockAt(uint64_t ms);

    const Clock m_clock;
    Sound::MidiInterface *m_midiInterface = nullptr;
    std::mutex m_mutex;
    bool m_advance = true;           // under m_mutex
    std::atomic<uint64_t> m_now{0};
    std::atomic<uint64_t> m_ticks{0};
    std::atomic<uint64_t> m_lastTickMs{0};

    // MIDI clock state, pass thread only: song position in clocks at the
    // start of the running segment, and the next clock to send.
    std::atomic<bool> m_midiClockOn{false};
    void (*m_onClock)(void *) = nullptr;
    void *m_onClockUser = nullptr;
    bool m_clockRunning = false;
    uint64_t m_segmentBaseUs = 0;
    uint32_t m_segmentUsPerQuarter = 0;
    double m_segmentClocks = 0;
    uint64_t m_nextClock = 0;
};
