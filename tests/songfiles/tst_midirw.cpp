// The MIDI file editor against the readers of the song decoder and against
// mido: metadata, settings records and text tracks written, saved and read
// back, with the notes of the song unchanged.
#include "Extract.h"
#include "MidiFunc.h"
#include "MidiRW.h"
#include "Song.h"
#include "SongSettings.h"
#include "loadedsong.h"
#include "smfchunks.h"
#include "songfixtures.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstring>
#include <memory>

Q_DECLARE_METATYPE(MidiTrackParam)
Q_DECLARE_METATYPE(MidiTrackParamAdv)

namespace {

using SongFixtures::mido;
using SongFixtures::settingsRecords;

std::unique_ptr<MidiRW> openMidi(const QString &path)
{
    return std::unique_ptr<MidiRW>(static_cast<MidiRW *>(SongRW::createFromFile(path, false)));
}

// A mido song and an editor on a copy of it, named name.
std::unique_ptr<MidiRW> editCopy(const QTemporaryDir &dir, int format, const QString &name,
                                 QString &original, QString &path)
{
    original = SongFixtures::makeMidi(dir.path(), QStringLiteral("o.mid"), format);
    path = dir.filePath(name);
    QFile::copy(original, path);
    return openMidi(path);
}

// What the player makes of a song: its normalised stream, then its key
// offset, and channel 2's volume and cutoff offsets.
QPair<QByteArray, QList<int>> play(const QByteArray &file)
{
    LoadedSong song;
    const int length = song.normalise(file);
    return {song.output(std::max(length, 0)),
            {song.db->transpose, song.db->layers[1][0].volume, song.db->ccOffsets[1][0][DB_CC74]}};
}

TEXT_EV row(const char *text, uint32_t tick)
{
    TEXT_EV r{};
    std::strncpy(r.text, text, sizeof r.text);
    r.tick = tick;
    return r;
}

} // namespace

class TestMidiRW : public QObject
{
    Q_OBJECT

private slots:
    void metadata_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("keyRead");
        QTest::addColumn<QString>("midoKey");
        QTest::newRow("format 0, spaced minor") << 0 << "C # -" << "C#-" << "C#m";
        QTest::newRow("format 1, write-only name") << 1 << "G#" << "Ab" << "Ab";
        QTest::newRow("format 1, unknown name") << 1 << "c" << "" << "";
    }
    void metadata()
    {
        QFETCH(int, format);
        QFETCH(QString, key);
        QFETCH(QString, keyRead);
        QFETCH(QString, midoKey);
        QTemporaryDir dir;
        QString original, path;
        auto editor = editCopy(dir, format, QStringLiteral("Song name.mid"), original, path);
        QVERIFY(editor);
        QCOMPARE(QStringList({editor->getTitle(), editor->getArtist()}), QStringList({"Song name", "<UNKNOWN>"}));
        SongInfoRW in;
        in.title = QStringLiteral("Old title");
        in.artist = QString(200, QLatin1Char('a'));
        in.genre = QStringLiteral("Liscio");
        in.author = QStringLiteral("Renée");
        in.length = 215;
        in.userBpm = 98;
        in.userKey = QStringLiteral("F");
        editor->setSongInfo(in);
        editor->setUserKey(key);
        editor->setTitle(QStringLiteral("Ballo è qui"));
        QVERIFY(editor->saveToFile(path));

        editor = openMidi(path);
        SongInfoRW out;
        editor->getSongInfo(out);
        const QStringList texts{QStringLiteral("Ballo è qui"), QString(125, QLatin1Char('a')), in.genre, in.author};
        QCOMPARE(QStringList({out.title, out.artist, out.genre, out.author}), texts);
        QCOMPARE(QList<int>({out.length, out.userBpm}), QList<int>({215, 98}));
        QCOMPARE(out.userKey, keyRead);
        SONG_INFO info{};
        QVERIFY(Extract::GetSongInfoFromFile(&info, path));
        QCOMPARE(QStringList({QString::fromUtf8(info.title), QString::fromUtf8(info.artist),
                              QString::fromUtf8(info.genre), QString::fromUtf8(info.composer)}),
                 texts);
        QCOMPARE(QList<int>({info.seconds, info.bpm}), QList<int>({215, 98}));

        const QJsonObject peer = mido(original, path);
        QVERIFY(peer[QLatin1String("sameNotes")].toBool());
        QCOMPARE(peer[QLatin1String("tracks")].toInt(), format == 0 ? 1 : 4);
        QJsonArray head;
        head.append(QJsonArray{QStringLiteral("title"), out.title});
        if (!midoKey.isEmpty())
            head.append(QJsonArray{QStringLiteral("key"), midoKey});
        QCOMPARE(peer[QLatin1String("head")].toArray(), head);

        editor->setGenre(QString());
        editor->setAuthor(QString());
        editor->setLength(-5);
        QCOMPARE(QStringList({editor->getGenre(), editor->getAuthor()}), QStringList({"<UNKNOWN>", ""}));
        QCOMPARE(editor->getLength(), 0);
    }

    // Every field of a full mix through the settings reader, and the exact
    // bytes other players see at the head of the first track.
    void settings_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("format 0, track 19") << 0;
        QTest::newRow("format 1, track 3") << 1;
    }
    void settings()
    {
        QFETCH(int, format);
        QTemporaryDir dir;
        QString original, path;
        auto editor = editCopy(dir, format, QStringLiteral("s.mid"), original, path);
        editor->setTitle(QStringLiteral("Title"));
        editor->setTrackParameter(format ? 3 : 19, 0, MidiTrackParam{0, 0, 0, false, -5});
        QVERIFY(editor->saveToFile(path));
        QByteArray bytes = TestUtil::readFile(path);
        // Only the controller the volume offset acts on.
        QCOMPARE(bytes.mid(22, 12), QByteArray::fromHex("00b3076400f01b002024001f"));

        SongInfoRW longest;
        longest.title = longest.artist = longest.genre = longest.author = QString(125, QLatin1Char('x'));
        editor->setSongInfo(longest);
        for (int round = 0; round < 2; ++round) {
            editor->setDeltaBpm(-12);
            editor->setDeltaKey(round + 2);
            editor->setReverbEffect(4, 90);
            editor->setChorusEffect(2, 30);
            for (int t = 0; t < NUM_SLOTS; ++t) {
                for (int l = 0; l < NUM_LAYERS; ++l) {
                    const int v = t + 10 * l;
                    editor->setTrackParameter(t, l, MidiTrackParam{uint8_t(l % 3), uint8_t(t), uint8_t(l),
                                                                   t % 2 == 1, -v, v, 1 - v, v + 2,
                                                                   uint8_t(l + 1), l - 2, uint8_t(t % 7)});
                    editor->setTrackParameterAdv(t, l, MidiTrackParamAdv{v, -v, 3, -4, 5, 6 + l});
                }
            }
        }
        QVERIFY(editor->saveToFile(path));
        QCOMPARE(QList<int>({editor->getDeltaBpm(), editor->getDeltaKey()}), QList<int>({-12, 3}));
        bytes = TestUtil::readFile(path);
        QCOMPARE(bytes.count(QByteArray::fromHex("f008002024002f000cf7")), 1);

        auto db = std::make_unique<Db>();
        initDBSTRUCT(db.get());
        loadSongSettings_MID(reinterpret_cast<const uint8_t *>(bytes.constData()), bytes.size(), db.get());
        QCOMPARE(QList<int>({db->tempoDelta, db->transpose, db->reverbMacro, db->reverbLevel,
                             db->chorusMacro, db->chorusLevel}),
                 QList<int>({-12, 3, 4, 90, 2, 30}));
        for (int t = 0; t < NUM_SLOTS; ++t) {
            for (int l = 0; l < NUM_LAYERS; ++l) {
                const DbLayer &d = db->layers[t][l];
                const int v = t + 10 * l;
                QCOMPARE(QList<int>({d.muteSolo, d.program, d.bank, d.volume, d.pan, d.reverb, d.chorus,
                                     d.velocityCurve, d.transpose, d.insertId,
                                     bool(d.flags & DB_FLAG_PROGRAM_OVERRIDE)}),
                         QList<int>({l % 3, t, l, -v, v, 1 - v, v + 2, l + 1, l - 2, t % 7, t % 2}));
                const int16_t *cc = db->ccOffsets[t][l];
                QCOMPARE(QList<int>({cc[DB_CC75], cc[DB_CC73], cc[DB_CC72], cc[DB_CC71], cc[DB_CC74],
                                     cc[DB_CC66]}),
                         QList<int>({v, -v, 3, -4, 5, 6 + l}));
            }
        }
        QVERIFY(mido(original, path)[QLatin1String("sameNotes")].toBool());
    }

    // An edit adds at the head only the events it acts on that the song
    // lacks: a song whose channel plays without a program change or any
    // controller (an arranger's type 0 song), edited twice.
    void defaultEventsOfTheEdit_data()
    {
        QTest::addColumn<MidiTrackParam>("param");
        QTest::addColumn<MidiTrackParamAdv>("advanced");
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("volume") << MidiTrackParam{0, 0, 0, false, -20} << MidiTrackParamAdv{} << QByteArray("00b10764");
        QTest::newRow("pan and reverb") << MidiTrackParam{0, 0, 0, false, 0, 5, -3} << MidiTrackParamAdv{}
                                        << QByteArray("00b15b0000b10a40");
        QTest::newRow("instrument") << MidiTrackParam{0, 24, 0, true} << MidiTrackParamAdv{}
                                    << QByteArray("00b1000000c100");
        QTest::newRow("cutoff") << MidiTrackParam{} << MidiTrackParamAdv{0, 0, 0, 0, 9, 0} << QByteArray("00b14a40");
        QTest::newRow("nothing") << MidiTrackParam{2} << MidiTrackParamAdv{} << QByteArray();
    }
    void defaultEventsOfTheEdit()
    {
        QFETCH(MidiTrackParam, param);
        QFETCH(MidiTrackParamAdv, advanced);
        QFETCH(QByteArray, head);
        QTemporaryDir dir;
        const QString path = dir.filePath("rec1.mid");
        TestUtil::runPython("common/real_songs.py", {"rec1", path});
        const QByteArray original = TestUtil::readFile(path);
        for (int round = 0; round < 2; ++round) {
            auto editor = openMidi(path);
            editor->setTrackParameterAdv(1, 0, advanced);
            editor->setTrackParameter(1, 0, param);
            QVERIFY(editor->saveToFile(path));
        }
        // The song but for its two records (and the first track's length).
        QByteArray bytes = TestUtil::readFile(path);
        for (const auto &[record, size] : {std::pair{"00f01b002024001f01", 30}, {"00f015002024001e01", 24}}) {
            const qsizetype at = bytes.indexOf(QByteArray::fromHex(record));
            QVERIFY(at >= 22);
            bytes.remove(at, size);
        }
        QCOMPARE(bytes.size(), original.size() + head.size() / 2);
        QCOMPARE(bytes.mid(22, head.size() / 2).toHex(), head);
        QCOMPARE(bytes.mid(22 + head.size() / 2), original.mid(22));
    }

    // Bytes that look like a settings record but are no event of their own
    // (a delta time starting F0, a title holding a record's bytes): the
    // record is neither read from them nor written over them. The saved
    // file is the old one with the new record at the head of its first
    // track and the track's length grown by it, nothing else.
    void recordsAreEvents_data()
    {
        QTest::addColumn<QByteArray>("song"); // empty: a mido song
        QTest::addColumn<QString>("title");
        QTest::newRow("delta time F0 before a record's bytes")
            << QByteArray::fromHex("4d546864" "00000006" "0000000101e0" "4d54726b" "0000000a" "f003002024003f000000")
            << "Title";
        QTest::newRow("title holding a record")
            << QByteArray() << QString::fromLatin1("Night\xF0\x08\x00\x20\x24\x00\x3F\x00\x03\xF7", 15);
    }
    void recordsAreEvents()
    {
        QFETCH(QByteArray, song);
        QFETCH(QString, title);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.mid"));
        if (song.isEmpty())
            SongFixtures::makeMidi(dir.path(), QStringLiteral("s.mid"));
        else
            QVERIFY(TestUtil::writeFile(path, song));
        auto editor = openMidi(path);
        QVERIFY(editor);
        editor->setTitle(title);
        QVERIFY(editor->saveToFile(path));
        song = TestUtil::readFile(path);
        editor = openMidi(path);
        QCOMPARE(editor->getDeltaKey(), 0);
        editor->setDeltaKey(2);
        QVERIFY(editor->saveToFile(path));

        const QByteArray record = QByteArray::fromHex("00f008002024003f0200f7");
        const int head = int(song.indexOf("MTrk", 1)) + 8;
        QByteArray expected = song;
        expected.insert(head, record);
        const quint32 length = qFromBigEndian<quint32>(song.constData() + head - 4) + quint32(record.size());
        qToBigEndian(length, expected.data() + head - 4);
        QCOMPARE(TestUtil::readFile(path).toHex(), expected.toHex());
        editor = openMidi(path);
        QCOMPARE(editor->getDeltaKey(), 2);
    }

    // A sequencer that puts a track of its own first moves the settings
    // records from the head of track 0 into track 1: the player, the library
    // and the editor read them there, and saves replace them there, never
    // adding a second set. A set split over the two tracks is read whole,
    // and the first save makes it one set again.
    void recordsWhereverTheyStand_data()
    {
        QTest::addColumn<QString>("move");
        QTest::addColumn<QString>("moved");
        QTest::addColumn<QString>("saved");
        QTest::newRow("moved") << "move-records"
                               << R"([{}, {"1e": 1, "1f": 1, "2f": 1, "3f": 1, "4f": 1, "5f": 1}, {}, {}])"
                               << R"([{}, {"1e": 1, "1f": 1, "2f": 1, "3f": 1, "4f": 1, "5f": 1}, {}, {}])";
        QTest::newRow("split") << "split-records"
                               << R"([{"2f": 1, "3f": 1, "4f": 1, "5f": 1}, {"1e": 1, "1f": 1}, {}, {}])"
                               << R"([{"1e": 1, "1f": 1, "2f": 1, "3f": 1, "4f": 1, "5f": 1}, {}, {}, {}])";
    }
    void recordsWhereverTheyStand()
    {
        QFETCH(QString, move);
        QFETCH(QString, moved);
        QFETCH(QString, saved);
        QTemporaryDir dir;
        QString original, path;
        auto editor = editCopy(dir, 1, QStringLiteral("moved.mid"), original, path);
        editor->setDeltaKey(2);
        editor->setDeltaBpm(-3);
        editor->setReverbEffect(4, 90);
        editor->setChorusEffect(2, 30);
        editor->setTrackParameter(1, 0, MidiTrackParam{0, 0, 0, false, -20});
        editor->setTrackParameterAdv(1, 0, MidiTrackParamAdv{0, 0, 0, 0, 9, 0});
        QVERIFY(editor->saveToFile(path));
        TestUtil::runPython(QStringLiteral("songfiles/song_tool.py"), {move, path, path});
        QCOMPARE(settingsRecords(path), moved);

        QCOMPARE(play(TestUtil::readFile(path)).second, QList<int>({2, -20, 9}));
        SONG_INFO info{};
        QVERIFY(Extract::GetSongInfoFromFile(&info, path));
        QCOMPARE(QByteArray(info.key), QByteArray("2"));
        editor = openMidi(path);
        QCOMPARE(QList<int>({editor->getDeltaKey(), editor->getDeltaBpm()}), QList<int>({2, -3}));

        for (int round = 0; round < 3; ++round) {
            editor = openMidi(path);
            editor->setDeltaKey(3 + round);
            editor->setTrackParameter(1, 0, MidiTrackParam{0, 0, 0, false, -21 - round});
            QVERIFY(editor->saveToFile(path));
        }
        QCOMPARE(settingsRecords(path), saved);
        QCOMPARE(play(TestUtil::readFile(path)).second, QList<int>({5, -23, 9}));
        QVERIFY(mido(original, path)[QLatin1String("sameNotes")].toBool());
    }

    // Chunks of a kind no player knows, before, between or behind the
    // tracks: the song plays as it does without them, the library and the
    // channel tool read it, and three saves keep each chunk byte for byte
    // where it stood.
    void unknownChunksPlayAndStay_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QList<int>>("before");   // tracks with a chunk in front; 4 = behind the last
        QTest::newRow("format 0, before its track") << 0 << QList<int>{0};
        QTest::newRow("format 0, before and behind") << 0 << QList<int>{0, 1};
        QTest::newRow("format 1, before the first track") << 1 << QList<int>{0};
        QTest::newRow("format 1, between the tracks") << 1 << QList<int>{1, 2, 3};
        QTest::newRow("format 1, everywhere") << 1 << QList<int>{0, 1, 2, 3, 4};
    }
    void unknownChunksPlayAndStay()
    {
        QFETCH(int, format);
        QFETCH(QList<int>, before);
        QTemporaryDir dir;
        const QString original = SongFixtures::makeMidi(dir.path(), QStringLiteral("o.mid"), format);
        const QByteArray plain = TestUtil::readFile(original);
        const QByteArray song = SmfChunks::insert(plain, before);
        const QString path = dir.filePath(QStringLiteral("Chunks.mid"));
        QVERIFY(TestUtil::writeFile(path, song));

        const QByteArray stream = play(plain).first;
        QVERIFY(!stream.isEmpty());
        QCOMPARE(play(song).first, stream);
        uint seconds = 0, plainSeconds = 0;
        QVERIFY(Song::checkSongFile(path, nullptr, &seconds));
        QVERIFY(Song::checkSongFile(original, nullptr, &plainSeconds));
        QCOMPARE(seconds, plainSeconds);

        const QList<QPair<int, QByteArray>> chunks = SmfChunks::others(song);
        QCOMPARE(chunks.size(), before.size());
        for (int round = 0; round < 3; ++round) {
            auto editor = openMidi(path);
            QVERIFY(editor);
            editor->setTitle(QStringLiteral("Round %1").arg(round));
            editor->setGenre(QStringLiteral("Liscio"));
            editor->setDeltaKey(round + 1);
            editor->setTrackParameter(1, 0, MidiTrackParam{0, 0, 0, false, -5 - round});
            QVERIFY(editor->saveToFile(path));
        }
        const QByteArray saved = TestUtil::readFile(path);
        QCOMPARE(SmfChunks::others(saved), chunks);
        QCOMPARE(play(saved).second[0], 3);
        SONG_INFO info{};
        QVERIFY(Extract::GetSongInfoFromFile(&info, path));
        QCOMPARE(QByteArray(info.title), QByteArray("Round 2"));
        const QString stripped = dir.filePath(QStringLiteral("stripped.mid"));
        QVERIFY(TestUtil::writeFile(stripped, SmfChunks::withoutOthers(saved)));
        QVERIFY(mido(original, stripped)[QLatin1String("sameNotes")].toBool());

        MidiFunc tool;
        QCOMPARE(tool.readMIDI(path), 0);
        QCOMPARE(tool.tracks().size(), format ? 4 : 1);
        tool.changeMIDIChannel(0, 5);
        QCOMPARE(tool.writeMIDI(path), 0);
        QCOMPARE(SmfChunks::others(TestUtil::readFile(path)), chunks);
        QCOMPARE(tool.readMIDI(path), 0);
        tool.changeMIDIChannel(5, 0);
        QCOMPARE(tool.writeMIDI(path), 0);
        QCOMPARE(TestUtil::readFile(path), saved);

        // Rewritten with new lyrics, the song keeps them in their order.
        auto editor = openMidi(path);
        QVERIFY(editor->setLyrics(LYR_FORMAT_STANDARD, {row("CIAO", 100)}, {{127, 0, 200}}, {}, {}));
        QVERIFY(editor->saveToFile(path));
        const QByteArray rewritten = TestUtil::readFile(path);
        const auto kept = SmfChunks::others(rewritten);
        QCOMPARE(kept.size(), chunks.size());
        for (int i = 0; i < kept.size(); ++i)
            QCOMPARE(kept[i].second, chunks[i].second);
        QCOMPARE(play(rewritten).second[0], 3);
    }

    void textTrackBytes()
    {
        const QList<TEXT_EV> rows{row("HELLO WORLD", 1000)};
        const QList<SYL_EV> syl{{5, 0, 1000}, {10, 0, 1200}, {127, 0, 1400}};
        const QByteArray cc = MidiRW::createKveroTxtMidiTrk_CCSyl(rows, syl);
        QVERIFY(cc.contains(QByteArray::fromHex("00b01f7f8148f0") + QByteArray("\x11\x00\x20\x24\x00\x04", 6) +
                            "HELLO WORLD\xF7"));
        QVERIFY(cc.endsWith(QByteArray::fromHex("860cf006002024000" "8f700b01f058148b01f098148b01f7e00ff2f00")));
    }

    // Lyrics written by the editor come back through the decoder's lyric
    // reader at the same ticks; the notes stay where they were.
    void lyricsRoundTrip_data()
    {
        QTest::addColumn<int>("lyrFormat");
        QTest::addColumn<int>("tracks");
        QTest::newRow("maker text track") << int(LYR_FORMAT_KVERO) << 4;
        QTest::newRow("standard lyrics") << int(LYR_FORMAT_STANDARD) << 3;
    }
    void lyricsRoundTrip()
    {
        QFETCH(int, lyrFormat);
        QFETCH(int, tracks);
        QTemporaryDir dir;
        QString original, path;
        auto editor = editCopy(dir, 1, QStringLiteral("l.mid"), original, path);
        editor->setDeltaKey(-2);
        const QList<TEXT_EV> rows{row("CIAO BELLA", 100), row("VIA", 1920), row("AMORE MIO", 2400)};
        const QList<SYL_EV> syl{{4, 0, 400},    {9, 0, 700},   {127, 0, 900}, {3, 1, 1920},
                                {5, 2, 2400},   {8, 2, 2880},  {3, -1, 3000}, {2, 9, 3100}};
        CHORD_EV chord{"Am7", 960};
        MARKER_EV marker{"Coda", 2, 1920};
        QVERIFY(editor->setLyrics(LyrFormat(lyrFormat), rows, syl, {chord}, {marker}));
        QVERIFY(editor->saveToFile(path));
        QCOMPARE(editor->getDeltaKey(), -2);

        const QByteArray bytes = TestUtil::readFile(path);
        LoadedSong song;
        QVERIFY(song.normalise(bytes) > 0);
        QCOMPARE(Extract::GetNumTextLines(&song.sd), 3);
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(QByteArray(Extract::GetTextLineStructItem(&song.sd, i)->text), QByteArray(rows[i].text));
        QList<uint32_t> ticks;
        for (int i = 0; i < Extract::GetNumSylEvent(&song.sd); ++i)
            ticks << Extract::GetSylEventStructItem(&song.sd, i)->tick;
        QVERIFY(ticks.contains(400) && ticks.contains(700) && ticks.contains(2880));
        QCOMPARE(Extract::GetNumMarkers(&song.sd), 1);
        QCOMPARE(Extract::GetNumChordEvent(&song.sd), lyrFormat == LYR_FORMAT_STANDARD ? 0 : 1);

        const QJsonObject peer = mido(original, path);
        QVERIFY(peer[QLatin1String("sameNotes")].toBool());
        QCOMPARE(peer[QLatin1String("tracks")].toInt(), tracks);
    }
};

VELMAR_TEST(TestMidiRW)
#include "tst_midirw.moc"
