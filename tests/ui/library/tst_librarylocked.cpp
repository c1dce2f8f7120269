// The library file refusing writes while the page is open, as a host's
// machine does it: the file made immutable (chattr +i, root) or its folder
// made read-only (a read-only bind mount in a mount namespace of the test's
// own as root, chmod as an ordinary user, for whom chmod is enough).
#include "libraryfixture.h"

#include "listitem.h"

#include <QDir>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

class Refusal
{
public:
    ~Refusal() { release(); }

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
        // Mounts made here stay in this test process's own namespace.
        static const bool own = ::unshare(CLONE_NEWNS) == 0
                                && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        const QByteArray path = QFile::encodeName(folder);
        if (!own || ::mount(path, path, nullptr, MS_BIND, nullptr) != 0)
            return "no mount namespace can be made here";
        m_mounted = folder;
        if (::mount(nullptr, path, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return "the bind mount cannot be made read-only";
        return {};
    }
    void release()
    {
        if (!m_file.isEmpty())
            TestUtil::runProgram("chattr", {"-i", std::exchange(m_file, {})});
        if (!m_mounted.isEmpty())
            ::umount(QFile::encodeName(std::exchange(m_mounted, {})));
        if (!m_chmodded.isEmpty())
            QFile::setPermissions(std::exchange(m_chmodded, {}), m_mode);
    }

private:
    QString m_file, m_mounted, m_chmodded;
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
        // All Songs: the folder's file still reads; the immutable one cannot
        // even be read until SQLite may put back what the refused change
        // began, so the table keeps its rows and says so.
        side(0);
        QCOMPARE(rows(), immutableFile ? 1 : 2);
        if (immutableFile)
            QVERIFY2(message()->text().contains("cannot be read") && message()->text().contains("read-only"),
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
};

VELMAR_TEST(TestLibraryLocked)
#include "tst_librarylocked.moc"
