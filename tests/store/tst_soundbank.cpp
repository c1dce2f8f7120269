#include "teststore.h"
#include "testutil.h"

#include "../common-midiinterface/synthtestutil.h"

#include "MidiBassOutWrapper.h"
#include "prompter.h"
#include "soundfontmanager.h"
#include "appsettings.h"

#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char kDebianBank[] = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// A note rendered by a freshly opened synthesizer on `bank`.
std::vector<float> note(const QString &bank)
{
    auto owned = std::make_unique<OfflineAudioSink>();
    OfflineAudioSink *sink = owned.get();
    MidiBassOutWrapper synth(std::move(owned));
    synth.setSoundFont(bank.toStdString());
    const auto on = SynthTest::bytes("C0 00 90 3C 64");
    if (synth.openPort(0) != 0 || synth.sendMessage(&on) != 0)
        return {};
    return SynthTest::renderMs(sink, 200);
}

} // namespace

// The sound-bank manager against the local test store serving the Debian
// General MIDI bank as "Basic.sfc"; the bank in place is an own sine bank.
class TestSoundBank : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    TestStore store;
    QSettings *settings = nullptr;
    QString bank, oldBank;
    QStringList asked;
    QMessageBox::StandardButton answer = QMessageBox::Yes;

    void configure(SoundfontManager &m) const
    {
        m.setSoundfontFilePath(bank);
        m.setTimeouts({1500, 0, 4000}, {1500, 1500, 20000});
    }
    // A download asked for and waited to its end: whether a new bank is in.
    static bool fetch(SoundfontManager &m, bool ask)
    {
        QSignalSpy finished(&m, &SoundfontManager::downloadFinished);
        if (!m.downloadSoundfont(ask))
            return false;
        if (!finished.wait(60000) && finished.isEmpty())
            return false;
        return finished.size() == 1 && finished.first().first().toBool();
    }
    QStringList leftovers() const { return QDir(dir.filePath("bank")).entryList({"*.temp", "*.part"}); }

private slots:
    void initTestCase()
    {
        QVERIFY(QDir(dir.path()).mkpath("files") && QDir(dir.path()).mkpath("bank"));
        QVERIFY(QFile::copy(kDebianBank, dir.filePath("files/Basic.sfc")));
        QVERIFY(store.start(dir.filePath("files")));
        bank = dir.filePath("bank/Basic.sfc");
        oldBank = dir.filePath("sine.sf2");
        TestUtil::runPython("common-midiinterface/make_sf2.py", {oldBank, "0", "0"});
        settings = new QSettings(dir.filePath("settings.ini"), QSettings::IniFormat, this);
        appSettings = settings;
        Prompter::setScript([this](const QString &, const QString &text, QMessageBox::StandardButtons) {
            asked << text;
            return answer;
        });
    }
    void cleanupTestCase() { Prompter::setScript({}); appSettings = nullptr; }
    void init()
    {
        store.reset();
        asked.clear();
        answer = QMessageBox::Yes;
        settings->clear();
        QFile::remove(bank);
        QVERIFY(QFile::copy(oldBank, bank));
    }

    // Only a whole bank replaces the old one, which keeps sounding after
    // any failure, and the user is told why; the new one is heard from a
    // freshly opened synthesizer.
    void download_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("info");
        // What the user may be told: a body cut short reaches the network
        // layer either as a broken connection or as a short answer.
        QTest::addColumn<QStringList>("told");
        const QByteArray head = "<melodrome_message><soundfont><version>9</version><url_update>%1/files/Basic.sfc"
                                "</url_update>";
        const QString kept = "The new sound bank could not be installed: %1.";
        QTest::newRow("whole") << QString() << QByteArray() << QStringList{QString()};
        QTest::newRow("cut short") << "truncated" << QByteArray()
                                   << QStringList{kept.arg("the connection broke off"),
                                                  kept.arg("the answer arrived incomplete")};
        QTest::newRow("server error") << "http500" << QByteArray()
                                      << QStringList{kept.arg("the server answered with error 500")};
        QTest::newRow("cancelled") << "trickle" << QByteArray()
                                   << QStringList{"Are you sure you want to stop the Timbra download?"};
        QTest::newRow("no size") << QString() << head + "<hash>%2</hash></soundfont></melodrome_message>"
                                 << QStringList{"Timbra cannot be downloaded now, please try again later"};
        const qint64 served = QFileInfo(kDebianBank).size();
        QTest::newRow("shorter than announced")
            << QString() << head + "<size>%2</size></soundfont></melodrome_message>"
            << QStringList{kept.arg(QStringLiteral("%1 of %2 bytes arrived").arg(served).arg(served + 5))};
        // Whole and a bank, but not the one announced.
        QTest::newRow("another hash")
            << QString() << head + "<size>" + QByteArray::number(served) + "</size><hash>0123456789abcdef0123456789abcdef"
                                   "</hash></soundfont></melodrome_message>"
            << QStringList{kept.arg("the file that arrived is not the one the server announced")};
    }
    void download()
    {
        QFETCH(QString, fault);
        QFETCH(QByteArray, info);
        QFETCH(QStringList, told);
        const QString row = QTest::currentDataTag();
        const bool replaced = row == "whole";
        const qint64 served = QFileInfo(kDebianBank).size();
        store.setFault("/files/Basic.sfc", fault, 0, "chunk=65536&gap=20");
        if (!info.isEmpty())
            store.setReply("/version_checker/check_soundfont.php",
                           QString::fromLatin1(info).arg(store.base()).arg(served + 5).toUtf8());
        const std::vector<float> before = note(bank);
        QVERIFY(SynthTest::rms(before) > 1e-3);

        SoundfontManager manager;
        configure(manager);
        QSignalSpy available(&manager, &SoundfontManager::soundfontAvailable);
        // Cancelled once bytes arrive.
        QProgressBar *progress = manager.dialog()->findChild<QProgressBar *>("progressBar");
        connect(progress, &QProgressBar::valueChanged, progress, [&](int value) {
            if (value > 0 && row == "cancelled" && manager.dialog()->isVisible())
                manager.dialog()->findChild<QPushButton *>("cancelButton")->click();
        });
        QCOMPARE(fetch(manager, false), replaced);
        const QString said = asked.value(0).section('\n', 0, 0);
        QVERIFY2(told.contains(said), qPrintable(said));
        QVERIFY(asked.size() <= 1);
        QVERIFY(manager.dialog()->isHidden());
        QCOMPARE(available.size(), replaced ? 1 : 0);
        QCOMPARE(store.requests("/files/Basic.sfc").size(), row == "no size" ? 0 : 1);
        QCOMPARE(manager.getCurrentVersion(), replaced ? "1.2" : "0.0");
        QCOMPARE(leftovers(), QStringList());
        QCOMPARE(TestUtil::readFile(bank) == TestUtil::readFile(kDebianBank), replaced);

        const std::vector<float> after = note(bank);
        QVERIFY(SynthTest::rms(after) > 1e-3 && (after != before) == replaced);
    }

    // No download without the user's yes (a no, or the question left
    // unanswered as a signal ending the program leaves it), and none beside
    // a running one; the server is asked once per run once it has given a
    // size.
    void askedAndAlone()
    {
        SoundfontManager manager;
        configure(manager);
        for (const QMessageBox::StandardButton refusal : {QMessageBox::No, QMessageBox::NoButton}) {
            answer = refusal;
            QVERIFY(!fetch(manager, true));
        }
        QCOMPARE(asked, QStringList(2, "Timbra needs to be downloaded. Do you want to proceed now?"));
        QCOMPARE(store.requests("/files/Basic.sfc").size(), 0);
        QCOMPARE(manager.getLastVersion(), "1.2");

        answer = QMessageBox::Yes;
        store.setFault("/files/Basic.sfc", "hold", 1);
        int second = -1;
        QTimer::singleShot(50, &manager, [&] {
            QVERIFY(manager.dialog()->isVisible() && manager.dialog()->isModal());
            second = manager.downloadSoundfont(false);
            store.release("/files/Basic.sfc");
        });
        QVERIFY(fetch(manager, true));
        QCOMPARE(second, 0);
        QCOMPARE(store.requests().size(), 2);
    }
};

VELMAR_TEST(TestSoundBank)
#include "tst_soundbank.moc"
