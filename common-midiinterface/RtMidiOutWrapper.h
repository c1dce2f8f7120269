// A hardware MIDI output port through RtMidi.
#pragma once

#include "IMidiOutput.h"

#include <RtMidi.h>

#include <string>
#include <vector>

class RtMidiOutWrapper : public IMidiOutput
{
public:
    // Where the machine has no MIDI system the client cannot be created:
    // the error is printed and the wrapper opens and sends nothing.
    RtMidiOutWrapper(RtMidi::Api api, const std::string &clientName);
    ~RtMidiOutWrapper() override;
    RtMidiOutWrapper(const RtMidiOutWrapper &) = delete;
    RtMidiOutWrapper &operator=(const RtMidiOutWrapper &) = delete;

    int openPort(int port) override;
    void closePort() override;
    int sendMessage(const std::vector<unsigned char> *message) override;

    bool hasClient() const { return m_out != nullptr; }

    // Output port names; index = port number for openPort. Empty when there
    // is no MIDI system.
    static std::vector<std::string> availableDevices();

private:
    RtMidiOut *m_out = nullptr;
};
