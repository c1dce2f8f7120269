// The Sequencer on the simulated clock as the player drives it: starting a
// loaded song, pause, key changes and the send-queue draining of one pass.
#include "RealTime.h"
#include "cinterface.h"
#include "loadedsong.h"
#include "rig.h"
#include "testutil.h"

#include <QScopeGuard>
#include <QtTest>
#include <cmath>

namespace {
const std::vector<uint8_t> GM_RESET{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// count notes on channel 1 every quarter from `first`, key `key` + i, no
// tempo event (120 BPM).
std::vector<uint8_t> quarterNotes(int count, uint32_t first = 0, int key = 60, bool mf4 = false)
{
    StreamBuilder b(480, mf4);
    const uint32_t last = first + uint32_t(count) * 480;
    b.grid(int(last / 1920) + 1);
    for (int i = 0; i < count; ++i)
        b.note(first + uint32_t(i) * 480, 240, 0, key + i);
    b.end(last);
    return b.build();
}

// 8 bars of four quarters; the notes of bar b have key 40 + b.
struct PlayingSong {
    LoadedSong song;
    explicit PlayingSong(SequencerRig &rig)
    {
        StreamBuilder b;
        b.grid(8);
        for (int n = 0; n < 32; ++n)
            b.note(uint32_t(n * 480), 240, 0, 40 + n / 4);
        b.end(8 * 1920);
        song.setStream(b.build());
        song.setProgram(0, 0);
        rig.seq->preloadMidiFile(&song.sd);
        rig.seq->setPause(false);
    }
};

bool songEnded(SequencerRig &rig)
{
    for (int i = 0; i < 60000 && SEQUENCER_EX_IsRunning(); ++i)
        rig.seq->advance(1);
    return !SEQUENCER_EX_IsRunning();
}
} // namespace

class TestFacade : public QObject
{
    Q_OBJECT
private slots:
    void startsPausedAtTheFirstEvent_data()
    {
        QTest::addColumn<int>("tempoDelta");
        QTest::addColumn<int>("firstTick");
        QTest::addColumn<bool>("mf4");
        QTest::addColumn<double>("beatMs");
        QTest::newRow("saved offset -20: 100 BPM") << -20 << 0 << false << 600.0;
        QTest::newRow("saved offset +30: 150 BPM") << 30 << 0 << false << 400.0;
        QTest::newRow("first delta of two bytes") << 0 << 200 << false << 500.0;
        QTest::newRow("container head of 25 bytes") << 0 << 200 << true << 500.0;
    }
    void startsPausedAtTheFirstEvent()
    {
        QFETCH(int, tempoDelta);
        QFETCH(int, firstTick);
        QFETCH(bool, mf4);
        QFETCH(double, beatMs);
        SequencerRig rig;
        LoadedSong song(mf4 ? SONG_FORMAT_MF4 : SONG_FORMAT_MIDI, mf4 ? FILE_TYPE_MF4 : FILE_TYPE_MIDI);
        song.setStream(quarterNotes(6, uint32_t(firstTick), 60, mf4));
        song.setProgram(0, 0);
        song.db->tempoDelta = int16_t(tempoDelta);

        QVERIFY(rig.seq->preloadMidiFile(&song.sd));
        rig.seq->advance(3000);
        QVERIFY(rig.noteOns(1).empty());
        const uint64_t resumedAt = rig.seq->now();
        rig.seq->setPause(false);
        QVERIFY(songEnded(rig));
        const std::vector<TimedMessage> ons = rig.noteOns(1);
        QCOMPARE(int(ons.size()), 6);
        QVERIFY(rig.noteOns(2).empty());
        QCOMPARE(ons[0].bytes, (std::vector<uint8_t>{0x90, 60, 100}));
        // The clock re-bases within the first passes after the resume; from
        // there every note is at its time, rounded up to the millisecond.
        const double start = double(ons[0].ms - resumedAt) - firstTick * beatMs / 480.0;
        QVERIFY2(start > -1.0 && start < 3.0, qPrintable(QString::number(start)));
        for (size_t i = 1; i < ons.size(); ++i)
            QVERIFY2(std::fabs(double(ons[i].ms - ons[0].ms) - double(i) * beatMs) <= 1.0,
                     qPrintable(QStringLiteral("note %1 at %2 ms").arg(i).arg(ons[i].ms - ons[0].ms)));
    }

    // A song started while another one plays silences and resets the outputs
    // of the first and still plays on engine port 0, heard on output 1; the
    // engine plays its own copies, so the loader may free the song's records.
    void startWhileAnotherPlays()
    {
        SequencerRig rig;
        LoadedSong first;
        first.setStream(quarterNotes(40, 0, 40));
        first.setProgram(0, 0);
        QVERIFY(rig.seq->playMidiFile(&first.sd));
        rig.seq->advance(1200);
        QCOMPARE(int(rig.noteOns(1).size()), 3);
        rig.clear();

        auto second = std::make_unique<LoadedSong>();
        second->setStream(quarterNotes(4, 0, 70));
        second->setProgram(0, 5);
        second->db->transpose = 2;
        QVERIFY(rig.seq->preloadMidiFile(&second->sd));
        QVERIFY(rig.hasMessage(1, GM_RESET));
        QVERIFY(rig.hasMessage(1, {0xB0, 0x7B, 0x00}));
        std::memset(second->buffer.get(), 0, EVENT_BUFFER_SIZE);
        second.reset();

        rig.clear();
        rig.seq->setPause(false);
        QVERIFY(songEnded(rig));
        const std::vector<TimedMessage> ons = rig.noteOns(1);
        QCOMPARE(int(ons.size()), 4);
        QCOMPARE(int(ons[0].bytes[1]), 72);
        QVERIFY(rig.noteOns(2).empty());
        // The song's end released its port: the next song gets port 0 again.
        QCOMPARE(SEQUENCER_EX_GetFreeMidiPort(), 0);
        freeMidiPortMF5(0);
    }

    // Without a free event buffer nothing starts and no port stays marked.
    void noFreeBufferLeavesNothingMarked()
    {
        SequencerRig rig;
        rig.seq->requestStop();
        int a = -1;
        int b = -1;
        QVERIFY(SEQUENCER_EX_GetFreeBuffer(&a));
        QVERIFY(SEQUENCER_EX_GetFreeBuffer(&b));
        LoadedSong song;
        song.setStream(quarterNotes(2));
        QVERIFY(!rig.seq->preloadMidiFile(&song.sd));
        QCOMPARE(SEQUENCER_EX_GetFreeMidiPort(), 0);
        freeMidiPortMF5(0);
        QVERIFY(rig.seq->preloadMidiFile(&song.sd));
        QCOMPARE(rig.seq->MidiPortInPlay(), 0);
    }

    void refusesWhatIsNotAMidiSong_data()
    {
        QTest::addColumn<int>("what");
        QTest::newRow("no handle") << 0;
        QTest::newRow("no song information") << 1;
        QTest::newRow("MP3") << 2;
        QTest::newRow("WAV") << 3;
        QTest::newRow("handle without its records") << 4;
    }
    void refusesWhatIsNotAMidiSong()
    {
        QFETCH(int, what);
        SequencerRig rig;
        LoadedSong playing;
        playing.setStream(quarterNotes(40));
        playing.setProgram(0, 0);
        QVERIFY(rig.seq->playMidiFile(&playing.sd));
        rig.seq->advance(700);
        rig.clear();

        LoadedSong other;
        other.setStream(quarterNotes(2));
        s_StreamData *handle = what == 0 ? nullptr : &other.sd;
        if (what == 1)
            other.sd.info = nullptr;
        else if (what == 2 || what == 3)
            other.info.format = what == 2 ? SONG_FORMAT_MP3 : SONG_FORMAT_WAV;
        else if (what == 4)
            other.sd.midiStream = nullptr;
        QVERIFY(!rig.seq->preloadMidiFile(handle));
        QVERIFY(!rig.seq->playMidiFile(handle));
        QVERIFY(!rig.seq->preloadMtxFile(handle));
        // The song in play goes on untouched.
        QVERIFY(!rig.hasMessage(1, GM_RESET));
        rig.seq->advance(1000);
        QCOMPARE(int(rig.noteOns(1).size()), 2);
    }

    // After the silence of a global key change no note leaves in the old key:
    // its note-off would come in the new key and never end it.
    void globalTransposeLeavesNoNoteInTheOldKey()
    {
        SequencerRig rig;
        StreamBuilder b;
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
            InterleavingHost host([&rig] { rig.seq->advance(1); });
            rig.seq->setGlobalTranspose(12);
        }
        rig.seq->advance(200);
        bool silenced = false;
        int newKey = 0;
        for (const TimedMessage &m : rig.messages(1)) {
            silenced = silenced || (m.bytes[0] == 0xB0 && m.bytes[1] == 0x7B);
            if (silenced && m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0) {
                QVERIFY2(m.bytes[1] >= 52, qPrintable(QString::number(m.bytes[1])));
                ++newKey;
            }
        }
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

        const uint64_t resumedAt = rig.seq->now();
        rig.seq->setPause(false);
        rig.seq->advance(1000);
        const std::vector<TimedMessage> t = rig.noteOns(1);
        QCOMPARE(int(t.size()), 3);
        // The second note was held at the pause: it sounds again at once and
        // ends where the song ends it, 50 ms on.
        QCOMPARE(hex(t[0].bytes), QByteArray("90 28 64"));
        QVERIFY2(t[0].ms - resumedAt < 5, qPrintable(QString::number(t[0].ms - resumedAt)));
        const std::vector<TimedMessage> offs = rig.withStatus(1, 0x80);
        QVERIFY(!offs.empty());
        QCOMPARE(hex(offs[0].bytes), QByteArray("80 28 00"));
        QVERIFY2(offs[0].ms - resumedAt >= 49 && offs[0].ms - resumedAt < 55,
                 qPrintable(QString::number(offs[0].ms - resumedAt)));
        // The third note was 300 ms away when the song paused; the clock
        // takes a few passes to start again.
        QVERIFY2(t[1].ms - resumedAt >= 299 && t[1].ms - resumedAt < 305,
                 qPrintable(QString::number(t[1].ms - resumedAt)));
        QCOMPARE(t[2].ms - t[1].ms, uint64_t(500));
    }

    // MIDI clock: 24 Timing Clocks a quarter note on the song's output, each
    // stamped with its exact time through the song's tempo changes (120,
    // then 80, then 200 BPM a bar later each).
    void midiClockThroughTempoChanges()
    {
        SequencerRig rig;
        rig.out[0].setClock([] { return RealTime::messageTimeMs(); });
        StreamBuilder b;
        b.tempo(0, 500000);
        b.tempo(1920, 750000);
        b.tempo(3840, 300000);
        b.grid(3);
        for (int bar = 0; bar < 3; ++bar)
            b.note(uint32_t(bar * 1920), 240, 0, 60 + bar);
        b.end(3 * 1920);
        LoadedSong song;
        song.setStream(b.build());
        song.setProgram(0, 0);
        rig.seq->setMidiClock(true);
        QVERIFY(rig.seq->preloadMidiFile(&song.sd));
        rig.seq->setPause(false);
        QVERIFY(songEnded(rig));
        rig.seq->setMidiClock(false);
        std::vector<double> clocks;
        for (const RecordingMidiOutput::Message &m : rig.out[0].messages())
            if (m.bytes == std::vector<unsigned char>{0xF8})
                clocks.push_back(m.timeMs);
        auto songMs = [](double tick) {
            if (tick < 1920)
                return tick * 500 / 480;
            if (tick < 3840)
                return 2000 + (tick - 1920) * 750 / 480;
            return 5000 + (tick - 3840) * 300 / 480;
        };
        QCOMPARE(int(clocks.size()), 3 * 4 * 24);
        for (size_t k = 0; k < clocks.size(); ++k)
            QVERIFY2(std::fabs(clocks[k] - clocks[0] - songMs(20.0 * double(k))) < 0.01,
                     qPrintable(QStringLiteral("clock %1 at %2 ms").arg(k).arg(clocks[k] - clocks[0])));
    }

    // A partial volume trims the Master Volume of the output the song's
    // engine port plays on, sent again there at once with the trim; the
    // other output keeps its own.
    void partialVolumeOnTheSongsOutput()
    {
        SequencerRig rig;
        PlayingSong playing(rig);
        rig.seq->advance(50);
        const MidiOutput own = ownOutput(rig.seq->MidiPortInPlay());
        const auto restore = qScopeGuard([&] {
            for (MidiOutput o : kVolumeOutputs)
                rig.iface.SetMidiVolumeCorrection(o, 0);
        });
        const int last = rig.iface.GetLastGMVolumeSent(own);
        rig.clear();
        rig.seq->setMidiPartialVolume(20);
        QCOMPARE(rig.iface.GetMidiVolumeCorrection(own), 20);
        QCOMPARE(rig.iface.GetMidiVolumeCorrection(own.other()), 0);
        // Scaled by 0.7 and trimmed by 38/64 of the correction, as every
        // Master Volume that leaves the output.
        const uint8_t sent = uint8_t((20 * 38 / 64 + ((unsigned(last) * 367003u) >> 19)) & 127);
        QVERIFY(rig.hasMessage(own.number(), {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, sent, 0xF7}));
        QVERIFY(rig.withStatus(own.other().number(), 0xF0).empty());
    }

    // One pass sends at most one message from each of the queues of outputs
    // 1, 2 and 4, in order; the queues of outputs 5 and 6 are not drained.
    void onePassDrainsOneMessagePerQueue()
    {
        SequencerRig rig;
        const unsigned char nrpn[] = {0xB0, 0x63, 0x37, 0xB0, 0x62, 0x07, 0xB0, 0x06, 0x40};
        const unsigned char four[] = {0x99, 0x38, 0x40};
        CINTERFACE_QueueMidiEvent1(nrpn, 9);
        CINTERFACE_QueueMidiEvent4(four, 3);
        CINTERFACE_QueueMidiEvent5(four, 3);
        rig.seq->advance(1);
        QCOMPARE(rig.iface.queuedCount(1), 2);
        QVERIFY(rig.hasMessage(4, {0x99, 0x38, 0x40}));
        rig.seq->advance(2);
        QCOMPARE(hex(rig.messages(1)[2].bytes), QByteArray("b0 06 40"));
        QCOMPARE(rig.iface.queuedCount(5), 1);
        QVERIFY(rig.messages(5).empty());
    }
};

VELMAR_TEST(TestFacade)
#include "tst_facade.moc"
