// Text events and tags that start with a UTF-16 byte-order mark hold UTF-16;
// the lyric and title readers work on bytes, so such text is turned into
// UTF-8 first. No allocation: the caller's buffer receives the result.
#pragma once

#include <cstdint>

// True when the n bytes at text start with FF FE or FE FF.
inline bool hasUtf16Bom(const uint8_t *text, uint32_t n)
{
    return n >= 2 && ((text[0] == 0xFF && text[1] == 0xFE) || (text[0] == 0xFE && text[1] == 0xFF));
}

// The UTF-16 text after the mark as UTF-8 into out (at most cap - 1 bytes,
// never a split character, NUL-terminated), up to a NUL code unit. A lone
// surrogate becomes U+FFFD. Returns the bytes written.
inline uint32_t utf16BomToUtf8(const uint8_t *text, uint32_t n, uint8_t *out, uint32_t cap)
{
    if (cap == 0)
        return 0;
    const bool le = text[0] == 0xFF;
    auto unit = [&](uint32_t i) {
        return le ? uint32_t(text[i] | text[i + 1] << 8) : uint32_t(text[i] << 8 | text[i + 1]);
    };
    uint32_t w = 0;
    for (uint32_t i = 2; i + 1 < n;) {
        uint32_t c = unit(i);
        i += 2;
        if (c == 0)
            break;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && unit(i) >= 0xDC00 && unit(i) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        const uint32_t len = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (w + len > cap - 1)
            break;
        if (len == 1) {
            out[w++] = uint8_t(c);
        } else {
            const uint8_t lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
            out[w++] = uint8_t(lead[len] | (c >> (6 * (len - 1))));
            for (uint32_t k = len - 1; k > 0; --k)
                out[w++] = uint8_t(0x80 | ((c >> (6 * (k - 1))) & 0x3F));
        }
    }
    out[w] = 0;
    return w;
}
