// Built-in instrument and drum-kit tables of the sound sets.
#include "MIDI_const.h"

#include <algorithm>

namespace {

// External MIDI port (GS sound set).
const GS_INSTRUMENT_NAME trkGsNames_StandardVirtualSF[] = {
    {0, 0, 0, -1, -1, 3, "Piano 1"},
    {0, 8, 0, -1, -1, 3, "Piano 1w"},
    {0, 16, 0, -1, -1, 3, "Piano 1d"},
    {1, 0, 0, -1, -1, 3, "Piano 2"},
    {1, 8, 0, -1, -1, 3, "Piano 2w"},
    {2, 0, 0, -1, -1, 3, "Piano 3"},
    {2, 8, 0, -1, -1, 3, "Piano 3w"},
    {3, 0, 0, -1, -1, 3, "Honky-tonk"},
    {3, 8, 0, -1, -1, 3, "Honky-tonk w"},
    {4, 0, 0, -1, -1, 3, "E. Piano 1"},
    {4, 8, 0, -1, -1, 3, "Detuned EP 1"},
    {4, 16, 0, -1, -1, 3, "E. Piano 1w"},
    {4, 24, 0, -1, -1, 3, "60's E. Piano"},
    {5, 0, 0, -1, -1, 3, "E. Piano 2"},
    {5, 8, 0, -1, -1, 3, "Detuned EP 2"},
    {5, 16, 0, -1, -1, 3, "E. Piano 2w"},
    {6, 0, 0, -1, -1, 3, "Harpsichord"},
    {6, 8, 0, -1, -1, 3, "Coupled Harpsichord"},
    {6, 16, 0, -1, -1, 3, "Harpsichord w"},
    {6, 24, 0, -1, -1, 3, "Harpsichord o"},
    {7, 0, 0, -1, -1, 3, "Clavinet"},
    {8, 0, 0, -1, -1, 3, "Celesta"},
    {9, 0, 0, -1, -1, 3, "Glockenspiel"},
    {10, 0, 0, -1, -1, 3, "Music Box"},
    {11, 0, 0, -1, -1, 3, "Vibraphone"},
    {11, 8, 0, -1, -1, 3, "Vibraphone w"},
    {12, 0, 0, -1, -1, 3, "Marimba"},
    {12, 8, 0, -1, -1, 3, "Marimba w"},
    {13, 0, 0, -1, -1, 3, "Xylophone"},
    {14, 0, 0, -1, -1, 0, "Tubular-bell"},
    {14, 8, 0, -1, -1, 3, "Church-bell"},
    {14, 9, 0, -1, -1, 3, "Carillon"},
    {15, 0, 0, -1, -1, 3, "Santur"},
    {16, 0, 0, -1, -1, 3, "Organ 1"},
    {16, 8, 0, -1, -1, 3, "Detuned Or.1"},
    {16, 16, 0, -1, -1, 3, "60's Organ 1"},
    {16, 32, 0, -1, -1, 3, "Organ 4"},
    {17, 0, 0, -1, -1, 3, "Organ 2"},
    {17, 8, 0, -1, -1, 3, "Detuned Organ 2"},
    {17, 32, 0, -1, -1, 3, "Organ 5"},
    {18, 0, 0, -1, -1, 3, "Organ 3"},
    {19, 0, 0, -1, -1, 3, "Church Org.1"},
    {19, 8, 0, -1, -1, 3, "Church Org.2"},
    {19, 16, 0, -1, -1, 3, "Church Org.3"},
    {20, 0, 0, -1, -1, 3, "Reed Organ"},
    {21, 0, 0, -1, -1, 3, "Accordion French"},
    {21, 8, 0, -1, -1, 3, "Accordion Italian"},
    {22, 0, 0, -1, -1, 3, "Harmonica"},
    {23, 0, 0, -1, -1, 3, "Bandoneon"},
    {24, 0, 0, -1, -1, 2, "Nylon String Guitar"},
    {24, 8, 0, -1, -1, 2, "Ukulele"},
    {24, 16, 0, -1, -1, 2, "Nylon Guitar o"},
    {24, 32, 0, -1, -1, 2, "Nylon Guitar 2"},
    {25, 0, 0, -1, -1, 2, "Steel String Guitar"},
    {25, 0, 0, -1, -1, 2, "12 String Guitar"},
    {25, 16, 0, -1, -1, 2, "Mandolin"},
    {26, 0, 0, -1, -1, 2, "Jazz Guitar"},
    {26, 8, 0, -1, -1, 2, "Hawaiian Guitar"},
    {27, 0, 0, -1, -1, 2, "Clean Guitar"},
    {27, 8, 0, -1, -1, 2, "Chorus Guitar"},
    {28, 0, 0, -1, -1, 2, "Muted Gt."},
    {28, 8, 0, -1, -1, 2, "Funk Guitar"},
    {28, 16, 0, -1, -1, 2, "Funk Guitar 2"},
    {29, 0, 0, -1, -1, 2, "Overdrive Guitar"},
    {30, 0, 0, -1, -1, 2, "Distortion Guitar"},
    {30, 8, 0, -1, -1, 2, "Feedback Guitar"},
    {31, 0, 0, -1, -1, 2, "Guitar Harmonics"},
    {31, 8, 0, -1, -1, 2, "Guitar Feedback"},
    {32, 0, 0, -1, -1, 1, "Acoustic Bass"},
    {33, 0, 0, -1, -1, 1, "Fingered Bass"},
    {34, 0, 0, -1, -1, 1, "Picked Bass"},
    {35, 0, 0, -1, -1, 1, "Fretless Bass"},
    {36, 0, 0, -1, -1, 1, "Slap Bass 1"},
    {37, 0, 0, -1, -1, 1, "Slap Bass 2"},
    {38, 0, 0, -1, -1, 1, "Synth Bass 1"},
    {38, 1, 0, -1, -1, 1, "Synth Bass 101"},
    {38, 8, 0, -1, -1, 1, "Synth Bass 3"},
    {39, 0, 0, -1, -1, 1, "Synth Bass 2"},
    {39, 8, 0, -1, -1, 1, "Synth Bass 4"},
    {39, 16, 0, -1, -1, 1, "Rubber Bass"},
    {40, 0, 0, -1, -1, 4, "Violin"},
    {40, 8, 0, -1, -1, 1, "Slow Violin"},
    {41, 0, 0, -1, -1, 4, "Viola"},
    {42, 0, 0, -1, -1, 4, "Cello"},
    {43, 0, 0, -1, -1, 4, "Contrabass"},
    {44, 0, 0, -1, -1, 4, "Tremolo Strings"},
    {45, 0, 0, -1, -1, 4, "Pizzicato Strings"},
    {46, 0, 0, -1, -1, 2, "Harp"},
    {47, 0, 0, -1, -1, 4, "Timpani"},
    {48, 0, 0, -1, -1, 4, "Strings"},
    {48, 8, 0, -1, -1, 4, "Orchestra"},
    {49, 0, 0, -1, -1, 4, "Slow Strings"},
    {50, 0, 0, -1, -1, 4, "Synth Strings 1"},
    {50, 8, 0, -1, -1, 4, "Synth Strings 3"},
    {51, 0, 0, -1, -1, 4, "Synth Strings 2"},
    {52, 0, 0, -1, -1, 4, "Choir Aahs"},
    {52, 32, 0, -1, -1, 4, "Choir Aahs 2"},
    {53, 0, 0, -1, -1, 4, "Voice Oohs"},
    {54, 0, 0, -1, -1, 4, "Synth Vox"},
    {55, 0, 0, -1, -1, 4, "Orchestra Hit"},
    {56, 0, 0, -1, -1, 5, "Trumpet"},
    {57, 0, 0, -1, -1, 5, "Trombone"},
    {57, 1, 0, -1, -1, 5, "Trombone 2"},
    {58, 0, 0, -1, -1, 5, "Tuba"},
    {59, 0, 0, -1, -1, 5, "Muted Trumpet"},
    {60, 0, 0, -1, -1, 5, "French Horn"},
    {60, 0, 0, -1, -1, 5, "French Horn 2"},
    {61, 0, 0, -1, -1, 5, "Brass 1"},
    {61, 8, 0, -1, -1, 5, "Brass 2"},
    {62, 0, 0, -1, -1, 5, "Synth Brass 1"},
    {62, 8, 0, -1, -1, 5, "Synth Brass 3"},
    {62, 16, 0, -1, -1, 5, "Analog Brass 1"},
    {63, 0, 0, -1, -1, 5, "Synth Brass 2"},
    {63, 8, 0, -1, -1, 5, "Synth Brass 4"},
    {63, 16, 0, -1, -1, 5, "Analog Brass 2"},
    {64, 0, 0, -1, -1, 5, "Soprano Sax"},
    {65, 0, 0, -1, -1, 5, "Alto Sax"},
    {66, 0, 0, -1, -1, 5, "Tenor Sax"},
    {67, 0, 0, -1, -1, 5, "Baritone Sax"},
    {68, 0, 0, -1, -1, 5, "Oboe"},
    {69, 0, 0, -1, -1, 5, "English Horn"},
    {70, 0, 0, -1, -1, 5, "Bassoon"},
    {71, 0, 0, -1, -1, 5, "Clarinet"},
    {72, 0, 0, -1, -1, 5, "Piccolo"},
    {73, 0, 0, -1, -1, 5, "Flute"},
    {74, 0, 0, -1, -1, 5, "Recorder"},
    {75, 0, 0, -1, -1, 5, "Pan Flute"},
    {76, 0, 0, -1, -1, 5, "Bottle Blow"},
    {77, 0, 0, -1, -1, 5, "Shakuhachi"},
    {78, 0, 0, -1, -1, 5, "Whistle"},
    {79, 0, 0, -1, -1, 5, "Ocarina"},
    {80, 0, 0, -1, -1, 3, "Square Wave"},
    {80, 1, 0, -1, -1, 3, "Square"},
    {80, 0, 0, -1, -1, 3, "Sine Wave"},
    {81, 0, 0, -1, -1, 3, "Saw Wave"},
    {81, 1, 0, -1, -1, 3, "Saw"},
    {81, 8, 0, -1, -1, 3, "Doctor Solo"},
    {82, 0, 0, -1, -1, 3, "Synth Calliope"},
    {83, 0, 0, -1, -1, 3, "Chiffer Lead"},
    {84, 0, 0, -1, -1, 2, "Charang"},
    {85, 0, 0, -1, -1, 5, "Solo Vox"},
    {86, 0, 0, -1, -1, 5, "5th Saw Wave"},
    {87, 0, 0, -1, -1, 5, "Bass & Lead"},
    {88, 0, 0, -1, -1, 5, "Fantasia"},
    {89, 0, 0, -1, -1, 4, "Warm Pad"},
    {90, 0, 0, -1, -1, 5, "Polysynth"},
    {91, 0, 0, -1, -1, 5, "Space Voice"},
    {92, 0, 0, -1, -1, 5, "Bowed Glass"},
    {93, 0, 0, -1, -1, 5, "Metal Pad"},
    {94, 0, 0, -1, -1, 5, "Halo Pad"},
    {95, 0, 0, -1, -1, 5, "Sweep Pad"},
    {96, 0, 0, -1, -1, 5, "Ice Rain"},
    {97, 0, 0, -1, -1, 5, "Soundtrack"},
    {98, 0, 0, -1, -1, 5, "Crystal"},
    {98, 1, 0, -1, -1, 5, "Synth Mallet"},
    {99, 0, 0, -1, -1, 5, "Atmosphere"},
    {100, 0, 0, -1, -1, 5, "Brightness"},
    {101, 0, 0, -1, -1, 5, "Goblin"},
    {102, 0, 0, -1, -1, 5, "Echo Drops"},
    {102, 1, 0, -1, -1, 5, "Echo Bell"},
    {102, 2, 0, -1, -1, 5, "Echo Pan"},
    {103, 0, 0, -1, -1, 5, "Star Theme"},
    {104, 0, 0, -1, -1, 2, "Sitar"},
    {104, 1, 0, -1, -1, 2, "Sitar 2"},
    {105, 0, 0, -1, -1, 2, "Banjo"},
    {106, 0, 0, -1, -1, 2, "Shamisen"},
    {107, 0, 0, -1, -1, 2, "Koto"},
    {107, 8, 0, -1, -1, 2, "Taisho Koto"},
    {108, 0, 0, -1, -1, 3, "Kalimba"},
    {109, 0, 0, -1, -1, 5, "Bag Pipe"},
    {110, 0, 0, -1, -1, 4, "Fiddle"},
    {111, 0, 0, -1, -1, 5, "Shannai"},
    {112, 0, 0, -1, -1, 0, "Tinkle Bell"},
    {113, 0, 0, -1, -1, 0, "Agogo"},
    {114, 0, 0, -1, -1, 0, "Steel Drums"},
    {115, 0, 0, -1, -1, 0, "Woodblock"},
    {115, 8, 0, -1, -1, 0, "Castanets"},
    {116, 0, 0, -1, -1, 0, "Taiko"},
    {116, 8, 0, -1, -1, 0, "Concert BD"},
    {117, 0, 0, -1, -1, 0, "Melodic Tom 1"},
    {117, 8, 0, -1, -1, 0, "Melodic Tom 2"},
    {118, 0, 0, -1, -1, 0, "Synth Drum"},
    {118, 8, 0, -1, -1, 0, "808 Tom"},
    {118, 9, 0, -1, -1, 0, "Elec Perc"},
    {119, 0, 0, -1, -1, 0, "Reverse Cymbal"},
    {120, 0, 0, -1, -1, 2, "Guitar Fret Noise"},
    {120, 1, 0, -1, -1, 2, "Guitar Cut Noise"},
    {120, 2, 0, -1, -1, 2, "String Slap"},
    {121, 0, 0, -1, -1, 0, "Breath Noise"},
    {121, 1, 0, -1, -1, 0, "Flute Key Click"},
    {122, 0, 0, -1, -1, 0, "Seashore"},
    {122, 1, 0, -1, -1, 0, "Rain"},
    {122, 2, 0, -1, -1, 0, "Thunder"},
    {122, 3, 0, -1, -1, 0, "Wind"},
    {122, 4, 0, -1, -1, 0, "Stream"},
    {123, 0, 0, -1, -1, 0, "Bird"},
    {123, 1, 0, -1, -1, 0, "Dog"},
    {123, 2, 0, -1, -1, 0, "Horse-Gallop"},
    {123, 3, 0, -1, -1, 0, "Bird 2"},
    {124, 0, 0, -1, -1, 0, "Telephone 1"},
    {124, 1, 0, -1, -1, 0, "Telephone 2"},
    {124, 2, 0, -1, -1, 0, "Door Creaking"},
    {124, 3, 0, -1, -1, 0, "Door Slam"},
    {124, 4, 0, -1, -1, 0, "Scratch"},
    {125, 0, 0, -1, -1, 0, "Helicopter"},
    {125, 1, 0, -1, -1, 0, "Car-Engine"},
    {125, 2, 0, -1, -1, 0, "Car-Stop"},
    {125, 3, 0, -1, -1, 0, "Car-Pass"},
    {125, 4, 0, -1, -1, 0, "Car-Crash"},
    {125, 6, 0, -1, -1, 0, "Train"},
    {125, 7, 0, -1, -1, 0, "Jetplane"},
    {125, 8, 0, -1, -1, 0, "Starship"},
    {125, 9, 0, -1, -1, 0, "Burst Noise"},
    {126, 0, 0, -1, -1, 0, "Applause"},
    {126, 1, 0, -1, -1, 0, "Laughing"},
    {126, 2, 0, -1, -1, 0, "Screaming"},
    {126, 3, 0, -1, -1, 0, "Punch"},
    {126, 4, 0, -1, -1, 0, "Heart Beat"},
    {127, 0, 0, -1, -1, 0, "Gun Shot"},
    {127, 1, 0, -1, -1, 0, "Machine Gun"},
    {127, 2, 0, -1, -1, 0, "Lasergun"},
    {127, 3, 0, -1, -1, 0, "Explosion"},
};

// Built-in software synthesizer: the 128 bank-0 rows, then the variations.
const GS_INSTRUMENT_NAME trkGsNames_VirtualSF[] = {
    {0, 0, 0, -1, -1, 3, "Grand Piano"},
    {1, 0, 0, -1, -1, 3, "Bright Piano"},
    {2, 0, 0, -1, -1, 3, "Electric Grand Piano"},
    {3, 0, 0, -1, -1, 3, "Honky-Tonky Piano"},
    {4, 0, 0, -1, -1, 3, "Electric Piano 1"},
    {5, 0, 0, -1, -1, 3, "Electric Piano 2"},
    {6, 0, 0, -1, -1, 3, "Harpsichord"},
    {7, 0, 0, -1, -1, 3, "Clavinet"},
    {8, 0, 0, -1, -1, 3, "Celesta"},
    {9, 0, 0, -1, -1, 3, "Glockenspiel"},
    {10, 0, 0, -1, -1, 3, "Music Box"},
    {11, 0, 0, -1, -1, 3, "Vibraphone"},
    {12, 0, 0, -1, -1, 3, "Marimba"},
    {13, 0, 0, -1, -1, 3, "Xylophone"},
    {14, 0, 0, -1, -1, 0, "Tubular Bells"},
    {15, 0, 0, -1, -1, 0, "Santur"},
    {16, 0, 0, -1, -1, 3, "Drawbar Organ"},
    {17, 0, 0, -1, -1, 3, "Percussive Organ"},
    {18, 0, 0, -1, -1, 3, "Hammond Organ"},
    {19, 0, 0, -1, -1, 3, "Church Organ"},
    {20, 0, 0, -1, -1, 3, "Reed Organ"},
    {21, 0, 0, -1, -1, 3, "Accordeon"},
    {22, 0, 0, -1, -1, 3, "Harmonica"},
    {23, 0, 0, -1, -1, 3, "Bandoneon"},
    {24, 0, 0, -1, -1, 2, "Nylon Guitar"},
    {25, 0, 0, -1, -1, 2, "Steel Guitar"},
    {26, 0, 0, -1, -1, 2, "Jazz Guitar"},
    {27, 0, 0, -1, -1, 2, "Clean Guitar"},
    {28, 0, 0, -1, -1, 2, "Muted Guitar"},
    {29, 0, 0, -1, -1, 2, "Overdrive Guitar"},
    {30, 0, 0, -1, -1, 2, "Distorted Guitar"},
    {31, 0, 0, -1, -1, 2, "Distorted Harmonix"},
    {32, 0, 0, -1, -1, 1, "Acoustic Bass"},
    {33, 0, 0, -1, -1, 1, "Fingered Bass"},
    {34, 0, 0, -1, -1, 1, "Picked Bass"},
    {35, 0, 0, -1, -1, 1, "Fretless Bass"},
    {36, 0, 0, -1, -1, 1, "Slap Bass 1"},
    {37, 0, 0, -1, -1, 1, "Slap Bass 2"},
    {38, 0, 0, -1, -1, 1, "Synth Bass 1"},
    {39, 0, 0, -1, -1, 1, "Synth Bass 2"},
    {40, 0, 0, -1, -1, 4, "Violin"},
    {41, 0, 0, -1, -1, 4, "Viola"},
    {42, 0, 0, -1, -1, 4, "Cello"},
    {43, 0, 0, -1, -1, 4, "Contrabass"},
    {44, 0, 0, -1, -1, 4, "Tremolo Strings"},
    {45, 0, 0, -1, -1, 4, "Pizzicato Strings"},
    {46, 0, 0, -1, -1, 2, "Harp"},
    {47, 0, 0, -1, -1, 4, "Timpani"},
    {48, 0, 0, -1, -1, 4, "Strings"},
    {49, 0, 0, -1, -1, 4, "Slow Strings"},
    {50, 0, 0, -1, -1, 4, "Synth Strings 1"},
    {51, 0, 0, -1, -1, 4, "Synth Strings 2"},
    {52, 0, 0, -1, -1, 4, "Choir Aaah"},
    {53, 0, 0, -1, -1, 4, "Choir Oohs"},
    {54, 0, 0, -1, -1, 4, "Synvox"},
    {55, 0, 0, -1, -1, 4, "Orchestra Hit"},
    {56, 0, 0, -1, -1, 5, "Trumpet"},
    {57, 0, 0, -1, -1, 5, "Trombone"},
    {58, 0, 0, -1, -1, 5, "Tuba"},
    {59, 0, 0, -1, -1, 5, "Muted Trumpet"},
    {60, 0, 0, -1, -1, 5, "French Horns"},
    {61, 0, 0, -1, -1, 5, "Brass"},
    {62, 0, 0, -1, -1, 5, "Synth Brass 1"},
    {63, 0, 0, -1, -1, 5, "Synth Brass 2"},
    {64, 0, 0, -1, -1, 5, "Soprano Sax"},
    {65, 0, 0, -1, -1, 5, "Alto Sax"},
    {66, 0, 0, -1, -1, 5, "Tenor Sax"},
    {67, 0, 0, -1, -1, 5, "Baritone Sax"},
    {68, 0, 0, -1, -1, 5, "Oboe"},
    {69, 0, 0, -1, -1, 5, "English Horn"},
    {70, 0, 0, -1, -1, 5, "Bassoon"},
    {71, 0, 0, -1, -1, 5, "Clarinet"},
    {72, 0, 0, -1, -1, 5, "Piccolo"},
    {73, 0, 0, -1, -1, 5, "Flute"},
    {74, 0, 0, -1, -1, 5, "Recorder"},
    {75, 0, 0, -1, -1, 5, "Panflute"},
    {76, 0, 0, -1, -1, 5, "Bottle Blow"},
    {77, 0, 0, -1, -1, 5, "Shakuhachi"},
    {78, 0, 0, -1, -1, 5, "Whistle"},
    {79, 0, 0, -1, -1, 5, "Ocarina"},
    {80, 0, 0, -1, -1, 3, "Square Lead Synth"},
    {81, 0, 0, -1, -1, 3, "Saw Lead Synth"},
    {82, 0, 0, -1, -1, 3, "Syn Calliope"},
    {83, 0, 0, -1, -1, 3, "Chiffer Lead Synth"},
    {84, 0, 0, -1, -1, 2, "Charang"},
    {85, 0, 0, -1, -1, 3, "Fairvox Solo"},
    {86, 0, 0, -1, -1, 3, "5th Saw Wave"},
    {87, 0, 0, -1, -1, 3, "Bass  & Lead"},
    {88, 0, 0, -1, -1, 4, "Fantasia Pad"},
    {89, 0, 0, -1, -1, 4, "Warm Pad"},
    {90, 0, 0, -1, -1, 4, "Polysynth Pad"},
    {91, 0, 0, -1, -1, 4, "Fairvox Pad"},
    {92, 0, 0, -1, -1, 4, "Bowed Glass Pad"},
    {93, 0, 0, -1, -1, 4, "Metal Pad"},
    {94, 0, 0, -1, -1, 4, "Halo Pad"},
    {95, 0, 0, -1, -1, 4, "Sweep Pad"},
    {96, 0, 0, -1, -1, 4, "Ice Rain"},
    {97, 0, 0, -1, -1, 4, "Soundtrack"},
    {98, 0, 0, -1, -1, 4, "Crystal"},
    {99, 0, 0, -1, -1, 4, "Atmosphere"},
    {100, 0, 0, -1, -1, 4, "Bright Mood"},
    {101, 0, 0, -1, -1, 4, "Goblin"},
    {102, 0, 0, -1, -1, 4, "Echo Drops"},
    {103, 0, 0, -1, -1, 4, "Star Theme"},
    {104, 0, 0, -1, -1, 2, "Sitar"},
    {105, 0, 0, -1, -1, 2, "Mandolin"},
    {106, 0, 0, -1, -1, 2, "Shamisen"},
    {107, 0, 0, -1, -1, 2, "Koto"},
    {108, 0, 0, -1, -1, 3, "Kalimba"},
    {109, 0, 0, -1, -1, 5, "Bagpipe"},
    {110, 0, 0, -1, -1, 4, "Fiddle"},
    {111, 0, 0, -1, -1, 5, "Shanai"},
    {112, 0, 0, -1, -1, 0, "Tinkle Bell"},
    {113, 0, 0, -1, -1, 0, "Agogo"},
    {114, 0, 0, -1, -1, 0, "Steel Drum"},
    {115, 0, 0, -1, -1, 0, "Woodblock"},
    {116, 0, 0, -1, -1, 0, "Taiko"},
    {117, 0, 0, -1, -1, 0, "Melodic Tom 1"},
    {118, 0, 0, -1, -1, 0, "Synth Drum"},
    {119, 0, 0, -1, -1, 0, "Reverse Cymbal"},
    {120, 0, 0, -1, -1, 2, "Guitar Fret Noise"},
    {121, 0, 0, -1, -1, 0, "Breath Noise"},
    {122, 0, 0, -1, -1, 0, "Seashore"},
    {123, 0, 0, -1, -1, 0, "Bird 1"},
    {124, 0, 0, -1, -1, 0, "Telephone 1"},
    {125, 0, 0, -1, -1, 0, "Helicopter"},
    {126, 0, 0, -1, -1, 0, "Applause"},
    {127, 0, 0, -1, -1, 0, "Gun Shot"},
    {28, 1, 0, -1, -1, 2, "Muted Guitar 2"},
    {119, 1, 0, -1, -1, 0, "Reverse Cymbal 2"},
    {120, 1, 0, -1, -1, 2, "Guitar Cut Noise"},
    {121, 1, 0, -1, -1, 0, "Fl. Key Click"},
    {122, 1, 0, -1, -1, 0, "Rain"},
    {123, 1, 0, -1, -1, 0, "Dog"},
    {124, 1, 0, -1, -1, 0, "Telephone 2"},
    {125, 1, 0, -1, -1, 0, "Car Engine Start"},
    {126, 1, 0, -1, -1, 0, "Laughing"},
    {127, 1, 0, -1, -1, 0, "Machine Gun"},
    {119, 2, 0, -1, -1, 0, "White Noise Reverse"},
    {120, 2, 0, -1, -1, 0, "String Slap"},
    {122, 2, 0, -1, -1, 0, "Thunder"},
    {123, 2, 0, -1, -1, 0, "Horse Gallop"},
    {124, 2, 0, -1, -1, 0, "Door Creaking"},
    {125, 2, 0, -1, -1, 0, "Car Breaking"},
    {126, 2, 0, -1, -1, 0, "Scream"},
    {127, 2, 0, -1, -1, 0, "Laser Gun"},
    {119, 3, 0, -1, -1, 0, "White Noise Basic"},
    {122, 3, 0, -1, -1, 0, "Wind"},
    {123, 3, 0, -1, -1, 0, "Bird 2"},
    {124, 3, 0, -1, -1, 0, "Door Closing"},
    {125, 3, 0, -1, -1, 0, "Car Pass"},
    {126, 3, 0, -1, -1, 0, "Punch"},
    {127, 3, 0, -1, -1, 0, "Explosion"},
    {122, 4, 0, -1, -1, 0, "Stream"},
    {124, 4, 0, -1, -1, 0, "Scratch"},
    {125, 4, 0, -1, -1, 0, "Car Crash"},
    {126, 4, 0, -1, -1, 0, "Heart Beat"},
    {39, 5, 0, -1, -1, 1, "Subsonic Bass"},
    {120, 5, 0, -1, -1, 0, "Bass Slide"},
    {122, 5, 0, -1, -1, 0, "Bubbles"},
    {124, 5, 0, -1, -1, 0, "Wind Chime"},
    {125, 5, 0, -1, -1, 0, "Police Siren"},
    {126, 5, 0, -1, -1, 0, "Footsteps"},
    {120, 6, 0, -1, -1, 0, "Pick Scrape"},
    {125, 6, 0, -1, -1, 0, "Train"},
    {125, 7, 0, -1, -1, 0, "Jet Takeoff"},
    {12, 8, 0, -1, -1, 3, "Balafon"},
    {17, 8, 0, -1, -1, 3, "Detuned Organ"},
    {25, 8, 0, -1, -1, 2, "12 Strings Guitar"},
    {52, 8, 0, -1, -1, 4, "Real Choirs"},
    {105, 8, 0, -1, -1, 2, "Banjo"},
    {107, 8, 0, -1, -1, 2, "Taisho Koto"},
    {115, 8, 0, -1, -1, 0, "Castanets"},
    {116, 8, 0, -1, -1, 0, "Concert B-Drum"},
    {117, 8, 0, -1, -1, 0, "Melodic Tom 2"},
    {118, 8, 0, -1, -1, 0, "TR-808 Toms"},
    {125, 8, 0, -1, -1, 0, "Starship"},
    {118, 8, 0, -1, -1, 0, "El. Percussions"},
    {125, 8, 0, -1, -1, 0, "Burst Noise"},
    {30, 16, 0, -1, -1, 2, "Power Chords Guitar"},
    {118, 16, 0, -1, -1, 0, "BOOM Bass Falling"},
    {56, 24, 0, -1, -1, 5, "Mariachi Trumpet"},
};

const GS_DRUM_KIT_NAME GSshrtDrumKit_StandardVirtualSF[] = {
    {0, 0, "STANDARD"}, {8, 0, "ROOM"},       {16, 0, "POWER"},     {24, 0, "ELECTRONIC"},
    {25, 0, "TR-808"},  {32, 0, "JAZZ"},      {40, 0, "BRUSH"},     {48, 0, "ORCHESTRA"},
    {56, 0, "SFX"},     {127, 0, "CM-64/32L"},
};

const GS_DRUM_KIT_NAME GSshrtDrumKit_VirtualSF[] = {
    {0, 0, "Velmar Std Drum Kit"}, {1, 0, "Standard 2 Drum Kit"}, {2, 0, "Standard 3 Drum Kit"},
    {8, 0, "Room Drum Kit"},       {16, 0, "Power Drum Kit"},     {24, 0, "Electronic Drum Kit"},
    {25, 0, "TR-808 Drum Kit"},    {26, 0, "Dance Drum Kit"},     {27, 0, "TR-909 Drum Kit"},
    {28, 0, "Techno Drum Kit"},    {29, 0, "House Drum Kit"},     {32, 0, "Jazz Drum Kit"},
    {40, 0, "Brush Drum Kit"},     {48, 0, "Orchestra Drum Kit"}, {49, 0, "Ethnic Drum Kit"},
    {50, 0, "KICK&SNARE Drum Kit"}, {56, 0, "SFX Set"},           {127, 0, "TR-707 Drum Kit"},
};

template <typename T, int N>
constexpr int16_t rowCount(const T (&)[N])
{
    return int16_t(N);
}

static_assert(rowCount(trkGsNames_StandardVirtualSF) == 222, "external port set");
static_assert(rowCount(trkGsNames_VirtualSF) == 182, "software synthesizer set");
static_assert(rowCount(GSshrtDrumKit_StandardVirtualSF) == 10, "external port kits");
static_assert(rowCount(GSshrtDrumKit_VirtualSF) == 18, "software synthesizer kits");

const GS_NAME_TABLES kExternalPortTables = {
    SOUNDSET_EXTERNAL_PORT, trkGsNames_StandardVirtualSF, rowCount(trkGsNames_StandardVirtualSF),
    GSshrtDrumKit_StandardVirtualSF, rowCount(GSshrtDrumKit_StandardVirtualSF), 0};
const GS_NAME_TABLES kSoftSynthTables = {
    SOUNDSET_SOFT_SYNTH, trkGsNames_VirtualSF, rowCount(trkGsNames_VirtualSF),
    GSshrtDrumKit_VirtualSF, rowCount(GSshrtDrumKit_VirtualSF), 0};

// The default set's plain row of program 4 bank 0, and its insertion-effect
// rows, which follow the plain row of their program and bank.
const char kStageElPiano[] = "Stage El. Piano";
const GS_INSTRUMENT_NAME kInsertRows[] = {
    {4, 0, 3, -1, 49, 3, "Rhodes heavy phaser(i)"},
    {4, 0, 3, -1, 59, 3, "Rhodes light phaser(i)"},
    {4, 0, 5, -1, 69, 3, "Rhodes Tremolo (i)"},
    {7, 0, 3, -1, 49, 3, "Claviphaser 1 (i)"},
    {7, 0, 3, -1, 59, 3, "Claviphaser 2 (i)"},
    {11, 0, 5, -1, 49, 3, "Vibro Vibes (i)"},
    {12, 0, 6, -1, 49, 3, "Marimba Synth (i)"},
    {12, 0, 5, -1, 59, 3, "Panned Marimba (i)"},
    {16, 24, 5, -1, 49, 3, "TremolOrgan (i)"},
    {26, 0, 5, -1, 49, 2, "Guitar Vibrojazz (i)"},
    {26, 0, 10, 29, 59, 2, "Light Crunch Gtr (i)"},
    {27, 1, 1, -1, 49, 2, "Clean Chorus Gtr (i)"},
    {29, 0, 9, -1, 49, 2, "OVD Solo Gtr (i)"},
    {30, 1, 11, -1, 49, 2, "Dist Crunch Gtr (i)"},
    {33, 0, 13, -1, 49, 1, "Dist El.Bass (i)"},
    {38, 0, 1, -1, 49, 1, "Syn Chorusbass 1 (i)"},
    {39, 0, 1, 38, 59, 1, "Syn Chorusbass 2 (i)"},
    {81, 8, 2, -1, 49, 3, "Solo Synflange (i)"},
    {89, 0, 2, -1, 49, 4, "Flanging Pad (i)"},
    {95, 0, 2, -1, 49, 4, "Sweepy Flange (i)"},
};

// The larger sound sets are known here by their sizes and by the default
// set's rows above, not by their contents, and no name is made up for them.
// Each is built once from the named rows:
//  1. the software synthesizer's rows, then the external port's rows whose
//     program and bank the synthesizer lacks;
//  2. in a set with insertion effects, the rows of kInsertRows (with
//     "Stage El. Piano" as the plain row of program 4 bank 0); a missing plain
//     row for one of them is added as in step 3;
//  3. until the row count is reached, for bank 1, 2, 3 ... and each program
//     0-127 without a row on that bank, a row with the program's bank-0 name
//     and family: what a GS module plays for a variation it does not have;
//  4. rows sorted by program, then bank, equal ones keeping their order, so
//     an insertion-effect row follows its plain row.
// Drum kits: the synthesizer's 18 kits, then the same kits on bank 1, 2 ...
// until the count is reached, then the end row where the set has one.
// Of the 39 insertion-effect rows that the 190603 and 990001 sets carry only
// the 20 above are known; the other rows of those sets come from step 3.
struct SetShape {
    int version;
    int instruments;
    int drumKits;                          // end row included
    bool insertRows;
    bool endRow;
    int extendedBank;
};

constexpr SetShape kDerivedShapes[] = {
    {SOUNDSET_DEFAULT, 386, 46, true, false, 0},
    {SOUNDSET_190603, 578, 61, true, true, 1},
    {SOUNDSET_500000, 314, 24, false, false, 0},
    {SOUNDSET_990001, 598, 62, true, false, 1},
};
constexpr int kDerivedSets = int(sizeof kDerivedShapes / sizeof kDerivedShapes[0]);

struct DerivedSet {
    GS_INSTRUMENT_NAME rows[GS_INSTR_NAMES_MAX];
    GS_DRUM_KIT_NAME kits[GS_DRUMKIT_NAMES_MAX];
    GS_NAME_TABLES tables;
};

class DerivedSets
{
public:
    DerivedSets()
    {
        for (int i = 0; i < kDerivedSets; ++i)
            build(sets[i], kDerivedShapes[i]);
    }

    const GS_NAME_TABLES *find(int version) const
    {
        for (const DerivedSet &s : sets)
            if (s.tables.version == version)
                return &s.tables;
        return nullptr;
    }

private:
    DerivedSet sets[kDerivedSets];

    static bool has(const GS_INSTRUMENT_NAME *rows, int n, int program, int bank)
    {
        for (int i = 0; i < n; ++i)
            if (rows[i].program == program && rows[i].bank == bank)
                return true;
        return false;
    }

    static GS_INSTRUMENT_NAME capitalTone(const GS_INSTRUMENT_NAME *rows, int n, int program,
                                          int bank)
    {
        for (int i = 0; i < n; ++i)
            if (rows[i].program == program && rows[i].bank == 0)
                return {uint8_t(program), uint8_t(bank), 0, -1, -1, rows[i].family, rows[i].name};
        return {uint8_t(program), uint8_t(bank), 0, -1, -1, sliderGroupInstrMap[program & 127],
                NO_INSTRUMENT_NAME};
    }

    static void build(DerivedSet &s, const SetShape &shape)
    {
        GS_INSTRUMENT_NAME *rows = s.rows;
        int n = 0;
        const int limit = std::min(shape.instruments, GS_INSTR_NAMES_MAX);
        auto add = [&](const GS_INSTRUMENT_NAME &row) {
            if (n < limit)
                rows[n++] = row;
        };

        for (const GS_INSTRUMENT_NAME &row : trkGsNames_VirtualSF) {
            GS_INSTRUMENT_NAME r = row;
            if (shape.insertRows && r.program == 4 && r.bank == 0)
                r.name = kStageElPiano;
            add(r);
        }
        for (const GS_INSTRUMENT_NAME &row : trkGsNames_StandardVirtualSF)
            if (!has(trkGsNames_VirtualSF, rowCount(trkGsNames_VirtualSF), row.program, row.bank))
                add(row);
        if (shape.insertRows) {
            for (const GS_INSTRUMENT_NAME &row : kInsertRows)
                if (!has(rows, n, row.program, row.bank))
                    add(capitalTone(rows, n, row.program, row.bank));
            for (const GS_INSTRUMENT_NAME &row : kInsertRows)
                add(row);
        }
        for (int bank = 1; bank < 128 && n < limit; ++bank)
            for (int program = 0; program < GM_PROGRAMS && n < limit; ++program)
                if (!has(rows, n, program, bank))
                    add(capitalTone(rows, n, program, bank));
        std::stable_sort(rows, rows + n, [](const GS_INSTRUMENT_NAME &a, const GS_INSTRUMENT_NAME &b) {
            return a.program != b.program ? a.program < b.program : a.bank < b.bank;
        });

        GS_DRUM_KIT_NAME *kits = s.kits;
        int k = 0;
        const int kitLimit = std::min(shape.drumKits - (shape.endRow ? 1 : 0), GS_DRUMKIT_NAMES_MAX - 1);
        for (int bank = 0; bank < 128 && k < kitLimit; ++bank)
            for (const GS_DRUM_KIT_NAME &kit : GSshrtDrumKit_VirtualSF)
                if (k < kitLimit)
                    kits[k++] = {kit.program, uint8_t(bank), kit.name};
        std::stable_sort(kits, kits + k, [](const GS_DRUM_KIT_NAME &a, const GS_DRUM_KIT_NAME &b) {
            return a.program != b.program ? a.program < b.program : a.bank < b.bank;
        });
        if (shape.endRow)
            kits[k++] = {NO_PROGRAM, NO_BANK, nullptr};

        s.tables = {shape.version, rows, int16_t(n), kits, int16_t(k), shape.extendedBank};
    }
};

} // namespace

const GS_NAME_TABLES *MIDI_CONST_GetBuiltInNames(int version)
{
    switch (version) {
    case SOUNDSET_EXTERNAL_PORT:
        return &kExternalPortTables;
    case SOUNDSET_SOFT_SYNTH:
        return &kSoftSynthTables;
    default:
        break;
    }
    static const DerivedSets derived;
    if (version == SOUNDSET_190621 || version == SOUNDSET_191110)
        version = SOUNDSET_190603;
    if (const GS_NAME_TABLES *t = derived.find(version))
        return t;
    return derived.find(SOUNDSET_DEFAULT);
}
