// Runs the engine tick and owns what the tick runs under: the sequencer
// mutex and the advance switch. It is the engine's host, so held operations
// from other threads go through it.
//
// With the simulated clock nothing runs by itself: the caller sets the time
// and runs one tick, repeatedly, so a whole song plays in a fraction of a
// second with exact millisecond times; the engine's own waits (stop, rewind)
// advance the simulated clock tick by tick. With the monotonic clock a thread
// of the caller's calls tickAt(getTimeStampMilliSec()) about every
// millisecond and the engine's waits sleep.
#pragma once

#include "sequencer_ex.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

class SequencerDriver : public SequencerHost
{
public:
    enum class Clock { Simulated, Monotonic };

    // Installs itself as the engine's host (and, simulated, as the engine's
    // sleep). One driver at a time.
    explicit SequencerDriver(Clock clock = Clock::Simulated);
    ~SequencerDriver() override;
    SequencerDriver(const SequencerDriver &) = delete;
    SequencerDriver &operator=(const SequencerDriver &) = delete;

    // The engine set-up a new Sequencer does: meters, volumes and harmonizer,
    // role pointers on the engine's own slots, staging records, melody muted,
    // insertion-effect pool.
    static void initEngine();

    // One pass at time ms: under the mutex the clock, then the tick with the
    // advance switch.
    void tickAt(uint64_t ms);

    // Simulated clock.
    uint64_t now() const { return m_now.load(std::memory_order_relaxed); }
    void setTime(uint64_t ms) { m_now.store(ms, std::memory_order_relaxed); }
    // One tick at the current time.
    void tick();
    // ms times: the clock moves 1 ms, then one tick.
    void advance(uint64_t ms);
    // Advances millisecond by millisecond until done() holds (checked before
    // each step) or maxMs have passed; done()'s last value.
    bool runUntil(const std::function<bool()> &done, uint64_t maxMs);

    int setEnableIntrAdvance(int on) override;
    int getEnableIntrAdvance() override;

    std::mutex &mutex() { return m_mutex; }
    Clock clock() const { return m_clock; }
    uint64_t ticks() const { return m_ticks.load(std::memory_order_relaxed); }

private:
    static void simulatedSleep(unsigned long ms, void *self);

    const Clock m_clock;
    std::mutex m_mutex;
    bool m_advance = true;           // under m_mutex
    std::atomic<uint64_t> m_now{0};
    std::atomic<uint64_t> m_ticks{0};
};
