#include "AudioSink.h"

#include "AudioDevices.h"
#include "OutputClock.h"
#include "RtAudioStream.h"
#include "ThreadPriority.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace Sound {

namespace {

// The device's queue unless the song player asks for another.
constexpr unsigned kNumberOfBuffers = 32;

class RtAudioOutput : public AudioSink
{
public:
    ~RtAudioOutput() override { m_stream.close(); }

    // As last listed: the window never waits on the sound server.
    std::vector<Device> devices() override
    {
        std::vector<Device> list;
        for (const AudioDevices::Device &d : AudioDevices::known().devices) {
            if (d.plays)
                list.push_back({int(d.id), d.name, d.outputChannels, d.preferredRate});
        }
        return list;
    }

    int defaultDevice() override { return AudioDevices::known().defaultId; }

    bool open(int device, const std::string &name, unsigned channels, unsigned rate, unsigned frames,
              Render render, void *user) override
    {
        close();
        m_render = render;
        m_user = user;
        if (device < -1)
            return false;
        // The stream of the song before on the same terms, kept stopped: its
        // thread has real-time priority already. A new one runs at normal
        // priority until RealtimeKit's answer comes, which on a busy
        // machine is after the song's first drop-outs.
        const bool same = m_stream.isOpen() && !m_stream.lost() && name == m_name && channels == m_channels
                          && rate == m_rate && frames == m_frames && m_buffers == m_openBuffers;
        if (same) {
            m_open = true;
            return true;
        }
        RtAudioStream::Format format;
        format.channels = channels;
        format.rate = rate;
        format.frames = frames;
        format.buffers = m_buffers;
        format.role = ThreadPriority::Role::AudioPlayer;
        // The keeper opens it by name whenever the server is there (on its
        // default where the output is gone); the song plays on unheard
        // meanwhile.
        m_stream.open(name, format, &RtAudioOutput::callback, this, "song player audio");
        m_open = true;
        m_name = name;
        m_channels = channels;
        m_rate = rate;
        m_frames = frames;
        m_openBuffers = m_buffers;
        return true;
    }

    bool start() override { return m_open && m_stream.start(); }
    void stop() override { m_stream.stop(true); }
    void abort() override { m_stream.stop(false); }
    // The stream stays, stopped, for the next song (see open()).
    void close() override
    {
        m_stream.stop(false);
        m_open = false;
    }

    bool isOpen() const override { return m_open; }
    bool isRunning() const override { return m_open && m_stream.isRunning(); }
    unsigned bufferFrames() const override { return m_stream.bufferFrames(); }
    // Of the stream that plays: the keeper may open another (a server back).
    unsigned latencyFrames() const override
    {
        const unsigned told = m_stream.reportedLatency();
        if (told > 0 || m_rate == 0)
            return told;
        const unsigned frames = m_stream.bufferFrames() ? m_stream.bufferFrames() : m_frames;
        return unsigned(OutputClock::serverBridgeMs(1000.0 * m_openBuffers * frames / m_rate) * m_rate / 1000.0);
    }
    void setQueueBuffers(unsigned buffers) override { m_buffers = std::max(2u, buffers); }
    // The sound server cut 25-700 frames of a new stream's start (a null
    // sink of PulseAudio at 48 kHz); twice the most seen.
    unsigned startLeadFrames() const override { return m_rate * 30 / 1000; }
    bool lost() const override { return m_stream.lost(); }
    bool standingIn() const override { return m_stream.standingIn(); }
    unsigned generation() const override { return m_stream.generation(); }

private:
    static int callback(void *out, unsigned frames, void *user)
    {
        auto *self = static_cast<RtAudioOutput *>(user);
        return self->m_render(static_cast<int16_t *>(out), frames, self->m_user);
    }

    RtAudioStream m_stream;
    Render m_render = nullptr;
    void *m_user = nullptr;
    bool m_open = false;
    std::string m_name;
    unsigned m_channels = 0;
    unsigned m_rate = 0;
    unsigned m_frames = 0;
    unsigned m_openBuffers = 0;
    unsigned m_buffers = kNumberOfBuffers;
};

} // namespace

std::unique_ptr<AudioSink> makeRtAudioOutput()
{
    return std::make_unique<RtAudioOutput>();
}

PullAudioSink::PullAudioSink(std::vector<Device> devices) : m_devices(std::move(devices)) {}

bool PullAudioSink::open(int device, const std::string &, unsigned channels, unsigned rate, unsigned frames,
                         Render render, void *user)
{
    close();
    const std::lock_guard<std::mutex> lock(m_pulling);
    const bool known = std::any_of(m_devices.begin(), m_devices.end(), [&](const Device &d) {
        return d.id == device && d.outputChannels >= channels;
    });
    if (!known || channels == 0 || rate == 0 || frames == 0)
        return false;
    m_render = render;
    m_user = user;
    m_device = device;
    m_channels = channels;
    m_rate = rate;
    m_frames = frames;
    return true;
}

bool PullAudioSink::start()
{
    const std::lock_guard<std::mutex> lock(m_pulling);
    m_running = m_render != nullptr;
    return m_running;
}

void PullAudioSink::stop()
{
    const std::lock_guard<std::mutex> lock(m_pulling);
    m_running = false;
}

void PullAudioSink::close()
{
    const std::lock_guard<std::mutex> lock(m_pulling);
    m_running = false;
    m_render = nullptr;
    m_user = nullptr;
}

void PullAudioSink::pull(int16_t *out, unsigned frames)
{
    const std::lock_guard<std::mutex> lock(m_pulling);
    if (!m_running) {
        std::memset(out, 0, sizeof(int16_t) * m_channels * frames);
        return;
    }
    if (m_render(out, frames, m_user) != 0)
        m_running = false;
}

std::vector<int16_t> PullAudioSink::pullUntilEnd(size_t maxFrames)
{
    std::vector<int16_t> all;
    std::vector<int16_t> buffer(size_t(m_channels) * m_frames);
    while (m_running && all.size() < maxFrames * m_channels) {
        pull(buffer.data(), m_frames);
        all.insert(all.end(), buffer.begin(), buffer.end());
    }
    return all;
}

} // namespace Sound
