#include "RtMidiInWrapper.h"
#include "RtMidiPort.h"

#include <iostream>

namespace {
constexpr const char *kPrefix = "RtMidiIn Error: ";
}

RtMidiInWrapper::RtMidiInWrapper(int api, const std::string &clientName, unsigned queueSizeLimit)
{
    try {
        m_in = new RtMidiIn(RtMidi::Api(api), clientName, queueSizeLimit);
    } catch (const RtMidiError &e) {
        std::cout << kPrefix << e.getMessage() << std::endl;
        m_in = nullptr;
    }
}

RtMidiInWrapper::~RtMidiInWrapper()
{
    delete m_in;
}

int RtMidiInWrapper::openPort(int port)
{
    return rtMidiOpenPort(m_in, port, "RtMidi Input", kPrefix);
}

void RtMidiInWrapper::closePort()
{
    rtMidiClosePort(m_in, kPrefix);
}

void RtMidiInWrapper::setCallback(MidiInputCallback callback, void *userData)
{
    if (!m_in)
        return;
    try {
        m_in->setCallback(callback, userData);
    } catch (const RtMidiError &e) {
        std::cout << kPrefix << e.getMessage() << std::endl;
    }
}

void RtMidiInWrapper::ignoreTypes(bool sysex, bool timing, bool activeSensing)
{
    if (!m_in)
        return;
    try {
        m_in->ignoreTypes(sysex, timing, activeSensing);
    } catch (const RtMidiError &e) {
        std::cout << kPrefix << e.getMessage() << std::endl;
    }
}
