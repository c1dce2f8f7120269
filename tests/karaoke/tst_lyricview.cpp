// The lyric view's sizes, and its rows painted by a real list view offscreen
// and read back by colour: sung pixels pure blue, unsung ones grey, on black.
#include "ListTextViewDelegate.h"
#include "LyricsModel.h"
#include "ViewParameter.h"
#include "testutil.h"

#include <QListView>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

class TestLyricView : public QObject
{
    Q_OBJECT
private slots:
    void sizes_data()
    {
        QTest::addColumn<QSize>("area");           // the chord strip's; the lyric list's height
        QTest::addColumn<int>("textWidth");        // the lyric list's width
        QTest::addColumn<int>("fontSize");
        QTest::addColumn<QVector<int>>("expected");   // rows, pitch, spacing, font pixels, chord cells, cell width
        // Wide enough for rows of the height's letters: the height decides.
        QTest::newRow("600") << QSize(1300, 600) << 4000 << 46 << QVector<int>{5, 120, 36, 84, 5, 260};
        QTest::newRow("capped pitch") << QSize(700, 1000) << 4000 << 46 << QVector<int>{5, 180, 54, 126, 2, 350};
        QTest::newRow("39 points") << QSize(200, 600) << 4000 << 39 << QVector<int>{6, 100, 30, 70, 1, 240};
        QTest::newRow("40 points") << QSize(1199, 600) << 4000 << 40 << QVector<int>{5, 120, 36, 84, 4, 299};
        QTest::newRow("49 points") << QSize(240, 600) << 4000 << 49 << QVector<int>{5, 120, 36, 84, 1, 240};
        QTest::newRow("50 points") << QSize(1200, 600) << 4000 << 50 << QVector<int>{4, 150, 45, 105, 5, 240};
        QTest::newRow("not laid out") << QSize(0, 0) << 0 << 46 << QVector<int>{5, 0, 0, 1, 1, 240};
        QTest::newRow("too small for a row") << QSize(239, 3) << 239 << 46 << QVector<int>{5, 0, 0, 1, 1, 240};
        // Narrower: more rows, of letters that let a row of 32 characters fit.
        QTest::newRow("1280 x 719, the karaoke page of a first start")
            << QSize(1280, 719) << 1280 << 46 << QVector<int>{8, 89, 26, 58, 5, 256};
        QTest::newRow("1125 x 532, the old first window's") << QSize(1125, 532) << 1125 << 46
                                                             << QVector<int>{7, 76, 22, 51, 4, 281};
        QTest::newRow("narrow and tall") << QSize(600, 900) << 600 << 46 << QVector<int>{23, 39, 11, 27, 2, 300};
    }

    // The chord area takes the width, the lyric area the height and, where
    // it is narrow, its width.
    void sizes()
    {
        QFETCH(QSize, area);
        QFETCH(int, textWidth);
        QFETCH(int, fontSize);
        ViewParameter view;
        QSignalSpy updates(&view, &ViewParameter::viewParameterUpdate);
        view.setFontTextAreaParameter(LYRIC_FONT_FAMILY, fontSize, 700);
        view.setViewTextArea(QSize(textWidth, area.height()));
        view.setFontTextAreaParameter(LYRIC_FONT_FAMILY, fontSize, 700);
        view.setViewChordArea(area);
        QTEST((QVector<int>{view.textRowsCount, view.textRowVerticalSpace, view.textRowSpacing,
                            view.textFont.pixelSize(), view.chordCellsCount, view.chordCellWidth}), "expected");
        QCOMPARE(updates.size(), 3);
    }

    // Rows of song length (up to 32 characters, 25 with big letters) fit the
    // view's width whole, on each laptop screen's karaoke page and lower
    // part, and the rows shown fill its height: no row is cut off at the
    // bottom.
    void rowsFit_data()
    {
        QTest::addColumn<QSize>("area");
        QTest::addColumn<int>("fontSize");
        QTest::newRow("1280x800, karaoke page") << QSize(1280, 719) << 46;
        QTest::newRow("1366x768, karaoke page, big letters") << QSize(1366, 687) << 55;
        QTest::newRow("1280x800, over the library") << QSize(1280, 300) << 36;
        QTest::newRow("a window of its own") << QSize(712, 369) << 46;
    }
    void rowsFit()
    {
        QFETCH(QSize, area);
        QFETCH(int, fontSize);
        ViewParameter view;
        view.setFontTextAreaParameter(LYRIC_FONT_FAMILY, fontSize, 700);
        view.setViewTextArea(area);
        const QFontMetrics m(view.textFont);
        for (QString row : {"When the evening lights came on", "Till the end of the song we sing",
                            "WHEN THE MORNING COMES WE GO ON", "Hold the line and carry on now"}) {
            QVERIFY(row.size() <= ViewParameter::ROW_CHARACTERS);
            row.truncate(view.rowCharacters());
            QVERIFY2(m.horizontalAdvance(row) <= area.width() - m.horizontalAdvance('W'),
                     qPrintable(QStringLiteral("%1: %2 px at %3 px").arg(row).arg(m.horizontalAdvance(row))
                                    .arg(view.textFont.pixelSize())));
        }
        QVERIFY(view.textRowsCount >= view.chosenRowsCount);
        QVERIFY(view.textRowsCount * view.textRowVerticalSpace <= area.height());
        QVERIFY(m.height() <= view.textRowVerticalSpace);
    }

    void currentRow_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("centred");
        // Centred rows of real songs are read back by the karaoke view's tests.
        const QString latin = "Sing along now";
        QTest::newRow("start, left aligned") << LYRIC_FONT_FAMILY << latin << 0 << false;
        QTest::newRow("past the end, left aligned") << LYRIC_FONT_FAMILY << latin << 14 << false;
        QTest::newRow("left aligned") << LYRIC_FONT_FAMILY << latin << 7 << false;
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
        // Per row: first and last columns of sung pixels, then of unsung ones.
        QVector<QVector<int>> c(3, {INT_MAX, -1, INT_MAX, -1});
        for (int y = 0; y < 3 * view.textRowVerticalSpace; ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor p = image.pixelColor(x, y);
                const int k = p.blue() > 0 && p.red() == 0 ? 0 : p.red() > 0 && p.red() == p.blue() ? 2 : -1;
                QVector<int> &row = c[y / view.textRowVerticalSpace];
                if (k >= 0)
                    row[k] = qMin(row[k], x), row[k + 1] = qMax(row[k + 1], x);
            }
        }
        QVERIFY(c[0][1] >= 0 && c[0][3] < 0 && c[2][1] < 0 && c[2][3] >= 0);
        const QVector<int> &row = c[1];
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

VELMAR_TEST(TestLyricView)
#include "tst_lyricview.moc"
