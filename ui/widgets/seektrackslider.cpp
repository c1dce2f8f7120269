#include "seektrackslider.h"
#include "ui_seektrackslider.h"

#include "Song.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QPointer>
#include <QProxyStyle>
#include <cmath>

namespace {
constexpr int kMidi = 1;
constexpr int kMp3 = 2;
// Song load states: a song put back from its backup comes back "reloaded".
constexpr int kLoaded = 2;
constexpr int kReloaded = 4;

// The left button sets the handle where it presses and holds it there, as
// the middle button does in most styles; a press never steps by pages.
class PressAnywhereStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton | Qt::MiddleButton;
        if (hint == SH_Slider_PageSetButtons)
            return Qt::NoButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QStyle *pressAnywhere()
{
    static QPointer<QStyle> style;
    if (!style) {
        style = new PressAnywhereStyle;
        style->setParent(qApp);
    }
    return style;
}
} // namespace

TransportSong TransportSong::of(const Song &song)
{
    TransportSong t;
    t.loaded = song.isLoaded();
    t.baseType = int(song.baseType());
    t.lengthSec = song.lengthSeconds();
    t.lastBar = song.barsBeats().isEmpty() ? -1 : int(song.barsBeats().last().bar);
    return t;
}

SeekTrackSlider::SeekTrackSlider(QWidget *parent)
    : QWidget(parent), ui(new Ui::SeekTrackSlider)
{
    ui->setupUi(this);
    ui->timeLeftLabel->setText(QStringLiteral("-0:00"));
    ui->horizontalSlider->setStyle(pressAnywhere());
    connect(ui->horizontalSlider, &QSlider::sliderPressed, this, &SeekTrackSlider::holdHandle);
    connect(ui->horizontalSlider, &QSlider::sliderMoved, this, &SeekTrackSlider::showDragTarget);
    connect(ui->horizontalSlider, &QSlider::sliderReleased, this, &SeekTrackSlider::seekToHandle);
    fitLabel();
}

void SeekTrackSlider::fitLabel()
{
    // As wide as its widest text: the bar keeps its length, and the handle
    // stays under the hand, when the label turns to the held bar.
    ui->timeLeftLabel->ensurePolished();
    const QFontMetrics m(ui->timeLeftLabel->font());
    int widest = 0;
    for (const QString &t : {tr("Bar: %1.1").arg(888), QStringLiteral("-000:00")})
        widest = qMax(widest, m.horizontalAdvance(t));
    ui->timeLeftLabel->setMinimumWidth(widest + 4);
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

void SeekTrackSlider::showLoadState(int loadState)
{
    if (loadState != kLoaded && loadState != kReloaded) {
        // The song has ended or gone: nothing is left to seek in, and a
        // pop-up left standing would keep the keyboard from the window.
        letGo();
        if (isWindow())
            hide();
        ui->timeLeftLabel->setText(QStringLiteral("-00:00"));
        ui->horizontalSlider->setMaximum(0);
        return;
    }
    const TransportSong s = song();
    lengthSec = s.lengthSec;
    ui->timeLeftLabel->setText(QLatin1Char('-') + clockText(lengthSec));
    qDebug() << " Song Length " << lengthSec << ui->timeLeftLabel->text();
    if (s.baseType != kMidi)
        ui->horizontalSlider->setMaximum(int(lengthSec));
    else if (s.lastBar >= 0)
        ui->horizontalSlider->setMaximum(s.lastBar);
}

void SeekTrackSlider::followTime(uint milliseconds, uint)
{
    if (dragging)
        return;
    const TransportSong s = song();
    if (!s.loaded) {
        ui->timeLeftLabel->setText(QStringLiteral("-0:00"));
        return;
    }
    const qint64 position = qint64(std::floor(milliseconds / 1000.0 + 0.5));
    const qint64 left = qMax<qint64>(qint64(s.lengthSec) - position, 0);
    ui->timeLeftLabel->setText(QLatin1Char('-') + clockText(left));
    if (s.baseType == kMidi)
        return; // its slider follows the bars
    if (s.lengthSec != lengthSec) {
        lengthSec = s.lengthSec;
        ui->horizontalSlider->setMaximum(int(lengthSec));
    }
    ui->horizontalSlider->setValue(int(position));
}

void SeekTrackSlider::followBar(uint bar, uint)
{
    const TransportSong s = song();
    if (!dragging && s.loaded && s.baseType == kMidi)
        ui->horizontalSlider->setValue(int(bar));
}

void SeekTrackSlider::holdHandle()
{
    dragging = true;
    // A press beside the handle has taken it to the point pressed already.
    showTarget(ui->horizontalSlider->sliderPosition());
}

void SeekTrackSlider::showDragTarget(int value)
{
    if (dragging)
        showTarget(value);
}

void SeekTrackSlider::showTarget(int value)
{
    const int type = song().baseType;
    if (type == kMidi)
        ui->timeLeftLabel->setText(tr("Bar: %1.1").arg(value + 1));
    else if (type == kMp3)
        ui->timeLeftLabel->setText(clockText(value)); // the second the release jumps to
}

void SeekTrackSlider::seekToHandle()
{
    if (!dragging)
        return;
    dragging = false;
    const long value = ui->horizontalSlider->value();
    jump(song().baseType == kMidi ? value : value * 1000);
}

void SeekTrackSlider::letGo()
{
    dragging = false;
    ui->horizontalSlider->setSliderDown(false);
}

void SeekTrackSlider::hideEvent(QHideEvent *event)
{
    letGo();
    QWidget::hideEvent(event);
}

void SeekTrackSlider::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->positionLabel->setText(tr("Position"));
        fitLabel();
    }
    QWidget::changeEvent(event);
}
