// The ID3v2 tag editor over arbitrary file heads: after an edit the header's size equals the
// body, and the frame and the text block written read back.
#include "Id3Tag.h"
#include "Mp3TextBlocks.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Id3Tag tag;
    if (size > 1 << 16 || !tag.load(QByteArray(reinterpret_cast<const char *>(data), int(size))))
        return 0;
    QByteArray out;
    if (tag.frameContent("TIT2", out))
        Id3Tag::decodeText(out);
    Mp3TextBlocks::get(tag, Mp3TextBlocks::MARKER, out);
    tag.removeFrame("SYLT");
    Mp3TextBlocks::remove(tag, Mp3TextBlocks::LYRICS);
    const QByteArray title = Id3Tag::encodeText(QStringLiteral("x"));
    const bool framed = tag.insertFrame("TIT2", title) > 0;
    const bool blocked = Mp3TextBlocks::insert(tag, Mp3TextBlocks::MARKER, "[00:00.00]m\r\n",
                                               int(tag.bytes().size())) > 0;
    const QByteArray &b = tag.bytes();
    const uint32_t stored = uint32_t(b[6] & 0x7F) << 21 | uint32_t(b[7] & 0x7F) << 14 |
                            uint32_t(b[8] & 0x7F) << 7 | uint32_t(b[9] & 0x7F);
    if (stored != tag.bodySize() || framed != tag.editable() || blocked != tag.editable())
        abort();
    if (framed && (!tag.frameContent("TIT2", out) || out != title))
        abort();
    if (blocked && (!Mp3TextBlocks::get(tag, Mp3TextBlocks::MARKER, out) || out != "[00:00.00]m\r\n"))
        abort();
    return 0;
}
