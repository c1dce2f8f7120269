#include "realtimeguard.h"

#include "RealTime.h"

#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QReadWriteLock>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <new>
#include <pthread.h>
#include <semaphore.h>
#include <sys/uio.h>
#include <unistd.h>

// The sanitizers' runtimes own malloc (both) and the locks (ThreadSanitizer),
// and intercept the writers: nothing of theirs is replaced.
#if defined(__SANITIZE_THREAD__)
#define GUARD_NO_NEW 1
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GUARD_NO_MALLOC 1
#endif
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define GUARD_NO_NEW 1
#define GUARD_NO_MALLOC 1
#endif
#if __has_feature(address_sanitizer)
#define GUARD_NO_MALLOC 1
#define GUARD_FRAME_POINTERS 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define GUARD_FRAME_POINTERS 1
#endif
// The sanitizer build turns Qt's lock annotations on (CMakeLists.txt): every
// QMutex lock of our code calls them, also one that finds the mutex free,
// which otherwise is inline code that calls nothing.
#if defined(QT_BUILDING_UNDER_TSAN) && !defined(GUARD_NO_NEW)
#define GUARD_LOCK_NOTES 1
#endif

namespace {

enum Kind { Allocation, Lock, Write, OpenMp, FluidSynthLock, Kinds };
const char *const kKindNames[Kinds] = {"allocations or frees", "blocking locks or waits", "writes",
                                       "allocations of FluidSynth's OpenMP region", "FluidSynth's own locks"};

std::atomic<bool> g_armed{false};
std::atomic<uint64_t> g_count[Kinds] = {};
constexpr int kSites = 6;
// Each site's callers, innermost first.
constexpr int kDepth = 8;
std::atomic<void *> g_sites[Kinds][kSites][kDepth] = {};

// The code of a library that is no code of ours, as address ranges.
struct Ranges {
    static constexpr int kMax = 8;
    uintptr_t lo[kMax] = {}, hi[kMax] = {};
    int count = 0;
    bool contains(const void *p) const
    {
        const auto a = reinterpret_cast<uintptr_t>(p);
        for (int i = 0; i < count; ++i)
            if (a >= lo[i] && a < hi[i])
                return true;
        return false;
    }
};
Ranges g_gomp, g_fluid, g_program;
// Inside FluidSynth's call of GOMP_parallel (see below).
thread_local bool t_inOpenMp = false;

int collect(dl_phdr_info *info, size_t, void *)
{
    const char *name = info->dlpi_name ? info->dlpi_name : "";
    Ranges *r = !*name                                                                           ? &g_program
                : std::strstr(name, "/libgomp.")                                                 ? &g_gomp
                : std::strstr(name, "/libfluidsynth.") || std::strstr(name, "/libglib-2.0.") ? &g_fluid
                                                                                           : nullptr;
    if (!r)
        return 0;
    for (int i = 0; i < info->dlpi_phnum && r->count < Ranges::kMax; ++i) {
        const ElfW(Phdr) &ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD || !(ph.p_flags & PF_X))
            continue;
        r->lo[r->count] = info->dlpi_addr + ph.p_vaddr;
        r->hi[r->count] = r->lo[r->count] + ph.p_memsz;
        ++r->count;
    }
    return 0;
}

inline void note(Kind kind, void *caller, void *const *outer = nullptr, int outers = 0)
{
    if (!g_armed.load(std::memory_order_relaxed) || !RealTime::isRealTimeThread())
        return;
    if (kind == Allocation && (t_inOpenMp || g_gomp.contains(caller)))
        kind = OpenMp;
    else if (kind == Lock && g_fluid.contains(caller))
        kind = FluidSynthLock;
    const uint64_t n = g_count[kind].fetch_add(1, std::memory_order_relaxed);
    if (n >= kSites)
        return;
    g_sites[kind][n][0].store(caller, std::memory_order_relaxed);
    for (int d = 1; d < kDepth; ++d)
        g_sites[kind][n][d].store(d - 1 < outers ? outer[d - 1] : nullptr, std::memory_order_relaxed);
}

// A lock taken where it must not be, with its callers: in the sanitizer
// build (frame pointers kept, nothing inlined) the lock's own inline
// functions lie between it and the place that takes it. Elsewhere the frame
// pointer may be any register: only the caller is known.
#define NOTE_LOCK()                                                                                 \
    do {                                                                                            \
        void *outer[kDepth - 1] = {};                                                               \
        void *const caller = __builtin_return_address(0);                                           \
        const int outers = outerCallers(__builtin_frame_address(0), caller, outer);                 \
        note(Lock, caller, outer, outers);                                                          \
    } while (0)

// The frames are followed only through the test program's own code: a
// library's may keep anything in the frame pointer.
inline int outerCallers(void *frame, void *caller, void **out)
{
#ifdef GUARD_FRAME_POINTERS
    if (!g_armed.load(std::memory_order_relaxed) || !RealTime::isRealTimeThread() || !g_program.contains(caller))
        return 0;
    // frame[0]: the caller's frame, frame[1]: the return into the caller.
    auto *const *fp = static_cast<void *const *>(frame);
    int n = 0;
    while (n < kDepth - 1) {
        auto *const *up = static_cast<void *const *>(fp[0]);
        if (up <= fp || reinterpret_cast<uintptr_t>(up) - reinterpret_cast<uintptr_t>(fp) > (1u << 20)
            || reinterpret_cast<uintptr_t>(up) % sizeof(void *) != 0)
            break;
        fp = up;
        out[n++] = fp[1];
        if (!g_program.contains(fp[1]))
            break;
    }
    return n;
#else
    (void)frame;
    (void)caller;
    (void)out;
    return 0;
#endif
}

QString where(void *address)
{
    Dl_info info{};
    if (!address || !dladdr(address, &info))
        return QStringLiteral("?");
    const QString file = QString::fromLocal8Bit(info.dli_fname ? info.dli_fname : "?").section(QLatin1Char('/'), -1);
    if (!info.dli_sname)
        return QStringLiteral("%1+0x%2").arg(file).arg(quintptr(address) - quintptr(info.dli_fbase), 0, 16);
    return QStringLiteral("%1(%2+0x%3)")
        .arg(file, QString::fromLatin1(info.dli_sname))
        .arg(quintptr(address) - quintptr(info.dli_saddr), 0, 16);
}

// ---- the C library's own functions

#ifndef GUARD_NO_MALLOC
using MallocFn = void *(*)(size_t);
using FreeFn = void (*)(void *);
using CallocFn = void *(*)(size_t, size_t);
using ReallocFn = void *(*)(void *, size_t);
using MemalignFn = void *(*)(size_t, size_t);
using PosixMemalignFn = int (*)(void **, size_t, size_t);
using WriteFn = ssize_t (*)(int, const void *, size_t);
using WritevFn = ssize_t (*)(int, const iovec *, int);
using FwriteFn = size_t (*)(const void *, size_t, size_t, FILE *);
using FputsFn = int (*)(const char *, FILE *);
using FputcFn = int (*)(int, FILE *);
using FflushFn = int (*)(FILE *);
using VfprintfFn = int (*)(FILE *, const char *, va_list);
using PutsFn = int (*)(const char *);

struct Real {
    MallocFn malloc;
    FreeFn free;
    CallocFn calloc;
    ReallocFn realloc;
    MemalignFn memalign;
    PosixMemalignFn posixMemalign;
    MemalignFn alignedAlloc;
    WriteFn write;
    WritevFn writev;
    FwriteFn fwrite;
    FputsFn fputs;
    FputcFn fputc;
    FputcFn putc;
    FflushFn fflush;
    VfprintfFn vfprintf;
    PutsFn puts;
};
Real g_real;
bool g_resolving = false;

// What dlsym allocates while the real functions are looked up.
alignas(64) char g_boot[64 * 1024];
std::atomic<size_t> g_bootUsed{0};
void *bootAlloc(size_t n)
{
    n = (n + 63) & ~size_t(63);
    const size_t at = g_bootUsed.fetch_add(n);
    if (at + n > sizeof g_boot)
        std::abort();
    return g_boot + at;
}
bool isBoot(const void *p)
{
    return p >= static_cast<const void *>(g_boot) && p < static_cast<const void *>(g_boot + sizeof g_boot);
}

template <typename F>
void find(F &slot, const char *name)
{
    slot = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
    if (!slot)
        std::abort();
}

// The first call (before main, one thread) looks every one of them up.
bool resolve()
{
    if (g_real.malloc)
        return true;
    if (g_resolving)
        return false;
    g_resolving = true;
    Real r{};
    find(r.malloc, "malloc");
    find(r.free, "free");
    find(r.calloc, "calloc");
    find(r.realloc, "realloc");
    find(r.memalign, "memalign");
    find(r.posixMemalign, "posix_memalign");
    find(r.alignedAlloc, "aligned_alloc");
    find(r.write, "write");
    find(r.writev, "writev");
    find(r.fwrite, "fwrite");
    find(r.fputs, "fputs");
    find(r.fputc, "fputc");
    find(r.putc, "putc");
    find(r.fflush, "fflush");
    find(r.vfprintf, "vfprintf");
    find(r.puts, "puts");
    g_real = r;
    g_resolving = false;
    return true;
}
#define RA __builtin_return_address(0)
#endif

} // namespace

#ifndef GUARD_NO_MALLOC
extern "C" {
void *malloc(size_t n)
{
    if (!resolve())
        return bootAlloc(n);
    note(Allocation, RA);
    return g_real.malloc(n);
}
void free(void *p)
{
    if (!p || isBoot(p))
        return;
    if (!resolve())
        return;
    note(Allocation, RA);
    g_real.free(p);
}
void *calloc(size_t n, size_t size)
{
    if (!resolve()) {
        void *p = bootAlloc(n * size);
        std::memset(p, 0, n * size);
        return p;
    }
    note(Allocation, RA);
    return g_real.calloc(n, size);
}
void *realloc(void *p, size_t n)
{
    if (!resolve() || isBoot(p)) {
        void *q = resolve() ? g_real.malloc(n) : bootAlloc(n);
        if (p && q)
            std::memcpy(q, p, std::min<size_t>(n, size_t(g_boot + sizeof g_boot - static_cast<char *>(p))));
        return q;
    }
    note(Allocation, RA);
    return g_real.realloc(p, n);
}
void *memalign(size_t align, size_t n)
{
    resolve();
    note(Allocation, RA);
    return g_real.memalign(align, n);
}
int posix_memalign(void **out, size_t align, size_t n)
{
    resolve();
    note(Allocation, RA);
    return g_real.posixMemalign(out, align, n);
}
void *aligned_alloc(size_t align, size_t n)
{
    resolve();
    note(Allocation, RA);
    return g_real.alignedAlloc(align, n);
}

ssize_t write(int fd, const void *data, size_t n)
{
    resolve();
    note(Write, RA);
    return g_real.write(fd, data, n);
}
ssize_t writev(int fd, const iovec *v, int count)
{
    resolve();
    note(Write, RA);
    return g_real.writev(fd, v, count);
}
size_t fwrite(const void *data, size_t size, size_t n, FILE *f)
{
    resolve();
    note(Write, RA);
    return g_real.fwrite(data, size, n, f);
}
int fputs(const char *s, FILE *f)
{
    resolve();
    note(Write, RA);
    return g_real.fputs(s, f);
}
int fputc(int c, FILE *f)
{
    resolve();
    note(Write, RA);
    return g_real.fputc(c, f);
}
int putc(int c, FILE *f)
{
    resolve();
    note(Write, RA);
    return g_real.putc(c, f);
}
int fflush(FILE *f)
{
    resolve();
    note(Write, RA);
    return g_real.fflush(f);
}
int puts(const char *s)
{
    resolve();
    note(Write, RA);
    return g_real.puts(s);
}
int vfprintf(FILE *f, const char *format, va_list ap)
{
    resolve();
    note(Write, RA);
    return g_real.vfprintf(f, format, ap);
}
int fprintf(FILE *f, const char *format, ...)
{
    resolve();
    note(Write, RA);
    va_list ap;
    va_start(ap, format);
    const int n = g_real.vfprintf(f, format, ap);
    va_end(ap);
    return n;
}
int printf(const char *format, ...)
{
    resolve();
    note(Write, RA);
    va_list ap;
    va_start(ap, format);
    const int n = g_real.vfprintf(stdout, format, ap);
    va_end(ap);
    return n;
}
} // extern "C"
#endif

#ifndef GUARD_NO_NEW
namespace {
// The next definition of `name` (the C library's, Qt's): looked up once.
template <typename F>
F next(std::atomic<F> &cache, const char *name)
{
    F f = cache.load(std::memory_order_acquire);
    if (!f) {
        f = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
        if (!f)
            std::abort();
        cache.store(f, std::memory_order_release);
    }
    return f;
}
// A condition variable's functions exist in two versions, the one before
// the present condition variables among them: the present one, by name.
template <typename F>
F nextCond(std::atomic<F> &cache, const char *name)
{
    F f = cache.load(std::memory_order_acquire);
    if (!f) {
        f = reinterpret_cast<F>(dlvsym(RTLD_NEXT, name, "GLIBC_2.3.2"));
        if (!f)
            return next(cache, name);
        cache.store(f, std::memory_order_release);
    }
    return f;
}
} // namespace

// Blocking locks: std::mutex and std::shared_mutex reach these; a try-lock
// does not.
extern "C" int pthread_mutex_lock(pthread_mutex_t *mutex)
{
    static std::atomic<int (*)(pthread_mutex_t *)> real{nullptr};
    NOTE_LOCK();
    return next(real, "pthread_mutex_lock")(mutex);
}
extern "C" int pthread_rwlock_rdlock(pthread_rwlock_t *lock)
{
    static std::atomic<int (*)(pthread_rwlock_t *)> real{nullptr};
    NOTE_LOCK();
    return next(real, "pthread_rwlock_rdlock")(lock);
}
extern "C" int pthread_rwlock_wrlock(pthread_rwlock_t *lock)
{
    static std::atomic<int (*)(pthread_rwlock_t *)> real{nullptr};
    NOTE_LOCK();
    return next(real, "pthread_rwlock_wrlock")(lock);
}

// Timed locks (std::timed_mutex's try_lock_for/until reach these) and waits
// on a condition variable (std::condition_variable, QWaitCondition) or a
// semaphore: each may wait on another thread. A condition variable's
// functions are looked up by the version the library's callers use.
extern "C" int pthread_mutex_timedlock(pthread_mutex_t *mutex, const struct timespec *until)
{
    static std::atomic<int (*)(pthread_mutex_t *, const struct timespec *)> real{nullptr};
    NOTE_LOCK();
    return next(real, "pthread_mutex_timedlock")(mutex, until);
}
extern "C" int pthread_mutex_clocklock(pthread_mutex_t *mutex, clockid_t clock, const struct timespec *until)
{
    static std::atomic<int (*)(pthread_mutex_t *, clockid_t, const struct timespec *)> real{nullptr};
    NOTE_LOCK();
    return next(real, "pthread_mutex_clocklock")(mutex, clock, until);
}
extern "C" int pthread_cond_wait(pthread_cond_t *cond, pthread_mutex_t *mutex)
{
    static std::atomic<int (*)(pthread_cond_t *, pthread_mutex_t *)> real{nullptr};
    NOTE_LOCK();
    return nextCond(real, "pthread_cond_wait")(cond, mutex);
}
extern "C" int pthread_cond_timedwait(pthread_cond_t *cond, pthread_mutex_t *mutex, const struct timespec *until)
{
    static std::atomic<int (*)(pthread_cond_t *, pthread_mutex_t *, const struct timespec *)> real{nullptr};
    NOTE_LOCK();
    return nextCond(real, "pthread_cond_timedwait")(cond, mutex, until);
}
extern "C" int pthread_cond_clockwait(pthread_cond_t *cond, pthread_mutex_t *mutex, clockid_t clock,
                                      const struct timespec *until)
{
    static std::atomic<int (*)(pthread_cond_t *, pthread_mutex_t *, clockid_t, const struct timespec *)> real{
        nullptr};
    NOTE_LOCK();
    return next(real, "pthread_cond_clockwait")(cond, mutex, clock, until);
}
extern "C" int sem_wait(sem_t *sem)
{
    static std::atomic<int (*)(sem_t *)> real{nullptr};
    NOTE_LOCK();
    return next(real, "sem_wait")(sem);
}
extern "C" int sem_timedwait(sem_t *sem, const struct timespec *until)
{
    static std::atomic<int (*)(sem_t *, const struct timespec *)> real{nullptr};
    NOTE_LOCK();
    return next(real, "sem_timedwait")(sem, until);
}
extern "C" int sem_clockwait(sem_t *sem, clockid_t clock, const struct timespec *until)
{
    static std::atomic<int (*)(sem_t *, clockid_t, const struct timespec *)> real{nullptr};
    NOTE_LOCK();
    return next(real, "sem_clockwait")(sem, clock, until);
}

// Qt's: QMutex::lock() is inline and calls QtCore only when the mutex is
// taken (then it waits there, also in a timed tryLock); QRecursiveMutex and
// QReadWriteLock lock in QtCore. Our code's calls reach these definitions,
// which hand them on to QtCore's.
void QBasicMutex::lockInternal() QT_MUTEX_LOCK_NOEXCEPT
{
    static std::atomic<void (*)(QBasicMutex *)> real{nullptr};
#ifndef GUARD_LOCK_NOTES
    NOTE_LOCK();
#endif
    next(real, "_ZN11QBasicMutex12lockInternalEv")(this);
}
bool QBasicMutex::lockInternal(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static std::atomic<bool (*)(QBasicMutex *, int)> real{nullptr};
    if (timeout != 0)
        NOTE_LOCK();
    return next(real, "_ZN11QBasicMutex12lockInternalEi")(this, timeout);
}
bool QRecursiveMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static std::atomic<bool (*)(QRecursiveMutex *, int)> real{nullptr};
    if (timeout != 0)
        NOTE_LOCK();
    return next(real, "_ZN15QRecursiveMutex7tryLockEi")(this, timeout);
}
void QReadWriteLock::lockForRead()
{
    static std::atomic<void (*)(QReadWriteLock *)> real{nullptr};
    NOTE_LOCK();
    next(real, "_ZN14QReadWriteLock11lockForReadEv")(this);
}
void QReadWriteLock::lockForWrite()
{
    static std::atomic<void (*)(QReadWriteLock *)> real{nullptr};
    NOTE_LOCK();
    next(real, "_ZN14QReadWriteLock12lockForWriteEv")(this);
}
bool QReadWriteLock::tryLockForRead(int timeout)
{
    static std::atomic<bool (*)(QReadWriteLock *, int)> real{nullptr};
    if (timeout != 0)
        NOTE_LOCK();
    return next(real, "_ZN14QReadWriteLock14tryLockForReadEi")(this, timeout);
}
bool QReadWriteLock::tryLockForWrite(int timeout)
{
    static std::atomic<bool (*)(QReadWriteLock *, int)> real{nullptr};
    if (timeout != 0)
        NOTE_LOCK();
    return next(real, "_ZN14QReadWriteLock15tryLockForWriteEi")(this, timeout);
}

#ifdef GUARD_LOCK_NOTES
// Every QMutex lock and try-lock of our code, the free ones too; the other
// programs of the sanitizer build get do-nothing ones (cmake/locknotes.cpp).
extern "C" void __tsan_mutex_pre_lock(void *, unsigned flags)
{
    if (!(flags & __tsan_mutex_try_lock))
        NOTE_LOCK();
}
extern "C" void __tsan_mutex_post_lock(void *, unsigned, int) {}
extern "C" int __tsan_mutex_pre_unlock(void *, unsigned) { return 0; }
extern "C" void __tsan_mutex_post_unlock(void *, unsigned) {}
#endif

namespace {
void *allocate(std::size_t size, std::size_t align, void *caller)
{
    note(Allocation, caller);
    if (size == 0)
        size = 1;
#ifndef GUARD_NO_MALLOC
    resolve();
    return align > alignof(std::max_align_t) ? g_real.memalign(align, size) : g_real.malloc(size);
#else
    return align > alignof(std::max_align_t) ? std::aligned_alloc(align, (size + align - 1) / align * align)
                                             : std::malloc(size);
#endif
}
void *allocateOrThrow(std::size_t size, std::size_t align, void *caller)
{
    if (void *p = allocate(size, align, caller))
        return p;
    throw std::bad_alloc();
}
void release(void *p, void *caller)
{
    if (!p)
        return;
    note(Allocation, caller);
#ifndef GUARD_NO_MALLOC
    if (isBoot(p))
        return;
    resolve();
    g_real.free(p);
#else
    std::free(p);
#endif
}
} // namespace

#define CALLER __builtin_return_address(0)
void *operator new(std::size_t n) { return allocateOrThrow(n, 0, CALLER); }
void *operator new[](std::size_t n) { return allocateOrThrow(n, 0, CALLER); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept { return allocate(n, 0, CALLER); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return allocate(n, 0, CALLER); }
void *operator new(std::size_t n, std::align_val_t a) { return allocateOrThrow(n, std::size_t(a), CALLER); }
void *operator new[](std::size_t n, std::align_val_t a) { return allocateOrThrow(n, std::size_t(a), CALLER); }
void *operator new(std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept { return allocate(n, std::size_t(a), CALLER); }
void *operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept { return allocate(n, std::size_t(a), CALLER); }
void operator delete(void *p) noexcept { release(p, CALLER); }
void operator delete[](void *p) noexcept { release(p, CALLER); }
void operator delete(void *p, const std::nothrow_t &) noexcept { release(p, CALLER); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { release(p, CALLER); }
void operator delete(void *p, std::size_t) noexcept { release(p, CALLER); }
void operator delete[](void *p, std::size_t) noexcept { release(p, CALLER); }
void operator delete(void *p, std::align_val_t) noexcept { release(p, CALLER); }
void operator delete[](void *p, std::align_val_t) noexcept { release(p, CALLER); }
void operator delete(void *p, std::align_val_t, const std::nothrow_t &) noexcept { release(p, CALLER); }
void operator delete[](void *p, std::align_val_t, const std::nothrow_t &) noexcept { release(p, CALLER); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { release(p, CALLER); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { release(p, CALLER); }
#endif

// FluidSynth's reverb and chorus run in an OpenMP parallel region: what
// libgomp allocates and frees for it (the last of it through tail calls
// that return straight into FluidSynth) is told apart by the region.
extern "C" void GOMP_parallel(void (*fn)(void *), void *data, unsigned threads, unsigned flags)
{
    using ParallelFn = void (*)(void (*)(void *), void *, unsigned, unsigned);
    static std::atomic<ParallelFn> real{nullptr};
    ParallelFn parallel = real.load(std::memory_order_acquire);
    if (!parallel) {
        parallel = reinterpret_cast<ParallelFn>(dlsym(RTLD_NEXT, "GOMP_parallel"));
        real.store(parallel, std::memory_order_release);
    }
    const bool outer = !t_inOpenMp;
    t_inOpenMp = true;
    parallel(fn, data, threads, flags);
    if (outer)
        t_inOpenMp = false;
}

namespace RealTimeGuard {

bool available()
{
#ifdef GUARD_NO_NEW
    return false;
#else
    return true;
#endif
}

bool countsMalloc()
{
#ifdef GUARD_NO_MALLOC
    return false;
#else
    return true;
#endif
}

bool seesEveryQMutexLock()
{
#ifdef GUARD_LOCK_NOTES
    return true;
#else
    return false;
#endif
}

void arm(bool on)
{
    if (on) {
        static bool found = (dl_iterate_phdr(collect, nullptr), true);
        (void)found;
        for (int k = 0; k < Kinds; ++k) {
            g_count[k].store(0);
            for (auto &site : g_sites[k])
                for (auto &frame : site)
                    frame.store(nullptr);
        }
    }
    g_armed.store(on);
}

uint64_t allocations() { return g_count[Allocation].load(); }
uint64_t locks() { return g_count[Lock].load(); }
uint64_t writes() { return g_count[Write].load(); }
uint64_t openMpAllocations() { return g_count[OpenMp].load(); }
uint64_t fluidSynthLocks() { return g_count[FluidSynthLock].load(); }

namespace {

// Where each address lies, as "function (file:line)": addr2line reads the
// test program's own symbols and line tables, dladdr those of a library.
QStringList places(const QList<void *> &addresses)
{
    Dl_info self{};
    dladdr(reinterpret_cast<void *>(&places), &self);
    QStringList out;
    QStringList offsets;
    QList<int> ours;
    for (void *address : addresses) {
        Dl_info info{};
        const bool found = address && dladdr(address, &info);
        out << where(address);
        if (found && info.dli_fbase == self.dli_fbase && !info.dli_sname) {
            offsets << QStringLiteral("0x%1").arg(quintptr(address) - quintptr(info.dli_fbase), 0, 16);
            ours << int(out.size()) - 1;
        }
    }
    if (offsets.isEmpty())
        return out;
    QProcess addr2line;
    addr2line.start(QStringLiteral("addr2line"),
                    QStringList{QStringLiteral("-f"), QStringLiteral("-C"), QStringLiteral("-e"),
                                QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))}
                        + offsets);
    if (!addr2line.waitForFinished(30000))
        return out;
    const QStringList lines = QString::fromLocal8Bit(addr2line.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (int i = 0; i < ours.size() && 2 * i + 1 < lines.size(); ++i) {
        const QString function = lines.at(2 * i), line = lines.at(2 * i + 1).section(QLatin1Char('/'), -1);
        if (function != QLatin1String("??"))
            out[ours.at(i)] = line.startsWith(QLatin1String("??")) ? function : function + QStringLiteral(" (%1)").arg(line);
    }
    return out;
}

// The functions of a lock or a wait itself, which lie between it and the
// place that takes it where they are not inlined (or where line tables name
// the inlined ones, as in the sanitizer build), a return type before some.
bool insideLock(const QString &place)
{
    static const QRegularExpression lock(QStringLiteral(
        "^([\\w:]+ )?(QtTsan::|QBasicMutex|QMutex|QMutexLocker|QRecursiveMutex|QReadWriteLock|QReadLocker|"
        "QWriteLocker|std::(mutex|recursive_mutex|shared_mutex|timed_mutex|recursive_timed_mutex|"
        "condition_variable|counting_semaphore|binary_semaphore|lock_guard|unique_lock|shared_lock|scoped_lock|__)|"
        "__gthread)"));
    return lock.match(place).hasMatch();
}

} // namespace

QString report()
{
    QStringList lines;
    for (int k : {Allocation, Lock, Write}) {
        const uint64_t n = g_count[k].load();
        if (n == 0)
            continue;
        QStringList sites;
        for (int i = 0; i < int(std::min<uint64_t>(n, kSites)); ++i) {
            QList<void *> callers;
            for (const auto &frame : g_sites[k][i])
                if (void *address = frame.load())
                    callers << address;
            QStringList chain = places(callers);
            while (chain.size() > 1 && insideLock(chain.first()))
                chain.removeFirst();
            sites << chain.mid(0, 2).join(QStringLiteral(" < "));
        }
        sites.removeDuplicates();
        lines << QStringLiteral("%1 %2 on real-time threads, from %3").arg(n).arg(QString::fromLatin1(kKindNames[k]), sites.join(QStringLiteral(", ")));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace RealTimeGuard
