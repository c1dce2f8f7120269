// The mix editor on the real engine (simulated clock, recording outputs) with
// a mido song loaded through the song object, saved and read back by mido.
#include "../common-sound/sequencer/sequencerrig.h"
#include "MidiEdit.h"
#include "Song.h"
#include "SongObjects.h"
#include "SongRW.h"
#include "testutil.h"
#include "volumes.h"

#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using Edit = std::function<void(MidiEdit &)>;
Q_DECLARE_METATYPE(Edit)
#define EDIT(call) [](MidiEdit &m) { m.call; }

static QByteArray bytes(std::initializer_list<int> b)
{
    QByteArray out;
    for (int v : b)
        out.append(char(v));
    return out;
}

class TestMidiEdit : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_song;
    std::unique_ptr<SequencerRig> m_rig;
    MidiEdit m_edit;

    // Everything an output received, as one byte string.
    QByteArray sent(int output)
    {
        m_rig->seq->advance(20);
        QByteArray all;
        for (const TimedBytes &m : m_rig->messages(output))
            all.append(reinterpret_cast<const char *>(m.bytes.data()), qsizetype(m.bytes.size()));
        return all;
    }
    int noteOnsOf(int channel)
    {
        int n = 0;
        for (const TimedBytes &m : m_rig->noteOns(1))
            n += (m.bytes[0] & 15) == channel;
        return n;
    }
    Db &db() { return *m_rig->seq->GetDbInPlay(); }
    QByteArray dbBytes() { return QByteArray(reinterpret_cast<const char *>(&db()), sizeof(Db)); }

private slots:
    void initTestCase()
    {
        m_song = m_dir.filePath("mix.mid");
        TestUtil::runPython("playback/make_midiedit_song.py", {"write", m_song});
        Song::initSong();
        bool ok = false;
        int rows = 0;
        MidiEdit::setTrkGSNames(SOUNDSET_SOFT_SYNTH, ok, rows);
        QVERIFY(ok && rows > 0);
    }
    void init()
    {
        QFile::remove(m_song + ".bak");
        m_rig = std::make_unique<SequencerRig>();
        QVERIFY(currSong->loadSongFile(m_song));
        m_rig->seq->setPause(false);
        m_rig->seq->advance(100);
        m_edit.InitEditSettingData();
        QVERIFY(m_edit.isBound());
        m_rig->clear();
    }
    void cleanup()
    {
        m_rig->seq->ActionStop();
        currSong->unloadSongFile();
        m_rig.reset();
    }

    void recordsComeFromTheSong()
    {
        const MIDI_SETTING_DATA &b = m_edit.baseData();
        const MidiEditTrack &one = b.tracks[0][0], &four = b.tracks[3][0];
        QCOMPARE(QList<int>({one.program, one.volume, one.pan, one.reverb, one.chorus, one.cutoff}),
                 QList<int>({24, 100, 40, 50, 10, 16}));
        // The pan of the bar after the first is taken, the reverb two bars on is not.
        QCOMPARE(QList<int>({four.program, four.volume, four.pan, four.reverb}), QList<int>({40, 80, 30, 40}));
        QVERIFY(b.tracks[9][0].flags & DB_FLAG_DRUM);
        QVERIFY(!(b.tracks[1][0].flags & DB_FLAG_IN_USE));
        QVERIFY(!m_edit.hasUnsavedEdits());
    }

    void editsAreHeardOnTheirOutput_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<int>("output");
        QTest::addColumn<QByteArray>("message");
        // Instruments are sent again even when they are the same.
        QTest::addColumn<bool>("onlyOnce");
        const auto row = [](const char *name, Edit e, int out, QByteArray m) {
            QTest::newRow(name) << e << out << m << (m.size() != 5);
        };
        row("pan -64", EDIT(TrackPanPotChanged(-64, 0, 0)), 1, bytes({0xB0, 0x0A, 0x00}));
        row("pan 63", EDIT(TrackPanPotChanged(63, 3, 0)), 1, bytes({0xB3, 0x0A, 0x7F}));
        row("reverb", EDIT(TrackReverbChanged(90, 0, 0)), 1, bytes({0xB0, 0x5B, 0x5A}));
        row("chorus", EDIT(TrackChorusChanged(5, 3, 0)), 1, bytes({0xB3, 0x5D, 0x05}));
        row("attack", EDIT(SndAdsrAttackChanged(10, 0, 0)), 1, bytes({0xB0, 0x49, 0x4A}));
        row("decay", EDIT(SndAdsrDecayChanged(-64, 0, 0)), 1, bytes({0xB0, 0x4B, 0x00}));
        row("sustain", EDIT(SndAdsrSustainChanged(63, 0, 0)), 1, bytes({0xB0, 0x42, 0x7F}));
        row("release", EDIT(SndAdsrReleaseChanged(1, 0, 0)), 1, bytes({0xB0, 0x48, 0x41}));
        row("cutoff", EDIT(SndAdsrCutOffChanged(0, 0, 0)), 1, bytes({0xB0, 0x4A, 0x40}));
        row("resonance", EDIT(SndAdsrResonanceChanged(-1, 0, 0)), 1, bytes({0xB0, 0x47, 0x3F}));
        row("transpose stops the channel", EDIT(TrackTransposeChanged(5, 3, 0)), 1, bytes({0xB3, 0x7B, 0x00}));
        row("mute stops the channel", EDIT(TrackMuteSoloChanged(1, 3, 0)), 1, bytes({0xB3, 0x7B, 0x00}));
        row("instrument", EDIT(TrackInstrumentChanged(5, 0, 0, 0, 0)), 1, bytes({0xB0, 0x00, 0x00, 0xC0, 0x05}));
        // The effect cannot bind (the module is off): the instrument is still heard.
        row("instrument with an effect", EDIT(TrackInstrumentChanged({6, 0, 3, -1, -1, 3, "x"}, 0, 0)), 1,
            bytes({0xB0, 0x00, 0x00, 0xC0, 0x06}));
        row("kit on channel 25", EDIT(TrackDrumKitChanged(8, 0, 25, 0)), 2, bytes({0xB9, 0x00, 0x00, 0xC9, 0x08}));
        row("reverb type", EDIT(EffectReverbTypeChanged(2)), 1, bytes({0xF0}));
        row("volume: an engine term", EDIT(TrackVolumeChanged(64, 3, 0)), 1, QByteArray());
    }
    void editsAreHeardOnTheirOutput()
    {
        QFETCH(Edit, edit);
        QFETCH(int, output);
        QFETCH(QByteArray, message);
        QFETCH(bool, onlyOnce);
        edit(m_edit);
        QVERIFY2(sent(output).contains(message), sent(output).toHex(' ').constData());
        QVERIFY(m_edit.hasUnsavedEdits());
        // The same value again sends nothing and changes nothing.
        const QByteArray before = dbBytes();
        m_rig->clear();
        edit(m_edit);
        QVERIFY(message.isEmpty() || sent(output).contains(message) != onlyOnce);
        QCOMPARE(dbBytes(), before);
    }

    void muteAndSoloFollowTheAnySoloRule()
    {
        m_edit.TrackMuteSoloChanged(DB_MUTE, 3, 0);
        QCOMPARE(db().anySolo, uint16_t(0));
        m_rig->clear();
        m_rig->seq->advance(2000);
        QCOMPARE(noteOnsOf(3), 0);
        QVERIFY(noteOnsOf(0) > 0);

        m_edit.TrackMuteSoloChanged(DB_SOLO, 9, 0);
        QCOMPARE(db().anySolo, uint16_t(1));
        m_rig->clear();
        m_rig->seq->advance(2000);
        QCOMPARE(noteOnsOf(0), 0);
        QVERIFY(noteOnsOf(9) > 0);

        m_edit.TrackMuteSoloChanged(DB_NORMAL, 9, 0);
        QCOMPARE(db().anySolo, uint16_t(0));
    }

    void undoSendsThePreviousValues()
    {
        m_edit.TrackPanPotChanged(10, 0, 0);
        m_edit.TrackInstrumentChanged(5, 0, 0, 0, 0);
        m_edit.TrackMuteSoloChanged(DB_MUTE, 0, 0);
        m_edit.SndAdsrCutOffChanged(-20, 0, 0);
        m_rig->clear();
        m_edit.undoTrack(0, 0);
        QVERIFY(MidiEdit::isSetDataEqual(m_edit.savedData(), m_edit.editedData()));
        QVERIFY(sent(1).contains(bytes({0xB0, 0x0A, 0x28})));
        QVERIFY(sent(1).contains(bytes({0xB0, 0x00, 0x00, 0xC0, 0x18})));
        QVERIFY(sent(1).contains(bytes({0xB0, 0x4A, 0x50})));
        QCOMPARE(db().layers[0][0].flags & DB_FLAG_PROGRAM_OVERRIDE, 0);
    }

    void savedMixLoadsBack()
    {
        m_edit.TrackVolumeChanged(70, 0, 0);
        QCOMPARE(VOLUMES_GetMidiChVolumesMap(MIDI_CHAN_VOL_TRACK, 0, MidiOutput::of<1>()), 70);
        m_edit.TrackPanPotChanged(-30, 3, 0);
        m_edit.TrackInstrumentChanged(5, 0, 0, 0, 0);
        m_edit.TrackMuteSoloChanged(DB_MUTE, 9, 0);
        m_edit.DeltaKeyChanged(2);
        m_rig->seq->SetDeltaBpmCurrent(15); // as changeBpmWithOutSaving: not to be kept
        const QByteArray original = TestUtil::readFile(m_song);

        QCOMPARE(m_edit.SaveToFile(m_dir.filePath("mix.wav")), -1);
        QCOMPARE(m_edit.SaveToFile(m_song), 0);
        QVERIFY(MidiEdit::isSetDataEqual(m_edit.savedData(), m_edit.editedData()));
        QCOMPARE(TestUtil::readFile(m_song + ".bak"), original);
        const QByteArray mido = TestUtil::runPython("playback/make_midiedit_song.py",
                                                    {"compare", m_song + ".bak", m_song});
        QVERIFY2(mido.startsWith("same song\n") && mido.split('\n').value(1).toInt() > 0, mido);

        const MIDI_SETTING_DATA saved = m_edit.savedData();
        cleanup();
        init();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&m_edit.savedData()), sizeof saved),
                 QByteArray(reinterpret_cast<const char *>(&saved), sizeof saved));
        QCOMPARE(db().layers[0][0].volume, int16_t(70 - 100));
        QCOMPARE(db().transpose, int16_t(2));
        QCOMPARE(db().tempoDelta, int16_t(0));
        QVERIFY(TestUtil::writeFile(m_song, original));
    }
};

VELMAR_TEST(TestMidiEdit)

#include "tst_midiedit.moc"
