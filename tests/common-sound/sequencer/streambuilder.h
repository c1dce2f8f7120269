// Writes normalised event streams by hand, following the byte contract of
// ExtractProc.h: a 22-byte head (25 for MF4), then delta + event pairs in
// tick order, grid markers before the song's events of the same tick.
#pragma once

#include "ExtractProc.h"
#include "StreamData.h"

#include <algorithm>
#include <cstdint>
#include <vector>

class StreamBuilder
{
public:
    struct Event {
        uint32_t tick;
        int order;                   // grid markers first at equal ticks
        std::vector<uint8_t> bytes;  // everything after the delta
        std::vector<uint8_t> deltaBytes; // when set, written instead of the delta
        int bar = -1;                // an A9 of this bar
    };

    explicit StreamBuilder(uint16_t tpqn = 480, bool mf4Head = false) : m_tpqn(tpqn), m_mf4(mf4Head) {}

    StreamBuilder &event(uint32_t tick, const std::vector<uint8_t> &bytes)
    {
        m_events.push_back({tick, 1, bytes, {}, -1});
        return *this;
    }
    // An event whose delta is written as the given bytes (malformed deltas).
    StreamBuilder &eventWithDelta(uint32_t tick, const std::vector<uint8_t> &delta, const std::vector<uint8_t> &bytes)
    {
        m_events.push_back({tick, 1, bytes, delta, -1});
        return *this;
    }
    StreamBuilder &noteOn(uint32_t tick, int ch, int key, int vel)
    {
        return event(tick, {uint8_t(0x90 | ch), uint8_t(key), uint8_t(vel)});
    }
    StreamBuilder &noteOff(uint32_t tick, int ch, int key, int vel = 0)
    {
        return event(tick, {uint8_t(0x80 | ch), uint8_t(key), uint8_t(vel)});
    }
    StreamBuilder &note(uint32_t tick, uint32_t length, int ch, int key, int vel = 100)
    {
        noteOn(tick, ch, key, vel);
        return noteOff(tick + length, ch, key);
    }
    StreamBuilder &cc(uint32_t tick, int ch, int controller, int value)
    {
        return event(tick, {uint8_t(0xB0 | ch), uint8_t(controller), uint8_t(value)});
    }
    StreamBuilder &program(uint32_t tick, int ch, int program)
    {
        return event(tick, {uint8_t(0xC0 | ch), uint8_t(program)});
    }
    StreamBuilder &pitchBend(uint32_t tick, int ch, int lsb, int msb)
    {
        return event(tick, {uint8_t(0xE0 | ch), uint8_t(lsb), uint8_t(msb)});
    }
    StreamBuilder &tempo(uint32_t tick, uint32_t usPerQuarter)
    {
        return event(tick, {0xFF, 0x51, 0x03, uint8_t(usPerQuarter >> 16), uint8_t(usPerQuarter >> 8),
                            uint8_t(usPerQuarter)});
    }
    // data is everything after F0, the closing F7 included.
    StreamBuilder &sysex(uint32_t tick, const std::vector<uint8_t> &data)
    {
        std::vector<uint8_t> b{0xF0};
        appendVlq(b, uint32_t(data.size()));
        b.insert(b.end(), data.begin(), data.end());
        return event(tick, b);
    }
    StreamBuilder &meta(uint32_t tick, uint8_t type, const std::vector<uint8_t> &data)
    {
        std::vector<uint8_t> b{0xFF, type};
        appendVlq(b, uint32_t(data.size()));
        b.insert(b.end(), data.begin(), data.end());
        return event(tick, b);
    }
    // The beat grid of `bars` bars of `beats` beats of one quarter each, with
    // half beats when beats >= 3, from tick 0 (bar 0 has no A9).
    StreamBuilder &grid(int bars, int beats = 4)
    {
        for (int bar = 0; bar < bars; ++bar) {
            const uint32_t t0 = uint32_t(bar * beats) * m_tpqn;
            if (bar > 0)
                m_events.push_back({t0, 0, {0xA9, uint8_t(bar & 0x7F), uint8_t(bar >> 7)}, {}, bar});
            for (int beat = 0; beat < beats; ++beat) {
                const uint32_t tb = t0 + uint32_t(beat) * m_tpqn;
                if (beat > 0)
                    m_events.push_back({tb, 0, {0xA8, uint8_t(beat), 0}, {}, -1});
                if (beats >= 3)
                    m_events.push_back({tb + m_tpqn / 2, 0, {0xAA, uint8_t(beat), 0}, {}, -1});
            }
        }
        m_bars = std::max(m_bars, bars);
        return *this;
    }
    StreamBuilder &end(uint32_t tick)
    {
        m_events.push_back({tick, 2, {0xFF, 0x2F, 0x00}, {}, -1});
        return *this;
    }

    std::vector<uint8_t> build()
    {
        std::stable_sort(m_events.begin(), m_events.end(), [](const Event &a, const Event &b) {
            return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
        });
        std::vector<uint8_t> out{'M', 'T', 'h', 'd', 0, 0, 0, uint8_t(m_mf4 ? 9 : 6), 0, 0, 0, 1,
                                 uint8_t(m_tpqn >> 8), uint8_t(m_tpqn)};
        if (m_mf4)
            out.insert(out.end(), {0, 0, 0});
        out.insert(out.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0});
        const size_t head = out.size();
        m_barOffset[0] = uint32_t(head);
        uint32_t last = 0;
        for (const Event &e : m_events) {
            if (e.bar >= 0 && e.bar < MAX_BARS) {
                m_barOffset[e.bar] = uint32_t(out.size());
                m_barTick[e.bar] = e.tick;
            }
            if (!e.deltaBytes.empty())
                out.insert(out.end(), e.deltaBytes.begin(), e.deltaBytes.end());
            else
                appendVlq(out, e.tick - last);
            last = e.tick;
            out.insert(out.end(), e.bytes.begin(), e.bytes.end());
        }
        for (int i = 1; i <= 4; ++i)
            out[head - size_t(i)] = uint8_t((out.size() - head) >> (8 * (i - 1)));
        return out;
    }

    int barCount() const { return m_bars; }
    uint32_t barOffset(int bar) const { return m_barOffset[bar]; }
    uint32_t barTick(int bar) const { return m_barTick[bar]; }

private:
    static void appendVlq(std::vector<uint8_t> &out, uint32_t v)
    {
        const size_t at = out.size();
        out.insert(out.begin() + long(at), uint8_t(v & 0x7F));
        while ((v >>= 7) != 0)
            out.insert(out.begin() + long(at), uint8_t(0x80 | (v & 0x7F)));
    }

    uint16_t m_tpqn;
    bool m_mf4;
    std::vector<Event> m_events;
    int m_bars = 0;
    uint32_t m_barOffset[MAX_BARS] = {};
    uint32_t m_barTick[MAX_BARS] = {};
};
