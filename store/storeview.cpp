#include "storeview.h"
#include "ui_storeview.h"

storeView::storeView(QWidget *parent) : QWidget(parent), ui(new Ui::storeView)
{
    ui->setupUi(this);
    connect(ui->newsStore, &QPushButton::clicked, this, &storeView::showNews);
    connect(ui->searchStore, &QPushButton::clicked, this, &storeView::showSearch);
    connect(ui->accountStore, &QPushButton::clicked, this, &storeView::showAccount);
    connect(ui->downloadsStore, &QPushButton::clicked, this, &storeView::showDownloads);
    connect(ui->backToPlayerButton, &QPushButton::clicked, this, &storeView::backToPlayer);
    showNews();
}

storeView::~storeView()
{
    delete ui;
}

void storeView::showPage(int page, bool search, bool account, bool subHeader)
{
    ui->stackedWidget->setCurrentIndex(page);
    ui->searchStoreEdit->setVisible(search);
    ui->userAccountLabel->setVisible(account);
    ui->frameSubHeader->setVisible(subHeader);
}

void storeView::showNews()
{
    showPage(0, true, false, true);
}

void storeView::showSearch()
{
    showPage(1, true, false, true);
}

void storeView::showAccount()
{
    showPage(2, false, true, true);
}

void storeView::showDownloads()
{
    showPage(3, false, false, false);
}

void storeView::backToPlayer()
{
    emit goToMainWindow();
}

void storeView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QWidget::changeEvent(event);
}
