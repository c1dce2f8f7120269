// Cut mode: the song with its text cut out, saved and read back by mido.
#include "normalise_util.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Msg {
    uint32_t tick;
    QByteArray bytes;
};

QVector<Msg> toMessages(const QJsonArray &list)
{
    QVector<Msg> out;
    for (const QJsonValue &v : list) {
        const QJsonArray m = v.toArray();
        QByteArray b;
        for (const QJsonValue &x : m[1].toArray())
            b += char(x.toInt());
        out.append({uint32_t(m[0].toInt()), b});
    }
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
QVector<Msg> keptByCut(const QVector<Msg> &song, int flags)
{
    const bool lyrics = flags & EXTRACT_FLAG_LYRICS;
    const bool markers = flags & EXTRACT_FLAG_MARKERS;
    const bool chords = flags & EXTRACT_FLAG_CHORDS;
    QVector<Msg> out;
    bool karaoke = false;
    for (const Msg &m : song) {
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

QString describe(const Msg &m)
{
    return QStringLiteral("%1:%2").arg(m.tick).arg(QString::fromLatin1(m.bytes.left(12).toHex(' ')));
}

} // namespace

class TestCutMode : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QStringList m_files;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QJsonArray manifest = QJsonDocument::fromJson(TestUtil::runPython(
            QStringLiteral("common-extract/gen_normalise.py"), {m_dir.path()})).array();
        for (const QJsonValue &v : manifest)
            m_files << v.toObject()[QStringLiteral("file")].toString();
        QVERIFY(m_files.size() > 20);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("flags");
        for (const QString &f : m_files) {
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
        const QVector<Msg> want = keptByCut(toMessages(dumps[0].toArray()), flags);
        const QVector<Msg> got = toMessages(dumps[1].toArray());
        for (int i = 0; i < qMin(want.size(), got.size()); ++i) {
            if (want[i].tick != got[i].tick || want[i].bytes != got[i].bytes)
                QFAIL(qPrintable(QStringLiteral("message %1: %2, expected %3")
                                     .arg(i).arg(describe(got[i]), describe(want[i]))));
        }
        QCOMPARE(got.size(), want.size());

        bool channel1Syllables = false;
        for (const Msg &m : toMessages(dumps[0].toArray()))
            channel1Syllables |= m.bytes.startsWith(hexBytes({0xB0, 31}));
        QCOMPARE(s.infos->ccSyllableMode != 0, channel1Syllables);

        LoadedSong again;
        const int length2 = again.normalise(cut, flags);
        QCOMPARE(again.output(length2).toHex(), cut.toHex());
    }

    // Long gaps and long messages survive a save.
    void longValues()
    {
        SmfTrack t;
        t.ev(0, {0x90, 60, 100}).ev(20000, {0x80, 60, 0}).ev(0x0FFFFFF, {0x90, 61, 1});
        t.meta(0, 0x03, QByteArray(200, 't'));
        t.sysex(0, QByteArray(299, 0x22) + char(0xF7));
        t.bytes += hexBytes({0, 0xF7, 3, 0xF3, 1, 0xF7});   // an escape is kept as it is
        LoadedSong s;
        const int length = s.normalise(smf0(480, t.end()), 0);
        QVERIFY2(length > 0, qPrintable(QString::number(getLoadingError())));
        QString error;
        const QVector<StreamEvent> ev = parseStream(s.output(length), EXTRACT_HEAD_SIZE, false, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(ev.size(), 7);
        QCOMPARE(ev[5].bytes, hexBytes({0xF7, 3, 0xF3, 1, 0xF7}));
        QCOMPARE(ev[1].tick, 20000u);
        QCOMPARE(ev[2].tick, 20000u + 0x0FFFFFFu);
        QCOMPARE(ev[3].bytes.size(), 2 + 2 + 200);
        QCOMPARE(ev[4].bytes.size(), 1 + 2 + 300);
        // Scaled past what four bytes hold: refused, not cut short.
        SmfTrack far;
        far.ev(0x0FFFFFFF, {0x90, 60, 1});
        QCOMPARE(s.normalise(smf0(96, far.end()), 0), 0);
        QCOMPARE(getLoadingError(), 5);
    }
};

VELMAR_TEST(TestCutMode)
#include "tst_cutmode.moc"
