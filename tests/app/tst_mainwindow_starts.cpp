#include "mainwindowrig.h"

#include <csignal>
#include <sched.h>
#include <sys/mount.h>

// A start with a path, a second start of the program, and quitting with
// edits to keep.
class TestMainWindowStarts : public MainWindowRig
{
    Q_OBJECT
private slots:
    // Quitting is a stop too: the edit page's changes are in the song file
    // (only for the channels the song has) and show when it is opened again.
    void editsKeptOverQuit()
    {
        const QString mix = m_songs.filePath("mix.mid");
        TestUtil::runPython("playback/make_midiedit_song.py", {"write", mix, "4"});
        QVERIFY(window()->onStartSongPath(mix, 0));
        editView *page = window()->editor();
        QCOMPARE(page->stripCount(), 3);
        QTest::mouseClick(page->strip(1)->findChild<QPushButton *>("muteButton"), Qt::LeftButton);
        QTest::mouseClick(page->findChild<QPushButton *>("plusButtonKey"), Qt::LeftButton);
        restart();
        const QByteArray mido = TestUtil::runPython("playback/make_midiedit_song.py", {"compare", mix + ".bak", mix});
        QVERIFY2(mido.startsWith("same song\n10\n"), mido);
        QVERIFY(window()->onStartSongPath(mix, 0));
        page = window()->editor();
        QCOMPARE(page->stripCount(), 3);
        QVERIFY(page->strip(1)->findChild<QPushButton *>("muteButton")->isChecked());
        QCOMPARE(page->findChild<QLabel *>("labelKey")->text(), QStringLiteral(" [+1]"));
    }

    // Edits that cannot be written when the user quits (the song's folder
    // is read-only) are told in a box while the window is still open, which
    // offers to try again: left without saving, the song stays as it was
    // and nothing is written beside it; tried again once the folder is
    // writable, the edits are in the song.
    void failedSaveAtQuitIsTold_data()
    {
        QTest::addColumn<bool>("tryAgain");
        QTest::newRow("quit without saving") << false;
        QTest::newRow("try again once the folder is writable") << true;
    }
    void failedSaveAtQuitIsTold()
    {
        QFETCH(bool, tryAgain);
        QTemporaryDir dir;
        const QString folder = dir.filePath("read-only");
        const QString mix = folder + "/mix.mid";
        QVERIFY(QDir().mkpath(folder));
        TestUtil::runPython("playback/make_midiedit_song.py", {"write", mix, "4"});
        const QByteArray before = TestUtil::readFile(mix);
        QVERIFY(window()->onStartSongPath(mix, 0));
        QTest::mouseClick(window()->editor()->strip(1)->findChild<QPushButton *>("muteButton"), Qt::LeftButton);
        using P = QFileDevice;
        const auto readable = P::ReadOwner | P::ExeOwner | P::ReadOther | P::ExeOther;
        QFile::setPermissions(dir.path(), readable | P::WriteOwner);
        QFile::setPermissions(folder, readable);
        if (tryAgain) {
            // Asked while the quit runs as nobody: the cause goes away, as
            // the quit goes on as the owner of the folder.
            m_boxAnswer = [] {
                (void)seteuid(0);
                return QStringLiteral("Try Again");
            };
        }
        // Root writes into any folder: the quit runs as nobody.
        QVERIFY(geteuid() != 0 || seteuid(65534) == 0);
        const bool closed = window()->close();
        QVERIFY(getuid() != 0 || seteuid(0) == 0);
        QFile::setPermissions(folder, readable | P::WriteOwner);
        QVERIFY(closed);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first(), "Changes not saved|The changes to mix.mid could not be written: the song's folder "
                                  "is read-only.");
        QVERIFY(m_windowOpenAtBox);
        m_window.reset();
        if (tryAgain) {
            const QByteArray mido = TestUtil::runPython("playback/make_midiedit_song.py", {"compare", mix + ".bak", mix});
            QVERIFY2(mido.startsWith("same song\n"), mido);
            QVERIFY(TestUtil::readFile(mix) != before);
            return;
        }
        QCOMPARE(TestUtil::readFile(mix), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"mix.mid"});
    }

    // A song its owner made read-only is said so on the edit page as it
    // starts; quitting after editing it asks nothing (trying again could
    // not help) and leaves the song as it was.
    void readOnlySongAtQuit()
    {
        QTemporaryDir dir;
        const QString mix = dir.filePath("mix.mid");
        TestUtil::runPython("playback/make_midiedit_song.py", {"write", mix, "4"});
        using P = QFileDevice;
        QVERIFY(QFile::setPermissions(mix, P::ReadOwner | P::ReadGroup | P::ReadOther));
        const QByteArray before = TestUtil::readFile(mix);
        QVERIFY(window()->onStartSongPath(mix, 0));
        QTest::mouseClick(find<QPushButton>("EditButton"), Qt::LeftButton);
        QLabel *said = find<QLabel>("saveMessage");
        QVERIFY(said->isVisible());
        QCOMPARE(said->text(), "The changes to mix.mid are heard but will not be kept: the song file is read-only.");
        QTest::mouseClick(window()->editor()->strip(1)->findChild<QPushButton *>("muteButton"), Qt::LeftButton);
        QVERIFY(window()->close());
        QCOMPARE(m_boxes, QStringList());
        m_window.reset();
        QCOMPARE(TestUtil::readFile(mix), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"mix.mid"});
    }

    // A path given on the command line that is no song file is told, with
    // why, once the first page is up.
    void commandLine_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why"); // empty: it plays
        QTest::newRow("FIFO") << "fifo" << "not a file: a folder, a device or a pipe";
        QTest::newRow("folder") << "folder" << "not a file: a folder, a device or a pipe";
        QTest::newRow("dangling link") << "link" << "no such file";
        QTest::newRow("a song") << "song" << "";
    }
    void commandLine()
    {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        QTemporaryDir dir;
        const QString path = dir.filePath("given.kar");
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (kind == "link")
            QVERIFY(QFile::link(dir.filePath("gone.kar"), path));
        else
            QVERIFY(QFile::copy(song("a"), path));
        window()->setCommandLineSong(path);
        startUp();
        QCOMPARE(m_boxes.filter(QRegularExpression("^Attention\\|")),
                 why.isEmpty() ? QStringList() : QStringList{"Attention|Cannot play this file\n\n" + path + " (" + why + ")"});
        QCOMPARE(currSong->isLoaded(), why.isEmpty());
    }

    // A second start of the real program on this library, with a song named
    // relative to where it starts: this window, minimized, comes forward
    // and plays the song; the second opens nothing and ends, answered
    // before the song starts (a box the song brings keeps it waiting on
    // nobody). It finds this one without a runtime folder (cron, su), and
    // after a crash left a socket behind. A file that cannot play is said
    // and the song in play goes on.
    void secondStart_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("plain") << "plain";
        QTest::newRow("no runtime folder") << "no runtime folder";
        QTest::newRow("socket left by a crash") << "crash";
        QTest::newRow("missing file during a song") << "missing";
    }
    void secondStart()
    {
        QFETCH(QString, how);
        // This one started from a desktop session, with a runtime folder.
        QTemporaryDir runtime;
        const QByteArray runtimeBefore = qgetenv("XDG_RUNTIME_DIR");
        const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", runtimeBefore); });
        QVERIFY(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        SingleInstance first(m_db->getLibraryFolder());
        QVERIFY(!first.socketNames().isEmpty());
        if (how == "crash") {
            // Bound and never removed, as a killed program leaves it.
            const QByteArray path = QFile::encodeName(first.socketNames().first());
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path, path.constData(), size_t(path.size()) + 1);
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            ::close(fd);
        }
        QCOMPARE(first.claim({}), SingleInstance::Start::First);
        if (how == "crash") {
            // Its place taken back, beside the library.
            QLocalSocket reach;
            reach.connectToServer(first.socketNames().first());
            QVERIFY(reach.waitForConnected(10000));
        }
        QProcess second;
        QSignalSpy ended(&second, &QProcess::finished);
        // Acting on the request waits for the second start's end, as a box
        // would: only an answer given before lets it end with success.
        connect(&first, &SingleInstance::broughtForward, this, [&] {
            if (!ended.isEmpty())
                return;
            QEventLoop box;
            connect(&second, &QProcess::finished, &box, &QEventLoop::quit);
            QTimer::singleShot(60000, &box, &QEventLoop::quit);
            box.exec();
        });
        connect(&first, &SingleInstance::broughtForward, window(), &MainWindow::bringForward);
        startUp();
        // Another program's window in front, this one minimized (asked
        // again: a box of the start-up's update check may take the focus
        // meanwhile and give it to nobody).
        QWidget other;
        other.show();
        QTRY_VERIFY((other.activateWindow(), QApplication::activeWindow() == &other));
        window()->showMinimized();
        QTRY_VERIFY(window()->isMinimized());
        if (how == "missing") {
            // From a playlist with Auto Play (copies of its own in the
            // library): the song after it waits, loaded.
            for (const char *name : {"song", "b"})
                QFile::copy(song(name), song(name).replace(".kar", "-later.kar"));
            QList<int> ids;
            const int list = makePlaylist("Later", {song("song-later"), song("b-later")}, ids);
            QVERIFY(list >= 0);
            QVERIFY(window()->startSongPlaylist(info(song("song-later")), 0, list, "Later", 0));
            QTRY_COMPARE(state(), SoundEngine::ePsPlaying);
            QCOMPARE(nextSong->path(), song("b-later"));
        }
        second.setWorkingDirectory(m_songs.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (how == "no runtime folder")
            environment.remove("XDG_RUNTIME_DIR");
        second.setProcessEnvironment(environment);
        m_boxes.clear();
        second.start(TestUtil::binDir() + "/VelmarPC", {how == "missing" ? "gone.kar" : "b.kar"});
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 60000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        const QString said = QString::fromLocal8Bit(second.readAllStandardError());
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(!said.contains("Db "), qPrintable(said));
        QVERIFY(!window()->isMinimized());
        QTRY_COMPARE(QApplication::activeWindow(), window());
        if (how == "missing") {
            QTRY_COMPARE(m_boxes, QStringList{"Attention|Cannot play this file\n\n" + m_songs.filePath("gone.kar")
                                              + " (no such file)"});
            QCOMPARE(currSong->path(), song("song-later"));
            QCOMPARE(state(), SoundEngine::ePsPlaying);
            // Still heard: the song goes on from where it was.
            QSignalSpy heard(window()->engine(), &SoundEngine::mSecOfPlaying);
            QTRY_VERIFY_WITH_TIMEOUT(heard.size() > 5, 30000);
            QVERIFY(heard.last().first().toUInt() > heard.first().first().toUInt());
            // And Auto Play goes on after it with the playlist's next song.
            QCOMPARE(nextSong->path(), song("b-later"));
            window()->engine()->jumpTo(19);
            QTRY_COMPARE_WITH_TIMEOUT(currSong->path(), song("b-later"), 30000);
            QTRY_COMPARE(state(), SoundEngine::ePsPlaying);
            return;
        }
        QTRY_VERIFY(currSong->isLoaded());
        QCOMPARE(currSong->path(), song("b"));
        QCOMPARE(state(), SoundEngine::ePsPlaying);
    }

    // A second start that gave up on a program that did not answer (hung,
    // stopped) says so in a window of its own, and on the terminal, and
    // leaves nothing for it to play once it goes on; a later start is taken
    // as usual.
    void secondStartGivenUp()
    {
        SingleInstance first(m_db->getLibraryFolder());
        QCOMPARE(first.claim({}), SingleInstance::Start::First);
        QStringList asked;
        connect(&first, &SingleInstance::broughtForward, this, [&](const QString &song) { asked << song; });
        // Unanswered: this event loop does not run until the start ends.
        QProcess gaveUp;
        gaveUp.setWorkingDirectory(m_songs.path());
        const QString dump = m_songs.filePath("given-up-widgets.txt");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VELMAR_WIDGET_DUMP", dump);
        gaveUp.setProcessEnvironment(environment);
        gaveUp.setReadChannel(QProcess::StandardError);
        gaveUp.start(TestUtil::binDir() + "/VelmarPC", {"a.kar"});
        QByteArray said;
        while (!said.contains("Velmar PC is already running.") && gaveUp.waitForReadyRead(60000))
            said += gaveUp.readAllStandardError();
        QVERIFY2(said.contains("Velmar PC is already running."), said.constData());
        // The window says why, naming the song, until it is closed.
        QString shown;
        for (int i = 0; i < 600 && !shown.contains("does not answer"); ++i) {
            ::kill(pid_t(gaveUp.processId()), SIGUSR1);
            QThread::msleep(100);
            QFile list(dump);
            shown = list.open(QIODevice::ReadOnly) ? QString::fromUtf8(list.readAll()) : QString();
        }
        QVERIFY2(shown.contains("does not answer") && shown.contains(song("a") + " was not played"),
                 qPrintable(shown));
        QCOMPARE(gaveUp.state(), QProcess::Running);
        ::kill(pid_t(gaveUp.processId()), SIGTERM);
        QVERIFY(gaveUp.waitForFinished(60000));
        QProcess later;
        QSignalSpy ended(&later, &QProcess::finished);
        later.setWorkingDirectory(m_songs.path());
        later.start(TestUtil::binDir() + "/VelmarPC", {"b.kar"});
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 60000);
        QCOMPARE(later.exitCode(), 0);
        // Connections are served in order: the one given up came first.
        QTRY_COMPARE(asked, QStringList{song("b")});
    }

    // The folder under /tmp where the hand-over lives for a library whose
    // own folder takes no socket (here a path too long for one), taken
    // first by another user: refused, and the hand-over is made through a
    // folder of the user's own that nobody could take beforehand; another
    // user's program there is not spoken to. In a mount namespace of the
    // test's own, so that no other program of the machine sees the folder
    // taken.
    void secondStartFolderTaken_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("another user's folder") << 0755;
        QTest::newRow("another user's folder open to all") << 0777;
    }
    void secondStartFolderTaken()
    {
        QFETCH(int, mode);
        if (::geteuid() != 0)
            QSKIP("only root may give a folder to another user and mount it");
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            QSKIP("no mount namespace can be made here");
        const QString fixed = "/tmp/VelmarPC-" + QString::number(::getuid());
        // What the program makes itself when missing.
        ::mkdir(QFile::encodeName(fixed).constData(), 0700);
        QTemporaryDir taken;
        QVERIFY(::chown(QFile::encodeName(taken.path()).constData(), 65534, 65534) == 0
                && ::chmod(QFile::encodeName(taken.path()).constData(), mode_t(mode)) == 0);
        QCOMPARE(::mount(QFile::encodeName(taken.path()).constData(), QFile::encodeName(fixed).constData(), nullptr,
                         MS_BIND, nullptr),
                 0);
        const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(fixed).constData(), MNT_DETACH); });
        QVERIFY(!SingleInstance::isOwnFolder(fixed));
        QTemporaryDir longHome;
        const QString home = longHome.filePath(QString(90, 'h'));
        SingleInstance first(home + "/Documents/VelmarPC/");
        QCOMPARE(first.claim({}), SingleInstance::Start::First);
        // Other programs of the user may listen in such folders too.
        const QStringList names = first.socketNames();
        QVERIFY(!names.isEmpty());
        for (const QString &name : names)
            QVERIFY2(name.startsWith(fixed + "-") && SingleInstance::isOwnFolder(QFileInfo(name).path()),
                     qPrintable(name));
        QStringList asked;
        connect(&first, &SingleInstance::broughtForward, this, [&](const QString &song) { asked << song; });
        QProcess later;
        QSignalSpy ended(&later, &QProcess::finished);
        later.setWorkingDirectory(m_songs.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home);
        environment.remove("XDG_RUNTIME_DIR");
        later.setProcessEnvironment(environment);
        later.start(TestUtil::binDir() + "/VelmarPC", {"b.kar"});
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 60000);
        QCOMPARE(later.exitCode(), 0);
        QCOMPARE(asked, QStringList{song("b")});
    }

    // A library folder others may write, where another user's program put
    // its own socket in place of the player's and answers any request: a
    // later start hands it nothing (it would take the song and silence the
    // player), and says that the player did not answer.
    void secondStartNotToAnotherUser()
    {
        if (::geteuid() != 0)
            QSKIP("only root may run a program as another user");
        QTemporaryDir open;
        QVERIFY(QFile::setPermissions(open.path(), QFile::Permissions(0x7755)));
        const QString library = open.filePath("home/Documents/VelmarPC/");
        QVERIFY(QDir().mkpath(library));
        QCOMPARE(::chmod(QFile::encodeName(library).constData(), 0777), 0);
        SingleInstance first(library);
        QCOMPARE(first.claim({}), SingleInstance::Start::First);
        const QString socket = first.socketNames().first();
        QCOMPARE(socket, library + ".VelmarPC.socket");
        const QString heard = open.filePath("heard");
        QProcess other;
        other.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c",
                                "import os, socket, sys\n"
                                "os.unlink(sys.argv[1])\n"
                                "s = socket.socket(socket.AF_UNIX)\n"
                                "s.bind(sys.argv[1]); os.chmod(sys.argv[1], 0o777); s.listen()\n"
                                "print('listening', flush=True)\n"
                                "while True:\n"
                                "    c, _ = s.accept()\n"
                                "    open(sys.argv[2], 'ab').write(c.recv(4096))\n"
                                "    c.sendall(b'raised\\n')\n",
                                socket, heard});
        QVERIFY(other.waitForReadyRead(20000) && other.readAllStandardOutput().startsWith("listening"));
        QCOMPARE(QFileInfo(socket).ownerId(), 65534u);
        QProcess later;
        later.setWorkingDirectory(m_songs.path());
        later.setReadChannel(QProcess::StandardError);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", open.filePath("home"));
        later.setProcessEnvironment(environment);
        later.start(TestUtil::binDir() + "/VelmarPC", {"b.kar"});
        QByteArray said;
        while (!said.contains("Velmar PC is already running.") && later.waitForReadyRead(60000))
            said += later.readAllStandardError();
        QVERIFY2(said.contains("Another user's program listens at " + socket.toUtf8()), said.constData());
        ::kill(pid_t(later.processId()), SIGTERM);
        QVERIFY(later.waitForFinished(60000));
        other.kill();
        other.waitForFinished();
        QVERIFY(!QFileInfo::exists(heard));
    }

    // Where the user's socket may lie: a folder the user made, no link to
    // one, closed to others.
    void ownFolderRule()
    {
        QTemporaryDir dir;
        const auto folder = [&dir](const QString &name, int mode) {
            const QString path = dir.filePath(name);
            ::mkdir(QFile::encodeName(path).constData(), 0700);
            ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
            return path;
        };
        QVERIFY(SingleInstance::isOwnFolder(folder("own", 0700)));
        QVERIFY(!SingleInstance::isOwnFolder(folder("open", 0755)));
        QVERIFY(!SingleInstance::isOwnFolder(folder("writable", 0703)));
        QVERIFY(QFile::link(dir.filePath("own"), dir.filePath("link")));
        QVERIFY(!SingleInstance::isOwnFolder(dir.filePath("link")));
        QVERIFY(TestUtil::writeFile(dir.filePath("file"), "x"));
        QVERIFY(!SingleInstance::isOwnFolder(dir.filePath("file")));
        QVERIFY(!SingleInstance::isOwnFolder(dir.filePath("missing")));
        if (::geteuid() == 0) {
            const QString other = folder("other", 0700);
            QCOMPARE(::chown(QFile::encodeName(other).constData(), 65534, 65534), 0);
            QVERIFY(!SingleInstance::isOwnFolder(other));
        }
    }

    // Later starts naming files that do not play as sound (videos made by
    // ffmpeg, and a song's bytes under a video's name) while a song plays:
    // each start ends at once, the song plays on, and the files are said in
    // one box together, not a box each.
    void secondStartsOfFilesThatDoNotPlay()
    {
        SingleInstance first(m_db->getLibraryFolder());
        QCOMPARE(first.claim({}), SingleInstance::Start::First);
        connect(&first, &SingleInstance::broughtForward, window(), &MainWindow::bringForward);
        startUp();
        QVERIFY(window()->onStartSongPath(song("song"), 0));
        QTRY_COMPARE(state(), SoundEngine::ePsPlaying);
        for (const char *name : {"clip.mp4", "clip.mkv"})
            QCOMPARE(TestUtil::runProgram("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                                     "testsrc=duration=1:size=64x48:rate=10", "-f", "lavfi", "-i",
                                                     "sine=duration=1", "-shortest", m_songs.filePath(name)}),
                     0);
        QVERIFY(QFile::copy(song("a"), m_songs.filePath("clip.mov")));
        const QStringList files{"clip.mp4", "clip.mov", "clip.mkv"};
        // All at once: the box the first brings stays open until every
        // start has ended (their ends come while it is shown).
        std::vector<std::unique_ptr<QProcess>> starts;
        int ended = 0;
        m_boxHeld = [&ended, &files] { return ended < files.size(); };
        const auto release = qScopeGuard([this] { m_boxHeld = nullptr; });
        m_boxes.clear();
        for (const QString &file : files) {
            auto &later = starts.emplace_back(std::make_unique<QProcess>());
            connect(later.get(), &QProcess::finished, this, [&ended] { ++ended; });
            later->setWorkingDirectory(m_songs.path());
            later->start(TestUtil::binDir() + "/VelmarPC", {file});
        }
        QTRY_COMPARE_WITH_TIMEOUT(ended, int(files.size()), 60000);
        for (const auto &later : starts)
            QCOMPARE(later->exitCode(), 0);
        QTRY_COMPARE(m_boxes.size(), 1);
        QVERIFY2(m_boxes.first().startsWith("Attention|"), qPrintable(m_boxes.first()));
        QStringList said = m_boxes.first().mid(int(strlen("Attention|"))).split("\n\nCannot play this file");
        said.first().remove(0, int(strlen("Cannot play this file")));
        said.sort();
        QStringList expected;
        for (const QString &file : files)
            expected << "\n\n" + m_songs.filePath(file) + " (not a song file the program plays)";
        expected.sort();
        QCOMPARE(said, expected);
        QCOMPARE(currSong->path(), song("song"));
        QCOMPARE(state(), SoundEngine::ePsPlaying);
        QSignalSpy heard(window()->engine(), &SoundEngine::mSecOfPlaying);
        QTRY_VERIFY_WITH_TIMEOUT(heard.size() > 5, 30000);
        QVERIFY(heard.last().first().toUInt() > heard.first().first().toUInt());
    }
};

VELMAR_TEST(TestMainWindowStarts)
#include "tst_mainwindow_starts.moc"
