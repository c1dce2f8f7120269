#include "SoftSynth.h"

#include "RealTime.h"
#include "ThreadPriority.h"
#include "logmsg.h"

#include <QFile>
#include <QString>

#include <fluidsynth.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <chrono>
#include <thread>

namespace {

std::atomic<int> g_openFontFiles{0};

// The bank file that the load in progress on this thread hands to the
// loader's first open; FluidSynth passes the open callback nothing but a name.
thread_local QFile *t_pendingFont = nullptr;

void closeFontFile(QFile *file)
{
    file->close();
    delete file;
    --g_openFontFiles;
}

void *fontOpen(const char *filename)
{
    const QString name = QString::fromUtf8(filename);
    if (t_pendingFont && t_pendingFont->fileName() == name) {
        QFile *file = t_pendingFont;
        t_pendingFont = nullptr;
        if (!file->seek(0)) {
            closeFontFile(file);
            return nullptr;
        }
        return file;
    }
    // A later reopen of the same bank by FluidSynth itself.
    auto *file = new QFile(name);
    if (!file->open(QIODevice::ReadOnly)) {
        delete file;
        return nullptr;
    }
    ++g_openFontFiles;
    return file;
}

int fontRead(void *buf, fluid_long_long_t count, void *handle)
{
    auto *file = static_cast<QFile *>(handle);
    if (!file || count < 0)
        return FLUID_FAILED;
    if (count == 0)
        return FLUID_OK;
    // FluidSynth treats anything but the whole amount as a failure.
    return file->read(static_cast<char *>(buf), count) == count ? FLUID_OK : FLUID_FAILED;
}

int fontSeek(void *handle, fluid_long_long_t offset, int origin)
{
    auto *file = static_cast<QFile *>(handle);
    if (!file)
        return FLUID_FAILED;
    qint64 target;
    switch (origin) {
    case SEEK_SET: target = offset; break;
    case SEEK_CUR: target = file->pos() + offset; break;
    case SEEK_END: target = file->size() + offset; break;
    default: return FLUID_FAILED;
    }
    if (target < 0 || target > file->size())
        return FLUID_FAILED;
    return file->seek(target) ? FLUID_OK : FLUID_FAILED;
}

fluid_long_long_t fontTell(void *handle)
{
    auto *file = static_cast<QFile *>(handle);
    return file ? file->pos() : FLUID_FAILED;
}

int fontClose(void *handle)
{
    auto *file = static_cast<QFile *>(handle);
    if (!file)
        return FLUID_FAILED;
    closeFontFile(file);
    return FLUID_OK;
}

void fluidLog(int, const char *message, void *)
{
    // It may speak from the audio callback: through the real-time log ring.
    rtLogMsg(2, "../common-midiinterface/SoftSynth", 0, "fluidsynth: %s", message);
}

void installLogging()
{
    static std::once_flag once;
    std::call_once(once, [] {
        fluid_set_log_function(FLUID_PANIC, fluidLog, nullptr);
        fluid_set_log_function(FLUID_ERR, fluidLog, nullptr);
        // Its warnings (bad checksums in songs, missing presets, voice
        // stealing) are routine and come from inside the render: dropped.
        fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    });
}

struct ReverbMacro {
    double roomsize, damp, width;
};
// Room 1-3, Hall 1-2, Plate, Delay, Panning Delay.
constexpr ReverbMacro kReverbMacros[8] = {
    {0.35, 0.50, 0.6}, {0.45, 0.40, 0.7}, {0.55, 0.35, 0.8}, {0.70, 0.30, 0.9},
    {0.80, 0.25, 1.0}, {0.65, 0.10, 1.0}, {0.55, 0.00, 0.5}, {0.60, 0.00, 1.0},
};

struct ChorusMacro {
    int voices;
    double speedHz, depthMs;
    int type;
};
// Chorus 1-4, Feedback Chorus, Flanger, Short Delay, Short Delay (FB).
constexpr ChorusMacro kChorusMacros[8] = {
    {3, 0.40, 4.0, FLUID_CHORUS_MOD_SINE},     {3, 0.50, 6.0, FLUID_CHORUS_MOD_SINE},
    {3, 0.40, 8.0, FLUID_CHORUS_MOD_SINE},     {3, 0.60, 12.0, FLUID_CHORUS_MOD_SINE},
    {4, 0.50, 10.0, FLUID_CHORUS_MOD_SINE},    {2, 0.20, 2.0, FLUID_CHORUS_MOD_TRIANGLE},
    {1, 0.10, 1.0, FLUID_CHORUS_MOD_TRIANGLE}, {2, 0.10, 2.0, FLUID_CHORUS_MOD_TRIANGLE},
};

// The ring holds a dense song's bursts; SysEx dumps beyond a cell take one
// of the large blocks.
constexpr size_t kEventSlots = 4096;
constexpr int kLargeEvents = 4;
constexpr int kLargeEventBytes = 65536;
// How long the device plays before the latency settles (unless a note comes
// first), and the room added when a note settles it early; how fast the
// latency follows a device whose clock runs apart from the system's, and how
// far it may stray before it does; how fast the latency a drop-out added
// eases out.
constexpr double kSettleMs = 1500.0;
constexpr double kEarlyHeadroomMs = 20.0;
constexpr double kFollowRate = 0.01;
constexpr double kDeadbandMs = 3.0;
constexpr double kCatchUpRate = 0.05;
// The room left for the sequencer's lateness: half as much again as the
// latest seen, and a few milliseconds, since it varies. Without real-time
// scheduling a busy machine holds the loop up by tens of milliseconds now and
// then, and its worst comes seldom (p99 37-43 ms, max 77 ms in a minute, once
// 180 ms, measured for an ordinary user with every core busy in the user's
// own session): twice the latest and 15 ms, the worst of the last half
// minute and 15 ms, and at least kNormalRoomMs. On a calm machine that is
// the floor: a deeper room would delay every button for nothing, and a
// lateness beyond it settles the latency anew before the next song.
constexpr double kLateHeadroom = 1.5;
constexpr double kHeadroomMs = 4.0;
constexpr double kLateHeadroomNormal = 2.0;
constexpr double kHeadroomNormalMs = 15.0;
constexpr double kNormalRoomMs = 35.0;
// What the queue must bridge beyond the audio thread's worst lateness.
constexpr double kQueueMarginMs = 20.0;

constexpr double kBlockFrames = 64.0;
// While quiet, what the effects still hold is rendered away this many frames
// ahead per request (whole blocks), until it is below kTailGone.
constexpr unsigned kFlushFrames = 1024;
// How long it renders on after that before it stops rendering (frames).
constexpr uint64_t kIdleRenderFrames = 96000;
constexpr float kTailGone = 1e-5f;
// The mark muteForChange() queues: a SysEx of the non-commercial id that no
// song sends to a synthesizer, with the request's number.
constexpr unsigned char kMuteMark[] = {0xF0, 0x7D, 0x56, 0x4D};
// A device that has asked for nothing this long is not asking (stopped, or
// pulled by the waiting thread itself): nothing to wait for.
constexpr double kIdleMs = 150.0;
// The word of what is due at once: a count of entries, and channels.
constexpr int kUrgentChannelShift = 48;
constexpr uint64_t kUrgentCount = (uint64_t(1) << kUrgentChannelShift) - 1;

void writeFrames(fluid_synth_t *synth, float *out, unsigned frames)
{
    fluid_synth_write_float(synth, int(frames), out, 0, 2, out, 1, 2);
}

constexpr unsigned char kGsResetPayload[] = {0x41, 0x10, 0x42, 0x12, 0x40,
                                             0x00, 0x7F, 0x00, 0x41};

} // namespace

SoftSynth::SoftSynth(std::unique_ptr<SynthAudioSink> sink)
    : m_sink(std::move(sink)), m_events(kEventSlots, kLargeEvents, kLargeEventBytes)
{
    if (!m_sink)
        m_sink = makeRtAudioSink();
    installLogging();
}

SoftSynth::~SoftSynth()
{
    stop();
}

int SoftSynth::start(int device)
{
    const int result = open(device);
    return result == SOFTSYNTH_OK ? startAudio() : result;
}

int SoftSynth::open(int device)
{
    if (m_synth)
        return SOFTSYNTH_ERROR_ALREADY;
    // An audio thread without real-time scheduling is held up by a busy
    // machine for tens of milliseconds, and one with it too: its writes
    // wait on the sound server, whose own thread that takes them runs at
    // normal priority (on a busy machine a real-time callback with the
    // device's short default queue dropped out more often than one
    // without). The queue must bridge that either way.
    m_sink->setBridgeMs(kNormalBridgeMs);
    m_device = device;
    int result = m_sink->open(device, &SoftSynth::renderCallback, this);
    if (result != SOFTSYNTH_OK)
        return result;

    m_settings = new_fluid_settings();
    if (!m_settings) {
        m_sink->close();
        return SOFTSYNTH_ERROR_MEM;
    }
    fluid_settings_setnum(m_settings, "synth.sample-rate", m_sink->sampleRate());
    fluid_settings_setint(m_settings, "synth.midi-channels", kChannels);
    fluid_settings_setint(m_settings, "synth.polyphony", kPolyphony);
    fluid_settings_setstr(m_settings, "synth.midi-bank-select", "gs");
    // The GS reset and the songs' GS messages address device 10 (hex).
    fluid_settings_setint(m_settings, "synth.device-id", 16);
    fluid_settings_setint(m_settings, "synth.threadsafe-api", 1);
    m_synth = new_fluid_synth(m_settings);
    if (!m_synth) {
        m_sink->close();
        delete_fluid_settings(m_settings);
        m_settings = nullptr;
        return SOFTSYNTH_ERROR_INIT;
    }

    fluid_sfloader_t *loader = new_fluid_defsfloader(m_settings);
    if (loader) {
        fluid_sfloader_set_callbacks(loader, fontOpen, fontRead, fontSeek, fontTell, fontClose);
        fluid_synth_add_sfloader(m_synth, loader);
    }
    addSoundControllers();
    m_status = 0;
    m_have = 0;
    // A new synthesizer holds no voice and no tail.
    m_scratch.assign(size_t(kFlushFrames) * 2, 0.0f);
    m_quiet.store(false);
    m_muted.store(false);
    m_sounded = false;
    m_scheduled = m_sink->scheduled();
    m_fadeFrames = std::max(1u, unsigned(m_sink->sampleRate() * kCutFadeMs / 1000.0));
    m_synthFrames = 0;
    m_quickChannels = 0;
    resetSchedule();
    fluid_synth_set_gain(m_synth, kFullGain);
    restoreDefaultEffects();
    return SOFTSYNTH_OK;
}

int SoftSynth::startAudio()
{
    if (!m_synth)
        return SOFTSYNTH_ERROR_INIT;
    const int result = m_sink->start();
    if (result != SOFTSYNTH_OK)
        stop();
    return result;
}

void SoftSynth::stop()
{
    // What sounds fades out before the stream ends (a device change, the
    // program's end); no render call may run once the synthesizer is gone.
    muteForChange();
    m_sink->close();
    if (m_synth) {
        delete_fluid_synth(m_synth);
        m_synth = nullptr;
    }
    if (m_settings) {
        delete_fluid_settings(m_settings);
        m_settings = nullptr;
    }
    while (m_events.front())
        popEvent();
    m_waiting.store(0);
    m_status = 0;
    m_have = 0;
}

// No render call runs.
void SoftSynth::resetSchedule()
{
    m_clock.reset(m_sink->sampleRate() / 1000.0, m_sink->latencyFrames());
    m_generation = m_sink->generation();
    m_settled = false;
    m_settledFlag.store(false);
    m_noteSent.store(false);
    m_position = 0;
    m_settledAtMs = 0;
    m_cutChannels = 0;
    m_base = m_latency = m_shift = m_catchUp = m_shiftFrames = 0;
    std::memset(m_leftOut, 0, sizeof m_leftOut);
    m_rendered.store(0);
    m_windowFrom = 0;
    m_audibleLosses.store(0);
    m_audibleLateMs.store(0.0);
    m_latencyFrames.store(0.0);
    m_lateBefore.store(0.0);
    m_fadeLeft = 0;
    // A stream opened again while the output is silent starts silent.
    m_fadeGain = m_muted.load() || m_quiet.load() ? 0.0f : 1.0f;
    m_volume = m_volumeTarget.load();
    m_lateEventsBefore = m_lateEvents.load();
}

bool SoftSynth::isMasterVolume(const unsigned char *p, int n)
{
    return n == 6 && p[0] == 0x7F && p[2] == 0x04 && p[3] == 0x01;
}

bool SoftSynth::isMuteMark(const unsigned char *e, int n)
{
    return n == int(sizeof kMuteMark) + 1 && std::memcmp(e, kMuteMark, sizeof kMuteMark) == 0;
}

void SoftSynth::muteForChange()
{
    // Only a device that asks on its own renders the fade; the mark goes
    // behind whatever was sent, so a stop sent just before still applies.
    if (!m_synth || !m_scheduled || m_muted.load())
        return;
    const unsigned char request = (m_muteRequest.load() + 1) & 0x7F;
    m_muteRequest.store(request);
    unsigned char mark[sizeof kMuteMark + 1];
    std::memcpy(mark, kMuteMark, sizeof kMuteMark);
    mark[sizeof kMuteMark] = request;
    if (!pushEvent(mark, int(sizeof mark), RealTime::messageTimeMs()))
        return;
    const double rate = std::max(1u, m_sink->sampleRate());
    const double limitMs = std::min(2000.0, (latencyFrames() + m_sink->latencyFrames()) * 1000.0 / rate + 300.0);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto asked = start;
    uint64_t rendered = renderedFrames();
    for (;;) {
        if (m_muted.load())
            return;
        const auto now = Clock::now();
        if (renderedFrames() != rendered) {
            rendered = renderedFrames();
            asked = now;
        }
        if (std::chrono::duration<double, std::milli>(now - start).count() >= limitMs
            || std::chrono::duration<double, std::milli>(now - asked).count() >= kIdleMs)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void SoftSynth::unmute()
{
    // A mark still on its way (the wait gave up) mutes nothing any more.
    m_muteRequest.store((m_muteRequest.load() + 1) & 0x7F);
    m_muted.store(false);
}

double SoftSynth::roomMs(bool normal)
{
    const double late = RealTime::recentWakeLatenessMs();
    if (!normal)
        return late * kLateHeadroom + kHeadroomMs;
    return std::max({late * kLateHeadroomNormal, RealTime::longWakeLatenessMs(), kNormalRoomMs - kHeadroomNormalMs})
           + kHeadroomNormalMs;
}

bool SoftSynth::fitQueue()
{
    if (!m_synth || !m_scheduled || !m_settled)
        return false;
    // Nothing to judge while the server is away or a new stream is on its
    // way: the queue asked for is the one it opens.
    if (m_sink->lost() || m_sink->pending())
        return false;
    const double rate = m_sink->sampleRate();
    if (m_sink->latencyFrames() == 0 || rate <= 0)
        return false; // no queue of its own to fit
    const double bridged = m_sink->latencyFrames() * 1000.0 / rate;
    const double late = m_audibleLateMs.load(std::memory_order_relaxed);
    const double swing = m_clock.widestSwingMs();
    const uint64_t dropOuts = m_audibleLosses.load(std::memory_order_relaxed);
    // Only a device that ran dry while music sounded (a drop-out heard)
    // gets a deeper queue, just deep enough to have bridged it: every
    // millisecond of it delays every button, and lateness the queue bridged
    // cost nothing (a sound server with a deep queue asks for most of it at
    // once, so its requests always look late). What the queue bridges
    // beyond the device's swing must cover the lateness and a margin.
    const double need = late + kQueueMarginMs;
    const double missing = need - (bridged - swing);
    const bool grows = dropOuts > 0 && missing > 0 && bridged < kMaxBridgeMs;
    const uint64_t lateNow = lateEvents() - m_lateEventsBefore;
    // Calm is judged over what was seen since the last judgement that left
    // the queue as it was (or since the stream changed), not since the
    // stream opened: one bad moment must not keep a deep queue all evening.
    if (m_sink->generation() != m_windowGeneration) {
        m_windowGeneration = m_sink->generation();
        m_windowFrom = renderedFrames();
    }
    const double windowMs = double(renderedFrames() - std::min(m_windowFrom, renderedFrames())) * 1000.0 / rate;
    const bool calm = windowMs >= kCalmMs && dropOuts == 0 && late < bridged / 2;
    double wanted = bridged;
    if (grows) {
        wanted = std::min(bridged + missing, kMaxBridgeMs);
        rtLogMsg(3, "../common-midiinterface/SoftSynth", __LINE__,
                 "audio requests up to %.0f ms late beyond a swing of %.0f ms, and the queue bridges %.0f ms: a "
                 "queue for %.0f ms",
                 late, swing, bridged, wanted);
    } else if (calm && (bridged > kNormalBridgeMs * 1.25 || m_roomMs > roomMs(true) * 1.5)) {
        // No drop-out for a while: back to what the lateness seen calls for.
        wanted = std::max(kNormalBridgeMs, std::min(bridged, need * 1.5));
        rtLogMsg(3, "../common-midiinterface/SoftSynth", __LINE__,
                 "calm for %.0f s: a queue for %.0f ms (it bridged %.0f ms), room for the sequencer %.0f ms (was "
                 "%.0f ms)",
                 windowMs / 1000.0, wanted, bridged, roomMs(true), m_roomMs);
    } else if (lateNow > 0) {
        // The sequencer came later than the room left for it: the latency
        // settles anew on what it does now.
        rtLogMsg(3, "../common-midiinterface/SoftSynth", __LINE__,
                 "%llu events late (at worst %.0f ms so far): the latency settles anew",
                 static_cast<unsigned long long>(lateNow), worstEventLateMs());
    } else {
        if (windowMs >= kCalmMs) {
            // Seen and judged: the next judgement looks at what comes.
            m_audibleLosses.store(0, std::memory_order_relaxed);
            m_audibleLateMs.store(0, std::memory_order_relaxed);
            m_windowFrom = renderedFrames();
        }
        return false;
    }
    if (std::fabs(wanted - bridged) < 1.0) {
        // The queue stays: the latency settles anew on the stream as it is
        // (a new stream would cut what still sounds).
        m_lateEventsBefore = lateEvents();
        m_settledFlag.store(false);
        m_resettle.store(true);
        return true;
    }
    // What the new queue does is judged from here on.
    m_windowFrom = renderedFrames();
    muteForChange();
    if (m_sink->requeue(wanted)) {
        // The stream's owner swaps the new one in, now or once the sound
        // server is back; the schedule settles anew on it (its generation).
        // Nothing here may end the synthesizer: a stream that cannot open
        // now is opened by its owner later.
        m_lateEventsBefore = lateEvents();
        m_settledFlag.store(false);
        unmute();
        return true;
    }
    m_sink->close();
    m_sink->setBridgeMs(wanted);
    int result = m_sink->open(m_device, &SoftSynth::renderCallback, this);
    if (result == SOFTSYNTH_OK && unsigned(rate) != m_sink->sampleRate()) {
        m_sink->close();
        result = SOFTSYNTH_ERROR_DEVICE;
    }
    if (result == SOFTSYNTH_OK) {
        resetSchedule();
        result = m_sink->start();
    }
    if (result != SOFTSYNTH_OK) {
        rtLogMsg(2, "../common-midiinterface/SoftSynth", __LINE__, "audio stream not opened again: error %d", result);
        stop();
        return false;
    }
    unmute();
    return true;
}

unsigned SoftSynth::sampleRate() const
{
    return m_synth ? m_sink->sampleRate() : 0;
}

unsigned SoftSynth::bufferMs() const
{
    if (!m_synth || m_sink->sampleRate() == 0)
        return 0;
    return (m_sink->bufferFrames() * 1000 + m_sink->sampleRate() - 1) / m_sink->sampleRate();
}

void SoftSynth::addSoundControllers()
{
    // GS sound controllers, which FluidSynth has no default modulators for:
    // brightness, resonance and the envelope times, centred at 64.
    struct Route {
        int cc;
        int generator;
        double amount;
    };
    static constexpr Route routes[] = {
        {74, GEN_FILTERFC, 4800.0},    // cents
        {71, GEN_FILTERQ, 300.0},      // centibels
        {73, GEN_VOLENVATTACK, 9600.0}, // timecents
        {75, GEN_VOLENVDECAY, 9600.0},
        {72, GEN_VOLENVRELEASE, 9600.0},
    };
    fluid_mod_t *mod = new_fluid_mod();
    if (!mod)
        return;
    for (const Route &r : routes) {
        fluid_mod_set_source1(mod, r.cc,
                              FLUID_MOD_CC | FLUID_MOD_BIPOLAR | FLUID_MOD_LINEAR |
                                  FLUID_MOD_POSITIVE);
        fluid_mod_set_source2(mod, FLUID_MOD_NONE, FLUID_MOD_GC);
        fluid_mod_set_dest(mod, r.generator);
        fluid_mod_set_amount(mod, r.amount);
        fluid_synth_add_default_mod(m_synth, mod, FLUID_SYNTH_OVERWRITE);
    }
    delete_fluid_mod(mod);
}

int SoftSynth::loadFont(QFile *file, int *error)
{
    int dummy;
    if (!error)
        error = &dummy;
    if (!file) {
        *error = SOFTSYNTH_ERROR_FILEOPEN;
        return 0;
    }
    ++g_openFontFiles;
    if (!m_synth || !file->isOpen()) {
        closeFontFile(file);
        *error = m_synth ? SOFTSYNTH_ERROR_FILEOPEN : SOFTSYNTH_ERROR_INIT;
        return 0;
    }
    const QByteArray name = file->fileName().toUtf8();
    t_pendingFont = file;
    const BankChange change(this);
    const int id = fluid_synth_sfload(m_synth, name.constData(), 1);
    if (t_pendingFont) {
        // No loader took the file.
        closeFontFile(t_pendingFont);
        t_pendingFont = nullptr;
    }
    if (id == FLUID_FAILED) {
        *error = SOFTSYNTH_ERROR_FILEFORM;
        return 0;
    }
    *error = SOFTSYNTH_OK;
    return id;
}

bool SoftSynth::freeFont(int handle)
{
    if (!m_synth || handle <= 0)
        return false;
    const BankChange change(this);
    return fluid_synth_sfunload(m_synth, handle, 1) == FLUID_OK;
}

int SoftSynth::fontPresets(int handle, uint32_t *presets, int max)
{
    if (!m_synth || handle <= 0)
        return 0;
    fluid_sfont_t *sfont = fluid_synth_get_sfont_by_id(m_synth, handle);
    if (!sfont)
        return 0;
    int count = 0;
    fluid_sfont_iteration_start(sfont);
    while (fluid_preset_t *preset = fluid_sfont_iteration_next(sfont)) {
        if (presets && count < max)
            presets[count] = (uint32_t(fluid_preset_get_banknum(preset)) << 16) |
                             uint32_t(fluid_preset_get_num(preset) & 0xFFFF);
        ++count;
    }
    return count;
}

bool SoftSynth::setChannelDrums(int channel, bool drums)
{
    if (!m_synth || channel < 0 || channel >= kChannels)
        return false;
    return fluid_synth_set_channel_type(m_synth, channel,
                                        drums ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC) ==
           FLUID_OK;
}

bool SoftSynth::programChange(int channel, int program)
{
    if (!m_synth || channel < 0 || channel >= kChannels)
        return false;
    return fluid_synth_program_change(m_synth, channel, program & 0x7F) == FLUID_OK;
}

template <typename Deliver>
int SoftSynth::parse(const unsigned char *data, int length, Deliver deliver)
{
    int count = 0;
    int i = 0;
    while (i < length) {
        const unsigned char b = data[i];
        if (b >= 0xF8) { // real-time bytes may stand anywhere
            ++i;
            continue;
        }
        if (b == 0xF0) {
            int end = i + 1;
            while (end < length && data[end] < 0x80)
                ++end;
            m_status = 0;
            m_have = 0;
            if (end < length && data[end] == 0xF7) {
                deliver(data + i, end - i);
                ++count;
                i = end + 1;
            } else {
                i = end; // unterminated: dropped, parsing resumes at the next status
            }
            continue;
        }
        if (b >= 0xF1) { // system common: not for a synthesizer; ends running status
            m_status = 0;
            m_have = 0;
            ++i;
            continue;
        }
        if (b >= 0x80) {
            m_status = b;
            m_have = 0;
            ++i;
            continue;
        }
        ++i;
        if (m_status == 0)
            continue;
        m_data[m_have++] = b;
        const int need = (m_status & 0xF0) == 0xC0 || (m_status & 0xF0) == 0xD0 ? 1 : 2;
        if (m_have == need) {
            const unsigned char event[3] = {m_status, m_data[0], m_data[1]};
            deliver(event, need + 1);
            m_have = 0;
            ++count;
        }
    }
    return count;
}

int SoftSynth::streamEvents(const unsigned char *data, int length)
{
    if (!m_synth)
        return -1;
    if (!data || length <= 0)
        return 0;
    if (!m_scheduled)
        return parse(data, length, [this](const unsigned char *e, int n) {
            // Only this thread adds to m_waiting: at 0 the ring is empty and
            // an event may apply at once without passing one queued before.
            if (m_waiting.load() == 0 && !cutsSound(e, n)) {
                apply(e, n);
            } else if (pushEvent(e, n, 0.0)) {
                m_waiting.fetch_add(1);
            } else {
                m_dropped.fetch_add(1, std::memory_order_relaxed);
                apply(e, n); // better a click than a note that never stops
            }
        });
    const double ms = RealTime::messageTimeMs();
    const bool atOnce = RealTime::messageAtOnce();
    return parse(data, length, [this, ms, atOnce](const unsigned char *e, int n) {
        if (e[0] == 0xF0 && isMasterVolume(e + 1, n - 1)) {
            // The music volume is a gain on the output, on no beat: heard
            // as soon as the device allows.
            handleSysEx(e + 1, n - 1);
            return;
        }
        if (!pushEvent(e, n, ms, atOnce)) {
            m_dropped.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        const unsigned char type = e[0] & 0xF0;
        if (n == 3 && type == 0x90 && e[2] > 0)
            m_noteSent.store(true, std::memory_order_relaxed);
        if (atOnce) {
            // A command that strikes notes anew (a key change): it and what
            // came before it are heard as soon as the device allows; the
            // notes that came just before it on its channels are struck
            // again or ended by it.
            const bool note = n == 3 && (type == 0x80 || type == 0x90);
            markUrgent(m_pushed.load(std::memory_order_relaxed), note ? uint16_t(1u << (e[0] & 0x0F)) : 0);
        } else if (n == 3 && type == 0xB0 && e[1] == 120) {
            // Every channel cut at one moment is a stop, a pause or a seek:
            // the user's command is heard as soon as the device allows, not
            // a latency later, and what was sent before it is left out.
            if (ms != m_cutBatchMs)
                m_cutBatch = 0;
            m_cutBatchMs = ms;
            m_cutBatch |= uint16_t(1u << (e[0] & 0x0F));
            if (m_cutBatch == 0xFFFF)
                markUrgent(m_pushed.load(std::memory_order_relaxed), 0xFFFF);
        } else if (m_cutBatch == 0xFFFF && ms == m_cutBatchMs) {
            // The rest of that command (the pedals let go).
            markUrgent(m_pushed.load(std::memory_order_relaxed), 0xFFFF);
        }
    });
}

bool SoftSynth::pushEvent(const unsigned char *event, int length, double ms, bool atOnce)
{
    if (!m_events.push(event, length, ms, atOnce))
        return false;
    m_pushed.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void SoftSynth::popEvent()
{
    m_events.pop();
    ++m_popped;
}

void SoftSynth::markUrgent(uint64_t through, uint16_t channels)
{
    uint64_t word = m_urgent.load(std::memory_order_relaxed);
    for (;;) {
        const uint64_t count = std::max(word & kUrgentCount, through & kUrgentCount);
        const uint64_t marked = (word >> kUrgentChannelShift) | channels;
        if (m_urgent.compare_exchange_weak(word, (marked << kUrgentChannelShift) | count, std::memory_order_release,
                                           std::memory_order_relaxed))
            return;
    }
}

void SoftSynth::apply(const unsigned char *event, int length)
{
    if (isMuteMark(event, length)) {
        if (event[length - 1] == m_muteRequest.load())
            m_muted.store(true);
        return;
    }
    if (event[0] == 0xF0)
        handleSysEx(event + 1, length - 1);
    else
        dispatch(event[0], event[1], length > 2 ? event[2] : 0);
}

bool SoftSynth::cutsAll(const unsigned char *e, int n)
{
    if (n == 3 && (e[0] & 0xF0) == 0xB0 && e[1] == 120)
        return true;
    if (e[0] != 0xF0)
        return false;
    const bool gmReset = n == 5 && e[1] == 0x7E && e[3] == 0x09 && (e[4] == 0x01 || e[4] == 0x03);
    const bool gsReset = n == 10 && e[1] == 0x41 && e[3] == 0x42 && e[4] == 0x12 && e[5] == 0x40 && e[6] == 0x00
                         && e[7] == 0x7F && e[8] == 0x00;
    return gmReset || gsReset;
}

bool SoftSynth::cutsSound(const unsigned char *e, int n)
{
    if (isMuteMark(e, n))
        return true;
    if (!cutsAll(e, n))
        return false;
    const int channel = e[0] == 0xF0 ? -1 : e[0] & 0x0F; // a reset: every channel
    // On the stack: the sender's thread and the render's both ask.
    fluid_voice_t *voices[kPolyphony] = {};
    fluid_synth_get_voicelist(m_synth, voices, kPolyphony, -1);
    for (int i = 0; i < kPolyphony && voices[i]; ++i) {
        if (channel < 0 || fluid_voice_get_channel(voices[i]) == channel)
            return true;
    }
    return false;
}

void SoftSynth::dispatch(unsigned char status, unsigned char d1, unsigned char d2)
{
    const int ch = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80: fluid_synth_noteoff(m_synth, ch, d1); break;
    case 0x90:
        if (d2 == 0) {
            fluid_synth_noteoff(m_synth, ch, d1);
        } else {
            fluid_synth_noteon(m_synth, ch, d1, d2);
            m_quiet.store(false, std::memory_order_relaxed);
            m_sounded = true;
        }
        break;
    case 0xA0: fluid_synth_key_pressure(m_synth, ch, d1, d2); break;
    case 0xB0: fluid_synth_cc(m_synth, ch, d1, d2); break;
    case 0xC0: fluid_synth_program_change(m_synth, ch, d1); break;
    case 0xD0: fluid_synth_channel_pressure(m_synth, ch, d1); break;
    case 0xE0: fluid_synth_pitch_bend(m_synth, ch, (d2 << 7) | d1); break;
    default: break;
    }
}

void SoftSynth::releaseQuickly(const unsigned char *e, int n)
{
    const unsigned char type = e[0] & 0xF0;
    const bool ends = n == 3
                      && (type == 0x80 || (type == 0x90 && e[2] == 0) || (type == 0xB0 && e[1] == 64 && e[2] < 64));
    if (!ends)
        return;
    const int ch = e[0] & 0x0F;
    const uint16_t bit = uint16_t(1u << ch);
    if (!(m_quickChannels & bit)) {
        // The song's own release offset (a SoundFont NRPN) comes back after.
        m_quickSaved[ch] = fluid_synth_get_gen(m_synth, ch, GEN_VOLENVRELEASE);
        // Far below FluidSynth's floor for a release (about 16 ms), which
        // it keeps to: no click.
        fluid_synth_set_gen(m_synth, ch, GEN_VOLENVRELEASE, -12000.0f);
        m_quickChannels |= bit;
    }
    m_quickUntil[ch] = m_synthFrames + uint64_t(m_sink->sampleRate() * kQuickReleaseMs / 1000.0);
}

void SoftSynth::restoreReleases()
{
    for (int ch = 0; ch < kChannels; ++ch) {
        const uint16_t bit = uint16_t(1u << ch);
        if ((m_quickChannels & bit) && m_synthFrames >= m_quickUntil[ch]) {
            fluid_synth_set_gen(m_synth, ch, GEN_VOLENVRELEASE, m_quickSaved[ch]);
            m_quickChannels &= uint16_t(~bit);
        }
    }
}

void SoftSynth::reportLateRun()
{
    if (m_runThisRender) {
        m_runThisRender = false;
        // A run that goes on is said every two seconds, not only at its end.
        const double now = RealTime::nowMs();
        if (m_runSeenMs < 0)
            m_runSeenMs = now;
        if (now - m_runSeenMs < 2000.0)
            return;
    }
    if (m_runLate == 0 && m_runLeftOut == 0) {
        m_runDeviceLoss = false;
        return;
    }
    m_lateRuns.fetch_add(1, std::memory_order_relaxed);
    const bool heard = !m_quiet.load(std::memory_order_relaxed) && !m_muted.load(std::memory_order_relaxed);
    rtLogMsg(2, "../common-midiinterface/SoftSynth", __LINE__,
             "synthesizer%s: events late from %.0f ms: %u up to %.0f ms late, %u notes of them left out; %s",
             heard ? "" : " (silent)", m_runStartMs, unsigned(std::max(m_runLate, m_runLeftOut)), m_runWorstMs,
             unsigned(m_runLeftOut),
             m_runDeviceLoss ? "the device's drop-out skipped past them"
                             : "the device played on: the sequencer sent them later than the latency allows for");
    m_runLate = m_runLeftOut = 0;
    m_runWorstMs = 0;
    m_runSeenMs = -1;
    m_runDeviceLoss = false;
}

void SoftSynth::handleSysEx(const unsigned char *p, int n)
{
    // Universal real-time Master Volume, any device: FluidSynth ignores it,
    // and it is how the music volume reaches the synthesizer.
    if (isMasterVolume(p, n)) {
        setMasterVolume(((p[5] << 7) | p[4]) / 16383.0);
        return;
    }
    // GS DT1 parameter messages. The player sends the reverb and chorus ones
    // with device 00 and no checksum, so neither is looked at here.
    if (n == 9 && p[0] == 0x41 && p[2] == 0x42 && p[3] == 0x12) {
        const unsigned a1 = p[4], a2 = p[5], a3 = p[6], value = p[7];
        if (a1 == 0x40 && a2 == 0x01) {
            switch (a3) {
            case 0x30: setReverbMacro(int(value)); return;
            case 0x33: setReverbLevel(int(value)); return;
            case 0x38: setChorusMacro(int(value)); return;
            case 0x3A: setChorusLevel(int(value)); return;
            default: break;
            }
        }
        if (a1 == 0x40 && a2 == 0x00 && a3 == 0x7F && value == 0x00) {
            fluid_synth_sysex(m_synth, reinterpret_cast<const char *>(kGsResetPayload),
                              int(sizeof kGsResetPayload), nullptr, nullptr, nullptr, 0);
            silence();
            restoreDefaultEffects();
            return;
        }
    }
    fluid_synth_sysex(m_synth, reinterpret_cast<const char *>(p), n, nullptr, nullptr, nullptr, 0);
    if (n == 4 && p[0] == 0x7E && p[2] == 0x09 && (p[3] == 0x01 || p[3] == 0x03)) {
        silence();
        restoreDefaultEffects();
    }
}

void SoftSynth::restoreDefaultEffects()
{
    // FluidSynth's resets leave reverb and chorus as they were; a GS module
    // goes back to its defaults, which a song without effect messages of its
    // own expects after the reset at its start.
    setReverbMacro(kDefaultReverbMacro);
    setReverbLevel(kDefaultFxLevel);
    setChorusMacro(kDefaultChorusMacro);
    setChorusLevel(kDefaultFxLevel);
}

void SoftSynth::silence()
{
    // FluidSynth's resets only release the voices, and held piano notes then
    // ring on for seconds; a GS module falls silent at once.
    fluid_synth_all_sounds_off(m_synth, -1);
    std::memset(m_leftOut, 0, sizeof m_leftOut);
}

void SoftSynth::setMasterVolume(double volume)
{
    // The sender's thread may set it while the render runs: no FluidSynth
    // call, whose lock the render holds.
    m_volumeTarget.store(float(std::clamp(volume, 0.0, 1.0)), std::memory_order_relaxed);
}

float SoftSynth::gain() const
{
    return m_synth ? fluid_synth_get_gain(m_synth) * m_volumeTarget.load(std::memory_order_relaxed) : 0.0f;
}

void SoftSynth::setReverbMacro(int macro)
{
    if (macro < 0 || macro > 7)
        return;
    const ReverbMacro &m = kReverbMacros[macro];
    fluid_synth_set_reverb_group_roomsize(m_synth, -1, m.roomsize);
    fluid_synth_set_reverb_group_damp(m_synth, -1, m.damp);
    fluid_synth_set_reverb_group_width(m_synth, -1, m.width * 100.0);
}

void SoftSynth::setReverbLevel(int level)
{
    fluid_synth_set_reverb_group_level(m_synth, -1, (level & 0x7F) / 127.0);
}

void SoftSynth::setChorusMacro(int macro)
{
    if (macro < 0 || macro > 7)
        return;
    const ChorusMacro &m = kChorusMacros[macro];
    fluid_synth_set_chorus_group_nr(m_synth, -1, m.voices);
    fluid_synth_set_chorus_group_speed(m_synth, -1, m.speedHz);
    fluid_synth_set_chorus_group_depth(m_synth, -1, m.depthMs);
    fluid_synth_set_chorus_group_type(m_synth, -1, m.type);
}

void SoftSynth::setChorusLevel(int level)
{
    fluid_synth_set_chorus_group_level(m_synth, -1, 2.0 * (level & 0x7F) / 127.0);
}

SoftSynth::BankChange::BankChange(SoftSynth *synth) : m_synth(synth)
{
    // Both sides store, then load (sequentially consistent): either the
    // callback sees the change coming and stays out, or this waits until it
    // is out.
    m_synth->m_bankChange.store(true);
    while (m_synth->m_inRender.load())
        std::this_thread::yield();
}

SoftSynth::BankChange::~BankChange()
{
    m_synth->m_bankChange.store(false);
}

void SoftSynth::render(float *out, unsigned frames)
{
    m_inRender.store(true);
    if (!m_synth || m_bankChange.load()) {
        // A bank loads: FluidSynth's lock is held for the whole load.
        m_inRender.store(false);
        std::memset(out, 0, sizeof(float) * 2 * frames);
        if (m_synth && m_scheduled) {
            m_position += frames;
            m_rendered.store(m_position, std::memory_order_relaxed);
        }
        return;
    }
    if (m_scheduled)
        schedule(RealTime::nowMs(), frames);
    renderEvents(out, frames);
    if (m_scheduled) {
        reportLateRun();
        m_clock.rendered(RealTime::nowMs());
    }
    m_inRender.store(false);
}

// Message time t sounds at stream frame t * rate + shift. For every event of
// a buffer to be in by the time the device asks for it, the shift must reach
// past the buffer's end as the device asks in time (its top), plus how late
// the sequencer wakes: that distance is the latency. It settles before the
// music starts, on the device's lead and the sequencer's lateness over the
// settling time, with room to spare; then it holds, following only a device
// whose clock runs apart from the system's, by at most 1 % of the time
// passing (inaudible). The audio thread's own lateness is for the device's
// queue to bridge (fitQueue). A device that ran dry lost time for good: what
// it plays now comes that much later, up to kDropMs (the latency grows by it
// and eases back at 5 % of the time passing: on the grid again within a
// second); beyond that the time is skipped, so that a long stall does not delay the rest of the song, and what
// came due meanwhile is past (note-ons more than kDropMs late are left out,
// the rest applies at once). Kept to whole 64-frame blocks of FluidSynth,
// events fall on the blocks where an offline render puts them.
void SoftSynth::schedule(double now, unsigned frames)
{
    const double perMs = m_sink->sampleRate() / 1000.0;
    const unsigned generation = m_sink->generation();
    if (m_resettle.exchange(false, std::memory_order_relaxed) || generation != m_generation) {
        // As on a new stream (or a new one indeed: the sound server came
        // back): the device's picture from here on.
        m_generation = generation;
        m_clock.reset(perMs, m_sink->latencyFrames());
        m_audibleLosses.store(0, std::memory_order_relaxed);
        m_audibleLateMs.store(0, std::memory_order_relaxed);
        m_settled = false;
    }
    const double passed = std::max(0.0, now - m_lastRenderMs) * perMs;
    m_lastRenderMs = now;
    const double lost = m_clock.request(now, double(m_position), frames);
    if (m_sounded && !m_quiet.load(std::memory_order_relaxed) && !m_muted.load(std::memory_order_relaxed)) {
        // While music sounds: what the queue must bridge. A drop-out in
        // silence (the program starting, a song stopped) costs nothing.
        const double late = m_clock.excessFrames() / perMs;
        if (late > m_audibleLateMs.load(std::memory_order_relaxed))
            m_audibleLateMs.store(late, std::memory_order_relaxed);
        if (lost > 0)
            m_audibleLosses.fetch_add(1, std::memory_order_relaxed);
    }
    if (lost > 0)
        m_runDeviceLoss = true;
    // While the sound server is away nothing is heard: the stream says once
    // when it went and once when it is back, not at every request.
    if (const double dry = std::max(lost, m_clock.startLossFrames()); dry > 0 && !m_sink->lost()) {
        // Before the first note nothing was heard either.
        const bool heard = m_sounded && !m_quiet.load(std::memory_order_relaxed)
                           && !m_muted.load(std::memory_order_relaxed);
        char line[400];
        m_clock.explainLoss(line, sizeof line, dry);
        rtLogMsg(2, "../common-midiinterface/SoftSynth", __LINE__, "synthesizer%s: %s", heard ? "" : " (silent)", line);
    }
    const double top = m_clock.top();
    if (!m_settled) {
        // The device's lead, and the sequencer's lateness with room to spare.
        const bool normal = ThreadPriority::grant(ThreadPriority::Role::Sequencer) != ThreadPriority::Grant::Granted;
        const double room = roomMs(normal);
        m_roomMs = room;
        m_costMs.store(normal ? room - roomMs(false) + std::max(0.0, bridgeMs() - kNormalBridgeMs) : 0.0,
                       std::memory_order_relaxed);
        m_latency = std::min(m_clock.highestEnd() - top + (room + kMarginMs) * perMs, kMaxLatencyMs * perMs);
        // A note sent before that settles it at once, with room for the
        // bursts not seen yet: the music must not hear it move.
        const bool early = double(m_position) < kSettleMs * perMs;
        if (early)
            m_latency = std::min(m_latency + kEarlyHeadroomMs * perMs, kMaxLatencyMs * perMs);
        m_base = top;
        m_catchUp = 0;
        if (m_clock.steady()) {
            m_lateBefore.store(m_clock.worstExcessMs(), std::memory_order_relaxed);
            if (!early || m_noteSent.load(std::memory_order_relaxed)) {
                // What was sent before says nothing of the latency now.
                m_settledAtMs = now;
                m_settled = true;
                m_settledFlag.store(true);
            }
        }
    } else {
        if (lost > 0) {
            m_base -= lost;
            m_catchUp += std::min(lost, std::max(0.0, kDropMs * perMs - m_catchUp));
        } else if (lost < 0) {
            // Less was lost than it seemed: what the catch-up still holds
            // of it goes, so the music stays where it sounds.
            m_base -= lost;
            m_catchUp = std::max(0.0, m_catchUp + lost);
        }
        if (top > m_base + kDeadbandMs * perMs)
            m_base = std::min(top, m_base + kFollowRate * passed);
        else if (top < m_base - kDeadbandMs * perMs)
            m_base = std::max(top, m_base - kFollowRate * passed);
        m_catchUp = std::max(0.0, m_catchUp - kCatchUpRate * passed);
    }
    m_shift = m_base + m_latency;
    m_shiftFrames = std::ceil((m_shift + m_catchUp) / kBlockFrames) * kBlockFrames;
    m_latencyFrames.store(m_shiftFrames - m_base + m_clock.queueFrames(), std::memory_order_relaxed);
}

void SoftSynth::applyDue(const unsigned char *event, int length, double lateMs)
{
    const unsigned char type = event[0] & 0xF0;
    if ((type == 0x80 || type == 0x90) && length >= 3) {
        uint8_t &owed = m_leftOut[event[0] & 0x0F][event[1] & 0x7F];
        if (type == 0x90 && event[2] > 0) {
            if (lateMs > kDropMs) {
                owed = uint8_t(std::min(255, owed + 1));
                m_droppedLate.fetch_add(1, std::memory_order_relaxed);
                if (m_runLate == 0 && m_runLeftOut == 0)
                    m_runStartMs = RealTime::nowMs() - lateMs;
                ++m_runLeftOut;
                m_runWorstMs = std::max(m_runWorstMs, lateMs);
                m_runThisRender = true;
                return;
            }
        } else if (owed > 0) {
            --owed;
            return;
        }
    } else if (type == 0xB0 && length >= 3 && (event[1] == 120 || event[1] == 123)) {
        std::memset(m_leftOut[event[0] & 0x0F], 0, sizeof m_leftOut[0]);
    }
    apply(event, length);
}

void SoftSynth::writeFaded(float *out, unsigned frames)
{
    const float volume = m_volumeTarget.load(std::memory_order_relaxed);
    const bool silent = m_quiet.load(std::memory_order_relaxed) || m_muted.load(std::memory_order_relaxed);
    const bool idle = silent && m_tailGone && m_fadeLeft == 0 && m_fadeGain <= 0.0f;
    m_idleFrames = idle ? m_idleFrames + frames : 0;
    if (idle && m_idleFrames > kIdleRenderFrames) {
        // Nothing has sounded for a while and the effects hold nothing: no
        // need to render, so that the audio thread costs next to nothing
        // between songs, in a pause and while an MP3 plays. (Right after a
        // cut it renders on: the effects' settings a reset changed move to
        // their new values while rendered.)
        std::memset(out, 0, sizeof(float) * 2 * frames);
        m_volume = volume;
        return;
    }
    writeFrames(m_synth, out, frames);
    m_synthFrames += frames;
    if (m_fadeLeft == 0 && m_fadeGain >= 1.0f && !silent && m_volume == volume) {
        if (volume != 1.0f) {
            for (unsigned i = 0; i < 2 * frames; ++i)
                out[i] *= volume;
        }
        return;
    }
    if (m_fadeLeft == 0 && m_fadeGain <= 0.0f && silent) {
        std::memset(out, 0, sizeof(float) * 2 * frames);
        m_volume = volume;
        flushTail();
        return;
    }
    // Down to 0 exactly where the cut applies; up at one fade's pace, but
    // not while silent. The volume moves at the same pace.
    const float step = m_fadeLeft > 0 ? -m_fadeGain / float(m_fadeLeft) : (silent ? 0.0f : 1.0f / float(m_fadeFrames));
    const float volumeStep = 1.0f / float(m_fadeFrames);
    float gain = m_fadeGain;
    float v = m_volume;
    for (unsigned f = 0; f < frames; ++f) {
        gain = std::clamp(gain + step, 0.0f, 1.0f);
        v = v < volume ? std::min(volume, v + volumeStep) : std::max(volume, v - volumeStep);
        out[2 * f] *= gain * v;
        out[2 * f + 1] *= gain * v;
    }
    m_fadeGain = gain;
    m_volume = v;
}

void SoftSynth::flushTail()
{
    // Only once nothing sounds: notes rendered ahead would run ahead.
    if (m_tailGone || !m_quiet.load(std::memory_order_relaxed) || m_scratch.empty()
        || fluid_synth_get_active_voice_count(m_synth) > 0)
        return;
    writeFrames(m_synth, m_scratch.data(), kFlushFrames);
    m_synthFrames += kFlushFrames;
    float peak = 0.0f;
    for (float v : m_scratch)
        peak = std::max(peak, std::fabs(v));
    m_tailGone = peak < kTailGone;
}

void SoftSynth::renderEvents(float *out, unsigned frames)
{
    const double perMs = m_sink->sampleRate() / 1000.0;
    unsigned done = 0;
    bool held = false; // events that waited behind a cut: late by the fade only
    while (done < frames) {
        unsigned until = frames;
        if (m_quickChannels)
            restoreReleases();
        while (m_fadeLeft == 0) {
            MessageRing::Entry *e = m_events.front();
            if (!e)
                break;
            // Without a scheduled sink whatever waits is due now; so is what
            // was sent up to a user's command (a cut of every channel, a
            // key change): the notes among it on the channels the command
            // cuts or strikes anew are left out.
            uint64_t urgentWord = m_urgent.load(std::memory_order_acquire);
            const bool urgent = m_scheduled && m_popped < (urgentWord & kUrgentCount);
            if (!urgent && (urgentWord >> kUrgentChannelShift)) {
                // Past the command: its channels are its own again.
                m_urgent.compare_exchange_strong(urgentWord, urgentWord & kUrgentCount, std::memory_order_relaxed);
            }
            const double at = m_scheduled && !urgent ? e->ms * perMs + m_shiftFrames - double(m_position) : done;
            if (at >= double(frames))
                break;
            // Render up to the event's place, apply it, go on; one that is
            // due already (a late stamp) applies here, or not at all when it
            // is a note that came due too long ago.
            const unsigned offset = at > double(done) ? unsigned(at) : done;
            if (offset > done) {
                until = offset;
                held = false;
                break;
            }
            const unsigned char *bytes = m_events.data(*e);
            if (urgent && !e->atOnce && e->length == 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] > 0
                && ((urgentWord >> kUrgentChannelShift) & (1u << (bytes[0] & 0x0F)))) {
                popEvent();
                continue;
            }
            if (m_fadeGain > 0.0f && cutsSound(bytes, e->length)) {
                // It waits at the front until the sound has faded, to the
                // end of one of FluidSynth's blocks: what an event changes
                // is heard from the next block on, the rest of this one
                // was rendered before it.
                const uint64_t end = m_synthFrames + std::max(1u, unsigned(std::ceil(m_fadeGain * float(m_fadeFrames))));
                const uint64_t block = uint64_t(kBlockFrames);
                m_fadeLeft = unsigned((end + block - 1) / block * block - m_synthFrames);
                m_fadedCuts.fetch_add(1, std::memory_order_relaxed);
                m_cutChannels = 0;
                break;
            }
            if (m_fadeGain <= 0.0f && cutsAll(bytes, e->length))
                m_cutChannels |= bytes[0] == 0xF0 ? 0xFFFF : uint16_t(1u << (bytes[0] & 0x0F));
            else if (e->length == 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] > 0)
                m_cutChannels = 0; // a note between the cuts: not a stop
            const double lateMs = at < 0 ? -at / perMs : 0.0;
            if (m_scheduled && lateMs > 0 && m_settled && !held && e->ms >= m_settledAtMs) {
                m_lateEvents.fetch_add(1, std::memory_order_relaxed);
                if (lateMs > m_worstEventLate.load(std::memory_order_relaxed))
                    m_worstEventLate.store(lateMs, std::memory_order_relaxed);
                if (lateMs > kHeardLateMs) {
                    if (m_runLate++ == 0 && m_runLeftOut == 0)
                        m_runStartMs = e->ms;
                    m_runWorstMs = std::max(m_runWorstMs, lateMs);
                    m_runThisRender = true;
                }
            }
            if (e->atOnce)
                releaseQuickly(bytes, e->length);
            if (m_scheduled)
                applyDue(bytes, e->length, lateMs);
            else
                apply(bytes, e->length);
            popEvent();
            if (!m_scheduled)
                m_waiting.fetch_sub(1);
        }
        if (m_cutChannels == 0xFFFF) {
            // A stop, a pause, a seek, a key change, a new song: every
            // channel cut while silent. The output stays silent until the
            // next note, and the effects' tail of the music is not heard.
            m_cutChannels = 0;
            m_quiet.store(true, std::memory_order_relaxed);
            m_tailGone = false;
        }
        if (m_fadeLeft > 0)
            until = std::min(frames, done + m_fadeLeft);
        writeFaded(out + 2 * size_t(done), until - done);
        if (m_fadeLeft > 0) {
            m_fadeLeft -= until - done;
            if (m_fadeLeft == 0) {
                // Silent now: the cut, and what came due meanwhile, apply
                // at gain 0 on the next turn.
                m_fadeGain = 0.0f;
                held = true;
            }
        }
        done = until;
    }
    if (!m_scheduled)
        return;
    m_position += frames;
    m_rendered.store(m_position, std::memory_order_relaxed);
    // What is heard is a message time: the end of this buffer stands at
    // its message time, one frame at a time.
    m_clock.publish((double(m_position) - m_shiftFrames) / perMs, 1.0 / perMs);
}

void SoftSynth::renderCallback(float *out, unsigned frames, void *user)
{
    // The whole render runs on a thread marked real-time.
    const RealTime::ThreadScope realTime;
    static_cast<SoftSynth *>(user)->render(out, frames);
}

bool SoftSynth::channelPreset(int channel, int *bank, int *program) const
{
    if (!m_synth || channel < 0 || channel >= kChannels)
        return false;
    fluid_preset_t *preset = fluid_synth_get_channel_preset(m_synth, channel);
    if (!preset)
        return false;
    if (bank)
        *bank = fluid_preset_get_banknum(preset);
    if (program)
        *program = fluid_preset_get_num(preset);
    return true;
}

int SoftSynth::activeVoices() const
{
    return m_synth ? fluid_synth_get_active_voice_count(m_synth) : 0;
}

int SoftSynth::openFontFiles()
{
    return g_openFontFiles.load();
}
