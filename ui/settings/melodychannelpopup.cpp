#include "melodychannelpopup.h"

#include "ui_melodychannelpopup.h"

#include <QEvent>
#include <QKeyEvent>

MelodyChannelPopup::MelodyChannelPopup(QWidget *parent) : QWidget(parent, Qt::Popup), ui(new Ui::MelodyChannelPopup)
{
    ui->setupUi(this);
    model.setStringList(QStringList(kChannels, QString()));
    nameRows();
    ui->channelsView->setModel(&model);
    loadSavedIndex(kDefaultChannel);
    connect(ui->channelsView, &QListView::clicked, this, &MelodyChannelPopup::selectedTrack);
    ui->channelsView->installEventFilter(this);
}

MelodyChannelPopup::~MelodyChannelPopup()
{
    delete ui;
}

void MelodyChannelPopup::loadSavedIndex(int row)
{
    chosen = row;
    ui->channelsView->setCurrentIndex(model.index(row));
}

void MelodyChannelPopup::selectedTrack(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    chosen = index.row();
    emit melodyTrackChanged(chosen);
    close();
}

void MelodyChannelPopup::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    ui->channelsView->setFocus(Qt::PopupFocusReason);
}

// Closed without a choice (Escape, a click elsewhere): the row the arrows
// moved to is forgotten.
void MelodyChannelPopup::hideEvent(QHideEvent *event)
{
    ui->channelsView->setCurrentIndex(model.index(chosen));
    QWidget::hideEvent(event);
}

bool MelodyChannelPopup::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            selectedTrack(ui->channelsView->currentIndex());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MelodyChannelPopup::nameRows()
{
    // Named in place, so that the chosen row stays chosen.
    for (int row = 0; row < model.rowCount(); ++row)
        model.setData(model.index(row), tr("Track %1").arg(row + 1));
}

void MelodyChannelPopup::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        nameRows();
    }
    QWidget::changeEvent(event);
}
