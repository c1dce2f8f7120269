// A hardware MIDI input port through RtMidi.
#pragma once

#include "IMidiInput.h"

#include <RtMidi.h>

#include <string>

class RtMidiInWrapper : public IMidiInput
{
public:
    // Where the machine has no MIDI system the client cannot be created:
    // the error is printed and the wrapper opens nothing.
    RtMidiInWrapper(int api, const std::string &clientName, unsigned queueSizeLimit);
    ~RtMidiInWrapper() override;
    RtMidiInWrapper(const RtMidiInWrapper &) = delete;
    RtMidiInWrapper &operator=(const RtMidiInWrapper &) = delete;

    int openPort(int port) override;
    void closePort() override;
    void setCallback(MidiInputCallback callback, void *userData) override;
    void ignoreTypes(bool sysex, bool timing, bool activeSensing) override;

    bool hasClient() const { return m_in != nullptr; }

private:
    RtMidiIn *m_in = nullptr;
};
