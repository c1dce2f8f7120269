#include "AudioSink.h"

#include "OutputClock.h"
#include "PulseTwins.h"
#include "ThreadPriority.h"

#include <QDebug>

#include <RtAudio.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include <semaphore.h>

namespace Sound {

namespace {

// The device's queue unless the song player asks for another.
constexpr unsigned kNumberOfBuffers = 32;

class RtAudioOutput : public AudioSink
{
public:
    RtAudioOutput() { sem_init(&m_release, 0, 0); }
    ~RtAudioOutput() override
    {
        close();
        sem_destroy(&m_release);
    }

    std::vector<Device> devices() override
    {
        std::vector<Device> list;
        try {
            RtAudio audio;
            audio.showWarnings(false);
            const unsigned count = audio.getDeviceCount();
            for (unsigned i = 0; i < count; ++i) {
                const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
                if (info.probed && info.outputChannels >= 1)
                    list.push_back({int(i), info.name, info.outputChannels, info.preferredSampleRate});
            }
        } catch (const RtAudioError &e) {
            qDebug() << "audio device list:" << e.what();
        }
        return list;
    }

    int defaultDevice() override
    {
        try {
            RtAudio audio;
            audio.showWarnings(false);
            return audio.getDeviceCount() ? int(audio.getDefaultOutputDevice()) : -1;
        } catch (const RtAudioError &e) {
            qDebug() << "audio default device:" << e.what();
            return -1;
        }
    }

    bool open(int device, unsigned channels, unsigned rate, unsigned frames, Render render,
              void *user) override
    {
        close();
        m_render = render;
        m_user = user;
        m_frames = frames;
        m_channels = channels;
        try {
            m_audio = std::make_unique<RtAudio>();
            m_audio->showWarnings(false);
            if (device < 0 || unsigned(device) >= m_audio->getDeviceCount())
                throw RtAudioError("no such output device", RtAudioError::INVALID_DEVICE);
            RtAudio::StreamParameters params;
            params.deviceId = unsigned(device);
            params.nChannels = channels;
            params.firstChannel = 0;
            RtAudio::StreamOptions options;
            options.numberOfBuffers = m_buffers;
            // Where the system grants it; the render callback asks again
            // (RealtimeKit) when it did not.
            options.flags = RTAUDIO_SCHEDULE_REALTIME;
            options.priority = ThreadPriority::kCallbackPriority;
            m_audio->openStream(&params, nullptr, RTAUDIO_SINT16, rate, &m_frames,
                                &RtAudioOutput::callback, this, &options);
            PulseTwins::keepOnDefault(*m_audio, unsigned(device));
            m_rate = rate;
            const long told = m_audio->getStreamLatency();
            m_latency = told > 0 ? unsigned(told)
                                 : unsigned(OutputClock::serverBridgeMs(1000.0 * m_buffers * m_frames / rate)
                                            * rate / 1000.0);
            return true;
        } catch (const RtAudioError &e) {
            qDebug() << "audio stream:" << e.what();
            close();
            return false;
        }
    }

    bool start() override
    {
        return call("audio start", [this] { m_audio->startStream(); });
    }
    void stop() override { halt(true); }
    void abort() override { halt(false); }

    void close() override
    {
        if (!m_audio)
            return;
        abort();
        call("audio close", [this] { m_audio->closeStream(); });
        m_audio.reset();
    }

    bool isOpen() const override { return m_audio && m_audio->isStreamOpen(); }
    bool isRunning() const override { return isOpen() && m_audio->isStreamRunning(); }
    unsigned bufferFrames() const override { return m_frames; }
    unsigned latencyFrames() const override { return m_latency; }
    void setQueueBuffers(unsigned buffers) override { m_buffers = std::max(2u, buffers); }
    // The sound server cut 25-700 frames of a new stream's start (a null
    // sink of PulseAudio at 48 kHz); twice the most seen.
    unsigned startLeadFrames() const override { return m_rate * 30 / 1000; }

private:
    // Every stream call is guarded: RtAudio throws on a closed stream, and a
    // failure must never escape into the play-state machine.
    template <typename F>
    bool call(const char *what, F f)
    {
        if (!isOpen())
            return false;
        try {
            f();
            return true;
        } catch (const RtAudioError &e) {
            qDebug() << what << e.what();
            return false;
        }
    }

    // RtAudio's own thread (ALSA, PulseAudio) marks the stream stopped, then
    // waits for the stream's lock; until it has it, that thread takes the
    // lock and lets it go again in a loop without ever sleeping. Real-time,
    // on a busy machine, it kept this thread from the lock for longer than
    // RealtimeKit's limit of real-time CPU time, and the kernel killed the
    // program. So the callback waits, asleep, until the stream has stopped.
    enum Park { Playing, Asked, Parked };

    void halt(bool drain)
    {
        call(drain ? "audio stop" : "audio abort", [this, drain] {
            if (!m_audio->isStreamRunning())
                return;
            const bool parked = park();
            if (drain)
                m_audio->stopStream();
            else
                m_audio->abortStream();
            if (parked)
                unpark();
        });
    }

    bool park()
    {
        const RtAudio::Api api = m_audio->getCurrentApi();
        if (api != RtAudio::LINUX_PULSE && api != RtAudio::LINUX_ALSA)
            return false;
        m_park.store(Asked);
        // The callback comes once a device buffer; a stream the device no
        // longer pulls is stopped as before.
        for (int i = 0; i < 250 && m_park.load() == Asked && m_audio->isStreamRunning(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        int asked = Asked;
        return !m_park.compare_exchange_strong(asked, Playing);
    }

    void unpark()
    {
        sem_post(&m_release);
        for (int i = 0; i < 500 && m_park.load() == Parked; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        // A callback that gave up waiting left the post behind.
        while (sem_trywait(&m_release) == 0) {
        }
    }

    static int callback(void *out, void *, unsigned frames, double, RtAudioStreamStatus, void *user)
    {
        auto *self = static_cast<RtAudioOutput *>(user);
        int asked = Asked;
        if (self->m_park.load(std::memory_order_relaxed) == Asked && self->m_park.compare_exchange_strong(asked, Parked)) {
            // Not written: the stream is stopped when this returns.
            std::memset(out, 0, size_t(frames) * self->m_channels * sizeof(int16_t));
            timespec until{};
            clock_gettime(CLOCK_MONOTONIC, &until);
            until.tv_sec += kParkSeconds;
            while (sem_clockwait(&self->m_release, CLOCK_MONOTONIC, &until) != 0 && errno == EINTR) {
            }
            self->m_park.store(Playing);
            return 0;
        }
        return self->m_render(static_cast<int16_t *>(out), frames, self->m_user);
    }

    // Longer than any stop takes (it plays out the device's queue).
    static constexpr int kParkSeconds = 10;

    std::unique_ptr<RtAudio> m_audio;
    Render m_render = nullptr;
    void *m_user = nullptr;
    unsigned m_frames = 0;
    unsigned m_latency = 0;
    unsigned m_rate = 0;
    unsigned m_buffers = kNumberOfBuffers;
    unsigned m_channels = 0;
    std::atomic<int> m_park{Playing};
    sem_t m_release;
};

} // namespace

std::unique_ptr<AudioSink> makeRtAudioOutput()
{
    return std::make_unique<RtAudioOutput>();
}

PullAudioSink::PullAudioSink(std::vector<Device> devices) : m_devices(std::move(devices)) {}

bool PullAudioSink::open(int device, unsigned channels, unsigned rate, unsigned frames,
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
