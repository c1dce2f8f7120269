// Times the mixer's activity lights per note-on as the engine reports them
// during a dense song: 32 channels of sixteenth notes at 180 BPM, each note
// reported on and off, through the engine's signal into the shown page, with
// the page repainted every 16 ms of song. With a MIDI file given, that song
// is loaded and started first, so its channels' lights are placed and shown.
// Target in a release build: under 5 us per note-on including the repaints
// (2,000 note-ons per second then cost under 1% of a core).
//
// usage: mixer-bench [song.mid] [seconds of song]   (default: no song, 600)
#include "MIDI_const.h"
#include "SongObjects.h"
#include "SoundEngine.h"
#include "SynthAudioSink.h"
#include "mixerview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString song = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const int seconds = argc > 2 ? atoi(argv[2]) : 600;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    Song::initSong();
    MIDI_CONST_SetTrkGsNames(SOUNDSET_SOFT_SYNTH, nullptr);
    SoundEngine engine(SoundEngine::Devices{std::make_unique<OfflineAudioSink>(44100), nullptr,
                                            QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2")});
    engine.connectToSoundCardByIdx(SoundEngine::kSynthIndex);
    mixerView page(nullptr, &engine, *currSong);
    page.showDetails(true);
    page.show();
    if (!song.isEmpty()) {
        engine.setPlayingState(SoundEngine::ePsReady);
        if (!currSong->loadSongFile(song) ||
            engine.setPlayingState(SoundEngine::ePsPlaying) != SoundEngine::ePsPlaying) {
            fprintf(stderr, "%s does not play\n", argv[1]);
            return 1;
        }
        engine.setPlayingState(SoundEngine::ePsPaused);
    }
    QCoreApplication::processEvents();

    // Sixteenths at 180 BPM: 12 per second per channel, each on and off.
    const int perFrame = 32 * 12 * 2 * 16 / 1000 + 1;
    const long events = long(seconds) * 32 * 12 * 2;
    QElapsedTimer clock;
    clock.start();
    for (long i = 0; i < events; ++i) {
        const int step = int(i / 64);
        const int channel = int(i % 32) + 1;
        emit engine.isPlayingTrack(channel, (i / 32) % 2 ? 0 : 60 + step % 60);
        if (i % perFrame == 0)
            QCoreApplication::processEvents();
    }
    const double withPaint = double(clock.nsecsElapsed()) / 1000.0 / double(events);

    clock.restart();
    const long repeats = 1000000;
    for (long i = 0; i < repeats; ++i)
        emit engine.isPlayingTrack(int(i % 32) + 1, 100);
    const double unchanged = double(clock.nsecsElapsed()) / 1000.0 / double(repeats);

    printf("note-ons: %ld (%d s of a 32-channel dense song)\n", events, seconds);
    printf("per note-on, lights switching, with repaints: %.3f us\n", withPaint);
    printf("per note-on, lights already on:               %.3f us\n", unchanged);
    engine.setPlayingState(SoundEngine::ePsStopUnload);
    return 0;
}
