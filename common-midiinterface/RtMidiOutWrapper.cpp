#include "RtMidiOutWrapper.h"
#include "RealTime.h"
#include "RtMidiPort.h"

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
    return rtMidiOpenPort(m_out, port, "RtMidi Output", kPrefix);
}

void RtMidiOutWrapper::closePort()
{
    rtMidiClosePort(m_out, kPrefix);
}

int RtMidiOutWrapper::sendMessage(const std::vector<unsigned char> *message)
{
    if (!m_out || !message)
        return 1;
    try {
        m_out->sendMessage(message);
        return 0;
    } catch (const RtMidiError &e) {
        // The sequencer thread sends: the line goes through the real-time
        // log's ring there, never to a stream that may block.
        rtLogMsg(2, "RtMidiOutWrapper", __LINE__, "%s%s", kPrefix, e.what());
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
