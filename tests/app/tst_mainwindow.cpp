#include "constants.h"
#include "mainwindow.h"
#include "resourcepaths.h"
#include "testutil.h"

#include <QCoreApplication>
#include <QLabel>
#include <QStackedWidget>
#include <QTranslator>
#include <QtTest>

// The window as start-up shows it, and the translations it is shown with.
class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void splashPage()
    {
        MainWindow window(nullptr);
        QCOMPARE(mw, &window);
        QCOMPARE(window.windowTitle(), QString("Velmar PC v2.4.10"));
        QCOMPARE(window.objectName(), QString("MainWindow"));
        QCOMPARE(window.minimumHeight(), 600);
        QVERIFY(window.acceptDrops());
        auto *stack = window.findChild<QStackedWidget *>("stackedWidget");
        QVERIFY(stack);
        QCOMPARE(stack->currentWidget()->objectName(), QString("pageSplashscreen"));
        auto *logo = window.findChild<QLabel *>("lb_splashLogo");
        QVERIFY(logo);
        QCOMPARE(logo->pixmap().size(), QSize(800, 488));
        QVERIFY(!window.windowIcon().isNull());
        QVERIFY(!QImage(":/icon2x/splashscreen_bg.jpg").isNull());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    // Each language switches the visible texts, the program's and Qt's own.
    void languages_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("qt");
        QTest::addColumn<QString>("loading");
        QTest::addColumn<QString>("cancel");
        QTest::newRow("it") << "lang_it" << "qt_it" << "Caricamento..." << "Annulla";
        QTest::newRow("en") << "lang_en" << "qt_en" << "Loading..." << "Cancel";
        QTest::newRow("de") << "lang_de" << "qt_en" << "Wird geladen..." << "Cancel";
        QTest::newRow("zh") << "lang_zh" << "qt_en" << QString::fromUtf8("正在加载...") << "Cancel";
    }
    void languages()
    {
        QFETCH(QString, program);
        QFETCH(QString, qt);
        QFETCH(QString, loading);
        QFETCH(QString, cancel);
        MainWindow window(nullptr);
        QTranslator programTranslator, qtTranslator;
        QVERIFY(programTranslator.load(program, ResourcePaths::languageFolder));
        QVERIFY(qtTranslator.load(qt, ResourcePaths::languageFolder));
        QCoreApplication::installTranslator(&programTranslator);
        QCoreApplication::installTranslator(&qtTranslator);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(window.findChild<QLabel *>("lb_splashLoading")->text(), loading);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);
        QCoreApplication::removeTranslator(&programTranslator);
        QCoreApplication::removeTranslator(&qtTranslator);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(window.findChild<QLabel *>("lb_splashLoading")->text(), QString("Loading..."));
    }
};

VELMAR_TEST(TestMainWindow)
#include "tst_mainwindow.moc"
