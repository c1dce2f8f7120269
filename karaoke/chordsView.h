// The chord strip: the song's chords as a row of cells under the lyrics, the
// current one in the middle, drawn as a name, a guitar diagram or a piano
// diagram. The karaoke view fills its model, moves its play position and
// scrolls it; the strip recomputes its cells 200 ms after the last resize.
#pragma once

#include <QWidget>

class ListChordViewDelegate;
class QPropertyAnimation;
class QScrollBar;
class QStandardItemModel;
class ViewParameter;

namespace Ui {
class chordsView;
}

class chordsView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int RESIZE_SETTLE_MS = 200;

    explicit chordsView(QWidget *parent = nullptr);
    ~chordsView() override;

    // Also starts the strip in piano mode.
    void setViewParam(ViewParameter *viewParam);
    // The chord items, owned by the lyric model.
    void setModel(QStandardItemModel *model);
    // Cells stay blank while no song is loaded.
    void setSongLoaded(bool loaded);
    void setPlayPos(int pos);
    int playPos() const;
    void setChordInterNotation(int notation);
    int getChordInterNotation() const;
    void setChordsViewMode(int mode);
    int getChordsViewMode() const;
    void updateMinAndMaxHeight(uint min, uint max);
    QScrollBar *getHorizontalScrollBar();
    QSize getChordsViewSize() const;
    void setScrollAnimation(QPropertyAnimation *animation) { m_scrollAnimation = animation; }
    QPropertyAnimation *scrollAnimation() const { return m_scrollAnimation; }
    // Animates the strip from where it stands to the scroll value given.
    void scrollTo(int value);

public slots:
    void updateListView();
    void setVisibleNoChordsLabel(bool visible);
    void showPianoDiagrams();
    void showGuitarDiagrams();
    void showChordNames();

public:
    // The form has no live-keys button; the mode stays reachable.
    void showLiveKeys();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void setMode(int mode, uint minHeight);

    Ui::chordsView *ui;
    ListChordViewDelegate *m_delegate;
    ViewParameter *m_viewParam = nullptr;
    QPropertyAnimation *m_scrollAnimation = nullptr;
    int m_resizeTimer = 0;
};
