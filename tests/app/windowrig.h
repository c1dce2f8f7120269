// The real main window for the tests: its engine's synthesizer renders the
// system's General MIDI bank into a buffer nobody pulls, so no sound card is
// needed.
#pragma once

#include "SynthAudioSink.h"
#include "mainwindow.h"

#include <memory>

inline std::unique_ptr<MainWindow> windowOnSynth(DatabaseHelper *db)
{
    SoundEngine::Devices devices{std::make_unique<OfflineAudioSink>(), std::make_unique<Sound::PullAudioSink>(),
                                 QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2")};
    return std::make_unique<MainWindow>(db, nullptr, std::move(devices));
}
