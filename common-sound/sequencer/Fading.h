// Fades of the engine (cross-fade between the two slots, fade-out of the song
// in play, fade-in). Nothing in this application starts one: the jump code
// that would is not part of it, so the fade task finds no fade running.
#pragma once

#include <cstdint>

// State the interpreter sets when it starts a fade.
extern int jumpFadeFactor;
extern int jumpFadeFactor1;
extern int jumpFadeFactor2;
extern uint32_t prescalerFade;
extern uint32_t reloadValPrescalerFade;
extern uint8_t FadeDiscoMode;
extern uint8_t multipleFadeCurve;

extern "C" {

// The per-tick fade task, after the interpreter.
void MidiSequencer_FadeTasks(void);
// One step of the cross-fade.
void SendFade4jump(void);
// The half phase of a fade-out.
void HalfFadeOutOperation(void);
int isFading(void);
int isShortResuming(void);

} // extern "C"
