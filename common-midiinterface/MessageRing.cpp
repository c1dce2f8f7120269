#include "MessageRing.h"

#include <cstring>

MessageRing::MessageRing(size_t entries, int largeBlocks, int largeBytes)
    : m_queue(entries),
      m_largeBlocks(largeBlocks < 0 ? 0 : (largeBlocks > 64 ? 64 : largeBlocks)),
      m_largeBytes(largeBytes),
      m_large(new unsigned char[size_t(m_largeBlocks) * size_t(largeBytes)])
{
}

int MessageRing::claimLarge()
{
    uint64_t used = m_largeUsed.load(std::memory_order_relaxed);
    for (;;) {
        int index = -1;
        for (int i = 0; i < m_largeBlocks; ++i) {
            if (!(used & (uint64_t(1) << i))) {
                index = i;
                break;
            }
        }
        if (index < 0)
            return -1;
        if (m_largeUsed.compare_exchange_weak(used, used | (uint64_t(1) << index),
                                              std::memory_order_acquire))
            return index;
    }
}

bool MessageRing::push(const unsigned char *data, int length, double ms, bool atOnce)
{
    if (!data || length <= 0)
        return false;
    int large = -1;
    if (length > kInlineBytes) {
        if (length > m_largeBytes || (large = claimLarge()) < 0)
            return false;
        std::memcpy(m_large.get() + size_t(large) * size_t(m_largeBytes), data, size_t(length));
    }
    const bool queued = m_queue.pushWith([&](Entry &e) {
        e.ms = ms;
        e.atOnce = atOnce;
        e.length = length;
        e.large = large;
        if (large < 0)
            std::memcpy(e.bytes, data, size_t(length));
    });
    if (!queued && large >= 0)
        m_largeUsed.fetch_and(~(uint64_t(1) << large), std::memory_order_release);
    return queued;
}

void MessageRing::pop()
{
    const Entry *e = m_queue.front();
    if (!e)
        return;
    const int large = e->large;
    m_queue.pop();
    if (large >= 0)
        m_largeUsed.fetch_and(~(uint64_t(1) << large), std::memory_order_release);
}
