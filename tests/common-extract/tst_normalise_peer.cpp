// The normalised stream against mido's reading of the same songs, and cut
// mode's output saved and read back by mido.
#include "normalise_util.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray bytesOf(const QJsonArray &a)
{
    QByteArray out;
    for (const QJsonValue &v : a)
        out += char(v.toInt());
    return out;
}

QVector<StreamEvent> toEvents(const QJsonArray &list)
{
    QVector<StreamEvent> out;
    for (const QJsonValue &v : list)
        out.append({uint32_t(v[0].toInt()), bytesOf(v[1].toArray()), 0});
    return out;
}

QByteArray metaData(const QByteArray &b)
{
    int pos = 2;
    while (pos < b.size() && (uint8_t(b[pos]) & 0x80))
        ++pos;
    return b.mid(pos + 1);
}

// What cut mode keeps of a song, by its rules.
QVector<StreamEvent> keptByCut(const QVector<StreamEvent> &song, int flags)
{
    const bool lyrics = flags & EXTRACT_FLAG_LYRICS;
    const bool markers = flags & EXTRACT_FLAG_MARKERS;
    const bool chords = flags & EXTRACT_FLAG_CHORDS;
    QVector<StreamEvent> out;
    bool karaoke = false;
    for (const StreamEvent &m : song) {
        const QByteArray &b = m.bytes;
        const uint8_t s = uint8_t(b[0]);
        bool keep = true;
        if (s == 0xFF) {
            const uint8_t type = uint8_t(b[1]);
            const QByteArray data = metaData(b);
            if (type == 0x01 && !karaoke && data.startsWith('@')) {
                karaoke = true;
                keep = false;
            } else if (type == 0x01 && karaoke) {
                keep = lyrics;
            } else if (type == 0x05) {
                keep = lyrics;
            } else if (type == 0x06 || (type == 0x4B && data.startsWith('\x06'))) {
                keep = markers;
            }
        } else if (s == 0xF0 && b.mid(1, 4) == hexBytes({0, 0x20, 0x24, 0})) {
            const uint8_t cmd = uint8_t(b[5]);
            if (cmd == 0x01)
                keep = chords;
            else if (!QByteArray("\x1E\x1F\x2F\x3F\x4F\x5F\x6F").contains(char(cmd)))
                keep = lyrics;
        } else if (s == 0xB0) {
            const uint8_t ctl = uint8_t(b[1]);
            if (ctl == 6 || ctl == 98 || ctl == 99 || ctl == 100)
                keep = false;
            else if (ctl == 31)
                keep = lyrics;
        }
        if (keep)
            out.append(m);
    }
    return out;
}

QString describe(const StreamEvent &e)
{
    return QStringLiteral("%1:%2").arg(e.tick).arg(QString::fromLatin1(e.bytes.toHex(' ')));
}

} // namespace

class TestNormalisePeer : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QJsonArray m_manifest;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QByteArray json = TestUtil::runPython(QStringLiteral("common-extract/gen_normalise.py"),
                                                    {m_dir.path()});
        m_manifest = QJsonDocument::fromJson(json).array();
        QVERIFY(m_manifest.size() >= 14);
    }

    void corpus_data()
    {
        QTest::addColumn<QJsonObject>("song");
        for (const QJsonValue &v : m_manifest) {
            const QJsonObject o = v.toObject();
            if (o.contains(QStringLiteral("channel")))
                QTest::newRow(qPrintable(o[QStringLiteral("file")].toString())) << o;
        }
    }

    // After dropping the grid points, every channel message stands at mido's
    // tick (scaled to the stream's division) in mido's order; tempos too.
    void corpus()
    {
        QFETCH(QJsonObject, song);
        const QByteArray file =
            TestUtil::readFile(m_dir.filePath(song[QStringLiteral("file")].toString()));
        QVERIFY(!file.isEmpty());
        LoadedSong s;
        const int length = s.normalise(file);
        QVERIFY2(length > 0, qPrintable(QStringLiteral("error %1").arg(getLoadingError())));
        QCOMPARE(getLoadingError(), 0);
        const QByteArray out = s.output(length);

        const int tpqn = song[QStringLiteral("tpqn")].toInt();
        QCOMPARE(int(uint8_t(out[12])) << 8 | uint8_t(out[13]), tpqn);
        QCOMPARE(int(s.mfi->tpqn), tpqn);
        QCOMPARE(s.mfi->streamLength, uint32_t(length));

        QString error;
        const QVector<StreamEvent> all = parseStream(out, EXTRACT_HEAD_SIZE, true, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QVector<StreamEvent> events = withoutGrid(all);

        // Channel messages and tempos as "tick:bytes", mido's and ours.
        QStringList channel, tempos, wantChannel, wantTempos;
        for (const StreamEvent &e : events) {
            const uint8_t st = uint8_t(e.bytes[0]);
            if (st < 0xF0)
                channel << describe(e);
            else if (st == 0xFF && uint8_t(e.bytes[1]) == 0x51)
                tempos << describe(e);
        }
        for (const QJsonValue &v : song[QStringLiteral("channel")].toArray())
            wantChannel << describe({uint32_t(v[0].toInt()), bytesOf(v[1].toArray()), 0});
        for (const QJsonValue &v : song[QStringLiteral("tempos")].toArray()) {
            const int us = v[1].toInt();
            wantTempos << describe({uint32_t(v[0].toInt()), hexBytes({0xFF, 0x51, 3, us >> 16, us >> 8 & 0xFF, us & 0xFF}), 0});
        }
        QCOMPARE(channel, wantChannel);
        QCOMPARE(tempos, wantTempos);

        // The grid: bars count up from 1, each bar table entry points at its A9.
        int bar = 0;
        for (const StreamEvent &e : all) {
            if (uint8_t(e.bytes[0]) != EXTRACT_EV_BAR)
                continue;
            ++bar;
            QCOMPARE(uint8_t(e.bytes[1]) | uint8_t(e.bytes[2]) << 7, bar);
            QCOMPARE(s.infos->barOffsets[bar], e.offset);
            QCOMPARE(s.infos->barTicks[bar], e.tick);
        }
        QCOMPARE(int(s.infos->barCount), bar + 1);
        QCOMPARE(s.infos->barOffsets[0], uint32_t(EXTRACT_HEAD_SIZE));
        QCOMPARE(all.last().bytes, hexBytes({0xFF, 0x2F, 0x00}));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("flags");
        for (const QJsonValue &v : m_manifest) {
            const QString f = v[QStringLiteral("file")].toString();
            QTest::newRow(qPrintable(f + QStringLiteral(" flags 0"))) << f << 0;
            if (f.startsWith(QLatin1String("cut_"))) {
                for (int flags : {1, 2, 4, 3})
                    QTest::newRow(qPrintable(f + QStringLiteral(" flags %1").arg(flags))) << f << flags;
            }
        }
    }

    // Normalise in cut mode, save, read back with mido: the song's events
    // less what the flags cut, at the same ticks; once more changes nothing.
    void roundTrip()
    {
        QFETCH(QString, file);
        QFETCH(int, flags);
        const QString path = m_dir.filePath(file);
        LoadedSong s;
        const int length = s.normalise(TestUtil::readFile(path), flags);
        QVERIFY2(length > 0, qPrintable(QString::number(getLoadingError())));
        const QByteArray cut = s.output(length);
        const QString cutPath = m_dir.filePath(file + QStringLiteral(".cut%1.mid").arg(flags));
        QVERIFY(TestUtil::writeFile(cutPath, cut));

        const QJsonArray dumps = QJsonDocument::fromJson(
            TestUtil::runPython(QStringLiteral("common-extract/gen_merge.py"), {"dump", path, cutPath})).array();
        QCOMPARE(dumps.size(), 2);
        const QVector<StreamEvent> want = keptByCut(toEvents(dumps[0].toArray()), flags);
        const QVector<StreamEvent> got = toEvents(dumps[1].toArray());
        for (int i = 0; i < qMin(want.size(), got.size()); ++i) {
            if (want[i].tick != got[i].tick || want[i].bytes != got[i].bytes)
                QFAIL(qPrintable(QStringLiteral("message %1: %2, expected %3")
                                     .arg(i).arg(describe(got[i]), describe(want[i]))));
        }
        QCOMPARE(got.size(), want.size());

        bool channel1Syllables = false;
        for (const StreamEvent &m : toEvents(dumps[0].toArray()))
            channel1Syllables |= m.bytes.startsWith(hexBytes({0xB0, 31}));
        QCOMPARE(s.infos->ccSyllableMode != 0, channel1Syllables);

        LoadedSong again;
        const int length2 = again.normalise(cut, flags);
        QCOMPARE(again.output(length2).toHex(), cut.toHex());
    }
};

VELMAR_TEST(TestNormalisePeer)
#include "tst_normalise_peer.moc"
