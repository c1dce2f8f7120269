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
const QVector<int> HIGH{0x123, 0x456, 0x789, 0xABC, 0xDEF, 0x531, 0x975, 0x08F};
const QVector<int> CHECKER{0x2A, 0x15};
const QByteArray SETUP = colours(false, LOW) + colours(true, HIGH) + memoryPreset(3);

QByteArray tiles()
{
    QByteArray s;
    for (int i = 0; i < 12; ++i)
        s += tile(i, 15 - i, (i * 7) % 18, (i * 13) % 50, {0x3F, 0x21, 0x2A, i});
    return s;
}

// The last frame ffmpeg decodes: 300 x 216 colour indexes, then the palette.
bool ffmpegFrame(const QByteArray &stream, QByteArray *indexes, QVector<QRgb> *palette)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("x.cdg"), out = dir.filePath("x.raw");
    TestUtil::writeFile(in, stream);
    if (TestUtil::runProgram("ffmpeg", {"-v", "error", "-i", in, "-f", "rawvideo", "-pix_fmt", "pal8", out}) != 0)
        return false;
    const QByteArray raw = TestUtil::readFile(out);
    const int frame = CdgCmdExec::WIDTH * CdgCmdExec::HEIGHT + 1024;
    if (raw.size() < frame || raw.size() % frame != 0)
        return false;
    const QByteArray last = raw.right(frame);
    *indexes = last.left(CdgCmdExec::WIDTH * CdgCmdExec::HEIGHT);
    palette->clear();
    for (int i = 0; i < 16; ++i) {
        QRgb c;
        std::memcpy(&c, last.constData() + indexes->size() + 4 * i, 4);
        palette->append(c);
    }
    return true;
}

} // namespace

class TestCdg : public QObject
{
    Q_OBJECT
private slots:
    void sameFramesAsFfmpeg_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::newRow("presets") << SETUP + memoryPreset(5) + memoryPreset(7, 3) + borderPreset(9);
        QTest::newRow("tiles, edge and outside") << SETUP + tiles() + tile(1, 2, 17, 49, CHECKER) +
                                                        tile(4, 5, 18, 3, CHECKER) + tile(4, 5, 2, 50, CHECKER);
        QTest::newRow("xor tiles") << SETUP + tiles() + tile(6, 9, 0, 0, CHECKER, true) +
                                          tile(1, 14, 3, 4, {0x3F, 0}, true) + tile(1, 14, 3, 4, {0x0F}, true);
        QTest::newRow("colour tables") << SETUP + tiles() + colours(true, LOW) + colours(false, HIGH);
        QTest::newRow("scroll preset") << SETUP + tiles() + scroll(7, 0x20, 0, false) +
                                              scroll(8, 0, 0x10, false) + scroll(9, 0x10, 0x20, false);
        // Copies in one direction only: where both wrap at once ffmpeg leaves
        // out the other direction's shift, while the picture here rolls whole.
        QTest::newRow("scroll copy") << SETUP + tiles() + scroll(0, 0x20, 0, true) + scroll(0, 0, 0x20, true) +
                                            scroll(0, 0x10, 0, true) + scroll(0, 0, 0x10, true);
        // Vertical offsets stay 0 here: ffmpeg moves the picture up by a
        // vertical offset while it draws later tiles lower (checked below).
        QTest::newRow("scrolls with offsets")
            << SETUP + tiles() + scroll(4, 0x23, 0, false) + scroll(4, 0x03, 0x20, true) +
                   tile(1, 2, 0, 0, CHECKER) + scroll(4, 0x25, 0x10, false) + tiles() + scroll(5, 0x05, 0x20, true) +
                   scroll(5, 0x11, 0x20, false) + scroll(6, 0x07, 0, true) + tile(3, 4, 17, 49, CHECKER) +
                   scroll(6, 0, 0, false);
        QTest::newRow("song-like scene") << scene(6000, 7);
    }

    void sameFramesAsFfmpeg()
    {
        QFETCH(QByteArray, stream);
        QByteArray theirs;
        QVector<QRgb> palette;
        QVERIFY2(ffmpegFrame(stream, &theirs, &palette), "ffmpeg did not decode the stream");
        CdgCmdExec cdg;
        cdg.setBufferCdgCmd(stream);
        const QImage &ours = cdg.getImageAtMilliSec(uint(stream.size() / 24 * 10 / 3 + 10));
        QCOMPARE(ours.size(), QSize(300, 216));
        for (int y = 0; y < 216; ++y) {
            const QByteArray line(reinterpret_cast<const char *>(ours.constScanLine(y)), 300);
            QVERIFY2(line == theirs.mid(y * 300, 300), qPrintable(QString("line %1 differs").arg(y)));
        }
        // ffmpeg spreads each 4-bit component over 0-255, we over 0-240.
        for (int i = 0; i < 16; ++i) {
            const QRgb a = ours.color(i), b = palette[i];
            QCOMPARE(QVector<int>({qRed(a) / 16, qGreen(a) / 16, qBlue(a) / 16}),
                     QVector<int>({qRed(b) / 17, qGreen(b) / 17, qBlue(b) / 17}));
        }
    }

    // Calls at these positions report these changes.
    void changeReports_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QVector<int>>("positions");
        QTest::addColumn<QVector<bool>>("changed");
        QTest::addColumn<int>("pixel");
        const QByteArray empty(24, 0);
        QTest::newRow("start clears") << tile(0, 5, 0, 0, {0x3F}) << QVector<int>{0} << QVector<bool>{true} << 5;
        QTest::newRow("preset repeat changes nothing")
            << empty + memoryPreset(4, 1) + memoryPreset(6, 15) << QVector<int>{5, 10} << QVector<bool>{false, false} << 0;
        QTest::newRow("colour load alone")
            << empty + colours(false, LOW) << QVector<int>{0, 4} << QVector<bool>{true, true} << 0;
        QTest::newRow("transparent colour alone")
            << empty + transparent(3) << QVector<int>{5, 10} << QVector<bool>{false, false} << 0;
        QTest::newRow("same position replays")
            << empty + memoryPreset(2) + empty + empty << QVector<int>{10, 10} << QVector<bool>{true, true} << 2;
        QTest::newRow("backwards replays")
            << empty + empty + empty + tile(0, 7, 1, 1, {0}) << QVector<int>{10, 7} << QVector<bool>{true, true} << 0;
        QTest::newRow("no packets") << QByteArray(23, 9) << QVector<int>{0, 100} << QVector<bool>{true, false} << 0;
        QTest::newRow("other commands skipped")
            << empty + packet(1, {6}, 8) + packet(0, {6}) + packet(39, {6}) << QVector<int>{5, 10} << QVector<bool>{false, false} << 0;
    }

    void changeReports()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QVector<int>, positions);
        QFETCH(QVector<bool>, changed);
        QFETCH(int, pixel);
        CdgCmdExec cdg;
        cdg.setBufferCdgCmd(stream);
        QVector<bool> got;
        const QImage *picture = nullptr;
        for (int ms : positions) {
            bool c = false;
            picture = &cdg.getImageAtMilliSec(uint(ms), &c);
            got << c;
        }
        QCOMPARE(got, changed);
        QCOMPARE(picture->pixelIndex(0, 0), pixel);
    }
};

VELMAR_TEST(TestCdg)
#include "tst_cdg.moc"
