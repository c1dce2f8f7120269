#include "SoftSynth.h"
#include "synthtestutil.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace SynthTest;

namespace {

struct Rig {
    OfflineAudioSink *sink;
    std::unique_ptr<SoftSynth> synth;

    Rig()
    {
        auto owned = std::make_unique<OfflineAudioSink>(44100);
        sink = owned.get();
        synth = std::make_unique<SoftSynth>(std::move(owned));
    }
    bool start()
    {
        if (synth->start(-1) != SOFTSYNTH_OK)
            return false;
        auto *file = new QFile(soundBank());
        if (!file->open(QIODevice::ReadOnly)) {
            delete file;
            return false;
        }
        int error = 0;
        return synth->loadFont(file, &error) > 0;
    }
    int send(const char *hex)
    {
        const auto b = bytes(hex);
        return synth->streamEvents(b.data(), int(b.size()));
    }
    std::vector<float> render(unsigned ms) { return renderMs(sink, ms); }
};

} // namespace

class TestSoftSynth : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(soundBank()), "install timgm6mb-soundfont");
    }

    void noteOnIsHeard()
    {
        Rig rig;
        QVERIFY(rig.start());
        QVERIFY(rms(rig.render(100)) < 1e-6);
        QCOMPARE(rig.send("90 3C 64"), 1);
        QVERIFY(rms(rig.render(300)) > 1e-3);
        QCOMPARE(rig.send("80 3C 00"), 1);
    }

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
        QTest::newRow("CC73 slows the attack")
            << QByteArray("C0 51 B0 49 40") << QByteArray("C0 51 B0 49 7F") << "onset" << 0.5;
        QTest::newRow("CC72 lengthens the release")
            << QByteArray("C0 51 B0 48 40") << QByteArray("C0 51 B0 48 7F") << "tail" << 2.0;
        // Nylon guitar: its decay is in the volume envelope, not the sample.
        QTest::newRow("CC75 lengthens the decay")
            << QByteArray("C0 18 B0 4B 40") << QByteArray("C0 18 B0 4B 7F") << "late" << 1.5;
        QTest::newRow("GS reverb level, device 00, no checksum")
            << QByteArray("B0 5B 7F F0 41 00 42 12 40 01 33 00 00 F7")
            << QByteArray("B0 5B 7F F0 41 00 42 12 40 01 33 7F 00 F7") << "tail" << 4.0;
        QTest::newRow("GS reverb macro room to hall")
            << QByteArray("B0 5B 7F F0 41 00 42 12 40 01 30 00 00 F7")
            << QByteArray("B0 5B 7F F0 41 00 42 12 40 01 30 04 00 F7") << "tail" << 1.5;
        // A reset puts a GS module back at its default effects (reverb level
        // 64), whatever was set before.
        QTest::newRow("GS reset restores the reverb level")
            << QByteArray("B0 5B 7F F0 41 00 42 12 40 01 33 00 00 F7")
            << QByteArray("F0 41 00 42 12 40 01 33 00 00 F7 F0 41 10 42 12 40 00 7F 00 41 F7 "
                          "B0 5B 7F")
            << "tail" << 4.0;
        QTest::newRow("GM System On restores the reverb level")
            << QByteArray("B0 5B 7F F0 41 00 42 12 40 01 33 00 00 F7")
            << QByteArray("F0 41 00 42 12 40 01 33 00 00 F7 F0 7E 7F 09 01 F7 B0 5B 7F")
            << "tail" << 4.0;
        QTest::newRow("GS reset restores the chorus level")
            << QByteArray("B0 5D 7F F0 41 00 42 12 40 01 3A 00 00 F7")
            << QByteArray("F0 41 00 42 12 40 01 3A 00 00 F7 F0 41 10 42 12 40 00 7F 00 41 F7 "
                          "B0 5D 7F")
            << "level" << 1.2;
        QTest::newRow("GS chorus level")
            << QByteArray("B0 5D 7F F0 41 00 42 12 40 01 3A 00 00 F7")
            << QByteArray("B0 5D 7F F0 41 00 42 12 40 01 3A 7F 00 F7") << "level" << 1.2;
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
            const auto held = rig.render(measure == QLatin1String("late") ? 1500 : 400);
            rig.send("80 3C 00");
            const auto after = rig.render(400);
            if (measure == QLatin1String("brightness"))
                return brightness(held);
            if (measure == QLatin1String("onset"))
                return rms(std::vector<float>(held.begin(), held.begin() + 2 * 441 * 3));
            if (measure == QLatin1String("late"))
                return rms(held, held.size() * 2 / 3);
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

    void rawParser_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<int>("events");
        QTest::newRow("running status") << QByteArray() << QByteArray("90 3C 64 3E 64") << 2;
        QTest::newRow("status across calls") << QByteArray("90 3C 64") << QByteArray("3E 64") << 1;
        QTest::newRow("no status yet") << QByteArray() << QByteArray("3C 64") << 0;
        QTest::newRow("program") << QByteArray() << QByteArray("C0 05") << 1;
        QTest::newRow("several") << QByteArray() << QByteArray("B0 07 64 C1 10 E0 00 40") << 3;
        QTest::newRow("real-time ignored") << QByteArray() << QByteArray("F8 90 F8 3C FE 64") << 1;
        QTest::newRow("sysex whole") << QByteArray() << QByteArray("F0 7E 7F 09 01 F7") << 1;
        QTest::newRow("sysex then note") << QByteArray() << QByteArray("F0 7E 7F 09 01 F7 90 3C 64") << 2;
        QTest::newRow("unterminated sysex") << QByteArray() << QByteArray("F0 41 10 42") << 0;
        QTest::newRow("broken sysex") << QByteArray() << QByteArray("F0 41 10 90 3C 64") << 1;
        QTest::newRow("sysex ends running status") << QByteArray("90 3C 64") << QByteArray("F0 7E 7F 09 01 F7 3C 64") << 1;
        QTest::newRow("system common") << QByteArray() << QByteArray("F2 10 20 F6") << 0;
        QTest::newRow("half message kept") << QByteArray("90 3C") << QByteArray("64") << 1;
    }
    void rawParser()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, hex);
        QFETCH(int, events);
        Rig rig;
        QVERIFY(rig.start());
        if (!before.isEmpty())
            rig.send(before.constData());
        QCOMPARE(rig.send(hex.constData()), events);
    }

    void stoppedSynthRefuses()
    {
        Rig rig;
        const auto b = bytes("90 3C 64");
        QCOMPARE(rig.synth->streamEvents(b.data(), 3), -1);
        QVERIFY(rig.start());
        QCOMPARE(rig.synth->start(-1), SOFTSYNTH_ERROR_ALREADY);
        rig.synth->stop();
        QVERIFY(!rig.sink->isOpen());
        QCOMPARE(rig.synth->streamEvents(b.data(), 3), -1);
        QVERIFY(rms(rig.render(10)) == 0.0);
    }

    void soundBankFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("loads");
        const QByteArray good = TestUtil::readFile(soundBank());
        QTest::newRow("zeros") << QByteArray(16, '\0') << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("truncated") << good.left(good.size() / 2) << false;
        QTest::newRow("header only") << good.left(12) << false;
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

    void realAudioDeviceNeverThrows()
    {
        // Whatever this machine has: either it plays or it reports a failure.
        SoftSynth synth;
        synth.devices();
        const int result = synth.start(-1);
        QVERIFY(result == SOFTSYNTH_OK || result == SOFTSYNTH_ERROR_DRIVER ||
                result == SOFTSYNTH_ERROR_DEVICE);
        synth.stop();
    }
};

VELMAR_TEST(TestSoftSynth)
#include "tst_softsynth.moc"
