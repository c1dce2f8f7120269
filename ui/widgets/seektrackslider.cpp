#include "seektrackslider.h"
#include "ui_seektrackslider.h"

#include <QDebug>
#include <QEvent>
#include <cmath>

namespace {
constexpr int kMidi = 1;
constexpr int kMp3 = 2;
// Song load states: a song put back from its backup comes back "reloaded".
constexpr int kLoaded = 2;
constexpr int kReloaded = 4;
} // namespace

SeekTrackSlider::SeekTrackSlider(QWidget *parent)
    : QWidget(parent), ui(new Ui::SeekTrackSlider)
{
    ui->setupUi(this);
    ui->durataLabel->setText(QStringLiteral("-0:00"));
}

SeekTrackSlider::~SeekTrackSlider()
{
    delete ui;
}

void SeekTrackSlider::setSongSource(std::function<TransportSong()> source)
{
    song = std::move(source);
}

QString SeekTrackSlider::clockText(qint64 seconds)
{
    return QStringLiteral("%1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void SeekTrackSlider::on_loadSong_changed(int loadState)
{
    if (loadState != kLoaded && loadState != kReloaded) {
        ui->durataLabel->setText(QStringLiteral("-00:00"));
        ui->horizontalSlider->setMaximum(0);
        return;
    }
    const TransportSong s = song();
    lengthSec = s.lengthSec;
    ui->durataLabel->setText(QLatin1Char('-') + clockText(lengthSec));
    qDebug() << " Song Length " << lengthSec << ui->durataLabel->text();
    if (s.baseType != kMidi)
        ui->horizontalSlider->setMaximum(int(lengthSec));
    else if (s.lastBar >= 0)
        ui->horizontalSlider->setMaximum(s.lastBar);
}

void SeekTrackSlider::on_mSecOfPlaying_changed(uint milliseconds, uint)
{
    if (dragging)
        return;
    const TransportSong s = song();
    if (!s.loaded) {
        ui->durataLabel->setText(QStringLiteral("-0:00"));
        return;
    }
    const qint64 position = qint64(std::floor(milliseconds / 1000.0 + 0.5));
    const qint64 left = qMax<qint64>(qint64(s.lengthSec) - position, 0);
    ui->durataLabel->setText(QLatin1Char('-') + clockText(left));
    if (s.baseType == kMidi)
        return; // its slider follows the bars
    if (s.lengthSec != lengthSec) {
        lengthSec = s.lengthSec;
        ui->horizontalSlider->setMaximum(int(lengthSec));
    }
    ui->horizontalSlider->setValue(int(position));
}

void SeekTrackSlider::on_barBeatOfPlayng_changed(uint bar, uint)
{
    const TransportSong s = song();
    if (!dragging && s.loaded && s.baseType == kMidi)
        ui->horizontalSlider->setValue(int(bar));
}

void SeekTrackSlider::on_horizontalSlider_sliderPressed()
{
    dragging = true;
}

void SeekTrackSlider::on_horizontalSlider_sliderMoved(int value)
{
    if (!dragging)
        return;
    const int type = song().baseType;
    if (type == kMidi)
        ui->durataLabel->setText(tr("Bar: %1.1").arg(value + 1));
    else if (type == kMp3)
        ui->durataLabel->setText(clockText(value)); // the second the release jumps to
}

void SeekTrackSlider::on_horizontalSlider_sliderReleased()
{
    if (!dragging)
        return;
    dragging = false;
    const long value = ui->horizontalSlider->value();
    jump(song().baseType == kMidi ? value : value * 1000);
}

void SeekTrackSlider::on_horizontalSlider_actionTriggered(int)
{
}

void SeekTrackSlider::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->positionLabel->setText(tr("Position"));
    QWidget::changeEvent(event);
}
