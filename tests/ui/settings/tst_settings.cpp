// The settings page over the real sound engine (FluidSynth into memory),
// offscreen, settings in a temporary folder. The device tables script the devices.
#include "AudioInterface.h"
#include "Sequencer.h"
#include "SoftSynth.h"
#include "SongObjects.h"
#include "SongRW.h"
#include "SoundEngine.h"
#include "SynthAudioSink.h"
#include "ThreadPriority.h"
#include "devicesource.h"
#include "language.h"
#include "settingsview.h"
#include "testlanguage.h"
#include "testutil.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

using TestUtil::child;

namespace {

const QString kSynth = QStringLiteral("Timbra MIDI Module");
const QString kInUse = QStringLiteral("\nIt may be in use from another software, "
                                      "close the software and connect the device from the Options menu");

// Devices as the test scripts them; records every connection tried.
struct FakeDevices : DeviceSource {
    QMap<QString, int> midi{{"Midi Through Port-0", 0}, {kSynth, 1000}};
    QMap<int, QString> audio{{0, "Mono"}, {3, "Speakers"}};
    QSet<int> refusing;
    bool playing = false, midiOpen = false;
    QList<int> tried;
    QStringList named;
    int closed = 0, midiIndex = -1;
    QString synthDevice; // the synthesizer fails on this audio device
    QString synthBank;   // or for want of this sound bank

    QMap<QString, int> listSoundCards() override { return midi; }
    bool connectToSoundCardByIdx(int index) override
    {
        tried << index;
        midiIndex = index;
        return midiOpen = !refusing.contains(index) && (index != 1000 || (synthDevice.isEmpty() && synthBank.isEmpty()));
    }
    bool getIsMidiPortConnected() override { return midiOpen; }
    int midiOutputIndex() override { return midiIndex; }
    QString failedAudioDevice() override { return !midiOpen && midiIndex == 1000 ? synthDevice : QString(); }
    QString failedSoundBank() override { return !midiOpen && midiIndex == 1000 ? synthBank : QString(); }
    void closeMidiPort() override { ++closed, midiOpen = false; }
    QMap<int, QString> listAudioDevices() override { return audio; }
    int getDefaultOutputAudioDevice() override { return 3; }
    bool connectAudioDeviceById(int id, const QString &name) override
    {
        tried << id;
        named << name;
        return !refusing.contains(id);
    }
    bool isPlaying() override { return playing; }
};

// The page with its boxes answered by the test.
class Page : public SettingsView
{
public:
    using SettingsView::SettingsView;
    QStringList warnings;
    bool answer = false;

protected:
    QWidget *warn(const QString &text) override { return warnings << text, nullptr; }
    bool confirm(const QString &, const QString &) override { return answer; }
};

QSettings store()
{
    return QSettings(QStringLiteral("Kvero"), QStringLiteral("VelmarPC"));
}

// The value stored under group/name in the settings file on disk.
QString storedOnDisk(const QString &key)
{
    const QRegularExpression line("\\[" + key.section('/', 0, 0) + "\\][^[]*\n" + key.section('/', 1) + "=([^\n]*)");
    return line.match(QString::fromUtf8(TestUtil::readFile(store().fileName()))).captured(1);
}

// Whether the calling thread may use the capability that lets root raise
// a thread (when it holds it at all); the threads it starts inherit that.
// Without it the system refuses real-time scheduling, as it refuses an
// ordinary user.
void useNiceCapability(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    const unsigned bit = 1u << (CAP_SYS_NICE % 32);
    __user_cap_data_struct &word = data[CAP_SYS_NICE / 32];
    if (syscall(SYS_capget, &header, data) != 0 || !(word.permitted & bit))
        return;
    word.effective = on ? word.effective | bit : word.effective & ~bit;
    syscall(SYS_capset, &header, data);
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<SoundEngine> m_engine;

    SoundEngine *engine()
    {
        SoundEngine::Devices devices{std::make_unique<OfflineAudioSink>(44100), std::make_unique<Sound::PullAudioSink>(),
                                     QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2")};
        m_engine = std::make_unique<SoundEngine>(std::move(devices));
        return m_engine.get();
    }
    static std::unique_ptr<DeviceSource> devices(FakeDevices **fake)
    {
        auto d = std::make_unique<FakeDevices>();
        *fake = d.get();
        return d;
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("config"));
        TestUtil::runPython(QStringLiteral("../scripts/make_engine_songs.py"), {m_dir.path()});
    }

    void init() { store().clear(); }

    void cleanup() { m_engine.reset(); }

    // A first start, and stored values outside the lists.
    void startValues_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("size past the list") << "Karaoke/FontSize" << QVariant(3)
                                            << "Verdana 46 132 #111111 #FFFFFF #edcb0c 0 0 1 1 0 1 0 1";
        QTest::newRow("colour past the list") << "Karaoke/BackColor" << QVariant(8)
                                              << "Verdana 46 132 #000000 #FFFFFF #edcb0c 0 0 1 1 0 1 0 1";
        QTest::newRow("image without a path") << "Karaoke/BackImageEnabled" << QVariant(true)
                                              << "Verdana 46 132 #111111 #FFFFFF #edcb0c 0 0 1 1 0 1 0 1";
        QTest::newRow("offset") << "Playback/LiricsTimeOffset" << QVariant(250)
                                << "Verdana 46 132 #111111 #FFFFFF #edcb0c 0 250 1 1 0 1 250 1";
        QTest::newRow("German") << "System/Lang" << QVariant(2)
                                << "Verdana 46 132 #111111 #FFFFFF #edcb0c 0 0 1 1 0 2 0 1";
        QTest::newRow("unknown language: English") << "System/Lang" << QVariant(7)
                                                   << "Verdana 46 132 #111111 #FFFFFF #edcb0c 0 0 1 1 0 1 0 1";
    }
    void startValues()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, shown);
        if (stored.isValid())
            store().setValue(key, stored);
        SettingsView p(nullptr, engine());
        const QList<QVariant> values{p.getFont(), p.getFontSize(), int(p.getTextAlign()), p.getKarBackColor(),
                                     p.getKarTextColor(), p.getKarHlColor(), p.isKarBackImageEnabled(),
                                     p.getLyricsTimeOffset(), p.getChordMode(), p.getFstRun(), p.getPlayAction(),
                                     child<QComboBox>(&p, "languageCombo")->currentIndex(),
                                     child<QSpinBox>(&p, "spinBoxLyricsOffset")->value(),
                                     m_engine->sequencer()->getFastRun()};
        QStringList texts;
        for (const QVariant &v : values)
            texts << (v.typeId() == QMetaType::Bool ? QString::number(v.toInt()) : v.toString());
        QCOMPARE(texts.join(' '), shown);
        // The offset says its unit.
        QCOMPARE(child<QSpinBox>(&p, "spinBoxLyricsOffset")->text(),
                 QString::number(p.getLyricsTimeOffset()) + " ms");
    }

    // Each choice is reported at once, written to the settings file and
    // shown again by the page of the next start.
    void choicesLastToTheNextStart_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("signal");
        QTest::addColumn<QVariant>("reported");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::newRow("play action") << QByteArray("actionCombo") << 1 << QByteArray() << QVariant()
                                     << "System/DoubleClickAction" << "1";
        QTest::newRow("chords") << QByteArray("chordCombo") << 0 << QByteArray("chordChanged(int)") << QVariant(0)
                                << "MidiSettings/Chord" << "0";
        QTest::newRow("offset") << QByteArray("spinBoxLyricsOffset") << 300 << QByteArray("lyricsOffsetChanged(int)")
                                << QVariant(300) << "Playback/LiricsTimeOffset" << "300";
        QTest::newRow("fast run") << QByteArray("fastRunCheck") << 0 << QByteArray() << QVariant()
                                  << "MidiSettings/FastRun" << "false";
    }
    void choicesLastToTheNextStart()
    {
        QFETCH(QByteArray, control);
        QFETCH(int, value);
        QFETCH(QByteArray, signal);
        QFETCH(QVariant, reported);
        QFETCH(QString, key);
        QFETCH(QString, stored);
        {
            SettingsView page(nullptr, engine());
            QSignalSpy spy(&page, signal.isEmpty() ? "2destroyed()" : "2" + signal);
            QWidget *w = child<QWidget>(&page, control.constData());
            if (auto *combo = qobject_cast<QComboBox *>(w)) {
                combo->setCurrentIndex(value);
                emit combo->activated(value);
            } else if (auto *spin = qobject_cast<QSpinBox *>(w)) {
                spin->setValue(value);
            } else {
                qobject_cast<QAbstractButton *>(w)->click();
            }
            QCOMPARE(spy.size(), signal.isEmpty() ? 0 : 1);
            if (!signal.isEmpty())
                QCOMPARE(spy.first().first(), reported);
        }
        QCOMPARE(storedOnDisk(key), stored);
        SettingsView next(nullptr, engine());
        QWidget *w = child<QWidget>(&next, control.constData());
        const QByteArray property = qobject_cast<QComboBox *>(w) ? "currentIndex"
                                    : qobject_cast<QSpinBox *>(w) ? "value"
                                                                  : "checked";
        QCOMPARE(w->property(property).toInt(), value);
        QCOMPARE(m_engine->sequencer()->getFastRun(), int(next.getFstRun()));
    }

    // Start-up connection: the output chosen last, else the synthesizer,
    // else the first output by name; the device chosen last, else the
    // default audio device, else the first one; each name listed once (the
    // first device of it), a stored place among devices of one name left
    // aside. A fallback is never remembered; a failure names what failed,
    // and a device chosen last that did not open is named once. A
    // synthesizer without its sound bank is left to the window, which
    // offers the bank.
    void startUpConnection_data()
    {
        QTest::addColumn<bool>("midi");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QVariant>("occurrence");
        QTest::addColumn<QList<int>>("refusing");
        QTest::addColumn<QList<int>>("tried");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("warning");
        using L = QList<int>;
        const QVariant none;
        QTest::newRow("midi: synthesizer first") << true << "" << none << L{} << L{1000} << 1 << "";
        QTest::newRow("midi: the port chosen last") << true << "Midi Through Port-0" << none << L{} << L{0} << 0 << "";
        QTest::newRow("midi: chosen port gone") << true << "USB Keys" << none << L{} << L{1000} << 1 << "";
        QTest::newRow("midi: chosen port refuses")
            << true << "Midi Through Port-0" << none << L{0} << L{0, 1000} << 1
            << "The MIDI output Midi Through Port-0 could not be opened: MIDI songs play on " + kSynth + ".";
        QTest::newRow("midi: synthesizer refuses") << true << "" << none << L{1000} << L{1000, 0} << 0 << "";
        QTest::newRow("midi: nothing opens") << true << "" << none << L{0, 1000} << L{1000, 0} << -1
                                             << "Cannot connect to the MIDI Device: " + kSynth + ", Midi Through Port-0" + kInUse;
        QTest::newRow("midi: the synthesizer's audio device fails")
            << true << kSynth << none << L{0} << L{1000, 0} << -1 << "Cannot connect to the audio device: Speakers";
        QTest::newRow("midi: the synthesizer's bank is missing, a port opens")
            << true << kSynth << none << L{} << L{1000, 0} << 0
            << "The sound bank of the software synthesizer is missing or cannot be read: /nowhere/Basic.sfc\n"
               "MIDI songs play on Midi Through Port-0.";
        QTest::newRow("midi: the synthesizer's bank is missing, nothing opens")
            << true << kSynth << none << L{0} << L{1000, 0} << -1 << "";
        QTest::newRow("audio: system default") << false << "" << none << L{} << L{3} << 1 << "";
        QTest::newRow("audio: the device chosen last") << false << "Mono" << none << L{} << L{0} << 0 << "";
        QTest::newRow("audio: a name of two devices") << false << "Speakers" << none << L{} << L{3} << 1 << "";
        QTest::newRow("audio: the second of them, as stored before")
            << false << "Speakers" << QVariant(1) << L{} << L{3} << 1 << "";
        QTest::newRow("audio: chosen device refuses")
            << false << "Mono" << none << L{0} << L{0, 3} << 1
            << "The audio device Mono could not be opened: the sound goes to Speakers.";
        QTest::newRow("audio: chosen device gone")
            << false << "USB Headset" << none << L{} << L{3} << 1
            << "The audio device USB Headset is not connected: the sound goes to Speakers.";
        QTest::newRow("audio: default refuses")
            << false << "" << none << L{3} << L{3} << -1 << "Cannot connect to the audio device: Speakers";
        QTest::newRow("audio: no device") << false << "" << none << L{} << L{} << -1
                                          << "It seems you've no audio device in your PC, please plug a device and retry";
    }
    void startUpConnection()
    {
        QFETCH(bool, midi);
        QFETCH(QString, stored);
        QFETCH(QVariant, occurrence);
        QFETCH(QList<int>, refusing);
        QFETCH(QList<int>, tried);
        QFETCH(int, row);
        QFETCH(QString, warning);
        const QString key = midi ? "SoundCard/Name" : "AudioDevice/Name";
        store().setValue(key, stored);
        if (occurrence.isValid())
            store().setValue("AudioDevice/Occurrence", occurrence);
        FakeDevices *d;
        Page page(nullptr, engine(), devices(&d));
        d->refusing = QSet<int>(refusing.begin(), refusing.end());
        d->audio.insert(5, "Speakers"); // two outputs of one name
        const QString tag = QTest::currentDataTag();
        if (tag == QLatin1String("midi: the synthesizer's audio device fails"))
            d->synthDevice = "Speakers";
        if (tag.contains(QLatin1String("bank is missing")))
            d->synthBank = "/nowhere/Basic.sfc";
        if (tried.isEmpty())
            d->audio.clear();
        midi ? page.connectSoundCard() : page.connectAudioDevice();
        QCOMPARE(d->tried, tried);
        auto *combo = child<QComboBox>(&page, midi ? "comboSoundCard" : "comboAudioDevices");
        QCOMPARE(combo->currentIndex(), row);
        if (!midi && !tried.isEmpty()) {
            QStringList listed;
            for (int i = 0; i < combo->count(); ++i)
                listed << combo->itemText(i);
            QCOMPARE(listed, QStringList({"Mono", "Speakers"}));
        }
        QCOMPARE(page.warnings, warning.isEmpty() ? QStringList() : QStringList{warning});
        QCOMPARE(page.missingSoundBank(), tag.endsWith(QLatin1String("nothing opens")) && !d->synthBank.isEmpty()
                                              ? QString("/nowhere/Basic.sfc")
                                              : QString());
        QCOMPARE(store().value(key).toString(), stored);
        QCOMPARE(combo->placeholderText().isEmpty(), !tried.isEmpty());
    }

    // Started before its sound server (no device listed): the device chosen
    // last is connected by its name, to be opened once the server is there,
    // with nothing said and the choice kept; the box, empty then, says so,
    // and lists the devices once they are there, that one current.
    void startUpBeforeTheServer()
    {
        store().setValue("AudioDevice/Name", "Speakers");
        FakeDevices *d;
        Page page(nullptr, engine(), devices(&d));
        const QMap<int, QString> listed = std::exchange(d->audio, {});
        page.connectAudioDeviceWhenThere();
        QCOMPARE(d->tried, QList<int>{-1});
        QCOMPARE(d->named, QStringList{"Speakers"});
        QVERIFY(page.warnings.isEmpty());
        QCOMPARE(store().value("AudioDevice/Name").toString(), QString("Speakers"));
        auto *box = child<QComboBox>(&page, "comboAudioDevices");
        page.show();
        QCOMPARE(box->placeholderText(), QString("No audio device"));
        page.hide();
        d->audio = listed;
        page.show();
        QCOMPARE(box->currentText(), QString("Speakers"));
        QCOMPARE(box->count(), 2);
        QVERIFY(box->placeholderText().isEmpty());
        QCOMPARE(d->tried, QList<int>{-1});
    }

    // The user's choice of an output or a device.
    void userChoice_data()
    {
        QTest::addColumn<bool>("midi");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<QString>("stored");
        QTest::newRow("midi: synthesizer") << true << 1 << false << false << "" << kSynth;
        QTest::newRow("midi: while playing") << true << 1 << true << false
                                             << "Cannot disconnect the device while playing" << "Midi Through Port-0";
        QTest::newRow("midi: refused") << true << 1 << false << true << "Cannot connect to the MIDI Device: " + kSynth << "";
        QTest::newRow("midi: the synthesizer without its bank")
            << true << 1 << false << false
            << "The sound bank of the software synthesizer is missing or cannot be read: /nowhere/Basic.sfc" << "";
        QTest::newRow("midi: nothing chosen") << true << -1 << false << false << "Please select the device" << "";
        QTest::newRow("audio: speakers") << false << 1 << false << false << "" << "Speakers";
        QTest::newRow("audio: refused") << false << 1 << false << true << "Cannot connect to the audio Device: Speakers"
                                        << "Mono";
    }
    void userChoice()
    {
        QFETCH(bool, midi);
        QFETCH(int, row);
        QFETCH(bool, playing);
        QFETCH(bool, refused);
        QFETCH(QString, warning);
        QFETCH(QString, stored);
        store().setValue("SoundCard/Name", "Midi Through Port-0");
        store().setValue("AudioDevice/Name", "Mono");
        FakeDevices *d;
        Page page(nullptr, engine(), devices(&d));
        page.connectSoundCard();
        page.connectAudioDevice();
        d->playing = playing;
        if (refused)
            d->refusing = {1000, 3};
        if (QTest::currentDataTag() == QLatin1String("midi: the synthesizer without its bank"))
            d->synthBank = "/nowhere/Basic.sfc";
        auto *combo = child<QComboBox>(&page, midi ? "comboSoundCard" : "comboAudioDevices");
        combo->setCurrentIndex(row);
        emit combo->activated(row);
        QCOMPARE(page.warnings, warning.isEmpty() ? QStringList() : QStringList{warning});
        QCOMPARE(d->closed, midi && !playing ? 1 : 0);
        const QString key = midi ? "SoundCard/Name" : "AudioDevice/Name";
        QCOMPARE(store().value(key).toString(), stored);
    }

    // Loading a song leaves its own stored tempo and key to the engine;
    // the runtime boxes then change them without saving.
    void runtimeBoxesKeepTheStoredOffsets()
    {
        const QString song = m_dir.filePath("tone.mid");
        std::unique_ptr<SongRW> rw(SongRW::createFromFile(song, false));
        QVERIFY(rw);
        rw->setDeltaKey(3);
        rw->setDeltaBpm(10);
        QVERIFY(rw->saveToFile(song));
        SoundEngine *e = engine();
        FakeDevices *d;
        Page page(nullptr, e, devices(&d));
        connect(currSong, &Song::loadSongChange, &page, &SettingsView::on_loadSongChange);
        connect(&page, &SettingsView::runtimeKeyChanged, e, &SoundEngine::changeKeyWithOutSaving);
        connect(&page, &SettingsView::runtimeTempoChanged, e, &SoundEngine::changeBpmWithOutSaving);
        auto *key = child<QSpinBox>(&page, "spinBoxKey");
        auto *tempo = child<QSpinBox>(&page, "spinBoxTempo");
        key->setValue(5);
        tempo->setValue(7);

        e->setPlayingState(SoundEngine::ePsStopUnload);
        e->setPlayingState(SoundEngine::ePsReady);
        QVERIFY(currSong->loadSongFile(song));
        QCOMPARE(key->value() + tempo->value(), 0);
        QCOMPARE(e->setPlayingState(SoundEngine::ePsPlaying), SoundEngine::ePsPlaying);
        QVERIFY(!child<QComboBox>(&page, "comboSoundCard")->isEnabled());
        QCOMPARE(e->getDeltaKey(), 3);
        QCOMPARE(e->getDeltaBpm(), 10);

        page.show();
        QCOMPARE(key->value(), 3);
        QCOMPARE(tempo->value(), 10);
        key->setValue(-2);
        QCOMPARE(e->getDeltaKey(), -2);
        e->setPlayingState(SoundEngine::ePsStopUnload);
        QVERIFY(child<QComboBox>(&page, "comboAudioDevices")->isEnabled());
    }

    // The box offers the four languages the program speaks and shows the
    // one in use; each is chosen there, with the mouse or the keys, and
    // the page turns to it at once; the choice is stored.
    void languageBoxOffersEveryLanguage()
    {
        const QLocale before;
        auto restore = qScopeGuard([&] {
            for (QTranslator **t : {&translator, &systemTranslator}) {
                QCoreApplication::removeTranslator(*t);
                delete std::exchange(*t, nullptr);
            }
            QLocale::setDefault(before);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        });
        store().setValue("System/Lang", 3);
        Page page(nullptr, engine());
        page.resize(page.sizeHint());
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        auto *box = child<QComboBox>(&page, "languageCombo");
        auto *title = child<QLabel>(&page, "TitleLabel");
        QCOMPARE(box->currentText(), QString::fromUtf8("中文"));
        QStringList offered;
        for (int i = 0; i < box->count(); ++i)
            offered << box->itemText(i);
        QCOMPARE(offered.join(','), QString::fromUtf8("Italiano,English,Deutsch,中文"));

        // The mouse: the box opened, German clicked in its list.
        QTest::mouseClick(box, Qt::LeftButton);
        QAbstractItemView *list = box->view();
        QTRY_VERIFY(list->isVisible());
        const QRect german = list->visualRect(list->model()->index(2, 0));
        // The list takes no release as quick as a double click after it opened.
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, german.center());
        QTRY_VERIFY(!list->isVisible());
        QCOMPARE(storedOnDisk("System/Lang"), QString("2"));
        QTRY_VERIFY2(title->text().contains("Optionen"), qPrintable(title->text()));
        QCOMPARE(box->currentText(), QString("Deutsch"));

        // The keys: the box opened from the keyboard, Italian two rows up.
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
        QTRY_VERIFY(list->isVisible());
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_VERIFY(!list->isVisible());
        QCOMPARE(storedOnDisk("System/Lang"), QString("0"));
        QTRY_VERIFY2(title->text().contains("Opzioni"), qPrintable(title->text()));
        QCOMPARE(box->currentText(), QString("Italiano"));

        // Chinese and back to English, the box closed: the arrows choose.
        QTest::keyClick(box, Qt::Key_End);
        QCOMPARE(storedOnDisk("System/Lang"), QString("3"));
        QTRY_VERIFY2(title->text().contains(QString::fromUtf8("选项")), qPrintable(title->text()));
        QTest::keyClick(box, Qt::Key_Up);
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(storedOnDisk("System/Lang"), QString("1"));
        QTRY_VERIFY2(title->text().contains("Options"), qPrintable(title->text()));
    }

    // The device area's own words follow a language chosen while the page
    // shows them: the real-time priority line, its tooltip and the empty
    // audio box.
    void devicesAreaFollowsTheLanguage()
    {
        // A thread of the music asks for real-time scheduling, as the sequencer does.
        std::thread([] { ThreadPriority::raiseThisThread(ThreadPriority::Role::Sequencer, 1); }).join();
        auto forget = qScopeGuard([] { ThreadPriority::resetForTest(); });
        FakeDevices *d;
        Page page(nullptr, engine(), devices(&d));
        d->audio.clear();
        page.connectAudioDevice();
        page.show();
        const char *source = ThreadPriority::refused()
                                 ? "No real-time priority: the music keeps time with a little more delay"
                                 : "Real-time priority: granted";
        QLabel *line = nullptr;
        for (QLabel *label : page.findChildren<QLabel *>())
            line = label->text() == QLatin1String(source) ? label : line;
        QVERIFY(line);
        const QString tip = ThreadPriority::refused() ? "sequencer: normal priority" : "sequencer: real-time priority";
        QCOMPARE(line->toolTip(), tip);
        auto *box = child<QComboBox>(&page, "comboAudioDevices");
        QCOMPARE(box->placeholderText(), QString("No audio device"));
        {
            TestLanguage italian("it");
            QCOMPARE(line->text(), QCoreApplication::translate("SettingsView", source));
            QVERIFY(line->text() != QLatin1String(source));
            QVERIFY2(line->toolTip().startsWith("sequencer: priorità "), qPrintable(line->toolTip()));
            QCOMPARE(box->placeholderText(), QString("Nessun dispositivo audio"));
        }
        QCOMPARE(line->text(), QString(source));
        QCOMPARE(line->toolTip(), tip);
        QCOMPARE(box->placeholderText(), QString("No audio device"));
    }

    // Without real-time priority the page names what it costs: the delay the
    // synthesizer settled on its device to keep time at normal priority;
    // granted, it says so and names no delay. The sequencer's thread asks the
    // system as it does in the program, and the synthesizer settles as the
    // device asks for sound.
    void realTimeLineNamesItsCost_data()
    {
        QTest::addColumn<bool>("granted");
        QTest::newRow("refused") << false;
        QTest::newRow("granted") << true;
    }
    void realTimeLineNamesItsCost()
    {
        QFETCH(bool, granted);
        const QByteArray bus = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
        auto forget = qScopeGuard([bus] {
            useNiceCapability(true);
            ThreadPriority::resetForTest();
            bus.isNull() ? qunsetenv("DBUS_SYSTEM_BUS_ADDRESS") : qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus);
        });
        ThreadPriority::resetForTest();
        // The helper that raises audio callbacks lives as long as the program:
        // it keeps what it may do.
        ThreadPriority::startHelper();
        if (!granted) {
            useNiceCapability(false);
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", QFile::encodeName("unix:path=" + m_dir.filePath("no-bus")));
        }
        auto synthSink = std::make_unique<OfflineAudioSink>(44100);
        synthSink->setScheduled(true);
        OfflineAudioSink *device = synthSink.get();
        m_engine = std::make_unique<SoundEngine>(SoundEngine::Devices{std::move(synthSink),
                                                                      std::make_unique<Sound::PullAudioSink>(),
                                                                      QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2")});
        QVERIFY(m_engine->connectToSoundCardByIdx(SoundEngine::kSynthIndex));
        // The engine's sequencer thread asks for real-time scheduling as it starts.
        QTRY_VERIFY(ThreadPriority::grant(ThreadPriority::Role::Sequencer) != ThreadPriority::Grant::NotAsked);
        useNiceCapability(true);
        if ((ThreadPriority::grant(ThreadPriority::Role::Sequencer) == ThreadPriority::Grant::Granted) != granted)
            QSKIP(granted ? "this system grants no real-time priority here" : "this system grants it to every thread");
        const SoftSynth *synth = m_engine->synthesizer();
        QVERIFY(synth);
        // The device asks for sound: the synthesizer settles its delay.
        QTRY_VERIFY_WITH_TIMEOUT((device->pull(256), granted || synth->normalPriorityCostMs() > 0), 5000);
        const int cost = qRound(synth->normalPriorityCostMs());

        FakeDevices *d;
        Page page(nullptr, m_engine.get(), devices(&d));
        page.show();
        const auto shown = [&page] {
            QStringList lines;
            for (QLabel *label : page.findChildren<QLabel *>())
                if (label->isVisible() && label->text().contains("real-time priority", Qt::CaseInsensitive))
                    lines << label->text();
            return lines;
        };
        if (granted) {
            QCOMPARE(cost, 0);
            QTRY_COMPARE(shown(), QStringList{"Real-time priority: granted"});
        } else {
            // No figure: what a click costs is the window's and the
            // machine's as much as the synthesizer's.
            QVERIFY2(cost > 0, qPrintable(QString::number(synth->normalPriorityCostMs())));
            QTRY_COMPARE(shown(), QStringList{"No real-time priority: the music keeps time with a little more delay"});
        }
    }

    // The wheel over the page scrolls it: a setting under the pointer
    // changes only once the user has chosen it, and nothing is stored before.
    void wheelScrollsThePage_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QString>("key");
        QTest::newRow("text font") << QByteArray("textFontCombo") << "Karaoke/Font";
        QTest::newRow("lyrics offset") << QByteArray("spinBoxLyricsOffset") << "Playback/LiricsTimeOffset";
        QTest::newRow("play action") << QByteArray("actionCombo") << "System/DoubleClickAction";
    }
    void wheelScrollsThePage()
    {
        QFETCH(QByteArray, control);
        QFETCH(QString, key);
        SettingsView page(nullptr, engine());
        page.resize(page.sizeHint().width(), 300);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        auto *area = child<QScrollArea>(&page, "scrollArea");
        auto *w = child<QWidget>(&page, control.constData());
        area->ensureWidgetVisible(w);
        const auto value = [&] {
            auto *combo = qobject_cast<QComboBox *>(w);
            return combo ? combo->currentIndex() : qobject_cast<QSpinBox *>(w)->value();
        };
        const auto wheel = [&](int delta) {
            const QPointF at(w->width() / 2.0, w->height() / 2.0);
            QWheelEvent e(at, w->mapToGlobal(at), {}, QPoint(0, delta), Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(w, &e);
        };
        const int start = value();
        const int top = area->verticalScrollBar()->value();
        wheel(top > 0 ? 120 : -120);
        QCOMPARE(value(), start);
        QVERIFY(area->verticalScrollBar()->value() != top);
        QVERIFY(!store().contains(key));

        // Chosen, it takes the wheel.
        area->ensureWidgetVisible(w);
        w->setFocus();
        QVERIFY(QTest::qWaitFor([&] { return w->hasFocus(); }));
        wheel(-120);
        QVERIFY(value() != start);
        QVERIFY(store().contains(key));
    }

    // Restoring the layout closes the other windows, never the main one;
    // rebuilding the library asks first.
    void restoreLayoutKeepsTheProgram()
    {
        store().setValue("WindowsPosition/Karaoke", QRect(1, 2, 3, 4));
        QWidget mainWindow;
        QWidget detached;
        mainWindow.show();
        detached.show();
        Page page(&mainWindow, engine());
        page.show();
        QSignalSpy resize(&page, &SettingsView::resizeWindows);
        QSignalSpy last(qApp, &QGuiApplication::lastWindowClosed);
        QTest::mouseClick(child<QPushButton>(&page, "restoreLayoutButton"), Qt::LeftButton);
        QVERIFY(mainWindow.isVisible());
        QVERIFY(!detached.isVisible());
        QCOMPARE(last.size(), 0);
        QCOMPARE(resize.size(), 1);
        QVERIFY(QApplication::quitOnLastWindowClosed());
        QVERIFY(store().childGroups().isEmpty());

        // Rebuilding the library asks first.
        QSignalSpy rebuild(&page, &SettingsView::rebuildDatabaseRequest);
        QTest::mouseClick(child<QPushButton>(&page, "rebuildDatabaseButton"), Qt::LeftButton);
        page.answer = true;
        QTest::mouseClick(child<QPushButton>(&page, "rebuildDatabaseButton"), Qt::LeftButton);
        QCOMPARE(rebuild.size(), 1);
    }
};

VELMAR_TEST(TestSettings)
#include "tst_settings.moc"
