#include "RtMidiInWrapper.h"

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
    if (!m_in) {
        std::cout << kPrefix << "no MIDI input client" << std::endl;
        return 1;
    }
    if (port < 0) {
        std::cout << kPrefix << "invalid port number " << port << std::endl;
        return 1;
    }
    try {
        m_in->openPort(unsigned(port), "RtMidi Input");
        if (!m_in->isPortOpen()) {
            std::cout << kPrefix << "port " << port << " not opened" << std::endl;
            return 1;
        }
        return 0;
    } catch (const RtMidiError &e) {
        std::cout << kPrefix << e.getMessage() << std::endl;
        return 1;
    }
}

void RtMidiInWrapper::closePort()
{
    if (!m_in)
        return;
    try {
        m_in->closePort();
    } catch (const RtMidiError &e) {
        std::cout << kPrefix << e.getMessage();
    }
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
