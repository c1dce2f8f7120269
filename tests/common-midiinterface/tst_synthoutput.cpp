#include "MidiBassOutWrapper.h"
#include "MidiInterface.h"
#include "cinterface.h"
#include "synthtestutil.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace SynthTest;

namespace {

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

} // namespace

class TestSynthOutput : public QObject
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
    void cleanup() { QCOMPARE(BassSynthMidiExpander::numPorts, 0); }

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
        out.wrapper->closePort();
    }

    void playsWhatItIsSent()
    {
        Output out;
        out.wrapper->setSoundFont(soundBank().toStdString());
        QCOMPARE(out.wrapper->openPort(1000), 0);
        QVERIFY(rms(renderMs(out.sink, 50)) < 1e-6);
        QCOMPARE(out.send("F0 7E 7F 09 01 F7"), 0);
        QCOMPARE(out.send("F0 7F 7F 04 01 00 58 F7"), 0);
        QCOMPARE(out.send("90 3C 64 40 64"), 0);
        QVERIFY(rms(renderMs(out.sink, 200)) > 1e-3);
        QCOMPARE(out.wrapper->expander()->synth()->gain(),
                 float(SoftSynth::kFullGain * (88 << 7) / 16383.0));
        out.wrapper->closePort();
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
        QCOMPARE(out.wrapper->expander()->synth()->gain(),
                 float(SoftSynth::kFullGain * (88 << 7) / 16383.0));
        const auto note = bytes("90 3C 64");
        CINTERFACE_SendMidiEvent1(note.data(), int(note.size()));
        const double loud = rms(renderMs(out.sink, 200));
        const auto quiet = bytes("F0 7F 7F 04 01 00 3F F7");
        CINTERFACE_SendMidiEvent1(quiet.data(), int(quiet.size()));
        const double soft = rms(renderMs(out.sink, 200));
        QVERIFY(loud > 1e-3);
        QVERIFY2(soft < loud * 0.6, qPrintable(QStringLiteral("%1 %2").arg(soft).arg(loud)));
        mi.closeMidiBaseOutPorts();
        QCOMPARE(BassSynthMidiExpander::numPorts, 0);
        // A second open while running fails and unbinds output 1.
        QVERIFY(mi.openMidiBaseOutPorts(1000, -1, -1, -1, -1, -1));
        MidiBassOutWrapper other(std::make_unique<OfflineAudioSink>());
        other.setSoundFont(soundBank().toStdString());
        QCOMPARE(other.openPort(1000), -1);
        mi.closeMidiBaseOutPorts();
    }

    void destroyedWhileOpen()
    {
        {
            Output out;
            out.wrapper->setSoundFont(soundBank().toStdString());
            QCOMPARE(out.wrapper->openPort(0), 0);
        }
        QCOMPARE(BassSynthMidiExpander::numPorts, 0);
    }

    void replacingTheBank()
    {
        Output out;
        out.wrapper->setSoundFont(soundBank().toStdString());
        QCOMPARE(out.wrapper->openPort(0), 0);
        BassSynthMidiExpander *e = out.wrapper->expander();
        QCOMPARE(e->loadSoundFont(bankFile(QStringLiteral("missing"))), 1);
        QCOMPARE(e->loadSoundFont(bankFile(QStringLiteral("corrupt"))), SOFTSYNTH_ERROR_FILEFORM);
        QCOMPARE(e->loadSoundFont(soundBank()), 0);
        QCOMPARE(SoftSynth::openFontFiles(), 0);
        QCOMPARE(out.send("C0 00 90 3C 64"), 0);
        QVERIFY(rms(renderMs(out.sink, 200)) > 1e-3);
        QCOMPARE(e->freeSoundFont(), 1);
        out.wrapper->closePort();
    }
};

VELMAR_TEST(TestSynthOutput)
#include "tst_synthoutput.moc"
