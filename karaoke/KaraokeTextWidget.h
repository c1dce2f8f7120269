// The karaoke view: the lyric list (or the CD+G picture) of the current song
// and, when it has one, the chord strip, both following the play position.
//
// The position arrives every 100 ms through mSecOfPlaying, on the GUI thread.
// It is the position being heard: with a tempo change the engine's reported
// tick or millisecond already includes the stretch, so it is used as it is.
// Between two reports the view predicts the position from the last one and
// the observed rate, so that a syllable lights when it is sung rather than up
// to 100 ms late; the prediction never runs more than PREDICTION_HORIZON_MS
// past the last report, and every search only moves forward, so a report that
// lands behind the prediction never unlights what was lit.
#pragma once

#include "LyricsModel.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QListView;
class QPropertyAnimation;
class ListTextViewDelegate;
class ViewParameter;
class chordsView;

class KaraokeTextWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int PREDICTION_HORIZON_MS = 150;

    explicit KaraokeTextWidget(QWidget *parent = nullptr, chordsView *chords = nullptr);

    ViewParameter *viewParameter() { return m_viewParam; }
    LyricsModel *lyricsModel() { return m_model; }
    QListView *lyricList() { return m_list; }
    QLabel *cdgLabel() { return m_cdgLabel; }
    chordsView *chordStrip() { return m_chords; }

    void setDTimeTextMs(int ms) { m_dTimeTextMs = ms; }
    int getDTimeTextMs() const { return m_dTimeTextMs; }
    void setDTimeChordMs(int ms) { m_dTimeChordMs = ms; }
    int getDTimeChordMs() const { return m_dTimeChordMs; }
    int tempoBpm() const { return m_model->playState.tempoBpm; }
    // End value of the last lyric scroll decided.
    int lastScrollTarget() const { return m_lastScrollTarget; }

public slots:
    void loadSongChange(int state, const LyricsSource &song = LyricsSource());
    void viewParameterUpdate();
    void onSongKeyChanged(int delta);
    void mSecOfPlaying(uint mSec, uint tick);
    void onSongBpmChanged(int bpm, int delta);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Song time of a millisecond span, in the song's unit (ticks or hundredths).
    int64_t toSongTime(int64_t ms) const;
    // Rows, syllables, lyric scroll, repaint and chords at song time cur.
    void follow(int64_t cur, bool jump);
    void scrollLyrics(bool jump, int64_t minRowDuration);
    void followChords(int64_t chordTime);
    void predictNextLyric();
    void predictedStep();
    void showCdgPicture(const QImage &picture);
    void updateWidgetGeometry();
    void songChanged();

    ViewParameter *m_viewParam;
    LyricsModel *m_model;
    ListTextViewDelegate *m_painter;
    QListView *m_list;
    QLabel *m_cdgLabel;
    QPointer<chordsView> m_chords;
    QPropertyAnimation *m_scrollAnimation;

    int m_scrollDurationMs = 340;
    int m_jumpThresholdMs = 500;
    int m_dTimeTextMs = 0;
    int m_dTimeChordMs = 0;
    int64_t m_curTime = 0;
    int m_lastScrollTarget = 0;

    // The last report, for the prediction between reports.
    QElapsedTimer m_reportClock;
    int64_t m_reportTime = 0;
    int64_t m_followedText = 0;   // text time of the last step, reported or predicted
    double m_rate = 0;   // song time per millisecond, 0 while unknown
    QTimer m_predictionTimer;
};
