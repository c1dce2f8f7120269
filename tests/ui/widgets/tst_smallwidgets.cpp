// Colour combo box, busy indicator and hint bubble, painted offscreen; what
// the page checks read of texts cut short or controls out of sight.
#include "colorcombobox.h"
#include "fakeengine.h"
#include "popupform.h"
#include "qprogressindicator.h"
#include "testutil.h"
#include "widgettexts.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>

namespace {

// The entry of `kind` for the widget named `name`.
WidgetTexts::Entry entry(const QWidget *window, const QString &kind, const QString &name)
{
    for (const WidgetTexts::Entry &e : WidgetTexts::collect(window)) {
        if (e.kind == kind && e.path.endsWith(name))
            return e;
    }
    return {};
}

} // namespace

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

    // The bubble is as tall as its text needs: a short hint leaves it at
    // its form's size, a long one makes it taller, never cut.
    void hintBubbleFitsItsText_data()
    {
        QTest::addColumn<int>("words");
        QTest::newRow("short") << 3;
        QTest::newRow("four lines") << 30;
        QTest::newRow("a page") << 120;
    }
    void hintBubbleFitsItsText()
    {
        QFETCH(int, words);
        PopupForm bubble;
        // A window of its own: the offscreen screen grabs no keyboard for a pop-up.
        bubble.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        bubble.setText(QStringList(words, QStringLiteral("word")).join(' '));
        bubble.show();
        QCOMPARE(bubble.width(), 250);
        QVERIFY(words > 3 ? bubble.height() > 100 : bubble.height() <= 100);
        const WidgetTexts::Entry said = entry(&bubble, "label", "label");
        QVERIFY(said.need > 0);
        QVERIFY2(!said.cut(), qPrintable(QStringLiteral("%1 of %2").arg(said.have).arg(said.need)));
    }

    // Texts wider than their label or button, and buttons cut off by what
    // holds them, are told; a button that can be scrolled to is not.
    void cutTextsAndHiddenControls()
    {
        QWidget window;
        window.resize(400, 200);
        auto *row = new QHBoxLayout(&window);
        auto *narrow = new QLabel(QStringLiteral("A caption far wider than its label"), &window);
        narrow->setObjectName("narrow");
        narrow->setMaximumWidth(60);
        auto *wrapped = new QLabel(QStringList(40, QStringLiteral("word")).join(' '), &window);
        wrapped->setObjectName("wrapped");
        wrapped->setWordWrap(true);
        wrapped->setFixedSize(120, 30);
        auto *tight = new QPushButton(QStringLiteral("Report an Error"), &window);
        tight->setObjectName("tight");
        tight->setStyleSheet(QStringLiteral("border: none; padding: 0"));
        tight->setFixedWidth(tight->fontMetrics().horizontalAdvance(tight->text()));
        auto *roomy = new QPushButton(QStringLiteral("Import"), &window);
        roomy->setObjectName("roomy");
        row->addWidget(narrow);
        row->addWidget(wrapped);
        row->addWidget(tight);
        row->addWidget(roomy);
        // A frame narrower than the row of icons it holds.
        auto *frame = new QWidget(&window);
        frame->setGeometry(0, 150, 30, 30);
        auto *under = new QPushButton(frame);
        under->setObjectName("under");
        under->setGeometry(20, 0, 20, 20);
        // The same in a list that scrolls sideways.
        auto *scrolled = new QScrollArea(&window);
        scrolled->setGeometry(100, 150, 60, 45);
        auto *wide = new QWidget;
        wide->resize(200, 25);
        auto *reachable = new QPushButton(wide);
        reachable->setObjectName("reachable");
        reachable->setGeometry(150, 0, 20, 20);
        scrolled->setWidget(wide);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(entry(&window, "label", "narrow").cut());
        QVERIFY(entry(&window, "label", "wrapped").cut());
        QVERIFY(entry(&window, "button", "tight").cut());
        QVERIFY(!entry(&window, "button", "roomy").cut());
        QVERIFY(!entry(&window, "control", "roomy").cut());
        const WidgetTexts::Entry hidden = entry(&window, "control", "under");
        QCOMPARE(QList<int>({hidden.need, hidden.have}), QList<int>({20, 10}));
        QVERIFY(!entry(&window, "control", "reachable").cut());
        // One line a text, as the end-to-end check reads them; the wrapped
        // caption measured by its height.
        const QStringList lines = WidgetTexts::toLines(WidgetTexts::collect(&window)).split('\n');
        QCOMPARE(lines.filter(QRegularExpression("^button\t1\t.*/tight\tReport an Error\t")).size(), 1);
        QCOMPARE(lines.filter(QRegularExpression("^label\t1\t\\d+\t30\t.*/wrapped\t")).size(), 1);
    }

    // A widget that took the focus is told where it stands once the change
    // has been dealt with: a list that scrolls a button reached with Tab into
    // sight (itself told of the change after the recording) shows it whole.
    void focusWhereItIsSeen()
    {
        WidgetTexts::recordFocus();
        QWidget window;
        window.resize(200, 100);
        auto *first = new QPushButton(QStringLiteral("First"), &window);
        first->setGeometry(0, 0, 80, 20);
        auto *scrolled = new QScrollArea(&window);
        scrolled->setGeometry(0, 30, 200, 60);
        scrolled->setFocusPolicy(Qt::NoFocus);
        auto *rows = new QWidget;
        rows->resize(180, 400);
        auto *low = new QPushButton(QStringLiteral("Low"), rows);
        low->setObjectName("low");
        low->setGeometry(10, 300, 80, 20);
        scrolled->setWidget(rows);
        connect(qApp, &QApplication::focusChanged, scrolled, [scrolled](QWidget *, QWidget *now) {
            if (now && scrolled->widget()->isAncestorOf(now))
                scrolled->ensureWidgetVisible(now);
        });
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        first->setFocus();
        WidgetTexts::takeFocused();
        QTest::keyClick(first, Qt::Key_Tab);
        QTRY_VERIFY(low->hasFocus());
        QCoreApplication::processEvents();
        const QList<WidgetTexts::Entry> took = WidgetTexts::takeFocused();
        QVERIFY(!took.isEmpty() && took.last().path.endsWith("/low"));
        QCOMPARE(took.last().visible, took.last().at);
        QCOMPARE(took.last().at, QRect(low->mapToGlobal(QPoint()), low->size()));
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
