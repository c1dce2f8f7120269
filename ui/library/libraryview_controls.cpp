// The page's small controls: store switch, side-frame toggles, auto-play,
// import, and the keys that load (Return) and play (Space) the selection.
#include "libraryview.h"
#include "ui_libraryview.h"

#include "DatabaseHelper.h"
#include "appsettings.h"
#include "prompter.h"

#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QSettings>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QSqlTableModel>

void libraryView::switchStore(bool checked)
{
    storeSwitchOn = checked;
}

void libraryView::toggleLeftFrame()
{
    const QIcon icon(leftFrameShown ? QStringLiteral(":/icon2x/forwardArrow.png")
                                    : QStringLiteral(":/icon2x/backArrow.png"));
    ui->showHideLeftFrame->setIcon(icon);
    ui->showHideLeftFrame_2->setIcon(icon);
    leftFrameShown = !leftFrameShown;
    (pageState == 0 ? ui->framePlayList : ui->frameDrives)->setVisible(leftFrameShown);
    ui->newPlaylistFrame->setVisible(leftFrameShown);
    ui->hFrameTabs->setVisible(leftFrameShown);
    QCoreApplication::processEvents();
    buildCurrentTable();
}

void libraryView::setAutoplay(bool checked)
{
    programSettings().setValue(QStringLiteral("System/Autoplay"), checked ? 1 : 0);
}

void libraryView::importChosen()
{
    // Adding mode ends as its own button ends it: the table shows the
    // playlist again, not the library under the playlist's header.
    if (!askLeaveAdding())
        return;
    QList<QUrl> urls;
    if (pageState != 0) {
        // A list selects single cells of the model's first column, not rows.
        for (const QModelIndex &index : ui->filesLV->selectionModel()->selectedIndexes()) {
            if (index.column() == 0)
                urls << QUrl::fromLocalFile(folderModel->filePath(index));
        }
    }
    emit importRequest(urls);
}

// The path Return, Space and the play button act on in a view: a library
// song's file, a browsed file or an indexed one; empty for a listing row, a
// store row or a folder.
QString libraryView::focusedPath(QWidget *view) const
{
    if (view == ui->songsListview) {
        const int row = ui->songsListview->currentIndex().row();
        return row < 0 || headerStatus == Listing || headerStatus == StoreNews || isStoreRow(row)
                   ? QString()
                   : songModel->record(row).value(QStringLiteral("innerPath")).toString();
    }
    if (view == ui->filesLV) {
        const QModelIndex index = ui->filesLV->currentIndex();
        return index.isValid() && !folderModel->isDir(index) ? folderModel->filePath(index)
                                                             : QString();
    }
    if (view == ui->searchLV) {
        const QSqlRecord row = indexModel->record(ui->searchLV->currentIndex().row());
        if (!row.isEmpty())
            return row.value(QStringLiteral("path")).toString() +
                   row.value(QStringLiteral("file")).toString();
    }
    return QString();
}

void libraryView::startSelection(int action)
{
    QWidget *view = focusWidget();
    const QString path = focusedPath(view);
    if (view == ui->songsListview) {
        if (path.isEmpty())
            return;
        emit startSongInfo(songOfRow(ui->songsListview->currentIndex().row()), action);
    } else if (!path.isEmpty()) {
        emit startSongPath(path, action);
    }
}

void libraryView::keyPressEvent(QKeyEvent *event)
{
    QWidget *view = focusWidget();
    switch (event->key()) {
    case Qt::Key_Backspace:
        if (view == ui->songsListview || view == ui->searchLV)
            backToListing();
        else if (view == ui->filesLV)
            folderUp();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!focusedPath(view).isEmpty()) {
            startSelection(1);
        } else if (view == ui->songsListview) {
            activateSong(ui->songsListview->currentIndex());
        } else if (view == ui->searchLV) {
            playFoundFile(ui->searchLV->currentIndex());
        } else if (view == ui->filesLV) {
            openFileEntry(ui->filesLV->currentIndex());
        }
        break;
    case Qt::Key_Space:
        startSelection(0);
        break;
    default:
        break;
    }
    event->accept();
}

// Space would otherwise move the views' selection instead of playing it.
bool libraryView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Space) {
            keyPressEvent(key);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void libraryView::dragEnterEvent(QDragEnterEvent *event)
{
    event->acceptProposedAction();
}

// Dropped files are imported by the main window.
void libraryView::dropEvent(QDropEvent *event)
{
    qDebug() << event;
}

// The form's texts are its first state's: those the page set since are set
// again, in the language just chosen.
void libraryView::retranslateState()
{
    ui->labelSongs->setText(pageState != 0               ? tr("Files")
                            : headerStatus == StoreNews ? tr("News of the week")
                                                        : tr("Songs"));
    sayDriveSearch();
    updateLoading();
    nameIndexColumns();
    restoreAddButton();
}

void libraryView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        retranslateState();
        if (!storeFailure.isEmpty())
            ui->storeMessage->setText(storeFailure.text());
        showLibraryFailure();
        sayImported(imported);
        buildTablePlaylists();
        buildCurrentTable(); // the column headers
    }
    QWidget::changeEvent(event);
}
