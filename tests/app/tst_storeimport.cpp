#include "DatabaseHelper.h"
#include "SynthAudioSink.h"
#include "constants.h"
#include "mainwindow.h"
#include "prompter.h"
#include "teststore.h"
#include "testutil.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCryptographicHash>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

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
        if (!m_window) {
            SoundEngine::Devices devices{std::make_unique<OfflineAudioSink>(),
                                         std::make_unique<Sound::PullAudioSink>(),
                                         QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2")};
            m_window = std::make_unique<MainWindow>(m_db.get(), nullptr, std::move(devices));
        }
        return m_window.get();
    }
    QString songFolder() const { return m_db->getLibraryFolder(); }
    QList<QUrl> make(const QString &folder, int from, int to)
    {
        QStringList names;
        QList<QUrl> urls;
        for (int i = from; i < to; ++i) {
            names << QStringLiteral("imp-%1").arg(i);
            urls << QUrl::fromLocalFile(folder + "/" + names.last() + ".kar");
        }
        TestUtil::runPython(QStringLiteral("app/make_kar.py"), QStringList{folder, "1"} + names);
        return urls;
    }
    void showMainPage()
    {
        window()->show();
        auto *pages = window()->findChild<QStackedWidget *>("stackedWidget");
        pages->setCurrentWidget(pages->findChild<QWidget *>("pageMain"));
    }
    // Drops files over the middle of `over` as the window system does: the
    // drag enters there, the drop goes to the widget that took the drag.
    void drop(QWidget *target, QWidget *over, const QList<QUrl> &urls)
    {
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint at = over->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(over, &enter);
        QDropEvent event(over->mapTo(target, at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
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
        Prompter::setScript([this](const QString &title, const QString &text, QMessageBox::StandardButtons) {
            m_boxes << title + "|" + text;
            return QMessageBox::Yes;
        });
    }
    void init()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect|connectSlotsByName")));
        appSettings->clear();
        m_boxes.clear();
        m_store.reset();
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
        const QByteArray odd = "<melodrome_message><songid>x12</songid><download/><title>Second</title>"
                               "<songid>7</songid><download/><title>Dropped</title></melodrome_message>";
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("sameHash");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("new list") << odd << "" << false << QStringList{"0:", "7:Second"};
        QTest::newRow("list already seen") << odd << "" << true << QStringList{"0:", "7:Second"};
        QTest::newRow("server error") << odd << "http500" << false << QStringList{"0:Kept"};
        QTest::newRow("cut reply") << odd << "truncated" << false << QStringList{"0:Kept"};
    }
    void news()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, fault);
        QFETCH(bool, sameHash);
        QFETCH(QStringList, titles);
        const QString path = "/service/songlist_news.php";
        m_store.setReply(path, body);
        if (!fault.isEmpty())
            m_store.setFault(path, fault);
        const QString md5 = QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex();
        appSettings->setValue("News/MD5", sameHash ? md5 : "old");
        appSettings->setValue("News/Unseen", false);
        m_db->truncateMDNews();
        SongInfo kept;
        kept.title = "Kept";
        m_db->insertMDSongsNews(kept);
        QPointer<QObject> request = window()->findChild<QNetworkAccessManager *>(QString(), Qt::FindDirectChildrenOnly);
        QTRY_VERIFY_WITH_TIMEOUT(request.isNull(), 30000);
        QCOMPARE(m_store.requests(path).last().form().value("lang"), QString("2"));
        QStringList stored;
        for (const SongInfo &s : m_db->selectMDSongs())
            stored << QString::number(s.idSong) + ":" + s.title;
        QCOMPARE(stored, titles);
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
        QTest::newRow("deep parent entry") << QStringList{"a/../../evil.txt"} << false;
        QTest::newRow("absolute entry") << QStringList{"/tmp/velmar-evil.txt"} << false;
        QTest::newRow("link entry") << QStringList{"ok.txt", "link->/etc"} << false;
    }
    void update()
    {
        QFETCH(QStringList, entries);
        QFETCH(bool, good);
        const char *zipper = "import sys, zipfile\n"
                             "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                             "    for e in sys.argv[2:]:\n"
                             "        name, _, link = e.partition('->')\n"
                             "        i = zipfile.ZipInfo(name)\n"
                             "        i.create_system = 3\n"
                             "        i.external_attr = (0o120777 if link else 0o100644) << 16\n"
                             "        z.writestr(i, link or 'data')\n";
        QCOMPARE(TestUtil::runProgram("/usr/bin/python3",
                                      QStringList{"-c", zipper, m_files.filePath("VelmarPC-linux-2.4.11.zip")} + entries),
                 0);
        QDir updates(MainWindow::updateFolder());
        updates.removeRecursively();
        QVERIFY(updates.mkpath(".") && TestUtil::writeFile(updates.filePath("VelmarPC-mac-2.4.9.zip"), "old"));
        window()->checkVersion();
        const QStringList left = updates.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const QString unpacked = updates.filePath("VelmarPC-linux-2.4.11");
        const QStringList kept{"VelmarPC-linux-2.4.11", "VelmarPC-linux-2.4.11.zip"};
        QCOMPARE(left, good ? kept : QStringList());
        QVERIFY(!QFile::exists("/tmp/velmar-evil.txt") && !QFile::exists(updates.filePath("../evil.txt")));
        QCOMPARE(QFile::exists(unpacked + "/VelmarPC/bin/run.sh"), good);
        QCOMPARE(m_boxes.size(), 2);
        QCOMPARE(m_boxes.last().contains(unpacked), good);
    }

    // 50 files dropped on the song list: songs, files that are no songs and
    // songs already in the song folder; a second import given while the
    // first runs follows it. Every song is listed once, the rest reported.
    void imports()
    {
        showMainPage();
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
            QVERIFY(QFile::copy(first.at(i).toLocalFile(), songFolder() + QStringLiteral("imp-%1.kar").arg(i)));
            duplicated << first.at(i).toLocalFile();
        }
        const QList<QUrl> second = make(in, 40, 45);
        QSignalSpy done(window(), &MainWindow::doneImporting);
        auto *list = window()->findChild<QAbstractItemView *>("songsListview");
        drop(window()->findChild<QWidget *>("libraryView"), list->viewport(), first);
        window()->importFiles(second);
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 120000);

        const auto text = [](const char *head, const QStringList &files) { return head + QString("\n\n") + files.join("\n") + "\n"; };
        const QStringList boxes{
            "Errored|" + text("These songs cannot be copied because they seems to be not a song files:", errored),
            "Duplicated Entries|" + text("These songs cannot be copied because they're already present:", duplicated)};
        // The start-up's own version check may have asked questions meanwhile.
        QCOMPARE(m_boxes.filter(QRegularExpression("^(Errored|Duplicated Entries)\\|")), boxes);
        QStringList listed;
        for (const SongInfo &s : m_db->selectSongs())
            listed << QFileInfo(s.innerPath).fileName();
        QStringList expected;
        for (int i : {0, 40})
            for (int j = i; j < i + (i ? 5 : 30); ++j)
                expected << QStringLiteral("imp-%1.kar").arg(j);
        listed.sort();
        expected.sort();
        QCOMPARE(listed, expected);
    }

    // A file let go over the lyrics plays; over the header bar it does nothing.
    void drops_data()
    {
        QTest::addColumn<QString>("over");
        QTest::addColumn<bool>("plays");
        QTest::newRow("header bar") << "headerBar" << false;
        QTest::newRow("lyrics") << "lV_Text" << true;
    }
    void drops()
    {
        QFETCH(QString, over);
        QFETCH(bool, plays);
        showMainPage();
        const QList<QUrl> song = make(m_home.filePath("drop"), 50, 51);
        auto *target = window()->findChild<QWidget *>(over);
        auto *view = qobject_cast<QAbstractScrollArea *>(target);
        drop(window(), view ? view->viewport() : target, song);
        QCOMPARE(currSong->isLoaded() && currSong->path() == song.first().toLocalFile(), plays);
    }
};

VELMAR_TEST(TestStoreImport)
#include "tst_storeimport.moc"
