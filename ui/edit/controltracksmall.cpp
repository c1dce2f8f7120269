#include "controltracksmall.h"

#include "instrchooserpopup.h"
#include "popupplacement.h"
#include "StreamData.h"
#include "tabbablegroup.h"
#include "programfonts.h"
#include "ui_controltracksmall.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalBlocker>

namespace {

const QString kMark = QStringLiteral(" * ");

QString rowName(const char *name)
{
    return QString::fromLatin1(name ? name : NO_INSTRUMENT_NAME);
}

// The room `text` takes in `label`: its ink, which may pass its advance,
// and the label's margins.
int textWidth(const QLabel *label, const QString &text)
{
    const QMargins m = label->contentsMargins();
    const QRect ink = label->fontMetrics().boundingRect(QRect(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX),
                                                        int(label->alignment()), text);
    return qMax(ink.width(), label->fontMetrics().horizontalAdvance(text)) + m.left() + m.right()
           + 2 * label->margin() + qMax(0, label->indent()) + 1;
}

// The widest instrument or drum kit name of the live sound set in `font`;
// measured once per font and set.
int widestName(const QFont &font)
{
    static QHash<QPair<QString, const void *>, int> known;
    const GS_NAME_TABLES *tables = MIDI_CONST_GetTrkGsNames();
    const QPair<QString, const void *> key(font.key(), tables->trkGsNames);
    if (const auto it = known.constFind(key); it != known.cend())
        return *it;
    const QFontMetrics m(font);
    int widest = m.horizontalAdvance(QString::fromLatin1(NO_INSTRUMENT_NAME));
    for (int i = 0; i < tables->GS_INSTR_NAMES_SIZE; ++i)
        widest = qMax(widest, m.horizontalAdvance(rowName(tables->trkGsNames[i].name)));
    for (int i = 0; i < tables->GS_DRUMKIT_NAMES_SIZE; ++i)
        widest = qMax(widest, m.horizontalAdvance(rowName(tables->GSshrtDrumKit[i].name)));
    known.insert(key, widest);
    return widest;
}

} // namespace

ControlTrackSmall::ControlTrackSmall(QWidget *parent, int channel, int volume, int state)
    : QWidget(parent), ui(new Ui::ControlTrackSmall), m_startVolume(volume), m_startState(state)
{
    ProgramFonts::addApplicationFont(QStringLiteral(":/fonts/lcddot.ttf"));
    ui->setupUi(this);
    connect(ui->horizontalSlider, &QSlider::valueChanged, this, &ControlTrackSmall::sendVolume);
    connect(ui->undoButton, &QPushButton::clicked, this, &ControlTrackSmall::undoChanges);
    connect(ui->undoButton, &QPushButton::pressed, this, &ControlTrackSmall::showUndoDown);
    connect(ui->undoButton, &QPushButton::released, this, &ControlTrackSmall::showUndoUp);
    // Tab reaches every control of the row; Space or Return on the
    // instrument name opens the chooser, as a click does.
    ui->frameInstr->setFocusPolicy(Qt::StrongFocus);
    TabbableGroup::keepEveryButton(ui->buttonGroup);
    // The row never lays itself out again while a song plays: the activity
    // mark, the channel number and the instrument name each get the width of
    // their widest text, so a note or a new instrument moves nothing.
    ui->asteriskLabel->setFixedWidth(qMax(ui->asteriskLabel->minimumWidth(), textWidth(ui->asteriskLabel, kMark)));
    ui->instrLabel->setFixedWidth(qMax(ui->instrLabel->minimumWidth(), widestName(ui->instrLabel->font()) + 4));
    setChannel(channel);
}

ControlTrackSmall::ControlTrackSmall(QWidget *parent, int channel, const GS_INSTRUMENT_NAME *instrument,
                                     int volume, int state)
    : ControlTrackSmall(parent, channel, volume, state)
{
    m_startInstrument = instrument;
    startUp();
}

ControlTrackSmall::ControlTrackSmall(QWidget *parent, int channel, const GS_DRUM_KIT_NAME *kit, int volume,
                                     int state)
    : ControlTrackSmall(parent, channel, volume, state)
{
    m_startKit = kit;
    startUp();
}

ControlTrackSmall::~ControlTrackSmall()
{
    delete ui;
}

void ControlTrackSmall::startUp()
{
    ui->instrLabel->setText(m_startInstrument ? rowName(m_startInstrument->name)
                                              : rowName(m_startKit ? m_startKit->name : nullptr));
    ui->buttonGroup->setId(ui->trackPlayButton, DB_NORMAL);
    ui->buttonGroup->setId(ui->muteButton, DB_MUTE);
    ui->buttonGroup->setId(ui->soloButton, DB_SOLO);
    if (QAbstractButton *b = ui->buttonGroup->button(m_startState))
        b->setChecked(true);
    setVolumeQuietly(m_startVolume);
    emit volumeChanged(m_channel, m_startVolume);
    ui->asteriskLabel->clear();
    connect(ui->buttonGroup, &QButtonGroup::idClicked, this, &ControlTrackSmall::muteSoloPLayChanged);
}

void ControlTrackSmall::setChannel(int channel)
{
    m_channel = channel;
    const auto label = [this](int c) { return tr("Ch. %1 -").arg(c, 2, 10, QLatin1Char('0')); };
    int widest = 0;
    for (int c = 1; c <= NUM_SLOTS; ++c)
        widest = qMax(widest, textWidth(ui->channelLabel, label(c)));
    ui->channelLabel->setFixedWidth(qMax(73, widest));
    ui->channelLabel->setText(label(channel));
}

void ControlTrackSmall::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setChannel(m_channel);
    }
    QWidget::changeEvent(event);
}

void ControlTrackSmall::changeInstr(const GS_INSTRUMENT_NAME *row)
{
    if (!row)
        return;
    ui->instrLabel->setText(rowName(row->name));
    emit prgCh(row, m_channel);
}

void ControlTrackSmall::changeInstr(const GS_DRUM_KIT_NAME *row)
{
    if (!row)
        return;
    ui->instrLabel->setText(rowName(row->name));
    emit prgCh(row, m_channel);
}

void ControlTrackSmall::showAsterisk(int channel, int velocity)
{
    if (channel == m_channel)
        ui->asteriskLabel->setText(velocity ? kMark : QStringLiteral(" "));
}

void ControlTrackSmall::resetAsterisk()
{
    ui->asteriskLabel->setText(QStringLiteral(" "));
}

void ControlTrackSmall::setInstrName(const QString &name)
{
    ui->instrLabel->setText(name);
}

void ControlTrackSmall::muteSoloPLayChanged(int id)
{
    emit muteSoloChanged(m_channel, id);
}

// Whatever moved the slider (a drag, a click on the groove, a key, the
// wheel), the user did: the page's own values come through setVolumeQuietly.
void ControlTrackSmall::sendVolume(int value)
{
    emit volumeChanged(m_channel, value);
}

void ControlTrackSmall::setVolumeQuietly(int volume)
{
    const QSignalBlocker quiet(ui->horizontalSlider);
    ui->horizontalSlider->setValue(volume);
}

void ControlTrackSmall::showPlaying(int volume, int state)
{
    setVolumeQuietly(volume);
    if (QAbstractButton *b = ui->buttonGroup->button(state))
        b->setChecked(true);
}

// Back to what the song file holds, a saved mute or solo included.
void ControlTrackSmall::undoChanges()
{
    if (QAbstractButton *b = ui->buttonGroup->button(m_startState))
        b->setChecked(true);
    setVolumeQuietly(m_startVolume);
    if (m_startInstrument)
        changeInstr(m_startInstrument);
    else
        changeInstr(m_startKit);
    emit muteSoloChanged(m_channel, m_startState);
    emit volumeChanged(m_channel, m_startVolume);
}

void ControlTrackSmall::showUndoDown()
{
    ui->undoButton->setIcon(QIcon(QStringLiteral(":/icon2x/undo-small_DOWN.png")));
}

void ControlTrackSmall::showUndoUp()
{
    ui->undoButton->setIcon(QIcon(QStringLiteral(":/icon2x/undo-small_UP.png")));
}

void ControlTrackSmall::mousePressEvent(QMouseEvent *event)
{
    QWidget *under = childAt(event->position().toPoint());
    if (!under || (under != ui->frameInstr && under->parentWidget() != ui->frameInstr))
        return;
    openChooser(event->globalPosition().toPoint());
}

void ControlTrackSmall::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (ui->frameInstr->hasFocus() && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        openChooser(ui->frameInstr->mapToGlobal(ui->instrLabel->geometry().bottomLeft()));
        return;
    }
    QWidget::keyPressEvent(event);
}

void ControlTrackSmall::openChooser(QPoint at)
{
    // Deleted on close: a press per song would otherwise leave a hidden pop-up each.
    auto *chooser = new InstrChooserPopup(this, isDrum());
    chooser->setWindowFlags(Qt::Popup);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->markCurrent(ui->instrLabel->text());
    connect(chooser, &InstrChooserPopup::instrChanged, this,
            qOverload<const GS_INSTRUMENT_NAME *>(&ControlTrackSmall::changeInstr));
    connect(chooser, &InstrChooserPopup::dkChanged, this,
            qOverload<const GS_DRUM_KIT_NAME *>(&ControlTrackSmall::changeInstr));
    // From the press down and to the right; up or to the left where the
    // screen ends, and whole on the screen in any case.
    const QRect area = PopupPlacement::availableAt(at);
    const QSize size = chooser->size().expandedTo(chooser->minimumSizeHint());
    if (at.y() + size.height() > area.bottom() + 1)
        at.ry() -= size.height();
    if (at.x() + size.width() > area.right() + 1)
        at.rx() -= size.width();
    chooser->setGeometry(PopupPlacement::keepInside(QRect(at, size), area));
    chooser->show();
}
