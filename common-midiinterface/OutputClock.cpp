#include "OutputClock.h"

#include <cstdio>

#include <sched.h>

#include <algorithm>
#include <cmath>

double OutputClock::serverBridgeMs(double askedMs)
{
    return std::min(askedMs * 3 / 4, askedMs / 2 + 18.0);
}

double OutputClock::serverQueueMs(double bridgeMs)
{
    return bridgeMs <= 54.0 ? bridgeMs * 4 / 3 : 2 * (bridgeMs - 18.0);
}

void OutputClock::reset(double framesPerMs, double queueFrames)
{
    m_renderEndMs = -1;
    m_renderTookMs = m_previousTookMs = m_awayMs = 0;
    m_perMs = framesPerMs > 0 ? framesPerMs : 44.1;
    m_queue = std::max(0.0, queueFrames);
    m_anchored = false;
    m_steady = false;
    m_top = m_low = m_late = m_excess = m_end = 0;
    m_topCount = 0;
    m_windowCount = 0;
    m_dryAtMs = -1e300;
    m_regainable = 0;
    m_lostAtSpan = 0;
    m_sequence.store(0, std::memory_order_release);
    m_worstExcess.store(0, std::memory_order_relaxed);
    m_widestSwing.store(0, std::memory_order_relaxed);
    m_losses.store(0, std::memory_order_relaxed);
    m_lostMs.store(0, std::memory_order_relaxed);
}

double OutputClock::highestEnd() const
{
    return std::max(m_hi, m_hiPrevious);
}

double OutputClock::lowest() const
{
    return std::min(m_lo, m_loPrevious);
}

void OutputClock::move(double frames)
{
    m_hi += frames;
    m_hiPrevious += frames;
    m_lo += frames;
    m_loPrevious += frames;
    m_top += frames;
    m_low += frames;
    m_windowTop += frames;
    for (double &t : m_windowTops)
        t += frames;
}

void OutputClock::lose(double frames)
{
    move(-frames);
    m_regainable += frames;
    m_lostAtSpan = m_topCount;
    m_losses.fetch_add(1, std::memory_order_relaxed);
    m_lostMs.store(m_lostMs.load(std::memory_order_relaxed) + frames / m_perMs, std::memory_order_relaxed);
}

namespace {
double median(const double *values, int count)
{
    double sorted[32];
    std::copy(values, values + count, sorted);
    std::nth_element(sorted, sorted + count / 2, sorted + count);
    return sorted[count / 2];
}
} // namespace

// A device whose request came late but whose queue bridged the delay catches
// up with a burst and is back at its top within a few of its cycles. One that
// ran dry (a request later than its queue bridges) goes on through its cycles
// that much lower: the highest places of the last two spans stay below the
// usual one. A fall below the lowest place by more than the device swings
// through and its queue bridges, plus kStallMs, is a stall, taken at once.
double OutputClock::request(double now, double position, unsigned frames)
{
    m_awayMs = m_renderEndMs < 0 ? 0 : now - m_renderEndMs;
    m_previousTookMs = m_renderTookMs;
    m_requestMs = now;
    m_requestFrames = frames;
    const double place = position - now * m_perMs;
    const double end = place + frames;
    m_end = position + frames;
    if (!m_anchored) {
        m_anchored = true;
        m_startMs = now;
        m_startPlace = place;
    }
    const bool starting = now - m_startMs < kStartupMs || position < kStartupMs * m_perMs;
    // Before the picture is steady a loss cannot be placed; a thread away
    // longer than the queue bridges lost the difference all the same.
    m_startLossFrames = 0;
    if ((starting || !m_steady) && m_renderEndMs >= 0 && m_awayMs * m_perMs > m_queue)
        m_startLossFrames = m_awayMs * m_perMs - m_queue;
    if (starting || !m_steady) {
        m_windowStartMs = m_spanStartMs = now;
        m_hi = m_hiPrevious = end;
        m_lo = m_loPrevious = place;
        m_topCount = 0;
        m_tops[0] = m_lows[0] = place;
        m_windowCount = 0;
        m_windowTop = m_low = place;
        // A device starts playing with its first request, however much it
        // takes at first; from the first request after the start-up on, it
        // is where it asks.
        m_top = starting ? m_startPlace + m_queue : place;
        m_late = m_excess = 0;
        m_steady = !starting;
        return 0;
    }

    // How late this request came, against the picture before it.
    m_late = std::max(0.0, m_top - place);
    m_excess = std::max(0.0, m_low - place);
    if (m_excess / m_perMs > m_worstExcess.load(std::memory_order_relaxed))
        m_worstExcess.store(m_excess / m_perMs, std::memory_order_relaxed);

    double lost = 0;
    const double lo = lowest();
    const double swing = highestEnd() - frames - lo;
    if (lo - place > swing + m_queue + kStallMs * m_perMs) {
        // At least what its queue did not bridge; what a stopped device
        // lost beyond that shows in its tops.
        lost = lo - place - m_queue;
        lose(lost);
        m_dryAtMs = now;
        m_topCount = 0;
        m_lostAtSpan = 0;
        m_tops[0] = m_lows[0] = place;
        m_spanStartMs = now;
    }
    if (m_top - place >= m_queue - kJitterMs * m_perMs)
        m_dryAtMs = now;
    // A request that came later than its queue bridges: the device ran dry
    // at least for the difference, taken at once (what it played is heard
    // that much later); anything more (it waits to be filled again) shows in
    // its tops.
    if (m_queue > 0 && lost == 0 && m_top - place > m_queue + kDryMarginMs * m_perMs) {
        const double dry = m_top - place - m_queue;
        lose(dry);
        lost = dry;
        for (int i = 0; i < kTops; ++i) {
            m_tops[i] -= dry;
            m_lows[i] -= dry;
        }
    }
    const int slot = m_topCount % kTops;
    if (now - m_spanStartMs >= kTopMs) {
        const bool mayHaveLost = m_queue <= 0 || now - m_dryAtMs < kDryMs;
        if (!mayHaveLost)
            m_regainable = 0;
        if (m_regainable > 0 && m_topCount - m_lostAtSpan >= 2) {
            // The last two spans since the loss reached higher than it left
            // the device: it lost less than it seemed (a sound server may
            // skip what came late rather than play it late). What it did
            // not lose is taken back, or the music would stay early.
            const double recent = std::max(m_tops[slot], m_tops[(m_topCount - 1) % kTops]);
            if (recent - m_top > kJitterMs * m_perMs) {
                const double back = std::min(recent - m_top, m_regainable);
                // The window in progress holds the requests since the loss,
                // where the device is: its top and highest end stay.
                const double windowTop = m_windowTop, hi = m_hi;
                move(back);
                m_windowTop = windowTop;
                m_hi = hi;
                m_regainable -= back;
                m_lostMs.store(std::max(0.0, m_lostMs.load(std::memory_order_relaxed) - back / m_perMs),
                               std::memory_order_relaxed);
                lost -= back;
                for (int i = 0; i < kTops; ++i)
                    m_lows[i] += back;
            }
        }
        if (m_topCount >= kTops && mayHaveLost) {
            // A device that asks in large chunks reaches its top unevenly:
            // what stays within that spread is no loss.
            double sorted[kTops];
            std::copy(m_tops, m_tops + kTops, sorted);
            std::sort(sorted, sorted + kTops);
            const double usual = sorted[kTops / 2];
            const double spread = sorted[kTops * 3 / 4] - sorted[kTops / 4];
            const double recent = std::max(m_tops[slot], m_tops[(m_topCount - 1) % kTops]);
            if (usual - recent > kJitterMs * m_perMs + spread) {
                lose(usual - recent);
                lost += usual - recent;
                for (int i = 0; i < kTops; ++i) {
                    m_tops[i] = std::min(m_tops[i], recent);
                    m_lows[i] -= usual - recent;
                }
            }
        }
        ++m_topCount;
        m_tops[m_topCount % kTops] = m_lows[m_topCount % kTops] = place;
        m_spanStartMs = now;
    } else {
        m_tops[slot] = std::max(m_tops[slot], place);
        m_lows[slot] = std::min(m_lows[slot], place);
    }

    if (now - m_windowStartMs >= kWindowMs) {
        m_windowTops[m_windowCount++ % kWindows] = m_windowTop;
        m_hiPrevious = m_hi;
        m_loPrevious = m_lo;
        m_hi = end;
        m_windowTop = m_lo = place;
        m_windowStartMs = now;
    } else {
        m_hi = std::max(m_hi, end);
        m_lo = std::min(m_lo, place);
        m_windowTop = std::max(m_windowTop, place);
    }

    // The window in progress counts only until one has finished.
    const int windows = std::min(m_windowCount, kWindows);
    m_top = windows > 0 ? median(m_windowTops, windows) : m_windowTop;
    const int spans = std::min(m_topCount, kTops);
    m_low = spans > 0 ? median(m_lows, spans) : std::min(m_low, place);
    if (swingFrames() / m_perMs > m_widestSwing.load(std::memory_order_relaxed))
        m_widestSwing.store(swingFrames() / m_perMs, std::memory_order_relaxed);
    return lost;
}

void OutputClock::publish(double mark, double markPerFrame)
{
    // Odd while publish n + 1 fills slot (n + 1) & 1, even once it is whole.
    const uint32_t sequence = m_sequence.load(std::memory_order_relaxed);
    const uint32_t n = sequence / 2;
    m_sequence.store(2 * n + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    Slot &slot = m_slots[(n + 1) & 1];
    slot.heardOffset.store(m_top - m_queue, std::memory_order_relaxed);
    slot.end.store(m_end, std::memory_order_relaxed);
    slot.mark.store(mark, std::memory_order_relaxed);
    slot.markPerFrame.store(markPerFrame, std::memory_order_relaxed);
    slot.perMs.store(m_perMs, std::memory_order_relaxed);
    m_sequence.store(2 * n + 2, std::memory_order_release);
}

double OutputClock::heardMark(double now) const
{
    for (;;) {
        // The last whole publish; the writer fills the other slot meanwhile.
        const uint32_t sequence = m_sequence.load(std::memory_order_acquire);
        const uint32_t n = sequence / 2;
        if (n == 0)
            return std::numeric_limits<double>::quiet_NaN();
        const Slot &slot = m_slots[n & 1];
        const double offset = slot.heardOffset.load(std::memory_order_relaxed);
        const double end = slot.end.load(std::memory_order_relaxed);
        const double mark = slot.mark.load(std::memory_order_relaxed);
        const double perFrame = slot.markPerFrame.load(std::memory_order_relaxed);
        const double perMs = slot.perMs.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        // Publish n + 2 writes into this slot again: read it anew once that
        // one has begun.
        if (m_sequence.load(std::memory_order_relaxed) >= 2 * n + 3)
            continue;
        const double heard = std::min(now * perMs + offset, end);
        return mark - (end - heard) * perFrame;
    }
}

void OutputClock::explainLoss(char *out, unsigned size, double lostFrames) const
{
    const double bufferMs = m_requestFrames / m_perMs;
    const double queueMs = m_queue / m_perMs;
    // A thread running real-time is run at once on a machine busy with
    // others: away, it waited in the write for the sound server.
    const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    const bool realTime = policy == SCHED_FIFO || policy == SCHED_RR;
    const char *why = m_previousTookMs > bufferMs ? "its render took longer than a buffer lasts (slow, or waiting for a lock)"
                      : m_awayMs > queueMs / 2
                          ? (realTime ? "it was held up between renders, running real-time: in the audio library's write, "
                                        "which the sound server did not take"
                                      : "it was held up between renders, at normal priority: in the audio library's "
                                        "write, or not run by the scheduler")
                          : "it came in time: the device ran dry by itself (the sound server held up)";
    std::snprintf(out, size,
                  "drop-out at %.0f ms: the device ran dry, %.0f ms lost; the audio thread came %.0f ms after its last "
                  "render, which took %.1f ms (a buffer lasts %.1f ms, the queue bridges %.0f ms): %s",
                  m_requestMs, lostFrames / m_perMs, m_awayMs, m_previousTookMs, bufferMs, queueMs, why);
}
