// A MIDI input device (a hardware port through RtMidi).
#pragma once

#include <vector>

// Receives each incoming message on the input's own thread; the same shape as
// RtMidi's callback.
using MidiInputCallback = void (*)(double deltatime, std::vector<unsigned char> *message,
                                   void *userData);

class IMidiInput
{
public:
    // Opens input device number port; 0 on success, non-zero on failure.
    virtual int openPort(int port) = 0;
    virtual void closePort() = 0;
    virtual void setCallback(MidiInputCallback callback, void *userData) = 0;
    // true drops that kind of input before the callback.
    virtual void ignoreTypes(bool sysex, bool timing, bool activeSensing) = 0;
    virtual ~IMidiInput() = default;
};
