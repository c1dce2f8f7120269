// The MIDI outputs and the one rule of which a song's events go to. An
// output is numbered from 1, as the driver numbers it
// (CINTERFACE_SendMidiEvent); it is made from a constant or by the rule from
// an engine port, never from a number computed at run time, so that an
// engine port (from 0) and an output cannot be taken for each other: the
// compiler refuses MidiOutput::of(port).
#pragma once

#include <cstdint>

class MidiOutput
{
public:
    // Output 1, 2, 3 or 4 (the click and melody output).
    template <int N>
    static constexpr MidiOutput of()
    {
        static_assert(N >= 1 && N <= 4, "outputs are numbered from 1 to 4");
        return MidiOutput(N);
    }
    constexpr int number() const { return m_number; }
    // Where the output's entry is in a table kept per output (from 0).
    constexpr int index() const { return m_number - 1; }
    // Outputs 1 and 2 have volume tables (their rows 0 and 1).
    constexpr bool hasVolumes() const { return m_number == 1 || m_number == 2; }
    constexpr int volumeRow() const { return m_number - 1; }
    // The other of outputs 1 and 2.
    constexpr MidiOutput other() const { return MidiOutput(m_number == 1 ? 2 : 1); }
    constexpr bool operator==(MidiOutput o) const { return m_number == o.m_number; }
    constexpr bool operator!=(MidiOutput o) const { return m_number != o.m_number; }

private:
    explicit constexpr MidiOutput(int number) : m_number(number) {}
    int m_number;
};

// The two outputs with volume tables, in the order of their rows.
constexpr MidiOutput kVolumeOutputs[2] = {MidiOutput::of<1>(), MidiOutput::of<2>()};

// The output that a song's port songPort (0 its first, 1 its second) plays
// on from engine port enginePort: the song's first port on the engine port's
// own output, its second on the other one; anything else on output 2.
constexpr MidiOutput outputFor(int enginePort, int songPort)
{
    return (songPort == 0 || songPort == 1) && enginePort == songPort ? MidiOutput::of<1>() : MidiOutput::of<2>();
}

// Where an engine port's own set-up goes (a song's first port, its insert
// effects, its volume tables): engine ports 0 and 1 by the rule above,
// port 2 (the engine's third) on output 3.
constexpr MidiOutput ownOutput(int enginePort)
{
    return enginePort == 2 ? MidiOutput::of<3>() : outputFor(enginePort, 0);
}
