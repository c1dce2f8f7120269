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
//
// Looks and windows: the background is a colour or a picture, the lyric and
// highlight colours and the font come from the settings page. Over the
// bottom of the view lie the banner strip (shown only while no song is
// loaded; the lyrics end above it while it shows) and a bar of three
// buttons: a new karaoke window (a copy that follows the same song and is
// deleted with its window), unpin into a window of its own, and full screen.
// The parent given at construction is the main window; it hears of the
// view's own windows (ownWindowOpened) and takes the view back from them.
#pragma once

#include "LyricsModel.h"
#include "SoundEngine.h"

#include <QElapsedTimer>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class AdBanner;
class NewWidgetWindow;
class QLabel;
class QListView;
class QPropertyAnimation;
class QPushButton;
class ListTextViewDelegate;
class ViewParameter;
class chordsView;

class KaraokeTextWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int PREDICTION_HORIZON_MS = 150;
    static constexpr int RESIZE_SETTLE_MS = 100;
    static constexpr int CDG_SCREEN_WIDTH = 288;
    static constexpr int CDG_SCREEN_HEIGHT = 192;

    explicit KaraokeTextWidget(QWidget *parent = nullptr, chordsView *chords = nullptr);
    ~KaraokeTextWidget() override;

    // The engine whose position, play state and tempo the extra karaoke
    // windows follow.
    void setSoundEngine(SoundEngine *engine) { m_engine = engine; }
    AdBanner *getAdBanner() { return m_banner; }
    QFont getFontParameter() const;
    void setFontParameter(const QString &family, int size, int weight, bool relayout);
    void setTextFlags(Qt::Alignment flags);
    void setFontColors(QColor unsungOutline, QColor unsungFill, QColor sungOutline, QColor sungFill);
    QString backgroundColor() const { return m_backgroundColor; }
    QString backgroundImage() const { return m_backgroundImage; }
    // The extra karaoke windows still open.
    QList<KaraokeTextWidget *> copies() const;

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
    void onPlayStateChanged(SoundEngine::PlayingState state);
    void setBackgroundColor(QString color);
    void setBackgroundImage(QString path);
    void setLyricsColor(QString color);
    void setLyricsHighlightColor(QString color);
    // A window handing a view back: an extra karaoke window's copy is
    // deleted with it, any other widget joins this view.
    void retriveWidget(QWidget *widget, int view);
    void resizeWidget(QSize size);
    void showUnPinButton(bool visible);
    void showBottomBarYT(bool visible);
    void ShowReduced();
    void ShowFullScreen();
    // In the main window: a full-screen window of its own; in a window:
    // full screen on and off (a full-screen window not unpinned closes).
    void fullscreenKaraoke();
    void switchFullScreen();
    void unpinToWindow();
    void openCopyWindow();
    void switchFullScreenFromText();

signals:
    // The view is leaving the main window.
    void KaraokeTextWidgetInFullScreen();
    // The view is in a window of its own now, which hands it back to
    // whoever connects the window's windowClosing.
    void ownWindowOpened(NewWidgetWindow *window);
    void updateListView();
    void updateMinAndMaxHeight(uint min, uint max);
    void inFullScreen();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private slots:
    void resizeEnded();

private:
    void buildControls();
    void retranslate();
    void togglePbFullscreenState();
    // The window of this view, owned by the main window, with its title bar
    // and size grip as given.
    NewWidgetWindow *openOwnWindow(bool statusBar);
    // This view's place on the screen; a window of the view's own opens
    // over such a place, inside the screen.
    QRect globalRect() const;
    static void placeOver(QWidget *window, const QRect &area);

    // Song time of a millisecond span, in the song's unit (ticks or hundredths).
    int64_t toSongTime(int64_t ms) const;
    // Rows, syllables, lyric scroll, repaint and chords at song time cur.
    void follow(int64_t cur, bool jump);
    void scrollLyrics(bool jump, int64_t minRowDuration);
    void repaintPlayRows(int before, int now);
    void followChords(int64_t chordTime);
    void predictNextLyric();
    void predictedStep();
    void showCdgPicture(const QImage &picture);
    void updateWidgetGeometry();
    void songChanged();
    void allowBanner();
    void applyBackgroundStyle(const QString &rule);

    ViewParameter *m_viewParam;
    LyricsModel *m_model;
    ListTextViewDelegate *m_painter;
    QListView *m_list;
    QLabel *m_cdgLabel;
    QPointer<chordsView> m_chords;
    QPropertyAnimation *m_scrollAnimation;
    QWidget *m_home;   // the main window
    QPointer<SoundEngine> m_engine;
    AdBanner *m_banner = nullptr;
    QWidget *m_bottomBar = nullptr;
    QPushButton *m_addWindowButton = nullptr;
    QPushButton *m_unpinButton = nullptr;
    QPushButton *m_fullscreenButton = nullptr;
    QTimer m_resizeTimer;
    QString m_backgroundColor;
    QString m_backgroundImage;
    QPixmap m_backgroundPicture;
    QImage m_cdgPicture;
    QSize m_cdgSize{CDG_SCREEN_WIDTH, CDG_SCREEN_HEIGHT};
    bool m_fullScreen = false;
    bool m_playing = false;
    bool m_still = false; // paused or stopped, as the engine last said
    QList<QPointer<NewWidgetWindow>> m_copyWindows;

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
