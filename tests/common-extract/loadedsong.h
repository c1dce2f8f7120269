// A loaded-song handle on the heap, as the song loader leaves one: the four
// records, the event buffer and the song information, bound together. Shared
// by the extraction and the sequencer tests.
#pragma once

#include "ExtractProc.h"
#include "SongSettings.h"
#include "StreamData.h"

#include <QByteArray>
#include <cstring>
#include <memory>
#include <vector>

struct LoadedSong {
    std::unique_ptr<MidiInfos> infos{new MidiInfos()};
    std::unique_ptr<MidiStream> stream{new MidiStream()};
    std::unique_ptr<Mfi> mfi{new Mfi()};
    std::unique_ptr<Db> db{new Db()};
    std::unique_ptr<uint8_t[]> buffer{new uint8_t[EVENT_BUFFER_SIZE]};
    SONG_INFO info{};
    s_StreamData sd{};

    explicit LoadedSong(uint32_t format = SONG_FORMAT_MIDI, int fileType = FILE_TYPE_MIDI)
    {
        bindStreamData(&sd, &info, buffer.get(), stream.get(), infos.get(), mfi.get(), db.get(), 1);
        info.format = format;
        stream->fileType = uint32_t(fileType);
        initDBSTRUCT(db.get());
    }

    // Normalises a song file into the event buffer: the stream's length, 0
    // when the file was refused (the loading error tells why).
    int normalise(const uint8_t *file, size_t size, int flags = EXTRACT_PLAY_MODE, int dryRun = 0)
    {
        return _nomalizeSequence(&sd, file, int(size), flags, dryRun);
    }
    int normalise(const QByteArray &file, int flags = EXTRACT_PLAY_MODE, int dryRun = 0)
    {
        return normalise(reinterpret_cast<const uint8_t *>(file.constData()), size_t(file.size()), flags,
                         dryRun);
    }
    QByteArray output(int length) const
    {
        return QByteArray(reinterpret_cast<const char *>(buffer.get()), length);
    }

    // A ready normalised stream, as the normaliser would have written it.
    void setStream(const std::vector<uint8_t> &bytes)
    {
        const size_t n = bytes.size() < EVENT_BUFFER_SIZE ? bytes.size() : EVENT_BUFFER_SIZE;
        std::memcpy(buffer.get(), bytes.data(), n);
        mfi->streamLength = uint32_t(n);
        sd.streamLength = int32_t(n);
        mfi->beatsPerBar = 4;
        mfi->beatUnit = 4;
    }

    // Layer 0 of a flat channel in use with a program.
    void setProgram(int flatChannel, int program)
    {
        db->layers[flatChannel][0].program = uint8_t(program);
        db->layers[flatChannel][0].flags |= DB_FLAG_IN_USE;
    }
};
