// The engine on a simulated clock with recording devices on the six outputs
// of the real output layer, and a recorder of the engine's sigs.
#pragma once

#include "MidiInterface.h"
#include "RecordingMidiOutput.h"
#include "SequencerDriver.h"
#include "sequencer_signals.h"
#include "songloader.h"
#include "streambuilder.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

struct SignalEvent {
    std::string name;
    int a = 0;
    int b = 0;
    int c = 0;
    uint64_t ms = 0;
};

class SignalLog : public SequencerSignalSink
{
public:
    std::function<uint64_t()> clock;

    void noteOnVolumeChanged(int f, int l, int v) override { add("meter", f, l, v); }
    void origBpmChanged(int bpm) override { add("origBpm", bpm); }
    void deltaBpmChanged(int d) override { add("deltaBpm", d); }
    void playPositionChanged(int) override {}
    void jumpStart() override { add("jumpStart"); }
    void jumpSwapSong() override { add("jumpSwapSong"); }
    void jumpDone() override { add("jumpDone"); }
    void fineBrano() override { add("fineBrano"); }
    void stopAllSongs() override { add("stopAllSongs"); }
    // With the bar it landed on, read in the tick that reports it.
    void seekDone() override { add("seekDone", SEQUENCER_EX_GetCurrentBar()); }
    void barEvent(int bar) override { add("bar", bar); }
    void beatEvent(int beat) override { add("beat", beat); }
    void precountStarted() override { add("precountStarted"); }
    void precountEnded() override { add("precountEnded"); }
    void updatePots(int v) override { add("updatePots", v); }
    void melodyModeChanged(int m) override { add("melodyMode", m); }

    std::vector<SignalEvent> all() const;
    std::vector<SignalEvent> named(const std::string &name) const;
    int count(const std::string &name) const;
    void clear();

private:
    void add(const char *name, int a = 0, int b = 0, int c = 0);
    mutable std::mutex m_mutex;
    std::vector<SignalEvent> m_events;
};

struct TimedMessage {
    std::vector<uint8_t> bytes;
    uint64_t ms;
};

class EngineRig
{
public:
    // Simulated: the test drives the clock. RealThread: a thread of the rig
    // runs a tick about every millisecond on the monotonic clock.
    enum Mode { Simulated, RealThread };

    explicit EngineRig(Mode mode = Simulated);
    ~EngineRig();

    RecordingMidiOutput out[MIDI_OUTPUT_COUNT];
    Sound::MidiInterface iface;
    SequencerDriver driver;
    SignalLog sigs;

    // Puts a stream into slot 1 as a song start does; paused unless start.
    bool play(const std::vector<uint8_t> &stream, bool start, const SongSetup &setup = SongSetup());
    // Resume, run until the song ended (or maxMs), return whether it ended.
    bool playToEnd(uint64_t maxMs = 600000);
    // RealThread: waits (in real time, at most maxMs) for done().
    static bool waitFor(const std::function<bool()> &done, int maxMs);
    bool songEnded() const;

    void clearOutputs();
    // Messages of output n (1..6) with the simulated time they left at.
    std::vector<TimedMessage> messages(int output) const;
    // Note-ons (velocity > 0) of output n.
    std::vector<TimedMessage> noteOns(int output) const;
    // Every message of output n starting with status byte s (any channel when
    // anyChannel).
    std::vector<TimedMessage> withStatus(int output, uint8_t status, bool anyChannel = false) const;

private:
    void tickLoop();
    const Mode m_mode;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

QByteArray hex(const std::vector<uint8_t> &bytes);
