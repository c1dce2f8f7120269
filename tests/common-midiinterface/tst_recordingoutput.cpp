#include "RecordingMidiOutput.h"
#include "testutil.h"

#include <QtTest>

using Bytes = std::vector<unsigned char>;

class TestRecordingOutput : public QObject
{
    Q_OBJECT
private slots:
    void keepsMessagesWithTimes()
    {
        RecordingMidiOutput out;
        double now = 10.0;
        out.setClock([&now] { return now; });
        QCOMPARE(out.openPort(3), 0);
        QVERIFY(out.isOpen());
        QCOMPARE(out.lastOpenedPort(), 3);
        const Bytes a{0x90, 0x3C, 0x64};
        const Bytes b{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
        QCOMPARE(out.sendMessage(&a), 0);
        now = 12.5;
        QCOMPARE(out.sendMessage(&b), 0);
        const auto msgs = out.messages();
        QCOMPARE(msgs.size(), size_t(2));
        QCOMPARE(msgs[0].bytes, a);
        QCOMPARE(msgs[0].timeMs, 10.0);
        QCOMPARE(msgs[1].bytes, b);
        QCOMPARE(msgs[1].timeMs, 12.5);
        out.closePort();
        QVERIFY(!out.isOpen());
        QCOMPARE(out.closeCount(), 1);
    }
    void defaultClockIsMonotonic()
    {
        RecordingMidiOutput out;
        const Bytes a{0xC0, 0x05};
        for (int i = 0; i < 50; ++i)
            out.sendMessage(&a);
        const auto msgs = out.messages();
        for (size_t i = 1; i < msgs.size(); ++i)
            QVERIFY(msgs[i].timeMs >= msgs[i - 1].timeMs);
        QVERIFY(msgs.front().timeMs > 0);
    }
    void failuresOnDemand()
    {
        RecordingMidiOutput out;
        out.setOpenResult(7);
        QCOMPARE(out.openPort(0), 7);
        QVERIFY(!out.isOpen());
        out.setSendResult(1);
        const Bytes a{0xB0, 0x07, 0x64};
        QCOMPARE(out.sendMessage(&a), 1);
        QCOMPARE(out.messageCount(), size_t(0));
        QCOMPARE(out.sendCalls(), 1);
    }
};

VELMAR_TEST(TestRecordingOutput)
#include "tst_recordingoutput.moc"
