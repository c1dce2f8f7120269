// The song player's two threads, also for the ThreadSanitizer run of
// setup.sh (this class starts no process): the device pulls in bursts on a
// thread of its own while the owning thread changes key, tempo and volume
// over and over, through the short MP3 of the feed fuzzer's corpus.
#include "AudioInterface.h"
#include "testutil.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

using namespace Sound;

class TestAudioThreads : public QObject
{
    Q_OBJECT
private slots:
    // The sound never stops for a change: the callback never waits for one.
    void changesNeverSilenceIt()
    {
        auto *sink = new PullAudioSink();
        AudioInterface audio{std::unique_ptr<AudioSink>(sink)};
        // The device pulls while `pulling`, and notes which blocks were
        // silent; the owning thread starts and stops the stream only while it
        // does not pull.
        std::atomic<bool> pulling{false}, quit{false};
        std::atomic<int> changes{0};
        std::vector<bool> silent;
        std::thread device([&] {
            std::mt19937 rng(7);
            std::vector<int16_t> block(256 * 2);
            for (int bursts = 0; !quit.load(); std::this_thread::yield()) {
                // A few changes come in during each burst.
                while (pulling.load() && changes.load() < 4 * bursts)
                    std::this_thread::yield();
                bursts += pulling.load();
                for (int b = 1 + int(rng() % 8); b > 0 && pulling.load(); --b) {
                    if (!sink->isRunning()) {
                        pulling = false; // the song is over
                        break;
                    }
                    sink->pull(block.data(), 256);
                    silent.push_back(std::all_of(block.begin(), block.end(), [](int16_t v) { return std::abs(v) < 16; }));
                }
            }
        });
        const QString song = QStringLiteral(VELMAR_TEST_SOURCE_DIR "/corpus/fuzz_mp3feed/tiny_cbr.mp3");
        std::vector<long> sounding, gaps; // blocks checked, silent ones, per round
        for (int round = 0; round < 20 || changes.load() < 1000; ++round) {
            silent.clear();
            QVERIFY(audio.loadFile(song));
            QVERIFY(audio.playAudio());
            pulling = true;
            for (int i = 0; pulling.load(); ++i, ++changes) {
                audio.changeKey(float(i % 25 - 12));
                audio.changeBpm(float(i % 150 - 50));
                audio.setVolume(30 + i % 98);
            }
            audio.stopAudio();
            // From 80 ms into the sound (the encoder's silent start stands
            // before the tone, and a change in the first moments after a
            // start may play a few milliseconds twice) to the last 40 ms,
            // where its silent end and the last cross-fade's tail fall.
            const auto first = std::min(std::find(silent.begin(), silent.end(), false) + 16, silent.end());
            const auto last = std::max(first, std::find(silent.rbegin(), silent.rend(), false).base() - 8);
            sounding.push_back(long(last - first));
            gaps.push_back(long(std::count(first, last, true)));
        }
        quit = true;
        device.join();
        // 0.3 s at 48 kHz, at most twice as fast, every time.
        QVERIFY(*std::min_element(sounding.begin(), sounding.end()) >= 4);
        QCOMPARE(gaps, std::vector<long>(gaps.size(), 0));
    }
};

VELMAR_TEST(TestAudioThreads)
#include "tst_audiothreads.moc"
