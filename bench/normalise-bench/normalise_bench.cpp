// Times the normaliser on generated 16-track songs, beside mido's parse of
// the same files. Usage: normalise-bench [runs]
#include "ExtractProc.h"
#include "StreamData.h"

#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

void put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(uint8_t(v >> s));
}

void putVlq(std::vector<uint8_t> &out, uint32_t v)
{
    uint8_t b[4];
    int n = 0;
    do {
        b[n++] = uint8_t(v & 0x7F);
        v >>= 7;
    } while (v);
    while (n > 1)
        out.push_back(uint8_t(b[--n] | 0x80));
    out.push_back(b[0]);
}

// A format-1 song of 16 tracks (one per channel) of about targetBytes:
// notes every sixteenth with controller moves, at 480 ticks per quarter.
std::vector<uint8_t> makeSong(size_t targetBytes)
{
    const size_t perTrack = targetBytes / 16;
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 16, 0x01, 0xE0};
    uint32_t seed = 12345;
    auto rnd = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int ch = 0; ch < 16; ++ch) {
        std::vector<uint8_t> t;
        if (ch == 0) {
            t.insert(t.end(), {0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0, 0xFF, 0x58, 4, 4, 2, 24, 8});
        }
        t.insert(t.end(), {0, uint8_t(0xC0 | ch), uint8_t(rnd(128))});
        while (t.size() + 12 < perTrack) {
            const uint8_t note = uint8_t(36 + rnd(48));
            putVlq(t, 0);
            t.insert(t.end(), {uint8_t(0x90 | ch), note, uint8_t(1 + rnd(127))});
            if (rnd(4) == 0) {
                putVlq(t, 0);
                t.insert(t.end(), {uint8_t(0xB0 | ch), 11, uint8_t(rnd(128))});
            }
            putVlq(t, 120);
            t.insert(t.end(), {uint8_t(0x80 | ch), note, 0});
        }
        t.insert(t.end(), {0, 0xFF, 0x2F, 0});
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        put32(file, uint32_t(t.size()));
        file.insert(file.end(), t.begin(), t.end());
    }
    return file;
}

double midoSeconds(const std::string &path)
{
    const std::string cmd =
        "/usr/bin/python3 -c \"import sys,time,mido; t=time.perf_counter(); "
        "mido.MidiFile(sys.argv[1]); print(time.perf_counter()-t)\" " + path;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    double s = -1;
    if (std::fscanf(p, "%lf", &s) != 1)
        s = -1;
    pclose(p);
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    qInstallMessageHandler(quiet);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    std::unique_ptr<MidiInfos> infos(new MidiInfos());
    std::unique_ptr<MidiStream> stream(new MidiStream());
    std::unique_ptr<Mfi> mfi(new Mfi());
    std::unique_ptr<Db> db(new Db());
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[EVENT_BUFFER_SIZE]());
    SONG_INFO info{};
    s_StreamData sd{};
    bindStreamData(&sd, &info, buffer.get(), stream.get(), infos.get(), mfi.get(), db.get(), 0);

    std::printf("%-10s %10s %10s %8s %12s %12s\n", "song", "bytes", "stream", "error", "normalise ms",
                "mido ms");
    // The stream holds at most 512 KiB: the largest song that plays and a
    // 1 MB one, which is refused.
    for (size_t target : {size_t(50000), size_t(400000), size_t(1000000)}) {
        const std::vector<uint8_t> song = makeSong(target);
        const std::string path = "/tmp/normalise-bench-" + std::to_string(target) + ".mid";
        if (FILE *f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(song.data(), 1, song.size(), f);
            std::fclose(f);
        }
        std::vector<double> ms;
        int length = 0;
        for (int i = 0; i < runs; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            length = _nomalizeSequence(&sd, song.data(), int(song.size()), EXTRACT_PLAY_MODE, 0);
            const auto t1 = std::chrono::steady_clock::now();
            ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
        std::sort(ms.begin(), ms.end());
        const double mido = midoSeconds(path);
        std::printf("%-10s %10zu %10d %8d %12.2f %12.1f\n", target >= 1000000 ? "16 trk 1MB" : "16 trk",
                    song.size(), length, getLoadingError(), ms[ms.size() / 2], mido * 1000.0);
        std::remove(path.c_str());
    }
    return 0;
}
