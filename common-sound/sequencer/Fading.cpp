#include "Fading.h"

int jumpFadeFactor = 0;
int jumpFadeFactor1 = 20;
int jumpFadeFactor2 = 20;
uint32_t prescalerFade = 0;
uint32_t reloadValPrescalerFade = 0;
uint8_t FadeDiscoMode = 0;
uint8_t multipleFadeCurve = 0;

// Only the jump code starts a fade (jump states 6, 10, 11), and it is not
// part of this application: there is never a step to run.
void MidiSequencer_FadeTasks(void)
{
}

void SendFade4jump(void)
{
    if (jumpFadeFactor > 0)
        --jumpFadeFactor;
}

void HalfFadeOutOperation(void)
{
}

int isFading(void)
{
    return 0;
}

int isShortResuming(void)
{
    return 0;
}
