// A double click on the song table: an artist or genre opens its songs, a
// library song plays (or joins the playlist being filled), a store song
// downloads into the library.
#include "libraryview.h"
#include "ui_libraryview.h"

#include "DatabaseHelper.h"
#include "prompter.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QSqlDatabase>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QSqlTableModel>

#include "melodromemanager.h"

namespace {

const char kSongList[] = "/service/songlist.php";

QVariant field(const QSqlRecord &record, const char *name)
{
    return record.value(QLatin1String(name));
}

} // namespace

void libraryView::activateSong(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    // The row pressed says what it is: an artist's or genre's row (a
    // listing's, of the library or the store) opens its songs, whatever
    // state the page went through before.
    const QSqlRecord record = songModel->record(index.row());
    const bool listed = !record.isEmpty() && record.indexOf(QStringLiteral("Titolo")) < 0;
    const bool artist = record.indexOf(QStringLiteral("IdArtista")) >= 0;
    if (listed && (artist || record.indexOf(QStringLiteral("IdGenere")) >= 0)) {
        openListingRow(index.row(), artist);
        updateHeaderBar(SongsOfListing);
        showingSongs = true;
        return;
    }
    if (listed)
        return;
    activateSongRow(index.row());
}

void libraryView::openListingRow(int row, bool artists)
{
    const QSqlRecord record = songModel->record(row);
    const int id = field(record, artists ? "IdArtista" : "IdGenere").toInt();
    const QString name = field(record, artists ? "NomeArtista" : "NomeGenere").toString();
    if (currentQuery.contains(QLatin1String("UNION"), Qt::CaseInsensitive) && isStoreRow(row)) {
        qDebug().noquote() << (artists ? "Artist from MD " : "Genre from MD ") + name;
        currentQuery = database->sqlMDSearchTitle;
        postToStore(QLatin1String(kSongList),
                    {{QStringLiteral("lang"), QStringLiteral("2")},
                     {artists ? QStringLiteral("interpreter") : QStringLiteral("genre"), name}},
                    &libraryView::receivedSongListForGenArtQuery, searchString());
        return;
    }
    currentQuery = QString(artists ? database->sqlSongsOfArtist : database->sqlSongsOfGenre)
                       .replace(QLatin1String(":f"), QString::number(id));
    runQuery(currentQuery, QSqlDatabase::database());
    buildTableSongs();
}

void libraryView::activateSongRow(int row)
{
    // A store row's id is the store's: looking it up as a library id would
    // play, date or add an unrelated library song. A store song the library
    // has is the library's to play, not to download again.
    SongInfo song;
    if (isStoreRow(row)) {
        song = librarySongOfStoreRow(row);
        if (song.innerPath.isEmpty()) {
            downloadStoreRow(row);
            return;
        }
    } else {
        song = songOfRow(row);
    }
    const QFileInfo file(song.innerPath);
    if (song.innerPath.isEmpty() || !file.exists() || !file.isFile()) {
        Prompter::question(tr("Cannot play file"), tr("Cannot play:\nThis file seems deleted"),
                           QMessageBox::Ok);
        return;
    }
    if (!isAdding) {
        emit startSongInfo(song, -1);
        return;
    }
    qDebug() << "Adding to the playlist";
    if (currentPlaylistIndex < 0 || currentPlaylistIndex >= playlists.size())
        return;
    if (!addToPlaylist(song))
        return;
    Playlist &playlist = playlists[currentPlaylistIndex];
    playlist.setNumsongs(playlist.getNumsongs() + 1);
    emit playlistEdited(playlist.getId(), -1, -1);
    showAddedMark();
}

void libraryView::showAddedMark()
{
    QPushButton *add = ui->AddToPlayListButton;
    add->setText(tr("Added"));
    add->setStyleSheet(QStringLiteral("color: rgb(0, 200, 0);"));
    add->setIcon(QIcon(QStringLiteral(":/icon2x/okaction.png")));
    restartTimer(800);
}

s_MdResInfo libraryView::storeRecordOfRow(int row) const
{
    const QSqlRecord record = songModel->record(row);
    s_MdResInfo info;
    info.productId = field(record, "ProductId").toInt();
    if (info.productId == 0)
        info.productId = field(record, "IdSong").toInt();
    info.format = field(record, "Formato").toString();
    info.artist = field(record, record.indexOf(QStringLiteral("Artista")) >= 0 ? "Artista"
                                                                               : "NomeArtista")
                      .toString();
    info.title = field(record, "Titolo").toString();
    return info;
}

// The library's row of the store song at `row`: the file its download made,
// registered as downloaded; an empty record when the library has none.
SongInfo libraryView::librarySongOfStoreRow(int row) const
{
    const s_MdResInfo info = storeRecordOfRow(row);
    const QString named =
        QDir::cleanPath(database->getLibraryFolder() + QLatin1Char('/') + MelodromeManager::songFileName(info));
    return database->librarySongOfProduct(info.productId, named);
}

void libraryView::downloadStoreRow(int row)
{
    MelodromeManager *manager = storeManager;
    // One download at a time: a second double click while one runs would
    // otherwise mark its row failed without having tried it.
    if (!manager || manager->isDownloading())
        return;
    const s_MdResInfo info = storeRecordOfRow(row);
    // No store song: nothing to ask the store for.
    if (info.productId <= 0)
        return;
    // The cache the row was read from.
    const SongProvenience provenience = currentQuery == database->sqlMDSearchTitle ? ProvenienceStoreList
                                        : headerStatus == StoreNews               ? ProvenienceNews
                                                                                  : ProvenienceTitleSearch;
    database->updateDownloadStatus(info.productId, StoreDownloading);
    refreshSongView();
    // Told when the download ends, which may come long before the call
    // returns (a wait started inside it holds the return).
    bool told = false;
    const QMetaObject::Connection tell = connect(
        manager, &MelodromeManager::downloadEnded, this,
        [this, info, &told](int, bool done) {
            told = true;
            storeRowDownloaded(info, done);
        },
        Qt::SingleShotConnection);
    QPointer<libraryView> self(this);
    const bool done = manager->downloadSubscriptSong(info, nullptr, provenience);
    if (!self)
        return;
    disconnect(tell);
    if (!told)
        storeRowDownloaded(info, done);
}

void libraryView::storeRowDownloaded(const s_MdResInfo &info, bool done)
{
    if (!done) {
        database->updateDownloadStatus(info.productId, StoreDownloadFailed);
        refreshSongView();
    }
    // The row's mark says that it failed; the page says why and what to do.
    // The connection is named only when it is at fault: a song the store
    // names by a local file is no matter of the connection.
    MelodromeManager *manager = storeManager;
    const Phrase failure = manager ? manager->lastFailure() : Phrase();
    if (failure.isEmpty())
        clearStoreFailure(DownloadRequest);
    else
        showStoreFailure(DownloadRequest,
                         (manager->lastFailureFromConnection()
                              ? Phrase("libraryView", QT_TR_NOOP("\"%1\" could not be downloaded: %2. Check the "
                                                                 "internet connection and double-click the song "
                                                                 "to try again."))
                              : Phrase("libraryView", QT_TR_NOOP("\"%1\" could not be downloaded: %2.")))
                             .arg(info.title)
                             .arg(failure));
}

void libraryView::requestSelectedMDSong()
{
    const QModelIndex index = ui->songsListview->currentIndex();
    if (!index.isValid() || !songModel)
        return;
    if (storeManager)
        connect(storeManager, &MelodromeManager::songCanBePlayed, this, &libraryView::playDownloadedSong,
                Qt::UniqueConnection);
    activateSong(index);
    // The download ends inside the double click; a row that downloaded
    // nothing must not leave a later download playing by itself.
    if (storeManager)
        disconnect(storeManager, &MelodromeManager::songCanBePlayed, this, &libraryView::playDownloadedSong);
}

void libraryView::playDownloadedSong(SongInfo song)
{
    if (storeManager)
        disconnect(storeManager, &MelodromeManager::songCanBePlayed, this, &libraryView::playDownloadedSong);
    if (!song.innerPath.isEmpty())
        emit startSongPath(song.innerPath, -1);
}

QString libraryView::getSelectedPath()
{
    QWidget *const shown[] = {ui->songsListview, ui->filesLV, ui->searchLV};
    return focusedPath(shown[qBound(0, pageState, 2)]);
}

int libraryView::chosenRow() const
{
    const QAbstractItemView *const shown[] = {ui->songsListview, ui->filesLV, ui->searchLV};
    return shown[qBound(0, pageState, 2)]->currentIndex().row();
}
