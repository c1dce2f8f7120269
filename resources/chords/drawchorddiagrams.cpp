// Draws the chord strip's diagram backgrounds at build time, to the grid the
// strip paints its dots on: six strings 29 pixels apart from the left edge,
// four fret spaces of 45 pixels from the top edge (the dots of a fret space sit
// 17 to 28 pixels below its top line), and 17 white piano keys 11 pixels wide
// from C, with the black keys centred on the lines between white keys.
// Usage: drawchorddiagrams <output folder>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

namespace {

constexpr int STRINGS = 6;
constexpr int STRING_STEP = 29;
constexpr int FRET_SPACES = 4;
constexpr int FRET_STEP = 45;
// Room right of the strings for the base-fret label.
constexpr int GUITAR_WIDTH = 190;
constexpr int WHITE_KEYS = 17;
constexpr int WHITE_WIDTH = 11;
constexpr int WHITE_HEIGHT = 70;
constexpr int BLACK_WIDTH = 7;
constexpr int BLACK_HEIGHT = 44;

const QColor kInk(60, 52, 40);

QImage guitarTab(bool nut)
{
    const int gridWidth = (STRINGS - 1) * STRING_STEP + 2;
    QImage img(GUITAR_WIDTH, FRET_SPACES * FRET_STEP + 2, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    for (int f = 0; f <= FRET_SPACES; ++f)
        p.fillRect(0, f * FRET_STEP, gridWidth, 2, kInk);
    if (nut)
        p.fillRect(0, 0, gridWidth, 6, kInk);
    for (int s = 0; s < STRINGS; ++s)
        p.fillRect(s * STRING_STEP, 0, 2, img.height(), kInk);
    return img;
}

QImage pianoTab()
{
    QImage img(WHITE_KEYS * WHITE_WIDTH + 1, WHITE_HEIGHT + 1, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(kInk);
    p.setBrush(Qt::white);
    for (int k = 0; k < WHITE_KEYS; ++k)
        p.drawRect(k * WHITE_WIDTH, 0, WHITE_WIDTH, WHITE_HEIGHT);
    p.setBrush(kInk);
    // White keys followed by a black one within an octave: C, D, F, G, A.
    const bool blackAfter[7] = {true, true, false, true, true, true, false};
    for (int k = 0; k < WHITE_KEYS - 1; ++k) {
        if (blackAfter[k % 7])
            p.drawRect((k + 1) * WHITE_WIDTH - BLACK_WIDTH / 2, 0, BLACK_WIDTH, BLACK_HEIGHT);
    }
    return img;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: drawchorddiagrams <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const struct {
        const char *name;
        QImage image;
    } pictures[] = {{"guitar-tab.png", guitarTab(false)},
                    {"guitar-tab-fr.png", guitarTab(true)},
                    {"piano-tab.png", pianoTab()}};
    for (const auto &picture : pictures) {
        if (!picture.image.save(out.filePath(QString::fromLatin1(picture.name)))) {
            std::fprintf(stderr, "cannot write %s\n", picture.name);
            return 1;
        }
    }
    return 0;
}
