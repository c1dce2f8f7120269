#include "AudioInterface.h"

#include "Mp3Decoder.h"
#include "OutputClock.h"
#include "RealTime.h"
#include "ThreadPriority.h"

#include <QAudio>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <SoundTouch.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace Sound {

double rtaVol = 1.0;
AudioInterface *staticAudioInterface = nullptr;

// A SoundTouch processor set for one tempo and key. Its setters allocate
// (a key change designs a new anti-alias filter), so the owning thread sets
// one up away from the callback and hands it over.
struct Stretcher {
    soundtouch::SoundTouch touch;
    double inPerOut = 1.0; // song frames per output frame
    unsigned warmedRate = 0, warmedChannels = 0;
};

// Everything the render callbacks touch. The owning thread writes the plain
// fields only while no callback can run (stream closed or stopped); the
// atomics and the hand-off carry what changes while it plays.
struct AudioCallbackRecord {
    // Frames handled per decode and per SoundTouch call; larger device
    // buffers are rendered in steps of this size.
    static constexpr unsigned kChunkFrames = 1024;
    // Frames rendered ahead of the device, so that the first decode (which
    // sets libmpg123 up) is made before the stream starts.
    static constexpr unsigned kReserveFrames = 256;
    // Bounds the decode loop of one step, should the decoder stop yielding.
    static constexpr int kMaxFeeds = 64;
    // Song frames kept to start a new processor where the old one stands
    // (what it holds unplayed), and the cross-fade from the old to the new.
    static constexpr unsigned kHistoryFrames = 16384;
    static constexpr unsigned kFadeFrames = 512;
    static constexpr int kMaxRetired = 8;

    unsigned channels = Core::Mp3Decoder::kChannels;
    unsigned rate = 0;     // of the stream
    unsigned songRate = 0; // of the decoded song: the unit of positions
    const char *pcm = nullptr;
    int64_t pcmSize = 0;
    int64_t pcmPos = 0;
    std::atomic<bool> ended{false};
    std::atomic<bool> endReported{false};
    bool priorityAsked = false;

    Core::Mp3Decoder *decoder = nullptr;
    std::vector<int16_t> decoded = std::vector<int16_t>(kChunkFrames * 2);
    std::vector<float> samples = std::vector<float>(kChunkFrames * 2);
    std::vector<float> fadeSamples = std::vector<float>(kChunkFrames * 2);
    const std::vector<float> silence = std::vector<float>(kChunkFrames * 2, 0.0f);
    std::vector<int16_t> ahead = std::vector<int16_t>((kChunkFrames + kReserveFrames) * 2);
    unsigned aheadFrames = 0;
    std::vector<float> history = std::vector<float>(kHistoryFrames * 2);
    uint64_t historyFrames = 0; // written so far in this run

    // The processor in use and, during a cross-fade, the one fading out
    // (the callback's); the next one the owning thread set up, and the ones
    // the callback is done with (under the hand-off lock, which the callback
    // only ever tries).
    Stretcher *active = nullptr;
    Stretcher *fading = nullptr;
    unsigned fadeDone = 0;
    Stretcher *toRetire = nullptr;
    std::mutex handoff;
    Stretcher *incoming = nullptr;
    Stretcher *retired[kMaxRetired] = {};
    int retiredCount = 0;
    std::atomic<bool> hasIncoming{false};

    // The output gain, 0.8 at full volume; the callback moves towards it
    // within a step, so a change never clicks.
    std::atomic<float> gain{0.8f};
    float appliedGain = 0.8f;

    // A stream stopped mid-waveform clicks: before a pause, stop or seek the
    // owning thread asks for a fade, the callback fades out over
    // fadeFrames, says so, and hands over silence from then on without
    // moving on in the song. The envelope (the callback's) rises again
    // when the stream runs on unasked.
    std::atomic<bool> fadeAsked{false};
    std::atomic<bool> fadedOut{false};
    float envelope = 1.0f;
    unsigned fadeFrames = 1;

    // State of the current run, reset at start and seek; the callback owns
    // it.
    double inPerOut = 1.0;
    bool inputEnded = false;
    double expectedOut = 0; // output frames the input fed so far is worth
    int64_t framesIn = 0;
    int64_t framesOut = 0;
    double songFramesPlayed = 0;
    int64_t seekBase = 0;
    std::atomic<int64_t> position{0}; // song time in song frames, handed over

    // Where the device stands: what it plays now, through its drop-outs.
    // Reset with every start of the stream.
    OutputClock clock;
    uint64_t deviceFrames = 0;

    void resetRun(int64_t base)
    {
        inputEnded = false;
        expectedOut = 0;
        framesIn = 0;
        framesOut = 0;
        songFramesPlayed = 0;
        seekBase = base;
        aheadFrames = 0;
        historyFrames = 0;
        position = base;
        ended = false;
        endReported = false;
        restartClock();
    }

    // The stream starts (again): the device holds nothing yet.
    void restartClock()
    {
        clock.reset(rate / 1000.0, latencyFrames);
        deviceFrames = 0;
    }
    unsigned latencyFrames = 0;

    // At each request, before it is rendered. After a drop-out (the device
    // ran dry and cut the sound) the music rises again rather than stepping
    // back in.
    void deviceAsks(unsigned frames)
    {
        if (const unsigned g = sink->generation(); g != generation) {
            // A new stream (the sound server came back): its queue is
            // empty, and the music rises from silence in it.
            generation = g;
            latencyFrames = sink->latencyFrames();
            restartClock();
            envelope = 0.0f;
        }
        const double lost = clock.request(RealTime::nowMs(), double(deviceFrames), frames);
        if (lost > 0) {
            envelope = 0.0f;
            ++dropOuts;
            lastDropOutFrame = playedFrames;
        }
        // While the sound server is away the stream says once when it went
        // and once when it is back, not at every request.
        if (const double dry = std::max(lost, clock.startLossFrames()); dry > 0 && !sink->lost()) {
            char line[400];
            clock.explainLoss(line, sizeof line, dry);
            rtLogMsg(2, "../playback/AudioInterface", __LINE__, "song player: %s", line);
        }
        playedFrames += frames;
        requests.fetch_add(1, std::memory_order_relaxed);
    }
    // Since the song started: the drop-outs, the frames asked for, and
    // how many had been asked for at the last drop-out.
    unsigned dropOuts = 0;
    uint64_t playedFrames = 0;
    std::atomic<uint64_t> requests{0}; // the device's, read by the owner
    uint64_t lastDropOutFrame = 0;
    const AudioSink *sink = nullptr;
    unsigned generation = 0;
    // Silence still to come before the song's first sample (callback's).
    unsigned leadFrames = 0;
    // After it: song time (ms) at the end of what was handed over, and how
    // far it moves per frame.
    void handedOver(unsigned frames, double songFramesPerFrame)
    {
        deviceFrames += frames;
        clock.rendered(RealTime::nowMs());
        if (songRate)
            clock.publish(double(position.load(std::memory_order_relaxed)) * 1000.0 / songRate,
                          songFramesPerFrame * 1000.0 / songRate);
    }

    void finish()
    {
        ended.store(true, std::memory_order_relaxed);
        endReported.store(true, std::memory_order_release);
    }
};

namespace {

// Where SoundTouch's tempo would reach zero or below.
constexpr float kMinTempoPercent = -95.0f;

void toFloat(const int16_t *in, float *out, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = float(in[i]) * (1.0f / 32768.0f);
}

// With the gain moving from `from` to `to` over the frames.
void toInt16(const float *in, int16_t *out, size_t frames, unsigned channels, float from, float to)
{
    const float step = frames ? (to - from) / float(frames) : 0.0f;
    for (size_t f = 0; f < frames; ++f) {
        const float g = from + step * float(f + 1);
        for (unsigned c = 0; c < channels; ++c) {
            const size_t i = f * channels + c;
            const float v = std::nearbyint(in[i] * g * 32768.0f);
            out[i] = int16_t(std::clamp(v, -32768.0f, 32767.0f));
        }
    }
}

void remember(AudioCallbackRecord &r, const float *in, unsigned frames)
{
    const unsigned ch = r.channels;
    for (unsigned f = 0; f < frames; ++f, ++r.historyFrames) {
        const size_t at = size_t(r.historyFrames % r.kHistoryFrames) * ch;
        std::copy(in + size_t(f) * ch, in + size_t(f + 1) * ch, r.history.begin() + long(at));
    }
}

// Starts the processor the owning thread handed over where the one in use
// stands: fed again what the old one holds unplayed, it goes on from the
// same song frame, and the old one fades out over the next frames.
void takeIncoming(AudioCallbackRecord &r)
{
    if (r.fading || !r.hasIncoming.load(std::memory_order_acquire))
        return;
    std::unique_lock<std::mutex> lock(r.handoff, std::try_to_lock);
    if (!lock.owns_lock())
        return; // next time: the old one plays on meanwhile
    Stretcher *next = r.incoming;
    r.incoming = nullptr;
    r.hasIncoming.store(false, std::memory_order_relaxed);
    lock.unlock();
    if (!next)
        return;
    const unsigned ch = r.channels;
    const double held = std::max(0.0, double(r.framesIn) - r.songFramesPlayed);
    const uint64_t again = std::min<uint64_t>({uint64_t(held + 0.5), r.historyFrames, r.kHistoryFrames});
    next->touch.clear();
    for (uint64_t from = r.historyFrames - again; from < r.historyFrames;) {
        const uint64_t slot = from % r.kHistoryFrames;
        const unsigned count = unsigned(std::min<uint64_t>(r.historyFrames - from, r.kHistoryFrames - slot));
        next->touch.putSamples(r.history.data() + size_t(slot) * ch, count);
        from += count;
    }
    r.fading = r.active;
    r.fadeDone = 0;
    r.active = next;
    r.inPerOut = next->inPerOut;
    r.expectedOut = double(r.framesOut) + double(again) / r.inPerOut;
}

void retireFaded(AudioCallbackRecord &r)
{
    if (!r.toRetire)
        return;
    std::unique_lock<std::mutex> lock(r.handoff, std::try_to_lock);
    if (!lock.owns_lock() || r.retiredCount >= r.kMaxRetired)
        return;
    r.retired[r.retiredCount++] = r.toRetire;
    r.toRetire = nullptr;
}

// Up to n frames of stretched audio into out; fewer only at the song's end
// or when the decoder stalls.
unsigned renderMp3Step(AudioCallbackRecord &r, int16_t *out, unsigned n)
{
    const unsigned ch = r.channels;
    takeIncoming(r);
    soundtouch::SoundTouch &st = r.active->touch;
    // Decode until SoundTouch holds a whole step, so that its start-up
    // latency is bridged by decoding ahead rather than by silence; during
    // a cross-fade until the one fading out holds its part of the step too
    // (the one taking over, fed the history again, may need nothing new):
    // a fade short of it would end in a step of the waveform.
    const auto fadeShort = [&r, n] {
        return r.fading && r.fading->touch.numSamples() < std::min(n, r.kFadeFrames - r.fadeDone);
    };
    for (int feeds = 0; (st.numSamples() < n || fadeShort()) && !r.inputEnded && feeds < r.kMaxFeeds; ++feeds) {
        const unsigned want = std::min(unsigned(n * r.inPerOut + 1), r.kChunkFrames);
        unsigned long bytes = 0;
        const int rc = r.decoder->fillBuffer(reinterpret_cast<uchar *>(r.decoded.data()),
                                             want * ch * sizeof(int16_t), &bytes);
        const unsigned got = unsigned(bytes / sizeof(int16_t) / ch);
        if (got) {
            toFloat(r.decoded.data(), r.samples.data(), size_t(got) * ch);
            st.putSamples(r.samples.data(), got);
            if (r.fading)
                r.fading->touch.putSamples(r.samples.data(), got);
            remember(r, r.samples.data(), got);
            r.framesIn += got;
            r.expectedOut += got / r.inPerOut;
        }
        if (rc != 0)
            r.inputEnded = true;
    }
    unsigned take = n;
    if (r.inputEnded) {
        // Push the song's last samples out of SoundTouch with silence, and
        // never play past the end.
        const double left = std::max(0.0, r.expectedOut - double(r.framesOut));
        take = unsigned(std::min<double>(n, left));
        for (int feeds = 0; st.numSamples() < take && feeds < r.kMaxFeeds; ++feeds)
            st.putSamples(r.silence.data(), r.kChunkFrames);
    }
    const unsigned got = st.receiveSamples(r.samples.data(), take);
    if (r.fading) {
        const unsigned fade = std::min(got, r.kFadeFrames - r.fadeDone);
        const unsigned old = r.fading->touch.receiveSamples(r.fadeSamples.data(), fade);
        for (unsigned f = 0; f < old; ++f) {
            const float w = float(r.fadeDone + f + 1) / float(r.kFadeFrames);
            for (unsigned c = 0; c < ch; ++c) {
                float &v = r.samples[size_t(f) * ch + c];
                v = v * w + r.fadeSamples[size_t(f) * ch + c] * (1.0f - w);
            }
        }
        r.fadeDone += fade;
        if (r.fadeDone >= r.kFadeFrames) {
            r.toRetire = r.fading;
            r.fading = nullptr;
        }
    }
    retireFaded(r);
    const float gain = r.gain.load(std::memory_order_relaxed);
    toInt16(r.samples.data(), out, got, ch, r.appliedGain, gain);
    r.appliedGain = gain;
    r.framesOut += got;
    r.songFramesPlayed += got * r.inPerOut;
    return got;
}

// Keeps the reserve full behind n frames and moves those n (fewer at the
// end) to out. With n = 0 it fills the reserve before the stream starts, so
// that the first decode, which sets libmpg123 up, is not made in a callback.
unsigned renderMp3Ahead(AudioCallbackRecord &r, int16_t *out, unsigned n)
{
    const unsigned ch = r.channels;
    const unsigned want = n + r.kReserveFrames;
    while (r.aheadFrames < want) {
        const unsigned step = std::min(want - r.aheadFrames, r.kChunkFrames);
        const unsigned got = renderMp3Step(r, r.ahead.data() + size_t(r.aheadFrames) * ch, step);
        r.aheadFrames += got;
        if (got < step)
            break;
    }
    const unsigned take = std::min(n, r.aheadFrames);
    std::memcpy(out, r.ahead.data(), sizeof(int16_t) * ch * take);
    r.aheadFrames -= take;
    std::memmove(r.ahead.data(), r.ahead.data() + size_t(take) * ch, sizeof(int16_t) * ch * r.aheadFrames);
    return take;
}

void askForPriority(AudioCallbackRecord &r)
{
    if (r.priorityAsked)
        return;
    r.priorityAsked = true;
    ThreadPriority::askForThisThread(ThreadPriority::Role::AudioPlayer, ThreadPriority::kCallbackPriority);
}

// After a fade asked for: silence, the song standing where the fade ended.
bool holdFaded(AudioCallbackRecord &r, int16_t *out, unsigned frames)
{
    if (!r.fadedOut.load(std::memory_order_relaxed))
        return false;
    r.deviceAsks(frames);
    std::memset(out, 0, sizeof(int16_t) * r.channels * frames);
    r.handedOver(frames, 0.0);
    return true;
}

// The fade's envelope over what was rendered: down while a fade is asked
// for, up otherwise.
void applyEnvelope(AudioCallbackRecord &r, int16_t *out, unsigned frames)
{
    const bool down = r.fadeAsked.load(std::memory_order_acquire);
    if (!down && r.envelope >= 1.0f)
        return;
    const float step = (down ? -1.0f : 1.0f) / float(r.fadeFrames);
    const unsigned ch = r.channels;
    for (unsigned f = 0; f < frames; ++f) {
        r.envelope = std::clamp(r.envelope + step, 0.0f, 1.0f);
        for (unsigned c = 0; c < ch; ++c) {
            int16_t &v = out[size_t(f) * ch + c];
            v = int16_t(std::nearbyint(float(v) * r.envelope));
        }
    }
    if (down && r.envelope <= 0.0f)
        r.fadedOut.store(true, std::memory_order_release);
}

int renderMp3(int16_t *out, unsigned frames, void *user)
{
    auto &r = *static_cast<AudioCallbackRecord *>(user);
    const unsigned ch = r.channels;
    askForPriority(r);
    if (r.ended.load(std::memory_order_relaxed)) {
        std::memset(out, 0, sizeof(int16_t) * ch * frames);
        return 1;
    }
    if (holdFaded(r, out, frames))
        return 0;
    r.deviceAsks(frames);
    // A song begins with the silence the device asked for (see
    // AudioSink::startLeadFrames), then its first sample.
    unsigned written = std::min(r.leadFrames, frames);
    r.leadFrames -= written;
    std::memset(out, 0, sizeof(int16_t) * ch * written);
    if (written == frames) {
        r.handedOver(frames, 0.0);
        return 0;
    }
    while (written < frames) {
        const unsigned n = std::min(frames - written, r.kChunkFrames);
        const unsigned got = renderMp3Ahead(r, out + size_t(written) * ch, n);
        written += got;
        if (got < n)
            break;
    }
    std::memset(out + size_t(written) * ch, 0, sizeof(int16_t) * ch * (frames - written));
    applyEnvelope(r, out, written);
    if (written < frames && !r.inputEnded) {
        // The decoder fell behind: what there is fades out instead of
        // breaking off, and the music rises again after the gap.
        const unsigned fade = std::min(written, r.fadeFrames);
        for (unsigned f = 0; f < fade; ++f) {
            const float g = float(fade - f - 1) / float(fade);
            for (unsigned c = 0; c < ch; ++c) {
                int16_t &v = out[size_t(written - fade + f) * ch + c];
                v = int16_t(std::nearbyint(float(v) * g));
            }
        }
        r.envelope = 0.0f;
    }
    const int64_t played = r.seekBase + int64_t(r.songFramesPlayed - r.aheadFrames * r.inPerOut);
    r.position.store(std::clamp(played, r.seekBase, r.seekBase + r.framesIn), std::memory_order_relaxed);
    r.handedOver(frames, r.inPerOut);
    const bool drained = r.inputEnded && r.aheadFrames == 0 && double(r.framesOut) + 1 > r.expectedOut;
    if (drained) {
        r.finish();
        return 1;
    }
    return 0;
}

int renderPcm(int16_t *out, unsigned frames, void *user)
{
    auto &r = *static_cast<AudioCallbackRecord *>(user);
    askForPriority(r);
    const int64_t frameBytes = int64_t(r.channels) * int64_t(sizeof(int16_t));
    const int64_t want = frames * frameBytes;
    if (r.ended.load(std::memory_order_relaxed)) {
        std::memset(out, 0, size_t(want));
        return 1;
    }
    if (holdFaded(r, out, frames))
        return 0;
    r.deviceAsks(frames);
    const int64_t n = std::clamp<int64_t>(r.pcmSize - r.pcmPos, 0, want);
    std::memcpy(out, r.pcm + r.pcmPos, size_t(n));
    std::memset(reinterpret_cast<char *>(out) + n, 0, size_t(want - n));
    applyEnvelope(r, out, unsigned(n / frameBytes));
    r.pcmPos += n;
    r.position.store(r.pcmPos / frameBytes, std::memory_order_relaxed);
    r.handedOver(frames, 1.0);
    if (r.pcmPos >= r.pcmSize) {
        r.finish();
        return 1;
    }
    return 0;
}

// The samples of a 16-bit stereo 48 kHz PCM WAV file; anything else would
// play at the wrong speed or as noise. Every length is checked against the
// file, and chunks after the samples (LIST, id3) are left out.
bool wavSamples(const QByteArray &file, QByteArray *samples)
{
    const auto *d = reinterpret_cast<const uchar *>(file.constData());
    const int64_t size = file.size();
    if (size < 44 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE")
        return false;
    bool format = false;
    for (int64_t pos = 12; pos + 8 <= size;) {
        const QByteArray id = file.mid(pos, 4);
        const uint32_t len = qFromLittleEndian<uint32_t>(d + pos + 4);
        const int64_t body = pos + 8;
        const int64_t avail = size - body;
        if (id == "fmt ") {
            if (len < 16 || avail < 16)
                return false;
            format = qFromLittleEndian<uint16_t>(d + body) == 1
                && qFromLittleEndian<uint16_t>(d + body + 2) == 2
                && qFromLittleEndian<uint32_t>(d + body + 4) == uint32_t(AudioInterface::kWavRate)
                && qFromLittleEndian<uint16_t>(d + body + 14) == 16;
            if (!format)
                return false;
        } else if (id == "data") {
            const int64_t n = std::min<int64_t>(len, avail) & ~int64_t(3);
            if (!format || n <= 0)
                return false;
            *samples = file.mid(body, n);
            return true;
        }
        pos = body + int64_t(len) + (len & 1);
    }
    return false;
}

} // namespace

AudioInterface::AudioInterface(std::unique_ptr<AudioSink> sink)
    : m_decoder(std::make_unique<Core::Mp3Decoder>()),
      m_sink(std::move(sink)),
      m_record(std::make_unique<AudioCallbackRecord>()),
      m_scratch(AudioCallbackRecord::kChunkFrames * Core::Mp3Decoder::kChannels)
{
    m_record->decoder = m_decoder.get();
    staticAudioInterface = this;
    rtaVol = 1.0;
    m_endPoll.setInterval(20);
    connect(&m_endPoll, &QTimer::timeout, this, &AudioInterface::pollEnd);
}

AudioInterface::~AudioInterface()
{
    stopAudio();
    m_decoder->close();
    if (staticAudioInterface == this)
        staticAudioInterface = nullptr;
}

bool AudioInterface::loadFile(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("mp3"))
        return loadFile(path, Mp3File);
    if (suffix == QLatin1String("wav"))
        return loadFile(path, WavFile);
    qDebug() << "AudioInterface::loadFile: not an audio song" << path;
    return false;
}

bool AudioInterface::loadFile(const QString &path, AudioFileType type)
{
    if (path.isEmpty())
        return false;
    // The callback reads what is loaded: never replace it under a stream.
    stopAudio();
    releaseFile();
    m_fileType = type;
    bool ok = false;
    switch (type) {
    case Mp3File:
        ok = m_decoder->init(m_sampleRate, false) && m_decoder->preloadFile(path);
        break;
    case WavFile:
        ok = loadWav(path);
        break;
    case RawPcmFile:
        ok = loadRaw(path);
        break;
    default:
        break;
    }
    if (!ok)
        releaseFile();
    return ok;
}

bool AudioInterface::loadWav(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && wavSamples(file.readAll(), &m_pcm);
}

bool AudioInterface::loadRaw(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    m_pcm = file.readAll();
    m_pcm.truncate(m_pcm.size() & ~qsizetype(3));
    return !m_pcm.isEmpty();
}

bool AudioInterface::loadFileBuffer(const QByteArray &data, AudioFileType type)
{
    if (data.isEmpty() || type != Mp3Memory)
        return false;
    stopAudio();
    releaseFile();
    m_fileType = type;
    if (m_decoder->init(m_sampleRate, false) && m_decoder->preloadFile(data))
        return true;
    releaseFile();
    return false;
}

void AudioInterface::releaseFile()
{
    m_startMs = 0;
    m_decoder->close();
    m_pcm = QByteArray();
}

// No callback runs: every processor is the owning thread's again.
void AudioInterface::prepareStretch()
{
    AudioCallbackRecord &r = *m_record;
    r.fading = r.toRetire = r.incoming = nullptr;
    r.hasIncoming = false;
    r.retiredCount = 0;
    if (m_stretchers.empty())
        m_stretchers.push_back(std::make_unique<Stretcher>());
    for (size_t i = 1; i < m_stretchers.size() && r.retiredCount < r.kMaxRetired; ++i)
        r.retired[r.retiredCount++] = m_stretchers[i].get();
    r.active = m_stretchers.front().get();
    setUpStretcher(r.active);
    r.inPerOut = r.active->inPerOut;
}

void AudioInterface::setUpStretcher(Stretcher *s)
{
    AudioCallbackRecord &r = *m_record;
    soundtouch::SoundTouch &st = s->touch;
    st.clear();
    st.setSampleRate(r.songRate);
    st.setChannels(r.channels);
    st.setRate(double(r.songRate) / double(r.rate));
    if (s->warmedRate != r.songRate || s->warmedChannels != r.channels) {
        // Run the extremes once, putting more than a callback ever does
        // before taking anything out, so that SoundTouch's buffers have grown
        // to their full size before the callback uses them.
        for (const double tempo : {100.0, -50.0}) {
            for (const double key : {12.0, -12.0}) {
                st.setTempoChange(tempo);
                st.setPitchSemiTones(key);
                for (int i = 0; i < 24; ++i)
                    st.putSamples(r.silence.data(), AudioCallbackRecord::kChunkFrames);
                while (st.receiveSamples(m_scratch.data(), AudioCallbackRecord::kChunkFrames))
                    ;
            }
        }
        st.clear();
        s->warmedRate = r.songRate;
        s->warmedChannels = r.channels;
    }
    st.setTempoChange(m_tempoPercent);
    st.setPitchSemiTones(double(m_keySemitones));
    s->inPerOut = (1.0 + double(m_tempoPercent) / 100.0) * r.songRate / std::max(1u, r.rate);
}

// A processor at the new tempo and key, set up here and handed to the
// callback, which starts it where the one in use stands; the callback never
// waits for this thread, and plays on with the old one until it takes it.
void AudioInterface::changeStretch()
{
    if (!m_sink->isOpen() || (m_fileType != Mp3File && m_fileType != Mp3Memory))
        return; // playAudio sets it up
    AudioCallbackRecord &r = *m_record;
    Stretcher *s = nullptr;
    {
        std::lock_guard<std::mutex> lock(r.handoff);
        if (r.retiredCount > 0)
            s = r.retired[--r.retiredCount];
    }
    if (!s) {
        m_stretchers.push_back(std::make_unique<Stretcher>());
        s = m_stretchers.back().get();
    }
    setUpStretcher(s);
    std::lock_guard<std::mutex> lock(r.handoff);
    if (r.incoming && r.retiredCount < r.kMaxRetired)
        r.retired[r.retiredCount++] = r.incoming;
    r.incoming = s;
    r.hasIncoming.store(true, std::memory_order_release);
}

// No callback runs (a seek): the processor handed over takes over at once.
void AudioInterface::adoptIncoming()
{
    AudioCallbackRecord &r = *m_record;
    std::lock_guard<std::mutex> lock(r.handoff);
    for (Stretcher *done : {r.fading, r.toRetire, r.incoming ? r.active : nullptr})
        if (done && r.retiredCount < r.kMaxRetired)
            r.retired[r.retiredCount++] = done;
    r.fading = r.toRetire = nullptr;
    if (r.incoming)
        r.active = r.incoming;
    r.incoming = nullptr;
    r.hasIncoming = false;
    r.inPerOut = r.active->inPerOut;
    r.active->touch.clear();
}

bool AudioInterface::playAudio(int)
{
    stopAudio();
    const bool mp3 = m_fileType == Mp3File || m_fileType == Mp3Memory;
    unsigned channels = 2;
    unsigned songRate = kWavRate;
    if (mp3) {
        // The gain is applied after the stretch, where it can change at
        // any moment.
        m_decoder->setVolume(1.0);
        channels = unsigned(m_decoder->getChannels());
        songRate = unsigned(std::max(0L, m_decoder->getSampleRate()));
    } else if (m_pcm.isEmpty()) {
        channels = 0;
    }
    if (channels != 2 || songRate < 1) {
        qDebug() << "AudioInterface::playAudio: nothing playable loaded";
        return false;
    }
    // SoundTouch converts an MP3 to the device's rate; WAV plays as it is.
    const unsigned rate = mp3 ? unsigned(m_sampleRate) : songRate;
    AudioCallbackRecord &r = *m_record;
    r.channels = channels;
    r.rate = rate;
    r.songRate = songRate;
    r.appliedGain = float(rtaVol);
    r.gain = float(rtaVol);
    r.priorityAsked = false;
    r.fadeAsked = false;
    r.fadedOut = false;
    r.envelope = 1.0f;
    r.fadeFrames = std::max(1u, unsigned(rate * kFadeMs / 1000));
    if (mp3)
        prepareStretch();
    r.pcm = m_pcm.constData();
    r.pcmSize = m_pcm.size();
    r.pcmPos = 0;
    r.dropOuts = 0;
    r.playedFrames = 0;
    r.lastDropOutFrame = 0;
    r.leadFrames = 0;
    r.resetRun(mp3 ? m_decoder->seekLandedFrame() : 0);

    ThreadPriority::startHelper();
    r.sink = m_sink.get();
    m_sink->setQueueBuffers(m_queueBuffers);
    // The devices as last listed (never asked for here): a device known
    // not to play in stereo is refused; any other is opened by its name,
    // also one not listed (a server away): the sink waits for it.
    const int device = m_outputDevice >= 0 ? m_outputDevice : getDefaultOutputDevice();
    const auto devices = m_sink->devices();
    const auto listed = std::find_if(devices.begin(), devices.end(), [&](const AudioSink::Device &d) {
        return m_outputName.empty() ? d.id == device : d.name == m_outputName;
    });
    if ((listed != devices.end() && listed->outputChannels < 2)
        || !m_sink->open(device, m_outputName, channels, rate, kBufferFrames, mp3 ? renderMp3 : renderPcm, &r)) {
        qDebug() << "AudioInterface::playAudio: no stereo output on device" << device;
        return false;
    }
    r.generation = m_sink->generation();
    r.latencyFrames = m_sink->latencyFrames();
    r.leadFrames = mp3 ? m_sink->startLeadFrames() : 0;
    r.restartClock();
    if (mp3)
        renderMp3Ahead(r, r.ahead.data(), 0);
    // libmpg123 seeks only in a stream it has begun to decode.
    if (const long start = std::exchange(m_startMs, 0); mp3 && start > 0)
        seekMp3(start);
    if (!m_sink->start()) {
        m_sink->close();
        return false;
    }
    m_paused = false;
    m_endPoll.start();
    return true;
}

bool AudioInterface::fadeOut()
{
    AudioCallbackRecord &r = *m_record;
    if (!m_sink->isRunning() || !m_sink->pulledElsewhere() || r.ended.load())
        return false;
    r.fadedOut = false;
    r.fadeAsked.store(true, std::memory_order_release);
    // The callback comes at least once per device buffer; a device that
    // does not come in time is stopped with what it has, and one that has
    // not asked at all since the fade was asked for no longer pulls (a
    // stop must answer at once then).
    const double asked = RealTime::nowMs();
    const uint64_t requests = r.requests.load(std::memory_order_relaxed);
    while (!r.fadedOut.load(std::memory_order_acquire) && !r.ended.load()) {
        const double now = RealTime::nowMs();
        if (now >= asked + kFadeWaitMs
            || (now >= asked + kPullWaitMs && r.requests.load(std::memory_order_relaxed) == requests))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return r.fadedOut.load(std::memory_order_acquire);
}

// No callback runs: the stream goes on where it stands, rising from the
// fade it stopped on.
void AudioInterface::unfade()
{
    m_record->fadeAsked = false;
    m_record->fadedOut = false;
}

void AudioInterface::pauseAudio()
{
    if (!m_sink->isOpen())
        return;
    fadeOut();
    m_sink->stop();
    m_paused = true;
}

void AudioInterface::resumeAudio()
{
    if (!m_sink->isOpen() || !m_paused)
        return;
    unfade();
    // From silence, whether or not the pause had the time to fade out: a
    // song picked up mid-waveform clicks.
    m_record->envelope = 0.0f;
    m_record->restartClock();
    m_paused = !m_sink->start();
}

void AudioInterface::stopAudio()
{
    m_endPoll.stop();
    m_paused = false;
    if (!m_sink->isOpen())
        return;
    // Faded, the queued buffers play out (the fade and silence after it);
    // otherwise they are dropped.
    const bool faded = fadeOut();
    m_record->ended = true;
    if (faded)
        m_sink->stop();
    else
        m_sink->abort();
    m_sink->close();
    // No callback runs: what the song went through sizes the next queue.
    // It grows only for drop-outs still coming near the song's end; once
    // they are gone, it is short again at once, so that every command is
    // heard soon.
    const AudioCallbackRecord &r = *m_record;
    const bool recent = r.dropOuts > 0 && r.rate
                        && double(r.playedFrames - r.lastDropOutFrame) * 1000.0 / r.rate < kCalmMs;
    m_queueBuffers = recent ? std::min(m_queueBuffers * 2, kMostQueueBuffers) : kQueueBuffers;
    if (m_fileType == WavFile || m_fileType == RawPcmFile)
        m_pcm = QByteArray();
}

void AudioInterface::jumpToSec(long ms)
{
    qDebug() << "Seek to" << ms << "ms";
    if (!m_sink->isOpen()) {
        // Loaded, not yet playing: the stream starts there.
        m_startMs = std::max(0L, ms);
        return;
    }
    if (fadeOut())
        m_sink->stop();
    else
        m_sink->abort();
    unfade();
    AudioCallbackRecord &r = *m_record;
    ms = std::max(0L, ms);
    if (m_fileType == Mp3File || m_fileType == Mp3Memory) {
        seekMp3(ms);
    } else {
        const int64_t frameBytes = int64_t(r.channels) * int64_t(sizeof(int16_t));
        r.pcmPos = std::min<int64_t>(int64_t(ms) * r.rate / 1000 * frameBytes, r.pcmSize);
        r.resetRun(r.pcmPos / frameBytes);
    }
    if (!m_paused)
        m_sink->start();
    m_endPoll.start();
}

// No callback runs.
void AudioInterface::seekMp3(long ms)
{
    AudioCallbackRecord &r = *m_record;
    m_decoder->setTimePos(ms);
    adoptIncoming();
    r.resetRun(m_decoder->seekLandedFrame());
    // The first decode after a seek sets libmpg123 up: do it here.
    renderMp3Ahead(r, r.ahead.data(), 0);
}

void AudioInterface::changeBpm(float percent)
{
    m_tempoPercent = std::max(percent, kMinTempoPercent);
    m_deltaBpm = int(m_tempoPercent);
    changeStretch();
}

void AudioInterface::changeKey(float semitones)
{
    m_keySemitones = semitones;
    m_deltaKey = int(semitones);
    changeStretch();
}

void AudioInterface::setVolume(int v)
{
    const float scaled = float(std::clamp(v, 0, 127)) / 127.0f;
    m_volume = QAudio::convertVolume(scaled, QAudio::LogarithmicVolumeScale, QAudio::LinearVolumeScale);
    rtaVol = m_volume * 0.8;
    qDebug() << "void AudioInterface::setVolume " << rtaVol;
    m_record->gain.store(float(rtaVol), std::memory_order_relaxed);
}

bool AudioInterface::isActive() const
{
    return m_sink->isRunning();
}

long AudioInterface::getDuration() const
{
    if (m_fileType == WavFile || m_fileType == RawPcmFile)
        return long(m_pcm.size() / 4 * 1000 / kWavRate);
    return m_decoder->getTotMilliSecs();
}

long AudioInterface::getmSec() const
{
    if (!m_sink->isOpen() || m_record->songRate == 0)
        return 0;
    return long(m_record->position.load(std::memory_order_relaxed) * 1000 / m_record->songRate);
}

long AudioInterface::heardMs() const
{
    const AudioCallbackRecord &r = *m_record;
    const long handed = getmSec();
    if (!m_sink->isOpen() || r.songRate == 0)
        return handed;
    const long from = long(r.seekBase * 1000 / r.songRate);
    const double heard = r.clock.heardMark(RealTime::nowMs());
    if (!std::isfinite(heard))
        return from;
    return std::clamp(long(std::floor(heard)), from, std::max(from, handed));
}

QMap<int, QString> AudioInterface::availableOutputDevices()
{
    QMap<int, QString> map;
    for (const AudioSink::Device &d : m_sink->devices()) {
        if (d.outputChannels >= 1)
            map.insert(d.id, QString::fromStdString(d.name));
    }
    return map;
}

int AudioInterface::getDefaultOutputDevice()
{
    // A sound server's default can be an input (a sink's monitor): the
    // first device that plays stands in for it.
    const QMap<int, QString> outputs = availableOutputDevices();
    const int device = m_sink->defaultDevice();
    if (outputs.contains(device) || outputs.isEmpty())
        return device;
    return outputs.firstKey();
}

bool AudioInterface::connectDeviceById(int id, const std::string &name)
{
    if (m_sink->isOpen())
        return false;
    // Known not to play in stereo: refused. Not listed (a sound server away
    // or hung) but named: kept, and opened once it is there.
    const std::vector<AudioSink::Device> devices = m_sink->devices();
    const auto d = std::find_if(devices.begin(), devices.end(), [&](const AudioSink::Device &d) { return d.id == id; });
    if (d == devices.end() ? name.empty() : d->outputChannels < 2)
        return false;
    m_outputDevice = id;
    m_outputName = d == devices.end() ? name : d->name;
    if (d != devices.end())
        m_sampleRate = d->preferredRate ? int(d->preferredRate) : kWavRate;
    return true;
}

void AudioInterface::pollEnd()
{
    if (m_record->endReported.exchange(false, std::memory_order_acquire)) {
        m_endPoll.stop();
        emit endedMp3();
    }
}

} // namespace Sound
