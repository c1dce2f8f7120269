// The facade on the simulated clock: stop, pause, seek, tempo and key offsets,
// the position thinning, the send-queue draining of one pass, and signals
// raised inside a facade call arriving only after it returned.
#include "MidiInterface.h"
#include "cinterface.h"
#include "loadedsong.h"
#include "sequencer_ex.h"
#include "sequencer_signals.h"
#include "sequencerrig.h"
#include "signalrecorder.h"
#include "streambuilder.h"
#include "testutil.h"

#include <QtTest>

namespace {
// `bars` bars of four quarter notes at 120 BPM; the notes of bar b have key
// 40 + b, so a note tells its bar.
std::vector<uint8_t> barSong(int bars, int usPerQuarter = 0)
{
    StreamBuilder b;
    if (usPerQuarter)
        b.tempo(0, uint32_t(usPerQuarter));
    b.grid(bars);
    for (int bar = 0; bar < bars; ++bar)
        for (int beat = 0; beat < 4; ++beat)
            b.note(uint32_t(bar * 1920 + beat * 480), 240, 0, 40 + bar);
    b.end(uint32_t(bars * 1920));
    return b.build();
}

struct PlayingSong {
    LoadedSong song;
    explicit PlayingSong(SequencerRig &rig, int bars = 8)
    {
        song.setStream(barSong(bars));
        song.setProgram(0, 0);
        rig.seq->preloadMidiFile(&song.sd);
        rig.seq->setPause(false);
    }
};

// The engine's host with a pass of the loop after every use of the advance
// switch, as the loop may take its turn whenever the switch is not held.
class InterleavingHost : public SequencerHost
{
public:
    InterleavingHost(Sequencer &seq) : m_seq(seq), m_inner(SEQUENCER_EX_GetHost()) { SEQUENCER_EX_SetHost(this); }
    ~InterleavingHost() override { SEQUENCER_EX_SetHost(m_inner); }
    int setEnableIntrAdvance(int on) override
    {
        const int previous = m_inner->setEnableIntrAdvance(on);
        m_seq.advance(1);
        return previous;
    }
    int getEnableIntrAdvance() override { return m_inner->getEnableIntrAdvance(); }

private:
    Sequencer &m_seq;
    SequencerHost *m_inner;
};

void processEvents()
{
    QCoreApplication::processEvents();
}

std::vector<double> onsetTimes(const SequencerRig &rig)
{
    std::vector<double> r;
    for (const TimedBytes &m : rig.noteOns(1))
        r.push_back(m.ms);
    return r;
}
} // namespace

class TestSequencerFacade : public QObject
{
    Q_OBJECT
private slots:
    void stopReportsAllSongsStoppedThenPositionZero()
    {
        SequencerRig rig;
        SignalRecorder rec(rig.seq.get());
        PlayingSong playing(rig);
        rig.seq->advance(1300);
        processEvents();
        rec.clear();

        rig.seq->requestStop();
        // Nothing reaches a receiver inside the call.
        QCOMPARE(rec.count("stopAllSongs"), 0);
        processEvents();
        QCOMPARE(rec.sequence({"stopAllSongs", "position"}), (QStringList{"stopAllSongs", "position"}));
        QCOMPARE(rec.values("position"), QVector<int>{0});
        for (const ArrivedSignal &s : rec.all())
            QVERIFY(s.onGuiThread);

        QVERIFY(!SEQUENCER_EX_IsRunning());
        QCOMPARE(rig.seq->GetMidiStreamInPlay()->slotByte, uint8_t(0));
        rig.clear();
        rig.seq->advance(2000);
        QVERIFY(rig.noteOns(1).empty());
    }

    void positionReportsAreThinned()
    {
        SequencerRig rig;
        SignalRecorder rec(rig.seq.get());
        for (int p : {0, 50, 150, 120, 300, 400, 401, 10})
            C_SIGNAL_PlayPositionChanged(p);
        processEvents();
        QCOMPARE(rec.values("position"), (QVector<int>{150, 120, 300, 401, 10}));
    }

    void seekReportsDoneExactlyOnce_data()
    {
        QTest::addColumn<bool>("playing");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("nextKey");   // key of the next note played, 0 none
        QTest::newRow("to the bar in play") << true << 2 << 42;
        QTest::newRow("forward") << true << 5 << 45;
        QTest::newRow("back to the top") << true << 0 << 40;
        QTest::newRow("back to bar 1") << true << 1 << 41;
        QTest::newRow("forward with nothing playing") << false << 5 << 0;
    }
    void seekReportsDoneExactlyOnce()
    {
        QFETCH(bool, playing);
        QFETCH(int, target);
        QFETCH(int, nextKey);
        SequencerRig rig;
        SignalRecorder rec(rig.seq.get());
        std::unique_ptr<PlayingSong> song;
        if (playing) {
            song.reset(new PlayingSong(rig));
            rig.seq->advance(4000 + 250);   // in bar 2, between two notes
        } else {
            rig.seq->requestStop();
        }
        processEvents();
        rec.clear();
        rig.clear();

        rig.seq->seekBar(target);
        rig.seq->advance(3000);
        processEvents();
        QCOMPARE(rec.count("seekDone"), 1);
        if (nextKey) {
            const std::vector<TimedBytes> ons = rig.noteOns(1);
            QVERIFY(!ons.empty());
            QCOMPARE(int(ons[0].bytes[1]), nextKey);
        }
    }

    void tempoOffsetChangesTheBeat()
    {
        SequencerRig rig;
        SignalRecorder rec(rig.seq.get());
        PlayingSong playing(rig);
        rig.seq->advance(1100);
        rig.seq->SetDeltaBpmCurrent(10);
        rig.seq->advance(3000);
        processEvents();
        const std::vector<double> t = onsetTimes(rig);
        QVERIFY(t.size() >= 5);
        QVERIFY2(std::abs((t[4] - t[3]) - 60000.0 / 130.0) < 1.0, qPrintable(QString::number(t[4] - t[3])));
        QVERIFY(rec.values("origBpm").contains(130));
        QVERIFY(rec.values("deltaBpm").contains(10));
        QCOMPARE(rig.seq->GetCurrentBPM(), 130);
        QCOMPARE(rig.seq->GetDbInPlay()->tempoDelta, int16_t(10));
    }

    // After the silence of a global key change no note leaves in the old key:
    // its note-off would come in the new key and never end it.
    void globalTransposeLeavesNoNoteInTheOldKey()
    {
        SequencerRig rig;
        StreamBuilder b;
        b.tempo(0, 500000);
        b.grid(4);
        for (uint32_t t = 0; t < 4 * 1920; t += 8)
            b.note(t, 4, 0, 40 + int(t / 8) % 8);
        b.end(4 * 1920);
        LoadedSong song;
        song.setStream(b.build());
        song.setProgram(0, 0);
        QVERIFY(rig.seq->preloadMidiFile(&song.sd));
        rig.seq->setPause(false);
        rig.seq->advance(500);
        rig.clear();
        {
            InterleavingHost host(*rig.seq);
            rig.seq->setGlobalTranspose(12);
        }
        rig.seq->advance(200);
        bool silenced = false;
        int newKey = 0;
        for (const TimedBytes &m : rig.messages(1)) {
            if (m.bytes[0] == 0xB0 && m.bytes[1] == 0x7B)
                silenced = true;
            if (silenced && m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0) {
                QVERIFY2(m.bytes[1] >= 52, qPrintable(QString::number(m.bytes[1])));
                ++newKey;
            }
        }
        QVERIFY(silenced);
        QVERIFY(newKey > 10);
        rig.seq->setGlobalTranspose(0);
    }

    void pauseFreezesTheSongAndResumeGoesOn()
    {
        SequencerRig rig;
        PlayingSong playing(rig);
        rig.seq->advance(700);
        rig.clear();
        rig.seq->setPause(true);
        QVERIFY(rig.hasMessage(1, {0xB0, 0x7B, 0x00}));
        QVERIFY(rig.hasMessage(1, {0xB0, 0x40, 0x00}));
        rig.seq->advance(5000);
        QVERIFY(rig.noteOns(1).empty());

        const double resumedAt = double(rig.seq->now());
        rig.seq->setPause(false);
        rig.seq->advance(1000);
        const std::vector<double> t = onsetTimes(rig);
        QCOMPARE(int(t.size()), 2);
        // The third note was 300 ms away when the song paused; the clock
        // takes a few passes to start again.
        QVERIFY2(t[0] - resumedAt >= 299 && t[0] - resumedAt < 305, qPrintable(QString::number(t[0] - resumedAt)));
        QCOMPARE(t[1] - t[0], 500.0);
    }

    // One pass sends at most one message from each of the queues of outputs
    // 1, 2 and 4, in order; the queues of outputs 5 and 6 are not drained.
    void onePassDrainsOneMessagePerQueue()
    {
        SequencerRig rig;
        const unsigned char nrpn[] = {0xB0, 0x63, 0x37, 0xB0, 0x62, 0x07, 0xB0, 0x06, 0x40};
        const unsigned char two[] = {0xC1, 0x05};
        const unsigned char four[] = {0x99, 0x38, 0x40};
        CINTERFACE_QueueMidiEvent1(nrpn, 9);
        CINTERFACE_QueueMidiEvent2(two, 2);
        CINTERFACE_QueueMidiEvent4(four, 3);
        CINTERFACE_QueueMidiEvent5(four, 3);
        QCOMPARE(rig.iface.queuedCount(1), 3);

        rig.seq->advance(1);
        QCOMPARE(rig.iface.queuedCount(1), 2);
        QCOMPARE(rig.iface.queuedCount(2), 0);
        QCOMPARE(rig.iface.queuedCount(4), 0);
        QVERIFY(rig.hasMessage(2, {0xC1, 0x05}));
        QVERIFY(rig.hasMessage(4, {0x99, 0x38, 0x40}));

        rig.seq->advance(2);
        QCOMPARE(rig.iface.queuedCount(1), 0);
        const std::vector<TimedBytes> one = rig.messages(1);
        QCOMPARE(int(one.size()), 3);
        QCOMPARE(one[0].bytes, (std::vector<unsigned char>{0xB0, 0x63, 0x37}));
        QCOMPARE(one[2].bytes, (std::vector<unsigned char>{0xB0, 0x06, 0x40}));
        QCOMPARE(rig.iface.queuedCount(5), 1);
        QVERIFY(rig.messages(5).empty());
    }

};

VELMAR_TEST(TestSequencerFacade)
#include "tst_sequencerfacade.moc"
