// Outputs that share a description on a PulseAudio server (two null sinks,
// two cards of one model) are one device to RtAudio, which opens the last of
// them the server lists. Where the server's default output is one of them,
// the user means that one: a stream just opened on a twin goes to it before
// it sounds.
//
// Called by the owner of a stream between openStream and startStream (not on
// the audio thread); it asks the server (a connection of its own, at most
// about half a second) and moves only this process's streams.
#pragma once

class RtAudio;

namespace PulseTwins {

// `device` is the RtAudio device the stream was opened on. Nothing happens
// for another audio API, without a server, or where the device's description
// is not the default output's or names one output alone.
void keepOnDefault(RtAudio &audio, unsigned device);

} // namespace PulseTwins
