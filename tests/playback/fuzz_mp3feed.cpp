// Any bytes handed to the decoder as an MP3 either are refused at load or
// decode to whole 16-bit stereo frames that never overrun the buffer, before
// and after a seek, and the decoding ends.
#include "Mp3Decoder.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 16384)
        return 0;
    static Core::Mp3Decoder decoder;
    // As the player opens songs: at the file's own rate.
    if (!decoder.init(48000, false)
        || !decoder.preloadFile(QByteArray(reinterpret_cast<const char *>(data), int(size))))
        return 0;
    if (decoder.getChannels() != 2 || decoder.getSampleRate() <= 0)
        abort();
    // Guard bytes after the buffer catch a decoder writing past `size`.
    constexpr unsigned long kSize = 4096;
    std::vector<uchar> out(kSize + 64, 0xA5);
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 256; ++i) {
            unsigned long done = 0;
            const int rc = decoder.fillBuffer(out.data(), kSize - 4 * (i % 7), &done);
            if (done > kSize - 4 * (i % 7) || done % 4 != 0 || out[kSize] != 0xA5)
                abort();
            if (rc != 0)
                break;
        }
        decoder.setTimePos(size ? long(data[0]) * 37 : 0);
    }
    return 0;
}
