// File loading over arbitrary song files: type detection, format-1 merge,
// container decoding, sector serving and the settings readers.
#include "ExtractLock.h"
#include "MidiLoad.h"
#include "SongSettings.h"

#include <QtGlobal>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1 << 20))
        return 0;
    // Refusals are logged; the log would drown the fuzzer's own output.
    static const QtMessageHandler quiet =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    (void)quiet;
    static MidiStream stream;
    static Mfi mfi;
    static Db db;
    static std::unique_ptr<MidiInfos> infos(new MidiInfos);
    static std::unique_ptr<uint8_t[]> eventBuffer(new uint8_t[EVENT_BUFFER_SIZE]);
    static SONG_INFO info;
    s_StreamData sd;
    bindStreamData(&sd, &info, eventBuffer.get(), &stream, infos.get(), &mfi, &db, 0);

    std::vector<uint8_t> file(data, data + size);
    uint8_t smf = 0;
    stream.fileType = uint32_t(getFileTypeN(file.data(), uint32_t(size), &smf));
    stream.smfFormat = smf;
    infos->data = file.data();
    infos->dataLength = uint32_t(size);

    ExtractLocker lock;
    ConversionBuffer buffer;
    initDBSTRUCT(&db);
    if (DecodeFileInit(&sd)) {
        int sectors = 1;
        while (!isEOF && sectors < 4096) {
            LoadSmf0Sector(&sd);
            ++sectors;
        }
        if (stream.fileType == FILE_TYPE_MIDI)
            loadSongSettings_MID(file.data(), uint32_t(size), &db);
        else
            loadSongSettings_MFx(HeaderMFx, &db);
    }
    return 0;
}
