// velmar-play FILE --capture [--seconds N]
//   Loads the song as the player does, plays it to its end (or N seconds) on
//   the simulated clock and prints every message sent to output 1 as
//   "milliseconds,hex bytes", milliseconds from the resume.
// velmar-play FILE --realtime [--seconds N]
//   Plays the song on the simulated clock, then twice with the real Sequencer
//   thread into a recording output, quiet and loaded (the GUI thread writing
//   to output 1 and taking the engine's signals while every core is busy),
//   and prints how late each message left against its simulated time
//   (median, 99th percentile, maximum), the last note's lateness, the CPU
//   time the thread used per second of music, and the scheduling it got.
// velmar-play FILE --live [--seconds N] [--soundfont PATH]
//   Plays the song through the Sequencer thread into the software
//   synthesizer on the default audio device, from the moment its latency
//   has settled, and prints that latency, the stalls and the notes left
//   out, when in the song each drop-out and late event was seen, and the
//   scheduling the threads got (tools/velmar-play/clicktrack.sh
//   records and measures it).
//
// Lateness: the real times are aligned with the simulated ones at the
// earliest message (no message can leave before its time); the start delay
// from the resume to the first message is printed beside it.
// A long test song: bench/synth-bench/make_song.py OUT.mid 180
#include "MidiBassOutWrapper.h"
#include "RecordingMidiOutput.h"
#include "ThreadPriority.h"
#include "cinterface.h"
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
#include <string>
#include <thread>
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

// What the GUI thread does in the loaded run: writes to output 1 without a
// pause (Active Sensing, which the measured output drops) and takes the
// engine's signals, while a busy thread runs on every core.
struct Load {
    explicit Load(Sequencer *seq)
    {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; ++i)
            spinners.emplace_back([this] {
                volatile uint64_t x = 0;
                while (!quit.load(std::memory_order_relaxed))
                    x = x + 1;
            });
        auto count = [this] { ++signalsReceived; };
        QObject::connect(seq, &Sequencer::noteOnVolumeChanged, seq, count);
        QObject::connect(seq, &Sequencer::playPositionChanged, seq, count);
        QObject::connect(seq, &Sequencer::barEvent, seq, count);
        QObject::connect(seq, &Sequencer::beatEvent, seq, count);
    }
    ~Load()
    {
        quit = true;
        for (std::thread &t : spinners)
            t.join();
    }
    // One round of the GUI thread's work.
    void round()
    {
        static const unsigned char sensing = 0xFE;
        for (int i = 0; i < 20; ++i)
            CINTERFACE_SendMidiEvent1(&sensing, 1);
        QCoreApplication::processEvents();
    }

    std::atomic<bool> quit{false};
    std::vector<std::thread> spinners;
    uint64_t signalsReceived = 0;
};

// Output 1 of the measured runs: the recorder, which keeps everything but the
// loaded run's Active Sensing (a writer that fast would fill it with millions).
class MeasuredOutput : public IMidiOutput
{
public:
    int openPort(int port) override { return recorder.openPort(port); }
    void closePort() override { recorder.closePort(); }
    int sendMessage(const std::vector<unsigned char> *message) override
    {
        if (message->size() == 1 && (*message)[0] == 0xFE)
            return 0;
        return recorder.sendMessage(message);
    }
    RecordingMidiOutput recorder;
};

struct Lateness {
    size_t compared = 0;
    size_t sent = 0;
    size_t mismatch = 0;
    double firstMs = 0;
    double median = 0, p99 = 0, max = 0, lastNote = -1;
    double cpuPerSecond = -1;
    double playedMs = 0;
};

// Plays the song with the real Sequencer thread into a recording output and
// compares with the simulated run. Loaded: see Load.
bool measure(const QString &path, double seconds, const std::vector<Sent> &expected, bool loaded,
             Lateness *r, uint64_t *signalsReceived, QString *error)
{
    MeasuredOutput measured;
    RecordingMidiOutput &one = measured.recorder;
    IMidiOutput *outputs[MIDI_OUTPUT_COUNT] = {&measured};
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
    if (!loadSong(path, song, error) || !rig.seq->preloadMidiFile(&song.sd)) {
        if (error->isEmpty())
            *error = QStringLiteral("the song did not start");
        return false;
    }
    rig.drainQueues();
    one.clear();
    std::unique_ptr<Load> load(loaded ? new Load(rig.seq.get()) : nullptr);
    const double resumedAt = monotonicMs();
    rig.seq->setPause(false);
    const double cpuStart = threadCpuMs();
    const double limitMs = seconds * 1000.0;
    while (SEQUENCER_EX_IsRunning() && monotonicMs() - resumedAt < limitMs) {
        if (load)
            load->round();
        else
            QThread::msleep(5);
    }
    r->playedMs = monotonicMs() - resumedAt;
    const double cpuMs = threadCpuMs() - cpuStart;
    if (load)
        *signalsReceived = load->signalsReceived;
    load.reset();
    rig.drainQueues();
    const std::vector<RecordingMidiOutput::Message> got = one.messages();
    rig.seq->requestStop();

    // Both runs sent the same messages in the same order; compare those both
    // reached.
    size_t n = std::min(got.size(), expected.size());
    r->mismatch = n;
    for (size_t i = 0; i < n; ++i) {
        if (got[i].bytes != expected[i].bytes) {
            r->mismatch = i;
            break;
        }
    }
    r->compared = r->mismatch;
    r->sent = got.size();
    if (r->compared == 0) {
        *error = QStringLiteral("the real run sent other messages than the simulated one");
        return false;
    }
    double offset = got[0].timeMs - expected[0].ms;
    for (size_t i = 0; i < r->compared; ++i)
        offset = std::min(offset, got[i].timeMs - expected[i].ms);
    offset = std::floor(offset);
    std::vector<double> late;
    late.reserve(r->compared);
    for (size_t i = 0; i < r->compared; ++i) {
        late.push_back(got[i].timeMs - expected[i].ms - offset);
        if (isNoteOn(got[i].bytes))
            r->lastNote = late.back();
    }
    std::sort(late.begin(), late.end());
    r->firstMs = got[0].timeMs - resumedAt;
    r->median = percentile(late, 0.5);
    r->p99 = percentile(late, 0.99);
    r->max = late.back();
    if (haveClock)
        r->cpuPerSecond = cpuMs / (r->playedMs / 1000.0);
    return true;
}

void printLateness(const char *title, const Lateness &r, size_t simulated)
{
    std::printf("%s: %.1f s played, %zu messages on output 1 (%zu simulated)\n", title,
                r.playedMs / 1000.0, r.sent, simulated);
    if (r.mismatch < std::min(r.sent, simulated))
        std::printf("  the runs differ from message %zu on: compared up to there\n", r.mismatch);
    std::printf("  first message %.2f ms after the resume\n", r.firstMs);
    std::printf("  lateness: median %.3f ms, 99th percentile %.3f ms, maximum %.3f ms\n", r.median,
                r.p99, r.max);
    if (r.lastNote >= 0)
        std::printf("  last note: %.3f ms late\n", r.lastNote);
    if (r.cpuPerSecond >= 0)
        std::printf("  thread CPU: %.1f ms per second of music (%.2f%% of a core)\n", r.cpuPerSecond,
                    r.cpuPerSecond / 10.0);
}

int realtime(const QString &path, double seconds)
{
    std::vector<Sent> expected;
    QString error;
    if (!captureSimulated(path, seconds, expected, &error)) {
        std::fprintf(stderr, "velmar-play: %s: %s\n", qPrintable(path), qPrintable(error));
        return 1;
    }
    std::printf("song: %s\n", qPrintable(path));
    uint64_t signalsReceived = 0;
    for (bool loaded : {false, true}) {
        Lateness r;
        if (!measure(path, seconds, expected, loaded, &r, &signalsReceived, &error)) {
            std::fprintf(stderr, "velmar-play: %s: %s\n", qPrintable(path), qPrintable(error));
            return 1;
        }
        printLateness(loaded ? "loaded (GUI-thread writer on output 1, signal receiver, every core busy)"
                             : "quiet",
                      r, expected.size());
    }
    std::printf("  signals received on the GUI thread: %llu\n",
                static_cast<unsigned long long>(signalsReceived));
    std::printf("scheduling: %s\n", ThreadPriority::report().c_str());
    return 0;
}

// Plays the song through the Sequencer thread into the software synthesizer
// on the default audio device, then two seconds of tail. As in the program,
// the sequencer runs before the synthesizer opens, and the music starts once
// the synthesizer's latency has settled and its queue fits.
int live(const QString &path, double seconds, const QString &bank)
{
    MidiBassOutWrapper synth;
    synth.setSoundFont(bank.toStdString());
    IMidiOutput *outputs[MIDI_OUTPUT_COUNT] = {&synth};
    PlayerRig rig(Sequencer::Clock::Monotonic, outputs);
    rig.seq->sequencerStart();
    for (int i = 0; i < 300 && ThreadPriority::grant(ThreadPriority::Role::Sequencer) == ThreadPriority::Grant::NotAsked; ++i)
        QThread::msleep(10);
    if (!rig.iface.openMidiBaseOutPorts(0, -1, -1, -1, -1, -1)) {
        std::fprintf(stderr, "velmar-play: the synthesizer did not start on the audio device\n");
        return 1;
    }
    SongRecords song;
    QString error;
    if (!loadSong(path, song, &error) || !rig.seq->preloadMidiFile(&song.sd)) {
        std::fprintf(stderr, "velmar-play: %s: %s\n", qPrintable(path),
                     qPrintable(error.isEmpty() ? QStringLiteral("the song did not start") : error));
        return 1;
    }
    rig.drainQueues();
    SoftSynth *s = synth.expander()->synth();
    auto settle = [s] {
        for (int i = 0; i < 1000 && !s->settled(); ++i)
            QThread::msleep(10);
    };
    settle();
    const double bridgeBefore = s->bridgeMs();
    const double lateBefore = s->requestLateMs();
    if (s->fitQueue())
        settle();
    const double settledMs = s->latencyFrames() * 1000.0 / s->sampleRate();
    const double resumedAt = monotonicMs();
    rig.seq->setPause(false);
    // Each drop-out the synthesizer found and each late event, by the
    // song's time when it was seen: the recording shows whether the sound
    // broke off there.
    std::vector<std::string> seen;
    uint64_t stalls = s->stalls(), late = s->lateEvents();
    double lost = s->lostMs();
    auto look = [&] {
        const double at = monotonicMs() - resumedAt;
        char line[160];
        if (s->stalls() != stalls) {
            std::snprintf(line, sizeof line, "  %.2f s: drop-out, %.1f ms lost", at / 1000.0, s->lostMs() - lost);
            seen.emplace_back(line);
            stalls = s->stalls();
            lost = s->lostMs();
        } else if (s->lostMs() < lost - 0.05) {
            // The device came back higher: it lost less than it seemed.
            std::snprintf(line, sizeof line, "  %.2f s: %.1f ms of that not lost after all", at / 1000.0,
                          lost - s->lostMs());
            seen.emplace_back(line);
            lost = s->lostMs();
        }
        if (s->lateEvents() != late) {
            std::snprintf(line, sizeof line, "  %.2f s: %llu events late (at worst %.1f ms so far)", at / 1000.0,
                          static_cast<unsigned long long>(s->lateEvents() - late), s->worstEventLateMs());
            seen.emplace_back(line);
            late = s->lateEvents();
        }
    };
    while (SEQUENCER_EX_IsRunning() && monotonicMs() - resumedAt < seconds * 1000.0) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
        look();
    }
    for (int i = 0; i < 400; ++i) {
        QThread::msleep(5);
        look();
    }
    std::printf("played %.1f s; synthesizer latency %.1f ms settled, %.1f ms at the end\n",
                (monotonicMs() - resumedAt) / 1000.0, settledMs, s->latencyFrames() * 1000.0 / s->sampleRate());
    std::printf("audio thread late up to %.1f ms before the song (queue bridging %.0f ms, then %.0f ms), "
                "%.1f ms since; the device's swing up to %.1f ms\n",
                lateBefore, bridgeBefore, s->bridgeMs(), s->requestLateMs(), s->swingMs());
    std::printf("%llu drop-outs (%.1f ms lost in all), %llu late notes left out, %llu events late (at worst %.1f ms), "
                "%llu events lost\n",
                static_cast<unsigned long long>(s->stalls()), s->lostMs(),
                static_cast<unsigned long long>(s->droppedLateNotes()),
                static_cast<unsigned long long>(s->lateEvents()), s->worstEventLateMs(),
                static_cast<unsigned long long>(s->droppedEvents()));
    for (const std::string &line : seen)
        std::printf("%s\n", line.c_str());
    std::printf("scheduling: %s\n", ThreadPriority::report().c_str());
    rig.seq->requestStop();
    synth.closePort();
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: velmar-play FILE --capture [--seconds N]\n"
                         "       velmar-play FILE --realtime [--seconds N]\n"
                         "       velmar-play FILE --live [--seconds N] [--soundfont PATH]\n"
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
    QString bank = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
    double seconds = kNoLimitSeconds;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--capture") || a == QLatin1String("--realtime")
            || a == QLatin1String("--live")) {
            mode = a;
        } else if (a == QLatin1String("--soundfont") && i + 1 < args.size()) {
            bank = args[++i];
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
    if (mode == QLatin1String("--live"))
        return live(path, seconds, bank);
    return mode == QLatin1String("--capture") ? capture(path, seconds) : realtime(path, seconds);
}
