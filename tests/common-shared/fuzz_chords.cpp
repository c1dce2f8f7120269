// Chord names come from song files: parse, transpose and respell any bytes.
#include "Chord.h"
#include "ChordsParser.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int semitones = int(int8_t(data[0]));
    char text[64];
    const size_t n = size - 1 < sizeof text - 1 ? size - 1 : sizeof text - 1;
    std::memcpy(text, data + 1, n);
    text[n] = '\0';

    ChordInfo info;
    Chord::ParseChord(text, &info);
    S_GUITAR_CHORD guitar;
    Chord::GetGraphGuitarChord(&info, &guitar);
    S_PIANO_FRAME piano;
    ChordSignature sig;
    Chord::GetGraphPianoChord(&info, &piano, &sig);

    char out[CHORD_TEXT_SIZE];
    Chord::TransposeChord(out, text, semitones);
    Chord::ToSharp(out, out);
    Chord::ToFlat(out, text);
    Chord::TranslateChordToIta(out, text, CHORD_TEXT_SIZE);

    char twin[TWIN_CHORD_SIZE];
    std::memcpy(twin, text, n < sizeof twin ? n + 1 : sizeof twin);
    transposeChord(twin, semitones, semitones & 1);
    return 0;
}
