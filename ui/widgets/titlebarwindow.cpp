#include "titlebarwindow.h"
#include "ui_titlebarwindow.h"

#include <QEvent>

TitleBarWindow::TitleBarWindow(QWidget *parent)
    : QWidget(parent), ui(new Ui::TitleBarWindow)
{
    ui->setupUi(this);
    connect(ui->pinButton, &QPushButton::clicked, this, &TitleBarWindow::pinClicked);
    connect(ui->iconButton, &QPushButton::clicked, this, &TitleBarWindow::minimiseClicked);
    connect(ui->fullScreenButton, &QPushButton::clicked, this, &TitleBarWindow::fullScreenClicked);
    connect(ui->closeButton, &QPushButton::clicked, this, &TitleBarWindow::closeClicked);
}

TitleBarWindow::~TitleBarWindow()
{
    delete ui;
}

void TitleBarWindow::setPinButton(bool visible)
{
    ui->pinButton->setVisible(visible);
}

void TitleBarWindow::setFullScreenButtonVisible(bool visible)
{
    ui->fullScreenButton->setVisible(visible);
}

void TitleBarWindow::setCloseButton(bool visible)
{
    ui->closeButton->setVisible(visible);
}

void TitleBarWindow::setFullScreenButton(bool isMaximised)
{
    maximised = isMaximised;
    if (maximised) {
        ui->fullScreenButton->setIcon(QIcon(QStringLiteral(":/icon2x/window-minimize.png")));
        ui->fullScreenButton->setToolTip(tr("Reduce Window"));
    } else {
        ui->fullScreenButton->setIcon(QIcon(QStringLiteral(":/icon2x/window-full-screen.png")));
        ui->fullScreenButton->setToolTip(tr("Fullscreen window"));
    }
}

void TitleBarWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setFullScreenButton(maximised);
    }
    QWidget::changeEvent(event);
}

void TitleBarWindow::pinClicked()
{
    emit buttonClicked(false);
}

void TitleBarWindow::minimiseClicked()
{
    emit minimizeScreenWidget();
}

void TitleBarWindow::fullScreenClicked()
{
    emit fullScreenWidget();
}

void TitleBarWindow::closeClicked()
{
    emit buttonClicked(true);
}
