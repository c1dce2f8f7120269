// Where the audio path's samples go: the audio device through RtAudio in the
// program, a buffer pulled by the caller in tests and measuring tools.
//
// The same shape as the synthesizer's sink (common-midiinterface/
// SynthAudioSink.h), with what the song player needs on top: 16-bit samples
// at a chosen channel count and rate, RtAudio's own device numbers, and a
// running stream that can be paused, aborted and started again.
//
// Threads: the render callback runs on the device's thread (RtAudio) or the
// puller's (PullAudioSink); every other call belongs to one owning thread.
// After stop(), abort() or close() return, no render call runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Sound {

class AudioSink
{
public:
    // Fills `frames` interleaved frames; returns 0 to go on, 1 to end the
    // stream once this buffer has played.
    using Render = int (*)(int16_t *out, unsigned frames, void *user);

    struct Device {
        int id = 0;
        std::string name;
        unsigned outputChannels = 0;
        unsigned preferredRate = 0;
    };

    virtual ~AudioSink() = default;

    // Every device that plays (AudioDevices::plays), by RtAudio's number;
    // never waits on a sound server (the devices as last listed).
    virtual std::vector<Device> devices() = 0;
    virtual int defaultDevice() = 0;
    // Opens a stream without starting it; false when the device refuses.
    // A sink that waits for its sound server opens the output by `name`
    // (empty: the server's default) whenever it is there (lost() meanwhile)
    // and never refuses; the others open the device by number.
    virtual bool open(int device, const std::string &name, unsigned channels, unsigned rate, unsigned frames,
                      Render render, void *user) = 0;
    virtual bool start() = 0;
    // Lets the queued buffers play out (pause).
    virtual void stop() = 0;
    // Drops the queued buffers (seek, stop).
    virtual void abort() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool isRunning() const = 0;
    // Frames per render call the device settled on.
    virtual unsigned bufferFrames() const = 0;
    // Frames the device holds beyond a request that comes in time, before
    // they are heard (0 when it holds none).
    virtual unsigned latencyFrames() const { return 0; }
    // True when render calls come while the owning thread waits (a device's
    // own thread); false when they come only from the owning thread.
    virtual bool pulledElsewhere() const { return true; }
    // For the next open: how many buffers of `frames` the device queues.
    virtual void setQueueBuffers(unsigned) {}
    // Frames of silence a song should begin with on the open stream: a
    // sound server may cut the first frames a new stream gives it (up to
    // some 15 ms), which would cut the song's first notes.
    virtual unsigned startLeadFrames() const { return 0; }
    // The sound server has gone: the render goes on at the device's pace,
    // unheard, until a new stream is open (see RtAudioStream).
    virtual bool lost() const { return false; }
    // The output named is gone: the server's default plays in its place.
    virtual bool standingIn() const { return false; }
    // Streams opened since open(): each new one starts with an empty queue.
    virtual unsigned generation() const { return 0; }
};

std::unique_ptr<AudioSink> makeRtAudioOutput();

// Renders only when pulled. pull() gives silence while the stream is not
// running, and after the render callback ended it.
class PullAudioSink : public AudioSink
{
public:
    explicit PullAudioSink(std::vector<Device> devices = {{0, "Pull", 2, 48000}});

    std::vector<Device> devices() override { return m_devices; }
    int defaultDevice() override { return m_devices.empty() ? -1 : m_devices.front().id; }
    bool open(int device, const std::string &name, unsigned channels, unsigned rate, unsigned frames,
              Render render, void *user) override;
    bool start() override;
    void stop() override;
    void abort() override { stop(); }
    void close() override;
    bool isOpen() const override { return m_render != nullptr; }
    bool isRunning() const override { return m_running; }
    unsigned bufferFrames() const override { return m_frames; }
    bool pulledElsewhere() const override { return m_elsewhere; }
    // Pulled by a thread of the caller's, as a device would, while the
    // owning thread may wait for what it renders.
    void setPulledElsewhere(bool on) { m_elsewhere = on; }
    // The queue the last open was asked for (buffers; 0 before any ask).
    void setQueueBuffers(unsigned buffers) override { m_queueBuffers = buffers; }
    unsigned queueBuffers() const { return m_queueBuffers; }
    void setStartLeadFrames(unsigned frames) { m_lead = frames; }
    unsigned startLeadFrames() const override { return m_lead; }

    unsigned channels() const { return m_channels; }
    unsigned rate() const { return m_rate; }
    // The device of the last stream opened; -1 before the first.
    int openedDevice() const { return m_device; }
    // One render call of `frames` frames into out (channels() * frames).
    void pull(int16_t *out, unsigned frames);
    // Pulls in bufferFrames() steps until the stream ends or maxFrames.
    std::vector<int16_t> pullUntilEnd(size_t maxFrames);

private:
    std::vector<Device> m_devices;
    Render m_render = nullptr;
    void *m_user = nullptr;
    unsigned m_channels = 0;
    unsigned m_rate = 0;
    unsigned m_frames = 0;
    int m_device = -1;
    unsigned m_queueBuffers = 0;
    unsigned m_lead = 0;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_elsewhere{false};
    // No render call runs once stop() or close() returned.
    std::mutex m_pulling;
};

} // namespace Sound
