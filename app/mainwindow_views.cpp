// The main window's five views: the tab bar chooses the one shown in the bar
// area (the karaoke view lives in the screen area above it); any view can be
// taken into a window of its own and comes home when that window is pinned
// or closed; the drag bar shows or hides the screen area, or tears the bar
// view off when dragged out of the window. The windows' frames (a window
// manager's title bar and borders counted in) are stored on close exactly
// as they are and reopened at the next start where a drag could have left
// them; the main window's frame no screen shows any more is moved onto the
// primary screen.
#include "mainwindow.h"

#include "KaraokeTextWidget.h"
#include "accountview.h"
#include "adbanner.h"
#include "chordsView.h"
#include "constants.h"
#include "editview.h"
#include "libraryview.h"
#include "mixerview.h"
#include "newwidgetwindow.h"
#include "popupplacement.h"
#include "settingsview.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QCursor>
#include <QDebug>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>

#include <algorithm>
#include <utility>

namespace {

// Settings keys of the views, in the order they are restored.
const std::pair<const char *, int> kStoredViews[] = {{"libraryView", MainWindow::Library},
                                                    {"editView", MainWindow::Editing},
                                                    {"mixerView", MainWindow::Mixer},
                                                    {"chordsView", MainWindow::Chords},
                                                    {"KaraokeTextWidget", MainWindow::Karaoke}};

// A window is reachable when this much of it lies on a screen: enough for
// its title bar to be grabbed.
constexpr int kMinVisible = 40;

// Where a stored rectangle opens: as it was, unless no screen shows enough
// of it any more (a screen taken away); then at the primary screen's corner.
// Never larger than the free area of the screen it opens on (one stored on
// a larger screen is moved in as much as it must), nor hanging over its top
// or bottom edge: screens differ in height, and a window stored at the
// bottom of a taller one is moved up onto a shorter one.
QRect ontoScreen(QRect rect)
{
    for (const QScreen *screen : QGuiApplication::screens()) {
        const QRect shown = screen->geometry().intersected(rect);
        if (shown.width() >= kMinVisible && shown.height() >= kMinVisible) {
            const QRect free = screen->availableGeometry();
            if (free.width() < rect.width() || free.height() < rect.height())
                return PopupPlacement::keepInside(rect, free);
            rect.moveTop(std::clamp(rect.top(), free.top(), free.bottom() + 1 - rect.height()));
            return rect;
        }
    }
    const QRect home = QGuiApplication::primaryScreen()->availableGeometry();
    rect.setSize(rect.size().boundedTo(home.size()));
    rect.moveTopLeft(home.topLeft());
    return rect;
}

// The window manager's frame around the window's own area; none before it
// has framed the window, or without one.
QMargins frameMargins(const QWidget *window)
{
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    return QMargins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                    frame.bottom() - inner.bottom());
}

} // namespace

QWidget *MainWindow::viewFor(int viewId) const
{
    if (viewId == Chords)
        return m_chords;
    if (viewId == Library)
        return m_library;
    if (viewId == Editing)
        return m_edit;
    if (viewId == Mixer)
        return m_mixer;
    return m_karaoke;
}

bool MainWindow::isDocked(QWidget *view) const
{
    return view->parentWidget() == ui->screenWidget || view->parentWidget() == ui->barWidget;
}

void MainWindow::connectViews()
{
    m_karaoke->setSoundEngine(m_engine);
    m_karaoke->setTextFlags(m_settings->getTextAlign());
    if (m_settings->isKarBackImageEnabled())
        m_karaoke->setBackgroundImage(m_settings->getKarBackImage());
    else
        m_karaoke->setBackgroundColor(m_settings->getKarBackColor());
    m_karaoke->setLyricsColor(m_settings->getKarTextColor());
    m_karaoke->setLyricsHighlightColor(m_settings->getKarHlColor());
    connect(m_settings, &SettingsView::imageKaraokeBackgroundChanged, m_karaoke,
            &KaraokeTextWidget::setBackgroundImage);
    connect(m_settings, &SettingsView::colorKaraokeBackgroundChanged, m_karaoke,
            &KaraokeTextWidget::setBackgroundColor);
    connect(m_settings, &SettingsView::colorKaraokeTextChanged, m_karaoke, &KaraokeTextWidget::setLyricsColor);
    connect(m_settings, &SettingsView::colorKaraokeHighlightChanged, m_karaoke,
            &KaraokeTextWidget::setLyricsHighlightColor);
    connect(m_settings, &SettingsView::resizeWindows, this, &MainWindow::resizeLayout);
    connect(m_engine, &SoundEngine::playStateChanged, m_karaoke, &KaraokeTextWidget::onPlayStateChanged);
    connect(m_karaoke, &KaraokeTextWidget::KaraokeTextWidgetInFullScreen, this, &MainWindow::karaokeWindowOpened);
    connect(m_karaoke, &KaraokeTextWidget::ownWindowOpened, this, &MainWindow::wireViewWindow);
}

// ---- tabs

void MainWindow::buttonIndexChanged(QAbstractButton *button)
{
    const int id = ui->buttonGroup->id(button);
    QWidget *view = viewFor(id);
    m_currentView = id;
    if (!isDocked(view)) {
        QWidget *window = view->window();
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->activateWindow();
        window->raise();
        button->setChecked(true);
        return;
    }
    button->setChecked(true);
    for (QWidget *child : ui->barWidget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        child->hide();
    ui->dragWidget->show();
    if (id != Mixer)
        releaseFixedHeight();
    if (id == Karaoke) {
        ui->screenWidget->show();
        ui->barWidget->hide();
        ui->dragWidget->hide();
        return;
    }
    view->show();
    if (id == Chords && height() > m_chords->height() + ui->screenWidget->height())
        ui->screenWidget->show();
    if (id == Mixer && m_karaokeDetached && m_unfixedMinimumHeight < 0) {
        m_unfixedMinimumHeight = minimumHeight();
        setFixedHeight(height());
    }
    if (ui->barWidget->isHidden())
        ui->barWidget->show();
}

// The mixer fixes the window's height while the karaoke view is away; any
// other tab, or the karaoke view coming home, lets it be resized again.
void MainWindow::releaseFixedHeight()
{
    if (m_unfixedMinimumHeight < 0)
        return;
    setMinimumHeight(m_unfixedMinimumHeight);
    setMaximumHeight(QWIDGETSIZE_MAX);
    m_unfixedMinimumHeight = -1;
}

void MainWindow::windowOpened(int)
{
    buttonIndexChanged(ui->KaraokeButton);
}

void MainWindow::windowOpened()
{
    buttonIndexChanged(ui->KaraokeButton);
}

void MainWindow::hideToKaraoke()
{
    ui->screenWidget->show();
    ui->barWidget->hide();
    ui->dragWidget->hide();
}

void MainWindow::setWindowFullScreen(QWidget *window, int)
{
    window->showMaximized();
}

void MainWindow::mainWindowSelected()
{
    ui->stackedWidget->setCurrentWidget(ui->pageMain);
}

void MainWindow::resizeLayout()
{
    show();
    m_library->show();
    ui->LibraryButton->setChecked(true);
    buttonIndexChanged(ui->LibraryButton);
}

void MainWindow::karaokeWindowOpened()
{
    ui->screenWidget->hide();
    m_karaokeDetached = true;
}

// ---- detaching and docking

NewWidgetWindow *MainWindow::openViewWindow(QWidget *view, int id)
{
    auto *window = new NewWidgetWindow(view, id, true, true);
    wireViewWindow(window);
    return window;
}

void MainWindow::wireViewWindow(NewWidgetWindow *window)
{
    connect(window, &NewWidgetWindow::windowClosing, this, &MainWindow::retriveWidget);
    connect(window, &NewWidgetWindow::windowPropertyChanged, this, &MainWindow::savePosAndSizeWidgets);
    connect(window, &NewWidgetWindow::droppedOverWindow, this, &MainWindow::dropEventOnDetachedWidgets);
}

void MainWindow::unpinView()
{
    const int id = ui->buttonGroup->checkedId();
    for (QWidget *view : ui->barWidget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (view->isHidden())
            continue;
        if (id == Mixer)
            emit barDragged(true);
        const int shownHeight = view->height();
        NewWidgetWindow *window = openViewWindow(view, id);
        // Bottoms aligned: the view stays where it was on the screen.
        const int tall = detachedHeight(view, window, shownHeight);
        const QRect at(x(), y() + height() - tall, width(), tall);
        window->setGeometry(PopupPlacement::keepInside(at, PopupPlacement::availableAt(at.center())));
        window->show();
        buttonIndexChanged(ui->KaraokeButton);
    }
}

// The window's own title bar and grip above and below the view counted in.
int MainWindow::detachedHeight(QWidget *view, QWidget *window, int shownHeight)
{
    const int chrome = qMax(0, window->sizeHint().height() - view->sizeHint().height());
    return qMax(shownHeight + chrome, window->minimumSizeHint().height());
}

void MainWindow::retriveWidget(QWidget *view, int id, bool closed)
{
    if (id > Library) {
        ui->verticalLayout_3->addWidget(view);
        view->show();
        ui->screenWidget->show();
        m_karaoke->showUnPinButton(true);
        m_karaokeDetached = false;
        releaseFixedHeight();
        // The lyrics are back above the page the bar shows: that page's tab
        // is the one highlighted, Karaoke only when the bar is hidden.
        int shown = Karaoke;
        for (const auto &[key, page] : kStoredViews) {
            if (page != Karaoke && !ui->barWidget->isHidden() && isDocked(viewFor(page))
                && !viewFor(page)->isHidden())
                shown = page;
        }
        ui->buttonGroup->button(shown)->setChecked(true);
        m_currentView = shown;
        return;
    }
    QAbstractButton *tab = ui->buttonGroup->button(id);
    // The highlighted tab and the page shown agree: a view whose tab is
    // highlighted (its tab raised its window) comes back shown, as does a
    // view pinned back; a closed one of another tab comes back hidden.
    if (closed && ui->buttonGroup->checkedId() != id) {
        ui->barWidget->layout()->addWidget(view);
        view->hide();
        return;
    }
    if (!closed && id == Mixer)
        emit barDragged(false);
    ui->barWidget->layout()->addWidget(view);
    tab->setChecked(true);
    buttonIndexChanged(tab);
}

void MainWindow::savePosAndSizeWidgets(int view, int x, int y, int width, int height)
{
    m_viewRects[view] = QRect(x, y, width, height);
}

void MainWindow::openWindowAtLoad(int viewId, QRect rect)
{
    QWidget *view = viewFor(viewId);
    // The edit page's window keeps the page's width: the stored one.
    view->resize(rect.width(), view->height());
    NewWidgetWindow *window = openViewWindow(view, viewId);
    if (view == m_karaoke) {
        // As if unpinned by its own button.
        window->setUnpinned(true);
        m_karaoke->showUnPinButton(false);
    }
    view->show();
    window->show();
    window->setGeometry(rect);
    buttonIndexChanged(ui->KaraokeButton);
}

// What a drag allows, a restart keeps: a window whose title bar lies whole
// on a screen opens where it was left, no larger than the free area of the
// largest screen it touches; only one cut by a screen shorter than the one
// it was left on (most of it showing) moves up to show whole. Any other
// must move; it waits in the primary screen's corner until this window is
// laid out (placeMovedWindows).
void MainWindow::reopenWindow(int viewId, const QRect &stored)
{
    QSize room;
    for (const QScreen *screen : QGuiApplication::screens()) {
        if (screen->geometry().intersects(stored))
            room = room.expandedTo(screen->availableGeometry().size());
    }
    if (room.isEmpty())
        room = QGuiApplication::primaryScreen()->availableGeometry().size();
    const QRect fitted(stored.topLeft(), stored.size().boundedTo(room));
    openWindowAtLoad(viewId, fitted);
    auto *window = qobject_cast<NewWidgetWindow *>(viewFor(viewId)->window());
    if (!window)
        return;
    QRect at = window->geometry();
    const QRect free = window->screenOfBar(at);
    if (free.isNull()) {
        window->setGeometry(ontoScreen(fitted));
        m_movedAtStart << viewId;
        return;
    }
    if (at.bottom() > free.bottom() && at.height() <= free.height()
        && 2 * (free.bottom() + 1 - at.top()) > at.height()) {
        at.moveBottom(free.bottom());
        window->setGeometry(at);
    }
}

// The windows that could not open where they were go where they cover
// neither the header, with the transport buttons, nor the tabs.
void MainWindow::placeMovedWindows()
{
    if (m_movedAtStart.isEmpty())
        return;
    // The main page may not be shown yet (the splash page is): it is laid
    // out now to tell where its header and tabs will be.
    if (!ui->pageMain->isVisible()) {
        ui->pageMain->setGeometry(ui->stackedWidget->rect());
        ui->pageMain->layout()->activate();
    }
    const auto onScreen = [](QWidget *w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); };
    QList<QRect> keepClear{onScreen(ui->headerBar), onScreen(ui->tabBar)};
    // Nor one another, nor those that opened where they were left.
    const QList<int> moved = std::exchange(m_movedAtStart, {});
    for (const auto &[key, id] : kStoredViews) {
        QWidget *view = viewFor(id);
        if (!moved.contains(id) && !isDocked(view) && view->window()->isVisible())
            keepClear << view->window()->frameGeometry();
    }
    for (int id : moved) {
        QWidget *view = viewFor(id);
        if (isDocked(view))
            continue;
        QWidget *window = view->window();
        // Where nothing is clear of them all, on the screen still.
        const QRect free = screen()->availableGeometry();
        window->setGeometry(PopupPlacement::keepInside(PopupPlacement::clearOf(window->geometry(), free, keepClear), free));
        keepClear << window->frameGeometry();
    }
}

// Before a window manager has framed the window its frame is not known: the
// frame's corner goes where it belongs at once (a move places the frame), its
// size once the frame is there. Without a window manager there is no frame
// and the window is simply the rectangle.
void MainWindow::placeFrame(const QRect &frame)
{
    m_wantedFrame = frame;
    resize(frame.size());
    move(frame.topLeft());
    fitFrame();
}

void MainWindow::fitFrame()
{
    const QMargins margins = frameMargins(this);
    if (m_wantedFrame.isNull() || margins.isNull())
        return;
    const QRect frame = std::exchange(m_wantedFrame, QRect());
    resize(frame.size().shrunkBy(margins));
    move(frame.topLeft());
}

void MainWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    fitFrame();
}

// Windows reopened at start are shown before the main window: once it is
// up they come back in front of it.
void MainWindow::raiseViewWindows()
{
    placeMovedWindows();
    for (const auto &[key, id] : kStoredViews) {
        QWidget *view = viewFor(id);
        if (view && !isDocked(view))
            view->window()->raise();
    }
}

void MainWindow::bringForward(const QString &song)
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    // Once the window system has taken the state: an activation asked for
    // before it can be undone by the restore.
    QTimer::singleShot(0, this, [this] {
        raise();
        activateWindow();
        raiseViewWindows();
    });
    if (song.isEmpty())
        return;
    // Before the first page the song waits for it, as the command line's does.
    if (ui->stackedWidget->currentWidget() == ui->pageSplashscreen)
        m_commandLineSong = song;
    else
        onStartSongPath(song, -1);
}

void MainWindow::dockAllViews()
{
    for (const auto &[key, id] : kStoredViews) {
        QWidget *view = viewFor(id);
        if (view && !isDocked(view)) {
            QWidget *window = view->window();
            view->setParent(id == Karaoke ? ui->screenWidget : ui->barWidget);
            if (window != view)
                delete window;
        }
    }
}

// ---- screen area and drag bar

void MainWindow::toggleScreenWidget()
{
    if (ui->buttonGroup->checkedId() == Chords)
        return;
    const bool wasVisible = !ui->screenWidget->isHidden();
    if (wasVisible)
        ui->screenWidget->hide();
    else if (height() > 500)
        ui->screenWidget->show();
    emit barDragged(wasVisible);
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    QWidget *child = childAt(event->position().toPoint());
    if (child == ui->dragArrow || child == ui->dragWidget) {
        for (QWidget *view : ui->barWidget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!view->isHidden() && handleDragViews(event, view)) {
                ui->screenWidget->show();
                buttonIndexChanged(ui->KaraokeButton);
            }
        }
    }
    QMainWindow::mousePressEvent(event);
}

bool MainWindow::handleDragViews(QMouseEvent *event, QWidget *view)
{
    if (!view)
        return false;
    qDebug() << "Drag of the bar" << event->position();
    auto *data = new QMimeData;
    data->setData(QStringLiteral("application/x-dnditemdata"), QByteArray());
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setHotSpot(event->position().toPoint());
    qDebug() << "Drag hot spot" << drag->hotSpot();
    // Dropped on this window (its drop handler makes a drag from itself a
    // move): the screen area is shown or hidden instead.
    if (drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction) == Qt::MoveAction) {
        toggleScreenWidget();
        dragFromMainWindow = false;
        return false;
    }
    return handleLibrary(view);
}

bool MainWindow::handleLibrary(QWidget *view)
{
    if (!view)
        return false;
    qDebug() << "Drag of a view";
    if (m_karaokeDetached || !dragFromMainWindow) {
        dragFromMainWindow = false;
        toggleScreenWidget();
        return false;
    }
    const int id = ui->buttonGroup->checkedId();
    if (id == Mixer)
        emit barDragged(true);
    const int shownHeight = view->height();
    NewWidgetWindow *window = openViewWindow(view, id);
    // As tall as the view was shown: its own size hint may show no row.
    const QRect at(QCursor::pos(), QSize(window->sizeHint().width(), detachedHeight(view, window, shownHeight)));
    window->setGeometry(PopupPlacement::keepInside(at, PopupPlacement::availableAt(at.topLeft())));
    window->show();
    view->show();
    dragFromMainWindow = false;
    return true;
}

void MainWindow::toggleScreenFromArrow()
{
    for (QWidget *view : ui->barWidget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (!view->isHidden() && handleLibrary(view)) {
            ui->screenWidget->show();
            buttonIndexChanged(ui->KaraokeButton);
        }
    }
}

void MainWindow::showAccountPopup()
{
    showUnder(ui->userButton, m_accountPopup);
}

// ---- stored positions

void MainWindow::restoreWindowPositions()
{
    QSettings &s = *appSettings;
    s.beginGroup(QStringLiteral("WindowsPosition"));
    const auto stored = [&s](const char *key) { return s.value(QLatin1String(key), -1).toRect(); };
    for (const auto &[key, id] : kStoredViews) {
        if (id == Karaoke)
            continue;
        const QRect r = stored(key);
        if (r.isValid())
            reopenWindow(id, r);
    }
    // Kept and placed by its frame: the title bar stays where the user left
    // it, on the screen.
    const QRect main = stored("MainWindow");
    if (main.isValid()) {
        setMinimumHeight(550);
        placeFrame(ontoScreen(main));
    } else {
        // A first start takes the free area of the screen the window opens
        // on: the song's name and the library's lists get the room they need.
        placeFrame(screen()->availableGeometry());
    }
    const QRect karaoke = stored("KaraokeTextWidget");
    if (karaoke.isValid()) {
        reopenWindow(Karaoke, karaoke);
        m_karaokeDetached = true;
    }
    s.endGroup();
}

// Only the windows of this window's own views are stored: an extra karaoke
// window carries the karaoke view's name but is not the view.
void MainWindow::saveWindowPositions()
{
    QSettings &s = *appSettings;
    s.beginGroup(QStringLiteral("WindowsPosition"));
    s.remove(QString());
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        bool ours = w == this;
        for (const auto &[key, id] : kStoredViews)
            ours = ours || (w->objectName() == QLatin1String(key) && viewFor(id)->window() == w);
        if (ours)
            s.setValue(w->objectName(), w->frameGeometry());
    }
    s.endGroup();
    for (QWidget *w : windows) {
        if (w != this && w->isVisible())
            w->close();
    }
}
