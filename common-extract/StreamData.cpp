#include "StreamData.h"

#include <cstring>

std::vector<BAR_BEAT_POS> BarPositions;

void zeroStreamRecords(s_StreamData *sd)
{
    if (!sd || !sd->midiStream || !sd->midiInfos || !sd->mfi || !sd->db)
        return;
    std::memset(sd->midiStream, 0, sizeof(MidiStream));
    std::memset(sd->midiInfos, 0, sizeof(MidiInfos));
    std::memset(sd->mfi, 0, sizeof(Mfi));
    std::memset(sd->db, 0, sizeof(Db));
    sd->midiStream->port = NO_PORT;
    sd->midiStream->db = sd->db;
    sd->midiInfos->db = sd->db;
    sd->mfi->buffer = sd->eventBuffer;
}

void ClearMidiInfos(MidiInfos *mi)
{
    if (!mi)
        return;
    mi->barInfoCount = 0;
    std::memset(mi->barInfo, UNSET_BYTE, sizeof mi->barInfo);
    mi->tempoCount = 1;
    std::memset(mi->tempoTable, 0, sizeof mi->tempoTable);
    mi->tempoTable[0].bar = 0;
    mi->tempoTable[0].bpm = DEFAULT_BPM;
    mi->barCount = 0;
    mi->syllablesOn = 0;
    mi->endBar = 0;
    mi->insertsPreloaded = 0;
    mi->lastNoteTick = 0;
    mi->runningTick = 0;
    mi->chorusTick = 0;
    mi->verseChorusTick = 0;
    std::memset(mi->key, 0, sizeof mi->key);
    std::memset(mi->activity, 0, sizeof mi->activity);
    std::memset(mi->currentLayer, 0, sizeof mi->currentLayer);
    std::memset(mi->currentBank, UNSET_BYTE, sizeof mi->currentBank);
    std::memset(mi->barOffsets, 0, sizeof mi->barOffsets);
    std::memset(mi->barTicks, 0, sizeof mi->barTicks);
    std::memset(mi->setupList, 0, sizeof mi->setupList);
    std::memset(mi->sysexTable, 0, sizeof mi->sysexTable);
    mi->sysexCount = 0;
    std::memset(mi->textRows, 0, sizeof mi->textRows);
    mi->textRowCount = 0;
    std::memset(mi->chords, 0, sizeof mi->chords);
    mi->chordCount = 0;
    std::memset(mi->syllables, 0, sizeof mi->syllables);
    mi->syllableCount = 0;
    std::memset(mi->markers, 0, sizeof mi->markers);
    mi->markerCount = 0;
    mi->precountBars = 0;
    mi->ccSyllableMode = 0;
    mi->sysexSyllableMode = 0;
}

void bindStreamData(s_StreamData *sd, SONG_INFO *info, uint8_t *eventBuffer,
                    MidiStream *midiStream, MidiInfos *midiInfos, Mfi *mfi, Db *db,
                    uint8_t slotFlag)
{
    if (!sd)
        return;
    sd->info = info;
    sd->slotFlag = slotFlag;
    sd->eventBuffer = eventBuffer;
    sd->streamLength = 0;
    sd->midiStream = midiStream;
    sd->midiInfos = midiInfos;
    sd->mfi = mfi;
    sd->db = db;
    zeroStreamRecords(sd);
}
