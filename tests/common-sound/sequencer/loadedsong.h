// A loaded-song handle on the heap, as the song loader leaves one: the four
// records, the event buffer and the song information.
#pragma once

#include "SongSettings.h"
#include "StreamData.h"

#include <cstring>
#include <memory>
#include <vector>

struct LoadedSong {
    std::unique_ptr<MidiInfos> infos{new MidiInfos()};
    std::unique_ptr<MidiStream> stream{new MidiStream()};
    std::unique_ptr<Mfi> mfi{new Mfi()};
    std::unique_ptr<Db> db{new Db()};
    std::unique_ptr<uint8_t[]> buffer{new uint8_t[EVENT_BUFFER_SIZE]()};
    SONG_INFO info{};
    s_StreamData sd{};

    explicit LoadedSong(uint32_t format = SONG_FORMAT_MIDI, int fileType = FILE_TYPE_MIDI)
    {
        bindStreamData(&sd, &info, buffer.get(), stream.get(), infos.get(), mfi.get(), db.get(), 1);
        info.format = format;
        stream->fileType = uint32_t(fileType);
        initDBSTRUCT(db.get());
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
