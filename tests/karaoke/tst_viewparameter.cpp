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
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("fontSize");
        QTest::addColumn<int>("chordWidth");
        QTest::addColumn<QVector<int>>("expected");   // rows, pitch, spacing, font pixels, cells, cell width
        QTest::newRow("600") << 600 << 46 << 1300 << QVector<int>{5, 120, 36, 84, 5, 260};
        QTest::newRow("capped pitch") << 1000 << 46 << 700 << QVector<int>{5, 180, 54, 126, 2, 350};
        QTest::newRow("39 points") << 600 << 39 << 200 << QVector<int>{6, 100, 30, 70, 1, 240};
        QTest::newRow("40 points") << 600 << 40 << 1199 << QVector<int>{5, 120, 36, 84, 4, 299};
        QTest::newRow("49 points") << 600 << 49 << 240 << QVector<int>{5, 120, 36, 84, 1, 240};
        QTest::newRow("50 points") << 600 << 50 << 1200 << QVector<int>{4, 150, 45, 105, 5, 240};
        QTest::newRow("not laid out") << 0 << 46 << 0 << QVector<int>{5, 0, 0, 1, 1, 240};
        QTest::newRow("too small for a row") << 3 << 46 << 239 << QVector<int>{5, 0, 0, 1, 1, 240};
    }

    void sizes()
    {
        QFETCH(int, height);
        QFETCH(int, fontSize);
        QFETCH(int, chordWidth);
        ViewParameter view;
        QSignalSpy updates(&view, &ViewParameter::viewParameterUpdate);
        view.setFontTextAreaParameter(LYRIC_FONT_FAMILY, fontSize, 700);
        view.setViewTextArea(QSize(800, height));
        view.setFontTextAreaParameter(LYRIC_FONT_FAMILY, fontSize, 700);
        view.setViewChordArea(QSize(chordWidth, 80));
        QTEST((QVector<int>{view.textRowsCount, view.textRowVerticalSpace, view.textRowSpacing,
                            view.textFont.pixelSize(), view.chordCellsCount, view.chordCellWidth}),
              "expected");
        QCOMPARE(updates.size(), fontSize == 36 ? 2 : 3);
        QCOMPARE(QFontInfo(view.textFont).bold(), true);
    }
};

VELMAR_TEST(TestViewParameter)
#include "tst_viewparameter.moc"
