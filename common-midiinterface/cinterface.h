// Entry points through which the C engine modules write MIDI to the output
// layer. A byte string is cut into messages: a string that starts with F0 is
// one message; otherwise a new message starts at every byte of 80 or above
// (running status is not expanded), except that an F0 inside the string runs
// to its F7. Nothing happens for len <= 0 or while no Sound::MidiInterface
// exists. The caller's buffer may be reused as soon as a call returns.
#pragma once

#include "midioutput.h"

extern "C" {

// Writes the messages at once to output 1..6 (any other sends nothing). Output
// 1 holds queue mutex 2 for the whole string, so two strings to output 1 never
// interleave. The numbered ones name their output.
void CINTERFACE_SendMidiEvent(int output, const unsigned char *data, int len);
void CINTERFACE_SendMidiEvent1(const unsigned char *data, int len);
void CINTERFACE_SendMidiEvent2(const unsigned char *data, int len);
void CINTERFACE_SendMidiEvent3(const unsigned char *data, int len);
void CINTERFACE_SendMidiEvent4(const unsigned char *data, int len);
void CINTERFACE_SendMidiEvent5(const unsigned char *data, int len);
void CINTERFACE_SendMidiEvent6(const unsigned char *data, int len);

// Appends the messages, together and in order, to the send queue of the
// output; the Sequencer thread releases one per queue per pass (1, 2, 4).
// Outputs without a queue (3) send nothing.
void CINTERFACE_QueueMidiEvent(int output, const unsigned char *data, int len);
void CINTERFACE_QueueMidiEvent1(const unsigned char *data, int len);
void CINTERFACE_QueueMidiEvent2(const unsigned char *data, int len);
void CINTERFACE_QueueMidiEvent4(const unsigned char *data, int len);
void CINTERFACE_QueueMidiEvent5(const unsigned char *data, int len);
void CINTERFACE_QueueMidiEvent6(const unsigned char *data, int len);

// Puts the calling thread to sleep for ms milliseconds, or calls the sleep
// function a test driver installed.
void CINTERFACE_SleepMillisec(unsigned long ms);

// A test driver replaces the sleep (e.g. by advancing a simulated clock and
// running a tick); null puts the real sleep back.
typedef void (*CINTERFACE_SleepFunction)(unsigned long ms, void *userData);
void CINTERFACE_SetSleepFunction(CINTERFACE_SleepFunction function, void *userData);

} // extern "C"

// Output 1, 2 or 3 (4 sends nothing); emits sendMidiStringStarting before
// and sendMidiStringFinished after.
void CINTERFACE_SendMidiString(MidiOutput output, const unsigned char *data, int len);

// The master-volume correction of an output.
void CINTERFACE_SetMidiVolumeCorrection(MidiOutput output, int value);
int CINTERFACE_GetMidiVolumeCorrection(MidiOutput output);
