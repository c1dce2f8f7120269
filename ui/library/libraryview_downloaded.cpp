// The Downloaded list: the songs the library has from the store. Besides
// Info, Delete and Auto Play, which act on it as on the other lists, its Add
// Song button adds the chosen rows to one of the user's playlists, picked
// from a menu under the button.
#include "libraryview.h"
#include "ui_libraryview.h"

#include "DatabaseHelper.h"
#include "songtexts.h"

#include <QItemSelectionModel>
#include <QMenu>
#include <QSqlQueryModel>
#include <QSqlRecord>

void libraryView::addDownloadedToPlaylist()
{
    const QModelIndexList chosen = ui->songsListview->selectionModel()->selectedRows(0);
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("playlistMenu"));
    for (const Playlist &playlist : playlists) {
        // The fixed entries (All Songs, Recent, Downloaded, News) hold no songs of their own.
        if (playlist.getId() >= 5)
            menu.addAction(SongTexts::shown(playlist.getName()))->setData(playlist.getId());
    }
    if (menu.isEmpty())
        menu.addAction(tr("No playlist yet: make one with \"New Playlist\""))->setEnabled(false);
    QPushButton *add = ui->AddToPlayListButton;
    const QAction *picked = menu.exec(add->mapToGlobal(QPoint(0, add->height())));
    if (!picked || !picked->data().isValid() || chosen.isEmpty())
        return;
    const int id = picked->data().toInt();
    int added = 0;
    for (const QModelIndex &row : chosen) {
        const int song = songModel->record(row.row()).value(QStringLiteral("IdSong")).toInt();
        added += database->insertSongInPlayList(song, id);
    }
    for (Playlist &playlist : playlists) {
        if (playlist.getId() == id)
            playlist.setNumsongs(playlist.getNumsongs() + added);
    }
    if (added > 0)
        showAddedMark();
}
