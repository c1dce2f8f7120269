// The synthesizer under a device that asks for audio in bursts: each note
// still sounds at its own time (a constant delay later), none lost or
// doubled, all at the same level, against the offline render of the same
// notes.
#include "RealTime.h"
#include "SoftSynth.h"
#include "synthtestutil.h"
#include "testutil.h"

#include <QtTest>
#include <algorithm>
#include <cmath>

using namespace SynthTest;

namespace {

constexpr unsigned kRate = 44100;
constexpr unsigned kBuffer = 256;
constexpr int kNotes = 24;
constexpr double kBeatMs = 60000.0 / 97; // 618.556... ms
constexpr double kFirstMs = 500;
const unsigned char kWoodBlock[] = {0x99, 76, 100};

double noteMs(int i)
{
    return kFirstMs + i * kBeatMs;
}

std::unique_ptr<SoftSynth> startSynth(OfflineAudioSink **sink, bool scheduled)
{
    auto owned = std::make_unique<OfflineAudioSink>(kRate);
    owned->setScheduled(scheduled);
    *sink = owned.get();
    auto synth = std::make_unique<SoftSynth>(std::move(owned));
    auto *file = new QFile(soundBank());
    int error = 0;
    if (synth->start(-1) != SOFTSYNTH_OK || !file->open(QIODevice::ReadOnly) || synth->loadFont(file, &error) <= 0)
        return nullptr;
    return synth;
}

// Left channel; the song's length plus a tail.
size_t totalFrames()
{
    return size_t((noteMs(kNotes) + 500) * kRate / 1000);
}

// Offline: pulls up to each note's exact frame, then sends it.
std::vector<float> offlineRender()
{
    OfflineAudioSink *sink = nullptr;
    auto synth = startSynth(&sink, false);
    std::vector<float> out(totalFrames() * 2);
    size_t done = 0;
    for (int i = 0; i <= kNotes; ++i) {
        const size_t to = i < kNotes ? size_t(noteMs(i) * kRate / 1000) : totalFrames();
        sink->pull(out.data() + 2 * done, unsigned(to - done));
        done = to;
        if (i < kNotes)
            synth->streamEvents(kWoodBlock, 3);
    }
    return out;
}

struct TestClock {
    double ms = 0;
    static double read(void *self) { return static_cast<TestClock *>(self)->ms; }
};

// A device that, whenever what it has runs out, asks for `bursts[k]` buffers
// back to back and then nothing until they have played; notes are sent in
// the millisecond their time falls in, stamped with their exact time.
std::vector<float> burstRender(const QList<int> &bursts)
{
    TestClock clock;
    RealTime::setClock(&TestClock::read, &clock);
    OfflineAudioSink *sink = nullptr;
    auto synth = startSynth(&sink, true);
    std::vector<float> out(totalFrames() * 2 + 64 * kBuffer * 2);
    size_t pulled = 0;
    int next = 0;
    int k = 0;
    while (pulled < totalFrames()) {
        clock.ms += 1;
        for (; next < kNotes && noteMs(next) <= clock.ms; ++next) {
            const RealTime::MessageTime at(noteMs(next));
            synth->streamEvents(kWoodBlock, 3);
        }
        const unsigned want = unsigned(bursts[k % bursts.size()]) * kBuffer;
        if (clock.ms * kRate / 1000 >= double(pulled)) {
            for (unsigned b = 0; b < want; b += kBuffer, pulled += kBuffer)
                sink->pull(out.data() + 2 * pulled, kBuffer);
            ++k;
        }
    }
    synth.reset();
    RealTime::setClock(nullptr, nullptr);
    return out;
}

struct Hit {
    size_t frame;
    float peak;
};

// First sample above a threshold after at least 300 ms of quiet, and the
// peak of the next 30 ms.
std::vector<Hit> onsets(const std::vector<float> &s)
{
    std::vector<Hit> hits;
    const size_t frames = s.size() / 2;
    size_t quietUntil = 0;
    for (size_t f = 0; f < frames; ++f) {
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

} // namespace

class TestSynthTiming : public QObject
{
    Q_OBJECT
private slots:
    void burstsKeepEveryHitInPlace_data()
    {
        QTest::addColumn<QList<int>>("bursts"); // buffers per burst, in turn
        QTest::newRow("four buffers at a time") << QList<int>{4};
        QTest::newRow("one to eight buffers") << QList<int>{1, 8, 3, 6, 2, 5};
    }
    void burstsKeepEveryHitInPlace()
    {
        QFETCH(QList<int>, bursts);
        const std::vector<Hit> want = onsets(offlineRender());
        QCOMPARE(int(want.size()), kNotes);
        const std::vector<Hit> got = onsets(burstRender(bursts));
        QCOMPARE(int(got.size()), kNotes);
        const long shift = long(got[0].frame) - long(want[0].frame);
        for (int i = 0; i < kNotes; ++i) {
            const long off = long(got[size_t(i)].frame) - long(want[size_t(i)].frame) - shift;
            QVERIFY2(std::labs(off) <= 64, qPrintable(QStringLiteral("hit %1: %2 frames off").arg(i).arg(off)));
            // Chorus and reverb run on from another moment: a few per cent.
            QVERIFY2(std::fabs(got[size_t(i)].peak / want[size_t(i)].peak - 1) < 0.1,
                     qPrintable(QStringLiteral("hit %1: level %2 against %3")
                                    .arg(i).arg(got[size_t(i)].peak).arg(want[size_t(i)].peak)));
        }
    }
};

VELMAR_TEST(TestSynthTiming)
#include "tst_synthtiming.moc"
