// Our General MIDI / GS software synthesizer: FluidSynth rendering into an
// audio sink, fed with raw MIDI bytes. It offers the operations the
// synthesizer output relies on: start on a device, load and free a sound bank,
// raw MIDI in, a device list by number.
#pragma once

#include "MessageRing.h"
#include "SynthAudioSink.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class QFile;
struct _fluid_hashtable_t;
struct _fluid_synth_t;

// Result codes; the numbers follow the audio library this component replaces
// so that logged codes keep their meaning.
constexpr int SOFTSYNTH_OK = 0;
constexpr int SOFTSYNTH_ERROR_MEM = 1;
constexpr int SOFTSYNTH_ERROR_FILEOPEN = 2;
constexpr int SOFTSYNTH_ERROR_DRIVER = 3; // no audio device at all
constexpr int SOFTSYNTH_ERROR_HANDLE = 5;
constexpr int SOFTSYNTH_ERROR_INIT = 8;
constexpr int SOFTSYNTH_ERROR_ALREADY = 14;
constexpr int SOFTSYNTH_ERROR_DEVICE = 23; // no such device, or unusable
constexpr int SOFTSYNTH_ERROR_FILEFORM = 41;

class SoftSynth
{
public:
    static constexpr int kChannels = 16;
    static constexpr int kPolyphony = 256;
    // FluidSynth's gain at full Master Volume. The output layer caps the
    // Master Volume at 88 of 127, where this gives FluidSynth's own default
    // of 0.2, which leaves headroom for dense songs.
    static constexpr float kFullGain = 0.29f;
    // GS defaults: reverb Hall 2 at level 64, chorus 3 at level 64.
    static constexpr int kDefaultReverbMacro = 4;
    static constexpr int kDefaultChorusMacro = 2;
    static constexpr int kDefaultFxLevel = 64;

    // A null sink means the audio device through RtAudio.
    explicit SoftSynth(std::unique_ptr<SynthAudioSink> sink = nullptr);
    ~SoftSynth();
    SoftSynth(const SoftSynth &) = delete;
    SoftSynth &operator=(const SoftSynth &) = delete;

    // Opens device d (-1: default) and starts a 16-channel GS synthesizer at
    // the device's rate. 0 or a SOFTSYNTH_ERROR_* code; nothing stays open
    // on failure.
    int start(int device);
    // Stops audio, then frees the synthesizer and every sound bank.
    void stop();
    bool isRunning() const { return m_synth != nullptr; }
    unsigned sampleRate() const;
    // Output buffer length in milliseconds (0 while stopped).
    unsigned bufferMs() const;

    std::vector<AudioDeviceEntry> devices() { return m_sink->devices(); }
    SynthAudioSink *sink() { return m_sink.get(); }

    // Loads a sound bank read through `file`, which must be open for
    // reading. The file belongs to the loader from here on and is closed
    // and deleted exactly once, whatever the result. Returns the bank's
    // handle (> 0) and makes its presets the active ones; 0 on failure
    // with *error set.
    int loadFont(QFile *file, int *error);
    bool freeFont(int handle);
    // Presets of a bank as (bank << 16) | program, at most max of them;
    // returns how many the bank has.
    int fontPresets(int handle, uint32_t *presets, int max);

    // Channel events outside the byte stream; false for a channel the
    // synthesizer does not have.
    bool setChannelDrums(int channel, bool drums);
    bool programChange(int channel, int program);

    // Raw MIDI bytes: channel messages with running status (kept across
    // calls), several per call, whole SysEx from F0 to F7. Returns the number
    // of events processed, -1 while stopped. With a scheduled sink the
    // events wait, stamped with RealTime::messageTimeMs(), in a preallocated
    // ring for the render call that covers their time; otherwise they apply
    // at once. Callers serialise their calls (the output layer's port mutex).
    int streamEvents(const unsigned char *data, int length);

    // Fills frames of interleaved stereo. Real-time safe: no allocation,
    // no lock but FluidSynth's own API lock. With a scheduled sink it renders
    // up to each due event's place, applies it and goes on: message time t
    // sounds a fixed latency later, chosen to cover the largest lead the
    // device's bursts have shown lately (so nothing due is ever late); it
    // follows a device slower than the clock slowly, a stall at once.
    void render(float *interleaved, unsigned frames);
    // The scheduling latency in frames at the last render call: from the
    // frame the device asked for to where a message stamped then sounds (0
    // while not scheduled).
    unsigned latencyFrames() const { return unsigned(std::max(0.0, m_latencyFrames.load())); }
    // Frames the device has asked for since the start (scheduled sink).
    uint64_t renderedFrames() const { return m_rendered.load(std::memory_order_relaxed); }
    // Events lost because the ring was full.
    uint64_t droppedEvents() const { return m_dropped.load(); }

    // Master Volume 0..1 and the resulting gain.
    double masterVolume() const { return m_masterVolume; }
    float gain() const;
    bool channelPreset(int channel, int *bank, int *program) const;
    int activeVoices() const;

    // Sound-bank files currently open through loadFont (for leak checks).
    static int openFontFiles();

private:
    static void renderCallback(float *out, unsigned frames, void *user);
    // Calls deliver(bytes, length) for each complete event: a channel
    // message, or F0 followed by a SysEx's payload (without F7). Returns the
    // count.
    template <typename Deliver>
    int parse(const unsigned char *data, int length, Deliver deliver);
    void apply(const unsigned char *event, int length);
    void renderScheduled(float *out, unsigned frames);
    void dispatch(unsigned char status, unsigned char d1, unsigned char d2);
    void handleSysEx(const unsigned char *payload, int length);
    void setMasterVolume(double volume);
    void silence();
    void restoreDefaultEffects();
    void setReverbMacro(int macro);
    void setReverbLevel(int level);
    void setChorusMacro(int macro);
    void setChorusLevel(int level);
    void addSoundControllers();

    std::unique_ptr<SynthAudioSink> m_sink;
    _fluid_hashtable_t *m_settings = nullptr;
    _fluid_synth_t *m_synth = nullptr;
    double m_masterVolume = 1.0;
    // Raw parser state; callers serialise streamEvents (the output layer
    // holds the port mutex around each send).
    unsigned char m_status = 0;
    unsigned char m_data[2] = {0, 0};
    int m_have = 0;

    // Scheduling, for a scheduled sink: the events waiting, and the mapping
    // of message time to stream frames (render thread only, but the latency).
    bool m_scheduled = false;
    MessageRing m_events;
    std::atomic<uint64_t> m_dropped{0};
    bool m_anchored = false;          // a render call has set the shift
    double m_lastRenderMs = 0;
    double m_windowStartMs = 0;       // the largest needs of this window and the last
    double m_maxNeed = 0;
    double m_previousMaxNeed = 0;
    uint64_t m_position = 0;          // frames rendered so far
    double m_shiftFrames = 0;         // message time t sounds at t * rate + shift
    double m_sinkingShift = 0;        // the shift before rounding up to whole blocks
    std::atomic<uint64_t> m_rendered{0};
    std::atomic<double> m_latencyFrames{0};
};
