#include "DatabaseHelper.h"
#include "fileCopyThread.h"
#include "indexDriveThread.h"
#include "SystemMounts.h"
#include "testutil.h"

#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

namespace {

// A small real MIDI song, and an MP3 made by ffmpeg once.
const QByteArray kMidi = QByteArray::fromHex("4d546864000000060000000101e04d54726b00000013"
                                             "00ff0304546f6e6500ff510307a12000ff2f00");
QByteArray mp3Bytes;

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

// Stands in for the main window and the library view.
class Window : public QObject
{
    Q_OBJECT
public:
    QStringList imported;
    QStringList measured; // "name: BPM, seconds"
    QList<QStringList> done; // refused or not copied ("path (why)"), already present, per list
    QHash<QString, SongRefusal::Kind> refusedAs; // by file name
    int refreshes = 0, indexed = 0;
public slots:
    void onSongImported(SongInfo s, QString path)
    {
        imported << QString("%1:%2:%3").arg(QFileInfo(path).fileName(), s.format).arg(s.isFromSub);
        measured << QString("%1: %2 BPM, %3 s").arg(QFileInfo(path).fileName()).arg(s.bpm).arg(s.length);
    }
    void importingDone(ImportReport r)
    {
        QStringList failed;
        for (const ImportReport::Refused &f : r.refused) {
            failed << f.path;
            refusedAs.insert(QFileInfo(f.path).fileName(), f.why.kind);
        }
        for (const ImportReport::FailedCopy &f : r.failedCopies)
            failed << f.path + " (" + f.cause + ")";
        done << failed << r.alreadyPresent;
    }
    void refreshSongView() { ++refreshes; }
    void hideIndexingAnim() { ++indexed; }

public:
    // Hears the thread as the main window or the library view does.
    void listen(fileCopyThread *thread)
    {
        connect(thread, &fileCopyThread::songImported, this, &Window::onSongImported);
        connect(thread, &fileCopyThread::endImpoting, this, &Window::importingDone);
    }
    void listen(indexDriveThread *thread)
    {
        connect(thread, &indexDriveThread::indexingDone, this, &Window::hideIndexingAnim);
        connect(thread, &indexDriveThread::fileAdded, this, &Window::refreshSongView);
    }
};

class TestLibraryThreads : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QString src, dest;
    QStringList badMp3; // MP3s the loader refuses

    QUrl put(const QString &name, const QByteArray &data)
    {
        TestUtil::writeFile(src + name, data);
        return QUrl::fromLocalFile(src + name);
    }

private slots:
    void initTestCase()
    {
        const QString mp3 = tmp.path() + "/s.mp3";
        QCOMPARE(TestUtil::runProgram("ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i",
                                                 "anullsrc=r=44100:cl=mono", "-t", "0.3", "-metadata",
                                                 "title=Sun", "-c:a", "libmp3lame", mp3}), 0);
        mp3Bytes = TestUtil::readFile(mp3);
        const QString wav = tmp.path() + "/tone.wav";
        QCOMPARE(TestUtil::runProgram("sox", {"-n", "-r", "44100", "-c", "2", wav, "synth", "1", "sine", "440"}), 0);
        for (const QString &name : QString(TestUtil::runPython("playback/make_bad_mp3.py", {wav, tmp.path() + "/bad"}))
                                       .split('\n', Qt::SkipEmptyParts))
            badMp3 << tmp.path() + "/bad/" + name;
    }
    void init()
    {
        src = tmp.path() + "/src/";
        dest = tmp.path() + "/VelmarPC/";
        QDir(src).removeRecursively();
        QDir(dest).removeRecursively();
        QDir().mkpath(src);
        QDir().mkpath(dest);
    }

    // Every song arrives in the order given, under its own name, an MP3 with
    // its CD+G; refused files (also MP3s the loader would refuse) are listed
    // at the end; nothing existing is replaced; a companion that is no
    // regular file or too large stays behind, without stalling the import; a
    // list given meanwhile follows.
    void importsAFolder()
    {
        const struct {
            const char *name, *kind; // m: MIDI, 3: MP3, c: MP3 with its CD+G, d: MIDI beside a CD+G,
                                     // x: unreadable, h: already in the song folder, p: MP3 beside a
                                     // FIFO, z: beside a link to /dev/zero, s: beside a 5 GiB sparse CD+G
        } files[] = {{"a.mid", "m"},  {"B.MP3", "3"},     {"c.kar", "m"},   {"100% Love #1.mp3", "c"},
                     {"e.mid", "d"},  {"notes.txt", "x"}, {"bad.mid", "x"}, {"here.mid", "h"},
                     {"f.midi", "m"}, {"g h.mid", "m"},   {"p.mp3", "p"},   {"z.mp3", "z"}, {"s.mp3", "s"}};
        Window window;
        QList<QUrl> urls;
        QStringList expected, copied, unreadable, present;
        for (const auto &f : files) {
            const QString name = f.name, base = name.section('.', 0, -2), kind = f.kind;
            const bool mp3 = QString("3cpzs").contains(kind);
            urls << put(name, kind == "x" ? QByteArray("not a song, just text ") : mp3 ? mp3Bytes : kMidi);
            if (kind == "c" || kind == "d")
                TestUtil::writeFile(src + base + ".cdg", QByteArray(48, kind[0].toLatin1()));
            else if (kind == "p")
                QCOMPARE(::mkfifo(QFile::encodeName(src + base + ".cdg").constData(), 0644), 0);
            else if (kind == "z")
                QVERIFY(QFile::link("/dev/zero", src + base + ".cdg"));
            else if (kind == "s")
                QVERIFY(TestUtil::writeFile(src + base + ".cdg", {}) && QFile(src + base + ".cdg").resize(qint64(5) << 30));
            if (kind == "x") {
                unreadable << src + name;
            } else if (kind == "h") {
                TestUtil::writeFile(dest + name, "already here");
                present << src + name;
            } else {
                expected << name + (mp3 ? ":MP3:1" : ":MIDI:1");
                copied << name << (kind == "c" ? QStringList{base + ".cdg"} : QStringList());
            }
        }
        for (const QString &bad : badMp3) {
            urls << put(QFileInfo(bad).fileName(), TestUtil::readFile(bad));
            unreadable << urls.last().toLocalFile();
        }
        TestUtil::writeFile(dest + "inside.mid", kMidi);
        urls << QUrl::fromLocalFile(dest + "inside.mid") << urls.first();
        expected << "inside.mid:MIDI:1";

        fileCopyThread thread(&window, dest);
        window.listen(&thread);
        thread.setFromSub(true);
        thread.setFileList(urls);
        thread.start();
        thread.setFileList({put("late.kar", kMidi)});
        thread.start();
        QTRY_COMPARE_WITH_TIMEOUT(window.done.size(), 4, 120000);
        QCOMPARE(window.imported, expected + QStringList{"late.kar:MIDI:0"});
        QCOMPARE(window.done, QList<QStringList>({unreadable, present + QStringList{urls.first().toLocalFile()}, {}, {}}));
        // Each with why: the reader's refusals differ from the decoder's.
        QCOMPARE(window.refusedAs.value("notes.txt"), SongRefusal::NotASong);
        for (const QString &bad : badMp3)
            QCOMPARE(window.refusedAs.value(QFileInfo(bad).fileName()), SongRefusal::BadAudio);
        for (const QString &name : copied)
            QCOMPARE(TestUtil::readFile(dest + name), TestUtil::readFile(src + name));
        QCOMPARE(TestUtil::readFile(dest + "here.mid"), QByteArray("already here"));
        QCOMPARE(filesIn(dest).size(), copied.size() + 3);
    }

    // A game's song without any tempo event is listed at the 120 BPM it
    // plays at, and with the length it plays for at that tempo.
    void songWithoutTempo()
    {
        TestUtil::runPython("common/real_songs.py", {"notempo", src + "game.mid"});
        Window window;
        fileCopyThread thread(&window, dest);
        window.listen(&thread);
        thread.setFileList({QUrl::fromLocalFile(src + "game.mid")});
        thread.start();
        QTRY_COMPARE_WITH_TIMEOUT(window.done.size(), 2, 60000);
        QCOMPARE(window.measured, QStringList{"game.mid: 120 BPM, 65 s"});
    }

    // A disk that fills up: the songs that fit are imported, the others are
    // listed with the reason, not as duplicates, and leave nothing behind.
    void fullDiskListsTheFailedCopies()
    {
        Window window;
        QList<QUrl> urls;
        QStringList expected, failed;
        for (int i = 0; i < 6; ++i) {
            // Two songs carry 64 KiB more than the disk takes in one file.
            const bool big = i % 3 == 2;
            urls << put(QString("s%1.mp3").arg(i), mp3Bytes + QByteArray(big ? 65536 : 0, '\0'));
            if (big)
                failed << urls.last().toLocalFile() + " (File too large)";
            else
                expected << urls.last().fileName() + ":MP3:0";
        }
        fileCopyThread thread(&window, dest);
        window.listen(&thread);
        thread.setFileList(urls);
        QVERIFY(TestUtil::onFullDisk(mp3Bytes.size() + 4096, [&] {
            thread.start();
            QTRY_COMPARE_WITH_TIMEOUT(window.done.size(), 2, 60000);
        }));
        QCOMPARE(window.imported, expected);
        QCOMPARE(window.done, QList<QStringList>({failed, {}}));
        QCOMPARE(filesIn(dest).size(), expected.size());
    }

    // An import stopped by the program's exit leaves only whole songs.
    void stoppingAnImportLeavesNoPartialFile()
    {
        Window window;
        QList<QUrl> urls;
        for (int i = 0; i < 100; ++i)
            urls << put(QString("s%1.mid").arg(i), kMidi);
        urls.insert(10, put("big.mp3", mp3Bytes));
        QVERIFY(QFile(src + "big.mp3").resize(qint64(200) << 20)); // sparse: quick to make, slow to copy
        {
            fileCopyThread thread(&window, dest);
            window.listen(&thread);
            thread.setFileList(urls);
            thread.start();
            QTRY_VERIFY_WITH_TIMEOUT(window.imported.size() >= 10, 60000); // now copying big.mp3
        }
        QCoreApplication::sendPostedEvents();
        QCOMPARE(filesIn(dest).size(), window.imported.size());
        for (const QString &name : filesIn(dest))
            QCOMPARE(QFileInfo(dest + name).size(), QFileInfo(src + name).size());
    }

    // The scan finds what find finds: links to folders are not followed (a
    // loop is there), the system's own folders are skipped by their whole
    // name (a song or folder that merely holds "program" or "windows" is
    // not), and so are the system's own file systems of a mount table.
    void scanMatchesFind()
    {
        const char *names[] = {"a.mid", "b.MID", "c.Kar", "d.mp3", "e.mf3", "f.MF4", "g.mf5", "h.txt", "i.midi", "j.wav"};
        for (int f = 0; f < 100; ++f) {
            const QString dir = src + QString("d%1/sub%2/").arg(f / 10).arg(f % 10);
            QDir().mkpath(dir);
            for (int i = 0; i < 100; ++i)
                TestUtil::writeFile(dir + QString("%1 %2").arg(i).arg(names[i % 10]), {});
        }
        for (const char *name : {"d1/Programmi/x.mid", "d2/WINDOWS/y.kar", "d3/program.mid", "d8/Programmed Love.mp3",
                                 "d8/Open Windows.mid", "d9/Windows Hits/w.mid", "d4/Program Files/z.mid",
                                 "d7/program files (x86)/v.mp3", "d2/ProgramData/u.kar"}) {
            QDir().mkpath(QFileInfo(src + name).path());
            TestUtil::writeFile(src + name, {});
        }
        QVERIFY(QFile::link(src + "d0", src + "d0/sub0/loop"));
        QVERIFY(QFile::setPermissions(src + "d4/sub4", {}));
        const QString mounts = tmp.filePath("mounts");
        const QString table = "proc %1d5/sub5 proc 0\ntmpfs %1d6 tmpfs 0\ncgroup2 %1d7/sub\\0407 cgroup2";
        QVERIFY(TestUtil::writeFile(mounts, table.arg(src).toUtf8()) && QDir().rename(src + "d7/sub7", src + "d7/sub 7"));

        DatabaseHelper db;
        QVERIFY(db.initDb() && db.connect());
        Window view;
        auto found = [&](const QString &root) {
            QByteArray out;
            TestUtil::runProgram("sh", {"-c", "find " + root + " -type f \\( -iname '*.mid' -o -iname "
                                 "'*.mp3' -o -iname '*.kar' -o -iname '*.mf[345]' \\) -not -ipath '*/windows/*' "
                                 "-not -ipath '*/program files/*' -not -ipath '*/program files (x86)/*' "
                                 "-not -ipath '*/programdata/*' -not -path '" + src + "d5/sub5/*' "
                                 "-not -path '" + src + "d7/sub 7/*' | LC_ALL=C sort"}, &out);
            return QString::fromUtf8(out).trimmed().split('\n');
        };
        auto indexed = [&] {
            QSqlQuery q(db.driveIdxDb);
            q.exec("SELECT path || file FROM indexes ORDER BY 1");
            QStringList rows;
            while (q.next())
                rows << q.value(0).toString();
            return rows;
        };
        auto thread = std::make_unique<indexDriveThread>(&view, &db);
        view.listen(thread.get());
        thread->setMountTable(mounts);
        thread->setPath(src.chopped(1));
        QTRY_COMPARE_WITH_TIMEOUT(view.indexed, 1, 120000);
        QCOMPARE(indexed(), found(src.chopped(1)));
        for (const char *name : {"d1/Programmi/x.mid", "d3/program.mid", "d8/Programmed Love.mp3", "d8/Open Windows.mid",
                                 "d9/Windows Hits/w.mid"})
            QVERIFY2(indexed().contains(src + name), name);
        for (const char *name : {"d2/WINDOWS/y.kar", "d4/Program Files/z.mid", "d2/ProgramData/u.kar"})
            QVERIFY2(!indexed().contains(src + name), name);
        QVERIFY(view.refreshes > 0);

        // A new path replaces the scan under way (or the one just ended):
        // the index ends with the new path's songs only.
        thread->setPath(src + "d1");
        thread->setPath(src + "d9");
        QTRY_COMPARE_WITH_TIMEOUT(indexed(), found(src + "d9"), 120000);
        QTRY_VERIFY_WITH_TIMEOUT(view.indexed >= 2, 120000);

        thread->setPath(src.chopped(1));
        thread.reset(); // stopped and joined while scanning
        QVERIFY(QFile::setPermissions(src + "d4/sub4", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    // The machine's own table (its size reads 0, as the kernel's files do)
    // lists every proc, sysfs and cgroup mount that findmnt lists.
    void realMountTable()
    {
        QByteArray out;
        QCOMPARE(TestUtil::runProgram("findmnt", {"-rn", "-o", "TARGET", "-t", "proc,sysfs,cgroup,cgroup2"}, &out), 0);
        const QStringList listed = QString::fromUtf8(out).trimmed().split('\n');
        QVERIFY(listed.contains("/proc") && listed.contains("/sys"));
        const QStringList points = SystemMounts::pseudoMountPoints();
        for (const QString &point : listed)
            QVERIFY2(points.contains(point), qPrintable(point + " missing from " + points.join(' ')));
    }

    // A drive whose own mount point is named Windows is indexed; below it,
    // the system's folders are not.
    void driveNamedWindows()
    {
        const QString drive = src + "media/anna/Windows";
        for (const char *name : {"/a.mid", "/Programs/b.kar", "/songs/WINDOWS/c.mp3", "/songs/d.kar",
                                 "/Program Files (x86)/e.mid", "/songs/Programmed Love.mp3"})
            QVERIFY(QDir().mkpath(QFileInfo(drive + name).path()) && TestUtil::writeFile(drive + name, {}));
        DatabaseHelper db;
        QVERIFY(db.initDb() && db.connect());
        Window view;
        indexDriveThread thread(&view, &db);
        view.listen(&thread);
        thread.setPath(drive);
        QTRY_COMPARE_WITH_TIMEOUT(view.indexed, 1, 60000);
        QSqlQuery q(db.driveIdxDb);
        q.exec("SELECT path || file FROM indexes ORDER BY 1");
        QStringList rows;
        while (q.next())
            rows << q.value(0).toString();
        QCOMPARE(rows, QStringList({drive + "/Programs/b.kar", drive + "/a.mid", drive + "/songs/Programmed Love.mp3",
                                    drive + "/songs/d.kar"}));
    }
};

VELMAR_TEST(TestLibraryThreads)
#include "tst_librarythreads.moc"
