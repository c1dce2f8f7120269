// Chord names as songs write them (C#m7, Bb/D, Do7+): parsing into root, type
// and bass, canonical and Italian spelling, transposition, and the data of the
// guitar and piano diagrams. Constant tables only, no state: any thread.
#pragma once

#include <cstdint>

constexpr int CHORD_TEXT_SIZE = 40;        // at most 39 characters and a NUL
constexpr int CHORD_TYPES = 48;
constexpr int CHORD_DEGREES = 13;
constexpr int CHORD_ROOTS = 12;
constexpr int GUITAR_CHORDS = CHORD_ROOTS * CHORD_TYPES;
constexpr int GUITAR_STRINGS = 6;
constexpr int GUITAR_NAME_SIZE = 16;
constexpr int PIANO_KEYS = 29;
constexpr int TWIN_CHORD_SIZE = 25;        // buffer of transposeChord
constexpr int TWIN_ITALIAN_LEN = 9;        // changeChordIntoITA keeps this many characters

// Degree marks of a chord-table row.
constexpr uint8_t DEGREE_ABSENT = 0;
constexpr uint8_t DEGREE_NATURAL = 1;
constexpr uint8_t DEGREE_RAISED = 2;
constexpr uint8_t DEGREE_LOWERED = 3;

struct ChordInfo {
    int16_t root;                          // pitch class 0-11 (0 = C), -1 not recognised
    int16_t type;                          // row of chordsDB, -1 none
    int16_t bass;                          // pitch class after "/", -1 none
    char text[CHORD_TEXT_SIZE];            // canonical name, or the input when not recognised
    char italianText[CHORD_TEXT_SIZE];
};

// One chord-table row: suffix and marks of degrees 1-13 (index = degree - 1).
struct ChordSignature {
    char suffix[CHORD_TEXT_SIZE];
    uint8_t degree[CHORD_DEGREES];
};

// One guitar diagram; strings counted from the lowest. A dot on row r sounds
// fret (baseFret == 0 ? 1 : baseFret) + r.
struct S_GUITAR_CHORD {
    char name[GUITAR_NAME_SIZE];
    int32_t fretRow[GUITAR_STRINGS];       // row of the finger dot, -1 none
    int32_t stringMark[GUITAR_STRINGS];    // 0 open, 1 not played, -1 no mark
    int32_t barreRow;                      // -1 no barre
    int32_t barreFrom;
    int32_t barreTo;
    int32_t baseFret;                      // 0: the diagram starts at the nut
};
static_assert(sizeof(S_GUITAR_CHORD) == 80, "the chord strip reads twenty 32-bit values");

// Keys from the C of the chord's lowest octave upward; 1 = pressed.
struct S_PIANO_FRAME {
    uint8_t key[PIANO_KEYS];
};
static_assert(sizeof(S_PIANO_FRAME) == 29, "one byte per key");

extern const char *const chordListSharp[12];
extern const char *const chordListFlat[12];
extern const char *const chordListComplete[17];
extern const char *const chordList[12];    // twin routine, going down (F#, not Gb)
extern const char *const chordList2[12];   // twin routine, going up (Gb, not F#)
extern const char *const italChord[7];     // by letter A-G
extern const ChordSignature chordsDB[CHORD_TYPES];
extern const ChordSignature chordsDBEnd;   // suffix "end", no degree marked
extern const uint8_t chordDegreeSemitones[CHORD_DEGREES];
extern const S_GUITAR_CHORD kGuitarChord[GUITAR_CHORDS];
extern const S_GUITAR_CHORD emptyGuitarChord;

// Pitch class of a written note ("C", "Db", "E#" ...), -1 for any other text.
int ChordsParser_PitchClass(const char *note);

// 1 when the text was read (a recognised chord, or a readable text that names
// no table row: then root is -1); 0 for an empty or unreadable text.
int ChordsParser_ParseChord(const char *text, ChordInfo *out);

// dst receives src (at most length-1 characters) with its root and its bass
// moved by semitones; names it cannot read stay as they are. Returns 1.
int ChordsParser_TransposeChord(char *dst, const char *src, int semitones, int length);

// Moves the root of name by semitones in place; name needs CHORD_TEXT_SIZE bytes.
void ChordsParser_GetTransposedString(char *name, int semitones);

// Italian note names (C#m7/G# -> Do#m7/Sol#); dst gets at most length-1 characters.
void ChordsParser_GetItalianString(const char *src, char *dst, int length);

// Twins for the extraction facade: in place on a TWIN_CHORD_SIZE buffer,
// spelled from chordList / chordList2; Italian names unless keepInternational.
void transposeChord(char *name, int semitones, int keepInternational);
void changeChordIntoITA(char *name);
