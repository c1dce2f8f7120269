// The audio devices on a sound server of the test's own with a stereo and a
// mono output: the synthesizer's list and the song player's show each
// device the same way, by one rule (a stereo output plays, a mono one
// does not).
#include "AudioDevices.h"
#include "AudioSink.h"
#include "SoftSynth.h"
#include "SynthAudioSink.h"
#include "testutil.h"

#include <QtTest>

class TestAudioDevices : public QObject
{
    Q_OBJECT

private slots:
    void oneListOneRule()
    {
        TestUtil::SoundServer server;
        if (!server.start())
            QSKIP("no PulseAudio server of the test's own");
        QCOMPARE(TestUtil::runProgram("pactl", {"load-module", "module-null-sink", "sink_name=mono", "channels=1",
                                                "sink_properties=device.description=MonoOut"}),
                 0);
        const std::vector<AudioDevices::Device> all = AudioDevices::list();
        const auto named = [&](const char *name) {
            const auto d = std::find_if(all.begin(), all.end(), [&](const AudioDevices::Device &d) {
                return QString::fromStdString(d.name).contains(QLatin1String(name));
            });
            return d == all.end() ? nullptr : &*d;
        };
        const AudioDevices::Device *mono = named("MonoOut");
        QVERIFY2(mono, "the mono output is not listed");
        QCOMPARE(mono->outputChannels, 1u);
        QVERIFY(!mono->plays);
        QVERIFY(std::any_of(all.begin(), all.end(), [](const AudioDevices::Device &d) { return d.plays; }));

        // The window's list, made in the background, comes to the same.
        QTRY_COMPARE_WITH_TIMEOUT(AudioDevices::known().devices.size(), all.size(), 10000);
        // The synthesizer's: every device, numbered from 1, those that do
        // not play disabled. The song player's: those that play.
        const std::vector<AudioDeviceEntry> synth = makeRtAudioSink()->devices();
        const std::vector<Sound::AudioSink::Device> player = Sound::makeRtAudioOutput()->devices();
        QCOMPARE(synth.size(), all.size());
        size_t playing = 0;
        for (const AudioDevices::Device &d : all) {
            const QString what = QString::fromStdString(d.name);
            QVERIFY2(synth[d.id].enabled == d.plays, qPrintable(what));
            QVERIFY2(QString::fromStdString(d.name).endsWith(QString::fromStdString(synth[d.id].name)),
                     qPrintable(what));
            const auto shown = std::find_if(player.begin(), player.end(),
                                            [&](const Sound::AudioSink::Device &p) { return p.id == int(d.id); });
            QVERIFY2((shown != player.end()) == d.plays, qPrintable(what));
            if (shown != player.end()) {
                QCOMPARE(shown->name, d.name);
                QCOMPARE_GE(shown->outputChannels, 2u);
                ++playing;
            }
        }
        QCOMPARE(player.size(), playing);

        // A sink that comes later is in the window's next list. The
        // synthesizer opened on it by its name plays at its rate, which the
        // server then has no need to convert.
        QCOMPARE(TestUtil::runProgram("pactl", {"load-module", "module-null-sink", "sink_name=late", "rate=32000",
                                                "sink_properties=device.description=LateOut"}),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(listed("LateOut"), 10000);
        const auto synthOutput = makeRtAudioSink();
        synthOutput->setDeviceName("LateOut");
        const auto quiet = [](float *out, unsigned frames, void *) { std::fill(out, out + 2 * frames, 0.f); };
        QCOMPARE(synthOutput->open(-1, quiet, nullptr), SOFTSYNTH_OK);
        QCOMPARE(synthOutput->sampleRate(), 32000u);
        synthOutput->close();

        // The song player's next song opens with the queue asked for since
        // (grown after a drop-out), not on the stream kept from the one before.
        const auto silence = [](int16_t *out, unsigned frames, void *) {
            std::fill(out, out + 2 * frames, int16_t(0));
            return 0;
        };
        const auto output = Sound::makeRtAudioOutput();
        QVERIFY(output->open(-1, std::string(), 2, 48000, 256, silence, nullptr));
        QVERIFY(output->start());
        QTRY_VERIFY_WITH_TIMEOUT(output->latencyFrames() > 0, 10000);
        const unsigned shallow = output->latencyFrames();
        output->stop();
        output->setQueueBuffers(64);
        QVERIFY(output->open(-1, std::string(), 2, 48000, 256, silence, nullptr));
        QTRY_VERIFY_WITH_TIMEOUT(output->latencyFrames() > shallow, 10000);
        output->close();
    }

private:
    static bool listed(const char *name)
    {
        const std::vector<AudioDevices::Device> known = AudioDevices::known().devices;
        return std::any_of(known.begin(), known.end(), [&](const AudioDevices::Device &d) {
            return QString::fromStdString(d.name).contains(QLatin1String(name));
        });
    }
};

VELMAR_TEST(TestAudioDevices)
#include "tst_audiodevices.moc"
