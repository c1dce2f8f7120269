#include "AudioInterface.h"

#include "Mp3Decoder.h"

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
#include <thread>
#include <vector>

namespace Sound {

double rtaVol = 1.0;
AudioInterface *staticAudioInterface = nullptr;

// Everything the render callbacks touch. The owning thread writes the plain
// fields only while no callback can run (stream closed or stopped); the
// atomics carry what changes while it plays.
struct AudioCallbackRecord {
    // Frames handled per decode and per SoundTouch call; larger device
    // buffers are rendered in steps of this size.
    static constexpr unsigned kChunkFrames = 1024;
    // Frames rendered ahead of the device: what plays while the owning
    // thread holds the gate.
    static constexpr unsigned kReserveFrames = 256;
    // Bounds the decode loop of one step, should the decoder stop yielding.
    static constexpr int kMaxFeeds = 64;

    unsigned channels = Core::Mp3Decoder::kChannels;
    unsigned rate = 0;     // of the stream
    unsigned songRate = 0; // of the decoded song: the unit of positions
    const char *pcm = nullptr;
    int64_t pcmSize = 0;
    int64_t pcmPos = 0;
    std::atomic<bool> ended{false};
    std::atomic<bool> endReported{false};

    Core::Mp3Decoder *decoder = nullptr;
    soundtouch::SoundTouch touch;
    std::vector<int16_t> decoded = std::vector<int16_t>(kChunkFrames * 2);
    std::vector<float> samples = std::vector<float>(kChunkFrames * 2);
    const std::vector<float> silence = std::vector<float>(kChunkFrames * 2, 0.0f);
    std::vector<int16_t> ahead = std::vector<int16_t>((kChunkFrames + kReserveFrames) * 2);
    unsigned aheadFrames = 0;

    // SoundTouch's setters allocate, so the owning thread changes tempo, key
    // and gain itself, between two callbacks: it closes the gate and waits
    // until no callback is inside. A callback that finds the gate closed
    // plays its reserve instead of waiting (Dekker's handshake; both sides
    // store, then load, sequentially consistent).
    std::atomic<bool> gate{false};
    std::atomic<bool> busy{false};

    // State of the current run, reset at start and seek; the callback owns
    // it, except inPerOut, which changes under the gate.
    double inPerOut = 1.0; // song frames per output frame
    bool inputEnded = false;
    double expectedOut = 0; // output frames the input fed so far is worth
    int64_t framesIn = 0;
    int64_t framesOut = 0;
    double songFramesPlayed = 0;
    int64_t seekBase = 0;
    std::atomic<int64_t> position{0}; // song time in song frames

    void resetRun(int64_t base)
    {
        inputEnded = false;
        expectedOut = 0;
        framesIn = 0;
        framesOut = 0;
        songFramesPlayed = 0;
        seekBase = base;
        aheadFrames = 0;
        position = base;
        ended = false;
        endReported = false;
    }

    template <typename F>
    void whileGateClosed(F change)
    {
        gate.store(true);
        while (busy.load())
            std::this_thread::yield();
        change();
        gate.store(false);
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

void toInt16(const float *in, int16_t *out, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const float v = std::nearbyint(in[i] * 32768.0f);
        out[i] = int16_t(std::clamp(v, -32768.0f, 32767.0f));
    }
}

// Up to n frames of stretched audio into out; fewer only at the song's end
// or when the decoder stalls.
unsigned renderMp3Step(AudioCallbackRecord &r, int16_t *out, unsigned n)
{
    const unsigned ch = r.channels;
    soundtouch::SoundTouch &st = r.touch;
    // Decode until SoundTouch holds a whole step, so that its start-up
    // latency is bridged by decoding ahead rather than by silence.
    for (int feeds = 0; st.numSamples() < n && !r.inputEnded && feeds < r.kMaxFeeds; ++feeds) {
        const unsigned want = std::min(unsigned(n * r.inPerOut + 1), r.kChunkFrames);
        unsigned long bytes = 0;
        const int rc = r.decoder->fillBuffer(reinterpret_cast<uchar *>(r.decoded.data()),
                                             want * ch * sizeof(int16_t), &bytes);
        const unsigned got = unsigned(bytes / sizeof(int16_t) / ch);
        if (got) {
            toFloat(r.decoded.data(), r.samples.data(), size_t(got) * ch);
            st.putSamples(r.samples.data(), got);
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
    toInt16(r.samples.data(), out, size_t(got) * ch);
    r.framesOut += got;
    r.songFramesPlayed += got * r.inPerOut;
    return got;
}

// Keeps the reserve full behind n frames and moves those n (fewer at the
// end) to out. With n = 0 it fills the reserve before the stream starts, so
// that the first decode, which sets libmpg123 up, is not made in a callback.
unsigned renderMp3Ahead(AudioCallbackRecord &r, int16_t *out, unsigned n, bool gateOpen)
{
    const unsigned ch = r.channels;
    const unsigned want = n + r.kReserveFrames;
    while (gateOpen && r.aheadFrames < want) {
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

int renderMp3(int16_t *out, unsigned frames, void *user)
{
    auto &r = *static_cast<AudioCallbackRecord *>(user);
    const unsigned ch = r.channels;
    if (r.ended.load(std::memory_order_relaxed)) {
        std::memset(out, 0, sizeof(int16_t) * ch * frames);
        return 1;
    }
    r.busy.store(true);
    const bool gateOpen = !r.gate.load();
    if (!gateOpen)
        r.busy.store(false);
    unsigned written = 0;
    while (written < frames) {
        const unsigned n = std::min(frames - written, r.kChunkFrames);
        const unsigned got = renderMp3Ahead(r, out + size_t(written) * ch, n, gateOpen);
        written += got;
        if (got < n)
            break;
    }
    std::memset(out + size_t(written) * ch, 0, sizeof(int16_t) * ch * (frames - written));
    if (!gateOpen)
        return 0;
    const int64_t played = r.seekBase + int64_t(r.songFramesPlayed - r.aheadFrames * r.inPerOut);
    r.position.store(std::clamp(played, r.seekBase, r.seekBase + r.framesIn), std::memory_order_relaxed);
    const bool drained = r.inputEnded && r.aheadFrames == 0 && double(r.framesOut) + 1 > r.expectedOut;
    r.busy.store(false);
    if (drained) {
        r.finish();
        return 1;
    }
    return 0;
}

int renderPcm(int16_t *out, unsigned frames, void *user)
{
    auto &r = *static_cast<AudioCallbackRecord *>(user);
    const int64_t frameBytes = int64_t(r.channels) * int64_t(sizeof(int16_t));
    const int64_t want = frames * frameBytes;
    if (r.ended.load(std::memory_order_relaxed)) {
        std::memset(out, 0, size_t(want));
        return 1;
    }
    const int64_t n = std::clamp<int64_t>(r.pcmSize - r.pcmPos, 0, want);
    std::memcpy(out, r.pcm + r.pcmPos, size_t(n));
    std::memset(reinterpret_cast<char *>(out) + n, 0, size_t(want - n));
    r.pcmPos += n;
    r.position.store(r.pcmPos / frameBytes, std::memory_order_relaxed);
    if (r.pcmPos >= r.pcmSize) {
        r.finish();
        return 1;
    }
    return 0;
}

int renderNothing(int16_t *out, unsigned frames, void *)
{
    std::memset(out, 0, sizeof(int16_t) * 2 * frames);
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
      m_record(std::make_unique<AudioCallbackRecord>())
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
    m_decoder->close();
    m_pcm = QByteArray();
}

void AudioInterface::prepareStretch()
{
    soundtouch::SoundTouch &st = m_record->touch;
    st.clear();
    st.setSampleRate(m_record->songRate);
    st.setChannels(m_record->channels);
    st.setRate(double(m_record->songRate) / double(m_record->rate));
    // Run the extremes once, putting more than a callback ever does before
    // taking anything out, so that SoundTouch's buffers have grown to their
    // full size before the callback uses them.
    for (const double tempo : {100.0, -50.0}) {
        for (const double key : {12.0, -12.0}) {
            st.setTempoChange(tempo);
            st.setPitchSemiTones(key);
            for (int i = 0; i < 16; ++i)
                st.putSamples(m_record->silence.data(), AudioCallbackRecord::kChunkFrames);
            while (st.receiveSamples(m_record->samples.data(), AudioCallbackRecord::kChunkFrames))
                ;
        }
    }
    st.clear();
    applyStretch();
}

void AudioInterface::applyStretch()
{
    AudioCallbackRecord &r = *m_record;
    r.touch.setTempoChange(m_tempoPercent);
    r.touch.setPitchSemiTones(double(m_keySemitones));
    r.inPerOut = (1.0 + double(m_tempoPercent) / 100.0) * r.songRate / std::max(1u, r.rate);
}

bool AudioInterface::playAudio(int)
{
    stopAudio();
    const bool mp3 = m_fileType == Mp3File || m_fileType == Mp3Memory;
    unsigned channels = 2;
    unsigned songRate = kWavRate;
    if (mp3) {
        m_decoder->setVolume(rtaVol);
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
    if (mp3)
        prepareStretch();
    r.pcm = m_pcm.constData();
    r.pcmSize = m_pcm.size();
    r.pcmPos = 0;
    r.resetRun(mp3 ? m_decoder->seekLandedFrame() : 0);

    const int device = m_outputDevice >= 0 ? m_outputDevice : getDefaultOutputDevice();
    const auto devices = m_sink->devices();
    const bool stereo = std::any_of(devices.begin(), devices.end(), [&](const AudioSink::Device &d) {
        return d.id == device && d.outputChannels >= 2;
    });
    if (!stereo || !m_sink->open(device, channels, rate, kBufferFrames, mp3 ? renderMp3 : renderPcm, &r)) {
        qDebug() << "AudioInterface::playAudio: no stereo output on device" << device;
        return false;
    }
    if (mp3)
        renderMp3Ahead(r, r.ahead.data(), 0, true);
    if (!m_sink->start()) {
        m_sink->close();
        return false;
    }
    m_paused = false;
    m_endPoll.start();
    return true;
}

void AudioInterface::pauseAudio()
{
    if (!m_sink->isOpen())
        return;
    m_sink->stop();
    m_paused = true;
}

void AudioInterface::resumeAudio()
{
    if (!m_sink->isOpen() || !m_paused)
        return;
    m_paused = !m_sink->start();
}

void AudioInterface::stopAudio()
{
    m_endPoll.stop();
    m_paused = false;
    if (!m_sink->isOpen())
        return;
    m_record->ended = true;
    m_sink->abort();
    m_sink->close();
    if (m_fileType == WavFile || m_fileType == RawPcmFile)
        m_pcm = QByteArray();
}

void AudioInterface::jumpToSec(long ms)
{
    qDebug() << "Voglio saltare a " << ms;
    if (!m_sink->isOpen())
        return;
    m_sink->abort();
    AudioCallbackRecord &r = *m_record;
    ms = std::max(0L, ms);
    if (m_fileType == Mp3File || m_fileType == Mp3Memory) {
        m_decoder->setTimePos(ms);
        r.touch.clear();
        r.resetRun(m_decoder->seekLandedFrame());
        // The first decode after a seek sets libmpg123 up: do it here.
        renderMp3Ahead(r, r.ahead.data(), 0, true);
    } else {
        const int64_t frameBytes = int64_t(r.channels) * int64_t(sizeof(int16_t));
        r.pcmPos = std::min<int64_t>(int64_t(ms) * r.rate / 1000 * frameBytes, r.pcmSize);
        r.resetRun(r.pcmPos / frameBytes);
    }
    if (!m_paused)
        m_sink->start();
    m_endPoll.start();
}

void AudioInterface::changeBpm(float percent)
{
    m_tempoPercent = std::max(percent, kMinTempoPercent);
    m_deltaBpm = int(m_tempoPercent);
    m_record->whileGateClosed([this] { applyStretch(); });
}

void AudioInterface::changeKey(float semitones)
{
    m_keySemitones = semitones;
    m_deltaKey = int(semitones);
    m_record->whileGateClosed([this] { applyStretch(); });
}

void AudioInterface::setVolume(int v)
{
    const float scaled = float(std::clamp(v, 0, 127)) / 127.0f;
    m_volume = QAudio::convertVolume(scaled, QAudio::LogarithmicVolumeScale, QAudio::LinearVolumeScale);
    rtaVol = m_volume * 0.8;
    qDebug() << "void AudioInterface::setVolume " << rtaVol;
    m_record->whileGateClosed([this] { m_decoder->setVolume(rtaVol); });
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

bool AudioInterface::connectDeviceById(int id)
{
    if (m_sink->isOpen())
        return false;
    m_outputDevice = -1;
    for (const AudioSink::Device &d : m_sink->devices()) {
        if (d.id != id)
            continue;
        const unsigned rate = d.preferredRate ? d.preferredRate : unsigned(kWavRate);
        if (m_sink->open(id, 2, rate, kBufferFrames, renderNothing, nullptr)) {
            m_sink->close();
            m_outputDevice = id;
            m_sampleRate = int(rate);
        }
    }
    return m_outputDevice >= 0;
}

void AudioInterface::pollEnd()
{
    if (m_record->endReported.exchange(false, std::memory_order_acquire)) {
        m_endPoll.stop();
        emit endedMp3();
    }
}

} // namespace Sound
