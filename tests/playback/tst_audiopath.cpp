// The audio song player end to end: MP3s made by sox and lame, decoded by
// libmpg123, stretched by SoundTouch and pulled from the pull sink.
#include "AudioInterface.h"
#include "RealTime.h"
#include "realtimeguard.h"
#include "testutil.h"

#include <QAudio>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <sys/stat.h>
#include <thread>

using namespace Sound;

namespace {

constexpr int kRate = 48000;

// Positive-going zero crossings of the left channel per second.
double frequency(const std::vector<int16_t> &s, size_t from, size_t frames)
{
    int crossings = 0;
    for (size_t i = from + 1; i < from + frames; ++i)
        crossings += s[2 * (i - 1)] < 0 && s[2 * i] >= 0;
    return crossings * double(kRate) / double(frames);
}

double rms(const std::vector<int16_t> &s, size_t from, size_t frames, int channel = 0)
{
    double sum = 0;
    for (size_t i = from; i < from + frames; ++i)
        sum += double(s[2 * i + channel]) * s[2 * i + channel];
    return std::sqrt(sum / double(frames));
}

// The engine's clock, moved by the test.
struct HandClock {
    double ms = 0;
    static double read(void *self) { return static_cast<HandClock *>(self)->ms; }
};

std::vector<int16_t> pullFrames(PullAudioSink *sink, size_t frames)
{
    std::vector<int16_t> out(frames * 2);
    for (size_t at = 0; at < frames; at += 256)
        sink->pull(out.data() + 2 * at, unsigned(std::min<size_t>(256, frames - at)));
    return out;
}

struct Player {
    PullAudioSink *sink;
    AudioInterface audio;
    explicit Player(std::vector<AudioSink::Device> devices = {{0, "Pull", 2, kRate}})
        : sink(new PullAudioSink(std::move(devices))), audio(std::unique_ptr<AudioSink>(sink))
    {
    }
};

// Runs the song player's callback marked real-time, as a device's thread
// runs it; the sink's own locking around it is the device's part.
class MarkedSink : public PullAudioSink
{
public:
    bool open(int device, const std::string &name, unsigned channels, unsigned rate, unsigned frames, Render render,
              void *user) override
    {
        m_render = render;
        m_user = user;
        return PullAudioSink::open(device, name, channels, rate, frames, &MarkedSink::marked, this);
    }

private:
    static int marked(int16_t *out, unsigned frames, void *self)
    {
        const RealTime::ThreadScope realTime;
        auto *sink = static_cast<MarkedSink *>(self);
        return sink->m_render(out, frames, sink->m_user);
    }
    Render m_render = nullptr;
    void *m_user = nullptr;
};
} // namespace

class TestAudioPath : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    void sox(const QStringList &args) { QCOMPARE(TestUtil::runProgram("sox", args), 0); }
    void lame(const QStringList &args) { QCOMPARE(TestUtil::runProgram("lame", QStringList{"--quiet"} + args), 0); }

private slots:
    void initTestCase()
    {
        for (const char *tone : {"st44:44100:2", "mono48:48000:1", "st48:48000:2"}) {
            const QStringList p = QString(tone).split(':');
            sox({"-n", "-r", p[1], "-c", p[2], "-b", "16", path(p[0] + ".wav"), "synth", "4", "sine", "440", "vol", "0.5"});
        }
        lame({"-b", "128", path("st44.wav"), path("st44_cbr.mp3")});
        lame({"-V", "4", path("mono48.wav"), path("mono48_vbr.mp3")});
        lame({"-b", "192", "--add-id3v2", "--pad-id3v2-size", "20000", "--tt", "Title",
              path("st48.wav"), path("st48_id3.mp3")});
        sox({"-n", "-r", "44100", "-c", "2", path("sweep.wav"), "synth", "10", "sine", "100:4100", "vol", "0.5"});
        lame({"-V", "2", path("sweep.wav"), path("sweep_vbr.mp3")});
        lame({"-b", "128", path("sweep.wav"), path("sweep_cbr.mp3")});
        sox({"-n", "-r", "48000", "-c", "2", "-b", "16", path("wave.wav"), "synth", "1", "sine", "440"});
    }

    void playsThrough_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<float>("tempo");
        QTest::addColumn<float>("key");
        QTest::addColumn<double>("hz");
        QTest::addColumn<int>("lengthMs");
        QTest::newRow("stereo 44.1 kHz CBR") << "st44_cbr.mp3" << 0.f << 0.f << 440.0 << 4000;
        QTest::newRow("mono 48 kHz VBR") << "mono48_vbr.mp3" << 0.f << 0.f << 440.0 << 4000;
        QTest::newRow("48 kHz with large ID3") << "st48_id3.mp3" << 0.f << 0.f << 440.0 << 4000;
        QTest::newRow("tempo +20 %") << "st44_cbr.mp3" << 20.f << 0.f << 440.0 << 4000;
        QTest::newRow("key +12") << "st48_id3.mp3" << 0.f << 12.f << 880.0 << 4000;
        QTest::newRow("tempo -30 %, key -12") << "mono48_vbr.mp3" << -30.f << -12.f << 220.0 << 4000;
        QTest::newRow("WAV as it is") << "wave.wav" << 50.f << 12.f << 440.0 << 1000;
    }

    // The whole song reaches the sink at the right length and pitch, on both
    // channels, and its end is reported once. Tempo and key change once it
    // plays: the new setting takes over where the song stands.
    void playsThrough()
    {
        QFETCH(QString, file);
        QFETCH(float, tempo);
        QFETCH(float, key);
        QFETCH(double, hz);
        QFETCH(int, lengthMs);
        Player p;
        QSignalSpy ended(&p.audio, &AudioInterface::endedMp3);
        QVERIFY(p.audio.loadFile(path(file)));
        QVERIFY(qAbs(p.audio.getDuration() - lengthMs) <= 30);
        QVERIFY(p.audio.playAudio());
        p.audio.changeBpm(tempo);
        p.audio.changeKey(key);
        const std::vector<int16_t> out = p.sink->pullUntilEnd(size_t(kRate) * 20);
        const bool wav = file.endsWith(".wav");
        const double expected = lengthMs * kRate / 1000.0 / (wav ? 1.0 : 1.0 + tempo / 100.0);
        const double frames = out.size() / 2.0;
        QVERIFY2(frames >= expected - 256 && frames <= expected + 256,
                 qPrintable(QString("%1 frames, expected %2").arg(frames).arg(expected)));
        const size_t from = size_t(frames / 4), span = size_t(frames / 2);
        QVERIFY2(qAbs(frequency(out, from, span) - hz) < hz * 0.02,
                 qPrintable(QString::number(frequency(out, from, span))));
        QVERIFY(rms(out, from, span, 1) > 0.9 * rms(out, from, span, 0));
        QTRY_COMPARE(ended.count(), 1);
        QVERIFY(!p.audio.isActive());
    }

    void volume_data()
    {
        QTest::addColumn<int>("volume");
        QTest::newRow("full") << 127;
        QTest::newRow("half") << 64;
        QTest::newRow("off") << 0;
    }

    void volume()
    {
        QFETCH(int, volume);
        Player p;
        p.audio.setVolume(volume);
        QVERIFY(p.audio.loadFile(path("st48_id3.mp3")));
        QVERIFY(p.audio.playAudio());
        const std::vector<int16_t> out = pullFrames(p.sink, kRate);
        const double linear = QAudio::convertVolume(volume / 127.0, QAudio::LogarithmicVolumeScale,
                                                    QAudio::LinearVolumeScale);
        const double expected = 0.5 * 32768 / std::sqrt(2.0) * 0.8 * linear;
        QVERIFY2(qAbs(rms(out, kRate / 4, kRate / 2) - expected) <= 0.05 * expected + 2,
                 qPrintable(QString::number(rms(out, kRate / 4, kRate / 2))));
    }

    void seek_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("target");
        QTest::newRow("VBR to 2.5 s") << "sweep_vbr.mp3" << 2500;
        QTest::newRow("VBR to 7.3 s") << "sweep_vbr.mp3" << 7300;
        QTest::newRow("CBR to 6 s") << "sweep_cbr.mp3" << 6000;
        QTest::newRow("VBR back to the start") << "sweep_vbr.mp3" << 0;
    }

    // A pause gives silence, a seek while paused stays paused, and playback
    // resumes where the seek asked (the sweep's pitch tells the time).
    void seek()
    {
        QFETCH(QString, file);
        QFETCH(int, target);
        Player p;
        QVERIFY(p.audio.loadFile(path(file)));
        QVERIFY(p.audio.playAudio());
        pullFrames(p.sink, kRate);
        p.audio.pauseAudio();
        const long pausedAt = p.audio.getmSec();
        QVERIFY(qAbs(pausedAt - 1000) <= 50);
        p.audio.jumpToSec(target);
        QVERIFY(!p.audio.isActive());
        const std::vector<int16_t> silent = pullFrames(p.sink, kRate / 10);
        QCOMPARE(rms(silent, 0, kRate / 10), 0.0);
        QVERIFY(qAbs(p.audio.getmSec() - target) <= 50);
        p.audio.resumeAudio();
        const std::vector<int16_t> out = pullFrames(p.sink, kRate / 5);
        // 100 Hz rising by 400 Hz a second; the window's middle is 100 ms in.
        const double at = (frequency(out, 0, kRate / 5) - 100.0) / 400.0 * 1000.0 - 100.0;
        QVERIFY2(qAbs(at - target) <= 50, qPrintable(QString("landed at %1 ms").arg(at)));
        QVERIFY(qAbs(p.audio.getmSec() - (target + 200)) <= 50);
    }

    // What is heard is what the device plays now: a device that takes a
    // second at once plays it over the second after, one that then runs dry
    // stands at the end of what it had, and once it plays again the position
    // goes on from there, not from what it was handed, through a drop-out
    // in the middle of steady playing too, at any tempo.
    void heardThroughDropOuts_data()
    {
        QTest::addColumn<float>("tempo");
        QTest::newRow("as it is") << 0.f;
        QTest::newRow("tempo +50 %") << 50.f;
    }
    void heardThroughDropOuts()
    {
        QFETCH(float, tempo);
        HandClock clock;
        RealTime::setClock(&HandClock::read, &clock);
        Player p;
        QVERIFY(p.audio.loadFile(path("sweep_cbr.mp3")));
        p.audio.changeBpm(tempo);
        QVERIFY(p.audio.playAudio());
        const double speed = 1 + tempo / 100.0;
        auto heardAt = [&](double ms) {
            clock.ms = ms;
            return double(p.audio.heardMs());
        };
        // A second at once, then nothing until 1.6 s: dry from 1 s on.
        std::vector<int16_t> second(2 * kRate);
        p.sink->pull(second.data(), kRate);
        const double handed = double(p.audio.getmSec());
        QVERIFY(std::fabs(handed - 1000 * speed) <= 30);
        QVERIFY(std::fabs(heardAt(300) - 300 * speed) <= 10);
        QVERIFY(std::fabs(heardAt(1300) - handed) <= 10);
        clock.ms = 1600;
        p.sink->pull(second.data(), kRate);
        QVERIFY2(std::fabs(heardAt(1800) - (handed + 200 * speed)) <= 10,
                 qPrintable(QString::number(heardAt(1800))));
        // Then steady, 256 frames at a time, held up for 300 ms at 3 s.
        double at = 2600;
        double stopped = -1, heardThen = -1;
        while (at < 4500) {
            clock.ms = at;
            if (at < 3000 || at >= 3300)
                pullFrames(p.sink, 256);
            if (at >= 3000 && stopped < 0)
                stopped = double(p.audio.getmSec());
            if (at >= 3250 && heardThen < 0)
                heardThen = heardAt(at);
            at += 256.0 * 1000 / kRate;
        }
        // The device stood from a little after 3 s for as long as it had
        // nothing; since it plays again, the position runs on.
        QVERIFY2(std::fabs(heardThen - stopped) <= 10, qPrintable(QStringLiteral("%1 of %2").arg(heardThen).arg(stopped)));
        const double now = double(p.audio.getmSec());
        QVERIFY2(std::fabs(heardAt(at) - now) <= 10, qPrintable(QStringLiteral("%1 of %2").arg(heardAt(at)).arg(now)));
        p.audio.stopAudio();
        RealTime::setClock(nullptr, nullptr);
    }

    void firstSamples_data()
    {
        QTest::addColumn<int>("fileRate");
        QTest::addColumn<float>("key");
        QTest::newRow("as it is") << 48000 << 0.f;
        QTest::newRow("44.1 kHz on a 48 kHz device") << 44100 << 0.f;
        QTest::newRow("key +2") << 48000 << 2.f;
    }
    // A song that starts loud starts at its first sample: nothing of its
    // beginning is left out (a click) and nothing but the silence the
    // device asks for comes before it.
    void firstSamples()
    {
        QFETCH(int, fileRate);
        QFETCH(float, key);
        const QString wav = path(QString("loud%1.wav").arg(fileRate));
        const QString mp3 = path(QString("loud%1.mp3").arg(fileRate));
        const QString ref = path(QString("loud%1.raw").arg(fileRate));
        // A low square wave: at full height from its first sample on.
        sox({"-n", "-r", QString::number(fileRate), "-c", "2", "-b", "16", wav, "synth", "1", "square", "110", "vol", "0.5"});
        lame({"-b", "192", wav, mp3});
        // The decoded song at the device's rate, as ffmpeg (which leaves out
        // the encoder's delay as libmpg123 does) makes it.
        QCOMPARE(TestUtil::runProgram("ffmpeg", {"-v", "error", "-y", "-i", mp3, "-ar", QString::number(kRate),
                                                 "-ac", "2", "-f", "s16le", ref}),
                 0);
        QFile f(ref);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        std::vector<int16_t> expected(size_t(bytes.size()) / 2);
        std::memcpy(expected.data(), bytes.constData(), expected.size() * 2);
        Player p;
        // The silence a device asks for, not a whole number of buffers.
        const long lead = 700;
        p.sink->setStartLeadFrames(unsigned(lead));
        p.audio.changeKey(key);
        QVERIFY(p.audio.loadFile(mp3));
        QVERIFY(p.audio.playAudio());
        std::vector<int16_t> out = pullFrames(p.sink, kRate / 10);
        QVERIFY(std::all_of(out.begin(), out.begin() + 2 * lead, [](int16_t v) { return v == 0; }));
        out.erase(out.begin(), out.begin() + 2 * lead);
        if (fileRate == kRate && key == 0) {
            // Sample by sample from the first on (the output gain applied;
            // two decoders round a little apart).
            for (size_t i = 0; i < 2 * 1024; ++i)
                QVERIFY2(std::abs(out[i] - std::lround(rtaVol * expected[i])) <= 24,
                         qPrintable(QString("sample %1: %2, the song's %3").arg(i / 2).arg(out[i]).arg(expected[i])));
        }
        // Where the sound starts: the first sample above a tenth of the
        // square's height, in the song and in what was played.
        auto start = [](const std::vector<int16_t> &s) {
            size_t i = 0;
            while (i < s.size() / 2 && std::abs(s[2 * i]) < 1600)
                ++i;
            return long(i);
        };
        const long songStart = start(expected), playedStart = start(out);
        QVERIFY(songStart < 100);
        QVERIFY2(std::abs(playedStart - songStart) <= 2,
                 qPrintable(QString("the song starts at frame %1, the sound at %2").arg(songStart).arg(playedStart)));
    }

    // A song picked up after a pause rises from silence, even when the
    // pause could not wait for its fade (here the test pulls the device
    // itself): a square wave is at full height almost everywhere.
    void resumeRisesFromSilence()
    {
        const QString mp3 = path("square.mp3");
        sox({"-n", "-r", "48000", "-c", "2", "-b", "16", path("square.wav"), "synth", "2", "square", "110", "vol", "0.5"});
        lame({"-b", "192", path("square.wav"), mp3});
        Player p;
        QVERIFY(p.audio.loadFile(mp3));
        QVERIFY(p.audio.playAudio());
        const std::vector<int16_t> before = pullFrames(p.sink, kRate / 2);
        const double full = rms(before, kRate / 4, kRate / 8);
        QVERIFY(full > 5000);
        p.audio.pauseAudio();
        p.audio.resumeAudio();
        const std::vector<int16_t> after = pullFrames(p.sink, kRate / 10);
        QVERIFY2(std::abs(after[0]) < 0.05 * full && std::abs(after[2]) < 0.1 * full,
                 qPrintable(QString("%1 %2 of %3").arg(after[0]).arg(after[2]).arg(full)));
        QVERIFY(rms(after, kRate / 50, kRate / 25) > 0.9 * full);
    }

    // Every command waits behind the device's queue: it starts short,
    // doubles after a song whose drop-outs went on to its last seconds, and
    // is short again after a song without them, whatever its length: a
    // drop-out long before a song's end grows nothing.
    void queueFollowsDropOuts()
    {
        sox({"-n", "-r", "48000", "-c", "2", "-b", "16", path("long.wav"), "synth", "40", "sine", "440", "vol", "0.5"});
        lame({"-b", "128", path("long.wav"), path("long.mp3")});
        HandClock clock;
        RealTime::setClock(&HandClock::read, &clock);
        Player p;
        auto play = [&](double seconds, double holdAtMs) {
            QVERIFY(p.audio.loadFile(path("long.mp3")));
            QVERIFY(p.audio.playAudio());
            std::vector<int16_t> buffer(2 * 256);
            for (const double end = clock.ms + seconds * 1000; clock.ms < end; clock.ms += 256.0 * 1000 / kRate) {
                if (holdAtMs > 0 && clock.ms >= holdAtMs) {
                    clock.ms += 300; // the device's thread held up: a drop-out
                    holdAtMs = 0;
                }
                p.sink->pull(buffer.data(), 256);
            }
            p.audio.stopAudio();
        };
        play(2, 0);
        QCOMPARE(p.sink->queueBuffers(), AudioInterface::kQueueBuffers);
        play(2, clock.ms + 1000);
        QCOMPARE(p.sink->queueBuffers(), AudioInterface::kQueueBuffers);
        play(2, clock.ms + 1000);
        QCOMPARE(p.sink->queueBuffers(), 2 * AudioInterface::kQueueBuffers);
        play(2, 0);
        QCOMPARE(p.sink->queueBuffers(), 4 * AudioInterface::kQueueBuffers);
        play(2, 0);
        QCOMPARE(p.sink->queueBuffers(), AudioInterface::kQueueBuffers);
        play(15, clock.ms + 1000);
        QCOMPARE(p.sink->queueBuffers(), AudioInterface::kQueueBuffers);
        play(2, 0);
        QCOMPARE(p.sink->queueBuffers(), AudioInterface::kQueueBuffers);
        RealTime::setClock(nullptr, nullptr);
    }

    void badFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<int>("lengthMs");
        const QByteArray mp3 = TestUtil::readFile(path("st44_cbr.mp3"));
        const QByteArray wav = TestUtil::readFile(path("wave.wav"));
        QByteArray corrupt = mp3;
        for (int i = 20000; i < 30000; ++i)
            corrupt[i] = char(i * 7919 >> 3);
        auto patched = [&](int at, QByteArray bytes) { return QByteArray(wav).replace(at, bytes.size(), bytes); };
        QByteArray listAfter = wav + QByteArray("LIST\x04\0\0\0abcd", 12);
        QTest::newRow("empty MP3") << "a.mp3" << QByteArray() << false << 0;
        QTest::newRow("text as MP3") << "b.mp3" << QByteArray("no audio here\n").repeated(400) << false << 0;
        QTest::newRow("ID3 only") << "c.mp3" << mp3.left(60) << false << 0;
        QTest::newRow("MP3 cut short") << "d.mp3" << mp3.left(mp3.size() / 2) << true << -1;
        QTest::newRow("MP3 damaged inside") << "e.mp3" << corrupt << true << -1;
        QTest::newRow("unknown suffix") << "f.ogg" << mp3 << false << 0;
        QTest::newRow("a FIFO named MP3") << "fifo.mp3" << QByteArray() << false << 0;
        QTest::newRow("WAV 44.1 kHz") << "g.wav" << patched(24, QByteArray("\x44\xAC\0\0", 4)) << false << 0;
        QTest::newRow("WAV 48 kHz low bytes only") << "h.wav" << patched(24, QByteArray("\x80\xBB\1\0", 4)) << false << 0;
        QTest::newRow("WAV mono") << "i.wav" << patched(22, QByteArray("\1", 1)) << false << 0;
        QTest::newRow("WAV 8-bit") << "j.wav" << patched(34, QByteArray("\x08", 1)) << false << 0;
        QTest::newRow("WAV of 20 bytes") << "k.wav" << wav.left(20) << false << 0;
        QTest::newRow("WAV with a chunk after the samples") << "l.wav" << listAfter << true << 1000;
        QTest::newRow("WAV cut short") << "m.wav" << wav.left(44 + 4 * 24000) << true << 500;
    }

    // Refused files load nothing; accepted ones play to their end cleanly.
    void badFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(bool, loads);
        QFETCH(int, lengthMs);
        if (name == "fifo.mp3")
            QCOMPARE(::mkfifo(QFile::encodeName(path(name)).constData(), 0644), 0);
        else
            QVERIFY(TestUtil::writeFile(path(name), data));
        Player p;
        QSignalSpy ended(&p.audio, &AudioInterface::endedMp3);
        QCOMPARE(p.audio.loadFile(path(name)), loads);
        if (lengthMs >= 0)
            QCOMPARE(p.audio.getDuration(), long(lengthMs));
        QCOMPARE(p.audio.playAudio(), loads);
        QCOMPARE(p.audio.isActive(), loads);
        if (!loads)
            return;
        const std::vector<int16_t> out = p.sink->pullUntilEnd(size_t(kRate) * 20);
        QVERIFY(out.size() / 2 <= size_t(p.audio.getDuration() + 10) * kRate / 1000 + 256);
        QTRY_COMPARE(ended.count(), 1);
    }

    // Only outputs are listed, and the sound server's default when it is an
    // input gives way to the first output; only devices that open in stereo
    // are taken; a failed start leaves no stream; the device stays while a
    // song plays.
    void deviceChoice()
    {
        Player p({{1, "Monitor of Speakers", 0, 48000}, {0, "Mono", 1, 48000}, {3, "Speakers", 2, 44100}});
        QCOMPARE(p.audio.availableOutputDevices(), (QMap<int, QString>{{0, "Mono"}, {3, "Speakers"}}));
        QCOMPARE(p.audio.getDefaultOutputDevice(), 0);
        QVERIFY(!p.audio.connectDeviceById(0));
        QVERIFY(p.audio.loadFile(path("st48_id3.mp3")));
        QVERIFY(!p.audio.playAudio());
        QVERIFY(!p.audio.isActive());
        QCOMPARE(p.audio.getmSec(), 0L);
        QVERIFY(p.audio.connectDeviceById(3));
        QVERIFY(p.audio.loadFile(path("st48_id3.mp3")));
        QVERIFY(p.audio.playAudio());
        QCOMPARE(p.sink->rate(), 44100u);
        QVERIFY(!p.audio.connectDeviceById(3));
        const std::vector<int16_t> out = p.sink->pullUntilEnd(size_t(kRate) * 20);
        QVERIFY(qAbs(double(out.size()) / 2 - 4 * 44100) <= 256);
    }

    // The song player's callback neither allocates, frees, locks a mutex
    // nor writes while a song plays, changes key and tempo, is sought,
    // paused and resumed (realtimeguard.h): through a test sink that marks
    // it real-time as on a device's thread, and on the program's own road,
    // RtAudio's thread through the stream wrapper (its pacing, and its
    // parking while a stop is made) on a sound server of the test's own.
    void callbackStaysClean_data()
    {
        QTest::addColumn<bool>("rtAudio");
        QTest::newRow("test sink") << false;
        QTest::newRow("RtAudio") << true;
    }
    void callbackStaysClean()
    {
        QFETCH(bool, rtAudio);
        // The sound server is a child process, which ThreadSanitizer's
        // runtime does not survive (the guard counts nothing there anyway).
        if (rtAudio && !RealTimeGuard::available())
            QSKIP("no real-time guard in this build");
        TestUtil::SoundServer server;
        if (rtAudio && !server.start())
            QSKIP("no PulseAudio server of the test's own");
        const QString mp3 = path("st44_cbr.mp3");
        auto *sink = rtAudio ? nullptr : new MarkedSink();
        AudioInterface audio{rtAudio ? makeRtAudioOutput() : std::unique_ptr<AudioSink>(sink)};
        QVERIFY(audio.loadFile(mp3));
        QVERIFY(audio.playAudio());
        std::atomic<bool> quit{false};
        std::thread device([&] {
            int16_t block[256 * 2];
            while (sink && !quit.load()) {
                if (sink->isRunning())
                    sink->pull(block, 256);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        // The song moves on by `ms` (the device's pulls).
        const auto pulled = [&audio](long ms) {
            const long until = audio.getmSec() + ms;
            return QTest::qWaitFor([&] { return audio.getmSec() >= until; }, 20000);
        };
        QVERIFY(pulled(100));
        RealTimeGuard::arm(true);
        QVERIFY(pulled(100));
        audio.changeKey(3);
        QVERIFY(pulled(100));
        audio.changeBpm(20);
        QVERIFY(pulled(100));
        audio.jumpToSec(3000);
        QVERIFY(pulled(100));
        audio.pauseAudio(); // fades out on the device's pulls, then stops them
        QVERIFY(!audio.isActive());
        audio.resumeAudio();
        QVERIFY(pulled(100));
        audio.changeKey(-2);
        audio.jumpToSec(500);
        QVERIFY(pulled(200));
        RealTimeGuard::arm(false);
        quit = true;
        device.join();
        audio.stopAudio();
        const QString ours = RealTimeGuard::report();
        QVERIFY2(ours.isEmpty(), qPrintable(ours));
    }
};

VELMAR_TEST(TestAudioPath)
#include "tst_audiopath.moc"
