#include "newwidgetwindow.h"

#include "titlebarwindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

#include <utility>

namespace {

// Where a window moved to `to` must go for its title bar, and with it the
// pin and close buttons, to stay whole on the screen the pointer is on.
QPoint keepBarOnScreen(const QWidget *window, const QWidget *bar, QPoint to, QPoint pointer)
{
    const QScreen *screen = QGuiApplication::screenAt(pointer);
    if (!screen)
        screen = window->screen();
    if (!screen || bar->isHidden())
        return to;
    const QRect room = screen->availableGeometry();
    const QRect at = bar->geometry().translated(to);
    QPoint by(0, 0);
    if (at.right() > room.right())
        by.rx() = room.right() - at.right();
    if (at.left() + by.x() < room.left())
        by.rx() = room.left() - at.left();
    if (at.bottom() > room.bottom())
        by.ry() = room.bottom() - at.bottom();
    if (at.top() + by.y() < room.top())
        by.ry() = room.top() - at.top();
    return to + by;
}

} // namespace

NewWidgetWindow::NewWidgetWindow(QWidget *contentWidget, int viewId, bool pinButton, bool statusBar)
    : QWidget(nullptr), content(contentWidget), view(viewId)
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowIcon(QIcon(QStringLiteral(":/icon2x/icon512.png")));

    layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    titleBar = new TitleBarWindow(this);
    connect(titleBar, &TitleBarWindow::buttonClicked, this, &NewWidgetWindow::on_clickPinObject);
    connect(titleBar, &TitleBarWindow::fullScreenWidget, this, &NewWidgetWindow::on_fullScreeWidget);
    connect(titleBar, &TitleBarWindow::minimizeScreenWidget, this, &NewWidgetWindow::on_minimizeScreenWidget);

    titleBar->setPinButton(pinButton);
    if (pinButton && view == DetachedView::Karaoke)
        titleBar->setFullScreenButtonVisible(false);
    titleBar->setFullScreenButton(isMaximized());
    titleBar->setCloseButton(true);
    layout->addWidget(titleBar, 0, Qt::AlignRight);
    layout->addWidget(content);
    if (statusBar) {
        auto *grip = new QStatusBar(this);
        grip->setMaximumHeight(10);
        layout->addWidget(grip);
    }

    showTitle();
    switch (view) {
    case DetachedView::Chords:
        setMaximumHeight(350);
        break;
    case DetachedView::Editing:
        setFixedWidth(content->width());
        break;
    case DetachedView::Library:
    case DetachedView::Karaoke:
        setAcceptDrops(true);
        break;
    }
    setObjectName(content->objectName());
}

void NewWidgetWindow::showTitle()
{
    static const std::pair<int, const char *> names[] = {
        {DetachedView::Karaoke, QT_TR_NOOP("Karaoke")}, {DetachedView::Library, QT_TR_NOOP("Library")},
        {DetachedView::Editing, QT_TR_NOOP("Editing")}, {DetachedView::Mixer, QT_TR_NOOP("Mixer")},
        {DetachedView::Chords, QT_TR_NOOP("Chords")}};
    for (const auto &[id, name] : names) {
        if (id == view)
            setWindowTitle(tr(name));
    }
}

void NewWidgetWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        showTitle();
    QWidget::changeEvent(event);
}

void NewWidgetWindow::hideBar()
{
    layout->removeWidget(titleBar);
    titleBar->hide();
}

QRect NewWidgetWindow::screenOfBar(const QRect &frame) const
{
    const QSize size = frame.size().expandedTo(minimumSize()).boundedTo(maximumSize());
    // The layout keeps the bar at the window's top right, as wide as it asks.
    const QSize bar = titleBar->isHidden() ? QSize(1, 1) : titleBar->sizeHint().boundedTo(size);
    const QRect at(frame.left() + size.width() - bar.width(), frame.top(), bar.width(), bar.height());
    for (const QScreen *screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().contains(at))
            return screen->availableGeometry();
    }
    return QRect();
}

void NewWidgetWindow::on_clickPinObject(bool closed)
{
    if (closing)
        return;
    closing = true;
    emit windowClosing(content, view, closed);
    emit windowPropertyChanged(view, -500, -500, -500, -500);
    // The owner takes its view back above; one that did not must still
    // never lose it with the window.
    if (content && content->parent() == this) {
        content->hide();
        content->setParent(nullptr);
    }
    deleteLater();
}

void NewWidgetWindow::on_fullScreeWidget()
{
    const bool maximise = !isMaximized();
    if (maximise)
        showMaximized();
    else
        showNormal();
    titleBar->setFullScreenButton(maximise);
}

void NewWidgetWindow::on_minimizeScreenWidget()
{
    showMinimized();
}

void NewWidgetWindow::closeEvent(QCloseEvent *event)
{
    on_clickPinObject(true);
    event->accept();
}

void NewWidgetWindow::emitGeometry()
{
    const QRect frame = frameGeometry();
    emit windowPropertyChanged(view, frame.x(), frame.y(), frame.width(), frame.height());
}

void NewWidgetWindow::resizeEvent(QResizeEvent *event)
{
    emit resizeWindow(event);
    emitGeometry();
}

void NewWidgetWindow::moveEvent(QMoveEvent *)
{
    emitGeometry();
}

void NewWidgetWindow::dragEnterEvent(QDragEnterEvent *event)
{
    event->acceptProposedAction();
}

void NewWidgetWindow::dropEvent(QDropEvent *event)
{
    emit droppedOverWindow(event, view != DetachedView::Library);
}

void NewWidgetWindow::mousePressEvent(QMouseEvent *event)
{
    pressPos = event->position().toPoint();
}

void NewWidgetWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (isMaximized())
        return;
    const QRect frame = frameGeometry();
    // Right after a resize by the size grip the first move only records
    // the new size, so the grip's own drag does not move the window.
    if (recordedWidth == frame.width() || recordedHeight == frame.height()) {
        emitGeometry();
        const QPoint pointer = event->globalPosition().toPoint();
        move(keepBarOnScreen(this, titleBar, pointer - pressPos, pointer));
    } else {
        recordedWidth = frame.width();
        recordedHeight = frame.height();
    }
}

void NewWidgetWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        on_clickPinObject(true);
    else
        QWidget::keyPressEvent(event);
}
