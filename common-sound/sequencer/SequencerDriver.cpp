#include "SequencerDriver.h"

#include "RealTime.h"
#include "cinterface.h"
#include "inserts.h"

SequencerDriver::SequencerDriver(Clock clock) : m_clock(clock)
{
    SEQUENCER_EX_SetHost(this);
    if (m_clock == Clock::Simulated)
        CINTERFACE_SetSleepFunction(&SequencerDriver::simulatedSleep, this);
}

SequencerDriver::~SequencerDriver()
{
    if (m_clock == Clock::Simulated)
        CINTERFACE_SetSleepFunction(nullptr, nullptr);
    if (SEQUENCER_EX_GetHost() == this)
        SEQUENCER_EX_SetHost(nullptr);
}

void SequencerDriver::initEngine()
{
    SEQUENCER_EX_ResetAllNoteOnVolume();
    SEQUENCER_EX_InitVolumes();
    SEQUENCER_EX_BindOwnSlots();
    SEQUENCER_EX_ClearNextStructures();
    SEQUENCER_EX_SetMelodyMode(1);
    INSERTS_Init();
}

void SequencerDriver::tickAt(uint64_t ms)
{
    // Other threads hold the mutex only to flip the advance switch; the
    // real-time loop never waits for them and ticks again a millisecond on.
    std::unique_lock<std::mutex> lock(m_mutex, std::defer_lock);
    if (RealTime::isRealTimeThread()) {
        if (!lock.try_lock())
            return;
    } else {
        lock.lock();
    }
    SEQUENCER_EX_SetTcount(ms);
    SEQUENCER_EX_MidiSequencer(m_advance ? 1 : 0);
    m_ticks.fetch_add(1, std::memory_order_relaxed);
}

void SequencerDriver::tick()
{
    tickAt(now());
}

void SequencerDriver::advance(uint64_t ms)
{
    for (uint64_t i = 0; i < ms; ++i) {
        m_now.fetch_add(1, std::memory_order_relaxed);
        tick();
    }
}

bool SequencerDriver::runUntil(const std::function<bool()> &done, uint64_t maxMs)
{
    for (uint64_t i = 0; i < maxMs; ++i) {
        if (done())
            return true;
        advance(1);
    }
    return done();
}

int SequencerDriver::setEnableIntrAdvance(int on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int previous = m_advance ? 1 : 0;
    m_advance = on != 0;
    return previous;
}

int SequencerDriver::getEnableIntrAdvance()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_advance ? 1 : 0;
}

void SequencerDriver::simulatedSleep(unsigned long ms, void *self)
{
    static_cast<SequencerDriver *>(self)->advance(ms);
}
