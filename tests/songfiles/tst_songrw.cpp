// The editor factory, the one-time backup and its restore. Saves that fail
// are seen where the user meets them, on the edit page.
#include "SafeSave.h"
#include "SongRW.h"
#include "songfixtures.h"
#include "testutil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class TestSongRW : public QObject
{
    Q_OBJECT

private slots:
    void factory_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("source");  // "mid", "mf5" or "" for no file
        QTest::addColumn<QString>("format");  // "" when no editor is expected
        QTest::newRow("mid") << "a.mid" << "mid" << "MIDI";
        QTest::newRow("upper-case MID") << "a.MID" << "mid" << "MIDI";
        QTest::newRow("mf5") << "a.mf5" << "mf5" << "MF5";
        QTest::newRow("MF5 content named mf3") << "a.mf3" << "mf5" << "MF5";
        QTest::newRow("mta") << "a.mta" << "mid" << "";
        QTest::newRow("no suffix") << "song" << "mid" << "";
        QTest::newRow("container named mid") << "a.mid" << "mf5" << "";
        QTest::newRow("missing file") << "a.mid" << "" << "";
    }
    void factory()
    {
        QFETCH(QString, name);
        QFETCH(QString, source);
        QFETCH(QString, format);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (source == QLatin1String("mid"))
            QFile::rename(SongFixtures::makeMidi(dir.path(), QStringLiteral("src.mid")), path);
        else if (!source.isEmpty())
            QFile::rename(SongFixtures::makeMfx(dir.path(), QStringLiteral("src.mf5"), "_MF5"), path);
        std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
        QCOMPARE(bool(editor), !format.isEmpty());
        QCOMPARE(QFile::exists(path + QLatin1String(".bak")), !format.isEmpty());
        QVERIFY(!editor || editor->getFormatString(editor->getFileType()) == format);
    }

    void refusedHeads_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("opens");  // and then has nothing to save
        const QByteArray head("MThd\0\0\0\x06\0\x01\0\x01\0\x60", 14);
        const QByteArray track("MTrk\0\0\0\x04\0\xFF\x2F\0", 12);
        QTest::newRow("21 bytes") << "a.mid" << (head + track).left(21) << false;
        QTest::newRow("MThd not first") << "a.mid" << QByteArray(" ") + head + track << false;
        QTest::newRow("format 2") << "a.mid" << QByteArray(head).replace(9, 1, "\x02") + track << false;
        QTest::newRow("no MTrk") << "a.mid" << head + QByteArray(track).replace(3, 1, "q") << false;
        QTest::newRow("track past the end") << "a.mid" << head + QByteArray(track).replace(7, 1, "\x05") << false;
        QTest::newRow("magic only") << "a.mf3" << QByteArray("_MF3") << false;
        QTest::newRow("MF5 of 800 bytes") << "a.mf5" << QByteArray("_MF5").leftJustified(800, '\0') << false;
        QTest::newRow("other magic") << "a.mf3" << QByteArray("_MF6").leftJustified(1500, '\0') << false;
        QTest::newRow("MF3 without payload") << "a.mf3" << QByteArray("_MF3").leftJustified(512, '\0') << true;
    }
    void refusedHeads()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, opens);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        TestUtil::writeFile(path, bytes);
        std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, false));
        QCOMPARE(bool(editor), opens);
        QVERIFY(!editor || !editor->saveToFile(path));
        QCOMPARE(TestUtil::readFile(path), bytes);
    }

    void backupIsMadeOnceAndRestored()
    {
        QTemporaryDir dir;
        const QString path = SongFixtures::makeMidi(dir.path(), QStringLiteral("song.mid"));
        const QByteArray original = TestUtil::readFile(path);
        QVERIFY(!SongRW::restoreBackup(path));
        QCOMPARE(TestUtil::readFile(path), original);
        for (const char *title : {"First edit", "Second edit"}) {
            std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
            QVERIFY(editor);
            editor->setTitle(QLatin1String(title));
            QVERIFY(editor->saveToFile(path));
            QCOMPARE(TestUtil::readFile(path + QLatin1String(".bak")), original);
        }
        QVERIFY(TestUtil::readFile(path) != original);
        QVERIFY(SongRW::restoreBackup(path));
        QCOMPARE(TestUtil::readFile(path), original);
        QVERIFY(!QFile::exists(path + QLatin1String(".bak")));
    }

    // A song its owner made read-only is said so and stays byte for byte,
    // with no backup beside it; a writable one keeps its permissions.
    void readOnlySongIsNotReplaced()
    {
        QTemporaryDir dir;
        const QString path = SongFixtures::makeMidi(dir.path(), QStringLiteral("song.mid"));
        const QByteArray original = TestUtil::readFile(path);
        using P = QFileDevice;
        QVERIFY(QFile::setPermissions(path, P::ReadOwner | P::ReadGroup | P::ReadOther));
        QString why;
        QVERIFY(!SongRW::createFromFile(path, true, &why));
        QCOMPARE(why, QStringLiteral("the song file is read-only"));
        std::unique_ptr<SongRW> reader(SongRW::createFromFile(path, false));
        QVERIFY(reader);
        reader->setTitle(QStringLiteral("Changed"));
        QVERIFY(!reader->saveToFile(path));
        QCOMPARE(reader->errorString(), QStringLiteral("the song file is read-only"));
        QCOMPARE(TestUtil::readFile(path), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"song.mid"});

        const auto mode = P::ReadOwner | P::WriteOwner | P::ReadGroup | P::WriteGroup;
        QVERIFY(QFile::setPermissions(path, mode));
        std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
        QVERIFY(editor);
        editor->setTitle(QStringLiteral("Changed"));
        QVERIFY(editor->saveToFile(path));
        QCOMPARE(QFile::permissions(path) & ~(P::ReadUser | P::WriteUser | P::ExeUser), mode);
    }

    // A private song's backup is as private as the song, under any umask,
    // and belongs to the song's owner and group where the user may say so.
    void backupKeepsTheSongsMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("otherOwner");
        QTest::newRow("0600") << 0600 << false;
        QTest::newRow("0640, another owner") << 0640 << true;
        QTest::newRow("0664") << 0664 << false;
    }
    void backupKeepsTheSongsMode()
    {
        QFETCH(int, mode);
        QFETCH(bool, otherOwner);
        QTemporaryDir dir;
        const QString path = SongFixtures::makeMidi(dir.path(), QStringLiteral("private.mid"));
        const QByteArray native = QFile::encodeName(path);
        QCOMPARE(::chmod(native.constData(), mode_t(mode)), 0);
        const bool root = ::geteuid() == 0;
        if (otherOwner && root)
            QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
        const mode_t oldMask = ::umask(022);
        std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
        ::umask(oldMask);
        QVERIFY(editor);
        editor->setTitle(QStringLiteral("Edited"));
        QVERIFY(editor->saveToFile(path));
        struct stat song {}, backup {};
        QCOMPARE(::stat(native.constData(), &song), 0);
        QCOMPARE(::stat(QByteArray(native + ".bak").constData(), &backup), 0);
        const auto described = [](const struct stat &st) {
            return QStringLiteral("%1 %2:%3").arg(st.st_mode & 07777, 4, 8, QLatin1Char('0')).arg(st.st_uid).arg(st.st_gid);
        };
        QCOMPARE(described(song).left(4), QStringLiteral("%1").arg(mode, 4, 8, QLatin1Char('0')));
        QCOMPARE(described(backup), described(song));
        if (otherOwner && root)
            QCOMPARE(int(backup.st_uid), 65534);
    }

    // Saving reads the umask without changing it: the files another thread
    // creates meanwhile (an import's copy, a download's part file) get
    // 0666 less the umask, and so does each song saved as a new file.
    void saveLeavesTheUmaskAlone()
    {
        QTemporaryDir dir;
        const QByteArray song = TestUtil::readFile(SongFixtures::makeMidi(dir.path(), QStringLiteral("song.mid")));
        const mode_t oldMask = ::umask(027);
        std::atomic<bool> stop{false};
        std::atomic<int> created{0}, wrong{0};
        const auto create = [&](const QString &part) {
            const QByteArray name = QFile::encodeName(dir.filePath(part));
            while (!stop.load()) {
                ::unlink(name.constData());
                const int fd = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
                struct stat st {};
                wrong += fd < 0 || ::fstat(fd, &st) != 0 || (st.st_mode & 0777) != 0640;
                ::close(fd);
                ++created;
            }
        };
        std::thread import(create, QStringLiteral("copy.part")), download(create, QStringLiteral("song.part"));
        int savedWrong = 0;
        const QString copy = dir.filePath(QStringLiteral("copy.mid"));
        const QByteArray nativeCopy = QFile::encodeName(copy);
        for (int i = 0; i < 1000 && wrong.load() == 0; ++i) {
            QFile::remove(copy);
            struct stat st {};
            savedWrong += !SafeSave::writeFile(copy, {song}) || ::stat(nativeCopy.constData(), &st) != 0 || (st.st_mode & 0777) != 0640;
        }
        stop = true;
        import.join();
        download.join();
        ::umask(oldMask);
        QVERIFY(created.load() > 0);
        QCOMPARE(wrong.load(), 0);
        QCOMPARE(savedWrong, 0);
    }
};

VELMAR_TEST(TestSongRW)
#include "tst_songrw.moc"
