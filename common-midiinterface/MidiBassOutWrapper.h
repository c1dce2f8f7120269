// The software synthesizer as a MIDI output device.
#pragma once

#include "BassSynthMidiExpander.h"
#include "IMidiOutput.h"

#include <QString>
#include <memory>
#include <string>

class MidiBassOutWrapper : public IMidiOutput
{
public:
    MidiBassOutWrapper();
    // Tests and offline tools render through their own sink.
    explicit MidiBassOutWrapper(std::unique_ptr<SynthAudioSink> sink);
    ~MidiBassOutWrapper() override;

    // UTF-8 path of the sound bank that openPort loads.
    void setSoundFont(std::string path);
    // Audio device for the next openPort, by name (see getDeviceIndexFromName).
    void setOutputAudioDevice(QString name);
    // The audio path's device `id` (the backend's own number) named `name`:
    // that very device while the synthesizer's list holds it under that
    // name, so that outputs of one name are told apart; else by name.
    void setOutputAudioDevice(int id, QString name);
    // "maker: device" names look for the device part. The first enabled
    // device of that exact name, numbered from 1; -1 (the default device)
    // when none matches.
    int getDeviceIndexFromName(QString name);

    // The port number is not used: there is one synthesizer.
    int openPort(int port) override;
    void closePort() override;
    int sendMessage(const std::vector<unsigned char> *message) override;

    int outputAudioDevice() const { return m_outputAudioDevice; }
    // The result of the last openPort: 0 or the synthesizer's error code.
    int lastError() const { return m_lastError; }
    BassSynthMidiExpander *expander() { return m_expander; }

private:
    int m_outputAudioDevice = -1;
    QString m_outputAudioName; // empty: by number
    int m_lastError = 0;
    BassSynthMidiExpander *m_expander;
    std::string m_soundFontPath;
};
