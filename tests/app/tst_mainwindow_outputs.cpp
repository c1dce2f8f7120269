#include "mainwindowrig.h"

// The outputs chosen, across restarts and between songs, and a synthesizer
// that opens later.
class TestMainWindowOutputs : public MainWindowRig
{
    Q_OBJECT
private slots:
    // Two outputs of one name behind an input that is the sound server's
    // default: the page offers the name once, and the start-up opens the
    // synthesizer and the MP3 path on the first output of that name, also
    // once chosen on the settings page and after a restart, without a word
    // to the user.
    void devicesAcrossRestart()
    {
        m_synthList = {{"Monitor of Null Output", false}, {"Null Output", true}, {"Null Output", true}};
        m_audioList = {{0, "Monitor of Null Output", 0, 48000}, {1, "Null Output", 2, 48000}, {2, "Null Output", 2, 48000}};
        m_answer = QMessageBox::No;
        SoundEngineRig::makeSongs(m_songs.path());
        startUp();
        QCOMPARE(m_synthSink->openedDevice(), 2);
        QCOMPARE(m_synthSink->opens(), 1);
        QStringList listed;
        for (int i = 0; i < combo("comboAudioDevices")->count(); ++i)
            listed << combo("comboAudioDevices")->itemText(i);
        QCOMPARE(listed, QStringList({"Null Output"}));
        choose("comboSoundCard", "Timbra MIDI Module");
        choose("comboAudioDevices", "Null Output");
        for (bool restarted : {false, true}) {
            if (restarted) {
                restart();
                startUp();
            }
            QCOMPARE(m_synthSink->openedDevice(), 2);
            // Opened once at a start: on the device chosen, not first on the default.
            if (restarted)
                QCOMPARE(m_synthSink->opens(), 1);
            QVERIFY(window()->engine()->getIsMidiPortConnected());
            QCOMPARE(combo("comboSoundCard")->currentText(), QString("Timbra MIDI Module"));
            QCOMPARE(combo("comboAudioDevices")->currentText(), QString("Null Output"));
            QVERIFY(window()->onStartSongPath(m_songs.filePath("song.mp3"), 0));
            QCOMPARE(m_audioSink->openedDevice(), 1);
            QVERIFY(!warningShown());
        }
    }

    // Between songs the host moves the sound from the desk to the PA: while
    // a song plays or pauses the output boxes wait and say what frees them;
    // after Stop, pressed where it is drawn, they take the choice and the
    // song still loaded plays on the new output: the MIDI song through the
    // synthesizer moved there, heard from its first notes, the MP3 song on a
    // stream of its own.
    void outputsBetweenSongs()
    {
        m_synthList = {{"Desk", true}, {"PA", true}};
        m_audioList = {{0, "Desk", 2, 48000}, {1, "PA", 2, 48000}};
        m_answer = QMessageBox::No;
        SoundEngineRig::makeSongs(m_songs.path());
        startUp();
        QCOMPARE(m_synthSink->openedDevice(), 1);
        QLabel *wait = window()->settingsView()->findChild<QLabel *>("outputsWait");
        for (const QString &played : {song("a"), m_songs.filePath("song.mp3")}) {
            QVERIFY(window()->onStartSongPath(played, 0));
            QCOMPARE(state(), SoundEngine::ePsPlaying);
            QTest::mouseClick(find<QPushButton>("pauseButton"), Qt::LeftButton);
            QCOMPARE(state(), SoundEngine::ePsPaused);
            QVERIFY(!combo("comboAudioDevices")->isEnabled() && !combo("comboSoundCard")->isEnabled());
            QCOMPARE(wait->text(), QString("Press Stop to change the outputs."));
            QVERIFY(!wait->isHidden());
            QTest::mouseClick(find<QPushButton>("rewButton"), Qt::LeftButton);
            QCOMPARE(state(), SoundEngine::ePsReady);
            QVERIFY(currSong->isLoaded());
            QVERIFY(combo("comboAudioDevices")->isEnabled() && combo("comboSoundCard")->isEnabled());
            QVERIFY(wait->isHidden());
            const bool toPa = combo("comboAudioDevices")->currentText() == "Desk";
            choose("comboAudioDevices", toPa ? "PA" : "Desk");
            QCOMPARE(m_synthSink->openedDevice(), toPa ? 2 : 1);
            QVERIFY(window()->engine()->getIsMidiPortConnected());
            QTest::mouseClick(find<QPushButton>("playButton"), Qt::LeftButton);
            QCOMPARE(state(), SoundEngine::ePsPlaying);
            QCOMPARE(currSong->path(), played);
            if (played.endsWith(".mp3")) {
                QCOMPARE(m_audioSink->openedDevice(), toPa ? 1 : 0);
                continue;
            }
            // The song's first notes, pulled as the new device would.
            double loudest = 0;
            for (int i = 0; i < 30 && loudest < 0.003; ++i) {
                QTest::qWait(100);
                loudest = std::max(loudest, rms(m_synthSink->pull(4410)));
            }
            QVERIFY2(loudest > 0.003, qPrintable(QString::number(loudest)));
        }
        QVERIFY(!warningShown());
        QVERIFY(m_boxes.isEmpty());
    }

    // A synthesizer without its sound bank at start-up: the box names the
    // bank and offers its download at once, before the update offer and
    // without a device warning. Refused, the synthesizer is switched off (an
    // audio device chosen leaves it off) until the bank arrives; taken, the
    // bank comes from the store and the synthesizer opens. Nothing asks for
    // the bank again.
    void synthesizerOpensLater_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("the bank arrives") << "bank";
        QTest::newRow("an audio device is chosen") << "device";
        QTest::newRow("the download is taken") << "download";
    }
    void synthesizerOpensLater()
    {
        QFETCH(QString, how);
        m_synthList = {{"Speakers", true}};
        m_audioList = {{0, "Speakers", 2, 48000}};
        const bool download = how == "download";
        m_bank = download ? SoundEngine::getSoundfontFilePath() : m_files.filePath("later.sf2");
        QFile::remove(m_bank);
        QFile::remove(m_files.filePath("Basic.sfc"));
        if (download)
            QVERIFY(QFile::copy("/usr/share/sounds/sf2/TimGM6mb.sf2", m_files.filePath("Basic.sfc")));
        m_answer = download ? QMessageBox::Yes : QMessageBox::No;
        startUp();
        const QStringList asked = m_prompts.filter(QRegularExpression("^Sound bank\\|"));
        QCOMPARE(asked, QStringList({"Sound bank|The sound bank of the software synthesizer is missing or cannot be "
                                     "read:\n" + QDir::toNativeSeparators(m_bank)
                                     + "\nMIDI songs make no sound without it. Download it now?"}));
        QVERIFY(!warningShown());
        QTRY_COMPARE_WITH_TIMEOUT(updateOffers(), 1, 30000);
        QVERIFY(m_prompts.indexOf(asked.first()) < m_prompts.indexOf(m_prompts.filter("Update available").first()));
        QCOMPARE(m_prompts.filter(QRegularExpression("Timbra|sound bank", QRegularExpression::CaseInsensitiveOption)),
                 asked);
        if (!download) {
            QVERIFY(!window()->engine()->getIsMidiPortConnected());
            QVERIFY(QFile::copy("/usr/share/sounds/sf2/TimGM6mb.sf2", m_bank));
            if (how == "device") {
                choose("comboAudioDevices", "Speakers");
                QVERIFY(!window()->engine()->getIsMidiPortConnected());
            }
            QVERIFY(QMetaObject::invokeMethod(window(), "onSoundfontAvailable"));
        }
        // A download taken comes in the background.
        QTRY_VERIFY_WITH_TIMEOUT(window()->engine()->getIsMidiPortConnected(), 30000);
        QCOMPARE(m_synthSink->openedDevice(), 1);
        QCOMPARE(combo("comboSoundCard")->currentText() + combo("comboAudioDevices")->currentText(),
                 QString("Timbra MIDI ModuleSpeakers"));
        QVERIFY(!warningShown());
        // The bank of the first start again, for the tests that follow.
        if (download)
            QVERIFY(QFile::remove(m_bank) && QFile::link("/usr/share/sounds/sf2/TimGM6mb.sf2", m_bank));
    }
};

VELMAR_TEST(TestMainWindowOutputs)
#include "tst_mainwindow_outputs.moc"
