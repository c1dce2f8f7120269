// The song display and the seek slider fed by a stand-in engine.
#include "fakeengine.h"
#include "SongObjects.h"
#include "seektrackslider.h"
#include "statusbarhead.h"
#include "soundenginerig.h"
#include "testutil.h"
#include "widgettexts.h"

#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>

namespace {
QString text(QWidget &w, const char *label)
{
    return w.findChild<QLabel *>(label)->text();
}
// Not elided: an elided label holds the whole text as its tool tip.
QString whole(QWidget &w, const char *label)
{
    const QLabel *l = w.findChild<QLabel *>(label);
    return l->toolTip().isEmpty() ? l->text() : l->toolTip();
}

// The held handle moved a pixel at a time, as a hand moves it while the
// eye reads the bar, until it stands at `value`; where the hand stopped.
QPoint dragUntil(QSlider *slider, int value)
{
    QPoint hand = WidgetTexts::sliderHandle(slider).center();
    const int step = value > slider->value() ? 1 : -1;
    for (int x = 0; x < slider->width() && slider->value() != value; ++x) {
        hand.rx() += step;
        QTest::mouseMove(slider, hand);
    }
    return hand;
}
} // namespace

class TestSongDisplay : public QObject
{
    Q_OBJECT

    QTemporaryDir m_songs;

private slots:
    void initTestCase()
    {
        // long.kar: 20 bars of 2 s; short.kar: 2 bars; long.mp3: 30 s.
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), {m_songs.path(), "40", "long"});
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), {m_songs.path(), "4", "short"});
        const QString wav = m_songs.filePath("long.wav");
        QCOMPARE(TestUtil::runProgram("sox", {"-n", "-r", "44100", "-c", "2", wav, "synth", "30", "sine", "330",
                                              "vol", "0.3"}),
                 0);
        QCOMPARE(TestUtil::runProgram("lame", {"--quiet", "-b", "128", wav, m_songs.filePath("long.mp3")}), 0);
    }
    void init() { failOnAnyWarning(); }

    void statusBar_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("bpm");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("notation");
        QTest::addColumn<int>("deltaBpm");
        QTest::addColumn<int>("deltaKey");
        QTest::addColumn<uint>("ms");
        QTest::addColumn<QStringList>("shown"); // time, tempo, key
        QTest::newRow("midi past an hour") << "MIDI" << 120 << "Am" << 1 << 4 << 0 << 3665000u
                                           << QStringList{"61:05", "124 [+4]", "Am [0]"};
        QTest::newRow("midi slower, key up") << "MF5" << 100 << "C" << 1 << -5 << 2 << 61999u
                                             << QStringList{"1:01", "95 [-5]", "D [+2]"};
        QTest::newRow("mp3 tempo in percent") << "MP3" << 120 << "Am" << 0 << 10 << 2 << 7000u
                                              << QStringList{"0:07", "132 [+10%]", "Sim [+2]"};
        QTest::newRow("mp3 without a tempo") << "MP3" << 0 << "Am" << 0 << 10 << 0 << 7000u
                                             << QStringList{"0:07", "--", "Lam [0]"};
        QTest::newRow("key longer than a chord name")
            << "MIDI" << 90 << QString(200, QLatin1Char('G')) << 0 << 0 << -1 << 0u
            << QStringList{"0:00", "90 [0]", ""};
    }

    // The engine's offsets at show time, then its reports, as the main
    // window wires them.
    void statusBar()
    {
        QFETCH(QString, format);
        QFETCH(int, bpm);
        QFETCH(QString, key);
        QFETCH(int, notation);
        QFETCH(int, deltaBpm);
        QFETCH(int, deltaKey);
        QFETCH(uint, ms);
        QFETCH(QStringList, shown);
        FakeEngine engine;
        statusBarHead head;
        head.setEngPtr(&engine);
        connect(&engine, &FakeEngine::songBpmChanged, &head, &statusBarHead::showSongBpm);
        connect(&engine, &FakeEngine::songKeyChanged, &head, &statusBarHead::showDeltaKey);
        head.setChordLang(notation);
        engine.deltaBpm = deltaBpm;
        SongInfo info;
        info.title = "Title";
        info.artist = "Artist";
        info.format = format;
        info.bpm = bpm;
        info.keySign = key;
        head.showSongInfo(info);
        QCOMPARE(text(head, "BPMNumberLabel"), shown[1]);
        emit engine.songKeyChanged(deltaKey);
        if (!shown[2].isEmpty())
            QCOMPARE(text(head, "keyValueLabel"), shown[2]);
        emit engine.mSecOfPlaying(ms, 0);
        QCOMPARE(text(head, "timeNumberLabel"), shown[0]);
        // A second report within the same second leaves the label alone.
        head.findChild<QLabel *>("timeNumberLabel")->setText("x");
        emit engine.mSecOfPlaying(ms / 1000 * 1000 + 999, 0);
        QCOMPARE(text(head, "timeNumberLabel"), "x");
        emit engine.barBeatOfPlaying(0, 0);
        QCOMPARE(text(head, "barNumberLabel"), "1.1");
        emit engine.barBeatOfPlaying(16, 3);
        QCOMPARE(text(head, "barNumberLabel"), "17.4");
        // A new song starting within the same second still shows its time.
        head.clearSongInfo();
        for (const char *label : {"titleLabel", "authorLabel", "timeNumberLabel", "BPMNumberLabel",
                                  "barNumberLabel", "keyValueLabel", "formatValueLabel"})
            QVERIFY2(text(head, label).isEmpty(), label);
        emit engine.mSecOfPlaying(ms, 0);
        QCOMPARE(text(head, "timeNumberLabel"), shown[0]);
        // A chosen output that is gone is said once: the next song's
        // artist is shown again.
        head.showOutputStandingIn("Second_Output");
        QVERIFY(whole(head, "authorLabel").contains("Second_Output"));
        head.showSongInfo(info);
        QCOMPARE(whole(head, "authorLabel"), "Artist");
        // With the sound server gone, the song taken away leaves that said.
        head.showOutputLost(true);
        head.clearSongInfo();
        QCOMPARE(text(head, "authorLabel"), "No sound server");
    }

    void seekSlider_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<uint>("ms");
        QTest::addColumn<QString>("left");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("dragTo");
        QTest::addColumn<QString>("dragLabel");
        QTest::addColumn<long>("jump");
        // A song of 3:05; a MIDI song of 80 bars, reported at bar 40.
        QTest::newRow("mp3 after a second") << 2 << 1000u << "-03:04" << 1 << 75 << "01:15" << 75000L;
        QTest::newRow("mp3 half a second rounds up") << 2 << 1500u << "-03:03" << 2 << 0 << "00:00" << 0L;
        QTest::newRow("mp3 past its length") << 2 << 999000u << "-00:00" << 185 << 184 << "03:04" << 184000L;
        QTest::newRow("midi follows bars") << 1 << 1499u << "-03:04" << 40 << 12 << "Bar: 13.1" << 12L;
    }

    // Follows the song, then a drag shows its target and ends in one jump.
    void seekSlider()
    {
        QFETCH(int, type);
        QFETCH(uint, ms);
        QFETCH(QString, left);
        QFETCH(int, value);
        QFETCH(int, dragTo);
        QFETCH(QString, dragLabel);
        QFETCH(long, jump);
        FakeEngine engine;
        SeekTrackSlider seek(nullptr, &engine);
        TransportSong song{true, type, 185, 80};
        seek.setSongSource([&song] { return song; });
        seek.showLoadState(2);
        auto *slider = seek.findChild<QSlider *>("horizontalSlider");
        QCOMPARE(text(seek, "timeLeftLabel"), "-03:05");
        QCOMPARE(slider->maximum(), type == 1 ? 80 : 185);

        emit engine.mSecOfPlaying(ms, 0);
        emit engine.barBeatOfPlaying(40, 2);
        QCOMPARE(text(seek, "timeLeftLabel"), left);
        QCOMPARE(slider->value(), value);

        // The handle pressed where it is drawn and dragged to where the
        // user's hand stops.
        seek.show();
        QVERIFY(QTest::qWaitForWindowExposed(&seek));
        QTest::mousePress(slider, Qt::LeftButton, {}, WidgetTexts::sliderHandle(slider).center());
        const QPoint hand = dragUntil(slider, dragTo);
        emit engine.mSecOfPlaying(ms + 5000, 0);
        emit engine.barBeatOfPlaying(50, 0);
        QCOMPARE(slider->value(), dragTo);
        QCOMPARE(text(seek, "timeLeftLabel"), dragLabel);
        QVERIFY(engine.jumps.isEmpty());
        QTest::mouseRelease(slider, Qt::LeftButton, {}, hand);
        QCOMPARE(engine.jumps, QList<long>{jump});

        song.loaded = false;
        seek.showLoadState(0);
        QCOMPARE(text(seek, "timeLeftLabel"), "-00:00");
        QCOMPARE(slider->maximum(), 0);
        emit engine.mSecOfPlaying(ms, 0);
        QCOMPARE(text(seek, "timeLeftLabel"), "-0:00");
        // A song put back from its backup can be sought again.
        song.loaded = true;
        seek.showLoadState(4);
        QCOMPARE(slider->maximum(), type == 1 ? 80 : 185);
    }

    // The position pop-up as the header opens it, on the song being played.
    static void followSong(SeekTrackSlider &seek)
    {
        seek.setWindowFlags(Qt::Popup);
        seek.setSongSource([] { return TransportSong::of(*currSong); });
        connect(currSong, &Song::loadSongChange, &seek, [&seek](Song::LoadSongState s) { seek.showLoadState(s); });
    }

    // A real song on the real engine, the bar shown as the main window shows
    // it. The handle follows the song; the user presses on it where it is
    // drawn and drags it, or presses beside it: the handle goes where the
    // hand is and stays there while the song plays on, the bar says where
    // the song would go, and on release the song goes there. The keys move
    // nothing.
    void seekRealSong_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("onTheHandle");
        QTest::newRow("midi, the handle dragged") << "long.kar" << true;
        QTest::newRow("midi, a press beside it") << "long.kar" << false;
        QTest::newRow("mp3, the handle dragged") << "long.mp3" << true;
        QTest::newRow("mp3, a press beside it") << "long.mp3" << false;
    }
    void seekRealSong()
    {
        QFETCH(QString, file);
        QFETCH(bool, onTheHandle);
        SoundEngineRig rig;
        SeekTrackSlider seek(nullptr, rig.engine.get());
        followSong(seek);
        auto *slider = seek.findChild<QSlider *>("horizontalSlider");
        // The MP3's device takes its sound as a sound card does, in time.
        QTimer device;
        std::vector<int16_t> buffer;
        connect(&device, &QTimer::timeout, [&rig, &buffer] {
            const unsigned frames = rig.audio->rate() / 50;
            buffer.resize(size_t(frames) * rig.audio->channels());
            if (rig.audio->isRunning())
                rig.audio->pull(buffer.data(), frames);
        });
        device.start(20);
        QVERIFY(rig.play(m_songs.filePath(file)));
        seek.show();
        QVERIFY(QTest::qWaitForWindowExposed(&seek));
        const bool midi = file.endsWith(".kar");
        QCOMPARE(slider->maximum(), midi ? 19 : 30);
        QTRY_VERIFY_WITH_TIMEOUT(slider->value() >= 1, 20000);

        // Three quarters of the way: the handle goes under the hand.
        const int aim = slider->maximum() * 3 / 4;
        QPoint hand = WidgetTexts::sliderHandle(slider, aim).center();
        if (onTheHandle) {
            QTest::mousePress(slider, Qt::LeftButton, {}, WidgetTexts::sliderHandle(slider).center());
            QVERIFY(slider->value() < aim);
            hand = dragUntil(slider, aim);
        } else {
            QVERIFY(!WidgetTexts::sliderHandle(slider).contains(hand));
            QTest::mousePress(slider, Qt::LeftButton, {}, hand);
        }
        QVERIFY(WidgetTexts::sliderHandle(slider).contains(hand));
        const int target = slider->value();
        QVERIFY2(qAbs(target - aim) <= 1, qPrintable(QString::number(target)));
        const QString shown = midi ? QStringLiteral("Bar: %1.1").arg(target + 1) : SeekTrackSlider::clockText(target);
        QCOMPARE(text(seek, "timeLeftLabel"), shown);
        // Held while the song plays on.
        QTest::qWait(2500);
        QCOMPARE(slider->value(), target);
        QCOMPARE(text(seek, "timeLeftLabel"), shown);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, hand);
        // The song goes on from there: its reports come from the target on.
        QSignalSpy bars(rig.engine.get(), &SoundEngine::barBeatOfPlaying);
        QSignalSpy times(rig.engine.get(), &SoundEngine::mSecOfPlaying);
        if (midi) {
            QTRY_VERIFY_WITH_TIMEOUT(!bars.isEmpty() && bars.last().at(0).toInt() >= target, 20000);
            QVERIFY(bars.last().at(0).toInt() <= target + 2);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!times.isEmpty() && times.last().at(0).toUInt() >= uint(target) * 1000, 20000);
            QVERIFY(times.last().at(0).toUInt() < uint(target + 4) * 1000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(slider->value() >= target && slider->value() <= target + 2, 20000);

        // Keys step nowhere: the bar moves only with the song or the mouse.
        slider->setFocus();
        const int at = slider->value();
        QSignalSpy moved(slider, &QSlider::sliderMoved);
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_PageUp, Qt::Key_End, Qt::Key_Left})
            QTest::keyClick(slider, key);
        QVERIFY(moved.isEmpty());
        QVERIFY(slider->value() >= at);
        rig.stop();
    }

    // The song ends while the user holds the handle: the pop-up goes, and
    // nothing is left held: the next song's bar is pressed and released as
    // any other, and its song goes where it was let go.
    void songEndsWhileHeld()
    {
        SoundEngineRig rig;
        SeekTrackSlider seek(nullptr, rig.engine.get());
        followSong(seek);
        auto *slider = seek.findChild<QSlider *>("horizontalSlider");
        QVERIFY(rig.play(m_songs.filePath("short.kar")));
        seek.show();
        QVERIFY(QTest::qWaitForWindowExposed(&seek));
        QTest::mousePress(slider, Qt::LeftButton, {}, WidgetTexts::sliderHandle(slider).center());
        QVERIFY(slider->isSliderDown());
        QTRY_VERIFY_WITH_TIMEOUT(!currSong->isLoaded(), 20000);
        QVERIFY(!seek.isVisible());
        QVERIFY(!slider->isSliderDown());

        QVERIFY(rig.play(m_songs.filePath("long.kar")));
        seek.show();
        QVERIFY(QTest::qWaitForWindowExposed(&seek));
        QSignalSpy bars(rig.engine.get(), &SoundEngine::barBeatOfPlaying);
        const QPoint there = WidgetTexts::sliderHandle(slider, 12).center();
        QTest::mousePress(slider, Qt::LeftButton, {}, there);
        const int target = slider->value();
        QCOMPARE(text(seek, "timeLeftLabel"), QStringLiteral("Bar: %1.1").arg(target + 1));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, there);
        QTRY_VERIFY_WITH_TIMEOUT(!bars.isEmpty() && bars.last().at(0).toInt() >= target, 20000);
        rig.stop();
    }
};

VELMAR_TEST(TestSongDisplay)
#include "tst_songdisplay.moc"
