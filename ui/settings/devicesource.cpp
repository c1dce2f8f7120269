#include "devicesource.h"

#include "SoundEngine.h"

QMap<QString, int> EngineDeviceSource::listSoundCards()
{
    return m_engine->listSoundCards();
}

bool EngineDeviceSource::connectToSoundCardByIdx(int index)
{
    return m_engine->connectToSoundCardByIdx(index);
}

bool EngineDeviceSource::getIsMidiPortConnected()
{
    return m_engine->getIsMidiPortConnected();
}

int EngineDeviceSource::midiOutputIndex()
{
    return m_engine->midiOutputIndex();
}

QString EngineDeviceSource::failedAudioDevice()
{
    return m_engine->failedAudioDevice();
}

QString EngineDeviceSource::failedSoundBank()
{
    return m_engine->failedSoundBank();
}

void EngineDeviceSource::closeMidiPort()
{
    m_engine->closeMidiPort();
}

QMap<int, QString> EngineDeviceSource::listAudioDevices()
{
    return m_engine->listAudioDevices();
}

int EngineDeviceSource::getDefaultOutputAudioDevice()
{
    return m_engine->getDefaultOutputAudioDevice();
}

bool EngineDeviceSource::connectAudioDeviceById(int id, const QString &name)
{
    return m_engine->connectAudioDeviceById(id, name);
}

bool EngineDeviceSource::isPlaying()
{
    return m_engine->getPlayingState() == SoundEngine::ePsPlaying;
}
