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
    m_outputAudioName = name;
}

namespace {
// The device part of a "maker: device" name, as the device list holds it.
QString devicePart(const QString &name)
{
    const QStringList pieces = name.split(QStringLiteral(": "), Qt::KeepEmptyParts, Qt::CaseSensitive);
    return pieces.size() >= 2 ? pieces.at(1) : name;
}
} // namespace

void MidiBassOutWrapper::setOutputAudioDevice(int id, QString name)
{
    if (m_expander && id >= 0) {
        const std::vector<AudioDeviceEntry> list = m_expander->devices();
        if (size_t(id) < list.size() && list[size_t(id)].enabled
            && QString::fromStdString(list[size_t(id)].name) == devicePart(name)) {
            m_outputAudioDevice = id + 1;
            m_outputAudioName = name;
            return;
        }
    }
    setOutputAudioDevice(name);
}

int MidiBassOutWrapper::getDeviceIndexFromName(QString name)
{
    const QString wanted = devicePart(name);
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
        return m_lastError = 1;
    // The name too: a sink that waits for its sound server opens that
    // output whenever it is there, also one not listed now.
    m_expander->synth()->sink()->setDeviceName(m_outputAudioName.toStdString());
    return m_lastError = m_expander->init(QString::fromStdString(m_soundFontPath), m_outputAudioDevice);
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
