// Starting a loaded song: the engine's copies, the port and output it plays
// on, the start tempo and read position, and what a failed start leaves.
#include "loadedsong.h"
#include "sequencer_ex.h"
#include "sequencerrig.h"
#include "streambuilder.h"
#include "testutil.h"

#include <QtTest>
#include <cmath>

namespace {
const std::vector<unsigned char> GM_RESET{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// Notes on channel 1 every quarter note from `first`, no tempo event.
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

// Time of each note-on after the resume.
std::vector<double> sinceResume(const std::vector<TimedBytes> &ons, uint64_t resumedAt)
{
    std::vector<double> r;
    for (const TimedBytes &m : ons)
        r.push_back(m.ms - double(resumedAt));
    return r;
}

bool songEnded(SequencerRig &rig, uint64_t maxMs = 60000)
{
    for (uint64_t i = 0; i < maxMs && SEQUENCER_EX_IsRunning(); ++i)
        rig.seq->advance(1);
    return !SEQUENCER_EX_IsRunning();
}
} // namespace

class TestPlayProcedure : public QObject
{
    Q_OBJECT
private slots:
    void startsPausedAtTheFirstEvent_data()
    {
        QTest::addColumn<int>("tempoDelta");
        QTest::addColumn<int>("firstTick");
        QTest::addColumn<bool>("mf4");
        QTest::addColumn<double>("beatMs");
        QTest::newRow("no tempo event: 120 BPM") << 0 << 0 << false << 500.0;
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
        QCOMPARE(SEQUENCER_EX_GetPause(), -1);
        rig.seq->advance(3000);
        QVERIFY(rig.noteOns(1).empty());

        const uint64_t resumedAt = rig.seq->now();
        rig.seq->setPause(false);
        QVERIFY(songEnded(rig));
        const std::vector<TimedBytes> ons = rig.noteOns(1);
        QCOMPARE(int(ons.size()), 6);
        QVERIFY(rig.noteOns(2).empty());
        QCOMPARE(ons[0].bytes, (std::vector<unsigned char>{0x90, 60, 100}));
        // The clock re-bases within the first passes after the resume; from
        // there every note is at its time, rounded up to the millisecond.
        const std::vector<double> t = sinceResume(ons, resumedAt);
        const double first = firstTick * beatMs / 480.0;
        const double start = t[0] - first;
        QVERIFY2(start > -1.0 && start < 3.0, qPrintable(QString::number(t[0])));
        for (int i = 0; i < 6; ++i) {
            const double expected = first + i * beatMs;
            const double at = t[size_t(i)] - std::floor(start);
            QVERIFY2(at >= expected - 0.001 && at < expected + 1.0,
                     qPrintable(QStringLiteral("note %1 at %2 ms, expected %3").arg(i).arg(at).arg(expected)));
        }
    }

    // A song started while another one plays silences and resets the outputs
    // of the first and still plays on engine port 0, heard on output 1.
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

        LoadedSong second;
        second.setStream(quarterNotes(4, 0, 70));
        second.setProgram(0, 5);
        QVERIFY(rig.seq->preloadMidiFile(&second.sd));
        QVERIFY(rig.hasMessage(1, GM_RESET));
        QVERIFY(rig.hasMessage(1, {0xB0, 0x7B, 0x00}));
        QCOMPARE(rig.seq->MidiPortInPlay(), 0);
        QCOMPARE(rig.seq->GetMidiStreamInPlay()->slotByte, uint8_t(1));

        rig.clear();
        rig.seq->setPause(false);
        QVERIFY(songEnded(rig));
        const std::vector<TimedBytes> ons = rig.noteOns(1);
        QCOMPARE(int(ons.size()), 4);
        QCOMPARE(int(ons[0].bytes[1]), 70);
        QVERIFY(rig.noteOns(2).empty());
        // The song's end released its port: the next song gets port 0 again.
        QCOMPARE(SEQUENCER_EX_GetFreeMidiPort(), 0);
        freeMidiPortMF5(0);
    }

    // The engine plays its own copies: the loader may change or free the
    // song's records once the song has started.
    void playsItsOwnCopies()
    {
        SequencerRig rig;
        auto song = std::make_unique<LoadedSong>();
        song->setStream(quarterNotes(4));
        song->setProgram(0, 0);
        song->setProgram(1, 33);
        song->db->transpose = 2;
        song->infos->barCount = 2;
        QVERIFY(rig.seq->preloadMidiFile(&song->sd));

        QVERIFY(rig.seq->GetDbInPlay() != song->db.get());
        QCOMPARE(rig.seq->GetDbInPlay()->transpose, int16_t(2));
        QCOMPARE(rig.seq->GetMidiInfoInPlay()->barCount, uint16_t(2));
        QCOMPARE(rig.seq->GetMidiStreamInPlay()->db, rig.seq->GetDbInPlay());
        QCOMPARE(rig.seq->GetMidiStreamInPlay()->transpose, int16_t(2));
        QCOMPARE(EX_SEQUENCER_GetRealTimeProgramChange(1), 33);
        // A channel without a program belongs to no mixer group.
        QCOMPARE(EX_SEQUENCER_GetRealTimeProgramChange(2), 255);

        std::memset(song->buffer.get(), 0, EVENT_BUFFER_SIZE);
        song.reset();
        rig.seq->setPause(false);
        QVERIFY(songEnded(rig));
        const std::vector<TimedBytes> ons = rig.noteOns(1);
        QCOMPARE(int(ons.size()), 4);
        QCOMPARE(int(ons[0].bytes[1]), 62);
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
        s_StreamData *handle = &other.sd;
        if (what == 0)
            handle = nullptr;
        else if (what == 1)
            other.sd.info = nullptr;
        else if (what == 2)
            other.info.format = SONG_FORMAT_MP3;
        else if (what == 3)
            other.info.format = SONG_FORMAT_WAV;
        else
            other.sd.midiStream = nullptr;
        QVERIFY(!rig.seq->preloadMidiFile(handle));
        QVERIFY(!rig.seq->playMidiFile(handle));
        QVERIFY(!rig.seq->preloadMtxFile(handle));
        // The song in play goes on untouched.
        QVERIFY(!rig.hasMessage(1, GM_RESET));
        rig.seq->advance(1000);
        QCOMPARE(int(rig.noteOns(1).size()), 2);
    }
};

VELMAR_TEST(TestPlayProcedure)
#include "tst_playprocedure.moc"
