#include "RtAudioStream.h"

#include "PulseTwins.h"
#include "RealTime.h"
#include "logmsg.h"

#include <RtAudio.h>
#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <semaphore.h>
#include <time.h>

namespace {

double monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

void sleepMs(double ms)
{
    if (ms <= 0)
        return;
    timespec ts{};
    ts.tv_sec = time_t(ms / 1000);
    ts.tv_nsec = long((ms - double(ts.tv_sec) * 1000) * 1e6);
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
    }
}

// False when the semaphore was not posted within ms.
bool waitMs(sem_t *sem, double ms)
{
    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    const long long ns = until.tv_nsec + (long long)(ms * 1e6);
    until.tv_sec += time_t(ns / 1000000000);
    until.tv_nsec = long(ns % 1000000000);
    for (;;) {
        if (sem_clockwait(sem, CLOCK_MONOTONIC, &until) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

// How long the owning thread waits for the keeper to carry out a stop or a
// close before it goes on (the keeper finishes it all the same).
constexpr double kStopWaitMs = 10.0;
// How often the keeper tries a new stream while the sound server is gone,
// and looks for the output named while the default stands in for it.
constexpr double kRetryMs = 300.0;
constexpr double kLookMs = 1000.0;
// A call into RtAudio, or the device's next request, this late: the sound
// server does not answer (stopped, hung). A server just started was seen to
// hold a new stream's first write for up to 1.9 s.
constexpr double kHangMs = 1500.0;
// How long the keeper waits for the callback to fall asleep before a stop;
// a device that no longer asks is stopped as it stands.
constexpr double kParkWaitMs = 200.0;
// Buffers for a device that refuses the ones asked for on this many tries.
constexpr unsigned kLargeFrames = 1024;
constexpr int kTriesBeforeLarge = 2;
// A callback this late after the one before: the program may have been held.
constexpr double kGapMs = 40.0;
// The longest a parked callback sleeps: the keeper wakes it at once once
// the stop is made.
constexpr double kParkMs = 2000.0;

} // namespace

struct RtAudioStream::Core {
    enum Gate { Open, Closed, Ended };
    enum Park { Playing, Asked, Parked };
    enum Command { Start, Stop, Drain, Close, Reshape };

    Format format;
    Render render = nullptr;
    void *user = nullptr;
    std::string what;
    std::string deviceName; // named; empty: the server's default
    std::string openedName; // of the stream that plays
    RtAudio::Api api = RtAudio::UNSPECIFIED;
    unsigned frameBytes = 0;

    // The keeper's alone once it runs.
    std::unique_ptr<RtAudio> audio;
    double nextLookMs = 0;
    bool running = false; // the stream as the keeper left it
    bool wantRunning = false;
    double nextTryMs = 0;
    int tries = 0;
    // While no stream plays and the server is away: where the keeper's own
    // renders stand (ms), and what they write into.
    double standInMs = -1;
    std::vector<char> standIn;

    // The owner's commands, in order.
    std::mutex commandLock;
    std::deque<Command> commands;
    std::atomic<uint64_t> asked{0};
    std::atomic<uint64_t> done{0};
    std::atomic<unsigned> reshapeTo{0};
    std::atomic<bool> renders{false};
    std::atomic<bool> finished{false};
    sem_t wake;

    std::atomic<unsigned> frames{0};
    std::atomic<unsigned> latency{0};
    std::atomic<int> gate{Closed};
    std::atomic<bool> inRender{false};
    std::atomic<int> park{Playing};
    sem_t release;
    std::atomic<bool> lost{false};
    std::atomic<double> lostAtMs{0};
    // Not yet tried to open; on the default in the named output's place.
    std::atomic<bool> opening{true};
    // The stream this one replaces was lost: so is this one while opening.
    std::atomic<bool> replacesLost{false};
    std::atomic<bool> standingIn{false};
    // When the keeper went into a call that waits on the server (0: none),
    // and when the device last asked; a hang said, not yet over.
    std::atomic<double> busySinceMs{0};
    std::atomic<double> lastCallMs{0};
    mutable std::atomic<bool> hangSaid{false};
    mutable std::atomic<double> hangFromMs{0};
    bool hung(double now) const;
    void answered();
    std::atomic<uint64_t> unheardFrames{0};
    // Underruns the audio API itself reported (ALSA, JACK; not PulseAudio,
    // whose stream RtAudio keeps to itself): a drop-out heard that the
    // timing of the requests may not show (callback thread only).
    uint64_t underruns = 0;
    uint64_t underrunsSaid = 0;
    double underrunSaidMs = -1e9;
    void underrun();
    std::atomic<unsigned> generation{0};
    std::atomic<unsigned> buffersNow{0};

    // The callback's (one RtAudio thread at a time): its credit of frames,
    // which grows at the device's pace (twice it while the device takes
    // what it gets) and bounds what it asks for.
    double creditFrames = 0;
    double creditAtMs = -1;

    Core()
    {
        sem_init(&wake, 0, 0);
        sem_init(&release, 0, 0);
    }
    ~Core()
    {
        sem_destroy(&wake);
        sem_destroy(&release);
    }

    // The command's number, for waitDone.
    uint64_t ask(Command c)
    {
        uint64_t number;
        {
            const std::lock_guard<std::mutex> lock(commandLock);
            commands.push_back(c);
            number = ++asked;
        }
        sem_post(&wake);
        return number;
    }
    // True when the keeper got through every command asked so far in time.
    bool waitDone(double ms, uint64_t want = 0) const
    {
        if (want == 0)
            want = asked.load();
        const double until = monotonicMs() + ms;
        while (done.load() < want && !finished.load()) {
            if (monotonicMs() >= until)
                return false;
            sleepMs(0.5);
        }
        return true;
    }
    // No render call runs once it returns: both sides store, then load.
    void shut(Gate to)
    {
        gate.store(to);
        while (inRender.load())
            sleepMs(0.1);
    }

    bool openOn(RtAudio &rt, unsigned device, const char *why);
    void keep();
    void halt(bool drain);
    void closeAudio();
    void firstOpen();
    void reopen();
    void lookForNamed();
    bool openFresh(const char *why);
    void startAudio();
    void renderStandIn();
    double standInStep();

    static int callback(void *out, void *, unsigned frames, double, RtAudioStreamStatus, void *user);
    static void error(RtAudioError::Type type, const std::string &text);
    void pace(unsigned n);
};

namespace {

// RtAudio's error callback is told nothing but the error: the stream whose
// thread (its own or the keeper) reports it.
thread_local RtAudioStream::Core *t_core = nullptr;
thread_local bool t_priorityAsked = false;

struct OnThread {
    explicit OnThread(RtAudioStream::Core *c) : previous(t_core) { t_core = c; }
    ~OnThread() { t_core = previous; }
    RtAudioStream::Core *previous;
};

// The keeper in a call that waits on the sound server.
struct Busy {
    explicit Busy(RtAudioStream::Core *c) : core(c) { core->busySinceMs.store(monotonicMs()); }
    ~Busy()
    {
        core->busySinceMs.store(0);
        core->answered();
    }
    RtAudioStream::Core *core;
};

// ALSA's own messages (a machine without a card, a plugin without its
// server) would go to the terminal at every look at the devices.
void quietAlsa(const char *, int, const char *, int, const char *, ...) {}

} // namespace

void RtAudioStream::Core::error(RtAudioError::Type type, const std::string &text)
{
    Core *c = t_core;
    if (!c)
        return;
    // A write that fails, or a stop or a start the device refuses: the
    // sound server has gone (PulseAudio: "Connection terminated").
    const bool gone = type == RtAudioError::SYSTEM_ERROR || type == RtAudioError::DRIVER_ERROR
                      || (type == RtAudioError::WARNING && text.find("write error") != std::string::npos);
    if (!gone) {
        rtLogMsgDeferred(3, __FILE__, __LINE__, "%s: %s", c->what.c_str(), text.c_str());
        return;
    }
    if (!c->lost.exchange(true)) {
        c->lostAtMs.store(monotonicMs());
        c->unheardFrames.store(0);
        rtLogMsgDeferred(2, __FILE__, __LINE__, "%s: the sound output is lost (%s); the music goes on unheard until it is back",
                         c->what.c_str(), text.c_str());
        sem_post(&c->wake);
    }
}

// Before each render: what the device asks for is bounded by the clock, so
// that the thread sleeps rather than spins when a device takes buffers
// without waiting (a sound server gone: every write fails at once). A device
// asks at its own pace, in bursts up to its queue: twice the pace beyond a
// burst of the queue and a second catches nothing real; a lost one is asked
// for at its pace exactly, as it would have asked.
void RtAudioStream::Core::pace(unsigned n)
{
    const bool gone = lost.load(std::memory_order_relaxed);
    const double perMs = format.rate / 1000.0;
    const double speed = gone ? 1.0 : 2.0;
    const double burst = gone ? double(n) : double(format.buffers) * n + 1000.0 * perMs;
    double now = monotonicMs();
    if (creditAtMs < 0 || creditFrames > burst)
        creditFrames = burst;
    else
        creditFrames = std::min(burst, creditFrames + (now - creditAtMs) * perMs * speed);
    creditAtMs = now;
    creditFrames -= n;
    if (creditFrames < 0) {
        sleepMs(std::min(100.0, -creditFrames / (perMs * speed)));
        now = monotonicMs();
        creditFrames = std::min(0.0, creditFrames + (now - creditAtMs) * perMs * speed);
        creditAtMs = now;
    }
}

void RtAudioStream::Core::underrun()
{
    ++underruns;
    // One line a second at most: a device that runs dry at every buffer
    // must not bury the rest of the log.
    const double now = monotonicMs();
    if (now - underrunSaidMs < 1000.0)
        return;
    rtLogMsg(2, __FILE__, __LINE__, "%s: drop-out: the device ran dry (%llu underruns reported since the last line)",
             what.c_str(), static_cast<unsigned long long>(underruns - underrunsSaid));
    underrunsSaid = underruns;
    underrunSaidMs = now;
}

int RtAudioStream::Core::callback(void *out, void *, unsigned frames, double, RtAudioStreamStatus status, void *user)
{
    auto *c = static_cast<Core *>(user);
    const size_t bytes = size_t(frames) * c->frameBytes;
    const double now = monotonicMs();
    if (const double gap = now - c->lastCallMs.exchange(now, std::memory_order_relaxed); gap > kGapMs)
        RealTime::noteAudioGap(gap);
    int asked = Asked;
    if (c->park.load(std::memory_order_relaxed) == Asked && c->park.compare_exchange_strong(asked, Parked)) {
        // The stream is being stopped and renders nothing more: the thread
        // waits out of RtAudio's write while the keeper stops it. Outside
        // the real-time part, which never waits for another thread.
        std::memset(out, 0, bytes);
        timespec until{};
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_sec += time_t(kParkMs / 1000);
        while (sem_clockwait(&c->release, CLOCK_MONOTONIC, &until) != 0 && errno == EINTR) {
        }
        c->park.store(Playing);
        c->creditAtMs = -1;
        return 0;
    }
    // The render and the pacing on a thread that must not wait for another
    // (realtimeguard.h counts what it does in the tests).
    const RealTime::ThreadScope realTime;
    t_core = c;
    if (!t_priorityAsked) {
        t_priorityAsked = true;
        ThreadPriority::askForThisThread(c->format.role, ThreadPriority::kCallbackPriority);
    }
    c->pace(frames);
    if (status & RTAUDIO_OUTPUT_UNDERFLOW)
        c->underrun();
    if (c->lost.load(std::memory_order_relaxed))
        c->unheardFrames.fetch_add(frames, std::memory_order_relaxed);
    c->inRender.store(true);
    if (c->gate.load() == Open) {
        const int result = c->render(out, frames, c->user);
        if (result != 0) {
            c->gate.store(Ended);
            sem_post(&c->wake);
        }
    } else {
        std::memset(out, 0, bytes);
    }
    c->inRender.store(false);
    // The render after a hang saw the stream lost (its gap is the hang's,
    // said once); from here on it plays.
    c->answered();
    // Never 1 or 2: RtAudio would stop the stream on this thread, and throw
    // where nothing catches when the device is gone.
    return 0;
}

bool RtAudioStream::Core::hung(double now) const
{
    const double busy = busySinceMs.load(std::memory_order_relaxed);
    if (busy > 0 && now - busy > kHangMs)
        return true;
    return renders.load(std::memory_order_relaxed) && !lost.load(std::memory_order_relaxed)
           && now - lastCallMs.load(std::memory_order_relaxed) > kHangMs;
}

void RtAudioStream::Core::answered()
{
    if (hangSaid.load(std::memory_order_relaxed) && hangSaid.exchange(false))
        rtLogMsg(2, __FILE__, __LINE__, "%s: the sound server answers again after %.1f s", what.c_str(),
                 (monotonicMs() - hangFromMs.load()) / 1000.0);
}

bool RtAudioStream::Core::openOn(RtAudio &rt, unsigned device, const char *why)
{
    RtAudio::StreamParameters params;
    params.deviceId = device;
    params.nChannels = format.channels;
    params.firstChannel = 0;
    RtAudio::StreamOptions options;
    options.numberOfBuffers = format.buffers;
    // Where the system grants it; the callback asks again (RealtimeKit)
    // when it did not.
    options.flags = RTAUDIO_SCHEDULE_REALTIME | (format.minimizeLatency ? RTAUDIO_MINIMIZE_LATENCY : 0);
    options.priority = ThreadPriority::kCallbackPriority;
    unsigned got = format.frames;
    const auto tryOpen = [&] {
        try {
            rt.openStream(&params, nullptr, format.floatSamples ? RTAUDIO_FLOAT32 : RTAUDIO_SINT16, format.rate,
                          &got, &Core::callback, this, &options, &Core::error);
            return std::string();
        } catch (const RtAudioError &e) {
            return std::string(e.what());
        }
    };
    std::string refused = tryOpen();
    if (!refused.empty() && tries >= kTriesBeforeLarge && frames.load() == 0 && format.frames < kLargeFrames) {
        // A device that refuses small buffers again and again (not a server
        // just starting) may take larger ones: the render is set up for
        // those from here on.
        got = kLargeFrames;
        if (tryOpen().empty()) {
            format.frames = kLargeFrames;
            refused.clear();
        }
    }
    if (!refused.empty()) {
        // While the server is gone each try fails alike: the stream's loss,
        // its first try and its return are said by themselves.
        if (tries++ == 0 && std::strcmp(why, "again") != 0 && std::strcmp(why, "stream") != 0)
            rtLogMsg(2, __FILE__, __LINE__, "%s %s: %s", what.c_str(), why, refused.c_str());
        return false;
    }
    tries = 0;
    if (frames.load() != 0 && got != frames.load()) {
        // The render is set up for the first stream's buffers.
        rtLogMsg(2, __FILE__, __LINE__, "%s %s: %u frames a buffer, not %u", what.c_str(), why, got, frames.load());
        try {
            rt.closeStream();
        } catch (const RtAudioError &) {
        }
        return false;
    }
    frames.store(got);
    buffersNow.store(format.buffers);
    PulseTwins::keepOnDefault(rt, device);
    const long told = rt.getStreamLatency();
    latency.store(told > 0 ? unsigned(told) : 0);
    return true;
}

void RtAudioStream::Core::halt(bool drain)
{
    if (!audio || !running)
        return;
    running = false;
    const Busy busy(this);
    try {
        if (!audio->isStreamRunning())
            return;
    } catch (const RtAudioError &) {
        return;
    }
    const RtAudio::Api a = audio->getCurrentApi();
    bool parked = false;
    if (a == RtAudio::LINUX_PULSE || a == RtAudio::LINUX_ALSA) {
        park.store(Asked);
        const double until = monotonicMs() + kParkWaitMs;
        while (park.load() == Asked && monotonicMs() < until)
            sleepMs(1);
        int expected = Asked;
        parked = !park.compare_exchange_strong(expected, Playing);
    }
    try {
        if (drain)
            audio->stopStream();
        else
            audio->abortStream();
    } catch (const RtAudioError &e) {
        rtLogMsg(2, __FILE__, __LINE__, "%s stop: %s", what.c_str(), e.what());
    }
    if (parked) {
        sem_post(&release);
        const double until = monotonicMs() + kParkMs;
        while (park.load() == Parked && monotonicMs() < until)
            sleepMs(1);
        // A callback that gave up waiting left the post behind.
        while (sem_trywait(&release) == 0) {
        }
    }
}

void RtAudioStream::Core::closeAudio()
{
    if (!audio)
        return;
    halt(false);
    const Busy busy(this);
    try {
        if (audio->isStreamOpen())
            audio->closeStream();
    } catch (const RtAudioError &e) {
        rtLogMsg(2, __FILE__, __LINE__, "%s close: %s", what.c_str(), e.what());
    }
    audio.reset();
    running = false;
}

// The keeper's first look: the output named, the default in its place, or
// no server yet (said once; the keeper tries again until one is there).
void RtAudioStream::Core::firstOpen()
{
    const bool ok = openFresh("stream");
    opening.store(false);
    if (ok)
        return;
    lostAtMs.store(monotonicMs());
    unheardFrames.store(0);
    lost.store(true);
    nextTryMs = monotonicMs() + kRetryMs;
    rtLogMsg(2, __FILE__, __LINE__, "%s: no sound server; the stream opens on %s once one is there", what.c_str(),
             deviceName.empty() ? "its default output" : ("\"" + deviceName + "\"").c_str());
}

// A stream on the same device of a sound server that is there again (by
// name: the numbers may differ), or on its default output; the old one, whose
// thread renders at the device's pace meanwhile, ends once the new one is
// open, so that the music never stands still and two threads never render.
void RtAudioStream::Core::reopen()
{
    nextTryMs = monotonicMs() + kRetryMs;
    if (!openFresh("again"))
        return;
    const double awayS = (monotonicMs() - lostAtMs.load()) / 1000.0;
    const double unheardS = double(unheardFrames.load()) / std::max(1u, format.rate);
    lost.store(false);
    hangSaid.store(false);
    rtLogMsg(2, __FILE__, __LINE__,
             "%s: the sound output is back after %.1f s (a new stream on \"%s\"); %.1f s of sound went unheard",
             what.c_str(), awayS, openedName.c_str(), unheardS);
}

// While the default stands in: the output named, once it is there again.
void RtAudioStream::Core::lookForNamed()
{
    nextLookMs = monotonicMs() + kLookMs;
    bool there = false;
    {
        const Busy busy(this);
        auto library = lockLibrary();
        try {
            const std::unique_ptr<RtAudio> look = quietAudio(api);
            const unsigned count = look ? look->getDeviceCount() : 0;
            for (unsigned i = 0; i < count && !there; ++i)
                there = look->getDeviceInfo(i).name == deviceName;
        } catch (const RtAudioError &) {
        }
    }
    if (there && openFresh("on the output named"))
        rtLogMsg(2, __FILE__, __LINE__, "%s: \"%s\" is back; the stream plays on it", what.c_str(), deviceName.c_str());
}

// True when a new stream on format's terms plays in the old one's place.
bool RtAudioStream::Core::openFresh(const char *why)
{
    const Busy busy(this);
    auto library = lockLibrary();
    std::unique_ptr<RtAudio> fresh;
    unsigned device = 0;
    std::string name;
    bool standIn = false;
    try {
        fresh = quietAudio(api);
        const unsigned count = fresh ? fresh->getDeviceCount() : 0;
        if (count == 0)
            return false;
        bool found = false;
        for (unsigned i = 0; i < count && !found && !deviceName.empty(); ++i) {
            const RtAudio::DeviceInfo info = fresh->getDeviceInfo(i);
            if (info.probed && info.outputChannels >= format.channels && info.name == deviceName) {
                device = i;
                name = info.name;
                found = true;
            }
        }
        if (!found) {
            device = fresh->getDefaultOutputDevice();
            const RtAudio::DeviceInfo info = fresh->getDeviceInfo(device);
            if (!info.probed || info.outputChannels < format.channels)
                return false;
            name = info.name;
            standIn = !deviceName.empty();
        }
    } catch (const RtAudioError &) {
        return false;
    }
    if (!openOn(*fresh, device, why))
        return false;
    library.unlock();
    closeAudio();
    audio = std::move(fresh);
    if (api == RtAudio::UNSPECIFIED)
        api = audio->getCurrentApi();
    // The first try's stream is the one open() asked for; any later one
    // replaces another, or comes with a server.
    if (!opening.load())
        ++generation;
    openedName = name;
    if (standIn && !standingIn.load())
        rtLogMsg(2, __FILE__, __LINE__, "%s: \"%s\" is not there; the stream plays on the default output \"%s\" until it is",
                 what.c_str(), deviceName.c_str(), name.c_str());
    standingIn.store(standIn);
    nextLookMs = monotonicMs() + kLookMs;
    creditAtMs = -1;
    standInMs = -1;
    if (wantRunning)
        startAudio();
    return true;
}

void RtAudioStream::Core::startAudio()
{
    const Busy busy(this);
    try {
        audio->startStream();
        running = true;
        lastCallMs.store(monotonicMs());
    } catch (const RtAudioError &e) {
        // The server went under the stream: it is opened anew once one is
        // there, and started then.
        rtLogMsg(2, __FILE__, __LINE__, "%s start: %s", what.c_str(), e.what());
        if (!lost.exchange(true)) {
            lostAtMs.store(monotonicMs());
            unheardFrames.store(0);
        }
    }
}

// The device's pace while no stream plays and the server is away: what is
// sent is taken in, and the music moves on as it would be heard.
void RtAudioStream::Core::renderStandIn()
{
    const RealTime::ThreadScope realTime;
    const unsigned n = unsigned(standIn.size() / frameBytes);
    inRender.store(true);
    if (gate.load() == Open) {
        if (render(standIn.data(), n, user) != 0) {
            gate.store(Ended);
            sem_post(&wake);
        }
    }
    inRender.store(false);
    unheardFrames.fetch_add(n, std::memory_order_relaxed);
}

// Renders what is due; the time until the next render (ms), or a negative
// number while the keeper renders nothing.
double RtAudioStream::Core::standInStep()
{
    if (!wantRunning || running || !lost.load() || standIn.empty()) {
        standInMs = -1;
        return -1;
    }
    const double stepMs = 1000.0 * double(standIn.size() / frameBytes) / std::max(1u, format.rate);
    const double now = monotonicMs();
    if (standInMs < 0 || now - standInMs > 100.0)
        standInMs = now; // a keeper held up skips what it missed
    while (standInMs <= now) {
        renderStandIn();
        standInMs += stepMs;
    }
    return standInMs - now;
}

void RtAudioStream::Core::keep()
{
    const OnThread on(this);
    for (;;) {
        if (opening.load())
            firstOpen();
        const double standInIn = standInStep();
        const double idleMs = lost.load() ? kRetryMs : standingIn.load() ? kLookMs : 1000.0;
        waitMs(&wake, standInIn >= 0 ? std::max(0.5, standInIn) : idleMs);
        while (sem_trywait(&wake) == 0) {
        }
        for (;;) {
            Command command;
            {
                const std::lock_guard<std::mutex> lock(commandLock);
                if (commands.empty())
                    break;
                command = commands.front();
                commands.pop_front();
            }
            switch (command) {
            case Start:
                // A server away: the stream starts once it is back, and the
                // keeper renders meanwhile.
                wantRunning = true;
                if (audio && !running && !lost.load())
                    startAudio();
                break;
            case Stop:
            case Drain:
                wantRunning = false;
                halt(command == Drain);
                break;
            case Reshape:
                format.buffers = reshapeTo.load();
                if (audio && !lost.load())
                    openFresh("with a new queue");
                break;
            case Close:
                wantRunning = false;
                closeAudio();
                renders.store(false);
                ++done;
                finished.store(true);
                return;
            }
            renders.store(wantRunning && (running || lost.load()));
            ++done;
        }
        const double now = monotonicMs();
        if (lost.load() && now >= nextTryMs)
            reopen();
        else if (standingIn.load() && !lost.load() && now >= nextLookMs)
            lookForNamed();
        renders.store(wantRunning && (running || lost.load()));
    }
}

std::unique_lock<std::mutex> RtAudioStream::lockLibrary()
{
    static std::mutex library;
    return std::unique_lock<std::mutex>(library);
}

std::unique_ptr<RtAudio> RtAudioStream::quietAudio(int api)
{
    static std::once_flag alsa;
    std::call_once(alsa, [] { snd_lib_error_set_handler(&quietAlsa); });
    // RtAudio's own choice of API probes each with its warnings on: made
    // here, each is probed quietly.
    std::vector<RtAudio::Api> apis;
    if (api != RtAudio::UNSPECIFIED)
        apis.push_back(RtAudio::Api(api));
    else
        RtAudio::getCompiledApi(apis);
    for (const RtAudio::Api a : apis) {
        if (a == RtAudio::RTAUDIO_DUMMY)
            continue;
        auto audio = std::make_unique<RtAudio>(a);
        audio->showWarnings(false);
        if (api != RtAudio::UNSPECIFIED || audio->getDeviceCount() > 0)
            return audio;
    }
    return nullptr;
}

RtAudioStream::RtAudioStream() = default;

RtAudioStream::~RtAudioStream()
{
    close();
}

namespace {

std::shared_ptr<RtAudioStream::Core> newCore(const RtAudioStream::Format &format, RtAudioStream::Render render,
                                             void *user, const char *what)
{
    auto c = std::make_shared<RtAudioStream::Core>();
    c->format = format;
    c->render = render;
    c->user = user;
    c->what = what;
    c->frameBytes = format.channels * (format.floatSamples ? 4u : 2u);
    return c;
}

} // namespace

void RtAudioStream::open(const std::string &device, const Format &format, Render render, void *user, const char *what)
{
    close();
    auto c = newCore(format, render, user, what);
    c->deviceName = device;
    c->replacesLost.store(m_closedLost);
    c->hangSaid.store(m_closedHangSaid);
    c->hangFromMs.store(m_closedHangFromMs);
    c->standIn.assign(size_t(format.frames) * c->frameBytes, 0);
    c->gate.store(Core::Closed);
    ThreadPriority::startHelper();
    std::thread([c] { c->keep(); }).detach();
    m_core = std::move(c);
}

bool RtAudioStream::start()
{
    if (!m_core)
        return false;
    m_core->gate.store(Core::Open);
    m_core->ask(Core::Start);
    m_started = true;
    return true;
}

void RtAudioStream::reshape(unsigned buffers)
{
    if (!m_core)
        return;
    m_core->reshapeTo.store(buffers);
    m_core->ask(Core::Reshape);
}

bool RtAudioStream::pending() const
{
    return m_core && m_core->done.load() < m_core->asked.load();
}

void RtAudioStream::stop(bool drain)
{
    m_started = false;
    if (!m_core)
        return;
    m_core->shut(Core::Closed);
    m_core->ask(drain ? Core::Drain : Core::Stop);
    m_core->waitDone(kStopWaitMs);
}

void RtAudioStream::close()
{
    m_started = false;
    if (!m_core)
        return;
    // A hang said goes on in the next stream, which says its end.
    m_closedLost = lost();
    m_closedHangSaid = m_core->hangSaid.exchange(false);
    m_closedHangFromMs = m_core->hangFromMs.load();
    m_core->shut(Core::Closed);
    m_core->ask(Core::Close);
    m_core->waitDone(kStopWaitMs);
    // The keeper ends what it still has to do with the core it shares.
    m_core.reset();
}

bool RtAudioStream::isOpen() const
{
    return m_core != nullptr;
}

bool RtAudioStream::isRunning() const
{
    return m_started && m_core && m_core->gate.load() == Core::Open;
}

bool RtAudioStream::ended() const
{
    return m_core && m_core->gate.load() == Core::Ended;
}

unsigned RtAudioStream::bufferFrames() const
{
    return m_core ? m_core->frames.load() : 0;
}

unsigned RtAudioStream::buffers() const
{
    return m_core ? m_core->buffersNow.load() : 0;
}

unsigned RtAudioStream::rate() const
{
    return m_core ? m_core->format.rate : 0;
}

unsigned RtAudioStream::reportedLatency() const
{
    return m_core ? m_core->latency.load() : 0;
}

bool RtAudioStream::lost() const
{
    if (!m_core)
        return false;
    Core &c = *m_core;
    if (c.lost.load(std::memory_order_relaxed)
        || (c.opening.load(std::memory_order_relaxed) && c.replacesLost.load(std::memory_order_relaxed)))
        return true;
    const double now = monotonicMs();
    if (c.hung(now)) {
        if (!c.hangSaid.exchange(true)) {
            c.hangFromMs.store(now - kHangMs);
            rtLogMsg(2, __FILE__, __LINE__, "%s: the sound server does not answer; the music waits until it does",
                     c.what.c_str());
        }
        return true;
    }
    return c.hangSaid.load(std::memory_order_relaxed);
}

bool RtAudioStream::standingIn() const
{
    return m_core && m_core->standingIn.load();
}

unsigned RtAudioStream::generation() const
{
    return m_core ? m_core->generation.load() : 0;
}
