// The store's big lists on the library page, answered by the local store
// service: every record listed, the rows shown while the rest are still
// being cached (the window's event loop turning meanwhile), and a new
// search ending the listing of the one before.
#include "libraryfixture.h"
#include "melodromemanager.h"
#include "storelisting.h"
#include "user.h"

#include <QSqlQuery>

namespace {

const char kSongList[] = "/service/songlist.php";

int count(const QSqlDatabase &db, const char *sql)
{
    QSqlQuery q(db);
    return q.exec(QLatin1String(sql)) && q.next() ? q.value(0).toInt() : -1;
}

} // namespace

class TestStoreListings : public QObject, LibraryFixture
{
    Q_OBJECT

    // What a timer of the window's thread saw while a list came in.
    struct Watch
    {
        int ticks = 0;
        // Some records cached, not all, and store rows already in the table.
        bool shownWhileCaching = false;
    };

    QSqlDatabase cacheDb(const QString &kind) const
    {
        return kind == "list" ? db->mdDb : QSqlDatabase::database();
    }
    static const char *cacheCount(const QString &kind)
    {
        return kind == "artist" || kind == "genre" ? "SELECT count(DISTINCT Id) FROM MDSearchGenArt"
                                                   : "SELECT count(DISTINCT ProductId) FROM MDSearchTitle";
    }
    // Every row of the table, fetched.
    int allRows()
    {
        while (table()->model()->canFetchMore({}))
            table()->model()->fetchMore({});
        return rows();
    }
    // The page asks the store for `kind`'s list, answered with `total`
    // records; waits until they are all in and the animation has stopped.
    void listAndWatch(const QString &kind, const QString &mode, int total, const QString &text, Watch &watch,
                      int localRows)
    {
        store.setFault(kSongList, mode, 1, QStringLiteral("count=%1").arg(total));
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            ++watch.ticks;
            const int in = count(cacheDb(kind), cacheCount(kind));
            if (in > 0 && in < total && rows() > localRows)
                watch.shownWhileCaching = true;
        });
        ticker.start(2);
        if (kind == "list") {
            page->showQuery(db->sqlMDSearchTitle, libraryView::SongsOfListing);
            page->postToStore(kSongList, {{"lang", "2"}, {"interpreter", "Singer"}},
                              &libraryView::receivedSongListForGenArtQuery);
        } else {
            // The store is asked once the typing pauses.
            search()->setText(text);
        }
        QTRY_VERIFY_WITH_TIMEOUT(gif()->isVisible(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!gif()->isVisible(), 180000);
        QCOMPARE(count(cacheDb(kind), cacheCount(kind)), total);
    }

private slots:
    void initTestCase() { QVERIFY(store.start()); }

    void init()
    {
        open();
        addSong("Song of mine", "Songwriter", "Songstyle");
        makePage();
        store.reset();
    }
    void cleanup() { close(); }

    // 100,000 artists or genres, a store artist of 40,000 songs, and a title
    // search of 40,000 songs twice: all of them listed, once only, and shown
    // while the rest were being cached.
    void bigLists_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("searches");
        QTest::newRow("100000 artists") << "artist" << "artists" << 100000 << 1;
        QTest::newRow("100000 genres") << "genre" << "genres" << 100000 << 1;
        QTest::newRow("an artist of 40000 songs") << "list" << "songs" << 40000 << 1;
        QTest::newRow("40000 songs, twice") << "title" << "songs" << 40000 << 2;
    }

    void bigLists()
    {
        QFETCH(QString, kind);
        QFETCH(QString, mode);
        QFETCH(int, total);
        QFETCH(int, searches);
        if (kind != "list") {
            button("MDSwitch")->click();
            button(qPrintable(kind + "Button"))->click();
        }
        for (int round = 0; round < searches; ++round) {
            // "Song" and "Son" each match the one local song, artist or genre.
            const QString text = round == 0 ? "Song" : "Son";
            Watch watch;
            listAndWatch(kind, mode, total, text, watch, kind == "list" ? 0 : 1);
            QVERIFY2(watch.shownWhileCaching, qPrintable(QStringLiteral("%1 ticks").arg(watch.ticks)));
            QCOMPARE(allRows(), total + (kind == "list" ? 0 : 1));
            QCOMPARE(said(), QString());
        }
        if (kind == "list") {
            QCOMPARE(count(db->mdDb, "SELECT count(*) FROM MDSearchTitle WHERE isFromSub = 2 AND Titolo LIKE 'Song %'"),
                     total);
        } else if (kind == "title") {
            // The local song stands among the store's.
            int local = 0;
            for (int r = 0; r < rows(); ++r)
                local += !page->isStoreRow(r);
            QCOMPARE(local, 1);
        }
    }

    // A search typed while the store's 100,000 artists are being cached ends
    // that work at the keystroke, before the typing pause is over: only the
    // new search's artists are cached and listed.
    void newSearchEndsTheOld()
    {
        button("MDSwitch")->click();
        button("artistButton")->click();
        store.setFault(kSongList, "artists", 1, "count=100000");
        bool typed = false;
        // The first listing had ended once the key was handled.
        bool endedAtTheKey = false;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const int in = count(QSqlDatabase::database(), "SELECT count(*) FROM MDSearchGenArt");
            if (!typed && in > 0 && in < 100000) {
                typed = true;
                QPointer<StoreListing> first = page->findChild<StoreListing *>();
                QVERIFY(first);
                bool ended = false;
                QObject::connect(first, &StoreListing::ended, [&ended] { ended = true; });
                store.setFault(kSongList, "artists", 1, "count=5");
                QTest::keyClick(search(), 's');
                endedAtTheKey = ended;
                if (first)
                    first->disconnect();
            }
        });
        ticker.start(2);
        QTest::keyClicks(search(), "Song");
        QTRY_VERIFY_WITH_TIMEOUT(typed, 60000);
        QVERIFY(endedAtTheKey);
        QTRY_COMPARE_WITH_TIMEOUT(store.requests(kSongList).size(), 2, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!gif()->isVisible(), 60000);
        QCOMPARE(search()->text(), QString("Songs"));
        // Nothing of the first answer comes in after the second.
        QTest::qWait(300);
        QCOMPARE(count(QSqlDatabase::database(), "SELECT count(*) FROM MDSearchGenArt"), 5);
        QCOMPARE(allRows(), 5);
        QCOMPARE(table()->model()->index(0, 1).data().toString().left(7), QString("Singer "));
    }

    // Back from a store artist's 40,000 songs while they are being cached:
    // the caching ends and the artists stay listed.
    void leavingAListEndsIt()
    {
        button("artistButton")->click();
        store.setFault(kSongList, "songs", 1, "count=40000");
        page->showQuery(db->sqlMDSearchTitle, libraryView::SongsOfListing);
        page->postToStore(kSongList, {{"lang", "2"}, {"interpreter", "Singer"}},
                          &libraryView::receivedSongListForGenArtQuery);
        bool left = false;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const int in = count(db->mdDb, "SELECT count(*) FROM MDSearchTitle");
            if (!left && in > 0 && in < 40000) {
                left = true;
                button("backButton")->click();
            }
        });
        ticker.start(2);
        QTRY_VERIFY_WITH_TIMEOUT(left, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(!gif()->isVisible(), 60000);
        const int cached = count(db->mdDb, "SELECT count(*) FROM MDSearchTitle");
        QTest::qWait(300);
        QVERIFY(cached < 40000);
        QCOMPARE(count(db->mdDb, "SELECT count(*) FROM MDSearchTitle"), cached);
        QCOMPARE(page->getHeaderStatus(), int(libraryView::Listing));
        QCOMPARE(allRows(), 1);
        QCOMPARE(cell(0, 1), QString("Songwriter"));
    }

    // A store row answers after any road through the searches: the library's
    // artist opened, the same text typed again over it without Back, then
    // the store's artist of that name opened; then a title search's store
    // song downloads. Each row double-clicked where it is drawn.
    void storeRowsAnswerAfterAnyRoad()
    {
        User user(QString(), QString(), 42);
        MelodromeManager manager(nullptr, &user, db.get());
        page.reset();
        addSong("Local by Singer", "Singer", "Pop");
        makePage(&manager);
        store.reset();
        const auto doubleClickRow = [this](int row) {
            const QRect at = table()->visualRect(table()->model()->index(row, 1));
            QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, at.center());
            QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, at.center());
        };
        // The row of `name` from the store (or not), -1 when none.
        const auto rowOf = [this](const QString &name, bool fromStore) {
            for (int r = 0; r < rows(); ++r)
                if (cell(r, 1) == name && page->isStoreRow(r) == fromStore)
                    return r;
            return -1;
        };
        const auto searchFor = [this](const QString &text, int searches) {
            search()->setFocus();
            QTest::keyClick(search(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(search(), text);
            QTRY_COMPARE_WITH_TIMEOUT(store.requests(kSongList).size(), searches, 20000);
            QTRY_VERIFY_WITH_TIMEOUT(!gif()->isVisible(), 20000);
        };
        button("MDSwitch")->click();
        for (const bool artists : {true, false}) {
            store.reset();
            const QString name = artists ? "Singer" : "Pop";
            const QString text = artists ? "Sing" : "Pop";
            button(artists ? "artistButton" : "genreButton")->click();
            searchFor(text, 1);
            QTRY_VERIFY(rowOf(name, false) >= 0 && rowOf(name, true) >= 0);
            // The library's artist (genre): its songs.
            doubleClickRow(rowOf(name, false));
            QCOMPARE(page->getHeaderStatus(), int(libraryView::SongsOfListing));
            QCOMPARE(cell(0), QString("Local by Singer"));
            // Typed again over its songs, without Back: the listing again.
            searchFor(text, 2);
            QCOMPARE(page->getHeaderStatus(), int(libraryView::Listing));
            QTRY_VERIFY(rowOf(name, true) >= 0);
            // The store's: asked for its songs, nothing downloaded.
            doubleClickRow(rowOf(name, true));
            QTRY_COMPARE_WITH_TIMEOUT(store.requests(kSongList).size(), 3, 20000);
            QCOMPARE(store.requests(kSongList).last().form().value(artists ? "interpreter" : "genre"), name);
            QTRY_VERIFY_WITH_TIMEOUT(!gif()->isVisible(), 20000);
            QVERIFY(store.requests("/service/song_info.php").isEmpty());
            QCOMPARE(page->getHeaderStatus(), int(libraryView::SongsOfListing));
            QTRY_VERIFY(rows() > 0);
            QCOMPARE(cell(0), QString("Love Song"));
            QCOMPARE(said(), QString());
            button("backButton")->click();
        }
        // A title search's store song downloads.
        store.reset();
        button("titleButton")->click();
        searchFor("Love", 1);
        int storeRow = -1;
        for (int r = 0; r < rows(); ++r)
            if (page->isStoreRow(r))
                storeRow = r;
        QVERIFY(storeRow >= 0);
        doubleClickRow(storeRow);
        QTRY_COMPARE_WITH_TIMEOUT(store.requests("/service/song_info.php").size(), 1, 20000);
        QCOMPARE(store.requests("/service/song_info.php").first().form().value("id_product"), QString("5001"));
        QTRY_COMPARE_WITH_TIMEOUT(store.requests("/files/song/5001.mid").size(), 1, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!manager.isDownloading(), 20000);
    }
};

VELMAR_TEST(TestStoreListings)
#include "tst_storelistings.moc"
