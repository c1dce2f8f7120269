// The store's requests of the library page and their replies: the caches of
// the library file and of memory are filled in one transaction per reply,
// then the page's query runs again so the store rows stand beside the local
// ones. Each reply is matched to its own request (a search, a store artist's
// or genre's songs, a song's details), so one kind never throws away
// another's answer.
#include "libraryview.h"
#include "ui_libraryview.h"

#include "DatabaseHelper.h"
#include "LibrarySql.h"
#include "librarytabledelegate.h"
#include "prompter.h"
#include "storeanswer.h"
#include "storeendpoints.h"
#include "storelisting.h"
#include "storereplies.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSqlDatabase>

namespace {

const char kKindTag[] = "velmarKind";
const char kSerialTag[] = "velmarSerial";
const char kSearchTag[] = "velmarSearch";

} // namespace

int libraryView::requestKind(ReplyHandler handler)
{
    if (handler == &libraryView::receivedSongInfo)
        return InfoRequest;
    if (handler == &libraryView::receivedSongListForGenArtQuery)
        return ListingRequest;
    return SearchRequest;
}

QNetworkReply *libraryView::postToStore(const QString &path,
                                        const QList<QPair<QString, QString>> &fields,
                                        ReplyHandler handler, const QString &searchText)
{
    if (!network)
        network = new QNetworkAccessManager(this);
    const int kind = requestKind(handler);
    // Only the newest request of a kind is wanted: the older ones go.
    lastRequest[kind] = ++requestSerial;
    abortPending(kind);
    dropListing(kind);
    QNetworkRequest request(StoreEndpoints::storeUrl(path));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    ReplyWatch::verifyRedirects(request);
    QNetworkReply *reply = network->post(request, StoreReplies::formBody(fields));
    // One song's details are a record of a few hundred bytes, read on the
    // window's thread: more is refused unread.
    new ReplyWatch(reply, storeTimeouts, "libraryView",
                   kind == InfoRequest ? ReplyWatch::kMaxRecordBytes : ReplyWatch::kMaxReplyBytes);
    reply->setProperty(kKindTag, kind);
    reply->setProperty(kSerialTag, requestSerial);
    reply->setProperty(kSearchTag, searchText);
    pendingReplies.insert(reply);
    updateLoading();
    connect(reply, &QNetworkReply::finished, this, [this, reply, handler] { (this->*handler)(reply); });
    return reply;
}

void libraryView::abortPending(int kind)
{
    const QList<QNetworkReply *> pending(pendingReplies.cbegin(), pendingReplies.cend());
    for (QNetworkReply *reply : pending) {
        if (reply->property(kKindTag).toInt() == kind && pendingReplies.contains(reply))
            reply->abort();
    }
}

// A reply is read when it answers the newest request of its kind and the page
// still wants it: a search while its text is the one typed, a store artist's
// or genre's songs while the page shows them.
bool libraryView::replyIsCurrent(QNetworkReply *reply) const
{
    const QVariant serial = reply->property(kSerialTag);
    if (!serial.isValid())
        return true;
    const int kind = reply->property(kKindTag).toInt();
    if (serial.toInt() != lastRequest[kind])
        return false;
    if (kind == SearchRequest)
        return reply->property(kSearchTag).toString() == searchString();
    if (kind == ListingRequest)
        return currentQuery == database->sqlMDSearchTitle;
    return true;
}

// Every way out of a request comes through here: the animation follows the
// requests still waiting, and a failure is said in the page.
bool libraryView::takeReply(QNetworkReply *reply, QByteArray &body, const Phrase &failed)
{
    body = reply->isOpen() ? reply->readAll() : QByteArray();
    return takeReadReply(reply, body.size(), failed, StoreAnswer::reason(body, reply->rawHeader("Content-Type")));
}

Phrase libraryView::unadvisedFailure(int kind, const Phrase &failed)
{
    switch (kind) {
    case SearchRequest:
        return Phrase("libraryView", QT_TR_NOOP("The store cannot be searched now: %1. Your own songs are shown."));
    case ListingRequest:
        return Phrase("libraryView", QT_TR_NOOP("The store's songs of this list cannot be shown: %1."));
    case InfoRequest:
        return Phrase("libraryView", QT_TR_NOOP("The song's details cannot be shown: %1."));
    default:
        return failed;
    }
}

bool libraryView::takeReadReply(QNetworkReply *reply, qint64 received, const Phrase &failed,
                                const Phrase &unreadable)
{
    reply->deleteLater();
    pendingReplies.remove(reply);
    updateLoading();
    if (!replyIsCurrent(reply)) {
        qDebug() << "Reply no longer wanted";
        return false;
    }
    const int kind = reply->property(kKindTag).toInt();
    const ReplyWatch *watch = reply->findChild<ReplyWatch *>();
    if (watch && !watch->failure(received).isEmpty()) {
        qWarning().noquote() << "libraryView: store request failed," << watch->failure(received)
                             << ":" << reply->url().toString();
        showStoreFailure(kind, (watch->connectionFailed(received) ? failed : unadvisedFailure(kind, failed))
                                   .arg(watch->reason(received)));
        return false;
    }
    // A web page or a broken answer must not pass for "nothing found": the
    // lists still show what came whole before the break, and the page says
    // why the rest is missing.
    if (!unreadable.isEmpty()) {
        qWarning().noquote() << "libraryView: store answer unreadable," << unreadable.text() << ":"
                             << reply->url().toString();
        showStoreFailure(kind, unadvisedFailure(kind, failed).arg(unreadable));
        return kind != InfoRequest;
    }
    clearStoreFailure(kind);
    return true;
}

void libraryView::receivedGenreListForQuery(QNetworkReply *reply)
{
    storeListing(reply, false);
}

void libraryView::receivedArtistListForQuery(QNetworkReply *reply)
{
    storeListing(reply, true);
}

// Store artists and store genres share one cache and one listing. The page
// shows them when it still shows the search they answer; otherwise they wait
// in the cache for the way back.
void libraryView::storeListing(QNetworkReply *reply, bool artists)
{
    listFromStore(reply, artists ? StoreListing::StoreArtists : StoreListing::StoreGenres, QSqlDatabase::database(),
                  "MDSearchGenArt", searchFailure(), [this, artists] {
                      if (currentQuery != storeSearchQuery())
                          return;
                      runQuery(currentQuery, QSqlDatabase::database());
                      artists ? buildTableArtists() : buildTableGenres();
                  });
}

void libraryView::receivedSongListForQuery(QNetworkReply *reply)
{
    listFromStore(reply, StoreListing::SearchSongs, QSqlDatabase::database(), "MDSearchTitle", searchFailure(),
                  [this] {
                      if (currentQuery != storeSearchQuery())
                          return;
                      runQuery(currentQuery, QSqlDatabase::database());
                      buildTableSongs();
                  });
}

void libraryView::receivedSongListForGenArtQuery(QNetworkReply *reply)
{
    const bool current = replyIsCurrent(reply);
    // Without an answer the list shows no songs rather than another list's.
    if (current)
        database->truncateMDSearchTitles();
    const auto show = [this] {
        runQuery(currentQuery, database->mdDb);
        buildTableSongs();
    };
    if (!listFromStore(reply, StoreListing::ListSongs, database->mdDb, "MDSearchTitle",
                       Phrase("libraryView",
                              QT_TR_NOOP("The store's songs of this list cannot be shown: %1. Check the "
                                         "internet connection, go back and open it again.")),
                       show)
        && current)
        show();
}

// A big answer is read off the window's thread and cached a slice at a time
// (see StoreListing); its rows show as the first ones are in and again once
// all are. The reply lives, and the animation runs, until then; a newer
// request of its kind, or the page leaving what it answers, ends the work.
// False when the reply was not listed (failed, or no longer wanted).
bool libraryView::listFromStore(QNetworkReply *reply, int listKind, const QSqlDatabase &db, const char *table,
                                const Phrase &failed, const std::function<void()> &show)
{
    const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
    const qint64 received = body.size();
    const ReplyWatch *watch = reply->findChild<ReplyWatch *>();
    if (!replyIsCurrent(reply) || (watch && !watch->failure(received).isEmpty())) {
        takeReadReply(reply, received, failed, Phrase());
        return false;
    }
    const int kind = reply->property(kKindTag).toInt();
    dropListing(kind);
    auto *work = new StoreListing(StoreListing::Kind(listKind), body, reply->rawHeader("Content-Type"), db, table,
                                  [this, reply] { return replyIsCurrent(reply); }, this);
    listings[kind] = work;
    connect(work, &StoreListing::firstRecords, this, show);
    connect(work, &StoreListing::ended, this, [this, work, reply, kind, received, failed, show] {
        if (listings[kind] == work)
            listings[kind] = nullptr;
        const Phrase unreadable = work->unreadable();
        work->deleteLater();
        if (!takeReadReply(reply, received, failed, unreadable))
            return;
        qDebug() << "Listed for" << searchString();
        show();
    });
    work->start();
    return true;
}

void libraryView::dropListing(int kind)
{
    if (StoreListing *work = listings[kind])
        work->stop();
}

Phrase libraryView::searchFailure()
{
    return Phrase("libraryView", QT_TR_NOOP("The store cannot be searched now: %1. Your own songs are shown; "
                                            "check the internet connection and search again."));
}

void libraryView::showStoreFailure(int kind, const Phrase &message)
{
    failedRequest = kind;
    storeFailure = message;
    ui->storeMessage->setText(message.text());
    ui->storeMessage->show();
}

void libraryView::clearStoreFailure(int kind)
{
    if (failedRequest != kind)
        return;
    failedRequest = -1;
    storeFailure = {};
    ui->storeMessage->clear();
    ui->storeMessage->hide();
}

void libraryView::setNewsFailure(const Phrase &message)
{
    newsFailure = message;
    sayNewsFailure();
}

// Only the news list says why it is old or empty.
void libraryView::sayNewsFailure()
{
    if (headerStatus == StoreNews && !newsFailure.isEmpty())
        showStoreFailure(NewsRequest, newsFailure);
    else
        clearStoreFailure(NewsRequest);
}

void libraryView::updateLoading()
{
    if (indexing)
        ui->loadingLabel->setText(tr("Indexing %1... songs found: %2").arg(indexedDrive).arg(indexedSongs));
    ui->loadingLabel->setVisible(indexing);
    ui->loadingGifLabel->setVisible(indexing || !pendingReplies.isEmpty());
}

void libraryView::receivedSongInfo(QNetworkReply *reply)
{
    QByteArray body;
    if (!takeReply(reply, body,
                   Phrase("libraryView", QT_TR_NOOP("The song's details cannot be shown: %1. Check the "
                                                    "internet connection and press Info again."))))
        return;
    const SongInfo song = StoreReplies::readSongInfo(body);
    qDebug() << song.title;
    const QString text =
        tr("Title: %1\nArtist: %2\nLength: %3\nBPM: %4\nKEY: %5\nFormat: %6\nGenre: %7\nAutors: "
           "%8\nBought? :%9")
            .arg(song.title, song.artist, StoreReplies::lengthText(song.length),
                 QString::number(song.bpm), LibraryCells::keyText(song.keySign, chordLang), song.format, song.genre, song.author,
                 song.isFromSub != 0 ? tr("Yes") : tr("No"));
    Prompter::question(tr("Detailed Info"), text, QMessageBox::Ok);
}
