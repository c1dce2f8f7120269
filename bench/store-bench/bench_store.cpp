// How the program bears a store that answers hugely or slowly, against the
// project's store service started with --control on a free port:
//   - a title search answered with N songs (default 40,000, about 10 MB):
//     the longest pause of the window's thread from the key to the rows in;
//   - a song file of M MiB (default 1024) downloaded while the window is
//     busy for 1.5 s: the resident memory's rise;
//   - the banner list held back by the server: how long asking for it
//     holds the window;
//   - a banner picture of one colour, 32000 pixels a side in 3 MB, as it
//     arrives and from the picture cache at the next start: the window's
//     longest pause until the banner has settled;
//   - answers of 14 MB where one record is due (the service status, the
//     version check, the sound bank's information, a song's details): the
//     window's longest pause until each has ended.
// Targets: no pause over 100 ms, memory within 100 MB of its start.
// With --lists instead: searches answered with 100,000 artists and 100,000
// genres, a store artist of 40,000 songs opened, and a title search of
// 40,000 songs six times (each while another thread lives, as in the
// program): the window's longest pause, and the memory before and once the
// list is left (target: within 50 MB); then news lists of 5,000,
// 40,000 and 100,000 songs, each taken twice, as the window takes them.
//
// Usage: bench_store [songs] [MiB] | --lists
#include "DatabaseHelper.h"
#include "adbanner.h"
#include "downloadmngr.h"
#include "libraryview.h"
#include "melodromemanager.h"
#include "memorypolicy.h"
#include "soundfontmanager.h"
#include "storelisting.h"
#include "user.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QLabel>
#include <QStandardPaths>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr qint64 kPauseTargetMs = 100;
constexpr qint64 kMemoryTargetMiB = 100;
constexpr qint64 kListMemoryMiB = 50;

QString base;

qint64 residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = status.readAll();
    const int at = text.indexOf("VmRSS:");
    return text.mid(at + 6, text.indexOf('\n', at) - at - 6).trimmed().split(' ').value(0).toLongLong() >> 10;
}

// Control calls of the store service, waited for in a loop of their own; a
// body makes it a POST.
void control(const QString &pathAndQuery, const QByteArray &body = {})
{
    QNetworkAccessManager network;
    QNetworkRequest request{QUrl(base + pathAndQuery)};
    QNetworkReply *reply = body.isNull() ? network.get(request) : network.post(request, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    delete reply;
}

// The longest gap between the ticks of a 5 ms timer while `until` is false.
qint64 longestPause(const std::function<bool()> &until, int limitMs)
{
    QElapsedTimer clock, gap;
    clock.start();
    gap.start();
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] { longest = qMax(longest, gap.restart()); });
    ticker.start(5);
    while (!until() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    longest = qMax(longest, gap.elapsed());
    return longest;
}

void verdict(const char *what, qint64 value, qint64 target, const char *unit)
{
    std::printf("%-58s %6lld %s  (target %lld: %s)\n", what, static_cast<long long>(value), unit,
                static_cast<long long>(target), value <= target ? "met" : "MISSED");
}

void search(DatabaseHelper &db, int songs)
{
    control(QStringLiteral("/_control/fault?path=/service/songlist.php&mode=songs&times=1&count=%1").arg(songs));
    libraryView page(&db, nullptr, nullptr);
    page.resize(1280, 800);
    page.show();
    QCoreApplication::processEvents();
    page.findChild<QPushButton *>(QStringLiteral("MDSwitch"))->click();
    auto *gif = page.findChild<QWidget *>(QStringLiteral("loadingGifLabel"));
    page.findChild<QLineEdit *>(QStringLiteral("searchText"))->setText(QStringLiteral("Song"));
    bool started = false;
    QElapsedTimer clock;
    clock.start();
    // In once the page has asked for them and all are cached.
    const qint64 pause = longestPause([&] {
        started = started || gif->isVisible();
        QSqlQuery q;
        return started && !gif->isVisible() && q.exec(QStringLiteral("SELECT count(*) FROM MDSearchTitle")) && q.next()
               && q.value(0).toInt() >= songs;
    }, 120000);
    std::printf("search answered with %d songs: rows in after %lld ms\n", songs,
                static_cast<long long>(clock.elapsed()));
    verdict("  longest pause of the window", pause, kPauseTargetMs, "ms");
}

// A CD+G picture change as the lyric view makes it: the decoder's picture
// made a pixmap and scaled to the view while the last one is still shown,
// which is then freed; buffers of several megabytes each time. The median
// of 200 changes at two view sizes.
void cdgPictureChanges(const char *when)
{
    QImage picture(288, 192, QImage::Format_RGB32);
    picture.fill(Qt::darkBlue);
    for (const QSize view : {QSize(1280, 853), QSize(1920, 1280)}) {
        std::vector<double> ms;
        QPixmap shown;
        QElapsedTimer clock;
        for (int i = 0; i < 200; ++i) {
            picture.setPixel(i % 288, i % 192, qRgb(i & 255, 255, 0));
            clock.start();
            shown = QPixmap::fromImage(picture).scaled(view, Qt::IgnoreAspectRatio);
            ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("CD+G picture change at %dx%d, %s: %.3f ms median, %.3f ms at 90%%\n", view.width(),
                    view.height(), when, ms[ms.size() / 2], ms[ms.size() * 9 / 10]);
    }
}

// The store's big lists as the page lists them: the window's longest pause
// from the request to the rows in, and the resident memory before the
// request and once the list is left (the search emptied, or back from the
// artist's songs) and the page has settled for a second.
void listings(DatabaseHelper &db)
{
    const auto cached = [&](const QSqlDatabase &on, const char *sql) {
        QSqlQuery q(on);
        return q.exec(QLatin1String(sql)) && q.next() ? q.value(0).toInt() : -1;
    };
    const auto settle = [](int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    };
    struct Case
    {
        const char *what;
        const char *mode;
        int count;
        const char *button; // the filter the search runs under; none: an artist opened
        int times;
    };
    const Case cases[] = {
        {"title search answered with 40000 songs, six times", "songs", 40000, "titleButton", 6},
        {"search answered with 100000 artists", "artists", 100000, "artistButton", 1},
        {"search answered with 100000 genres", "genres", 100000, "genreButton", 1},
        {"store artist of 40000 songs opened", "songs", 40000, nullptr, 1},
    };
    for (const Case &c : cases) {
        libraryView page(&db, nullptr, nullptr);
        page.resize(1280, 800);
        page.show();
        settle(300);
        auto *gif = page.findChild<QWidget *>(QStringLiteral("loadingGifLabel"));
        auto *text = page.findChild<QLineEdit *>(QStringLiteral("searchText"));
        auto *table = page.findChild<QTableView *>(QStringLiteral("songsListview"));
        if (c.button) {
            page.findChild<QPushButton *>(QStringLiteral("MDSwitch"))->click();
            page.findChild<QPushButton *>(QLatin1String(c.button))->click();
        }
        settle(300);
        const qint64 before = residentMiB();
        qint64 pause = 0;
        qint64 most = before;
        QElapsedTimer clock;
        clock.start();
        std::vector<std::unique_ptr<QThread>> others;
        for (int round = 0; round < c.times; ++round) {
            control(QStringLiteral("/_control/fault?path=/service/songlist.php&mode=%1&times=1&count=%2")
                        .arg(QLatin1String(c.mode))
                        .arg(c.count));
            // Threads of their own that allocate and live on across the
            // request, as the banner's picture readers or name look-ups do
            // in the program: each listing's reader gets another arena.
            others.emplace_back(QThread::create([] {
                std::unique_ptr<char[]> some(new char[1000]);
                QThread::msleep(3000);
            }));
            others.back()->start();
            if (c.button) {
                text->setText(round % 2 == 0 ? QStringLiteral("Song") : QStringLiteral("Son"));
            } else {
                page.showQuery(db.sqlMDSearchTitle, libraryView::SongsOfListing);
                page.postToStore(QStringLiteral("/service/songlist.php"),
                                 {{QStringLiteral("lang"), QStringLiteral("2")},
                                  {QStringLiteral("interpreter"), QStringLiteral("Singer")}},
                                 &libraryView::receivedSongListForGenArtQuery);
            }
            bool started = false;
            pause = qMax(pause, longestPause([&] {
                started = started || gif->isVisible();
                most = qMax(most, residentMiB());
                const int in = !c.button ? cached(db.mdDb, "SELECT count(*) FROM MDSearchTitle")
                               : qstrcmp(c.mode, "songs") == 0
                                   ? cached(QSqlDatabase::database(), "SELECT count(*) FROM MDSearchTitle")
                                   : cached(QSqlDatabase::database(), "SELECT count(*) FROM MDSearchGenArt");
                return started && !gif->isVisible() && in >= c.count && table->model()->rowCount() > 0;
            }, 180000));
        }
        const qint64 took = clock.elapsed();
        for (const auto &other : others)
            other->wait();
        // The list is left.
        if (c.button)
            text->clear();
        else
            QMetaObject::invokeMethod(page.findChild<QPushButton *>(QStringLiteral("backButton")), &QPushButton::click);
        settle(1000);
        const qint64 after = residentMiB();
        std::printf("%s: rows in after %lld ms\n", c.what, static_cast<long long>(took));
        verdict("  longest pause of the window", pause, kPauseTargetMs, "ms");
        std::printf("  resident memory: %lld MiB before, %lld at most, %lld once the list is left\n",
                    static_cast<long long>(before), static_cast<long long>(most), static_cast<long long>(after));
        verdict("  memory kept once the list is left", after - before, kListMemoryMiB, "MiB");
    }
}

// The news list as the window takes it: the store's answer of `count` songs
// asked for twice, each read on a thread and written a slice at a time into
// the staging table, which then takes the place of the news. The window's
// longest pause from the request to the list in place, and the memory.
// The window itself refuses an answer over 16 MiB (some 65,000 songs); the
// 100,000 here measure the writing at the size of the other lists.
void news(DatabaseHelper &db, int count)
{
    const qint64 before = residentMiB();
    qint64 most = before;
    qint64 pause = 0;
    bool whole = true;
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < 2; ++round) {
        control(QStringLiteral("/_control/fault?path=/service/songlist_news.php&mode=songs&times=1&count=%1")
                    .arg(count));
        QNetworkAccessManager network;
        QNetworkRequest request(QUrl(base + QStringLiteral("/service/songlist_news.php")));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
        QNetworkReply *reply = network.post(request, QByteArrayLiteral("lang=2"));
        std::unique_ptr<StoreListing> work;
        bool done = false;
        QObject::connect(reply, &QNetworkReply::finished, [&] {
            const QByteArray body = reply->readAll();
            if (!db.startNewsStaging()) {
                whole = done = true;
                return;
            }
            work = std::make_unique<StoreListing>(StoreListing::News, body, reply->rawHeader("Content-Type"),
                                                  QSqlDatabase::database(), DatabaseHelper::newsStaging,
                                                  std::function<bool()>());
            QObject::connect(work.get(), &StoreListing::ended, [&](bool complete) {
                whole = whole && complete && work->unreadable().isEmpty() && db.swapInNews();
                done = true;
            });
            work->start();
        });
        pause = qMax(pause, longestPause([&] {
            most = qMax(most, residentMiB());
            return done;
        }, 180000));
        work.reset();
        delete reply;
    }
    const qint64 took = clock.elapsed();
    QSqlQuery q;
    whole = whole && q.exec(QStringLiteral("SELECT count(*) FROM MDNews")) && q.next() && q.value(0).toInt() == count;
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const qint64 after = residentMiB();
    std::printf("news of %d songs taken twice: in place after %lld ms%s\n", count, static_cast<long long>(took),
                whole ? "" : " (NOT WHOLE)");
    verdict("  longest pause of the window", pause, kPauseTargetMs, "ms");
    std::printf("  resident memory: %lld MiB before, %lld at most, %lld once the list is in\n",
                static_cast<long long>(before), static_cast<long long>(most), static_cast<long long>(after));
    verdict("  memory kept once the list is in", after - before, kListMemoryMiB, "MiB");
}

void download(const QString &folder, qint64 mib)
{
    const qint64 before = residentMiB();
    qint64 most = before;
    DownloadMngr d;
    bool busy = false;
    QObject::connect(&d, &DownloadMngr::progressValChanged, [&](qint64 got, qint64) {
        most = qMax(most, residentMiB());
        if (!busy && got > 0) {
            busy = true;
            QThread::msleep(1500);
        }
    });
    d.m_url = base + QStringLiteral("/files/bytes/%1").arg(mib << 20);
    d.m_destFolder = folder;
    d.m_fileName = QStringLiteral("big.mp3");
    d.m_fileSize = quint32(mib << 20);
    QElapsedTimer clock;
    clock.start();
    const int result = d.startDownloadSync();
    std::printf("download of %lld MiB: result %d after %lld ms\n", static_cast<long long>(mib), result,
                static_cast<long long>(clock.elapsed()));
    QFile::remove(d.getDestFullPath());
    verdict("  resident memory's rise", most - before, kMemoryTargetMiB, "MiB");
}

void banners()
{
    control(QStringLiteral("/_control/fault?path=/banners/get_banners.php&mode=hold&times=1"));
    AdBanner banner;
    banner.init(nullptr);
    QElapsedTimer clock;
    clock.start();
    banner.reloadBanners();
    const qint64 held = clock.elapsed();
    control(QStringLiteral("/_control/release?path=/banners/get_banners.php"));
    verdict("banner list held back: the window held for", held, kPauseTargetMs, "ms");
}

// A one-colour PNG of `side` pixels a side, made by scripts/one_colour_png.py.
QByteArray onePng(int side, const QString &folder)
{
    const QString path = folder + QStringLiteral("/one.png");
    QProcess::execute(QStringLiteral("/usr/bin/python3"),
                      {QStringLiteral(VELMAR_SCRIPTS_DIR "/one_colour_png.py"), QString::number(side), path});
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void hugeBanner(const QString &folder)
{
    const QByteArray png = onePng(32000, folder);
    control(QStringLiteral("/_control/reply?path=/img/huge.png"), png);
    control(QStringLiteral("/_control/reply?path=/banners/get_banners.php"),
            "{\"banners\":[{\"image_url\":\"" + base.toUtf8() + "/img/huge.png\",\"title\":\"Huge\"}]}");
    const QString cached = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/banners/")
                           + QString::fromLatin1(QCryptographicHash::hash((base + QStringLiteral("/img/huge.png")).toUtf8(),
                                                                          QCryptographicHash::Sha1)
                                                     .toHex());
    for (const bool fromCache : {false, true}) {
        if (fromCache) {
            // As an earlier version would have left it.
            QDir().mkpath(QFileInfo(cached).path());
            QFile file(cached);
            file.open(QIODevice::WriteOnly);
            file.write(png);
        }
        AdBanner banner;
        banner.init(nullptr);
        QElapsedTimer clock;
        clock.start();
        banner.reloadBanners();
        // Settled once the picture is in or has been given up, give or take
        // a last look a second later.
        const qint64 pause = longestPause([&] {
            return !banner.banners().isEmpty() && clock.elapsed() > 1000
                   && (!banner.findChild<QLabel *>(QStringLiteral("lb_image"))->pixmap().isNull()
                       || banner.download_from(base + QStringLiteral("/img/huge.png")).isNull());
        }, 60000);
        std::printf("banner picture of 32000x32000 pixels (%lld KB) %s: settled after %lld ms\n",
                    static_cast<long long>(png.size() >> 10), fromCache ? "from the cache" : "as it arrives",
                    static_cast<long long>(clock.elapsed()));
        verdict("  longest pause of the window", pause, kPauseTargetMs, "ms");
    }
}

void bigAnswers()
{
    const auto padded = [](const QByteArray &record) {
        return "<melodrome_message>" + record + "<pad>" + QByteArray(14 << 20, 'x') + "</pad></melodrome_message>";
    };
    control(QStringLiteral("/_control/reply?path=/service/service_status.php"),
            padded("<service_status>online</service_status>"));
    control(QStringLiteral("/_control/reply?path=/version_checker/check_version_velmarpc.php"),
            padded("<velmarpc><sw_version>2.4.10</sw_version><url_update></url_update><size>0</size></velmarpc>"));
    control(QStringLiteral("/_control/reply?path=/version_checker/check_soundfont.php"),
            padded("<soundfont><version>1.0</version><url_update>" + base.toUtf8()
                   + "/files/bytes/900</url_update><size>900</size></soundfont>"));
    control(QStringLiteral("/_control/reply?path=/service/song_info.php"),
            padded("<song><url>" + base.toUtf8() + "/files/song/5001.mid</url><size>118</size></song>"));
    User user(QStringLiteral("Anna"), QStringLiteral("Rossi"), 42);
    MelodromeManager manager(nullptr, &user, nullptr);
    SoundfontManager bank;
    bool done = false;
    const auto measure = [&](const char *what, const std::function<void()> &ask) {
        done = false;
        ask();
        verdict(what, longestPause([&] { return done; }, 60000), kPauseTargetMs, "ms");
    };
    QObject::connect(&manager, &MelodromeManager::serviceStatusKnown, [&] { done = true; });
    QObject::connect(&manager, &MelodromeManager::versionChecked, [&] { done = true; });
    QObject::connect(&bank, &SoundfontManager::infoKnown, [&] { done = true; });
    std::printf("answers of 14 MB where one record is due:\n");
    measure("  service status: longest pause of the window", [&] { manager.checkServiceStatus(); });
    measure("  version check: longest pause of the window", [&] { manager.checkUpdateServer(QStringLiteral("linux")); });
    measure("  sound bank's information: longest pause of the window", [&] { bank.getInfoFromServer(); });
    // The song's details are asked for by a song download, which waits in
    // a loop of its own: the pause is measured around it.
    measure("  song details: longest pause of the window", [&] {
        QTimer::singleShot(0, [&] {
            manager.downloadSubscriptSong({5001, QStringLiteral("Love Song"), QStringLiteral("Singer"),
                                           QStringLiteral("MIDI"), {}, 0},
                                          nullptr, ProvenienceNews);
            done = true;
        });
    });
}

} // namespace

int main(int argc, char **argv)
{
    // As the program: VELMAR_DEFAULT_ALLOCATOR=1 leaves glibc as it is.
    if (qEnvironmentVariableIsEmpty("VELMAR_DEFAULT_ALLOCATOR"))
        MemoryPolicy::apply();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h")) || args.size() > 3) {
        std::fputs("Usage: bench_store [songs] [MiB]   (default 40000 1024)\n"
                   "       bench_store --lists\n"
                   "A title search answered with SONGS songs, a download of MIB MiB and a held\n"
                   "banner list, against the project's store service; with --lists the store's\n"
                   "big lists (100000 artists, 100000 genres, an artist of 40000 songs, a title\n"
                   "search of 40000 songs six times, news of 5000 to 100000 songs): the window's\n"
                   "longest pause and the memory.\n",
                   args.size() > 3 ? stderr : stdout);
        return args.size() > 3 ? 2 : 0;
    }
    const int songs = args.value(1, QStringLiteral("40000")).toInt();
    const qint64 mib = args.value(2, QStringLiteral("1024")).toLongLong();

    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    QProcess store;
    store.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(VELMAR_STORE_SERVICE), QStringLiteral("--control")});
    if (!store.waitForReadyRead(20000)) {
        std::fputs("bench_store: the store service did not start\n", stderr);
        return 1;
    }
    base = QStringLiteral("http://127.0.0.1:") + QString::fromLatin1(store.readLine().trimmed().split(' ').value(1));
    qputenv("VELMAR_STORE_URL", base.toUtf8());
    qputenv("VELMAR_CHECK_URL", base.toUtf8());

    auto db = std::make_unique<DatabaseHelper>();
    db->initDb();
    db->connect();
    if (args.contains(QStringLiteral("--lists"))) {
        cdgPictureChanges("before the store's lists");
        listings(*db);
        for (int count : {5000, 40000, 100000})
            news(*db, count);
        cdgPictureChanges("after them");
    } else {
        search(*db, songs);
        download(home.path(), mib);
        banners();
        hugeBanner(home.path());
        bigAnswers();
    }
    store.terminate();
    store.waitForFinished();
    return 0;
}
