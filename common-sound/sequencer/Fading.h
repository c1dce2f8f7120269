// Fades of the engine: the cross-fade between the two song slots during a
// jump, the fade-out of the song in play and the fade-in of a song. The jump
// code and the interpreter start them; the fade task advances the running one
// once per tick, acting only through volume terms.
#pragma once

#include <cstdint>

constexpr int FADE_CURVE_STEPS = 20;

// A cross-fade walks the curves down from their last step; a fade-in or
// fade-out walks the general fade level down in percent.
constexpr int CROSSFADE_START_FACTOR = FADE_CURVE_STEPS;
constexpr int LEVEL_FADE_START_FACTOR = 100;
// Past this factor a fade-out has swapped the shown song.
constexpr int LEVEL_FADE_HALF = 50;
// A cross-fade step every 25 ticks per fade beat: its 20 steps then last as
// many beats of 120 BPM as it has fade beats, whatever the song's tempo.
constexpr uint32_t CROSSFADE_STEP_TICKS_PER_BEAT = 25;
// A fade-in or fade-out waits a twentieth of its length in milliseconds
// before its first step and again at its half phase.
constexpr uint32_t LEVEL_FADE_WAIT_DIVISOR = 20;

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
