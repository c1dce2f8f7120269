// A Sequencer wired as the application wires it (output layer with GS reset,
// init, start) with recording devices on all six outputs.
#pragma once

#include "MidiInterface.h"
#include "RecordingMidiOutput.h"
#include "Sequencer.h"
#include "sequencer_ex.h"

#include <QList>
#include <QLoggingCategory>
#include <memory>
#include <vector>

struct TimedBytes {
    std::vector<unsigned char> bytes;
    double ms;
};

class SequencerRig
{
public:
    explicit SequencerRig(Sequencer::Clock c = Sequencer::Clock::Simulated) : clock(c)
    {
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\ndefault.info=false"));
        seq.reset(new Sequencer(clock));
        QList<IMidiOutput *> ports;
        for (RecordingMidiOutput &o : out) {
            if (clock == Sequencer::Clock::Simulated)
                o.setClock([this] { return double(seq->now()); });
            ports << &o;
        }
        iface.initMidiOutPortsSound(ports);
        iface.config_GS_RESET(1);
        seq->setMidiInterface(&iface);
        seq->init();
        seq->sequencerStart();
        // A clean engine with known settings, whatever an earlier test left.
        seq->ActionStop();
        seq->ChangeMelodyMode(0);
        seq->SetMelodyChannel(3);
        seq->setFastRun(0);
        seq->rewindOnEOT(0);
        seq->setGlobalTranspose(0);
        for (void (Sequencer::*set)(int) : {&Sequencer::SetDrumsVolume, &Sequencer::SetBassVolume,
                                            &Sequencer::SetGuitarsVolume, &Sequencer::SetKeyboardsVolume,
                                            &Sequencer::SetOrchestraVolume, &Sequencer::SetWindsVolume})
            (seq.get()->*set)(127);
        settle();
        clear();
    }
    ~SequencerRig()
    {
        if (seq) {
            seq->ActionStop();
            seq.reset();
        }
    }

    // Lets the loop drain what the set-up queued.
    void settle()
    {
        for (int i = 0; i < 10000 && (iface.queuedCount(1) || iface.queuedCount(2) || iface.queuedCount(4)); ++i) {
            if (clock == Sequencer::Clock::Simulated)
                seq->advance(1);
            else
                QThread::msleep(1);
        }
    }
    void clear()
    {
        for (RecordingMidiOutput &o : out)
            o.clear();
    }
    // Messages of output n (1..6).
    std::vector<TimedBytes> messages(int output) const
    {
        std::vector<TimedBytes> r;
        for (const RecordingMidiOutput::Message &m : out[output - 1].messages())
            r.push_back({m.bytes, m.timeMs});
        return r;
    }
    std::vector<TimedBytes> noteOns(int output) const
    {
        std::vector<TimedBytes> r;
        for (const TimedBytes &m : messages(output))
            if (m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0)
                r.push_back(m);
        return r;
    }
    bool hasMessage(int output, const std::vector<unsigned char> &bytes) const
    {
        for (const TimedBytes &m : messages(output))
            if (m.bytes == bytes)
                return true;
        return false;
    }

    const Sequencer::Clock clock;
    RecordingMidiOutput out[MIDI_OUTPUT_COUNT];
    Sound::MidiInterface iface;
    std::unique_ptr<Sequencer> seq;
};
