#include "Lzhuf.h"

#include "MidiLoad.h"

#include <algorithm>
#include <cstring>

namespace {

uint8_t MIDbuffer[SECTOR_SIZE];
uint16_t getbuf;               // bits not yet taken, most significant first
uint8_t getlen;
uint8_t text_buf[LZHUF_N];
int contInside;                // a copy was cut at the end of an output chunk
uint16_t freq[LZHUF_T + 1];
int16_t prnt[LZHUF_T + LZHUF_N_CHAR];
int16_t son[LZHUF_T];

constexpr int N = LZHUF_N;
constexpr int T = LZHUF_T;
constexpr int R = LZHUF_R;
constexpr int N_CHAR = LZHUF_N_CHAR;

// Upper six bits of a match position from the first eight bits read, and the
// count of bits that byte stands for: 32 codes of 3 bits, 48 of 4, 64 of 5,
// 48 of 6, 48 of 7 and 16 of 8.
struct PositionTables {
    uint8_t code[256];
    uint8_t len[256];
};
constexpr PositionTables makePositionTables()
{
    PositionTables t{};
    const int runs[][2] = {{3, 1}, {4, 3}, {5, 8}, {6, 12}, {7, 24}, {8, 16}};
    int index = 0;
    int value = 0;
    for (const auto &run : runs) {
        const int bits = run[0];
        const int entries = 1 << (8 - bits);
        for (int v = 0; v < run[1]; ++v, ++value) {
            for (int e = 0; e < entries; ++e, ++index) {
                t.code[index] = uint8_t(value);
                t.len[index] = uint8_t(bits);
            }
        }
    }
    return t;
}
constexpr PositionTables positionTables = makePositionTables();
constexpr const uint8_t *d_code = positionTables.code;
constexpr const uint8_t *d_len = positionTables.len;
static_assert(positionTables.code[0x1F] == 0 && positionTables.len[0x1F] == 3, "position tables");
static_assert(positionTables.code[0x20] == 1 && positionTables.len[0x20] == 4, "position tables");
static_assert(positionTables.code[0x50] == 4 && positionTables.len[0x50] == 5, "position tables");
static_assert(positionTables.code[0x90] == 12 && positionTables.len[0x90] == 6, "position tables");
static_assert(positionTables.code[0xC0] == 24 && positionTables.len[0xC0] == 7, "position tables");
static_assert(positionTables.code[0xFF] == 63 && positionTables.len[0xFF] == 8, "position tables");

// Compressed input, read through MIDbuffer.
const uint8_t *compressed;
uint32_t compressedSize;
uint32_t compressedUsed;       // bytes moved into MIDbuffer so far
uint32_t midPos;
uint32_t midValid;
uint32_t sectorsRead;
uint64_t bitsTaken;            // bits handed to the decoder

// The ring position and the copy in progress.
int r;
int copySource;
int copyIndex;
int copyLength;
uint8_t lastByte;

void reloadCompressedBuffer()
{
    const uint32_t len = std::min<uint32_t>(SECTOR_SIZE, compressedSize - compressedUsed);
    std::memcpy(MIDbuffer, compressed + compressedUsed, len);
    compressedUsed += len;
    midValid = len;
    midPos = 0;
    ++sectorsRead;
}

// Next compressed byte; 0 past the end (bitsTaken tells the decoder it ran out).
int mgetc()
{
    if (midPos >= midValid) {
        if (compressedUsed >= compressedSize)
            return 0;
        reloadCompressedBuffer();
    }
    return MIDbuffer[midPos++];
}

void fillBits()
{
    while (getlen <= 8) {
        getbuf = uint16_t(getbuf | (mgetc() << (8 - getlen)));
        getlen = uint8_t(getlen + 8);
    }
}

int GetByte()
{
    fillBits();
    const int value = getbuf >> 8;
    getbuf = uint16_t(getbuf << 8);
    getlen = uint8_t(getlen - 8);
    bitsTaken += 8;
    return value;
}

bool ranOut()
{
    return bitsTaken > uint64_t(compressedSize) * 8;
}

void StartHuff()
{
    for (int i = 0; i < N_CHAR; ++i) {
        freq[i] = 1;
        son[i] = int16_t(i + T);
        prnt[i + T] = int16_t(i);
    }
    for (int i = 0, j = N_CHAR; j <= R; i += 2, ++j) {
        freq[j] = uint16_t(freq[i] + freq[i + 1]);
        son[j] = int16_t(i);
        prnt[i] = prnt[i + 1] = int16_t(j);
    }
    freq[T] = 0xFFFF;
    prnt[R] = 0;
}

// Rebuilds the tree with halved frequencies once the root reaches MAX_FREQ.
void reconst()
{
    int j = 0;
    for (int i = 0; i < T; ++i) {
        if (son[i] >= T) {
            freq[j] = uint16_t((freq[i] + 1) / 2);
            son[j] = son[i];
            ++j;
        }
    }
    for (int i = 0, j = N_CHAR; j < T; i += 2, ++j) {
        const unsigned f = unsigned(freq[i]) + freq[i + 1];
        freq[j] = uint16_t(f);
        int k = j - 1;
        while (f < freq[k])
            --k;
        ++k;
        const size_t moved = size_t(j - k);
        std::memmove(&freq[k + 1], &freq[k], moved * sizeof freq[0]);
        freq[k] = uint16_t(f);
        std::memmove(&son[k + 1], &son[k], moved * sizeof son[0]);
        son[k] = int16_t(i);
    }
    for (int i = 0; i < T; ++i) {
        const int k = son[i];
        if (k >= T)
            prnt[k] = int16_t(i);
        else
            prnt[k] = prnt[k + 1] = int16_t(i);
    }
}

void update(int c)
{
    if (freq[R] == LZHUF_MAX_FREQ)
        reconst();
    c = prnt[c + T];
    do {
        const unsigned k = ++freq[c];
        int l = c + 1;
        if (k > freq[l]) {
            while (k > freq[++l]) {
            }
            --l;
            freq[c] = freq[l];
            freq[l] = uint16_t(k);

            const int i = son[c];
            prnt[i] = int16_t(l);
            if (i < T)
                prnt[i + 1] = int16_t(l);

            const int j = son[l];
            son[l] = int16_t(i);
            prnt[j] = int16_t(c);
            if (j < T)
                prnt[j + 1] = int16_t(c);
            son[c] = int16_t(j);
            c = l;
        }
        c = prnt[c];
    } while (c != 0);
}

int DecodeChar()
{
    int c = son[R];
    while (c < T) {
        c += GetBit();
        c = son[c];
    }
    c -= T;
    update(c);
    return c;
}

int DecodePosition()
{
    int i = GetByte();
    const int upper = d_code[i] << 6;
    int j = d_len[i] - 2;
    while (j-- > 0)
        i = (i << 1) + GetBit();
    return upper | (i & 0x3F);
}

void putRing(uint8_t c)
{
    text_buf[r] = c;
    r = (r + 1) & (N - 1);
}

} // namespace

int GetBit()
{
    fillBits();
    const int bit = (getbuf & 0x8000) ? 1 : 0;
    getbuf = uint16_t(getbuf << 1);
    --getlen;
    ++bitsTaken;
    return bit;
}

void lzhufStart(const uint8_t *data, uint32_t size)
{
    compressed = data;
    compressedSize = size;
    compressedUsed = 0;
    midPos = midValid = 0;
    sectorsRead = 0;
    bitsTaken = 0;
    getbuf = 0;
    getlen = 0;
    StartHuff();
    std::memset(text_buf, ' ', N - LZHUF_F);
    std::memset(text_buf + N - LZHUF_F, 0, LZHUF_F);
    r = N - LZHUF_F;
    contInside = 0;
    copySource = copyIndex = copyLength = 0;
    lastByte = 0;
}

int DecodeNext(int maxBytes, uint8_t *out)
{
    int written = 0;
    while (written < maxBytes) {
        if (contInside) {
            while (copyIndex < copyLength && written < maxBytes) {
                lastByte = text_buf[(copySource + copyIndex) & (N - 1)];
                out[written++] = lastByte;
                putRing(lastByte);
                ++copyIndex;
            }
            if (copyIndex < copyLength)
                break;
            contInside = 0;
            continue;
        }
        const int c = DecodeChar();
        if (ranOut())
            return -1;
        if (c < 256) {
            lastByte = uint8_t(c);
            out[written++] = lastByte;
            putRing(lastByte);
        } else {
            const int position = DecodePosition();
            if (ranOut())
                return -1;
            copySource = (r - position - 1) & (N - 1);
            copyLength = c - 255 + LZHUF_THRESHOLD;
            copyIndex = 0;
            contInside = 1;
        }
    }
    return written;
}
