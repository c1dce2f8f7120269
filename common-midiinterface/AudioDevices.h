// The audio devices as RtAudio lists them, and the one rule of which can
// play: the synthesizer's output and the song player's list them from here,
// so that a device shows the same way in both.
//
// Listing asks the sound server, which may be away or hung: the window's
// thread reads known(), the last list a thread of its own made, and never
// waits for a new one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace AudioDevices {

struct Device {
    unsigned id = 0;            // RtAudio's number of the device
    std::string name;           // as RtAudio names it, UTF-8
    unsigned outputChannels = 0;
    unsigned preferredRate = 0;
    bool plays = false;         // see plays()
};

// A device plays when RtAudio could probe it and it has a stereo output:
// both players open two channels.
bool plays(bool probed, unsigned outputChannels);

// Every device RtAudio lists, in its order (a device it cannot describe
// is there, not playing); empty when RtAudio cannot list them. Asks the
// sound server and waits for it: never on the window's thread.
std::vector<Device> list();
// With the default output's number (-1: none).
std::vector<Device> list(int *defaultId);

struct Known {
    std::vector<Device> devices;
    int defaultId = -1;
    // Lists made so far; 0 before the first.
    uint64_t listings = 0;
};
// The last list that held a device (a server away or hung leaves the list
// it had), and asks for a new one in the background; returns at once.
Known known();
// For a start-up that connects what was chosen: waits up to ms for the
// first list.
Known firstKnown(int ms);

} // namespace AudioDevices
