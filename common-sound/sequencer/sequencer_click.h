// Metronome click, count-in settings and melody mirror, all on MIDI output 4
// (the click on MIDI channel 10). The interpreter calls the click at the
// song's bar, beat and half-beat markers.
#pragma once

constexpr int CLICK_CHANNEL = 9;
constexpr int CLICK_ACCENT = 40;

extern "C" {

// precountStarted; the count-in bar counter of the real-time record := 0.
void SEQUENCER_EX_InitPrecountBar(void);
// bars > 0: the count-in setting := bars - 1; anything else changes nothing.
void SEQUENCER_EX_SetPrecountBar(int bars);
int SEQUENCER_EX_GetPrecountBar(void);

// Bank and program of the bar (beat) click, sent at once on output 4; the
// bar setter also clears the click channel's effect sends.
void SEQUENCER_EX_SetClickBarSound(int program, int bank, int note, int velocity);
void SEQUENCER_EX_SetClickBeatSound(int program, int bank, int note, int velocity);
void SEQUENCER_CLICK_ClickBarBeatRestore(void);
// Reverb and chorus sends of a channel (0..15) to 0 on output 4.
void SEQUENCER_EX_ClickClrFX(int channel);
void SEQUENCER_EX_SetClickTimeMod(int mode);
void SEQUENCER_EX_EnableClick(int on);

void SEQUENCER_CLICK_ClickBar(void);
void SEQUENCER_CLICK_ClickBeat(int accent);
void SEQUENCER_CLICK_ClickHalfBeat(void);
// The beat click for beat `beat` (0-based) in a bar of `beatsPerBar` beats,
// by the click time mode.
void SEQUENCER_CLICK_ClickBeatOf(int beat, int beatsPerBar);
// 1 when the interpreted stream plays normally: no fast start, no chase, no
// seek or rewind running.
int SEQUENCER_CLICK_isValidClick(void);

void SEQUENCER_EX_SetMelodyMirror(int on);
int SEQUENCER_EX_GetMelodyMirror(void);
// Silences MIDI channel 4 on output 4 (queued) and clears its effect sends.
void SEQUENCER_EX_MelodyClick_ResetChan(void);

} // extern "C"
