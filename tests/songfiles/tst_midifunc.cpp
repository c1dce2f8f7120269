// MidiFunc against mido: a running-status file read, re-channelled back and
// forth and written, with the ".bak" kept once and hostile files refused.
#include "MidiFunc.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Our events in the form midi_peer.py dumps: per track [[tick, "hex"], ...].
QList<QJsonArray> ourDump(const MidiFunc &midi)
{
    QList<QJsonArray> out;
    for (const QList<TrackEvent> &track : midi.tracks()) {
        QJsonArray rows;
        qint64 tick = 0;
        for (const TrackEvent &e : track) {
            tick += e.delta;
            QByteArray bytes(1, char(e.status));
            if (e.type == TrackEvent::Channel) {
                bytes.append(char(e.data1));
                if (e.status < 0xC0 || e.status > 0xDF)
                    bytes.append(char(e.data2));
            } else if (e.type == TrackEvent::SysEx) {
                bytes.append(e.data);
            } else {
                continue;
            }
            rows.append(QJsonArray{tick, QString::fromLatin1(bytes.toHex())});
        }
        out.append(rows);
    }
    return out;
}

QList<QJsonArray> peerDump(const QString &path)
{
    QList<QJsonArray> out;
    const QByteArray text = TestUtil::runPython(QStringLiteral("songfiles/midi_peer.py"),
                                                {QStringLiteral("dump"), path});
    for (const QByteArray &line : text.split('\n'))
        if (!line.isEmpty())
            out.append(QJsonDocument::fromJson(line).array());
    return out;
}

// The peer's dump with channel `from` moved to `to`, as MidiFunc must do it.
QList<QJsonArray> moved(QList<QJsonArray> dump, int from, int to)
{
    for (QJsonArray &track : dump) {
        for (auto row : track) {
            QJsonArray r = row.toArray();
            QByteArray b = QByteArray::fromHex(r[1].toString().toLatin1());
            const uint8_t s = uint8_t(b[0]);
            if (s >= 0x80 && s <= 0xEF && (s & 0x0F) == from)
                b[0] = char((s & 0xF0) | to);
            else if (s == 0xF0 && b.size() > 25 && b[5] == 0x1F && b[6] == from)
                b[6] = char(to);
            r[1] = QString::fromLatin1(b.toHex());
            row = r;
        }
    }
    return dump;
}

QByteArray be32(quint32 v)
{
    return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v);
}

QByteArray smf(quint16 format, quint16 tracks, const QByteArray &track)
{
    QByteArray h("MThd\0\0\0\6", 8);
    h += char(format >> 8) + QByteArray(1, char(format)) + char(tracks >> 8) + char(tracks) + "\x01\xE0";
    return h + "MTrk" + be32(quint32(track.size())) + track;
}

} // namespace

class TestMidiFunc : public QObject
{
    Q_OBJECT

private slots:
    void rechannelRoundTripAgainstMido()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("song.mid"));
        TestUtil::runPython(QStringLiteral("songfiles/midi_peer.py"), {QStringLiteral("make"), path});
        const QByteArray original = TestUtil::readFile(path);
        const QList<QJsonArray> peer = peerDump(path);

        MidiFunc midi;
        QCOMPARE(midi.readMIDI(path), 0);
        QCOMPARE(midi.header().format, quint16(1));
        QCOMPARE(ourDump(midi), peer);
        QList<unsigned int> counts;
        midi.findMIDIEventsPerChannel(counts);
        QCOMPARE(counts.size(), 16);
        QCOMPARE(counts[2], 21u);
        QCOMPARE(counts[0], 2u);
        QCOMPARE(counts[9], 0u);

        midi.changeMIDIChannel(2, 9);
        QCOMPARE(midi.writeMIDI(path), 0);
        QCOMPARE(peerDump(path), moved(peer, 2, 9));
        QCOMPARE(TestUtil::readFile(path + ".bak"), original);

        MidiFunc back;
        QCOMPARE(back.readMIDI(path), 0);
        back.changeMIDIChannel(9, 2);
        back.changeMIDIChannel(3, 16);
        QCOMPARE(back.writeMIDI(path), 0);
        QCOMPARE(TestUtil::readFile(path), original);
        QCOMPARE(TestUtil::readFile(path + ".bak"), original);
    }

    void refusesWhatDoesNotRead_data()
    {
        QTest::addColumn<QByteArray>("file");
        const QByteArray notes("\x00\x90\x3C\x40\x60\x3C\x00\x00\xFF\x2F\x00", 11);
        QTest::newRow("format 0 with 2 tracks") << smf(0, 2, notes);
        QTest::newRow("not MThd") << QByteArray("RIFF").append(smf(0, 1, notes).mid(4));
        QTest::newRow("cut in a track") << smf(0, 1, notes).chopped(3);
        QTest::newRow("SysEx longer than its track")
            << smf(0, 1, QByteArray("\x00\xF0\x8F\xFF\xFF\x7F\x01\xF7", 8));
        QTest::newRow("five-byte delta") << smf(0, 1, QByteArray("\xFF\xFF\xFF\xFF\x7F\x90\x3C\x40", 8));
        QTest::newRow("second track missing") << smf(1, 2, notes);
    }
    void refusesWhatDoesNotRead()
    {
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.mid"));
        TestUtil::writeFile(path, file);
        MidiFunc midi;
        QCOMPARE(midi.readMIDI(path), -1);
    }

    void fileChangedSinceReadStaysUntouched()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("song.mid"));
        TestUtil::writeFile(path, smf(0, 1, QByteArray("\x00\xC2\x05\x00\x92\x3C\x40\x00\xFF\x2F\x00", 11)));
        MidiFunc midi;
        QCOMPARE(midi.readMIDI(path), 0);
        midi.changeMIDIChannel(2, 9);
        const QByteArray other = smf(0, 1, QByteArray("\x00\xFF\x2F\x00\x00\xC2\x05\x00\x92\x3C\x40", 11));
        TestUtil::writeFile(path, other);
        QCOMPARE(midi.writeMIDI(path), -1);
        QCOMPARE(TestUtil::readFile(path), other);
    }
};

VELMAR_TEST(TestMidiFunc)
#include "tst_midifunc.moc"
