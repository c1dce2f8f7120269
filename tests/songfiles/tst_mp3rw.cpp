// Mp3RW on MP3s made by lame and tagged by mutagen: mutagen reads back what
// we write, the frames we do not know and the audio stay byte for byte, and
// the text blocks read back through the MP3 text reader.
#include "ExtractLock.h"
#include "Mp3RW.h"
#include "Mp3TextBlocks.h"
#include "SongInfo.h"
#include "mp3.h"
#include "testutil.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

QJsonObject peerDump(const QString &path)
{
    const QByteArray json = TestUtil::runPython(QStringLiteral("songfiles/id3_peer.py"), {"dump", path});
    return QJsonDocument::fromJson(json).object();
}

const QByteArray kId3v23("ID3\3\0\0", 6);

QByteArray syncsafe(int n)
{
    return QByteArray(1, char(n >> 21 & 0x7F)) + char(n >> 14 & 0x7F) + char(n >> 7 & 0x7F) + char(n & 0x7F);
}

} // namespace

class TestMp3RW : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_audio;          // a lame MP3 without tags

    QString write(const QString &name, const QByteArray &bytes)
    {
        TestUtil::writeFile(m_dir.filePath(name), bytes);
        return m_dir.filePath(name);
    }

private slots:
    void initTestCase()
    {
        const QString wav = m_dir.filePath(QStringLiteral("tone.wav"));
        QCOMPARE(TestUtil::runProgram(QStringLiteral("sox"),
                                      {"-n", "-r", "44100", "-c", "2", wav, "synth", "1", "sine", "440"}), 0);
        const QString mp3 = m_dir.filePath(QStringLiteral("tone.mp3"));
        QCOMPARE(TestUtil::runProgram(QStringLiteral("lame"), {"--quiet", "-b", "128", wav, mp3}), 0);
        m_audio = TestUtil::readFile(mp3);
        QVERIFY(m_audio.startsWith("\xFF\xFB"));
    }

    // Restore of an MP3: after the program's own saves it goes back whole,
    // also from a backup under a name cut or another name (a link held its
    // own); after another tag editor retitled it, only the tempo and key
    // offsets (the QEDT frame) go back, and the new title and the audio
    // stay.
    void restoreKeepsAnotherEditorsTag()
    {
        const QString song = m_dir.filePath(QStringLiteral("restore.mp3"));
        TestUtil::runPython(QStringLiteral("songfiles/id3_peer.py"),
                            {"make", m_dir.filePath("tone.mp3"), song, "3", "0"});
        const QByteArray original = TestUtil::readFile(song);
        for (const QString since : {"", "long name", "backup's name held", "retitled"}) {
            const bool retitled = since == "retitled";
            const QString path = since == "long name" ? m_dir.filePath(QString(248, u'r') + ".mp3") : song;
            QVERIFY(TestUtil::writeFile(path, original));
            if (since == "backup's name held")
                QVERIFY(QFile::link(m_dir.filePath("tone.mp3"), path + ".bak"));
            std::unique_ptr<SongRW> rw(SongRW::createFromFile(path, true));
            rw->setDeltaKey(2);
            rw->setDeltaBpm(-5);
            QVERIFY(rw->saveToFile(path));
            if (retitled)
                TestUtil::runPython(QStringLiteral("songfiles/id3_peer.py"), {"retitle", path, "Retitled"});
            QCOMPARE(SongRW::restorePlan(path), retitled ? SongRW::Restore::SettingsOnly : SongRW::Restore::Whole);
            QVERIFY(SongRW::restoreBackup(path));
            if (!retitled) {
                QCOMPARE(TestUtil::readFile(path), original);
                QFile::remove(path + ".bak");
                continue;
            }
            const QJsonObject tag = peerDump(path);
            QCOMPARE(tag["text"]["TIT2"].toString(), QStringLiteral("Retitled"));
            QCOMPARE(tag["unknown"].toArray().size(), 0);
            Mp3RW reread;
            QVERIFY(reread.openFile(path));
            QCOMPARE(TestUtil::readFile(path).mid(reread.getAudioDataStartPos()), m_audio);
        }
    }

    void mutagenTagEditedAndReadBack_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("encoding");
        QTest::newRow("2.3 Latin-1") << 3 << 0;
        QTest::newRow("2.3 UTF-16") << 3 << 1;
        QTest::newRow("2.4 UTF-8") << 4 << 3;
        QTest::newRow("2.4 UTF-16") << 4 << 1;
    }
    void mutagenTagEditedAndReadBack()
    {
        QFETCH(int, version);
        QFETCH(int, encoding);
        const QString path = m_dir.filePath(QStringLiteral("tagged.mp3"));
        TestUtil::runPython(QStringLiteral("songfiles/id3_peer.py"),
                            {"make", m_dir.filePath("tone.mp3"), path, QString::number(version),
                             QString::number(encoding)});
        const QJsonObject before = peerDump(path);
        std::unique_ptr<SongRW> rw(SongRW::createFromFile(path, true));
        QVERIFY(rw);
        SongInfoRW info;
        rw->getSongInfo(info);
        QCOMPARE(info.title, before["text"]["TIT2"].toString());
        QCOMPARE(QStringList({info.artist, info.genre, info.author, info.userKey}),
                 QStringList({"Artista", "Rock", "Autore", "Am"}));
        QCOMPARE(QList<int>({info.userBpm, info.length}), QList<int>({128, 183}));

        const QString title = QStringLiteral("新的标题 ¤ %1").arg(QString(QChar('x')).repeated(150));
        rw->setTitle(title);
        rw->setArtist(QStringLiteral("Ärtist"));
        rw->setUserBpm(99);
        rw->setDeltaBpm(-10);
        rw->setDeltaKey(3);
        const QList<TEXT_EV> rows{TEXT_EV{"ab cd efg", 150}, TEXT_EV{"MARKER200 two", 400}};
        const QList<SYL_EV> syls{{2, 0, 160}, {7, 0, 200}, {127, 0, 300}, {3, 1, 420}};
        const QList<CHORD_EV> chords{CHORD_EV{"Am", 150}, CHORD_EV{"G7/B", 380}};
        const QList<MARKER_EV> markers{MARKER_EV{"Verse", 0, 100}, MARKER_EV{"MARKER200", 0, 500}};
        QVERIFY(rw->setLyrics(LYR_FORMAT_KVERO, rows, syls, chords, markers));
        QVERIFY(rw->setLyrics(LYR_FORMAT_KVERO, rows, syls, chords, markers));
        QVERIFY(rw->saveToFile(path));
        QVERIFY(rw->saveToFile(path));   // a second save starts the audio at the new tag

        const QJsonObject after = peerDump(path);
        QCOMPARE(after["text"].toObject().toVariantMap().values(),
                 QVariantList({"99", "Autore", "Rock", title, "Am", "183000", "Ärtist"}));
        QJsonObject raw = before["raw"].toObject();
        for (const char *key : {"TIT2", "TPE1", "TBPM", "SYLT::ita"})
            raw.remove(key);
        for (auto it = raw.begin(); it != raw.end(); ++it)
            QCOMPARE(after["raw"][it.key()].toString(), it.value().toString());
        QCOMPARE(after["unknown"].toVariant().toStringList(), QStringList("5145445400000004000000f60300"));

        const QByteArray file = TestUtil::readFile(path);
        const auto *bytes = reinterpret_cast<const uint8_t *>(file.constData());
        Mp3RW reread;
        QVERIFY(reread.openFile(path));
        QCOMPARE(file.mid(reread.getAudioDataStartPos()), m_audio);
        QCOMPARE(reread.getDeltaBpm(), -10);
        QCOMPARE(reread.getDeltaKey(), 3);
        QByteArray markerData;
        QVERIFY(reread.getMarkerData(markerData));
        QCOMPARE(markerData, QByteArray("[00:01.00]Verse\r\n[00:05.00]MARKER200\r\n"));
        QCOMPARE(file.count(Mp3TextBlocks::beginMarker(Mp3TextBlocks::COLORS)), 1);

        SONG_INFO songInfo{};
        QCOMPARE(getMp3SongInfo(bytes, uint32_t(file.size()), &songInfo), 1);
        QCOMPARE(QByteArray(songInfo.title), title.toUtf8().left(SONG_INFO_TITLE_MAX - 1));
        auto infos = std::make_unique<MidiInfos>();
        {
            ExtractLocker lock;
            mp3_text_find_type(infos.get(), bytes, file.size(), MP3_TRAILING_TAIL_LENGTH);
        }
        QCOMPARE(QList<int>({infos->textRowCount, int(infos->textRows[0].tick), infos->syllableCount,
                             infos->syllables[1].offset, infos->syllables[3].offset, infos->chordCount,
                             int(infos->chords[1].tick)}),
                 QList<int>({2, 150, 4, 5, 3, 2, 380}));
        QCOMPARE(QByteArray(infos->textRows[1].text) + infos->chords[1].name,
                 QByteArray("MARKER200 twoG7/B"));
    }

    void untaggedFileAndId3v1_data()
    {
        QTest::addColumn<int>("genreByte");
        QTest::addColumn<QString>("genre");
        QTest::newRow("17") << 17 << "Rock";
        QTest::newRow("0") << 0 << "<UNKNOWN>";
        QTest::newRow("200") << 200 << "<UNKNOWN>";
    }
    void untaggedFileAndId3v1()
    {
        QFETCH(int, genreByte);
        QFETCH(QString, genre);
        const QByteArray v1 = "TAG" + QByteArray("Old title").leftJustified(30, '\0') +
                              QByteArray("Old artist").leftJustified(30, '\0') + QByteArray(64, '\0') +
                              char(genreByte);
        const QString path = write(QStringLiteral("plain.mp3"), m_audio + v1);
        Mp3RW rw;
        QVERIFY(rw.openFile(path));
        QCOMPARE(QStringList({rw.getTitle(), rw.getArtist(), rw.getGenre()}),
                 QStringList({"Old title", "Old artist", genre}));
        rw.setTitle(QStringLiteral("Hello"));
        QCOMPARE(rw.tag().bodySize(), 16u);
        const QString copy = m_dir.filePath(QStringLiteral("copy.mp3"));
        QVERIFY(rw.saveToFile(copy));
        QCOMPARE(TestUtil::readFile(path), m_audio + v1);
        QCOMPARE(TestUtil::readFile(copy),
                 kId3v23 + QByteArray("\0\0\0\x10TIT2\0\0\0\6\0\0\0Hello", 20) + m_audio + v1);
        QVERIFY(!rw.saveToFile(m_dir.filePath(QStringLiteral("missing/x.mp3"))));
    }

    void opens_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("opens");
        QTest::newRow("MPEG frame") << "a.MP3" << QByteArray("\xFF\xFB\x90\x64\0\0", 6) << true;
        QTest::newRow("no frame") << "b.mp3" << QByteArray("\xFF\x10\x90\x64\0\0", 6) << false;
        QTest::newRow("zeros") << "c.mp3" << QByteArray(6, '\0') << true;
        QTest::newRow("other suffix") << "d.mp3x" << QByteArray("\xFF\xFB\x90\x64\0\0", 6) << false;
        QTest::newRow("tag past read limit") << "e.mp3" << kId3v23 + syncsafe(MP3_TAG_READ_LIMIT) << false;
    }
    void opens()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, head);
        QFETCH(bool, opens);
        Mp3RW rw;
        QCOMPARE(rw.openFile(write(name, head + QByteArray(20, '\0'))), opens);
    }

    void olderWritersTagsAndBlocks()
    {
        // 2.3 tag whose 200-byte COMM carries a syncsafe size, a stray end
        // marker in it, then a MARKER block of 10 bytes.
        const QByteArray text = QByteArray("\0ita\0LYRICS200", 14).leftJustified(200, 'c');
        const QByteArray comm = "COMM" + syncsafe(200) + QByteArray(2, '\0') + text;
        const QByteArray tit2("TIT2\0\0\0\3\0\0\0Hi", 13);
        QByteArray body = comm + tit2 + Mp3TextBlocks::build(Mp3TextBlocks::MARKER, "0123456789");
        QCOMPARE(Mp3TextBlocks::build(Mp3TextBlocks::MARKER, "0123456789").size(), 57);
        const QString path = write(QStringLiteral("old.mp3"), kId3v23 + syncsafe(body.size()) + body + m_audio);
        Mp3RW rw;
        QVERIFY(rw.openFile(path));
        QCOMPARE(rw.getTitle(), QStringLiteral("Hi"));
        QVERIFY(rw.setMarkerData("[00:00.00]x\r\n"));
        QVERIFY(rw.setLyrics(LYR_FORMAT_STANDARD, {}, {}, {}, {}));
        QCOMPARE(rw.tag().bodySize(), uint32_t(comm.size() + tit2.size()));
        QVERIFY(rw.saveToFile(path));
        QVERIFY(peerDump(path)["raw"].toObject()["COMM::ita"].toString().startsWith(comm.mid(10).toHex()));
    }
};

VELMAR_TEST(TestMp3RW)
#include "tst_mp3rw.moc"
