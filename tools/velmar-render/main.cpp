// velmar-render FILE OUT.wav [--soundfont PATH]
//   Loads the song as the player does and plays it on the simulated clock
//   into the software synthesizer on output 1, rendering each millisecond's
//   audio after that millisecond's pass; writes 16-bit stereo WAV at 44.1 kHz
//   (the song, then two seconds of tail) and prints how long that took.
#include "MidiBassOutWrapper.h"
#include "sequencer_ex.h"
#include "songplayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {
constexpr unsigned kRate = 44100;
constexpr unsigned kTailMs = 2000;
constexpr uint64_t kLimitMs = 6ull * 3600 * 1000;
const char *const kDefaultBank = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// 16-bit stereo PCM; the sizes are patched in when the data is complete.
class WavWriter
{
public:
    explicit WavWriter(const QString &path) : m_file(path) {}

    bool open()
    {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        return header(0);
    }
    bool write(const float *interleaved, unsigned frames)
    {
        m_pcm.resize(size_t(frames) * 2);
        for (size_t i = 0; i < m_pcm.size(); ++i) {
            const float v = std::clamp(interleaved[i], -1.0f, 1.0f);
            m_pcm[i] = int16_t(std::lrint(v * 32767.0f));
        }
        const qint64 bytes = qint64(m_pcm.size() * sizeof(int16_t));
        m_dataBytes += uint32_t(bytes);
        return m_file.write(reinterpret_cast<const char *>(m_pcm.data()), bytes) == bytes;
    }
    bool finish()
    {
        return m_file.seek(0) && header(m_dataBytes) && m_file.flush();
    }
    QString errorString() const { return m_file.errorString(); }

private:
    bool header(uint32_t dataBytes)
    {
        QByteArray h;
        auto u32 = [&h](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                h += char((v >> (8 * i)) & 0xFF);
        };
        auto u16 = [&h](uint16_t v) {
            h += char(v & 0xFF);
            h += char(v >> 8);
        };
        h += "RIFF";
        u32(36 + dataBytes);
        h += "WAVEfmt ";
        u32(16);
        u16(1);
        u16(2);
        u32(kRate);
        u32(kRate * 4);
        u16(4);
        u16(16);
        h += "data";
        u32(dataBytes);
        return m_file.write(h) == h.size();
    }

    QFile m_file;
    std::vector<int16_t> m_pcm;
    uint32_t m_dataBytes = 0;
};

int usage()
{
    std::fprintf(stderr, "usage: velmar-render FILE OUT.wav [--soundfont PATH]\n");
    return 2;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QStringList plain;
    QString bank = QString::fromLatin1(kDefaultBank);
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--soundfont") && i + 1 < args.size())
            bank = args[++i];
        else if (args[i].startsWith(QLatin1String("--")))
            return usage();
        else
            plain << args[i];
    }
    if (plain.size() != 2)
        return usage();
    const QString songPath = plain[0];
    quietLogs();
    SongRecords song;
    QString error;
    if (!loadSong(songPath, song, &error)) {
        std::fprintf(stderr, "velmar-render: %s: %s\n", qPrintable(songPath), qPrintable(error));
        return 1;
    }

    auto owned = std::make_unique<OfflineAudioSink>(kRate);
    OfflineAudioSink *sink = owned.get();
    MidiBassOutWrapper synth(std::move(owned));
    synth.setSoundFont(bank.toStdString());
    if (const int r = synth.openPort(0)) {
        std::fprintf(stderr, "velmar-render: the synthesizer did not start with %s (%d)\n",
                     qPrintable(bank), r);
        return 1;
    }
    IMidiOutput *outputs[MIDI_OUTPUT_COUNT] = {&synth};
    PlayerRig rig(Sequencer::Clock::Simulated, outputs);
    rig.seq->sequencerStart();
    if (!rig.seq->preloadMidiFile(&song.sd)) {
        std::fprintf(stderr, "velmar-render: %s: the song did not start\n", qPrintable(songPath));
        return 1;
    }
    WavWriter wav(plain[1]);
    if (!wav.open()) {
        std::fprintf(stderr, "velmar-render: %s: %s\n", qPrintable(plain[1]), qPrintable(wav.errorString()));
        return 1;
    }

    QElapsedTimer timer;
    timer.start();
    rig.drainQueues();
    const uint64_t resumedAt = rig.seq->now();
    rig.seq->setPause(false);
    std::vector<float> block;
    uint64_t rendered = 0;
    bool written = true;
    auto renderTo = [&](uint64_t ms) {
        const uint64_t frame = ms * kRate / 1000;
        const unsigned n = unsigned(frame - rendered);
        block.resize(size_t(n) * 2);
        sink->pull(block.data(), n);
        written = written && wav.write(block.data(), n);
        rendered = frame;
    };
    uint64_t songMs = 0;
    while (SEQUENCER_EX_IsRunning() && songMs < kLimitMs) {
        rig.seq->advance(1);
        songMs = rig.seq->now() - resumedAt;
        renderTo(songMs);
    }
    for (uint64_t t = 0; t < kTailMs; ++t) {
        rig.seq->advance(1);
        renderTo(rig.seq->now() - resumedAt);
    }
    const double wall = double(timer.nsecsElapsed()) / 1e9;
    synth.closePort();
    if (!written || !wav.finish()) {
        std::fprintf(stderr, "velmar-render: %s: %s\n", qPrintable(plain[1]), qPrintable(wav.errorString()));
        return 1;
    }
    const double audio = double(rendered) / kRate;
    std::printf("%s: %.1f s of audio (song %.1f s) rendered in %.2f s, real-time factor %.1f\n",
                qPrintable(plain[1]), audio, double(songMs) / 1000.0, wall, audio / wall);
    return 0;
}
