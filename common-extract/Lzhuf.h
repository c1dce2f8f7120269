// LZHUF decoder (LZSS with adaptive Huffman coding, the published algorithm
// with a look-ahead of 29) over the payload of an MF3/MF4/MF5 container.
// Module-global state; callers hold the extraction lock.
#pragma once

#include <cstdint>

constexpr int LZHUF_N = 4096;                       // ring buffer size
constexpr int LZHUF_F = 29;                         // longest match
constexpr int LZHUF_THRESHOLD = 2;                  // a match is longer than this
constexpr int LZHUF_N_CHAR = 256 - LZHUF_THRESHOLD + LZHUF_F;
constexpr int LZHUF_T = LZHUF_N_CHAR * 2 - 1;       // table size
constexpr int LZHUF_R = LZHUF_T - 1;                // root
constexpr unsigned LZHUF_MAX_FREQ = 0x8000;         // rebuild when the root reaches it

// Starts decoding `size` compressed bytes at `data` (read 512 bytes at a time).
void lzhufStart(const uint8_t *data, uint32_t size);

// Decodes up to maxBytes bytes into out: the count written, or -1 when the
// compressed data ran out first.
int DecodeNext(int maxBytes, uint8_t *out);

// One bit of the compressed stream, most significant first.
int GetBit();
