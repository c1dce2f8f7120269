#include "RealTime.h"

#include "logmsg.h"

#include <QMessageLogger>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace RealTime {
namespace {

thread_local bool t_realTime = false;
thread_local double t_messageTime = -1.0;
thread_local bool t_messageAtOnce = false;

struct Clock {
    ClockFunction function;
    void *user;
};
Clock g_clockStore;
std::atomic<Clock *> g_clock{nullptr};

constexpr size_t kLogLines = 256;
constexpr size_t kLogLineBytes = 240;

struct LogLine {
    int level;
    int line;
    const char *source;
    char text[kLogLineBytes];
};

BoundedQueue<LogLine> &logRing()
{
    static BoundedQueue<LogLine> ring(kLogLines);
    return ring;
}
std::atomic<uint64_t> g_droppedLines{0};

double monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// A null source is a plain Qt log line, as qDebug and qWarning write them.
void emitLine(int level, const char *source, int line, const char *text)
{
    if (source) {
        logMsg(level, source, line, "%s", text);
        return;
    }
    const QMessageLogger logger;
    switch (level) {
    case 2: logger.warning("%s", text); break;
    case 3: logger.info("%s", text); break;
    case 4: logger.debug("%s", text); break;
    default: logger.critical("%s", text); break;
    }
}

} // namespace

bool isRealTimeThread()
{
    return t_realTime;
}

ThreadScope::ThreadScope() : m_previous(t_realTime)
{
    // The ring is built before the first line needs it.
    logRing();
    t_realTime = true;
}

ThreadScope::~ThreadScope()
{
    t_realTime = m_previous;
}

void setClock(ClockFunction clock, void *user)
{
    g_clock.store(nullptr);
    if (!clock)
        return;
    g_clockStore = {clock, user};
    g_clock.store(&g_clockStore);
}

double nowMs()
{
    if (const Clock *c = g_clock.load(std::memory_order_acquire))
        return c->function(c->user);
    return monotonicMs();
}

MessageTime::MessageTime(double ms, bool atOnce) : m_previous(t_messageTime), m_previousAtOnce(t_messageAtOnce)
{
    t_messageTime = ms;
    t_messageAtOnce = atOnce;
}

MessageTime::~MessageTime()
{
    t_messageTime = m_previous;
    t_messageAtOnce = m_previousAtOnce;
}

double messageTimeMs()
{
    return t_messageTime >= 0 ? t_messageTime : nowMs();
}

bool messageAtOnce()
{
    return t_messageAtOnce;
}

namespace {
// The largest lateness of the current window and the one before, published
// together by the one loop that reports.
constexpr double kLatenessWindowMs = 2000.0;
constexpr int kLongWindows = 15;
// A wake-up this late may be the whole program's hold: it counts once the
// audio callbacks, which wake about as late then, have had time to say so.
constexpr double kHoldMinMs = 50.0;
constexpr double kHoldWordMs = 200.0;
constexpr double kHoldNearMs = 150.0;
constexpr double kHoldSlackMs = 50.0;
struct Lateness {
    double windowStart = 0;
    double current = 0;
    double previous = 0;
    double past[kLongWindows] = {};
    int pastCount = 0;
    double pending = 0;
    double pendingAt = 0;
};
Lateness g_lateness;
std::mutex g_latenessWriter;
std::atomic<double> g_latenessPeak{0};
std::atomic<double> g_longLatenessPeak{0};
std::atomic<double> g_latenessReportedAt{-1e12};
std::atomic<double> g_audioGapMs{0};
std::atomic<double> g_audioGapEndMs{-1e12};

// Whether the audio callbacks were held as long as `ms` about the moment `at`.
bool heldWithAudio(double ms, double at)
{
    const double gap = g_audioGapMs.load(std::memory_order_relaxed);
    const double end = g_audioGapEndMs.load(std::memory_order_relaxed);
    return std::fabs(end - at) <= kHoldNearMs && ms <= gap + kHoldSlackMs && ms >= gap / 2;
}
} // namespace

void noteAudioGap(double ms)
{
    g_audioGapMs.store(ms, std::memory_order_relaxed);
    g_audioGapEndMs.store(monotonicMs(), std::memory_order_relaxed);
}

void noteWakeLateness(double ms)
{
    // One loop reports at a time; a second one (a test's) does not wait.
    std::unique_lock<std::mutex> lock(g_latenessWriter, std::try_to_lock);
    if (!lock.owns_lock())
        return;
    const double now = monotonicMs();
    Lateness &l = g_lateness;
    double judged = 0;
    if (l.pending > 0 && now - l.pendingAt >= kHoldWordMs) {
        judged = heldWithAudio(l.pending, l.pendingAt) ? 0 : l.pending;
        l.pending = 0;
    }
    if (ms >= kHoldMinMs) {
        if (ms > l.pending) {
            l.pending = ms;
            l.pendingAt = now;
        }
        ms = 0;
    }
    ms = std::max(ms, judged);
    if (now - l.windowStart >= kLatenessWindowMs) {
        const bool recent = now - l.windowStart < 2 * kLatenessWindowMs;
        l.previous = recent ? l.current : 0;
        if (!recent)
            l.pastCount = 0;
        l.past[l.pastCount++ % kLongWindows] = l.previous;
        l.current = 0;
        l.windowStart = now;
    }
    l.current = std::max(l.current, ms);
    g_latenessPeak.store(std::max(l.current, l.previous), std::memory_order_relaxed);
    double longPeak = l.current;
    for (int i = 0; i < std::min(l.pastCount, kLongWindows); ++i)
        longPeak = std::max(longPeak, l.past[i]);
    g_longLatenessPeak.store(longPeak, std::memory_order_relaxed);
    g_latenessReportedAt.store(now, std::memory_order_relaxed);
}

double recentWakeLatenessMs()
{
    if (monotonicMs() - g_latenessReportedAt.load(std::memory_order_relaxed) > kLatenessWindowMs)
        return 0;
    return g_latenessPeak.load(std::memory_order_relaxed);
}

double longWakeLatenessMs()
{
    if (monotonicMs() - g_latenessReportedAt.load(std::memory_order_relaxed) > kLatenessWindowMs)
        return 0;
    return g_longLatenessPeak.load(std::memory_order_relaxed);
}

void drainLog()
{
    // Consumers take turns; producers never wait for this.
    static std::mutex consumer;
    std::lock_guard<std::mutex> lock(consumer);
    BoundedQueue<LogLine> &ring = logRing();
    while (LogLine *l = ring.front()) {
        emitLine(l->level, l->source, l->line, l->text);
        ring.pop();
    }
    if (const uint64_t lost = g_droppedLines.exchange(0))
        logMsg(2, "RealTime", 0, "%llu log lines of the real-time threads lost",
               static_cast<unsigned long long>(lost));
}

} // namespace RealTime

namespace {
void queueLine(int level, const char *sourceFile, int line, const char *format, va_list ap)
{
    const bool queued = RealTime::logRing().pushWith([&](RealTime::LogLine &l) {
        l.level = level;
        l.line = line;
        l.source = sourceFile;
        std::vsnprintf(l.text, sizeof l.text, format, ap);
    });
    if (!queued)
        RealTime::g_droppedLines.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

void rtLogMsg(int level, const char *sourceFile, int line, const char *format, ...)
{
    if (level > 4 || !format)
        return;
    va_list ap;
    va_start(ap, format);
    if (!RealTime::t_realTime) {
        char text[1024];
        std::vsnprintf(text, sizeof text, format, ap);
        va_end(ap);
        RealTime::emitLine(level, sourceFile, line, text);
        return;
    }
    queueLine(level, sourceFile, line, format, ap);
    va_end(ap);
}

void rtLogMsgDeferred(int level, const char *sourceFile, int line, const char *format, ...)
{
    if (level > 4 || !format)
        return;
    va_list ap;
    va_start(ap, format);
    queueLine(level, sourceFile, line, format, ap);
    va_end(ap);
}
