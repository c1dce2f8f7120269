// A song is never left damaged: a save written into the song itself and cut
// off at any point is undone at its next opening by its own owner, every
// name has a backup Restore finds, a damaged backup is said so, and the
// edits of one song are told from another song copied over its path.
#include "SafeSave.h"
#include "SongRW.h"
#include "songfixtures.h"
#include "testutil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kOwner = 4241, kUser = 4243;
constexpr gid_t kGroup = 4242;

// Runs body in a child process, as uid (in kGroup) when uid is not 0; its
// exit code, 86 when SafeSave ended it halfway.
int inChild(uid_t uid, const std::function<int()> &body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (uid != 0) {
            const gid_t groups[] = {kGroup};
            if (::setgroups(1, groups) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0)
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
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("shared")));
        const QString folder = dir.filePath(QStringLiteral("shared"));
        const QByteArray nativeFolder = QFile::encodeName(folder);
        const QString path = SongFixtures::makeMidi(folder, QStringLiteral("song.mid"));
        const QByteArray native = QFile::encodeName(path);
        const QByteArray original = grown(TestUtil::readFile(path), 1300 * 1000);
        QVERIFY(TestUtil::writeFile(path, original));
        const uid_t user = shared ? kUser : 0, owner = shared ? kOwner : 0;
        QString link;
        if (shared) {
            QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
            QCOMPARE(::chown(nativeFolder.constData(), kOwner, kGroup), 0);
            QCOMPARE(::chmod(nativeFolder.constData(), 02775), 0);
            QCOMPARE(::chown(native.constData(), kOwner, kGroup), 0);
        } else {
            link = QDir(folder).filePath(QStringLiteral("second name.mid"));
            QCOMPARE(::link(native.constData(), QFile::encodeName(link).constData()), 0);
        }
        QCOMPARE(::chmod(native.constData(), 0664), 0);
        struct stat song {};
        QCOMPARE(::stat(native.constData(), &song), 0);

        const auto save = [&](int dieAt) {
            return inChild(user, [&] {
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
            const int opened = inChild(owner, [&] {
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
    // program; a Latin-1 name is shown as the folder lists it.
    void damagedBackupIsSaid()
    {
        QTemporaryDir dir;
        const QString path = SongFixtures::makeMidi(dir.path(), QStringLiteral("song.mid"));
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
    // and instruments of its own, a track added by another program) from
    // another song copied over it.
    void anotherSongIsToldFromALaterVersion_data()
    {
        QTest::addColumn<QString>("since");
        QTest::addColumn<bool>("same");
        QTest::newRow("saved by the program") << "saved" << true;
        QTest::newRow("a track added by mido") << "track" << true;
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
        } else if (since == QLatin1String("other")) {
            const QString other = SongFixtures::makeMidi(dir.path(), QStringLiteral("other.mid"), 1, 7);
            QVERIFY(QFile::remove(path) && QFile::rename(other, path));
        } else {
            QByteArray mp3("ID3\x03\x00\x00\x00\x00\x00\x00", 10);
            mp3 += QByteArray("\xFF\xFB\x90\x00", 4).repeated(100);
            QVERIFY(TestUtil::writeFile(path, mp3));
        }
        QCOMPARE(SongRW::sameMusic(before, SongRW::musicPrint(path)), same);
    }
};

VELMAR_TEST(TestSongSafety)
#include "tst_songsafety.moc"
