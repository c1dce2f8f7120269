// The one RtAudio stream of the synthesizer and the song player, on a sound
// server of the test's own that goes and comes back as a desktop's does.
#include "RtAudioStream.h"
#include "testutil.h"

#include <RtAudio.h>

#include <QtTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

struct Counting {
    std::atomic<uint64_t> renders{0};
    double phase = 0;
    static int render(void *out, unsigned frames, void *user)
    {
        auto *self = static_cast<Counting *>(user);
        auto *samples = static_cast<int16_t *>(out);
        for (unsigned f = 0; f < frames; ++f) {
            samples[2 * f] = samples[2 * f + 1] = int16_t(8000 * std::sin(self->phase));
            self->phase += 2 * M_PI * 440 / 48000;
        }
        ++self->renders;
        return 0;
    }
};

// RtAudio's name of the first device that plays in stereo.
std::string stereoDevice()
{
    const auto library = RtAudioStream::lockLibrary();
    RtAudio audio;
    for (unsigned i = 0; i < audio.getDeviceCount(); ++i) {
        if (audio.getDeviceInfo(i).outputChannels >= 2)
            return audio.getDeviceInfo(i).name;
    }
    return std::string();
}

// Waits (10 s at most) for `more` renders.
bool rendersOn(const Counting &counting, uint64_t more)
{
    const uint64_t until = counting.renders.load() + more;
    return QTest::qWaitFor([&] { return counting.renders.load() >= until; }, 10000);
}

// The streams' lines about a server that does not answer and answers again
// (a keeper's thread may write them).
std::atomic<int> g_noAnswer{0};
std::atomic<int> g_answersAgain{0};
std::atomic<double> g_answersAfterS{0};
void countServerLines(QtMsgType, const QMessageLogContext &, const QString &text)
{
    static const QRegularExpression again(QStringLiteral("answers again after ([0-9.]+) s"));
    if (text.contains(QLatin1String("does not answer"))) {
        ++g_noAnswer;
    } else if (const QRegularExpressionMatch m = again.match(text); m.hasMatch()) {
        ++g_answersAgain;
        g_answersAfterS = m.captured(1).toDouble();
    }
}

// The streams the test's server plays (PulseAudio's sink inputs).
int streamsOnServer()
{
    QByteArray out;
    if (TestUtil::runProgram("pactl", {"list", "short", "sink-inputs"}, &out) != 0)
        return -1;
    return int(out.count('\n'));
}

} // namespace

class TestRtAudioStream : public QObject
{
    Q_OBJECT
private slots:
    // A stop returns at once when the device no longer pulls (a suspended
    // sink). Stopped (SIGTERM) and killed (SIGKILL) under a playing stream, the
    // server takes nothing any more: the stream says it is lost and renders
    // on at the device's pace (no spin: a second holds no more renders than
    // the device would ask for), a stop holds the render at once, and once
    // a new server is up, a new stream plays on it. Closed, nothing renders.
    void livesThroughTheServer()
    {
        TestUtil::SoundServer server;
        if (!server.start())
            QSKIP("no PulseAudio server of the test's own");
        const std::string device = stereoDevice();
        QVERIFY(!device.empty());
        Counting counting;
        RtAudioStream stream;
        RtAudioStream::Format format;
        format.rate = 48000;
        format.frames = 256;
        stream.open(device, format, &Counting::render, &counting, "test stream");
        QVERIFY(stream.start());
        const auto rendersOn = [&counting](uint64_t more) {
            const uint64_t until = counting.renders.load() + more;
            return QTest::qWaitFor([&] { return counting.renders.load() >= until; }, 10000);
        };
        QVERIFY(rendersOn(50));
        // On the output named, there, it plays on the stream it opened: a new
        // one would be heard as a gap.
        const unsigned opened = stream.generation();
        QTest::qWait(2500);
        QCOMPARE(stream.generation(), opened);
        // A second of the device asks for 188 buffers (fewer on a busy
        // machine); a spinning thread for hundreds of thousands.
        const auto paced = [&counting] {
            const uint64_t from = counting.renders.load();
            QTest::qWait(1000);
            return counting.renders.load() - from;
        };
        // The sink suspended: the device pulls no more, and a stop still
        // comes back at once, after which nothing renders.
        QCOMPARE(TestUtil::runProgram("pactl", {"suspend-sink", "test", "1"}), 0);
        QTest::qWait(300);
        QElapsedTimer stopping;
        stopping.start();
        stream.stop(false);
        QVERIFY2(stopping.elapsed() < 1000, qPrintable(QString::number(stopping.elapsed())));
        const uint64_t held = counting.renders.load();
        QCOMPARE(TestUtil::runProgram("pactl", {"suspend-sink", "test", "0"}), 0);
        QTest::qWait(300);
        QCOMPARE(counting.renders.load(), held);
        QVERIFY(stream.start());
        QVERIFY(rendersOn(50));
        for (const bool kill : {false, true}) {
            server.stop(kill);
            QVERIFY(QTest::qWaitFor([&] { return stream.lost(); }, 5000));
            QVERIFY(rendersOn(20));
            const uint64_t gone = paced();
            QVERIFY2(gone > 10 && gone < 400, qPrintable(QString::number(gone)));
            stream.stop(false);
            const uint64_t stopped = counting.renders.load();
            QTest::qWait(200);
            QCOMPARE(counting.renders.load(), stopped);
            QVERIFY(stream.start());
            QVERIFY(rendersOn(20));
            const unsigned generation = stream.generation();
            QVERIFY(server.start());
            QVERIFY(QTest::qWaitFor([&] { return !stream.lost() && stream.generation() == generation + 1; }, 5000));
            QVERIFY(rendersOn(50));
            const uint64_t back = paced();
            QVERIFY2(back > 10 && back < 400, qPrintable(QString::number(back)));
        }
        stream.close();
        const uint64_t closed = counting.renders.load();
        QTest::qWait(200);
        QCOMPARE(counting.renders.load(), closed);
    }

    // The stream's keeper opens it whatever kept it from being open: no
    // server at the start (a program started before it), a new queue asked
    // for while the server is away. Meanwhile start() says true and the
    // render goes on at the device's pace (no more, no less); once a server
    // is up the stream plays on it, one stream only; a new queue swaps a new
    // stream in. Stopped, isRunning() says false and nothing renders.
    void opensWhateverKeptItClosed()
    {
        TestUtil::SoundServer server;
        if (!server.start())
            QSKIP("no PulseAudio server of the test's own");
        server.stop(true);
        Counting counting;
        RtAudioStream stream;
        RtAudioStream::Format format;
        format.rate = 48000;
        format.frames = 256;
        stream.open(std::string(), format, &Counting::render, &counting, "test stream");
        QVERIFY(stream.isOpen());
        QVERIFY(QTest::qWaitFor([&] { return stream.lost(); }, 5000));
        QVERIFY(stream.start());
        QVERIFY(stream.isRunning());
        const auto rendersOn = [&counting](uint64_t more) {
            const uint64_t until = counting.renders.load() + more;
            return QTest::qWaitFor([&] { return counting.renders.load() >= until; }, 10000);
        };
        const auto paced = [&counting] {
            const uint64_t from = counting.renders.load();
            QTest::qWait(1000);
            return counting.renders.load() - from;
        };
        QVERIFY(rendersOn(20));
        const uint64_t away = paced();
        QVERIFY2(away > 10 && away < 400, qPrintable(QString::number(away)));
        QVERIFY(server.start());
        QVERIFY(QTest::qWaitFor([&] { return !stream.lost() && stream.generation() == 1; }, 5000));
        QVERIFY(QTest::qWaitFor([] { return streamsOnServer() == 1; }, 5000));
        QVERIFY(rendersOn(50));

        // A new queue: a new stream in the old one's place.
        stream.reshape(16);
        QVERIFY(QTest::qWaitFor([&] { return !stream.pending(); }, 5000));
        QCOMPARE(stream.buffers(), 16u);
        QCOMPARE(stream.generation(), 2u);
        QVERIFY(stream.isRunning());
        QVERIFY(rendersOn(50));
        QVERIFY(QTest::qWaitFor([] { return streamsOnServer() == 1; }, 5000));

        // Asked for while the server is away: the stream that opens once it
        // is back has it.
        server.stop(false);
        QVERIFY(QTest::qWaitFor([&] { return stream.lost(); }, 5000));
        stream.reshape(4);
        QVERIFY(rendersOn(20));
        QVERIFY(server.start());
        QVERIFY(QTest::qWaitFor([&] { return !stream.lost() && stream.generation() == 3; }, 5000));
        QCOMPARE(stream.buffers(), 4u);
        QVERIFY(rendersOn(50));
        const uint64_t back = paced();
        QVERIFY2(back > 10 && back < 400, qPrintable(QString::number(back)));

        stream.stop(false);
        QVERIFY(!stream.isRunning());
        const uint64_t stopped = counting.renders.load();
        QTest::qWait(200);
        QCOMPARE(counting.renders.load(), stopped);
        QVERIFY(stream.start());
        QVERIFY(stream.isRunning());
        QVERIFY(rendersOn(20));
    }

    // A stream opened in the place of a lost one (an output chosen while
    // the server hangs, or is away) is lost from its first moment until a
    // server takes it: nothing says the sound is back before it is, and a
    // hang is said once and its end once. Once the server answers, it
    // plays. One opened while the server answers is never lost.
    void opensLostInTheLostOnesPlace()
    {
        TestUtil::SoundServer server;
        if (!server.start())
            QSKIP("no PulseAudio server of the test's own");
        const std::string device = stereoDevice();
        QVERIFY(!device.empty());
        Counting counting;
        RtAudioStream stream;
        const auto openAgain = [&] {
            stream.close();
            RtAudioStream::Format format;
            format.rate = 48000;
            stream.open(device, format, &Counting::render, &counting, "test stream");
            return stream.start();
        };
        const auto lostThroughout = [&stream](bool lost, int ms) {
            QElapsedTimer waited;
            waited.start();
            while (waited.elapsed() < ms) {
                if (stream.lost() != lost)
                    return false;
                QTest::qWait(2);
            }
            return true;
        };
        QVERIFY(openAgain());
        QVERIFY(lostThroughout(false, 300));
        QVERIFY(rendersOn(counting, 50));
        for (const bool hangs : {true, false}) {
            g_noAnswer = g_answersAgain = 0;
            const QtMessageHandler testLog = qInstallMessageHandler(countServerLines);
            if (hangs)
                server.hold(true);
            else
                server.stop(false);
            QVERIFY(QTest::qWaitFor([&] { return stream.lost(); }, 5000));
            QVERIFY(openAgain());
            QVERIFY(lostThroughout(true, 2500));
            if (hangs)
                server.hold(false);
            else
                QVERIFY(server.start());
            QVERIFY(QTest::qWaitFor([&] { return !stream.lost(); }, 5000));
            QTest::qWait(200);
            qInstallMessageHandler(testLog);
            QCOMPARE(g_noAnswer.load(), hangs ? 1 : 0);
            QCOMPARE(g_answersAgain.load(), hangs ? 1 : 0);
            // The whole hang, from before the new stream.
            if (hangs)
                QVERIFY2(g_answersAfterS.load() >= 2.5 && g_answersAfterS.load() < 30,
                         qPrintable(QString::number(g_answersAfterS.load())));
            QVERIFY(rendersOn(counting, 50));
        }
    }
};

VELMAR_TEST(TestRtAudioStream)
#include "tst_rtaudiostream.moc"
