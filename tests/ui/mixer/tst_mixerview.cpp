// The mixer page on the real engine: the group faders, solo and mute reach
// the sequencer's group volumes and the level FluidSynth renders; the channel
// rows follow the song in play.
#include "soundenginerig.h"
#include "contrast.h"
#include "mixerview.h"
#include "volumes.h"

#include <QAbstractButton>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QSlider>
#include <QtTest>

namespace {

const char *const kGroup[] = {"Drums", "Bass", "Guitar", "Keyboards", "Orchestra", "Winds"};
const char *const kFader[] = {"drumsVolume", "bassVolume", "guitarVolume",
                              "keyboardsVolume", "OrchestraVolume", "windsVolume"};

} // namespace

class TestMixerView : public QObject
{
    Q_OBJECT
    std::unique_ptr<SoundEngineRig> m_rig;
    std::unique_ptr<mixerView> m_page;

    QAbstractButton *button(const QString &name) { return m_page->findChild<QAbstractButton *>(name); }
    QSlider *fader(int g) { return m_page->findChild<QSlider *>(kFader[g]); }
    // Each group: its volume in the sequencer, "m" when its mute shows, "s" for solo.
    QStringList groups()
    {
        QStringList out;
        for (int g = 0; g < 6; ++g)
            out << QString::number(VOLUMES_GetSliderValue(g)) +
                       (button(QString("muteButton") + kGroup[g])->isChecked() ? "m" : "") +
                       (button(QString("soloButton") + kGroup[g])->isChecked() ? "s" : "");
        return out;
    }
    int rows()
    {
        int n = 0;
        for (QFrame *f : m_page->findChildren<QFrame *>())
            if (f->property("FrameInstr").toBool())
                n += static_cast<QFormLayout *>(f->layout())->rowCount();
        return n;
    }

private slots:
    void initTestCase()
    {
        m_rig = std::make_unique<SoundEngineRig>();
        SoundEngineRig::makeSongs(m_rig->dir.path());
    }
    void init() { m_page = std::make_unique<mixerView>(nullptr, m_rig->engine.get(), *currSong); }
    void cleanup()
    {
        m_rig->stop();
        m_page.reset();
        for (int g = 0; g < 6; ++g)
            m_rig->engine->setSlidersVol(SoundEngine::eSliders(g), 127);
    }

    void soloAndMute_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QStringList>("groups");
        QTest::newRow("solo bass") << QStringList{"soloButtonBass"}
                                   << QStringList{"0m", "100s", "0m", "0m", "0m", "0m"};
        QTest::newRow("solo bass off") << QStringList{"soloButtonBass", "soloButtonBass"}
                                       << QStringList{"127", "100", "127", "127", "127", "127"};
        QTest::newRow("mute the soloed group")
            << QStringList{"soloButtonBass", "muteButtonBass"} << QStringList{"0m", "0m", "0m", "0m", "0m", "0m"};
        QTest::newRow("a second solo mutes the first")
            << QStringList{"soloButtonBass", "soloButtonWinds"}
            << QStringList{"0m", "0m", "0m", "0m", "0m", "127s"};
        QTest::newRow("mute then unmute") << QStringList{"muteButtonGuitar", "muteButtonGuitar"}
                                          << QStringList{"127", "100", "127", "127", "127", "127"};
        // A muted group's fader is heard at once; the mute still shows.
        QTest::newRow("fader of a muted group") << QStringList{"muteButtonDrums", "fader drums 64"}
                                                << QStringList{"64m", "100", "127", "127", "127", "127"};
    }
    void soloAndMute()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QStringList, groups);
        fader(1)->setValue(100);
        for (const QString &c : clicks) {
            if (c.startsWith("fader"))
                fader(0)->setValue(c.section(' ', 2).toInt());
            else
                QTest::mouseClick(button(c), Qt::LeftButton);
        }
        QCOMPARE(this->groups(), groups);
    }

    // Tab reaches every fader, solo and mute button, and Space works them;
    // the picture-only buttons say which group they act on.
    void byKeyboard()
    {
        m_page->show();
        QApplication::setActiveWindow(m_page.get());
        QVERIFY(QTest::qWaitForWindowActive(m_page.get()));
        QSet<QWidget *> wanted;
        for (int g = 0; g < 6; ++g) {
            wanted << fader(g) << button(QString("muteButton") + kGroup[g]) << button(QString("soloButton") + kGroup[g]);
            QCOMPARE(button(QString("muteButton") + kGroup[g])->toolTip(),
                     QString("Mute %1").arg(QString(kGroup[g]).toUpper()));
            QVERIFY(!button(QString("soloButton") + kGroup[g])->accessibleName().isEmpty());
        }
        QTest::mouseClick(button("soloButtonBass"), Qt::LeftButton);
        fader(0)->setFocus();
        for (int i = 0; i < 100 && !wanted.isEmpty(); ++i) {
            wanted.remove(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        for (QWidget *w : std::as_const(wanted))
            qWarning() << "not reached:" << w->objectName();
        QVERIFY(wanted.isEmpty());
        // Muted by the solo of the bass; Space lets it be heard again.
        QCOMPARE(groups().last(), QString("0m"));
        button("muteButtonWinds")->setFocus();
        QTest::keyClick(button("muteButtonWinds"), Qt::Key_Space);
        QCOMPARE(groups().last(), QString("127"));
    }

    void fadersChangeTheSound()
    {
        QVERIFY(m_rig->play(m_rig->dir.filePath("mix.mid")));
        QVERIFY(m_rig->sounding());
        // mix.mid plays a guitar, a violin and the drums.
        for (int g : {0, 2, 4})
            fader(g)->setValue(0);
        QVERIFY(m_rig->silent());
        fader(2)->setValue(127);
        QVERIFY(m_rig->sounding());
        QTest::mouseClick(button("muteButtonGuitar"), Qt::LeftButton);
        QVERIFY(m_rig->silent());
    }

    void channelRowsFollowTheSong()
    {
        QVERIFY(m_rig->play(m_rig->dir.filePath("mix.mid")));
        QCOMPARE(rows(), 3);
        QCOMPARE(m_page->frameOf(1)->objectName(), QStringLiteral("frameGuitar"));
        QCOMPARE(m_page->frameOf(4)->objectName(), QStringLiteral("frameOrchestra"));
        QCOMPARE(m_page->frameOf(10)->objectName(), QStringLiteral("frameDrums"));
        QVERIFY(!m_page->frameOf(2));
        // A second start of the same song adds nothing.
        m_rig->engine->setPlayingState(SoundEngine::ePsReady);
        m_rig->engine->setPlayingState(SoundEngine::ePsPlaying);
        QCOMPARE(rows(), 3);
        m_page->showDetails(true);
        QVERIFY(!m_page->frameOf(1)->isHidden());
        m_rig->stop();
        QCOMPARE(rows(), 0);
        QVERIFY(m_rig->play(m_rig->dir.filePath("song.mp3")));
        QCOMPARE(rows(), 0);
    }

    // The group names read at 4.5:1 or better on every tone of the
    // page's texture.
    void groupNamesContrast()
    {
        const QString sheet = m_page->styleSheet();
        const QColor text = Contrast::colour(
            Contrast::property(sheet, "QLabel[styleClass=\"groupTitle\"]", "color"));
        QString picture = Contrast::property(sheet, "[styleClass=\"textured\"]", "background-image");
        picture = picture.mid(4, picture.size() - 5); // url(...)
        const QImage texture(picture);
        QVERIFY2(!texture.isNull(), qPrintable(picture));
        QVERIFY2(Contrast::worstOver(text, texture) >= 4.5,
                 qPrintable(QString::number(Contrast::worstOver(text, texture))));
        // The rule is the one the six names are drawn by.
        int titles = 0;
        for (QLabel *label : m_page->findChildren<QLabel *>()) {
            if (label->property("styleClass").toString() != QLatin1String("groupTitle"))
                continue;
            label->ensurePolished();
            QCOMPARE(label->palette().color(QPalette::WindowText), text);
            ++titles;
        }
        QCOMPARE(titles, 6);
        // A screen reader says what a group's channel list is, not a style.
        const auto *drums = m_page->findChild<QFrame *>("frameDrums");
        const auto *title = m_page->findChild<QLabel *>("titlegroupBoxDrums");
        QVERIFY(drums && title);
        QCOMPARE(drums->accessibleName(), mixerView::tr("%1 channels").arg(title->text()));
        QVERIFY(title->accessibleName().isEmpty()); // read as its text
    }

    // The lights follow the notes; channels outside 1 to 32 light nothing.
    void lights()
    {
        QVERIFY(m_rig->play(m_rig->dir.filePath("mix.mid")));
        QVERIFY(SoundEngineRig::waitFor([&] { return m_page->isLit(1); }));
        m_rig->engine->setPlayingState(SoundEngine::ePsPaused);
        m_rig->engine->setPlayingState(SoundEngine::ePsReady);
        QVERIFY(!m_page->isLit(1));
        for (int channel : {0, 33, -1, 1000})
            m_page->isPlaying(channel, 100); // no light there
        m_page->isPlaying(1, 100);
        QVERIFY(m_page->isLit(1));
        m_page->resetLeds();
        QVERIFY(!m_page->isLit(1));
    }
};

VELMAR_TEST(TestMixerView)

#include "tst_mixerview.moc"
