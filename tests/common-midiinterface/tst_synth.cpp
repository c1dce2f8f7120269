// The synthesizer: the real FluidSynth with the Debian General MIDI bank,
// pulled through the offline sink. What it plays and how controllers and
// effects change it, bank files, the output wrapper's states, the music
// volume through the output layer, and notes in place under a device that
// asks for audio in bursts.
#include "MidiBassOutWrapper.h"
#include "MidiInterface.h"
#include "RealTime.h"
#include "SoftSynth.h"
#include "cinterface.h"
#include "synthtestutil.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <thread>
#include <QtTest>
#include <algorithm>
#include <cmath>

using namespace SynthTest;

namespace {
constexpr unsigned kRate = 44100;

struct Rig {
    OfflineAudioSink *sink;
    std::unique_ptr<SoftSynth> synth;

    // scheduled: events stamped with their time sound at it.
    explicit Rig(bool scheduled = false)
    {
        auto owned = std::make_unique<OfflineAudioSink>(kRate);
        owned->setScheduled(scheduled);
        sink = owned.get();
        synth = std::make_unique<SoftSynth>(std::move(owned));
    }
    bool start()
    {
        auto *file = new QFile(soundBank());
        int error = 0;
        if (synth->start(-1) != SOFTSYNTH_OK || !file->open(QIODevice::ReadOnly)) {
            delete file;
            return false;
        }
        return synth->loadFont(file, &error) > 0;
    }
    int send(const char *hex)
    {
        const auto b = bytes(hex);
        return synth->streamEvents(b.data(), int(b.size()));
    }
    std::vector<float> render(unsigned ms) { return renderMs(sink, ms); }
};

std::vector<AudioDeviceEntry> fakeDevices()
{
    return {{"Built-in Output", true},
            {"USB Audio", false},
            {"USB Audio", true},
            {"Haut-parleur intégré", true}};
}

struct Output {
    OfflineAudioSink *sink;
    std::unique_ptr<MidiBassOutWrapper> wrapper;

    explicit Output(std::vector<AudioDeviceEntry> devices = fakeDevices())
    {
        auto owned = std::make_unique<OfflineAudioSink>(44100, std::move(devices));
        sink = owned.get();
        wrapper = std::make_unique<MidiBassOutWrapper>(std::move(owned));
    }
    int send(const char *hex)
    {
        const auto b = bytes(hex);
        return wrapper->sendMessage(&b);
    }
};

constexpr unsigned kBuffer = 256;
constexpr int kNotes = 30;
constexpr double kBeatMs = 60000.0 / 97; // 618.556... ms
// After the latency has settled, as the program starts a song.
constexpr double kFirstMs = 2000;
const unsigned char kWoodBlock[] = {0x99, 76, 100};
// Halfway through the song the block turns softer.
const unsigned char kSofter[] = {0xB9, 7, 90};
constexpr double kSofterMs = 2000 + 14.5 * kBeatMs;

double noteMs(int i)
{
    return kFirstMs + i * kBeatMs;
}

size_t totalFrames()
{
    return size_t((noteMs(kNotes) + 500) * kRate / 1000);
}

struct Event {
    double ms;
    const unsigned char *bytes;
};

std::vector<Event> clickSong()
{
    std::vector<Event> song;
    for (int i = 0; i < kNotes; ++i) {
        if (noteMs(i) > kSofterMs && noteMs(i - 1) <= kSofterMs)
            song.push_back({kSofterMs, kSofter});
        song.push_back({noteMs(i), kWoodBlock});
    }
    return song;
}

// Offline: pulls up to each event's exact frame, then sends it.
std::vector<float> offlineRender()
{
    Rig rig;
    rig.start();
    std::vector<float> out(totalFrames() * 2);
    size_t done = 0;
    for (const Event &e : clickSong()) {
        const size_t to = size_t(e.ms * kRate / 1000);
        rig.sink->pull(out.data() + 2 * done, unsigned(to - done));
        done = to;
        rig.synth->streamEvents(e.bytes, 3);
    }
    rig.sink->pull(out.data() + 2 * done, unsigned(totalFrames() - done));
    return out;
}

struct TestClock {
    double ms = 0;
    static double read(void *self) { return static_cast<TestClock *>(self)->ms; }
};

// A device that, whenever what it has runs out, asks for `bursts[k]`
// buffers back to back and then nothing until they have played, and that
// stops for stallMs from stallAtMs (it then goes on where it stopped: the
// time is lost). Events are sent in the millisecond their time falls in,
// stamped with their exact time, the stall notwithstanding.
std::vector<float> liveRender(const QList<int> &bursts, double stallAtMs, double stallMs,
                              size_t *stallFrame, int *voicesAtEnd)
{
    TestClock clock;
    RealTime::setClock(&TestClock::read, &clock);
    auto rig = std::make_unique<Rig>(true);
    rig->start();
    const std::vector<Event> song = clickSong();
    std::vector<float> out(totalFrames() * 2 + 64 * kBuffer * 2);
    size_t pulled = 0, next = 0;
    int k = 0;
    while (pulled < totalFrames()) {
        clock.ms += 1;
        for (; next < song.size() && song[next].ms <= clock.ms; ++next) {
            const RealTime::MessageTime at(song[next].ms);
            rig->synth->streamEvents(song[next].bytes, 3);
        }
        const double deviceMs = clock.ms - (clock.ms < stallAtMs ? 0 : std::min(clock.ms - stallAtMs, stallMs));
        if (clock.ms >= stallAtMs && clock.ms < stallAtMs + stallMs) {
            *stallFrame = std::min(*stallFrame, pulled);
            continue;
        }
        if (deviceMs * kRate / 1000 >= double(pulled)) {
            const unsigned want = unsigned(bursts[k++ % bursts.size()]) * kBuffer;
            for (unsigned b = 0; b < want; b += kBuffer, pulled += kBuffer)
                rig->sink->pull(out.data() + 2 * pulled, kBuffer);
        }
    }
    *voicesAtEnd = rig->synth->activeVoices();
    rig.reset();
    RealTime::setClock(nullptr, nullptr);
    out.resize(totalFrames() * 2);
    return out;
}

// A device like a sound server: it holds `queue` frames beyond a request
// that comes in time and plays on at its rate, whatever its writer does; the
// writer fills it up whenever there is room, unless held up (from holdAtMs,
// for holdMs, every everyMs when that is set). Run dry, it plays what comes
// next, later; or, when it skips, only what comes after the time it played
// silence for (a sound server may do either). What it plays lands on the
// clock's timeline, silence where it ran dry; beside it, what the
// synthesizer says it plays at each millisecond.
struct QueuedDevice {
    std::vector<float> heard;
    std::vector<double> heardMs;
    size_t dryFrames = 0; // after it first played
};

QueuedDevice queuedRender(Rig &rig, TestClock &clock, unsigned queue, double untilMs, double holdAtMs,
                          double holdMs, double everyMs = 0, bool skips = false)
{
    size_t owed = 0; // a device that skips: the frames it played silence for
    const std::vector<Event> song = clickSong();
    QueuedDevice d;
    std::vector<float> handed;
    std::vector<float> buffer(2 * kBuffer);
    size_t next = 0, played = 0;
    const double start = clock.ms;
    for (; clock.ms < untilMs; clock.ms += 1) {
        for (; next < song.size() && song[next].ms <= clock.ms; ++next) {
            const RealTime::MessageTime at(song[next].ms);
            rig.synth->streamEvents(song[next].bytes, 3);
        }
        const size_t wall = size_t((clock.ms - start) * kRate / 1000);
        while (d.heard.size() / 2 < wall) {
            if (owed > 0 && played < handed.size() / 2) {
                const size_t skipped = std::min(owed, handed.size() / 2 - played);
                played += skipped;
                owed -= skipped;
            }
            const bool dry = played >= handed.size() / 2;
            owed += skips && dry && played > 0;
            d.dryFrames += dry && played > 0;
            d.heard.push_back(dry ? 0.0f : handed[2 * played]);
            d.heard.push_back(dry ? 0.0f : handed[2 * played + 1]);
            played += dry ? 0 : 1;
        }
        const double since = clock.ms - holdAtMs;
        const bool held = since >= 0 && (everyMs > 0 ? std::fmod(since, everyMs) : since) < holdMs;
        while (!held && handed.size() / 2 - played <= queue) {
            rig.sink->pull(buffer.data(), kBuffer);
            handed.insert(handed.end(), buffer.begin(), buffer.end());
        }
        d.heardMs.push_back(rig.synth->heardMessageMs(clock.ms));
    }
    return d;
}

// The synthesizer from its start on such a device of `queue` frames, on a
// test clock.
struct QueuedRig {
    TestClock clock;
    Rig rig{true};
    unsigned queue;
    bool started;
    explicit QueuedRig(unsigned frames) : queue(frames)
    {
        RealTime::setClock(&TestClock::read, &clock);
        rig.sink->setLatencyFrames(frames);
        started = rig.start();
    }
    ~QueuedRig()
    {
        rig.synth.reset();
        RealTime::setClock(nullptr, nullptr);
    }
    QueuedDevice render(double untilMs, double holdAtMs, double holdMs, double everyMs = 0, bool skips = false)
    {
        return queuedRender(rig, clock, queue, untilMs, holdAtMs, holdMs, everyMs, skips);
    }
};

struct Hit {
    size_t frame;
    float peak;
};

// First sample above a threshold after at least 300 ms of quiet, and the
// peak of the next 30 ms, from frame `from` to `to`.
std::vector<Hit> onsets(const std::vector<float> &s, size_t from = 0, size_t to = SIZE_MAX)
{
    std::vector<Hit> hits;
    const size_t frames = std::min(to, s.size() / 2);
    size_t quietUntil = 0;
    for (size_t f = from; f < frames; ++f) {
        if (f < quietUntil || std::fabs(s[2 * f]) < 0.01f)
            continue;
        float peak = 0;
        for (size_t g = f; g < std::min(frames, f + kRate * 30 / 1000); ++g)
            peak = std::max(peak, std::fabs(s[2 * g]));
        hits.push_back({f, peak});
        quietUntil = f + kRate * 300 / 1000;
    }
    return hits;
}

// How far a sample lands from where the two before it point, in
// interleaved stereo from sample `from` to `to`: small for smooth waves, the
// wave's height where one is cut dead. Over pairs of samples, so that what
// FluidSynth's effects leave at the highest frequency after a reset
// (inaudible) does not count.
double bend(const std::vector<float> &s, size_t from = 0, size_t to = SIZE_MAX)
{
    double step = 0;
    auto pair = [&s](size_t i) { return (double(s[i]) + s[i - 2]) / 2; };
    for (size_t i = std::max<size_t>(from, 6); i < std::min(to, s.size()); ++i)
        step = std::max(step, std::fabs(pair(i) - 2.0 * pair(i - 2) + pair(i - 4)));
    return step;
}

float peak(const std::vector<float> &s)
{
    float p = 0;
    for (float v : s)
        p = std::max(p, std::fabs(v));
    return p;
}

} // namespace

class TestSynth : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString bankFile(const QString &kind)
    {
        if (kind == QLatin1String("good"))
            return soundBank();
        if (kind == QLatin1String("missing"))
            return m_dir.filePath(QStringLiteral("nowhere/Basic.sfc"));
        if (kind == QLatin1String("corrupt")) {
            const QString path = m_dir.filePath(QStringLiteral("corrupt.sfc"));
            TestUtil::writeFile(path, QByteArray(16, '\0'));
            return path;
        }
        return QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(soundBank()), "install timgm6mb-soundfont");
    }
    void cleanup() { QCOMPARE(BassSynthMidiExpander::numPorts, 0); }

    void resetsSilenceAndRestoreDrums()
    {
        Rig rig;
        QVERIFY(rig.start());
        QVERIFY(rig.synth->setChannelDrums(9, false));
        rig.send("B9 00 00 C9 00 B0 40 7F 90 3C 64 40 64 43 64");
        int bank = -1, program = -1;
        QVERIFY(rig.synth->channelPreset(9, &bank, &program));
        QCOMPARE(bank, 0);
        const double held = rms(rig.render(200));
        QVERIFY(held > 1e-3);
        QCOMPARE(rig.synth->activeVoices(), 3);
        QCOMPARE(rig.send("F0 7E 7F 09 01 F7"), 1);
        QCOMPARE(rig.send("F0 41 10 42 12 40 00 7F 00 41 F7"), 1);
        const auto after = rig.render(500);
        QCOMPARE(rig.synth->activeVoices(), 0);
        // What is left is the reverb's tail.
        QVERIFY2(rms(after, after.size() * 4 / 5) < held / 10, qPrintable(QString::number(rms(after))));
        QVERIFY(rig.synth->channelPreset(9, &bank, &program));
        QCOMPARE(bank, 128);
        rig.send("99 24 64");
        QVERIFY(rms(rig.render(200)) > 1e-3);
    }

    // The same note after two setups: the measure of the second over the
    // first must pass the bound (above it when > 1, below when < 1).
    void soundControllersAndEffects_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QString>("measure");
        QTest::addColumn<double>("bound");
        // Sawtooth lead: plenty of partials for the filter to take away.
        QTest::newRow("CC74 closes the filter")
            << QByteArray("C0 51 B0 4A 40") << QByteArray("C0 51 B0 4A 00") << "brightness" << 0.5;
        QTest::newRow("GS reverb level, device 00, no checksum")
            << QByteArray("B0 5B 7F F0 41 00 42 12 40 01 33 00 00 F7")
            << QByteArray("B0 5B 7F F0 41 00 42 12 40 01 33 7F 00 F7") << "tail" << 4.0;
        // A reset puts a GS module back at its default effects (reverb level
        // 64), whatever was set before.
        QTest::newRow("GS reset restores the reverb level")
            << QByteArray("B0 5B 7F F0 41 00 42 12 40 01 33 00 00 F7")
            << QByteArray("F0 41 00 42 12 40 01 33 00 00 F7 F0 41 10 42 12 40 00 7F 00 41 F7 "
                          "B0 5B 7F")
            << "tail" << 4.0;
        QTest::newRow("GS reset restores the chorus level")
            << QByteArray("B0 5D 7F F0 41 00 42 12 40 01 3A 00 00 F7")
            << QByteArray("F0 41 00 42 12 40 01 3A 00 00 F7 F0 41 10 42 12 40 00 7F 00 41 F7 "
                          "B0 5D 7F")
            << "level" << 1.2;
    }
    void soundControllersAndEffects()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QString, measure);
        QFETCH(double, bound);
        auto run = [&measure](const QByteArray &setup) {
            Rig rig;
            if (!rig.start())
                return -1.0;
            rig.send(setup.constData());
            rig.send("90 3C 7F");
            const auto held = rig.render(400);
            rig.send("80 3C 00");
            const auto after = rig.render(400);
            if (measure == QLatin1String("brightness"))
                return brightness(held);
            if (measure == QLatin1String("tail"))
                return rms(after, after.size() / 4);
            return rms(held);
        };
        const double a = run(first), b = run(second);
        QVERIFY(a > 0 && b > 0);
        const QString text = QStringLiteral("%1 then %2").arg(a).arg(b);
        if (bound > 1)
            QVERIFY2(b > a * bound, qPrintable(text));
        else
            QVERIFY2(b < a * bound, qPrintable(text));
    }

    void soundBankFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("loads");
        const QByteArray good = TestUtil::readFile(soundBank());
        QTest::newRow("zeros") << QByteArray(16, '\0') << false;
        QTest::newRow("truncated") << good.left(good.size() / 2) << false;
        QTest::newRow("whole") << good << true;
    }
    void soundBankFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, loads);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Sönd bänk ♪.sfc"));
        QVERIFY(TestUtil::writeFile(path, content));
        Rig rig;
        QCOMPARE(rig.synth->start(-1), SOFTSYNTH_OK);
        auto *file = new QFile(path);
        QVERIFY(file->open(QIODevice::ReadOnly));
        int error = -7;
        const int handle = rig.synth->loadFont(file, &error);
        QCOMPARE(handle > 0, loads);
        QCOMPARE(error, loads ? SOFTSYNTH_OK : SOFTSYNTH_ERROR_FILEFORM);
        QCOMPARE(SoftSynth::openFontFiles(), 0);
        if (loads) {
            QVERIFY(rig.synth->fontPresets(handle, nullptr, 0) > 100);
            QVERIFY(rig.synth->freeFont(handle));
            QVERIFY(!rig.synth->freeFont(handle));
        }
    }

    // o: openPort, c: closePort, s: sendMessage (a note-on); each step's
    // result ('_' for closePort) and the instance count after it.
    void stateTable_data()
    {
        QTest::addColumn<QString>("bank");
        QTest::addColumn<bool>("device");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("results");
        QTest::addColumn<QString>("ports");
        QTest::newRow("open, send, close") << "good" << true << "o s c" << "0 0 _" << "1 1 0";
        QTest::newRow("open twice") << "good" << true << "o o s c" << "0 -1 0 _" << "1 1 1 0";
        QTest::newRow("send after close") << "good" << true << "o c s" << "0 _ 1" << "1 0 0";
        QTest::newRow("reopen") << "good" << true << "o c o s c" << "0 _ 0 0 _" << "1 0 1 1 0";
        QTest::newRow("destroyed while open") << "good" << true << "o s" << "0 0" << "1 1";
        QTest::newRow("send never opened") << "good" << true << "s c" << "1 _" << "0 0";
        QTest::newRow("missing bank") << "missing" << true << "o s" << "1 1" << "0 0";
        QTest::newRow("corrupt bank") << "corrupt" << true << "o s" << "41 1" << "0 0";
        QTest::newRow("no path") << "" << true << "o" << "1" << "0";
        QTest::newRow("no audio device") << "good" << false << "o s" << "3 1" << "0 0";
    }
    void stateTable()
    {
        QFETCH(QString, bank);
        QFETCH(bool, device);
        QFETCH(QString, steps);
        QFETCH(QString, results);
        QFETCH(QString, ports);
        Output out(device ? fakeDevices() : std::vector<AudioDeviceEntry>{});
        out.wrapper->setSoundFont(bankFile(bank).toStdString());
        const QStringList s = steps.split(' '), r = results.split(' '), p = ports.split(' ');
        for (int i = 0; i < s.size(); ++i) {
            QString got = QStringLiteral("_");
            if (s[i] == QLatin1String("o"))
                got = QString::number(out.wrapper->openPort(7));
            else if (s[i] == QLatin1String("s"))
                got = QString::number(out.send("90 3C 64"));
            else
                out.wrapper->closePort();
            QCOMPARE(got, r[i]);
            QCOMPARE(BassSynthMidiExpander::numPorts, p[i].toInt());
            QCOMPARE(SoftSynth::openFontFiles(), 0);
        }
    }

    void musicVolumeThroughTheOutputLayer()
    {
        // As the sound engine binds it: the synthesizer on output 1, opened
        // as index 1000, which resets it; the music volume arrives as a
        // Master Volume that the output layer scales to at most 88.
        Output out;
        out.wrapper->setSoundFont(soundBank().toStdString());
        Sound::MidiInterface mi;
        mi.config_GS_RESET(1);
        mi.initMidiOutPortsSound({out.wrapper.get()});
        QVERIFY(mi.openMidiBaseOutPorts(1000, -1, -1, -1, -1, -1));
        const auto full = bytes("F0 7F 7F 04 01 00 7F F7");
        CINTERFACE_SendMidiEvent1(full.data(), int(full.size()));
        const auto note = bytes("90 3C 64");
        CINTERFACE_SendMidiEvent1(note.data(), int(note.size()));
        const double loud = rms(renderMs(out.sink, 200));
        const auto quiet = bytes("F0 7F 7F 04 01 00 3F F7");
        CINTERFACE_SendMidiEvent1(quiet.data(), int(quiet.size()));
        const double soft = rms(renderMs(out.sink, 200));
        QVERIFY(loud > 1e-3);
        QVERIFY2(soft < loud * 0.6, qPrintable(QStringLiteral("%1 %2").arg(soft).arg(loud)));
        mi.closeMidiBaseOutPorts();
    }

    void burstsAndStalls_data()
    {
        QTest::addColumn<QList<int>>("bursts"); // buffers per burst, in turn
        QTest::addColumn<double>("stallMs");
        QTest::newRow("four buffers at a time") << QList<int>{4} << 0.0;
        QTest::newRow("one to eight buffers") << QList<int>{1, 8, 3, 6, 2, 5} << 0.0;
        QTest::newRow("a 3 s stall") << QList<int>{2} << 3000.0;
    }
    // Every hit keeps its place and level under a device that asks in
    // bursts. After a stall the hits that came due meanwhile are left out,
    // not played at once, the controller sent meanwhile holds, the beat goes
    // on (eased back by at most 5 %) and no note is left sounding.
    void burstsAndStalls()
    {
        QFETCH(QList<int>, bursts);
        QFETCH(double, stallMs);
        const std::vector<float> offline = offlineRender();
        const std::vector<Hit> want = onsets(offline);
        QCOMPARE(int(want.size()), kNotes);
        int voices = -1;
        size_t stallFrame = SIZE_MAX;
        const std::vector<float> live = liveRender(bursts, noteMs(10) + 400, stallMs, &stallFrame, &voices);
        QVERIFY2(peak(live) <= peak(offline) * 1.1f,
                 qPrintable(QStringLiteral("peak %1 against %2").arg(peak(live)).arg(peak(offline))));
        const std::vector<Hit> before = onsets(live, 0, stallFrame);
        const std::vector<Hit> after = stallMs > 0 ? onsets(live, stallFrame) : std::vector<Hit>();
        const int lost = kNotes - int(before.size() + after.size());
        QVERIFY2(lost >= 0 && lost <= int(std::ceil(stallMs / kBeatMs)), qPrintable(QString::number(lost)));
        const long shift = long(before[0].frame) - long(want[0].frame);
        auto check = [&](const Hit &got, size_t w, long off, long bound) {
            QVERIFY2(std::labs(off) <= bound, qPrintable(QStringLiteral("hit %1: %2 frames off").arg(w).arg(off)));
            // Chorus and reverb run on from another moment: a few per cent.
            QVERIFY2(std::fabs(got.peak / want[w].peak - 1) < 0.1,
                     qPrintable(QStringLiteral("hit %1: level %2 against %3").arg(w).arg(got.peak).arg(want[w].peak)));
        };
        for (size_t i = 0; i < before.size(); ++i)
            check(before[i], i, long(before[i].frame) - long(want[i].frame) - shift, 64);
        // After the stall, the last hits of the render, a beat apart.
        const long easing = long(kBeatMs * kRate / 1000 * 0.05) + 64;
        for (size_t i = 1, w0 = size_t(kNotes) - after.size(); i < after.size(); ++i) {
            const long beat = long(after[i].frame - after[i - 1].frame) - long(want[w0 + i].frame - want[w0 + i - 1].frame);
            check(after[i], w0 + i, beat, easing);
        }
        QCOMPARE(voices, 0);
    }

    // A device that holds a queue, whose writer is held up longer than the
    // queue bridges: it runs dry, and what it plays next comes that much
    // later. No hit is lost, the beat eases back (at most 5 %) onto its grid
    // within a second, and the
    // message time the synthesizer says is heard is the one heard, at every
    // hit, before and after the drop-out.
    void queueRunsDry()
    {
        const std::vector<float> offline = offlineRender();
        const std::vector<Hit> want = onsets(offline);
        const double holdAt = noteMs(10) + 200, hold = 80;
        double lostMs = 0;
        uint64_t stalls = 0;
        QueuedDevice d;
        {
            QueuedRig q(2048); // 46 ms
            QVERIFY(q.started);
            d = q.render(noteMs(kNotes) + 500, holdAt, hold);
            lostMs = q.rig.synth->lostMs();
            stalls = q.rig.synth->stalls();
        }

        QCOMPARE(stalls, uint64_t(1));
        const double dryMs = d.dryFrames * 1000.0 / kRate;
        QVERIFY2(dryMs > 20 && std::fabs(lostMs - dryMs) <= 2,
                 qPrintable(QStringLiteral("%1 ms lost, %2 ms dry").arg(lostMs).arg(dryMs)));
        const std::vector<Hit> got = onsets(d.heard);
        QCOMPARE(int(got.size()), kNotes);
        const long shift = long(got[0].frame) - long(want[0].frame);
        const long easing = long(kBeatMs * kRate / 1000 * 0.05) + 64;
        for (int i = 0; i < kNotes; ++i) {
            const double at = got[i].frame * 1000.0 / kRate;
            if (at < holdAt || at > holdAt + hold + 1000) {
                // On the grid, and back on it within a second of the drop-out.
                const long off = long(got[i].frame) - long(want[i].frame) - shift;
                QVERIFY2(std::labs(off) <= 64, qPrintable(QStringLiteral("hit %1: %2 frames off").arg(i).arg(off)));
            } else {
                const long beat = long(got[i].frame - got[i - 1].frame) - long(want[i].frame - want[i - 1].frame);
                QVERIFY2(std::labs(beat) <= easing + (got[i - 1].frame * 1000.0 / kRate < holdAt ? long(lostMs * kRate / 1000) : 0),
                         qPrintable(QStringLiteral("hit %1: beat %2 frames off").arg(i).arg(beat)));
            }
            // Heard: the hit's own time, as the offline render has it.
            const double expected = want[i].frame * 1000.0 / kRate;
            const double said = d.heardMs[size_t(at)];
            QVERIFY2(std::fabs(said - expected) <= 3,
                     qPrintable(QStringLiteral("hit %1 heard at %2 ms of the song, said %3").arg(i).arg(expected).arg(said)));
        }
    }

    // A writer held up again and again, each time for less than the queue
    // bridges (a busy machine without real-time scheduling): the device
    // never runs dry, so no hit may leave its place, however seldom the
    // requests come in time.
    void heldWriterKeepsTheGrid_data()
    {
        QTest::addColumn<double>("holdMs");
        QTest::addColumn<double>("everyMs");
        QTest::newRow("30 ms of every 50") << 30.0 << 50.0;
        QTest::newRow("60 ms of every 100") << 60.0 << 100.0;
        QTest::newRow("70 ms of every 600") << 70.0 << 600.0;
    }
    void heldWriterKeepsTheGrid()
    {
        QFETCH(double, holdMs);
        QFETCH(double, everyMs);
        const std::vector<Hit> want = onsets(offlineRender());
        QueuedDevice d;
        uint64_t stalls = 0, late = 0;
        {
            QueuedRig q(4410); // 100 ms
            QVERIFY(q.started);
            d = q.render(noteMs(kNotes) + 500, noteMs(3), holdMs, everyMs);
            stalls = q.rig.synth->stalls();
            late = q.rig.synth->lateEvents();
        }
        QCOMPARE(d.dryFrames, size_t(0));
        QCOMPARE(stalls, uint64_t(0));
        QCOMPARE(late, uint64_t(0));
        const std::vector<Hit> got = onsets(d.heard);
        QCOMPARE(int(got.size()), kNotes);
        const long shift = long(got[0].frame) - long(want[0].frame);
        for (int i = 0; i < kNotes; ++i) {
            const long off = long(got[i].frame) - long(want[i].frame) - shift;
            QVERIFY2(std::labs(off) <= 64, qPrintable(QStringLiteral("hit %1: %2 frames off").arg(i).arg(off)));
        }
    }

    // Drop-outs again and again: each time what was lost is what ran dry
    // (within the test clock's millisecond), nothing when the device skipped
    // what came late, and within a second of each the hits are back on
    // their grid, neither late nor early beyond the 3 ms the latency lets a
    // device stray before it follows.
    void dropOutsKeepTheGrid_data()
    {
        QTest::addColumn<unsigned>("queue");
        QTest::addColumn<double>("holdMs");
        QTest::addColumn<double>("everyMs");
        QTest::addColumn<bool>("skips");
        QTest::newRow("80 ms of every 2.5 s, 46 ms queue") << 2048u << 80.0 << 2500.0 << false;
        QTest::newRow("90 ms of every 1.3 s, 70 ms queue") << 3087u << 90.0 << 1300.0 << false;
        QTest::newRow("120 ms of every 1.7 s, 70 ms queue") << 3087u << 120.0 << 1700.0 << false;
        QTest::newRow("80 ms of every 2.5 s, skipping") << 2048u << 80.0 << 2500.0 << true;
        QTest::newRow("120 ms of every 2.5 s, skipping") << 3087u << 120.0 << 2500.0 << true;
        QTest::newRow("120 ms of every 1.7 s, skipping") << 3087u << 120.0 << 1700.0 << true;
        QTest::newRow("200 ms of every 3 s, skipping") << 3087u << 200.0 << 3000.0 << true;
    }
    void dropOutsKeepTheGrid()
    {
        QFETCH(unsigned, queue);
        QFETCH(double, holdMs);
        QFETCH(double, everyMs);
        QFETCH(bool, skips);
        const std::vector<Hit> want = onsets(offlineRender());
        QueuedDevice d;
        double lostMs = 0;
        uint64_t stalls = 0;
        {
            QueuedRig q(queue);
            QVERIFY(q.started);
            d = q.render(noteMs(kNotes) + 500, noteMs(2) + 100, holdMs, everyMs, skips);
            lostMs = q.rig.synth->lostMs();
            stalls = q.rig.synth->stalls();
        }
        // A device that skips loses nothing, but for what the last drop-out
        // seemed to lose, when the song ended before the device showed it.
        const double dryMs = d.dryFrames * 1000.0 / kRate;
        QVERIFY(d.dryFrames > 0);
        QVERIFY2(skips ? lostMs < holdMs : std::fabs(lostMs - dryMs) <= 2 * double(stalls),
                 qPrintable(QStringLiteral("%1 ms lost, %2 ms dry, %3 drop-outs").arg(lostMs).arg(dryMs).arg(stalls)));
        const std::vector<Hit> got = onsets(d.heard);
        const long shift = long(got[0].frame) - long(want[0].frame);
        const double holdAt = noteMs(2) + 100;
        for (size_t i = 0; i < got.size(); ++i) {
            const double at = got[i].frame * 1000.0 / kRate;
            const double since = std::fmod(at - holdAt, everyMs);
            if (at > holdAt && since < holdMs + 1000)
                continue;
            size_t w = 0;
            while (w + 1 < want.size() && std::labs(long(want[w + 1].frame) + shift - long(got[i].frame)) <
                                             std::labs(long(want[w].frame) + shift - long(got[i].frame)))
                ++w;
            const long off = long(got[i].frame) - long(want[w].frame) - shift;
            QVERIFY2(std::labs(off) <= long(3 * kRate / 1000) + 64,
                     qPrintable(QStringLiteral("hit %1 at %2 ms: %3 frames off").arg(w).arg(at).arg(off)));
        }
    }

    // Without real-time scheduling the device is asked for a queue that
    // bridges a busy machine; when the audio thread comes later than it
    // bridges before the first note, fitQueue opens the stream again with
    // one that does, and no deeper, and the latency settles anew. A thread
    // on time that the queue bridges with room to spare gets a shorter one.
    void queueFitsTheAudioThread_data()
    {
        QTest::addColumn<double>("lateMs");
        QTest::addColumn<double>("fromMs");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<bool>("grows");
        // Lateness its 100 ms queue bridges costs nothing; a drop-out while
        // the song plays calls for a deeper queue, one before it (the
        // program starting) does not.
        QTest::newRow("on time: shorter") << 0.0 << 2300.0 << true << false;
        QTest::newRow("30 ms late every half second: shorter") << 30.0 << 2300.0 << true << false;
        QTest::newRow("90 ms late every half second") << 90.0 << 2300.0 << false << false;
        QTest::newRow("130 ms late every half second: drop-outs") << 130.0 << 2300.0 << true << true;
        QTest::newRow("drop-outs before the song") << 130.0 << 300.0 << false << false;
    }
    void queueFitsTheAudioThread()
    {
        QFETCH(double, lateMs);
        QFETCH(double, fromMs);
        QFETCH(bool, fits);
        QFETCH(bool, grows);
        QueuedRig q(4410); // 100 ms
        Rig &rig = q.rig;
        QVERIFY(q.started);
        QCOMPARE(rig.sink->bridgeAsked(), SoftSynth::kNormalBridgeMs);
        q.render(fromMs + 1600, fromMs, lateMs, 500); // four times, every half second
        QVERIFY(rig.synth->settled());
        QCOMPARE(rig.synth->stalls() > 0, lateMs > 100);
        const double late = rig.synth->requestLateMs();
        QCOMPARE(rig.synth->fitQueue(), fits);
        QCOMPARE(rig.sink->opens(), fits ? 2 : 1);
        if (grows) {
            QVERIFY2(late >= lateMs - 2, qPrintable(QString::number(late)));
            // Deep enough to have bridged it, and no deeper: it delays
            // every button.
            QVERIFY2(rig.sink->bridgeAsked() >= std::min(late + 20, SoftSynth::kMaxBridgeMs),
                     qPrintable(QString::number(rig.sink->bridgeAsked())));
            QVERIFY2(rig.sink->bridgeAsked() <= late + 20 + rig.synth->swingMs() + 1,
                     qPrintable(QString::number(rig.sink->bridgeAsked())));
        } else if (fits) {
            QVERIFY2(rig.sink->bridgeAsked() < 100, qPrintable(QString::number(rig.sink->bridgeAsked())));
        }
        if (fits)
            QVERIFY(!rig.synth->settled());
    }

    // A queue deeper than the machine needs (one that grew after a
    // drop-out) shrinks once the device has played calmly for a while, and
    // the latency settles anew, a delay the user hears at every button.
    void queueShrinksWhenCalm()
    {
        QueuedRig q(17640); // 400 ms
        Rig &rig = q.rig;
        QVERIFY(q.started);
        q.render(2000 + SoftSynth::kCalmMs, 0, 0);
        QVERIFY(rig.synth->settled());
        QVERIFY(rig.synth->normalPriorityCostMs() > 0);
        QCOMPARE(rig.synth->stalls(), uint64_t(0));
        QVERIFY(rig.synth->fitQueue());
        QCOMPARE(rig.sink->opens(), 2);
        QVERIFY2(rig.sink->bridgeAsked() >= SoftSynth::kNormalBridgeMs && rig.sink->bridgeAsked() < 200,
                 qPrintable(QString::number(rig.sink->bridgeAsked())));
        QVERIFY(!rig.synth->settled());
    }

    // One late moment (the audio thread held up 90 ms once, which its
    // grown queue of 120 ms bridged) keeps the queue as it is at the next
    // judgement; the device then plays calmly, and at the judgement after
    // that the queue shrinks: calm is what came since, not the stream's
    // whole life.
    void queueShrinksAfterALateMoment()
    {
        QueuedRig q(5292); // 120 ms
        Rig &rig = q.rig;
        QVERIFY(q.started);
        q.render(2300 + SoftSynth::kCalmMs, 2300, 90);
        QCOMPARE(rig.synth->stalls(), uint64_t(0));
        QVERIFY(!rig.synth->fitQueue());
        QCOMPARE(rig.sink->opens(), 1);
        q.render(q.clock.ms + SoftSynth::kCalmMs + 500, 0, 0);
        QVERIFY(rig.synth->fitQueue());
        QCOMPARE(rig.sink->opens(), 2);
        QVERIFY2(rig.sink->bridgeAsked() < 100, qPrintable(QString::number(rig.sink->bridgeAsked())));
    }

    // After drop-outs while a song plays (the audio callback held up for
    // 130 ms every half second) the queue grows before the next song, no
    // further than commands may wait; the device then plays calmly on
    // what it grew to, and within 5 s of calm the queue the next song
    // gets is the usual one again.
    void queueComesBackAfterDropOuts()
    {
        QueuedRig q(4410); // 100 ms
        Rig &rig = q.rig;
        QVERIFY(q.started);
        q.render(3900, 2300, 130, 500);
        QVERIFY(rig.synth->stalls() > 0);
        QVERIFY(rig.synth->fitQueue());
        const double grown = rig.sink->bridgeAsked();
        QVERIFY2(grown > SoftSynth::kNormalBridgeMs && grown <= SoftSynth::kMaxBridgeMs, qPrintable(QString::number(grown)));
        // The device bridges what it was asked for.
        q.queue = unsigned(grown * kRate / 1000);
        rig.sink->setLatencyFrames(q.queue);
        const double calmFrom = q.clock.ms;
        while (rig.sink->bridgeAsked() != SoftSynth::kNormalBridgeMs && q.clock.ms < calmFrom + 5000) {
            q.render(q.clock.ms + 250, 0, 0);
            rig.synth->fitQueue();
        }
        QCOMPARE(rig.sink->bridgeAsked(), SoftSynth::kNormalBridgeMs);
        QCOMPARE(rig.synth->stalls(), uint64_t(0));
    }

    // A sequencer later than the room the latency left for it (here the
    // song's first notes sent again a second late) is logged as one run of
    // late events, and makes the latency settle
    // anew before the next song, once, on the stream as it is: a new one
    // would cut what still sounds.
    void lateEventsSettleAnew()
    {
        QueuedRig q(2205); // the usual 50 ms
        Rig &rig = q.rig;
        QVERIFY(q.started);
        q.render(3000, 0, 0);
        QVERIFY(!rig.synth->fitQueue());
        QCOMPARE(rig.synth->lateRuns(), uint64_t(0));
        q.render(3500, 0, 0);
        QVERIFY(rig.synth->lateEvents() > 0);
        // Heard (the notes left out), though the device played on: logged.
        QVERIFY(rig.synth->lateRuns() > 0);
        QVERIFY(rig.synth->fitQueue());
        QCOMPARE(rig.sink->opens(), 1);
        QVERIFY(!rig.synth->settled());
        q.render(6000, 0, 0);
        QVERIFY(rig.synth->settled());
        QVERIFY(!rig.synth->fitQueue());
    }

    // On a device that asks in bursts, a held chord cut by All Sound Off on
    // every channel (a stop), by one channel's (the others play on) or by a
    // GS reset (a new song): the sound fades, no sample steps further than
    // the chord's own, the cut is done within two fades of its place, and
    // the notes after it sound.
    void cutsFadeOnTheDevice_data()
    {
        QTest::addColumn<QByteArray>("cut");
        QTest::addColumn<bool>("others");
        QByteArray stop;
        for (int c = 0; c < 16; ++c)
            stop += QStringLiteral("B%1 7B 00 B%1 78 00 B%1 40 00 ").arg(c, 0, 16).toLatin1();
        QTest::newRow("stop") << stop << false;
        QTest::newRow("one channel") << QByteArray("B0 78 00") << true;
        QTest::newRow("GS reset") << QByteArray("F0 41 10 42 12 40 00 7F 00 41 F7") << false;
    }
    void cutsFadeOnTheDevice()
    {
        QFETCH(QByteArray, cut);
        QFETCH(bool, others);
        TestClock clock;
        RealTime::setClock(&TestClock::read, &clock);
        auto rig = std::make_unique<Rig>(true);
        QVERIFY(rig->start());
        constexpr double kCutMs = 2400, kAfterMs = 2700;
        const std::vector<std::pair<double, QByteArray>> song = {
            {2000, "C0 49 90 45 7F 90 48 7F C1 49 91 40 7F"}, // flutes: smooth waves
            {kCutMs, cut},
            {kAfterMs, "90 48 7F"}};
        std::vector<float> out;
        std::vector<float> buffer(2 * kBuffer);
        size_t next = 0;
        int voicesAfterCut = -1;
        for (; clock.ms < 3000; clock.ms += 1) {
            if (clock.ms == kAfterMs - 1)
                voicesAfterCut = rig->synth->activeVoices();
            for (; next < song.size() && song[next].first <= clock.ms; ++next) {
                const RealTime::MessageTime at(song[next].first);
                rig->send(song[next].second.constData());
            }
            while (out.size() / 2 < clock.ms * kRate / 1000 + 2 * kBuffer) {
                rig->sink->pull(buffer.data(), kBuffer);
                out.insert(out.end(), buffer.begin(), buffer.end());
            }
        }
        const uint64_t faded = rig->synth->fadedCuts();
        rig.reset();
        RealTime::setClock(nullptr, nullptr);
        // Where the chord starts out of silence stands its time.
        const auto start = std::find_if(out.begin(), out.end(), [](float v) { return std::fabs(v) > 1e-5f; });
        QVERIFY(start != out.end());
        const double first = double(start - out.begin()) / 2;
        auto frame = [&](double ms) { return size_t(first + (ms - 2000) * kRate / 1000); };
        auto part = [&](double from, double to) {
            return std::vector<float>(out.begin() + 2 * long(frame(from)), out.begin() + 2 * long(frame(to)));
        };
        auto stepOf = [](const std::vector<float> &s) { return bend(s); };
        const double own = stepOf(part(2100, kCutMs - 5));
        const double level = rms(part(2300, kCutMs - 5));
        QVERIFY(level > 0.01);
        const double step = stepOf(part(kCutMs - 20, kCutMs + 40));
        QVERIFY2(step <= own, qPrintable(QStringLiteral("%1 at the cut, %2 the chord's own").arg(step).arg(own)));
        // A stop or a new song is heard as one: nothing of the chord, nor
        // of the reverb and chorus it fed, from two fades after the cut until
        // the next note (below -60 dBFS); a cut of one channel leaves the
        // others playing.
        const double left = rms(part(kCutMs + 2 * SoftSynth::kCutFadeMs + 2, kCutMs + 60));
        const float tail = peak(part(kCutMs + 2 * SoftSynth::kCutFadeMs + 2, kAfterMs - 5));
        if (others)
            QVERIFY2(left > level / 4, qPrintable(QStringLiteral("%1 of %2 plays on").arg(left).arg(level)));
        else
            QVERIFY2(tail < 0.001f, qPrintable(QStringLiteral("a tail of %1 after the cut").arg(tail)));
        // The next note rises from silence, without a step of its own.
        const double rise = stepOf(part(kAfterMs - 20, kAfterMs + 40));
        QVERIFY2(rise <= own, qPrintable(QStringLiteral("%1 at the next note, %2 the chord's own").arg(rise).arg(own)));
        QVERIFY2(others ? voicesAfterCut > 0 : voicesAfterCut == 0, qPrintable(QString::number(voicesAfterCut)));
        QVERIFY(rms(part(kAfterMs + 20, kAfterMs + 200)) > 0.01);
        QCOMPARE(faded, uint64_t(1));
    }

    // A stop (every channel cut at one moment, as the window's Stop,
    // Pause and key buttons send it) is heard as soon as the device's queue
    // allows, not a whole latency later; a note the sequencer sent just
    // before it, due after it, never sounds.
    void stopHeardWithinTheQueue()
    {
        TestClock clock;
        RealTime::setClock(&TestClock::read, &clock);
        auto rig = std::make_unique<Rig>(true);
        rig->sink->setLatencyFrames(2205); // 50 ms
        QVERIFY(rig->start());
        QByteArray stop;
        for (int c = 0; c < 16; ++c)
            stop += QStringLiteral("B%1 7B 00 B%1 78 00 B%1 40 00 ").arg(c, 0, 16).toLatin1();
        constexpr double kStopMs = 2500;
        std::vector<float> handed, buffer(2 * kBuffer), heard;
        size_t played = 0;
        double latencyMs = 0;
        for (; clock.ms < 3000; clock.ms += 1) {
            if (clock.ms == 2000) {
                const RealTime::MessageTime at(2000);
                rig->send("C0 49 90 45 7F 90 48 7F");
            }
            if (clock.ms == kStopMs - 10) {
                latencyMs = rig->synth->latencyFrames() * 1000.0 / kRate;
                const RealTime::MessageTime at(kStopMs - 10);
                rig->send("90 4C 7F");
            }
            if (clock.ms == kStopMs)
                rig->send(stop.constData());
            while (handed.size() / 2 - played <= 2205) {
                rig->sink->pull(buffer.data(), kBuffer);
                handed.insert(handed.end(), buffer.begin(), buffer.end());
            }
            for (const size_t end = size_t(clock.ms * kRate / 1000); played < end; ++played)
                heard.push_back(handed[2 * played]);
        }
        rig.reset();
        RealTime::setClock(nullptr, nullptr);
        QVERIFY2(latencyMs > 80, qPrintable(QString::number(latencyMs)));
        auto level = [&](double from, double to) {
            float p = 0;
            for (size_t f = size_t(from * kRate / 1000); f < size_t(to * kRate / 1000); ++f)
                p = std::max(p, std::fabs(heard[f]));
            return p;
        };
        QVERIFY(level(kStopMs - 100, kStopMs) > 0.01f);
        // The queue, a buffer, the fade to the end of a block.
        const double silentAt = kStopMs + 50 + kBuffer * 1000.0 / kRate + 2 * SoftSynth::kCutFadeMs + 3;
        QVERIFY2(silentAt < kStopMs + latencyMs, "sooner than the latency");
        QVERIFY2(level(silentAt, 3000) < 1e-6f,
                 qPrintable(QStringLiteral("%1 after %2 ms").arg(level(silentAt, 3000)).arg(silentAt - kStopMs)));
    }

    // A key change, sent at once, ends a held organ chord and strikes it a
    // fifth up: the old pitch is gone within FluidSynth's shortest release
    // of the buffer the change lands in, not in the organ's own long
    // release (heard as the old key for tens of milliseconds), without a
    // step. The chord the song itself ends a little later keeps the
    // organ's release: the quick one was the channel's for the change
    // alone, however many of its notes the change ended.
    void keyChangeEndsTheOldPitchAtOnce()
    {
        TestClock clock;
        RealTime::setClock(&TestClock::read, &clock);
        auto rig = std::make_unique<Rig>(true);
        QVERIFY(rig->start());
        constexpr double kKeyMs = 2400, kEndMs = 2700;
        std::vector<float> out, buffer(2 * kBuffer);
        size_t keyFrame = 0, endFrame = 0;
        for (; clock.ms < 3000; clock.ms += 1) {
            if (clock.ms == 2000) {
                const RealTime::MessageTime at(2000);
                // Drawbar organ, C5; the effects off: only the notes themselves count.
                rig->send("F0 41 10 42 12 40 01 33 00 0C F7 F0 41 10 42 12 40 01 3A 00 05 F7 C0 10 90 48 7F 90 3C 7F");
            }
            if (clock.ms == kKeyMs) {
                const RealTime::MessageTime at(kKeyMs, true);
                rig->send("80 48 00 90 4F 7F 80 3C 00 90 43 7F");
                keyFrame = out.size() / 2; // applies at the next buffer
            }
            if (clock.ms == kEndMs) {
                const RealTime::MessageTime at(kEndMs);
                rig->send("80 4F 00 80 43 00");
            }
            while (out.size() / 2 < clock.ms * kRate / 1000 + 2 * kBuffer) {
                rig->sink->pull(buffer.data(), kBuffer);
                out.insert(out.end(), buffer.begin(), buffer.end());
            }
            if (clock.ms == kEndMs)
                endFrame = out.size() / 2 - 2 * kBuffer; // at the earliest
        }
        rig.reset();
        RealTime::setClock(nullptr, nullptr);
        // The level at one pitch over 20 ms from a frame (Hann window).
        auto at = [&](size_t from, double hz) {
            const size_t n = kRate / 50;
            double re = 0, im = 0;
            for (size_t i = 0; i < n && from + i < out.size() / 2; ++i) {
                const double w = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n - 1));
                const double ph = 2 * M_PI * hz * double(i) / kRate;
                re += w * out[2 * (from + i)] * std::cos(ph);
                im += w * out[2 * (from + i)] * std::sin(ph);
            }
            return std::hypot(re, im);
        };
        const size_t ms = kRate / 1000;
        const double c5 = 523.25, g5 = 783.99;
        const double before = at(keyFrame - 60 * ms, c5);
        QVERIFY(before > 1.0);
        const double old = at(keyFrame + 10 * ms, c5);
        QVERIFY2(old < before / 8, qPrintable(QStringLiteral("the old pitch at %1 of its level 10-30 ms after").arg(old / before)));
        QVERIFY(at(keyFrame + 10 * ms, g5) > before / 2);
        // At most the two notes' own together, crossing over.
        const double own = bend(out, 2 * (keyFrame - 200 * ms), 2 * (keyFrame - 20 * ms))
                           + bend(out, 2 * (keyFrame + 60 * ms), 2 * (keyFrame + 250 * ms));
        const double step = bend(out, 2 * (keyFrame - 5 * ms), 2 * (keyFrame + 40 * ms));
        QVERIFY2(step <= own, qPrintable(QStringLiteral("%1 at the change, %2 the notes' own").arg(step).arg(own)));
        // The song's own note-off: its release is the organ's again.
        // (from its last moment at full level to -40 dB).
        const double held = at(endFrame - 60 * ms, g5);
        size_t falls = 0, gone = 0;
        for (size_t f = endFrame; f + 20 * ms < out.size() / 2 && !gone; f += 2 * ms) {
            const double level = at(f, g5);
            if (!falls && level < held * 0.9)
                falls = f;
            if (falls && level < held / 100)
                gone = f;
        }
        QVERIFY(gone > 0);
        QVERIFY2(gone - falls > 40 * ms, qPrintable(QStringLiteral("released in %1 ms").arg((gone - falls) / ms)));
    }

    // The music volume to 0 for two seconds and back: FluidSynth ends a
    // voice that falls below its noise floor, so a held note must come back
    // with the volume, and neither change may step.
    void volumeZeroKeepsHeldNotes()
    {
        Rig rig;
        QVERIFY(rig.start());
        rig.send("C0 49 90 45 7F 90 48 7F"); // flutes: smooth waves, held
        const auto before = rig.render(300);
        const int voices = rig.synth->activeVoices();
        QVERIFY(voices > 0);
        rig.send("F0 7F 7F 04 01 00 00 F7");
        const auto down = rig.render(2000);
        rig.send("F0 7F 7F 04 01 00 7F F7");
        const auto back = rig.render(300);
        QCOMPARE(rig.synth->activeVoices(), voices);
        const size_t fade = kRate * size_t(SoftSynth::kCutFadeMs) / 1000 * 2 + 2;
        QVERIFY2(peak(std::vector<float>(down.begin() + long(fade), down.end())) < 1e-6f, "silent at volume 0");
        const double level = rms(before, before.size() / 2);
        QVERIFY2(rms(back, back.size() / 2) > level * 0.8,
                 qPrintable(QStringLiteral("%1 back, %2 before").arg(rms(back, back.size() / 2)).arg(level)));
        // Neither turn bends the waveform more than the flutes' own.
        const double own = bend(before, before.size() / 2);
        QVERIFY2(bend(down, 0, fade) <= own, qPrintable(QStringLiteral("%1 %2").arg(bend(down, 0, fade)).arg(own)));
        QVERIFY2(bend(back, 0, fade) <= own, qPrintable(QStringLiteral("%1 %2").arg(bend(back, 0, fade)).arg(own)));
    }

    // A song change and a change of the device's queue on a device that
    // asks on its own thread, as a sound server does: the stop sent just
    // before still applies and fades, the stream opens again only once the
    // output is silent, and the next note rises from silence; then the
    // device goes away (a device change, the program's end) while a note
    // sounds: it fades first. What the device was handed never steps
    // further than the flutes' own waveform.
    void streamChangesFadeFirst()
    {
        auto rig = std::make_unique<Rig>(true);
        rig->sink->setLatencyFrames(2205); // a queue of 50 ms
        QVERIFY(rig->start());
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        auto sinceMs = [&] { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); };
        std::atomic<bool> quit{false};
        std::vector<float> handed;
        handed.reserve(size_t(kRate) * 2 * 8);
        // The device plays at its rate and asks whenever its queue has room;
        // once, a second in, its thread is held up for 100 ms. A stream
        // opened again starts 15 ms late: silence is heard meanwhile.
        std::thread device([&] {
            std::vector<float> buffer(2 * kBuffer);
            int opens = rig->sink->opens();
            while (!quit.load()) {
                if (rig->sink->opens() != opens) {
                    opens = rig->sink->opens();
                    handed.insert(handed.end(), size_t(kRate) * 15 / 1000 * 2, 0.0f);
                }
                const double ms = sinceMs();
                const double played = ms * kRate / 1000;
                const bool held = ms >= 1000 && ms < 1100;
                while (!held && double(handed.size() / 2) - played <= 2205 && handed.size() + buffer.size() <= handed.capacity()) {
                    rig->sink->pull(buffer.data(), kBuffer);
                    handed.insert(handed.end(), buffer.begin(), buffer.end());
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        auto until = [&](double ms) {
            while (sinceMs() < ms)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        until(300);
        rig->send("C0 49 90 45 7F 90 48 7F"); // flutes: smooth waves
        until(1800);
        QByteArray stop;
        for (int c = 0; c < 16; ++c)
            stop += QStringLiteral("B%1 7B 00 B%1 78 00 B%1 40 00 ").arg(c, 0, 16).toLatin1();
        rig->send(stop.constData());
        const bool refitted = rig->synth->fitQueue();
        until(2600);
        rig->send("90 48 64");
        until(3400);
        rig->synth->stop();
        until(3600);
        quit.store(true);
        device.join();
        QVERIFY2(refitted, "the late request asks for a deeper queue");
        QCOMPARE(rig->sink->opens(), 2);
        QVERIFY(rig->sink->bridgeAsked() > SoftSynth::kNormalBridgeMs);
        // The flutes from their start, the silence after the stop, the next
        // note and its end.
        const std::vector<float> &played = handed;
        std::vector<float> left;
        for (size_t i = 0; i < handed.size(); i += 2)
            left.push_back(handed[i]);
        const auto loud = [](float v) { return std::fabs(v) > 1e-4f; };
        const size_t first = size_t(std::find_if(left.begin(), left.end(), loud) - left.begin());
        QVERIFY(first < left.size());
        // The first tenth of a second of silence after it.
        size_t silentFrom = left.size(), run = 0;
        for (size_t i = first; i < left.size() && silentFrom == left.size(); ++i) {
            run = std::fabs(left[i]) < 1e-5f ? run + 1 : 0;
            if (run == kRate / 10)
                silentFrom = i + 1 - run;
        }
        const size_t next = size_t(std::find_if(left.begin() + long(silentFrom), left.end(), loud) - left.begin());
        QVERIFY2(next < left.size(), "the note after the change sounds");
        auto stepOf = [&](size_t from, size_t to) { return bend(played, 2 * from, 2 * to); };
        // The stop was sent 1.5 s after the chord, heard as late as it.
        const size_t settle = kRate / 20, stopped = first + kRate * 14 / 10;
        // Their vibrato swells: a tenth more is still theirs; a cut is
        // several times as much.
        const double own = stepOf(first + kRate / 2, stopped) * 1.1;
        QVERIFY(own > 0);
        QVERIFY2(stepOf(stopped, next) <= own,
                 qPrintable(QStringLiteral("%1 at the song change, %2 the flutes' own").arg(stepOf(stopped, next)).arg(own)));
        QVERIFY2(stepOf(next + settle, left.size()) <= own,
                 qPrintable(QStringLiteral("%1 at the device's end, %2 the flutes' own").arg(stepOf(next + settle, left.size())).arg(own)));
    }

    void putsBankWhereTheProgramLooks()
    {
        QTemporaryDir home;
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
        const QString oldOrg = QCoreApplication::organizationName();
        const QString oldApp = QCoreApplication::applicationName();
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        QCoreApplication::setOrganizationName(QString());
        QCoreApplication::setApplicationName(QStringLiteral("VelmarPC"));
        const QString target =
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
            QStringLiteral("/Basic.sfc");
        const QString script = QStringLiteral(VELMAR_SOURCE_DIR "/scripts/install-soundbank.sh");

        const int first = TestUtil::runProgram(QStringLiteral("/bin/bash"), {script});
        const QByteArray installed = TestUtil::readFile(target);
        TestUtil::writeFile(target, "the user's own bank");
        const int second = TestUtil::runProgram(QStringLiteral("/bin/bash"), {script});
        const QByteArray kept = TestUtil::readFile(target);

        qputenv("XDG_DATA_HOME", oldData);
        QCoreApplication::setOrganizationName(oldOrg);
        QCoreApplication::setApplicationName(oldApp);

        QVERIFY(target.startsWith(home.path()));
        QCOMPARE(first, 0);
        QVERIFY(installed == TestUtil::readFile(SynthTest::soundBank()));
        QCOMPARE(second, 0);
        QCOMPARE(kept, QByteArray("the user's own bank"));
    }
};

VELMAR_TEST(TestSynth)
#include "tst_synth.moc"
