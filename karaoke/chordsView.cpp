#include "chordsView.h"
#include "ui_chordsView.h"

#include "ListChordViewDelegate.h"
#include "tabbablegroup.h"
#include "ViewParameter.h"

#include <QPropertyAnimation>
#include <QScrollBar>
#include <QStandardItemModel>

namespace {

enum Mode { LIVE_KEYS = 0, TEXT = 1, GUITAR = 2, PIANO = 3 };
constexpr uint DIAGRAM_MIN_HEIGHT = 300;
constexpr uint TEXT_MIN_HEIGHT = 100;
constexpr uint MAX_HEIGHT = 500;

} // namespace

chordsView::chordsView(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::chordsView)
    , m_delegate(new ListChordViewDelegate(this))
{
    ui->setupUi(this);
    TabbableGroup::keepEveryButton(ui->modeButtons);
    connect(ui->PianoButton, &QPushButton::clicked, this, &chordsView::showPianoDiagrams);
    connect(ui->GuitarButton, &QPushButton::clicked, this, &chordsView::showGuitarDiagrams);
    connect(ui->TextButton, &QPushButton::clicked, this, &chordsView::showChordNames);
    ui->lV_Chord->setItemDelegate(m_delegate);
    updateMinAndMaxHeight(DIAGRAM_MIN_HEIGHT, MAX_HEIGHT);
    // In a narrow window the sentence goes on under itself.
    ui->noChordsLabel->setWordWrap(true);
    ui->noChordsLabel->hide();
}

chordsView::~chordsView()
{
    delete ui;
}

void chordsView::setViewParam(ViewParameter *viewParam)
{
    m_viewParam = viewParam;
    m_delegate->setInstanceViewParam(viewParam);
    m_viewParam->chordsViewMode = PIANO;
}

void chordsView::setModel(QStandardItemModel *model)
{
    ui->lV_Chord->setModel(model);
}

void chordsView::setSongLoaded(bool loaded)
{
    m_delegate->setSongLoaded(loaded);
    updateListView();
}

void chordsView::setPlayPos(int pos)
{
    m_delegate->setPlayPos(pos);
    updateListView();
}

int chordsView::playPos() const
{
    return m_delegate->playPos();
}

void chordsView::setChordInterNotation(int notation)
{
    if (m_viewParam)
        m_viewParam->chordNotation = notation;
    updateListView();
}

int chordsView::getChordInterNotation() const
{
    return m_viewParam ? m_viewParam->chordNotation : 0;
}

void chordsView::setChordsViewMode(int mode)
{
    if (m_viewParam)
        m_viewParam->chordsViewMode = mode;
    updateListView();
}

int chordsView::getChordsViewMode() const
{
    return m_viewParam ? m_viewParam->chordsViewMode : TEXT;
}

void chordsView::setMode(int mode, uint minHeight)
{
    updateMinAndMaxHeight(minHeight, MAX_HEIGHT);
    setChordsViewMode(mode);
}

void chordsView::showPianoDiagrams()
{
    setMode(PIANO, DIAGRAM_MIN_HEIGHT);
}

void chordsView::showGuitarDiagrams()
{
    setMode(GUITAR, DIAGRAM_MIN_HEIGHT);
}

void chordsView::showChordNames()
{
    setMode(TEXT, TEXT_MIN_HEIGHT);
}

void chordsView::showLiveKeys()
{
    setChordsViewMode(LIVE_KEYS);
}

void chordsView::updateListView()
{
    ui->lV_Chord->viewport()->update();
}

void chordsView::updateMinAndMaxHeight(uint min, uint max)
{
    ui->lV_Chord->setMinimumHeight(int(min));
    if (max != 0)
        ui->lV_Chord->setMaximumHeight(int(max));
}

QScrollBar *chordsView::getHorizontalScrollBar()
{
    return ui->lV_Chord->horizontalScrollBar();
}

QSize chordsView::getChordsViewSize() const
{
    return ui->lV_Chord->size();
}

void chordsView::setVisibleNoChordsLabel(bool visible)
{
    ui->noChordsLabel->setVisible(visible);
}

// A running animation ignores a new start: stop it first, so chords closer
// together than the animation never leave the strip behind.
void chordsView::scrollTo(int value)
{
    if (!m_scrollAnimation)
        return;
    m_scrollAnimation->stop();
    m_scrollAnimation->setStartValue(getHorizontalScrollBar()->value());
    m_scrollAnimation->setEndValue(value);
    m_scrollAnimation->start();
}

void chordsView::resizeEvent(QResizeEvent *event)
{
    if (m_resizeTimer)
        killTimer(m_resizeTimer);
    m_resizeTimer = startTimer(RESIZE_SETTLE_MS);
    QWidget::resizeEvent(event);
}

void chordsView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_resizeTimer)
        return QWidget::timerEvent(event);
    killTimer(m_resizeTimer);
    m_resizeTimer = 0;
    if (m_viewParam)
        m_viewParam->setViewChordArea(getChordsViewSize());
}

void chordsView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QWidget::changeEvent(event);
}
