// evening-check REC.raw RATE START_MS PRESSES LOG [END_MS]
//   Reads a recording of the program's sink (16-bit stereo at RATE, its first
//   frame heard at START_MS on the monotonic clock and, given END_MS, its
//   last at END_MS: the sound server's clock and the monotonic one part by
//   up to a second over an evening, so the frames are spread over that
//   time rather than counted at RATE), the presses made (lines
//   "MS WHAT", WHAT one of play, pause, resume, stop, ...) and the program's
//   log (its lines stamped "[MS]" on the same clock), and prints:
//   - each drop-out (a hole): a run of digital silence of 3 to 750 ms inside
//     a song, not right after a Pause or a Stop, nor while the song is
//     paused or stopped (the last of these presses before it a pause or a
//     stop), nor across a song's start,
//     that the music broke off into, however quiet it was (the last 8
//     frames before it above the last bit's noise; a song's own rest and a
//     fade of the program's own die away to zero), its time, its length,
//     the press before it and the log's lines about the sound within 2 s;
//   - clicks: a step between two samples above half the full scale, away
//     from a drop-out's edges;
//   - notes after Stop: sound above -50 dBFS from 350 ms after a Stop to the
//     next press (at most 3 s).
//   Used by scripts/evening.sh.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Press {
    double ms;
    std::string what;
};

struct LogLine {
    double ms;
    std::string text;
};

std::string clock(double seconds)
{
    char buf[32];
    const long s = long(seconds);
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld.%03d", s / 3600, s / 60 % 60, s % 60,
                  int((seconds - double(s)) * 1000));
    return buf;
}

bool aboutSound(const std::string &line)
{
    for (const char *word : {"drop-out", "late", "a queue for", "lost", "is back", "settles", "real-time", "CPU",
                             "does not answer", "answers again", "LOAD SONG"}) {
        if (line.find(word) != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: evening-check REC.raw RATE START_MS PRESSES LOG [END_MS]\n");
        return 2;
    }
    FILE *rec = std::fopen(argv[1], "rb");
    if (!rec) {
        std::perror(argv[1]);
        return 1;
    }
    const double rate = std::atof(argv[2]);
    const double startMs = std::atof(argv[3]);
    std::vector<Press> presses;
    {
        std::ifstream in(argv[4]);
        double ms;
        std::string what;
        while (in >> ms >> what)
            presses.push_back({ms, what});
    }
    std::vector<LogLine> log;
    {
        std::ifstream in(argv[5]);
        std::string line;
        while (std::getline(in, line)) {
            const size_t open = line.find('[');
            const size_t close = line.find(']', open == std::string::npos ? 0 : open);
            if (open == std::string::npos || close == std::string::npos || !aboutSound(line))
                continue;
            const std::string stamp = line.substr(open + 1, close - open - 1);
            if (stamp.empty() || stamp.find_first_not_of("0123456789") != std::string::npos)
                continue;
            log.push_back({std::atof(stamp.c_str()), line});
        }
    }

    // Frames a millisecond of the monotonic clock.
    double perMs = rate / 1000.0;
    if (argc == 7 && std::fseek(rec, 0, SEEK_END) == 0) {
        const double frames = double(std::ftell(rec)) / (2 * sizeof(int16_t));
        const double endMs = std::atof(argv[6]);
        if (endMs > startMs && frames > 0) {
            perMs = frames / (endMs - startMs);
            std::printf("the recording: %.0f ppm off the monotonic clock\n", (perMs * 1000.0 / rate - 1.0) * 1e6);
        }
        std::rewind(rec);
    }
    const auto msOf = [&](uint64_t frame) { return startMs + double(frame) / perMs; };
    const uint64_t minGap = uint64_t(rate * 3 / 1000);
    const uint64_t maxGap = uint64_t(rate * 3 / 4);
    // The level just before a run of zeros: a drop-out breaks off, a fade
    // (a pause, a stop) comes down to it.
    constexpr int kBefore = 8;
    // The last bit or two of a song's own decay to silence (-78 dBFS).
    constexpr int kNoise = 4;
    int before[kBefore] = {};
    uint64_t frame = 0, zeroStart = 0, zeros = 0, gaps = 0, clicks = 0;
    double gapMs = 0;
    int previous = 0, preLevel = 0;
    uint64_t lastGapEnd = 0;
    std::vector<int16_t> buf(2 * 4096);
    // Per Stop: the loudest sample in its window.
    std::vector<int> afterStop(presses.size(), 0);
    size_t pressAt = 0;
    size_t n;
    while ((n = std::fread(buf.data(), sizeof(int16_t) * 2, 4096, rec)) > 0) {
        for (size_t i = 0; i < n; ++i, ++frame) {
            const int l = buf[2 * i], r = buf[2 * i + 1];
            const int level = std::max(std::abs(l), std::abs(r));
            const double ms = msOf(frame);
            while (pressAt < presses.size() && presses[pressAt].ms <= ms)
                ++pressAt;
            if (pressAt > 0 && presses[pressAt - 1].what == "stop" && ms >= presses[pressAt - 1].ms + 350
                && ms <= presses[pressAt - 1].ms + 3000)
                afterStop[pressAt - 1] = std::max(afterStop[pressAt - 1], level);
            if (l == 0 && r == 0) {
                if (zeros++ == 0) {
                    zeroStart = frame;
                    preLevel = 0;
                    for (int v : before)
                        preLevel = std::max(preLevel, v);
                }
            } else {
                // Longer silences are a song's end, a pause or a stop; so
                // are those a pause or a stop just asked for, and any while
                // the song is paused or stopped (the effects' tail dies
                // away in bits and pieces).
                bool asked = false;
                bool still = false;
                for (size_t p = pressAt; p-- > 0;) {
                    const std::string &what = presses[p].what;
                    if (presses[p].ms > msOf(zeroStart) - 400)
                        asked = asked || what == "pause" || what == "stop";
                    if (presses[p].ms <= msOf(zeroStart)
                        && (what == "pause" || what == "stop" || what == "resume" || what == "play" || what == "start")) {
                        still = what == "pause" || what == "stop";
                        break;
                    }
                }
                // A song started inside it: the silence between two songs.
                const double from = msOf(zeroStart), to = msOf(frame);
                const bool songStart = std::any_of(log.begin(), log.end(), [&](const LogLine &line) {
                    return line.ms >= from - 100 && line.ms <= to && line.text.find("LOAD SONG") != std::string::npos;
                });
                if (zeros >= minGap && zeros < maxGap && preLevel > kNoise && !asked && !still && !songStart) {
                    ++gaps;
                    const double at = msOf(zeroStart), len = double(zeros) * 1000.0 / rate;
                    gapMs += len;
                    std::string press = "none";
                    for (size_t p = 0; p < presses.size() && presses[p].ms <= at; ++p) {
                        char what[64];
                        std::snprintf(what, sizeof what, "%s %.1f s before", presses[p].what.c_str(), (at - presses[p].ms) / 1000);
                        press = what;
                    }
                    std::printf("drop-out at %s (monotonic %.0f ms): %.1f ms (%.0f frames), level before %d; last press: %s\n",
                                clock((at - startMs) / 1000).c_str(), at, len, double(zeros), preLevel, press.c_str());
                    bool said = false;
                    for (const LogLine &line : log) {
                        if (line.ms >= at - 2000 && line.ms <= at + len + 2000) {
                            std::printf("    log: %s\n", line.text.c_str());
                            said = true;
                        }
                    }
                    if (!said)
                        std::printf("    log: nothing within 2 s\n");
                    lastGapEnd = frame;
                }
                zeros = 0;
            }
            if (frame > 0 && std::abs(l - previous) > 16384 && frame > lastGapEnd + 48 && l != 0 && previous != 0)
                ++clicks;
            previous = l;
            before[frame % kBefore] = level;
        }
    }
    std::fclose(rec);
    int notes = 0, stops = 0;
    for (size_t p = 0; p < presses.size(); ++p) {
        if (presses[p].what != "stop")
            continue;
        ++stops;
        if (afterStop[p] > 104) {
            ++notes;
            std::printf("note after Stop at %s: level %d\n", clock((presses[p].ms - startMs) / 1000).c_str(), afterStop[p]);
        }
    }
    std::printf("recorded %s; drop-outs: %llu, %.1f ms in all; clicks: %llu; notes after Stop: %d of %d stops\n",
                clock(double(frame) / rate).c_str(), static_cast<unsigned long long>(gaps), gapMs,
                static_cast<unsigned long long>(clicks), notes, stops);
    return 0;
}
