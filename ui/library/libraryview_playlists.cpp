// User playlists: made, renamed and deleted from the side list, filled in
// adding mode, reordered by dragging the table's rows and emptied with the
// delete button. Every change is stored at once; an order is rewritten whole
// in one transaction.
#include "libraryview.h"
#include "ui_libraryview.h"

#include "DatabaseHelper.h"
#include "librarytabledelegate.h"
#include "listitem.h"
#include "prompter.h"

#include <QDebug>
#include <QFontMetrics>
#include <QHeaderView>
#include <QInputDialog>
#include <QSqlDatabase>
#include <QSqlQueryModel>
#include <QSqlRecord>

#include <algorithm>

namespace {

const char kNoVerticalHeader[] = "QHeaderView::section:vertical {width: 0px;}";

libraryView::TextPrompt &textPrompt()
{
    static libraryView::TextPrompt prompt;
    return prompt;
}

// Cancel gives an empty text.
QString askText(QWidget *parent, const QString &title, const QString &label, const QString &text)
{
    if (textPrompt())
        return textPrompt()(title, label, text);
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setTextValue(text);
    // Room for the whole title beside the window manager's icon and buttons,
    // in a title font that may be larger and bold.
    QFont titleFont = dialog.font();
    titleFont.setBold(true);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(title) * 3 / 2 + 160;
    dialog.resize(std::max(dialog.sizeHint().width(), titleWidth), dialog.sizeHint().height());
    dialog.setMinimumWidth(dialog.width());
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

} // namespace

bool libraryView::askYes(const QString &text)
{
    return Prompter::question(tr("Attention"), text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void libraryView::setTextPrompt(TextPrompt prompt)
{
    textPrompt() = std::move(prompt);
}

QString libraryView::playlistQuery() const
{
    return QString(database->sqlPlaylistSongs)
        .replace(QLatin1String(":idPlay"), QString::number(getPlaylistId()));
}

// Reordering or removing by position is only meaningful while the table
// shows the stored playlist itself, not a search or the library in adding
// mode.
bool libraryView::showsCurrentPlaylist() const
{
    return headerStatus == PlaylistSongs && !isAdding && currentQuery == playlistQuery();
}

void libraryView::restoreAddButton()
{
    QPushButton *add = ui->AddToPlayListButton;
    add->setStyleSheet(QString());
    add->setIcon(QIcon(QStringLiteral(":/icon2x/add_playlist.png")));
    add->setText(isAdding ? tr("End") : tr("Add Song"));
}

void libraryView::toggleAddingMode()
{
    if (headerStatus == DownloadedSongs && !isAdding) {
        addDownloadedToPlaylist();
        return;
    }
    if (isAdding) {
        endAdding();
        return;
    }
    if (showingSongs)
        return;
    isAdding = true;
    restoreAddButton();
    qDebug() << "isAdding";
    if (ui->titleButton->isChecked()) {
        currentQuery = database->sqlSongsByTitle;
        runQuery(currentQuery, QSqlDatabase::database());
        buildTableSongs();
    } else {
        const bool artists = ui->artistButton->isChecked();
        currentQuery = artists ? database->sqlArtists : database->sqlGenres;
        runQuery(currentQuery, QSqlDatabase::database());
        updateHeaderBar(Listing);
        artists ? buildTableArtists() : buildTableGenres();
    }
    QHeaderView *rows = ui->songsListview->verticalHeader();
    rows->setSectionsMovable(false);
    rows->setStyleSheet(QLatin1String(kNoVerticalHeader));
    if (currentPlaylistIndex >= 0 && currentPlaylistIndex < playlists.size() &&
        playlists.at(currentPlaylistIndex).getNumsongs() == 0)
        showHint(tr("Double click on a row to add the song to the playlist, press \"End\" when "
                    "finished"));
}

void libraryView::endAdding()
{
    leaveAddingMode();
    ui->AddToPlayListButton->setEnabled(true);
    // The table shows the playlist again, so the add button must act on the
    // next click.
    showingSongs = false;
    forgetSearch();
    currentQuery = playlistQuery();
    runQuery(currentQuery, QSqlDatabase::database());
    buildTableSongs();
    ui->titleButton->setChecked(true);
    qDebug() << "Stop adding";
    ui->songsListview->setDragEnabled(false);
    updateHeaderBar(PlaylistSongs);
}

bool libraryView::askLeaveAdding()
{
    if (!isAdding)
        return true;
    if (!askYes(tr("Do you want to exit \"edit playlist\" mode?")))
        return false;
    endAdding();
    return true;
}

void libraryView::onSongAddToPlaylist(SongInfo song)
{
    qDebug() << "Adding to the playlist";
    if (addToPlaylist(song))
        emit playlistEdited(getPlaylistId(), -1, -1);
}

void libraryView::createPlaylist()
{
    if (!askLeaveAdding())
        return;
    const int row = ui->playlistListWidget->currentRow();
    if (row != 4)
        currentPlaylistIndex = row >= 5 ? row - 1 : row;
    const QString name = askText(this, tr("New Playlist"), tr("Playlist name:"), QString());
    if (name.isEmpty())
        return;
    if (!kept(database->insertPlaylist(name),
              Phrase("libraryView", QT_TR_NOOP("The playlist \"%1\" could not be made")).arg(name)))
        return;
    bool read = false;
    QList<Playlist> lists = database->selectPlaylists(&read);
    if (!readable(read))
        return;
    playlists = std::move(lists);
    // The new playlist is the one shown, its row chosen and scrolled into
    // sight: made below the visible part of the side list it seemed not made.
    int made = -1;
    for (int i = 0; i < playlists.size(); ++i) {
        if (made < 0 || playlists.at(i).getId() > playlists.at(made).getId())
            made = i;
    }
    buildTablePlaylists();
    if (made < 0 || playlists.at(made).getName() != name)
        return;
    QListWidget *list = ui->playlistListWidget;
    const int shown = playlistRow(made);
    list->setCurrentRow(shown);
    list->scrollToItem(list->item(shown));
    openPlaylistRow(list->model()->index(shown, 0));
}

void libraryView::renamePlaylist(QString name, int id)
{
    if (!askLeaveAdding())
        return;
    const QString newName = askText(this, tr("Rename Playlist"), tr("Playlist name:"), name);
    if (!newName.isEmpty()) {
        qDebug() << newName;
        if (kept(database->updatePlaylistName(id, newName),
                 Phrase("libraryView", QT_TR_NOOP("The playlist \"%1\" could not be renamed")).arg(name)))
            qDebug() << "Renamed";
    }
    refreshPlaylistsView();
}

void libraryView::onItemListDeleted(listItem *item)
{
    if (!askLeaveAdding())
        return;
    if (!askYes(tr("Do you really want to delete the playlist \"%1\"?")
                 .arg(item->getPlaylist().getName()))) {
        qDebug() << "No";
        return;
    }
    qDebug() << "Removing playlist";
    if (!kept(database->deletePlaylist(item->getPlaylist().getId()),
              Phrase("libraryView", QT_TR_NOOP("The playlist \"%1\" could not be deleted"))
                  .arg(item->getPlaylist().getName())))
        return;
    emit playlistEdited(item->getPlaylist().getId(), -1, -1);
    currentPlaylistIndex = 0;
    forgetSearch();
    updateHeaderBar(AllSongs);
    currentQuery = database->sqlSongsByTitle;
    runQuery(currentQuery, QSqlDatabase::database());
    buildTableSongs();
    refreshPlaylistsView();
    ui->playlistListWidget->setCurrentRow(0);
}

void libraryView::onRowsMoved(int logical, int, int newVisual)
{
    QList<SongInfo> songs;
    const int from = showsCurrentPlaylist() ? storedPosition(songs, logical) : -1;
    if (from >= 0 && newVisual >= 0 && newVisual < songs.size()) {
        songs.move(from, newVisual);
        const bool stored =
            kept(database->reorderSongIntoPlaylist(getPlaylistId(), songs),
                 Phrase("libraryView", QT_TR_NOOP("The new order of the playlist \"%1\" could not be kept"))
                     .arg(getPlaylistName()));
        emit playlistEdited(getPlaylistId(), stored ? from : -1, stored ? newVisual : -1);
    }
    // Read again: the table shows the order stored, a drag that stored
    // nothing is undone.
    runQuery(currentQuery, QSqlDatabase::database());
    buildTableSongs();
}

// The entry a row of the playlist's table shows: the same song, counted
// among the rows that show it, since a playlist may hold a song twice. The
// stored entries are read into `stored`; -1 when the row's entry is no
// longer there.
int libraryView::storedPosition(QList<SongInfo> &stored, int row) const
{
    if (stored.isEmpty())
        stored = database->getPlaylistSongs(getPlaylistId());
    if (row < 0 || row >= songModel->rowCount())
        return -1;
    const auto idAt = [this](int r) {
        return songModel->record(r).value(QStringLiteral("IdSong")).toUInt();
    };
    const uint id = idAt(row);
    int before = 0;
    for (int r = 0; r < row; ++r)
        before += idAt(r) == id;
    for (int at = 0; at < stored.size(); ++at) {
        if (stored.at(at).idSong == id && before-- == 0)
            return at;
    }
    return -1;
}

void libraryView::removeSelectedFromPlaylist()
{
    const QModelIndexList selected = ui->songsListview->selectionModel()->selectedRows();
    if (selected.isEmpty() || !showsCurrentPlaylist())
        return;
    if (!askYes(tr("Are you sure you want to remove selected songs from the playlist?")))
        return;
    removeFromPlaylist(selected);
}

void libraryView::showPlayingEntry(int playlistId, int position)
{
    playingList = position < 0 ? -1 : playlistId;
    playingAt = position;
    lightPlayingEntry();
}

// The entry lit is the song's own, apart from the selection: a click on
// another row or a drag leaves it lit.
void libraryView::lightPlayingEntry()
{
    QTableView *table = ui->songsListview;
    const int position = playingAt;
    QPersistentModelIndex lit;
    if (playingList >= 0 && playingList == getPlaylistId() && showsCurrentPlaylist() && position >= 0) {
        while (position >= songModel->rowCount() && songModel->canFetchMore())
            songModel->fetchMore();
        if (position < songModel->rowCount()) {
            lit = songModel->index(position, 2);
            table->scrollTo(lit);
        }
    }
    tableDelegate->setLitRow(lit);
    table->viewport()->update();
}
