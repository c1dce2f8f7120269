// Song-information readers over arbitrary file heads.
#include "Extract.h"
#include "SongInfoRecord.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 16)
        return 0;
    // Exact-size copy so any read past the end is caught.
    std::vector<uint8_t> bytes(data, data + size);
    const uint32_t length = uint32_t(size);
    SONG_INFO info;
    std::memset(&info, 0, sizeof info);
    uint8_t smf;
    getFileTypeN(bytes.data(), length, &smf);
    getMidiSongInfo(bytes.data(), length, &info);
    std::memset(&info, 0, sizeof info);
    getMp3SongInfo(bytes.data(), length, &info);
    Extract::decodeChars(reinterpret_cast<const char *>(bytes.data()), int(length));
    return 0;
}
