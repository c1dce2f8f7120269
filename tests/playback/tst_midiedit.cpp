// The mix editor on the real engine: a mido song loaded through the song
// object into the Sequencer on the simulated clock, recording outputs on
// every port, saving through the song file editors and read back by mido.
#include "../common-sound/sequencer/sequencerrig.h"
#include "AudioSink.h"
#include "MidiEdit.h"
#include "Song.h"
#include "SongRW.h"
#include "SoundEngine.h"
#include "SynthAudioSink.h"
#include "testutil.h"
#include "volumes.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>

using Edit = std::function<void(MidiEdit &)>;

static QByteArray bytes(std::initializer_list<int> b)
{
    QByteArray out;
    for (int v : b)
        out.append(char(v));
    return out;
}
Q_DECLARE_METATYPE(Edit)

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
    static const MidiEditTrack &track(const MIDI_SETTING_DATA &d, int c) { return d.tracks[c][0]; }

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
        const MidiEditTrack &one = track(b, 0), &four = track(b, 3);
        QCOMPARE(QList<int>({one.program, one.volume, one.pan, one.reverb, one.chorus, one.cutoff}),
                 QList<int>({24, 100, 40, 50, 10, 16}));
        // The pan of the bar after the first is taken, the reverb two bars on is not.
        QCOMPARE(QList<int>({four.program, four.volume, four.pan, four.reverb}), QList<int>({40, 80, 30, 40}));
        QVERIFY(track(b, 9).flags & DB_FLAG_DRUM);
        QVERIFY(!(track(b, 1).flags & DB_FLAG_IN_USE));
        QVERIFY(MidiEdit::isSetDataEqual(m_edit.savedData(), m_edit.editedData()));
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
        row("pan -64", [](MidiEdit &m) { m.TrackPanPotChanged(-64, 0, 0); }, 1, bytes({0xB0, 0x0A, 0x00}));
        row("pan 63", [](MidiEdit &m) { m.TrackPanPotChanged(63, 3, 0); }, 1, bytes({0xB3, 0x0A, 0x7F}));
        row("reverb", [](MidiEdit &m) { m.TrackReverbChanged(90, 0, 0); }, 1, bytes({0xB0, 0x5B, 0x5A}));
        row("chorus", [](MidiEdit &m) { m.TrackChorusChanged(5, 3, 0); }, 1, bytes({0xB3, 0x5D, 0x05}));
        row("attack", [](MidiEdit &m) { m.SndAdsrAttackChanged(10, 0, 0); }, 1, bytes({0xB0, 0x49, 0x4A}));
        row("decay", [](MidiEdit &m) { m.SndAdsrDecayChanged(-64, 0, 0); }, 1, bytes({0xB0, 0x4B, 0x00}));
        row("sustain", [](MidiEdit &m) { m.SndAdsrSustainChanged(63, 0, 0); }, 1, bytes({0xB0, 0x42, 0x7F}));
        row("release", [](MidiEdit &m) { m.SndAdsrReleaseChanged(1, 0, 0); }, 1, bytes({0xB0, 0x48, 0x41}));
        row("cutoff", [](MidiEdit &m) { m.SndAdsrCutOffChanged(0, 0, 0); }, 1, bytes({0xB0, 0x4A, 0x40}));
        row("resonance", [](MidiEdit &m) { m.SndAdsrResonanceChanged(-1, 0, 0); }, 1, bytes({0xB0, 0x47, 0x3F}));
        row("transpose stops the channel", [](MidiEdit &m) { m.TrackTransposeChanged(5, 3, 0); }, 1,
            bytes({0xB3, 0x7B, 0x00}));
        row("mute stops the channel", [](MidiEdit &m) { m.TrackMuteSoloChanged(1, 3, 0); }, 1,
            bytes({0xB3, 0x7B, 0x00}));
        row("instrument", [](MidiEdit &m) { m.TrackInstrumentChanged(5, 0, 0, 0, 0); }, 1,
            bytes({0xB0, 0x00, 0x00, 0xC0, 0x05}));
        // The effect cannot bind (the module is off): the instrument is still heard.
        row("instrument with an effect", [](MidiEdit &m) { m.TrackInstrumentChanged({6, 0, 3, -1, -1, 3, "x"}, 0, 0); },
            1, bytes({0xB0, 0x00, 0x00, 0xC0, 0x06}));
        row("kit on channel 25", [](MidiEdit &m) { m.TrackDrumKitChanged(8, 0, 25, 0); }, 2,
            bytes({0xB9, 0x00, 0x00, 0xC9, 0x08}));
        row("reverb type", [](MidiEdit &m) { m.EffectReverbTypeChanged(2); }, 1, bytes({0xF0}));
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
        const QByteArray dbBefore(reinterpret_cast<const char *>(&db()), sizeof(Db));
        m_rig->clear();
        edit(m_edit);
        QCOMPARE(sent(output).contains(message), !onlyOnce);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&db()), sizeof(Db)), dbBefore);
    }

    void volumeGoesToTheEngineAsAnOffset()
    {
        m_edit.TrackVolumeChanged(64, 3, 0);
        QCOMPARE(db().layers[3][0].volume, int16_t(64 - 80));
        QCOMPARE(VOLUMES_GetMidiChVolumesMap(MIDI_CHAN_VOL_TRACK, 3, 0), 64);
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

    void undoAndRestoreSendThePreviousValues()
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

        m_edit.TrackVolumeChanged(20, 3, 0);
        m_edit.EffectChorusTypeChanged(3);
        m_edit.restoreAll();
        QVERIFY(MidiEdit::isSetDataEqual(m_edit.baseData(), m_edit.editedData()));
        QCOMPARE(db().layers[3][0].volume, int16_t(0));
    }

    // A tempo change made without saving stays out of the file; the mix and
    // the tempo and key offsets meant to be kept go in.
    void savedMixLoadsBack()
    {
        m_edit.TrackVolumeChanged(70, 0, 0);
        m_edit.TrackPanPotChanged(-30, 3, 0);
        m_edit.TrackInstrumentChanged(5, 0, 0, 0, 0);
        m_edit.TrackMuteSoloChanged(DB_MUTE, 9, 0);
        m_edit.DeltaKeyChanged(2);
        m_rig->seq->SetDeltaBpmCurrent(15);
        const QByteArray original = TestUtil::readFile(m_song);

        QCOMPARE(m_edit.SaveToFile(m_song), 0);
        QVERIFY(MidiEdit::isSetDataEqual(m_edit.savedData(), m_edit.editedData()));
        QCOMPARE(TestUtil::readFile(m_song + ".bak"), original);
        const QByteArray mido = TestUtil::runPython("playback/make_midiedit_song.py",
                                                    {"compare", m_song + ".bak", m_song});
        QVERIFY2(mido.startsWith("same song\n") && mido.trimmed().split('\n').last().toInt() > 0, mido);

        const MIDI_SETTING_DATA saved = m_edit.savedData();
        cleanup();
        init();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&m_edit.savedData()), sizeof saved),
                 QByteArray(reinterpret_cast<const char *>(&saved), sizeof saved));
        QCOMPARE(db().tempoDelta, int16_t(0));
        QCOMPARE(db().transpose, int16_t(2));
        QVERIFY(TestUtil::writeFile(m_song, original));
    }

    void failedSaveLeavesTheFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("result");
        QTest::newRow("disk full") << "mix.mid" << -2;
        QTest::newRow("no editor") << "mix.wav" << -1;
    }
    void failedSaveLeavesTheFile()
    {
        QFETCH(QString, name);
        QFETCH(int, result);
        const QString path = m_dir.filePath(name);
        QVERIFY(QFile::exists(path) || QFile::copy(m_song, path));
        QCOMPARE(m_edit.SaveToFile(path), result == -1 ? -1 : 0);
        m_edit.TrackVolumeChanged(30, 0, 0);
        const QByteArray before = TestUtil::readFile(path);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        rlimit small = limit;
        small.rlim_cur = rlim_t(before.size() / 2);
        auto handler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const int r = m_edit.SaveToFile(path);
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, handler);
        QCOMPARE(r, result);
        QCOMPARE(TestUtil::readFile(path), before);
        QVERIFY(m_edit.hasUnsavedEdits());
        if (name != QLatin1String("mix.mid"))
            QFile::remove(path);
    }
};

VELMAR_TEST(TestMidiEdit)

// The edit page's road through the sound engine: a tempo change counts for
// saving only when it was made to be kept.
class TestMidiEditEngine : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void engineEditsAreSaved_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::newRow("changeBpm") << true;
        QTest::newRow("changeBpmWithOutSaving") << false;
    }
    void engineEditsAreSaved()
    {
        QFETCH(bool, keep);
        const QString song = m_dir.filePath("mix.mid");
        TestUtil::runPython("playback/make_midiedit_song.py", {"write", song});
        Song::initSong();
        SoundEngine engine(SoundEngine::Devices{std::make_unique<OfflineAudioSink>(44100),
                                                std::make_unique<Sound::PullAudioSink>(),
                                                QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2")});
        QVERIFY(engine.connectToSoundCardByIdx(SoundEngine::kSynthIndex));
        engine.setPlayingState(SoundEngine::ePsReady);
        QVERIFY(currSong->loadSongFile(song));
        QCOMPARE(engine.setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
        keep ? engine.changeBpm(12) : engine.changeBpmWithOutSaving(12);
        QCOMPARE(engine.midiEdit()->hasUnsavedEdits(), keep);
        engine.setTrackMuteSolo(4, DB_SOLO);
        engine.setTrackVolume(1, 50);
        QCOMPARE(engine.midiEdit()->SaveToFile(song), 0);
        engine.setPlayingState(SoundEngine::ePsStopUnload);

        QVERIFY(currSong->loadSongFile(song));
        const Db &db = currSong->db();
        QCOMPARE(db.tempoDelta, int16_t(keep ? 12 : 0));
        QCOMPARE(db.layers[3][0].muteSolo, DB_SOLO);
        QCOMPARE(db.anySolo, uint16_t(1));
        QCOMPARE(db.layers[0][0].volume, int16_t(50 - 100));
        currSong->unloadSongFile();
    }
};

VELMAR_TEST(TestMidiEditEngine)
#include "tst_midiedit.moc"
