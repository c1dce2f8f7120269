#include "SynthAudioSink.h"

#include "AudioDevices.h"
#include "OutputClock.h"
#include "RtAudioStream.h"
#include "SoftSynth.h"
#include "ThreadPriority.h"
#include "logmsg.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr unsigned kDefaultRate = 44100;
// Small buffers keep the delay from note to sound short (a device that
// refuses them gets larger ones, see RtAudioStream::Format).
constexpr unsigned kBufferFrames = 256;
// The device's queue unless asked for another: eight buffers (about 45 ms)
// bridge a callback running with real-time priority on a busy machine, where
// two made the sound server run dry. The synthesizer's latency covers the
// queue, and the position shown subtracts it.
constexpr unsigned kNumberOfBuffers = 8;
constexpr unsigned kMostBuffers = 256;

// RtAudio names devices "maker: device" on some systems; the settings page
// passes such names and the synthesizer looks for what stands between the
// first separator and the next, so both sides cut the same way.
std::string devicePart(const std::string &name)
{
    const size_t sep = name.find(": ");
    if (sep == std::string::npos)
        return name;
    const size_t next = name.find(": ", sep + 2);
    return name.substr(sep + 2, next == std::string::npos ? std::string::npos : next - sep - 2);
}

class RtAudioSink : public SynthAudioSink
{
public:
    ~RtAudioSink() override { close(); }

    std::vector<AudioDeviceEntry> devices() override
    {
        // Every device, so that device number d is RtAudio's d - 1.
        std::vector<AudioDeviceEntry> list;
        for (const AudioDevices::Device &d : AudioDevices::known().devices)
            list.push_back({devicePart(d.name), d.plays});
        return list;
    }

    // Never waits on the sound server: the stream's keeper opens the output
    // by its name once it can (on the default meanwhile where it is gone).
    // The rate is the device's as last listed, else 44.1 kHz.
    int open(int device, RenderCallback render, void *user) override
    {
        close();
        m_render = render;
        m_user = user;
        const AudioDevices::Known known = AudioDevices::known();
        std::string name = m_name;
        if (name.empty() && device >= 1) {
            if (size_t(device) > known.devices.size() || !known.devices[size_t(device) - 1].plays)
                return SOFTSYNTH_ERROR_DEVICE;
            name = known.devices[size_t(device) - 1].name;
        } else if (name.empty() && device != -1) {
            return SOFTSYNTH_ERROR_DEVICE;
        }
        m_rate = kDefaultRate;
        for (const AudioDevices::Device &d : known.devices) {
            if (d.plays && d.preferredRate && (name.empty() ? int(d.id) == known.defaultId : d.name == name))
                m_rate = d.preferredRate;
        }
        m_stream.open(name, format(kBufferFrames), &RtAudioSink::callback, this, "synthesizer audio");
        return SOFTSYNTH_OK;
    }

    int start() override
    {
        return m_stream.start() ? SOFTSYNTH_OK : SOFTSYNTH_ERROR_INIT;
    }

    void close() override { m_stream.close(); }

    bool requeue(double bridgeMs) override
    {
        m_bridgeMs = bridgeMs;
        if (m_stream.isOpen())
            m_stream.reshape(buffersFor(m_bridgeMs, frames()));
        return true;
    }
    bool pending() const override { return m_stream.pending(); }
    void setDeviceName(const std::string &name) override { m_name = name; }
    bool standingIn() const override { return m_stream.standingIn(); }

    unsigned sampleRate() const override { return m_rate; }
    unsigned bufferFrames() const override { return frames(); }
    // Of the stream that plays (the keeper may have opened another since
    // open()); the render thread asks at each new stream.
    unsigned latencyFrames() const override
    {
        const unsigned told = m_stream.reportedLatency();
        if (told > 0)
            return told;
        const unsigned buffers = m_stream.buffers() ? m_stream.buffers() : buffersFor(m_bridgeMs, frames());
        return unsigned(OutputClock::serverBridgeMs(1000.0 * buffers * frames() / m_rate) * m_rate / 1000.0);
    }
    void setBridgeMs(double ms) override { m_bridgeMs = ms; }
    bool scheduled() const override { return true; }
    bool lost() const override { return m_stream.lost(); }
    unsigned generation() const override { return m_stream.generation(); }

private:
    unsigned frames() const { return m_stream.bufferFrames() ? m_stream.bufferFrames() : kBufferFrames; }

    unsigned buffersFor(double bridgeMs, unsigned frames) const
    {
        if (bridgeMs <= 0)
            return kNumberOfBuffers;
        const double asked = std::ceil(OutputClock::serverQueueMs(bridgeMs) * m_rate / 1000.0 / frames);
        return unsigned(std::clamp(asked, 2.0, double(kMostBuffers)));
    }

    RtAudioStream::Format format(unsigned frames) const
    {
        RtAudioStream::Format f;
        f.floatSamples = true;
        f.channels = 2;
        f.rate = m_rate;
        f.frames = frames;
        // Real-time scheduling where the system grants it: a busy machine
        // must not make the device wait for the synthesizer.
        f.minimizeLatency = true;
        f.role = ThreadPriority::Role::Synthesizer;
        f.buffers = buffersFor(m_bridgeMs, frames);
        return f;
    }

    static int callback(void *out, unsigned frames, void *user)
    {
        auto *self = static_cast<RtAudioSink *>(user);
        self->m_render(static_cast<float *>(out), frames, self->m_user);
        return 0;
    }

    RtAudioStream m_stream;
    RenderCallback m_render = nullptr;
    void *m_user = nullptr;
    unsigned m_rate = kDefaultRate;
    double m_bridgeMs = 0;
    std::string m_name;
};

} // namespace

std::unique_ptr<SynthAudioSink> makeRtAudioSink()
{
    return std::make_unique<RtAudioSink>();
}

OfflineAudioSink::OfflineAudioSink(unsigned sampleRate, std::vector<AudioDeviceEntry> devices)
    : m_rate(sampleRate), m_devices(std::move(devices))
{
}

std::vector<AudioDeviceEntry> OfflineAudioSink::devices()
{
    return m_devices;
}

int OfflineAudioSink::open(int device, RenderCallback render, void *user)
{
    const std::lock_guard<std::mutex> lock(m_pulling);
    if (m_devices.empty())
        return SOFTSYNTH_ERROR_DRIVER;
    if (device != -1) {
        if (device < 1 || size_t(device) > m_devices.size() || !m_devices[device - 1].enabled)
            return SOFTSYNTH_ERROR_DEVICE;
    }
    m_device = device;
    m_render = render;
    m_user = user;
    ++m_opens;
    return SOFTSYNTH_OK;
}

int OfflineAudioSink::start()
{
    const std::lock_guard<std::mutex> lock(m_pulling);
    return m_render ? SOFTSYNTH_OK : SOFTSYNTH_ERROR_INIT;
}

void OfflineAudioSink::close()
{
    const std::lock_guard<std::mutex> lock(m_pulling);
    m_render = nullptr;
    m_user = nullptr;
    m_device = 0;
}

void OfflineAudioSink::pull(float *out, unsigned frames)
{
    const std::lock_guard<std::mutex> lock(m_pulling);
    if (m_render)
        m_render(out, frames, m_user);
    else
        std::memset(out, 0, sizeof(float) * 2 * frames);
}

std::vector<float> OfflineAudioSink::pull(unsigned frames)
{
    std::vector<float> buffer(size_t(frames) * 2);
    pull(buffer.data(), frames);
    return buffer;
}
