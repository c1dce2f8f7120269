// Changes the library file refuses (read-only, a full or failing disk,
// another program holding it): said on the page with what was not kept and
// why, while the lists show what the library keeps. The next change that is
// kept takes that message away; a list read again takes away only the
// message that a list could not be read. A file another program held is
// asked again and again, without waiting, and once it is free the lists are
// read again by themselves.
#include "libraryview.h"
#include "ui_libraryview.h"

#include "DatabaseHelper.h"
#include "LibrarySql.h"

#include <QLabel>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTimer>

namespace {

Phrase refusalReason(const DatabaseHelper &db)
{
    switch (db.lastRefusal()) {
    case DatabaseHelper::Refusal::ReadOnly:
        return Phrase("libraryView", QT_TRANSLATE_NOOP("libraryView", "the library file is read-only"));
    case DatabaseHelper::Refusal::DiskFull:
        return Phrase("libraryView", QT_TRANSLATE_NOOP("libraryView", "the disk is full"));
    case DatabaseHelper::Refusal::DiskError:
        return Phrase("libraryView", QT_TRANSLATE_NOOP("libraryView", "the disk reported an error"));
    case DatabaseHelper::Refusal::Busy:
        return Phrase("libraryView", QT_TRANSLATE_NOOP("libraryView", "the library is in use by another program"));
    case DatabaseHelper::Refusal::Other:
        break;
    }
    return Phrase("libraryView", QT_TRANSLATE_NOOP("libraryView", "the library file refused it (%1)"))
        .arg(db.lastFailureText());
}

} // namespace

void libraryView::makeLibraryMessage()
{
    libraryMessage = new QLabel(this);
    libraryMessage->setObjectName(QStringLiteral("libraryMessage"));
    libraryMessage->setStyleSheet(ui->storeMessage->styleSheet());
    libraryMessage->setWordWrap(true);
    libraryMessage->hide();
    ui->pageLayout->insertWidget(ui->pageLayout->indexOf(ui->storeMessage) + 1, libraryMessage);
}

bool libraryView::kept(bool ok, const Phrase &what)
{
    if (ok) {
        sayLibraryFailure({}, false);
        return true;
    }
    awaitLibraryFree();
    sayLibraryFailure(Phrase("libraryView", QT_TR_NOOP("%1: %2. Nothing kept before is lost; changes are kept "
                                                       "again once the library file can be written."))
                          .arg(what)
                          .arg(refusalReason(*database)),
                      false);
    return false;
}

SongInfo libraryView::songOfRow(int row)
{
    const QSqlRecord shown = songModel->record(row);
    bool read = false;
    const SongInfo song = database->selectSongById(shown.value(QStringLiteral("IdSong")).toInt(), &read);
    // A file that gives nothing until it may put back a change it refused
    // still plays the songs its rows show.
    return read ? song : LibrarySql::songOf(shown);
}

void libraryView::notePlayed(const SongInfo &song)
{
    kept(database->updateLastPlay(int(song.idSong)),
         Phrase("libraryView", QT_TR_NOOP("That \"%1\" was played could not be kept for the recent songs"))
             .arg(song.title));
}

bool libraryView::addToPlaylist(const SongInfo &song)
{
    return kept(database->insertSongInPlayList(int(song.idSong), getPlaylistId()),
                Phrase("libraryView", QT_TR_NOOP("\"%1\" could not be added to the playlist \"%2\""))
                    .arg(song.title)
                    .arg(getPlaylistName()));
}

bool libraryView::readable(bool ok, bool sameList)
{
    if (ok) {
        sayLibraryFailure({}, true);
        return true;
    }
    if (awaitLibraryFree())
        sayLibraryFailure(sameList ? Phrase("libraryView", QT_TR_NOOP("The library is in use by another program: "
                                                                      "the list shows what it showed before, and "
                                                                      "is read again once the library is free."))
                                   : Phrase("libraryView", QT_TR_NOOP("The library is in use by another program: "
                                                                      "this list is shown once the library is "
                                                                      "free.")),
                          true);
    else
        sayLibraryFailure((sameList ? Phrase("libraryView", QT_TR_NOOP("The library file cannot be read now: %1. The "
                                                                       "list shows what it showed before."))
                                    : Phrase("libraryView", QT_TR_NOOP("The library file cannot be read now: %1. "
                                                                       "This list cannot be shown.")))
                              .arg(refusalReason(*database)),
                          true);
    return false;
}

bool libraryView::awaitLibraryFree()
{
    if (database->lastRefusal() != DatabaseHelper::Refusal::Busy)
        return false;
    if (!libraryFree) {
        libraryFree = new QTimer(this);
        libraryFree->setInterval(kLibraryFreeAskMs);
        connect(libraryFree, &QTimer::timeout, this, &libraryView::readAgainWhenFree);
    }
    libraryFree->start();
    return true;
}

void libraryView::readAgainWhenFree()
{
    if (!database->tryFree())
        return;
    libraryFree->stop();
    refreshPlaylistsView();
    if (pageState != 0)
        return;
    runQuery(currentQuery,
             currentQuery == database->sqlMDSearchTitle ? database->mdDb : QSqlDatabase::database());
    buildCurrentTable();
}

// A change refused and a list unread are said apart: each goes only when
// its own kind of work succeeds.
void libraryView::sayLibraryFailure(const Phrase &message, bool read)
{
    (read ? readFailure : writeFailure) = message;
    showLibraryFailure();
}

void libraryView::showLibraryFailure()
{
    QStringList said;
    for (const Phrase *message : {&writeFailure, &readFailure}) {
        if (!message->isEmpty())
            said << message->text();
    }
    libraryMessage->setText(said.join(QLatin1Char('\n')));
    libraryMessage->setVisible(!said.isEmpty());
}
