// Normaliser over arbitrary songs in play, dry-run and cut mode. The first
// byte picks the mode; a stream that comes out must keep the byte contract.
#include "TempoMap.h"
#include "normalise_util.h"

#include <QtEndian>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

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
        const bool play = flags == EXTRACT_PLAY_MODE;
        const int head = song->stream->fileType == FILE_TYPE_MF4 ? EXTRACT_HEAD_SIZE_MF4 : EXTRACT_HEAD_SIZE;
        const QByteArray out = song->output(length);
        if (length < head + 4 || !out.startsWith("MThd") ||
            qFromBigEndian<uint32_t>(out.constData() + head - 4) != uint32_t(length - head))
            abort();
        QString error;
        const QVector<StreamEvent> events = parseStream(out, head, play, &error);
        if (!error.isEmpty())
            abort();
        // The engine takes no long message in play mode: one length byte below 127.
        for (const StreamEvent &e : events) {
            if (play && uint8_t(e.bytes[0]) >= 0xF0 && uint8_t(e.bytes[e.bytes[0] == char(0xFF) ? 2 : 1]) >= 127)
                abort();
        }
        // The song clock reads the same stream to its end, and time only grows.
        const uint64_t end = events.last().tick;
        const TempoMap clock(&song->sd);
        if (clock.endTick() != end || clock.usAt(int64_t(end / 2)) > clock.usAt(int64_t(end)))
            abort();
    }
    if (length > 0)
        msAtTick(int(size) * 97, &song->sd);
    return 0;
}
