// Lyric rows painted by a real list view offscreen and read back by colour:
// sung pixels pure blue, unsung ones grey, on a black background.
#include "ListTextViewDelegate.h"
#include "LyricsModel.h"
#include "ViewParameter.h"
#include "testutil.h"

#include <QListView>
#include <QStandardItemModel>
#include <QtTest>

namespace {

// First and last columns holding sung and unsung pixels in a band of rows.
QVector<int> columns(const QImage &image, int top, int height)
{
    QVector<int> c{INT_MAX, -1, INT_MAX, -1};
    for (int y = top; y < top + height; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            const int k = p.blue() > 0 && p.red() == 0 ? 0 : p.red() > 0 && p.red() == p.blue() ? 2 : -1;
            if (k >= 0)
                c[k] = qMin(c[k], x), c[k + 1] = qMax(c[k + 1], x);
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
        QTest::newRow("past the end, left aligned") << LYRIC_FONT_FAMILY << "Sing along now" << 14 << false;
        QTest::newRow("left aligned") << LYRIC_FONT_FAMILY << "Sing along now" << 7 << false;
        QTest::newRow("right to left") << "KacstOne" << QString::fromUtf8("مرحبا بالعالم") << 5 << true;
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
        view.textAlignment = centred ? view.textAlignment : Qt::AlignLeft | Qt::AlignVCenter;
        QCOMPARE(QFontInfo(view.textFont).family(), family == LYRIC_FONT_FAMILY ? LYRIC_FONT_STAND_IN : family);
        QStandardItemModel model;
        for (const QString &t : {QString("above"), text, QString("below")}) {
            model.appendRow(new QStandardItem);
            model.item(model.rowCount() - 1)->setData(t, LyricsModel::TEXT_ROLE);
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
        const QVector<int> above = columns(image, 0, pitch), row = columns(image, pitch, pitch),
                           below = columns(image, 2 * pitch, pitch);
        QVERIFY(above[1] >= 0 && above[3] < 0 && below[1] < 0 && below[3] >= 0);

        const QFontMetrics m(view.textFont);
        const int width = m.horizontalAdvance(text), sung = m.horizontalAdvance(text.left(position));
        const int x = centred ? (list.viewport()->width() - width) / 2 : 0;
        QVERIFY2(qAbs(qMin(row[0], row[2]) - x) < 8, "the row starts where it is aligned, in the visible width");
        if (position < 0 || position >= text.size())
            QVERIFY(row[1] >= 0 && row[3] < 0);
        else if (position == 0)
            QVERIFY(row[1] < 0 && row[3] >= 0);
        else if (text.isRightToLeft())   // the first characters are on the right
            QVERIFY(row[0] >= x + width - sung && row[0] < x + width - sung + 4 && row[3] < x + width - sung);
        else
            QVERIFY(row[1] < x + sung && row[2] >= x + sung && row[2] < x + sung + 4);
    }
};

VELMAR_TEST(TestRowPainting)
#include "tst_rowpainting.moc"
