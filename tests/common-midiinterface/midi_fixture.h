// A real Sound::MidiInterface with a recording output on each of its six
// outputs, and hex helpers for writing expected bytes by hand.
#pragma once

#include "MidiInterface.h"
#include "RecordingMidiOutput.h"
#include "midi_controls.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

using Bytes = std::vector<unsigned char>;

// "F0 7E 7F" -> bytes.
inline Bytes hexBytes(const QString &text)
{
    Bytes out;
    for (const QString &part : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        out.push_back(static_cast<unsigned char>(part.toUInt(nullptr, 16)));
    return out;
}

inline QString hexText(const Bytes &bytes)
{
    QStringList parts;
    for (unsigned char b : bytes)
        parts << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

struct MidiFixture
{
    std::unique_ptr<Sound::MidiInterface> mi;
    RecordingMidiOutput out[MIDI_OUTPUT_COUNT];

    // bound: how many outputs get their recorder (1..6 in order).
    explicit MidiFixture(int bound = MIDI_OUTPUT_COUNT)
    {
        mi = std::make_unique<Sound::MidiInterface>();
        // A reset with nothing bound clears the module's last-sent values.
        MIDI_CONTROLS_Config_GS_Reset(0);
        MIDI_CONTROLS_PushGM_Reset(1);
        for (MidiOutput o : {MidiOutput::of<1>(), MidiOutput::of<2>(), MidiOutput::of<3>(), MidiOutput::of<4>()})
            mi->SetMidiVolumeCorrection(o, 0);
        QList<IMidiOutput *> list;
        for (int n = 0; n < bound; ++n)
            list << &out[n];
        mi->initMidiOutPortsSound(list);
    }

    // Everything the devices received, as "1: F0 7E 7F 09 01 F7 | ... 3: ...".
    QString received() const
    {
        QStringList parts;
        for (int n = 0; n < MIDI_OUTPUT_COUNT; ++n) {
            const auto msgs = out[n].messageBytes();
            if (msgs.empty())
                continue;
            QStringList texts;
            for (const Bytes &m : msgs)
                texts << hexText(m);
            parts << QStringLiteral("%1: %2").arg(n + 1).arg(texts.join(QStringLiteral(" | ")));
        }
        return parts.join(QStringLiteral("  "));
    }
};
