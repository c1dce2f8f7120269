#include "melodychannelpopup.h"

#include "ui_melodychannelpopup.h"

#include <QEvent>

MelodyChannelPopup::MelodyChannelPopup(QWidget *parent) : QWidget(parent, Qt::Popup), ui(new Ui::MelodyChannelPopup)
{
    ui->setupUi(this);
    model.setStringList(QStringList(kChannels, QString()));
    nameRows();
    ui->channelsView->setModel(&model);
    loadSavedIndex(kDefaultChannel);
    connect(ui->channelsView, &QListView::clicked, this, &MelodyChannelPopup::selectedTrack);
}

MelodyChannelPopup::~MelodyChannelPopup()
{
    delete ui;
}

void MelodyChannelPopup::loadSavedIndex(int row)
{
    ui->channelsView->setCurrentIndex(model.index(row));
}

void MelodyChannelPopup::selectedTrack(const QModelIndex &index)
{
    emit melodyTrackChanged(index.row());
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
