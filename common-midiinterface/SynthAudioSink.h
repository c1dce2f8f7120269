// Where the software synthesizer's audio goes: the audio device in the
// program, a buffer pulled by the caller in tests and offline rendering.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct AudioDeviceEntry {
    std::string name; // UTF-8
    bool enabled = false;
};

class SynthAudioSink
{
public:
    // Fills `frames` interleaved stereo float frames. Called on the sink's
    // own thread (device) or the puller's (offline); must not block.
    using RenderCallback = void (*)(float *interleaved, unsigned frames, void *user);

    virtual ~SynthAudioSink() = default;

    // Output devices; device number d (from 1) is entry d - 1. Never waits
    // on a sound server: the devices as last listed.
    virtual std::vector<AudioDeviceEntry> devices() = 0;

    // For the next open: the output by its whole name (as the audio library
    // gives it), which a sink that waits for its sound server opens whenever
    // it is there; empty: by number.
    virtual void setDeviceName(const std::string &) {}
    // Prepares output on device d (-1: the default device) without starting
    // it, so that the renderer can be built at sampleRate() first.
    // 0 or a SOFTSYNTH_ERROR_* code.
    virtual int open(int device, RenderCallback render, void *user) = 0;
    virtual int start() = 0;
    // Stops and releases the output; no render call runs after it returns.
    virtual void close() = 0;

    virtual unsigned sampleRate() const = 0;
    virtual unsigned bufferFrames() const = 0;
    // Frames the device itself holds before they are heard, beyond a
    // request that comes in time (0 when it holds none).
    virtual unsigned latencyFrames() const { return 0; }
    // For the next open: how late a request may come before the device runs
    // dry (0: the device's default queue). What the last open bridges is
    // latencyFrames().
    virtual void setBridgeMs(double) {}
    // A queue that bridges bridgeMs from here on, for a sink whose stream
    // has an owner of its own: it swaps a new stream in (a new generation),
    // or, while the server is away, opens the next one with it. False: the
    // caller opens the sink again itself.
    virtual bool requeue(double) { return false; }
    // The stream's owner has not yet carried out a change asked for.
    virtual bool pending() const { return false; }
    // True when render calls come from a device in real time, at moments of
    // the device's choosing: the synthesizer then applies each message at
    // the stream position of its time. False: at once, when it arrives
    // (offline rendering pulls right after each millisecond's messages).
    virtual bool scheduled() const = 0;
    // The sound server has gone: the render goes on at the device's pace,
    // unheard, until a new stream is open (see RtAudioStream).
    virtual bool lost() const { return false; }
    // The output named is gone: the server's default plays in its place.
    virtual bool standingIn() const { return false; }
    // Streams opened since open(): each new one starts with an empty queue.
    virtual unsigned generation() const { return 0; }
};

// The audio device through RtAudio.
std::unique_ptr<SynthAudioSink> makeRtAudioSink();

// Renders only when pulled; offers a fixed device list.
class OfflineAudioSink : public SynthAudioSink
{
public:
    explicit OfflineAudioSink(unsigned sampleRate = 44100,
                              std::vector<AudioDeviceEntry> devices = {{"Offline", true}});

    std::vector<AudioDeviceEntry> devices() override;
    int open(int device, RenderCallback render, void *user) override;
    int start() override;
    void close() override;
    unsigned sampleRate() const override { return m_rate; }
    unsigned bufferFrames() const override { return 256; }
    unsigned latencyFrames() const override { return m_latency; }
    void setBridgeMs(double ms) override { m_bridgeAsked = ms; }
    bool scheduled() const override { return m_scheduled; }
    // Tests pull as a device would (in bursts, against a test clock), one
    // that holds `frames` beyond its requests.
    void setScheduled(bool on) { m_scheduled = on; }
    void setLatencyFrames(unsigned frames) { m_latency = frames; }
    // What the last open was asked to bridge (ms; 0: the default queue).
    double bridgeAsked() const { return m_bridgeAsked; }

    bool isOpen() const { return m_render != nullptr; }
    int openedDevice() const { return m_device; }
    // Outputs opened so far (each a start of the synthesizer).
    int opens() const { return m_opens.load(); }
    // Renders `frames` stereo frames into out (2 * frames floats); silence
    // while nothing is open.
    void pull(float *out, unsigned frames);
    std::vector<float> pull(unsigned frames);

private:
    unsigned m_rate;
    std::vector<AudioDeviceEntry> m_devices;
    // A test may pull on a thread of its own, as a device does: close()
    // waits for a pull in progress.
    std::mutex m_pulling;
    RenderCallback m_render = nullptr;
    void *m_user = nullptr;
    int m_device = 0;
    std::atomic<int> m_opens{0};
    bool m_scheduled = false;
    unsigned m_latency = 0;
    double m_bridgeAsked = 0;
};
