#include "RtMidiPort.h"

#include <iostream>

int rtMidiOpenPort(RtMidi *client, int port, const char *portName, const char *prefix)
{
    if (!client) {
        std::cout << prefix << "no MIDI client" << std::endl;
        return 1;
    }
    if (port < 0) {
        std::cout << prefix << "invalid port number " << port << std::endl;
        return 1;
    }
    try {
        client->openPort(unsigned(port), portName);
        if (!client->isPortOpen()) {
            std::cout << prefix << "port " << port << " not opened" << std::endl;
            return 1;
        }
        return 0;
    } catch (const RtMidiError &e) {
        std::cout << prefix << e.getMessage() << std::endl;
        return 1;
    }
}

void rtMidiClosePort(RtMidi *client, const char *prefix)
{
    if (!client)
        return;
    try {
        client->closePort();
    } catch (const RtMidiError &e) {
        std::cout << prefix << e.getMessage() << std::endl;
    }
}
