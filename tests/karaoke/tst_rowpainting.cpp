// Lyric rows painted by a real list view offscreen, checked by pixel colour:
// sung pixels pure blue, unsung ones grey, on a black background.
#include "ListTextViewDelegate.h"
#include "LyricsModel.h"
#include "ViewParameter.h"
#include "testutil.h"

#include <QFontDatabase>
#include <QListView>
#include <QStandardItemModel>
#include <QtTest>

namespace {

// Leftmost and rightmost columns of sung and of unsung pixels in one row band.
struct Columns {
    int sungMin = INT_MAX, sungMax = -1, unsungMin = INT_MAX, unsungMax = -1;
};

Columns scan(const QImage &image, int top, int height)
{
    Columns c;
    for (int y = top; y < top + height; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            const bool sung = p.blue() > 0 && p.red() == 0 && p.green() == 0;
            const bool unsung = p.red() > 0 && p.red() == p.green() && p.green() == p.blue();
            if (sung)
                c.sungMin = qMin(c.sungMin, x), c.sungMax = qMax(c.sungMax, x);
            if (unsung)
                c.unsungMin = qMin(c.unsungMin, x), c.unsungMax = qMax(c.unsungMax, x);
        }
    }
    return c;
}

} // namespace

class TestRowPainting : public QObject
{
    Q_OBJECT
private slots:
    void currentRow_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("centred");
        QTest::newRow("middle") << LYRIC_FONT_FAMILY << "Sing along now" << 5 << true;
        QTest::newRow("start") << LYRIC_FONT_FAMILY << "Sing along now" << 0 << true;
        QTest::newRow("no syllable") << LYRIC_FONT_FAMILY << "Sing along now" << -1 << true;
        QTest::newRow("past the end") << LYRIC_FONT_FAMILY << "Sing along now" << 14 << false;
        QTest::newRow("left aligned") << LYRIC_FONT_FAMILY << "Sing along now" << 7 << false;
        QTest::newRow("right to left") << "KacstOne" << QString::fromUtf8("مرحبا بالعالم") << 6 << true;
    }

    void currentRow()
    {
        QFETCH(QString, family);
        QFETCH(QString, text);
        QFETCH(int, position);
        QFETCH(bool, centred);
        ViewParameter view;
        view.setFontTextAreaParameter(family, 46, 700);
        view.setViewTextArea(QSize(700, 300));
        if (!centred)
            view.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        QCOMPARE(QFontInfo(view.textFont).family(), family == LYRIC_FONT_FAMILY ? LYRIC_FONT_STAND_IN : family);
        QStandardItemModel model;
        for (const QString &t : {QString("above"), text, QString("below")}) {
            auto *item = new QStandardItem;
            item->setData(t, LyricsModel::TEXT_ROLE);
            model.appendRow(item);
        }
        QListView list;
        list.setStyleSheet("QListView { background: black; border: none; }");
        ListTextViewDelegate painter;
        painter.setViewParam(&view);
        painter.setPlayRowAndPos(1, position);
        list.setItemDelegate(&painter);
        list.setModel(&model);
        list.resize(700, 300);
        const QImage image = list.grab().toImage();
        const int pitch = view.textRowVerticalSpace;
        const Columns above = scan(image, 0, pitch), row = scan(image, pitch, pitch), below = scan(image, 2 * pitch, pitch);
        QVERIFY(above.sungMax >= 0 && above.unsungMax < 0);
        QVERIFY(below.unsungMax >= 0 && below.sungMax < 0);

        const QFontMetrics m(view.textFont);
        const int width = m.horizontalAdvance(text);
        const int x = centred ? (list.viewport()->width() - width) / 2 : 0;
        QVERIFY2(qAbs(qMin(row.sungMin, row.unsungMin) - x) < 8, "the row starts where it is aligned");
        if (position < 0 || position >= text.size()) {
            QVERIFY(row.sungMax >= 0 && row.unsungMax < 0);
        } else if (position == 0) {
            QVERIFY(row.sungMax < 0 && row.unsungMax >= 0);
        } else if (text.isRightToLeft()) {
            const int boundary = x + width - m.horizontalAdvance(text.left(position));
            QVERIFY(row.sungMin >= boundary && row.unsungMax < boundary && row.sungMax > boundary);
        } else {
            const int boundary = x + m.horizontalAdvance(text.left(position));
            QVERIFY(row.sungMax < boundary && row.unsungMin >= boundary && row.unsungMin < boundary + 4);
        }
    }
};

VELMAR_TEST(TestRowPainting)
#include "tst_rowpainting.moc"
