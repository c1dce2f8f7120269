// velmar-engine FILE [--device NAME] [--soundbank PATH] [--key N] [--tempo N]
//                [--seconds N] [--positions] [--respond]
//   Plays a MIDI, KAR, MF3/MF4/MF5 or MP3 song through SoundEngine as the
//   program does (stop and unload, ready, load the current song, play) on the
//   default audio device, or the first whose name contains NAME, until it
//   ends, or for N seconds. Prints a line each
//   second and at each new lyric row: the reported position, bar and beat,
//   and the row in play; at the end the song's length and the time played,
//   the synthesizer's figures (latency, the audio thread's lateness, the
//   queue, drop-outs, late events) and the scheduling the threads got. With
//   --positions, every position report instead, as "position MS REPORTED":
//   the monotonic clock's ms and the reported ms.
//   With --respond, gives the commands whose response the user hears, as
//   the window does, at set times into the song's two-second chords
//   (scripts/clicktrack.py make-chords): the music volume down and up, the
//   key up and back, then stop and play again from the start; each as
//   "action NAME MS" at the monotonic clock's ms it was given
//   (scripts/clicktrack.py respond measures when it was heard).
//   The sound bank is the program's "Basic.sfc", else the system's General
//   MIDI bank. Exit status 1 when the song does not load or play, or when it
//   is a MIDI song and the synthesizer did not start.
// Recorded checks: tools/velmar-engine/null_sink_record.sh, and
// tools/velmar-engine/heard_position.sh (reported minus heard).
#include "AudioDevices.h"
#include "Extract.h"
#include "RealTime.h"
#include "Sequencer.h"
#include "SoftSynth.h"
#include "SongObjects.h"
#include "SoundEngine.h"
#include "ThreadPriority.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

// The row whose first syllable has been reached: MIDI rows are timed in
// ticks, the rows of an MP3's text blocks in hundredths of a second.
int rowAt(const Song &song, uint ms, uint tick)
{
    const uint now = song.baseType() == SONG_FORMAT_MIDI ? tick : ms / 10;
    int row = -1;
    for (int i = 0; i < song.textRows().size() && song.textRows()[i].tick <= now; ++i)
        row = i;
    return row;
}

void action(const char *name)
{
    std::printf("action %s %.3f\n", name, RealTime::nowMs());
    std::fflush(stdout);
}

// Each command a second into a chord of the song, which holds it for 1.9 s
// of every 2 s: what changes is heard while the chord sounds, however late
// the output. Four rounds of volume down, volume up, key up, key back (a
// key change cuts the notes that sound), then four stops, each a second
// into the first note after a start from the beginning, and the song's end.
void respond(SoundEngine &engine, QCoreApplication &app)
{
    constexpr int kChordMs = 2000;
    constexpr int kIntoMs = 1000;
    constexpr int kRounds = 4;
    constexpr unsigned kLoud = 100, kSoft = 40;
    engine.changeMusicVolume(kLoud);
    int at = kChordMs + kIntoMs;
    for (int round = 0; round < kRounds; ++round) {
        QTimer::singleShot(at, &app, [&engine] { action("volume"); engine.changeMusicVolume(kSoft); });
        QTimer::singleShot(at += kChordMs, &app, [&engine] { action("volume"); engine.changeMusicVolume(kLoud); });
        QTimer::singleShot(at += kChordMs, &app, [&engine] { action("key"); engine.changeKeyWithOutSaving(2); });
        QTimer::singleShot(at += kChordMs, &app, [&engine] { action("key"); engine.changeKeyWithOutSaving(0); });
        at += kChordMs;
    }
    for (int stop = 0; stop < kRounds; ++stop) {
        QTimer::singleShot(at, &app, [&engine] { action("stop"); engine.setPlayingState(SoundEngine::ePsReady); });
        at += kChordMs;
        const bool last = stop == kRounds - 1;
        QTimer::singleShot(at, &app, [&engine, &app, last] {
            if (last)
                engine.setPlayingState(SoundEngine::ePsStopUnload), app.quit();
            else
                engine.setPlayingState(SoundEngine::ePsPlaying);
        });
        // The song's first bar is a rest.
        at += kChordMs + kIntoMs;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The program's own data folder, so its sound bank is found.
    QCoreApplication::setApplicationName(QStringLiteral("VelmarPC"));
    QCommandLineParser args;
    args.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("song file"));
    args.addOption({QStringLiteral("device"), QStringLiteral("audio device"), QStringLiteral("NAME")});
    args.addOption({QStringLiteral("soundbank"), QStringLiteral("sound bank"), QStringLiteral("PATH")});
    args.addOption({QStringLiteral("key"), QStringLiteral("key offset"), QStringLiteral("N"), QStringLiteral("0")});
    args.addOption({QStringLiteral("tempo"), QStringLiteral("tempo offset"), QStringLiteral("N"), QStringLiteral("0")});
    args.addOption({QStringLiteral("seconds"), QStringLiteral("stop after"), QStringLiteral("N"), QStringLiteral("0")});
    args.addOption({QStringLiteral("positions"), QStringLiteral("print every position report")});
    args.addOption({QStringLiteral("respond"), QStringLiteral("give timed commands and print when")});
    args.addHelpOption();
    args.process(app);
    if (args.positionalArguments().size() != 1)
        args.showHelp(2);
    const QString file = QFileInfo(args.positionalArguments().first()).absoluteFilePath();

    QString bank = args.value(QStringLiteral("soundbank"));
    if (bank.isEmpty())
        bank = QFileInfo::exists(SoundEngine::getSoundfontFilePath()) ? SoundEngine::getSoundfontFilePath()
                                                                      : QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
    SoundEngine engine(SoundEngine::Devices{nullptr, nullptr, bank});
    // Listed in the background (the program's window never waits): here the
    // list is waited for.
    AudioDevices::firstKnown(5000);
    if (const QString wanted = args.value(QStringLiteral("device")); !wanted.isEmpty()) {
        const QMap<int, QString> devices = engine.listAudioDevices();
        auto it = std::find_if(devices.begin(), devices.end(), [&](const QString &n) { return n.contains(wanted); });
        if (it == devices.end() || !engine.connectAudioDeviceById(it.key(), it.value())) {
            std::fprintf(stderr, "velmar-engine: no audio device \"%s\" among:\n", qPrintable(wanted));
            for (auto d = devices.begin(); d != devices.end(); ++d)
                std::fprintf(stderr, "  %d %s\n", d.key(), qPrintable(d.value()));
            return 1;
        }
    }

    const bool synthesizer = engine.connectToSoundCardByIdx(SoundEngine::kSynthIndex);

    engine.setPlayingState(SoundEngine::ePsStopUnload);
    engine.setPlayingState(SoundEngine::ePsReady);
    if (!currSong->loadSongFile(file)) {
        const bool decoded = currSong->refusal().fromDecoder();
        std::fprintf(stderr, "velmar-engine: %s: the song does not load%s%s\n", qPrintable(file),
                     decoded ? ": " : "", decoded ? qPrintable(Extract::failureText()) : "");
        return 1;
    }
    if (currSong->baseType() == SONG_FORMAT_MIDI && !synthesizer) {
        // Playing would be silence.
        std::fprintf(stderr, "velmar-engine: the synthesizer did not start with %s\n", qPrintable(bank));
        return 1;
    }
    // The program opens its outputs long before the first song: the
    // synthesizer's latency settles over its first second and a half.
    QThread::msleep(1600);
    const uint length = currSong->lengthSeconds();
    const bool midi = currSong->baseType() == SONG_FORMAT_MIDI;
    std::printf("%s: %s, %u s, %lld rows\n", qPrintable(file), currSong->info().title, length,
                qlonglong(currSong->textRows().size()));
    engine.changeBpmWithOutSaving(args.value(QStringLiteral("tempo")).toInt());
    engine.changeKeyWithOutSaving(args.value(QStringLiteral("key")).toInt());
    if (engine.setPlayingState(SoundEngine::ePsPlaying) != SoundEngine::ePsPlaying) {
        std::fprintf(stderr, "velmar-engine: %s: the song does not play\n", qPrintable(file));
        return 1;
    }

    QElapsedTimer played;
    played.start();
    uint bar = 0, beat = 0;
    int lastRow = -1;
    qint64 lastSecond = -1;
    QObject::connect(&engine, &SoundEngine::barBeatOfPlaying, [&](uint b, uint t) { bar = b, beat = t; });
    const bool positions = args.isSet(QStringLiteral("positions"));
    QObject::connect(&engine, &SoundEngine::mSecOfPlaying, [&](uint ms, uint tick) {
        if (positions) {
            std::printf("position %.3f %u\n", RealTime::nowMs(), ms);
            return;
        }
        const int row = rowAt(*currSong, ms, tick);
        if (row == lastRow && ms / 1000 == lastSecond)
            return;
        lastRow = row;
        lastSecond = ms / 1000;
        std::printf("%7.1f s  bar %3u.%u  | %s\n", ms / 1000.0, bar + 1, beat + 1,
                    row >= 0 ? currSong->textRows()[row].text : "");
        std::fflush(stdout);
    });
    QObject::connect(currSong, &Song::loadSongChange, &app, [&](Song::LoadSongState s) {
        if (s == Song::eLsUnloaded)
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
    });
    if (args.isSet(QStringLiteral("respond")))
        respond(engine, app);
    if (const int seconds = args.value(QStringLiteral("seconds")).toInt(); seconds > 0)
        QTimer::singleShot(seconds * 1000, &app, [&] { engine.setPlayingState(SoundEngine::ePsStopUnload); });
    app.exec();
    std::printf("end: song %u s, played %.1f s\n", length, played.elapsed() / 1000.0);
    if (synthesizer && midi) {
        const SoftSynth *s = engine.synthesizer();
        std::printf("synthesizer: latency %.1f ms; audio thread late up to %.1f ms before the song, %.1f ms "
                    "since, the device swinging %.1f ms, its queue bridging %.0f ms; %llu drop-outs (%.1f ms "
                    "lost), %llu events late (at worst %.1f ms), %llu notes left out\n",
                    s->latencyFrames() * 1000.0 / std::max(1u, s->sampleRate()), s->requestLateBeforeMs(),
                    s->requestLateMs(), s->swingMs(), s->bridgeMs(), static_cast<unsigned long long>(s->stalls()),
                    s->lostMs(), static_cast<unsigned long long>(s->lateEvents()), s->worstEventLateMs(),
                    static_cast<unsigned long long>(s->droppedLateNotes()));
    }
    std::printf("scheduling: %s\n", ThreadPriority::report().c_str());
    // What the synthesizer and the device still hold is heard before the
    // outputs close.
    QThread::msleep(500);
    return 0;
}
