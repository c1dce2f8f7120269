// The MIDI outputs and audio devices the settings page lists and connects.
// The program reaches them through the sound engine (EngineDeviceSource);
// tests script the lists and the results of connecting.
#pragma once

#include <QMap>
#include <QString>

class SoundEngine;

class DeviceSource
{
public:
    virtual ~DeviceSource() = default;

    // Output name -> output index, in name order; the software synthesizer
    // is "Timbra MIDI Module" with index 1000.
    virtual QMap<QString, int> listSoundCards() = 0;
    virtual bool connectToSoundCardByIdx(int index) = 0;
    virtual bool getIsMidiPortConnected() = 0;
    // The output chosen last, also one that did not open; -1 for none.
    virtual int midiOutputIndex() = 0;
    // After a failed MIDI connection: the audio device the synthesizer
    // could not open, by name; empty when the output itself failed.
    virtual QString failedAudioDevice() = 0;
    // After a failed MIDI connection: the sound bank the synthesizer could
    // not load (missing or unreadable); empty when that was not the cause.
    virtual QString failedSoundBank() { return QString(); }
    virtual void closeMidiPort() = 0;
    // Device id -> device name, in id order; only devices that play. Names
    // may repeat (the same model twice).
    virtual QMap<int, QString> listAudioDevices() = 0;
    // A device of the list, or -1.
    virtual int getDefaultOutputAudioDevice() = 0;
    // Also moves a synthesizer that is the MIDI output to that device.
    virtual bool connectAudioDeviceById(int id, const QString &name) = 0;
    virtual bool isPlaying() = 0;
};

class EngineDeviceSource : public DeviceSource
{
public:
    explicit EngineDeviceSource(SoundEngine *engine) : m_engine(engine) {}

    QMap<QString, int> listSoundCards() override;
    bool connectToSoundCardByIdx(int index) override;
    bool getIsMidiPortConnected() override;
    int midiOutputIndex() override;
    QString failedAudioDevice() override;
    QString failedSoundBank() override;
    void closeMidiPort() override;
    QMap<int, QString> listAudioDevices() override;
    int getDefaultOutputAudioDevice() override;
    bool connectAudioDeviceById(int id, const QString &name) override;
    bool isPlaying() override;

private:
    SoundEngine *m_engine;
};
