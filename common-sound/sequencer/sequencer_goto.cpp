#include "sequencer_goto.h"

#include "Fading.h"
#include "sequencer_ex_p.h"

uint8_t MidiAuxBuffer[MIDI_AUX_BUFFER_SIZE];
uint8_t *ptrMF5AuxBuffer = MidiAuxBuffer;

int isAutoBpm(int newBpm, int oldBpm)
{
    if (newBpm <= 0 || oldBpm <= 0)
        return 0;
    const int16_t ratio = int16_t(100 * newBpm / oldBpm);
    const int rate = bpmAdjustRate.load(std::memory_order_relaxed);
    return (ratio >= 100 - rate && ratio <= 100 + rate) ? 1 : 0;
}

void ResetCueingFactor(void)
{
    jumpFadeFactor1 = 20;
    jumpFadeFactor2 = 20;
}
