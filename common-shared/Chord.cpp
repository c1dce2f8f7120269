#include "Chord.h"

#include <cstring>

bool Chord::ParseChord(const char *text, ChordInfo *out)
{
    return ChordsParser_ParseChord(text, out) != 0;
}

bool Chord::TransposeChord(char *out, const char *in, int semitones)
{
    ChordsParser_TransposeChord(out, in, semitones, CHORD_TEXT_SIZE);
    // Recognised when the root is one the transposition moves.
    if (!in || !in[0])
        return false;
    char root[3] = {in[0], 0, 0};
    if (in[1] == '#' || in[1] == 'b')
        root[1] = in[1];
    for (int i = 0; i < 12; ++i)
        if (std::strcmp(root, chordListSharp[i]) == 0 || std::strcmp(root, chordListFlat[i]) == 0)
            return true;
    return false;
}

bool Chord::ToSharp(char *out, const char *in)
{
    char down[CHORD_TEXT_SIZE];
    ChordsParser_TransposeChord(down, in, -1, CHORD_TEXT_SIZE);
    ChordsParser_TransposeChord(out, down, 1, CHORD_TEXT_SIZE);
    return true;
}

bool Chord::ToFlat(char *out, const char *in)
{
    char up[CHORD_TEXT_SIZE];
    ChordsParser_TransposeChord(up, in, 1, CHORD_TEXT_SIZE);
    ChordsParser_TransposeChord(out, up, -1, CHORD_TEXT_SIZE);
    return true;
}

void Chord::TranslateChordToIta(char *out, const char *in, int length)
{
    ChordsParser_GetItalianString(in, out, length);
}

bool Chord::GetGraphGuitarChord(const ChordInfo *chord, S_GUITAR_CHORD *out)
{
    if (!out)
        return false;
    // Checked one by one: root 1 with type -1 would otherwise land on a C row.
    if (!chord || chord->root < 0 || chord->root >= CHORD_ROOTS || chord->type < 0
        || chord->type >= CHORD_TYPES) {
        *out = emptyGuitarChord;
        return false;
    }
    *out = kGuitarChord[chord->root * CHORD_TYPES + chord->type];
    return true;
}

bool Chord::GetGraphPianoChord(const ChordInfo *chord, S_PIANO_FRAME *out)
{
    return GetGraphPianoChord(chord, out, nullptr);
}

bool Chord::GetGraphPianoChord(const ChordInfo *chord, S_PIANO_FRAME *out,
                               ChordSignature *signature)
{
    if (out)
        std::memset(out->key, 0, sizeof out->key);
    if (signature)
        *signature = *getChordVars(chord ? unsigned(chord->type) : unsigned(CHORD_TYPES));
    if (!out || !chord || chord->type < 0 || chord->type >= CHORD_TYPES || chord->root < 0
        || chord->root >= CHORD_ROOTS)
        return false;

    int root = chord->root;
    if (chord->bass >= 0 && chord->bass < CHORD_ROOTS) {
        if (root < chord->bass)
            root += 12;
        out->key[chord->bass] = 1;
    }
    const ChordSignature &row = chordsDB[chord->type];
    for (int d = 0; d < CHORD_DEGREES; ++d) {
        if (row.degree[d] == DEGREE_ABSENT)
            continue;
        int key = root + chordDegreeSemitones[d];
        if (row.degree[d] == DEGREE_RAISED)
            ++key;
        else if (row.degree[d] == DEGREE_LOWERED)
            --key;
        if (key >= 0 && key < PIANO_KEYS)
            out->key[key] = 1;
    }
    return true;
}

const char *Chord::getChordsNote(unsigned i)
{
    return i < 17 ? chordListComplete[i] : "end";
}

const ChordSignature *Chord::getChordVars(unsigned i)
{
    return i < unsigned(CHORD_TYPES) ? &chordsDB[i] : &chordsDBEnd;
}
