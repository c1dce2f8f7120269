#include "TempoMap.h"

#include "ByteReader.h"
#include "ExtractProc.h"

namespace {
constexpr uint32_t DEFAULT_US_PER_QUARTER = 500000;
constexpr uint32_t SMF_CHUNK_HEAD = 8;
} // namespace

TempoMap::TempoMap(const s_StreamData *song)
{
    if (!song || !song->mfi || !song->mfi->buffer || song->mfi->tpqn == 0)
        return;
    m_tpqn = song->mfi->tpqn;
    const uint32_t size = song->mfi->streamLength < EVENT_BUFFER_SIZE ? song->mfi->streamLength
                                                                       : EVENT_BUFFER_SIZE;
    walk(song->mfi->buffer, size);
}

void TempoMap::walk(const uint8_t *data, uint32_t size)
{
    ByteReader r(data, size);
    uint32_t headLength = 0;
    // "MThd", its length (6, or 9 for an MF4 payload), then "MTrk" and its length.
    if (!r.skip(4) || !r.u32be(headLength) || headLength > 16 || !r.skip(headLength + SMF_CHUNK_HEAD))
        return;
    m_changes.push_back({0, DEFAULT_US_PER_QUARTER, 0});
    uint64_t tick = 0;
    while (!r.atEnd()) {
        uint32_t delta = 0;
        uint8_t status = 0;
        if (!r.vlq(delta) || !r.u8(status))
            return;
        tick += delta;
        if (tick > UINT32_MAX)
            return;
        m_endTick = uint32_t(tick);
        if (status < 0x80) {
            return;
        } else if (status < 0xF0) {
            const uint8_t kind = status & 0xF0;
            if (!r.skip(kind == 0xC0 || kind == 0xD0 ? 1 : 2))
                return;
        } else if (status == 0xF0 || status == 0xF7) {
            uint32_t n = 0;
            if (!r.vlq(n) || !r.skip(n))
                return;
        } else if (status == EXTRACT_EV_PORT) {
            if (!r.skip(1))
                return;
        } else if (status == 0xFF) {
            uint8_t type = 0;
            uint32_t n = 0;
            if (!r.u8(type) || !r.vlq(n) || !r.need(n))
                return;
            const uint8_t *d = r.here();
            r.skip(n);
            if (type == 0x2F)
                return;
            const uint32_t us = n == 3 ? uint32_t(d[0]) << 16 | uint32_t(d[1]) << 8 | d[2] : 0;
            // The engine ignores a tempo of 0 too.
            if (type == 0x51 && us) {
                const Change &last = m_changes.back();
                const uint32_t at = uint32_t(tick);
                m_changes.push_back({at, us, last.us + uint64_t(at - last.tick) * last.usPerQuarter / m_tpqn});
            }
        } else {
            return;
        }
    }
}

uint64_t TempoMap::usAt(int64_t tick) const
{
    if (tick <= 0 || m_changes.empty())
        return 0;
    const uint32_t t = tick > int64_t(m_endTick) ? m_endTick : uint32_t(tick);
    // The last change at or before t.
    size_t lo = 0, hi = m_changes.size();
    while (hi - lo > 1) {
        const size_t mid = (lo + hi) / 2;
        if (m_changes[mid].tick <= t)
            lo = mid;
        else
            hi = mid;
    }
    const Change &c = m_changes[lo];
    return c.us + uint64_t(t - c.tick) * c.usPerQuarter / m_tpqn;
}
