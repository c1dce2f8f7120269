// Looks and sizes of one karaoke view, shared by the lyric list, its row
// painter, the chord strip and the strip's cell painter. The owners read and
// write the fields directly; every recomputation of the row or cell sizes ends
// with one viewParameterUpdate(), after which the lyric model is rebuilt.
#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QSize>
#include <QString>

// The lyric and chord font family; when it is not installed, Qt substitutes
// "Titillium Web" or else LYRIC_FONT_STAND_IN for it (see the constructor).
extern const char *const LYRIC_FONT_FAMILY;
extern const char *const LYRIC_FONT_STAND_IN;

class ViewParameter : public QObject
{
    Q_OBJECT
public:
    explicit ViewParameter(QObject *parent = nullptr);

    int viewMode = 2;
    QSize textAreaSize{0, 0};
    QFont textFont;
    QString fontFamily;
    int fontSize = 36;
    int fontWeight = 700;
    QColor sungOutlineColor{Qt::black};
    QColor sungFillColor{Qt::blue};
    QColor unsungOutlineColor{Qt::yellow};
    QColor unsungFillColor{Qt::white};
    // The rows the font size asks for (4, 5 or 6); a view too narrow for
    // rows of that height shows more, smaller rows (textRowsCount).
    int chosenRowsCount = 5;
    int textRowsCount = 5;   // rows the view shows
    int textRowSpacing = 20;
    int textRowVerticalSpace = 0;   // row pitch; 0 while the view is not laid out
    QSize chordAreaSize{-1, -1};
    QFont chordFontBig;
    QFont chordFontSmall;
    int chordCellsCount = 0;
    int chordCellMinWidth = 240;
    int chordCellWidth = 0;
    int chordNotation = 0;          // 0 Italian names, 1 international names
    int chordsViewMode = 1;         // 0 LiveKeys, 1 Text, 2 Guitar, 3 Piano
    Qt::Alignment textAlignment = Qt::AlignHCenter | Qt::AlignVCenter;
    bool sizeByRowsCount = true;

    void setViewTextArea(QSize size);
    void setViewChordArea(QSize size);
    // Recomputes only when one of the three differs from the last call.
    void setFontTextAreaParameter(const QString &family, int size, int weight);
    // Unsung outline, unsung fill, sung outline, sung fill; no signal.
    void setFontTextAreaColor(QColor a, QColor b, QColor c, QColor d);
    void updateViewParam();
    void updateViewParamByRowsCount();
    void updateViewParamByTextSize();
    // The largest pixel size at which a row of rowCharacters() letters fits
    // `width` without being split.
    int fittingPixelSize(int width) const;
    // The letters of a row that fit the width whole, by the size chosen:
    // where the width sets the letters' size (a wide page), bigger letters
    // are bought with longer rows split in two.
    int rowCharacters() const;

    // The rows of the usual size: a song's rows are seldom longer.
    static constexpr int ROW_CHARACTERS = 32;

signals:
    void viewParameterUpdate();
};
