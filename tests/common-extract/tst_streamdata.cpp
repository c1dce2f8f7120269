#include "StreamData.h"
#include "testutil.h"

#include <QtTest>
#include <memory>

class TestStreamData : public QObject
{
    Q_OBJECT
private slots:
    void bindZeroesAndLinks()
    {
        // Heap: MidiInfos is far too big for the stack.
        auto infos = std::make_unique<MidiInfos>();
        auto stream = std::make_unique<MidiStream>();
        auto mfi = std::make_unique<Mfi>();
        auto db = std::make_unique<Db>();
        auto buffer = std::make_unique<uint8_t[]>(EVENT_BUFFER_SIZE);
        SONG_INFO info{};
        memset(infos.get(), 0x5A, sizeof(MidiInfos));
        memset(stream.get(), 0x5A, sizeof(MidiStream));
        memset(mfi.get(), 0x5A, sizeof(Mfi));
        memset(db.get(), 0x5A, sizeof(Db));

        s_StreamData sd;
        memset(&sd, 0x5A, sizeof sd);
        bindStreamData(&sd, &info, buffer.get(), stream.get(), infos.get(), mfi.get(), db.get(), 1);

        QCOMPARE(sd.info, &info);
        QCOMPARE(sd.slotFlag, uint8_t(1));
        QCOMPARE(sd.eventBuffer, buffer.get());
        QCOMPARE(sd.streamLength, 0);
        QCOMPARE(stream->port, NO_PORT);
        QCOMPARE(stream->db, db.get());
        QCOMPARE(infos->db, db.get());
        QCOMPARE(mfi->buffer, buffer.get());
        QCOMPARE(infos->textRowCount, int16_t(0));
        QCOMPARE(infos->activity[31][3][999], uint8_t(0));
        QCOMPARE(db->layers[31][3].flags, uint8_t(0));

        stream->fileType = FILE_TYPE_MF5;
        infos->textRowCount = 12;
        zeroStreamRecords(&sd);
        QCOMPARE(stream->fileType, 0u);
        QCOMPARE(infos->textRowCount, int16_t(0));
        QCOMPARE(stream->port, NO_PORT);
        QCOMPARE(infos->db, db.get());
        QCOMPARE(mfi->buffer, buffer.get());
    }
};

VELMAR_TEST(TestStreamData)
#include "tst_streamdata.moc"
