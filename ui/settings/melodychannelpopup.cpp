#include "melodychannelpopup.h"

#include "parentslots.h"
#include "ui_melodychannelpopup.h"

#include <QEvent>

namespace {
constexpr int kChannels = 16;
constexpr int kFirstShown = 3;
} // namespace

MelodyChannelPopup::MelodyChannelPopup(QWidget *parent) : QWidget(parent, Qt::Popup), ui(new Ui::MelodyChannelPopup)
{
    ui->setupUi(this);
    QStringList rows;
    for (int channel = 1; channel <= kChannels; ++channel)
        rows << QStringLiteral("Track %1").arg(channel);
    model.setStringList(rows);
    ui->channelsView->setModel(&model);
    loadSavedIndex(kFirstShown);
    connect(ui->channelsView, &QListView::clicked, this, &MelodyChannelPopup::selectedTrack);
    connectToParentSlot(this, SIGNAL(melodyTrackChanged(int)), parent, SLOT(changeMelodyTrack(int)));
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

void MelodyChannelPopup::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QWidget::changeEvent(event);
}
