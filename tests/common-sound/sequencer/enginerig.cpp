#include "enginerig.h"

#include "inserts.h"
#include "logmsg.h"
#include "midi_controls.h"
#include "sequencer_click.h"
#include "sequencer_ex_p.h"
#include "volumes.h"

#include <QByteArray>
#include <QList>
#include <QLoggingCategory>
#include <cstring>

namespace {
uint8_t g_ram[2][EVENT_BUFFER_SIZE];
}

void SignalLog::add(const char *name, int a, int b, int c)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back({name, a, b, c, clock ? clock() : 0});
}

std::vector<SignalEvent> SignalLog::all() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

std::vector<SignalEvent> SignalLog::named(const std::string &name) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<SignalEvent> r;
    for (const SignalEvent &e : m_events)
        if (e.name == name)
            r.push_back(e);
    return r;
}

int SignalLog::count(const std::string &name) const
{
    return int(named(name).size());
}

void SignalLog::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.clear();
}

EngineRig::EngineRig(Mode mode)
    : driver(mode == Simulated ? SequencerDriver::Clock::Simulated : SequencerDriver::Clock::Monotonic),
      m_mode(mode)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\ndefault.info=false"));
    QList<IMidiOutput *> ports;
    for (RecordingMidiOutput &o : out) {
        if (mode == Simulated)
            o.setClock([this] { return double(driver.now()); });
        ports << &o;
    }
    iface.initMidiOutPortsSound(ports);
    iface.config_GS_RESET(1);
    if (mode == Simulated)
        sigs.clock = [this] { return driver.now(); };
    else
        sigs.clock = [] { return getTimeStampMilliSec(); };
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
    VOLUME_setMasterKFactor(127);
    if (mode == RealThread) {
        // The thread drains the send queues as the program's sequencer thread does.
        driver.setMidiInterface(&iface);
        m_thread = std::thread([this] { tickLoop(); });
    }
    SEQUENCER_EX_ActionStop();
    for (int c = 0; c < SEQ_FLAT_CHANNELS; ++c)
        RT_info[c][RT_INFO_LAYER].store(0);
    if (mode == Simulated)
        driver.advance(5);
    clearOutputs();
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

void EngineRig::tickLoop()
{
    while (!m_quit.load()) {
        driver.pass(getTimeStampMilliSec());
        std::this_thread::sleep_for(std::chrono::microseconds(1000));
    }
}

bool EngineRig::waitFor(const std::function<bool()> &done, int maxMs)
{
    const uint64_t until = getTimeStampMilliSec() + uint64_t(maxMs);
    while (!done()) {
        if (getTimeStampMilliSec() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool EngineRig::play(const std::vector<uint8_t> &stream, bool start, const SongSetup &setup)
{
    return loadSongForTest(stream, start, setup);
}

bool EngineRig::songEnded() const
{
    return sigs.count("fineBrano") > 0;
}

bool EngineRig::playToEnd(uint64_t maxMs)
{
    SEQUENCER_EX_ActionResume();
    if (m_mode == RealThread)
        return waitFor([this] { return songEnded(); }, int(maxMs));
    return driver.runUntil([this] { return songEnded(); }, maxMs);
}

void EngineRig::clearOutputs()
{
    for (RecordingMidiOutput &o : out)
        o.clear();
}

std::vector<TimedMessage> EngineRig::messages(int output) const
{
    std::vector<TimedMessage> r;
    for (const RecordingMidiOutput::Message &m : out[output - 1].messages())
        r.push_back({m.bytes, uint64_t(m.timeMs)});
    return r;
}

std::vector<TimedMessage> EngineRig::noteOns(int output) const
{
    std::vector<TimedMessage> r;
    for (const TimedMessage &m : messages(output))
        if (m.bytes.size() >= 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0)
            r.push_back(m);
    return r;
}

std::vector<TimedMessage> EngineRig::withStatus(int output, uint8_t status, bool anyChannel) const
{
    std::vector<TimedMessage> r;
    for (const TimedMessage &m : messages(output)) {
        if (m.bytes.empty())
            continue;
        const uint8_t s = anyChannel ? uint8_t(m.bytes[0] & 0xF0) : m.bytes[0];
        if (s == status)
            r.push_back(m);
    }
    return r;
}

QByteArray hex(const std::vector<uint8_t> &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())).toHex(' ');
}
