// User playlists: made, renamed and deleted from the side list, filled in
// adding mode, reordered by dragging the table's rows and emptied with the
// delete button. Every change is stored at once; an order is rewritten whole
// in one transaction.
#include "libraryview.h"
#include "ui_libraryview.h"

#include "DatabaseHelper.h"
#include "listitem.h"
#include "prompter.h"

#include <QDebug>
#include <QHeaderView>
#include <QInputDialog>
#include <QSqlDatabase>
#include <QSqlQueryModel>

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
    return QInputDialog::getText(parent, title, label, QLineEdit::Normal, text);
}

bool yes(const QString &text)
{
    return Prompter::question(libraryView::tr("Attention"), text,
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

} // namespace

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
    if (!yes(tr("Do you want to exit \"edit playlist\" mode?")))
        return false;
    endAdding();
    return true;
}

void libraryView::onSongAddToPlaylist(SongInfo song)
{
    qDebug() << "Rivato di qua, aggiungi a playlist";
    database->insertSongInPlayList(int(song.idSong), getPlaylistId());
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
    database->insertPlaylist(name);
    playlists = database->selectPlaylists();
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
        if (database->updatePlaylistName(id, newName))
            qDebug() << "Rinominata";
    }
    refreshPlaylistsView();
}

void libraryView::onItemListDeleted(listItem *item)
{
    if (!askLeaveAdding())
        return;
    if (!yes(tr("Do you really want to delete this playlist?"))) {
        qDebug() << "No";
        return;
    }
    qDebug() << "Yes" << "Rimuovo playlist";
    database->deletePlaylist(item->getPlaylist().getId());
    currentPlaylistIndex = 0;
    updateHeaderBar(AllSongs);
    currentQuery = database->sqlSongsByTitle;
    runQuery(currentQuery, QSqlDatabase::database());
    buildTableSongs();
    refreshPlaylistsView();
    ui->playlistListWidget->setCurrentRow(0);
}

void libraryView::onRowsMoved(int, int oldVisual, int newVisual)
{
    if (!showsCurrentPlaylist())
        return;
    QList<SongInfo> songs = database->getPlaylistSongs(getPlaylistId());
    if (oldVisual < 0 || newVisual < 0 || oldVisual >= songs.size() || newVisual >= songs.size())
        return;
    songs.move(oldVisual, newVisual);
    database->reorderSongIntoPlaylist(getPlaylistId(), songs);
    buildTableSongs();
}

void libraryView::removeSelectedFromPlaylist()
{
    const QModelIndexList selected = ui->songsListview->selectionModel()->selectedRows();
    if (selected.isEmpty() || !showsCurrentPlaylist())
        return;
    if (!yes(tr("Are you sure you want to remove selected songs from the playlist?")))
        return;
    removeFromPlaylist(selected);
}
