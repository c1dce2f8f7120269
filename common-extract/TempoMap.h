// Song time of a normalised stream (the byte contract in ExtractProc.h), as
// the engine plays it at the song's own tempo: each tempo event counts from
// its own tick with its exact microseconds per quarter note (500,000 before
// the first), and each stretch between two of them is cut to whole
// microseconds, as the engine's clock does. Lyric times, the export tool and
// the song length all read time through this, so they agree with the music.
#pragma once

#include "StreamData.h"

#include <cstdint>
#include <vector>

class TempoMap
{
public:
    TempoMap() = default;
    // Walks the song's stream once (mfi->buffer, mfi->streamLength); a stream
    // that does not read to its end keeps the tempo events before the fault.
    explicit TempoMap(const s_StreamData *song);

    // Microseconds from the start of the song to tick; 0 for a tick that is
    // not positive, the song's length for a tick past its end.
    uint64_t usAt(int64_t tick) const;
    // The same in milliseconds, rounded.
    uint32_t msAt(int64_t tick) const { return uint32_t((usAt(tick) + 500) / 1000); }
    // Tick of the end of the song (its FF 2F); 0 without a stream.
    uint32_t endTick() const { return m_endTick; }

private:
    struct Change {
        uint32_t tick;
        uint32_t usPerQuarter;
        uint64_t us;                 // song time at tick
    };
    void walk(const uint8_t *data, uint32_t size);

    std::vector<Change> m_changes;
    uint32_t m_tpqn = 0;
    uint32_t m_endTick = 0;
};
