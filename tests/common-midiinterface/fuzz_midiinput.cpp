// Any message an input port delivers is decoded without reading past its
// end. The first byte picks the input (base or ext) and the MIDI-in mode.
#include "MidiInterface.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Sound::MidiInterface mi;
    if (size == 0 || size > 1024)
        return 0;
    mi.SetMidiInMode(data[0] % 3);
    std::vector<unsigned char> message(data + 1, data + size);
    if (data[0] & 0x80)
        Sound::MidiInterface::SystemMidiInCallback(0.0, &message, &mi);
    else
        Sound::MidiInterface::UartMidiInCallback(0.0, &message, &mi);
    std::vector<unsigned char> exact(data + 1, data + size);
    Sound::MidiInterface::ProcessInput(exact.data(), int(exact.size()));
    return 0;
}
