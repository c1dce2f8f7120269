// Our General MIDI / GS software synthesizer: FluidSynth rendering into an
// audio sink, fed with raw MIDI bytes. It offers the operations the
// synthesizer output relies on: start on a device, load and free a sound bank,
// raw MIDI in, a device list by number.
#pragma once

#include "MessageRing.h"
#include "OutputClock.h"
#include "SynthAudioSink.h"

#include <algorithm>
#include <atomic>
#include <cmath>
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
    // The sound server has gone (see SynthAudioSink::lost).
    bool outputLost() const { return m_synth && m_sink->lost(); }

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
    // ring for the render call that covers their time, except the user's
    // commands: the Master Volume (the music volume) applies at once, and
    // All Sound Off on every channel at one moment (a stop, a pause, a seek,
    // a key change) makes it and what was sent before it due at once, the
    // notes among them left out. Without a scheduled sink events apply at
    // once, but for a cut of sounding notes (All Sound Off, a GM or GS
    // reset) and what follows it: those wait for the next render, which
    // fades the sound out before the cut (see render()). Callers serialise
    // their calls (the output layer's port mutex).
    int streamEvents(const unsigned char *data, int length);

    // Fills frames of interleaved stereo, on a thread marked real-time
    // (RealTime::ThreadScope). Our code here neither allocates, nor locks
    // but FluidSynth's own API lock, nor writes: the engine tests count it
    // (tests/common/realtimeguard.h). FluidSynth itself does allocate:
    // Debian's build renders the reverb and chorus in an OpenMP parallel
    // region, and libgomp allocates and frees the region's one-thread team
    // in every fluid_synth_write_float() call (one memalign/free pair; the
    // render below calls it once per piece between due events, about twice
    // per 256 frames in a dense song). No setting avoids it with the
    // effects on: synth.cpu-cores at 1 or more, OMP_NUM_THREADS=1 and
    // fluid_synth_process() in place of fluid_synth_write_float() all keep
    // it; only reverb and chorus both off leave the region out. With
    // synth.cpu-cores and synth.effects-groups above 1 libgomp keeps its
    // team after the first call, but every render then waits at a barrier
    // for OpenMP's worker threads, which run without real-time priority.
    //
    // With a scheduled sink it renders up to each due event's place,
    // applies it and goes on: message time t sounds at one settled latency
    // after t (see schedule()). A cut of sounding notes would end the
    // waveform dead, an audible click: the output fades to silence over
    // kCutFadeMs first, the cut and whatever came due meanwhile apply, and
    // the output rises again over as long (what still sounds: another
    // channel's notes). A cut of every channel (a stop, a pause, a seek, a
    // key change, a new song) leaves it silent until the next note: the
    // reverb and chorus tail of the music is not heard, and is rendered
    // away meanwhile.
    void render(float *interleaved, unsigned frames);
    // The latency in frames: from the moment a message is stamped to the
    // moment it is heard (0 while not scheduled).
    unsigned latencyFrames() const { return unsigned(std::max(0.0, m_latencyFrames.load())); }
    // The message time being heard at nowMs (RealTime's clock): what the
    // device plays, through its drop-outs too; NaN while not scheduled or
    // before the first render.
    double heardMessageMs(double nowMs) const { return m_scheduled ? m_clock.heardMark(nowMs) : std::nan(""); }
    // True once the latency has settled (scheduled sink): the moment to
    // start the music. It settles over the device's first 1.5 s of audio, or
    // at the first note sent before.
    bool settled() const { return m_settledFlag.load(); }
    // Frames the device has asked for since the start (scheduled sink).
    uint64_t renderedFrames() const { return m_rendered.load(std::memory_order_relaxed); }
    // Events lost because the ring was full.
    uint64_t droppedEvents() const { return m_dropped.load(); }
    // Note-ons left out because they came due too long ago (after a stall),
    // the drop-outs the device had (it lost time) and the time lost.
    uint64_t droppedLateNotes() const { return m_droppedLate.load(); }
    uint64_t stalls() const { return m_clock.losses(); }
    double lostMs() const { return m_clock.lostMs(); }
    // Events that came after their place (a sequencer later than the latency
    // allows for) and the latest of them, in ms.
    uint64_t lateEvents() const { return m_lateEvents.load(std::memory_order_relaxed); }
    double worstEventLateMs() const { return m_worstEventLate.load(std::memory_order_relaxed); }
    // Runs of events heard late or left out, each logged in one line when
    // it ends, and every 2 s while it goes on: the device played on, but
    // the queue from the sequencer ran dry (a drop-out the device's own
    // accounting cannot see), or a device drop-out skipped past them.
    uint64_t lateRuns() const { return m_lateRuns.load(std::memory_order_relaxed); }
    // An event later than this is heard late (a note struck after its
    // neighbours, a held chord's next one after a gap).
    static constexpr double kHeardLateMs = 3.0;
    // How late the audio thread came at worst with the device's requests,
    // beyond the device's own swing (it asks in chunks): before the latency
    // settled, and since the stream started; and that swing at its widest.
    double requestLateBeforeMs() const { return m_lateBefore.load(std::memory_order_relaxed); }
    double requestLateMs() const { return m_clock.worstExcessMs(); }
    double swingMs() const { return m_clock.widestSwingMs(); }
    // How late a request may come before the device runs dry (ms).
    double bridgeMs() const { return m_sink->sampleRate() ? m_clock.queueFrames() * 1000.0 / m_sink->sampleRate() : 0; }

    // With or without real-time scheduling for the audio thread (its writes
    // wait on the sound server either way), only as much delay as the
    // machine needs: when its requests came later than the device's
    // queue bridges (a drop-out among them), opens the stream again with a
    // queue that bridges them with room to spare; when the sequencer came
    // later than the room left for it, settles the latency anew; when the
    // device has played calmly for kCalmMs, a queue and a room fitted to
    // what was seen (calm is judged over what came since the last
    // judgement). Owner's thread, while no note sounds (before a song
    // starts, between songs, while one is paused: its notes are cut): the
    // stream changes and the latency settles anew. True when it did.
    bool fitQueue();
    // What running without real-time scheduling adds to the latency, as
    // last settled (ms; 0 with real-time scheduling or before it settled).
    double normalPriorityCostMs() const { return m_costMs.load(std::memory_order_relaxed); }

    // The scheduling limits: headroom over the sequencer's lateness (an
    // event falls anywhere in the millisecond its pass handles); of a time
    // the device lost, at most kDropMs is heard later (the latency grows by
    // it and comes back gradually), the rest is skipped and note-ons due
    // longer ago than kDropMs are left out (a backlog never plays at once);
    // the latency never exceeds kMaxLatencyMs.
    static constexpr double kMarginMs = 1.0;
    static constexpr double kDropMs = 50.0;
    static constexpr double kMaxLatencyMs = 2000.0;
    // How late the device's queue lets the audio thread come, and the most
    // it grows to: every command (a stop,
    // a pause, a key change) is heard behind the queue, and must be within
    // 150 ms, the sound server's own latency included.
    static constexpr double kNormalBridgeMs = 50.0;
    static constexpr double kMaxBridgeMs = 120.0;
    // How long the device must have played without a drop-out, a late
    // event or a request late beyond half the queue before the queue and
    // the room shrink to what the machine needs: a queue grown for a bad
    // moment delays every command until then.
    static constexpr double kCalmMs = 3000.0;
    // The fade before a cut, and the rise after it.
    static constexpr double kCutFadeMs = 5.0;
    // How long a note a key change ends takes to die away: FluidSynth's
    // shortest release, and the window in which the channel's release is
    // kept that short (until the ended notes are gone).
    static constexpr double kQuickReleaseMs = 25.0;
    // Cuts faded so far (a cut of nothing that sounds applies at once).
    uint64_t fadedCuts() const { return m_fadedCuts.load(std::memory_order_relaxed); }

    // Master Volume 0..1 and the resulting gain. FluidSynth ends a held
    // voice whose level falls below its noise floor for good, so the volume
    // scales the output after FluidSynth, not inside it: a held note sounds
    // again when the volume comes back.
    double masterVolume() const { return m_volumeTarget.load(std::memory_order_relaxed); }
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
    void renderEvents(float *out, unsigned frames);
    // Writes frames with the fade's gain, which moves towards 0 while a cut
    // waits and towards 1 otherwise.
    void writeFaded(float *out, unsigned frames);
    // While quiet: FluidSynth renders ahead into a scratch buffer what the
    // effects still hold, so that the next note does not bring it back.
    void flushTail();
    // The stream is about to close or change (owner's thread): every event
    // sent so far applies, then the output fades to silence and holds there
    // until unmute(). Waits at most for the latency and a little more.
    void muteForChange();
    void unmute();
    // The event muteForChange() puts in the ring behind what was sent.
    static bool isMuteMark(const unsigned char *event, int length);
    // A SysEx payload (after F0, without F7) that sets the Master Volume.
    static bool isMasterVolume(const unsigned char *payload, int length);
    // A cut of something that sounds now; a cut of sounding notes at all.
    bool cutsSound(const unsigned char *event, int length);
    static bool cutsAll(const unsigned char *event, int length);
    // Sets the shift for the buffer the device asks for now.
    void schedule(double nowMs, unsigned frames);
    void resetSchedule();
    // The room for the sequencer's lateness, from its recent wake-ups.
    static double roomMs(bool normalPriority);
    // The ring's events: every one pushed and popped is counted.
    bool pushEvent(const unsigned char *event, int length, double ms, bool atOnce = false);
    void popEvent();
    // The first `through` entries of the ring are due at once, the notes
    // among them on `channels` left out but those sent at once.
    void markUrgent(uint64_t through, uint16_t channels);
    // Applies an event lateMs after its place, or leaves out a note that
    // came due too long ago (and its note-off).
    void applyDue(const unsigned char *event, int length, double lateMs);
    void dispatch(unsigned char status, unsigned char d1, unsigned char d2);
    // A note a key change ends dies away in FluidSynth's shortest release,
    // not in its own long one: its old pitch would drown the new one for
    // tens of milliseconds. The channel's release comes back once those
    // notes are gone (render thread).
    void releaseQuickly(const unsigned char *event, int length);
    void restoreReleases();
    // Ends and logs a run of late or left-out events once a render has
    // none (render thread).
    void reportLateRun();
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
    // Raw parser state; callers serialise streamEvents (the output layer
    // holds the port mutex around each send).
    unsigned char m_status = 0;
    unsigned char m_data[2] = {0, 0};
    int m_have = 0;

    // Scheduling, for a scheduled sink: the events waiting, and the mapping
    // of message time to stream frames (render thread only, but the
    // published figures).
    int m_device = -1;
    bool m_scheduled = false;
    MessageRing m_events;
    std::atomic<uint64_t> m_dropped{0};
    OutputClock m_clock;
    bool m_settled = false;
    double m_lastRenderMs = 0;
    uint64_t m_position = 0;  // frames rendered so far
    double m_base = 0;        // the device's top, followed slowly
    double m_latency = 0;     // settled: from the top to where a message sounds
    double m_roomMs = 0;      // of it, the room for the sequencer's lateness
    uint64_t m_lateEventsBefore = 0; // late events before the last settling
    std::atomic<double> m_costMs{0};
    double m_catchUp = 0;     // what a drop-out added, easing out
    double m_shift = 0;       // message time t sounds at t * rate + shift
    double m_shiftFrames = 0; // the shift with the catch-up, in whole blocks
    // Note-offs still owed to note-ons that were left out, per channel and key.
    uint8_t m_leftOut[16][128] = {};
    std::atomic<bool> m_settledFlag{false};
    std::atomic<bool> m_noteSent{false};
    std::atomic<uint64_t> m_rendered{0};
    std::atomic<uint64_t> m_droppedLate{0};
    std::atomic<uint64_t> m_lateEvents{0};
    std::atomic<double> m_worstEventLate{0};
    std::atomic<double> m_lateBefore{0};
    std::atomic<double> m_latencyFrames{0};
    std::atomic<bool> m_inRender{false};
    // The fade around a cut (render thread): frames left until the cut at
    // the ring's front applies, the gain now, and one fade's length.
    unsigned m_fadeLeft = 0;
    float m_fadeGain = 1.0f;
    unsigned m_fadeFrames = 1;
    uint64_t m_synthFrames = 0; // rendered by FluidSynth since it was made
    std::atomic<uint64_t> m_fadedCuts{0};
    // Quiet after a cut of every channel, until a note comes (render
    // thread, and the sender's when events apply at once); muted for a
    // stream change, until unmute(); whether the effects' tail is gone.
    std::atomic<bool> m_quiet{false};
    std::atomic<bool> m_muted{false};
    std::atomic<unsigned char> m_muteRequest{0};
    bool m_tailGone = false;
    uint64_t m_idleFrames = 0; // rendered since the tail was gone (render thread)
    uint16_t m_cutChannels = 0; // channels cut since the fade (render thread)
    // Channels whose release is shortened, until which synthesizer frame,
    // and the release offset each had before (render thread).
    uint16_t m_quickChannels = 0;
    uint64_t m_quickUntil[16] = {};
    float m_quickSaved[16] = {};
    // The run of late events in progress (render thread): how many, left
    // out, the latest, whether a render had one, whether the device lost
    // time meanwhile.
    uint32_t m_runLate = 0;
    uint32_t m_runLeftOut = 0;
    double m_runWorstMs = 0;
    double m_runStartMs = 0;
    double m_runSeenMs = -1; // the render that first had it
    bool m_runThisRender = false;
    bool m_runDeviceLoss = false;
    std::atomic<uint64_t> m_lateRuns{0};
    double m_settledAtMs = 0;   // when the latency last settled (render thread)
    std::vector<float> m_scratch;
    // The Master Volume as an output gain (render thread), moving to its
    // target at one fade's pace.
    std::atomic<float> m_volumeTarget{1.0f};
    float m_volume = 1.0f;
    // The last cut of every channel at one moment (the sender's). What was
    // sent up to such a cut, or up to a message sent at once, is due at
    // once: the ring's first (low 48 bits) entries, counted from its start,
    // and the channels (high 16 bits) whose notes among them are left out
    // (they would be cut or struck again at once). Entries pushed and
    // popped so far give an entry its number.
    double m_cutBatchMs = -1;
    uint16_t m_cutBatch = 0;
    std::atomic<uint64_t> m_urgent{0};
    std::atomic<uint64_t> m_pushed{0};
    uint64_t m_popped = 0;
    // Since the stream opened or the latency last settled anew, while music
    // sounded: the drop-outs and the audio thread's worst lateness (ms).
    bool m_sounded = false; // a note since the synthesizer started
    std::atomic<uint64_t> m_audibleLosses{0};
    std::atomic<double> m_audibleLateMs{0};
    // Where what fitQueue judges next began (rendered frames), on which
    // stream (owner's thread).
    uint64_t m_windowFrom = 0;
    unsigned m_windowGeneration = 0;
    // Asked for a resettling of the latency without a new stream; the
    // sink's stream it was settled on (render thread).
    std::atomic<bool> m_resettle{false};
    unsigned m_generation = 0;
    // Without a scheduled sink: events the sender put in the ring behind a
    // cut, not yet applied by the render.
    std::atomic<int> m_waiting{0};
    std::atomic<bool> m_bankChange{false};
};
