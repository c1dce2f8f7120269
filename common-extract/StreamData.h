// Records of one loaded song as the decoder fills them and the sequencer plays
// them. Plain records with fixed arrays; field order and widths are shared
// with the engine, so keep them and do not pack the structs.
#pragma once

#include "SongInfoRecord.h"

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int NUM_SLOTS = 32;            // flat channels: port * 16 + channel
constexpr int NUM_PORTS = 2;
constexpr int NUM_LAYERS = 4;
constexpr int NUM_CC_OFFSETS = 6;

// The events of a song as the player holds them: about 16 times the largest
// real songs (a 730 KB song of 38,400 notes takes 773,000 bytes). Its buffers
// are filled only as far as a song goes, so only that much memory is used.
constexpr uint32_t EVENT_BUFFER_SIZE = 16 * 1048576;

constexpr int MAX_TEMPO_ENTRIES = 150;
constexpr int MAX_BAR_INFO = 850;
// Bars of a song: 100 minutes of a fast 2/4 (its bar events count up to 16383).
constexpr int MAX_BARS = 10000;
constexpr int SETUP_LIST_SIZE = 640;
constexpr int SETUP_LIST_LIMIT = 638;    // an entry is added while fewer bytes are used
constexpr int MAX_SYSEX_ENTRIES = 100;
constexpr int SYSEX_ENTRY_SIZE = 100;
constexpr int MAX_TEXT_ROWS = 500;
constexpr int MAX_CHORDS = 1000;
constexpr int MAX_SYLLABLES = 2500;
constexpr int MAX_MARKERS = 170;
constexpr int KEY_TEXT_SIZE = 8;
constexpr int INSERT_CONFIG_WORDS = 18;  // nine fields for each of two effect blocks

constexpr int TEXT_EV_SIZE = 42;         // at most 41 characters and a NUL
constexpr int CHORD_NAME_SIZE = 16;      // at most 15 characters and a NUL
constexpr int MARKER_NAME_SIZE = 16;     // at most 15 characters and a NUL

constexpr uint8_t UNSET_BYTE = 0xFF;
constexpr uint16_t UNSET_WORD = 0xFFFF;
constexpr uint8_t NO_PORT = 0xFF;

constexpr uint8_t SYL_END_OF_ROW = 127;

constexpr uint16_t DEFAULT_BPM = 120;    // a song's tempo until its first tempo event

struct TEXT_EV {
    char text[TEXT_EV_SIZE];
    uint32_t tick;               // tick of the row's first syllable
};

struct SYL_EV {
    uint8_t offset;              // character offset where the syllable ends, SYL_END_OF_ROW
    int16_t row;
    uint32_t tick;
};

struct CHORD_EV {
    char name[CHORD_NAME_SIZE];
    uint32_t tick;
};

struct MARKER_EV {
    char name[MARKER_NAME_SIZE];
    uint16_t bar;                // MP3 markers read from text: whole seconds
    uint32_t time;               // MIDI: tick; MP3: hundredths of a second
};

struct BAR_BEAT_POS {
    uint16_t bar;
    uint16_t beat;               // 0 at a bar start, else 1 .. beats per bar - 1
    uint32_t tick;
};

// Per-bar controller snapshot of one slot and layer; unset bytes are 0xFF.
struct BAR_INFO {
    uint8_t slot;
    uint8_t layer;
    uint8_t cc11;
    uint8_t cc7;
    uint8_t cc10;
    uint8_t bank;
    uint8_t program;
    uint8_t cc93;
    uint8_t cc91;
    uint8_t cc64;
    uint8_t cc65;
    uint8_t cc72;
    uint8_t cc73;
    uint8_t cc74;
    uint8_t cc71;
    uint8_t cc75;
    uint8_t cc66;
    uint16_t pitchBend;          // data 1 high, data 2 low
    int16_t bar;
};
constexpr uint8_t BAR_INFO_SOUND_CC_DEFAULT = 64;  // CC71-75 and CC66 of a new entry

struct TEMPO_ENTRY {
    uint16_t bar;
    uint16_t bpm;
};

struct SETUP_LIST {
    uint8_t data[SETUP_LIST_SIZE];   // events "03 status controller value"
    int16_t count;
};

struct SYSEX_ENTRY {
    uint16_t bar;
    uint16_t port;
    uint8_t message[SYSEX_ENTRY_SIZE];  // F0, length, data
};

// Mute/solo states of a layer.
constexpr uint8_t DB_NORMAL = 0;
constexpr uint8_t DB_MUTE = 1;
constexpr uint8_t DB_SOLO = 2;

// DbLayer::flags bits.
constexpr uint8_t DB_FLAG_IN_USE = 0x01;
constexpr uint8_t DB_FLAG_DRUM = 0x02;
constexpr uint8_t DB_FLAG_PROGRAM_OVERRIDE = 0x04;

struct DbLayer {
    uint8_t muteSolo;            // DB_NORMAL, DB_MUTE, DB_SOLO
    uint8_t program;             // 0xFF unset
    uint8_t bank;                // 0xFF unset
    int16_t volume;
    int16_t pan;
    int16_t reverb;
    int16_t chorus;
    uint8_t velocityCurve;       // 1-6, 0 none
    int16_t transpose;
    uint8_t insertId;            // insertion-effect sound id, 0 none
    uint8_t flags;               // DB_FLAG_*
};

// Index of a sound controller in Db::ccOffsets.
enum DbCcOffset {
    DB_CC75 = 0,
    DB_CC73 = 1,
    DB_CC72 = 2,
    DB_CC71 = 3,
    DB_CC74 = 4,
    DB_CC66 = 5,
};

// Channel settings of a song (the user's saved mix).
struct Db {
    uint8_t reverbMacro;         // 0xFF unset
    uint8_t reverbLevel;
    uint8_t chorusMacro;
    uint8_t chorusLevel;
    int16_t transpose;
    int16_t tempoDelta;
    DbLayer layers[NUM_SLOTS][NUM_LAYERS];
    int16_t ccOffsets[NUM_SLOTS][NUM_LAYERS][NUM_CC_OFFSETS];
    uint16_t anySolo;
};

struct ProgramBank {
    uint8_t program;             // 0xFF unset
    uint8_t bank;
};

// MidiStream::flags bit set when the song uses the second port.
constexpr uint32_t STREAM_FLAG_SECOND_PORT = 0x10000;

// Per-song file and play record.
struct MidiStream {
    uint16_t startBar;
    uint16_t atBar;
    int16_t songBpm;
    int16_t userTempoDelta;
    int16_t autoTempoDelta;
    int16_t transpose;
    uint32_t msPerBeat;
    uint32_t timeBase;
    int32_t currentTick;
    int32_t eventTick;
    uint32_t fileType;           // FILE_TYPE_MIDI .. FILE_TYPE_MF5
    uint8_t slotByte;
    uint8_t currentBeat;
    uint8_t currentBar;
    uint8_t port;                // NO_PORT none
    uint8_t chorusMacro;         // 0xFF unset
    uint8_t chorusLevel;
    uint8_t reverbMacro;
    uint8_t reverbLevel;
    uint8_t smfFormat;
    uint32_t flags;              // STREAM_FLAG_SECOND_PORT and the engine's play bits
    uint16_t insertConfig[INSERT_CONFIG_WORDS];
    int32_t prevEventTick;
    Db *db;
    int32_t targetBar;           // -1 none
    ProgramBank programMap[NUM_SLOTS][NUM_LAYERS];
};

// Stream header of the normalised event buffer.
struct Mfi {
    uint8_t *buffer;
    uint16_t errorCode;
    uint16_t tpqn;
    uint32_t ticksBeforeEvent;
    uint16_t runningStatus;
    uint16_t runningChannel;
    uint16_t firstNoteSeen;
    uint16_t startFlags;
    uint32_t totalTicks;
    uint32_t lastDelta;
    uint32_t readPosition;
    uint32_t streamLength;
    uint16_t fastRun;
    uint16_t noteSeen;
    uint16_t programSeen;
    uint16_t messageLength;
    int16_t beatsPerBar;
    int16_t beatUnit;
};

// Extraction block of a song; about 1.5 MB, never put one on the stack.
struct MidiInfos {
    uint16_t barInfoCount;
    int16_t tempoCount;
    uint16_t textAreaWord;
    uint16_t barCount;
    uint16_t syllablesOn;
    uint16_t endBar;
    int16_t insertsPreloaded;
    uint32_t lastNoteTick;
    uint32_t runningTick;
    uint32_t chorusTick;
    uint32_t verseChorusTick;
    uint32_t dataLength;         // working copy of the song's MIDI data
    uint8_t *data;
    char key[KEY_TEXT_SIZE];
    Db *db;
    TEMPO_ENTRY tempoTable[MAX_TEMPO_ENTRIES];
    BAR_INFO barInfo[MAX_BAR_INFO];
    uint8_t activity[NUM_SLOTS][NUM_LAYERS][MAX_BARS];
    uint8_t currentLayer[NUM_SLOTS];
    uint8_t currentBank[NUM_SLOTS];
    uint32_t barOffsets[MAX_BARS];
    uint32_t barTicks[MAX_BARS];
    SETUP_LIST setupList[NUM_PORTS];
    SYSEX_ENTRY sysexTable[MAX_SYSEX_ENTRIES];
    int16_t sysexCount;
    TEXT_EV textRows[MAX_TEXT_ROWS];
    int16_t textRowCount;
    CHORD_EV chords[MAX_CHORDS];
    int16_t chordCount;
    SYL_EV syllables[MAX_SYLLABLES];
    int16_t syllableCount;
    MARKER_EV markers[MAX_MARKERS];
    int16_t markerCount;
    int16_t precountBars;
    uint16_t ccSyllableMode;
    uint16_t sysexSyllableMode;
};

// Handle of one loaded song: points at records that live in the song object.
struct s_StreamData {
    SONG_INFO *info;
    uint8_t slotFlag;            // differs between the two loaded songs
    uint8_t *eventBuffer;        // EVENT_BUFFER_SIZE bytes
    int32_t streamLength;
    MidiStream *midiStream;
    MidiInfos *midiInfos;
    Mfi *mfi;
    Db *db;
};

// Bar/beat table of the last normalising run: every bar's start and beat
// (rebuilt by each run; copy it right after the run, under the extraction
// lock).
extern std::vector<BAR_BEAT_POS> BarPositions;

// Points the handle at one song's records and buffer, zeroes the four records,
// sets the port byte to NO_PORT and links MidiStream and MidiInfos to Db and
// Mfi to the event buffer. Song::initStreamData decides slotFlag.
void bindStreamData(s_StreamData *sd, SONG_INFO *info, uint8_t *eventBuffer,
                    MidiStream *midiStream, MidiInfos *midiInfos, Mfi *mfi, Db *db,
                    uint8_t slotFlag);

// Empties the extraction block for a new normalising run or an emptied engine
// slot: no rows, bars, tables or count-in, the bar-info table unset, and one
// tempo row of 120 BPM at bar 0, the tempo of a song until its first tempo
// event. The working data, its length and the Db link stay.
void ClearMidiInfos(MidiInfos *infos);

// Zeroes the four records of a bound handle and restores the links and the
// port byte, as at binding (used when a song is unloaded).
void zeroStreamRecords(s_StreamData *sd);

static_assert(sizeof(TEXT_EV) == 48, "TEXT_EV layout");
static_assert(sizeof(SYL_EV) == 8, "SYL_EV layout");
static_assert(sizeof(CHORD_EV) == 20, "CHORD_EV layout");
static_assert(sizeof(MARKER_EV) == 24, "MARKER_EV layout");
static_assert(sizeof(BAR_BEAT_POS) == 8, "BAR_BEAT_POS layout");
static_assert(sizeof(BAR_INFO) == 22, "bar-info entry is 22 bytes");
static_assert(offsetof(BAR_INFO, pitchBend) == 18, "bar-info pitch bend");
static_assert(sizeof(DbLayer) == 18, "Db layer entry is 18 bytes");
static_assert(offsetof(DbLayer, volume) == 4 && offsetof(DbLayer, transpose) == 14 &&
              offsetof(DbLayer, flags) == 17, "Db layer fields");
static_assert(offsetof(Db, layers) == 8, "Db header is 8 bytes");
static_assert(offsetof(Db, ccOffsets) == 8 + NUM_SLOTS * NUM_LAYERS * sizeof(DbLayer),
              "Db controller offsets follow the layers");
static_assert(offsetof(Db, anySolo) == offsetof(Db, ccOffsets) +
              NUM_SLOTS * NUM_LAYERS * NUM_CC_OFFSETS * sizeof(int16_t), "Db any-solo last");
static_assert(offsetof(Mfi, ticksBeforeEvent) == offsetof(Mfi, tpqn) + 2 &&
              offsetof(Mfi, readPosition) == offsetof(Mfi, lastDelta) + 4,
              "engine fields lie between tpqn and readPosition");
static_assert(offsetof(MidiStream, port) == offsetof(MidiStream, slotByte) + 3, "MidiStream bytes");
static_assert(sizeof(((MidiInfos *)nullptr)->activity) == NUM_SLOTS * NUM_LAYERS * MAX_BARS, "activity table");
static_assert(sizeof(MidiInfos) < 1600000, "MidiInfos stays about 1.5 MB");
