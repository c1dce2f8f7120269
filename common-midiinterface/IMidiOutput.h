// A device the output layer writes MIDI to: the software synthesizer, a
// hardware port, or a recording output in tests.
#pragma once

#include <vector>

// The output layer has outputs 1 to 6; engine port p (0..3) is output p + 1.
// Output 1 carries engine port 0 (song slot 0, resets, volumes, the mix
// editor), output 2 engine port 1, output 3 the live port (master keyboard,
// MIDI-input echo), output 4 click, count-in and melody mirror; 5 and 6 carry
// nothing. Only output 1 gets a device in the application.
constexpr int MIDI_OUTPUT_COUNT = 6;
constexpr int MIDI_OUTPUT_SONG_PORT0 = 1;
constexpr int MIDI_OUTPUT_SONG_PORT1 = 2;
constexpr int MIDI_OUTPUT_LIVE = 3;
constexpr int MIDI_OUTPUT_CLICK = 4;

class IMidiOutput
{
public:
    // Opens device number port; 0 on success, non-zero on failure.
    virtual int openPort(int port) = 0;
    // Closes the device; the object stays usable for a later openPort.
    virtual void closePort() = 0;
    // Writes one complete MIDI message or one whole SysEx (never empty);
    // 0 on success, non-zero on failure. Called under the output's port mutex.
    virtual int sendMessage(const std::vector<unsigned char> *message) = 0;
    virtual ~IMidiOutput() = default;
};
