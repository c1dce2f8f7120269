#include "ThreadPriority.h"

#include "RealTime.h"
#include "logmsg.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QString>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#ifdef __linux__
#include <dirent.h>
#include <sched.h>
#include <semaphore.h>
#include <csignal>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace ThreadPriority {
namespace {

const char *const kRoleNames[kRoles] = {"sequencer", "synthesizer audio", "song player audio"};
constexpr char kRefusal[] = "real-time scheduling not granted to the %s thread (%s): it runs at normal priority, "
                            "and the synthesizer's latency covers its late wake-ups";

enum Method { None, Scheduler, RealtimeKit };

struct State {
    std::atomic<int> grant{int(Grant::NotAsked)};
    std::atomic<int> method{None};
    std::atomic<int> priority{0};
    // The thread last handed to the helper, and the one waiting there.
    std::atomic<long> asked{0};
    std::atomic<long> pending{0};
    std::atomic<int> pendingPriority{0};
    // The thread running real-time for the role, and whether the limit on
    // real-time CPU time dropped it.
    std::atomic<long> raised{0};
    std::atomic<bool> dropped{false};
    // The thread the limit dropped and its priority, asked for again once
    // the music has played without a stall for a while.
    std::atomic<long> droppedTid{0};
    std::atomic<int> droppedPriority{0};
};
State g_state[kRoles];
std::atomic<bool> g_refusalLogged{false};
// Drops at the limit not logged yet, and the soft limit to set back (the
// kernel raises it by a second with each signal).
std::atomic<int> g_drops{0};
std::atomic<long long> g_softLimit{-1};
// When the limit last dropped the threads (ms, monotonic) and how often it
// did: a stall (a frozen sound server) is no reason to run at normal
// priority for the rest of the evening, but a thread that keeps running away
// is asked for again ever later.
std::atomic<long long> g_droppedAtMs{0};
std::atomic<int> g_dropCount{0};
constexpr long long kAskAgainMs = 10000;
constexpr long long kAskAgainMostMs = 300000;
// The sound library's threads an audio callback waits for, raised with it
// (libpulse's mainloop thread: a write waits until it has heard from the
// sound server); the limit's handler drops them too.
constexpr int kLibraryThreads = 32;
std::atomic<long> g_libraryThreads[kLibraryThreads];
std::atomic<bool> g_scanLibrary{false};
constexpr char kLibraryThreadName[] = "threaded-ml";
std::atomic<long long> g_hardLimit{-1};

#ifdef __linux__
bool runsRealTime(pid_t tid)
{
    const int policy = sched_getscheduler(tid) & ~SCHED_RESET_ON_FORK;
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

// Children (the "sync" the song writers run) must not inherit it.
bool setScheduler(pid_t tid, int priority)
{
    sched_param param{};
    param.sched_priority = std::min(priority, sched_get_priority_max(SCHED_RR));
    return sched_setscheduler(tid, SCHED_RR | SCHED_RESET_ON_FORK, &param) == 0;
}

const QString kKitService = QStringLiteral("org.freedesktop.RealtimeKit1");
const QString kKitPath = QStringLiteral("/org/freedesktop/RealtimeKit1");
constexpr int kBusTimeoutMs = 1000;

QDBusMessage busCall(const QDBusConnection &bus, const QDBusMessage &call, QString *why)
{
    const QDBusMessage reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        *why = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    return reply;
}

// A property of RealtimeKit's interface, or an invalid value.
QVariant kitProperty(const QDBusConnection &bus, const char *name, QString *why)
{
    QDBusMessage get = QDBusMessage::createMethodCall(kKitService, kKitPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << kKitService << QString::fromLatin1(name);
    const QDBusMessage reply = busCall(bus, get, why);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QVariant();
    return reply.arguments().first().value<QDBusVariant>().variant();
}

// RealtimeKit grants only to a process whose real-time CPU time is limited
// (a runaway thread then gets a signal instead of freezing the desktop); our
// threads block every millisecond, far below any such limit. At that hard
// limit the kernel kills the process without warning: guardLimit() keeps
// the soft limit below it.
bool askRealtimeKit(pid_t tid, int priority, int *granted, QString *why)
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        *why = QStringLiteral("no system D-Bus");
        return false;
    }
    const QVariant maxPriority = kitProperty(bus, "MaxRealtimePriority", why);
    const QVariant maxRtTime = kitProperty(bus, "RTTimeUSecMax", why);
    if (!maxPriority.isValid() || !maxRtTime.isValid())
        return false;
    rlimit limit{};
    const rlim_t most = rlim_t(std::max<qlonglong>(1, maxRtTime.toLongLong()));
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0 || limit.rlim_max == RLIM_INFINITY || limit.rlim_max > most) {
        limit.rlim_cur = limit.rlim_max = most;
        if (setrlimit(RLIMIT_RTTIME, &limit) != 0) {
            *why = QStringLiteral("cannot limit the real-time CPU time: ") + QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
    }
    *granted = std::max(1, std::min(priority, maxPriority.toInt()));
    QDBusMessage make = QDBusMessage::createMethodCall(kKitService, kKitPath, kKitService,
                                                       QStringLiteral("MakeThreadRealtime"));
    make << quint64(tid) << quint32(*granted);
    return busCall(bus, make, why).type() == QDBusMessage::ReplyMessage;
}

void wakeHelper();

// A thread of ours ran real-time up to the soft limit without once
// sleeping: every real-time thread of ours goes back to normal scheduling,
// the music plays on, and the helper logs it. Async-signal-safe: atomics
// and system calls only.
void onRealtimeLimit(int)
{
    const int savedErrno = errno;
    for (State &s : g_state) {
        const long tid = s.raised.exchange(0);
        if (!tid)
            continue;
        // SCHED_RESET_ON_FORK stays: without privilege it cannot be cleared.
        const sched_param normal{};
        syscall(SYS_sched_setscheduler, pid_t(tid), SCHED_OTHER | SCHED_RESET_ON_FORK, &normal);
        s.droppedPriority.store(s.priority.load());
        s.droppedTid.store(tid);
        s.dropped.store(true);
        s.method.store(None);
        s.priority.store(0);
        s.grant.store(int(Grant::Refused));
    }
    for (std::atomic<long> &t : g_libraryThreads) {
        if (const long tid = t.exchange(0)) {
            const sched_param normal{};
            syscall(SYS_sched_setscheduler, pid_t(tid), SCHED_OTHER | SCHED_RESET_ON_FORK, &normal);
        }
    }
    const long long soft = g_softLimit.load(), hard = g_hardLimit.load();
    if (soft >= 0) {
        const rlimit limit{rlim_t(soft), hard < 0 ? RLIM_INFINITY : rlim_t(hard)};
        syscall(SYS_prlimit64, 0, RLIMIT_RTTIME, &limit, nullptr);
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    g_droppedAtMs.store((long long)now.tv_sec * 1000 + now.tv_nsec / 1000000);
    g_dropCount.fetch_add(1);
    g_drops.fetch_add(1);
    wakeHelper();
    errno = savedErrno;
}

long long monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

void raise(Role role, pid_t tid, int priority);

// Once no stall has come for a while after a drop (10 s, twice that after
// each further drop), each thread dropped that still runs is raised again.
// True while some thread waits for it.
bool askAgain()
{
    bool waiting = false;
    const int drops = std::min(g_dropCount.load(), 6);
    const long long wait = std::min(kAskAgainMostMs, kAskAgainMs << std::max(0, drops - 1));
    const long long calmMs = monotonicMs() - g_droppedAtMs.load();
    for (int r = 0; r < kRoles; ++r) {
        State &s = g_state[r];
        const long tid = s.droppedTid.load();
        if (!tid)
            continue;
        if (calmMs < wait) {
            waiting = true;
            continue;
        }
        s.droppedTid.store(0);
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/task/%ld", tid);
        if (access(path, F_OK) != 0 || s.raised.load() != 0)
            continue; // ended, or raised anew meanwhile
        logMsg(2, "ThreadPriority", __LINE__,
               "no stall for %lld s since real-time scheduling was dropped: the %s thread asks for it again",
               calmMs / 1000, kRoleNames[r]);
        raise(Role(r), pid_t(tid), s.droppedPriority.load());
        if (Role(r) != Role::Sequencer && s.grant.load() == int(Grant::Granted))
            g_scanLibrary.store(true);
    }
    return waiting;
}

// Where the real-time CPU time is limited, a soft limit below the hard one
// and the handler of its signal; nothing without a limit. A thread raised
// by the audio library is covered too: startHelper() runs before its stream.
void guardLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0 || limit.rlim_max == RLIM_INFINITY)
        return;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max / 2;
        if (setrlimit(RLIMIT_RTTIME, &limit) != 0)
            return;
    }
    g_hardLimit.store((long long)limit.rlim_max);
    g_softLimit.store((long long)limit.rlim_cur);
    static std::once_flag once;
    std::call_once(once, [] {
        // Also SIGXCPU's default: ending the process.
        struct sigaction action {};
        action.sa_handler = onRealtimeLimit;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGXCPU, &action, nullptr);
    });
}

void logDrops()
{
    if (g_drops.exchange(0) == 0)
        return;
    logMsg(2, "ThreadPriority", __LINE__,
           "a thread ran %lld ms real-time without pausing: real-time scheduling is dropped, the music plays on at "
           "normal priority",
           g_softLimit.load() / 1000);
}

void raise(Role role, pid_t tid, int priority)
{
    State &s = g_state[int(role)];
    int granted = priority;
    Method method = None;
    QString why;
    if (setScheduler(tid, priority))
        method = Scheduler;
    else if (askRealtimeKit(tid, priority, &granted, &why))
        method = RealtimeKit;
    s.method.store(method);
    s.priority.store(method == None ? 0 : granted);
    s.grant.store(int(method == None ? Grant::Refused : Grant::Granted));
    if (method != None) {
        s.dropped.store(false);
        s.raised.store(tid);
        // The helper logs what the limit's handler did.
        startHelper();
    }
    // A thread raising itself may run real-time already: its lines wait in
    // the real-time log's ring rather than for the log file.
    const bool self = tid == gettid();
    if (method != None) {
        // The audio library says on its own whether the thread it started
        // runs real-time, before it is raised through RealtimeKit: the
        // program's own line tells what holds from now on.
        const char *const how = method == Scheduler ? "sched_setscheduler" : "RealtimeKit";
        if (self)
            rtLogMsgDeferred(3, "ThreadPriority", __LINE__, "the %s thread runs with real-time scheduling (priority %d, %s)",
                             kRoleNames[int(role)], s.priority.load(), how);
        else
            logMsg(3, "ThreadPriority", __LINE__, "the %s thread runs with real-time scheduling (priority %d, %s)",
                   kRoleNames[int(role)], s.priority.load(), how);
        return;
    }
    if (g_refusalLogged.exchange(true))
        return;
    const QByteArray reason = (why.isEmpty() ? QStringLiteral("not permitted") : why).toLocal8Bit();
    if (self)
        rtLogMsgDeferred(2, "ThreadPriority", __LINE__, kRefusal, kRoleNames[int(role)], reason.constData());
    else
        logMsg(2, "ThreadPriority", __LINE__, kRefusal, kRoleNames[int(role)], reason.constData());
}

// Each thread of the sound library not raised yet, at the callbacks'
// priority, the way the callback got it: a callback raised and left to wait
// on a thread of normal priority still misses the device on a busy machine.
void raiseLibraryThreads(int priority, Method how)
{
    DIR *dir = opendir("/proc/self/task");
    if (!dir)
        return;
    while (const dirent *entry = readdir(dir)) {
        const long tid = std::atol(entry->d_name);
        if (tid <= 0)
            continue;
        char path[64], name[32] = {};
        std::snprintf(path, sizeof path, "/proc/self/task/%ld/comm", tid);
        if (FILE *f = std::fopen(path, "r")) {
            if (!std::fgets(name, sizeof name, f))
                name[0] = 0;
            std::fclose(f);
        }
        if (std::strncmp(name, kLibraryThreadName, sizeof kLibraryThreadName - 1) != 0 || runsRealTime(pid_t(tid)))
            continue;
        int granted = priority;
        QString why;
        const bool raised = how == Scheduler ? setScheduler(pid_t(tid), priority)
                                             : askRealtimeKit(pid_t(tid), priority, &granted, &why);
        if (!raised)
            continue;
        for (std::atomic<long> &slot : g_libraryThreads) {
            long empty = 0;
            if (slot.compare_exchange_strong(empty, tid))
                break;
        }
        logMsg(3, "ThreadPriority", __LINE__,
               "the sound library's thread %ld, which the audio callback waits for, runs with real-time scheduling "
               "too (priority %d)",
               tid, granted);
    }
    closedir(dir);
}

class Helper
{
public:
    Helper()
    {
        sem_init(&m_wake, 0, 0);
        m_thread = std::thread([this] { run(); });
    }
    ~Helper()
    {
        m_quit.store(true);
        sem_post(&m_wake);
        m_thread.join();
        sem_destroy(&m_wake);
    }
    void wake() { sem_post(&m_wake); }

private:
    void run()
    {
        bool waiting = false;
        while (!m_quit.load()) {
            if (waiting) {
                // A second at a time while a dropped thread waits to be
                // raised again.
                timespec until{};
                clock_gettime(CLOCK_REALTIME, &until);
                until.tv_sec += 1;
                while (sem_timedwait(&m_wake, &until) != 0 && errno == EINTR) {
                }
            } else {
                while (sem_wait(&m_wake) != 0 && errno == EINTR) {
                }
            }
            logDrops();
            waiting = askAgain();
            for (int r = 0; r < kRoles; ++r) {
                State &s = g_state[r];
                if (const long tid = s.pending.exchange(0)) {
                    raise(Role(r), pid_t(tid), s.pendingPriority.load());
                    if (Role(r) != Role::Sequencer && s.grant.load() == int(Grant::Granted))
                        g_scanLibrary.store(true);
                }
            }
            if (g_scanLibrary.exchange(false)) {
                for (const Role role : {Role::Synthesizer, Role::AudioPlayer}) {
                    const State &s = g_state[int(role)];
                    if (s.grant.load() == int(Grant::Granted)) {
                        raiseLibraryThreads(s.priority.load(), Method(s.method.load()));
                        break;
                    }
                }
            }
        }
    }

    sem_t m_wake;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

std::atomic<Helper *> g_helper{nullptr};

void wakeHelper()
{
    if (Helper *helper = g_helper.load())
        helper->wake();
}
#endif

} // namespace

bool raiseThisThread(Role role, int priority)
{
#ifdef __linux__
    const pid_t tid = gettid();
    g_state[int(role)].asked.store(tid);
    raise(role, tid, priority);
    return runsRealTime(tid);
#else
    return false;
#endif
}

void askForThisThread(Role role, int priority)
{
#ifdef __linux__
    State &s = g_state[int(role)];
    const pid_t tid = gettid();
    if (s.asked.exchange(tid) == tid)
        return;
    if (runsRealTime(0)) {
        // The audio library raised it already.
        sched_param param{};
        sched_getparam(0, &param);
        s.method.store(Scheduler);
        s.priority.store(param.sched_priority);
        s.grant.store(int(Grant::Granted));
        s.dropped.store(false);
        s.raised.store(tid);
        if (role != Role::Sequencer) {
            g_scanLibrary.store(true);
            wakeHelper();
        }
        return;
    }
    Helper *helper = g_helper.load(std::memory_order_acquire);
    if (!helper)
        return;
    s.pendingPriority.store(priority);
    s.pending.store(tid);
    helper->wake();
#endif
}

void startHelper()
{
#ifdef __linux__
    static std::once_flag once;
    std::call_once(once, [] {
        static Helper helper;
        g_helper.store(&helper, std::memory_order_release);
    });
    guardLimit();
#endif
}

Grant grant(Role role)
{
    return Grant(g_state[int(role)].grant.load());
}

bool refused()
{
    for (const State &s : g_state)
        if (Grant(s.grant.load()) == Grant::Refused)
            return true;
    return false;
}

std::string report()
{
    std::string line;
    for (int r = 0; r < kRoles; ++r) {
        const State &s = g_state[r];
        const Grant g = Grant(s.grant.load());
        if (g == Grant::NotAsked)
            continue;
        if (!line.empty())
            line += ", ";
        line += kRoleNames[r];
        line += ": ";
        if (g == Grant::Refused) {
            line += s.dropped.load() ? "normal priority (dropped at the real-time CPU time limit)" : "normal priority";
            continue;
        }
        line += "real-time " + std::to_string(s.priority.load());
        line += s.method.load() == RealtimeKit ? " (RealtimeKit)" : "";
    }
    return line.empty() ? "no thread asked for real-time scheduling" : line;
}

void resetForTest()
{
    for (State &s : g_state) {
        s.grant.store(int(Grant::NotAsked));
        s.method.store(None);
        s.priority.store(0);
        s.asked.store(0);
        s.pending.store(0);
        s.raised.store(0);
        s.dropped.store(false);
        s.droppedTid.store(0);
    }
    g_refusalLogged.store(false);
    g_drops.store(0);
    g_dropCount.store(0);
}

} // namespace ThreadPriority
