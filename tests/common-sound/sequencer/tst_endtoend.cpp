// A song file made with mido, through the decoder and normaliser, started by
// the Sequencer and played to its end: every note at mido's time on the
// simulated clock, and the same notes in the same order on the real thread,
// with the song's bars, beats, tempi and end arriving on the GUI thread.
#include "Extract.h"
#include "loadedsong.h"
#include "sequencerrig.h"
#include "signalrecorder.h"
#include "testutil.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <tuple>

namespace {
struct Note {
    double ms;
    int channel;
    int key;
    int velocity;
};

QVector<Note> expectedNotes(const QString &dir)
{
    QVector<Note> r;
    for (const QByteArray &line : TestUtil::readFile(dir + "/notes.csv").split('\n')) {
        const QList<QByteArray> f = line.split(',');
        if (f.size() == 4)
            r.append({f[0].toDouble(), f[1].toInt(), f[2].toInt(), f[3].toInt()});
    }
    return r;
}

QVector<Note> sentNotes(const SequencerRig &rig)
{
    QVector<Note> r;
    for (const TimedBytes &m : rig.noteOns(1))
        r.append({m.ms, m.bytes[0] & 0x0F, m.bytes[1], m.bytes[2]});
    return r;
}

bool loadSong(const QString &path, LoadedSong &song)
{
    if (!Extract::GetSongInfoFromFile(&song.info, path))
        return false;
    QByteArray bytes = TestUtil::readFile(path);
    const int length = Extract::NormalizeMidiSequence(
        &song.sd, reinterpret_cast<uint8_t *>(bytes.data()), int(bytes.size()), 0, -1);
    song.sd.streamLength = length;
    return length > 0;
}

void sortByTime(QVector<Note> &notes)
{
    std::stable_sort(notes.begin(), notes.end(), [](const Note &a, const Note &b) {
        return std::make_tuple(std::floor(a.ms), a.channel, a.key) <
               std::make_tuple(std::floor(b.ms), b.channel, b.key);
    });
}

QString describe(const Note &n)
{
    return QStringLiteral("%1 ms ch %2 key %3 vel %4").arg(n.ms).arg(n.channel).arg(n.key).arg(n.velocity);
}
} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_song;
    QVector<Note> m_expected;
    QVector<Note> m_simulated;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        TestUtil::runPython("common-sound/sequencer/gen_song.py", {m_dir.path()});
        m_song = m_dir.path() + "/song.mid";
        m_expected = expectedNotes(m_dir.path());
        QVERIFY(m_expected.size() > 40);
    }

    void everyNoteAtMidosTime()
    {
        SequencerRig rig;
        LoadedSong song;
        QVERIFY(loadSong(m_song, song));
        QVERIFY(rig.seq->preloadMidiFile(&song.sd));
        rig.seq->advance(1000);
        QVERIFY(rig.noteOns(1).empty());

        const double resumedAt = double(rig.seq->now());
        rig.seq->setPause(false);
        for (int i = 0; i < 60000 && SEQUENCER_EX_IsRunning(); ++i)
            rig.seq->advance(1);
        QVERIFY(!SEQUENCER_EX_IsRunning());
        QVERIFY(rig.noteOns(2).empty());

        m_simulated = sentNotes(rig);
        QCOMPARE(m_simulated.size(), m_expected.size());
        QVector<Note> sent = m_simulated;
        for (Note &n : sent)
            n.ms -= resumedAt;
        // The clock restarts within a few passes of the resume.
        const double start = std::floor(sent[0].ms - m_expected[0].ms);
        QVERIFY2(start >= 0 && start < 3, qPrintable(QString::number(start)));
        for (Note &n : sent)
            n.ms -= start;
        QVector<Note> expected = m_expected;
        sortByTime(sent);
        sortByTime(expected);
        for (int i = 0; i < sent.size(); ++i) {
            const Note &s = sent[i];
            const Note &e = expected[i];
            const bool same = s.channel == e.channel && s.key == e.key && s.velocity == e.velocity;
            // Sent in the first pass at or after its time.
            const bool onTime = s.ms >= e.ms - 0.01 && s.ms < e.ms + 1.01;
            QVERIFY2(same && onTime, qPrintable(QStringLiteral("note %1: sent %2, mido %3")
                                                    .arg(i).arg(describe(s), describe(e))));
        }
    }

    void realThreadSendsTheSameWithSignalsOnTheGuiThread()
    {
        QVERIFY(!m_simulated.isEmpty());
        SequencerRig rig(Sequencer::Clock::Monotonic);
        SignalRecorder rec(rig.seq.get());
        QSignalSpy end(rig.seq.get(), &Sequencer::fineBrano);
        LoadedSong song;
        QVERIFY(loadSong(m_song, song));
        QVERIFY(rig.seq->preloadMidiFile(&song.sd));
        rig.seq->setPause(false);
        QTRY_COMPARE_WITH_TIMEOUT(end.count(), 1, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(rec.count("fineBrano"), 1, 10000);

        const QVector<Note> sent = sentNotes(rig);
        QCOMPARE(sent.size(), m_simulated.size());
        for (int i = 0; i < sent.size(); ++i)
            QVERIFY2(sent[i].channel == m_simulated[i].channel && sent[i].key == m_simulated[i].key,
                     qPrintable(QStringLiteral("note %1: %2 against %3").arg(i).arg(describe(sent[i]), describe(m_simulated[i]))));

        const int bars = TestUtil::readFile(m_dir.path() + "/bars.txt").trimmed().toInt();
        QVector<int> expectedBars;
        for (int b = 0; b < bars; ++b)
            expectedBars << b;
        QCOMPARE(rec.values("bar"), expectedBars);
        QCOMPARE(rec.count("beat"), bars * 3);
        const QVector<int> tempi = rec.values("origBpm");
        for (int us : {400000, 333333, 297030, 352941})
            QVERIFY2(tempi.contains(60000000 / us), qPrintable(QString::number(60000000 / us)));
        QCOMPARE(rec.all().last().name, QStringLiteral("fineBrano"));
        for (const ArrivedSignal &s : rec.all())
            QVERIFY2(s.onGuiThread, qPrintable(s.name));
    }
};

VELMAR_TEST(TestEndToEnd)
#include "tst_endtoend.moc"
