// The song display and the seek slider fed by a stand-in engine.
#include "fakeengine.h"
#include "seektrackslider.h"
#include "statusbarhead.h"
#include "testutil.h"

#include <QLabel>
#include <QSlider>

namespace {
QString text(QWidget &w, const char *label)
{
    return w.findChild<QLabel *>(label)->text();
}
} // namespace

class TestSongDisplay : public QObject
{
    Q_OBJECT

private slots:
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
        connect(&engine, &FakeEngine::songBpmChanged, &head, &statusBarHead::on_songBpm_changed);
        connect(&engine, &FakeEngine::songKeyChanged, &head, &statusBarHead::on_deltaKey_changed);
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
        seek.on_loadSong_changed(2);
        auto *slider = seek.findChild<QSlider *>("horizontalSlider");
        QCOMPARE(text(seek, "durataLabel"), "-03:05");
        QCOMPARE(slider->maximum(), type == 1 ? 80 : 185);

        emit engine.mSecOfPlaying(ms, 0);
        emit engine.barBeatOfPlaying(40, 2);
        QCOMPARE(text(seek, "durataLabel"), left);
        QCOMPARE(slider->value(), value);

        slider->setSliderDown(true);
        slider->setSliderPosition(dragTo); // where the user's hand stops
        emit engine.mSecOfPlaying(ms + 5000, 0);
        emit engine.barBeatOfPlaying(50, 0);
        QCOMPARE(slider->value(), dragTo);
        QCOMPARE(text(seek, "durataLabel"), dragLabel);
        QVERIFY(engine.jumps.isEmpty());
        slider->setSliderDown(false);
        QCOMPARE(engine.jumps, QList<long>{jump});

        song.loaded = false;
        seek.on_loadSong_changed(0);
        QCOMPARE(text(seek, "durataLabel"), "-00:00");
        QCOMPARE(slider->maximum(), 0);
        emit engine.mSecOfPlaying(ms, 0);
        QCOMPARE(text(seek, "durataLabel"), "-0:00");
        // A song put back from its backup can be sought again.
        song.loaded = true;
        seek.on_loadSong_changed(4);
        QCOMPARE(slider->maximum(), type == 1 ? 80 : 185);
    }
};

VELMAR_TEST(TestSongDisplay)
#include "tst_songdisplay.moc"
