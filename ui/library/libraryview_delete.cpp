// The header's delete and information buttons: library songs go from the
// database and the disk, playlist entries only from their playlist, artists
// and genres with all their songs.
#include "libraryview.h"
#include "ui_libraryview.h"

#include "DatabaseHelper.h"
#include "librarytabledelegate.h"
#include "melodromemanager.h"
#include "prompter.h"
#include "songtexts.h"

#include <QDebug>
#include <QFileInfo>
#include <QHeaderView>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>

#include <algorithm>

namespace {

// A read-only song is one the user protects, even from an administrator's
// account; a file that is gone already is no obstacle to forgetting its row.
bool removable(const QString &path)
{
    const QFileInfo info(path);
    return !info.exists() || (info.permission(QFile::WriteOwner) &&
                              QFileInfo(info.absolutePath()).isWritable());
}

// The first file of the artist's or genre's songs that could not be deleted.
QString blockedFile(const char *column, int id)
{
    QSqlQuery q;
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT innerPath FROM Songs WHERE %1=:id").arg(QLatin1String(column)));
    q.bindValue(QStringLiteral(":id"), id);
    if (q.exec()) {
        while (q.next()) {
            if (!removable(q.value(0).toString()))
                return q.value(0).toString();
        }
    }
    return QString();
}

void reportKept(const QString &path)
{
    Prompter::warning(libraryView::tr("Attention"),
                      libraryView::tr("\"%1\" cannot be deleted: it stays in the library.").arg(path));
}

} // namespace

bool libraryView::compareModelIndex(const QModelIndex &a, const QModelIndex &b)
{
    if (a.row() != b.row())
        return a.row() < b.row();
    if (a.column() != b.column())
        return a.column() < b.column();
    if (a.internalId() != b.internalId())
        return a.internalId() < b.internalId();
    return std::less<const QAbstractItemModel *>()(a.model(), b.model());
}

void libraryView::deleteSelected()
{
    QModelIndexList rows = ui->songsListview->selectionModel()->selectedRows(0);
    if (rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end(), compareModelIndex);
    if (headerStatus == AllSongs || headerStatus == SongsOfListing || headerStatus == DownloadedSongs) {
        deleteSongs(rows);
    } else if (headerStatus == PlaylistSongs) {
        // In adding mode or after a title search the rows are library songs,
        // not entries of the playlist.
        const bool entries = !isAdding && currentQuery.contains(QLatin1String("JOIN PlayListSongs"));
        if (entries && askYes(tr("Are you sure you want to remove selected songs from the playlist?")))
            removeFromPlaylist(rows);
    } else if (headerStatus == Listing) {
        deleteListed(rows, currentQuery.contains(QLatin1String("Artisti")));
    }
}

void libraryView::deleteSongs(const QModelIndexList &rows)
{
    // The songs' files go too: the copies made in the library folder at
    // import, not the originals they came from.
    QStringList titles;
    for (const QModelIndex &index : rows) {
        if (!isStoreRow(index.row()))
            titles << songModel->record(index.row()).value(QStringLiteral("Titolo")).toString();
    }
    if (titles.isEmpty())
        return;
    const QString question =
        titles.size() == 1
            ? tr("Delete \"%1\" from the library? Its file in the library folder is deleted too.")
                  .arg(SongTexts::shown(titles.first()))
            : tr("Delete the %1 selected songs from the library? Their files in the library "
                 "folder are deleted too.")
                  .arg(titles.size());
    if (!askYes(question))
        return;
    qDebug() << "Removing the songs with their files";
    // Store rows carry the store's ids: they never name a library song.
    for (const QModelIndex &index : rows) {
        if (!isStoreRow(index.row()))
            deleteLibrarySong(songModel->record(index.row()));
    }
    forgetDownloadsGone();
    // The songs' playlist entries went with them.
    emit playlistEdited(-1, -1, -1);
    runQuery(currentQuery, QSqlDatabase::database());
    buildTableSongs();
}

// A store list must not tick a song whose file went: a double click would
// then play nothing rather than download it again.
void libraryView::forgetDownloadsGone()
{
    database->unmarkSongsGone([](const SongInfo &song) { return MelodromeManager::songFileName(song); });
}

void libraryView::deleteListed(const QModelIndexList &rows, bool artists)
{
    if (!askYes(artists ? tr("Are you sure you want to delete the selected artists and related songs?")
                        : tr("Are you sure you want to delete selected genres and related songs?")))
        return;
    const char *idColumn = artists ? "IdArtista" : "IdGenere";
    for (const QModelIndex &index : rows) {
        if (isStoreRow(index.row()))
            continue;
        const QSqlRecord row = songModel->record(index.row());
        const int id = row.value(QLatin1String(idColumn)).toInt();
        qDebug().noquote() << (artists ? "Removing artist" : "Removing genre")
                           << row.value(artists ? "NomeArtista" : "NomeGenere").toString();
        const QString blocked = blockedFile(idColumn, id);
        if (!blocked.isEmpty())
            reportKept(blocked);
        else
            kept(artists ? database->removeArtist(id) : database->removeGenre(id),
                 Phrase("libraryView", artists ? QT_TR_NOOP("The artist \"%1\" could not be deleted")
                                               : QT_TR_NOOP("The genre \"%1\" could not be deleted"))
                     .arg(row.value(artists ? "NomeArtista" : "NomeGenere").toString()));
    }
    forgetDownloadsGone();
    emit playlistEdited(-1, -1, -1);
    showListing(artists);
}

// The row goes first so that a file is never lost while its song stays
// listed; a file that cannot go keeps its row.
bool libraryView::deleteLibrarySong(const QSqlRecord &row)
{
    const QString path = row.value(QStringLiteral("innerPath")).toString();
    qDebug().noquote() << path;
    if (!removable(path)) {
        qDebug() << "Not removable";
        reportKept(path);
        return false;
    }
    if (!kept(database->removeSongFromLibrary(row.value(QStringLiteral("IdSong")).toInt()),
              Phrase("libraryView", QT_TR_NOOP("\"%1\" could not be deleted from the library"))
                  .arg(row.value(QStringLiteral("Titolo")).toString())))
        return false;
    if (QFileInfo::exists(path) && !database->removeSongFiles(path)) {
        Prompter::warning(tr("Attention"), tr("\"%1\" could not be deleted.").arg(path));
        return false;
    }
    return true;
}

// Each selected row names the entry it shows, whatever its place.
void libraryView::removeFromPlaylist(const QModelIndexList &rows)
{
    qDebug() << "Removing songs from the playlist";
    QList<SongInfo> songs;
    QList<int> positions;
    for (const QModelIndex &index : rows) {
        const int at = storedPosition(songs, index.row());
        if (at >= 0 && !positions.contains(at))
            positions << at;
    }
    std::sort(positions.begin(), positions.end(), std::greater<int>());
    for (int position : positions)
        songs.removeAt(position);
    if (!positions.isEmpty()
        && kept(database->reorderSongIntoPlaylist(getPlaylistId(), songs),
                Phrase("libraryView", QT_TR_NOOP("The songs could not be removed from the playlist \"%1\""))
                    .arg(getPlaylistName())))
        emit playlistEdited(getPlaylistId(), -1, -1);
    runQuery(currentQuery, QSqlDatabase::database());
    buildTableSongs();
}

void libraryView::showSelectedSongInfo()
{
    const QModelIndexList selected = ui->songsListview->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return;
    const QSqlRecord row = songModel->record(selected.first().row());
    const auto text = [&row](const char *column) {
        return SongTexts::shown(row.value(QLatin1String(column)).toString());
    };
    QString message;
    if (!text("innerPath").isEmpty() && !isStoreRow(selected.first().row())) {
        message = tr("Title: %1\nArtist: %2\nLenght: %3\nBPM: %4\nKEY: %5\nFormat: %6")
                      .arg(text("Titolo"), text("NomeArtista"),
                           LibraryCells::lengthText(text("Durata")),
                           text("Bpm"), LibraryCells::keyText(text("Key"), chordLang), text("Formato"));
    } else if (row.value(QStringLiteral("IdGenere")).toInt() != 0) {
        message = tr("Genre: %1 \nSongs count: %2\n").arg(text("NomeGenere"), text("NumBrani"));
    } else if (row.value(QStringLiteral("IdArtista")).toInt() != 0) {
        message = tr("Artist: %1 \nSongs count: %2\n").arg(text("NomeArtista"), text("NumBrani"));
    }
    if (!message.isEmpty()) {
        Prompter::question(tr("Detailed Info"), message, QMessageBox::Ok);
        return;
    }
    QString product = text("ProductId");
    if (product.isEmpty())
        product = text("IdSong");
    postToStore(QStringLiteral("/service/song_info.php"),
                {{QStringLiteral("lang"), QStringLiteral("2")},
                 {QStringLiteral("id_product"), product},
                 {QStringLiteral("id_song"), database->getSongIdWithProductId(product)}},
                &libraryView::receivedSongInfo);
}
