#include "SequencerDriver.h"

#include "MidiInterface.h"
#include "RealTime.h"
#include "cinterface.h"
#include "inserts.h"
#include "midioutput.h"

namespace {
constexpr double kClocksPerQuarter = 24.0;
const unsigned char kTimingClock = 0xF8;
} // namespace

SequencerDriver::SequencerDriver(Clock clock) : m_clock(clock)
{
    SEQUENCER_EX_SetHost(this);
    if (m_clock == Clock::Simulated) {
        CINTERFACE_SetSleepFunction(&SequencerDriver::simulatedSleep, this);
        RealTime::setClock(&SequencerDriver::simulatedNow, this);
    }
}

SequencerDriver::~SequencerDriver()
{
    if (m_clock == Clock::Simulated) {
        CINTERFACE_SetSleepFunction(nullptr, nullptr);
        RealTime::setClock(nullptr, nullptr);
    }
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

void SequencerDriver::setClockListener(void (*onClock)(void *), void *user)
{
    m_onClock = onClock;
    m_onClockUser = user;
}

void SequencerDriver::pass(uint64_t ms)
{
    const RealTime::MessageTime stamp{double(ms)};
    if (m_midiInterface) {
        m_midiInterface->flushDeferred();
        for (int output : {1, 2, 4})
            m_midiInterface->sendFirstQueued(output);
    }
    tickAt(ms);
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
    m_lastTickMs.store(ms, std::memory_order_relaxed);
    midiClockAt(ms);
}

void SequencerDriver::midiClockAt(uint64_t ms)
{
    uint64_t baseUs = 0, nowUs = 0;
    uint32_t usPerQuarter = 0;
    if (!SEQUENCER_EX_GetTempoSegment(&baseUs, &usPerQuarter, &nowUs)) {
        m_clockRunning = false;
        return;
    }
    if (!m_clockRunning) {
        m_clockRunning = true;
        m_segmentClocks = 0;
        m_nextClock = 0;
    } else if (baseUs != m_segmentBaseUs || usPerQuarter != m_segmentUsPerQuarter) {
        // The song position runs on across a tempo change: what the old
        // segment reached at the new segment's start.
        if (m_segmentUsPerQuarter && baseUs > m_segmentBaseUs)
            m_segmentClocks +=
                double(baseUs - m_segmentBaseUs) * kClocksPerQuarter / m_segmentUsPerQuarter;
    }
    m_segmentBaseUs = baseUs;
    m_segmentUsPerQuarter = usPerQuarter;
    if (usPerQuarter == 0)
        return;
    for (;;) {
        const double ahead = double(m_nextClock) - m_segmentClocks;
        const double atUs = double(baseUs) + ahead * usPerQuarter / kClocksPerQuarter;
        // Only once engine time has passed it: around a pause several passes
        // share one engine time, and only the last of them is the song's.
        if (atUs >= double(nowUs))
            return;
        if (m_midiClockOn.load(std::memory_order_relaxed)) {
            // Engine time stands still while paused; the pass's ms is now.
            const RealTime::MessageTime stamp(double(ms) - (double(nowUs) - atUs) / 1000.0);
            const int port = SEQUENCER_EX_MidiPortInPlay();
            if (m_midiInterface && (port == 0 || port == 1))
                m_midiInterface->sendString(ownOutput(port).number(), &kTimingClock, 1);
            if (m_onClock)
                m_onClock(m_onClockUser);
        }
        ++m_nextClock;
    }
}

void SequencerDriver::tick()
{
    pass(now());
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

double SequencerDriver::simulatedNow(void *self)
{
    return double(static_cast<SequencerDriver *>(self)->now());
}
