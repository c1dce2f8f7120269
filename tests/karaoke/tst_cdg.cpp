// The CD+G decoder against ffmpeg's decoder on generated streams, and the
// change reports the lyric view relies on.
#include "CdgCmdExec.h"
#include "cdgstream.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace CdgStream;

namespace {

const QVector<int> LOW{0x000, 0xF00, 0x0F0, 0x00F, 0xFF0, 0x0FF, 0xF0F, 0xFFF};
const QVector<int> CHECKER{0x2A, 0x15};

QByteArray setup()
{
    QByteArray s = colours(false, LOW) + colours(true, {0x123, 0x456, 0x789, 0xABC, 0xDEF, 0x531, 0x975, 0x08F});
    for (int i = 0; i < 12; ++i)
        s += tile(i, 15 - i, (i * 7) % 18, (i * 13) % 50, {0x3F, 0x21, 0x2A, i}, i == 11);
    return s;
}

} // namespace

class TestCdg : public QObject
{
    Q_OBJECT
private slots:
    // Copies roll one way at a time and vertical offsets stay 0: where both
    // directions wrap ffmpeg leaves out one shift, and it moves the picture up
    // by a vertical offset while it draws later tiles lower. Every scroll
    // moves: ffmpeg shows a stale frame after one that does not.
    void sameFramesAsFfmpeg_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::newRow("presets") << setup() + packet(1, {5}) + packet(1, {7, 3}) + packet(2, {9});
        QTest::newRow("tiles, xor, past the edge") << packet(1, {3}) + setup() + tile(1, 2, 17, 49, CHECKER, true) +
                                                          tile(4, 5, 18, 3, CHECKER) + tile(4, 5, 2, 50, CHECKER);
        QTest::newRow("scrolls") << setup() + scroll(7, 0x20, 0, false) + scroll(8, 0, 0x10, false) +
                                        scroll(9, 0x10, 0x20, false) + scroll(0, 0x20, 0, true) + scroll(0, 0, 0x20, true) +
                                        scroll(0, 0x10, 0, true) + scroll(0, 0, 0x10, true) + colours(true, LOW);
        QTest::newRow("scrolls with offsets")
            << setup() + scroll(4, 0x23, 0, false) + scroll(4, 0x03, 0x20, true) + tile(1, 2, 0, 0, CHECKER) +
                   scroll(4, 0x25, 0x10, false) + setup() + scroll(5, 0x11, 0x20, false) +
                   scroll(6, 0x07, 0, true) + tile(3, 4, 17, 49, CHECKER) + scroll(6, 0, 0, false);
    }

    void sameFramesAsFfmpeg()
    {
        QFETCH(QByteArray, stream);
        QTemporaryDir dir;
        TestUtil::writeFile(dir.filePath("x.cdg"), stream);
        QCOMPARE(TestUtil::runProgram("ffmpeg", {"-v", "error", "-i", dir.filePath("x.cdg"), "-f", "rawvideo",
                                                 "-pix_fmt", "pal8", dir.filePath("x.raw")}), 0);
        // Frames of 300 x 216 colour indexes, each followed by its palette.
        const QByteArray theirs = TestUtil::readFile(dir.filePath("x.raw")).right(300 * 216 + 1024);
        CdgCmdExec cdg;
        cdg.setBufferCdgCmd(stream);
        const QImage &ours = cdg.getImageAtMilliSec(uint(stream.size() / 24 * 10 / 3 + 10));
        for (int y = 0; y < 216; ++y)
            QVERIFY2(theirs.mid(y * 300, 300) == QByteArray(reinterpret_cast<const char *>(ours.constScanLine(y)), 300),
                     qPrintable(QString("line %1 differs").arg(y)));
        // ffmpeg spreads each 4-bit component over 0-255, the decoder over 0-240.
        for (int i = 0; i < 16; ++i) {
            const auto *b = reinterpret_cast<const uint8_t *>(theirs.constData()) + 300 * 216 + 4 * i;
            QCOMPARE(ours.color(i) & 0xF0F0F0, qRgb(b[2] / 17 * 16, b[1] / 17 * 16, b[0] / 17 * 16) & 0xF0F0F0);
        }
    }

    // Changes reported on the first call, on a step and on a repeated
    // position (a replay); display offsets move the picture right and down.
    void changeReports()
    {
        CdgCmdExec cdg;
        cdg.setBufferCdgCmd(tile(0, 5, 0, 0, {0x3F}) + packet(1, {4, 1}) + packet(28, {4}) +
                            scroll(0, 0x01, 0x05, false) + packet(1, {6}, 8));
        bool changed[4] = {};
        cdg.getImageAtMilliSec(0, &changed[0]);
        cdg.getImageAtMilliSec(7, &changed[1]);        // a preset repeat and the transparent colour
        cdg.getImageAtMilliSec(14, &changed[2]);       // the scroll, then another command
        const QImage &picture = cdg.getImageAtMilliSec(14, &changed[3]);
        QCOMPARE(QVector<bool>(changed, changed + 4), QVector<bool>({true, false, true, true}));
        QCOMPARE(QVector<int>({picture.pixelIndex(1, 16), picture.pixelIndex(0, 16), picture.pixelIndex(1, 4)}),
                 QVector<int>({5, 0, 0}));
    }
};

VELMAR_TEST(TestCdg)
#include "tst_cdg.moc"
