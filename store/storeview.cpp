#include "storeview.h"
#include "ui_storeview.h"

storeView::storeView(QWidget *parent) : QWidget(parent), ui(new Ui::storeView)
{
    ui->setupUi(this);
    on_newsStore_clicked();
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

void storeView::on_newsStore_clicked()
{
    showPage(0, true, false, true);
}

void storeView::on_searchStore_clicked()
{
    showPage(1, true, false, true);
}

void storeView::on_accountStore_clicked()
{
    showPage(2, false, true, true);
}

void storeView::on_downloadsStore_clicked()
{
    showPage(3, false, false, false);
}

void storeView::on_backToPlayerButton_clicked()
{
    emit goToMainWindow();
}

void storeView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QWidget::changeEvent(event);
}
