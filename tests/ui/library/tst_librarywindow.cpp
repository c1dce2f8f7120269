// The library page in a window of its own, dragged about by the mouse.
#include "libraryfixture.h"

#include "newwidgetwindow.h"

#include <QPointer>
#include <QScreen>

class TestLibraryWindow : public QObject, LibraryFixture
{
    Q_OBJECT

    // Drags the window by the free part of its top row, the pointer going
    // `by` from where it was pressed.
    static void dragBy(QWidget *window, QPoint by)
    {
        const QPoint grab(10, 5), start = window->pos();
        const auto at = [&](QPoint step) { return grab + step - (window->pos() - start); };
        QTest::mousePress(window, Qt::LeftButton, {}, grab);
        // The first move after a size change only records the size.
        for (const QPoint step : {QPoint(0, 1), by / 2, by})
            QTest::mouseMove(window, at(step));
        QTest::mouseRelease(window, Qt::LeftButton, {}, at(by));
    }
    static bool onScreen(const QWidget *button)
    {
        const QRect at(button->mapToGlobal(QPoint(0, 0)), button->size());
        return button->isVisible() && button->screen()->availableGeometry().contains(at);
    }

private slots:
    void init() { open(); }
    void cleanup() { close(); }

    // Dragged partly off the screen, the window keeps its pin and close
    // buttons on it; the pin then docks the page.
    void titleBarStaysReachable()
    {
        QPointer<NewWidgetWindow> window =
            new NewWidgetWindow(new libraryView(db.get(), nullptr, nullptr), DetachedView::Library, true, true);
        QSignalSpy closing(window, &NewWidgetWindow::windowClosing);
        window->setGeometry(10, 100, 700, 400);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto *pin = window->findChild<QPushButton *>("pinButton");
        auto *shut = window->findChild<QPushButton *>("closeButton");
        QVERIFY(onScreen(pin) && onScreen(shut));

        for (const QPoint by : {QPoint(500, -300), QPoint(-900, 900), QPoint(300, -2000)}) {
            dragBy(window, by);
            QVERIFY2(onScreen(pin) && onScreen(shut),
                     qPrintable(QString("window at %1,%2").arg(window->x()).arg(window->y())));
        }
        // Within the screen the window follows the mouse exactly.
        const QPoint before = window->pos();
        dragBy(window, QPoint(-30, 40));
        QCOMPARE(window->pos(), before + QPoint(-30, 40));

        QTest::mouseClick(pin, Qt::LeftButton);
        QCOMPARE(closing.size(), 1);
        QCOMPARE(closing.first().at(2).toBool(), false);
        std::unique_ptr<QWidget> page(closing.first().at(0).value<QWidget *>());
        QVERIFY(page && !page->parent());
        QTRY_VERIFY(window.isNull());
    }
};

VELMAR_TEST(TestLibraryWindow)
#include "tst_librarywindow.moc"
