#include "DatabaseHelper.h"
#include "constants.h"
#include "prompter.h"
#include "teststore.h"
#include "testutil.h"
#include "windowrig.h"

#include <QNetworkAccessManager>
#include <QtTest>
#include <QtWidgets>

// The window's news, update and import roads on a home of the test's own,
// against the local test store and the real copy thread.
class TestStoreImport : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home, m_files;
    QByteArray m_oldHome;
    TestStore m_store;
    std::unique_ptr<DatabaseHelper> m_db;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_boxes; // "title|text" of each box, answered Yes

    MainWindow *window()
    {
        if (!m_window)
            m_window = windowOnSynth(m_db.get());
        return m_window.get();
    }
    // Songs "imp-FROM.kar" up to TO (excluded) in `folder`.
    QList<QUrl> make(const QString &folder, int from, int to)
    {
        QStringList args{folder, "1"};
        QList<QUrl> urls;
        for (int i = from; i < to; ++i) {
            args << QStringLiteral("imp-%1").arg(i);
            urls << QUrl::fromLocalFile(folder + "/" + args.last() + ".kar");
        }
        TestUtil::runPython(QStringLiteral("app/make_kar.py"), args);
        return urls;
    }
    // As the window system drops: enter over `over`, drop on the widget that took the drag.
    void drop(QWidget *target, QWidget *over, const QList<QUrl> &urls)
    {
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint at = over->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QDropEvent event(over->mapTo(target, at), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(over, &enter) && QApplication::sendEvent(target, &event);
    }

private slots:
    void initTestCase()
    {
        m_oldHome = qgetenv("HOME");
        qputenv("HOME", m_home.path().toUtf8());
        appSettings = new QSettings(QStringLiteral("Kvero"), QStringLiteral("VelmarPC"));
        QVERIFY(m_store.start(m_files.path()));
        m_db = std::make_unique<DatabaseHelper>();
        QVERIFY(m_db->initDb() && m_db->connect());
        Prompter::setScript([this](const QString &title, const QString &text, auto) {
            return m_boxes << title + "|" + text, QMessageBox::Yes;
        });
    }
    void init()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect|connectSlotsByName")));
        appSettings->clear();
        m_boxes.clear();
        m_store.reset(); // and its faults
    }
    void cleanup() { m_window.reset(); }
    void cleanupTestCase()
    {
        Prompter::setScript({});
        m_db.reset();
        delete appSettings;
        appSettings = nullptr;
        qputenv("HOME", m_oldHome);
    }

    // The list the user last saw stays unless a whole new reply came.
    void news_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("sameHash");
        QTest::newRow("new list") << "" << false;
        QTest::newRow("list already seen") << "" << true;
        QTest::newRow("server error") << "http500" << false;
        QTest::newRow("cut reply") << "truncated" << false;
    }
    void news()
    {
        const QByteArray body = "<melodrome_message><songid>x12</songid><download/><title>Second</title>"
                                "<songid>7</songid><download/><title>Dropped</title></melodrome_message>";
        QFETCH(QString, fault);
        QFETCH(bool, sameHash);
        const QString path = "/service/songlist_news.php";
        m_store.setReply(path, body);
        if (!fault.isEmpty())
            m_store.setFault(path, fault);
        const QString md5 = QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex();
        appSettings->setValue("News/MD5", sameHash ? md5 : "old");
        appSettings->setValue("News/Unseen", false);
        SongInfo kept;
        kept.title = "Kept"; // the list of the last start
        QVERIFY(m_db->truncateMDNews() && m_db->insertMDSongsNews(kept));
        QPointer<QObject> request = window()->findChild<QNetworkAccessManager *>(QString(), Qt::FindDirectChildrenOnly);
        QTRY_VERIFY_WITH_TIMEOUT(request.isNull(), 30000);
        QStringList stored;
        for (const SongInfo &s : m_db->selectMDSongs())
            stored << QString::number(s.idSong) + ":" + s.title;
        QCOMPARE(stored, fault.isEmpty() ? QStringList({"0:", "7:Second"}) : QStringList({"0:Kept"}));
        QCOMPARE(appSettings->value("News/MD5").toString(), fault.isEmpty() ? md5 : QString("old"));
        QCOMPARE(appSettings->value("News/Unseen").toBool(), !sameHash && fault.isEmpty());
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
        QDir updates(MainWindow::updateFolder());
        updates.removeRecursively();
        QVERIFY(updates.mkpath(".") && TestUtil::writeFile(updates.filePath("VelmarPC-mac-2.4.9.zip"), "old"));
        window()->checkVersion();
        const QString unpacked = updates.filePath("VelmarPC-linux-2.4.11");
        const QStringList kept{"VelmarPC-linux-2.4.11", "VelmarPC-linux-2.4.11.zip"};
        QCOMPARE(updates.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), good ? kept : QStringList());
        QVERIFY(!QFile::exists(updates.filePath("../evil.txt")));
        QCOMPARE(QFile::exists(unpacked + "/VelmarPC/bin/run.sh"), good);
        QCOMPARE(m_boxes.size(), 2);
        QCOMPARE(m_boxes.last().contains(unpacked), good);
    }

    // 50 files dropped on the song list: songs, files that are no songs and
    // songs already in the song folder; a second import given while the
    // first runs follows it. Every song is listed once, the rest reported.
    void imports()
    {
        window()->show();
        window()->findChild<QStackedWidget *>("stackedWidget")->setCurrentWidget(window()->findChild<QWidget *>("pageMain"));
        const QString in = m_home.filePath("in");
        QList<QUrl> first = make(in, 0, 40);
        QStringList errored, duplicated;
        for (int i = 0; i < 10; ++i) {
            const QString bad = in + QString(i < 5 ? "/bad-%1.txt" : "/bad-%1.kar").arg(i);
            TestUtil::writeFile(bad, "no song here");
            first << QUrl::fromLocalFile(bad);
            errored << bad;
        }
        for (int i = 30; i < 40; ++i) {
            QVERIFY(QFile::copy(first.at(i).toLocalFile(), m_db->getLibraryFolder() + QStringLiteral("imp-%1.kar").arg(i)));
            duplicated << first.at(i).toLocalFile();
        }
        const QList<QUrl> second = make(in, 40, 45);
        QSignalSpy done(window(), &MainWindow::doneImporting);
        auto *list = window()->findChild<QAbstractItemView *>("songsListview");
        drop(window()->findChild<QWidget *>("libraryView"), list->viewport(), first);
        window()->importFiles(second);
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 120000);
        const QStringList boxes{
            "Errored|These songs cannot be copied because they seems to be not a song files:\n\n" + errored.join("\n") + "\n",
            "Duplicated Entries|These songs cannot be copied because they're already present:\n\n"
                + duplicated.join("\n") + "\n"};
        // The start-up's own version check may have asked questions meanwhile.
        QCOMPARE(m_boxes.filter(QRegularExpression("^(Errored|Duplicated Entries)\\|")), boxes);
        QStringList listed, expected;
        for (const SongInfo &s : m_db->selectSongs())
            listed << QFileInfo(s.innerPath).fileName();
        for (const QUrl &song : first.mid(0, 30) + second)
            expected << song.fileName();
        std::sort(listed.begin(), listed.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(listed, expected);
        // A song let go over the lyrics plays.
        drop(window(), window()->findChild<QAbstractScrollArea *>("lV_Text")->viewport(), second.mid(0, 1));
        QCOMPARE(currSong->path(), second.first().toLocalFile());
    }
};

VELMAR_TEST(TestStoreImport)
#include "tst_storeimport.moc"
