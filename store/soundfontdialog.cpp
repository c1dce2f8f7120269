#include "soundfontdialog.h"
#include "ui_soundfontdialog.h"

#include "prompter.h"

#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>

#include <limits>

SoundfontDialog::SoundfontDialog(QWidget *parent) : QDialog(parent), ui(new Ui::SoundfontDialog)
{
    ui->setupUi(this);
    connect(ui->cancelButton, &QPushButton::clicked, this, &SoundfontDialog::askToCancel);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(1002, 675);
    // The picture is optional: without it the dialog keeps its plain colours.
    const QString picture = QStringLiteral(":/icon2x/timbra-splash-bg.png");
    if (QFile::exists(picture))
        setStyleSheet(QStringLiteral("SoundfontDialog { background-image: url(%1); }").arg(picture)
                      + styleSheet());
}

SoundfontDialog::~SoundfontDialog()
{
    delete ui;
}

void SoundfontDialog::setMessage(const QString &text)
{
    ui->messageLabel->setText(text);
}

void SoundfontDialog::onDownloadProgress(qint64 received, qint64 total)
{
    // The bar counts in int: larger files are shown in kilobytes.
    const int shift = total > std::numeric_limits<int>::max() ? 10 : 0;
    ui->progressBar->setMaximum(int(qMax<qint64>(total, 0) >> shift));
    ui->progressBar->setValue(int(qBound<qint64>(0, received, qMax<qint64>(total, 0)) >> shift));
}

void SoundfontDialog::askToCancel()
{
    if (m_cancelMessage.isEmpty()
        || Prompter::question(tr("Attention"), m_cancelMessage, QMessageBox::Yes | QMessageBox::No)
               == QMessageBox::Yes)
        reject();
}

void SoundfontDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        askToCancel();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SoundfontDialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (isVisible())
        askToCancel();
}

void SoundfontDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        const QString message = ui->messageLabel->text();
        ui->retranslateUi(this);
        ui->messageLabel->setText(message);
    }
    QDialog::changeEvent(event);
}
