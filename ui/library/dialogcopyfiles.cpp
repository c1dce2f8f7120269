#include "dialogcopyfiles.h"
#include "ui_dialogcopyfiles.h"

#include <QEvent>

DialogCopyFiles::DialogCopyFiles(QWidget *parent) : QDialog(parent), ui(new Ui::DialogCopyFiles)
{
    ui->setupUi(this);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

DialogCopyFiles::~DialogCopyFiles()
{
    delete ui;
}

void DialogCopyFiles::setTotalFiles(int total)
{
    totalFiles = total;
    ui->labelImporting->setText(tr("Copying %1 files").arg(total));
    ui->progressBarImporting->setRange(0, total);
}

void DialogCopyFiles::refreshCopyingLabel(int count)
{
    ui->labelImporting->setText(tr("Copying %1 of ").arg(count) + QString::number(totalFiles));
}

void DialogCopyFiles::setProgress(int value)
{
    ui->progressBarImporting->setValue(value);
}

void DialogCopyFiles::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    else
        QWidget::changeEvent(event);
}
