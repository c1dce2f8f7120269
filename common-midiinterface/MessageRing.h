// A bounded queue of timed byte strings (MIDI messages, or whole strings of
// them) for handing MIDI from one thread to another without allocating.
// Strings up to kInlineBytes sit in the queue's own cells; a longer one (a
// SysEx dump) takes one of a few preallocated large blocks and is never
// split. Any thread may push; one thread at a time pops (the caller
// serialises consumers).
#pragma once

#include "RealTime.h"

#include <atomic>
#include <cstdint>
#include <memory>

class MessageRing
{
public:
    static constexpr int kInlineBytes = 128;

    struct Entry {
        double ms;    // the sender's message time
        int length;
        int large;    // block index, -1 when the bytes are inline
        bool atOnce;  // sent at once (RealTime::MessageTime)
        unsigned char bytes[kInlineBytes];
    };

    // entries: a power of two; at most 64 large blocks of largeBytes each.
    MessageRing(size_t entries, int largeBlocks, int largeBytes);

    // False when the queue is full, no large block is free, or the string is
    // longer than a large block: nothing is queued then.
    bool push(const unsigned char *data, int length, double ms, bool atOnce = false);

    Entry *front() { return m_queue.front(); }
    const unsigned char *data(const Entry &e) const
    {
        return e.large < 0 ? e.bytes : m_large.get() + size_t(e.large) * size_t(m_largeBytes);
    }
    // Drops the front entry and frees its large block.
    void pop();
    bool empty() { return m_queue.empty(); }
    size_t size() const { return m_queue.size(); }
    int largeBytes() const { return m_largeBytes; }

private:
    int claimLarge();

    RealTime::BoundedQueue<Entry> m_queue;
    const int m_largeBlocks;
    const int m_largeBytes;
    std::unique_ptr<unsigned char[]> m_large;
    std::atomic<uint64_t> m_largeUsed{0};
};
