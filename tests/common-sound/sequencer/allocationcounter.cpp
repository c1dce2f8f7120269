#include "allocationcounter.h"

#include "RealTime.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <new>
#include <pthread.h>

namespace {
std::atomic<bool> g_armed{false};
std::atomic<uint64_t> g_allocations{0};
std::atomic<uint64_t> g_locks{0};
thread_local bool t_audio = false;

void *allocate(std::size_t size, std::size_t align = 0)
{
    if (g_armed.load(std::memory_order_relaxed) && RealTime::isRealTimeThread())
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (size == 0)
        size = 1;
    void *p = align > alignof(std::max_align_t) ? std::aligned_alloc(align, (size + align - 1) / align * align)
                                                 : std::malloc(size);
    return p;
}
void *allocateOrThrow(std::size_t size, std::size_t align = 0)
{
    if (void *p = allocate(size, align))
        return p;
    throw std::bad_alloc();
}
} // namespace

// ThreadSanitizer brings its own allocator and lock hooks: nothing is
// replaced there and the counter says it cannot count.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELMAR_NO_COUNTER 1
#endif
#endif

namespace AllocationCounter {
#ifdef VELMAR_NO_COUNTER
bool available() { return false; }
#else
bool available() { return true; }
#endif
void arm(bool on) { g_armed.store(on); }
uint64_t allocations() { return g_allocations.load(); }
uint64_t blockingLocks() { return g_locks.load(); }
void markAudioThread() { t_audio = true; }
} // namespace AllocationCounter

#ifndef VELMAR_NO_COUNTER
extern "C" int pthread_mutex_lock(pthread_mutex_t *mutex)
{
    using Lock = int (*)(pthread_mutex_t *);
    static const Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (g_armed.load(std::memory_order_relaxed) && RealTime::isRealTimeThread() && !t_audio)
        g_locks.fetch_add(1, std::memory_order_relaxed);
    return real(mutex);
}

void *operator new(std::size_t n) { return allocateOrThrow(n); }
void *operator new[](std::size_t n) { return allocateOrThrow(n); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept { return allocate(n); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return allocate(n); }
void *operator new(std::size_t n, std::align_val_t a) { return allocateOrThrow(n, std::size_t(a)); }
void *operator new[](std::size_t n, std::align_val_t a) { return allocateOrThrow(n, std::size_t(a)); }
void *operator new(std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept { return allocate(n, std::size_t(a)); }
void *operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept { return allocate(n, std::size_t(a)); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
#endif
