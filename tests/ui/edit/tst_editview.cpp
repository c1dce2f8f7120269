// The edit page and its channel strips on the real engine: each control lands
// in the mix of the song in play, the stop writes it into the song file (read
// back by mido and mutagen), global undo and restore settings write nothing.
#include "MidiEdit.h"
#include "Sequencer.h"
#include "SongObjects.h"
#include "contrast.h"
#include "controltracksmall.h"
#include "editview.h"
#include "soundenginerig.h"
#include "testlanguage.h"

#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QListView>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <unistd.h>

using Action = std::function<void(ControlTrackSmall *)>;
Q_DECLARE_METATYPE(Action)

namespace {

using TestUtil::child;

QString text(QWidget *w, const char *name)
{
    return child<QLabel>(w, name)->text();
}

void click(QWidget *w, const char *name)
{
    QTest::mouseClick(child<QPushButton>(w, name), Qt::LeftButton);
}

// Opens the strip's chooser from its instrument name; the pop-up shown.
QWidget *openChooser(ControlTrackSmall *s)
{
    QLabel *name = child<QLabel>(s, "instrLabel");
    QTest::mousePress(s, Qt::LeftButton, {}, name->mapTo(s, name->rect().center()));
    return QApplication::activePopupWidget();
}

// song.mp3's audio behind a tag the program reads but must not rewrite.
QByteArray withTag(const QByteArray &mp3, const QString &kind)
{
    const auto syncsafe = [](int n) {
        const char size[4] = {char(n >> 21 & 127), char(n >> 14 & 127), char(n >> 7 & 127), char(n & 127)};
        return QByteArray(size, 4);
    };
    const int audio = mp3.startsWith("ID3") ? 10 + (mp3[6] << 21 | mp3[7] << 14 | mp3[8] << 7 | mp3[9]) : 0;
    QByteArray head("ID3\x03\x00\x00", 6);
    QByteArray frames("TIT2\0\0\0\x05\0\0\0Tone", 15);
    if (kind == "v2.2") {
        head[3] = 2;
        frames = QByteArray("TT2\0\0\x05\0Tone", 10);
    } else if (kind == "unsynchronised") {
        head[5] = char(0x80);
    } else {
        head[5] = 0x40; // an extended header carrying a CRC
        frames.prepend(QByteArray("\0\0\0\x0a\x80\0\0\0\0\0\x12\x34\x56\x78", 14));
    }
    return head + syncsafe(int(frames.size())) + frames + mp3.mid(audio);
}

} // namespace

class TestEditView : public QObject
{
    Q_OBJECT
    std::unique_ptr<SoundEngineRig> m_rig;
    std::unique_ptr<editView> m_page;
    QString m_mid, m_mp3, m_short;
    QByteArray m_midBytes, m_mp3Bytes, m_shortBytes;
    QStringList m_restarts;
    // "title|text" of each message box, answered with the button named first
    // in m_answers (Yes when none is).
    QStringList m_boxes;
    QList<QMessageBox::StandardButton> m_answers;
    QTimer m_boxAnswerer;

    MidiEdit *edit() { return m_rig->engine->midiEdit(); }
    const MidiEditTrack &edited(int channel) { return edit()->editedData().tracks[channel - 1][0]; }
    bool play(const QString &path)
    {
        if (!m_rig->play(path))
            return false;
        m_page->setBpmAndKeySign(currSong->info().bpm, QString());
        return true;
    }

private slots:
    void initTestCase()
    {
        connect(&m_boxAnswerer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                m_boxes << box->windowTitle() + "|" + box->text();
                const auto answer = m_answers.isEmpty() ? QMessageBox::Yes : m_answers.takeFirst();
                if (QAbstractButton *button = box->button(answer))
                    button->click();
                else
                    box->done(0);
            }
        });
        m_boxAnswerer.start(20);
        m_rig = std::make_unique<SoundEngineRig>();
        SoundEngineRig::makeSongs(m_rig->dir.path());
        m_mid = m_rig->dir.filePath("mix.mid");
        m_mp3 = m_rig->dir.filePath("song.mp3");
        m_short = m_rig->dir.filePath("short.mid");
        TestUtil::runPython("playback/make_midiedit_song.py", {"write", m_short, "2"});
        m_shortBytes = TestUtil::readFile(m_short);
        m_midBytes = TestUtil::readFile(m_mid);
        m_mp3Bytes = TestUtil::readFile(m_mp3);
    }
    void init()
    {
        for (const QString &song : {m_mid, m_mp3, m_short})
            QFile::remove(song + ".bak");
        QVERIFY(TestUtil::writeFile(m_mid, m_midBytes) && TestUtil::writeFile(m_mp3, m_mp3Bytes)
                && TestUtil::writeFile(m_short, m_shortBytes));
        m_page = std::make_unique<editView>(nullptr, m_rig->engine.get());
        m_restarts.clear();
        m_boxes.clear();
        m_answers.clear();
        connect(m_page.get(), &editView::restartSong, this, [this](const QString &path, int action) {
            m_restarts << QStringLiteral("%1 %2").arg(QFileInfo(path).fileName()).arg(action);
            QVERIFY(play(path));
        });
    }
    void cleanup()
    {
        m_rig->stop();
        m_page.reset();
    }

    void stripsFollowTheSong()
    {
        QVERIFY(play(m_mid));
        QVERIFY(m_page->strip(2)->isDrum());
        // The notes of channel 1 mark its strip.
        QVERIFY(SoundEngineRig::waitFor([&] { return text(m_page->strip(0), "asteriskLabel") == " * "; }));

        // An MP3 gets no strips; its tempo label shows the tempo it plays at.
        QVERIFY(play(m_mp3));
        QCOMPARE(m_page->stripCount(), 0);
        m_page->setBpmAndKeySign(120, QString());
        click(m_page.get(), "plusBpm");
        click(m_page.get(), "plusBpm");
        QCOMPARE(text(m_page.get(), "labelBpm"), QStringLiteral("122 [+2%]"));
        m_rig->stop();
        QCOMPARE(text(m_page.get(), "labelBpm"), QStringLiteral(" [0]"));
        QCOMPARE(text(m_page.get(), "labelKey"), QStringLiteral(" [0]"));
    }

    // While notes come and go the rows hold still: no control of any row
    // moves or changes size, and the rows' controls stand one under another.
    void rowsHoldStillWhilePlaying()
    {
        m_page->resize(1280, 600);
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
        QVERIFY(play(m_mid));
        QVERIFY(m_page->stripCount() >= 3);
        const auto geometry = [&] {
            QStringList out;
            for (int row = 0; row < m_page->stripCount(); ++row)
                for (QWidget *w : m_page->strip(row)->findChildren<QWidget *>()) {
                    const QRect r(w->mapTo(m_page.get(), QPoint()), w->size());
                    out << QStringLiteral("row %1 %2 %3,%4 %5x%6")
                               .arg(row)
                               .arg(w->objectName())
                               .arg(r.x())
                               .arg(r.y())
                               .arg(r.width())
                               .arg(r.height());
                }
            return out;
        };
        QCoreApplication::processEvents();
        const QStringList still = geometry();
        QString mark = text(m_page->strip(0), "asteriskLabel");
        int changes = 0;
        QVERIFY(SoundEngineRig::waitFor([&] {
            QCoreApplication::processEvents();
            const QString now = text(m_page->strip(0), "asteriskLabel");
            if (now != mark) {
                mark = now;
                ++changes;
                [&] { QCOMPARE(geometry(), still); }();
            }
            return changes >= 4 || QTest::currentTestFailed();
        }));
        QVERIFY(!QTest::currentTestFailed());
        const auto x = [&](int row, const char *name) {
            QWidget *w = child<QWidget>(m_page->strip(row), name);
            return w->mapTo(m_page.get(), QPoint()).x();
        };
        for (int row = 1; row < m_page->stripCount(); ++row)
            for (const char *name : {"channelLabel", "instrLabel", "horizontalSlider", "muteButton", "undoButton"})
                QVERIFY2(x(row, name) == x(0, name), name);
    }

    // Every control of every row is reached with Tab, its row scrolled into
    // sight (the page shows one row of three), and used from the keyboard: Space
    // mutes, the arrows move the volume, Return on the instrument name opens
    // the chooser.
    void rowsByKeyboard()
    {
        m_page->show();
        QApplication::setActiveWindow(m_page.get());
        QVERIFY(QTest::qWaitForWindowActive(m_page.get()));
        QVERIFY(play(m_mid));
        QVERIFY(m_page->stripCount() >= 3);
        m_page->resize(1280, 88 + m_page->strip(0)->sizeHint().height() + 4);
        auto *rows = child<QListView>(m_page.get(), "listInstruments");
        QTRY_VERIFY(!rows->viewport()->rect().intersects(rows->visualRect(rows->model()->index(2, 0))));
        const char *const controls[] = {"frameInstr", "horizontalSlider", "trackPlayButton", "muteButton",
                                        "soloButton", "undoButton"};
        QSet<QWidget *> wanted;
        for (int row = 0; row < m_page->stripCount(); ++row)
            for (const char *name : controls)
                wanted << child<QWidget>(m_page->strip(row), name);
        m_page->setFocus();
        QStringList unseen;
        for (int i = 0; i < 200 && !wanted.isEmpty(); ++i) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : m_page.get(), Qt::Key_Tab);
            QWidget *now = QApplication::focusWidget();
            wanted.remove(now);
            if (!now || !rows->viewport()->isAncestorOf(now))
                continue;
            if (!rows->viewport()->rect().contains(QRect(now->mapTo(rows->viewport(), QPoint()), now->size())))
                unseen << now->objectName() + " of " + now->parentWidget()->objectName();
        }
        QCOMPARE(unseen, QStringList());
        for (QWidget *w : std::as_const(wanted))
            qWarning() << "not reached:" << w->objectName() << "of" << w->parentWidget()->objectName();
        QVERIFY(wanted.isEmpty());

        ControlTrackSmall *s = m_page->strip(0);
        child<QWidget>(s, "muteButton")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(int(edited(1).muteSolo), 1);
        QSlider *volume = child<QSlider>(s, "horizontalSlider");
        volume->setFocus();
        QTest::keyClick(volume, Qt::Key_Left);
        QCOMPARE(int(edited(1).volume), volume->value());
        QVERIFY(volume->value() < 100);
        child<QWidget>(s, "frameInstr")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QWidget *chooser = QApplication::activePopupWidget();
        QVERIFY(chooser);
        chooser->close();
    }

    // The page reads on its dark ground: its texts stand out from the
    // picture behind them, the volume track shows beside its filled part,
    // and the two picture-only header buttons say what they do.
    void looks()
    {
        QVERIFY(play(m_mid));
        m_page->resize(1000, 400);
        const QImage page = m_page->grab().toImage();
        for (const char *name : {"labelKey", "labelBpm", "channelLabel", "instrLabel"}) {
            QLabel *label = child<QLabel>(m_page.get(), name);
            const QColor ground = page.pixelColor(label->mapTo(m_page.get(), QPoint(1, 1)));
            QVERIFY2(Contrast::ratio(label->palette().color(QPalette::WindowText), ground) >= 4.5, name);
        }
        QSlider *volume = child<QSlider>(m_page->strip(0), "horizontalSlider");
        const QPoint filled = volume->mapTo(m_page.get(), QPoint(40, volume->height() / 2));
        QVERIFY(Contrast::ratio(page.pixelColor(filled), page.pixelColor(filled.x(), filled.y() - 15)) >= 3);
        for (const char *name : {"globalUndoButton", "restoreSettingsButton"})
            QVERIFY2(!child<QPushButton>(m_page.get(), name)->toolTip().isEmpty(), name);
    }

    void keyLabel_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("notation");
        QTest::addColumn<int>("steps");
        QTest::addColumn<QString>("label");
        QTest::newRow("none") << QString() << 1 << 0 << " [0]";
        QTest::newRow("up two") << "C" << 1 << 2 << "D [+2]";
        QTest::newRow("down three, Italian") << "Am" << 0 << -3 << "Fa#m [-3]";
        QTest::newRow("past the range") << "C" << 1 << 14 << "C [+12]";
        // Longer than the transposer takes: cut, never past its buffer.
        QTest::newRow("hostile") << QString(300, 'G') << 1 << 0 << QString(24, 'G') + " [0]";
    }
    void keyLabel()
    {
        QFETCH(QString, key);
        QFETCH(int, notation);
        QFETCH(int, steps);
        QFETCH(QString, label);
        QVERIFY(play(m_mid));
        m_page->setChordLang(notation);
        m_page->setBpmAndKeySign(120, key);
        for (int i = 0; i < qAbs(steps); ++i)
            click(m_page.get(), steps > 0 ? "plusButtonKey" : "minusButtonKey");
        QCOMPARE(text(m_page.get(), "labelKey"), label);
        QCOMPARE(m_rig->engine->getDeltaKey(), qBound(-12, steps, 12));
    }

    void keyCountsFromTheSongsKey_data()
    {
        QTest::addColumn<QString>("song");
        QTest::newRow("MIDI") << "mix.mid";
        QTest::newRow("MP3") << "song.mp3";
    }
    // Between plays, stopped or loaded again, the page shows the key the song
    // keeps and its buttons count from it.
    void keyCountsFromTheSongsKey()
    {
        QFETCH(QString, song);
        const QString path = m_rig->dir.filePath(song);
        QVERIFY(play(path));
        click(m_page.get(), "plusButtonKey");
        click(m_page.get(), "plusButtonKey");
        m_rig->engine->setPlayingState(SoundEngine::ePsReady);
        QCOMPARE(text(m_page.get(), "labelKey"), QStringLiteral(" [+2]"));
        click(m_page.get(), "plusButtonKey");
        QCOMPARE(m_rig->engine->getDeltaKey(), 3);
        QCOMPARE(text(m_page.get(), "labelKey"), QStringLiteral(" [+3]"));
        QCOMPARE(m_rig->engine->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
        QCOMPARE(text(m_page.get(), "labelKey"), QStringLiteral(" [+3]"));
        m_rig->stop();
        QCOMPARE(text(m_page.get(), "labelKey"), QStringLiteral(" [0]"));

        QVERIFY(currSong->loadSongFile(path));
        QCOMPARE(text(m_page.get(), "labelKey"), QStringLiteral(" [+3]"));
        click(m_page.get(), "minusButtonKey");
        QCOMPARE(m_rig->engine->getDeltaKey(), 2);
    }

    void stripControlsReachTheMix_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QList<int>>("channel1"); // state, program, volume
        QTest::newRow("volume drag") << Action([](ControlTrackSmall *s) {
            QSlider *v = child<QSlider>(s, "horizontalSlider");
            v->setSliderDown(true);
            v->setSliderPosition(70);
            v->setSliderDown(false);
        }) << QList<int>{0, 24, 70};
        QTest::newRow("mute") << Action([](ControlTrackSmall *s) { click(s, "muteButton"); }) << QList<int>{1, 24, 100};
        QTest::newRow("solo") << Action([](ControlTrackSmall *s) { click(s, "soloButton"); }) << QList<int>{2, 24, 100};
        QTest::newRow("bass from the chooser") << Action([](ControlTrackSmall *s) {
            QWidget *chooser = openChooser(s);
            QVERIFY(chooser);
            auto *families = child<QListView>(chooser, "listViewFamiliy");
            QTest::mousePress(families->viewport(), Qt::LeftButton, {},
                              families->visualRect(families->model()->index(4, 0)).center());
            auto *items = child<QListView>(chooser, "listViewInstr");
            const QModelIndex first = items->model()->index(0, 0);
            QVERIFY(first.isValid());
            QTest::mouseClick(items->viewport(), Qt::LeftButton, {}, items->visualRect(first).center());
            QVERIFY(SoundEngineRig::waitFor([&] { return !QApplication::activePopupWidget(); }));
        }) << QList<int>{0, 32, 100};
        QTest::newRow("undo after edits") << Action([](ControlTrackSmall *s) {
            click(s, "muteButton");
            child<QSlider>(s, "horizontalSlider")->triggerAction(QAbstractSlider::SliderPageStepSub);
            click(s, "undoButton");
        }) << QList<int>{0, 24, 100};
    }
    void stripControlsReachTheMix()
    {
        QFETCH(Action, action);
        QFETCH(QList<int>, channel1);
        QVERIFY(play(m_mid));
        action(m_page->strip(0));
        const MidiEditTrack &t = edited(1);
        QCOMPARE(QList<int>({t.muteSolo, t.program, t.volume}), channel1);
        // Every layer of the channel, in the records the engine plays.
        const DbLayer &played = m_rig->engine->sequencer()->GetDbInPlay()->layers[0][3];
        QCOMPARE(int(played.muteSolo), channel1[0]);
        // The stop writes exactly what differs from the file.
        const bool changed = edit()->hasUnsavedEdits();
        m_rig->stop();
        QCOMPARE(QFile::exists(m_mid + ".bak"), changed);
        QVERIFY(play(m_mid));
        QCOMPARE(QList<int>({edited(1).muteSolo, edited(1).program, edited(1).volume}), channel1);
    }

    void volumeByAnyMeans_data()
    {
        QTest::addColumn<Action>("action");
        QTest::newRow("click on the groove") << Action([](ControlTrackSmall *s) {
            QSlider *v = child<QSlider>(s, "horizontalSlider");
            QTest::mouseClick(v, Qt::LeftButton, {}, QPoint(40, v->height() / 2));
        });
        QTest::newRow("key") << Action([](ControlTrackSmall *s) {
            QTest::keyClick(child<QSlider>(s, "horizontalSlider"), Qt::Key_PageDown);
        });
        QTest::newRow("wheel") << Action([](ControlTrackSmall *s) {
            QSlider *v = child<QSlider>(s, "horizontalSlider");
            const QPointF at(v->width() / 2.0, v->height() / 2.0);
            QWheelEvent wheel(at, v->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(v, &wheel);
        });
    }
    // However the user moves a channel's volume it is heard, counted as an
    // edit and kept in the song file; the values the page itself gives the
    // slider are no edits.
    void volumeByAnyMeans()
    {
        QFETCH(Action, action);
        QVERIFY(play(m_mid));
        QVERIFY(!edit()->hasUnsavedEdits());
        ControlTrackSmall *s = m_page->strip(0);
        action(s);
        const int value = child<QSlider>(s, "horizontalSlider")->value();
        QVERIFY2(value < 100, qPrintable(QString::number(value)));
        QCOMPARE(int(edited(1).volume), value);
        QVERIFY(edit()->hasUnsavedEdits());
        m_rig->stop();
        QCOMPARE(TestUtil::runPython("playback/make_midiedit_song.py", {"volume", m_mid, "0"}),
                 QByteArray::number(value - 100) + "\n");
        QVERIFY(play(m_mid));
        QCOMPARE(child<QSlider>(m_page->strip(0), "horizontalSlider")->value(), value);
        QVERIFY(!edit()->hasUnsavedEdits());
    }

    // Each button of a channel row says what it does, in the language
    // shown; so do the chooser's instrument families.
    void stripsSayWhatTheyDo()
    {
        QVERIFY(play(m_mid));
        ControlTrackSmall *strip = m_page->strip(0);
        const char *const buttons[] = {"trackPlayButton", "muteButton", "soloButton", "undoButton"};
        const auto tips = [&] {
            QStringList out;
            for (const char *name : buttons)
                out << child<QPushButton>(strip, name)->toolTip();
            return out;
        };
        QCOMPARE(tips(), QStringList({"Play this channel", "Mute this channel", "Play this channel alone",
                                      "Undo this channel's changes"}));
        TestLanguage italian("it");
        QCOMPARE(tips(), QStringList({"Suona questo canale", "Silenzia questo canale", "Suona solo questo canale",
                                      "Annulla le modifiche di questo canale"}));
        QWidget *chooser = openChooser(strip);
        QVERIFY(chooser);
        const QAbstractItemModel *families = child<QListView>(chooser, "listViewFamiliy")->model();
        QCOMPARE(families->rowCount(), 16);
        QCOMPARE(families->index(3, 0).data().toString(), QString("Chitarra"));
        chooser->close();
    }

    // Every family name shows whole in the chooser, German's long ones too.
    void chooserFamiliesWhole()
    {
        QVERIFY(play(m_mid));
        TestLanguage german("de");
        QWidget *chooser = openChooser(m_page->strip(0));
        QVERIFY(chooser);
        auto *families = child<QListView>(chooser, "listViewFamiliy");
        // The channel's own instrument is marked in its family: the guitar
        // of channel 1 (program 24).
        QCOMPARE(families->currentIndex().row(), 3);
        QVERIFY(families->selectionModel()->isSelected(families->currentIndex()));
        auto *items = child<QListView>(chooser, "listViewInstr");
        QCOMPARE(items->currentIndex().data().toString(), child<QLabel>(m_page->strip(0), "instrLabel")->text());
        QVERIFY(items->selectionModel()->isSelected(items->currentIndex()));
        QVERIFY(items->viewport()->rect().contains(items->visualRect(items->currentIndex()).center()));
        for (int row = 0; row < families->model()->rowCount(); ++row) {
            const QModelIndex i = families->model()->index(row, 0);
            const int needed = families->fontMetrics().horizontalAdvance(i.data().toString());
            QVERIFY2(needed <= families->viewport()->width() - 4,
                     qPrintable(QStringLiteral("%1: %2 of %3 px").arg(i.data().toString()).arg(needed)
                                    .arg(families->viewport()->width())));
        }
        chooser->close();
    }

    void drumChooserListsKits()
    {
        QVERIFY(play(m_mid));
        QWidget *chooser = openChooser(m_page->strip(2));
        QVERIFY(chooser);
        QVERIFY(child<QListView>(chooser, "listViewFamiliy")->isHidden());
        auto *kits = child<QListView>(chooser, "listViewInstr");
        QCOMPARE(kits->currentIndex().data().toString(), child<QLabel>(m_page->strip(2), "instrLabel")->text());
        QPointer<QWidget> gone(chooser);
        chooser->close();
        QVERIFY(SoundEngineRig::waitFor([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return gone.isNull();
        }));
        // A press on the slider opens nothing.
        QSlider *v = child<QSlider>(m_page->strip(2), "horizontalSlider");
        QTest::mousePress(m_page->strip(2), Qt::LeftButton, {}, v->geometry().center());
        QVERIFY(!QApplication::activePopupWidget());
    }

    void savedWhateverEndsTheSong_data()
    {
        QTest::addColumn<QString>("ending");
        for (const char *ending : {"stop", "end", "another song", "unload"})
            QTest::newRow(ending) << QString(ending);
    }
    // Whatever ends an edited song, the stop writes the same records, for
    // the channels the song has, and the song comes back as it was left.
    void savedWhateverEndsTheSong()
    {
        QFETCH(QString, ending);
        QVERIFY(play(m_short));
        click(m_page->strip(1), "muteButton");
        click(m_page.get(), "plusButtonKey");
        click(m_page.get(), "plusButtonKey");
        if (ending == "stop")
            m_rig->stop();
        else if (ending == "end")
            QVERIFY(SoundEngineRig::waitFor([] { return !currSong->isLoaded(); }));
        else if (ending == "another song")
            QVERIFY(currSong->loadSongFile(m_mp3));
        else
            currSong->unloadSongFile();
        QCOMPARE(m_page->stripCount(), 0);
        const QByteArray mido = TestUtil::runPython("playback/make_midiedit_song.py",
                                                    {"compare", m_short + ".bak", m_short});
        QCOMPARE(mido, QByteArray("same song\n10\n1E 0 0\n1E 3 0\n1E 9 0\n1F 0 0\n1F 3 0\n1F 9 0\n"
                                  "2F 0 0\n3F 0 0\n4F 0 0\n5F 0 0\n"));
        QVERIFY(play(m_short));
        QCOMPARE(m_rig->engine->getDeltaKey(), 2);
        QList<int> shown;
        for (int row = 0; row < m_page->stripCount(); ++row) {
            ControlTrackSmall *s = m_page->strip(row);
            shown << s->channel() << child<QSlider>(s, "horizontalSlider")->value()
                  << int(edited(s->channel()).muteSolo);
        }
        QCOMPARE(shown, QList<int>({1, 100, 0, 4, 80, 1, 10, 90, 0}));
    }

    void failedSaveIsTold_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason"); // part of what the page says
        QTest::addColumn<bool>("atStart");   // told when the song starts: never kept
        QTest::newRow("folder made read-only") << "read-only" << "folder is read-only" << false;
        QTest::newRow("full disk") << "full disk" << "File too large" << false;
        QTest::newRow("MP3, ID3 version 2.2") << "v2.2" << "ID3 tag" << true;
        QTest::newRow("MP3, unsynchronised tag") << "unsynchronised" << "ID3 tag" << true;
        QTest::newRow("MP3, tag with a checksum") << "checksum" << "ID3 tag" << true;
        QTest::newRow("MIDI, first track past the end") << "long track" << "first track" << true;
    }
    // The stop cannot write the edits: the page says so once, with the
    // reason, and nothing is written beside the song or into it. A song the
    // program cannot edit is told as it starts, and its edits are not kept;
    // other edits are kept, and the page says they will be written again.
    void failedSaveIsTold()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        QFETCH(bool, atStart);
        QTemporaryDir dir;
        const QString songs = dir.filePath("songs");
        QVERIFY(QDir().mkpath(songs));
        const bool mp3 = fault.startsWith('v') || fault.endsWith("ed") || fault == "checksum";
        const QString name = mp3 ? "song.mp3" : "mix.mid";
        const QString path = songs + "/" + name;
        QByteArray bytes = mp3 ? withTag(m_mp3Bytes, fault) : m_midBytes;
        if (fault == "long track") {
            // One track, whose length claims 256 bytes more than the file has: it plays.
            TestUtil::runPython("playback/make_midiedit_song.py", {"write", path, "2", "0"});
            bytes = TestUtil::readFile(path);
            bytes[20] = char(bytes[20] + 1);
        }
        QVERIFY(TestUtil::writeFile(path, bytes));
        QVERIFY(play(path));
        const QString said = m_page->saveMessage();
        if (atStart)
            QVERIFY2(said.startsWith("The changes to " + name + " are heard but will not be kept: ") && said.contains(reason),
                     qPrintable(said));
        else
            QCOMPARE(said, QString());
        if (mp3)
            click(m_page.get(), "minusBpm");
        else
            click(m_page->strip(1), "muteButton");

        if (fault == "read-only") {
            using P = QFileDevice;
            const auto readable = P::ReadOwner | P::ExeOwner | P::ReadOther | P::ExeOther;
            QFile::setPermissions(dir.path(), readable | P::WriteOwner);
            QFile::setPermissions(songs, readable);
            // Root ignores folder permissions: the stop runs as nobody.
            QVERIFY(geteuid() != 0 || seteuid(65534) == 0);
            m_rig->stop();
            QVERIFY(getuid() != 0 || seteuid(0) == 0);
            QFile::setPermissions(songs, readable | P::WriteOwner);
        } else if (fault == "full disk") {
            QVERIFY(TestUtil::onFullDisk(bytes.size() / 2, [this] { m_rig->stop(); }));
        } else {
            m_rig->stop();
        }
        QCOMPARE(TestUtil::readFile(path), bytes);
        QCOMPARE(QDir(songs).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        const QString told = m_page->saveMessage();
        const QString why = told.mid(told.indexOf(": ") + 2).section(". ", 0, 0);
        QVERIFY2(why.contains(reason), qPrintable(told));
        if (atStart) {
            QCOMPARE(told, "The changes to " + name + " were not kept: " + why);
            // Nothing is left to try again at quit.
            QCOMPARE(m_page->saveBeforeQuit(), QString());
        } else {
            QCOMPARE(told, "The changes to " + name + " could not be written yet: " + why +
                               ". They are kept and will be written again at the next stop or when the program "
                               "quits.");
        }
        {
            // Said again in a language chosen while it shows.
            TestLanguage italian("it");
            QCOMPARE(m_page->saveMessage(),
                     atStart ? "Le modifiche a " + name + " non sono state mantenute: " + why
                             : "Le modifiche a " + name + " non sono ancora state scritte: " + why +
                                   ". Restano in sospeso e saranno scritte al prossimo arresto o all'uscita dal "
                                   "programma.");
        }
        QCOMPARE(m_page->saveMessage(), told);
        // Pending edits are tried again at the next stop, beside another
        // song's (an MP3 unloaded with no stop first, its offsets saved into
        // its own tag). Once the cause is gone (the folder writable, space
        // freed) they are written and the message goes.
        QVERIFY(play(m_mp3));
        click(m_page.get(), "minusBpm");
        click(m_page.get(), "plusButtonKey");
        currSong->unloadSongFile();
        const QByteArray tag = TestUtil::runPython("songfiles/id3_peer.py", {"dump", m_mp3});
        // The program's own frame: "QEDT", size, flags, then 0, tempo -1, key +1.
        QVERIFY2(tag.contains("51454454") && tag.contains("00ff01"), tag);
        QCOMPARE(m_page->saveMessage(), QString());
        if (atStart) {
            QCOMPARE(TestUtil::readFile(path), bytes);
            return;
        }
        QVERIFY(play(path));
        QCOMPARE(int(edited(m_page->strip(1)->channel()).muteSolo), int(DB_MUTE));
        const QByteArray mido = TestUtil::runPython("playback/make_midiedit_song.py", {"compare", path + ".bak", path});
        QVERIFY2(mido.startsWith("same song\n"), mido);
    }

    // A song the user may not write (its file read-only, or its folder) is
    // said so as it starts; its edits are still heard, are not written, and
    // leave nothing to try again at quit.
    void readOnlySongSaidAtStart_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::newRow("file 0444") << false;
        QTest::newRow("read-only folder") << true;
    }
    void readOnlySongSaidAtStart()
    {
        QFETCH(bool, folder);
        QTemporaryDir dir;
        const QString songs = dir.filePath("songs");
        QVERIFY(QDir().mkpath(songs));
        const QString path = songs + "/mix.mid";
        QVERIFY(TestUtil::writeFile(path, m_midBytes));
        using P = QFileDevice;
        const auto readable = P::ReadOwner | P::ExeOwner | P::ReadGroup | P::ExeGroup | P::ReadOther | P::ExeOther;
        QVERIFY(QFile::setPermissions(dir.path(), readable | P::WriteOwner));
        const auto everyone = P::ReadOwner | P::ReadGroup | P::ReadOther;
        // In the folder case the song itself anyone may write.
        QVERIFY(folder ? QFile::setPermissions(songs, readable)
                             && QFile::setPermissions(path, everyone | P::WriteOwner | P::WriteGroup | P::WriteOther)
                       : QFile::setPermissions(path, everyone));
        // Root writes into any folder: the song plays for nobody.
        const bool asNobody = folder && geteuid() == 0;
        QVERIFY(!asNobody || seteuid(65534) == 0);
        QVERIFY(play(path));
        const QString said = m_page->saveMessage();
        const int channel = m_page->strip(1)->channel();
        click(m_page->strip(1), "muteButton");
        const int heard = m_rig->engine->sequencer()->GetDbInPlay()->layers[channel - 1][0].muteSolo;
        m_rig->stop();
        QVERIFY(!asNobody || seteuid(0) == 0);
        QVERIFY(QFile::setPermissions(songs, readable | P::WriteOwner));
        const QString reason = folder ? "the song's folder is read-only" : "the song file is read-only";
        QCOMPARE(said, "The changes to mix.mid are heard but will not be kept: " + reason + ".");
        QCOMPARE(heard, int(DB_MUTE));
        QCOMPARE(TestUtil::readFile(path), m_midBytes);
        QCOMPARE(QDir(songs).entryList(QDir::Files | QDir::Hidden), QStringList{"mix.mid"});
        QCOMPARE(m_page->saveMessage(), "The changes to mix.mid were not kept: " + reason + ".");
        QCOMPARE(m_page->saveBeforeQuit(), QString());
        // The next song starts with a page of its own.
        QVERIFY(play(m_mid));
        QCOMPARE(m_page->saveMessage(), QString());
    }

    // An arranger's song whose channels play without a program change (type
    // 0, no controller either): each channel that plays has its row, the
    // piano General MIDI starts with. A volume taken to nothing on one row
    // is heard, kept in the file, and heard again from it.
    void channelsWithoutProgram()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("rec1.mid");
        TestUtil::runPython("common/real_songs.py", {"rec1", path});
        QVERIFY(play(path));
        QList<int> rows;
        for (int row = 0; row < m_page->stripCount(); ++row)
            rows << m_page->strip(row)->channel() << m_page->strip(row)->isDrum() << edited(row + 1).program;
        QCOMPARE(rows, QList<int>({1, 0, 0, 2, 0, 0, 3, 0, 0}));
        click(m_page->strip(1), "muteButton");
        click(m_page->strip(2), "muteButton");
        QVERIFY(m_rig->sounding());
        QSlider *volume = child<QSlider>(m_page->strip(0), "horizontalSlider");
        QTest::keyClick(volume, Qt::Key_Home);
        QCOMPARE(int(edited(1).volume), 0);
        QVERIFY(m_rig->silent());
        m_rig->stop();
        QCOMPARE(TestUtil::runPython("playback/make_midiedit_song.py", {"volume", path, "0"}), QByteArray("-100\n"));

        QSignalSpy notes(m_rig->engine.get(), &SoundEngine::isPlayingTrack);
        QVERIFY(play(path));
        QCOMPARE(child<QSlider>(m_page->strip(0), "horizontalSlider")->value(), 0);
        // Its notes play on, and nothing is heard for two seconds.
        QVERIFY(SoundEngineRig::waitFor([&] { return notes.count() >= 4; }));
        double loudest = 0;
        for (int i = 0; i < 20; ++i) {
            QTest::qWait(100);
            loudest = std::max(loudest, m_rig->level(100));
        }
        QVERIFY2(loudest < 1e-3, qPrintable(QString::number(loudest)));
        QVERIFY(currSong->isLoaded());
    }

    // A song whose controllers run in running status, with the bytes of a
    // volume controller inside a text and two delta times: three volume
    // edits, each saved at a stop, change no event of the song and add just
    // the one volume controller the song lacks, once.
    void controllersAreEvents()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("controllers.mid");
        const QString original = dir.filePath("original.mid");
        TestUtil::runPython("common/real_songs.py", {"controllers", original});
        QVERIFY(QFile::copy(original, path));
        QList<int> volumes{100, 100};
        for (int round = 0; round < 3; ++round) {
            QVERIFY(play(path));
            QCOMPARE(m_page->stripCount(), 2);
            QSlider *volume = child<QSlider>(m_page->strip(round % 2), "horizontalSlider");
            QTest::keyClick(volume, Qt::Key_PageDown);
            volumes[round % 2] = volume->value();
            m_rig->stop();
            QCOMPARE(TestUtil::runPython("common/real_songs.py", {"check-controllers", original, path}),
                     QByteArray("ok\n"));
        }
        QVERIFY(volumes[0] < 100 && volumes[1] < 100);
        QVERIFY(play(path));
        QCOMPARE(QList<int>({child<QSlider>(m_page->strip(0), "horizontalSlider")->value(),
                             child<QSlider>(m_page->strip(1), "horizontalSlider")->value()}),
                 volumes);
    }

    // The Stop button's road: the song stays loaded at its start. A failed
    // save, then Play again: the edits are still heard and shown, and still
    // count as unsaved, so the next stop writes them. Undo on a strip goes
    // back to what the file holds, its saved mute included.
    void failedSaveStaysPending()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("mix.mid");
        QVERIFY(TestUtil::writeFile(path, m_midBytes));
        SoundEngine *engine = m_rig->engine.get();
        const auto stop = [engine] { engine->setPlayingState(SoundEngine::ePsReady); };
        const auto again = [this, engine] {
            return engine->setPlayingState(SoundEngine::ePsPlaying) == SoundEngine::ePsPlaying &&
                   SoundEngine::ePsPlaying == engine->getPlayingState() && m_page->stripCount() > 0;
        };
        QVERIFY(play(path));
        const int channel = m_page->strip(1)->channel();
        click(m_page->strip(1), "muteButton");
        stop();
        QVERIFY(again());
        QVERIFY(child<QPushButton>(m_page->strip(1), "muteButton")->isChecked());
        QVERIFY(!edit()->hasUnsavedEdits());

        // Saved muted; now its volume is lowered, and the disk is full at the stop.
        const int saved = edited(channel).volume;
        child<QSlider>(m_page->strip(1), "horizontalSlider")->triggerAction(QAbstractSlider::SliderPageStepSub);
        const int lowered = edited(channel).volume;
        QVERIFY(lowered < saved);
        const QByteArray before = TestUtil::readFile(path);
        QVERIFY(TestUtil::onFullDisk(before.size() / 2, stop));
        QCOMPARE(TestUtil::readFile(path), before);
        QVERIFY(!m_page->saveMessage().isEmpty());

        QVERIFY(again());
        QCOMPARE(edited(channel).volume, lowered);
        QCOMPARE(child<QSlider>(m_page->strip(1), "horizontalSlider")->value(), lowered);
        QVERIFY(edit()->hasUnsavedEdits());
        stop();
        QCOMPARE(m_page->saveMessage(), QString());
        QVERIFY(TestUtil::readFile(path) != before);

        // From the file: lowered and muted; undo after edits comes back to it.
        QVERIFY(play(path));
        ControlTrackSmall *strip = m_page->strip(1);
        QCOMPARE(edited(channel).volume, lowered);
        child<QSlider>(strip, "horizontalSlider")->triggerAction(QAbstractSlider::SliderPageStepAdd);
        click(strip, "trackPlayButton");
        click(strip, "undoButton");
        QCOMPARE(int(edited(channel).muteSolo), int(DB_MUTE));
        QVERIFY(child<QPushButton>(strip, "muteButton")->isChecked());
        QCOMPARE(edited(channel).volume, lowered);
    }

    void undoAndRestoreWriteNothing()
    {
        QVERIFY(play(m_mid));
        click(m_page->strip(0), "muteButton");
        click(m_page.get(), "globalUndoButton");
        QCOMPARE(m_restarts, QStringList({"mix.mid 0"}));
        QCOMPARE(TestUtil::readFile(m_mid), m_midBytes);
        QCOMPARE(int(edited(1).muteSolo), int(DB_NORMAL));

        // The restarted song saves again.
        click(m_page->strip(0), "soloButton");
        m_rig->stop();
        QVERIFY(TestUtil::readFile(m_mid) != m_midBytes);

        // Restore, once asked: the backup is put back and what was edited is
        // not written.
        QVERIFY(play(m_mid));
        QCOMPARE(int(edited(1).muteSolo), int(DB_SOLO));
        click(m_page->strip(1), "muteButton");
        click(m_page.get(), "restoreSettingsButton");
        QCOMPARE(m_boxes, QStringList{"Restore the original settings|Put mix.mid back as it was before the program "
                                      "first saved changes into it? The key, tempo and mix saved since then are "
                                      "undone."});
        QCOMPARE(TestUtil::readFile(m_mid), m_midBytes);
        QCOMPARE(int(edited(1).muteSolo), int(DB_NORMAL));
        m_rig->stop();
        QCOMPARE(TestUtil::readFile(m_mid), m_midBytes);

        // With no song nothing restarts.
        click(m_page.get(), "globalUndoButton");
        QCOMPARE(m_restarts.size(), 2);
    }

    // Edits whose save failed wait for the next stop; Restore drops them,
    // or that stop would write them over the song it put back.
    void restoreDropsAFailedSavesEdits()
    {
        QVERIFY(play(m_mid));
        click(m_page->strip(0), "muteButton");
        m_rig->stop();
        const QByteArray saved = TestUtil::readFile(m_mid);
        QVERIFY(saved != m_midBytes);
        QVERIFY(play(m_mid));
        click(m_page->strip(1), "soloButton");
        QVERIFY(TestUtil::onFullDisk(saved.size() / 2, [this] { m_rig->stop(); }));
        QCOMPARE(TestUtil::readFile(m_mid), saved);

        QVERIFY(play(m_mid));
        click(m_page.get(), "restoreSettingsButton");
        QCOMPARE(m_restarts, QStringList{"mix.mid 0"});
        QCOMPARE(TestUtil::readFile(m_mid), m_midBytes);
        m_rig->stop();
        QVERIFY(play(m_mp3));
        m_rig->stop();
        QCOMPARE(TestUtil::readFile(m_mid), m_midBytes);
    }

    // Restore never destroys what the program did not write: after another
    // program added a track it asks whether to put back the settings only,
    // and No leaves the song as it is; a song made read-only since is not
    // written, and a song with nothing to restore, or a link under its
    // backup's name, is said so.
    void restoreAsksAndKeepsOthersWork()
    {
        QVERIFY(play(m_mid));
        click(m_page->strip(0), "muteButton");
        m_rig->stop();
        QVERIFY(TestUtil::readFile(m_mid) != m_midBytes);
        const QString copy = m_mid + ".with-track";
        TestUtil::runPython("songfiles/song_tool.py", {"add-track", m_mid, copy});
        const QByteArray withTrack = TestUtil::readFile(copy);
        QVERIFY(TestUtil::writeFile(m_mid, withTrack));
        const QString question = "Restore the original settings|mix.mid was changed by another program since the "
                                 "program first saved changes into it. Only its original key, tempo and mix are put "
                                 "back; the music stays as it is now. Put them back?";

        QVERIFY(play(m_mid));
        m_answers = {QMessageBox::No};
        click(m_page.get(), "restoreSettingsButton");
        QCOMPARE(m_boxes, QStringList{question});
        QCOMPARE(TestUtil::readFile(m_mid), withTrack);
        QVERIFY(m_restarts.isEmpty());

        click(m_page.get(), "restoreSettingsButton");
        QCOMPARE(m_boxes, QStringList({question, question}));
        QCOMPARE(m_restarts, QStringList{"mix.mid 0"});
        QCOMPARE(int(edited(1).muteSolo), int(DB_NORMAL));
        QCOMPARE(TestUtil::runPython("songfiles/song_tool.py", {"records", m_mid}),
                 QByteArray(R"([{}, {}, {}, {}, {}])"));
        const QByteArray mido = TestUtil::runPython("playback/make_midiedit_song.py", {"compare", copy, m_mid});
        QVERIFY2(mido.startsWith("same song\n0\n"), mido);
        QFile::remove(copy);
        QVERIFY(!QFile::exists(m_mid + ".bak"));

        // Nothing to restore now; then a save, and the song made read-only.
        m_boxes.clear();
        click(m_page.get(), "restoreSettingsButton");
        QCOMPARE(m_boxes, QStringList{"Restore the original settings|mix.mid has no copy of its original settings: "
                                      "the program has not saved changes into it."});
        click(m_page->strip(0), "muteButton");
        m_rig->stop();
        const QByteArray saved = TestUtil::readFile(m_mid);
        QVERIFY(QFile::setPermissions(m_mid, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        QVERIFY(play(m_mid));
        m_boxes.clear();
        click(m_page.get(), "restoreSettingsButton");
        QCOMPARE(m_boxes, QStringList{"Restore the original settings|The original settings of mix.mid cannot be put "
                                      "back: the song file is read-only."});
        m_rig->stop();
        QCOMPARE(TestUtil::readFile(m_mid), saved);
        QVERIFY(QFile::exists(m_mid + ".bak"));
        QVERIFY(QFile::setPermissions(m_mid, QFileDevice::ReadOwner | QFileDevice::WriteOwner));

        // A link under the backup's name is none of the program's: said so,
        // and left alone.
        QVERIFY(QFile::remove(m_mid + ".bak") && QFile::link(m_short, m_mid + ".bak"));
        QVERIFY(play(m_mid));
        m_boxes.clear();
        click(m_page.get(), "restoreSettingsButton");
        QCOMPARE(m_boxes, QStringList{"Restore the original settings|mix.mid has no copy of its original settings: "
                                      "mix.mid.bak is a link, and is left alone."});
        QCOMPARE(QFile::symLinkTarget(m_mid + ".bak"), m_short);
        QVERIFY(QFile::remove(m_mid + ".bak"));
    }
};

VELMAR_TEST(TestEditView)

#include "tst_editview.moc"
