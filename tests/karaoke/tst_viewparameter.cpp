#include "ViewParameter.h"
#include "testutil.h"

#include <QSignalSpy>
#include <QtTest>

class TestViewParameter : public QObject
{
    Q_OBJECT
private slots:
    void sizes_data()
    {
        QTest::addColumn<QSize>("area");           // lyric list: width unused, height
        QTest::addColumn<int>("fontSize");
        QTest::addColumn<QVector<int>>("expected");   // rows, pitch, spacing, font pixels, chord cells, cell width
        QTest::newRow("600") << QSize(1300, 600) << 46 << QVector<int>{5, 120, 36, 84, 5, 260};
        QTest::newRow("capped pitch") << QSize(700, 1000) << 46 << QVector<int>{5, 180, 54, 126, 2, 350};
        QTest::newRow("39 points") << QSize(200, 600) << 39 << QVector<int>{6, 100, 30, 70, 1, 240};
        QTest::newRow("40 points") << QSize(1199, 600) << 40 << QVector<int>{5, 120, 36, 84, 4, 299};
        QTest::newRow("49 points") << QSize(240, 600) << 49 << QVector<int>{5, 120, 36, 84, 1, 240};
        QTest::newRow("50 points") << QSize(1200, 600) << 50 << QVector<int>{4, 150, 45, 105, 5, 240};
        QTest::newRow("not laid out") << QSize(0, 0) << 46 << QVector<int>{5, 0, 0, 1, 1, 240};
        QTest::newRow("too small for a row") << QSize(239, 3) << 46 << QVector<int>{5, 0, 0, 1, 1, 240};
    }

    // The chord area takes the width, the lyric area the height.
    void sizes()
    {
        QFETCH(QSize, area);
        QFETCH(int, fontSize);
        ViewParameter view;
        QSignalSpy updates(&view, &ViewParameter::viewParameterUpdate);
        view.setFontTextAreaParameter(LYRIC_FONT_FAMILY, fontSize, 700);
        view.setViewTextArea(area);
        view.setFontTextAreaParameter(LYRIC_FONT_FAMILY, fontSize, 700);
        view.setViewChordArea(area);
        QTEST((QVector<int>{view.textRowsCount, view.textRowVerticalSpace, view.textRowSpacing,
                            view.textFont.pixelSize(), view.chordCellsCount, view.chordCellWidth}), "expected");
        QCOMPARE(updates.size(), 3);
    }
};

VELMAR_TEST(TestViewParameter)
#include "tst_viewparameter.moc"
