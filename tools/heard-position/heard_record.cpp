// heard-record SOURCE RATE OUT.raw OUT.times
//   Records a PulseAudio source (a sink's monitor) as 16-bit stereo at RATE
//   into OUT.raw until SIGINT or SIGTERM, and writes to OUT.times, after each
//   read of 64 frames, "FRAMES MS LATENCY_MS": the frames recorded so far,
//   the monotonic clock (ms) and the source's latency as PulseAudio gives it.
//   The frame f sounded at MS - LATENCY_MS - (FRAMES - f) / RATE: the median
//   over the reads places the whole recording on the monotonic clock within
//   a millisecond or two (checked against a player's own latency reports).
//   Used by heard_position.sh.
#include <pulse/error.h>
#include <pulse/simple.h>

#include "monotonic.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {
volatile sig_atomic_t g_quit = 0;
void onSignal(int) { g_quit = 1; }
} // namespace

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: heard-record SOURCE RATE OUT.raw OUT.times\n");
        return 2;
    }
    constexpr unsigned kFrames = 64;
    const unsigned rate = unsigned(std::strtoul(argv[2], nullptr, 10));
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    const pa_sample_spec format{PA_SAMPLE_S16LE, rate, 2};
    // Fragments as small as the reads, so that the latency reported refers
    // to the frames just read.
    const pa_buffer_attr attr{uint32_t(-1), uint32_t(-1), uint32_t(-1), uint32_t(-1), kFrames * 4};
    int error = 0;
    pa_simple *source = pa_simple_new(nullptr, "heard-record", PA_STREAM_RECORD, argv[1], "heard-record", &format,
                                      nullptr, &attr, &error);
    if (!source) {
        std::fprintf(stderr, "heard-record: %s: %s\n", argv[1], pa_strerror(error));
        return 1;
    }
    FILE *out = std::fopen(argv[3], "wb");
    FILE *times = std::fopen(argv[4], "w");
    if (!out || !times) {
        std::fprintf(stderr, "heard-record: cannot write %s or %s\n", argv[3], argv[4]);
        return 1;
    }
    static short buffer[kFrames * 2];
    unsigned long long frames = 0;
    while (!g_quit) {
        if (pa_simple_read(source, buffer, sizeof buffer, &error) < 0) {
            std::fprintf(stderr, "heard-record: %s\n", pa_strerror(error));
            break;
        }
        const double now = monotonicMs();
        const pa_usec_t latency = pa_simple_get_latency(source, &error);
        std::fwrite(buffer, 1, sizeof buffer, out);
        frames += kFrames;
        std::fprintf(times, "%llu %.3f %.3f\n", frames, now, double(latency) / 1000.0);
    }
    std::fclose(out);
    std::fclose(times);
    pa_simple_free(source);
    return 0;
}
