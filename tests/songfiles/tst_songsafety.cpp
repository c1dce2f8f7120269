// A song is never left damaged: a save written into the song itself and cut
// off at any point is undone at its next opening by its own owner, every
// name has a backup Restore finds, a damaged backup is said so, and the
// edits of one song are told from another song copied over its path.
#include "SafeSave.h"
#include "SongRW.h"
#include "songfixtures.h"
#include "testutil.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs body in a child process, as uid (with gid its group) when uid is not
// 0; its exit code, 86 when SafeSave ended it halfway.
int inChild(uid_t uid, gid_t gid, const std::function<int()> &body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (uid != 0) {
            const gid_t groups[] = {gid};
            if (::setgroups(1, groups) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(250);
        }
        ::_exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The song as it was, written into the same file (its owner, group and
// names kept).
bool putContent(const QByteArray &native, const QByteArray &bytes)
{
    const int fd = ::open(native.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const bool ok = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

// The song with a text of size bytes in a track of its own: a save of it
// takes many writes.
QByteArray grown(const QByteArray &song, int size)
{
    QByteArray track("\x00\xFF\x01", 3);
    QByteArray length;
    for (int v = size; v; v >>= 7)
        length.prepend(char((v & 0x7F) | (length.isEmpty() ? 0 : 0x80)));
    track += length + QByteArray(size, 'x') + QByteArray("\x00\xFF\x2F\x00", 4);
    QByteArray out = song;
    const int tracks = (uint8_t(out[10]) << 8 | uint8_t(out[11])) + 1;
    out[10] = char(tracks >> 8);
    out[11] = char(tracks);
    const quint32 n = quint32(track.size());
    out += "MTrk";
    for (int shift : {24, 16, 8, 0})
        out += char(n >> shift);
    return out + track;
}

QStringList listed(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QByteArray md5(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5);
}

template <typename T>
QByteArray raw(T value)
{
    return QByteArray(reinterpret_cast<const char *>(&value), sizeof value);
}

// A copy of the kind an in-place save of the song name (inode) keeps while
// it writes fresh over old.
QByteArray keptCopy(const QByteArray &name, quint64 inode, const QByteArray &old, const QByteArray &fresh)
{
    return "VLMKEPT2" + raw(quint32(name.size())) + name + raw(inode) + raw(quint64(old.size())) +
           raw(quint64(fresh.size())) + md5(fresh) + old + fresh + md5(old) + "VLMKEND2";
}

// What lies at path: a file's bytes, a link's target, or its kind.
QByteArray lying(const QByteArray &path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return "nothing";
    if (S_ISLNK(st.st_mode))
        return "link to " + QFile::symLinkTarget(QFile::decodeName(path)).toUtf8();
    if (S_ISFIFO(st.st_mode))
        return "fifo";
    if (S_ISDIR(st.st_mode))
        return "folder";
    if (st.st_size > 1 << 20)
        return "a file of " + QByteArray::number(qint64(st.st_size)) + " bytes";
    return TestUtil::readFile(QFile::decodeName(path));
}

} // namespace

class TestSongSafety : public QObject
{
    Q_OBJECT

private slots:
    // The in-place write (a shared song of another member of the group, or
    // a song with a second name) is ended at each of its writes and
    // flushes. The song's owner then opens it: it opens, holds its old
    // content or the whole new one, the copy kept meanwhile had the song's
    // group and mode, and nothing is left beside it; the other name is
    // still the same file.
    void interruptedInPlaceWrite_data()
    {
        QTest::addColumn<bool>("shared");
        QTest::newRow("shared song, another user") << true;
        QTest::newRow("a second name") << false;
    }
    void interruptedInPlaceWrite()
    {
        QFETCH(bool, shared);
        if (shared && ::geteuid() != 0)
            QSKIP("becoming other users needs root");
        const SongFixtures::SharedUsers users = SongFixtures::sharedUsers();
        if (shared && !users)
            QSKIP("the system has no two users of one group");
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("shared")));
        const QString folder = dir.filePath(QStringLiteral("shared"));
        const QByteArray nativeFolder = QFile::encodeName(folder);
        const QString path = SongFixtures::makeMidi(folder, QStringLiteral("song.mid"));
        const QByteArray native = QFile::encodeName(path);
        const QByteArray original = grown(TestUtil::readFile(path), 1300 * 1000);
        QVERIFY(TestUtil::writeFile(path, original));
        const uid_t user = shared ? users.member : 0, owner = shared ? users.owner : 0;
        QString link;
        if (shared) {
            QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
            QCOMPARE(::chown(nativeFolder.constData(), users.owner, users.group), 0);
            QCOMPARE(::chmod(nativeFolder.constData(), 02775), 0);
            QCOMPARE(::chown(native.constData(), users.owner, users.group), 0);
        } else {
            link = QDir(folder).filePath(QStringLiteral("second name.mid"));
            QCOMPARE(::link(native.constData(), QFile::encodeName(link).constData()), 0);
        }
        QCOMPARE(::chmod(native.constData(), 0664), 0);
        struct stat song {};
        QCOMPARE(::stat(native.constData(), &song), 0);

        const auto save = [&](int dieAt) {
            return inChild(user, users.group, [&] {
                SafeSave::interruptForTest(dieAt);
                std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
                if (!editor)
                    return 201;
                editor->setDeltaKey(3);
                if (!editor->saveToFile(path))
                    return 202;
                return std::min(SafeSave::stepsForTest(), 199);
            });
        };
        const int steps = save(0);
        QVERIFY2(steps >= 10 && steps < 199, qPrintable(QString::number(steps)));
        const QByteArray saved = TestUtil::readFile(path);
        QVERIFY(saved != original);
        struct stat after {};
        QCOMPARE(::stat(native.constData(), &after), 0);
        QCOMPARE(QList<quint64>({after.st_ino, after.st_uid, after.st_gid, after.st_mode, after.st_nlink}),
                 QList<quint64>({song.st_ino, song.st_uid, song.st_gid, song.st_mode, song.st_nlink}));
        QStringList names{"song.mid", "song.mid.bak"};
        if (!link.isEmpty())
            names.prepend(QStringLiteral("second name.mid"));
        QCOMPARE(listed(folder), names);

        QStringList failures;
        int keptOld = 0, keptNew = 0, copies = 0;
        for (int at = 1; at <= steps; ++at) {
            QVERIFY(putContent(native, original));
            const int ended = save(at);
            const QString keptName = QDir(folder).filePath(QStringLiteral(".song.mid.kept"));
            struct stat kept {};
            if (::stat(QFile::encodeName(keptName).constData(), &kept) == 0) {
                ++copies;
                if (kept.st_gid != song.st_gid || (kept.st_mode & 0777) != (song.st_mode & 0666))
                    failures << QStringLiteral("step %1: the kept copy is %2 of group %3")
                                    .arg(at).arg(kept.st_mode & 0777, 0, 8).arg(kept.st_gid);
            }
            // The song's owner opens it.
            const int opened = inChild(owner, users.group, [&] {
                if (!SongRW::putBackInterruptedSave(path))
                    return 1;
                return std::unique_ptr<SongRW>(SongRW::createFromFile(path, false)) ? 0 : 2;
            });
            const QByteArray now = TestUtil::readFile(path);
            keptOld += now == original;
            keptNew += now == saved;
            if (ended != 86 || opened != 0 || (now != original && now != saved) || listed(folder) != names ||
                (!link.isEmpty() && TestUtil::readFile(link) != now))
                failures << QStringLiteral("step %1: ended %2, opened %3, %4, %5")
                                .arg(at).arg(ended).arg(opened)
                                .arg(now == original ? "old" : now == saved ? "new" : "damaged",
                                     listed(folder).join(QLatin1Char(',')));
        }
        QCOMPARE(failures, QStringList());
        // Cut off before and after the song itself was written.
        QVERIFY(keptOld > 0 && keptNew > 0 && copies > 0);
    }

    // Files placed beside a song in a setgid and sticky group folder, where
    // the song's owner may not remove them, each under a name of a file the
    // program keeps there. The owner opens the song (which takes what an
    // interrupted save left), saves it in place (it has a second name) and
    // restores it: a file is used only when whoever made it may write the
    // song, never through a link and never beyond a song's size, and one
    // left alone is told once and keeps no save from being written; a copy
    // a save under way holds keeps the song from being read half written.
    void placedBesideASong_data()
    {
        QTest::addColumn<QString>("placed");
        QTest::addColumn<QString>("by");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("outcome");
        const QString ignored = "opened as it was; saved; backup as it was; restored as it was; told; placed file kept";
        const QString used = "opened as placed; saved; backup as placed; restored as placed; placed file ";
        QTest::newRow("copy by a member who may not write the song") << "kept" << "member" << 0644 << ignored;
        QTest::newRow("copy of the earlier kind by a member who may not write the song")
            << "kept1" << "member" << 0644 << ignored;
        // The owner may not remove a member's file in this folder: it is
        // emptied.
        QTest::newRow("copy by a member who may write it") << "kept" << "member" << 0664 << used + "emptied";
        QTest::newRow("copy by the owner") << "kept" << "owner" << 0644 << used + "gone";
        QTest::newRow("copy by an outsider, the song writable by all")
            << "kept" << "outsider" << 0666 << used + "emptied";
        QTest::newRow("copy by a member the song's group lists") << "kept" << "listed" << 0664 << used + "emptied";
        QTest::newRow("copy by one outside a group that lists others") << "kept" << "unlisted" << 0664 << ignored;
        QTest::newRow("copy by a user the system does not know") << "kept" << "unknown" << 0664 << ignored;
        QTest::newRow("copy of the earlier kind by the owner") << "kept1" << "owner" << 0644 << used + "gone";
        // A copy whose hash does not match was never finished: the song
        // was not touched yet.
        QTest::newRow("copy never finished, by the owner")
            << "damaged" << "owner" << 0644
            << "opened as it was; saved; backup as it was; restored as it was; placed file gone";
        QTest::newRow("sparse copy claiming 2 GiB") << "sparse" << "owner" << 0664 << ignored;
        QTest::newRow("link to a copy") << "link" << "owner" << 0664 << ignored;
        QTest::newRow("FIFO") << "fifo" << "member" << 0664 << ignored;
        QTest::newRow("folder") << "folder" << "member" << 0664 << ignored;
        QTest::newRow("copy held by a member who may not write the song") << "locked" << "member" << 0644 << ignored;
        QTest::newRow("copy of a save under way")
            << "locked" << "member" << 0664
            << "refused: being saved by another user; try again; backup none; not restored; placed file kept";
        QTest::newRow("backup by a member who may not write the song") << "bak" << "member" << 0644 << ignored;
        QTest::newRow("backup by a member who may write it")
            << "bak" << "member" << 0664
            << "opened as it was; saved; backup as placed; restored as placed; placed file kept";
        QTest::newRow("part of a crashed backup copy")
            << "part" << "owner" << 0644
            << "opened as it was; saved; backup as it was; restored as it was; placed file gone";
        QTest::newRow("part by a member who may not write the song")
            << "part" << "member" << 0644
            << "opened as it was; saved; backup as it was; restored as it was; placed file kept";
    }
    void placedBesideASong()
    {
        QFETCH(QString, placed);
        QFETCH(QString, by);
        QFETCH(int, mode);
        QFETCH(QString, outcome);
        if (::geteuid() != 0)
            QSKIP("becoming other users needs root");
        const SongFixtures::SharedUsers users = SongFixtures::sharedUsers();
        if (!users)
            QSKIP("the system has no two users of one group and one outside it");
        const bool listing = by == "listed" || by == "unlisted" || by == "unknown";
        if (listing && !users.listedGroup)
            QSKIP("the system has no group that lists its members");
        const gid_t group = listing ? users.listedGroup : users.group;
        QTemporaryDir dir;
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
        const QString folder = dir.filePath(QStringLiteral("shared"));
        const QByteArray nativeFolder = QFile::encodeName(folder);
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("shared")));
        QCOMPARE(::chown(nativeFolder.constData(), 0, group), 0);
        QCOMPARE(::chmod(nativeFolder.constData(), mode == 0666 || listing ? 01777 : 03775), 0);
        const QString path = SongFixtures::makeMidi(folder, QStringLiteral("song.mid"));
        const QByteArray native = QFile::encodeName(path);
        QCOMPARE(::link(native.constData(), QFile::encodeName(folder + "/second.mid").constData()), 0);
        QCOMPARE(::chown(native.constData(), users.owner, group), 0);
        QCOMPARE(::chmod(native.constData(), mode_t(mode)), 0);
        const QByteArray original = TestUtil::readFile(path);
        struct stat song {};
        QCOMPARE(::stat(native.constData(), &song), 0);

        // What is placed: another song as the old content of a copy that
        // the song holds what its write left of; a backup of the song with
        // its key changed.
        const QByteArray other = TestUtil::readFile(SongFixtures::makeMidi(dir.path(), "other.mid", 1, 7));
        QByteArray fresh = original;
        fresh[0] = 'X';
        const QByteArray copy = keptCopy("song.mid", song.st_ino, other, fresh);
        QByteArray changed;
        {
            const QString scratch = SongFixtures::makeMidi(dir.path(), QStringLiteral("scratch.mid"));
            std::unique_ptr<SongRW> editor(SongRW::createFromFile(scratch, false));
            editor->setDeltaKey(5);
            QVERIFY(editor->saveToFile(scratch));
            changed = TestUtil::readFile(scratch);
        }
        const QByteArray kept = nativeFolder + "/.song.mid.kept";
        QByteArray at = kept;
        if (placed == "kept" || placed == "locked" || placed == "kept1" || placed == "damaged") {
            // As a save leaves it: with the song's mode.
            const QByteArray first = "VLMKEPT1" + raw(quint32(8)) + "song.mid" + raw(quint64(other.size())) +
                                     md5(fresh) + other + md5(other) + "VLMKEND1";
            QByteArray damaged = copy;
            damaged[damaged.size() - 40] = '!';
            QVERIFY(TestUtil::writeFile(QFile::decodeName(kept), placed == "kept1"     ? first
                                                                 : placed == "damaged" ? damaged
                                                                                       : copy));
            QCOMPARE(::chmod(kept.constData(), mode_t(mode)), 0);
        } else if (placed == "sparse") {
            const QByteArray head =
                "VLMKEPT1" + raw(quint32(8)) + "song.mid" + raw(quint64(2) << 30) + QByteArray(16, 0);
            QVERIFY(TestUtil::writeFile(QFile::decodeName(kept), head));
            QCOMPARE(::truncate(kept.constData(), (off_t(2) << 30) + 64), 0);
        } else if (placed == "link") {
            const QByteArray elsewhere = QFile::encodeName(dir.filePath("elsewhere.kept"));
            QVERIFY(TestUtil::writeFile(QFile::decodeName(elsewhere), copy));
            QCOMPARE(::chown(elsewhere.constData(), users.owner, users.group), 0);
            QCOMPARE(::symlink("../elsewhere.kept", kept.constData()), 0);
        } else if (placed == "fifo") {
            QCOMPARE(::mkfifo(kept.constData(), 0644), 0);
        } else if (placed == "folder") {
            QCOMPARE(::mkdir(kept.constData(), 0755), 0);
        } else if (placed == "bak") {
            at = native + ".bak";
            QVERIFY(TestUtil::writeFile(path + ".bak", changed));
        } else {
            at = nativeFolder + "/.song.mid.bak.saving-a1B2c3";
            QVERIFY(TestUtil::writeFile(QFile::decodeName(at), original.left(original.size() / 2)));
        }
        uid_t unknown = 64999;
        while (::getpwuid(unknown))
            --unknown;
        const uid_t maker = by == "owner"     ? users.owner
                            : by == "member"  ? users.member
                            : by == "listed"  ? users.listedMember
                            : by == "unknown" ? unknown
                                              : users.outsider;
        QCOMPARE(::lchown(at.constData(), maker, by == "outsider" ? users.outsiderGroup : group), 0);
        const QByteArray before = lying(at);
        // The lock of a save under way: another open file of the copy.
        const int held = placed == "locked" ? ::open(kept.constData(), O_RDONLY | O_CLOEXEC) : -1;
        QVERIFY(placed != "locked" || ::flock(held, LOCK_EX) == 0);
        SongRW::takeNotices();
        // A folder unchanged for an hour, as most are: what is read of it is
        // kept until it changes.
        const timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, nativeFolder.constData(), hourAgo, 0), 0);

        const QByteArray said = SongFixtures::asUser(users.owner, {users.group, group}, [&] {
            const auto as = [&](const QByteArray &bytes) -> QByteArray {
                return bytes == original ? "as it was" : bytes == other || bytes == changed ? "as placed" : "changed";
            };
            QByteArrayList report;
            QString why;
            SongRW::putBackInterruptedSave(path);
            std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true, &why));
            if (editor) {
                report << "opened " + as(TestUtil::readFile(path));
                editor->setDeltaKey(2);
                report << (editor->saveToFile(path) ? QByteArray("saved")
                                                    : "not saved: " + editor->errorString().toUtf8());
            } else {
                report << "refused: " + why.toUtf8();
            }
            const QString backup = SafeSave::backupOf(path);
            report << "backup " + (backup.isEmpty() ? QByteArray("none") : as(TestUtil::readFile(backup)));
            report << (SongRW::restoreBackup(path) ? "restored " + as(TestUtil::readFile(path)) : "not restored");
            // Once, naming the file.
            const QString name = QFile::decodeName(at.mid(at.lastIndexOf('/') + 1));
            const QStringList told = SongRW::takeNotices();
            if (told.filter(name).size() == 1)
                report << "told";
            else if (!told.isEmpty())
                report << "told " + told.join(" | ").toUtf8();
            return report.join("; ");
        });
        if (held >= 0)
            ::close(held);
        const QByteArray after = lying(at);
        const QString result = QString::fromUtf8(said) + "; placed file " +
                               (after == before  ? "kept"
                                : after.isEmpty() ? "emptied"
                                : after == "nothing" ? "gone"
                                                     : "changed");
        QCOMPARE(result, outcome);
        // Whatever was left alone, nothing the program made stays behind.
        QStringList left = listed(folder);
        left.removeAll(QFile::decodeName(at.mid(at.lastIndexOf('/') + 1)));
        QCOMPARE(left, QStringList({"second.mid", "song.mid"}));
        QCOMPARE(TestUtil::readFile(folder + "/second.mid"), TestUtil::readFile(path));
    }

    // A save cut off while it wrote the song in place, then the song's
    // place taken before the next opening: only the file that save was
    // writing, holding what it left, gets its old content back; any other
    // is left as it is, the copy set aside, and that is told once.
    void replacedSinceACrash_data()
    {
        QTest::addColumn<QString>("since");
        QTest::newRow("nothing") << "";
        QTest::newRow("another song copied over it") << "cp";
        QTest::newRow("another song copied and moved over it") << "mv";
        QTest::newRow("what the crash left, copied and moved over it") << "copy";
    }
    void replacedSinceACrash()
    {
        QFETCH(QString, since);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("songs"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("songs")));
        const QString path = SongFixtures::makeMidi(folder, QStringLiteral("song.mid"));
        const QByteArray native = QFile::encodeName(path);
        const QByteArray original = grown(TestUtil::readFile(path), 600 * 1000);
        QVERIFY(TestUtil::writeFile(path, original));
        QCOMPARE(::link(native.constData(), QFile::encodeName(folder + "/second.mid").constData()), 0);
        const auto save = [&](int dieAt) {
            return inChild(0, 0, [&] {
                SafeSave::interruptForTest(dieAt);
                std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, false));
                editor->setDeltaKey(3);
                return editor->saveToFile(path) ? std::min(SafeSave::stepsForTest(), 199) : 202;
            });
        };
        const int steps = save(0);
        const QByteArray saved = TestUtil::readFile(path);
        QVERIFY(putContent(native, original));
        // In the middle of the song's last piece.
        QCOMPARE(save(steps - 3), 86);
        const QByteArray torn = TestUtil::readFile(path);
        QVERIFY(torn != original && torn != saved);

        const QString moved = dir.filePath(QStringLiteral("moved.mid"));
        const QByteArray other = TestUtil::readFile(SongFixtures::makeMidi(dir.path(), "other.mid", 1, 7));
        if (since == "cp")
            QVERIFY(putContent(native, other));
        else if (since == "mv" || since == "copy")
            QVERIFY(TestUtil::writeFile(moved, since == "mv" ? other : torn) &&
                    ::rename(QFile::encodeName(moved).constData(), native.constData()) == 0);
        const QByteArray now = TestUtil::readFile(path);
        SongRW::takeNotices();
        QVERIFY(SongRW::putBackInterruptedSave(path));
        const QStringList left = listed(folder);
        if (since.isEmpty()) {
            QCOMPARE(TestUtil::readFile(path), original);
            QCOMPARE(left, QStringList({"second.mid", "song.mid"}));
            QCOMPARE(SongRW::takeNotices(), QStringList());
            return;
        }
        QCOMPARE(TestUtil::readFile(path), now);
        QCOMPARE(left.size(), 3);
        const QString aside = left.first();
        QVERIFY2(aside.startsWith(".song.mid.kept-aside~"), qPrintable(aside));
        QCOMPARE(SongRW::takeNotices(), QStringList("A save of song.mid was cut off, and another file was put in "
                                                    "its place since: it is not written over, and what song.mid "
                                                    "held before that save is kept in " + aside + "."));
        // Told once; the next opening finds nothing to do.
        QVERIFY(SongRW::putBackInterruptedSave(path));
        QCOMPARE(TestUtil::readFile(path), now);
        QCOMPARE(listed(folder), left);
        QCOMPARE(SongRW::takeNotices(), QStringList());
    }

    // A song of two names has one backup, made before its first save
    // through either: Restore through the other brings that state back,
    // also where an earlier version gave the other name a backup of its own
    // at its first save, and leaves no backup behind.
    void oneBackupForEveryName()
    {
        QTemporaryDir dir;
        const QString path = SongFixtures::makeMidi(dir.path(), QStringLiteral("a.mid"));
        const QString other = dir.filePath(QStringLiteral("b.mid"));
        QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()), 0);
        const QByteArray original = TestUtil::readFile(path);
        for (const QString &name : {path, other}) {
            std::unique_ptr<SongRW> editor(SongRW::createFromFile(name, true));
            editor->setDeltaKey(name == path ? 2 : 3);
            QVERIFY(editor->saveToFile(name));
            if (name == path)
                QVERIFY(QFile::copy(path, other + ".bak"));
        }
        const timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path + ".bak").constData(), hourAgo, 0), 0);
        QCOMPARE(listed(dir.path()), QStringList({"a.mid", "a.mid.bak", "b.mid", "b.mid.bak"}));
        QCOMPARE(SongRW::restorePlan(other), SongRW::Restore::Whole);
        QVERIFY(SongRW::restoreBackup(other));
        QCOMPARE(TestUtil::readFile(path), original);
        QCOMPARE(listed(dir.path()), QStringList({"a.mid", "b.mid"}));
    }

    // A name of 252 to 255 bytes, too long for ".bak" after it, still gets
    // a backup that Restore finds and puts back; 251 bytes keep ".bak".
    void longNamesHaveABackup_data()
    {
        QTest::addColumn<int>("length");
        for (int length : {251, 252, 255})
            QTest::newRow(qPrintable(QString::number(length))) << length;
    }
    void longNamesHaveABackup()
    {
        QFETCH(int, length);
        QTemporaryDir dir;
        const QString name = QString(length - 4, QLatin1Char('a')) + QLatin1String(".mid");
        const QString path = SongFixtures::makeMidi(dir.path(), name);
        const QByteArray original = TestUtil::readFile(path);
        const QString backup = SongRW::backupPath(path);
        QCOMPARE(backup == path + QLatin1String(".bak"), length <= 251);
        QVERIFY(QFileInfo(backup).fileName().toUtf8().size() <= 255);
        QVERIFY(backup.endsWith(QLatin1String(".bak")));
        for (int key : {2, 3}) {
            std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
            QVERIFY(editor);
            editor->setDeltaKey(key);
            QVERIFY(editor->saveToFile(path));
        }
        QCOMPARE(TestUtil::readFile(backup), original);
        QCOMPARE(SongRW::restorePlan(path), SongRW::Restore::Whole);
        QString why;
        QVERIFY2(SongRW::restoreBackup(path, &why), qPrintable(why));
        QCOMPARE(TestUtil::readFile(path), original);
        QCOMPARE(listed(dir.path()), QStringList{name});
    }

    // A backup damaged since (its MIDI data no longer reads, while the
    // song's does) is said so, not taken for the song changed by another
    // program, and so is one that could not be made (a full disk); a
    // Latin-1 name is shown as the folder lists it.
    void damagedBackupIsSaid()
    {
        QTemporaryDir dir;
        const QString path = SongFixtures::makeMidi(dir.path(), QStringLiteral("song.mid"));
        QVERIFY(TestUtil::onFullDisk(100, [&] { std::unique_ptr<SongRW>(SongRW::createFromFile(path, true)); }));
        QString unmade;
        QCOMPARE(SongRW::restorePlan(path, &unmade), SongRW::Restore::Nothing);
        QVERIFY2(unmade.startsWith("its backup could not be made: "), qPrintable(unmade));
        std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
        editor->setDeltaKey(2);
        QVERIFY(editor->saveToFile(path));
        const QString backup = SongRW::backupPath(path);
        QByteArray bytes = TestUtil::readFile(backup);
        bytes.replace(bytes.size() - 40, 8, QByteArray(8, '\xF5'));
        QVERIFY(TestUtil::writeFile(backup, bytes));
        QString why;
        QCOMPARE(SongRW::restorePlan(path, &why), SongRW::Restore::Refused);
        QCOMPARE(why, QStringLiteral("its backup is damaged: its MIDI data cannot be read"));
        QVERIFY(!SongRW::restoreBackup(path));
        QCOMPARE(TestUtil::readFile(backup), bytes);

        const QByteArray latin1 = QFile::encodeName(dir.path()) + "/caf\xe9 \xe0 la cr\xe8me.mid";
        QCOMPARE(::rename(QFile::encodeName(path).constData(), latin1.constData()), 0);
        QCOMPARE(SongRW::shownName(QFile::decodeName(latin1)), QString::fromUtf8("café à la crème.mid"));
        QCOMPARE(SongRW::shownName(path.left(path.size() - 8) + QString::fromUtf8("crème.mid")),
                 QString::fromUtf8("crème.mid"));
        QCOMPARE(::unlink(latin1.constData()), 0);
    }

    // What tells a later version of the song (retitled, saved with a key
    // and instruments of its own, a track added or the song transposed by
    // another program) from another song copied over it.
    void anotherSongIsToldFromALaterVersion_data()
    {
        QTest::addColumn<QString>("since");
        QTest::addColumn<bool>("same");
        QTest::newRow("saved by the program") << "saved" << true;
        QTest::newRow("a track added by mido") << "track" << true;
        QTest::newRow("transposed by mido") << "transposed" << true;
        QTest::newRow("another song copied over it") << "other" << false;
        QTest::newRow("an MP3 copied over it") << "mp3" << false;
    }
    void anotherSongIsToldFromALaterVersion()
    {
        QFETCH(QString, since);
        QFETCH(bool, same);
        QTemporaryDir dir;
        const QString path = SongFixtures::makeMidi(dir.path(), QStringLiteral("song.mid"));
        const QByteArray before = SongRW::musicPrint(path);
        QCOMPARE(before.size(), 1 + 16 * 8);
        if (since == QLatin1String("saved")) {
            std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
            editor->setDeltaKey(1);
            editor->setTitle(QStringLiteral("Retitled"));
            for (int channel : {0, 3, 9})
                editor->setTrackParameter(channel, 0, MidiTrackParam{0, 5, 0, true, -20});
            QVERIFY(editor->saveToFile(path));
        } else if (since == QLatin1String("track")) {
            TestUtil::runPython(QStringLiteral("songfiles/song_tool.py"), {"add-track", path, path});
        } else if (since == QLatin1String("transposed")) {
            TestUtil::runPython(QStringLiteral("songfiles/song_tool.py"), {"transpose", path, path, "5"});
        } else if (since == QLatin1String("other")) {
            const QString other = SongFixtures::makeMidi(dir.path(), QStringLiteral("other.mid"), 1, 7);
            QVERIFY(QFile::remove(path) && QFile::rename(other, path));
        } else {
            QByteArray mp3("ID3\x03\x00\x00\x00\x00\x00\x00", 10);
            mp3 += QByteArray("\xFF\xFB\x90\x00", 4).repeated(100);
            QVERIFY(TestUtil::writeFile(path, mp3));
        }
        QCOMPARE(SongRW::sameMusic(before, SongRW::musicPrint(path)), same);
        // Transposed, every channel is still itself.
        if (since == QLatin1String("transposed"))
            QCOMPARE(SongRW::musicPrint(path), before);
    }
};

VELMAR_TEST(TestSongSafety)
#include "tst_songsafety.moc"
