// The library file refusing writes while the page is open, as a host's
// machine does it: the file made immutable (chattr +i, root) or its folder
// made read-only (a read-only bind mount in a mount namespace of the test's
// own as root, chmod as an ordinary user, for whom chmod is enough), or the
// disk it lies on filled (a small tmpfs in that namespace, as root).
#include "libraryfixture.h"

#include "listitem.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QMessageBox>
#include <QProcess>
#include <QSqlQuery>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

class Refusal
{
public:
    ~Refusal()
    {
        release();
        if (!m_disk.isEmpty())
            ::umount2(QFile::encodeName(m_disk), MNT_DETACH);
    }

    // Empty when done, else why it cannot be done here.
    QString immutable(const QString &file)
    {
        if (::geteuid() != 0)
            return "only root may make a file immutable";
        if (TestUtil::runProgram("chattr", {"+i", file}) != 0)
            return "this file system keeps no immutable attribute";
        m_file = file;
        return {};
    }
    QString readOnlyFolder(const QString &folder)
    {
        if (::geteuid() != 0) {
            m_mode = QFile::permissions(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
            m_chmodded = folder;
            return {};
        }
        const QByteArray path = QFile::encodeName(folder);
        if (!ownNamespace() || ::mount(path, path, nullptr, MS_BIND, nullptr) != 0)
            return "no mount namespace can be made here";
        m_mounted = folder;
        if (::mount(nullptr, path, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return "the bind mount cannot be made read-only";
        return {};
    }
    // A disk of its own for `folder`, to be filled by fill(): made before
    // the library is.
    QString smallDisk(const QString &folder)
    {
        if (::geteuid() != 0)
            return "only root may mount a disk";
        if (!ownNamespace())
            return "no mount namespace can be made here";
        QDir().mkpath(folder);
        if (::mount("tmpfs", QFile::encodeName(folder), "tmpfs", 0, "size=2m") != 0)
            return "no tmpfs can be mounted here";
        m_disk = folder;
        return {};
    }
    // Fills the disk to its last byte.
    void fill()
    {
        QFile filler(m_disk + "/filler");
        filler.open(QIODevice::WriteOnly);
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        m_filled = filler.fileName();
    }
    void release()
    {
        if (!m_filled.isEmpty())
            QFile::remove(std::exchange(m_filled, {}));
        if (!m_file.isEmpty())
            TestUtil::runProgram("chattr", {"-i", std::exchange(m_file, {})});
        if (!m_mounted.isEmpty())
            ::umount(QFile::encodeName(std::exchange(m_mounted, {})));
        if (!m_chmodded.isEmpty())
            QFile::setPermissions(std::exchange(m_chmodded, {}), m_mode);
    }

private:
    // Mounts made here stay in this test process's own namespace.
    static bool ownNamespace()
    {
        static const bool own = ::unshare(CLONE_NEWNS) == 0
                                && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        return own;
    }
    QString m_file, m_mounted, m_chmodded, m_disk, m_filled;
    QFile::Permissions m_mode;
};

} // namespace

class TestLibraryLocked : public QObject, LibraryFixture
{
    Q_OBJECT

    QListWidget *sideList() const { return page->findChild<QListWidget *>("playlistListWidget"); }
    // The side list's entries as shown.
    QStringList entries() const
    {
        QStringList names;
        for (int r = 0; r < sideList()->count(); ++r) {
            if (auto *row = qobject_cast<listItem *>(sideList()->itemWidget(sideList()->item(r))))
                names << row->findChild<QLabel *>("titleLabel")->text();
        }
        return names;
    }
    QLabel *message() const { return page->findChild<QLabel *>("libraryMessage"); }
    QString shell(const QString &sql) const
    {
        QByteArray out;
        TestUtil::runProgram("sqlite3", {db->getLibraryFolder() + "db_VelmarPC.sqlite", sql}, &out);
        return QString::fromUtf8(out).trimmed();
    }

private slots:
    void cleanup() { close(); }

    // New Playlist while the file refuses: said with why, the lists kept;
    // once the file can be written the same press makes it, and what the
    // library held before is all there.
    void newPlaylistWhileLocked_data()
    {
        QTest::addColumn<bool>("immutableFile");
        QTest::newRow("file made immutable") << true;
        QTest::newRow("folder made read-only") << false;
    }
    void newPlaylistWhileLocked()
    {
        QFETCH(bool, immutableFile);
        open();
        addSong("abc", "Queen");
        addSong("abd", "Queen");
        QVERIFY(db->insertPlaylist("Live"));
        QVERIFY(db->insertSongInPlayList(int(db->selectSongByPath(db->getLibraryFolder() + "abc.mid").idSong), 5));
        makePage();
        side(5);
        QCOMPARE(rows(), 1);
        const QStringList before = entries();
        QCOMPARE(before.size(), 5);
        QVERIFY(before.contains("Live"));
        libraryView::setTextPrompt([](const QString &, const QString &, const QString &) { return QString("Party"); });

        Refusal refusal;
        const QString folder = QDir(db->getLibraryFolder()).absolutePath();
        const QString why = immutableFile ? refusal.immutable(folder + "/db_VelmarPC.sqlite")
                                          : refusal.readOnlyFolder(folder);
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        QTest::mouseClick(button("newPlaylistButton"), Qt::LeftButton);
        QVERIFY(message()->isVisible());
        // What was not kept and why, whatever the wording around them.
        QVERIFY2(message()->text().contains("\"Party\"") && message()->text().contains("read-only"),
                 qPrintable(message()->text()));
        QCOMPARE(entries(), before);
        QCOMPARE(rows(), 1);
        QCOMPARE(cell(0), QString("abc"));
        // The song still plays from its row, double-clicked where it is drawn.
        QSignalSpy play(page.get(), &libraryView::startSongInfo);
        const QRect at = table()->visualRect(table()->model()->index(0, 2));
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, at.center());
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, at.center());
        QCOMPARE(play.size(), 1);
        QCOMPARE(play.first().at(0).value<SongInfo>().innerPath, db->getLibraryFolder() + "abc.mid");
        // All Songs: the immutable file gives nothing until SQLite may put
        // back what the refused change began; the list is read as it will
        // be then. A list read does not take the refusal's message away.
        side(0);
        QCOMPARE(rows(), 2);
        QVERIFY2(message()->isVisible() && message()->text().contains("\"Party\"")
                     && !message()->text().contains("cannot be read"),
                 qPrintable(message()->text()));
        QCOMPARE(entries(), before);

        refusal.release();
        QTest::mouseClick(button("newPlaylistButton"), Qt::LeftButton);
        QVERIFY(!message()->isVisible());
        QCOMPARE(entries(), before + QStringList{"Party"});
        QCOMPARE(page->getPlaylistName(), QString("Party"));
        QCOMPARE(shell("PRAGMA integrity_check"), QString("ok"));
        QCOMPARE(shell("SELECT ListName FROM PlayList WHERE IdPlayList >= 5 ORDER BY IdPlayList"),
                 QString("Live\nParty"));
        QCOMPARE(shell("SELECT Titolo FROM Songs JOIN PlayListSongs USING (IdSong) WHERE IdPlayList = 5"),
                 QString("abc"));
    }

    // Every kind of change refused by an immutable file, a read-only folder
    // or a full disk: each said with what was not kept and why; the lists
    // shown are the lists named and a press acts on the row drawn; a list
    // read leaves the message; a song heard unrecorded is said; the first
    // change kept takes the message away, and nothing is lost.
    void everyChangeRefused_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("why");
        QTest::newRow("file made immutable") << "immutable" << "read-only";
        QTest::newRow("folder made read-only") << "folder" << "read-only";
        QTest::newRow("disk full") << "full" << "disk is full";
    }
    void everyChangeRefused()
    {
        QFETCH(QString, how);
        QFETCH(QString, why);
        Refusal refusal;
        home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", home->path().toUtf8());
        db = std::make_unique<DatabaseHelper>();
        if (how == "full") {
            const QString skip = refusal.smallDisk(db->getLibraryFolder());
            if (!skip.isEmpty())
                QSKIP(qPrintable(skip));
        }
        QVERIFY(db->initDb() && db->connect());
        for (const char *title : {"abc", "abd", "Nova", "Novella"})
            addSong(title, "Queen");
        QVERIFY(db->insertPlaylist("Live"));
        for (const char *title : {"abc", "abd", "abc"})
            QVERIFY(db->insertSongInPlayList(int(db->selectSongByPath(db->getLibraryFolder() + title + ".mid").idSong), 5));
        makePage();
        side(5);
        const QStringList order{"abc", "abd", "abc"};
        QCOMPARE(shown(), order);
        const QString folder = QDir(db->getLibraryFolder()).absolutePath();
        const QString skip = how == "immutable" ? refusal.immutable(folder + "/db_VelmarPC.sqlite")
                             : how == "folder"  ? refusal.readOnlyFolder(folder)
                                                : QString();
        if (!skip.isEmpty())
            QSKIP(qPrintable(skip));
        if (how == "full")
            refusal.fill();
        const auto says = [this, &why](const QString &what) {
            return message()->isVisible() && message()->text().contains(what) && message()->text().contains(why)
                   && !message()->text().contains("savepoint");
        };

        // A move: the order shown is the one kept.
        drag(0, 1);
        QVERIFY2(says("The new order of the playlist \"Live\" could not be kept"), qPrintable(message()->text()));
        QCOMPARE(shown(), order);
        // A removal.
        Prompter::setScript([](const QString &, const QString &, QMessageBox::StandardButtons) {
            return QMessageBox::Yes;
        });
        table()->selectRow(1);
        QTest::mouseClick(button("deleteButton"), Qt::LeftButton);
        QVERIFY2(says("could not be removed from the playlist \"Live\""), qPrintable(message()->text()));
        QCOMPARE(shown(), order);
        // Add Song with a search: the library's songs of that text, the one
        // drawn added (refused).
        QTest::mouseClick(button("AddToPlayListButton"), Qt::LeftButton);
        search()->setFocus();
        QTest::keyClicks(search(), "Nov");
        QCOMPARE(shown(), (QStringList{"Nova", "Novella"}));
        const QRect at = table()->visualRect(table()->model()->index(1, 2));
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, at.center());
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, at.center());
        QVERIFY2(says("\"Novella\" could not be added to the playlist \"Live\""), qPrintable(message()->text()));
        // End: the playlist's rows under its name.
        QTest::mouseClick(button("AddToPlayListButton"), Qt::LeftButton);
        QCOMPARE(page->getHeaderStatus(), int(libraryView::PlaylistSongs));
        QCOMPARE(sideList()->currentRow(), 5);
        QCOMPARE(shown(), order);
        // Another list read: shown, and the refusal still said.
        side(0);
        QCOMPARE(sideList()->currentRow(), 0);
        QCOMPARE(shown(), (QStringList{"Nova", "Novella", "abc", "abd"}));
        QVERIFY2(says("could not be added"), qPrintable(message()->text()));
        // A song heard while nothing can be kept.
        page->notePlayed(db->selectSongByPath(db->getLibraryFolder() + "abd.mid"));
        QVERIFY2(says("That \"abd\" was played could not be kept for the recent songs"),
                 qPrintable(message()->text()));
        // Renamed, made, deleted: each said.
        libraryView::setTextPrompt([](const QString &, const QString &, const QString &) { return QString("Party"); });
        QTest::mouseClick(button("newPlaylistButton"), Qt::LeftButton);
        QVERIFY2(says("The playlist \"Party\" could not be made"), qPrintable(message()->text()));
        page->renamePlaylist("Live", 5);
        QVERIFY2(says("The playlist \"Live\" could not be renamed"), qPrintable(message()->text()));
        auto *live = qobject_cast<listItem *>(sideList()->itemWidget(sideList()->item(5)));
        QVERIFY(live);
        page->onItemListDeleted(live);
        QVERIFY2(says("The playlist \"Live\" could not be deleted"), qPrintable(message()->text()));
        QCOMPARE(entries().size(), 5);

        refusal.release();
        // Nothing lost; the first change kept takes the message away.
        side(5);
        QCOMPARE(shown(), order);
        QVERIFY(message()->isVisible());
        drag(0, 1);
        QVERIFY2(!message()->isVisible(), qPrintable(message()->text()));
        QCOMPARE(shown(), (QStringList{"abd", "abc", "abc"}));
        QCOMPARE(shell("PRAGMA integrity_check"), QString("ok"));
        QCOMPARE(shell("SELECT count(*) FROM Songs"), QString("4"));
        QCOMPARE(shell("SELECT ListName FROM PlayList WHERE IdPlayList >= 5"), QString("Live"));
        QCOMPARE(shell("SELECT count(*) FROM PlayListSongs"), QString("3"));
    }

    // Another program holds the library file (the sqlite3 shell in an
    // exclusive transaction that has begun a change): a list clicked is
    // said not to be shown, and changes made meanwhile are said not kept;
    // once the shell lets go, the list comes back by itself, and nothing
    // the library held is lost.
    void heldByAnotherProgram()
    {
        open();
        for (const char *title : {"abc", "abd", "Nova"})
            addSong(title, "Queen");
        QVERIFY(db->insertPlaylist("Live"));
        QVERIFY(db->insertSongInPlayList(1, 5));
        makePage();
        side(5);
        QCOMPARE(shown(), QStringList{"abc"});
        const QStringList before = entries();
        const SongInfo heard = db->selectSongById(2);
        const QString file = db->getLibraryFolder() + "db_VelmarPC.sqlite";
        QProcess holder;
        holder.start("sqlite3", {"-batch", file});
        QVERIFY(holder.waitForStarted());
        holder.write(".timeout 20000\nBEGIN EXCLUSIVE;\nINSERT INTO PlayList (ListName) VALUES ('Theirs');\n");
        const auto held = [&file] {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
            other.setConnectOptions("QSQLITE_BUSY_TIMEOUT=0");
            other.setDatabaseName(file);
            const bool readable = other.open() && QSqlQuery(other).exec("SELECT count(*) FROM sqlite_master");
            other = QSqlDatabase();
            QSqlDatabase::removeDatabase("other");
            return !readable;
        };
        QTRY_VERIFY_WITH_TIMEOUT(held(), 20000);

        side(0);
        QCOMPARE(rows(), 0);
        QVERIFY(db->isHeld());
        QVERIFY2(message()->isVisible() && message()->text().contains("in use by another program"),
                 qPrintable(message()->text()));
        libraryView::setTextPrompt([](const QString &, const QString &, const QString &) { return QString("Party"); });
        QTest::mouseClick(button("newPlaylistButton"), Qt::LeftButton);
        QVERIFY2(message()->text().contains("\"Party\" could not be made: the library is in use by another program"),
                 qPrintable(message()->text()));
        QCOMPARE(entries(), before);
        page->notePlayed(heard);
        QVERIFY2(message()->text().contains("\"abd\" was played could not be kept"), qPrintable(message()->text()));

        holder.write("ROLLBACK;\n");
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(20000));
        // Nothing pressed: the list is read again once the file is free.
        QTRY_COMPARE_WITH_TIMEOUT(shown(), (QStringList{"Nova", "abc", "abd"}), 20000);
        QVERIFY(!db->isHeld());
        // What was not kept is still said; the first change kept takes it away.
        QVERIFY2(message()->isVisible() && message()->text().contains("\"abd\"")
                     && !message()->text().contains("once the library is free"),
                 qPrintable(message()->text()));
        QCOMPARE(entries(), before);
        QTest::mouseClick(button("newPlaylistButton"), Qt::LeftButton);
        QVERIFY2(!message()->isVisible(), qPrintable(message()->text()));
        QCOMPARE(shell("SELECT ListName FROM PlayList WHERE IdPlayList >= 5 ORDER BY IdPlayList"), QString("Live\nParty"));
        QCOMPARE(shell("PRAGMA integrity_check"), QString("ok"));
    }

    // The immutable file, and no room for a copy to read from: a list the
    // file does not give shows nothing rather than another list's rows, so
    // no press acts on a row of another list; said so.
    void unreadableShowsNoOtherList()
    {
        open();
        for (const char *title : {"abc", "Nova"})
            addSong(title, "Queen");
        QVERIFY(db->insertPlaylist("Live"));
        QVERIFY(db->insertSongInPlayList(1, 5));
        QVERIFY(db->insertSongInPlayList(2, 5));
        makePage();
        side(5);
        QCOMPARE(shown(), (QStringList{"abc", "Nova"}));
        Refusal refusal;
        const QString skip = refusal.immutable(db->getLibraryFolder() + "db_VelmarPC.sqlite");
        if (!skip.isEmpty())
            QSKIP(qPrintable(skip));
        const QByteArray tmp = qgetenv("TMPDIR");
        // A folder no one may make anything in.
        qputenv("TMPDIR", "/proc");
        const auto restore = qScopeGuard([&tmp] { qputenv("TMPDIR", tmp); });
        drag(0, 1);
        QCOMPARE(shown(), (QStringList{"abc", "Nova"}));
        QVERIFY2(message()->text().contains("could not be kept"), qPrintable(message()->text()));
        QSignalSpy edited(page.get(), &libraryView::playlistEdited);
        QTest::mouseClick(button("AddToPlayListButton"), Qt::LeftButton);
        QCOMPARE(rows(), 0);
        QVERIFY2(message()->text().contains("could not be kept") && message()->text().contains("cannot be shown"),
                 qPrintable(message()->text()));
        QTest::keyClicks(search(), "Nov");
        QCOMPARE(rows(), 0);
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
        QCOMPARE(edited.size(), 0);
        refusal.release();
        qputenv("TMPDIR", tmp);
        QTest::mouseClick(button("AddToPlayListButton"), Qt::LeftButton);
        QCOMPARE(shown(), (QStringList{"abc", "Nova"}));
        QVERIFY2(message()->text().contains("could not be kept") && !message()->text().contains("cannot be shown"),
                 qPrintable(message()->text()));
        QCOMPARE(shell("PRAGMA integrity_check"), QString("ok"));
    }
};

VELMAR_TEST(TestLibraryLocked)
#include "tst_librarylocked.moc"
