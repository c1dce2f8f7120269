// Chord names and diagrams for the karaoke view, the chord strip, the library
// and the edit page: a thin static layer over ChordsParser.
#pragma once

#include "ChordsParser.h"

class Chord
{
public:
    Chord() = delete;

    // True when the text was read; a chord that names no table row still comes
    // back with root -1 and the text unchanged, to be shown as a plain label.
    static bool ParseChord(const char *text, ChordInfo *out);
    // out and in are CHORD_TEXT_SIZE buffers. True when the root was
    // recognised; a name that is not a chord comes back unchanged.
    static bool TransposeChord(char *out, const char *in, int semitones);
    // Respell flat roots and basses with sharps, or sharps with flats.
    static bool ToSharp(char *out, const char *in);
    static bool ToFlat(char *out, const char *in);
    static void TranslateChordToIta(char *out, const char *in, int length);
    // False, with the empty diagram, when the chord has no root or type.
    static bool GetGraphGuitarChord(const ChordInfo *chord, S_GUITAR_CHORD *out);
    static bool GetGraphPianoChord(const ChordInfo *chord, S_PIANO_FRAME *out);
    // Also copies the chord-table row of the type into signature when given.
    static bool GetGraphPianoChord(const ChordInfo *chord, S_PIANO_FRAME *out,
                                   ChordSignature *signature);
    // Entry i of chordListComplete, "end" past the last.
    static const char *getChordsNote(unsigned i);
    // Row i of the chord table, a row with suffix "end" and no degrees past the last.
    static const ChordSignature *getChordVars(unsigned i);
};
