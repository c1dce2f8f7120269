#include "RtMidiOutWrapper.h"

#include <iostream>
#include <memory>

namespace {
constexpr const char *kPrefix = "RtMidiOut Error: ";
}

RtMidiOutWrapper::RtMidiOutWrapper(RtMidi::Api api, const std::string &clientName)
{
    try {
        m_out = new RtMidiOut(api, clientName);
    } catch (const RtMidiError &e) {
        std::cout << kPrefix << e.getMessage() << std::endl;
        m_out = nullptr;
    }
}

RtMidiOutWrapper::~RtMidiOutWrapper()
{
    delete m_out;
}

int RtMidiOutWrapper::openPort(int port)
{
    if (!m_out) {
        std::cout << kPrefix << "no MIDI output client" << std::endl;
        return 1;
    }
    if (port < 0) {
        std::cout << kPrefix << "invalid port number " << port << std::endl;
        return 1;
    }
    try {
        m_out->openPort(unsigned(port), "RtMidi Output");
        // RtMidi only warns about a port that does not exist.
        if (!m_out->isPortOpen()) {
            std::cout << kPrefix << "port " << port << " not opened" << std::endl;
            return 1;
        }
        return 0;
    } catch (const RtMidiError &e) {
        std::cout << kPrefix << e.getMessage() << std::endl;
        return 1;
    }
}

void RtMidiOutWrapper::closePort()
{
    if (!m_out)
        return;
    try {
        m_out->closePort();
    } catch (const RtMidiError &e) {
        std::cout << kPrefix << e.getMessage();
    }
}

int RtMidiOutWrapper::sendMessage(const std::vector<unsigned char> *message)
{
    if (!m_out || !message)
        return 1;
    try {
        m_out->sendMessage(message);
        return 0;
    } catch (const RtMidiError &e) {
        std::cout << kPrefix << e.getMessage() << std::endl;
        return 1;
    }
}

std::vector<std::string> RtMidiOutWrapper::availableDevices()
{
    std::vector<std::string> names;
    try {
        RtMidiOut out(RtMidi::UNSPECIFIED, "RtMidi Output Client");
        const unsigned count = out.getPortCount();
        for (unsigned i = 0; i < count; ++i)
            names.push_back(out.getPortName(i));
    } catch (const RtMidiError &) {
    }
    return names;
}
