// Open and close shared by the RtMidi input and output wrappers: RtMidi's
// errors are printed with the wrapper's prefix and turned into results.
#pragma once

#include <RtMidi.h>

// 0 when the port is open, else 1 (no client, bad number, RtMidi error, or a
// port that does not exist, of which RtMidi only warns).
int rtMidiOpenPort(RtMidi *client, int port, const char *portName, const char *prefix);
void rtMidiClosePort(RtMidi *client, const char *prefix);
