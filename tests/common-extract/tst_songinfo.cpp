#include "Extract.h"
#include "MfxHeader.h"
#include "SongInfoRecord.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <cstring>
#include <thread>
#include <vector>

namespace {
const QString UNK = QStringLiteral("<UNKNOWN>");
const QString NOKEY = QStringLiteral("- - -");

QString str(const char *field) { return QString::fromUtf8(field); }

// Container header with the given texts; payload bytes after it.
QByteArray mfxFile(const char *magic, const QByteArray &title, const QByteArray &artist,
                   int16_t key, uint8_t flags, uint16_t bpm)
{
    QByteArray h(strcmp(magic, "_MF5") == 0 ? int(MFX5_HEADER_SIZE) : int(MFX_HEADER_SIZE), '\0');
    memcpy(h.data(), magic, 4);
    memcpy(h.data() + MFX_OFS_TITLE, title.constData(), size_t(qMin<int>(title.size(), 32)));
    memcpy(h.data() + MFX_OFS_ARTIST, artist.constData(), size_t(qMin<int>(artist.size(), 32)));
    memcpy(h.data() + MFX_OFS_AUTHOR, "Author", 6);
    // A full genre field runs straight into the key bytes.
    memset(h.data() + MFX_OFS_GENRE, 'G', 32);
    h[MFX_OFS_FLAGS] = char(flags);
    qToLittleEndian(bpm, h.data() + MFX_OFS_TEMPO);
    qToLittleEndian(key, h.data() + MFX_OFS_DELTA_KEY);
    return h + QByteArray(64, 'x');
}

} // namespace

class TestSongInfo : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        TestUtil::runPython("common-extract/gen_songinfo.py", {m_dir.path()});
        TestUtil::runPython("common/real_songs.py", {"notempo", file("game.mid")});
        TestUtil::writeFile(file("title32.mf3"),
                            mfxFile("_MF3", QByteArray(32, 'T'), "Artist", 0, 1, 96));
        TestUtil::writeFile(file("spaced.mf4"), mfxFile("_MF4", "   Spaced", "Artist", -2, 0, 120));
        TestUtil::writeFile(file("blank.mf5"), mfxFile("_MF5", QByteArray(32, ' '), "", 5, 0, 80));
        TestUtil::writeFile(file("cut.mf5"), mfxFile("_MF5", "Cut", "A", 0, 0, 80).left(900));
        TestUtil::writeFile(file("wrongmagic.mf3"), QByteArray("_MF9") + QByteArray(600, '\0'));
    }

    void fromFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<uint>("format");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("genre");
        QTest::addColumn<QString>("composer");
        QTest::addColumn<int>("bpm");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("flags");

        auto row = [](const char *name, bool ok, uint format, QString title, QString artist = UNK,
                      QString genre = UNK, QString composer = UNK, int bpm = 0,
                      QString key = NOKEY, int seconds = 0, int flags = 0) {
            QTest::newRow(name) << QString::fromUtf8(name) << ok << format << title << artist
                                << genre << composer << bpm << key << seconds << flags;
        };
        // MIDI from mido
        row("tempo120.mid", true, 1, "tempo120", UNK, UNK, UNK, 120);
        row("notempo.mid", true, 1, "notempo", UNK, UNK, UNK, 120);
        row("tempozero.mid", true, 1, "tempozero", UNK, UNK, UNK, 120);
        row("keycm.mid", true, 1, "keycm", UNK, UNK, UNK, 120, "Cm");
        row("marker.mid", true, 1, "marker", UNK, UNK, UNK, 120, NOKEY, 0, 1);
        row("title.kar", true, 1, "My Song", UNK, UNK, UNK, 120);
        row("makermeta.mid", true, 1, "Real Title", "The Artist", "Pop", "The Composer", 98,
            NOKEY, 215);
        row("makerkey.mid", true, 1, "makerkey", UNK, UNK, UNK, 120, "-3");
        row("makerkeyoverride.mid", true, 1, "makerkeyoverride", UNK, UNK, UNK, 120, "D");
        row("hiddenbend.mid", true, 1, "hiddenbend", UNK, UNK, UNK, 120);
        row("hiddentext.mid", true, 1, "hiddentext", UNK, UNK, UNK, 120);
        row("artistrow.mid", true, 1, "artistrow", "The Band", UNK, UNK, 120);
        row("copyright.mid", true, 1, "Owned Title", UNK, UNK, UNK, 120);
        // A game's song: five tracks, no tempo event; it plays at 120.
        row("game.mid", true, 1, "game", UNK, UNK, UNK, 120);
        row("riff.mid", false, 0, "riff");
        row("short.mid", false, 0, "short");
        // Containers
        row("title32.mf3", true, 0x101, QString(32, 'T'), "Artist", QString(32, 'G'), "Author",
            96, "0", 0, 1);
        row("spaced.mf4", true, 0x201, "Spaced", "Artist", QString(32, 'G'), "Author", 120, "-2");
        row("blank.mf5", true, 0x401, "blank", UNK, QString(32, 'G'), "Author", 80, "5");
        row("cut.mf5", false, 0, "cut");
        row("wrongmagic.mf3", false, 0, "wrongmagic");
        // Other base types
        row("empty.mp4", true, 0x108, "empty");
        row("sound.wav", true, 4, "sound");
        // MP3 from lame, tagged by mutagen
        row("v23utf16.mp3", true, 2, "Café Déjà Vu", "Ärtist", "Pop", "Compositore", 128, "Am", 215);
        row("v24utf8.mp3", true, 2, "Ünïcode ☃ Song", "Band", UNK, UNK, 0, NOKEY, 215);
        row("v24utf16be.mp3", true, 2, "Big Endian Ω", "Duo");
        row("v23latin1.mp3", true, 2, "Café", "Zoë");
        row("v23long.mp3", true, 2, QString(127, 'L'), "After Long");
        row("v1only.mp3", true, 2, "Old Title", "Old Artist", "Rock");
        row("v1badgenre.mp3", true, 2, "Old Title", "Old Artist");
        row("bothv2title.mp3", true, 2, "New Title");
        row("bothv1used.mp3", true, 2, "Old Title", "Old Artist", "Rock", "Only Composer");
        row("notag.mp3", true, 2, "notag");
        row("id4.mp3", false, 0, "id4");
        row("short.mp3", false, 0, "short");
    }
    void fromFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, ok);
        QFETCH(uint, format);
        SONG_INFO info;
        memset(&info, 0x77, sizeof info);
        QCOMPARE(Extract::GetSongInfoFromFile(&info, file(name)), ok);
        QCOMPARE(info.format, format);
        if (!ok)
            return;
        QTEST(str(info.title), "title");
        QTEST(str(info.artist), "artist");
        QTEST(str(info.genre), "genre");
        QTEST(str(info.composer), "composer");
        QTEST(int(info.bpm), "bpm");
        QTEST(str(info.key), "key");
        QTEST(int(info.seconds), "seconds");
        QTEST(int(info.flags), "flags");
        QCOMPARE(info.genre[SONG_INFO_GENRE_SIZE - 1], '\0');
        QCOMPARE(info.title[SONG_INFO_TITLE_SIZE - 1], '\0');
    }

    void refusedBeforeReading()
    {
        SONG_INFO info;
        memset(&info, 0x77, sizeof info);
        QVERIFY(!Extract::GetSongInfoFromFile(&info, file("missing.mid")));
        QCOMPARE(info.format, 0x77777777u);
        TestUtil::writeFile(file("song.xyz"), "MThd");
        QVERIFY(!Extract::GetSongInfoFromFile(&info, file("song.xyz")));
        QCOMPARE(info.format, 0u);
        QCOMPARE(uchar(info.title[0]), uchar(0x77));
    }

    // Worker threads read song information while the GUI thread does too.
    void concurrentReaders()
    {
        const QStringList names = {"makermeta.mid", "v23utf16.mp3", "title32.mf3", "v1only.mp3"};
        std::vector<SONG_INFO> expected(size_t(names.size()));
        for (int i = 0; i < names.size(); ++i)
            QVERIFY(Extract::GetSongInfoFromFile(&expected[size_t(i)], file(names[i])));
        std::atomic<int> mismatches{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int round = 0; round < 25; ++round) {
                    const int i = (t + round) % int(names.size());
                    SONG_INFO info{};
                    Extract::GetSongInfoFromFile(&info, file(names[i]));
                    if (memcmp(&info, &expected[size_t(i)], sizeof info) != 0)
                        ++mismatches;
                }
            });
        }
        for (auto &th : threads)
            th.join();
        QCOMPARE(mismatches.load(), 0);
    }
};

VELMAR_TEST(TestSongInfo)
#include "tst_songinfo.moc"
