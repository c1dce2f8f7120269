#include "pauseprobe.h"
#include "teststore.h"
#include "testutil.h"

#include "adbanner.h"
#include "appsettings.h"

#include <QCryptographicHash>
#include <QDesktopServices>
#include <QLabel>
#include <QNetworkReply>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

namespace {

// The warnings logged while it lives.
class LogWatch
{
public:
    LogWatch() { previous = qInstallMessageHandler(&LogWatch::take); }
    ~LogWatch() { qInstallMessageHandler(previous); lines().clear(); }
    int count(const QString &part) const { return int(lines().filter(part).size()); }

private:
    static QStringList &lines()
    {
        static QStringList taken;
        return taken;
    }
    static void take(QtMsgType, const QMessageLogContext &, const QString &text) { lines() << text; }
    QtMessageHandler previous;
};

} // namespace

// The banner strip against the local test store, its timers driven by hand
// (a test clock), its picture cache in a folder of its own.
class TestBanner : public QObject
{
    Q_OBJECT

    TestStore store;
    QTemporaryDir dir;
    QSettings *settings = nullptr;
    QList<QUrl> opened;

    // One tick of a running timer, as if its time had come.
    static void fire(QTimer *timer)
    {
        QVERIFY(timer->isActive());
        QTimerEvent tick(timer->timerId());
        QCoreApplication::sendEvent(timer, &tick);
    }
    QByteArray list(const QStringList &images) const
    {
        QByteArray json = "{\"banners\":[";
        for (int i = 0; i < images.size(); ++i)
            json += (i ? "," : "") + QByteArray("{\"image_url\":\"") + store.base().toUtf8() + images[i].toUtf8()
                    + "\",\"title\":\"B" + QByteArray::number(i) + "\",\"link_url\":\""
                    + (i ? "open:news" : "HTTPS://example.org/x") + "\"}";
        return json + "]}";
    }
    static QString title(AdBanner &b) { return b.findChild<QLabel *>("title_txt")->text(); }
    static QPixmap picture(AdBanner &b) { return b.findChild<QLabel *>("lb_image")->pixmap(); }

public slots:
    void openUrl(const QUrl &url) { opened << url; }

private slots:
    void initTestCase()
    {
        QVERIFY(store.start());
        qputenv("XDG_CACHE_HOME", dir.filePath("cache").toUtf8());
        settings = new QSettings(dir.filePath("settings.ini"), QSettings::IniFormat, this);
        appSettings = settings;
        QDesktopServices::setUrlHandler("https", this, "openUrl");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("https"); appSettings = nullptr; }
    void init() { store.reset(); }

    // Banners come in the program's language, rotate 0, 1, 2, 0 on their
    // timer, show at once (their picture joins them when it comes, a
    // picture that cannot be had leaves them without), and stop while not
    // allowed.
    void rotation()
    {
        settings->setValue("System/Lang", 7);
        store.setReply("/banners/get_banners.php",
                       list({"/img/banner.png?a", "/files/bytes/100", "/img/banner.png?c"}));
        AdBanner banner;
        banner.init(nullptr);
        fire(banner.reloadTimer());
        QTRY_COMPARE(banner.banners().size(), 3);
        QCOMPARE(store.requests("/banners/get_banners.php").value(0).query, QStringLiteral("lang=EN"));

        QVERIFY(banner.isVisible());
        QCOMPARE(title(banner), QStringLiteral("B0"));
        QTRY_VERIFY(!picture(banner).isNull());
        fire(banner.rotationTimer());
        QCOMPARE(banner.currentIndex(), 1);
        QVERIFY(banner.isVisible());
        QTRY_COMPARE(store.requests("/files/bytes/100").size(), 1);
        QTRY_VERIFY(banner.findChildren<QNetworkReply *>().isEmpty());
        QVERIFY(banner.isVisible() && picture(banner).isNull());
        QCOMPARE(title(banner), QStringLiteral("B1"));
        fire(banner.rotationTimer());
        QVERIFY(banner.isVisible());
        QCOMPARE(title(banner), QStringLiteral("B2"));
        fire(banner.rotationTimer());
        QCOMPARE(title(banner), QStringLiteral("B0"));
        QVERIFY(banner.isVisible());

        // A web link opens in the browser, any other asks the program.
        QSignalSpy action(&banner, &AdBanner::actionTriggered);
        QTest::mouseClick(&banner, Qt::LeftButton);
        QCOMPARE(opened.value(0), QUrl("HTTPS://example.org/x"));
        fire(banner.rotationTimer());
        fire(banner.rotationTimer());
        QVERIFY(banner.isVisible());
        QTest::mouseClick(&banner, Qt::LeftButton);
        QCOMPARE(action.value(0).value(0).toString(), QStringLiteral("open:news"));

        banner.setAllowed(false);
        QVERIFY(banner.isHidden() && !banner.rotationTimer()->isActive());
        banner.showBannerAtIndex(0);
        banner.setAllowed(true);
        QVERIFY(banner.isVisible() && banner.rotationTimer()->isActive());

        // The pictures come from the disk cache from now on.
        AdBanner again;
        again.init(nullptr);
        fire(again.reloadTimer());
        QTRY_VERIFY(again.isVisible());
        QCOMPARE(store.requests("/img/banner.png").size(), 2);
    }

    // A picture named by a local path or a file address is never read (it
    // could be a pipe that holds the window for good): the banner shows
    // without it; a web address in the same list brings its picture.
    void localPicturesNotRead()
    {
        const QString png = dir.filePath("local.png");
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(png));
        const QByteArray json = "{\"banners\":[{\"image_url\":\"" + png.toUtf8() + "\",\"title\":\"path\"},"
                                "{\"image_url\":\"file://" + png.toUtf8() + "\",\"title\":\"file\"},"
                                "{\"image_url\":\"" + store.base().toUtf8() + "/img/banner.png?l\",\"title\":\"web\"}]}";
        store.setReply("/banners/get_banners.php", json);
        AdBanner banner;
        banner.init(nullptr);
        fire(banner.reloadTimer());
        QTRY_COMPARE(banner.banners().size(), 3);
        QCOMPARE(title(banner), QStringLiteral("path"));
        QVERIFY(banner.isVisible() && picture(banner).isNull());
        fire(banner.rotationTimer());
        QCOMPARE(title(banner), QStringLiteral("file"));
        QVERIFY(banner.isVisible() && picture(banner).isNull());
        fire(banner.rotationTimer());
        QCOMPARE(title(banner), QStringLiteral("web"));
        QTRY_VERIFY(!picture(banner).isNull());
    }

    // A big picture is kept at the size shown, in its colours, from the
    // network and from the disk cache alike: one of millions of colours, and
    // those of a palette of two colours (one bit a pixel) or of 256.
    void bigPictureKeptSmall_data()
    {
        QTest::addColumn<QImage>("image");
        QImage full(4000, 3000, QImage::Format_RGB32);
        full.fill(Qt::darkCyan);
        QTest::newRow("4000x3000, millions of colours") << full;
        QImage mono(600, 150, QImage::Format_Mono);
        mono.setColorTable({qRgb(0x33, 0x66, 0x99), qRgb(0xff, 0xcc, 0x00)});
        mono.fill(0);
        QTest::newRow("600x150, a palette of two") << mono;
        QImage indexed(600, 150, QImage::Format_Indexed8);
        QList<QRgb> colours;
        for (int i = 0; i < 256; ++i)
            colours << qRgb(i, 255 - i, 0x80);
        indexed.setColorTable(colours);
        indexed.fill(37);
        QTest::newRow("600x150, a palette of 256") << indexed;
    }
    void bigPictureKeptSmall()
    {
        QFETCH(QImage, image);
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"));
        const QString address = QStringLiteral("/img/big%1.png").arg(image.depth());
        store.setReply(address, png);
        store.setReply("/banners/get_banners.php", list({address}));
        const auto resident = [] {
            const QByteArray status = TestUtil::readFile("/proc/self/status");
            const int at = status.indexOf("VmRSS:");
            return status.mid(at + 6).trimmed().split(' ').value(0).toLongLong() << 10;
        };
        for (int run = 0; run < 2; ++run) {
            const qint64 before = resident();
            AdBanner banner;
            banner.init(nullptr);
            fire(banner.reloadTimer());
            QTRY_VERIFY(!picture(banner).isNull());
            const QImage shown = picture(banner).toImage();
            QVERIFY(shown.width() <= 60 * banner.devicePixelRatioF());
            QCOMPARE(shown.pixelColor(shown.rect().center()).name(), image.pixelColor(0, 0).name());
            QCoreApplication::processEvents();
            QVERIFY2(resident() - before < (qint64(20) << 20),
                     qPrintable(QString::number((resident() - before) >> 20) + " MiB more"));
        }
        QCOMPARE(store.requests(address).size(), 1);
    }

    // A small picture is enlarged smoothly: a black and a white pixel side
    // by side meet in greys, not in a hard step.
    void smallPictureEnlargedSmoothly()
    {
        QImage image(2, 1, QImage::Format_RGB32);
        image.setPixel(0, 0, qRgb(0, 0, 0));
        image.setPixel(1, 0, qRgb(255, 255, 255));
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"));
        store.setReply("/img/tiny.png", png);
        store.setReply("/banners/get_banners.php", list({"/img/tiny.png"}));
        AdBanner banner;
        banner.init(nullptr);
        fire(banner.reloadTimer());
        QTRY_VERIFY(!picture(banner).isNull());
        const QImage shown = picture(banner).toImage();
        QVERIFY(shown.width() >= 8);
        QSet<int> greys;
        for (int x = 0; x < shown.width(); ++x)
            greys.insert(qGray(shown.pixel(x, shown.height() / 2)));
        QVERIFY2(greys.size() > 3, qPrintable(QString::number(greys.size())));
    }

    // A picture of one colour, 32000 pixels a side in 3 MB, is refused
    // before it is decoded (decoding it held the window for seconds), when
    // it arrives and when it lies in the cache: the banner shows without it,
    // the log says why, and the window's thread keeps turning throughout
    // (the bound is far above a pause that could come from anything else).
    void hugePictureRefused()
    {
        const QString huge = dir.filePath("huge.png");
        const QString small = dir.filePath("small.png");
        TestUtil::runPython("../scripts/one_colour_png.py", {"32000", huge});
        TestUtil::runPython("../scripts/one_colour_png.py", {"300", small});
        store.setReply("/img/huge.png", TestUtil::readFile(huge));
        store.setReply("/img/small.png", TestUtil::readFile(small));
        const QString why = "32000x32000 pixels announced, more than 4096 a side";
        LogWatch log;
        PauseProbe probe;
        {
            store.setReply("/banners/get_banners.php", list({"/img/huge.png"}));
            AdBanner banner;
            banner.init(nullptr);
            fire(banner.reloadTimer());
            QTRY_COMPARE_WITH_TIMEOUT(log.count(why), 1, 30000);
            QVERIFY(banner.isVisible() && picture(banner).isNull());
            QCOMPARE(title(banner), QStringLiteral("B0"));
        }
        // An earlier run's cache holds it: read, refused, removed, and the
        // picture of the address fetched anew.
        store.setReply("/banners/get_banners.php", list({"/img/small.png"}));
        const QString cached = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/banners/"
                               + QCryptographicHash::hash((store.base() + "/img/small.png").toUtf8(),
                                                          QCryptographicHash::Sha1)
                                     .toHex();
        for (bool hugeInCache : {false, true}) {
            if (hugeInCache)
                QVERIFY(QFile::remove(cached) && QFile::copy(huge, cached));
            AdBanner banner;
            banner.init(nullptr);
            fire(banner.reloadTimer());
            QTRY_VERIFY(!picture(banner).isNull());
            QVERIFY(QFile::exists(cached) && TestUtil::readFile(cached) == TestUtil::readFile(small));
            QCOMPARE(log.count(why), hugeInCache ? 2 : 1);
        }
        QCOMPARE(store.requests("/img/small.png").size(), 2);
        QCOMPARE(store.requests("/img/huge.png").size(), 1);
        std::printf("longest pause of the window's thread: %lld ms\n", static_cast<long long>(probe.longestMs()));
        QVERIFY2(probe.longestMs() < 2500, qPrintable(QString("the thread stood still %1 ms").arg(probe.longestMs())));
    }

    // A language change while the list loads asks again in the new
    // language once the first list has come.
    void languageChangeWhileLoading()
    {
        const QString path = "/banners/get_banners.php";
        settings->setValue("System/Lang", 1);
        store.setFault(path, "hold", 1);
        AdBanner banner;
        banner.init(nullptr);
        fire(banner.reloadTimer());
        QTRY_COMPARE(store.requests(path).size(), 1);
        settings->setValue("System/Lang", 0);
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(&banner, &change);
        fire(banner.reloadTimer());
        store.release(path);
        QTRY_COMPARE(store.requests(path).size(), 2);
        QCOMPARE(store.requests(path).value(1).query, QStringLiteral("lang=IT"));
        QTRY_COMPARE(banner.banners().size(), 1);
    }

    // The list is asked for in the background: a host that holds it back
    // holds neither the window nor anything waiting in it.
    void slowListHoldsNothing()
    {
        const QString path = "/banners/get_banners.php";
        store.setFault(path, "hold", 1);
        AdBanner banner;
        banner.init(nullptr);
        QElapsedTimer clock;
        clock.start();
        fire(banner.reloadTimer());
        QVERIFY(clock.elapsed() < 1000);
        QTRY_COMPARE(store.requests(path).size(), 1);
        QVERIFY(banner.banners().isEmpty());
        store.release(path);
        QTRY_COMPARE(banner.banners().size(), 1);
        QTRY_VERIFY(banner.isVisible());
    }

    // No list: nothing shown, one more try a minute later; allowed, the
    // (empty) strip shows at once.
    void noBanners_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("ERROR") << QString() << QByteArray("ERROR: no banners today");
        QTest::newRow("empty list") << QString() << QByteArray("{\"banners\":[]}");
        QTest::newRow("server error") << "http500" << QByteArray();
        // Cut off: a list that is never read.
        QTest::newRow("no answer in time") << "silent" << QByteArray();
        QTest::newRow("endless list") << "oversized" << QByteArray();
    }
    void noBanners()
    {
        QTest::failOnWarning(QRegularExpression("device not open"));
        QFETCH(QString, fault);
        QFETCH(QByteArray, reply);
        store.setFault("/banners/get_banners.php", fault);
        if (!reply.isEmpty())
            store.setReply("/banners/get_banners.php", reply);
        AdBanner banner;
        banner.setTimeouts({1500, 0, 4000});
        banner.init(nullptr);
        fire(banner.reloadTimer());
        QTRY_COMPARE(banner.reloadTimer()->interval(), AdBanner::kRetryMs);
        QVERIFY(banner.banners().isEmpty() && banner.isHidden());
        QVERIFY(!banner.rotationTimer()->isActive());
        QCOMPARE(banner.reloadTimer()->interval(), AdBanner::kRetryMs);
        banner.setAllowed(true);
        QVERIFY(banner.isVisible());
    }
};

VELMAR_TEST(TestBanner)
#include "tst_banner.moc"
