#include "mainwindowrig.h"

// The store's news, an update offered and the sound bank arriving.
class TestMainWindowStore : public MainWindowRig
{
    Q_OBJECT
private slots:
    // The list the user last saw stays unless a whole new reply came; the
    // news page says why (a network's sign-in page, a broken or endless
    // answer are no list), and asks to check the internet connection only
    // where that may mend it; the other pages say nothing. A reply cut off
    // is never read.
    void news_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("sameHash");
        QTest::addColumn<QString>("told");
        QTest::addColumn<bool>("advised"); // to check the internet connection
        const QString failed = "The news of the week could not be fetched: %1.";
        QTest::newRow("new list") << "" << "" << false << "" << false;
        QTest::newRow("list already seen") << "" << "" << true << "" << false;
        QTest::newRow("server error") << "http500" << "" << false
                                      << failed.arg("the server answered with error 500") << false;
        QTest::newRow("a sign-in page") << "html" << "" << false
            << failed.arg("a web page came instead of the store's answer (the network may want you to sign in "
                          "through a web browser first, or the store is under maintenance)") << false;
        QTest::newRow("broken answer") << "malformed" << "" << false << failed.arg("the store's answer cannot be read")
                                       << false;
        QTest::newRow("an answer not the store's") << "foreign" << "" << false
                                                   << failed.arg("the store's answer cannot be read") << false;
        QTest::newRow("a lower-case doctype") << "doctype" << "" << false
            << failed.arg("a web page came instead of the store's answer (the network may want you to sign in "
                          "through a web browser first, or the store is under maintenance)") << false;
        QTest::newRow("endless answer") << "oversized" << "" << false << failed.arg("the server's answer was too large")
                                        << false;
        QTest::newRow("sent elsewhere") << "redirect" << "to=http://127.0.0.2:9/news" << false
            << failed.arg("the server sent the request on to another site (127.0.0.2), where the program sends nothing")
            << false;
        QTest::newRow("cut short") << "truncated" << "" << false << failed.arg("the connection broke off") << true;
    }
    void news()
    {
        QTest::failOnWarning(QRegularExpression("device not open"));
        const QByteArray body = "<melodrome_message><songid>x12</songid><download/><title>Second</title>"
                                "<songid>7</songid><download/><title>Dropped</title></melodrome_message>";
        QFETCH(QString, fault);
        QFETCH(QString, option);
        QFETCH(bool, sameHash);
        QFETCH(QString, told);
        QFETCH(bool, advised);
        const QString path = "/service/songlist_news.php";
        m_store.setReply(path, body);
        if (!fault.isEmpty())
            m_store.setFault(path, fault, 0, option);
        const QString md5 = QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex();
        appSettings->setValue("News/MD5", sameHash ? md5 : "old");
        appSettings->setValue("News/Unseen", false);
        SongInfo kept;
        kept.title = "Kept"; // the list of the last start
        QVERIFY(m_db->truncateMDNews() && m_db->insertMDSongsNews(kept));
        QPointer<QObject> request = window()->findChild<QNetworkAccessManager *>(QString(), Qt::FindDirectChildrenOnly);
        QTRY_VERIFY_WITH_TIMEOUT(request.isNull() && window()->newsSettled(), 30000);
        QStringList stored;
        for (const SongInfo &s : m_db->selectMDSongs())
            stored << QString::number(s.idSong) + ":" + s.title;
        QCOMPARE(stored, fault.isEmpty() ? QStringList({"0:", "7:Second"}) : QStringList({"0:Kept"}));
        QCOMPARE(appSettings->value("News/MD5").toString(), fault.isEmpty() ? md5 : QString("old"));
        QCOMPARE(appSettings->value("News/Unseen").toBool(), !sameHash && fault.isEmpty());

        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *lists = find<QListWidget>("playlistListWidget");
        auto *said = find<QLabel>("storeMessage");
        for (int row : {3, 0}) {
            QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(row)).center());
            QCOMPARE(said->text().section('\n', 0, 0), row == 3 ? told : QString());
            QCOMPARE(said->text().contains("Check the internet connection"), row == 3 && advised);
            QCOMPARE(said->isVisible(), row == 3 && !told.isEmpty());
        }
    }

    // A news list of 40,000 songs (10 MB; 16 MiB is the most any answer
    // may have) is read on a thread and written a slice at a time beside the
    // list in place, which it replaces only once it is
    // all in: the window's timers fire meanwhile. A newer refresh ends the
    // work of the one before; a list cut off leaves the one in place.
    void bigNews()
    {
        const QString path = "/service/songlist_news.php";
        const int total = 40000;
        m_store.setFault(path, "songs", 1, QString("count=%1").arg(total));
        SongInfo kept;
        kept.title = "Kept";
        QVERIFY(m_db->truncateMDNews() && m_db->insertMDSongsNews(kept));
        const auto count = [](const QString &table) {
            QSqlQuery q;
            return q.exec("SELECT count(*), min(Titolo) FROM " + table) && q.next()
                       ? q.value(0).toString() + " " + q.value(1).toString() : QString();
        };
        const auto staged = [] {
            QSqlQuery q;
            return q.exec(QString("SELECT count(*) FROM ") + DatabaseHelper::newsStaging) && q.next()
                       ? q.value(0).toInt() : -1;
        };
        // Ticks of the window's thread with part of the list written and the
        // old one still in place.
        int turns = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const int in = staged();
            turns += in > 0 && in < total && count("MDNews") == "1 Kept";
        });
        ticker.start(20);
        QTRY_VERIFY_WITH_TIMEOUT(window()->newsSettled(), 120000);
        ticker.stop();
        QVERIFY2(turns > 0, "no turn of the event loop while the news were written");
        QCOMPARE(count("MDNews"), QString("40000 Song 0"));
        QVERIFY(find<QLabel>("storeMessage")->text().isEmpty());

        // A refresh while the one before is being written: only the newer
        // list comes in.
        m_store.setFault(path, "songs", 1, QString("count=%1").arg(total));
        bool again = false;
        // The staging table may still hold the list before: the second list
        // is asked for once the store has the first request, whose fault it
        // would otherwise take.
        const qsizetype asked = m_store.requests(path).size();
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const int in = staged();
            if (!again && in > 0 && in < total && m_store.requests(path).size() > asked) {
                again = true;
                m_store.setFault(path, "songs", 1, "count=5");
                window()->refreshMDNews();
            }
        });
        ticker.start(5);
        window()->refreshMDNews();
        QTRY_VERIFY_WITH_TIMEOUT(again && window()->newsSettled(), 60000);
        ticker.stop();
        QTest::qWait(300);
        QCOMPARE(count("MDNews"), QString("5 Song 0"));

        // Cut off half-way: the list in place stays.
        m_store.setFault(path, "songs", 1, QString("count=%1&cut=1").arg(total));
        window()->refreshMDNews();
        QTRY_VERIFY_WITH_TIMEOUT(window()->newsSettled(), 60000);
        QCOMPARE(count("MDNews"), QString("5 Song 0"));
    }

    // A news row carries what the store sent; its MIDI song, whose file has
    // another title (its track name) and no key, genre or author, is
    // downloaded by a double click and takes the news' own (not the song
    // details', which say otherwise) in the library and the header. The
    // Downloaded list's buttons act while a song is loaded. At the next
    // start the news keep the song marked downloaded, and a double click
    // plays it: nothing is asked, nothing downloaded again.
    void newsSongKeepsTheStoresData()
    {
        m_store.setReply("/service/songlist_news.php",
                         "<melodrome_message><list><song><songid>101</songid><productid>5001</productid>"
                         "<title>Open Road</title><authors>A. Writer</authors><interpreters>Singer</interpreters>"
                         "<genre>Rock</genre><format>MIDI</format><lenght>4</lenght><bpm>120</bpm><key>F</key>"
                         "<download>0</download></song></list></melodrome_message>");
        // Nothing downloaded by an earlier test.
        QSqlQuery gone;
        QVERIFY(gone.exec("DELETE FROM Songs WHERE isFromSub = 1"));
        const QString file = m_db->getLibraryFolder() + "Singer - Open Road.mid";
        QFile::remove(file);
        appSettings->setValue("User/user_id", 42);
        QTRY_VERIFY_WITH_TIMEOUT(window()->newsSettled(), 30000);
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        auto *lists = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(3)).center());
        auto *model = qobject_cast<QSqlQueryModel *>(songTable()->model());
        QTRY_COMPARE(model->rowCount(), 1);
        const QSqlRecord row = model->record(0);
        QCOMPARE(QStringList({row.value("Durata").toString(), row.value("Bpm").toString(), row.value("Key").toString()}),
                 QStringList({"4", "120", "F"}));

        // Downloaded from the news, then played from the downloaded songs.
        const auto doubleClickRow = [this, &model](int r) {
            const QModelIndex cell = model->index(r, 2);
            QTest::mouseClick(songTable()->viewport(), Qt::LeftButton, {}, songTable()->visualRect(cell).center());
            QTest::mouseDClick(songTable()->viewport(), Qt::LeftButton, {}, songTable()->visualRect(cell).center());
        };
        doubleClickRow(0);
        QTRY_COMPARE_WITH_TIMEOUT(m_db->selectSubSongs().size(), 1, 30000);
        // Another song the user has from the store.
        SongInfo other;
        other.title = "Other Road";
        other.isFromSub = 1;
        QVERIFY(TestUtil::writeFile(m_db->getLibraryFolder() + "Other Road.mid", "x")
                && m_db->checkSong(other, m_db->getLibraryFolder() + "Other Road.mid"));
        QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(2)).center());
        model = qobject_cast<QSqlQueryModel *>(songTable()->model());
        QTRY_COMPARE(model->rowCount(), 2);
        const int openRoad = model->record(0).value("Titolo").toString() == "Open Road" ? 0 : 1;
        doubleClickRow(openRoad);
        QTRY_VERIFY_WITH_TIMEOUT(currSong->isLoaded() && state() == SoundEngine::ePsPlaying, 30000);
        const QList<SongInfo> downloaded = m_db->selectSubSongs();
        QCOMPARE(QStringList({downloaded[0].title, downloaded[0].keySign, downloaded[0].genre, downloaded[0].author}),
                 QStringList({"Open Road", "F", "Rock", "A. Writer"}));
        QCOMPARE(find<QLabel>("titleLabel")->text(), QString("Open Road"));
        QCOMPARE(find<QLabel>("keyValueLabel")->text(), QString("F [0]"));
        QCOMPARE(model->record(openRoad).value("Key").toString(), QString("F"));
        for (int r : {1 - openRoad, openRoad}) {
            songTable()->selectRow(r);
            for (const char *name : {"AddToPlayListButton", "infoButton", "deleteButton"})
                QVERIFY2(find<QPushButton>(name)->isVisible() && find<QPushButton>(name)->isEnabled(), name);
            // Auto Play plays a playlist on: not offered here.
            QVERIFY(!find<QPushButton>("autoPlayButton")->isVisible());
        }
        QVERIFY(m_boxes.isEmpty());

        restart();
        QTRY_VERIFY_WITH_TIMEOUT(window()->newsSettled(), 30000);
        find<QStackedWidget>("stackedWidget")->setCurrentWidget(find<QWidget>("pageMain"));
        lists = find<QListWidget>("playlistListWidget");
        QTest::mouseClick(lists->viewport(), Qt::LeftButton, {}, lists->visualItemRect(lists->item(3)).center());
        model = qobject_cast<QSqlQueryModel *>(songTable()->model());
        QTRY_COMPARE(model->rowCount(), 1);
        QCOMPARE(model->record(0).value("isFromSub").toInt(), int(StoreDownloaded));
        doubleClickRow(0);
        QTRY_VERIFY_WITH_TIMEOUT(currSong->isLoaded() && currSong->path() == file, 30000);
        QVERIFY(m_boxes.isEmpty());
        QCOMPARE(m_store.requests("/files/song/5001.mid").size(), 1);
    }

    // Only an archive whose every entry stays in its folder is unpacked;
    // the update folder then holds the archive and the unpacked update only.
    void update_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("good");
        QTest::newRow("good archive") << QStringList{"VelmarPC/bin/run.sh", "VelmarPC/readme.txt"} << true;
        QTest::newRow("parent entry") << QStringList{"ok.txt", "../evil.txt"} << false;
        QTest::newRow("link entry") << QStringList{"ok.txt", "link->/etc"} << false; // name->target
        QTest::newRow("not found") << QStringList() << false;
    }
    void update()
    {
        QFETCH(QStringList, entries);
        QFETCH(bool, good);
        const char *zipper = "import sys, zipfile\nwith zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                             " for e in sys.argv[2:]:\n  n, _, l = e.partition('->'); i = zipfile.ZipInfo(n)\n"
                             "  i.create_system, i.external_attr = 3, (0o120777 if l else 0o100644) << 16\n"
                             "  z.writestr(i, l or 'data')\n";
        const QStringList args{"-c", zipper, m_files.filePath("VelmarPC-linux-2.4.11.zip")};
        QCOMPARE(TestUtil::runProgram("/usr/bin/python3", args + entries), 0);
        if (entries.isEmpty())
            m_store.setFault("/files/VelmarPC-linux-2.4.11.zip", "http404");
        QDir updates(MainWindow::updateFolder());
        updates.removeRecursively();
        QVERIFY(updates.mkpath(".") && TestUtil::writeFile(updates.filePath("VelmarPC-mac-2.4.9.zip"), "old"));
        // No newer sound bank: the check ends with the update.
        m_store.setReply("/version_checker/check_soundfont.php",
                         "<melodrome_message><soundfont><version>0.0</version></soundfont></melodrome_message>");
        window()->checkVersion();
        // The check, the download and the unpacking come in the background;
        // the sound bank is asked about once the update is settled.
        QTRY_COMPARE_WITH_TIMEOUT(m_store.requests("/version_checker/check_soundfont.php").size(), 1, 30000);
        const QString unpacked = updates.filePath("VelmarPC-linux-2.4.11");
        const QStringList kept{"VelmarPC-linux-2.4.11", "VelmarPC-linux-2.4.11.zip"};
        QCOMPARE(updates.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), good ? kept : QStringList());
        QVERIFY(!QFile::exists(updates.filePath("../evil.txt")));
        QCOMPARE(QFile::exists(unpacked + "/VelmarPC/bin/run.sh"), good);
        const QStringList said = m_prompts.filter(QRegularExpression("^Update available\\|"));
        QCOMPARE(said.size(), 2);
        QCOMPARE(said.last().contains(unpacked), good);
        if (entries.isEmpty())
            QVERIFY(said.last().contains("could not be downloaded: the server answered with error 404.\n"));
    }

    // The sound bank is checked whatever became of an offered update: a
    // user without one who declines the update is still offered the bank.
    void bankAfterDeclinedUpdate()
    {
        m_answer = QMessageBox::No;
        const QString bank = SoundEngine::getSoundfontFilePath();
        QVERIFY(QFile::rename(bank, bank + ".away"));
        auto restore = qScopeGuard([&] { QFile::rename(bank + ".away", bank); });
        window()->checkVersion();
        QTRY_COMPARE_WITH_TIMEOUT(m_prompts.size(), 2, 30000);
        QCOMPARE(m_prompts, QStringList({"Update available|An update is available, do you want to download it?",
                                         "Attention|Timbra needs to be downloaded. Do you want to proceed now?"}));
    }

    // A new sound bank starts the banners again.
    void soundBankArrives()
    {
        AdBanner *banner = karaoke()->getAdBanner();
        QVERIFY(!banner->reloadTimer()->isActive());
        QVERIFY(QMetaObject::invokeMethod(window(), "onSoundfontAvailable"));
        QVERIFY(banner->reloadTimer()->isActive());
    }
};

VELMAR_TEST(TestMainWindowStore)
#include "tst_mainwindow_store.moc"
