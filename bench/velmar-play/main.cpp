// velmar-play FILE --capture [--seconds N]
//   Loads the song as the player does, plays it to its end (or N seconds) on
//   the simulated clock and prints every message sent to output 1 as
//   "milliseconds,hex bytes", milliseconds from the resume.
// velmar-play FILE --realtime [--seconds N]
//   Plays the song on the simulated clock, then with the real Sequencer
//   thread into a recording output, and prints how late each message left
//   against its simulated time (median, 99th percentile, maximum), the last
//   note's lateness, and the CPU time the thread used per second of music.
//
// Lateness: the real times are aligned with the simulated ones at the
// earliest message (no message can leave before its time); the start delay
// from the resume to the first message is printed beside it.
// A long test song: bench/synth-bench/make_song.py OUT.mid 180
#include "RecordingMidiOutput.h"
#include "logmsg.h"
#include "sequencer_ex.h"
#include "songplayer.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <vector>

namespace {
constexpr double kNoLimitSeconds = 6 * 3600.0;

struct Sent {
    std::vector<unsigned char> bytes;
    double ms;
};

std::string hex(const std::vector<unsigned char> &bytes)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i ? " %02x" : "%02x", bytes[i]);
        s += b;
    }
    return s;
}

double monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

bool isNoteOn(const std::vector<unsigned char> &b)
{
    return b.size() == 3 && (b[0] & 0xF0) == 0x90 && b[2] > 0;
}

// Messages of output 1 after the resume, on the simulated clock, times from
// the resume.
bool captureSimulated(const QString &path, double seconds, std::vector<Sent> &out, QString *error)
{
    RecordingMidiOutput one;
    IMidiOutput *outputs[MIDI_OUTPUT_COUNT] = {&one};
    PlayerRig rig(Sequencer::Clock::Simulated, outputs);
    one.setClock([&rig] { return double(rig.seq->now()); });
    rig.seq->sequencerStart();
    SongRecords song;
    if (!loadSong(path, song, error))
        return false;
    if (!rig.seq->preloadMidiFile(&song.sd)) {
        *error = QStringLiteral("the song did not start");
        return false;
    }
    rig.drainQueues();
    one.clear();
    const uint64_t resumedAt = rig.seq->now();
    rig.seq->setPause(false);
    const uint64_t limit = uint64_t(seconds * 1000.0);
    while (SEQUENCER_EX_IsRunning() && rig.seq->now() - resumedAt < limit)
        rig.seq->advance(1);
    rig.drainQueues();
    for (const RecordingMidiOutput::Message &m : one.messages())
        out.push_back({m.bytes, m.timeMs - double(resumedAt)});
    return true;
}

int capture(const QString &path, double seconds)
{
    std::vector<Sent> sent;
    QString error;
    if (!captureSimulated(path, seconds, sent, &error)) {
        std::fprintf(stderr, "velmar-play: %s: %s\n", qPrintable(path), qPrintable(error));
        return 1;
    }
    for (const Sent &s : sent)
        std::printf("%.0f,%s\n", s.ms, hex(s.bytes).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

double percentile(std::vector<double> sorted, double p)
{
    if (sorted.empty())
        return 0;
    const size_t i = std::min(sorted.size() - 1, size_t(std::ceil(p * double(sorted.size()))) - 1);
    return sorted[i];
}

int realtime(const QString &path, double seconds)
{
    std::vector<Sent> expected;
    QString error;
    if (!captureSimulated(path, seconds, expected, &error)) {
        std::fprintf(stderr, "velmar-play: %s: %s\n", qPrintable(path), qPrintable(error));
        return 1;
    }

    RecordingMidiOutput one;
    IMidiOutput *outputs[MIDI_OUTPUT_COUNT] = {&one};
    PlayerRig rig(Sequencer::Clock::Monotonic, outputs);
    std::atomic<bool> haveClock{false};
    clockid_t threadClock{};
    QObject::connect(rig.seq.get(), &QThread::started, rig.seq.get(), [&] {
        if (pthread_getcpuclockid(pthread_self(), &threadClock) == 0)
            haveClock = true;
    }, Qt::DirectConnection);
    auto threadCpuMs = [&] {
        timespec ts{};
        if (!haveClock || clock_gettime(threadClock, &ts) != 0)
            return 0.0;
        return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
    };
    rig.seq->sequencerStart();
    SongRecords song;
    if (!loadSong(path, song, &error) || !rig.seq->preloadMidiFile(&song.sd)) {
        std::fprintf(stderr, "velmar-play: %s: %s\n", qPrintable(path),
                     qPrintable(error.isEmpty() ? QStringLiteral("the song did not start") : error));
        return 1;
    }
    rig.drainQueues();
    one.clear();
    const double resumedAt = monotonicMs();
    rig.seq->setPause(false);
    const double cpuStart = threadCpuMs();
    const double limitMs = seconds * 1000.0;
    while (SEQUENCER_EX_IsRunning() && monotonicMs() - resumedAt < limitMs)
        QThread::msleep(5);
    const double playedMs = monotonicMs() - resumedAt;
    const double cpuMs = threadCpuMs() - cpuStart;
    rig.drainQueues();
    const std::vector<RecordingMidiOutput::Message> got = one.messages();
    rig.seq->requestStop();

    // Both runs sent the same messages in the same order; compare those both
    // reached.
    size_t n = std::min(got.size(), expected.size());
    size_t mismatch = n;
    for (size_t i = 0; i < n; ++i) {
        if (got[i].bytes != expected[i].bytes) {
            mismatch = i;
            break;
        }
    }
    n = mismatch;
    if (n == 0) {
        std::fprintf(stderr, "velmar-play: the real run sent other messages than the simulated one\n");
        return 1;
    }
    double offset = got[0].timeMs - expected[0].ms;
    for (size_t i = 0; i < n; ++i)
        offset = std::min(offset, got[i].timeMs - expected[i].ms);
    offset = std::floor(offset);
    std::vector<double> late;
    late.reserve(n);
    double lastNote = -1;
    for (size_t i = 0; i < n; ++i) {
        late.push_back(got[i].timeMs - expected[i].ms - offset);
        if (isNoteOn(got[i].bytes))
            lastNote = late.back();
    }
    std::vector<double> sorted = late;
    std::sort(sorted.begin(), sorted.end());

    std::printf("song: %s, %.1f s played, %zu messages on output 1 (%zu simulated)\n", qPrintable(path),
                playedMs / 1000.0, got.size(), expected.size());
    if (mismatch < std::min(got.size(), expected.size()))
        std::printf("the runs differ from message %zu on: compared up to there\n", mismatch);
    std::printf("start: first message %.2f ms after the resume (simulated %.0f ms)\n",
                got[0].timeMs - resumedAt, expected[0].ms);
    std::printf("lateness: median %.3f ms, 99th percentile %.3f ms, maximum %.3f ms\n",
                percentile(sorted, 0.5), percentile(sorted, 0.99), sorted.back());
    if (lastNote >= 0)
        std::printf("last note: %.3f ms late\n", lastNote);
    if (haveClock)
        std::printf("thread CPU: %.1f ms per second of music (%.2f%% of a core)\n",
                    cpuMs / (playedMs / 1000.0), cpuMs / playedMs * 100.0);
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: velmar-play FILE --capture [--seconds N]\n"
                         "       velmar-play FILE --realtime [--seconds N]\n"
                         "N: seconds, more than 0 and at most 21600\n");
    return 2;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QString path;
    QString mode;
    double seconds = kNoLimitSeconds;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--capture") || a == QLatin1String("--realtime")) {
            mode = a;
        } else if (a == QLatin1String("--seconds") && i + 1 < args.size()) {
            bool ok = false;
            seconds = args[++i].toDouble(&ok);
            // The limit becomes whole milliseconds: nan, inf and huge values cannot.
            if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > kNoLimitSeconds)
                return usage();
        } else if (path.isEmpty() && !a.startsWith(QLatin1String("--"))) {
            path = a;
        } else {
            return usage();
        }
    }
    if (path.isEmpty() || mode.isEmpty())
        return usage();
    quietLogs();
    return mode == QLatin1String("--capture") ? capture(path, seconds) : realtime(path, seconds);
}
