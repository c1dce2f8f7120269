// Plays a song through the real audio device for a few seconds, as the
// program does (RtAudio, 256 frames, the device's own rate), and prints the
// devices, the position while it plays, and how it ended.
//
// usage: audio_device_check SONG.mp3|SONG.wav [SECONDS] [SEMITONES] [DEVICE]
// null_sink_check.sh runs it into a PulseAudio null sink and checks what
// reached the sink.
#include "AudioDevices.h"
#include "AudioInterface.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: audio_device_check SONG [SECONDS] [SEMITONES] [DEVICE]\n");
        return 2;
    }
    Sound::AudioInterface audio;
    // Listed in the background (the program's window never waits): here
    // the list is waited for.
    AudioDevices::firstKnown(5000);
    const QMap<int, QString> devices = audio.availableOutputDevices();
    for (auto it = devices.begin(); it != devices.end(); ++it)
        std::printf("device %d: %s\n", it.key(), qPrintable(it.value()));
    const int device = args.size() > 4 ? args[4].toInt() : audio.getDefaultOutputDevice();
    if (!audio.connectDeviceById(device)) {
        std::fprintf(stderr, "device %d refused\n", device);
        return 1;
    }
    std::printf("playing on device %d at %d Hz\n", device, audio.sampleRate());
    if (!audio.loadFile(args[1])) {
        std::fprintf(stderr, "cannot load %s\n", qPrintable(args[1]));
        return 1;
    }
    audio.changeKey(args.value(3, "0").toFloat());
    audio.setVolume(127);
    if (!audio.playAudio()) {
        std::fprintf(stderr, "the stream did not start\n");
        return 1;
    }
    bool ended = false;
    QObject::connect(&audio, &Sound::AudioInterface::endedMp3, &app, [&] {
        ended = true;
        app.quit();
    });
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        std::printf("position %ld ms of %ld\n", audio.getmSec(), audio.getDuration());
        std::fflush(stdout);
    });
    report.start(500);
    QTimer::singleShot(int(args.value(2, "3").toDouble() * 1000), &app, &QCoreApplication::quit);
    app.exec();
    const long at = audio.getmSec();
    audio.stopAudio();
    std::printf("%s at %ld ms\n", ended ? "song ended" : "stopped", at);
    return 0;
}
