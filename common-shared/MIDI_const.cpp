#include "MIDI_const.h"

#include <atomic>

const uint8_t sliderGroupInstrMap[GM_PROGRAMS] = {
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 0, 3,  // 0-15
    3, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2,  // 16-31
    1, 1, 1, 1, 1, 1, 1, 1, 4, 4, 4, 4, 4, 4, 2, 4,  // 32-47
    4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5,  // 48-63
    5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5,  // 64-79
    3, 3, 3, 3, 2, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4,  // 80-95
    4, 4, 4, 4, 4, 4, 4, 4, 2, 2, 2, 2, 3, 5, 4, 5,  // 96-111
    0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,  // 112-127
};

const char *const FamilyInstruments[16] = {
    "Piano", "Chromatic Percussion", "Organ", "Guitar", "Bass", "Strings",
    "Ensemble", "Brass", "Reed", "Pipe", "Synth Lead", "Synth Pad",
    "Synth Effects", "Ethnic", "Percussive", "Sound Effects",
};

const char *const InsertMidiName[INSERT_NAMES] = {
    "Off", "Chorus", "Flanger", "Phaser", "PhaserLite", "Tremolo", "Auto Wah", "Low-Fi", "DistRotary",
    "DistDelay", "VO Drive", "Crunch", "Dyna Amp", "R-Fier", "Metal", "Stack", "Tweed", "",
};

const uint8_t DrumKitFamilyMap[DRUM_FAMILY_NOTES] = {
    0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 2, 9, 2,  // notes 25-40
    3, 4, 3, 4, 3, 4, 3, 3, 5, 3, 5, 5, 5, 8, 5, 0,  // notes 41-56
    5, 0, 5, 6, 6, 6, 6, 6, 7, 7, 0, 0, 8, 8, 0, 0,  // notes 57-72
    0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0,  // notes 73-88
};

const char *const DrumKitSubFamily[DRUM_SUB_FAMILIES] = {
    "All Others", "Drum Bass", "Snares", "Toms", "Hi Hats",
    "Cymbals", "Latin Perc", "Timbales", "Shakered", "Human",
};

const char NO_INSTRUMENT_NAME[] = "<No Instrument>";

namespace {

const GS_NAME_TABLES kNoTables = {SOUNDSET_NONE, nullptr, 0, nullptr, 0, 0};

// The engine thread reads while the GUI thread selects: a selection only
// swaps this pointer between immutable built-in pairs.
std::atomic<const GS_NAME_TABLES *> g_live{&kNoTables};

// Program and bank as the tables hold them; false when no program was seen.
bool wantedKey(int program, int bank, int &p, int &b)
{
    if (program == NO_PROGRAM || program < 0)
        return false;
    p = program & 0x7F;
    b = (bank == NO_BANK || bank < 0) ? 0 : (bank & 0x7F);
    return true;
}

const char *nameOrFallback(const char *name)
{
    return name ? name : NO_INSTRUMENT_NAME;
}

} // namespace

int MIDI_CONST_SetTrkGsNames(int version, int *extendedBank)
{
    const GS_NAME_TABLES *t = MIDI_CONST_GetBuiltInNames(version);
    g_live.store(t, std::memory_order_release);
    if (extendedBank)
        *extendedBank = t->extendedBank;
    return t->GS_INSTR_NAMES_SIZE;
}

const GS_NAME_TABLES *MIDI_CONST_GetTrkGsNames()
{
    return g_live.load(std::memory_order_acquire);
}

const char *instrumentName(int i)
{
    const GS_NAME_TABLES *t = MIDI_CONST_GetTrkGsNames();
    const int16_t idx = int16_t(i);
    if (idx < 0 || idx >= t->GS_INSTR_NAMES_SIZE)
        return NO_INSTRUMENT_NAME;
    return nameOrFallback(t->trkGsNames[idx].name);
}

int instrumentPrgChg(int i)
{
    const GS_NAME_TABLES *t = MIDI_CONST_GetTrkGsNames();
    const int16_t idx = int16_t(i);
    return (idx < 0 || idx >= t->GS_INSTR_NAMES_SIZE) ? 0 : t->trkGsNames[idx].program;
}

int instrumentBank(int i)
{
    const GS_NAME_TABLES *t = MIDI_CONST_GetTrkGsNames();
    const int16_t idx = int16_t(i);
    return (idx < 0 || idx >= t->GS_INSTR_NAMES_SIZE) ? 0 : t->trkGsNames[idx].bank;
}

int instrumentInsert(int i)
{
    const GS_NAME_TABLES *t = MIDI_CONST_GetTrkGsNames();
    const int16_t idx = int16_t(i);
    return (idx < 0 || idx >= t->GS_INSTR_NAMES_SIZE) ? 0 : t->trkGsNames[idx].insert;
}

const char *drumkitName(int i)
{
    const GS_NAME_TABLES *t = MIDI_CONST_GetTrkGsNames();
    const int16_t idx = int16_t(i);
    if (idx < 0 || idx >= t->GS_DRUMKIT_NAMES_SIZE)
        return NO_INSTRUMENT_NAME;
    return nameOrFallback(t->GSshrtDrumKit[idx].name);
}

int drumkitPrgChg(int i)
{
    const GS_NAME_TABLES *t = MIDI_CONST_GetTrkGsNames();
    const int16_t idx = int16_t(i);
    return (idx < 0 || idx >= t->GS_DRUMKIT_NAMES_SIZE) ? 0 : t->GSshrtDrumKit[idx].program;
}

int drumkitBank(int i)
{
    const GS_NAME_TABLES *t = MIDI_CONST_GetTrkGsNames();
    const int16_t idx = int16_t(i);
    return (idx < 0 || idx >= t->GS_DRUMKIT_NAMES_SIZE) ? 0 : t->GSshrtDrumKit[idx].bank;
}

int16_t findInstrumentPos(const GS_NAME_TABLES *t, int program, int bank, int insert)
{
    int p = 0;
    int b = 0;
    if (!t || !wantedKey(program, bank, p, b))
        return -1;
    int16_t first = -1;
    for (int16_t i = 0; i < t->GS_INSTR_NAMES_SIZE; ++i) {
        const GS_INSTRUMENT_NAME &row = t->trkGsNames[i];
        if (row.program != p || row.bank != b)
            continue;
        if (row.insert == insert)
            return i;
        if (first < 0)
            first = i;
    }
    return first;
}

int16_t findInstrumentPos(int program, int bank, int insert)
{
    return findInstrumentPos(MIDI_CONST_GetTrkGsNames(), program, bank, insert);
}

int16_t findDrumKitPos(const GS_NAME_TABLES *t, int program, int bank)
{
    int p = 0;
    int b = 0;
    if (!t || !wantedKey(program, bank, p, b))
        return -1;
    for (int16_t i = 0; i < t->GS_DRUMKIT_NAMES_SIZE; ++i) {
        const GS_DRUM_KIT_NAME &row = t->GSshrtDrumKit[i];
        if (row.program == NO_PROGRAM)
            break;
        if (row.program == p && row.bank == b)
            return i;
    }
    return -1;
}

int16_t findDrumKitPos(int program, int bank)
{
    return findDrumKitPos(MIDI_CONST_GetTrkGsNames(), program, bank);
}

const char *getInstrumentOrDrumKitName(const GS_NAME_TABLES *t, int program, int bank,
                                       int insert, int isDrum)
{
    if (isDrum) {
        const int16_t i = findDrumKitPos(t, program, bank);
        return i < 0 ? NO_INSTRUMENT_NAME : nameOrFallback(t->GSshrtDrumKit[i].name);
    }
    const int16_t i = findInstrumentPos(t, program, bank, insert);
    return i < 0 ? NO_INSTRUMENT_NAME : nameOrFallback(t->trkGsNames[i].name);
}

const char *getInstrumentOrDrumKitName(int program, int bank, int insert, int isDrum)
{
    return getInstrumentOrDrumKitName(MIDI_CONST_GetTrkGsNames(), program, bank, insert, isDrum);
}

uint8_t EXTR_INFO_getInstrumentInsert(int program, int bank, int insert)
{
    const GS_NAME_TABLES *t = MIDI_CONST_GetTrkGsNames();
    const int16_t i = findInstrumentPos(t, program, bank, insert);
    return i < 0 ? 0 : t->trkGsNames[i].insert;
}

int getInstrumentFamily(unsigned program, int, int isDrum)
{
    if (program >= unsigned(GM_PROGRAMS))
        return -1;
    if (isDrum & 0xFF)
        return 0;
    return sliderGroupInstrMap[program];
}

int changeUnknownDrumKit(uint8_t *event)
{
    if (!event || (event[0] & 0xF0) != 0xC0)
        return 0;
    const GS_NAME_TABLES *t = MIDI_CONST_GetTrkGsNames();
    for (int16_t i = 0; i < t->GS_DRUMKIT_NAMES_SIZE; ++i) {
        const uint8_t program = t->GSshrtDrumKit[i].program;
        if (program != NO_PROGRAM && program == event[1])
            return 0;
    }
    event[1] = 0;
    return 1;
}

int GetDrumKitFamilyMap(unsigned note)
{
    if (note < unsigned(DRUM_FAMILY_FIRST_NOTE) || note >= unsigned(DRUM_FAMILY_FIRST_NOTE + DRUM_FAMILY_NOTES))
        return 0;
    return DrumKitFamilyMap[note - DRUM_FAMILY_FIRST_NOTE];
}
