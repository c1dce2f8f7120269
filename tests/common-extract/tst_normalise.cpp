// Beat grid, rewrites, tables and end codes of the play-mode normaliser.
#include "LzhufTestEncoder.h"
#include "normalise_util.h"
#include "testutil.h"

#include <QtTest>

namespace {

// The grid points of a stream as "bar@tick:n", "beat@tick:n", "half@tick:n".
QString gridText(const QVector<StreamEvent> &events)
{
    QStringList parts;
    for (const StreamEvent &e : events) {
        const int s = uint8_t(e.bytes[0]);
        const char *name = s == EXTRACT_EV_BAR ? "bar" : s == EXTRACT_EV_BEAT ? "beat" : "half";
        if (s == EXTRACT_EV_BAR || s == EXTRACT_EV_BEAT || s == EXTRACT_EV_HALF_BEAT)
            parts << QStringLiteral("%1@%2:%3").arg(QLatin1String(name)).arg(e.tick).arg(uint8_t(e.bytes[1]) | uint8_t(e.bytes[2]) << 7);
    }
    return parts.join(QLatin1Char(' '));
}

// A note every quarter note (480 ticks) of the given length, after an optional time signature.
QByteArray gridSong(int nn, int dd, int quarters)
{
    SmfTrack t;
    if (nn)
        t.meta(0, 0x58, hexBytes({nn, dd, 24, 8}));
    for (int i = 0; i < quarters; ++i)
        t.ev(i ? 1 : 0, {0x90, 60, 100}).ev(479, {0x80, 60, 0});
    return smf0(480, t.end(1));
}

QVector<StreamEvent> runAndParse(LoadedSong &s, const QByteArray &file, int flags = EXTRACT_PLAY_MODE)
{
    const int length = s.normalise(file, flags);
    if (length <= 0)
        return {};
    QString error;
    const QVector<StreamEvent> ev =
        parseStream(s.output(length), EXTRACT_HEAD_SIZE, flags == EXTRACT_PLAY_MODE, &error);
    if (!error.isEmpty())
        qWarning("%s", qPrintable(error));
    return ev;
}

} // namespace

class TestNormalise : public QObject
{
    Q_OBJECT
private slots:
    // Bars and beats fall where a musician counts them.
    void beatGrid_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected");
        // 4/4: half beats between beats, a bar every 1920 ticks.
        QTest::newRow("no signature is 4/4") << gridSong(0, 0, 4)
                                             << "half@240:0 beat@480:1 half@720:1 beat@960:2 half@1200:2 "
                                                "beat@1440:3 half@1680:3 bar@1920:1";
        // 6/8: eighth-note beats with sixteenth halves; bar of 1440 ticks.
        QTest::newRow("6/8") << gridSong(6, 3, 3)
                             << "half@120:0 beat@240:1 half@360:1 beat@480:2 half@600:2 beat@720:3 "
                                "half@840:3 beat@960:4 half@1080:4 beat@1200:5 half@1320:5 bar@1440:1";
        // 2/2: two half-note beats, no half beats; bar of 1920 ticks.
        QTest::newRow("2/2") << gridSong(2, 1, 8) << "beat@960:1 bar@1920:1 beat@2880:1 bar@3840:2";

        // Two bars of 4/4, then 3/4 from bar 2 on.
        SmfTrack t;
        t.meta(0, 0x58, hexBytes({4, 2, 24, 8}));
        t.ev(0, {0x90, 60, 100}).ev(3840, {0x80, 60, 0});
        t.meta(0, 0x58, hexBytes({3, 2, 24, 8}));
        t.ev(0, {0x90, 62, 100}).ev(2880, {0x80, 62, 0});
        QTest::newRow("4/4 then 3/4") << smf0(480, t.end())
                                      << "half@240:0 beat@480:1 half@720:1 beat@960:2 half@1200:2 beat@1440:3 "
                                         "half@1680:3 bar@1920:1 half@2160:0 beat@2400:1 half@2640:1 beat@2880:2 "
                                         "half@3120:2 beat@3360:3 half@3600:3 bar@3840:2 half@4080:0 beat@4320:1 "
                                         "half@4560:1 beat@4800:2 half@5040:2 bar@5280:3 half@5520:0 beat@5760:1 "
                                         "half@6000:1 beat@6240:2 half@6480:2 bar@6720:4";
    }
    void beatGrid()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        LoadedSong s;
        const QVector<StreamEvent> events = runAndParse(s, file);
        QVERIFY(!events.isEmpty());
        QCOMPARE(gridText(events), expected);
    }

    // What play mode writes for what it reads.
    void rewrites_data()
    {
        QTest::addColumn<QByteArray>("event");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("note on vel 0") << hexBytes({0x93, 60, 0}) << hexBytes({0x83, 60, 0});
        QTest::newRow("poly pressure") << hexBytes({0xA3, 60, 10}) << QByteArray();
        QByteArray big(129, 0x11);
        big[128] = char(0xF7);
        QTest::newRow("sysex 130") << (hexBytes({0xF0, 0x81, 0x01}) + big) << QByteArray();
        QByteArray small(20, 0x12);
        small[19] = char(0xF7);
        QTest::newRow("sysex 20") << (hexBytes({0xF0, 20}) + small) << (hexBytes({0xF0, 20}) + small);
        QTest::newRow("instrument name") << (hexBytes({0xFF, 0x04, 3}) + "Sax") << QByteArray();
        QTest::newRow("time signature") << hexBytes({0xFF, 0x58, 4, 3, 2, 24, 8}) << QByteArray();
        QTest::newRow("tempo 0") << hexBytes({0xFF, 0x51, 3, 0, 0, 0}) << QByteArray();
        QTest::newRow("port in a MIDI file") << hexBytes({0xF5, 2}) << QByteArray();
        QTest::newRow("escape") << hexBytes({0xF7, 3, 0xF3, 1, 0xF7}) << QByteArray();
        QTest::newRow("running status") << hexBytes({0x91, 60, 100, 0, 62, 100})
                                        << hexBytes({0x91, 60, 100, 0, 0x91, 62, 100});
    }
    void rewrites()
    {
        QFETCH(QByteArray, event);
        QFETCH(QByteArray, written);
        SmfTrack t;
        t.bytes = hexBytes({0x00, 0xC0, 5, 0x00}) + event;
        t.end();
        LoadedSong s;
        const int length = s.normalise(smf0(480, t));
        QVERIFY2(length > 0, qPrintable(QString::number(getLoadingError())));
        const QByteArray body = s.output(length).mid(EXTRACT_HEAD_SIZE + 3);
        QCOMPARE(body.toHex(' '), (QByteArray(written.isEmpty() ? "" : "\x00", written.isEmpty() ? 0 : 1) +
                                   written + hexBytes({0x00, 0xFF, 0x2F, 0x00})).toHex(' '));
    }

    // GS NRPN data entry becomes the controller the engine knows.
    void nrpn()
    {
        SmfTrack t;
        t.ev(0, {0xB2, 99, 1}).ev(0, {0xB2, 98, 32}).ev(0, {0xB2, 6, 90});
        t.ev(0, {0xB2, 99, 1}).ev(0, {0xB2, 98, 102}).ev(0, {0xB2, 6, 80});
        t.ev(0, {0xB2, 99, 1}).ev(0, {0xB2, 98, 55}).ev(0, {0xB2, 6, 70});
        // An RPN (bend range) after the NRPN is RPN data entry.
        t.ev(0, {0xB2, 101, 0}).ev(0, {0xB2, 100, 0}).ev(0, {0xB2, 6, 12});
        LoadedSong s;
        const QVector<StreamEvent> ev = withoutGrid(runAndParse(s, smf0(480, t.end())));
        QCOMPARE(ev.size(), 13);
        QCOMPARE(ev[2].bytes, hexBytes({0xB2, 74, 90}));
        QCOMPARE(ev[5].bytes, hexBytes({0xB2, 72, 80}));
        QCOMPARE(ev[8].bytes, hexBytes({0xB2, 6, 70}));
        QCOMPARE(ev[11].bytes, hexBytes({0xB2, 6, 12}));
        QCOMPARE(s.infos->barInfo[0].cc74, uint8_t(90));
        QCOMPARE(s.infos->barInfo[0].cc72, uint8_t(80));
        // Bars 0 and 1 feed the setup list: 98, 6, 98, 6, 101, 100, 6 (not the rewritten ones).
        QCOMPARE(int(s.infos->setupList[0].count), 7 * 4);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(s.infos->setupList[0].data), 8),
                 hexBytes({3, 0xB2, 98, 32, 3, 0xB2, 98, 102}));
    }

    void errors_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("code");
        auto song = [](const QByteArray &events) {
            SmfTrack t;
            t.bytes = events;
            return smf0(480, t);
        };
        const QByteArray eot = hexBytes({0, 0xFF, 0x2F, 0});
        QTest::newRow("empty") << QByteArray() << 4;
        QByteArray zero = song(hexBytes({0, 0x90, 60, 100}) + eot);
        zero[12] = 0;
        zero[13] = 0;
        QTest::newRow("division 0") << zero << 12;
        QByteArray smpte = zero;
        smpte[12] = char(0xE7);
        smpte[13] = 40;
        QTest::newRow("SMPTE division") << smpte << 12;
        QTest::newRow("F2 status") << song(hexBytes({0, 0xF2, 1, 2}) + eot) << 6;
        QTest::newRow("data byte 0x80") << song(hexBytes({0, 0x90, 0x80, 100}) + eot) << 7;
        QTest::newRow("5-byte delta") << song(hexBytes({0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 1}) + eot) << 5;
        // The loader closes a song that has room left in its last sector...
        QTest::newRow("end of track added") << song(hexBytes({0, 0x90, 60, 100, 0, 0x80, 60, 0})) << 0;
        // ...but not one that fills it.
        QByteArray full = hexBytes({0, 0x90, 60, 100});
        for (int i = 0; i < 162; ++i)
            full += hexBytes({0, 60, 100});
        QTest::newRow("no end of track") << song(full) << 2;
        // 10,000 bars: a hundred gaps of 100 bars.
        QByteArray bars;
        for (int i = 0; i < 100; ++i)
            bars += SmfTrack::vlq(192000) + hexBytes({0x90, 60, 100});
        QTest::newRow("10000 bars") << song(bars + eot) << 10;
        // The tempo table fills up; the song still loads with every change.
        QByteArray tempos;
        for (int i = 0; i < 400; ++i)
            tempos += SmfTrack::vlq(i ? 1920 : 0) + hexBytes({0xFF, 0x51, 3, 0x07, 0xA1, 0x20 + (i & 1)});
        QTest::newRow("400 tempo bars") << song(tempos + eot) << 0;
        // 16,900,000 SysEx bytes pass the limit of the stream, the song's
        // and the engine's event buffer.
        QByteArray sysex;
        const QByteArray one = hexBytes({0, 0xF0, 126}) + QByteArray(125, 0x11) + char(0xF7);
        sysex.reserve(131000 * one.size());
        for (int i = 0; i < 131000; ++i)
            sysex += one;
        QTest::newRow("overflow") << song(sysex + eot) << 14;
        QByteArray head = song(eot);
        head[4 + 3] = 8;
        // The track is looked for behind the 8 bytes announced, and not found.
        QTest::newRow("header length 8") << head << 4;
        QTest::newRow("not MIDI") << QByteArray("RIFF1234567890123456789012345") << 13;
    }
    void errors()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, code);
        LoadedSong s;
        const int length = s.normalise(file);
        QCOMPARE(getLoadingError(), code);
        QCOMPARE(length > 0, code == 0);
        QVERIFY(!isDecoding());
    }

    // The tempo table: 120 until the song says otherwise, one entry a change.
    void tempoTable()
    {
        SmfTrack t;
        t.ev(0, {0x90, 60, 100});
        t.meta(1920, 0x51, hexBytes({0, 0, 0}));                 // ignored
        t.meta(0, 0x51, hexBytes({0x07, 0xA1, 0x20}));           // 120: nothing new
        t.meta(1920, 0x51, hexBytes({0x09, 0x27, 0xC0}));        // 100 in bar 2
        t.meta(100, 0x51, hexBytes({0x06, 0x1A, 0x80}));         // 150 replaces it
        t.meta(1920, 0x51, hexBytes({0x06, 0x1A, 0x80}));        // same: nothing
        t.meta(1920, 0x51, hexBytes({0x00, 0x01, 0x00}));        // 234,375 BPM held at 65535
        LoadedSong s;
        QVERIFY(s.normalise(smf0(480, t.end())) > 0);
        QCOMPARE(int(s.infos->tempoCount), 3);
        QCOMPARE(int(s.infos->tempoTable[0].bar), 0);
        QCOMPARE(int(s.infos->tempoTable[0].bpm), 120);
        QCOMPARE(int(s.infos->tempoTable[1].bar), 2);
        QCOMPARE(int(s.infos->tempoTable[1].bpm), 150);
        QCOMPARE(int(s.infos->tempoTable[2].bar), 4);
        QCOMPARE(int(s.infos->tempoTable[2].bpm), 65535);

        // Without a time signature a bar is four beats of the song's own
        // quarter note: at 384 ticks the tempo change of bar 2 falls at 3072.
        LoadedSong slow;
        SmfTrack st;
        st.ev(0, {0x90, 60, 100}).meta(3072, 0x51, hexBytes({0x0F, 0x42, 0x40}));
        QVERIFY(slow.normalise(smf0(384, st.ev(0, {0x80, 60, 0}).end(3840))) > 0);
        QCOMPARE(int(slow.infos->tempoTable[1].bar), 2);
        QCOMPARE(msAtTick(3072 + 384, &slow.sd), 5000u);
    }

    // A count-in: the dry pass finds the first bar that sounds, the real pass
    // puts the count-in bars in front of the song.
    void countIn_data()
    {
        QTest::addColumn<int>("firstBar");
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("bars");
        QTest::newRow("note in bar 0") << 0 << 2 << 2;
        QTest::newRow("note in bar 2") << 2 << 2 << 0;
        QTest::newRow("none asked") << 0 << 0 << 0;
    }
    void countIn()
    {
        QFETCH(int, firstBar);
        QFETCH(int, requested);
        QFETCH(int, bars);
        SmfTrack t;
        t.meta(0, 0x58, hexBytes({4, 2, 24, 8}));
        t.ev(0, {0x99, 36, 100});                               // drums do not count
        t.ev(uint32_t(firstBar * 1920), {0x90, 60, 100}).ev(480, {0x80, 60, 0});
        const QByteArray file = smf0(480, t.end());
        LoadedSong s;
        s.buffer[0] = 0xEE;
        QVERIFY(s.normalise(file, EXTRACT_PLAY_MODE, 1) > 0);
        QCOMPARE(s.buffer[0], uint8_t(0xEE));                   // a dry run stores nothing
        _calculate_MIDI_precount(&s.sd, requested < 1, requested, -1);
        const QVector<StreamEvent> ev = withoutGrid(runAndParse(s, file));
        QCOMPARE(int(s.infos->precountBars), bars);
        QCOMPARE(ev[1].tick, uint32_t((firstBar + bars) * 1920));
        // One-shot: the next run plays without it.
        const QVector<StreamEvent> again = withoutGrid(runAndParse(s, file));
        QCOMPARE(again[1].tick, uint32_t(firstBar * 1920));
    }

    // Container payloads: no note-off velocity, the MF4 head of 25 bytes,
    // port selects in MF5 songs, the container form of maker chords.
    void containers_data()
    {
        QTest::addColumn<QByteArray>("magic");
        QTest::addColumn<int>("headSize");
        QTest::addColumn<bool>("portKept");
        QTest::newRow("MF3") << QByteArray("_MF3") << EXTRACT_HEAD_SIZE << false;
        QTest::newRow("MF4") << QByteArray("_MF4") << EXTRACT_HEAD_SIZE_MF4 << false;
        QTest::newRow("MF5") << QByteArray("_MF5") << EXTRACT_HEAD_SIZE << true;
    }
    void containers()
    {
        QFETCH(QByteArray, magic);
        QFETCH(int, headSize);
        QFETCH(bool, portKept);
        QByteArray events = hexBytes({0, 0xC1, 7, 0, 0x91, 60, 100, 100, 0x81, 60});
        events += hexBytes({0, 0xF0, 13, 0, 0x20, 0x24, 0, 0x01}) + "xAm7|Cm" + hexBytes({0xF7});
        events += hexBytes({0, 0xF5, 2, 0, 0x92, 64, 90, 10, 0x82, 64, 0, 0xFF, 0x2F, 0});
        QByteArray plain("MThd");
        plain += hexBytes({0, 0, 0, char(headSize - 16), 0, 0, 0, 1, 0, 96});
        plain += QByteArray(headSize - 22, '\0');
        plain += "MTrk" + hexBytes({0, 0, 0, int(events.size())}) + events;
        LoadedSong s;
        const int length = s.normalise(LzhufTestEncoder::container(magic.constData(), plain));
        QVERIFY2(length > 0, qPrintable(QString::number(getLoadingError())));
        const QByteArray out = s.output(length);
        QCOMPARE(out.left(headSize - 8), plain.left(12) + hexBytes({1, 0xE0}) + plain.mid(14, headSize - 22));
        QCOMPARE(int(uint8_t(out[headSize - 2])) << 8 | uint8_t(out[headSize - 1]), length - headSize);
        QString error;
        const QVector<StreamEvent> ev = withoutGrid(parseStream(out, headSize, true, &error));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(ev[2].bytes, hexBytes({0x81, 60, 64}));
        QCOMPARE(ev[2].tick, 500u);
        QCOMPARE(QByteArray(s.infos->chords[0].name), QByteArray("Am7"));
        QCOMPARE(ev[4].bytes.left(2), portKept ? hexBytes({0xF5, 2}) : hexBytes({0x92, 64}));
        QCOMPARE(EXTRACT_GetNoteNum(portKept ? 18 : 2), 1u);
        QCOMPARE(bool(s.stream->flags & STREAM_FLAG_SECOND_PORT), portKept);
        QCOMPARE(int(s.stream->fileType), magic == "_MF3" ? FILE_TYPE_MF3 : magic == "_MF4" ? FILE_TYPE_MF4
                                                                                             : FILE_TYPE_MF5);
    }

    // A port select is no channel message: the running status goes on
    // behind it, as the loader and the engine read it.
    void portSelectKeepsRunningStatus()
    {
        const QByteArray events = hexBytes({0, 0x91, 60, 100, 0, 0xF5, 2, 10, 62, 100, 0, 0xF5, 1, 10, 64, 0,
                                            0, 0xFF, 0x2F, 0});
        QByteArray plain("MThd");
        plain += hexBytes({0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0});
        plain += "MTrk" + hexBytes({0, 0, 0, int(events.size())}) + events;
        LoadedSong s;
        const int length = s.normalise(LzhufTestEncoder::container("_MF5", plain));
        QVERIFY2(length > 0, qPrintable(QString::number(getLoadingError())));
        QString error;
        const QVector<StreamEvent> ev = withoutGrid(parseStream(s.output(length), EXTRACT_HEAD_SIZE, true, &error));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(ev.size(), 6);
        QCOMPARE(ev[2].bytes, hexBytes({0x91, 62, 100}));
        QCOMPARE(ev[4].bytes, hexBytes({0x81, 64, 0}));
        QCOMPARE(EXTRACT_GetNoteNum(1), 1u);
        QCOMPARE(EXTRACT_GetNoteNum(17), 1u);
    }

    // The longest gap and an escape survive a save (long messages: the peer round trip).
    void longValues()
    {
        SmfTrack t;
        t.ev(0, {0x90, 60, 100}).ev(20000, {0x80, 60, 0}).ev(0x0FFFFFF, {0x90, 61, 1});
        t.bytes += hexBytes({0, 0xF7, 3, 0xF3, 1, 0xF7});   // an escape is kept as it is
        LoadedSong s;
        const int length = s.normalise(smf0(480, t.end()), 0);
        QVERIFY2(length > 0, qPrintable(QString::number(getLoadingError())));
        QString error;
        const QVector<StreamEvent> ev = parseStream(s.output(length), EXTRACT_HEAD_SIZE, false, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(ev.size(), 5);
        QCOMPARE(ev[3].bytes, hexBytes({0xF7, 3, 0xF3, 1, 0xF7}));
        QCOMPARE(ev[1].tick, 20000u);
        QCOMPARE(ev[2].tick, 20000u + 0x0FFFFFFu);
        // Scaled past what four bytes hold: refused, not cut short.
        SmfTrack far;
        far.ev(0x0FFFFFFF, {0x90, 60, 1});
        QCOMPARE(s.normalise(smf0(96, far.end()), 0), 0);
        QCOMPARE(getLoadingError(), 5);
    }
};

VELMAR_TEST(TestNormalise)
#include "tst_normalise.moc"
