// Where an audio device that asks for sound at its own pace (a sound server, a
// sound card) stands against the clock, and what it plays at a given moment.
//
// The device plays its frames at a steady rate and asks for more whenever its
// queue has room: a request that comes in time finds the queue full, so the
// place of such requests (frames asked for so far less the clock in frames)
// is the device's top. A request held up by a busy machine comes lower; the
// queue bridges it, and the next requests come back up to the top. A device
// that ran dry (a drop-out, a stall) lost that time for good: its top stays
// lower by the time lost. The frame heard now is the top less what the queue
// holds, and never past the last frame handed over.
//
// Threads: request() and publish() on the render thread only (or while none
// runs); heardMark() and the figures from any thread, without waiting.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>

class OutputClock
{
public:
    // A stream's first requests come before it runs steadily (a sound
    // server starts it late): they say nothing about the device.
    static constexpr double kStartupMs = 100.0;
    // A fall below the device's lowest place by more than it usually swings
    // through and its queue bridges, and this, is a stall: taken at once.
    static constexpr double kStallMs = 40.0;

    // Sound servers do not tell what they hold. PulseAudio keeps half the
    // queue asked for beyond a request and plays from a latency of its own,
    // a quarter of the queue up to 18 ms (measured on its null sink, recorded
    // through its own timing): what a queue of askedMs bridges, and the
    // queue that bridges bridgeMs.
    static double serverBridgeMs(double askedMs);
    static double serverQueueMs(double bridgeMs);

    // A new stream: `framesPerMs` its rate, `queueFrames` what the device
    // holds beyond a request that comes in time.
    void reset(double framesPerMs, double queueFrames);

    // Each request of `frames` from `position` (frames handed over so far) at
    // nowMs. Returns the frames the device lost, found at this request
    // (0 as a rule); the top has moved down by as much. Negative: it came
    // back higher soon after a loss, which was that much smaller than it
    // seemed; the top has moved up by as much.
    double request(double nowMs, double position, unsigned frames);

    // Past the start-up: the figures below describe the device.
    bool steady() const { return m_steady; }
    // The place of a request in time: the median of the highest places of
    // the last half-second windows (a device that asks in uneven chunks
    // reaches its top within each of them).
    double top() const { return m_top; }
    // The highest end (place plus frames) of a request and the lowest place,
    // over the last half second or more.
    double highestEnd() const;
    double lowest() const;
    // How far the latest request came below the top, in frames (0 in
    // time); the device's own swing between its top and its usual lowest
    // place (it asks in chunks); and how far the latest request came below
    // that usual lowest (the audio thread's own lateness).
    double lateFrames() const { return m_late; }
    double swingFrames() const { return m_top - m_low; }
    double excessFrames() const { return m_excess; }
    double framesPerMs() const { return m_perMs; }
    double queueFrames() const { return m_queue; }
    // Moves the whole picture by `frames` (the caller re-reads it).
    void move(double frames);

    // After each render: when it ended, so that a loss can be told.
    void rendered(double nowMs)
    {
        m_renderTookMs = nowMs - m_requestMs;
        m_renderEndMs = nowMs;
    }
    // A line for the log about the loss the latest request found: when, how
    // much, and what held the audio thread from the device: its render (slow,
    // or waiting), the time between renders (the audio library's write, or
    // the scheduler), or nothing of ours (the device ran dry by itself).
    void explainLoss(char *out, unsigned size, double lostFrames) const;
    // Frames the latest request lost while the stream was starting (the
    // picture not steady yet, request() says 0): a thread away for longer
    // than the queue bridges.
    double startLossFrames() const { return m_startLossFrames; }

    // After a request: the caller's mark (a message time, a song position)
    // at the end of what was handed over, and how far it moves per frame.
    void publish(double mark, double markPerFrame);
    // The caller's mark heard at nowMs: NaN before the first publish.
    double heardMark(double nowMs) const;

    // Since reset: the audio thread's own lateness at its worst (ms), the
    // device's swing at its widest (ms), the losses found and the time lost.
    double worstExcessMs() const { return m_worstExcess.load(std::memory_order_relaxed); }
    double widestSwingMs() const { return m_widestSwing.load(std::memory_order_relaxed); }
    uint64_t losses() const { return m_losses.load(std::memory_order_relaxed); }
    double lostMs() const { return m_lostMs.load(std::memory_order_relaxed); }

private:
    void lose(double frames);

    static constexpr int kTops = 16;
    static constexpr double kTopMs = 50.0;
    static constexpr double kWindowMs = 500.0;
    static constexpr double kJitterMs = 3.0;
    static constexpr double kDryMs = 1000.0;
    static constexpr double kDryMarginMs = 5.0;

    // The latest request and the render before it (ms), for explainLoss().
    double m_requestMs = 0;
    double m_requestFrames = 0;
    double m_awayMs = 0;
    double m_renderEndMs = -1;
    double m_renderTookMs = 0;
    double m_previousTookMs = 0;
    double m_startLossFrames = 0;

    double m_perMs = 44.1;
    double m_queue = 0;
    bool m_anchored = false;
    bool m_steady = false;
    double m_startMs = 0;
    double m_startPlace = 0;
    double m_top = 0;
    double m_low = 0;
    double m_late = 0;
    double m_excess = 0;
    // A request later than the queue bridges was seen this recently: the
    // device may have lost time (a device without a queue always may).
    double m_dryAtMs = -1e300;
    // Frames lost lately that the device may yet show it did not lose.
    double m_regainable = 0;
    int m_lostAtSpan = 0;
    // The highest end and the lowest place over this window and the last;
    // the highest place of this window and of the last ones.
    static constexpr int kWindows = 8;
    double m_windowStartMs = 0;
    double m_hi = 0, m_hiPrevious = 0;
    double m_lo = 0, m_loPrevious = 0;
    double m_windowTop = 0;
    double m_windowTops[kWindows] = {};
    int m_windowCount = 0;
    // The highest and the lowest place of each of the last short spans.
    double m_spanStartMs = 0;
    double m_tops[kTops] = {};
    double m_lows[kTops] = {};
    int m_topCount = 0;

    // Published for other threads: two slots, so that a reader never waits
    // for the writer. The sequence number, twice the publishes, is odd while
    // the writer fills a slot: it tells which one is whole and when a reader
    // must read again.
    struct Slot {
        std::atomic<double> heardOffset{0}; // heard frame = now * perMs + this
        std::atomic<double> end{0};         // the last frame handed over
        std::atomic<double> mark{0};
        std::atomic<double> markPerFrame{0};
        std::atomic<double> perMs{0};
    };
    Slot m_slots[2];
    std::atomic<uint32_t> m_sequence{0};
    double m_end = 0;

    std::atomic<double> m_worstExcess{0};
    std::atomic<double> m_widestSwing{0};
    std::atomic<uint64_t> m_losses{0};
    std::atomic<double> m_lostMs{0};
};
