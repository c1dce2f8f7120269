// The engine's MIDI outputs and the one rule of which a song's events go
// to. An output is numbered from 1, as the driver numbers it
// (CINTERFACE_SendMidiEvent); it is made from that number or by the rule
// from an engine port, never from a bare integer, so that an engine port
// (from 0) and an output cannot be taken for each other.
#pragma once

#include <cstdint>

class MidiOutput
{
public:
    // Output 1, 2 or 3.
    static constexpr MidiOutput of(int number) { return MidiOutput(number); }
    constexpr int number() const { return m_number; }
    // Outputs 1 and 2 have volume tables (their rows 0 and 1).
    constexpr bool hasVolumes() const { return m_number == 1 || m_number == 2; }
    constexpr int volumeRow() const { return m_number - 1; }
    static constexpr MidiOutput ofVolumeRow(int row) { return MidiOutput(row + 1); }
    // The other of outputs 1 and 2.
    constexpr MidiOutput other() const { return MidiOutput(m_number == 1 ? 2 : 1); }
    constexpr bool operator==(MidiOutput o) const { return m_number == o.m_number; }
    constexpr bool operator!=(MidiOutput o) const { return m_number != o.m_number; }

private:
    explicit constexpr MidiOutput(int number) : m_number(number) {}
    int m_number;
};

// The output that a song's port songPort (0 its first, 1 its second) plays
// on from engine port enginePort: the song's first port on the engine port's
// own output, its second on the other one; anything else on output 2.
constexpr MidiOutput outputFor(int enginePort, int songPort)
{
    return MidiOutput::of((songPort == 0 || songPort == 1) && enginePort == songPort ? 1 : 2);
}

// Where an engine port's own set-up goes (a song's first port, its insert
// effects, its volume tables): engine ports 0 and 1 by the rule above,
// port 2 (the engine's third) on output 3.
constexpr MidiOutput ownOutput(int enginePort)
{
    return enginePort == 2 ? MidiOutput::of(3) : outputFor(enginePort, 0);
}
