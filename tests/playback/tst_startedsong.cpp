// The started song on the real engine, with no window and no page: the
// record it shows by each road a song starts on, and the failures it says
// itself (a song that cannot play, a song whose file will not keep its
// edits, a save that failed), each song left as it was.
#include "SafeSave.h"
#include "SongRW.h"
#include "StartedSong.h"
#include "SongObjects.h"
#include "soundenginerig.h"

#include <QFile>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

class TestStartedSong : public QObject
{
    Q_OBJECT
    std::unique_ptr<SoundEngineRig> m_rig;
    QString m_mid, m_mp3;

private slots:
    void initTestCase()
    {
        m_rig = std::make_unique<SoundEngineRig>();
        SoundEngineRig::makeSongs(m_rig->dir.path());
        m_mid = m_rig->dir.filePath("mix.mid");
        m_mp3 = m_rig->dir.filePath("song.mp3");
    }
    void cleanup() { m_rig->stop(); }

    // The record shown: a library row's as given; the library's for a path
    // it lists; the file's own for any other (its name for a file no reader
    // takes); and, started again by its path, the record it started with,
    // whatever the library says since. The stop before a start ends no
    // song, and a refused start is said with the file and why, and changes
    // no record.
    void recordByRoad()
    {
        StartedSong song(m_rig->engine.get());
        QString listed = "From the library";
        song.setLookup([&](const QString &path) {
            SongInfo row;
            if (path == m_mid) {
                row.title = listed;
                row.innerPath = path;
            }
            return row;
        });
        QStringList shown, said;
        connect(&song, &StartedSong::started, this, [&](const SongInfo &info) { shown << info.title; });
        connect(&song, &StartedSong::cannotPlay, this, [&](const QString &text) { said << text; });
        QList<bool> unloadsWhileStopping;
        connect(currSong, &Song::loadSongChange, &song, [&](Song::LoadSongState state) {
            if (state == Song::eLsUnloaded)
                unloadsWhileStopping << song.stopping();
        });
        const auto start = [&](const QString &path, const SongInfo &record) {
            if (!song.load(path, record))
                return false;
            song.begin(true);
            return m_rig->engine->getPlayingState() == SoundEngine::ePsPlaying;
        };
        SongInfo row;
        row.title = "A row";
        row.innerPath = m_mp3;
        QVERIFY(start(m_mp3, SongInfo()));
        QVERIFY(start(m_mp3, row));
        QVERIFY(start(m_mid, SongInfo()));
        listed = "Renamed since";
        QVERIFY(start(m_mid, SongInfo()));
        QCOMPARE(shown, QStringList({"Tone", "A row", "From the library", "From the library"}));
        QCOMPARE(unloadsWhileStopping, QList<bool>({true, true, true}));
        QCOMPARE(song.readInfo(m_mid).title, listed);
        QCOMPARE(song.readInfo(m_rig->dir.filePath("notes.txt")).title, "notes");

        const QString gone = m_rig->dir.filePath("gone.mid");
        QVERIFY(!song.load(gone, SongInfo()));
        QCOMPARE(said, QStringList{"Cannot play this file\n\n" + gone + " (no such file)"});
        QVERIFY(!currSong->isLoaded());
        QCOMPARE(song.info().title, "From the library");
        QCOMPARE(shown.size(), 4);
    }

    // With no page to show them: a read-only song is said as it starts
    // playing and its edits are heard, not written; a save the disk refuses
    // is said, kept, and written at the next stop, of another song too; at
    // quit what still cannot be written is told until the user leaves
    // without it.
    void failuresSaidHere()
    {
        StartedSong song(m_rig->engine.get());
        const auto start = [&](const QString &path) {
            const bool loaded = song.load(path, SongInfo());
            song.begin(true);
            return loaded && m_rig->engine->getPlayingState() == SoundEngine::ePsPlaying;
        };
        QTemporaryDir dir;
        const QString path = dir.filePath("mix.mid");
        QVERIFY(QFile::copy(m_mid, path));
        const QByteArray original = TestUtil::readFile(path);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadOther));
        QVERIFY(start(path));
        QCOMPARE(song.saveMessage(), "The changes to mix.mid are heard but will not be kept: the song file is "
                                     "read-only.");
        m_rig->engine->changeKey(2);
        m_rig->stop();
        QCOMPARE(TestUtil::readFile(path), original);
        QCOMPARE(song.saveMessage(), "The changes to mix.mid were not kept: the song file is read-only.");
        QCOMPARE(song.saveBeforeQuit(), QString());

        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QVERIFY(start(path));
        QCOMPARE(song.saveMessage(), QString());
        m_rig->engine->changeKey(-1);
        QVERIFY(TestUtil::onFullDisk(original.size() / 2, [this] { m_rig->stop(); }));
        QCOMPARE(TestUtil::readFile(path), original);
        QVERIFY2(song.saveMessage().startsWith("The changes to mix.mid could not be written yet: "),
                 qPrintable(song.saveMessage()));
        QVERIFY(start(m_mp3));
        m_rig->stop();
        QCOMPARE(song.saveMessage(), QString());
        QVERIFY(start(path));
        QCOMPARE(m_rig->engine->getDeltaKey(), -1);

        m_rig->engine->changeKey(1);
        const QByteArray saved = TestUtil::readFile(path);
        QString told;
        QVERIFY(TestUtil::onFullDisk(saved.size() / 2, [&] { told = song.saveBeforeQuit(); }));
        QVERIFY2(told.startsWith("The changes to mix.mid could not be written: "), qPrintable(told));
        song.dropUnsaved();
        QCOMPARE(song.saveBeforeQuit(), QString());
        m_rig->stop();
        QCOMPARE(TestUtil::readFile(path), saved);
    }

    // Edits go only into the song they were made on: another song copied
    // over its path before the stop is not written, and that is said; the
    // song changed by another program since (a track added) takes them.
    void anotherSongCopiedOverIsNotWritten()
    {
        StartedSong song(m_rig->engine.get());
        QTemporaryDir dir;
        const QString path = dir.filePath("mix.mid");
        QVERIFY(QFile::copy(m_mid, path));
        const QString other = dir.filePath("other.mid");
        TestUtil::runPython("songfiles/song_tool.py", {"make", other, "1", "7"});
        const QByteArray otherBytes = TestUtil::readFile(other);
        QVERIFY(song.load(path, SongInfo()));
        song.begin(true);
        m_rig->engine->changeKey(2);
        QVERIFY(TestUtil::writeFile(path, otherBytes));
        m_rig->stop();
        QCOMPARE(TestUtil::readFile(path), otherBytes);
        QVERIFY(!QFile::exists(SongRW::backupPath(path)));
        QCOMPARE(song.saveMessage(), "The changes to mix.mid were not kept: another song was put in its place "
                                     "before they were written.");
        QCOMPARE(song.saveBeforeQuit(), QString());

        QVERIFY(song.load(path, SongInfo()));
        song.begin(true);
        m_rig->engine->changeKey(1);
        TestUtil::runPython("songfiles/song_tool.py", {"add-track", path, path});
        const QByteArray later = TestUtil::readFile(path);
        m_rig->stop();
        QCOMPARE(std::unique_ptr<SongRW>(SongRW::createFromFile(path, false))->getDeltaKey(), 1);
        QCOMPARE(TestUtil::readFile(SongRW::backupPath(path)), later);
    }

    // A song another program saves in place (half written, its kept copy
    // held) is not read so: a start is refused with that said, the song in
    // play going on; once that save is over (here: cut off) it plays as it
    // was. A link another user placed under its backup's name is left alone,
    // and the page says so, once, while the edits are saved all the same.
    void songBeingSavedIsSaidSo()
    {
        StartedSong song(m_rig->engine.get());
        QStringList said;
        connect(&song, &StartedSong::cannotPlay, this, [&](const QString &text) { said << text; });
        QTemporaryDir dir;
        const QString path = dir.filePath("mix.mid");
        QVERIFY(QFile::copy(m_mid, path));
        const QByteArray second = QFile::encodeName(dir.filePath("second.mid"));
        QCOMPARE(::link(QFile::encodeName(path).constData(), second.constData()), 0);
        const QByteArray original = TestUtil::readFile(path);
        const auto save = [&](int dieAt) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                SafeSave::interruptForTest(dieAt);
                std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, false));
                editor->setDeltaKey(4);
                ::_exit(editor->saveToFile(path) ? std::min(SafeSave::stepsForTest(), 199) : 200);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        };
        const int steps = save(0);
        QVERIFY(TestUtil::writeFile(path, original));
        QCOMPARE(save(steps - 3), 86);
        QVERIFY(TestUtil::readFile(path) != original);
        const int held = ::open(qPrintable(dir.filePath(".mix.mid.kept")), O_RDONLY | O_CLOEXEC);
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);

        QVERIFY(song.load(m_mp3, SongInfo()));
        song.begin(true);
        QVERIFY(!song.playable(path));
        const QString refused = "Cannot play this file\n\n" + path + " (being saved by another user; try again)";
        QCOMPARE(said, QStringList{refused});
        QCOMPARE(m_rig->engine->getPlayingState(), SoundEngine::ePsPlaying);
        // Loaded all the same (nothing played before), it is refused too.
        QVERIFY(!song.load(path, SongInfo()));
        QCOMPARE(said, QStringList({refused, refused}));
        QVERIFY(!currSong->isLoaded());
        ::close(held);

        QVERIFY(QFile::link(m_mid, path + ".bak"));
        QVERIFY(song.playable(path) && song.load(path, SongInfo()));
        song.begin(true);
        QCOMPARE(TestUtil::readFile(path), original);
        m_rig->engine->changeKey(2);
        m_rig->stop();
        QCOMPARE(std::unique_ptr<SongRW>(SongRW::createFromFile(path, false))->getDeltaKey(), 2);
        QCOMPARE(song.saveMessage(), "mix.mid.bak is a link, and is left alone.");
        QVERIFY(song.load(path, SongInfo()));
        song.begin(true);
        QCOMPARE(song.saveMessage(), QString());
    }
};

VELMAR_TEST(TestStartedSong)

#include "tst_startedsong.moc"
