#include "rig.h"

#include "logmsg.h"
#include "sequencer_click.h"
#include "volumes.h"

#include <QTest>

namespace {
uint8_t g_ram[2][EVENT_BUFFER_SIZE];
} // namespace

EngineRig::EngineRig(Mode mode)
    : driver(mode == Simulated ? SequencerDriver::Clock::Simulated : SequencerDriver::Clock::Monotonic),
      m_mode(mode)
{
    if (mode == Simulated) {
        bind([this] { return double(driver.now()); });
        sigs.clock = [this] { return driver.now(); };
    } else {
        bind(nullptr);
        sigs.clock = [] { return getTimeStampMilliSec(); };
    }
    C_SIGNAL_SetSink(&sigs);

    SEQUENCER_EX_SetRamBuffers(g_ram[0], g_ram[1]);
    SequencerDriver::initEngine();
    SEQUENCER_EX_SetMelodyChannel(3);
    SEQUENCER_EX_RewindOnEOT(0);
    SEQUENCER_EX_SetGlobalTranspose(0);
    SEQUENCER_EX_SetFastRun(0);
    SEQUENCER_EX_SetClickTimeMod(0);
    SEQUENCER_EX_EnableClick(1);
    SEQUENCER_EX_SetHarmonizerSeqControl(0);
    melody_mirror.store(0);
    for (int g = 0; g < SEQ_SLIDER_GROUPS; ++g)
        SEQUENCER_EX_SetSlidersValue(g, 127);
    setMidiGeneralVolume(0, GENERAL_MUSIC_MAX);
    setMidiGeneralVolume(1, GENERAL_FADE_MAX);
    VOLUME_setMasterKFactor(127);
    if (mode == RealThread) {
        // The thread drains the send queues as the program's sequencer thread does.
        driver.setMidiInterface(&iface);
        m_thread = std::thread([this] {
            while (!m_quit.load()) {
                driver.pass(getTimeStampMilliSec());
                std::this_thread::sleep_for(std::chrono::microseconds(1000));
            }
        });
    }
    SEQUENCER_EX_ActionStop();
    for (int c = 0; c < SEQ_FLAT_CHANNELS; ++c)
        RT_info[c][RT_INFO_LAYER].store(0);
    if (mode == Simulated)
        driver.advance(5);
    clear();
    sigs.clear();
}

EngineRig::~EngineRig()
{
    SEQUENCER_EX_ActionStop();
    if (m_thread.joinable()) {
        m_quit.store(true);
        m_thread.join();
    }
    C_SIGNAL_SetSink(nullptr);
}

bool EngineRig::play(const std::vector<uint8_t> &stream, bool start, const SongSetup &setup)
{
    return loadSongForTest(stream, start, setup);
}

bool EngineRig::playToEnd(uint64_t maxMs)
{
    SEQUENCER_EX_ActionResume();
    if (m_mode == RealThread)
        return QTest::qWaitFor([this] { return songEnded(); }, int(maxMs));
    return driver.runUntil([this] { return songEnded(); }, maxMs);
}
