#include "mainwindow.h"

#include "constants.h"
#include "ui_mainwindow.h"

#include <QEvent>

MainWindow::MainWindow(DatabaseHelper *db, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), db(db)
{
    // Children built below may reach the window through `mw` already.
    mw = this;
    ui->setupUi(this);
    ui->stackedWidget->setCurrentWidget(ui->pageSplashscreen);
    setWindowTitle(QStringLiteral("%1 v%2").arg(QLatin1String(kProductName),
                                                QLatin1String(kProductVersion)));
}

MainWindow::~MainWindow()
{
    if (mw == this)
        mw = nullptr;
    delete ui;
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QMainWindow::changeEvent(event);
}
