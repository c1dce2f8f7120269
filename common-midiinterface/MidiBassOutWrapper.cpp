#include "MidiBassOutWrapper.h"

#include <QStringList>

MidiBassOutWrapper::MidiBassOutWrapper() : m_expander(new BassSynthMidiExpander) {}

MidiBassOutWrapper::MidiBassOutWrapper(std::unique_ptr<SynthAudioSink> sink)
    : m_expander(new BassSynthMidiExpander(std::move(sink)))
{
}

MidiBassOutWrapper::~MidiBassOutWrapper()
{
    delete m_expander;
}

void MidiBassOutWrapper::setSoundFont(std::string path)
{
    m_soundFontPath = std::move(path);
}

void MidiBassOutWrapper::setOutputAudioDevice(QString name)
{
    m_outputAudioDevice = getDeviceIndexFromName(name);
}

int MidiBassOutWrapper::getDeviceIndexFromName(QString name)
{
    const QStringList pieces = name.split(QStringLiteral(": "), Qt::KeepEmptyParts, Qt::CaseSensitive);
    const QString wanted = pieces.size() >= 2 ? pieces.at(1) : name;
    if (!m_expander)
        return -1;
    const std::vector<AudioDeviceEntry> list = m_expander->devices();
    for (size_t i = 0; i < list.size(); ++i) {
        // Device names are UTF-8 here; reading them as Latin-1 would never
        // match a name with an accent.
        if (list[i].enabled && QString::fromStdString(list[i].name) == wanted)
            return int(i) + 1;
    }
    return -1;
}

int MidiBassOutWrapper::openPort(int)
{
    if (!m_expander)
        return 1;
    return m_expander->init(QString::fromStdString(m_soundFontPath), m_outputAudioDevice);
}

void MidiBassOutWrapper::closePort()
{
    if (m_expander)
        m_expander->deinit();
}

int MidiBassOutWrapper::sendMessage(const std::vector<unsigned char> *message)
{
    if (!m_expander || !message || message->empty())
        return 1;
    try {
        return m_expander->midiOut(message->data(), int(message->size())) < 0 ? 1 : 0;
    } catch (...) {
        return 1;
    }
}
