// Owner of the one software synthesizer instance: starts it on an audio
// device, loads the sound bank through a file object and feeds it raw MIDI.
#pragma once

#include "SoftSynth.h"

#include <QString>
#include <memory>

class QFile;

class BassSynthMidiExpander
{
public:
    // A null sink means the audio device through RtAudio.
    explicit BassSynthMidiExpander(std::unique_ptr<SynthAudioSink> sink = nullptr);
    virtual ~BassSynthMidiExpander();
    BassSynthMidiExpander(const BassSynthMidiExpander &) = delete;
    BassSynthMidiExpander &operator=(const BassSynthMidiExpander &) = delete;

    // Starts the synthesizer on device (-1: default) and loads the bank.
    // 0 on success; -1 when an instance is already running; otherwise the
    // synthesizer's error code or the load's, with nothing left running.
    int init(const QString &soundFontPath, int device);
    // 0 on success, 1 when the file cannot be opened, else an error code.
    int loadSoundFont(const QString &path);
    // Frees the loaded bank: 1 when freed, 0 otherwise.
    int freeSoundFont();
    // Raw MIDI bytes; the number of events processed, -1 when not running.
    int midiOut(const unsigned char *data, int length);
    void deinit();

    // Output devices by number from 1, as init takes them.
    std::vector<AudioDeviceEntry> devices() { return m_synth.devices(); }

    bool singlePresetDrums() const { return m_singlePresetDrums; }
    int singlePresetProgram() const { return m_singlePresetProgram; }
    SoftSynth *synth() { return &m_synth; }

    // Running synthesizer instances, at most 1.
    static int numPorts;

private:
    QFile *m_soundFontFile = nullptr; // only while the bank takes it over
    unsigned m_minBufferMs = 0;
    SoftSynth m_synth;
    int m_soundFont = 0;
    bool m_singlePresetDrums = false;
    int m_singlePresetProgram = 0;
};
