// The melody-channel pop-up used from the keyboard and the mouse as it is
// drawn: it opens on the channel chosen with the list in focus, the arrows
// only move, Return or a click chooses and closes, Escape closes unchanged.
#include "melodychannelpopup.h"
#include "testutil.h"

#include <QApplication>
#include <QListView>
#include <QtTest>

class TestMelodyChannel : public QObject
{
    Q_OBJECT

    // The pop-up opened as the transport's button opens it.
    static QListView *open(MelodyChannelPopup &popup)
    {
        popup.move(100, 100);
        popup.show();
        if (!QTest::qWaitForWindowExposed(&popup))
            return nullptr;
        return popup.findChild<QListView *>("channelsView");
    }

private slots:
    void keysAndClicks()
    {
        QWidget window;
        window.show();
        MelodyChannelPopup popup(&window);
        QSignalSpy chosen(&popup, &MelodyChannelPopup::melodyTrackChanged);
        popup.loadSavedIndex(3);
        QListView *list = open(popup);
        QVERIFY(list);
        QCOMPARE(QApplication::focusWidget(), list);
        QCOMPARE(list->currentIndex().row(), 3);

        // The arrows move; nothing is chosen until Return, which closes.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(list->currentIndex().row(), 5);
        QCOMPARE(chosen.size(), 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.takeFirst().value(0).toInt(), 5);
        QTRY_VERIFY(!popup.isVisible());

        // Escape after a move: closed, nothing chosen, the choice shown again.
        QVERIFY(open(popup));
        QCOMPARE(list->currentIndex().row(), 5);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!popup.isVisible());
        QCOMPARE(chosen.size(), 0);
        QVERIFY(open(popup));
        QCOMPARE(list->currentIndex().row(), 5);

        // A click on the tenth row chooses channel 10 and closes.
        const QRect tenth = list->visualRect(list->model()->index(9, 0));
        QVERIFY(list->viewport()->rect().contains(tenth));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, tenth.center());
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.takeFirst().value(0).toInt(), 9);
        QTRY_VERIFY(!popup.isVisible());
    }
};

VELMAR_TEST(TestMelodyChannel)
#include "tst_melodychannel.moc"
