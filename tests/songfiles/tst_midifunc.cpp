// MidiFunc against mido: a running-status file read, re-channelled back and
// forth and written, with the ".bak" kept once and hostile files refused.
#include "MidiFunc.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Per track [[tick, "hex"], ...], as midi_peer.py dumps it.
QList<QJsonArray> ourDump(const MidiFunc &midi)
{
    QList<QJsonArray> out;
    for (const QList<TrackEvent> &track : midi.tracks()) {
        QJsonArray rows;
        qint64 tick = 0;
        for (const TrackEvent &e : track) {
            tick += e.delta;
            const bool twoBytes = e.status >= 0xC0 && e.status <= 0xDF;
            const QByteArray bytes = e.type == TrackEvent::SysEx ? char(e.status) + e.data
                : QByteArray(1, char(e.status)).append(char(e.data1)).append(twoBytes ? 0 : 1, char(e.data2));
            if (e.type == TrackEvent::Channel || e.type == TrackEvent::SysEx)
                rows.append(QJsonArray{tick, QString::fromLatin1(bytes.toHex())});
        }
        out.append(rows);
    }
    return out;
}

QList<QJsonArray> peerDump(const QString &path)
{
    QList<QJsonArray> out;
    const QByteArray text = TestUtil::runPython(QStringLiteral("songfiles/midi_peer.py"), {"dump", path});
    for (const QByteArray &line : text.trimmed().split('\n'))
        out.append(QJsonDocument::fromJson(line).array());
    return out;
}

QByteArray smf(quint16 format, quint16 tracks, const QByteArray &track)
{
    return QByteArray("MThd\0\0\0\6\0", 9) + char(format) + '\0' + char(tracks) + "\x01\xE0MTrk" +
           QByteArray(3, '\0') + char(track.size()) + track;
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
        TestUtil::runPython(QStringLiteral("songfiles/midi_peer.py"), {"make", path});
        const QByteArray original = TestUtil::readFile(path);
        const QList<QJsonArray> peer = peerDump(path);

        MidiFunc midi;
        QCOMPARE(midi.readMIDI(path), 0);
        QCOMPARE(ourDump(midi), peer);
        QList<unsigned int> counts;
        midi.findMIDIEventsPerChannel(counts);
        QCOMPARE(counts, QList<unsigned int>({1, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

        midi.changeMIDIChannel(2, 9);
        QCOMPARE(midi.writeMIDI(path), 0);
        const QList<QJsonArray> moved = peerDump(path);
        QCOMPARE(moved, ourDump(midi));
        QCOMPARE(moved[1][0].toArray()[1].toString(), QStringLiteral("c905"));
        QVERIFY(moved[0][0].toArray()[1].toString().startsWith("f0002024001f09"));
        QCOMPARE(moved[0][1], peer[0][1]);   // the 1E record is too short to carry a track

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
        QTest::newRow("not MThd") << "RIFF" + smf(0, 1, notes).mid(4);
        QTest::newRow("cut in a track") << smf(0, 1, notes).chopped(3);
        QTest::newRow("SysEx past its track") << smf(0, 1, QByteArray("\x00\xF0\x8F\xFF\xFF\x7F\x01\xF7", 8));
        QTest::newRow("five-byte delta") << smf(0, 1, QByteArray("\xFF\xFF\xFF\xFF\x7F\x90\x3C\x40", 8));
        QTest::newRow("second track missing") << smf(1, 2, notes);
    }
    void refusesWhatDoesNotRead()
    {
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        TestUtil::writeFile(dir.filePath(QStringLiteral("bad.mid")), file);
        MidiFunc midi;
        QCOMPARE(midi.readMIDI(dir.filePath(QStringLiteral("bad.mid"))), -1);
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

    // A read-only song is left as it is, with no backup beside it that a
    // later restore would put back read-only.
    void readOnlySongKeepsNoBackup()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("song.mid"));
        const QByteArray original = smf(0, 1, QByteArray("\x00\xC2\x05\x00\x92\x3C\x40\x00\xFF\x2F\x00", 11));
        TestUtil::writeFile(path, original);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        MidiFunc midi;
        QCOMPARE(midi.readMIDI(path), 0);
        midi.changeMIDIChannel(2, 9);
        QCOMPARE(midi.writeMIDI(path), -1);
        QCOMPARE(TestUtil::readFile(path), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"song.mid"});
    }
};

VELMAR_TEST(TestMidiFunc)
#include "tst_midifunc.moc"
