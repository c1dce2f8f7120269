#include "AudioDevices.h"

#include "RtAudioStream.h"
#include "logmsg.h"

#include <RtAudio.h>

namespace AudioDevices {

bool plays(bool probed, unsigned outputChannels)
{
    return probed && outputChannels >= 2;
}

std::vector<Device> list()
{
    std::vector<Device> devices;
    const auto library = RtAudioStream::lockLibrary();
    try {
        RtAudio audio;
        audio.showWarnings(false);
        const unsigned count = audio.getDeviceCount();
        for (unsigned i = 0; i < count; ++i) {
            Device d;
            d.id = i;
            try {
                const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
                d.name = info.name;
                d.outputChannels = info.outputChannels;
                d.preferredRate = info.preferredSampleRate;
                d.plays = plays(info.probed, info.outputChannels);
            } catch (const RtAudioError &) {
                d.plays = false;
            }
            devices.push_back(d);
        }
    } catch (const RtAudioError &e) {
        logMsg(2, __FILE__, __LINE__, "audio device list: %s", e.what());
    }
    return devices;
}

} // namespace AudioDevices
