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
#include "storereplies.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSqlDatabase>
#include <QThread>
#include <QTimer>

#include <memory>

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
    return takeReadReply(reply, body, failed, StoreAnswer::reason(body, reply->rawHeader("Content-Type")));
}

bool libraryView::takeReadReply(QNetworkReply *reply, const QByteArray &body, const Phrase &failed,
                                const Phrase &unreadable)
{
    reply->deleteLater();
    pendingReplies.remove(reply);
    updateLoading();
    if (!replyIsCurrent(reply)) {
        qDebug() << "Non più interessato a questi elementi";
        return false;
    }
    const int kind = reply->property(kKindTag).toInt();
    // The failure said without the advice to check the internet connection,
    // for one no connection mends (an error, an answer too large, a request
    // sent on to another site, a web page or a broken answer).
    const auto unadvised = [kind, &failed] {
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
    };
    const ReplyWatch *watch = reply->findChild<ReplyWatch *>();
    if (watch && !watch->failure(body.size()).isEmpty()) {
        qWarning().noquote() << "libraryView: store request failed," << watch->failure(body.size())
                             << ":" << reply->url().toString();
        showStoreFailure(kind, (watch->connectionFailed(body.size()) ? failed : unadvised()).arg(watch->reason(body.size())));
        return false;
    }
    // A web page or a broken answer must not pass for "nothing found": the
    // lists still show what came whole before the break, and the page says
    // why the rest is missing.
    if (!unreadable.isEmpty()) {
        qWarning().noquote() << "libraryView: store answer unreadable," << unreadable.text() << ":"
                             << reply->url().toString();
        showStoreFailure(kind, unadvised().arg(unreadable));
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
    QByteArray body;
    if (!takeReply(reply, body, searchFailure()))
        return;
    const QList<Genres> records =
        artists ? StoreReplies::readListing(body, QStringLiteral("interpreter"),
                                            QStringLiteral("interpreter_id"))
                : StoreReplies::readListing(body, QStringLiteral("genre"),
                                            QStringLiteral("genre_id"));
    {
        LibrarySql::Savepoint work(QSqlDatabase::database(), "store_listing");
        for (const Genres &record : records)
            database->insertMDGenreSearch(record);
        work.release();
    }
    qDebug() << "finito inserimento" << searchString();
    if (currentQuery != storeSearchQuery())
        return;
    runQuery(currentQuery, QSqlDatabase::database());
    artists ? buildTableArtists() : buildTableGenres();
}

// A search of the whole store answers tens of thousands of songs: the answer
// is judged and parsed off the window's thread. The reply lives (and the
// animation runs) until its songs are in.
void libraryView::receivedSongListForQuery(QNetworkReply *reply)
{
    struct Reading
    {
        Phrase unreadable;
        QList<SongInfo> songs;
    };
    const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
    const ReplyWatch *watch = reply->findChild<ReplyWatch *>();
    if (!replyIsCurrent(reply) || (watch && !watch->failure(body.size()).isEmpty())) {
        takeReadReply(reply, body, searchFailure(), Phrase());
        return;
    }
    auto read = std::make_shared<Reading>();
    QThread *reader = QThread::create([read, body, type = reply->rawHeader("Content-Type")] {
        read->unreadable = StoreAnswer::reason(body, type);
        read->songs = StoreReplies::readSearchSongs(body);
    });
    connect(reader, &QThread::finished, reader, &QObject::deleteLater);
    connect(reader, &QThread::finished, reply, [this, reply, body, read] {
        if (!takeReadReply(reply, body, searchFailure(), read->unreadable))
            return;
        storeSearchSongs(std::make_shared<const QList<SongInfo>>(std::move(read->songs)), 0,
                         lastRequest[SearchRequest], searchString());
    });
    reader->start();
}

// Cached a few thousand songs per turn of the event loop, so that the window
// answers between them; a search typed meanwhile ends the caching.
void libraryView::storeSearchSongs(std::shared_ptr<const QList<SongInfo>> songs, qsizetype from, int serial,
                                   const QString &text)
{
    if (lastRequest[SearchRequest] != serial || searchString() != text)
        return;
    constexpr qsizetype kSongsPerTurn = 5000;
    database->insertMDSongsSearchFile(songs->mid(from, kSongsPerTurn));
    if (from + kSongsPerTurn < songs->size()) {
        QTimer::singleShot(0, this, [this, songs, from, serial, text] {
            storeSearchSongs(songs, from + kSongsPerTurn, serial, text);
        });
        return;
    }
    qDebug() << "finito inserimento" << searchString();
    if (currentQuery != storeSearchQuery())
        return;
    runQuery(currentQuery, QSqlDatabase::database());
    buildTableSongs();
}

void libraryView::receivedSongListForGenArtQuery(QNetworkReply *reply)
{
    QByteArray body;
    const bool read = takeReply(reply, body,
                                Phrase("libraryView",
                                       QT_TR_NOOP("The store's songs of this list cannot be shown: %1. Check the "
                                                  "internet connection, go back and open it again.")));
    if (!read && !replyIsCurrent(reply))
        return;
    if (!read)
        body.clear();
    // Without an answer the list shows no songs rather than another list's.
    database->truncateMDSearchTitles();
    const QList<SongInfo> songs = StoreReplies::readListSongs(body);
    {
        LibrarySql::Savepoint work(database->mdDb, "store_list");
        for (const SongInfo &song : songs)
            database->insertMDSongsSearchMem(song);
        work.release();
    }
    qDebug() << "finito inserimento";
    runQuery(currentQuery, database->mdDb);
    buildTableSongs();
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
                 song.isFromSub != 0 ? tr("Si") : tr("No"));
    Prompter::question(tr("Detailed Info"), text, QMessageBox::Ok);
}
