#include "MfxHeader.h"
#include "SongSettings.h"
#include "testutil.h"

#include <QtTest>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// A maker settings record as the writers store it, from its F0 on.
QByteArray record(uint8_t command, const QByteArray &data)
{
    QByteArray r("\xF0", 1);
    r += char(data.size() + 6);
    r += QByteArray("\x00\x20\x24\x00", 4);
    r += char(command);
    r += data;
    r += char(0xF7);
    return r;
}

QByteArray trackRecord(int slot, int layer, uint8_t mute, uint8_t program, uint8_t bank,
                       QByteArray pairs, uint8_t curve, QByteArray transpose, uint8_t insert,
                       uint8_t override)
{
    QByteArray d;
    d += char(slot);
    d += char(mute);
    d += char(program);
    d += char(bank);
    d += pairs;                 // volume, pan, reverb, chorus as signed pairs
    d += char(curve);
    d += transpose;
    d += char(insert);
    d += char(0);
    d += char(override);
    d += char(layer);
    d += QByteArray(2, '\0');
    return record(0x1F, d);
}

// Maker records behind a MIDI head; padding keeps them clear of the scan's end.
QByteArray midiWith(const QByteArray &records, int padding = 64)
{
    QByteArray f("MThd\0\0\0\6\0\0\0\1\1\xE0MTrk\0\0\0\0", 22);
    f += char(0);
    f += records;
    f += QByteArray(padding, '\0');
    return f;
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

class TestSongSettings : public QObject
{
    Q_OBJECT
private slots:
    void resetState()
    {
        auto db = freshDb();
        QCOMPARE(db->transpose, int16_t(0x3333));    // left as it was
        QCOMPARE(db->reverbMacro, UNSET_BYTE);
        QCOMPARE(db->chorusLevel, UNSET_BYTE);
        QCOMPARE(db->layers[25][0].flags, DB_FLAG_DRUM);
        // A file without maker records leaves the reset state.
        auto other = freshDb();
        QCOMPARE(loadMid(midiWith(QByteArray("\xF0\x05\x7E\x7F\x09\x01\xF7", 7)), other.get()), 1);
        QCOMPARE(memcmp(db.get(), other.get(), sizeof(Db)), 0);
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

    void scanStopsNearEnd()
    {
        // A solo, then a GM reset within the last 28 bytes of the file.
        const QByteArray records =
            trackRecord(5, 0, DB_SOLO, 1, 0, QByteArray(8, '\0'), 0, QByteArray(2, '\0'), 0, 0) +
            QByteArray("\x00\xF0\x05\x7E\x7F\x09\x01\xF7", 8) + record(0x3F, QByteArray("\x00\x03", 2));
        auto db = freshDb();
        QCOMPARE(loadMid(midiWith(records, 4), db.get()), 0);
        QCOMPARE(db->layers[5][0].muteSolo, DB_SOLO);
        QCOMPARE(db->anySolo, uint16_t(1));
        QCOMPARE(db->transpose, int16_t(0x3333));
    }

    void onlyScanWindow()
    {
        const QByteArray late = QByteArray(int(SETTINGS_SCAN_LIMIT) + 8, '\0') +
                                record(0x3F, QByteArray("\x05\x00", 2)) + QByteArray(40, '\0');
        auto db = freshDb();
        QCOMPARE(loadMid(midiWith(late), db.get()), 1);
        QCOMPARE(db->transpose, int16_t(0x3333));
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

        // Without the extras marker the macros and controller offsets stay unset.
        put(MFX_OFS_EXTRAS_MARKER, QByteArray(2, '\0'));
        put(0, "_MF3");
        auto plain = freshDb();
        loadSongSettings_MFx(reinterpret_cast<const uint8_t *>(h.constData()), plain.get());
        QCOMPARE(plain->reverbMacro, UNSET_BYTE);
        QCOMPARE(plain->ccOffsets[1][0][DB_CC73], int16_t(0));
        QCOMPARE(plain->layers[16][0].program, UNSET_BYTE);
        QCOMPARE(plain->layers[25][0].flags & DB_FLAG_DRUM, DB_FLAG_DRUM);
    }

    void paramBlock()
    {
        const QByteArray records =
            trackRecord(1, 0, 0, 1, 0, QByteArray(8, '\0'), 0, QByteArray(2, '\0'), 0, 0) +
            QByteArray(1, '\0') + record(0x2F, QByteArray("\x01\x00", 2)) + QByteArray(1, '\0') +
            record(0x1E, QByteArray(15, '\0')) + QByteArray("\x00\xF0\x05\x7E\x7F\x09\x01\xF7", 8);
        const QByteArray file = midiWith(records);
        uint16_t start = 0, size = 0;
        QCOMPARE(searchParamEvent(reinterpret_cast<const uint8_t *>(file.constData()), int(file.size()),
                                  &start, &size), 1);
        QCOMPARE(int(start), 22);
        QCOMPARE(int(size), 30 + 11 + 24);
        const QByteArray none = midiWith(QByteArray("\xF0\x05\x7E\x7F\x09\x01\xF7", 7));
        QCOMPARE(searchParamEvent(reinterpret_cast<const uint8_t *>(none.constData()), int(none.size()),
                                  &start, &size), 0);
        QCOMPARE(int(start), 22);
        QCOMPARE(int(size), 0);
    }

    void barInfoFirstValues()
    {
        std::unique_ptr<MidiInfos> infos(new MidiInfos);
        memset(infos.get(), 0xFF, sizeof(MidiInfos));
        infos->barInfoCount = 3;
        infos->barInfo[0].slot = 4;
        infos->barInfo[0].program = 12;
        infos->barInfo[1].slot = 5;
        infos->barInfo[1].bank = 9;
        infos->barInfo[2].slot = 4;
        infos->barInfo[2].program = 13;
        infos->barInfo[2].bank = 8;
        infos->barInfo[2].cc66 = 70;
        uint8_t out[BAR_INFO_GEN_EDIT_SIZE];
        QCOMPARE(findBarInfoGenEdit(4, out, infos.get()), -1);
        QCOMPARE(out[0], uint8_t(8));
        QCOMPARE(out[1], uint8_t(12));
        QCOMPARE(out[11], uint8_t(70));
        QCOMPARE(out[21], UNSET_BYTE);
    }
};

VELMAR_TEST(TestSongSettings)
#include "tst_songsettings.moc"
