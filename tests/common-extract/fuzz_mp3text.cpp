// MP3 text reader and audio locator on arbitrary bytes. The first byte picks
// the tail length; the rest is the file.
#include "ExtractLock.h"
#include "mp3.h"

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const auto infos = std::make_unique<MidiInfos>();
    if (size < 1)
        return 0;
    const long tails[4] = {0, MP3_TRAILING_TAIL_LENGTH, 16, long(size)};
    const long tail = tails[data[0] & 3];
    ++data;
    --size;
    {
        ExtractLocker lock;
        mp3_text_find_type(infos.get(), data, long(size), tail);
    }
    const MidiInfos &m = *infos;
    if (m.textRowCount < 0 || m.textRowCount > MAX_TEXT_ROWS || m.syllableCount < 0 ||
        m.syllableCount > MAX_SYLLABLES || m.chordCount < 0 || m.chordCount > MAX_CHORDS)
        std::abort();
    for (int i = 0; i < m.syllableCount; ++i)
        if (m.syllables[i].row < 0 || m.syllables[i].row >= m.textRowCount)
            std::abort();
    for (int i = 0; i < m.textRowCount; ++i)
        if (m.textRows[i].text[TEXT_EV_SIZE - 1] != 0)
            std::abort();
    MP3_CONTROL ctl;
    _nomalizeMp3(data, int(size), &ctl);
    if (ctl.audio && (ctl.audio < data || ctl.audio >= data + size))
        std::abort();
    return 0;
}
