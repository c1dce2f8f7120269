// The bare engine with recording devices on the six outputs of the real
// output layer, on a simulated clock or a tick thread of its own.
#pragma once

#include "SequencerDriver.h"
#include "sequencer_ex_p.h"
#include "sequencerrig.h"
#include "songloader.h"
#include "streambuilder.h"

#include <atomic>
#include <thread>

class EngineRig : public Outputs
{
public:
    // Simulated: the test drives the clock. RealThread: a thread of the rig
    // runs a tick about every millisecond on the monotonic clock.
    enum Mode { Simulated, RealThread };

    explicit EngineRig(Mode mode = Simulated);
    ~EngineRig();

    SequencerDriver driver;

    // Puts a stream into slot 1 as a song start does; paused unless start.
    bool play(const std::vector<uint8_t> &stream, bool start, const SongSetup &setup = SongSetup());
    // Resume, run until the song ended (or maxMs), return whether it ended.
    bool playToEnd(uint64_t maxMs = 600000);
    bool songEnded() const { return sigs.count("songEnded") > 0; }
    // How many Master Volumes were sent on an output.
    int masterVolumes(int output) const
    {
        int n = 0;
        for (const TimedMessage &m : withStatus(output, 0xF0))
            n += m.bytes.size() == 8 && m.bytes[1] == 0x7F && m.bytes[3] == 0x04;
        return n;
    }

private:
    const Mode m_mode;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

// The engine's host with a pass of the loop after every use of the advance
// switch, as the loop may take its turn whenever the switch is not held:
// what a held section leaves exposed shows up at once.
class InterleavingHost : public SequencerHost
{
public:
    explicit InterleavingHost(std::function<void()> pass)
        : m_pass(std::move(pass)), m_inner(SEQUENCER_EX_GetHost())
    {
        SEQUENCER_EX_SetHost(this);
    }
    ~InterleavingHost() override { SEQUENCER_EX_SetHost(m_inner); }
    int setEnableIntrAdvance(int on) override
    {
        const int previous = m_inner->setEnableIntrAdvance(on);
        m_pass();
        return previous;
    }
    int getEnableIntrAdvance() override { return m_inner->getEnableIntrAdvance(); }

private:
    std::function<void()> m_pass;
    SequencerHost *m_inner;
};
