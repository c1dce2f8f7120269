// Arbitrary event streams through the interpreter on the simulated clock: no
// read outside the stream, no crash, whatever the bytes. The first input byte
// picks the file type, a seek and a transposition; the rest follows the
// stream's head.
// The corpus's seed_* files are gen_songs.py's songs written as one stream at
// 480 ticks a quarter, grid events each beat, with control byte 0x20 | 0x45 * i.
#include "SequencerDriver.h"
#include "songloader.h"

#include <cstdint>
#include <vector>

namespace {
uint8_t g_ram[2][EVENT_BUFFER_SIZE];
constexpr uint64_t MAX_MS = 4000;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static SequencerDriver *driver = [] {
        SEQUENCER_EX_SetRamBuffers(g_ram[0], g_ram[1]);
        SequencerDriver::initEngine();
        return new SequencerDriver(SequencerDriver::Clock::Simulated);
    }();
    if (size < 1)
        return 0;
    const uint8_t control = data[0];
    std::vector<uint8_t> stream{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0,
                                'M', 'T', 'r', 'k', 0, 0, 0, 0};
    stream.insert(stream.end(), data + 1, data + size);
    SongSetup setup;
    setup.fileType = 1 + (control & 3);
    for (int c = 0; c < 16; ++c)
        setup.programs[c] = c * 8;
    setup.drum[9] = true;
    setup.transpose = int16_t((control >> 2) & 7) - 3;
    if (!loadSongForTest(stream, true, setup))
        return 0;
    for (uint64_t ms = 0; ms < MAX_MS && !SEQUENCER_EX_Stop(); ++ms) {
        driver->advance(1);
        if (ms == 50 && (control & 0x20))
            SEQUENCER_EX_SeekBar((control >> 6) + 1, 0);
        if (SEQUENCER_EX_GetMidiStream1()->flags & SF_SUSPENDED)
            break;
    }
    SEQUENCER_EX_ActionStop();
    return 0;
}
