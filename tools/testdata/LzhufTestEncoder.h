// Test-only LZHUF encoder (LZSS over a 4096-byte ring with adaptive Huffman
// coding of literals and match lengths, look-ahead 29), written from the
// published description of the algorithm to make container payloads. The
// program itself never compresses.
#pragma once

#include <QByteArray>

namespace LzhufTestEncoder {

// Compressed bits only (no length prefix).
QByteArray encode(const QByteArray &plain);

// A whole container file: a header of 512 bytes ("_MF3", "_MF4") or 1024
// ("_MF5") with the magic set, then the decoded length (u32 LE) and the
// compressed stream. header, when given, supplies the header bytes.
QByteArray container(const char *magic, const QByteArray &plain, const QByteArray &header = {});

} // namespace LzhufTestEncoder
