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
    // on failure. start() is open() then startAudio(); a caller that loads
    // a sound bank loads it in between, so that no audio callback waits
    // for the load.
    int start(int device);
    int open(int device);
    int startAudio();
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
    // sounds at one settled latency after t (see renderScheduled).
    void render(float *interleaved, unsigned frames);
    // The latency in frames: from the moment a message is stamped to the
    // frame it sounds at, counted from where the device is when it asks
    // least far ahead, plus what the device reports it holds (0 while not
    // scheduled). A position taken from the sequencer minus this is the
    // position being heard.
    unsigned latencyFrames() const { return unsigned(std::max(0.0, m_latencyFrames.load())); }
    // True once the latency has settled (scheduled sink): the moment to
    // start the music. It settles over the device's first 1.5 s of audio, or
    // at the first note sent before.
    bool settled() const { return m_settledFlag.load(); }
    // Frames the device has asked for since the start (scheduled sink).
    uint64_t renderedFrames() const { return m_rendered.load(std::memory_order_relaxed); }
    // Events lost because the ring was full.
    uint64_t droppedEvents() const { return m_dropped.load(); }
    // Note-ons left out because they came due too long ago (after a stall),
    // and the stalls the device had (a fall behind the clock beyond its
    // usual swing by more than kStallMs).
    uint64_t droppedLateNotes() const { return m_droppedLate.load(); }
    uint64_t stalls() const { return m_stalls.load(); }

    // The scheduling limits: headroom over the sequencer's lateness (an
    // event falls anywhere in the millisecond its pass handles); note-ons
    // due longer ago than kDropMs are left out (a backlog never plays at
    // once); a device that falls behind by more than kStallMs has stalled;
    // the latency never exceeds kMaxLatencyMs.
    static constexpr double kMarginMs = 1.0;
    static constexpr double kDropMs = 50.0;
    static constexpr double kStallMs = 40.0;
    static constexpr double kMaxLatencyMs = 2000.0;

    // Master Volume 0..1 and the resulting gain.
    double masterVolume() const { return m_masterVolume; }
    float gain() const;
    bool channelPreset(int channel, int *bank, int *program) const;
    int activeVoices() const;

    // Sound-bank files currently open through loadFont (for leak checks).
    static int openFontFiles();

private:
    // Keeps the render callback out of FluidSynth while a bank loads or
    // unloads: the callback plays silence then instead of waiting.
    class BankChange
    {
    public:
        explicit BankChange(SoftSynth *synth);
        ~BankChange();

    private:
        SoftSynth *m_synth;
    };
    static void renderCallback(float *out, unsigned frames, void *user);
    // Calls deliver(bytes, length) for each complete event: a channel
    // message, or F0 followed by a SysEx's payload (without F7). Returns the
    // count.
    template <typename Deliver>
    int parse(const unsigned char *data, int length, Deliver deliver);
    void apply(const unsigned char *event, int length);
    void renderScheduled(float *out, unsigned frames);
    // Sets the shift for the buffer the device asks for now.
    void schedule(double nowMs, unsigned frames);
    // Follows a device that fell behind the clock for good (lost time).
    void followLoss(double nowMs, double place, unsigned frames, double perMs);
    void moveEnvelope(double frames);
    // Applies an event lateMs after its place, or leaves out a note that
    // came due too long ago (and its note-off).
    void applyDue(const unsigned char *event, int length, double lateMs);
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
    // of message time to stream frames (render thread only, but the
    // published figures).
    bool m_scheduled = false;
    MessageRing m_events;
    std::atomic<uint64_t> m_dropped{0};
    bool m_anchored = false;
    bool m_settled = false;
    double m_startMs = 0;
    double m_lastRenderMs = 0;
    double m_lastSoundMs = 0;
    // Where the device's stream position stands against the clock
    // (position - now): the lowest, and the highest at the end of what it
    // asks for, over this window and the last.
    double m_windowStartMs = 0;
    double m_hi = 0, m_hiPrevious = 0;
    double m_lo = 0, m_loPrevious = 0;
    // The lowest places of the last windows: their median is where the
    // device stands, steady through a late callback it bridged.
    static constexpr int kLows = 8;
    double m_lows[kLows] = {};
    int m_lowCount = 0;
    // The device's highest place in each of the last short spans: the last
    // two stay below the usual only when the device lost time.
    static constexpr int kTops = 16;
    double m_topStartMs = 0;
    double m_tops[kTops] = {};
    int m_topCount = 0;
    uint64_t m_position = 0;          // frames rendered so far
    double m_shift = 0;               // message time t sounds at t * rate + shift
    double m_catchUp = 0;             // added after a stall, easing out
    double m_shiftFrames = 0;         // the two, in whole blocks
    double m_latency = 0;             // settled, and grown by late events
    double m_lateSeen = 0;            // the latest event's lateness since the last call
    bool m_stalled = false;           // the device stood: what it missed is a backlog
    double m_backlogBeforeMs = 0;     // message time where the last backlog ends
    // Note-offs still owed to note-ons that were left out, per channel and key.
    uint8_t m_leftOut[16][128] = {};
    std::atomic<bool> m_settledFlag{false};
    std::atomic<bool> m_noteSent{false};
    std::atomic<uint64_t> m_rendered{0};
    std::atomic<uint64_t> m_droppedLate{0};
    std::atomic<uint64_t> m_stalls{0};
    std::atomic<double> m_latencyFrames{0};
    std::atomic<bool> m_inRender{false};
    std::atomic<bool> m_bankChange{false};
};
