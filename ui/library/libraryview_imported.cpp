// The end of an import: the page says how many songs it added, and All
// Songs, where imported songs are listed, shows them chosen.
#include "libraryview.h"
#include "ui_libraryview.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QSet>
#include <QSqlQueryModel>

void libraryView::makeImportNote()
{
    importNote = new QLabel(this);
    importNote->setObjectName(QStringLiteral("importNote"));
    importNote->setStyleSheet(QStringLiteral("color: black; padding: 2px 8px;"));
    importNote->setWordWrap(true);
    importNote->hide();
    ui->pageLayout->insertWidget(ui->pageLayout->indexOf(libraryMessage) + 1, importNote);
}

void libraryView::sayImported(const Phrase &note)
{
    imported = note;
    importNote->setText(note.text());
    importNote->setVisible(!note.isEmpty());
}

void libraryView::showImported()
{
    const QStringList paths = std::exchange(importedPaths, {});
    if (!paths.isEmpty() && pageState == 0 && !isAdding && headerStatus != AllSongs) {
        QListWidget *side = ui->playlistListWidget;
        side->setCurrentRow(0);
        ui->titleButton->setChecked(true);
        openPlaylistRow(side->model()->index(0, 0));
    }
    sayImported(Phrase("libraryView", QT_TR_NOOP("Songs added to the library: %1")).arg(paths.size()));
    chooseImported(paths);
}

// The rows of the songs at `paths`, chosen, the first in sight. Rows are
// read only until every song is found, and rows next to each other are
// chosen as one stretch: a rebuild adds the whole library.
void libraryView::chooseImported(const QStringList &paths)
{
    if (paths.isEmpty() || headerStatus != AllSongs)
        return;
    QSet<QString> wanted(paths.begin(), paths.end());
    QItemSelection chosen;
    int from = -1;
    for (int row = 0; !wanted.isEmpty() || from >= 0; ++row) {
        while (row >= songModel->rowCount() && songModel->canFetchMore())
            songModel->fetchMore();
        const bool found = row < songModel->rowCount() && wanted.remove(songModel->index(row, 8).data().toString());
        if (found && from < 0)
            from = row;
        if (!found && from >= 0) {
            chosen.select(songModel->index(from, 0), songModel->index(row - 1, songModel->columnCount() - 1));
            from = -1;
        }
        if (row >= songModel->rowCount())
            break;
    }
    if (chosen.isEmpty())
        return;
    QTableView *table = ui->songsListview;
    table->selectionModel()->select(chosen, QItemSelectionModel::ClearAndSelect);
    const QModelIndex first = songModel->index(chosen.first().top(), 2);
    table->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    table->scrollTo(first);
}
