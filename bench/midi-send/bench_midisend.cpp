// Cost of the output layer's hot paths with a device that does nothing:
// writing at once (cut, port mutex, master-volume rewrite) and queueing plus
// draining. Prints microseconds per message.
#include "MidiInterface.h"
#include "cinterface.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

class NullOutput : public IMidiOutput
{
public:
    int openPort(int) override { return 0; }
    void closePort() override {}
    int sendMessage(const std::vector<unsigned char> *m) override
    {
        bytes += m->size();
        return 0;
    }
    size_t bytes = 0;
};

double usPer(std::chrono::steady_clock::duration d, long count)
{
    return std::chrono::duration<double, std::micro>(d).count() / double(count);
}

} // namespace

int main(int argc, char **argv)
{
    const long rounds = argc > 1 ? std::atol(argv[1]) : 100000;
    NullOutput out;
    Sound::MidiInterface mi;
    mi.initMidiOutPortsSound({&out, &out, &out, &out});

    const unsigned char note[] = {0x90, 0x3C, 0x64};
    const unsigned char nrpn[] = {0xB0, 0x63, 0x37, 0xB0, 0x62, 0x07, 0xB0, 0x06, 0x40};
    const unsigned char volume[] = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x64, 0xF7};

    auto t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < rounds; ++i)
        CINTERFACE_SendMidiEvent1(note, sizeof note);
    auto t1 = std::chrono::steady_clock::now();
    std::printf("send at once, output 1, 3-byte message:   %.3f us/message\n", usPer(t1 - t0, rounds));

    t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < rounds; ++i)
        CINTERFACE_SendMidiEvent2(nrpn, sizeof nrpn);
    t1 = std::chrono::steady_clock::now();
    std::printf("send at once, output 2, 9-byte NRPN:      %.3f us/message\n",
                usPer(t1 - t0, rounds * 3));

    t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < rounds; ++i)
        CINTERFACE_SendMidiEvent1(volume, sizeof volume);
    t1 = std::chrono::steady_clock::now();
    std::printf("send at once, output 1, Master Volume:    %.3f us/message\n", usPer(t1 - t0, rounds));

    t0 = std::chrono::steady_clock::now();
    for (long i = 0; i < rounds; ++i)
        CINTERFACE_QueueMidiEvent4(note, sizeof note);
    t1 = std::chrono::steady_clock::now();
    while (mi.sendFirstQueued(4)) {
    }
    auto t2 = std::chrono::steady_clock::now();
    std::printf("queue append, output 4:                   %.3f us/message\n", usPer(t1 - t0, rounds));
    std::printf("drain step, output 4:                     %.3f us/message\n", usPer(t2 - t1, rounds));
    std::printf("(%zu bytes reached the device)\n", out.bytes);
    return 0;
}
