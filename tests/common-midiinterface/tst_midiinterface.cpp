#include "cinterface.h"
#include "midi_fixture.h"
#include "testutil.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
QStringList g_log;
void captureLog(QtMsgType, const QMessageLogContext &, const QString &msg)
{
    g_log << msg;
}

struct LogCapture
{
    QtMessageHandler old;
    LogCapture()
    {
        g_log.clear();
        old = qInstallMessageHandler(captureLog);
    }
    ~LogCapture() { qInstallMessageHandler(old); }
};
} // namespace

class TestMidiInterface : public QObject
{
    Q_OBJECT
private slots:
    // Master Volume high byte mm -> (trunc(corr * 38 / 64) + mm * 0.7) & 127.
    void masterVolumeRewrite_data()
    {
        QTest::addColumn<int>("output");
        QTest::addColumn<int>("correction");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<int>("stored"); // last master volume afterwards, -1: unchanged
        QTest::newRow("127 on output 1") << 1 << 0 << "F0 7F 7F 04 01 00 7F F7"
                                         << "F0 7F 7F 04 01 00 58 F7" << 127;
        QTest::newRow("64 on output 1") << 1 << 0 << "F0 7F 7F 04 01 00 40 F7"
                                        << "F0 7F 7F 04 01 00 2C F7" << 64;
        QTest::newRow("correction 64 on output 2") << 2 << 64 << "F0 7F 7F 04 01 00 7F F7"
                                                   << "F0 7F 7F 04 01 00 7E F7" << 127;
        QTest::newRow("correction -10") << 2 << -10 << "F0 7F 7F 04 01 00 7F F7"
                                        << "F0 7F 7F 04 01 00 53 F7" << 127;
        QTest::newRow("correction 100 wraps") << 2 << 100 << "F0 7F 7F 04 01 00 7F F7"
                                              << "F0 7F 7F 04 01 00 13 F7" << 127;
        QTest::newRow("0 stays 0") << 1 << 0 << "F0 7F 7F 04 01 00 00 F7"
                                   << "F0 7F 7F 04 01 00 00 F7" << 0;
        QTest::newRow("output 3 unchanged") << 3 << 64 << "F0 7F 7F 04 01 00 7F F7"
                                            << "F0 7F 7F 04 01 00 7F F7" << -1;
        QTest::newRow("low byte 05 unchanged") << 1 << 0 << "F0 7F 7F 04 01 05 7F F7"
                                               << "F0 7F 7F 04 01 05 7F F7" << -1;
        QTest::newRow("six bytes unchanged") << 1 << 0 << "F0 7F 7F 04 01 00"
                                             << "F0 7F 7F 04 01 00" << -1;
        QTest::newRow("other SysEx unchanged") << 1 << 0 << "F0 7F 7F 04 02 00 7F F7"
                                               << "F0 7F 7F 04 02 00 7F F7" << -1;
    }
    void masterVolumeRewrite()
    {
        QFETCH(int, output);
        QFETCH(int, correction);
        QFETCH(QString, message);
        QFETCH(QString, sent);
        QFETCH(int, stored);
        MidiFixture f;
        f.mi->SetMidiVolumeCorrection(output - 1, correction);
        // A known earlier value tells "not stored" apart.
        Bytes earlier = hexBytes(QStringLiteral("F0 7F 7F 04 01 00 11 F7"));
        if (output <= 2)
            f.mi->sendMidiEventWrapper(output, &earlier);
        f.out[output - 1].clear();

        const Bytes callerBuffer = hexBytes(message);
        const Bytes copy = callerBuffer;
        if (output == 1)
            CINTERFACE_SendMidiEvent1(callerBuffer.data(), int(callerBuffer.size()));
        else if (output == 2)
            CINTERFACE_SendMidiEvent2(callerBuffer.data(), int(callerBuffer.size()));
        else
            CINTERFACE_SendMidiEvent3(callerBuffer.data(), int(callerBuffer.size()));
        QCOMPARE(callerBuffer, copy);
        const auto msgs = f.out[output - 1].messageBytes();
        QCOMPARE(msgs.size(), size_t(1));
        QCOMPARE(hexText(msgs[0]), sent);
        if (output <= 2)
            QCOMPARE(f.mi->GetLastGMVolumeSent(output - 1), stored < 0 ? 0x11 : stored);
    }

    void cutting_data()
    {
        QTest::addColumn<QString>("string");
        QTest::addColumn<QString>("messages");
        QTest::newRow("NRPN") << "B0 63 37 B0 62 07 B0 06 40" << "B0 63 37 | B0 62 07 | B0 06 40";
        QTest::newRow("leading F0 takes all") << "F0 7E 7F 09 01 F7 90 3C 64"
                                              << "F0 7E 7F 09 01 F7 90 3C 64";
        QTest::newRow("running status kept") << "90 3C 64 3E 64" << "90 3C 64 3E 64";
        QTest::newRow("leading data bytes") << "3C 64 90 3E 64" << "3C 64 | 90 3E 64";
        QTest::newRow("SysEx inside a string stays whole")
            << "90 3C 64 F0 41 10 42 12 40 00 7F 00 41 F7 B0 07 64"
            << "90 3C 64 | F0 41 10 42 12 40 00 7F 00 41 F7 | B0 07 64";
        QTest::newRow("unterminated SysEx at the end") << "C0 05 F0 7E 7F" << "C0 05 | F0 7E 7F";
        QTest::newRow("one byte") << "F8" << "F8";
    }
    void cutting()
    {
        QFETCH(QString, string);
        QFETCH(QString, messages);
        const Bytes data = hexBytes(string);
        for (int output = 1; output <= 6; ++output) {
            MidiFixture f;
            using Fn = void (*)(const unsigned char *, int);
            const Fn send[] = {CINTERFACE_SendMidiEvent1, CINTERFACE_SendMidiEvent2,
                               CINTERFACE_SendMidiEvent3, CINTERFACE_SendMidiEvent4,
                               CINTERFACE_SendMidiEvent5, CINTERFACE_SendMidiEvent6};
            send[output - 1](data.data(), int(data.size()));
            QCOMPARE(f.received(), QStringLiteral("%1: %2").arg(output).arg(messages));
        }
        for (int output : {1, 2, 4, 5, 6}) {
            MidiFixture f;
            using Fn = void (*)(const unsigned char *, int);
            Fn queue = output == 1   ? CINTERFACE_QueueMidiEvent1
                       : output == 2 ? CINTERFACE_QueueMidiEvent2
                       : output == 4 ? CINTERFACE_QueueMidiEvent4
                       : output == 5 ? CINTERFACE_QueueMidiEvent5
                                     : CINTERFACE_QueueMidiEvent6;
            queue(data.data(), int(data.size()));
            QCOMPARE(f.received(), QString());
            const int count = int(messages.split(QStringLiteral(" | ")).size());
            QCOMPARE(f.mi->queuedCount(output), count);
            for (int i = 0; i < count; ++i)
                QVERIFY(f.mi->sendFirstQueued(output));
            QVERIFY(!f.mi->sendFirstQueued(output));
            QCOMPARE(f.received(), QStringLiteral("%1: %2").arg(output).arg(messages));
        }
    }

    void nothingForEmptyOrWithoutInterface()
    {
        const Bytes data = hexBytes(QStringLiteral("90 3C 64"));
        {
            MidiFixture f;
            CINTERFACE_SendMidiEvent1(data.data(), 0);
            CINTERFACE_SendMidiEvent2(data.data(), -3);
            CINTERFACE_QueueMidiEvent1(data.data(), 0);
            CINTERFACE_SendMidiString(0, data.data(), 0);
            QCOMPARE(f.mi->queuedCount(1), 0);
            QCOMPARE(f.received(), QString());
            QCOMPARE(f.mi->queuedCount(3), 0);
            QVERIFY(!f.mi->sendFirstQueued(3));
        }
        QVERIFY(MidiInterface_static == nullptr);
        CINTERFACE_SendMidiEvent1(data.data(), 3);
        CINTERFACE_QueueMidiEvent4(data.data(), 3);
        CINTERFACE_SendMidiString(0, data.data(), 3);
        MIDI_CONTROLS_Push_Reset(1);
        sendMidiReverb(1);
    }

    void sendMidiString()
    {
        MidiFixture f;
        QSignalSpy starting(f.mi.get(), &Sound::MidiInterface::sendMidiStringStarting);
        QSignalSpy finished(f.mi.get(), &Sound::MidiInterface::sendMidiStringFinished);
        const Bytes data = hexBytes(QStringLiteral("B1 07 64 C1 05"));
        CINTERFACE_SendMidiString(3, data.data(), int(data.size()));
        QCOMPARE(starting.count(), 1);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(f.received(), QString());
        CINTERFACE_SendMidiString(1, data.data(), int(data.size()));
        CINTERFACE_SendMidiString(2, data.data(), int(data.size()));
        QCOMPARE(starting.count(), 3);
        QCOMPARE(f.received(), QStringLiteral("2: B1 07 64 | C1 05  3: B1 07 64 | C1 05"));
    }

    void binding()
    {
        RecordingMidiOutput a, b, extra[6];
        Sound::MidiInterface mi;
        mi.initMidiOutPortsSound({&a});
        Bytes msg = hexBytes(QStringLiteral("90 3C 64"));
        for (int o = 1; o <= 6; ++o)
            mi.sendMidiEventWrapper(o, &msg);
        QCOMPARE(a.messageCount(), size_t(1));

        QList<IMidiOutput *> seven;
        for (auto &e : extra)
            seven << &e;
        seven << &b;
        QVERIFY(mi.initMidiOutPortsSound(seven));
        for (int o = 1; o <= 6; ++o)
            mi.sendMidiEventWrapper(o, &msg);
        for (auto &e : extra)
            QCOMPARE(e.messageCount(), size_t(1));
        QCOMPARE(b.messageCount(), size_t(0));
        QCOMPARE(a.openCount() + a.closeCount(), 0);
    }

    void unboundOutputDropsSilently()
    {
        MidiFixture f(1);
        f.mi->setDbgPrintLevel(6);
        LogCapture log;
        Bytes msg = hexBytes(QStringLiteral("90 3C 64 3E 64"));
        for (int o = 2; o <= 6; ++o)
            f.mi->sendMidiEventWrapper(o, &msg);
        MIDI_CONTROLS_StopSoundChan(20);
        QCOMPARE(f.received(), QString());
        for (int o = 2; o <= 6; ++o)
            QCOMPARE(f.out[o - 1].sendCalls(), 0);
        QVERIFY2(g_log.isEmpty(), qPrintable(g_log.join('\n')));
    }

    void openOutputs()
    {
        {
            // Six times -1: nothing opened, resets on outputs 1 and 2 only.
            MidiFixture f;
            MIDI_CONTROLS_Config_GS_Reset(1);
            QVERIFY(f.mi->openMidiBaseOutPorts(-1, -1, -1, -1, -1, -1));
            const QString reset = QStringLiteral("F0 7E 7F 09 01 F7 | F0 41 10 42 12 40 00 7F 00 41 F7");
            QCOMPARE(f.received(), QStringLiteral("1: %1  2: %1").arg(reset));
            for (auto &o : f.out)
                QCOMPARE(o.openCount(), 0);
            MIDI_CONTROLS_Config_GS_Reset(0);
        }
        {
            // Output 1 unbound: false at once, no reset anywhere.
            MidiFixture f(0);
            RecordingMidiOutput two;
            f.mi->initMidiOutPortsSound({nullptr, &two});
            QVERIFY(!f.mi->openMidiBaseOutPorts(5, -1, -1, -1, -1, -1));
            QCOMPARE(two.messageCount(), size_t(0));
        }
        {
            // Output 2 fails: it is unbound; output 1 was opened and reset;
            // output 3 is not tried.
            MidiFixture f;
            f.out[1].setOpenResult(3);
            QVERIFY(!f.mi->openMidiBaseOutPorts(1000, 4, 2, -1, -1, -1));
            QVERIFY(f.out[0].isOpen());
            QCOMPARE(f.out[0].lastOpenedPort(), 1000);
            QCOMPARE(f.out[1].openCount(), 1);
            QCOMPARE(f.out[2].openCount(), 0);
            QCOMPARE(f.received(), QStringLiteral("1: F0 7E 7F 09 01 F7"));
            Bytes msg = hexBytes(QStringLiteral("90 3C 64"));
            f.mi->sendMidiEventWrapper2(&msg);
            QCOMPARE(f.out[1].sendCalls(), 0);
        }
        {
            MidiFixture f;
            QVERIFY(f.mi->openMidiBaseOutPorts(0, -1, 7, -1, -1, 1));
            QCOMPARE(f.out[2].lastOpenedPort(), 7);
            QCOMPARE(f.out[5].lastOpenedPort(), 1);
            f.mi->closeMidiBaseOutPorts();
            for (auto &o : f.out)
                QCOMPARE(o.closeCount(), 1);
            // Still bound after closing.
            Bytes msg = hexBytes(QStringLiteral("90 3C 64"));
            f.mi->sendMidiEventWrapper6(&msg);
            QCOMPARE(f.out[5].messageCount(), size_t(1));
        }
    }

    void filtersForEnginePorts()
    {
        MidiFixture f;
        Bytes m = hexBytes(QStringLiteral("F0 7F 7F 04 01 00 64 F7"));
        QCOMPARE(f.mi->MidiFilters(&m, 1), 1);
        QCOMPARE(hexText(m), QStringLiteral("F0 7F 7F 04 01 00 46 F7"));
        QCOMPARE(f.mi->GetLastGMVolumeSent(1), 100);
        Bytes n = hexBytes(QStringLiteral("F0 7F 7F 04 01 00 64 F7"));
        QCOMPARE(f.mi->MidiFilters(&n, 2), 1);
        QCOMPARE(hexText(n), QStringLiteral("F0 7F 7F 04 01 00 64 F7"));
    }

};

VELMAR_TEST(TestMidiInterface)
#include "tst_midiinterface.moc"
