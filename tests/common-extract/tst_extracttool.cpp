#include "Extract.h"
#include "ExtractTool.h"
#include "mp3fixtures.h"
#include "smfchunks.h"
#include "testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace Mp3Fixtures;

namespace {

QList<qint64> ticks(const QJsonArray &items, bool skipRowEnds = false)
{
    QList<qint64> out;
    for (const QJsonValue &v : items)
        if (!skipRowEnds || v[QStringLiteral("offset")].toInt() != 127)
            out.append(v[QStringLiteral("tick")].toInteger());
    return out;
}

} // namespace

class TestExtractTool : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_mp3;

    QString write(const QString &name, const QByteArray &data)
    {
        const QString path = m_dir.filePath(name);
        TestUtil::writeFile(path, data);
        return path;
    }

    // A trailing Lyrics3 block and an ID3v1 tag behind size bytes of audio.
    QByteArray withTrailingBlock(qint64 size, const QByteArray &block)
    {
        QByteArray audio;
        while (audio.size() < size)
            audio += m_mp3;
        audio.truncate(size);
        return audio + block + id3v1Tag();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_mp3 = makeAudio(m_dir.path(), 44100, 128);
        QVERIFY(!m_mp3.isEmpty());
    }

    // Own blocks with more syllables than twice the rows: offsets that count
    // visible characters become character positions.
    void mp3OwnBlocks()
    {
        const QByteArray tag = id3Tag(ownBlock("LYRICS", stamp(100) + "Hello world\r\n") +
                                      ownBlock("COLORS", stamp(110) + "003\r\n" + stamp(120) + "005\r\n" +
                                               stamp(130) + "010\r\n") +
                                      ownBlock("CHORDS", stamp(100) + "C\r\n" + stamp(250) + "G7\r\n"));
        const QString path = write(QStringLiteral("own.mp3"), tag + m_mp3);
        const ExtractTool tool(path);
        QVERIFY(tool.isLoaded());
        const QJsonObject raw = tool.toJson();
        QCOMPARE(raw[QStringLiteral("text")].toArray(),
                 (QJsonArray{QJsonObject{{"text", "Hello world"}, {"tick", 1000}}}));
        QCOMPARE(raw[QStringLiteral("syl")].toArray(),
                 (QJsonArray{QJsonObject{{"offset", 3}, {"row", 0}, {"tick", 1100}},
                             QJsonObject{{"offset", 5}, {"row", 0}, {"tick", 1200}},
                             QJsonObject{{"offset", 11}, {"row", 0}, {"tick", 1300}}}));
        QCOMPARE(ticks(raw[QStringLiteral("chord")].toArray()), (QList<qint64>{1000, 2500}));

        const QJsonArray parsed = tool.getParsedJsonText(0)[QStringLiteral("data")].toArray();
        QCOMPARE(parsed.size(), 1);
        QCOMPARE(parsed[0][QStringLiteral("end_tick")].toInteger(), 1000);
        QCOMPARE(parsed[0][QStringLiteral("syl")].toArray().size(), 3);
        QCOMPARE(ticks(tool.getParsedJsonChords(500)[QStringLiteral("data")].toArray()),
                 (QList<qint64>{1500, 3000}));
        QVERIFY(!ExtractTool(TestUtil::readFile(path), 3).isLoaded());
    }

    // Files over 1.5 MiB are read in their head and the tail not yet read:
    // a trailing block far behind the head is found, and one across the end
    // of the head reads whole.
    void largeMp3_data()
    {
        QTest::addColumn<qint64>("audioSize");
        QTest::newRow("far behind the head") << qint64(EXTRACT_TOOL_MP3_HEAD_BYTES + 300000);
        QTest::newRow("across the head's end") << qint64(EXTRACT_TOOL_MP3_HEAD_BYTES - 20);
    }
    void largeMp3()
    {
        QFETCH(qint64, audioSize);
        const QByteArray block = lyrics3Block("[00:01]Hello\r\n[00:03]World");
        const QByteArray file = withTrailingBlock(audioSize, block);
        const ExtractTool tool(write(QStringLiteral("large.mp3"), file));
        QVERIFY(tool.isLoaded());
        const QJsonObject raw = tool.toJson();
        QCOMPARE(raw[QStringLiteral("text")].toArray(),
                 (QJsonArray{QJsonObject{{"text", "Hello"}, {"tick", 1000}},
                             QJsonObject{{"text", "World"}, {"tick", 3000}}}));
        QCOMPARE(ticks(raw[QStringLiteral("syl")].toArray()), (QList<qint64>{1200, 3200}));
        QCOMPARE(ExtractTool(file, int(SONG_FORMAT_MP3)).toJson(), raw);
    }

    // The command line on KAR files made with mido: row texts and titles, and
    // the times of rows and syllables within 1 ms of mido's over the file's
    // tempo map (odd tempos held for hours, tempo changes inside bars at many
    // divisions, UTF-8 and UTF-16 text).
    void commandLineKar_data()
    {
        QTest::addColumn<QString>("kase");
        for (const char *kase : {"110 BPM for 3 minutes", "2,000,001 us for 2 hours", "mid-bar tempos at 96",
                                 "mid-bar tempos at 97", "mid-bar tempos at 1000", "tempo changes in 200 bars", "UTF-8 lyrics", "UTF-16 lyrics"})
            QTest::newRow(kase) << QString::fromLatin1(kase);
    }
    void commandLineKar()
    {
        QFETCH(QString, kase);
        const QString kar = m_dir.filePath(QStringLiteral("tool.kar"));
        const QString expectedPath = m_dir.filePath(QStringLiteral("tool.json"));
        TestUtil::runPython(QStringLiteral("common-extract/gen_kar_tempo.py"), {kase, kar, expectedPath});
        const QJsonObject expected = QJsonDocument::fromJson(TestUtil::readFile(expectedPath)).object();

        QByteArray out, err;
        QCOMPARE(TestUtil::runProgram(TestUtil::binDir() + QStringLiteral("/velmar-extract"), {kar}, &out, &err), 0);
        QJsonParseError parseError;
        const QJsonObject json = QJsonDocument::fromJson(out, &parseError).object();
        QCOMPARE(parseError.error, QJsonParseError::NoError);
        QCOMPARE(json.keys(), (QStringList{"chord", "parsedChords", "parsedText", "syl", "text"}));

        // Rows, then syllables (row ends left out), each within 1 ms of mido.
        const QJsonArray rows = json["text"].toArray(), wantRows = expected["rows"].toArray();
        QCOMPARE(rows.size(), wantRows.size());
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i]["text"].toString(), wantRows[i]["text"].toString());
            QVERIFY2(qAbs(rows[i]["tick"].toDouble() - wantRows[i]["ms"].toDouble()) <= 1.0, qPrintable(QString::number(i)));
        }
        QJsonArray syl;
        for (const QJsonValue &v : json["syl"].toArray())
            if (v["offset"].toInt() != 127)
                syl.append(v);
        const QJsonArray wantSyl = expected["syllables"].toArray(), wantOffsets = expected["offsets"].toArray();
        QCOMPARE(syl.size(), wantSyl.size());
        for (int i = 0; i < syl.size(); ++i) {
            QVERIFY2(qAbs(syl.at(i)["tick"].toDouble() - wantSyl[i].toDouble()) <= 1.0, qPrintable(QStringLiteral("syllable %1").arg(i)));
            QCOMPARE(syl.at(i)["offset"].toInt(), wantOffsets[i].toInt());
        }
        QCOMPARE(json[QStringLiteral("parsedText")].toArray().size(), wantRows.size());
        SONG_INFO info{};
        QVERIFY(Extract::GetSongInfoFromFile(&info, kar));
        QCOMPARE(QString::fromUtf8(info.title), expected[QStringLiteral("title")].toString());

        // Chunks of a kind no player knows, before and behind the first
        // track, change nothing.
        const QString chunked = write(QStringLiteral("chunks.kar"), SmfChunks::insert(TestUtil::readFile(kar), {0, 1}));
        QByteArray chunkedOut;
        QCOMPARE(TestUtil::runProgram(TestUtil::binDir() + QStringLiteral("/velmar-extract"), {chunked}, &chunkedOut, &err), 0);
        QCOMPARE(chunkedOut, out);
        SONG_INFO chunkedInfo{};
        QVERIFY(Extract::GetSongInfoFromFile(&chunkedInfo, chunked));
        QCOMPARE(QByteArray(chunkedInfo.title), QByteArray(info.title));
    }

    // Every tool refuses what is not a readable song file of sane size with
    // one line naming the file and the reason, and never waits on the file.
    void commandLineErrors_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        const QByteArray song("MThd\0\0\0\x06\0\0\0\x01\x01\xE0MTrk\0\0\0\x04\0\xff\x2f\0", 26);
        write(QStringLiteral("notes.txt"), "plain text");
        write(QStringLiteral("broken.mid"), QByteArray(song).replace(12, 2, QByteArray(2, 0)));  // division 0
        mkfifo(QFile::encodeName(m_dir.filePath(QStringLiteral("fifo.mid"))).constData(), 0600);
        QDir(m_dir.path()).mkdir(QStringLiteral("folder.mid"));
        QFile(write(QStringLiteral("locked.mid"), song)).setPermissions(QFileDevice::Permissions());
        // A song padded to 4 GiB and 2,000 bytes.
        QFile(write(QStringLiteral("huge.mid"), song + QByteArray(2000 - 26, 0))).resize((qint64(1) << 32) + 2000);
        // Two notes 10,001 bars apart; 16,900,000 bytes of SysEx.
        const auto track = [&](const QByteArray &events) {
            const QByteArray body = events + QByteArray("\0\xff\x2f\0", 4);
            const char length[4] = {char(body.size() >> 24), char(body.size() >> 16), char(body.size() >> 8),
                                    char(body.size())};
            return song.left(18) + QByteArray(length, 4) + body;
        };
        write(QStringLiteral("long.mid"), track(QByteArray::fromHex("00903c408993ff00803c00")));
        QByteArray sysex;
        const QByteArray one = QByteArray::fromHex("00f07e") + QByteArray(125, 0x11) + char(0xf7);
        sysex.reserve(131000 * one.size());
        for (int i = 0; i < 131000; ++i)
            sysex += one;
        write(QStringLiteral("dense.mid"), track(sysex));
        const QList<QPair<const char *, const char *>> files{
            {"absent.kar", "no such file"}, {"notes.txt", "not a"}, {"broken.mid", "timing (a division of 0"},
            {"fifo.mid", "not a regular file"}, {"folder.mid", "not a regular file"},
            {"locked.mid", "cannot be read: Permission denied"}, {"huge.mid", "too large"},
            {"long.mid", "too long to play: more than 10000 bars"},
            {"dense.mid", "too large to play: its notes and other events take more than 16 MiB once read"}};
        for (const char *tool : {"velmar-extract", "velmar-play", "velmar-render"})
            for (const auto &[file, reason] : files)
                QTest::addRow("%s %s", tool, file) << tool << file << reason;
    }
    void commandLineErrors()
    {
        QFETCH(QString, tool);
        QFETCH(QString, file);
        QFETCH(QString, reason);
        QString program = TestUtil::binDir() + QLatin1Char('/') + tool;
        QStringList args{m_dir.filePath(file)};
        if (tool == QLatin1String("velmar-play"))
            args << QStringLiteral("--capture");
        else if (tool == QLatin1String("velmar-render"))
            args << m_dir.filePath(QStringLiteral("out.wav"));
        // Permissions do not stop root: read the locked file as nobody.
        if (file == QLatin1String("locked.mid") && geteuid() == 0) {
            args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + args;
            program = QStringLiteral("/usr/bin/setpriv");
        }
        QByteArray out, err;
        QVERIFY(TestUtil::runProgram(program, args, &out, &err) != 0);
        QVERIFY(out.isEmpty());
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.contains(file.toUtf8()) && err.contains(reason.toUtf8()), err.constData());
    }

    // velmar-play takes only a number of seconds it can count in
    // milliseconds; velmar-engine does not play a MIDI song into silence
    // when the synthesizer did not start (here: no sound bank).
    void playerTools()
    {
        const QString kar = m_dir.filePath(QStringLiteral("seconds.kar"));
        TestUtil::runPython("common-extract/gen_kar_tempo.py", {"UTF-8 lyrics", kar, m_dir.filePath("seconds.json")});
        for (const char *seconds : {"nan", "inf", "-inf", "1e300", "0", "-1", "21601", "x", "0.5"}) {
            const int want = QByteArray(seconds) == "0.5" ? 0 : 2;
            QCOMPARE(TestUtil::runProgram(TestUtil::binDir() + QStringLiteral("/velmar-play"),
                                          {kar, "--capture", "--seconds", seconds}), want);
        }
        QByteArray err;
        QCOMPARE(TestUtil::runProgram(TestUtil::binDir() + QStringLiteral("/velmar-engine"),
                                      {kar, "--soundbank", m_dir.filePath("none.sf2")}, nullptr, &err), 1);
        QVERIFY2(err.contains("velmar-engine: the synthesizer did not start"), err.right(300).constData());
    }

    // Italian names are longer than the letters: the facade writes them whole.
    void transposeAndTranslate()
    {
        char buffer[EXTRACT_CHORD_BUFFER_SIZE] = "Gbmaj7(b5)add9/Db add11";
        Extract::TransposeAndTranslateChord(buffer, 1, 0);
        QCOMPARE(QByteArray(buffer), QByteArray("Solmaj7(b5)add9/Re add11"));
    }
};

VELMAR_TEST(TestExtractTool)
#include "tst_extracttool.moc"
