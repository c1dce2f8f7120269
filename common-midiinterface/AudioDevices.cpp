#include "AudioDevices.h"

#include "RtAudioStream.h"
#include "logmsg.h"

#include <RtAudio.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace AudioDevices {

bool plays(bool probed, unsigned outputChannels)
{
    return probed && outputChannels >= 2;
}

std::vector<Device> list()
{
    return list(nullptr);
}

std::vector<Device> list(int *defaultId)
{
    std::vector<Device> devices;
    if (defaultId)
        *defaultId = -1;
    const auto library = RtAudioStream::lockLibrary();
    try {
        const std::unique_ptr<RtAudio> audio = RtAudioStream::quietAudio();
        if (!audio)
            return devices;
        const unsigned count = audio->getDeviceCount();
        for (unsigned i = 0; i < count; ++i) {
            Device d;
            d.id = i;
            try {
                const RtAudio::DeviceInfo info = audio->getDeviceInfo(i);
                d.name = info.name;
                d.outputChannels = info.outputChannels;
                d.preferredRate = info.preferredSampleRate;
                d.plays = plays(info.probed, info.outputChannels);
            } catch (const RtAudioError &) {
                d.plays = false;
            }
            devices.push_back(d);
        }
        if (defaultId && count > 0)
            *defaultId = int(audio->getDefaultOutputDevice());
    } catch (const RtAudioError &e) {
        logMsg(2, __FILE__, __LINE__, "audio device list: %s", e.what());
    }
    return devices;
}

namespace {

// One lister for the process: it lists when asked, one list at a time.
struct Lister {
    std::mutex lock;
    std::condition_variable changed;
    Known last;
    bool asked = false;
    bool running = false;

    void ask()
    {
        // Under the lock.
        asked = true;
        if (!running) {
            running = true;
            std::thread([this] { loop(); }).detach();
        }
        changed.notify_all();
    }

    void loop()
    {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            changed.wait(held, [this] { return asked; });
            asked = false;
            held.unlock();
            int defaultId = -1;
            std::vector<Device> devices = list(&defaultId);
            held.lock();
            if (!devices.empty()) {
                last.devices = std::move(devices);
                last.defaultId = defaultId;
            }
            ++last.listings;
            changed.notify_all();
        }
    }
};

Lister &lister()
{
    // Never destroyed: its thread may still be listing as the program ends.
    static Lister *one = new Lister;
    return *one;
}

} // namespace

Known known()
{
    Lister &l = lister();
    const std::lock_guard<std::mutex> held(l.lock);
    l.ask();
    return l.last;
}

Known firstKnown(int ms)
{
    Lister &l = lister();
    std::unique_lock<std::mutex> held(l.lock);
    l.ask();
    l.changed.wait_for(held, std::chrono::milliseconds(ms), [&l] { return l.last.listings > 0; });
    return l.last;
}

} // namespace AudioDevices
