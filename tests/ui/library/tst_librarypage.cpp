// The library page on a real library file with songs registered through the
// database helper, and the store's replies from the local test store.
#include "libraryfixture.h"
#include "LibrarySql.h"
#include "melodromemanager.h"
#include "popupform.h"
#include "user.h"

#include <QHeaderView>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScrollBar>
#include <QSqlQuery>
#include <QSqlQueryModel>

namespace {

const char kSongList[] = "/service/songlist.php";
const char kSongInfo[] = "/service/song_info.php";

QByteArray song(const char *id, const char *product, const char *title, const char *extra = "")
{
    return QByteArray("<song><songid>") + id + "</songid><productid>" + product +
           "</productid><title>" + title + "</title><interpreters>Seller</interpreters>" + extra +
           "<format>MIDI</format><lenght>185</lenght><download>1</download></song>";
}

QByteArray message(const QByteArray &inner)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><melodrome_message>" + inner +
           "</melodrome_message>";
}

int count(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    return q.exec(sql) && q.next() ? q.value(0).toInt() : -1;
}

} // namespace

class TestLibraryPage : public QObject, LibraryFixture
{
    Q_OBJECT

    TestStore elsewhere; // another host

private slots:
    void initTestCase() { QVERIFY(store.start() && elsewhere.startElsewhere("127.0.0.2")); }

    void init()
    {
        open();
        addSong("Don't \"Stop\" Me", "Queen", "Rock");
        addSong("Ода к радости", "Бетховен", "Classica");
        addSong("夜曲", "周杰伦", "Pop");
        addSong("Bought", "Queen", "Rock", 1);
        SongInfo news;
        news.title = "News song";
        news.ProductId = 5001;
        news.isFromSub = 2;
        QVERIFY(db->insertMDSongsNews(news));
        db->insertPlaylist("Live");
        db->insertPlaylist("Empty");
        QVERIFY(db->insertSongInPlayList(1, 5));
        // Recent lists the songs heard, the one heard.
        QVERIFY(db->updateLastPlay(2));
        makePage();
        store.reset();
    }
    void cleanup() { close(); }

    // Each entry of the side list shows its rows in its header state with
    // the header buttons that state offers.
    void headerStates_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<bool>("enabled");
        const QStringList base{"deleteButton", "infoButton"};
        QTest::newRow("all songs") << 0 << 0 << 4 << base << true;
        QTest::newRow("recent") << 1 << 1 << 1
                                << base + QStringList{"AddToPlayListButton", "autoPlayButton"} << false;
        // Auto Play is offered where it acts: in a playlist.
        QTest::newRow("downloaded") << 2 << 6 << 1 << base + QStringList{"AddToPlayListButton"} << true;
        QTest::newRow("news") << 3 << 5 << 1 << QStringList{"infoButton"} << true;
        QTest::newRow("caption") << 4 << 0 << 4 << base << true;
        QTest::newRow("user playlist") << 5 << 2 << 1
                                       << base + QStringList{"AddToPlayListButton", "autoPlayButton"} << true;
        QTest::newRow("empty playlist") << 6 << 2 << 0
                                        << base + QStringList{"AddToPlayListButton", "autoPlayButton"} << true;
    }

    void headerStates()
    {
        QFETCH(int, entry);
        QFETCH(int, state);
        QFETCH(int, rowCount);
        QFETCH(QStringList, buttons);
        QFETCH(bool, enabled);
        side(entry);
        QCOMPARE(page->getHeaderStatus(), state);
        QCOMPARE(rows(), rowCount);
        for (QPushButton *b : page->findChild<QWidget *>("PlayListHead")->findChildren<QPushButton *>()) {
            QCOMPARE(!b->isHidden(), buttons.contains(b->objectName()));
            if (!b->isHidden())
                QCOMPARE(b->isEnabled(), enabled);
        }
        QCOMPARE(table()->isColumnHidden(9), state == 5);
        QCOMPARE(page->findChild<PopupForm *>()->isVisible(), entry == 6);
        QCOMPARE(table()->verticalHeader()->sectionsMovable(), state == 2);
        if (entry >= 5)
            QCOMPARE(page->getPlaylistId(), entry);
    }

    // At any width a window can have, the song table's columns fill it
    // whole, with or without a playlist's grips (also right after "End" of
    // Add Song), with no sideways bar; title and artist get what the others
    // leave.
    void columnWidths_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("entry");
        for (int width : {560, 700, 783, 1400}) {
            QTest::addRow("%d, all songs", width) << width << 0;
            QTest::addRow("%d, a playlist after Add Song", width) << width << 5;
        }
    }
    void columnWidths()
    {
        QFETCH(int, width);
        QFETCH(int, entry);
        page->resize(width, 600);
        side(entry);
        if (entry == 5) {
            QTest::mouseClick(button("AddToPlayListButton"), Qt::LeftButton);
            QTest::mouseClick(button("AddToPlayListButton"), Qt::LeftButton);
            QCOMPARE(button("AddToPlayListButton")->text(), QString("Add Song"));
        }
        QApplication::processEvents();
        int sum = 0;
        for (int c = 0; c < table()->model()->columnCount(); ++c)
            sum += table()->isColumnHidden(c) ? 0 : table()->columnWidth(c);
        QCOMPARE(sum, table()->viewport()->width());
        QVERIFY(!table()->horizontalScrollBar()->isVisible());
        QVERIFY(qAbs(table()->columnWidth(2) - table()->columnWidth(3)) <= 1);
        QVERIFY(table()->columnWidth(2) >= 40);
    }

    // Quotes and non-Latin text are searched as the text they are.
    void searchAwkwardTitles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("found");
        QTest::newRow("double quote") << "\"Stop\"" << "Don't \"Stop\" Me";
        QTest::newRow("apostrophe") << "Don't" << "Don't \"Stop\" Me";
        QTest::newRow("cyrillic") << "радости" << "Ода к радости";
        QTest::newRow("chinese") << "夜" << "夜曲";
        QTest::newRow("column name") << "Titolo" << QString();
    }

    void searchAwkwardTitles()
    {
        QFETCH(QString, text);
        QFETCH(QString, found);
        search()->setText(text);
        page->showQuery(db->sqlTitleFilter, libraryView::AllSongs);
        QCOMPARE(rows(), found.isEmpty() ? 0 : 1);
        if (!found.isEmpty())
            QCOMPARE(table()->model()->index(0, 2).data().toString(), found);
    }

    // Store replies fill the caches in the page's query; bad ones keep the
    // local rows and whatever came complete before the fault.
    void storeReplies_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("cache");
        QTest::addColumn<QString>("cached");
        QTest::addColumn<int>("rowCount");
        const QByteArray two = song("1", "5001", "Stop A") + song("2", "5002", "Stop B");
        QTest::newRow("titles") << "title" << message(two)
                                << "SELECT group_concat(ProductId) FROM MDSearchTitle" << "5001,5002" << 3;
        QTest::newRow("titles truncated") << "title" << message(two).left(message(two).size() - 120)
                                          << "SELECT count(*) FROM MDSearchTitle" << "1" << 2;
        QTest::newRow("artists") << "artist"
                                 << message("<interpreter/><interpreter_id>900</interpreter_id><name>Seller</name><num_songs>3</num_songs>")
                                 << "SELECT group_concat(Nome) FROM MDSearchGenArt" << "Seller" << 2;
        QTest::newRow("genres, second incomplete") << "genre"
            << message("<genre/><genre_id>7</genre_id><name>Rockabilly</name><num_songs>2</num_songs>"
                       "<genre/><genre_id>8</genre_id><name>Ska</name>")
            << "SELECT group_concat(Nome) FROM MDSearchGenArt" << "Rockabilly" << 2;
        QTest::newRow("artist songs, field missing") << "list"
            << message("<list>" + song("1", "5001", "A") + "<song><songid>2</songid><title>B</title><download/></song></list>")
            << "mem:SELECT group_concat(ProductId || '/' || Artista, ',') FROM MDSearchTitle" << "5001/Seller,0/" << 2;
        QTest::newRow("artist songs, wrong root") << "list" << QByteArray("<message><list>") + song("1", "1", "A") + "</list></message>"
            << "mem:SELECT count(*) FROM MDSearchTitle" << "0" << 0;
    }

    void storeReplies()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, body);
        QFETCH(QString, cache);
        QFETCH(QString, cached);
        QFETCH(int, rowCount);
        store.setReply(kSongList, body);
        libraryView::ReplyHandler handler = &libraryView::receivedSongListForQuery;
        if (kind == "title") {
            search()->setText("Stop");
            page->showQuery(db->sqlTitleFilterWithMD, libraryView::AllSongs);
        } else if (kind == "list") {
            handler = &libraryView::receivedSongListForGenArtQuery;
            page->showQuery(db->sqlMDSearchTitle, libraryView::SongsOfListing);
        } else {
            page->findChild<QPushButton *>(kind + "Button")->click();
            search()->setText(kind == "artist" ? "Que" : "Ro");
            page->showQuery(kind == "artist" ? db->sqlArtistFilterWithMD : db->sqlGenreFilterWithMD,
                            libraryView::Listing);
            handler = kind == "artist" ? &libraryView::receivedArtistListForQuery
                                       : &libraryView::receivedGenreListForQuery;
        }
        QNetworkReply *reply = page->postToStore(kSongList, {{"lang", "2"}, {"search", search()->text()}},
                                                 handler, search()->text());
        QSignalSpy done(reply, &QObject::destroyed);
        QVERIFY(done.wait(20000));
        const bool mem = cache.startsWith("mem:");
        QSqlQuery q(mem ? db->mdDb : QSqlDatabase::database());
        QVERIFY(q.exec(mem ? cache.mid(4) : cache) && q.next());
        QCOMPARE(q.value(0).toString(), cached);
        QCOMPARE(rows(), rowCount);
        if (rowCount > 1 && kind != "list")
            QVERIFY(page->isStoreRow(rowCount - 1) != page->isStoreRow(0));
    }

    // A search the whole store answers (40,000 songs) is read off the
    // window's thread and listed whole beside the local match; a web page
    // by a lower-case doctype is said, and the local rows stay.
    void hugeSearchAnswer()
    {
        store.setFault(kSongList, "songs", 1, "count=40000");
        button("MDSwitch")->click();
        QTest::keyClicks(search(), "Sto");
        QTRY_COMPARE_WITH_TIMEOUT(count(QSqlDatabase::database(), "SELECT count(DISTINCT ProductId) FROM MDSearchTitle"),
                                  40000, 60000);
        QTRY_VERIFY(rows() > 1 && !gif()->isVisible());
        while (table()->model()->canFetchMore({}))
            table()->model()->fetchMore({});
        QCOMPARE(rows(), 40001);
        QCOMPARE(said(), QString());

        store.setFault(kSongList, "doctype", 1);
        QTest::keyClick(search(), 'p');
        QTRY_VERIFY_WITH_TIMEOUT(said().startsWith("The store cannot be searched now: a web page came"), 20000);
        QCOMPARE(rows(), 1);
    }

    // Search, song details and a store artist's songs asked for at once:
    // each answer lands in its own rows, and the animation stops with the
    // last one. Text typed at once asks the store once.
    void interleavedRequests()
    {
        QStringList boxes;
        Prompter::setScript([&](const QString &, const QString &text, QMessageBox::StandardButtons) {
            return boxes << text, QMessageBox::Ok;
        });
        button("MDSwitch")->click();
        QTest::keyClicks(search(), "Sto");
        QTRY_COMPARE_WITH_TIMEOUT(rows(), 2, 20000); // the local match and the store's
        QCOMPARE(store.requests(kSongList).size(), 1);
        QCOMPARE(store.requests(kSongList).first().form().value("lang"), "2");
        const int storeRow = page->isStoreRow(0) ? 0 : 1;
        QVERIFY(page->isStoreRow(storeRow) && !page->isStoreRow(1 - storeRow));
        store.setFault(kSongList, "hold", 1);
        store.setFault(kSongInfo, "hold", 1);
        search()->setText("Stop");
        table()->selectRow(storeRow);
        button("infoButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(store.requests(kSongList).size(), 2, 20000);
        QCOMPARE(store.requests(kSongInfo).size(), 1);
        QVERIFY(gif()->isVisible());
        store.release(kSongInfo);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, 20000);
        QVERIFY(boxes.first().startsWith("Title: Love Song\n"));
        QVERIFY(gif()->isVisible());
        store.release(kSongList);
        QTRY_VERIFY_WITH_TIMEOUT(!gif()->isVisible(), 20000);
        QCOMPARE(rows(), 2);
        QCOMPARE(cell(storeRow), "Love Song");

        // The artist search goes out while a store artist opens.
        button("artistButton")->click();
        search()->setText("Sing");
        QTRY_COMPARE_WITH_TIMEOUT(rows(), 1, 20000);
        store.setFault(kSongList, "hold", 2);
        search()->setText("Singer");
        emit table()->doubleClicked(table()->model()->index(0, 1));
        QTRY_COMPARE_WITH_TIMEOUT(store.requests(kSongList).size(), 5, 20000);
        store.release(kSongList, 2);
        QTRY_VERIFY_WITH_TIMEOUT(!gif()->isVisible(), 20000);
        QCOMPARE(page->getHeaderStatus(), int(libraryView::SongsOfListing));
        QCOMPARE(rows(), 1);
        QCOMPARE(cell(0), "Love Song");
        QCOMPARE(said(), QString());
        button("backButton")->click();
        QCOMPARE(rows(), 1);
        QCOMPARE(cell(0, 1), "Singer");
    }

    // Every way a store request can fail is said in the page, and the
    // animation stops; a search cleared while it waits says nothing. A web
    // page or a broken answer is no "nothing found"; a reply far too large
    // is cut off before it fills the memory; nothing goes to another host.
    // The failure line takes a row of its own: the search field keeps its
    // width.
    void storeFailures_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("told");
        QTest::newRow("search, server error") << "search" << "http500"
            << "The store cannot be searched now: the server answered with error 500.";
        QTest::newRow("search, no answer") << "search" << "silent"
            << "The store cannot be searched now: the server did not answer in time.";
        QTest::newRow("search cleared while waiting") << "cleared" << "hold" << "";
        QTest::newRow("search, a sign-in page") << "search" << "html"
            << "The store cannot be searched now: a web page came instead of the store's answer (the network "
               "may want you to sign in through a web browser first, or the store is under maintenance).";
        QTest::newRow("search, broken answer") << "search" << "malformed"
            << "The store cannot be searched now: the store's answer cannot be read.";
        QTest::newRow("search, endless answer") << "search" << "oversized"
            << "The store cannot be searched now: the server's answer was too large.";
        QTest::newRow("search, sent elsewhere") << "search" << "redirect"
            << "The store cannot be searched now: the server sent the request on to another site (127.0.0.2), "
               "where the program sends nothing.";
        QTest::newRow("artist's songs, a sign-in page") << "artist" << "html"
            << "The store's songs of this list cannot be shown: a web page came instead of the store's answer "
               "(the network may want you to sign in through a web browser first, or the store is under "
               "maintenance).";
        QTest::newRow("details, not found") << "info" << "http404"
            << "The song's details cannot be shown: the server answered with error 404.";
        QTest::newRow("artist's songs, cut short") << "artist" << "truncated"
            << "The store's songs of this list cannot be shown: the connection broke off.";
        QTest::newRow("news song, not found") << "download" << "http404"
            << "\"News song\" could not be downloaded: the server answered with error 404.";
        // The connection is named only where it is at fault.
        QTest::newRow("news song, cut short") << "download" << "truncated"
            << "\"News song\" could not be downloaded: the connection broke off. Check the internet connection "
               "and double-click the song to try again.";
        QTest::newRow("news song, a local file") << "local file" << ""
            << "\"News song\" could not be downloaded: the server named no web address for the file.";
    }

    void storeFailures()
    {
        QFETCH(QString, request);
        QFETCH(QString, fault);
        QFETCH(QString, told);
        User user(QString(), QString(), 42);
        MelodromeManager manager(nullptr, &user, db.get());
        manager.setTimeouts({1000, 0, 3000}, {1000, 1000, 3000});
        makePage(&manager);
        page->setTimeouts({1000, 0, 3000});
        QTRY_VERIFY(search()->isVisible() && search()->width() > 200);
        const int searchWidth = search()->width();
        const QString text = "C++ & \"Ünï\" 100%=";
        QString path = kSongList;
        elsewhere.reset();
        const qint64 rise = TestUtil::memoryRise([&] {
        if (request == "download" || request == "local file") {
            path = "/files/song/5001.mid";
            store.setFault(path, fault);
            if (request == "local file")
                store.setReply(kSongInfo, "<melodrome_message><song><url>file:///etc/hostname</url><size>"
                                              + QByteArray::number(QFileInfo("/etc/hostname").size())
                                              + "</size></song></melodrome_message>");
            side(3);
            emit table()->doubleClicked(table()->model()->index(0, 2));
        } else {
            button("MDSwitch")->click();
            if (request == "artist" || request == "info") {
                button(request == "artist" ? "artistButton" : "titleButton")->click();
                search()->setText("S");
                QTRY_COMPARE_WITH_TIMEOUT(store.requests(kSongList).size(), 1, 20000);
                QTRY_VERIFY_WITH_TIMEOUT(!gif()->isVisible(), 20000);
                path = request == "info" ? kSongInfo : kSongList;
            }
            store.setFault(path, fault, 0, fault == "redirect" ? "to=" + elsewhere.base() + path : QString());
            if (request == "info") {
                table()->selectRow(page->isStoreRow(0) ? 0 : rows() - 1);
                button("infoButton")->click();
            } else if (request == "artist") {
                emit table()->doubleClicked(table()->model()->index(0, 1));
            } else {
                search()->setText(text);
            }
            QTRY_VERIFY_WITH_TIMEOUT(!store.requests(path).isEmpty(), 20000);
        }
        if (request == "cleared") {
            QVERIFY(gif()->isVisible() && store.requests(path).last().form().value("search") == text);
            search()->clear();
            QVERIFY(!gif()->isVisible());
            store.release(path);
        }
        QTRY_COMPARE_WITH_TIMEOUT(said().left(told.isEmpty() ? said().size() : told.size()), told, 20000);
        if (request == "download" || request == "local file") {
            QCOMPARE(said(), told);
            // The row's mark says it too.
            QCOMPARE(table()->model()->index(0, 1).data().toInt(), int(StoreDownloadFailed));
        }
        // The internet connection is named only where it is at fault.
        QCOMPARE(said().contains("internet connection"), told.contains("in time") || told.contains("broke off"));
        });
        QVERIFY2(rise < (128 << 20), qPrintable(QString::number(rise)));
        QVERIFY(elsewhere.requests().isEmpty());
        QVERIFY(!gif()->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(search()->width(), searchWidth);
        if (request == "search" || request == "cleared")
            QCOMPARE(count(QSqlDatabase::database(), "SELECT count(*) FROM MDSearchTitle"), 0);
    }

    // Typed a key at a time over many titles, the list holds at every
    // keystroke exactly the songs whose title contains the text, in the
    // library's order: also when a song arrives while the user types, when a
    // letter is taken back, and with LIKE's own characters typed.
    void typedSearch()
    {
        {
            LibrarySql::Savepoint fill(QSqlDatabase::database(), "fill");
            for (int i = 0; i < 600; ++i)
                addSong(QString("Tempo %1 %2").arg(i % 7 ? "Treno" : "T_eno").arg(i), "Band");
            QVERIFY(fill.release());
        }
        const auto shown = [this] {
            QAbstractItemModel *model = table()->model();
            while (model->canFetchMore({}))
                model->fetchMore({});
            QStringList ids;
            for (int row = 0; row < model->rowCount(); ++row)
                ids << model->index(row, 0).data().toString();
            return ids;
        };
        const auto matching = [](const QString &text) {
            QSqlQuery q;
            q.prepare("SELECT IdSong FROM Songs WHERE Titolo LIKE '%'||?||'%' ORDER BY IdSong");
            q.addBindValue(text);
            QStringList ids;
            for (q.exec(); q.next();)
                ids << q.value(0).toString();
            return ids;
        };
        const auto type = [&](const QString &keys) {
            for (const QChar key : keys) {
                QTest::keyClicks(search(), key);
                QCOMPARE(shown(), matching(search()->text()));
            }
        };
        type("tempo treno 1");
        QVERIFY(rows() > 0 && rows() < 256);
        addSong("Tempo Treno 1999", "Late");
        type("9");
        QCOMPARE(cell(rows() - 1), QString("Tempo Treno 1999"));
        QTest::keyClick(search(), Qt::Key_Backspace);
        QCOMPARE(shown(), matching("tempo treno 1"));
        search()->clear();
        type("T_eno 5");
        QTest::keyClick(search(), Qt::Key_Backspace);
        QCOMPARE(shown(), matching("T_eno "));
    }

    // A store song the library has (downloaded before, under the name a
    // download gives it) is marked downloaded wherever the store lists it,
    // a title search as a store artist's songs, and a double click plays
    // the library's song: nothing is downloaded again, nothing asked. A
    // store artist's songs carry the length, BPM and key the store sent.
    void storeSongsTheLibraryHas()
    {
        addSong("Seller - Stop A", "Seller", "Pop", 1);
        QStringList asked;
        Prompter::setScript([&](const QString &title, const QString &, QMessageBox::StandardButtons) {
            return asked << title, QMessageBox::Yes;
        });
        makePage(nullptr);
        QSignalSpy played(page.get(), &libraryView::startSongInfo);
        const QByteArray two = song("1", "5001", "Stop A", "<bpm>96</bpm><key>Am</key>") + song("2", "5002", "Stop B");
        for (const QString kind : {"title", "list"}) {
            const bool list = kind == "list";
            store.setReply(kSongList, message(list ? "<list>" + two + "</list>" : two));
            if (list)
                page->showQuery(db->sqlMDSearchTitle, libraryView::SongsOfListing);
            else
                search()->setText("Stop B");
            const libraryView::ReplyHandler handler =
                list ? &libraryView::receivedSongListForGenArtQuery : &libraryView::receivedSongListForQuery;
            QNetworkReply *reply = page->postToStore(kSongList, {{"lang", "2"}}, handler, search()->text());
            QSignalSpy done(reply, &QObject::destroyed);
            QVERIFY(done.wait(20000));
            QSqlQuery q(list ? db->mdDb : QSqlDatabase::database());
            QVERIFY(q.exec("SELECT group_concat(ProductId || ':' || isFromSub || ':' || Durata || '/' || Bpm || '/' "
                           "|| keySign, ',') FROM MDSearchTitle"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QString("5001:4:185/96/Am,5002:2:185/0/"));
            if (!list)
                QVERIFY(db->truncateMDSearchTitles());
        }
        int owned = -1;
        for (int r = 0; r < rows(); ++r)
            owned = cell(r) == "Stop A" ? r : owned;
        QVERIFY(owned >= 0 && page->isStoreRow(owned));
        emit table()->doubleClicked(table()->model()->index(owned, 2));
        QCOMPARE(played.size(), 1);
        QCOMPARE(played.first().first().value<SongInfo>().innerPath, db->getLibraryFolder() + "Seller - Stop A.mid");
        QCOMPARE(asked, QStringList());
        QVERIFY(store.requests(kSongInfo).isEmpty());
    }

    // Store songs whose file names come out alike (one name twice, a name
    // with a slash beside one with a dash, two long titles that differ
    // after the 255-byte cut) are songs of their own: double-clicked in the
    // news, each downloads, the second under a name of its own, and each
    // row then plays its own file. The tick follows the song into the
    // other lists at once, and a list read again ticks the songs
    // downloaded, not another of the same name.
    void storeSongsOfOneName()
    {
        User user(QString(), QString(), 42);
        MelodromeManager manager(nullptr, &user, db.get());
        // Each product's file its own: the store's song a step higher each.
        QNetworkAccessManager net;
        QNetworkReply *fetched = net.get(QNetworkRequest(QUrl(store.base() + "/files/song/any.mid")));
        QSignalSpy arrived(fetched, &QNetworkReply::finished);
        QVERIFY(arrived.wait(20000));
        const QByteArray midi = fetched->readAll();
        QVERIFY(midi.startsWith("MThd"));
        const auto ownSong = [&midi](int step) {
            QByteArray notes = midi;
            for (qsizetype i = 0; i + 1 < notes.size(); ++i)
                if (quint8(notes[i]) == 0x90 || quint8(notes[i]) == 0x80)
                    notes[i + 1] = char(notes[i + 1] + step);
            return notes;
        };
        const QString cut(270, 'x');
        const QList<std::pair<QString, QString>> songs{{"Kvist Duo", "Twin Song"}, {"Kvist Duo", "Twin Song"},
                                                       {"Slash/Dot", "Road"},      {"Slash-Dot", "Road"},
                                                       {"Long", cut + "a"},        {"Long", cut + "b"}};
        QVERIFY(db->truncateMDNews());
        for (int i = 0; i < songs.size(); ++i) {
            SongInfo listed;
            listed.artist = songs[i].first;
            listed.title = songs[i].second;
            listed.format = "MIDI";
            listed.ProductId = 7001 + i;
            listed.isFromSub = 2;
            QVERIFY(db->insertMDSongsNews(listed));
            if (i == 0)
                QVERIFY(db->insertMDSongsSearch(listed));
            store.setReply(QString("/files/song/%1.mid").arg(7001 + i), ownSong(i + 1));
        }
        page.reset();
        makePage(&manager);
        side(3);
        QCOMPARE(rows(), int(songs.size()));
        const auto rowOf = [this](int product) {
            for (int r = 0; r < rows(); ++r)
                if (table()->model()->index(r, 9).data().toInt() == product)
                    return r;
            return -1;
        };
        const auto tick = [&](int product) { return table()->model()->index(rowOf(product), 1).data().toInt(); };
        const auto doubleClick = [&](int product) {
            const QRect at = table()->visualRect(table()->model()->index(rowOf(product), 2));
            QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, at.center());
            QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, at.center());
        };
        for (int i = 0; i < songs.size(); ++i) {
            doubleClick(7001 + i);
            QTRY_COMPARE_WITH_TIMEOUT(store.requests(QString("/files/song/%1.mid").arg(7001 + i)).size(), 1, 20000);
            QTRY_VERIFY_WITH_TIMEOUT(!manager.isDownloading(), 20000);
            QCOMPARE(said(), QString());
            QTRY_COMPARE(tick(7001 + i), int(StoreDownloaded));
            if (i % 2 == 0)
                QCOMPARE(tick(7002 + i), 2);
        }
        QSqlQuery cache;
        QVERIFY(cache.exec("SELECT isFromSub FROM MDSearchTitle WHERE ProductId = 7001") && cache.next());
        QCOMPARE(cache.value(0).toInt(), int(StoreDownloaded));
        QSignalSpy played(page.get(), &libraryView::startSongInfo);
        QStringList files;
        for (int i = 0; i < songs.size(); ++i) {
            doubleClick(7001 + i);
            QCOMPARE(played.size(), i + 1);
            const QString path = played.last().first().value<SongInfo>().innerPath;
            QCOMPARE(TestUtil::readFile(path), ownSong(i + 1));
            QVERIFY2(QFileInfo(path).fileName().contains(QRegularExpression("~[0-9a-f]{8}\\.mid$")) == (i % 2 == 1),
                     qPrintable(path));
            files << path;
        }
        QCOMPARE(QSet<QString>(files.begin(), files.end()).size(), songs.size());
        QCOMPARE(store.requests(kSongInfo).size(), songs.size());

        // A title search listing them beside a third of the first name, and
        // a song downloaded before keys were kept: known by its file's name.
        addSong("Old Hand - Twin Song", "Old Hand", {}, 1);
        QByteArray listed;
        for (int i = 0; i < songs.size(); ++i)
            listed += "<song><songid>1</songid><productid>" + QByteArray::number(7001 + i) + "</productid><title>"
                      + songs[i].second.toUtf8() + "</title><interpreters>" + songs[i].first.toUtf8()
                      + "</interpreters><format>MIDI</format><lenght>4</lenght><download>1</download></song>";
        listed += "<song><songid>1</songid><productid>7099</productid><title>Twin Song</title><interpreters>Kvist "
                  "Duo</interpreters><format>MIDI</format><lenght>4</lenght><download>1</download></song>"
                  "<song><songid>1</songid><productid>7100</productid><title>Twin Song</title><interpreters>Old "
                  "Hand</interpreters><format>MIDI</format><lenght>4</lenght><download>1</download></song>";
        store.setReply(kSongList, message(listed));
        QVERIFY(db->truncateMDSearchTitles());
        search()->setText("Twin");
        QNetworkReply *reply = page->postToStore(kSongList, {{"lang", "2"}}, &libraryView::receivedSongListForQuery,
                                                 search()->text());
        QSignalSpy done(reply, &QObject::destroyed);
        QVERIFY(done.wait(20000));
        QVERIFY(cache.exec("SELECT group_concat(ProductId || ':' || isFromSub, ' ') FROM MDSearchTitle") && cache.next());
        QCOMPARE(cache.value(0).toString(), QString("7001:4 7002:4 7003:4 7004:4 7005:4 7006:4 7099:2 7100:4"));
    }

    // A downloaded song deleted from the library loses its tick in the
    // news at once: a double click there downloads it again.
    void deletedSongLosesItsTick()
    {
        addSong("Seller - Stop A", "Seller", "Pop", 1);
        SongInfo news;
        news.title = "Stop A";
        news.artist = "Seller";
        news.format = "MIDI";
        news.ProductId = 5003;
        news.isFromSub = StoreDownloaded;
        QVERIFY(db->insertMDSongsNews(news));
        Prompter::setScript([](const QString &, const QString &, QMessageBox::StandardButtons) {
            return QMessageBox::Yes;
        });
        makePage(nullptr);
        const auto tickOf = [this](const QString &title) {
            for (int r = 0; r < rows(); ++r)
                if (cell(r) == title)
                    return table()->model()->index(r, 1).data().toInt();
            return -1;
        };
        side(3);
        QCOMPARE(tickOf("Stop A"), int(StoreDownloaded));
        side(2);
        QCOMPARE(rows(), 2);
        table()->selectRow(cell(0) == "Bought" ? 1 : 0);
        QTest::mouseClick(button("deleteButton"), Qt::LeftButton);
        QCOMPARE(rows(), 1);
        side(3);
        QCOMPARE(tickOf("Stop A"), 2);
        QCOMPARE(tickOf("News song"), 2);
    }

    // The Downloaded list's buttons act on its rows: Add Song puts the
    // chosen ones into the user's playlist picked from its menu, Info tells
    // the song, Delete takes it from the library.
    void downloadedListButtons()
    {
        addSong("Bought too", "Queen", "Rock", 1);
        QStringList said;
        Prompter::setScript([&](const QString &, const QString &text, QMessageBox::StandardButtons) {
            return said << text.section('\n', 0, 0), QMessageBox::Yes;
        });
        side(2);
        QCOMPARE(rows(), 2);
        table()->selectRow(1);
        const QString chosen = cell(1);
        QTimer::singleShot(0, [] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QStringList names;
            for (QAction *a : menu->actions())
                names << a->text();
            QCOMPARE(names, QStringList({"Live", "Empty"}));
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(1)).center());
        });
        QTest::mouseClick(button("AddToPlayListButton"), Qt::LeftButton);
        QCOMPARE(button("AddToPlayListButton")->text(), QString("Added"));
        QCOMPARE(count(QSqlDatabase::database(), "SELECT count(*) FROM PlayListSongs JOIN Songs USING (IdSong) "
                                                 "WHERE IdPlayList = 6 AND Titolo = '" + chosen + "'"),
                 1);
        QTest::mouseClick(button("infoButton"), Qt::LeftButton);
        QCOMPARE(said, QStringList({"Title: " + chosen}));
        QTest::mouseClick(button("deleteButton"), Qt::LeftButton);
        QCOMPARE(said.size(), 2);
        QCOMPARE(rows(), 1);
        QCOMPARE(count(QSqlDatabase::database(), "SELECT count(*) FROM Songs WHERE Titolo = '" + chosen + "'"), 0);
    }

    void songInfo_data()
    {
        QTest::addColumn<QByteArray>("download");
        QTest::addColumn<QString>("bought");
        QTest::addColumn<int>("notation");
        QTest::addColumn<QString>("key");
        QTest::newRow("not bought") << QByteArray("0") << "Bought? :No" << 1 << "Am";
        QTest::newRow("bought, Italian names") << QByteArray("1") << "Bought? :Yes" << 0 << "Lam";
        QTest::newRow("not a number") << QByteArray("true") << "Bought? :No" << 1 << "Am";
    }

    void songInfo()
    {
        QFETCH(QByteArray, download);
        QFETCH(QString, bought);
        QFETCH(int, notation);
        QFETCH(QString, key);
        page->setChordLang(notation);
        QString shown;
        Prompter::setScript([&](const QString &title, const QString &text, QMessageBox::StandardButtons) {
            shown = title + "|" + text;
            return QMessageBox::Ok;
        });
        store.setReply("/service/song_info.php",
                       message("<genre>Pop</genre><title>Ciao</title><lenght>185</lenght><bpm>96</bpm>"
                               "<key>Am</key><download>" + download + "</download>"));
        page->postToStore("/service/song_info.php", {{"id_song", "1"}}, &libraryView::receivedSongInfo);
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 20000);
        QVERIFY(shown.startsWith("Detailed Info|Title: Ciao\n"));
        QVERIFY(shown.contains("Length: 03\u203205\u2033\nBPM: 96\nKEY: " + key + "\n"));
        QVERIFY(shown.endsWith(bought));
    }

    // Details padded to 14 MB are refused unread, so nothing of them is
    // parsed on the window's thread, and the page says why.
    void hugeSongInfo()
    {
        bool boxShown = false;
        Prompter::setScript([&](const QString &, const QString &, QMessageBox::StandardButtons) {
            return boxShown = true, QMessageBox::Ok;
        });
        store.setReply(kSongInfo, message("<title>Ciao</title><pad>" + QByteArray(14 << 20, 'x') + "</pad>"));
        page->postToStore(kSongInfo, {{"id_song", "1"}}, &libraryView::receivedSongInfo);
        QTRY_VERIFY_WITH_TIMEOUT(said().startsWith("The song's details cannot be shown: the server's answer was too large"),
                                 20000);
        QVERIFY(!said().contains("internet connection"));
        QVERIFY(!boxShown);
    }
};

VELMAR_TEST(TestLibraryPage)
#include "tst_librarypage.moc"
