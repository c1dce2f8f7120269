// What a MIDI channel plays, by name: the instrument and drum-kit tables of the
// sound sets, the live pair chosen by sound-set version, the lookups the
// sequencer, the mixer and the edit page use, and the fixed maps from program
// to mixer group and from drum note to drum sub-family.
//
// The live pair is one pointer to an immutable built-in descriptor, swapped
// atomically by MIDI_CONST_SetTrkGsNames. A reader that needs more than one
// lookup to agree (a row index and then the row) takes one snapshot with
// MIDI_CONST_GetTrkGsNames and passes it to the forms that take a table.
// Rows are never freed or changed, so row pointers stay valid after a switch.
#pragma once

#include <cstdint>

constexpr int GS_INSTR_NAMES_MAX = 598;    // largest built-in instrument table
constexpr int GS_DRUMKIT_NAMES_MAX = 100;
constexpr int GM_PROGRAMS = 128;
constexpr int MIXER_GROUPS = 6;            // 0 drums, 1 bass, 2 guitars, 3 keyboards, 4 orchestra, 5 winds
constexpr int DRUM_FAMILY_FIRST_NOTE = 25;
constexpr int DRUM_FAMILY_NOTES = 64;      // notes 25-88
constexpr int DRUM_SUB_FAMILIES = 10;
constexpr int INSERT_NAMES = 18;           // ids 0-16 and an empty entry
constexpr uint8_t NO_PROGRAM = 255;        // no program change seen; also the end row of a kit table
constexpr uint8_t NO_BANK = 255;           // no bank select seen: bank 0

// Sound-set versions that select a built-in pair; any other value selects
// the default set (SOUNDSET_DEFAULT).
constexpr int SOUNDSET_EXTERNAL_PORT = 0;
constexpr int SOUNDSET_SOFT_SYNTH = 1;
constexpr int SOUNDSET_190603 = 190603;
constexpr int SOUNDSET_190621 = 190621;
constexpr int SOUNDSET_191110 = 191110;
constexpr int SOUNDSET_500000 = 500000;
constexpr int SOUNDSET_990001 = 990001;
constexpr int SOUNDSET_DEFAULT = 181218;
constexpr int SOUNDSET_NONE = -1;          // before the first selection

struct GS_INSTRUMENT_NAME {
    uint8_t program;
    uint8_t bank;                          // bank-select MSB
    uint8_t insert;                        // 0 none, 1-16 an entry of InsertMidiName
    int32_t param1;                        // insertion-effect parameters, -1 none
    int32_t param2;
    uint32_t family;                       // mixer group, as sliderGroupInstrMap
    const char *name;
};

struct GS_DRUM_KIT_NAME {
    uint8_t program;                       // NO_PROGRAM: end row, no name
    uint8_t bank;
    const char *name;
};

// One sound set's pair of tables.
struct GS_NAME_TABLES {
    int version;                           // SOUNDSET_* of the set
    const GS_INSTRUMENT_NAME *trkGsNames;
    int16_t GS_INSTR_NAMES_SIZE;
    const GS_DRUM_KIT_NAME *GSshrtDrumKit;
    int16_t GS_DRUMKIT_NAMES_SIZE;
    int extendedBank;
};

extern const uint8_t sliderGroupInstrMap[GM_PROGRAMS];
extern const char *const FamilyInstruments[16];        // GM family = program / 8
extern const char *const InsertMidiName[INSERT_NAMES];
extern const uint8_t DrumKitFamilyMap[DRUM_FAMILY_NOTES]; // index = note - 25
extern const char *const DrumKitSubFamily[DRUM_SUB_FAMILIES];
extern const char NO_INSTRUMENT_NAME[];                // "<No Instrument>"

// Installs the built-in pair of a sound-set version as the live pair; sets
// *extendedBank (when given) to 1 for 190603, 190621, 191110 and 990001, else
// 0. Returns the number of instrument rows now live (never 0).
int MIDI_CONST_SetTrkGsNames(int version, int *extendedBank);

// The live pair; never null. Empty tables before the first selection.
const GS_NAME_TABLES *MIDI_CONST_GetTrkGsNames();

// The live tables under their own names. Each call reads the switch once: a
// walk that pairs a row pointer with a count takes one MIDI_CONST_GetTrkGsNames().
inline const GS_INSTRUMENT_NAME *trkGsNames() { return MIDI_CONST_GetTrkGsNames()->trkGsNames; }
inline int GS_INSTR_NAMES_SIZE() { return MIDI_CONST_GetTrkGsNames()->GS_INSTR_NAMES_SIZE; }
inline const GS_DRUM_KIT_NAME *GSshrtDrumKit() { return MIDI_CONST_GetTrkGsNames()->GSshrtDrumKit; }
inline int GS_DRUMKIT_NAMES_SIZE() { return MIDI_CONST_GetTrkGsNames()->GS_DRUMKIT_NAMES_SIZE; }

// The built-in pair that a version selects, without installing it; never
// null. Sets other than 0 and 1 are built on first use (see MIDI_const_tables).
const GS_NAME_TABLES *MIDI_CONST_GetBuiltInNames(int version);

// Row accessors on the live tables; the index is taken as a 16-bit signed
// value. Names fall back to "<No Instrument>", numbers to 0.
const char *instrumentName(int i);
int instrumentPrgChg(int i);
int instrumentBank(int i);
int instrumentInsert(int i);
const char *drumkitName(int i);
int drumkitPrgChg(int i);
int drumkitBank(int i);

// Lookups. Program NO_PROGRAM never matches; programs compare modulo 128,
// banks too, and bank NO_BANK counts as bank 0. An instrument row with the
// asked insert id wins over the first row of that program and bank.
int16_t findInstrumentPos(int program, int bank, int insert);
int16_t findInstrumentPos(const GS_NAME_TABLES *tables, int program, int bank, int insert);
int16_t findDrumKitPos(int program, int bank);
int16_t findDrumKitPos(const GS_NAME_TABLES *tables, int program, int bank);
const char *getInstrumentOrDrumKitName(int program, int bank, int insert, int isDrum);
const char *getInstrumentOrDrumKitName(const GS_NAME_TABLES *tables, int program, int bank,
                                       int insert, int isDrum);
// Insert id of the row the instrument lookup finds, 0 when none.
uint8_t EXTR_INFO_getInstrumentInsert(int program, int bank, int insert);

// Mixer group of a program: -1 above 127, 0 on a drum channel (low byte of
// isDrum set), else sliderGroupInstrMap. The second argument is not used.
int getInstrumentFamily(unsigned program, int unused, int isDrum);

// For a program change on a drum channel (event: status, program): a kit the
// live set lacks becomes the standard kit 0. Returns 1 when it rewrote the
// program, 0 when the event is left as it is. Allocates nothing, takes no lock.
int changeUnknownDrumKit(uint8_t *event);

// Drum sub-family 0-9 of a note; 0 outside notes 25-88.
int GetDrumKitFamilyMap(unsigned note);
