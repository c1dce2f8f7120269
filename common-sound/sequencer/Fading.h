// Fades of the engine: the cross-fade between the two song slots during a
// jump, the fade-out of the song in play and the fade-in of a song. The jump
// code and the interpreter start them; the fade task advances the running one
// once per tick, acting only through volume terms.
#pragma once

#include <cstdint>

constexpr int FADE_CURVE_STEPS = 20;

extern const uint8_t FadeInCurveClassic[FADE_CURVE_STEPS];
extern const uint8_t FadeInCurveLinear[FADE_CURVE_STEPS];
extern const uint8_t FadeInCurveEndFast[FADE_CURVE_STEPS];

// The curve of a plain cross-fade; Linear until one is chosen.
extern const uint8_t *FadeInCurve;
extern uint8_t FadeDiscoMode;
extern uint8_t multipleFadeCurve;
// Step counter: 20 -> 0 in a cross-fade, 100 -> 0 in a fade-in or fade-out.
extern int jumpFadeFactor;
// The cross-fade percentages last given to outputs 1 and 2.
extern int jumpFadeFactor1;
extern int jumpFadeFactor2;
extern uint32_t prescalerFade;
extern uint32_t reloadValPrescalerFade;

extern "C" {

// 1 Classic; 2 disco mode 1; 3 disco mode 2; anything else Linear.
void SetCrossFadeCurve(int n);
// One cross-fade step.
void SendFade4jump(void);
// The per-tick fade task, after the interpreter.
void MidiSequencer_FadeTasks(void);
// The half phase of a fade-out.
void HalfFadeOutOperation(void);
int isFading(void);
int isShortResuming(void);
void ResetShortSong(void);

} // extern "C"
