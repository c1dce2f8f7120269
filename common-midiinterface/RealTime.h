// What the real-time threads (the sequencer loop, the audio callback) may use
// to hand work to the others: a marker for "this thread must not block", the
// clock messages are stamped with, a bounded lock-free queue, and a log that
// formats into a preallocated ring instead of writing a file.
//
// Contract: on a thread marked real-time, nothing here allocates, frees or
// waits on a lock. Every ring is sized once at construction; when one is full
// the new entry is dropped and counted, never waited for.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace RealTime {

// True on a thread inside a ThreadScope (the sequencer loop, the audio
// callback while it renders).
bool isRealTimeThread();

class ThreadScope
{
public:
    ThreadScope();
    ~ThreadScope();
    ThreadScope(const ThreadScope &) = delete;
    ThreadScope &operator=(const ThreadScope &) = delete;

private:
    bool m_previous;
};

// The clock in milliseconds that stamps messages and that the audio callback
// maps to its stream: the monotonic clock, or one a test installs (null puts
// the monotonic clock back).
using ClockFunction = double (*)(void *user);
void setClock(ClockFunction clock, void *user);
double nowMs();

// While a MessageTime lives, messages sent from this thread carry its time
// (the engine pass's millisecond, a MIDI clock's exact time) instead of now.
// Messages sent "at once" are a user's command that changes what sounds (a
// key change): an output that places messages in time plays them as soon as
// it can, not at their place in the music.
class MessageTime
{
public:
    explicit MessageTime(double ms, bool atOnce = false);
    ~MessageTime();
    MessageTime(const MessageTime &) = delete;
    MessageTime &operator=(const MessageTime &) = delete;

private:
    double m_previous;
    bool m_previousAtOnce;
};
double messageTimeMs();
bool messageAtOnce();

// How late the sequencer loop wakes up: the loop reports each pass, the
// synthesizer reads the largest lateness of the last few seconds, and of the
// last half minute (0 when no loop has reported lately), to set a latency
// that covers it.
void noteWakeLateness(double ms);
double recentWakeLatenessMs();
double longWakeLatenessMs();
// An audio callback came `ms` after the one before while its stream played
// (from the callback; never waits). A wake-up of the sequencer about as late
// at the same moment was the whole program held (stopped, swapped out): the
// device's own catch-up covers that, and no room is left for it.
void noteAudioGap(double ms);

// Bounded multi-producer queue with one consumer at a time, after Vyukov:
// each cell carries a sequence number, so producers claim cells with one
// compare-and-swap and the consumer sees a cell only once it is complete.
template <typename T>
class BoundedQueue
{
public:
    explicit BoundedQueue(size_t capacityPowerOfTwo)
        : m_mask(capacityPowerOfTwo - 1), m_cells(new Cell[capacityPowerOfTwo])
    {
        for (size_t i = 0; i < capacityPowerOfTwo; ++i)
            m_cells[i].seq.store(i, std::memory_order_relaxed);
    }

    // Claims a cell and lets fill(T &) write it; false when full.
    template <typename Fill>
    bool pushWith(Fill &&fill)
    {
        size_t pos = m_tail.load(std::memory_order_relaxed);
        for (;;) {
            Cell &cell = m_cells[pos & m_mask];
            const size_t seq = cell.seq.load(std::memory_order_acquire);
            const intptr_t diff = intptr_t(seq) - intptr_t(pos);
            if (diff == 0) {
                if (m_tail.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                    fill(cell.value);
                    cell.seq.store(pos + 1, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                return false;
            } else {
                pos = m_tail.load(std::memory_order_relaxed);
            }
        }
    }
    bool push(const T &value)
    {
        return pushWith([&value](T &cell) { cell = value; });
    }

    // The oldest complete entry, or null; stays in place until pop().
    T *front()
    {
        Cell &cell = m_cells[m_head & m_mask];
        return cell.seq.load(std::memory_order_acquire) == m_head + 1 ? &cell.value : nullptr;
    }
    void pop()
    {
        m_cells[m_head & m_mask].seq.store(m_head + m_mask + 1, std::memory_order_release);
        ++m_head;
    }
    bool empty() { return front() == nullptr; }
    // Entries pushed and not yet popped (exact only while nobody pushes).
    size_t size() const { return m_tail.load(std::memory_order_acquire) - m_head; }

private:
    struct Cell {
        std::atomic<size_t> seq;
        T value;
    };
    const size_t m_mask;
    std::unique_ptr<Cell[]> m_cells;
    alignas(64) std::atomic<size_t> m_tail{0};
    alignas(64) size_t m_head = 0; // the consumer's
};

// Log lines written on a real-time thread wait here until drainLog() passes
// them to the normal log on another thread.
void drainLog();

} // namespace RealTime

// logMsg (logmsg.h) for code that may run on a real-time thread: there the
// line is formatted into the ring, elsewhere it is logged at once. A null
// sourceFile logs the plain text, as qDebug (level 4) or qWarning (2) would.
void rtLogMsg(int level, const char *sourceFile, int line, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

// As rtLogMsg, but the line waits in the ring whatever the thread, until
// drainLog(): for a thread that has just been made real-time before its
// loop marks it, or one that holds the engine still and must not wait on
// the log file meanwhile.
void rtLogMsgDeferred(int level, const char *sourceFile, int line, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;
