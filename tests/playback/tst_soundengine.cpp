// The sound engine end to end: songs made by mido, sox and lame, loaded into
// the two song objects, played by the real Sequencer thread into FluidSynth
// rendering into memory, MP3s through the audio path into the pull sink.
#include "AudioInterface.h"
#include "RealTime.h"
#include "Sequencer.h"
#include "SoundEngine.h"
#include "SoftSynth.h"
#include "SongObjects.h"
#include "SongRW.h"
#include "SynthAudioSink.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <tuple>

namespace {

constexpr unsigned kRate = 44100;
constexpr double kSounding = 0.003;
constexpr double kSilent = 1e-3;

double rms(const std::vector<float> &s)
{
    double sum = 0;
    for (float v : s)
        sum += double(v) * v;
    return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
}

// Fundamental of the left channel: the shortest lag whose autocorrelation
// comes near the best one, so an octave below never wins.
double pitch(const std::vector<float> &s)
{
    const size_t n = s.size() / 2;
    std::vector<double> r(kRate / 100);
    double best = 0;
    for (size_t lag = kRate / 2000; lag < r.size(); ++lag) {
        for (size_t i = 0; i + lag < n; ++i)
            r[lag] += double(s[2 * i]) * s[2 * (i + lag)];
        best = std::max(best, r[lag]);
    }
    for (size_t lag = kRate / 2000 + 1; lag + 1 < r.size(); ++lag) {
        if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1])
            return double(kRate) / double(lag);
    }
    return 0;
}

// Power of one frequency in the left channel (Goertzel).
double power(const std::vector<float> &s, double hz)
{
    const double k = 2 * std::cos(2 * M_PI * hz / kRate);
    double a = 0, b = 0;
    for (size_t i = 0; i < s.size(); i += 2) {
        const double c = s[i] + k * a - b;
        b = a;
        a = c;
    }
    return a * a + b * b - k * a * b;
}

// RMS level in dB.
double level(const std::vector<float> &s)
{
    return 20 * std::log10(std::max(rms(s), 1e-9));
}

// The largest step between two neighbouring samples of one channel.
template <typename T>
double largestStep(const std::vector<T> &s, size_t from = 0)
{
    double step = 0;
    for (size_t i = from + 2; i < s.size(); ++i)
        step = std::max(step, std::fabs(double(s[i]) - double(s[i - 2])));
    return step;
}

} // namespace

class TestSoundEngine : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QJsonObject m_songs;
    OfflineAudioSink *m_synthSink = nullptr;
    Sound::PullAudioSink *m_audioSink = nullptr;
    std::unique_ptr<SoundEngine> m_engine;
    QStringList m_log;
    QList<uint> m_msec;
    QStringList m_badMp3; // MP3s that look like songs and do not play

    QString path(const QString &name) const { return m_dir.filePath(name); }
    std::vector<float> render(unsigned ms) { return m_synthSink->pull(kRate * ms / 1000); }
    template <typename F>
    static bool waitFor(F done)
    {
        return QTest::qWaitFor(done, 20000);
    }
    bool sounding() { return waitFor([this] { return rms(render(100)) > kSounding; }); }
    // Until the release and reverb tails have died away.
    bool silent() { return waitFor([this] { return rms(render(200)) < kSilent; }); }
    // Past the reverb of the notes before.
    double pitchNow()
    {
        render(1500);
        return pitch(render(200));
    }
    // The engine anew on the engine's own clock, its synthesizer on a
    // device like a sound server's, which holds queueFrames beyond its
    // requests; null when the synthesizer does not open.
    SoundEngine *onScheduledDevice(unsigned queueFrames)
    {
        auto sink = std::make_unique<OfflineAudioSink>(kRate);
        sink->setScheduled(true);
        sink->setLatencyFrames(queueFrames);
        m_synthSink = sink.get();
        m_engine.reset();
        m_engine = std::make_unique<SoundEngine>(SoundEngine::Devices{
            std::move(sink), std::make_unique<Sound::PullAudioSink>(),
            QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2"), true});
        return m_engine->connectToSoundCardByIdx(SoundEngine::kSynthIndex) ? m_engine.get() : nullptr;
    }
    bool play(const QString &song)
    {
        m_engine->setPlayingState(SoundEngine::ePsStopUnload);
        m_engine->setPlayingState(SoundEngine::ePsReady);
        return currSong->loadSongFile(path(song)) &&
               m_engine->setPlayingState(SoundEngine::ePsPlaying) == SoundEngine::ePsPlaying;
    }

private slots:
    void initTestCase()
    {
        TestUtil::runPython(QStringLiteral("../scripts/make_engine_songs.py"), {m_dir.path()});
        m_songs = QJsonDocument::fromJson(TestUtil::readFile(path("songs.json"))).object();
        TestUtil::runPython(QStringLiteral("playback/make_held_songs.py"), {m_dir.path()});
        QCOMPARE(TestUtil::runProgram("sox", {"-n", "-r", "44100", "-c", "2", path("tone.wav"), "synth", "2",
                                              "sine", "440", "vol", "0.5"}),
                 0);
        QCOMPARE(TestUtil::runProgram("lame", {"--quiet", "-b", "128", path("tone.wav"), path("song.mp3")}), 0);
        QVERIFY(TestUtil::writeFile(path("text.mp3"), QByteArray("just some text, not a song\n").repeated(200)));
        QVERIFY(TestUtil::writeFile(path("cut.mid"), TestUtil::readFile(path("tone.mid")).left(40)));
        QVERIFY(QDir(m_dir.path()).mkdir("folder.mid"));
        QVERIFY(TestUtil::writeFile(path("clip.mp4"), QByteArray("a video, as far as its name goes")));
        // Real songs made sparse files far past the sizes the loader reads.
        for (auto [from, to, size] : {std::tuple{"tone.mid", "huge.mid", qint64(5) << 30},
                                      std::tuple{"tone.mid", "big.mid", qint64(70) << 20},
                                      std::tuple{"song.mp3", "huge.mp3", qint64(5) << 30}})
            QVERIFY(QFile::copy(path(from), path(to)) && QFile(path(to)).resize(size));
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo.mid")).constData(), 0644), 0);
        QVERIFY(QFile::link("/dev/zero", path("zero.mp3")));
        m_badMp3 = QString(TestUtil::runPython("playback/make_bad_mp3.py", {path("tone.wav"), m_dir.path()}))
                       .split('\n', Qt::SkipEmptyParts);
        Song::initSong();
    }

    void init()
    {
        auto synthSink = std::make_unique<OfflineAudioSink>(kRate);
        auto audioSink = std::make_unique<Sound::PullAudioSink>();
        m_synthSink = synthSink.get();
        m_audioSink = audioSink.get();
        m_engine = std::make_unique<SoundEngine>(SoundEngine::Devices{
            std::move(synthSink), std::move(audioSink), QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2")});
        QVERIFY(m_engine->connectToSoundCardByIdx(SoundEngine::kSynthIndex));
        m_log.clear();
        m_msec.clear();
        SoundEngine *e = m_engine.get();
        connect(e, &SoundEngine::playStateChanged, e, [this](int s) { m_log << QStringLiteral("state %1").arg(s); });
        connect(e, &SoundEngine::trackStopped, e, [this] { m_log << QStringLiteral("stopped"); });
        connect(e, &SoundEngine::refreshInstr, e, [this] { m_log << QStringLiteral("instr"); });
        connect(e, &SoundEngine::songBpmChanged, e,
                [this](int b, int d) { m_log << QStringLiteral("bpm %1 %2").arg(b).arg(d); });
        connect(e, &SoundEngine::songKeyChanged, e, [this](int k) { m_log << QStringLiteral("key %1").arg(k); });
        connect(currSong, &Song::loadSongChange, e, [this](int s) { m_log << QStringLiteral("song %1").arg(s); });
        connect(e, &SoundEngine::mSecOfPlaying, e, [this](uint ms, uint) { m_msec << ms; });
    }

    void cleanup()
    {
        m_engine->setPlayingState(SoundEngine::ePsStopUnload);
        currSong->unloadSongFile();
        nextSong->unloadSongFile();
        m_engine.reset();
    }

    // The main road: load, play to the end, unload, with the views' signals.
    void karaokeSongPlaysToItsEnd()
    {
        QList<uint> bars;
        connect(m_engine.get(), &SoundEngine::barBeatOfPlaying, this, [&](uint bar, uint) { bars << bar; });
        QVERIFY(play("road.kar"));
        QCOMPARE(currSong->textRows().size(), 2);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(QString::fromLatin1(currSong->textRows()[i].text), m_songs["rows"].toArray()[i].toString());
        QVERIFY(currSong->hasSyllables());
        QCOMPARE(int(currSong->lengthSeconds()), qRound(m_songs["lengths"].toObject()["road.kar"].toDouble()));
        QVERIFY(sounding());
        QTRY_COMPARE_WITH_TIMEOUT(m_engine->getPlayingState(), SoundEngine::ePsIdle, 30000);
        // The second tempo report is the engine's, from the song's tempo event.
        QCOMPARE(m_log, QStringList({"state 3", "song 2", "bpm 200 0", "key 0", "instr", "state 1", "bpm 200 0", "stopped",
                                     "song 0", "state 0"}));
        QVERIFY(!currSong->isLoaded());
        QVERIFY(std::is_sorted(m_msec.begin(), m_msec.end()));
        QVERIFY2(m_msec.last() > 2500 && m_msec.last() <= 3650, qPrintable(QString::number(m_msec.last())));
        QVERIFY(std::is_sorted(bars.begin(), bars.end()));
        QCOMPARE(bars.last(), 2u);
        QVERIFY(silent());
    }

    // Each transport action on a playing song, heard in what FluidSynth renders.
    void transport_data()
    {
        QTest::addColumn<QString>("action");
        for (const char *a : {"pause", "stop", "seek", "key", "tempo", "volume", "end report", "heard"})
            QTest::newRow(a) << QString(a);
    }
    void transport()
    {
        QFETCH(QString, action);
        QVERIFY(play("tone.mid"));
        QVERIFY(sounding());
        QVERIFY(qAbs(pitchNow() - 440) < 15);
        m_log.clear();
        Sequencer *seq = m_engine->sequencer();
        if (action == "pause") {
            QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsPaused), SoundEngine::ePsPaused);
            QVERIFY(silent());
            // A seek made meanwhile is shown at once: bar 2 at 4 s, bar 0 at 0.
            m_engine->jumpTo(2);
            QCOMPARE(m_msec.last(), 4000u);
            m_engine->jumpTo(0);
            QCOMPARE(m_msec.last(), 0u);
            QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
            QVERIFY(sounding());
        } else if (action == "stop") {
            QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsReady), SoundEngine::ePsReady);
            QCOMPARE(m_log, QStringList({"stopped", "state 3"}));
            QCOMPARE(m_msec.last(), 0u);
            QVERIFY(silent());
            QTRY_COMPARE(seq->GetCurrentTick(), 0);
            QVERIFY(currSong->isLoaded());
            QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
            QVERIFY(sounding());
        } else if (action == "seek") {
            // Bar 8 on is E5; the report waits for the seek, then resumes.
            m_engine->jumpTo(8);
            QTRY_VERIFY(seq->GetCurrentTick() >= 8 * 4 * 480);
            m_msec.clear();
            QTRY_VERIFY(!m_msec.isEmpty() && m_msec.last() >= 16000);
            QVERIFY2(qAbs(pitchNow() - 659) < 20, "the note after the seek");
            m_engine->jumpTo(seq->GetCurrentTick() / (4 * 480));
            m_msec.clear();
            QTRY_VERIFY(!m_msec.isEmpty());
        } else if (action == "key") {
            // Only key reports count: a late tempo report of the song may come in between.
            m_engine->changeKey(13);
            QVERIFY(m_log.filter("key").isEmpty());
            m_engine->changeKey(12);
            const int tick = seq->GetCurrentTick();
            QTRY_VERIFY(seq->GetCurrentTick() > tick + 600);
            QVERIFY(qAbs(pitchNow() - 880) < 30);
            QCOMPARE(m_engine->getDeltaKey(), 12);
            QCOMPARE(m_log.filter("key"), QStringList({"key 12"}));
        } else if (action == "tempo") {
            m_engine->changeBpm(20);
            m_engine->changeBpm(-10);
            QCOMPARE(seq->GetCurrentBPM(), 110);
            QCOMPARE(m_log, QStringList({"bpm 120 20", "bpm 120 -10"}));
            m_engine->changeBpm(101);
            QCOMPARE(m_engine->getDeltaBpm(), -10);
        } else if (action == "volume") {
            // The flute is in the winds group.
            m_engine->setSlidersVol(SoundEngine::eSlWinds, 0);
            QVERIFY(silent());
            m_engine->setSlidersVol(SoundEngine::eSlWinds, 127);
            QVERIFY(sounding());
        } else if (action == "heard") {
            // Behind a device that took a second at once, the synthesizer's
            // latency is a second: the report comes that much behind the
            // clock. A busy machine may come to the reports after the
            // device has played its second and stands dry: it takes
            // another.
            m_synthSink->setScheduled(true);
            QVERIFY(m_engine->connectToSoundCardByIdx(SoundEngine::kSynthIndex));
            uint heard = 0;
            connect(m_engine.get(), &SoundEngine::mSecOfPlaying, this, [&heard](uint, uint tick) { heard = tick; });
            bool behind = false;
            for (int attempt = 0; attempt < 5 && !behind; ++attempt) {
                render(1000);
                if (!QTest::qWaitFor([this] { return m_engine->outputLatencyMs() > 500; }, 5000))
                    continue;
                const double latency = m_engine->outputLatencyMs();
                behind = QTest::qWaitFor(
                    [&] { return heard > 0 && heard <= seq->GetCurrentTick() - (latency - 1) * 120 * 480 / 60000; },
                    800);
            }
            QVERIFY(behind);
        } else {
            // A late end report of an earlier song leaves this one playing.
            emit seq->songEnded();
            QCoreApplication::processEvents();
            QCOMPARE(m_engine->getPlayingState(), SoundEngine::ePsPlaying);
            QVERIFY(currSong->isLoaded());
        }
    }

    // Songs that cannot play give the load error, a video only its
    // information (and it is no file that plays), and the engine stays
    // usable. Files that are no songs or
    // far too large are refused before they are read: nothing waits on a
    // FIFO, memory stays where it was.
    void songFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("loads");
        for (const char *f : {"cut.mid", "text.mp3", "missing.kar", "folder.mid", "tone.wav", "huge.mid", "big.mid",
                              "huge.mp3", "fifo.mid", "zero.mp3"})
            QTest::newRow(f) << QString(f) << false;
        for (const QString &f : m_badMp3)
            QTest::newRow(qPrintable(f)) << f << false;
        QTest::newRow("clip.mp4") << "clip.mp4" << true;
    }
    void songFiles()
    {
        QFETCH(QString, file);
        QFETCH(bool, loads);
        m_engine->setPlayingState(SoundEngine::ePsReady);
        bool loaded = !loads;
        const qint64 rise = TestUtil::memoryRise([&] { loaded = currSong->loadSongFile(path(file)); });
        QVERIFY2(rise >= 0 && rise < (32 << 20), qPrintable(QString::number(rise)));
        QCOMPARE(loaded, loads);
        QCOMPARE(Song::checkSongFile(path(file)), loads && !file.endsWith(".mp4"));
        QCOMPARE(currSong->isLoaded(), loads);
        QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsReady);
        QCOMPARE(m_log, QStringList({"state 3"}) + (loads ? QStringList{"song 2"} : QStringList{}));
        QVERIFY(play("tone.mid"));
        QVERIFY(sounding());
    }

    // What an MP3 carries beside its audio: a CD+G companion and the offsets
    // stored in its tag, applied when it plays.
    // A companion that is not a regular file, or larger than a whole CD's
    // graphics, is refused without being read.
    void mp3Companions_data()
    {
        QTest::addColumn<QString>("cdg");
        QTest::addColumn<int>("packets");
        QTest::addColumn<int>("deltaBpm");
        QTest::addColumn<int>("deltaKey");
        QTest::newRow("whole packets") << "2400" << 100 << 0 << 0;
        QTest::newRow("a byte over") << "2401" << 0 << 0 << 0;
        QTest::newRow("empty") << "0" << 0 << 0 << 0;
        QTest::newRow("a FIFO") << "fifo" << 0 << 0 << 0;
        QTest::newRow("a link to the zero device") << "zero" << 0 << 0 << 0;
        QTest::newRow("5 GiB, sparse") << "5 GiB" << 0 << 0 << 0;
        QTest::newRow("offsets") << "" << 0 << 10 << -3;
    }
    void mp3Companions()
    {
        QFETCH(QString, cdg);
        QFETCH(int, packets);
        QFETCH(int, deltaBpm);
        QFETCH(int, deltaKey);
        const QString song = QStringLiteral("c%1.mp3").arg(QTest::currentDataTag());
        const QString companion = path(song).chopped(3) + "cdg";
        QVERIFY(QFile::copy(path("song.mp3"), path(song)));
        if (cdg == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(companion).constData(), 0644), 0);
        else if (cdg == "zero")
            QVERIFY(QFile::link("/dev/zero", companion));
        else if (cdg == "5 GiB")
            QVERIFY(TestUtil::writeFile(companion, {}) && QFile(companion).resize(qint64(5) << 30));
        else if (!cdg.isEmpty())
            QVERIFY(TestUtil::writeFile(companion, QByteArray(cdg.toInt(), 9)));
        if (deltaBpm || deltaKey) {
            std::unique_ptr<SongRW> rw(SongRW::createFromFile(path(song), false));
            QVERIFY(rw);
            rw->setDeltaBpm(deltaBpm);
            rw->setDeltaKey(deltaKey);
            QVERIFY(rw->saveToFile(path(song)));
        }
        bool played = false;
        const qint64 rise = TestUtil::memoryRise([&] { played = play(song); });
        QVERIFY(played);
        QVERIFY2(rise >= 0 && rise < (32 << 20), qPrintable(QString::number(rise)));
        QCOMPARE(currSong->hasCdg(), packets > 0);
        QCOMPARE(int(currSong->cdgPacketCount()), packets);
        QCOMPARE(int(currSong->cdgData().size()), packets * Song::kCdgPacket);
        QVERIFY(m_log.contains(QStringLiteral("bpm 0 %1").arg(deltaBpm)));
        QVERIFY(m_log.contains(QStringLiteral("key %1").arg(deltaKey)));
        QCOMPARE(m_engine->getDeltaBpm(), deltaBpm);
        QCOMPARE(m_engine->audioInterface()->getDeltaKey(), deltaKey);
    }

    // A reload that fails drops the song instead of keeping half of it.
    void failedReloadUnloads()
    {
        QVERIFY(QFile::copy(path("road.kar"), path("edited.kar")));
        QVERIFY(currSong->loadSongFile(path("edited.kar")));
        const int slot = currSong->slot();
        QVERIFY(currSong->loadSongFile(path("edited.kar")));
        QCOMPARE(currSong->slot(), slot);
        QVERIFY(TestUtil::writeFile(path("edited.kar"), TestUtil::readFile(path("cut.mid"))));
        QVERIFY(!currSong->loadSongFile(path("edited.kar")));
        QCOMPARE(m_log, QStringList({"song 2", "song 4", "song 0"}));
        QVERIFY(!currSong->isLoaded() && currSong->textRows().isEmpty());
    }

    // The current and the next song in either order, and around a song in play.
    void currentAndNext_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("currentSlot");
        QTest::newRow("current, next") << "c n p" << 0;
        QTest::newRow("next, current") << "n c p" << 1;
        QTest::newRow("next while playing") << "c p n" << 0;
        QTest::newRow("current while playing") << "n c p C s p" << 1;
    }
    void currentAndNext()
    {
        QFETCH(QString, steps);
        QFETCH(int, currentSlot);
        m_engine->setPlayingState(SoundEngine::ePsReady);
        for (const QString &step : steps.split(' ')) {
            if (step == "c" || step == "C")
                QVERIFY(currSong->loadSongFile(path(step == "c" ? "road.kar" : "tone.mid")));
            else if (step == "n")
                QVERIFY(nextSong->loadSongFile(path("tone.mid"), 3, "list"));
            else if (step == "s")
                QVERIFY(silent());
            else
                QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
        }
        QCOMPARE(currSong->slot(), currentSlot);
        QCOMPARE(nextSong->slot(), 1 - currentSlot);
        QVERIFY(sounding());
        QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsStopUnload), SoundEngine::ePsIdle);
        QVERIFY(nextSong->isLoaded() && nextSong->inPlaylist() && !currSong->isLoaded());
        QVERIFY(silent());
        m_engine->setPlayingState(SoundEngine::ePsReady);
        QVERIFY(currSong->loadSongFile(nextSong->path()));
        QCOMPARE(currSong->slot(), 1 - nextSong->slot());
        QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
        QVERIFY(sounding());
    }

    // A song of 97 BPM whose tempo is 96.99997 BPM exactly is 97 BPM to the
    // views, and the time reported is its time: counted at 96 it would run
    // 1 % ahead of what is heard, 60 ms after six seconds.
    void oddTempoKeepsItsTime()
    {
        QVERIFY(play("odd.mid"));
        QVERIFY(m_log.contains("bpm 97 0"));
        const double tpq = currSong->ticksPerQuarter();
        QTRY_VERIFY_WITH_TIMEOUT(m_engine->sequencer()->GetCurrentTick() > 6 * 97 * tpq / 60, 20000);
        QCOMPARE(m_engine->sequencer()->GetCurrentBPM(), 97);
        uint ms = 0, tick = 0;
        connect(m_engine.get(), &SoundEngine::mSecOfPlaying, this, [&](uint m, uint t) { ms = m, tick = t; });
        QTRY_VERIFY(tick > 6 * 97 * tpq / 60);
        const double exact = tick * 618.556 / tpq;
        QVERIFY2(std::fabs(ms - exact) <= 1, qPrintable(QStringLiteral("%1 ms at tick %2").arg(ms).arg(tick)));
    }

    // A stored offset the transport does not take is neither heard nor shown.
    void storedOffsetOutOfRange()
    {
        QVERIFY(QFile::copy(path("tone.mid"), path("fast.mid")));
        std::unique_ptr<SongRW> rw(SongRW::createFromFile(path("fast.mid"), false));
        QVERIFY(rw);
        rw->setDeltaBpm(120);
        QVERIFY(rw->saveToFile(path("fast.mid")));
        QVERIFY(play("fast.mid"));
        QVERIFY(m_log.contains("bpm 120 0"));
        QCOMPARE(m_engine->sequencer()->GetCurrentBPM(), 120);
        QCOMPARE(m_engine->getDeltaBpm(), 0);
    }

    // Every action that cuts the sound fades it out instead: the largest
    // step between two samples from the action on stays within the music's
    // own (the flute's notes starting and ending every beat, the MP3's
    // sine). A waveform cut dead steps by up to its whole height.
    void cutsFadeOut_data()
    {
        QTest::addColumn<QString>("song");
        QTest::addColumn<QString>("action");
        for (const char *song : {"tone.mid", "song.mp3"}) {
            for (const char *a : {"pause", "stop", "seek", "key", "song change"})
                QTest::addRow("%s %s", song, a) << QString(song) << QString(a);
        }
    }
    void cutsFadeOut()
    {
        QFETCH(QString, song);
        QFETCH(QString, action);
        const QString why = cutOnce(song, action);
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    // Empty when the cut faded; else what was measured.
    QString cutOnce(const QString &song, const QString &action)
    {
        const bool midi = song.endsWith(".mid");
        // The MP3's device pulls on a thread of its own, as a sound card
        // would, 256 frames at a time in about their time. The player's
        // clock is the device's, the frames it has pulled: on a busy
        // machine a pull that comes late would be a drop-out to the player,
        // whose sound then rises again from silence, while the recording
        // here goes on without the gap a device would have played.
        std::mutex lock;
        std::vector<int16_t> heard;
        std::atomic<bool> quit{false};
        std::thread device;
        struct DeviceClock {
            double startMs;
            double rate;
            std::atomic<uint64_t> frames{0};
            static double read(void *self)
            {
                auto *c = static_cast<DeviceClock *>(self);
                return c->startMs + double(c->frames.load()) * 1000.0 / c->rate;
            }
        } clock{RealTime::nowMs(), 48000.0};
        if (!midi) {
            m_audioSink->setPulledElsewhere(true);
            RealTime::setClock(&DeviceClock::read, &clock);
            device = std::thread([&] {
                std::vector<int16_t> block(2 * 256);
                while (!quit.load()) {
                    m_audioSink->pull(block.data(), 256);
                    clock.frames += 256;
                    {
                        const std::lock_guard<std::mutex> hold(lock);
                        heard.insert(heard.end(), block.begin(), block.end());
                    }
                    // Never asleep with the recording held: the player raises
                    // this thread to real-time, and the test's own thread,
                    // woken behind two busy cores, would find it taken again
                    // each time it came.
                    std::this_thread::sleep_for(std::chrono::milliseconds(4));
                }
            });
        }
        // The device stops, and the clock is the system's again, however
        // this ends.
        const auto stopDevice = [&] {
            quit = true;
            if (device.joinable())
                device.join();
            RealTime::setClock(nullptr, nullptr);
        };
        const auto stopped = qScopeGuard(stopDevice);
        auto take = [&] {
            const std::lock_guard<std::mutex> hold(lock);
            return std::vector<int16_t>(std::exchange(heard, {}));
        };
        // Waits until the device has pulled `ms` more, however busy the
        // machine.
        auto pulled = [&](unsigned ms) {
            size_t start;
            {
                const std::lock_guard<std::mutex> hold(lock);
                start = heard.size();
            }
            return QTest::qWaitFor([&] {
                const std::lock_guard<std::mutex> hold(lock);
                return heard.size() >= start + 2 * 48 * ms;
            }, 30000);
        };
        std::vector<float> music;
        if (!play(song))
            return QStringLiteral("the song did not play");
        // The music from its start, for its own steps.
        if (midi) {
            // A busy machine starts the engine's notes after this renders
            // away its first seconds: the music is measured from its first
            // note on.
            if (!sounding())
                return QStringLiteral("the song was never heard");
            for (int i = 0; i < 25; ++i) {
                const std::vector<float> part = render(100);
                music.insert(music.end(), part.begin(), part.end());
            }
        } else {
            // From the song's first sound on, however late a busy machine
            // starts it.
            const bool began = QTest::qWaitFor([&] {
                const std::lock_guard<std::mutex> hold(lock);
                const size_t last = 2 * 48 * 100;
                if (heard.size() < last)
                    return false;
                std::vector<float> tail;
                for (auto it = heard.end() - last; it != heard.end(); ++it)
                    tail.push_back(float(*it) / 32768.0f);
                return rms(tail) > kSounding;
            }, 30000);
            if (!began)
                return QStringLiteral("the song was never heard");
            take();
            if (!pulled(700))
                return QStringLiteral("the device pulled nothing");
            for (int16_t v : take())
                music.push_back(float(v) / 32768.0f);
        }
        if (rms(std::vector<float>(music.end() - 2 * kRate / 10, music.end())) <= kSounding) {
            stopDevice();
            return QStringLiteral("the music was not sounding before the cut");
        }
        const double own = largestStep(music);
        // Beside the last samples before it, 400 ms from the action on,
        // rendered in steps of 5 ms while the engine goes on.
        std::vector<float> cut(music.end() - 64, music.end());
        if (!midi)
            cut.clear(); // the device thread's own recording goes on
        const SoundEngine::PlayingState asked = action == "pause" ? SoundEngine::ePsPaused : SoundEngine::ePsReady;
        if (action == "pause" || action == "stop") {
            if (m_engine->setPlayingState(asked) != asked) {
                stopDevice();
                return QStringLiteral("the engine did not take the %1").arg(action);
            }
        } else if (action == "seek") {
            // Bar 4 plays the A4 of the music measured; from bar 8 the E5
            // steps half as far again as its own.
            m_engine->jumpTo(midi ? 4 : 300);
        } else if (action == "key") {
            m_engine->changeKey(-5); // down: the sine's own steps grow with its pitch
        } else if (!play(song)) {
            stopDevice();
            return QStringLiteral("the song did not play again");
        }
        for (int i = 0; i < 80 && midi; ++i) {
            const std::vector<float> part = render(5);
            cut.insert(cut.end(), part.begin(), part.end());
        }
        if (!midi) {
            pulled(400);
            stopDevice();
            for (int16_t v : take())
                cut.push_back(float(v) / 32768.0f);
            // The recording runs on from the music without a break.
            cut.insert(cut.begin(), music.end() - 64, music.end());
        }
        const double step = largestStep(cut);
        // A waveform cut dead steps by many times the music's own; a busy
        // machine may let a note struck after a seek begin while the one
        // before still rings out, a step somewhat above either alone.
        if (step <= own * 1.5)
            return QString();
        return QStringLiteral("a step of %1 at the cut, the music's own at most %2").arg(step).arg(own);
    }

    // What the song holds when a pause, a key change, a mute, a solo or the
    // melody mode cut it sounds again as soon as the music goes on: an organ
    // holds A3 and A4 for 12 s. "Back" is the level of the 25-50 ms after
    // the engine took the command within 3 dB of the level before the cut.
    void heldNotesComeBack_data()
    {
        QTest::addColumn<QString>("action");
        for (const char *a : {"pause", "key", "unmute", "solo off", "melody on"})
            QTest::newRow(a) << QString(a);
    }
    void heldNotesComeBack()
    {
        QFETCH(QString, action);
        Sequencer *seq = m_engine->sequencer();
        const bool melody = action == "melody on";
        m_engine->setMelodyMuteTrack(0);
        m_engine->setMelodyMute(melody ? 1 : 0);
        // The melody where the engine starts it, whatever happens below.
        const auto restore = qScopeGuard([this] {
            m_engine->setMelodyMute(1);
            m_engine->setMelodyMuteTrack(3);
        });
        QVERIFY(play("held.mid"));
        double before = 0;
        if (melody) {
            // The melody's note-ons were left out: nothing sounds.
            QTRY_VERIFY(seq->GetCurrentTick() > 480);
            QVERIFY(rms(render(300)) < kSilent);
        } else {
            QVERIFY(sounding());
            render(1000);
            before = level(render(200));
        }
        // Until the engine has run on after the command: what it sends at
        // its next run has reached the synthesizer.
        const auto ranOn = [&] {
            const auto tick = seq->GetCurrentTick();
            return waitFor([&] { return seq->GetCurrentTick() > tick + 10; });
        };
        if (action == "pause") {
            QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsPaused), SoundEngine::ePsPaused);
            QVERIFY(silent());
            const auto tick = seq->GetCurrentTick();
            QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
            QVERIFY(waitFor([&] { return seq->GetCurrentTick() > tick; }));
        } else if (action == "key") {
            m_engine->changeKey(2);
            QVERIFY(ranOn());
        } else if (action == "unmute" || action == "solo off") {
            // Solo on channel 2, which has nothing to play now, silences the organ too.
            const int channel = action == "unmute" ? 1 : 2;
            m_engine->setTrackMuteSolo(channel, action == "unmute" ? 1 : 2);
            QVERIFY(silent());
            m_engine->setTrackMuteSolo(channel, 0);
            QVERIFY(ranOn());
        } else {
            m_engine->setMelodyMute(0);
            QVERIFY(ranOn());
        }
        const std::vector<float> back = render(50);
        const double first = level(std::vector<float>(back.begin() + back.size() / 2, back.end()));
        if (melody)
            before = level(render(500)); // the organ's own level, once it has settled
        QVERIFY2(before > level({float(kSounding)}) && std::fabs(first - before) <= 3.0,
                 qPrintable(QStringLiteral("%1 dB after, %2 dB before").arg(first).arg(before)));
        if (action == "key") {
            // B3 and B4 now, A3 and A4 no more.
            const std::vector<float> after = render(200);
            const double newKey = power(after, 246.94) + power(after, 493.88);
            const double oldKey = power(after, 220) + power(after, 440);
            QVERIFY2(newKey > 10 * oldKey, qPrintable(QStringLiteral("%1 at the new key, %2 at the old").arg(newKey).arg(oldKey)));
        } else if (action == "pause") {
            // A note whose end fell while paused is not struck again: paused,
            // the song is moved past the organ's end.
            QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsPaused), SoundEngine::ePsPaused);
            QVERIFY(silent());
            m_engine->jumpTo(8);
            QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
            QVERIFY(waitFor([&] { return seq->GetCurrentTick() > 8 * 4 * 480 + 10; }));
            QVERIFY(rms(render(300)) < kSilent);
        }
        // Nothing hangs past the song's own end of the chord, at any key.
        QVERIFY(waitFor([&] { return seq->GetCurrentTick() > 25 * 480; }));
        render(1500);
        QVERIFY2(rms(render(200)) < kSilent, "a note hangs after its end");
    }

    // A queue deeper than the machine needs (one grown for a drop-out)
    // fits it again only while no note sounds: never under a song that
    // plays, at the engine's next look once it is paused (a new stream
    // under held notes would be heard as a gap).
    void queueFitsOnlyWhileNothingSounds()
    {
        constexpr unsigned kQueue = 400 * kRate / 1000;
        SoundEngine *e = onScheduledDevice(kQueue);
        QVERIFY(e);
        OfflineAudioSink *device = m_synthSink;
        Sequencer *seq = e->sequencer();
        auto *watch = e->findChild<QTimer *>(QStringLiteral("outputWatch"));
        QVERIFY(watch);
        // The device plays a millisecond every millisecond of the engine's
        // clock and asks for more while it holds no more than its queue.
        const double startMs = double(seq->now());
        size_t handed = 0;
        const auto run = [&](double ms) {
            for (const double until = double(seq->now()) + ms; double(seq->now()) < until;) {
                seq->advance(1);
                const size_t played = size_t((double(seq->now()) - startMs) * kRate / 1000);
                while (handed <= played + kQueue)
                    handed += device->pull(256).size() / 2;
            }
        };
        QVERIFY(play("held.mid"));
        run(2000 + SoftSynth::kCalmMs);
        const int opens = device->opens();
        // The engine looks twice while the organ's chord sounds.
        QSignalSpy looks(watch, &QTimer::timeout);
        QVERIFY(waitFor([&] { return looks.size() >= 2; }));
        QCOMPARE(device->opens(), opens);
        QCOMPARE(e->setPlayingState(SoundEngine::ePsPaused), SoundEngine::ePsPaused);
        run(100);
        QVERIFY(waitFor([&] { return device->opens() > opens; }));
        QVERIFY2(device->bridgeAsked() < 200, qPrintable(QString::number(device->bridgeAsked())));
    }

    // What the song holds outlasts every press, heard on a device like a
    // sound server's (it holds 50 ms beyond its requests), all on the
    // Sequencer's own clock, so a busy machine changes nothing: parts.mid
    // (make_held_songs.py) plays one part after another while the page's
    // rows, the header's Melody, Pause and Play and the key are pressed.
    // A solo leaves the soloed chord sounding, not a dip in it, and lets the
    // other part go; its ▶ brings that part back. Melody OFF silences the
    // melody's held note, SEMI brings it back 12 dB down, ON at its level. A
    // chord the pedal holds, and a piano note 3 s into its decay, come back
    // after Pause and Play at the level they had (3 dB, 6 dB). A key change
    // is heard within 100 ms of the press. A solo left on through Stop and
    // Play and taken off keeps nothing silent.
    void heldPartsOutlastThePresses()
    {
        constexpr double kQueueMs = 50;
        SoundEngine *e = onScheduledDevice(unsigned(kQueueMs * kRate / 1000));
        QVERIFY(e);
        OfflineAudioSink *device = m_synthSink;
        Sequencer *seq = e->sequencer();
        e->setMelodyMuteTrack(3);
        e->setMelodyMute(0);

        // The device plays a millisecond every millisecond of the clock and
        // asks for more whenever it holds no more than its queue; heard[f]
        // (stereo) sounds at clock time startMs + f / 44.1.
        std::vector<float> handed, heard;
        size_t played = 0;
        const double startMs = double(seq->now());
        const auto run = [&](double ms) {
            for (double until = double(seq->now()) + ms; double(seq->now()) < until;) {
                seq->advance(1);
                const size_t due = size_t((double(seq->now()) - startMs) * kRate / 1000);
                while (heard.size() / 2 < due) {
                    const bool dry = played >= handed.size() / 2;
                    heard.push_back(dry ? 0.0f : handed[2 * played]);
                    heard.push_back(dry ? 0.0f : handed[2 * played + 1]);
                    played += dry ? 0 : 1;
                }
                while (handed.size() / 2 - played <= size_t(kQueueMs * kRate / 1000)) {
                    const std::vector<float> more = device->pull(256);
                    handed.insert(handed.end(), more.begin(), more.end());
                }
            }
        };
        const auto part = [&](double fromMs, double toMs) {
            const auto at = [&](double ms) {
                return std::min(heard.size(), 2 * size_t(std::max(0.0, ms - startMs) * kRate / 1000));
            };
            return std::vector<float>(heard.begin() + long(at(fromMs)), heard.begin() + long(at(toMs)));
        };
        // On to song time `s` (120 BPM); the clock time then.
        const auto toSong = [&](double s) {
            for (const double until = double(seq->now()) + 60000; double(seq->now()) < until;) {
                if (seq->GetCurrentTick() >= s * 2 * currSong->ticksPerQuarter())
                    return double(seq->now());
                run(1);
            }
            qFatal("song time %g not reached", s);
        };
        const auto fail = [](const QString &what, double got, double want) {
            return qPrintable(QStringLiteral("%1: %2 dB, %3 dB wanted").arg(what).arg(got).arg(want));
        };

        // The loop woke up to 25 ms late lately, as one without real-time
        // scheduling on a busy machine does: the latency leaves room for it.
        RealTime::noteWakeLateness(25);
        QVERIFY(play("parts.mid"));
        // The solo: the soloed chord (A3, E4) sounds on through it, without
        // a dip; D3 goes, and comes back with the solo's end.
        double t = toSong(2.0);
        const double chord = level(part(t - 300, t));
        const double low = power(part(t - 300, t), 146.83), high = power(part(t - 300, t), 220.0);
        e->setTrackMuteSolo(2, DB_SOLO);
        run(600);
        const double alone = level(part(t + 400, t + 600));
        double dip = 0;
        for (double w = t - 100; w < t + 600; w += 2) {
            dip = std::min(dip, level(part(w, w + 10)) - alone);
        }
        QVERIFY2(dip > -6, fail(QStringLiteral("the soloed chord dipped"), dip, -6));
        QVERIFY2(alone > chord - 4, fail(QStringLiteral("the soloed chord"), alone, chord));
        // Its reverb dies away too.
        run(800);
        QVERIFY2(power(part(t + 1200, t + 1400), 146.83) < low / 100, "the other part went on under the solo");
        t = toSong(3.5);
        e->setTrackMuteSolo(2, DB_NORMAL);
        run(600);
        QVERIFY2(power(part(t + 400, t + 600), 146.83) > low / 2, "the other part did not come back");
        dip = 0;
        for (double w = t - 100; w < t + 600; w += 2)
            dip = std::min(dip, level(part(w, w + 10)) - alone);
        QVERIFY2(dip > -6, fail(QStringLiteral("the soloed chord dipped at its end"), dip, -6));

        // Melody OFF, SEMI and ON on the melody's held A4.
        t = toSong(7.5);
        const double melody = level(part(t - 300, t));
        QVERIFY(melody > level({float(kSounding)}));
        t = toSong(8.0);
        e->setMelodyMute(1);
        run(1400);
        // The note ends; the hall's reverb of it dies away.
        const double ended = level(part(t + 150, t + 250)), off = level(part(t + 1250, t + 1400));
        QVERIFY2(ended < melody - 10 && off < melody - 30, fail(QStringLiteral("melody OFF"), off, melody - 30));
        t = toSong(9.5);
        e->setMelodyMute(2);
        run(700);
        const double semi = level(part(t + 400, t + 700));
        QVERIFY2(std::fabs(semi - (melody - 12)) < 3, fail(QStringLiteral("melody SEMI"), semi, melody - 12));
        t = toSong(10.8);
        e->setMelodyMute(0);
        run(700);
        const double on = level(part(t + 400, t + 700));
        QVERIFY2(std::fabs(on - melody) < 3, fail(QStringLiteral("melody ON"), on, melody));

        // Pause and Play: the chord the pedal holds, and the piano's note at
        // the level its decay had reached.
        const auto pauseAndPlay = [&](double at, double within, size_t settleMs, const char *what) {
            const double paused = toSong(at);
            // Heard up to the pause, which the device's queue delays.
            const double before = level(part(paused - 100 + kQueueMs, paused - 20 + kQueueMs));
            QCOMPARE(e->setPlayingState(SoundEngine::ePsPaused), SoundEngine::ePsPaused);
            run(1000);
            const double resumed = double(seq->now());
            QCOMPARE(e->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
            run(800);
            // From the note's return, past its strike (and the reverb's rise).
            const std::vector<float> after = part(resumed, resumed + 800);
            size_t back = 0;
            while (back < after.size() && std::fabs(after[back]) < 1e-4f)
                ++back;
            const size_t from = std::min(after.size(), back + 2 * kRate * settleMs / 1000);
            const double level2 = level(std::vector<float>(after.begin() + long(from),
                                                           after.begin() + long(std::min(after.size(), from + 2 * kRate / 10))));
            QVERIFY2(std::fabs(level2 - before) <= within, fail(QString::fromLatin1(what), level2, before));
        };
        pauseAndPlay(14.0, 3, 300, "the chord the pedal holds");
        pauseAndPlay(23.0, 6, 20, "the piano 3 s into its note");

        // The key two up: B5 heard over A5 within 100 ms of the press.
        t = toSong(30.0);
        e->changeKey(2);
        run(500);
        double heardAt = -1;
        for (double w = t; w < t + 400 && heardAt < 0; w += 2) {
            const std::vector<float> s = part(w, w + 20);
            if (power(s, 987.77) > power(s, 880.0) && rms(s) > kSounding)
                heardAt = w + 10 - t;
        }
        QVERIFY2(heardAt >= 0 && heardAt <= 100, qPrintable(QStringLiteral("the new key heard %1 ms after the press").arg(heardAt)));
        e->changeKey(0);

        // A solo left on through Stop and Play, then taken off: every part
        // sounds again.
        toSong(33.0);
        e->setTrackMuteSolo(3, DB_SOLO);
        QCOMPARE(e->setPlayingState(SoundEngine::ePsReady), SoundEngine::ePsReady);
        run(300);
        QCOMPARE(e->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
        e->setTrackMuteSolo(3, DB_NORMAL);
        t = toSong(2.0);
        QVERIFY2(power(part(t - 300, t), 220.0) > high / 2 && power(part(t - 300, t), 146.83) > low / 2,
                 "a part stayed silent after the solo was taken off");
    }

    // An MP3 goes through the same states, its sound through the audio path.
    // A device that takes its first second at once plays it over the second
    // after: the report is what is heard, not what was handed over.
    void mp3PlaysToItsEnd()
    {
        QVERIFY(play("song.mp3"));
        QCOMPARE(int(currSong->lengthSeconds()), 2);
        std::vector<int16_t> a(2 * 48000);
        m_audioSink->pull(a.data(), 48000);
        QTRY_VERIFY(!m_msec.isEmpty());
        const long handed = m_engine->audioInterface()->getmSec();
        QVERIFY2(handed >= 900 && m_msec.first() + 300 <= uint(handed),
                 qPrintable(QStringLiteral("%1 heard of %2").arg(m_msec.first()).arg(handed)));
        QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsPaused), SoundEngine::ePsPaused);
        QCOMPARE(m_engine->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
        const std::vector<int16_t> rest = m_audioSink->pullUntilEnd(48000 * 10);
        double sum = 0;
        for (int16_t v : rest)
            sum += double(v) * v;
        QVERIFY(std::sqrt(sum / double(rest.size())) > 3000);
        QVERIFY(rest.size() / 2 + 48000 >= 48000 * 19 / 10);
        QTRY_COMPARE(m_engine->getPlayingState(), SoundEngine::ePsIdle);
        QCOMPARE(m_log, QStringList({"state 3", "song 2", "bpm 0 0", "key 0", "instr", "state 1", "state 2",
                                     "state 1", "stopped", "song 0", "state 0"}));
    }
};

VELMAR_TEST(TestSoundEngine)
#include "tst_soundengine.moc"
