#include "RtAudioStream.h"

#include "PulseTwins.h"
#include "RealTime.h"
#include "logmsg.h"

#include <RtAudio.h>

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
// close before it goes on (the keeper finishes it all the same), and for a
// start, whose failure it wants to know: a keeper still draining the queue
// of a pause starts the stream once done, and the start says it will.
constexpr double kStopWaitMs = 10.0;
// A start waits for its answer: behind a pause's drain, a queue's length.
constexpr double kStartWaitMs = 2000.0;
// A new queue: opening a stream, and stopping the one before.
constexpr double kReshapeWaitMs = 3000.0;
// How often the keeper tries a new stream while the sound server is gone.
constexpr double kRetryMs = 300.0;
// How long the keeper waits for the callback to fall asleep before a stop;
// a device that no longer asks is stopped as it stands.
constexpr double kParkWaitMs = 200.0;
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
    std::string deviceName;
    RtAudio::Api api = RtAudio::UNSPECIFIED;
    unsigned frameBytes = 0;

    // The keeper's alone once it runs.
    std::unique_ptr<RtAudio> audio;
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
    // The answer to the last start or reshape, written before it is done.
    std::atomic<bool> answer{false};
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
    void reopen();
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
// thread (its own, the keeper or the owner while it opens) reports it.
thread_local RtAudioStream::Core *t_core = nullptr;
thread_local bool t_priorityAsked = false;

struct OnThread {
    explicit OnThread(RtAudioStream::Core *c) : previous(t_core) { t_core = c; }
    ~OnThread() { t_core = previous; }
    RtAudioStream::Core *previous;
};

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
    // Never 1 or 2: RtAudio would stop the stream on this thread, and throw
    // where nothing catches when the device is gone.
    return 0;
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
    try {
        rt.openStream(&params, nullptr, format.floatSamples ? RTAUDIO_FLOAT32 : RTAUDIO_SINT16, format.rate, &got,
                      &Core::callback, this, &options, &Core::error);
    } catch (const RtAudioError &e) {
        // While the server is gone each try fails alike: the first says it
        // (the stream's loss and return are said by themselves).
        if (tries++ == 0 && std::strcmp(why, "again") != 0)
            rtLogMsg(2, __FILE__, __LINE__, "%s %s: %s", what.c_str(), why, e.what());
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
    try {
        if (audio->isStreamOpen())
            audio->closeStream();
    } catch (const RtAudioError &e) {
        rtLogMsg(2, __FILE__, __LINE__, "%s close: %s", what.c_str(), e.what());
    }
    audio.reset();
    running = false;
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
    rtLogMsg(2, __FILE__, __LINE__,
             "%s: the sound output is back after %.1f s (a new stream on \"%s\"); %.1f s of sound went unheard",
             what.c_str(), awayS, deviceName.empty() ? "the default output" : deviceName.c_str(), unheardS);
}

// True when a new stream on format's terms plays in the old one's place.
bool RtAudioStream::Core::openFresh(const char *why)
{
    auto library = lockLibrary();
    std::unique_ptr<RtAudio> fresh;
    unsigned device = 0;
    std::string name;
    try {
        fresh = std::make_unique<RtAudio>(api);
        fresh->showWarnings(false);
        const unsigned count = fresh->getDeviceCount();
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
        }
    } catch (const RtAudioError &) {
        return false;
    }
    if (!openOn(*fresh, device, why))
        return false;
    library.unlock();
    closeAudio();
    audio = std::move(fresh);
    if (deviceName.empty())
        deviceName = name;
    if (api == RtAudio::UNSPECIFIED)
        api = audio->getCurrentApi();
    ++generation;
    creditAtMs = -1;
    standInMs = -1;
    if (wantRunning)
        startAudio();
    return true;
}

void RtAudioStream::Core::startAudio()
{
    try {
        audio->startStream();
        running = true;
    } catch (const RtAudioError &e) {
        rtLogMsg(2, __FILE__, __LINE__, "%s start: %s", what.c_str(), e.what());
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
        const double standInIn = standInStep();
        waitMs(&wake, standInIn >= 0 ? std::max(0.5, standInIn) : lost.load() ? kRetryMs : 1000.0);
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
                wantRunning = true;
                if (audio && !running)
                    startAudio();
                // A server away: the stream starts once it is back, and the
                // keeper renders meanwhile.
                if (!running && !lost.load())
                    wantRunning = false;
                answer.store(running || lost.load());
                break;
            case Stop:
            case Drain:
                wantRunning = false;
                halt(command == Drain);
                break;
            case Reshape:
                format.buffers = reshapeTo.load();
                answer.store(audio && !lost.load() && openFresh("with a new queue"));
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
        if (lost.load() && monotonicMs() >= nextTryMs)
            reopen();
        renders.store(wantRunning && (running || lost.load()));
    }
}

std::unique_lock<std::mutex> RtAudioStream::lockLibrary()
{
    static std::mutex library;
    return std::unique_lock<std::mutex>(library);
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

bool RtAudioStream::open(unsigned device, const Format &format, Render render, void *user, const char *what)
{
    close();
    auto c = newCore(format, render, user, what);
    const OnThread on(c.get());
    ThreadPriority::startHelper();
    const auto library = lockLibrary();
    try {
        c->audio = std::make_unique<RtAudio>();
        c->audio->showWarnings(false);
        if (device >= c->audio->getDeviceCount())
            throw RtAudioError("no such output device", RtAudioError::INVALID_DEVICE);
        c->deviceName = c->audio->getDeviceInfo(device).name;
        c->api = c->audio->getCurrentApi();
    } catch (const RtAudioError &e) {
        rtLogMsg(2, __FILE__, __LINE__, "%s: %s", what, e.what());
        return false;
    }
    if (!c->openOn(*c->audio, device, "stream"))
        return false;
    c->standIn.assign(size_t(format.frames) * c->frameBytes, 0);
    c->gate.store(Core::Closed);
    std::thread([c] { c->keep(); }).detach();
    m_core = std::move(c);
    return true;
}

void RtAudioStream::openWhenThere(const Format &format, Render render, void *user, const char *what)
{
    close();
    auto c = newCore(format, render, user, what);
    c->standIn.assign(size_t(format.frames) * c->frameBytes, 0);
    c->lostAtMs.store(monotonicMs());
    c->lost.store(true);
    ThreadPriority::startHelper();
    rtLogMsg(2, __FILE__, __LINE__, "%s: no sound server; the stream opens once one is there", what);
    c->gate.store(Core::Closed);
    std::thread([c] { c->keep(); }).detach();
    m_core = std::move(c);
}

bool RtAudioStream::start()
{
    if (!m_core)
        return false;
    m_core->gate.store(Core::Open);
    const uint64_t number = m_core->ask(Core::Start);
    if (m_core->waitDone(kStartWaitMs, number) && m_core->answer.load())
        return true;
    // Refused, or a keeper stuck on the device: nothing renders, as said.
    m_core->shut(Core::Closed);
    m_core->ask(Core::Stop);
    return false;
}

bool RtAudioStream::reshape(unsigned buffers)
{
    if (!m_core)
        return false;
    m_core->reshapeTo.store(buffers);
    const uint64_t number = m_core->ask(Core::Reshape);
    return m_core->waitDone(kReshapeWaitMs, number) && m_core->answer.load();
}

void RtAudioStream::stop(bool drain)
{
    if (!m_core)
        return;
    m_core->shut(Core::Closed);
    m_core->ask(drain ? Core::Drain : Core::Stop);
    m_core->waitDone(kStopWaitMs);
}

void RtAudioStream::close()
{
    if (!m_core)
        return;
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
    return m_core && m_core->gate.load() == Core::Open && m_core->renders.load();
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
    return m_core && m_core->lost.load();
}

unsigned RtAudioStream::generation() const
{
    return m_core ? m_core->generation.load() : 0;
}
