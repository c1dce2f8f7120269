// The Sequencer wired as the application wires it (output layer with GS
// reset, init, start), recording devices on the six outputs of the real
// output layer, and one log of the engine's signals, taken straight from the
// engine or as the Sequencer emits them.
#pragma once

#include "MidiInterface.h"
#include "RecordingMidiOutput.h"
#include "Sequencer.h"
#include "sequencer_ex.h"
#include "sequencer_signals.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QLoggingCategory>
#include <QThread>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct SignalEvent {
    std::string name;
    int a = 0;
    uint64_t ms = 0;
    bool onGuiThread = false;
};

class SignalLog : public SequencerSignalSink
{
public:
    std::function<uint64_t()> clock;

    void jumpStart() override { add("jumpStart"); }
    void jumpSwapSong() override { add("jumpSwapSong"); }
    void jumpDone() override { add("jumpDone"); }
    void songEnded() override { add("songEnded"); }
    void stopAllSongs() override { add("stopAllSongs"); }
    // With the bar it landed on, read in the tick that reports it.
    void seekDone() override { add("seekDone", SEQUENCER_EX_GetCurrentBar()); }
    void barEvent(int bar) override { add("bar", bar); }
    void beatEvent(int beat) override { add("beat", beat); }
    // The same names, and "origBpm", "deltaBpm", "position" and "meter", from
    // the Sequencer's own signals.
    void listen(Sequencer *s)
    {
        QObject::connect(s, &Sequencer::barEvent, s, [this](int v) { add("bar", v); });
        QObject::connect(s, &Sequencer::beatEvent, s, [this](int v) { add("beat", v); });
        QObject::connect(s, &Sequencer::origBpmChanged, s, [this](int v) { add("origBpm", v); });
        QObject::connect(s, &Sequencer::deltaBpmChanged, s, [this](int v) { add("deltaBpm", v); });
        QObject::connect(s, &Sequencer::songEnded, s, [this] { add("songEnded"); });
        QObject::connect(s, &Sequencer::stopAllSongs, s, [this] { add("stopAllSongs"); });
        QObject::connect(s, &Sequencer::seekDone, s, [this] { add("seekDone"); });
        QObject::connect(s, &Sequencer::playPositionChanged, s, [this](int v) { add("position", v); });
        QObject::connect(s, &Sequencer::noteOnVolumeChanged, s, [this](int, int, int v) { add("meter", v); });
    }

    std::vector<SignalEvent> all() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    std::vector<SignalEvent> named(const std::string &name) const
    {
        std::vector<SignalEvent> r;
        for (const SignalEvent &e : all())
            if (e.name == name)
                r.push_back(e);
        return r;
    }
    std::vector<int> values(const std::string &name) const
    {
        std::vector<int> r;
        for (const SignalEvent &e : named(name))
            r.push_back(e.a);
        return r;
    }
    int count(const std::string &name) const { return int(named(name).size()); }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.clear();
    }

private:
    void add(const char *name, int a = 0)
    {
        QCoreApplication *app = QCoreApplication::instance();
        const bool gui = app && QThread::currentThread() == app->thread();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back({name, a, clock ? clock() : 0, gui});
    }
    mutable std::mutex m_mutex;
    std::vector<SignalEvent> m_events;
};

struct TimedMessage {
    std::vector<uint8_t> bytes;
    uint64_t ms;
};
using TimedBytes = TimedMessage;

class Outputs
{
public:
    RecordingMidiOutput out[MIDI_OUTPUT_COUNT];
    Sound::MidiInterface iface;
    SignalLog sigs;

    void clear()
    {
        for (RecordingMidiOutput &o : out)
            o.clear();
    }
    // Messages of output n (1..6) with the time they left at.
    std::vector<TimedMessage> messages(int output) const
    {
        std::vector<TimedMessage> r;
        for (const RecordingMidiOutput::Message &m : out[output - 1].messages())
            r.push_back({m.bytes, uint64_t(m.timeMs)});
        return r;
    }
    std::vector<TimedMessage> noteOns(int output) const
    {
        std::vector<TimedMessage> r;
        for (const TimedMessage &m : messages(output))
            if (m.bytes.size() >= 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0)
                r.push_back(m);
        return r;
    }
    // Those starting with status byte s (any channel when anyChannel).
    std::vector<TimedMessage> withStatus(int output, uint8_t status, bool anyChannel = false) const
    {
        std::vector<TimedMessage> r;
        for (const TimedMessage &m : messages(output))
            if (!m.bytes.empty() && (anyChannel ? uint8_t(m.bytes[0] & 0xF0) : m.bytes[0]) == status)
                r.push_back(m);
        return r;
    }
    bool hasMessage(int output, const std::vector<uint8_t> &bytes) const
    {
        for (const TimedMessage &m : messages(output))
            if (m.bytes == bytes)
                return true;
        return false;
    }

protected:
    // Binds the recorders, stamped by clock when it is given.
    void bind(const std::function<double()> &clock)
    {
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\ndefault.info=false"));
        QList<IMidiOutput *> ports;
        for (RecordingMidiOutput &o : out) {
            if (clock)
                o.setClock(clock);
            ports << &o;
        }
        iface.initMidiOutPortsSound(ports);
        iface.config_GS_RESET(1);
    }
};

class SequencerRig : public Outputs
{
public:
    explicit SequencerRig(Sequencer::Clock c = Sequencer::Clock::Simulated) : clock(c), seq(new Sequencer(c))
    {
        bind(c == Sequencer::Clock::Simulated ? std::function<double()>([this] { return double(seq->now()); })
                                              : std::function<double()>());
        seq->setMidiInterface(&iface);
        seq->init();
        sigs.listen(seq.get());
        seq->sequencerStart();
        // A clean engine with known settings, whatever an earlier test left.
        seq->ActionStop();
        seq->ChangeMelodyMode(0);
        seq->SetMelodyChannel(3);
        seq->setFastRun(0);
        seq->rewindOnEOT(0);
        seq->setGlobalTranspose(0);
        for (int g = 0; g < SEQ_SLIDER_GROUPS; ++g)
            SEQUENCER_EX_SetSlidersValue(g, 127);
        // Lets the loop drain what the set-up queued.
        for (int i = 0; i < 10000 && (iface.queuedCount(1) || iface.queuedCount(2) || iface.queuedCount(4)); ++i) {
            if (c == Sequencer::Clock::Simulated)
                seq->advance(1);
            else
                QThread::msleep(1);
        }
        QCoreApplication::processEvents();
        clear();
        sigs.clear();
    }
    ~SequencerRig()
    {
        if (seq) {
            seq->ActionStop();
            seq.reset();
        }
    }
    const Sequencer::Clock clock;
    std::unique_ptr<Sequencer> seq;
};

inline QByteArray hex(const std::vector<uint8_t> &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())).toHex(' ');
}
