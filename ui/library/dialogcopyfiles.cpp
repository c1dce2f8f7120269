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
    copied = -1;
    ui->progressBarImporting->setRange(0, total);
    showCopying();
}

void DialogCopyFiles::refreshCopyingLabel(int count)
{
    copied = count;
    showCopying();
}

void DialogCopyFiles::showCopying()
{
    ui->labelImporting->setText(copied < 0 ? tr("Copying %1 files").arg(totalFiles)
                                           : tr("Copying %1 of ").arg(copied) + QString::number(totalFiles));
}

void DialogCopyFiles::setProgress(int value)
{
    ui->progressBarImporting->setValue(value);
}

void DialogCopyFiles::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        showCopying();
    } else
        QWidget::changeEvent(event);
}
