// Decodes a long MP3 and changes its tempo and key through the audio path
// (decoder, SoundTouch and the render callback, pulled as fast as it goes)
// and reports the real-time factor beside SoundTouch's own command-line tool
// on the same audio, with the time of the slowest callbacks and the heap
// allocations made inside the callback.
//
// usage: audio_bench [SONG.mp3] [TEMPO_PERCENT] [SEMITONES]
// Without a song, a 5-minute MP3 is made with sox and lame.
#include "AudioInterface.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMAR_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VELMAR_ASAN 1
#endif

namespace {
thread_local bool t_inCallback = false;
} // namespace

#ifndef VELMAR_ASAN
static std::atomic<long> g_callbackAllocations{0};
// Counting every allocation of the process, libraries included: the audio
// callback must make none.
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *malloc(size_t n)
{
    if (t_inCallback)
        ++g_callbackAllocations;
    return __libc_malloc(n);
}
void *calloc(size_t c, size_t n)
{
    if (t_inCallback)
        ++g_callbackAllocations;
    return __libc_calloc(c, n);
}
void *realloc(void *p, size_t n)
{
    if (t_inCallback)
        ++g_callbackAllocations;
    return __libc_realloc(p, n);
}
}
#endif

namespace {

bool run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTemporaryDir dir;
    QString song = args.value(1);
    const float tempo = args.value(2, "20").toFloat();
    const float key = args.value(3, "2").toFloat();
    if (song.isEmpty()) {
        song = dir.filePath("long.mp3");
        std::printf("making a 5-minute MP3...\n");
        if (!run("sox", {"-n", "-r", "44100", "-c", "2", dir.filePath("long.wav"), "synth", "300",
                         "pluck", "220", "pluck", "330", "tremolo", "3", "vol", "0.5"})
            || !run("lame", {"--quiet", "-V", "2", dir.filePath("long.wav"), song}))
            return 1;
    }

    auto *sink = new Sound::PullAudioSink;
    Sound::AudioInterface audio{std::unique_ptr<Sound::AudioSink>(sink)};
    QElapsedTimer clock;
    std::vector<double> callbackUs;
    long changes = 0;
    double loadMs = 0;
    // Pass 0 at fixed settings, timed against soundstretch; pass 1 moves
    // tempo and key now and then, as a singer would, and times callbacks.
    const auto pass = [&](bool moving) {
        clock.start();
        if (!audio.loadFile(song))
            return -1.0;
        loadMs = clock.nsecsElapsed() / 1e6;
        audio.changeBpm(tempo);
        audio.changeKey(key);
        if (!audio.playAudio())
            return -1.0;
        const unsigned frames = sink->bufferFrames();
        std::vector<int16_t> buffer(frames * 2);
        clock.restart();
        for (long n = 0; sink->isRunning(); ++n) {
            if (moving && n % 2000 == 1999) {
                const bool odd = ++changes % 2;
                audio.changeBpm(odd ? -tempo : tempo);
                audio.changeKey(odd ? -key : key);
            }
            const qint64 t0 = clock.nsecsElapsed();
            t_inCallback = true;
            sink->pull(buffer.data(), frames);
            t_inCallback = false;
            if (moving)
                callbackUs.push_back((clock.nsecsElapsed() - t0) / 1e3);
        }
        return clock.nsecsElapsed() / 1e9;
    };
    // Best of three for each side: other work on the machine only slows.
    double ours = 1e9;
    for (int i = 0; i < 3; ++i)
        ours = std::min(ours, pass(false));
    if (ours < 0 || pass(true) < 0) {
        std::fprintf(stderr, "cannot play %s\n", qPrintable(song));
        return 1;
    }
    const double songSeconds = audio.getDuration() / 1000.0;
    std::sort(callbackUs.begin(), callbackUs.end());
    const auto pct = [&](double p) { return callbackUs[size_t(p * double(callbackUs.size() - 1))]; };

    // SoundTouch's own tool on the same audio, decoded to WAV beforehand.
    const QString wav = dir.filePath("decoded.wav");
    if (!run("ffmpeg", {"-loglevel", "error", "-y", "-i", song, "-ar", "48000", wav}))
        return 1;
    double theirs = 1e9;
    for (int i = 0; i < 3; ++i) {
        clock.restart();
        if (!run("soundstretch", {wav, dir.filePath("stretched.wav"), QString("-tempo=%1").arg(tempo),
                                  QString("-pitch=%1").arg(key)}))
            return 1;
        theirs = std::min(theirs, clock.nsecsElapsed() / 1e9);
    }

    std::printf("song %.1f s, tempo %+g %%, key %+g, load %.1f ms\n", songSeconds, tempo, key, loadMs);
    std::printf("audio path (decode + stretch): %.1f x real time (%.3f s)\n", songSeconds / ours, ours);
    std::printf("soundstretch (stretch only):   %.1f x real time (%.3f s)\n", songSeconds / theirs, theirs);
    std::printf("ratio %.2f (target at least 0.80)\n", theirs / ours);
    std::printf("callback of %u frames: median %.0f us, 99.9th %.0f us, max %.0f us\n", sink->bufferFrames(), pct(0.5),
                pct(0.999), callbackUs.back());
#ifdef VELMAR_ASAN
    std::printf("allocations in the callback: not counted under AddressSanitizer\n");
#else
    std::printf("allocations in the callback: %ld (%ld tempo and key changes)\n",
                g_callbackAllocations.load(), changes);
#endif
    return 0;
}
