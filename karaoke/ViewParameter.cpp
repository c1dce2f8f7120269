#include "ViewParameter.h"

#include <QDebug>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QFontMetrics>
#include <algorithm>
#include <cmath>
#include <limits>

const char *const LYRIC_FONT_FAMILY = "TitilliumWeb";
const char *const LYRIC_FONT_STAND_IN = "Open Sans";

namespace {

constexpr int MAX_ROW_PITCH = 180;
// The share of a row's pitch left between the letters of two rows.
constexpr double ROW_SPACING = 0.3;

// The lyric family is not packaged for this platform: map it once to the
// stand-in, so that every font built on the family name finds real glyphs.
void substituteLyricFont()
{
    static bool done = false;
    if (done || !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    done = true;
    const QString family = QString::fromLatin1(LYRIC_FONT_FAMILY);
    const QStringList installed = QFontDatabase::families();
    if (installed.contains(family))
        return;
    // The family's published files name it with a space.
    const QString spaced = QStringLiteral("Titillium Web");
    QFont::insertSubstitution(family, installed.contains(spaced) ? spaced : QString::fromLatin1(LYRIC_FONT_STAND_IN));
}

QFont boldFont(int points)
{
    QFont f(QString::fromLatin1(LYRIC_FONT_FAMILY), points, 700);
    f.setItalic(false);
    return f;
}

} // namespace

ViewParameter::ViewParameter(QObject *parent)
    : QObject(parent)
    , fontFamily(QString::fromLatin1(LYRIC_FONT_FAMILY))
{
    substituteLyricFont();
    textFont = boldFont(36);
    chordFontBig = boldFont(38);
    chordFontSmall = boldFont(28);
}

void ViewParameter::setViewTextArea(QSize size)
{
    textAreaSize = size;
    updateViewParam();
}

void ViewParameter::setViewChordArea(QSize size)
{
    chordAreaSize = size;
    const int w = size.width();
    if (w < chordCellMinWidth) {
        chordCellsCount = 1;
        chordCellWidth = chordCellMinWidth;
    } else {
        chordCellsCount = 5 * chordCellMinWidth <= w ? 5 : w / chordCellMinWidth;
        chordCellWidth = w / chordCellsCount;
    }
    updateViewParam();
}

void ViewParameter::setFontTextAreaParameter(const QString &family, int size, int weight)
{
    if (family == fontFamily && size == fontSize && weight == fontWeight)
        return;
    fontFamily = family;
    fontSize = size;
    fontWeight = weight;
    textFont.setFamily(family);
    textFont.setWeight(QFont::Weight(weight));
    if (!sizeByRowsCount) {
        textFont.setPointSize(std::max(1, size));
        textRowSpacing = size;
        updateViewParamByTextSize();
        return;
    }
    chosenRowsCount = size < 40 ? 6 : size > 49 ? 4 : 5;
    updateViewParamByRowsCount();
}

void ViewParameter::setFontTextAreaColor(QColor a, QColor b, QColor c, QColor d)
{
    unsungOutlineColor = a;
    unsungFillColor = b;
    sungOutlineColor = c;
    sungFillColor = d;
}

void ViewParameter::updateViewParam()
{
    if (sizeByRowsCount)
        updateViewParamByRowsCount();
    else
        updateViewParamByTextSize();
}

// The letters are as high as the chosen rows allow, unless a row of the
// length the size allows would then not fit the width: a wide, low view
// keeps its rows whole; a narrower or taller one shows more rows of letters
// that fit.
void ViewParameter::updateViewParamByRowsCount()
{
    const int h = textAreaSize.height();
    const int fitting = fittingPixelSize(textAreaSize.width());
    int rows = std::max(1, chosenRowsCount);
    int pitch = std::min(h / rows, MAX_ROW_PITCH);
    if (pitch - int(pitch * ROW_SPACING) > fitting) {
        const int fittingPitch = std::max(1, int(std::ceil(fitting / (1 - ROW_SPACING))));
        rows = std::max(rows, h / fittingPitch);
        pitch = std::min(h / rows, MAX_ROW_PITCH);
    }
    textRowsCount = rows;
    textRowVerticalSpace = pitch;
    textRowSpacing = int(pitch * ROW_SPACING);
    // A view too small for one row still gets a drawable font; the pitch of 0
    // tells the timing that the view is not laid out.
    const int pixels = std::max(1, std::min(pitch - textRowSpacing, fitting));
    textFont.setPixelSize(pixels);
    qDebug() << "textSz" << pixels << "height" << h;
    emit viewParameterUpdate();
}

int ViewParameter::fittingPixelSize(int width) const
{
    if (width <= 0)
        return std::numeric_limits<int>::max();   // not laid out: the height decides
    QFont probe = textFont;
    probe.setPixelSize(100);
    const QFontMetrics m(probe);
    // An "n" is wider than the average letter of a row with its spaces and
    // as wide as one in capitals; the lyric model splits only a row that
    // does not fit with a "W" of air to spare.
    const int row = m.horizontalAdvance(QString(rowCharacters(), QLatin1Char('n')))
                    + m.horizontalAdvance(QLatin1Char('W'));
    return row > 0 ? std::max(1, width * 100 / row) : std::numeric_limits<int>::max();
}

int ViewParameter::rowCharacters() const
{
    return chosenRowsCount >= 6 ? ROW_CHARACTERS * 5 / 4 : chosenRowsCount <= 4 ? ROW_CHARACTERS * 4 / 5 : ROW_CHARACTERS;
}

void ViewParameter::updateViewParamByTextSize()
{
    const int h = textAreaSize.height();
    const int p = textFont.pointSize();
    const int s = textRowSpacing;
    const int n = p + s > 0 ? h / (p + s) : 0;
    if (n <= 0) {
        textRowsCount = 1;
        textRowVerticalSpace = h;
    } else {
        const int a = (h - p * n) / n;
        const int b = (h - p * (n + 1)) / (n + 1);
        textRowsCount = a - s > s - b ? n + 1 : n;
        textRowVerticalSpace = h / textRowsCount;
    }
    emit viewParameterUpdate();
}
