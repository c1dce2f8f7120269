// Any bytes a song or a peer may send reach the synthesizer's raw parser:
// it must neither crash nor read outside the bytes it is given, and the
// synthesizer keeps rendering afterwards.
// The corpus's seed_* files are the channel messages of the songs of
// common-sound/sequencer/gen_songs.py back to back, at most 4096 bytes.
#include "SoftSynth.h"

#include <QFile>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static OfflineAudioSink *sink = nullptr;
    static SoftSynth *synth = [] {
        // FluidSynth's complaints about odd input are expected here.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        auto owned = std::make_unique<OfflineAudioSink>(22050);
        sink = owned.get();
        auto *s = new SoftSynth(std::move(owned));
        if (s->start(-1) != SOFTSYNTH_OK)
            std::abort();
        auto *bank = new QFile(QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2"));
        if (bank->open(QIODevice::ReadOnly))
            s->loadFont(bank, nullptr);
        else
            delete bank;
        return s;
    }();
    if (size > 4096)
        return 0;
    // Exact-size copy so that any read past the end is caught.
    std::vector<unsigned char> bytes(data, data + size);
    const int events = synth->streamEvents(bytes.data(), int(bytes.size()));
    if (events < 0 || size_t(events) > size)
        std::abort();
    static float out[2 * 64];
    sink->pull(out, 64);
    if (synth->masterVolume() < 0.0 || synth->masterVolume() > 1.0)
        std::abort();
    // Silence what this input started before the next one.
    static const unsigned char reset[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    synth->streamEvents(reset, int(sizeof reset));
    return 0;
}
