// Renders a MIDI file offline through the software synthesizer output (the
// same path the player uses, minus the audio device) and reports the
// real-time factor beside FluidSynth's own command-line renderer on the same
// file and sound bank.
//
// usage: synth_bench SONG.mid [BANK.sf2]
// A dense test song: bench/synth-bench/make_song.py OUT.mid [SECONDS]
#include "MidiBassOutWrapper.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr unsigned kRate = 44100;
constexpr unsigned kBlock = 64;
constexpr double kTailSeconds = 2.0;

struct Event {
    uint32_t tick;
    uint32_t order;
    uint32_t tempo; // µs per quarter note, 0 for MIDI events
    std::vector<unsigned char> bytes;
};

struct Reader {
    const unsigned char *data;
    size_t size;
    size_t pos = 0;
    bool need(size_t n) const { return n <= size - pos; }
    bool u8(uint8_t &v)
    {
        if (!need(1))
            return false;
        v = data[pos++];
        return true;
    }
    bool be(int bytes, uint32_t &v)
    {
        if (!need(size_t(bytes)))
            return false;
        v = 0;
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | data[pos++];
        return true;
    }
    bool vlq(uint32_t &v)
    {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b;
            if (!u8(b))
                return false;
            v = (v << 7) | (b & 0x7F);
            if (!(b & 0x80))
                return true;
        }
        return false;
    }
};

bool readTrack(Reader r, std::vector<Event> &out, uint32_t &order)
{
    uint32_t tick = 0;
    uint8_t status = 0;
    while (r.pos < r.size) {
        uint32_t delta;
        uint8_t b;
        if (!r.vlq(delta) || !r.u8(b))
            return false;
        tick += delta;
        if (b == 0xFF) {
            uint8_t type;
            uint32_t len;
            if (!r.u8(type) || !r.vlq(len) || !r.need(len))
                return false;
            if (type == 0x51 && len == 3) {
                const unsigned char *p = r.data + r.pos;
                out.push_back({tick, order++, uint32_t(p[0] << 16 | p[1] << 8 | p[2]), {}});
            }
            r.pos += len;
            if (type == 0x2F)
                return true;
            continue;
        }
        if (b == 0xF0 || b == 0xF7) {
            uint32_t len;
            if (!r.vlq(len) || !r.need(len))
                return false;
            if (b == 0xF0) {
                Event e{tick, order++, 0, {0xF0}};
                e.bytes.insert(e.bytes.end(), r.data + r.pos, r.data + r.pos + len);
                if (e.bytes.back() != 0xF7)
                    e.bytes.push_back(0xF7);
                out.push_back(std::move(e));
            }
            r.pos += len;
            status = 0;
            continue;
        }
        Event e{tick, order++, 0, {}};
        if (b & 0x80) {
            status = b;
            e.bytes.push_back(b);
        } else {
            if (!status)
                return false;
            e.bytes.push_back(status);
            e.bytes.push_back(b);
        }
        const int total = (status & 0xE0) == 0xC0 ? 2 : 3;
        while (int(e.bytes.size()) < total) {
            if (!r.u8(b))
                return false;
            e.bytes.push_back(b);
        }
        out.push_back(std::move(e));
    }
    return true;
}

bool readSong(const QByteArray &file, std::vector<Event> &events, unsigned &division)
{
    Reader r{reinterpret_cast<const unsigned char *>(file.constData()), size_t(file.size())};
    uint32_t magic, len, format, tracks, div;
    if (!r.be(4, magic) || magic != 0x4D546864 || !r.be(4, len) || len < 6 || !r.need(len))
        return false;
    const size_t headEnd = r.pos + len;
    if (!r.be(2, format) || !r.be(2, tracks) || !r.be(2, div) || (div & 0x8000) || div == 0)
        return false;
    division = div;
    r.pos = headEnd;
    uint32_t order = 0;
    for (uint32_t t = 0; t < tracks && r.need(8); ++t) {
        uint32_t id, size;
        r.be(4, id);
        r.be(4, size);
        if (!r.need(size))
            return false;
        if (id == 0x4D54726B && !readTrack({r.data + r.pos, size}, events, order))
            std::fprintf(stderr, "track %u is damaged; read up to the damage\n", t);
        r.pos += size;
    }
    std::stable_sort(events.begin(), events.end(), [](const Event &a, const Event &b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    return true;
}

double runFluidSynth(const QString &song, const QString &bank, const QString &wav)
{
    QElapsedTimer timer;
    timer.start();
    QProcess p;
    p.start(QStringLiteral("fluidsynth"),
            {"-ni", "-q", "-r", QString::number(kRate), "-g", "0.2", "-F", wav, bank, song});
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SONG.mid [BANK.sf2]\n", argv[0]);
        return 2;
    }
    const QString songPath = QString::fromLocal8Bit(argv[1]);
    const QString bankPath = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                      : QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
    QFile songFile(songPath);
    if (!songFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    std::vector<Event> events;
    unsigned division = 0;
    if (!readSong(songFile.readAll(), events, division)) {
        std::fprintf(stderr, "not a Standard MIDI File with quarter-note timing\n");
        return 1;
    }

    auto owned = std::make_unique<OfflineAudioSink>(kRate);
    OfflineAudioSink *sink = owned.get();
    MidiBassOutWrapper output(std::move(owned));
    output.setSoundFont(bankPath.toStdString());
    const int opened = output.openPort(1000);
    if (opened != 0) {
        std::fprintf(stderr, "synthesizer did not start: %d\n", opened);
        return 1;
    }
    // What the output layer sends at full music volume.
    const std::vector<unsigned char> masterVolume{0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 88, 0xF7};
    output.sendMessage(&masterVolume);

    std::vector<float> block(kBlock * 2);
    double sumSquares = 0, peak = 0;
    uint64_t rendered = 0;
    auto renderTo = [&](uint64_t frame) {
        while (rendered < frame) {
            const unsigned n = unsigned(std::min<uint64_t>(kBlock, frame - rendered));
            sink->pull(block.data(), n);
            for (unsigned i = 0; i < n * 2; ++i) {
                sumSquares += double(block[i]) * block[i];
                peak = std::max(peak, double(std::fabs(block[i])));
            }
            rendered += n;
        }
    };

    QElapsedTimer timer;
    timer.start();
    double seconds = 0;
    std::vector<double> sendNs;
    sendNs.reserve(events.size());
    uint32_t tempo = 500000, lastTick = 0;
    size_t sent = 0;
    for (const Event &e : events) {
        seconds += double(e.tick - lastTick) * tempo / 1e6 / division;
        lastTick = e.tick;
        if (e.tempo) {
            tempo = e.tempo;
            continue;
        }
        renderTo(uint64_t(std::llround(seconds * kRate)));
        QElapsedTimer one;
        one.start();
        output.sendMessage(&e.bytes);
        sendNs.push_back(double(one.nsecsElapsed()));
        ++sent;
    }
    renderTo(rendered + uint64_t(kTailSeconds * kRate));
    const double wall = timer.nsecsElapsed() / 1e9;
    output.closePort();

    const double audio = double(rendered) / kRate;
    std::printf("song: %s, %.1f s of audio, %zu MIDI events, bank %s\n", argv[1], audio, sent,
                qPrintable(bankPath));
    std::printf("our synthesizer: %.2f s wall, real-time factor %.1f, peak %.1f dBFS, "
                "RMS %.1f dBFS at Master Volume 88\n",
                wall, audio / wall, 20 * std::log10(std::max(peak, 1e-9)),
                10 * std::log10(std::max(sumSquares / double(rendered * 2), 1e-18)));
    if (!sendNs.empty()) {
        std::sort(sendNs.begin(), sendNs.end());
        double sum = 0;
        for (double ns : sendNs)
            sum += ns;
        std::printf("sendMessage: mean %.1f us, median %.1f us, 99th percentile %.1f us, "
                    "max %.1f us\n",
                    sum / sendNs.size() / 1e3, sendNs[sendNs.size() / 2] / 1e3,
                    sendNs[sendNs.size() * 99 / 100] / 1e3, sendNs.back() / 1e3);
    }

    QTemporaryDir dir;
    const double fluid = runFluidSynth(songPath, bankPath, dir.filePath(QStringLiteral("out.wav")));
    if (fluid < 0) {
        std::printf("fluidsynth -F: not run (install the fluidsynth package)\n");
    } else {
        // 16-bit stereo WAV behind a 44-byte header.
        const double fluidAudio =
            double(std::max<qint64>(QFile(dir.filePath(QStringLiteral("out.wav"))).size() - 44, 0)) /
            4.0 / kRate;
        std::printf("fluidsynth -F: %.1f s of audio, %.2f s wall, real-time factor %.1f\n",
                    fluidAudio, fluid, fluidAudio / fluid);
    }
    return 0;
}
