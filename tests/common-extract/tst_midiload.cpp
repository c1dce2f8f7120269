// Song file loading: format-1 merge, container decoding, sectors and the per-song settings.
#include "ExtractLock.h"
#include "LzhufTestEncoder.h"
#include "MfxHeader.h"
#include "MidiLoad.h"
#include "SongSettings.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtEndian>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// One song's records on the heap, its file bytes in an exact-size buffer so
// ASan sees any read past them.
struct SongUnderTest {
    std::unique_ptr<MidiStream> stream{new MidiStream};
    std::unique_ptr<MidiInfos> infos{new MidiInfos};
    std::unique_ptr<Mfi> mfi{new Mfi};
    std::unique_ptr<Db> db{new Db};
    std::unique_ptr<uint8_t[]> eventBuffer{new uint8_t[EVENT_BUFFER_SIZE]};
    std::unique_ptr<uint8_t[]> file;
    SONG_INFO info{};
    s_StreamData sd{};

    explicit SongUnderTest(const QByteArray &bytes)
    {
        bindStreamData(&sd, &info, eventBuffer.get(), stream.get(), infos.get(), mfi.get(), db.get(), 0);
        file.reset(new uint8_t[size_t(bytes.size())]);
        memcpy(file.get(), bytes.constData(), size_t(bytes.size()));
        uint8_t smf = 0;
        const int type = getFileTypeN(file.get(), uint32_t(bytes.size()), &smf);
        stream->fileType = uint32_t(type);
        stream->smfFormat = smf;
        infos->data = file.get();
        infos->dataLength = uint32_t(bytes.size());
    }
};

// Runs DecodeFileInit and collects every sector served.
struct Decoded {
    int result = 0;
    uint32_t dataLength = 0;
    QByteArray data;       // the song as prepared
    QByteArray served;     // the sectors' valid bytes, concatenated
};

Decoded decode(SongUnderTest &song)
{
    Decoded d;
    ExtractLocker lock;
    ConversionBuffer buffer;
    d.result = DecodeFileInit(&song.sd);
    d.dataLength = song.infos->dataLength;
    if (!d.result)
        return d;
    d.data = QByteArray(reinterpret_cast<const char *>(song.infos->data), int(d.dataLength));
    while (true) {
        d.served.append(reinterpret_cast<const char *>(appendBuffer), int(ByteDecoded));
        if (isEOF)
            break;
        LoadSmf0Sector(&song.sd);
    }
    return d;
}

QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray smf(int format, const QList<QByteArray> &tracks, int division = 480, int count = -1)
{
    const int n = count >= 0 ? count : int(tracks.size());
    QByteArray f = QByteArray("MThd\0\0\0\6\0", 9) + char(format) + char(n >> 8) + char(n) + char(division >> 8) +
                   char(division);
    for (const QByteArray &t : tracks)
        f += "MTrk" + be32(quint32(t.size())) + t;
    return f;
}

const QByteArray EOT("\x00\xFF\x2F\x00", 4);

QByteArray randomBytes(int n, quint32 seed, int modulo = 256)
{
    QRandomGenerator rng(seed);
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = char(rng.bounded(modulo));
    return b;
}

// A maker settings record as the writers store it, from its F0 on.
QByteArray record(uint8_t command, const QByteArray &data)
{
    return QByteArray("\xF0", 1) + char(data.size() + 6) + QByteArray("\x00\x20\x24\x00", 4) + char(command) + data +
           char(0xF7);
}

QByteArray trackRecord(int slot, int layer, uint8_t mute, uint8_t program, uint8_t bank,
                       QByteArray pairs, uint8_t curve, QByteArray transpose, uint8_t insert,
                       uint8_t override)
{
    // pairs: volume, pan, reverb, chorus as signed pairs
    return record(0x1F, QByteArray(1, char(slot)) + char(mute) + char(program) + char(bank) + pairs + char(curve) +
                            transpose + char(insert) + char(0) + char(override) + char(layer) + QByteArray(2, '\0'));
}

// Maker records (joined by delta bytes) at the head of a song's first track.
QByteArray midiWith(const QByteArray &records, const QByteArray &rest = QByteArray())
{
    return smf(0, {QByteArray(1, '\0') + records + rest + EOT});
}

int loadMid(const QByteArray &file, Db *db)
{
    std::vector<uint8_t> exact(file.begin(), file.end());
    return loadSongSettings_MID(exact.data(), uint32_t(exact.size()), db);
}

std::unique_ptr<Db> freshDb()
{
    std::unique_ptr<Db> db(new Db);
    memset(db.get(), 0x33, sizeof(Db));
    initDBSTRUCT(db.get());
    return db;
}

} // namespace

class TestMidiLoad : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        TestUtil::runPython("common-extract/gen_merge.py", {"gen", m_dir.path()});
    }

    void mergeMatchesMido_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *n : {"merge_two", "merge_ties", "merge_sixteen", "merge_many", "merge_forty_one",
                              "merge_sparse", "merge_gap", "merge_early_end"})
            QTest::newRow(n) << QString(n);
    }
    void mergeMatchesMido()
    {
        QFETCH(QString, name);
        const QString original = m_dir.filePath(name + ".mid");
        const QByteArray bytes = TestUtil::readFile(original);
        SongUnderTest song(bytes);
        QCOMPARE(int(song.stream->smfFormat), 1);
        const Decoded d = decode(song);
        QCOMPARE(d.result, 1);
        QByteArray merged = d.data;
        QVERIFY(d.served.startsWith(merged));

        merged.replace(18, 4, be32(quint32(merged.size() - 22)));
        const QString out = m_dir.filePath(name + ".merged.mid");
        QVERIFY(TestUtil::writeFile(out, merged));
        // One track at the song's division; mido reads the same events at the
        // same ticks in the same order (ties to the lower track), the merged
        // song ending at its last event.
        QCOMPARE(merged.mid(8, 6), QByteArray("\0\0\0\1", 4) + bytes.mid(12, 2));
        const QJsonArray dumps =
            QJsonDocument::fromJson(TestUtil::runPython("common-extract/gen_merge.py", {"dump", original, out})).array();
        QJsonArray want = dumps[0].toArray(), got = dumps[1].toArray();
        QCOMPARE(got.last()[1], want.last()[1]);
        want.removeLast();
        got.removeLast();
        QCOMPARE(got, want);
    }

    void mergeBytes_data()
    {
        QTest::addColumn<QList<QByteArray>>("tracks");
        QTest::addColumn<QByteArray>("events");
        QTest::newRow("running status expanded")
            << QList<QByteArray>{QByteArray("\x00\x90\x3C\x40\x10\x3E\x40\x00\xC0\x05\x00\x06", 12) + EOT}
            << QByteArray("\x00\x90\x3C\x40\x10\x90\x3E\x40\x00\xC0\x05\x00\xC0\x06", 14);
        QTest::newRow("F5 and F7")
            << QList<QByteArray>{QByteArray("\x00\xF5\x02\x00\x90\x3C\x40", 7) + EOT,
                                 QByteArray("\x05\xF7\x02\xF3\x01", 5) + EOT}
            << QByteArray("\x00\xF5\x02\x00\x90\x3C\x40\x05\xF7\x02\xF3\x01", 12);
        QTest::newRow("track without end of track")
            << QList<QByteArray>{QByteArray("\x00\x90\x3C\x40", 4), QByteArray("\x01\x90\x3D\x40", 4) + EOT}
            << QByteArray("\x00\x90\x3C\x40\x01\x90\x3D\x40", 8);
        // 600,000 bytes of notes, all under running status: merged, each
        // gets its status back, 800,000 bytes (the merge once stopped at 512 KiB).
        QByteArray big = QByteArray("\x00\x90\x3C\x40", 4), merged = big;
        for (int i = 1; i < 200000; ++i) {
            big += QByteArray("\x00\x3C\x40", 3);
            merged += QByteArray("\x00\x90\x3C\x40", 4);
        }
        QTest::newRow("800,000 bytes") << QList<QByteArray>{big + EOT, EOT} << merged;
    }
    void mergeBytes()
    {
        QFETCH(QList<QByteArray>, tracks);
        QFETCH(QByteArray, events);
        SongUnderTest song(smf(1, tracks, 96));
        const Decoded d = decode(song);
        QCOMPARE(d.result, 1);
        QCOMPARE(d.data.mid(22), events + EOT);
        QCOMPARE(d.dataLength, uint32_t(events.size()) + MERGE_EXTRA_BYTES);
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("emptyLength");   // -4 from the normaliser, else -13
        const QByteArray note = QByteArray("\x00\x90\x3C\x40", 4) + EOT;
        QByteArray noMTrk = smf(1, {note});
        noMTrk[17] = 'x';
        QTest::newRow("missing MTrk") << noMTrk << true;
        QByteArray overrun = smf(1, {note, note});
        overrun[18 + 3 + 8 + note.size()] = char(note.size() + 5);
        QTest::newRow("chunk overruns file") << overrun << true;
        QTest::newRow("more tracks than chunks") << smf(1, {note}, 480, 2) << true;
        const QByteArray track = smf(0, {note}).mid(14);
        QTest::newRow("other chunk overruns file")
            << smf(0, {}, 480, 1) + "XFIH" + be32(quint32(track.size()) + 1) + track << true;
        QTest::newRow("data byte without status")
            << smf(1, {QByteArray("\x00\x3C\x40", 3) + EOT}) << true;
        QTest::newRow("note cut") << smf(1, {QByteArray("\x00\x90\x3C", 3), note}) << true;
        QTest::newRow("no events") << smf(1, {EOT, EOT}) << true;
        QTest::newRow("shorter than a head") << QByteArray("MThd\0\0\0\6\0\1\0\1", 12) << true;
        QTest::newRow("format 2") << smf(2, {note, note}) << false;
        QTest::newRow("unknown type") << QByteArray("RIFF") + QByteArray(60, '\0') << false;
        const QByteArray plain = randomBytes(20000, 3, 64);
        const QByteArray good = LzhufTestEncoder::container("_MF3", plain);
        QTest::newRow("MF5 of 1000 bytes") << LzhufTestEncoder::container("_MF5", "abc").left(1000) << false;
        QTest::newRow("MF3 shorter than header") << good.left(400) << false;
        QByteArray zero = good;
        zero.replace(512, 4, QByteArray(4, '\0'));
        QTest::newRow("decoded length 0") << zero << false;
        QByteArray huge = good;
        huge.replace(512, 4, QByteArray("\x01\x00\x10\x00", 4));
        QTest::newRow("decoded length above buffer") << huge << false;
        QByteArray longer = good;
        const quint32 claimed = quint32(plain.size()) + 4352;
        for (int i = 0; i < 4; ++i)
            longer[512 + i] = char(claimed >> (8 * i));
        QTest::newRow("claims more than stored") << longer << false;
        QTest::newRow("truncated stream") << good.left(good.size() - 200) << false;
        QTest::newRow("payload of noise") << QByteArray("_MF4") + QByteArray(508, '\0') +
                                                  QByteArray("\x00\x00\x08\x00", 4) + randomBytes(300, 9)
                                           << false;
    }
    void refusals()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, emptyLength);
        SongUnderTest song(file);
        const Decoded d = decode(song);
        QCOMPARE(d.result, 0);
        QCOMPARE(d.dataLength == 0, emptyLength);
    }

    void containers_data()
    {
        QTest::addColumn<QByteArray>("magic");
        QTest::addColumn<QByteArray>("plain");
        QByteArray runs = QByteArray(5000, 'A') + randomBytes(3000, 7) + QByteArray(4000, 'B');
        QByteArray song = smf(0, {}) + "MTrk" + be32(0);
        for (int i = 0; song.size() < 200000; ++i)
            song += QByteArray::fromHex("0090") + char(40 + i % 24) + char(64) +
                    QByteArray::fromHex("6080") + char(40 + i % 24) + char(0);
        QTest::newRow("random 70000 MF3") << QByteArray("_MF3") << randomBytes(70000, 1);
        QTest::newRow("runs MF4") << QByteArray("_MF4") << runs;
        QTest::newRow("midi-like MF5") << QByteArray("_MF5") << song;
    }
    void containers()
    {
        QFETCH(QByteArray, magic);
        QFETCH(QByteArray, plain);
        QByteArray header(1024, '\0');
        memcpy(header.data() + MFX_OFS_TITLE, "Packed", 6);
        const QByteArray file = LzhufTestEncoder::container(magic.constData(), plain, header);
        SongUnderTest song(file);
        const Decoded d = decode(song);
        QCOMPARE(d.result, 1);
        QCOMPARE(d.dataLength, uint32_t(plain.size()));
        QVERIFY(d.data == plain);
        QVERIFY(d.served.startsWith(plain));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(HeaderMFx), 4), magic);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(HeaderMFx) + MFX_OFS_TITLE), QByteArray("Packed"));
    }

    void midiRecords()
    {
        const QByteArray records =
            record(0x3F, QByteArray("\x00\x03", 2)) + QByteArray(1, '\0') +
            record(0x2F, QByteArray("\x05\x00", 2)) + QByteArray(1, '\0') +
            record(0x5F, QByteArray("\x04\x60", 2)) + QByteArray(1, '\0') +
            record(0x4F, QByteArray("\x02\x50", 2)) + QByteArray(1, '\0') +
            trackRecord(2, 1, DB_SOLO, 10, 3, QByteArray("\x00\x05\x07\x00\x00\x00\x01\x00", 8), 3,
                        QByteArray("\x00\x02", 2), 12, 1) + QByteArray(1, '\0') +
            trackRecord(3, 0, DB_MUTE, 20, 0, QByteArray(8, '\0'), 0, QByteArray(2, '\0'), 200, 0) +
            QByteArray(1, '\0') +
            record(0x1E, QByteArray("\x04\x01\x00\x00\x02\x03\x00\x00\x04\x05\x00\x06\x00\x00\x00", 15));
        auto db = freshDb();
        QCOMPARE(loadMid(midiWith(records), db.get()), 1);
        QCOMPARE(db->transpose, int16_t(-3));
        QCOMPARE(db->tempoDelta, int16_t(5));
        QCOMPARE(db->reverbMacro, uint8_t(4));
        QCOMPARE(db->chorusLevel, uint8_t(0x50));

        const DbLayer &l = db->layers[2][1];
        QCOMPARE(l.flags, uint8_t(DB_FLAG_IN_USE | DB_FLAG_PROGRAM_OVERRIDE));
        QCOMPARE(l.muteSolo, DB_SOLO);
        QCOMPARE(l.program, uint8_t(10));
        QCOMPARE(l.bank, uint8_t(3));
        QCOMPARE(l.volume, int16_t(-5));
        QCOMPARE(l.chorus, int16_t(1));
        QCOMPARE(l.transpose, int16_t(-2));
        QCOMPARE(l.insertId, uint8_t(12));
        QCOMPARE(db->layers[3][0].flags, DB_FLAG_IN_USE);
        QCOMPARE(db->layers[3][0].insertId, uint8_t(0));   // 200 is not an effect id
        QCOMPARE(db->anySolo, uint16_t(1));

        // Six offsets in the order CC75, CC73, CC72, CC71, CC74, CC66.
        const int16_t expected[NUM_CC_OFFSETS] = {1, -2, 3, -4, 5, 6};
        for (int i = 0; i < NUM_CC_OFFSETS; ++i)
            QCOMPARE(db->ccOffsets[4][0][i], expected[i]);
    }

    // Bytes that look like a record inside other events are no record: a
    // running-status pitch bend whose delta time is F0 0B, a text, another
    // maker's SysEx. Of two records of one kind the later counts, wherever
    // each stands (the editor makes them one set again).
    void recordsOnlyAsEvents()
    {
        const QByteArray hidden = record(0x3F, QByteArray("\x07\x00", 2));
        const QByteArray events = QByteArray("\x00\xE0\x00\x40", 4) +
                                  QByteArray("\xF0\x0B\x00\x20\x24\x00\x3F\x05\x00\x40", 10) +
                                  QByteArray("\x00\xFF\x01", 3) + char(hidden.size()) + hidden +
                                  QByteArray("\x00\xF0", 2) + char(hidden.size() + 2) + QByteArray("\x43\x10", 2) + hidden;
        auto db = freshDb();
        db->transpose = 0;
        QCOMPARE(loadMid(smf(0, {events + EOT}), db.get()), 1);
        QCOMPARE(db->transpose, int16_t(0));

        const QByteArray two = record(0x3F, QByteArray("\x00\x02", 2)) + QByteArray(1, '\0') +
                               record(0x3F, QByteArray("\x04\x00", 2)) + QByteArray(1, '\0') +
                               trackRecord(1, 0, 0, 5, 0, QByteArray(8, '\0'), 0, QByteArray(2, '\0'), 0, 0) +
                               QByteArray(1, '\0') +
                               trackRecord(1, 0, 0, 9, 0, QByteArray(8, '\0'), 0, QByteArray(2, '\0'), 0, 0);
        db = freshDb();
        QCOMPARE(loadMid(midiWith(two, events), db.get()), 1);
        QCOMPARE(db->transpose, int16_t(4));
        QCOMPARE(db->layers[1][0].program, uint8_t(9));

        // Wherever a sequencer moved the set, or split it over tracks.
        db = freshDb();
        db->transpose = 0;
        const QByteArray second = QByteArray(1, '\0') + record(0x3F, QByteArray("\x03\x00", 2)) + EOT;
        QCOMPARE(loadMid(smf(1, {EOT, second}), db.get()), 1);
        QCOMPARE(db->transpose, int16_t(3));
        const QByteArray third = QByteArray(1, '\0') + record(0x2F, QByteArray("\x05\x00", 2)) + EOT;
        db = freshDb();
        db->transpose = db->tempoDelta = 0;
        QCOMPARE(loadMid(smf(1, {EOT, second, third}), db.get()), 1);
        QCOMPARE(QList<int>({db->transpose, db->tempoDelta}), QList<int>({3, 5}));
    }

    void containerHeader()
    {
        QByteArray h(int(MFX5_HEADER_SIZE), '\0');
        auto put = [&h](int at, const QByteArray &bytes) { h.replace(at, bytes.size(), bytes); };
        put(0, "_MF5");
        for (int t = 0; t < 16; ++t)
            h[MFX_OFS_TRACKS + 9 * t + 1] = char(0xFF);                   // absent
        put(MFX_OFS_TRACKS + 9 * 1, QByteArray("\x02\x85\x02\xFB\x07\x00\x01\x04\xFE", 9));
        put(MFX_OFS_TRACKS + 9 * 2, QByteArray("\x00\x30\x00\x00\x00\x00\x00\x00\x00", 9));
        put(MFX_OFS_EXTRAS_MARKER, QByteArray("\xAA\x55", 2));
        put(MFX_OFS_REVERB_TYPE, QByteArray("\x04\x40\x02\x30", 4));
        put(MFX_OFS_EXTRAS + 5 * 1, QByteArray("\x01\x02\xFD\x04\x05", 5));
        h[MFX_OFS_SUSTAIN + 1] = char(0xFA);
        put(MFX_OFS_INSERTS, QByteArray("\x12\x23", 2));
        put(MFX_OFS_DELTA_KEY, QByteArray("\xFE\xFF", 2));
        put(MFX_OFS_DELTA_BPM, QByteArray("\x0A\x00", 2));
        put(MFX5_OFS_TRACKS, QByteArray("\x01\x18\x00\x05\x00\x00\x00\x00\x00", 9));
        put(MFX5_OFS_DRUM_MASK, QByteArray("\x01\x02\x00\x00", 4));

        auto db = freshDb();
        QCOMPARE(loadSongSettings_MFx(reinterpret_cast<const uint8_t *>(h.constData()), db.get()), 1);
        QCOMPARE(db->layers[0][0].flags, DB_FLAG_DRUM);                 // absent record, drum bit 0
        QCOMPARE(db->layers[0][0].program, UNSET_BYTE);
        const DbLayer &l = db->layers[1][0];
        QCOMPARE(l.flags, uint8_t(DB_FLAG_IN_USE | DB_FLAG_PROGRAM_OVERRIDE));
        QCOMPARE(l.muteSolo, DB_SOLO);
        QCOMPARE(l.program, uint8_t(5));
        QCOMPARE(l.volume, int16_t(-5));
        QCOMPARE(l.transpose, int16_t(-2));
        QCOMPARE(l.insertId, uint8_t(2));                              // word at 40, low byte
        QCOMPARE(db->layers[2][0].flags, DB_FLAG_IN_USE);
        QCOMPARE(db->layers[2][0].program, uint8_t(0x30));
        QCOMPARE(db->layers[2][0].insertId, uint8_t(3));               // high byte
        QCOMPARE(db->reverbMacro, uint8_t(4));
        QCOMPARE(db->chorusLevel, uint8_t(0x30));
        QCOMPARE(db->ccOffsets[1][0][DB_CC74], int16_t(-3));
        QCOMPARE(db->ccOffsets[1][0][DB_CC66], int16_t(-6));
        QCOMPARE(db->transpose, int16_t(-2));
        QCOMPARE(db->tempoDelta, int16_t(10));
        // Second port block and the drum mask 0x201.
        QCOMPARE(db->layers[16][0].program, uint8_t(0x18));
        QCOMPARE(db->layers[9][0].flags & DB_FLAG_DRUM, DB_FLAG_DRUM);
        QCOMPARE(db->layers[25][0].flags & DB_FLAG_DRUM, 0);
        QCOMPARE(db->layers[25][1].flags & DB_FLAG_DRUM, DB_FLAG_DRUM);
    }
};

VELMAR_TEST(TestMidiLoad)
#include "tst_midiload.moc"
