// Colour combo box and busy indicator, painted offscreen.
#include "colorcombobox.h"
#include "fakeengine.h"
#include "qprogressindicator.h"
#include "testutil.h"

#include <QPainter>

class TestSmallWidgets : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnAnyWarning(); }

    void colorComboBox_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColor>("color");
        QTest::newRow("keyword") << "red" << QColor(255, 0, 0);
        QTest::newRow("hexadecimal") << "#0000ff" << QColor(0, 0, 255);
    }

    // The chosen entry's colour is its data and its swatch, and stays its
    // own colour when highlighted in the list.
    void colorComboBox()
    {
        QFETCH(QString, name);
        QFETCH(QColor, color);
        ColorComboBox box;
        box.addItems({"white", name});
        box.resize(120, 30);
        box.setCurrentIndex(1);
        QCOMPARE(box.currentData().value<QColor>(), color);
        QCOMPARE(box.itemText(1), QString());
        QCOMPARE(box.grab().toImage().pixelColor(20, 15), color);

        QImage row(60, 20, QImage::Format_ARGB32);
        row.fill(Qt::transparent);
        QPainter p(&row);
        QStyleOptionViewItem option;
        option.rect = row.rect();
        option.state = QStyle::State_Selected | QStyle::State_Enabled;
        box.itemDelegate()->paint(&p, option, box.model()->index(1, 0));
        p.end();
        QCOMPARE(row.pixelColor(30, 10), color);
    }

    void emptyColorComboBoxHasNoSwatch()
    {
        ColorComboBox box;
        QComboBox plain;
        box.resize(120, 30);
        plain.resize(120, 30);
        QCOMPARE(box.grab().toImage(), plain.grab().toImage());
    }

    void progressIndicator()
    {
        QProgressIndicator spinner;
        spinner.resize(spinner.sizeHint());
        QWidget blank;
        blank.resize(spinner.size());
        const QImage nothing = blank.grab().toImage();
        QCOMPARE(spinner.grab().toImage(), nothing);
        spinner.startAnimation();
        QVERIFY(spinner.grab().toImage() != nothing);
        spinner.stopAnimation();
        QCOMPARE(spinner.grab().toImage(), nothing);
        spinner.setDisplayedWhenStopped(true);
        QVERIFY(spinner.grab().toImage() != nothing);
    }
};

VELMAR_TEST(TestSmallWidgets)
#include "tst_smallwidgets.moc"
