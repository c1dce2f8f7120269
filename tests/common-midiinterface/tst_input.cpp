// The input path: messages from the keyboards decoded into the program's
// signals, ports bound and unbound, and hardware ports that do not exist.
#include "MidiInterface.h"
#include "RecordingMidiOutput.h"
#include "RtMidiInWrapper.h"
#include "RtMidiOutWrapper.h"
#include "testutil.h"

#include <QtTest>

namespace {

class FakeInput : public IMidiInput
{
public:
    explicit FakeInput(bool *deleted = nullptr, int openResult = 0)
        : m_deleted(deleted), m_openResult(openResult)
    {
    }
    ~FakeInput() override
    {
        if (m_deleted)
            *m_deleted = true;
    }
    int openPort(int port) override
    {
        openedPort = port;
        return m_openResult;
    }
    void closePort() override { ++closed; }
    void setCallback(MidiInputCallback cb, void *user) override
    {
        callback = cb;
        userData = user;
    }
    void ignoreTypes(bool s, bool t, bool a) override { ignored = s || t || a; }
    void receive(const QByteArray &hex)
    {
        const QByteArray raw = QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
        std::vector<unsigned char> message(raw.begin(), raw.end());
        callback(0.5, &message, userData);
    }

    MidiInputCallback callback = nullptr;
    void *userData = nullptr;
    int openedPort = -1;
    int closed = 0;
    bool ignored = true;

private:
    bool *m_deleted;
    int m_openResult;
};

// Every signal of the input path as one line, in order.
QStringList *watch(Sound::MidiInterface *mi)
{
    auto *log = new QStringList;
    QObject::connect(mi, &QObject::destroyed, [log] { delete log; });
    QObject::connect(mi, &Sound::MidiInterface::midiInNoteReceived,
                     [log](int c, int v) { *log << QStringLiteral("note %1 %2").arg(c).arg(v); });
    QObject::connect(mi, &Sound::MidiInterface::midiInDataReceived,
                     [log] { *log << QStringLiteral("data"); });
    QObject::connect(mi, &Sound::MidiInterface::midiControlReceived, [log](Qt::Key k) {
        *log << QStringLiteral("key %1").arg(int(k), 0, 16);
    });
    QObject::connect(mi, &Sound::MidiInterface::midiInCtrChgReceived, [log](int c, int t, int v) {
        *log << QStringLiteral("cc %1 %2 %3").arg(c).arg(t).arg(v);
    });
    QObject::connect(mi, &Sound::MidiInterface::midiInPrgChgReceived,
                     [log](int c, int p, int b, bool d) {
                         *log << QStringLiteral("prg %1 %2 %3 %4").arg(c).arg(p).arg(b).arg(d ? "true" : "false");
                     });
    QObject::connect(mi, &Sound::MidiInterface::midiInReverbReceived, [log](int t, int s) {
        *log << QStringLiteral("rev %1 %2").arg(t).arg(s);
    });
    QObject::connect(mi, &Sound::MidiInterface::midiInChorusReceived, [log](int t, int s) {
        *log << QStringLiteral("cho %1 %2").arg(t).arg(s);
    });
    QObject::connect(mi, &Sound::MidiInterface::midiInResetReceived,
                     [log] { *log << QStringLiteral("reset"); });
    QObject::connect(mi, &Sound::MidiInterface::midiInMessageReceived, [log](QByteArray m) {
        *log << QStringLiteral("msg ") + QString::fromLatin1(m.toHex(' ').toUpper());
    });
    QObject::connect(mi, &Sound::MidiInterface::midiInSysExReceived,
                     [log](double, std::vector<unsigned char> *m, void *) {
                         *log << QStringLiteral("sysex %1").arg(m->size());
                     });
    return log;
}

} // namespace

class TestMidiInput : public QObject
{
    Q_OBJECT
private slots:
    // Messages go to the ext input unless marked "base:"; the decoding state
    // is shared and lives on, so each row leaves the note levels at 0.
    void decoding_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("note levels")
            << 0 << QStringList{"90 3C 64", "90 40 64", "80 3C 00", "80 48 00"}
            << QStringList{"note 0 60", "data", "note 0 124", "data", "note 0 64", "data",
                           "note 0 0", "data"};
        QTest::newRow("key controllers")
            << 0 << QStringList{"B0 75 7F", "B0 75 00", "B1 76 01", "B2 77 40"}
            << QStringList{"key 100003a", "cc 0 117 127", "data", "cc 0 117 0", "data",
                           "key 30", "cc 1 118 1", "data", "key 20", "cc 2 119 64", "data"};
        QTest::newRow("program and bank")
            << 0 << QStringList{"B0 00 05", "C0 10", "C9 00"}
            << QStringList{"cc 0 0 5", "data", "prg 0 16 5 false", "data", "prg 9 0 5 true",
                           "data"};
        QTest::newRow("gs reverb and chorus")
            << 0
            << QStringList{"F0 41 10 42 12 40 01 30 04 0B F7", "F0 41 10 42 12 40 01 33 50 3C F7",
                           "F0 41 10 42 12 40 01 38 02 05 F7", "F0 41 10 42 12 40 01 3A 20 05 F7"}
            << QStringList{"data", "rev 4 80", "data", "data", "cho 2 32", "data"};
        QTest::newRow("velocity 0 releases")
            << 0 << QStringList{"91 3C 64", "91 3C 00", "99 24 00"}
            << QStringList{"note 1 60", "data", "note 1 0", "data", "data"};
        QTest::newRow("base mode 0")
            << 0 << QStringList{"base:F0 00 20 24 00 3F 01 F7", "base:F0 00 20 24 00 33 F7", "base:90 3C 64"}
            << QStringList{"sysex 8", "sysex 7"};
        QTest::newRow("base mode 1")
            << 1 << QStringList{"base:90 3C 64", "base:80 3C 00"}
            << QStringList{"note 0 60", "data", "note 0 0", "data"};
        QTest::newRow("ext mode 2")
            << 2 << QStringList{"92 3C 64", "82 3C 00"}
            << QStringList{"note 2 60", "data", "msg 92 3C 64", "note 2 0", "data", "msg 82 3C 00"};
    }
    void decoding()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, expected);
        Sound::MidiInterface mi;
        RecordingMidiOutput live;
        mi.initMidiOutPortsSound({nullptr, nullptr, &live});
        mi.SetMidiInMode(mode);
        auto *base = new FakeInput;
        auto *ext = new FakeInput;
        QVERIFY(mi.OpenMidiBaseInPorts(base, 2));
        QVERIFY(mi.OpenExtMidiBaseInPorts(ext, 3));
        QStringList *log = watch(&mi);
        for (const QString &m : messages) {
            if (m.startsWith(QLatin1String("base:")))
                base->receive(m.mid(5).toLatin1());
            else
                ext->receive(m.toLatin1());
        }
        QCOMPARE(*log, expected);
        // Mode 1 echoes every decoded message to the live output.
        QStringList echoed;
        for (const auto &b : live.messageBytes())
            echoed << QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(b.data()),
                                                     int(b.size())).toHex(' ').toUpper());
        QCOMPARE(echoed, (mode == 1 ? QStringList{"90 3C 64", "80 3C 00"} : QStringList{}));
        QVERIFY(mi.CloseMidiBaseInPorts());
        QVERIFY(mi.CloseExtMidiBaseInPorts());
    }

    void binding()
    {
        Sound::MidiInterface mi;
        QVERIFY(mi.OpenMidiBaseInPorts(nullptr, 0));
        bool deleted = false;
        auto *input = new FakeInput(&deleted);
        QVERIFY(mi.OpenMidiBaseInPorts(input, 4));
        QCOMPARE(input->openedPort, 4);
        QVERIFY(!input->ignored);
        QCOMPARE(input->userData, static_cast<void *>(&mi));
        FakeInput second;
        QVERIFY(!mi.OpenMidiBaseInPorts(&second, 1));
        QCOMPARE(second.openedPort, -1);
        QVERIFY(mi.CloseMidiBaseInPorts());
        QVERIFY(deleted);
        QVERIFY(mi.CloseMidiBaseInPorts());

        // A failed open unbinds without deleting.
        bool failedDeleted = false;
        FakeInput failing(&failedDeleted, 1);
        QVERIFY(!mi.OpenExtMidiBaseInPorts(&failing, 0));
        QVERIFY(!failedDeleted);
        QVERIFY(mi.CloseExtMidiBaseInPorts());
        QVERIFY(!failedDeleted);
        auto *expander = new FakeInput;
        QVERIFY(mi.OpenExpanderMidiBaseInPorts(expander, 0));
        QVERIFY(!mi.OpenExpanderMidiBaseInPorts(expander, 0));
        QStringList *log = watch(&mi);
        expander->receive("F0 7E 7F 09 01 F7");
        QCOMPARE(*log, (QStringList{"reset", "data"}));
        delete expander;
    }

    // On a machine without a MIDI system the clients cannot be created;
    // with one, port 9999 still does not exist. Neither may throw.
    void hardwarePortsWithoutMidiSystem()
    {
        RtMidiOutWrapper output(RtMidi::UNSPECIFIED, "RtMidi Output Client");
        RtMidiInWrapper input(RtMidi::UNSPECIFIED, "RtMidi Input Client", 100);
        if (!output.hasClient()) {
            QVERIFY(RtMidiOutWrapper::availableDevices().empty());
            std::vector<unsigned char> note{0x90, 0x3C, 0x64};
            QCOMPARE(output.sendMessage(&note), 1);
        }
        QCOMPARE(output.openPort(9999), 1);
        QCOMPARE(input.openPort(9999), 1);
        output.closePort();
        input.setCallback(nullptr, nullptr);
        input.closePort();
    }
};

VELMAR_TEST(TestMidiInput)
#include "tst_input.moc"
