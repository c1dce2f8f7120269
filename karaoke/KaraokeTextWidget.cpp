#include "KaraokeTextWidget.h"

#include "ListTextViewDelegate.h"
#include "ViewParameter.h"
#include "chordsView.h"
#include "logmsg.h"

#include <QDebug>
#include <QEvent>
#include <QLabel>
#include <QListView>
#include <QPixmap>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

constexpr int MIDI_SONG = 1;
constexpr int ROW_SCROLL_MODE = 2;   // view mode that keeps the current row near the middle
// Reports closer than this say too little about the rate.
constexpr qint64 MIN_RATE_SPAN_MS = 50;

bool isAudioSong(int baseType)
{
    return baseType == 2 || baseType == 4 || baseType == 16;
}

} // namespace

KaraokeTextWidget::KaraokeTextWidget(QWidget *parent, chordsView *chords)
    : QWidget(parent)
    , m_viewParam(new ViewParameter(this))
    , m_model(new LyricsModel(m_viewParam, this))
    , m_painter(new ListTextViewDelegate(this))
    , m_list(new QListView(this))
    , m_cdgLabel(new QLabel(this))
    , m_chords(chords)
{
    setObjectName(QStringLiteral("KaraokeTextWidget"));
    m_painter->setViewParam(m_viewParam);
    m_model->setRowPainter(m_painter);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_cdgLabel->setObjectName(QStringLiteral("lB_Cdg"));
    m_cdgLabel->setScaledContents(true);
    m_cdgLabel->setAlignment(Qt::AlignCenter);
    m_cdgLabel->hide();
    m_list->setObjectName(QStringLiteral("lV_Text"));
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setStyleSheet(QStringLiteral("#lV_Text{\n\tbackground-color: transparent;\n}"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setUniformItemSizes(true);
    m_list->setItemDelegate(m_painter);
    m_list->setModel(m_model->textModel());
    layout->addWidget(m_cdgLabel);
    layout->addWidget(m_list);

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
    }
    connect(m_viewParam, &ViewParameter::viewParameterUpdate, this, &KaraokeTextWidget::viewParameterUpdate);
    m_list->installEventFilter(this);

    m_predictionTimer.setSingleShot(true);
    m_predictionTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_predictionTimer, &QTimer::timeout, this, &KaraokeTextWidget::predictedStep);
}

void KaraokeTextWidget::loadSongChange(int state, const LyricsSource &song)
{
    m_model->loadSongChange(state, song);
    songChanged();
    if (state != 0)
        m_list->scrollToTop();
    if (m_chords)
        m_chords->setSongLoaded(state != 0);
    updateWidgetGeometry();
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
// the next report places it afresh even at the target it last had.
void KaraokeTextWidget::songChanged()
{
    m_predictionTimer.stop();
    m_reportClock.invalidate();
    m_lastScrollTarget = -1;
    if (m_model->isCdg())
        showCdgPicture(m_model->cdgPicture());
}

void KaraokeTextWidget::updateWidgetGeometry()
{
    const bool cdg = m_model->isLoaded() && m_model->isCdg();
    m_cdgLabel->setVisible(cdg);
    m_list->setVisible(!cdg);
    m_viewParam->setViewTextArea(m_list->size());
}

bool KaraokeTextWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::Resize && m_list->size() != m_viewParam->textAreaSize)
        m_viewParam->setViewTextArea(m_list->size());
    return QWidget::eventFilter(watched, event);
}

void KaraokeTextWidget::showCdgPicture(const QImage &picture)
{
    m_cdgLabel->setPixmap(QPixmap::fromImage(picture));
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
    predictNextLyric();
}

void KaraokeTextWidget::follow(int64_t cur, bool jump)
{
    LyricsPlayState &s = m_model->playState;
    const QVector<TEXT_EV> &rows = m_model->rows();
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
        m_list->viewport()->update();
    }
    s.prevPlayRow = s.playRow;
    s.prevPlayPos = s.playPos;
    followChords(chordTime);
}

void KaraokeTextWidget::scrollLyrics(bool jump, int64_t minRowDuration)
{
    const LyricsPlayState &s = m_model->playState;
    const QVector<TEXT_EV> &rows = m_model->rows();
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
    const QVector<TEXT_EV> &rows = m_model->rows();
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
