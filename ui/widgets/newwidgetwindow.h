// Frameless window hosting one view taken out of the main window; pinning or
// closing it hands the view back to whoever connected windowClosing.
#pragma once

#include <QPointer>
#include <QWidget>

class QDropEvent;
class QResizeEvent;
class QVBoxLayout;
class TitleBarWindow;

// Ids of the main window's views, equal to the ids of its tab buttons.
namespace DetachedView {
enum : int { Karaoke = -2, Library = -3, Editing = -4, Mixer = -5, Chords = -6 };
}

class NewWidgetWindow : public QWidget
{
    Q_OBJECT

public:
    // Whoever opens the window connects its signals.
    NewWidgetWindow(QWidget *content, int view, bool pinButton, bool statusBar);

    // Takes the title bar out (before the karaoke view goes full screen).
    void hideBar();
    // The free area of the screen on which the title bar, with the window at
    // `frame` (as far as its size limits let it be), lies whole: a drag
    // leaves it so, and a restart keeps such a place. Null when none.
    QRect screenOfBar(const QRect &frame) const;
    // Unpinned by the user (not opened to go full screen): leaving full
    // screen shows the window again rather than handing the view back.
    void setUnpinned(bool unpinned) { this->unpinned = unpinned; }
    bool isUnpinned() const { return unpinned; }

signals:
    void windowClosing(QWidget *content, int view, bool closed);
    // x, y, width and height of the frame; -500 for all four when the
    // window goes away.
    void windowPropertyChanged(int view, int x, int y, int width, int height);
    void resizeWindow(QResizeEvent *event);
    // toPlay is true unless this is the library's window.
    void droppedOverWindow(QDropEvent *event, bool toPlay);

public slots:
    void on_clickPinObject(bool closed);
    void on_fullScreeWidget();
    void on_minimizeScreenWidget();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void emitGeometry();
    // The view's name, in the language shown.
    void showTitle();

    TitleBarWindow *titleBar;
    QVBoxLayout *layout;
    QPointer<QWidget> content;
    int view;
    QPoint pressPos;
    int recordedWidth = 0;
    int recordedHeight = 0;
    bool closing = false;
    bool unpinned = false;
};
