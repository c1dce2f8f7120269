// Songs played by the engine into our synthesizer sound as the fluidsynth
// program plays the same files with the same bank: second by second equally
// loud, and for as long.
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace {
const char *const kBank = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr int kRate = 44100;
// Seconds this far below the loudest one count as the release tail.
constexpr double kTailDb = 30.0;

// Level in dB of each whole or partial second of a 16-bit stereo WAV.
QVector<double> secondLevels(const QString &path)
{
    const QByteArray wav = TestUtil::readFile(path);
    const int data = wav.indexOf("data");
    if (!wav.startsWith("RIFF") || data < 0 || data + 8 > wav.size())
        return {};
    const auto *pcm = reinterpret_cast<const int16_t *>(wav.constData() + data + 8);
    const qsizetype samples = (wav.size() - data - 8) / 2;
    QVector<double> levels;
    for (qsizetype from = 0; from < samples; from += 2 * kRate) {
        const qsizetype to = std::min(samples, from + 2 * kRate);
        double sum = 0;
        for (qsizetype i = from; i < to; ++i)
            sum += double(pcm[i]) * pcm[i];
        levels << 20 * std::log10(std::sqrt(sum / double(to - from)) / 32768.0 + 1e-9);
    }
    return levels;
}

// Seconds up to the last one above the release tail.
int audibleSeconds(const QVector<double> &levels)
{
    const double loudest = *std::max_element(levels.begin(), levels.end());
    int n = int(levels.size());
    while (n > 0 && levels[n - 1] < loudest - kTailDb)
        --n;
    return n;
}
} // namespace

class TestSynthPeer : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::exists(QString::fromLatin1(kBank)));
        TestUtil::runPython(QStringLiteral("common-sound/sequencer/gen_songs.py"), {m_dir.path()});
    }

    void loudAsFluidsynth_data()
    {
        QTest::addColumn<QString>("song");
        QTest::newRow("tempo and time-signature changes") << "tempo_meter.mid";
        QTest::newRow("16 channels") << "sixteen_channels.mid";
    }
    void loudAsFluidsynth()
    {
        QFETCH(QString, song);
        const QString mid = m_dir.filePath(song);
        const QString ours = m_dir.filePath(song + QStringLiteral(".ours.wav"));
        const QString peer = m_dir.filePath(song + QStringLiteral(".peer.wav"));
        QByteArray out, err;
        QCOMPARE(TestUtil::runProgram(TestUtil::binDir() + QStringLiteral("/velmar-render"),
                                      {mid, ours, QStringLiteral("--soundfont"), QString::fromLatin1(kBank)},
                                      &out, &err),
                 0);
        QCOMPARE(TestUtil::runProgram(QStringLiteral("fluidsynth"),
                                      {QStringLiteral("-ni"), QStringLiteral("-F"), peer, QStringLiteral("-r"),
                                       QString::number(kRate), QStringLiteral("-T"), QStringLiteral("wav"),
                                       QString::fromLatin1(kBank), mid},
                                      &out, &err),
                 0);
        const QVector<double> a = secondLevels(ours);
        const QVector<double> b = secondLevels(peer);
        QVERIFY(!a.isEmpty() && !b.isEmpty());
        const int length = audibleSeconds(b);
        QVERIFY2(std::abs(audibleSeconds(a) - length) <= 1,
                 qPrintable(QStringLiteral("%1 s against %2 s").arg(audibleSeconds(a)).arg(length)));
        for (int s = 0; s < length - 1; ++s)
            QVERIFY2(std::fabs(a[s] - b[s]) <= 3.0,
                     qPrintable(QStringLiteral("second %1: %2 dB against %3 dB").arg(s).arg(a[s]).arg(b[s])));
    }
};

VELMAR_TEST(TestSynthPeer)
#include "tst_synthpeer.moc"
