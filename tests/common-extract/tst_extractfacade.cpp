#include "Extract.h"
#include "loadedsong.h"
#include "mp3fixtures.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

MARKER_EV marker(const QByteArray &name, uint32_t time)
{
    MARKER_EV m;
    std::memset(&m, 0, sizeof m);
    std::memcpy(m.name, name.constData(), size_t(std::min<qsizetype>(name.size(), MARKER_NAME_SIZE)));
    m.time = time;
    return m;
}

} // namespace

class TestExtractFacade : public QObject
{
    Q_OBJECT
private slots:
    void textToMarkers()
    {
        QList<MARKER_EV> out{marker("old", 1)};
        const QByteArray text = "[01:02.03]Chorus\r\nno stamp\r\n[00:10:50]" + QByteArray(20, 'B') +
                                "\r\n[00:20.00]Caf\xc3\xa9\r\n[00:30.00]Last without line end";
        QCOMPARE(Extract::ConvMarkersFromDataStrToEvents(text, out), 3);
        QCOMPARE(QByteArray(out[0].name), QByteArray("Chorus"));
        QCOMPARE(out[0].time, 6203u);
        QCOMPARE(out[0].bar, uint16_t(62));
        QCOMPARE(QByteArray(out[1].name), QByteArray(15, 'B'));
        QCOMPARE(out[1].time, 1050u);
        QCOMPARE(out[1].bar, uint16_t(11));
        QCOMPARE(QByteArray(out[2].name), QByteArray("Caf\xe9"));

        // Written back, the lines read the same.
        QByteArray again;
        Extract::ConvMarkersFromEventsToDataStr(out, again);
        QList<MARKER_EV> back;
        QCOMPARE(Extract::ConvMarkersFromDataStrToEvents(again, back), 3);
        QCOMPARE(back[1].time, 1050u);
    }

    void accessors()
    {
        auto infos = std::make_unique<MidiInfos>();
        auto mfi = std::make_unique<Mfi>();
        std::memset(infos.get(), 0, sizeof(MidiInfos));
        std::memset(mfi.get(), 0, sizeof(Mfi));
        s_StreamData sd{};
        sd.midiInfos = infos.get();
        sd.mfi = mfi.get();
        mfi->tpqn = 480;
        const QByteArray file = Mp3Fixtures::id3Tag(
            Mp3Fixtures::ownBlock("LYRICS", "[00:01.00]One\r\n[00:02.00]Two\r\n") +
            Mp3Fixtures::ownBlock("CHORDS", "[00:01.00]Am\r\n"));
        QCOMPARE(Extract::Mp3TextFindType(&sd, reinterpret_cast<const uint8_t *>(file.constData()),
                                          file.size(), MP3_TRAILING_TAIL_LENGTH), 1);
        QCOMPARE(Extract::GetNumTextLines(&sd), 2);
        QCOMPARE(QByteArray(Extract::GetTextLineStructItem(&sd, 1)->text), QByteArray("Two"));
        QVERIFY(!Extract::GetTextLineStructItem(&sd, 2));
        QCOMPARE(Extract::GetNumChordEvent(&sd), 1);
        QCOMPARE(Extract::GetChordsEventStructItem(&sd, 0)->tick, 100u);
        QVERIFY(!Extract::GetChordsEventStructItem(&sd, -1));
        QVERIFY(!Extract::GetChordsEventStructItem(&sd, 1));
        QVERIFY(!Extract::GetSylEventStructItem(&sd, 0));
        QVERIFY(!Extract::GetBarBeatStructItem(-1));
        QVERIFY(!Extract::GetBarBeatStructItem(MAX_BAR_BEAT_POS));
        QVERIFY(!Extract::GetTextLineStructItem(nullptr, 0));
    }

    void transposeAndTranslate_data()
    {
        QTest::addColumn<QByteArray>("chord");
        QTest::addColumn<int>("semitones");
        QTest::addColumn<int>("notation");
        QTest::addColumn<QByteArray>("result");
        QTest::newRow("italian, not cut") << QByteArray("C#m7/G#") << 0 << 0 << QByteArray("Do#m7/Sol#");
        QTest::newRow("key in italian") << QByteArray("Bbm") << 2 << 0 << QByteArray("Dom");
        QTest::newRow("long name") << QByteArray("Gbmaj7(b5)add9/Db add11") << 1 << 0
                                   << QByteArray("Solmaj7(b5)add9/Re add11");
        QTest::newRow("no chord") << QByteArray("N.C.") << 3 << 0 << QByteArray("N.C.");
    }
    void transposeAndTranslate()
    {
        QFETCH(QByteArray, chord);
        QFETCH(int, semitones);
        QFETCH(int, notation);
        QFETCH(QByteArray, result);
        char buffer[EXTRACT_CHORD_BUFFER_SIZE] = {};
        std::memcpy(buffer, chord.constData(), size_t(chord.size()));
        Extract::TransposeAndTraslateChord(buffer, semitones, notation);
        QCOMPARE(QByteArray(buffer), result);
    }
};

VELMAR_TEST(TestExtractFacade)
#include "tst_extractfacade.moc"
