// The real main window; its synthesizer renders into a buffer nobody pulls.
#pragma once
#include "SynthAudioSink.h"
#include "mainwindow.h"

inline std::unique_ptr<MainWindow> windowOnSynth(DatabaseHelper *db)
{
    SoundEngine::Devices devices{std::make_unique<OfflineAudioSink>(), std::make_unique<Sound::PullAudioSink>(),
                                 QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2")};
    return std::make_unique<MainWindow>(db, nullptr, std::move(devices));
}
