// Rendering helpers for the synthesizer tests: the real FluidSynth with the
// Debian General MIDI bank, pulled through the offline sink.
#pragma once

#include "SoftSynth.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cmath>
#include <vector>

namespace SynthTest {

inline QString soundBank()
{
    return QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
}

inline std::vector<unsigned char> bytes(const char *hex)
{
    const QByteArray raw = QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
    return std::vector<unsigned char>(raw.begin(), raw.end());
}

inline double rms(const std::vector<float> &samples, size_t from = 0)
{
    double sum = 0;
    size_t n = 0;
    for (size_t i = from; i < samples.size(); ++i, ++n)
        sum += double(samples[i]) * samples[i];
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

// Share of the energy in the first difference: grows with high partials.
inline double brightness(const std::vector<float> &s)
{
    double all = 0, diff = 0;
    for (size_t i = 2; i < s.size(); i += 2) {
        all += double(s[i]) * s[i];
        const double d = double(s[i]) - s[i - 2];
        diff += d * d;
    }
    return all > 0 ? diff / all : 0.0;
}

inline std::vector<float> renderMs(OfflineAudioSink *sink, unsigned ms)
{
    return sink->pull(sink->sampleRate() * ms / 1000);
}

} // namespace SynthTest
