// The real sound engine for the page tests: the Sequencer thread playing into
// FluidSynth rendering into memory, MP3s into the pull sink; songs made by
// mido (the mix-editor song), sox and lame.
#pragma once

#include "AudioSink.h"
#include "MIDI_const.h"
#include "SongObjects.h"
#include "SoundEngine.h"
#include "SynthAudioSink.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>

class SoundEngineRig
{
public:
    QTemporaryDir dir;
    OfflineAudioSink *synth = nullptr;
    Sound::PullAudioSink *audio = nullptr; // the MP3s' device: nothing plays unless pulled
    std::unique_ptr<SoundEngine> engine;

    // mix.mid: channels 1 (program 24), 4 (program 40) and the drums on 10;
    // song.mp3: two seconds of 440 Hz, 120 BPM in its tag.
    static void makeSongs(const QString &folder)
    {
        TestUtil::runPython("playback/make_midiedit_song.py", {"write", folder + "/mix.mid"});
        QCOMPARE(TestUtil::runProgram("sox", {"-n", "-r", "44100", "-c", "2", folder + "/tone.wav", "synth", "2",
                                              "sine", "440", "vol", "0.5"}),
                 0);
        QCOMPARE(TestUtil::runProgram("lame", {"--quiet", "-b", "128", "--tt", "Tone", "--tv", "TBPM=120",
                                               folder + "/tone.wav", folder + "/song.mp3"}),
                 0);
    }

    SoundEngineRig()
    {
        Song::initSong();
        MIDI_CONST_SetTrkGsNames(SOUNDSET_SOFT_SYNTH, nullptr);
        auto sink = std::make_unique<OfflineAudioSink>(44100);
        synth = sink.get();
        auto mp3 = std::make_unique<Sound::PullAudioSink>();
        audio = mp3.get();
        engine = std::make_unique<SoundEngine>(SoundEngine::Devices{
            std::move(sink), std::move(mp3),
            QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2")});
        engine->connectToSoundCardByIdx(SoundEngine::kSynthIndex);
    }
    ~SoundEngineRig() { engine->setPlayingState(SoundEngine::ePsStopUnload); }

    // The main window's road: stop and unload, ready, load, play.
    bool play(const QString &path)
    {
        engine->setPlayingState(SoundEngine::ePsStopUnload);
        engine->setPlayingState(SoundEngine::ePsReady);
        return currSong->loadSongFile(path) &&
               engine->setPlayingState(SoundEngine::ePsPlaying) == SoundEngine::ePsPlaying;
    }
    void stop() { engine->setPlayingState(SoundEngine::ePsStopUnload); }

    double level(unsigned ms)
    {
        const std::vector<float> s = synth->pull(44100 * ms / 1000);
        double sum = 0;
        for (float v : s)
            sum += double(v) * v;
        return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
    }
    template <typename F>
    static bool waitFor(F done)
    {
        return QTest::qWaitFor(done, 20000);
    }
    bool sounding() { return waitFor([this] { return level(100) > 0.003; }); }
    // Past the release and reverb tails.
    bool silent() { return waitFor([this] { return level(200) < 1e-3; }); }
};
