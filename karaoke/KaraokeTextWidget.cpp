#include "KaraokeTextWidget.h"

#include "ListTextViewDelegate.h"
#include "ViewParameter.h"
#include "chordsView.h"
#include "logmsg.h"

#include "adbanner.h"
#include "newwidgetwindow.h"
#include "popupplacement.h"

#include <QDebug>
#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPixmap>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QStyleOption>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

constexpr int MIDI_SONG = 1;
constexpr int CDG_WIDTH = KaraokeTextWidget::CDG_SCREEN_WIDTH;
constexpr int CDG_HEIGHT = KaraokeTextWidget::CDG_SCREEN_HEIGHT;
constexpr int ROW_SCROLL_MODE = 2;   // view mode that keeps the current row near the middle
// Reports closer than this say too little about the rate.
constexpr qint64 MIN_RATE_SPAN_MS = 50;

bool isAudioSong(int baseType)
{
    return baseType == 2 || baseType == 4 || baseType == 16;
}

// A lyric list whose rows can end above its bottom edge.
class LyricList : public QListView
{
public:
    using QListView::QListView;
    using QListView::setViewportMargins;
};

} // namespace

KaraokeTextWidget::KaraokeTextWidget(QWidget *parent, chordsView *chords)
    : QWidget(parent)
    , m_viewParam(new ViewParameter(this))
    , m_model(new LyricsModel(m_viewParam, this))
    , m_painter(new ListTextViewDelegate(this))
    , m_list(new LyricList(this))
    , m_cdgLabel(new QLabel(this))
    , m_chords(chords)
    , m_home(parent)
{
    setObjectName(QStringLiteral("KaraokeTextWidget"));
    resize(712, 369);
    setWindowTitle(QStringLiteral("Form"));
    setStyleSheet(QStringLiteral(
        "KaraokeTextWidget{\n\t/* background-color: transparent; */\n\tbackground-color: rgb(28,28,28);\n}\n\n"
        "AdBanner{\t\n\t background-color: transparent; \n}\n\n"
        "QPushButton:hover{\n\t\tborder:1px solid #0085cd;\t\n}"));
    m_painter->setViewParam(m_viewParam);
    m_model->setRowPainter(m_painter);

    m_cdgLabel->setObjectName(QStringLiteral("lB_Cdg"));
    m_cdgLabel->setScaledContents(true);
    m_cdgLabel->setAlignment(Qt::AlignCenter);
    m_cdgLabel->setTextInteractionFlags(Qt::NoTextInteraction);
    // Sized by updateWidgetGeometry, never larger than the view.
    m_cdgLabel->setMinimumSize(1, 1);
    m_cdgLabel->hide();
    m_list->setObjectName(QStringLiteral("lV_Text"));
    m_list->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setStyleSheet(QStringLiteral("QListView{\n\tbackground-color: transparent;\n}"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setDropIndicatorShown(false);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setUniformItemSizes(true);
    m_list->setItemDelegate(m_painter);
    m_list->setModel(m_model->textModel());
    buildControls();

    m_scrollAnimation = new QPropertyAnimation(m_list->verticalScrollBar(), "value", this);
    m_scrollAnimation->setDuration(m_scrollDurationMs);
    m_scrollAnimation->setEasingCurve(QEasingCurve::Linear);

    m_viewParam->setFontTextAreaColor(m_viewParam->unsungOutlineColor, m_viewParam->unsungFillColor,
                                      m_viewParam->sungOutlineColor, m_viewParam->sungFillColor);
    m_viewParam->setFontTextAreaParameter(QString::fromLatin1(LYRIC_FONT_FAMILY), 46, 700);

    m_model->setChordStripEnabled(chords != nullptr);
    if (chords) {
        chords->setViewParam(m_viewParam);
        chords->setModel(m_model->chordModel());
        auto *strip = new QPropertyAnimation(chords->getHorizontalScrollBar(), "value", chords);
        strip->setDuration(m_scrollDurationMs);
        strip->setEasingCurve(QEasingCurve::Linear);
        chords->setScrollAnimation(strip);
        connect(m_model, &LyricsModel::noChordsLabelChanged, chords, &chordsView::setVisibleNoChordsLabel);
        connect(this, &KaraokeTextWidget::updateListView, chords, &chordsView::updateListView);
    }
    connect(m_viewParam, &ViewParameter::viewParameterUpdate, this, &KaraokeTextWidget::viewParameterUpdate);
    m_list->installEventFilter(this);

    m_resizeTimer.setSingleShot(true);
    connect(&m_resizeTimer, &QTimer::timeout, this, &KaraokeTextWidget::resizeEnded);
    m_predictionTimer.setSingleShot(true);
    m_predictionTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_predictionTimer, &QTimer::timeout, this, &KaraokeTextWidget::predictedStep);
}

// The lyrics below; above them, on a page of their own, the banner strip and
// the window buttons at the bottom of the view.
void KaraokeTextWidget::buildControls()
{
    auto *layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout_3"));
    layout->setContentsMargins(0, 0, 0, 0);
    auto *stack = new QStackedWidget(this);
    stack->setObjectName(QStringLiteral("stackedWidget"));
    static_cast<QStackedLayout *>(stack->layout())->setStackingMode(QStackedLayout::StackAll);
    layout->addWidget(stack);

    const auto page = [stack](const char *name, const char *layoutName) {
        auto *widget = new QWidget(stack);
        widget->setObjectName(QLatin1String(name));
        auto *pageLayout = new QVBoxLayout(widget);
        pageLayout->setObjectName(QLatin1String(layoutName));
        pageLayout->setContentsMargins(0, 0, 0, 0);
        stack->addWidget(widget);
        return pageLayout;
    };
    QVBoxLayout *lyricsLayout = page("page_karaioke", "verticalLayout_2");
    lyricsLayout->addWidget(m_cdgLabel, 0, Qt::AlignCenter);
    lyricsLayout->addWidget(m_list);

    QVBoxLayout *controlLayout = page("page_control", "verticalLayout");
    QWidget *controlPage = controlLayout->parentWidget();
    controlLayout->addStretch();
    m_banner = new AdBanner(controlPage);
    m_banner->setObjectName(QStringLiteral("ad_widget"));
    m_banner->setFixedHeight(80);
    if (m_banner->layout())
        m_banner->layout()->setContentsMargins(100, 0, 100, 0);
    m_banner->installEventFilter(this);
    controlLayout->addWidget(m_banner);
    m_bottomBar = new QWidget(controlPage);
    m_bottomBar->setObjectName(QStringLiteral("bottomBarYT"));
    m_bottomBar->setFixedHeight(40);
    auto *bar = new QHBoxLayout(m_bottomBar);
    bar->setObjectName(QStringLiteral("horizontalLayout"));
    const QMargins standard = bar->contentsMargins();
    bar->setContentsMargins(standard.left(), 0, standard.right(), 0);
    bar->addStretch();
    const auto button = [this](const char *name, const char *icon, QSize size) {
        auto *b = new QPushButton(m_bottomBar);
        b->setObjectName(QLatin1String(name));
        b->setIcon(QIcon(QLatin1String(icon)));
        b->setIconSize(size);
        b->setMinimumSize(size);
        // Tab reaches it; a click leaves the focus where it was.
        b->setFocusPolicy(Qt::TabFocus);
        m_bottomBar->layout()->addWidget(b);
        return b;
    };
    m_addWindowButton = button("pb_add_new_window", ":/icon2x/add-new-window-icon.png", QSize(30, 30));
    m_unpinButton = button("pb_to_new_window", ":/icon2x/to-new-window-icon.png", QSize(30, 28));
    m_fullscreenButton = button("pb_fullscreen", ":/icon2x/fullscreen-icon.png", QSize(30, 30));
    m_fullscreenButton->setMaximumSize(36, 30);
    connect(m_addWindowButton, &QPushButton::clicked, this, &KaraokeTextWidget::openCopyWindow);
    connect(m_unpinButton, &QPushButton::clicked, this, &KaraokeTextWidget::unpinToWindow);
    connect(m_fullscreenButton, &QPushButton::clicked, this, &KaraokeTextWidget::switchFullScreen);
    connect(m_list, &QListView::doubleClicked, this, &KaraokeTextWidget::switchFullScreenFromText);
    controlLayout->addWidget(m_bottomBar);
    m_bottomBar->installEventFilter(this);

    stack->setCurrentWidget(controlPage);
    // The control page lies over the whole view: a double-click anywhere on
    // the lyrics lands there.
    controlPage->installEventFilter(this);
    retranslate();
}

void KaraokeTextWidget::retranslate()
{
    m_addWindowButton->setToolTip(tr("New Karaoke window"));
    m_unpinButton->setToolTip(tr("Unpin Karaoke window"));
    m_fullscreenButton->setToolTip(tr("Fullscreen Karaoke window"));
    for (QPushButton *b : {m_addWindowButton, m_unpinButton, m_fullscreenButton})
        b->setAccessibleName(b->toolTip());
}

KaraokeTextWidget::~KaraokeTextWidget()
{
    for (const QPointer<NewWidgetWindow> &window : std::as_const(m_copyWindows))
        delete window.data();
}

void KaraokeTextWidget::loadSongChange(int state, const LyricsSource &song)
{
    m_model->loadSongChange(state, song);
    allowBanner();
    songChanged();
    if (state != 0)
        m_list->scrollToTop();
    if (m_chords)
        m_chords->setSongLoaded(state != 0);
    updateWidgetGeometry();
    for (KaraokeTextWidget *copy : copies())
        copy->loadSongChange(state, song);
}

void KaraokeTextWidget::viewParameterUpdate()
{
    m_model->viewParameterUpdate();
    songChanged();
}

void KaraokeTextWidget::onSongKeyChanged(int delta)
{
    m_model->onSongKeyChanged(delta);
    if (m_chords)
        m_chords->updateListView();
}

void KaraokeTextWidget::onSongBpmChanged(int bpm, int delta)
{
    m_model->playState.tempoBpm = bpm + delta;
}

// Every rebuild restarts the timing: the list was emptied and refilled, so
// the next report places it afresh even at the target it last had. A scroll
// still running would carry the new list to where the old one was going.
void KaraokeTextWidget::songChanged()
{
    m_scrollAnimation->stop();
    // A scroll stopped half way, or a place that suited rows of the old
    // size, would leave a row cut at the top: back to the row starting there.
    if (const int pitch = m_viewParam->textRowVerticalSpace; pitch > 0) {
        m_list->doItemsLayout();
        QScrollBar *bar = m_list->verticalScrollBar();
        bar->setValue(std::min(bar->value(), bar->maximum()) / pitch * pitch);
    }
    m_predictionTimer.stop();
    m_reportClock.invalidate();
    m_lastScrollTarget = -1;
    if (m_model->isCdg())
        showCdgPicture(m_model->cdgPicture());
}

void KaraokeTextWidget::updateWidgetGeometry()
{
    const bool cdg = m_model->isLoaded() && m_model->isCdg();
    if (cdg) {
        // The CD+G screen's aspect, as high as the view allows.
        const int h = std::max(1, std::min(height(), width() * CDG_HEIGHT / CDG_WIDTH));
        const QSize size(std::max(1, h * CDG_WIDTH / CDG_HEIGHT), h);
        if (size != m_cdgSize) {
            m_cdgSize = size;
            showCdgPicture(m_cdgPicture);
        }
    }
    m_cdgLabel->setVisible(cdg);
    m_list->setVisible(!cdg);
    m_cdgLabel->update();
    m_list->viewport()->update();
    m_viewParam->setViewTextArea(m_list->viewport()->size());
}

bool KaraokeTextWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_banner || watched == m_bottomBar) {
        // The banner (shown while the song is not playing) and the bar of
        // buttons lie over the bottom of the view: the lyrics end above
        // them, so that no button covers the end of the last row. The list
        // keeps its size, so the view's does not change.
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
            int room = 0;
            for (const QWidget *below : {static_cast<QWidget *>(m_banner), m_bottomBar})
                room += below->isVisibleTo(this) ? below->height() : 0;
            static_cast<LyricList *>(m_list)->setViewportMargins(0, 0, 0, room);
            m_resizeTimer.start(RESIZE_SETTLE_MS);
        }
    } else if (watched == m_list && event->type() == QEvent::Resize)
        m_resizeTimer.start(RESIZE_SETTLE_MS);
    else if (watched != m_list && event->type() == QEvent::MouseButtonDblClick)
        fullscreenKaraoke();
    return QWidget::eventFilter(watched, event);
}

void KaraokeTextWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_resizeTimer.start(RESIZE_SETTLE_MS);
}

void KaraokeTextWidget::resizeEnded()
{
    updateWidgetGeometry();
    togglePbFullscreenState();
}

void KaraokeTextWidget::resizeWidget(QSize)
{
    updateWidgetGeometry();
}

// The picture comes at the size the view gives it, which is also the size
// the layout then gives the label.
void KaraokeTextWidget::showCdgPicture(const QImage &picture)
{
    m_cdgPicture = picture;
    m_cdgLabel->setPixmap(QPixmap::fromImage(picture).scaled(m_cdgSize, Qt::IgnoreAspectRatio));
}

int64_t KaraokeTextWidget::toSongTime(int64_t ms) const
{
    const int type = m_model->baseType();
    if (type == MIDI_SONG) {
        const int32_t ticks = int32_t(convertMilliSecondsTimeToTicks(
            int(std::clamp<int64_t>(ms, INT32_MIN, INT32_MAX)), unsigned(m_model->ticksPerQuarter()),
            unsigned(std::max(0, m_model->playState.tempoBpm))));
        return ticks;
    }
    return isAudioSong(type) ? ms / 10 : 0;
}

void KaraokeTextWidget::mSecOfPlaying(uint mSec, uint tick)
{
    if (m_model->isCdg()) {
        bool changed = false;
        const QImage &picture = m_model->cdgDecoder().getImageAtMilliSec(mSec, &changed);
        if (changed)
            showCdgPicture(picture);
        return;
    }
    if (m_viewParam->textRowVerticalSpace == 0) {
        qDebug() << "!!! FIXME !!! : viewParam->textRowVerticalSpace == 0";
        return;
    }
    const int type = m_model->baseType();
    if (type == MIDI_SONG)
        m_curTime = tick;
    else if (isAudioSong(type))
        m_curTime = mSec / 10;

    LyricsPlayState &s = m_model->playState;
    bool jump;
    if (m_curTime < int64_t(s.prevTime)) {
        s.rowSearchIndex = s.syllableSearchIndex = s.chordSearchIndex = 0;
        jump = true;
    } else {
        jump = m_curTime > int64_t(s.prevTime) + toSongTime(m_jumpThresholdMs);
    }
    s.prevTime = uint32_t(m_curTime);

    // The rate between two reports already holds the tempo change; after a
    // jump only the nominal rate is known.
    const qint64 span = m_reportClock.isValid() ? m_reportClock.elapsed() : 0;
    if (jump || !m_reportClock.isValid() || m_rate <= 0)
        m_rate = toSongTime(60000) / 60000.0;
    else if (span >= MIN_RATE_SPAN_MS && m_curTime > m_reportTime)
        m_rate = double(m_curTime - m_reportTime) / double(span);
    m_reportTime = m_curTime;
    m_reportClock.start();

    follow(m_curTime, jump);
    // Paused or stopped, a report is a seek: the song stands there.
    if (m_still) {
        m_predictionTimer.stop();
        m_reportClock.invalidate();
        return;
    }
    predictNextLyric();
}

void KaraokeTextWidget::follow(int64_t cur, bool jump)
{
    LyricsPlayState &s = m_model->playState;
    const QVector<LyricRow> &rows = m_model->rows();
    const QVector<SYL_EV> &syl = m_model->syllables();
    const int64_t textTime = std::max<int64_t>(0, cur - toSongTime(m_dTimeTextMs));
    const int64_t chordTime = std::max<int64_t>(0, cur - toSongTime(m_dTimeChordMs));
    const int64_t minRowDuration =
        toSongTime(m_viewParam->viewMode == ROW_SCROLL_MODE ? 10 : m_scrollDurationMs);

    m_followedText = textTime;
    const int n = int(rows.size());
    if (!m_model->songHasRows() || n == 0) {
        s.playRow = s.playPos = -1;
    } else {
        if (textTime < rows[0].tick) {
            s.playRow = s.playPos = -1;
        } else if (textTime >= rows[n - 1].tick) {
            s.playRow = n - 1;
            s.playPos = -1;
        } else {
            for (int i = s.rowSearchIndex; i < n; ++i) {
                if (rows[i].tick > textTime) {
                    if (i > 0) {
                        s.playRow = i - 1;
                        s.playPos = -1;
                    }
                    s.rowSearchIndex = i;
                    break;
                }
            }
        }
        const int m = int(syl.size());
        if (m_model->songHasSyllables() && m > 0) {
            if (textTime < syl[0].tick) {
                s.playPos = 0;
            } else if (textTime >= syl[m - 1].tick) {
                s.playRow = syl[m - 1].row;
                s.playPos = syl[m - 1].offset;
            } else {
                for (int k = s.syllableSearchIndex; k < m; ++k) {
                    if (syl[k].tick > textTime) {
                        if (k > 0) {
                            s.playRow = syl[k - 1].row;
                            s.playPos = syl[k - 1].offset;
                        }
                        s.syllableSearchIndex = k;
                        break;
                    }
                }
            }
        }
        scrollLyrics(jump, minRowDuration);
    }

    if (s.playRow != s.prevPlayRow || s.playPos != s.prevPlayPos) {
        m_painter->setPlayRowAndPos(s.playRow, s.playPos);
        repaintPlayRows(s.prevPlayRow, s.playRow);
    }
    s.prevPlayRow = s.playRow;
    s.prevPlayPos = s.playPos;
    followChords(chordTime);
}

// Only the rows whose colours change are painted again, so that a syllable
// reaches the screen sooner: from the lower play row to the higher, from the
// first row when either is none.
void KaraokeTextWidget::repaintPlayRows(int before, int now)
{
    const int first = before < 0 || now < 0 ? 0 : std::min(before, now);
    const int last = std::max(before, now);
    if (last - first > m_viewParam->textRowsCount) {
        m_list->viewport()->update();
        return;
    }
    QRect area;
    for (int row = first; row <= last; ++row)
        area |= m_list->visualRect(m_model->textModel()->index(row, 0));
    m_list->viewport()->update(area);
}

void KaraokeTextWidget::scrollLyrics(bool jump, int64_t minRowDuration)
{
    const LyricsPlayState &s = m_model->playState;
    const QVector<LyricRow> &rows = m_model->rows();
    const QVector<SYL_EV> &syl = m_model->syllables();
    QScrollBar *bar = m_list->verticalScrollBar();
    const int value = bar->value();
    const int pitch = m_viewParam->textRowVerticalSpace;
    const int visible = m_viewParam->textRowsCount;
    const int n = int(rows.size());
    int target;
    int duration = 0;
    if (jump) {
        const int targetRow = s.playRow < 0 ? 0 : s.playRow < n ? s.playRow : n - visible;
        target = targetRow * pitch;
    } else {
        if (s.playRow < 0 || s.playRow >= n - 2)
            return;   // the last two rows never start a scroll
        int64_t rowDuration = int64_t(rows[s.playRow + 1].tick) - rows[s.playRow].tick;
        int nextRow = 0;
        const int k = s.syllableSearchIndex;
        if (m_model->songHasSyllables() && k > 0 && k < int(syl.size()) - 1) {
            rowDuration = int64_t(syl[k].tick) - syl[k - 1].tick;
            nextRow = syl[k].row > syl[k - 1].row ? 1 : 0;
        }
        const int offset = s.playRow - value / pitch;
        if (!((rowDuration > minRowDuration || offset >= visible - 1) && s.playRow + nextRow > s.prevPlayRow))
            return;
        if (offset < visible - 1) {
            int targetRow = s.playRow + nextRow - 1;
            if (m_viewParam->viewMode == ROW_SCROLL_MODE && visible > 4)
                targetRow = s.playRow + nextRow - visible / 2 + (visible % 2 == 0 ? 1 : 0);
            target = std::max(targetRow * pitch, value);
        } else {
            target = value + 2 * pitch;
        }
        duration = m_scrollDurationMs;
    }
    // The row being sung stays whole on the screen, both halves of a song row
    // split in two: its first line never above the top edge. A line split in
    // two with its first half in the bottom row is read to its end: the view
    // goes a row further while the row sung stays on it.
    if (s.playRow >= 0 && s.playRow < n) {
        const int first = s.playRow - (rows[s.playRow].continued ? 1 : 0);
        const int last = s.playRow + 1 < n && rows[s.playRow + 1].continued ? s.playRow + 1 : s.playRow;
        target = std::min(std::max(target, (last - visible + 1) * pitch), first * pitch);
        const int below = target / pitch + visible;
        if (below < n && rows[below].continued && target + pitch <= first * pitch)
            target += pitch;
    }
    if (target == m_lastScrollTarget)
        return;
    if (target != value) {
        m_scrollAnimation->stop();
        if (duration == 0) {
            bar->setValue(target);
        } else {
            m_scrollAnimation->setDuration(duration);
            m_scrollAnimation->setStartValue(value);
            m_scrollAnimation->setEndValue(target);
            m_scrollAnimation->start();
        }
    }
    m_lastScrollTarget = target;
}

void KaraokeTextWidget::followChords(int64_t chordTime)
{
    LyricsPlayState &s = m_model->playState;
    if (m_model->songHasChords()) {
        const QVector<CHORD_EV> &chords = m_model->chords();
        int i = s.chordSearchIndex;
        while (i < chords.size() && chords[i].tick <= chordTime)
            ++i;
        s.chordSearchIndex = i;
        s.chordPos = i > 0 ? i - 1 : 0;
    }
    if (!m_chords || s.chordPos == s.prevChordPos)
        return;
    m_chords->setPlayPos(s.chordPos);
    const int cells = m_viewParam->chordCellsCount;
    m_chords->scrollTo((s.chordPos - std::max(0, cells - 1) / 2) * m_viewParam->chordCellWidth);
    s.prevChordPos = s.chordPos;
}

// Arms the timer for the moment the next syllable (or, without syllables, the
// next row) is due, when that falls inside the prediction horizon.
void KaraokeTextWidget::predictNextLyric()
{
    m_predictionTimer.stop();
    if (m_rate <= 0 || !m_reportClock.isValid())
        return;
    const LyricsPlayState &s = m_model->playState;
    const int64_t offset = toSongTime(m_dTimeTextMs);
    const int64_t followed = m_followedText;
    int64_t next = -1;
    const QVector<SYL_EV> &syl = m_model->syllables();
    const QVector<LyricRow> &rows = m_model->rows();
    if (m_model->songHasSyllables() && !syl.isEmpty()) {
        const int k = followed < syl[0].tick ? 0 : s.syllableSearchIndex;
        if (k < syl.size() && syl[k].tick > followed)
            next = syl[k].tick;
    } else if (m_model->songHasRows() && !rows.isEmpty()) {
        const int i = followed < rows[0].tick ? 0 : s.rowSearchIndex;
        if (i < rows.size() && rows[i].tick > followed)
            next = rows[i].tick;
    }
    if (next < 0)
        return;
    const qint64 due = qint64(std::ceil(double(next + offset - m_reportTime) / m_rate)) + 1;
    if (due > PREDICTION_HORIZON_MS)
        return;
    m_predictionTimer.start(int(std::max<qint64>(0, due - m_reportClock.elapsed())));
}

void KaraokeTextWidget::predictedStep()
{
    const qint64 elapsed = std::min<qint64>(m_reportClock.elapsed(), PREDICTION_HORIZON_MS);
    const int64_t predicted = m_reportTime + int64_t(m_rate * double(elapsed));
    follow(predicted, false);
    predictNextLyric();
}

// ---- looks

// The banner shows only while no song is loaded: over a loaded song's lyrics,
// paused ones included, it would shrink them to make room.
void KaraokeTextWidget::allowBanner()
{
    m_banner->setAllowed(!m_playing && !m_model->isLoaded());
}

void KaraokeTextWidget::onPlayStateChanged(SoundEngine::PlayingState state)
{
    m_playing = state == SoundEngine::ePsPlaying;
    m_still = !m_playing;
    allowBanner();
    if (state == SoundEngine::ePsPlaying)
        return;
    // Paused or stopped: the lyrics no longer run ahead of the reports.
    m_predictionTimer.stop();
    m_reportClock.invalidate();
    if (state != SoundEngine::ePsReady && state != SoundEngine::ePsIdle)
        return;
    // Stopped: the song waits at its start, where nothing is sung yet, even
    // the rows that start with it.
    LyricsPlayState &s = m_model->playState;
    s.playRow = s.playPos = -1;
    s.prevTime = 0;
    s.rowSearchIndex = s.syllableSearchIndex = 0;
    if (s.prevPlayRow != -1 || s.prevPlayPos != -1) {
        m_painter->setPlayRowAndPos(-1, -1);
        repaintPlayRows(s.prevPlayRow, -1);
    }
    s.prevPlayRow = s.prevPlayPos = -1;
    m_scrollAnimation->stop();
    m_lastScrollTarget = -1;
    m_list->scrollToTop();
}

void KaraokeTextWidget::applyBackgroundStyle(const QString &rule)
{
    setStyleSheet(QStringLiteral("KaraokeTextWidget{%1}QPushButton:hover{border:1px solid #0085cd}").arg(rule));
    update();
}

void KaraokeTextWidget::setBackgroundColor(QString color)
{
    // The colour goes into a style sheet: only a colour Qt reads gets there.
    const QColor c = QColor::fromString(color);
    if (!c.isValid()) {
        qWarning() << "Karaoke background colour not understood:" << color;
        return;
    }
    m_backgroundColor = color;
    m_backgroundImage.clear();
    m_backgroundPicture = QPixmap();
    applyBackgroundStyle(QStringLiteral("background-color: rgba(%1,%2,%3,%4)")
                             .arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha()));
}

// The picture is painted stretched over the view, as a border image would
// be; a path never becomes style-sheet text. A picture that cannot be read
// leaves the view on its dark background.
void KaraokeTextWidget::setBackgroundImage(QString path)
{
    m_backgroundImage = path;
    m_backgroundColor.clear();
    m_backgroundPicture = QPixmap(path);
    if (m_backgroundPicture.isNull())
        qWarning() << "Karaoke background picture not readable:" << path;
    applyBackgroundStyle(QStringLiteral("background-color: rgb(28,28,28)"));
}

void KaraokeTextWidget::setLyricsColor(QString color)
{
    m_viewParam->unsungFillColor = QColor::fromString(color);
    m_list->viewport()->update();
}

void KaraokeTextWidget::setLyricsHighlightColor(QString color)
{
    m_viewParam->sungFillColor = QColor::fromString(color);
    m_list->viewport()->update();
}

void KaraokeTextWidget::setFontColors(QColor unsungOutline, QColor unsungFill, QColor sungOutline, QColor sungFill)
{
    m_viewParam->setFontTextAreaColor(unsungOutline, unsungFill, sungOutline, sungFill);
}

void KaraokeTextWidget::setFontParameter(const QString &family, int size, int weight, bool relayout)
{
    m_viewParam->setFontTextAreaParameter(family, size, weight);
    if (relayout)
        updateWidgetGeometry();
}

QFont KaraokeTextWidget::getFontParameter() const
{
    return m_viewParam->textFont;
}

void KaraokeTextWidget::setTextFlags(Qt::Alignment flags)
{
    m_viewParam->textAlignment = flags;
    m_list->viewport()->update();
}

void KaraokeTextWidget::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    if (!m_backgroundPicture.isNull())
        painter.drawPixmap(rect(), m_backgroundPicture);
}

void KaraokeTextWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

// ---- windows

void KaraokeTextWidget::showUnPinButton(bool visible)
{
    m_unpinButton->setVisible(visible);
}

void KaraokeTextWidget::showBottomBarYT(bool visible)
{
    m_bottomBar->setVisible(visible);
}

void KaraokeTextWidget::retriveWidget(QWidget *widget, int)
{
    if (!widget)
        return;
    for (int i = 0; i < m_copyWindows.size(); ++i) {
        if (m_copyWindows[i] && m_copyWindows[i]->isAncestorOf(widget)) {
            m_copyWindows.removeAt(i);
            widget->deleteLater();
            return;
        }
    }
    layout()->addWidget(widget);
}

QList<KaraokeTextWidget *> KaraokeTextWidget::copies() const
{
    QList<KaraokeTextWidget *> all;
    for (const QPointer<NewWidgetWindow> &window : m_copyWindows) {
        if (window)
            all += window->findChildren<KaraokeTextWidget *>(Qt::FindDirectChildrenOnly);
    }
    return all;
}

// The button offers what the window holding the view is not: full screen,
// or back from it.
void KaraokeTextWidget::togglePbFullscreenState()
{
    const bool full = m_list->window()->isFullScreen();
    m_fullscreenButton->setIcon(QIcon(full ? QStringLiteral(":/icon2x/reduce-icon.png")
                                           : QStringLiteral(":/icon2x/fullscreen-icon.png")));
    m_fullscreenButton->setToolTip(full ? tr("Reduce screen") : tr("Full screen"));
    m_fullscreenButton->setAccessibleName(m_fullscreenButton->toolTip());
}

NewWidgetWindow *KaraokeTextWidget::openOwnWindow(bool statusBar)
{
    auto *window = new NewWidgetWindow(this, DetachedView::Karaoke, true, statusBar);
    emit ownWindowOpened(window);
    return window;
}

void KaraokeTextWidget::fullscreenKaraoke()
{
    QWidget *w = m_list->window();
    const auto *own = qobject_cast<NewWidgetWindow *>(w);
    // Only a view in the main window opens a window of its own; one already
    // in a window (however it got there) only changes that window.
    if (!own) {
        emit KaraokeTextWidgetInFullScreen();
        NewWidgetWindow *window = openOwnWindow(false);
        window->hideBar();
        window->showFullScreen();
        m_unpinButton->hide();
        updateWidgetGeometry();
    } else if (w->isFullScreen()) {
        if (own->isUnpinned())
            w->showNormal();
        else
            w->close();
    } else {
        w->showFullScreen();
    }
}

void KaraokeTextWidget::switchFullScreen()
{
    fullscreenKaraoke();
}

void KaraokeTextWidget::switchFullScreenFromText()
{
    fullscreenKaraoke();
}

void KaraokeTextWidget::unpinToWindow()
{
    m_unpinButton->hide();
    if (qobject_cast<NewWidgetWindow *>(m_list->window()))
        return;
    // Where the view was: the main window's header stays in reach.
    const QRect was = globalRect();
    NewWidgetWindow *window = openOwnWindow(true);
    emit KaraokeTextWidgetInFullScreen();
    window->setUnpinned(true);
    placeOver(window, was);
    window->show();
    updateWidgetGeometry();
}

void KaraokeTextWidget::ShowReduced()
{
    m_fullScreen = false;
    setGeometry(0, 0, 1300, 300);
    updateWidgetGeometry();
    show();
}

void KaraokeTextWidget::ShowFullScreen()
{
    m_fullScreen = true;
    setGeometry(0, 0, 1300, 900);
    updateWidgetGeometry();
    show();
    emit KaraokeTextWidgetInFullScreen();
}

// A copy of this view in a window of its own (for a second screen): the
// same song, position, tempo and looks; no key change and no lyric offset.
void KaraokeTextWidget::openCopyWindow()
{
    auto *copy = new KaraokeTextWidget(m_home, nullptr);
    if (m_model->isLoaded()) {
        copy->loadSongChange(1, m_model->source());
    } else {
        copy->loadSongChange(0);
    }
    copy->m_bottomBar->hide();
    copy->m_unpinButton->hide();

    copy->m_viewParam->textAlignment = m_viewParam->textAlignment;
    copy->setFontParameter(m_viewParam->fontFamily, m_viewParam->fontSize, m_viewParam->fontWeight, true);
    if (!m_backgroundImage.isEmpty())
        copy->setBackgroundImage(m_backgroundImage);
    else if (!m_backgroundColor.isEmpty())
        copy->setBackgroundColor(m_backgroundColor);
    copy->setLyricsColor(m_viewParam->unsungFillColor.name(QColor::HexArgb));
    copy->setLyricsHighlightColor(m_viewParam->sungFillColor.name(QColor::HexArgb));
    copy->m_model->playState.tempoBpm = m_model->playState.tempoBpm;

    copy->m_playing = m_engine && m_engine->getPlayingState() == SoundEngine::ePsPlaying;
    copy->m_still = m_still;
    copy->allowBanner();
    if (m_engine) {
        connect(m_engine, &SoundEngine::mSecOfPlaying, copy, &KaraokeTextWidget::mSecOfPlaying);
        connect(m_engine, &SoundEngine::playStateChanged, copy, &KaraokeTextWidget::onPlayStateChanged);
        connect(m_engine, &SoundEngine::songBpmChanged, copy, &KaraokeTextWidget::onSongBpmChanged);
    }
    auto *window = new NewWidgetWindow(copy, DetachedView::Karaoke, false, true);
    connect(window, &NewWidgetWindow::windowClosing, this, &KaraokeTextWidget::retriveWidget);
    m_copyWindows += window;
    // Over this view, each copy a step further down and right, never over
    // the header's controls above it.
    const int step = 30 * int(copies().size() - 1);
    placeOver(window, globalRect().translated(step, step));
    window->show();
}

QRect KaraokeTextWidget::globalRect() const
{
    return QRect(mapToGlobal(QPoint(0, 0)), size());
}

void KaraokeTextWidget::placeOver(QWidget *window, const QRect &area)
{
    window->setGeometry(PopupPlacement::keepInside(area, PopupPlacement::availableAt(area.topLeft())));
}
