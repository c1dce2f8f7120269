// The search field: it filters the library's songs, artists or genres on
// every keystroke (the text is bound, never pasted into the SQL), asks the
// store after a pause of typing when the store switch is on, and filters the
// drive index on the file-browser page. The page's one timer carries the
// pauses and the end of the "Added" mark.
#include "libraryview.h"
#include "ui_libraryview.h"

#include "DatabaseHelper.h"

#include <QHeaderView>
#include <QSqlDatabase>
#include <QSqlTableModel>
#include <QTimerEvent>

#include "melodromemanager.h"
#include "user.h"

namespace {

const int kStoreDelayMs = 600;
const int kDriveIndexDelayMs = 200;

// A LIKE pattern in single quotes that matches the text as it stands.
QString likeLiteral(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('%'), QLatin1String("\\%"))
        .replace(QLatin1Char('_'), QLatin1String("\\_"))
        .replace(QLatin1Char('\''), QLatin1String("''"));
    return text;
}

} // namespace

// The list shown now is no search's: the box says so, empty, and searches
// nothing for it.
void libraryView::forgetSearch()
{
    const QSignalBlocker quiet(ui->searchText);
    ui->searchText->clear();
}

void libraryView::searchOnReturn()
{
    scheduleSearch();
}

void libraryView::restartTimer(int ms)
{
    if (timerId)
        killTimer(timerId);
    timerId = startTimer(ms, Qt::CoarseTimer);
}

void libraryView::scheduleSearch()
{
    if (!ui->repertoireButton->isChecked()) {
        if (ui->browsePcButton->isChecked()) {
            pageState = 2;
            restartTimer(kDriveIndexDelayMs);
        }
        return;
    }
    const bool empty = searchString().isEmpty();
    // A store search under way, or its answer being listed, answers a text
    // no longer typed: its listing ends now, its reader at its next record.
    abortPending(SearchRequest);
    dropListing(SearchRequest);
    if (empty)
        clearStoreFailure(SearchRequest);
    if (ui->titleButton->isChecked())
        chooseTitleSearch(empty);
    else
        chooseListingSearch(empty);
    // With the store switch on, the query runs once the typing pauses.
    if (!storeSwitchOn || empty)
        runQuery(currentQuery, QSqlDatabase::database());
    ui->titleButton->isChecked() ? buildTableSongs()
    : ui->artistButton->isChecked() ? buildTableArtists()
                                    : buildTableGenres();
}

void libraryView::chooseTitleSearch(bool empty)
{
    if (!isAdding) {
        chooseAllSongs();
        // The table now shows library songs, whatever entry it showed:
        // a drag or the play road must not take them for playlist
        // entries, nor a download for news.
        if (headerStatus != AllSongs)
            updateHeaderBar(AllSongs);
    }
    if (empty) {
        if (timerId)
            killTimer(timerId);
        timerId = 0;
        currentQuery = database->sqlSongsByTitle;
        if (storeSwitchOn)
            database->truncateMDSearchTitles();
    } else if (!storeSwitchOn) {
        currentQuery = database->sqlTitleFilter;
    } else {
        currentQuery = database->sqlTitleFilterWithMD;
        restartTimer(kStoreDelayMs);
    }
}

void libraryView::chooseListingSearch(bool empty)
{
    const bool artists = ui->artistButton->isChecked();
    // Typed over an artist's or genre's songs, the search lists artists
    // (genres) again: the rows and the header say so.
    if (!empty && headerStatus == SongsOfListing) {
        showingSongs = false;
        updateHeaderBar(Listing);
    }
    if (empty) {
        backToListing();
        currentQuery = artists ? database->sqlArtists : database->sqlGenres;
        if (storeSwitchOn)
            database->truncateMDSearchGenArt();
    } else if (!storeSwitchOn) {
        currentQuery = artists ? database->sqlArtistFilter : database->sqlGenreFilter;
    } else {
        currentQuery = artists ? database->sqlArtistFilterWithMD : database->sqlGenreFilterWithMD;
        restartTimer(kStoreDelayMs);
    }
}

void libraryView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != timerId) {
        QWidget::timerEvent(event);
        return;
    }
    killTimer(timerId);
    timerId = 0;
    if (pageState == 2) {
        filterDriveIndex();
        return;
    }
    if (headerStatus == PlaylistSongs || headerStatus == DownloadedSongs ||
        (isAdding && (headerStatus == Listing || headerStatus == SongsOfListing)))
        restoreAddButton();
    const QString text = searchString();
    if (!text.isEmpty() && ui->repertoireButton->isChecked() && storeSwitchOn)
        sendStoreSearch(text);
}

void libraryView::sendStoreSearch(const QString &text)
{
    QList<QPair<QString, QString>> fields{{QStringLiteral("lang"), QStringLiteral("2")},
                                          {QStringLiteral("search"), text}};
    if (MelodromeManager *manager = storeManager) {
        if (manager->getUsrPtr() && manager->getUsrPtr()->getUser_id() != 0)
            fields.append({QStringLiteral("id_user"),
                           QString::number(manager->getUsrPtr()->getUser_id())});
    }
    ReplyHandler handler = nullptr;
    if (ui->titleButton->isChecked()) {
        database->truncateMDSearchTitles();
        handler = &libraryView::receivedSongListForQuery;
    } else {
        database->truncateMDSearchGenArt();
        handler = ui->artistButton->isChecked() ? &libraryView::receivedArtistListForQuery
                                                : &libraryView::receivedGenreListForQuery;
    }
    postToStore(QStringLiteral("/service/songlist.php"), fields, handler, text);
    // The local rows show at once, the store's join them on its reply; unless
    // the user has opened a store artist or genre meanwhile.
    if (currentQuery != storeSearchQuery())
        return;
    runQuery(currentQuery, QSqlDatabase::database());
    ui->titleButton->isChecked() ? buildTableSongs()
    : ui->artistButton->isChecked() ? buildTableArtists()
                                    : buildTableGenres();
}

QString libraryView::storeSearchQuery() const
{
    return ui->titleButton->isChecked()    ? database->sqlTitleFilterWithMD
           : ui->artistButton->isChecked() ? database->sqlArtistFilterWithMD
                                           : database->sqlGenreFilterWithMD;
}

void libraryView::filterDriveIndex()
{
    const QString text = searchString();
    if (text.isEmpty()) {
        pageState = 1;
        changeState();
        return;
    }
    // Short texts match the start of a name, longer ones anywhere in it.
    const QString head = text.size() < 3 ? QString() : QStringLiteral("%");
    indexModel->setFilter(QStringLiteral("file LIKE '") + head + likeLiteral(text) +
                          QStringLiteral("%' ESCAPE '\\'"));
    ui->labelSearch->show();
    sayDriveSearch();
    // The type as wide as it needs, name and path sharing the rest.
    QHeaderView *columns = ui->searchLV->horizontalHeader();
    columns->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    columns->setSectionResizeMode(1, QHeaderView::Stretch);
    columns->setSectionResizeMode(2, QHeaderView::Stretch);
    ui->searchLV->resizeRowsToContents();
    ui->filesLV->hide();
    ui->searchLV->show();
    ui->path->hide();
    ui->upButton->hide();
}

QString libraryView::driveSearchSaying() const
{
    const QString text = searchString();
    if (indexedDrive.isEmpty())
        return tr("No drive is indexed yet: choose a drive in the list to search its songs.");
    if (indexModel->rowCount() == 0)
        return indexing ? tr("No song matches \"%1\" yet: %2 is still being indexed.").arg(text, indexedDrive)
                        : tr("No song on %1 matches \"%2\".").arg(indexedDrive, text);
    return tr("Search results for:") + QLatin1Char(' ') + text;
}

void libraryView::sayDriveSearch()
{
    if (!ui->labelSearch->isHidden())
        ui->labelSearch->setText(driveSearchSaying());
}

void libraryView::backToListing()
{
    showingSongs = false;
    const bool empty = searchString().isEmpty();
    if (ui->artistButton->isChecked()) {
        buildTableArtists();
        currentQuery = empty ? database->sqlArtists : database->sqlArtistFilterWithMD;
    } else if (ui->genreButton->isChecked()) {
        buildTableGenres();
        currentQuery = empty ? database->sqlGenres : database->sqlGenreFilterWithMD;
    }
    runQuery(currentQuery, QSqlDatabase::database());
    updateHeaderBar(Listing);
}

void libraryView::endSearching()
{
    ui->labelSearch->hide();
    ui->searchLV->hide();
    ui->filesLV->show();
    ui->path->show();
    ui->upButton->show();
}
