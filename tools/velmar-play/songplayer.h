// What the measuring tools share: a song file loaded the way the player loads
// it (song information, the normaliser through the extraction facade) and a
// Sequencer wired to the output layer as the player wires it.
#pragma once

#include "MidiInterface.h"
#include "Sequencer.h"
#include "StreamData.h"

#include <QString>
#include <memory>

struct SongRecords {
    SongRecords();
    SongRecords(const SongRecords &) = delete;
    SongRecords &operator=(const SongRecords &) = delete;

    std::unique_ptr<MidiInfos> infos;
    std::unique_ptr<MidiStream> stream;
    std::unique_ptr<Mfi> mfi;
    std::unique_ptr<Db> db;
    std::unique_ptr<uint8_t[]> buffer;
    SONG_INFO info{};
    s_StreamData sd{};
};

// False with a one-line reason when the file is not a MIDI song the decoder
// can normalise.
bool loadSong(const QString &path, SongRecords &song, QString *error);

// The output layer with the given devices on outputs 1..6 (null: none) and a
// Sequencer on it, initialised (sequencerStart is the caller's), melody
// channel not muted and no fast start, so every note of the song plays at its
// time.
struct PlayerRig {
    PlayerRig(Sequencer::Clock clock, IMidiOutput *const outputs[MIDI_OUTPUT_COUNT]);
    ~PlayerRig();

    // Passes until the send queues of outputs 1, 2 and 4 are empty.
    void drainQueues();

    Sound::MidiInterface iface;
    std::unique_ptr<Sequencer> seq;
    const Sequencer::Clock clock;
};

// Drops the program's log lines (the tools print their own results).
void quietLogs();
