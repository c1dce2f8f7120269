#include "ExtractLock.h"
#include "LzhufTestEncoder.h"
#include "MidiLoad.h"
#include "testutil.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>

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
    int sectors = 0;
    uint32_t lastValid = 0;
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
        ++d.sectors;
        d.lastValid = ByteDecoded;
        if (isEOF)
            break;
        LoadSmf0Sector(&song.sd);
    }
    return d;
}

QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (24 - 8 * i));
    return b;
}

QByteArray smf(int format, const QList<QByteArray> &tracks, int division = 480, int count = -1)
{
    QByteArray f("MThd\0\0\0\6", 8);
    f += char(0);
    f += char(format);
    const int n = count >= 0 ? count : int(tracks.size());
    f += char(n >> 8);
    f += char(n & 0xFF);
    f += char(division >> 8);
    f += char(division & 0xFF);
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
        for (const char *n : {"merge_two", "merge_ties", "merge_sixteen", "merge_many",
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
        const QByteArray report = TestUtil::runPython("common-extract/gen_merge.py", {"compare", original, out});
        QVERIFY2(report.startsWith("same"), report.constData());
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
        QList<QByteArray> many;
        for (int i = 0; i < 33; ++i)
            many << EOT;
        QTest::newRow("33 tracks") << smf(1, many) << true;
        QByteArray noMTrk = smf(1, {note});
        noMTrk[17] = 'x';
        QTest::newRow("missing MTrk") << noMTrk << true;
        QByteArray overrun = smf(1, {note, note});
        overrun[18 + 3 + 8 + note.size()] = char(note.size() + 5);
        QTest::newRow("chunk overruns file") << overrun << true;
        QTest::newRow("more tracks than chunks") << smf(1, {note}, 480, 2) << true;
        QTest::newRow("data byte without status")
            << smf(1, {QByteArray("\x00\x3C\x40", 3) + EOT}) << true;
        QTest::newRow("sysex past track end")
            << smf(1, {QByteArray("\x00\xF0\x7F\x01\x02", 5), note}) << true;
        QTest::newRow("meta cut") << smf(1, {QByteArray("\x00\xFF", 2), note}) << true;
        QTest::newRow("note cut") << smf(1, {QByteArray("\x00\x90\x3C", 3), note}) << true;
        QTest::newRow("no events") << smf(1, {EOT, EOT}) << true;
        QTest::newRow("shorter than a head") << QByteArray("MThd\0\0\0\6\0\1\0\1", 12) << true;
        QTest::newRow("format 2") << smf(2, {note, note}) << false;
        QTest::newRow("unknown type") << QByteArray("RIFF") + QByteArray(60, '\0') << false;
        QTest::newRow("ID3 type") << QByteArray("ID3") + QByteArray(600, '\0') << false;
        // 150,000 four-byte notes merge to more than the stream can hold.
        QByteArray big;
        for (int i = 0; i < 150000; ++i)
            big += QByteArray("\x00\x90\x3C\x40", 4);
        QTest::newRow("merged too long") << smf(1, {big + EOT}) << false;
        const QByteArray plain = randomBytes(20000, 3, 64);
        const QByteArray good = LzhufTestEncoder::container("_MF3", plain);
        QTest::newRow("MF5 of 1000 bytes") << LzhufTestEncoder::container("_MF5", "abc").left(1000) << false;
        QTest::newRow("MF3 shorter than header") << good.left(400) << false;
        QTest::newRow("no length") << good.left(514) << false;
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

    void emptySong()
    {
        SongUnderTest song(QByteArray("MThd"));
        song.infos->dataLength = 0;
        const Decoded d = decode(song);
        QCOMPARE(d.result, 0);
        QCOMPARE(d.dataLength, 0u);
    }

    void outputLimit()
    {
        const QByteArray file = smf(1, {QByteArray("\x00\x90\x3C\x40\x00\x3E\x40", 7) + EOT});
        std::vector<uint8_t> src(file.begin(), file.end());
        std::vector<uint8_t> dst(64);
        ExtractLocker lock;
        QCOMPARE(convertiMidi1(src.data(), dst.data(), int(src.size()), 30), 0u);
        QCOMPARE(convertiMidi1(src.data(), dst.data(), int(src.size()), 34), 34u);
        QCOMPARE(convertiMidi1(src.data(), dst.data(), int(src.size()), 33), 0u);
    }

    // Sector serving over an exact-size format-0 song.
    void sectors_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("sectors");
        QTest::addColumn<int>("lastValid");
        QTest::addColumn<bool>("endOfTrack");
        QTest::newRow("1000") << 1000 << 2 << 492 << true;
        QTest::newRow("1021") << 1021 << 2 << 509 << false;
        QTest::newRow("1020") << 1020 << 2 << 512 << true;
        QTest::newRow("30") << 30 << 1 << 34 << true;
    }
    void sectors()
    {
        QFETCH(int, length);
        QFETCH(int, sectors);
        QFETCH(int, lastValid);
        QFETCH(bool, endOfTrack);
        QByteArray file = smf(0, {}) + "MTrk" + be32(quint32(length - 22));
        file += randomBytes(length - file.size(), quint32(length), 128);
        SongUnderTest song(file);
        const Decoded d = decode(song);
        QCOMPARE(d.result, 1);
        QCOMPARE(d.sectors, sectors);
        QCOMPARE(int(d.lastValid), lastValid);
        QCOMPARE(d.served.left(length), file);
        QCOMPARE(d.served.size() - length == 4, endOfTrack);
        if (endOfTrack)
            QCOMPARE(d.served.right(4), EOT);
        ExtractLocker lock;
        QCOMPARE(LoadSmf0Sector(&song.sd), 1);
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
};

VELMAR_TEST(TestMidiLoad)
#include "tst_midiload.moc"
