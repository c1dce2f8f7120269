// The editor factory, the one-time backup and its restore. Saves that fail
// are seen where the user meets them, on the edit page.
#include "SafeSave.h"
#include "SongRW.h"
#include "SongSettings.h"
#include "songfixtures.h"
#include "testutil.h"

#include <QDir>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <filesystem>
#include <grp.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// "mode uid:gid" of a file, e.g. "0664 1000:100".
QString described(const QByteArray &native)
{
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return QStringLiteral("missing");
    return QStringLiteral("%1 %2:%3").arg(st.st_mode & 07777, 4, 8, QLatin1Char('0')).arg(st.st_uid).arg(st.st_gid);
}

} // namespace

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
        QCOMPARE(SongRW::restorePlan(path), SongRW::Restore::Nothing);
        QVERIFY(!SongRW::restoreBackup(path));
        QCOMPARE(TestUtil::readFile(path), original);
        for (int key : {2, 3}) {
            std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
            QVERIFY(editor);
            editor->setDeltaKey(key);
            editor->setTrackParameter(0, 0, MidiTrackParam{0, 0, 0, false, -10 * key});
            QVERIFY(editor->saveToFile(path));
            QCOMPARE(TestUtil::readFile(path + QLatin1String(".bak")), original);
        }
        QVERIFY(TestUtil::readFile(path) != original);
        QCOMPARE(SongRW::restorePlan(path), SongRW::Restore::Whole);
        QVERIFY(SongRW::restoreBackup(path));
        QCOMPARE(TestUtil::readFile(path), original);
        QVERIFY(!QFile::exists(path + QLatin1String(".bak")));
    }

    // Restore undoes the program's own saves and nothing else: after a
    // track another program added, only the original settings go back and
    // the track stays; a song made read-only since is not written at all;
    // through a symlink the song it names is restored and the link stays.
    void restoreUndoesOnlyTheProgramsSaves_data()
    {
        QTest::addColumn<QString>("since");
        QTest::addColumn<int>("plan");
        QTest::newRow("saved only") << "" << int(SongRW::Restore::Whole);
        QTest::newRow("a track added by mido") << "track" << int(SongRW::Restore::SettingsOnly);
        QTest::newRow("made read-only") << "0444" << int(SongRW::Restore::Refused);
        QTest::newRow("through a symlink") << "link" << int(SongRW::Restore::Whole);
    }
    void restoreUndoesOnlyTheProgramsSaves()
    {
        QFETCH(QString, since);
        QFETCH(int, plan);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("real")));
        const QString real = SongFixtures::makeMidi(dir.filePath(QStringLiteral("real")), QStringLiteral("song.mid"));
        // The song came with settings of its own: key +1.
        std::unique_ptr<SongRW> store(SongRW::createFromFile(real, false));
        store->setDeltaKey(1);
        QVERIFY(store->saveToFile(real));
        const QByteArray original = TestUtil::readFile(real);
        const QString path = since == QLatin1String("link") ? dir.filePath(QStringLiteral("link.mid")) : real;
        QVERIFY(path == real || QFile::link(real, path));

        // Channel 4 never sets its volume: the save adds a CC7 at the head.
        std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
        editor->setDeltaKey(4);
        editor->setTrackParameter(3, 0, MidiTrackParam{0, 0, 0, false, -20});
        QVERIFY(editor->saveToFile(path));
        QVERIFY(TestUtil::readFile(path).contains(QByteArray::fromHex("00b30764")));
        editor.reset();
        if (since == QLatin1String("track"))
            TestUtil::runPython(QStringLiteral("songfiles/song_tool.py"), {"add-track", path, path});
        if (since == QLatin1String("0444"))
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        const QByteArray before = TestUtil::readFile(path);
        const QString copy = dir.filePath(QStringLiteral("before.mid"));
        QVERIFY(TestUtil::writeFile(copy, before));

        QString why;
        QCOMPARE(int(SongRW::restorePlan(path, &why)), plan);
        const bool refused = plan == int(SongRW::Restore::Refused);
        QCOMPARE(SongRW::restoreBackup(path, &why), !refused);
        QCOMPARE(QFile::exists(path + QLatin1String(".bak")), refused);
        if (refused) {
            QCOMPARE(why, QStringLiteral("the song file is read-only"));
            QCOMPARE(TestUtil::readFile(path), before);
            return;
        }
        QCOMPARE(QFileInfo(path).isSymLink(), since == QLatin1String("link"));
        if (plan == int(SongRW::Restore::Whole)) {
            QCOMPARE(TestUtil::readFile(real), original);
            return;
        }
        // The track stays, every note as mido reads it; the settings are
        // the original's, as the player reads them.
        const QJsonObject peer = SongFixtures::mido(copy, path);
        QCOMPARE(peer[QLatin1String("tracks")].toInt(), 5);
        QVERIFY(peer[QLatin1String("sameNotes")].toBool());
        const QByteArray restored = TestUtil::readFile(path);
        Db db{};
        initDBSTRUCT(&db);
        db.transpose = 99;
        QVERIFY(loadSongSettings_MID(reinterpret_cast<const uint8_t *>(restored.constData()), uint32_t(restored.size()), &db));
        QCOMPARE(QList<int>({db.transpose, db.layers[3][0].volume}), QList<int>({1, 0}));
        QCOMPARE(SongFixtures::settingsRecords(path), QStringLiteral(R"([{"3f": 1}, {}, {}, {}, {}])"));
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
        const QString song = described(native), backup = described(native + ".bak");
        QCOMPARE(song.left(4), QStringLiteral("%1").arg(mode, 4, 8, QLatin1Char('0')));
        QCOMPARE(backup, song);
        if (otherOwner && root)
            QVERIFY(backup.endsWith(QLatin1String(" 65534:65534")));
    }

    // A song of another member of a shared group: the user's saves and
    // Restore keep its owner, group and mode (only root may give a file
    // away, so the song is written in place), its backup the group and mode,
    // and nothing is left beside it. Root becomes the user for the saves.
    void sharedSongKeepsItsOwner_data()
    {
        QTest::addColumn<int>("folderMode");
        QTest::newRow("group-writable folder") << 0775;
        QTest::newRow("setgid folder") << 02775;
    }
    void sharedSongKeepsItsOwner()
    {
        QFETCH(int, folderMode);
        if (::geteuid() != 0)
            QSKIP("becoming another user needs root");
        constexpr uid_t owner = 4241, user = 4243;
        constexpr gid_t group = 4242;
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("shared")));
        const QByteArray folder = QFile::encodeName(dir.filePath(QStringLiteral("shared")));
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
        QCOMPARE(::chown(folder.constData(), owner, group), 0);
        QCOMPARE(::chmod(folder.constData(), mode_t(folderMode)), 0);
        const QString path = SongFixtures::makeMidi(QFile::decodeName(folder), QStringLiteral("song.mid"));
        const QByteArray native = QFile::encodeName(path);
        QCOMPARE(::chown(native.constData(), owner, group), 0);
        QCOMPARE(::chmod(native.constData(), 0664), 0);
        const QByteArray original = TestUtil::readFile(path);

        std::vector<gid_t> rootGroups(size_t(std::max(0, ::getgroups(0, nullptr))));
        QVERIFY(::getgroups(int(rootGroups.size()), rootGroups.data()) >= 0);
        const gid_t groups[] = {group};
        QCOMPARE(::setgroups(1, groups), 0);
        QCOMPARE(::setegid(user), 0);
        QCOMPARE(::seteuid(user), 0);
        QStringList failed;
        for (int key : {2, 3}) {
            std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
            if (!editor)
                failed << QStringLiteral("open");
            else if (editor->setDeltaKey(key); !editor->saveToFile(path))
                failed << editor->errorString();
        }
        const QString saved = described(native), backup = described(native + ".bak");
        const int keyAfterSaves = std::unique_ptr<SongRW>(SongRW::createFromFile(path, false))->getDeltaKey();
        QString why;
        if (!SongRW::restoreBackup(path, &why))
            failed << why;
        (void)::seteuid(0);
        (void)::setegid(0);
        (void)::setgroups(rootGroups.size(), rootGroups.data());
        QCOMPARE(failed, QStringList());

        QCOMPARE(keyAfterSaves, 3);
        QCOMPARE(saved, QStringLiteral("0664 4241:4242"));
        QCOMPARE(backup, QStringLiteral("0664 4243:4242"));
        QCOMPARE(described(native), QStringLiteral("0664 4241:4242"));
        QCOMPARE(TestUtil::readFile(path), original);
        QCOMPARE(QDir(QFile::decodeName(folder)).entryList(QDir::Files | QDir::Hidden), QStringList{"song.mid"});
    }

    // A name of 244 bytes of UTF-8, and one in Latin-1 that Qt reads with
    // U+FFFD for its accented letter: each is opened, saved twice, backed up
    // beside it under its own name plus ".bak" and restored, and nothing is
    // left in the folder.
    void namesOfEveryKind_data()
    {
        QTest::addColumn<QByteArray>("name");
        QByteArray utf8;
        for (int i = 0; i < 120; ++i)
            utf8 += "\xc3\xa9";
        QTest::newRow("244 bytes of UTF-8") << utf8 + ".mid";
        QTest::newRow("Latin-1") << QByteArray("Caf\xe9 del mar.mid");
    }
    void namesOfEveryKind()
    {
        QFETCH(QByteArray, name);
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        const QByteArray native = folder + '/' + name;
        const QString made = SongFixtures::makeMidi(dir.path(), QStringLiteral("plain.mid"));
        QCOMPARE(::rename(QFile::encodeName(made).constData(), native.constData()), 0);
        const QString path = QFile::decodeName(native);
        QCOMPARE(path.contains(QChar::ReplacementCharacter), !name.startsWith('\xc3'));
        QByteArray before, after;
        QVERIFY(SafeSave::readFile(path, 1 << 20, before));
        for (int key : {2, 3}) {
            QString why;
            std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true, &why));
            QVERIFY2(editor, qPrintable(why));
            editor->setDeltaKey(key);
            QVERIFY2(editor->saveToFile(path), qPrintable(editor->errorString()));
        }
        QCOMPARE(std::unique_ptr<SongRW>(SongRW::createFromFile(path, false))->getDeltaKey(), 3);
        QCOMPARE(::access(QByteArray(native + ".bak").constData(), F_OK), 0);
        QString why;
        QVERIFY2(SongRW::restoreBackup(path, &why), qPrintable(why));
        QVERIFY(SafeSave::readFile(path, 1 << 20, after));
        QCOMPARE(after, before);
        QList<QByteArray> left;
        for (const auto &e : std::filesystem::directory_iterator(folder.constData()))
            left << QByteArray::fromStdString(e.path().filename().native());
        QCOMPARE(left, QList<QByteArray>{name});
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
