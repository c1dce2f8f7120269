#include "volumepopup.h"

#include "ui_volumepopup.h"

#include <QEvent>

volumePopup::volumePopup(QWidget *parent) : QWidget(parent, Qt::Popup), ui(new Ui::volumePopup)
{
    ui->setupUi(this);
    connect(ui->masterVolumeSlider, &QSlider::valueChanged, this, &volumePopup::volumeChanged);
}

volumePopup::~volumePopup()
{
    delete ui;
}

int volumePopup::getVolume() const
{
    return ui->masterVolumeSlider->value();
}

void volumePopup::setVolume(const unsigned int &volume)
{
    ui->masterVolumeSlider->setValue(int(qMin(volume, 127u)));
}

void volumePopup::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QWidget::changeEvent(event);
}
