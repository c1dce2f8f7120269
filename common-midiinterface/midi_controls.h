// Fixed MIDI messages the engine and the mix editor send besides a song's own
// events: GM and GS resets, Master Volume, GS reverb and chorus, NRPN, stop
// sound, bank and program, pitch-bend centre. Output N below is output N of
// Sound::MidiInterface (a MidiOutput where one is taken); a flat channel 0..63 is output (flat / 16) + 1,
// channel flat & 15.
#pragma once

#include "midioutput.h"

#include <string>
#include <vector>

// Sent exactly as they stand.
extern const unsigned char GM_RESET[6];
extern const unsigned char GS_RESET[11];
// Byte 6 becomes the volume in every copy that is sent.
extern const unsigned char GM_MASTER_VOL[8];
// The four GS reverb and chorus messages: byte 8 is the value, byte 9 the
// Roland checksum, both filled in for each copy that is sent.
extern const unsigned char REVERB_SYS_EX[11];
extern const unsigned char REVERB_MASTER_SYS_EX[11];
extern const unsigned char CHORUS_SYS_EX[11];
extern const unsigned char CHORUS_MASTER_SYS_EX[11];
// Never sent: the first 8 bytes recognise a song's own GS reverb-type message.
extern const unsigned char REVERB_SYS_EX2[11];

constexpr int MIDI_CONTROLS_NRPN_LEN = 9;
constexpr int MIDI_CONTROLS_STOP_SOUND_LEN = 9;

// Roland checksum of a DT1 message: 128 minus the sum of the address and data
// bytes, modulo 128.
unsigned char MIDI_CONTROLS_RolandChecksum(const unsigned char *addressAndData, int len);

extern "C" {

// GM System On at once on output port (1..4); other ports send nothing. Both
// log "MIDI GM-RESET MIDI port: %i" with port - 1. Every reset forgets the
// reverb and chorus values last sent, so the next request sends again.
void MIDI_CONTROLS_PushGM_Reset(int port);
// The same with the GS reset ("MIDI GS-RESET MIDI port: %i").
void MIDI_CONTROLS_PushGS_Reset(int port);
// GM reset, then the GS reset when enabled, on the same output.
void MIDI_CONTROLS_Push_Reset(int port);
void MIDI_CONTROLS_Config_GS_Reset(int on);

// Master Volume on output 1, then on output 2.
void MIDI_CONTROLS_SendMasterSysExVolSequencer(int volume);

// Builds the same 9 bytes into the module's one buffer and returns it; sends
// nothing. The buffer is overwritten by the next call.
unsigned char *MIDI_CONTROLS_Set_NRPN(int nrpn, int value, int chan);
// Queue 1: NRPN 37 07 = volume, then NRPN 37 99 = 0.
void MIDI_CONTROLS_SetMasterSAM1_vol(int volume);
// Queue 1: NRPN 37 1F = routing, then NRPN 37 99 = 0.
void MIDI_CONTROLS_SetClickRouting(int routing);

// GS reverb type, reverb level, chorus type, chorus level at once on output
// 1. A value equal to the last one sent of that message is not sent again;
// a value above 127 is no data byte and sends nothing.
void sendMidiReverb(int type);
void sendMidiMasterReverb(int level);
void sendMidiChorus(int type);
void sendMidiMasterChorus(int level);

// Called by the output layer for every message output 1's device accepted:
// a GS reverb or chorus message becomes the value last sent, a GM or GS reset
// forgets them all, whoever sent it (a song's own messages pass there too).
void MIDI_CONTROLS_NoteSentOnOutput1(const unsigned char *message, int len);

// All Notes Off, All Sound Off, Sustain off on a flat channel (0..63; others
// send nothing).
void MIDI_CONTROLS_StopSoundChan(int flatChannel);
// The same for channel chan & 15 on output ((port * 16 + chan) / 16) + 1.
void MIDI_CONTROLS_StopSoundChanAtPort(int port, int chan);
// Writes the stop-sound message for chan & 15 into buffer (at least 9 bytes)
// and sets *length to 9; sends nothing.
void MIDI_CONTROLS_StopSoundChanAtPort_Ex(int port, int chan, unsigned char *buffer,
                                          int *length);
// En 00 40 at once on output 1 / output 2.
void MIDI_CONTROLS_ResetPitchBand_1(int chan);
void MIDI_CONTROLS_ResetPitchBand_2(int chan);

} // extern "C"

// Master Volume on output 1, 2 or 3; output 4 sends nothing.
void MIDI_CONTROLS_PushSysExVol(int volume, MidiOutput output);
// Bn 63 mm Bn 62 ll Bn 06 vv (n = chan & 15; mm, ll = bits 8-14 and 0-6 of
// nrpn, vv = value & 127). Outputs 1 and 2: queued when queued != 0, else at
// once; output 3 at once as three messages; output 4 at once.
void MIDI_CONTROLS_Send_NRPN(int nrpn, int value, MidiOutput output, int chan, int queued);
// Bn 00 bank Cn program through CINTERFACE_SendMidiString on output.
void MIDI_CONTROLS_SendInstrument(int chan, int program, int bank, MidiOutput output);

// The first count bytes (at most the vector's size) as two lower-case hex
// digits and a blank each.
std::string hexStr(const std::vector<unsigned char> *data, int count);
