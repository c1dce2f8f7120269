// Times the song loading steps on a loaded machine's worst cases: decoding a
// 1 MiB container payload and merging a 200 KB, 32-track format-1 file.
// Targets in a release build: under 100 ms and under 10 ms.
#include "ExtractLock.h"
#include "LzhufTestEncoder.h"
#include "MidiLoad.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (24 - 8 * i));
    return b;
}

// MIDI-like bytes: notes, controllers and short texts, as songs hold.
QByteArray songBytes(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray out;
    out.reserve(size);
    while (out.size() < size) {
        const char ch = char(rng.bounded(16));
        switch (rng.bounded(4)) {
        case 0: out += char(rng.bounded(96)); out += char(0x90 | ch); out += char(36 + rng.bounded(48)); out += char(rng.bounded(128)); break;
        case 1: out += char(rng.bounded(96)); out += char(0x80 | ch); out += char(36 + rng.bounded(48)); out += char(0); break;
        case 2: out += char(0); out += char(0xB0 | ch); out += char(7); out += char(rng.bounded(128)); break;
        default: out += QByteArray::fromHex("00ff0508") + QByteArray("la la la").left(8); break;
        }
    }
    out.truncate(size);
    return out;
}

QByteArray formatOne(int tracks, int totalSize)
{
    QByteArray f = QByteArray("MThd\0\0\0\6\0\1", 10);
    f += char(0);
    f += char(tracks);
    f += QByteArray("\x01\xE0", 2);
    const int per = totalSize / tracks;
    for (int t = 0; t < tracks; ++t) {
        QByteArray events;
        QRandomGenerator rng(quint32(t + 1));
        while (events.size() < per - 4) {
            const char ch = char(t % 16);
            events += char(rng.bounded(120));
            events += char(0x90 | ch);
            events += char(36 + rng.bounded(48));
            events += char(1 + rng.bounded(127));
        }
        events += QByteArray("\x00\xFF\x2F\x00", 4);
        f += "MTrk" + be32(quint32(events.size())) + events;
    }
    return f;
}

struct Song {
    MidiStream stream{};
    Mfi mfi{};
    Db db{};
    std::unique_ptr<MidiInfos> infos{new MidiInfos};
    std::unique_ptr<uint8_t[]> events{new uint8_t[EVENT_BUFFER_SIZE]};
    SONG_INFO info{};
    s_StreamData sd{};
};

// Best and mean time of one DecodeFileInit, with every sector served.
void timeLoad(const char *what, const QByteArray &file, int fileType, int smfFormat, int rounds,
              double targetMs)
{
    Song song;
    double best = 1e9, total = 0;
    uint32_t length = 0;
    for (int i = 0; i < rounds; ++i) {
        bindStreamData(&song.sd, &song.info, song.events.get(), &song.stream, song.infos.get(),
                       &song.mfi, &song.db, 0);
        song.stream.fileType = uint32_t(fileType);
        song.stream.smfFormat = uint8_t(smfFormat);
        song.infos->data = reinterpret_cast<uint8_t *>(const_cast<char *>(file.constData()));
        song.infos->dataLength = uint32_t(file.size());
        ExtractLocker lock;
        ConversionBuffer buffer;
        QElapsedTimer timer;
        timer.start();
        const int ok = DecodeFileInit(&song.sd);
        while (ok && !isEOF)
            LoadSmf0Sector(&song.sd);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (!ok) {
            std::printf("%s: refused\n", what);
            return;
        }
        length = song.infos->dataLength;
        best = std::min(best, ms);
        total += ms;
    }
    std::printf("%-44s %8u bytes  best %7.2f ms  mean %7.2f ms  target < %.0f ms  %s\n", what, length,
                best, total / rounds, targetMs, best < targetMs ? "ok" : "SLOW");
}

} // namespace

int main()
{
    const QByteArray plain = songBytes(int(CONVERSION_BUFFER_SIZE), 42);
    const QByteArray container = LzhufTestEncoder::container("_MF3", plain);
    timeLoad("decode 1 MiB MF3 container", container, FILE_TYPE_MF3, 0, 10, 100);

    const QByteArray merge = formatOne(32, 200 * 1024);
    timeLoad("merge 200 KB format-1 file of 32 tracks", merge, FILE_TYPE_MIDI, 1, 50, 10);
    return 0;
}
