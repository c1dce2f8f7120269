#include "libraryview.h"
#include "ui_libraryview.h"

#include "DatabaseHelper.h"
#include "LibrarySql.h"
#include "tabbablegroup.h"
#include "appsettings.h"
#include "indexDriveThread.h"
#include "librarytabledelegate.h"
#include "listitem.h"
#include "melodromemanager.h"
#include "myiconprovider.h"
#include "popupform.h"

#include <QDir>
#include <algorithm>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QListWidgetItem>
#include <QMovie>
#include <QSettings>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QStandardItemModel>
#include <QTimer>

#include "popupplacement.h"
#include "prompter.h"

namespace {

const char kNoVerticalHeader[] = "QHeaderView::section:vertical {width: 0px;}";
// The handle alone: the table's own style would print the row number over it.
const char kDragHeader[] = "QHeaderView::section:vertical {width: 20px; border-image: "
                           "url(:/icon2x/drag-icon.png); color: transparent;}";

// A reset model keeps the header's sections when their count stays the
// same, and with them the order a drag gave them: rows read again in their
// stored order would be shown moved once more. Each reload is shown as read.
void showRowsAsRead(QTableView *table)
{
    QHeaderView *rows = table->verticalHeader();
    if (!rows->sectionsMoved())
        return;
    {
        // Putting the sections back is no move of the user's.
        const QSignalBlocker quiet(rows);
        for (int row = 0; row < rows->count(); ++row) {
            const int at = rows->visualIndex(row);
            if (at != row)
                rows->moveSection(at, row);
        }
    }
    table->viewport()->update();
}

} // namespace

libraryView::libraryView(DatabaseHelper *db, QWidget *parent, MelodromeManager *storeManager)
    : QWidget(parent), ui(new Ui::libraryView), database(db), storeManager(storeManager)
{
    ui->setupUi(this);
    connectControls();
    // Repertoire or files, and the search's filter: each choice in the Tab order.
    TabbableGroup::keepEveryButton(ui->repertoireOrPc);
    TabbableGroup::keepEveryButton(ui->songFilter);
    makeLibraryMessage();
    makeImportNote();
    playlists = database->selectPlaylists();
    currentPlaylistIndex = 0;

    buildTablePlaylists();
    ui->playlistListWidget->setCurrentRow(0);
    ui->stackedWidget->setCurrentIndex(0);
    ui->path->hide();
    updateHeaderBar(AllSongs);

    indexThread = new indexDriveThread(this, database);
    connect(indexThread, &indexDriveThread::indexingDone, this, &libraryView::hideIndexingAnim);
    // The index grows 50 files at a time, thousands a second on a fast
    // disk: its count and the search's matches follow it a few times a
    // second, not at each step.
    indexGrowth.setSingleShot(true);
    indexGrowth.setInterval(250);
    connect(&indexGrowth, &QTimer::timeout, this, &libraryView::followIndex);
    connect(indexThread, &indexDriveThread::fileAdded, &indexGrowth, [this] {
        if (!indexGrowth.isActive())
            indexGrowth.start();
    });
    ui->searchLV->hide();

    setUpSongTable();
    auto *movie = new QMovie(QStringLiteral(":/icon2x/loader.gif"), QByteArray(), this);
    ui->loadingGifLabel->setMovie(movie);
    movie->start();
    ui->loadingGifLabel->hide();
    ui->labelSearch->hide();
    ui->loadingLabel->hide();
    ui->storeMessage->hide();
    setUpBrowsePc();

    connect(ui->playlistListWidget, &QListWidget::itemSelectionChanged, this, &libraryView::markSelectedRow);
    if (storeManager)
        connect(storeManager, &MelodromeManager::downloadDone, this, &libraryView::refreshSongView);

    hintPopup = new PopupForm(this);
}

void libraryView::connectControls()
{
    connect(ui->playlistListWidget, &QListWidget::clicked, this, &libraryView::openPlaylistRow);
    connect(ui->titleButton, &QPushButton::clicked, this, &libraryView::showTitles);
    connect(ui->artistButton, &QPushButton::clicked, this, &libraryView::showArtists);
    connect(ui->genreButton, &QPushButton::clicked, this, &libraryView::showGenres);
    connect(ui->repertoireButton, &QPushButton::clicked, this, &libraryView::showRepertoire);
    connect(ui->browsePcButton, &QPushButton::clicked, this, &libraryView::showBrowsePc);
    connect(ui->drivesLV, &QListView::clicked, this, &libraryView::openDrive);
    connect(ui->filesLV, &QListView::doubleClicked, this, &libraryView::openFileEntry);
    connect(ui->upButton, &QPushButton::clicked, this, &libraryView::folderUp);
    connect(ui->filesLV, &QListView::customContextMenuRequested, this, &libraryView::showFilesMenu);
    connect(ui->searchLV, &QTableView::doubleClicked, this, &libraryView::playFoundFile);
    connect(ui->deleteButton, &QPushButton::clicked, this, &libraryView::deleteSelected);
    connect(ui->infoButton, &QPushButton::clicked, this, &libraryView::showSelectedSongInfo);
    connect(ui->MDSwitch, &QPushButton::clicked, this, &libraryView::switchStore);
    connect(ui->showHideLeftFrame, &QPushButton::clicked, this, &libraryView::toggleLeftFrame);
    connect(ui->showHideLeftFrame_2, &QPushButton::clicked, this, &libraryView::toggleLeftFrame);
    connect(ui->autoPlayButton, &QPushButton::clicked, this, &libraryView::setAutoplay);
    connect(ui->importButton, &QPushButton::clicked, this, &libraryView::importChosen);
    connect(ui->songsListview, &QTableView::doubleClicked, this, &libraryView::activateSong);
    connect(ui->AddToPlayListButton, &QPushButton::clicked, this, &libraryView::toggleAddingMode);
    connect(ui->newPlaylistButton, &QPushButton::clicked, this, &libraryView::createPlaylist);
    connect(ui->searchText, &QLineEdit::textChanged, this, &libraryView::scheduleSearch);
    connect(ui->searchText, &QLineEdit::returnPressed, this, &libraryView::searchOnReturn);
    connect(ui->backButton, &QPushButton::clicked, this, &libraryView::backToListing);
}

void libraryView::setUpSongTable()
{
    songModel = new QSqlQueryModel(this);
    currentQuery = database->sqlSongsByTitle;
    runQuery(currentQuery, QSqlDatabase::database());

    tableDelegate = new libraryTableDelegate(this);
    ui->songsListview->setItemDelegate(tableDelegate);
    ui->songsListview->setModel(songModel);
    QHeaderView *rows = ui->songsListview->verticalHeader();
    rows->setSectionsMovable(false);
    rows->setDragEnabled(true);
    rows->setDragDropMode(QAbstractItemView::InternalMove);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    connect(rows, &QHeaderView::sectionMoved, this, &libraryView::onRowsMoved);
    ui->songsListview->installEventFilter(this);
    buildTableSongs();
    QFont tableFont(QStringLiteral("Verdana"), 12);
    tableFont.setWeight(QFont::Normal);
    ui->songsListview->setFont(tableFont);
}

// The drives, the folder browser and the drive index's search table.
void libraryView::setUpBrowsePc()
{
    iconProvider = new myIconProvider;
    drivesModel = new QStandardItemModel(this);
    ui->drivesLV->setModel(drivesModel);
    ui->drivesLV->setIconSize(QSize(30, 30));
    QFont drivesFont(QStringLiteral("Verdana"), 12);
    drivesFont.setBold(true);
    ui->drivesLV->setFont(drivesFont);
    ui->drivesLV->setUniformItemSizes(true);
    setDrivesRoot(qEnvironmentVariable("VELMAR_DRIVES_ROOT"));

    folderModel = new QFileSystemModel(this);
    folderModel->setIconProvider(iconProvider);
    folderModel->setFilter(QDir::Files | QDir::AllDirs | QDir::NoDotAndDotDot);
    folderModel->setNameFilters({QStringLiteral("*.MID"), QStringLiteral("*.MP3"),
                                 QStringLiteral("*.KAR"), QStringLiteral("*.MF3"),
                                 QStringLiteral("*.MF4"), QStringLiteral("*.MF5")});
    folderModel->setNameFilterDisables(false);
    ui->filesLV->setModel(folderModel);
    ui->filesLV->setRootIndex(folderModel->setRootPath(desktopFolder()));
    ui->filesLV->setIconSize(QSize(30, 30));
    QFont filesFont(QStringLiteral("Verdana"), 12);
    filesFont.setWeight(QFont::Medium);
    ui->filesLV->setFont(filesFont);
    ui->path->setText(folderModel->rootPath());
    ui->filesLV->addAction(ui->actionRemove);
    ui->filesLV->installEventFilter(this);

    indexModel = new QSqlTableModel(this, database->driveIdxDb);
    indexModel->setTable(QStringLiteral("indexes"));
    indexModel->select();
    nameIndexColumns();
    ui->searchLV->setModel(indexModel);
    ui->searchLV->setItemDelegate(new searchTableDelegate(this));
    ui->searchLV->setFont(QFont(QStringLiteral("Verdana")));
    ui->searchLV->installEventFilter(this);
}

libraryView::~libraryView()
{
    // The indexing thread joins in its destructor, before the models go.
    delete indexThread;
    delete ui;
    // Both file models use the provider until they are destroyed.
    delete drivesModel;
    delete folderModel;
    delete iconProvider;
}

int libraryView::playlistRow(int index) const
{
    return index < 4 ? index : index + 1;
}

void libraryView::buildTablePlaylists()
{
    QListWidget *list = ui->playlistListWidget;
    list->clear();
    for (int i = 0; i < playlists.size(); ++i) {
        auto *item = new QListWidgetItem;
        list->addItem(item);
        auto *row = new listItem(this, item, i, listItem::PlaylistType, 18);
        connect(row, &listItem::deleteItem, this, &libraryView::onItemListDeleted);
        connect(row, &listItem::addItem, this, &libraryView::onSongAddToPlaylist);
        connect(row, &listItem::renamePlaylist, this, &libraryView::renamePlaylist);
        const Playlist &playlist = playlists.at(i);
        if (playlist.getId() == 4) {
            row->setLeftIcon(hasUnseenNews ? listItem::IconNewsUnseen : listItem::IconNews);
        } else {
            row->setPlaylist(playlist);
            if (playlist.getId() >= 5)
                row->showRightIcons();
        }
        // As wide as the list shows, also once its scroll bar takes a part.
        const QSize rowSize(1, row->sizeHint().height());
        item->setSizeHint(rowSize);
        list->setItemWidget(item, row);
        if (playlist.getId() == 4) {
            auto *caption = new QListWidgetItem;
            caption->setFlags(Qt::NoItemFlags);
            list->addItem(caption);
            auto *label = new QLabel(tr("Playlists"));
            label->setStyleSheet(QStringLiteral(
                "margin-top:19px; font:bold 14px; background-color: rgb(66,66,66); "
                "color: white; padding-left: 4px;"));
            caption->setSizeHint(rowSize);
            list->setItemWidget(caption, label);
        }
    }
    list->setCurrentRow(playlistRow(currentPlaylistIndex));
    markSelectedRow();
}

void libraryView::markSelectedRow()
{
    QListWidget *list = ui->playlistListWidget;
    for (int r = 0; r < list->count(); ++r) {
        if (auto *row = qobject_cast<listItem *>(list->itemWidget(list->item(r))))
            row->setHighlighted(list->item(r)->isSelected());
    }
}

void libraryView::refreshPlaylistsView()
{
    bool ok = false;
    QList<Playlist> read = database->selectPlaylists(&ok);
    // A side list the file would not give keeps its entries.
    if (!readable(ok))
        return;
    playlists = std::move(read);
    buildTablePlaylists();
}

void libraryView::runQuery(const QString &sql, const QSqlDatabase &db)
{
    const QString text = searchString();
    const bool titleSearch = sql == database->sqlTitleFilter;
    // The library's lists come from a copy while the file gives nothing.
    const QSqlDatabase from =
        db.connectionName() == database->libraryDb.connectionName() ? database->readDb() : db;
    QSqlQuery q(from);
    q.prepare(titleSearch ? titleNarrowing.statementFor(sql, text, from) : sql);
    if (sql.contains(QLatin1String(":f")))
        q.bindValue(QStringLiteral(":f"), text);
    const bool sameList = sql == shownSql && (!sql.contains(QLatin1String(":f")) || text == shownText);
    if (!readable(q.exec() || LibrarySql::failed(q), sameList)) {
        // The rows shown stay where they are that list (a drag the file did
        // not keep is undone); another list's rows must not stand under this
        // one's name, nor be pressed as its rows.
        if (!sameList) {
            songModel->clear();
            shownSql.clear();
        }
        showRowsAsRead(ui->songsListview);
        return;
    }
    songModel->setQuery(std::move(q));
    shownSql = sql;
    shownText = text;
    showRowsAsRead(ui->songsListview);
    if (titleSearch)
        titleNarrowing.remember(sql, text, *songModel, from);
    else
        titleNarrowing.forget();
}

QString libraryView::searchString() const
{
    return ui->searchText->text();
}

void libraryView::showQuery(const QString &sql, enum headerStatus state)
{
    currentQuery = sql;
    runQuery(sql, QSqlDatabase::database());
    updateHeaderBar(state);
    buildTableSongs();
}

void libraryView::showRecentAgain()
{
    if (headerStatus != RecentSongs || isAdding)
        return;
    const QString chosen = getSelectedPath();
    runQuery(currentQuery, QSqlDatabase::database());
    buildTableSongs();
    if (chosen.isEmpty())
        return;
    const QModelIndexList found = songModel->match(songModel->index(0, 8), Qt::DisplayRole, chosen, 1,
                                                   Qt::MatchExactly);
    if (!found.isEmpty())
        ui->songsListview->selectionModel()->setCurrentIndex(
            songModel->index(found.first().row(), 2), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void libraryView::openPlaylistRow(const QModelIndex &index)
{
    int r = index.row();
    if (isAdding) {
        if (!askYes(tr("Do you want to exit \"edit playlist\" mode?"))) {
            ui->playlistListWidget->setCurrentRow(playlistRow(currentPlaylistIndex));
            return;
        }
        leaveAddingMode();
    }
    // The caption row selects nothing: the index keeps the entry shown.
    if (r < 4)
        currentPlaylistIndex = r;
    showingSongs = false;
    // The entry shows its own rows; the search must not pick another.
    forgetSearch();
    sayImported({});

    // Whatever the entry shown before (the news have a caption of their
    // own), the listing and the songs below come under "Songs".
    ui->labelSongs->setText(tr("Songs"));
    if (ui->artistButton->isChecked() || ui->genreButton->isChecked()) {
        const bool artists = ui->artistButton->isChecked();
        if (r == 0) {
            showListing(artists);
            return;
        }
        ui->titleButton->setChecked(true);
    }
    ui->songsListview->setModel(songModel);
    if (ui->titleButton->isChecked())
        showEntry(r);
}

void libraryView::showEntry(int r)
{
    switch (r) {
    case 0:
        showQuery(database->sqlSongsByTitle, AllSongs);
        break;
    case 1:
        showQuery(QString(database->sqlRecentSongs).replace(QLatin1String(":x"), QLatin1String("10")),
                  RecentSongs);
        break;
    case 2:
        showQuery(database->sqlDownloadedSongs, DownloadedSongs);
        break;
    case 3:
        ui->labelSongs->setText(tr("News of the week"));
        hasUnseenNews = false;
        refreshPlaylistsView();
        showQuery(database->sqlMDNews, StoreNews);
        break;
    case 4:
        buildTableSongs();
        break;
    default:
        currentPlaylistIndex = r - 1;
        if (r - 1 < playlists.size()) {
            const Playlist &playlist = playlists.at(r - 1);
            showQuery(QString(database->sqlPlaylistSongs)
                          .replace(QLatin1String(":idPlay"), QString::number(playlist.getId())),
                      PlaylistSongs);
            if (songModel->rowCount() == 0)
                showHint(tr("Press \"Add Songs\" to select songs from your repertory and make the playlist"));
        }
    }
}

void libraryView::showTitles()
{
    if (ui->playlistListWidget->currentRow() != 0 && !isAdding)
        return;
    showingSongs = true;
    ui->searchText->clear();
    currentQuery = database->sqlSongsByTitle;
    runQuery(currentQuery, QSqlDatabase::database());
    buildTableSongs();
    updateHeaderBar(isAdding ? PlaylistSongs : AllSongs);
}

void libraryView::showArtists()
{
    showListing(true);
}

void libraryView::showGenres()
{
    showListing(false);
}

void libraryView::showListing(bool artists)
{
    // The filter button pressed on another entry (the news, a playlist)
    // would otherwise stay lit over that entry's songs.
    if (ui->playlistListWidget->currentRow() != 0 && !isAdding)
        chooseAllSongs();
    showingSongs = false;
    ui->searchText->clear();
    currentQuery = artists ? database->sqlArtists : database->sqlGenres;
    runQuery(currentQuery, QSqlDatabase::database());
    artists ? buildTableArtists() : buildTableGenres();
    updateHeaderBar(Listing);
}

void libraryView::chooseAllSongs()
{
    {
        const QSignalBlocker quiet(ui->playlistListWidget);
        ui->playlistListWidget->setCurrentRow(0);
    }
    markSelectedRow();
    currentPlaylistIndex = 0;
    ui->labelSongs->setText(tr("Songs"));
}

void libraryView::updateHeaderBar(enum headerStatus state)
{
    headerStatus = state;
    for (QPushButton *button : ui->PlayListHead->findChildren<QPushButton *>()) {
        button->hide();
        button->setEnabled(false);
    }
    ui->autoPlayButton->setChecked(
        programSettings().value(QStringLiteral("System/Autoplay"), 1).toInt() != 0);
    QTableView *table = ui->songsListview;
    table->setStyleSheet(QString());
    table->verticalHeader()->setSectionsMovable(false);
    table->verticalHeader()->setStyleSheet(QLatin1String(kNoVerticalHeader));
    table->setColumnHidden(9, false);

    QList<QPushButton *> shown{ui->deleteButton, ui->infoButton};
    bool enabled = true;
    switch (state) {
    case RecentSongs:
        shown << ui->AddToPlayListButton << ui->autoPlayButton;
        enabled = false;
        break;
    case DownloadedSongs:
        // Auto Play plays a playlist on: one song of another list ends alone.
        shown << ui->AddToPlayListButton;
        break;
    case PlaylistSongs:
        shown << ui->autoPlayButton << ui->AddToPlayListButton;
        table->verticalHeader()->setSectionsMovable(true);
        table->verticalHeader()->setStyleSheet(QLatin1String(kDragHeader));
        break;
    case Listing:
        if (isAdding)
            shown << ui->AddToPlayListButton;
        break;
    case SongsOfListing:
        shown << ui->backButton;
        if (isAdding)
            shown << ui->AddToPlayListButton;
        break;
    case StoreNews:
        shown = {ui->infoButton};
        table->setColumnHidden(9, true);
        break;
    default:
        break;
    }
    for (QPushButton *button : shown) {
        button->show();
        button->setEnabled(enabled);
    }
    sayNewsFailure();
}

void libraryView::buildTableSongs()
{
    QTableView *table = ui->songsListview;
    table->setColumnHidden(0, true);
    table->setColumnHidden(8, true);
    static const char *const titles[] = {"", "", QT_TR_NOOP("Title"), QT_TR_NOOP("Artist"),
                                         QT_TR_NOOP("Duration"), QT_TR_NOOP("Type"),
                                         QT_TR_NOOP("BPM"), QT_TR_NOOP("Key")};
    songModel->setHeaderData(1, Qt::Horizontal, QString());
    for (int c = 2; c < 8; ++c)
        songModel->setHeaderData(c, Qt::Horizontal, tr(titles[c]));
    QHeaderView *columns = table->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Fixed);
    table->setColumnWidth(1, 30);
    table->setColumnWidth(4, 60);
    table->setColumnWidth(5, 60);
    table->setColumnWidth(6, 40);
    table->setColumnWidth(7, 55);
    // Title and artist share what the other columns leave, however wide the
    // table and whether its grips and scroll bar show: the header lays them
    // out again whenever one of these changes, so no column is cut and no bar
    // scrolls sideways while they can still shrink.
    columns->setSectionResizeMode(2, QHeaderView::Stretch);
    columns->setSectionResizeMode(3, QHeaderView::Stretch);
    // Filled anew, the table has lost the row lit.
    lightPlayingEntry();
}

void libraryView::buildTableListing(const QString &title)
{
    QTableView *table = ui->songsListview;
    table->setColumnHidden(0, true);
    songModel->setHeaderData(1, Qt::Horizontal, title);
    QHeaderView *columns = table->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    table->setColumnWidth(2, 100);
    columns->setSectionResizeMode(1, QHeaderView::Stretch);
}

void libraryView::buildTableArtists()
{
    buildTableListing(tr("Artist"));
}

void libraryView::buildTableGenres()
{
    buildTableListing(tr("Genres"));
}

void libraryView::buildCurrentTable()
{
    if (pageState != 0 || headerStatus != Listing)
        buildTableSongs();
    else if (ui->artistButton->isChecked())
        buildTableArtists();
    else
        buildTableGenres();
}

void libraryView::nameIndexColumns()
{
    indexModel->setHeaderData(0, Qt::Horizontal, tr("Type"));
    indexModel->setHeaderData(1, Qt::Horizontal, tr("Name"));
    indexModel->setHeaderData(2, Qt::Horizontal, tr("Path"));
}

// The song table is left alone, or a scan would reset its selection.
void libraryView::followIndex()
{
    indexGrowth.stop();
    QSqlQuery count(QStringLiteral("SELECT count(*) FROM indexes"), database->driveIdxDb);
    indexedSongs = count.next() ? count.value(0).toInt() : 0;
    updateLoading();
    if (!ui->searchText->text().trimmed().isEmpty()) {
        indexModel->select();
        sayDriveSearch();
    }
}

void libraryView::refreshSongView()
{
    if (pageState != 0)
        return;
    if (headerStatus == AllSongs || headerStatus == StoreNews || headerStatus == DownloadedSongs) {
        runQuery(currentQuery, QSqlDatabase::database());
    } else if (headerStatus == SongsOfListing) {
        // Only a store artist's or genre's songs live in memory.
        runQuery(currentQuery, currentQuery == database->sqlMDSearchTitle
                                   ? database->mdDb
                                   : QSqlDatabase::database());
    } else {
        return;
    }
    buildTableSongs();
}

void libraryView::showRepertoire()
{
    pageState = 0;
    changeState();
    const QModelIndexList selected = ui->playlistListWidget->selectionModel()->selectedIndexes();
    if (!selected.isEmpty())
        openPlaylistRow(selected.first());
}

void libraryView::showBrowsePc()
{
    pageState = 1;
    changeState();
    showCurrentDrive();
}

void libraryView::leaveAddingMode()
{
    isAdding = false;
    ui->AddToPlayListButton->setStyleSheet(QString());
    ui->AddToPlayListButton->setIcon(QIcon(QStringLiteral(":/icon2x/add_playlist.png")));
    ui->AddToPlayListButton->setText(tr("Add Song"));
}

void libraryView::changeState()
{
    ui->searchText->clear();
    if (pageState == 1) {
        leaveAddingMode();
        ui->labelSongs->setText(tr("Files"));
        ui->labelSongs->hide();
        ui->newPlaylistButton->hide();
        ui->filterFrame->hide();
        ui->path->show();
        ui->upButton->show();
        ui->upButton->setEnabled(true);
        for (QWidget *w : {ui->autoPlayButton, ui->AddToPlayListButton, ui->deleteButton,
                           ui->infoButton})
            w->hide();
        ui->stackedWidget->setCurrentIndex(1);
        ui->labelSearch->hide();
        ui->filesLV->show();
        ui->searchLV->hide();
        ui->MDSwitch->hide();
    } else if (pageState == 0) {
        ui->labelSongs->setText(tr("Songs"));
        ui->labelSongs->show();
        ui->path->hide();
        ui->upButton->hide();
        ui->newPlaylistButton->show();
        ui->filterFrame->show();
        ui->deleteButton->show();
        ui->infoButton->show();
        ui->stackedWidget->setCurrentIndex(0);
        ui->labelSearch->hide();
        ui->MDSwitch->show();
    }
}

void libraryView::showHint(const QString &text)
{
    // The text first: it sets the bubble's height, which the placement needs.
    hintPopup->setText(text);
    QPushButton *add = ui->AddToPlayListButton;
    const QPoint at(ui->PlayListHead->x() + add->x() - (hintPopup->width() - add->width()) / 2,
                    add->y() + add->height());
    const QRect under(mapToGlobal(at), hintPopup->size());
    hintPopup->setGeometry(PopupPlacement::keepInside(under, PopupPlacement::availableAt(under.topLeft())));
    hintPopup->show();
}

int libraryView::getPlaylistStartIndex() const
{
    const bool songsShown = ui->songsListview->isVisible() &&
                            (ui->titleButton->isChecked() || showingSongs);
    // Rows of a search started from the playlist are no entries of it.
    if (!songsShown || !showsCurrentPlaylist())
        return -1;
    // The entry the row shows, wherever the playlist now keeps it.
    QList<SongInfo> stored;
    return storedPosition(stored, ui->songsListview->currentIndex().row());
}

int libraryView::getPlaylistId() const
{
    if (currentPlaylistIndex < 0 || currentPlaylistIndex >= playlists.size())
        return -1;
    return playlists.at(currentPlaylistIndex).getId();
}

QString libraryView::getPlaylistName() const
{
    if (currentPlaylistIndex < 0 || currentPlaylistIndex >= playlists.size())
        return QString();
    return playlists.at(currentPlaylistIndex).getName();
}

void libraryView::setChordLang(int lang)
{
    tableDelegate->setChordLang(lang);
    chordLang = lang;
    ui->songsListview->viewport()->update();
}

bool libraryView::storeSongChosen() const
{
    const QAbstractItemView *songs = ui->songsListview;
    return songs->isVisible() && songs->currentIndex().isValid() && isStoreRow(songs->currentIndex().row());
}

bool libraryView::isSongList(const QWidget *widget) const
{
    return widget == ui->songsListview;
}

bool libraryView::isStoreRow(int row) const
{
    const QSqlRecord record = songModel->record(row);
    if (record.isEmpty())
        return false;
    if (record.indexOf(QStringLiteral("isFromSub")) >= 0) {
        const QVariant id = record.value(0);
        return record.value(QStringLiteral("isFromSub")).toInt() >= 2 || id.isNull() ||
               id.toInt() <= 0;
    }
    // A listing row whose id names another library artist or genre (or
    // none) came from the store's half of the union.
    const int id = record.value(0).toInt();
    const QString name = record.value(1).toString();
    auto *db = database;
    const QString local = ui->artistButton->isChecked() ? db->selectArtistById(id).getName()
                                                         : db->selectGenreById(id).getName();
    return local.isNull() || local != name;
}

void libraryView::addImportedSong(SongInfo song, QString path)
{
    if (kept(database->checkSong(song, path),
             Phrase("libraryView", QT_TR_NOOP("\"%1\" was copied into the library folder but not registered"))
                 .arg(song.title)))
        importedPaths << path;
}

void libraryView::hideIndexingAnim()
{
    // The last files found are counted and searched before the end is told.
    if (indexGrowth.isActive())
        followIndex();
    indexing = false;
    updateLoading();
    sayDriveSearch();
}

void libraryView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updatePath();
    buildCurrentTable();
}

void libraryView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    buildCurrentTable();
}

