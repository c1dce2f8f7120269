#include "DatabaseHelper.h"
#include "KaraokeTextWidget.h"
#include "ListTextViewDelegate.h"
#include "Song.h"
#include "ViewParameter.h"
#include "chordsView.h"
#include "constants.h"
#include "mainwindow.h"
#include "newwidgetwindow.h"
#include "settingsview.h"
#include "testutil.h"
#include "windowrig.h"

#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

// The real window's views going into windows of their own and back, their
// rectangles kept from one window to the next, and the karaoke view's full
// screen, looks and extra windows while the real engine plays a KAR song.
class TestViews : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<DatabaseHelper> m_db;
    std::unique_ptr<MainWindow> m_window;

    MainWindow *window()
    {
        if (!m_window) {
            m_window = windowOnSynth(m_db.get());
            m_window->engine()->connectToSoundCardByIdx(SoundEngine::kSynthIndex);
            m_window->findChild<QStackedWidget *>("stackedWidget")->setCurrentIndex(0);
            m_window->show();
        }
        return m_window.get();
    }
    // The window closes (storing the positions) and the next one starts.
    void restart()
    {
        QVERIFY(window()->close());
        m_window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // The next window's engine starts without the song loaded.
        currSong->unloadSongFile();
        window();
    }
    template <class T = QWidget> T *find(const char *name) { return window()->findChild<T *>(name); }
    // A view docked or in the window that carries its name.
    QWidget *view(const QString &key)
    {
        QWidget *found = find(key.toLatin1());
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (!found && w != window() && w->objectName() == key)
                found = w->findChild<QWidget *>(key);
        }
        return found;
    }
    KaraokeTextWidget *karaoke() { return window()->karaokeView(); }
    static QColor corner(QWidget *w) { return w->grab().toImage().pixelColor(3, 3); }

private slots:
    void initTestCase()
    {
        appSettings = new QSettings(QStringLiteral("Kvero"), QStringLiteral("VelmarPC"));
        TestUtil::runPython(QStringLiteral("app/make_kar.py"), {m_dir.path(), QStringLiteral("20"), "song"});
        m_db = std::make_unique<DatabaseHelper>();
        QVERIFY(m_db->initDb() && m_db->connect());
    }
    void init()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
        appSettings->clear();
    }
    void cleanup()
    {
        m_window.reset();
        currSong->unloadSongFile();
    }
    void cleanupTestCase()
    {
        m_db.reset();
        delete appSettings;
        appSettings = nullptr;
    }

    void detachAndDock_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("byClose");   // the window's close, else its pin
        QTest::newRow("library, pinned") << "LibraryButton" << "libraryView" << false;
        QTest::newRow("edit, closed") << "EditButton" << "editView" << true;
        QTest::newRow("mixer, pinned") << "MixerButton" << "mixerView" << false;
        QTest::newRow("chords, closed") << "ChordsButton" << "chordsView" << true;
        QTest::newRow("karaoke, pinned") << "KaraokeButton" << "KaraokeTextWidget" << false;
        QTest::newRow("karaoke, closed") << "KaraokeButton" << "KaraokeTextWidget" << true;
    }
    // Detached, moved and resized, stored on close as it is, reopened there
    // at the next start, and docked back.
    void detachAndDock()
    {
        QFETCH(QString, tab);
        QFETCH(QString, key);
        QFETCH(bool, byClose);
        const bool isKaraoke = key == "KaraokeTextWidget";
        QWidget *view = this->view(key);
        QSignalSpy dragged(window(), &MainWindow::barDragged);
        if (isKaraoke) {
            QTest::mouseClick(view->findChild<QPushButton *>("pb_to_new_window"), Qt::LeftButton);
        } else {
            QTest::mouseClick(find<QPushButton>(tab.toLatin1()), Qt::LeftButton);
            QTest::mouseClick(find<QPushButton>("unpinButton"), Qt::LeftButton);
            QVERIFY(find<QPushButton>("KaraokeButton")->isChecked());
        }
        QCOMPARE(dragged.size(), key == "mixerView" ? 1 : 0);
        auto *own = qobject_cast<NewWidgetWindow *>(view->window());
        QVERIFY(own && own->isVisible() && view->isVisible());
        QCOMPARE(find("screenWidget")->isVisible(), !isKaraoke);
        own->setGeometry(140, 90, own->width() + 20, own->height() - 10);
        const QRect rect = own->geometry();
        QCOMPARE(rect.topLeft(), QPoint(140, 90));

        restart();
        QCOMPARE(appSettings->value("WindowsPosition/" + key).toRect(), rect);
        QVERIFY(appSettings->value("WindowsPosition/MainWindow").toRect().isValid());
        view = this->view(key);
        QVERIFY(view && view->window() != window());
        QCOMPARE(view->window()->geometry(), rect);
        QVERIFY(find<QPushButton>("KaraokeButton")->isChecked());
        QCOMPARE(find("screenWidget")->isHidden(), isKaraoke);
        QWidget *unpin = karaoke()->findChild<QWidget *>("pb_to_new_window");
        QCOMPARE(unpin->isHidden(), isKaraoke);

        // A pinned bar view comes back shown on its own tab; a closed one
        // hidden; the karaoke view always shown.
        if (byClose)
            QVERIFY(view->window()->close());
        else
            qobject_cast<NewWidgetWindow *>(view->window())->on_clickPinObject(false);
        QCOMPARE(view->window(), window());
        QCOMPARE(view->isVisible(), isKaraoke || !byClose);
        QCOMPARE(find<QPushButton>(tab.toLatin1())->isChecked(), isKaraoke || !byClose);
        QVERIFY(find("screenWidget")->isVisible() && !unpin->isHidden());
        restart();
        QVERIFY(!appSettings->contains("WindowsPosition/" + key));
    }

    void offScreen_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<bool>("kept");
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QTest::newRow("main window on screen") << "MainWindow" << QRect(30, 40, 900, 560) << true;
        QTest::newRow("main window on a screen gone") << "MainWindow" << QRect(screen.right() + 900, 40, 900, 560) << false;
        QTest::newRow("library above the screen") << "libraryView" << QRect(10, -2000, 800, 300) << false;
        QTest::newRow("karaoke at the edge") << "KaraokeTextWidget" << QRect(screen.right() - 100, 10, 500, 300) << true;
        QTest::newRow("karaoke a sliver in") << "KaraokeTextWidget" << QRect(screen.right() - 10, 10, 500, 300) << false;
    }
    // A stored rectangle no screen shows opens at the screen's corner.
    void offScreen()
    {
        QFETCH(QString, key);
        QFETCH(QRect, stored);
        QFETCH(bool, kept);
        appSettings->setValue("WindowsPosition/" + key, stored);
        QWidget *w = key == "MainWindow" ? window() : view(key)->window();
        QVERIFY(w != (key == "MainWindow" ? nullptr : window()));
        const QRect home = QGuiApplication::primaryScreen()->availableGeometry();
        // The main window's frame may push it a little inside the screen.
        QVERIFY((w->geometry().topLeft() - (kept ? stored.topLeft() : home.topLeft())).manhattanLength() <= 4);
        if (key != "MainWindow")
            QCOMPARE(w->size(), stored.size());
    }

    // Full screen from the main window and back home; in an unpinned window
    // full screen on and off.
    void fullScreen()
    {
        auto *button = karaoke()->findChild<QPushButton *>("pb_fullscreen");
        QTest::mouseClick(button, Qt::LeftButton);
        QWidget *own = karaoke()->window();
        QVERIFY(own != window() && own->isFullScreen() && own->property("Can fullscreen").toBool());
        QVERIFY(find("screenWidget")->isHidden());
        QTRY_COMPARE(button->toolTip(), QString("Riduci schermo"));
        QTest::mouseDClick(karaoke()->findChild<QWidget *>("page_control"), Qt::LeftButton);
        QCOMPARE(karaoke()->window(), window());
        QVERIFY(find("screenWidget")->isVisible());

        QTest::mouseClick(karaoke()->findChild<QPushButton *>("pb_to_new_window"), Qt::LeftButton);
        own = karaoke()->window();
        for (bool full : {true, false}) {
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(own->isFullScreen(), full);
            QCOMPARE(karaoke()->window(), own);
        }
    }

    void extraWindows_data()
    {
        QTest::addColumn<QString>("background");   // a colour, else a picture's file name
        QTest::addColumn<QColor>("expected");
        QTest::newRow("colour") << "#2359bd" << QColor("#2359bd");
        QTest::newRow("picture, awkward name") << R"(sky "blue") {x}.png)" << QColor(Qt::red);
        QTest::newRow("picture not readable") << "missing.png" << QColor(28, 28, 28);
    }
    // Two extra windows take the looks and follow the playing song's rows;
    // each goes with its widget when closed and none is stored on close.
    void extraWindows()
    {
        QFETCH(QString, background);
        QFETCH(QColor, expected);
        SettingsView *settings = window()->settingsView();
        if (background.startsWith('#')) {
            emit settings->colorKaraokeBackgroundChanged(background);
        } else {
            QImage red(50, 50, QImage::Format_RGB32);
            red.fill(Qt::red);
            if (background != "missing.png")
                QVERIFY(red.save(m_dir.filePath(background), "PNG"));
            emit settings->imageKaraokeBackgroundChanged(m_dir.filePath(background));
        }
        emit settings->colorKaraokeHighlightChanged("#0fa00b");
        QVERIFY(window()->onStartSongPath(m_dir.filePath("song.kar"), 0));
        auto *add = karaoke()->findChild<QPushButton *>("pb_add_new_window");
        QTest::mouseClick(add, Qt::LeftButton);
        QTest::mouseClick(add, Qt::LeftButton);
        const QList<KaraokeTextWidget *> copies = karaoke()->copies();
        QCOMPARE(copies.size(), 2);
        for (KaraokeTextWidget *w : {karaoke(), copies[0], copies[1]}) {
            QCOMPARE(corner(w), expected);
            QCOMPARE(w->viewParameter()->sungFillColor, QColor("#0fa00b"));
        }
        // Rows of 2 s (split where a narrow window needs it): the copies
        // light the song's second row, then its third, with the main view.
        auto row = [](KaraokeTextWidget *w) {
            const int r = w->findChild<ListTextViewDelegate *>()->playRow;
            return r < 0 ? -1 : int(w->lyricsModel()->rows()[r].tick);
        };
        for (int bar : {1, 2}) {
            QTRY_VERIFY_WITH_TIMEOUT(row(karaoke()) == bar * 1920, 15000);
            QTRY_VERIFY(row(copies[0]) == bar * 1920 && row(copies[1]) == bar * 1920);
        }

        QPointer<KaraokeTextWidget> first(copies[0]);
        QPointer<QWidget> firstWindow(first->window());
        QVERIFY(firstWindow->close());
        QTRY_VERIFY(!first && !firstWindow);
        QCOMPARE(karaoke()->copies().size(), 1);
        QCOMPARE(karaoke()->window(), window());
        restart();
        QVERIFY(!appSettings->contains("WindowsPosition/KaraokeTextWidget"));
        QCOMPARE(karaoke()->window(), window());
    }
};

VELMAR_TEST(TestViews)
#include "tst_views.moc"
