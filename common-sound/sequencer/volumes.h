// Volumes the engine controls: the Master Volume of outputs 1 and 2 and the
// channel volume (controller 7) of their 16 channels. Each is a product of
// terms that any thread may set at any time; setters only store and mark, and
// two tasks on the engine tick recompute and send what changed.
#pragma once

#include "StreamData.h"
#include "midioutput.h"

#include <cstdint>

// Terms of a channel's volume.
enum MIDI_SINGLE_CHAN_VOLS {
    MIDI_CHAN_VOL_TRACK = 0,     // the song's own controller 7 or the mix editor
    MIDI_CHAN_VOL_FADE = 1,      // the fades' per-channel factor
};

// Mixer groups, the numbering of sliderGroupInstrMap.
constexpr int VOLUME_GROUP_DRUMS = 0;
constexpr int VOLUME_GROUPS = 6;
constexpr int VOLUME_OUTPUTS = 2;
constexpr int VOLUME_TABLE_CHANNELS = 32;

constexpr uint16_t GENERAL_MUSIC_MAX = 1023;
constexpr uint16_t GENERAL_FADE_MAX = 100;
constexpr uint16_t SOURCE0_MAX = 127;
constexpr uint16_t SOURCE1_MAX = 100;

constexpr int VELOCITY_CURVES = 6;

extern "C" {

// General volume of both outputs: term 0 the user's music volume (0..1023),
// term 1 the fade level (0..100).
void setMidiGeneralVolume(int which, int value);
void maxMidiGeneralVolume(int which);
void setMaxMidiGeneralVolume(int which, int maximum);
void updateMidiGeneralVol(void);
// The fade level back to full.
void SEQUENCER_EX_ResetFadingVolume(void);

// Source terms of output 1 or 2: source 0 (127 of 127), source 1 the
// cross-fade factor (100 of 100).
void setMidiCableSourceVolume(int source, int value, MidiOutput output);
void maxMidiSourceVolume(int source, MidiOutput output);
void setMaxMidiSourceVolume(int source, int maximum);
// Both Master Volumes are sent again.
void updateMidiChannelVol(void);
// Balance against the master keyboard: min(value & 255, 127) / 127.
void VOLUME_setMasterKFactor(int value);

// Channel volume map of output 1 or 2, channel 0..31, value limited to
// 0..127; out-of-range indices and other outputs are ignored.
void VOLUMES_setMidiChVolumesMap(int which, int value, int channel, MidiOutput output);
void refreshMidiChVolumesMap(int channel, MidiOutput output);
void maxMidiChVolumesMap(int which, MidiOutput output);
// A freed output starts again at full channel volume with the groups re-applied.
void resetMidiChVolumesMap(MidiOutput output);
void CopyVolumesMap(MidiOutput to, MidiOutput from);
int VOLUMES_GetMidiChVolumesMap(int which, int channel, MidiOutput output);

// Group sliders (0 drums .. 5 winds), values 0..127.
void VOLUMES_SetSliderValue(int group, int value);
int VOLUMES_GetSliderValue(int group);
void updateMidiAllChanelVolumes(void);
void sliderChanged(int group);
void VOLUMES_UpdateSeqMixSlider(int force);
void VOLUMES_ClearLastSliders(void);

void initVolumes(void);

// Every tick: sends the Master Volume of an output whose terms changed.
void VolumeTask(void);
// After each interpreter run over a slot: applies marked groups and sends
// controller 7 for the marked channels of the slot's outputs.
void MidiChannelVolumeTask(MidiStream *stream, Db *db);
// Sends the marked channels of one output.
void SendMidiHighChannelChanged(MidiOutput output);
// One controller 7 at once on the output that flat channel `channel` of a
// song plays on from engine port `port`.
void MidiChannelVolume(int volume, int channel, int port);

// Velocity through a layer's velocity curve (1..6); other curves leave it.
uint8_t VOLUMES_VelocityCurve(int curve, uint8_t velocity);

} // extern "C"
