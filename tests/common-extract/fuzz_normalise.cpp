// Normaliser over arbitrary songs in play, dry-run and cut mode. The first
// byte picks the mode; a stream that comes out must keep the byte contract.
#include "TempoMap.h"
#include "loadedsong.h"

#include <QtGlobal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

bool vlq(const uint8_t *p, uint32_t n, uint32_t &pos, uint32_t &value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= n)
            return false;
        const uint8_t b = p[pos++];
        value = value << 7 | (b & 0x7F);
        if (!(b & 0x80))
            return true;
    }
    return false;
}

// Walks the stream as the engine does; aborts on anything outside the
// contract. Returns the tick of its end.
uint64_t checkStream(const uint8_t *p, uint32_t n, bool playMode, uint32_t head)
{
    if (n < head + 4 || std::memcmp(p, "MThd", 4) != 0)
        abort();
    const uint32_t track = uint32_t(p[head - 4]) << 24 | uint32_t(p[head - 3]) << 16 |
                           uint32_t(p[head - 2]) << 8 | p[head - 1];
    if (track != n - head)
        abort();
    uint32_t pos = head;
    uint64_t tick = 0;
    for (;;) {
        uint32_t delta, len;
        if (!vlq(p, n, pos, delta) || pos >= n || p[pos] < 0x80)
            abort();
        tick += delta;
        const uint8_t s = p[pos];
        const uint8_t kind = s & 0xF0;
        if (s == 0xF0 || (s == 0xF7 && !playMode)) {
            ++pos;
            if (!vlq(p, n, pos, len) || (playMode && len >= 127))
                abort();
        } else if (s == 0xFF) {
            pos += 2;
            if (!vlq(p, n, pos, len) || (playMode && len >= 127))
                abort();
            if (p[pos - 2] == 0x2F) {
                if (pos + len != n)
                    abort();
                return tick;
            }
        } else if (s == EXTRACT_EV_PORT || kind == 0xC0 || kind == 0xD0) {
            ++pos;
            len = 1;
        } else if (kind >= 0x80 && kind <= 0xE0) {
            ++pos;
            len = 2;
        } else {
            abort();
        }
        if (pos + len > n)
            abort();
        for (uint32_t i = 0; i < len && s < 0xF0; ++i) {
            if (p[pos + i] >= 0x80)
                abort();
        }
        pos += len;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static LoadedSong *song = [] {
        qInstallMessageHandler(quiet);
        return new LoadedSong;
    }();
    if (size < 2 || size > (1u << 18))
        return 0;
    const uint8_t mode = data[0];
    std::vector<uint8_t> bytes(data + 1, data + size);
    int flags = EXTRACT_PLAY_MODE;
    int dry = 0;
    switch (mode & 3) {
    case 1:
        dry = 1;
        break;
    case 2:
        flags = 0;
        break;
    case 3:
        flags = (mode >> 2) % EXTRACT_PLAY_MODE;
        break;
    default:
        break;
    }
    if (mode & 0x80) {
        song->normalise(bytes.data(), bytes.size(), EXTRACT_PLAY_MODE, 1);
        _calculate_MIDI_precount(&song->sd, 0, 1 + (mode >> 4 & 3), -1);
    }
    const int length = song->normalise(bytes.data(), bytes.size(), flags, dry);
    if (length < 0 || uint32_t(length) > XBUF_CSHARP_SIZE)
        abort();
    if (length > 0 && !dry) {
        const uint64_t end = checkStream(song->buffer.get(), uint32_t(length), flags == EXTRACT_PLAY_MODE,
                                         song->stream->fileType == FILE_TYPE_MF4 ? EXTRACT_HEAD_SIZE_MF4
                                                                                 : EXTRACT_HEAD_SIZE);
        // The song clock reads the same stream to its end, and time only grows.
        const TempoMap clock(&song->sd);
        if (clock.endTick() != end || clock.usAt(int64_t(end / 2)) > clock.usAt(int64_t(end)))
            abort();
    }
    if (length > 0)
        tempoTrascorsoDaiTick(int(size) * 97, &song->sd);
    return 0;
}
