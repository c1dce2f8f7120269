// The editor factory, the one-time backup and its restore, and saves that
// fail: the song stays byte for byte and the failure is reported.
#include "SongRW.h"
#include "songfixtures.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
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
        QTest::newRow("kar") << "a.kar" << "mid" << "MIDI";
        QTest::newRow("Midi") << "a.Midi" << "mid" << "MIDI";
        QTest::newRow("mf5") << "a.mf5" << "mf5" << "MF5";
        QTest::newRow("MF5 content named mf3") << "a.mf3" << "mf5" << "MF5";
        QTest::newRow("mta") << "a.mta" << "mid" << "";
        QTest::newRow("mtv") << "a.mtv" << "mid" << "";
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
        if (editor) {
            SongInfoRW info;
            editor->getSongInfo(info);
            QCOMPARE(info.format, format);
        }
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

    void formatStrings()
    {
        QTemporaryDir dir;
        std::unique_ptr<SongRW> editor(
            SongRW::createFromFile(SongFixtures::makeMidi(dir.path(), QStringLiteral("a.mid")), false));
        QVERIFY(editor);
        const QStringList expected = {"UNKNOWN", "MIDI", "MIDI", "MF3", "MF4", "MF5",
                                      "MP3", "UNKNOWN", "MTA", "MTV", "UNKNOWN"};
        for (int t = 0; t < expected.size(); ++t)
            QCOMPARE(editor->getFormatString(SongInfoRW::fileTypeEnum(t)), expected[t]);
    }

    // Root ignores folder permissions, so the read-only case runs as nobody.
    void failedSaveKeepsTheSong_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fault");
        for (const char *name : {"song.mid", "song.mf4"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1, read-only folder").arg(name)))
                << name << "read-only";
            QTest::newRow(qPrintable(QStringLiteral("%1, disk full").arg(name))) << name << "full";
        }
    }
    void failedSaveKeepsTheSong()
    {
        QFETCH(QString, name);
        QFETCH(QString, fault);
        QTemporaryDir dir;
        QDir folder(dir.path());
        QVERIFY(folder.mkdir(QStringLiteral("songs")));
        const QString songs = folder.filePath(QStringLiteral("songs"));
        const QString path = name.endsWith(QLatin1String(".mid"))
                                 ? SongFixtures::makeMidi(songs, name)
                                 : SongFixtures::makeMfx(songs, name, "_MF4");
        QFile::remove(QDir(songs).filePath(QStringLiteral("payload.mid")));
        const QByteArray original = TestUtil::readFile(path);
        std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, false));
        QVERIFY(editor);
        editor->setTitle(QStringLiteral("A title long enough to need more room"));
        editor->setDeltaKey(-3);

        bool saved = true;
        if (fault == QLatin1String("read-only")) {
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ExeOther |
                                                  QFileDevice::ReadOther);
            QFile::setPermissions(songs, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                             QFileDevice::ReadOther | QFileDevice::ExeOther);
            const uid_t uid = geteuid();
            QVERIFY(uid != 0 || seteuid(65534) == 0);
            saved = editor->saveToFile(path);
            QVERIFY(uid != 0 || seteuid(0) == 0);
            QFile::setPermissions(songs, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner);
        } else {
            rlimit before{};
            getrlimit(RLIMIT_FSIZE, &before);
            rlimit small = before;
            small.rlim_cur = rlim_t(original.size() / 2);
            auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
            saved = editor->saveToFile(path);
            setrlimit(RLIMIT_FSIZE, &before);
            std::signal(SIGXFSZ, oldHandler);
        }
        QVERIFY(!saved);
        QCOMPARE(TestUtil::readFile(path), original);
        QCOMPARE(QDir(songs).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        QVERIFY(editor->saveToFile(path));
        QCOMPARE(editor->getDeltaKey(), -3);
    }
};

VELMAR_TEST(TestSongRW)
#include "tst_songrw.moc"
