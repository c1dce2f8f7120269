// heard-beep SINK RATE PERIOD_MS SECONDS
//   Plays into a PulseAudio sink, as 16-bit stereo at RATE, a 10 ms beep of
//   1 kHz every PERIOD_MS for SECONDS, silence between, in 5 ms writes
//   through a short queue, and prints "beep MS" for each: the monotonic
//   clock's ms at which its first frame sounds, as the playback side of the
//   sound server tells it (the moment of the write and the latency of what
//   it still holds). A reference at known times for heard-record, which
//   places what it records through the recording side's timing:
//   recorder_check.sh compares the two.
#include <pulse/error.h>
#include <pulse/simple.h>

#include "monotonic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>


int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: heard-beep SINK RATE PERIOD_MS SECONDS\n");
        return 2;
    }
    const unsigned rate = unsigned(std::strtoul(argv[2], nullptr, 10));
    const double periodMs = std::strtod(argv[3], nullptr);
    const double seconds = std::strtod(argv[4], nullptr);
    if (rate < 8000 || rate > 192000 || periodMs < 50 || seconds <= 0) {
        std::fprintf(stderr, "heard-beep: RATE 8000..192000, PERIOD_MS at least 50, SECONDS above 0\n");
        return 2;
    }
    const unsigned chunk = rate * 5 / 1000;
    const pa_sample_spec format{PA_SAMPLE_S16LE, rate, 2};
    // A queue of four writes: the latency told is that of a few frames.
    const uint32_t bytes = chunk * 4;
    const pa_buffer_attr attr{uint32_t(-1), 4 * bytes, uint32_t(-1), bytes, uint32_t(-1)};
    int error = 0;
    pa_simple *sink = pa_simple_new(nullptr, "heard-beep", PA_STREAM_PLAYBACK, argv[1], "heard-beep", &format,
                                    nullptr, &attr, &error);
    if (!sink) {
        std::fprintf(stderr, "heard-beep: %s: %s\n", argv[1], pa_strerror(error));
        return 1;
    }
    // Beeps start on a write's first frame: the period is whole writes.
    const unsigned period = std::max(1u, unsigned(std::lround(periodMs * rate / 1000 / chunk))) * chunk;
    const unsigned beep = rate / 100;
    const unsigned total = unsigned(seconds * rate);
    std::vector<short> buffer(2 * chunk);
    for (unsigned frame = 0; frame < total; frame += chunk) {
        for (unsigned i = 0; i < chunk; ++i) {
            const unsigned f = (frame + i) % period;
            const short v = f < beep ? short(12000 * std::sin(2 * M_PI * 1000.0 * f / rate)) : 0;
            buffer[2 * i] = buffer[2 * i + 1] = v;
        }
        const bool starts = frame % period == 0 && frame >= period;
        const pa_usec_t latency = pa_simple_get_latency(sink, &error);
        const double now = monotonicMs();
        if (starts)
            std::printf("beep %.3f\n", now + double(latency) / 1000.0);
        if (pa_simple_write(sink, buffer.data(), buffer.size() * sizeof(short), &error) < 0) {
            std::fprintf(stderr, "heard-beep: %s\n", pa_strerror(error));
            break;
        }
    }
    pa_simple_drain(sink, &error);
    pa_simple_free(sink);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
