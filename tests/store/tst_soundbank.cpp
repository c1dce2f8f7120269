#include "teststore.h"
#include "testutil.h"

#include "MidiBassOutWrapper.h"
#include "prompter.h"
#include "soundfontmanager.h"
#include "storesettings.h"

#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

const char kDebianBank[] = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// A note rendered by a freshly opened synthesizer on `bank`.
std::vector<float> note(const QString &bank)
{
    auto owned = std::make_unique<OfflineAudioSink>();
    OfflineAudioSink *sink = owned.get();
    MidiBassOutWrapper synth(std::move(owned));
    synth.setSoundFont(bank.toStdString());
    if (synth.openPort(0) != 0)
        return {};
    const std::vector<unsigned char> on{0xC0, 0x00, 0x90, 0x3C, 0x64};
    synth.sendMessage(&on);
    std::vector<float> out = sink->pull(sink->sampleRate() / 5);
    synth.closePort();
    return out;
}

double rms(const std::vector<float> &s)
{
    double sum = 0;
    for (float v : s)
        sum += double(v) * v;
    return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
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
    QStringList leftovers() const
    {
        return QDir(dir.filePath("bank")).entryList({"*.temp", "*.part"}, QDir::Files);
    }

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
        setStoreSettings(settings);
        Prompter::setScript([this](const QString &, const QString &text, QMessageBox::StandardButtons) {
            asked << text;
            return answer;
        });
    }
    void cleanupTestCase()
    {
        Prompter::setScript({});
        setStoreSettings(nullptr);
    }
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
    // any failure; the new one is heard from a freshly opened synthesizer.
    void download_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("info");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("replaced");
        QTest::addColumn<int>("downloads");
        QTest::newRow("whole") << QString() << QByteArray() << false << true << 1;
        QTest::newRow("cut short") << "truncated" << QByteArray() << false << false << 1;
        QTest::newRow("server error") << "http500" << QByteArray() << false << false << 1;
        QTest::newRow("cancelled") << "trickle" << QByteArray() << true << false << 1;
        const QByteArray noSize = "<melodrome_message><soundfont><version>9</version><url_update>%1/files/Basic.sfc"
                                  "</url_update><hash>%2</hash></soundfont></melodrome_message>";
        QTest::newRow("no size") << QString() << noSize << false << false << 0;
        const QByteArray longer = "<melodrome_message><soundfont><version>9</version><url_update>%1/files/Basic.sfc"
                                  "</url_update><size>%2</size></soundfont></melodrome_message>";
        QTest::newRow("shorter than announced") << QString() << longer << false << false << 1;
    }
    void download()
    {
        QFETCH(QString, fault);
        QFETCH(QByteArray, info);
        QFETCH(bool, cancel);
        QFETCH(bool, replaced);
        QFETCH(int, downloads);
        const qint64 served = QFileInfo(kDebianBank).size();
        store.setFault("/files/Basic.sfc", fault, 0, "chunk=65536&gap=20");
        if (!info.isEmpty())
            store.setReply("/version_checker/check_soundfont.php",
                           QString::fromLatin1(info).arg(store.base()).arg(served + 5).toUtf8());
        const std::vector<float> before = note(bank);
        QVERIFY(rms(before) > 1e-3);

        SoundfontManager manager;
        configure(manager);
        QSignalSpy available(&manager, &SoundfontManager::soundfontAvailable);
        if (cancel)
            QTimer::singleShot(100, [&] { manager.dialog()->findChild<QPushButton *>("cancelButton")->click(); });
        QCOMPARE(manager.downloadSoundfont(false), replaced);
        QVERIFY(manager.dialog()->isHidden());
        QCOMPARE(available.size(), replaced ? 1 : 0);
        QCOMPARE(store.requests("/files/Basic.sfc").size(), downloads);
        QCOMPARE(manager.getCurrentVersion(), replaced ? "1.2" : "0.0");
        QCOMPARE(leftovers(), QStringList());
        QCOMPARE(TestUtil::readFile(bank) == TestUtil::readFile(kDebianBank), replaced);

        const std::vector<float> after = note(bank);
        QVERIFY(rms(after) > 1e-3);
        QCOMPARE(after != before, replaced);
    }

    // No download without the user's yes, and none beside a running one;
    // the server is asked once per run once it has given a size.
    void askedAndAlone()
    {
        SoundfontManager manager;
        configure(manager);
        answer = QMessageBox::No;
        QVERIFY(!manager.downloadSoundfont(true));
        QCOMPARE(asked, QStringList{"E' necessario scaricare il Timbra, vuoi procedere ora?"});
        QCOMPARE(manager.getLastVersion(), "1.2");

        answer = QMessageBox::Yes;
        store.setFault("/files/Basic.sfc", "hold", 1);
        int second = -1;
        QTimer::singleShot(50, [&] {
            QVERIFY(manager.dialog()->isVisible() && manager.dialog()->isModal());
            second = manager.downloadSoundfont(false);
            store.release("/files/Basic.sfc");
        });
        QVERIFY(manager.downloadSoundfont(true));
        QCOMPARE(second, 0);
        QCOMPARE(store.requests("/version_checker/check_soundfont.php").size(), 1);
        QCOMPARE(store.requests("/files/Basic.sfc").size(), 1);
    }
};

VELMAR_TEST(TestSoundBank)
#include "tst_soundbank.moc"
