#include "StreamData.h"

#include <cstring>

BAR_BEAT_POS BarPositions[MAX_BAR_BEAT_POS];
int BarPositionsCount = 0;

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
