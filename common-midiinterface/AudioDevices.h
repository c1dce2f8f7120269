// The audio devices as RtAudio lists them, and the one rule of which can
// play: the synthesizer's output and the song player's list them from here,
// so that a device shows the same way in both.
#pragma once

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
// is there, not playing); empty when RtAudio cannot list them.
std::vector<Device> list();

} // namespace AudioDevices
