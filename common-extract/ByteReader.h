// Bounds-checked reading of file bytes held in memory.
#pragma once

#include <cstdint>

struct ByteReader {
    const uint8_t *data;
    uint32_t size;
    uint32_t pos;

    ByteReader(const uint8_t *d, uint32_t n, uint32_t start = 0) : data(d), size(n), pos(start) {}

    uint32_t left() const { return pos < size ? size - pos : 0; }
    bool need(uint32_t n) const { return left() >= n; }
    bool atEnd() const { return pos >= size; }
    const uint8_t *here() const { return data + pos; }

    bool skip(uint32_t n)
    {
        if (!need(n))
            return false;
        pos += n;
        return true;
    }
    bool u8(uint8_t &out)
    {
        if (!need(1))
            return false;
        out = data[pos++];
        return true;
    }
    bool u16be(uint16_t &out)
    {
        if (!need(2))
            return false;
        out = uint16_t(data[pos] << 8 | data[pos + 1]);
        pos += 2;
        return true;
    }
    bool u32be(uint32_t &out)
    {
        if (!need(4))
            return false;
        out = uint32_t(data[pos]) << 24 | uint32_t(data[pos + 1]) << 16 |
              uint32_t(data[pos + 2]) << 8 | data[pos + 3];
        pos += 4;
        return true;
    }
    // Variable-length quantity of at most maxBytes bytes; false when it runs
    // out of data or is longer.
    bool vlq(uint32_t &out, int maxBytes = 4)
    {
        return readVlq([this](uint8_t &b) { return u8(b); }, out, maxBytes) == VlqRead::Ok;
    }

    enum class VlqRead { Ok, OutOfData, TooLong };
    // The one decoder of variable-length quantities, for readers that take
    // their bytes elsewhere: next(uint8_t &) yields the next byte or false.
    // Values wider than 32 bits keep their low bits.
    template <typename Next>
    static VlqRead readVlq(Next &&next, uint32_t &out, int maxBytes)
    {
        out = 0;
        for (int i = 0; i < maxBytes; ++i) {
            uint8_t b;
            if (!next(b))
                return VlqRead::OutOfData;
            out = (out << 7) | (b & 0x7F);
            if (!(b & 0x80))
                return VlqRead::Ok;
        }
        return VlqRead::TooLong;
    }
};

inline uint16_t readU16le(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t readU32le(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
// ID3v2 sizes: four bytes of seven bits each, most significant first.
inline uint32_t readSyncsafe32(const uint8_t *p)
{
    return uint32_t(p[0] & 0x7F) << 21 | uint32_t(p[1] & 0x7F) << 14 | uint32_t(p[2] & 0x7F) << 7 |
           (p[3] & 0x7F);
}
inline uint32_t readU32be(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
