// The detached view window between its owner and its view.
#include "fakeengine.h"
#include "newwidgetwindow.h"
#include "testutil.h"

#include <QMimeData>
#include <QPushButton>

// Takes views back and records what the window reports, as the main window does.
class Owner : public QWidget
{
    Q_OBJECT

public:
    QList<QVariantList> calls;

public slots:
    void retriveWidget(QWidget *view, int id, bool closed)
    {
        calls << QVariantList{"back", id, closed};
        view->setParent(this);
    }
    void savePosAndSizeWidgets(int id, int x, int y, int w, int h) { calls << QVariantList{"pos", id, x, y, w, h}; }
    void dropEventOnDetachedWidgets(QDropEvent *, bool toPlay) { calls << QVariantList{"drop", toPlay}; }

public:
    void listen(NewWidgetWindow *window)
    {
        connect(window, &NewWidgetWindow::windowClosing, this, &Owner::retriveWidget);
        connect(window, &NewWidgetWindow::windowPropertyChanged, this, &Owner::savePosAndSizeWidgets);
        connect(window, &NewWidgetWindow::droppedOverWindow, this, &Owner::dropEventOnDetachedWidgets);
    }
};

class TestDetachedWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnAnyWarning(); }

    // Drops on the library view import, on the karaoke view play, and no
    // other view takes them.
    void drops_data()
    {
        QTest::addColumn<int>("view");
        QTest::addColumn<QVariantList>("drop"); // what a drop reports, empty when refused
        QTest::newRow("chords") << -6 << QVariantList{};
        QTest::newRow("mixer") << -5 << QVariantList{};
        QTest::newRow("library imports") << -3 << QVariantList{"drop", false};
        QTest::newRow("karaoke plays") << -2 << QVariantList{"drop", true};
    }
    void drops()
    {
        QFETCH(int, view);
        QFETCH(QVariantList, drop);
        Owner owner;
        NewWidgetWindow window(new QWidget(&owner), view, true, true);
        owner.listen(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.acceptDrops(), !drop.isEmpty());
        if (drop.isEmpty())
            return;
        owner.calls.clear();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile("/tmp/song.mid")});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&window, &event);
        QCOMPARE(owner.calls, QList<QVariantList>{drop});
    }

    void fullScreenAndMove()
    {
        Owner owner;
        NewWidgetWindow window(new QWidget, -5, false, false);
        owner.listen(&window);
        window.setGeometry(100, 100, 300, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *full = window.findChild<QPushButton *>("fullScreenButton");
        QTest::mouseClick(full, Qt::LeftButton);
        QVERIFY(window.isMaximized());
        QTest::mouseClick(full, Qt::LeftButton);
        QVERIFY(!window.isMaximized());

        // The first move after a size change only records the size.
        window.resize(320, 220);
        const QPoint start = window.pos();
        QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(150, 100));
        QMouseEvent first(QEvent::MouseMove, QPointF(160, 110), window.mapToGlobal(QPointF(160, 110)),
                          Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&window, &first);
        QCOMPARE(window.pos(), start);
        const QPointF target = window.mapToGlobal(QPointF(190, 140));
        QMouseEvent second(QEvent::MouseMove, QPointF(190, 140), target, Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&window, &second);
        QCOMPARE(window.pos(), target.toPoint() - QPoint(150, 100));
    }
};

VELMAR_TEST(TestDetachedWindow)
#include "tst_detachedwindow.moc"
