// The store's replies to the library page's requests: the caches of the
// library file and of memory are filled in one transaction per reply, then
// the page's query runs again so the store rows stand beside the local ones.
#include "libraryview.h"
#include "ui_libraryview.h"

#include "DatabaseHelper.h"
#include "LibrarySql.h"
#include "librarytabledelegate.h"
#include "prompter.h"
#include "storeendpoints.h"
#include "storereplies.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSqlDatabase>

namespace {

const char kSearchTag[] = "velmarSearch";
const char kSerialTag[] = "velmarSerial";
// Requests are numbered in the order they are sent.
int lastSerial = 0;

// Reads the reply once and lets it go when the slot returns.
QByteArray takeBody(QNetworkReply *reply)
{
    reply->deleteLater();
    return reply->readAll();
}

} // namespace

QNetworkReply *libraryView::postToStore(const QString &path,
                                        const QList<QPair<QString, QString>> &fields,
                                        const char *slot, const QString &searchText)
{
    if (!network)
        network = new QNetworkAccessManager(this);
    QNetworkRequest request(StoreEndpoints::storeUrl(path));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *reply = network->post(request, StoreReplies::formBody(fields));
    reply->setProperty(kSearchTag, searchText);
    reply->setProperty(kSerialTag, ++lastSerial);
    const QByteArray method = QByteArray(slot).mid(1).split('(').value(0);
    connect(reply, &QNetworkReply::finished, this, [this, reply, method] {
        QMetaObject::invokeMethod(this, method.constData(), Q_ARG(QNetworkReply *, reply));
    });
    return reply;
}

// A reply belongs to the page's current content when it answers the newest
// tagged request and the search text it was sent for is still the one typed.
bool libraryView::replyIsCurrent(QNetworkReply *reply) const
{
    const QVariant serial = reply->property(kSerialTag);
    if (!serial.isValid())
        return true;
    return serial.toInt() == lastSerial &&
           reply->property(kSearchTag).toString() == ui->searchText->text();
}

void libraryView::receivedGenreListForQuery(QNetworkReply *reply)
{
    storeListing(reply, false);
}

void libraryView::receivedArtistListForQuery(QNetworkReply *reply)
{
    storeListing(reply, true);
}

// Store artists and store genres share one cache and one listing.
void libraryView::storeListing(QNetworkReply *reply, bool artists)
{
    const QByteArray body = takeBody(reply);
    if (!replyIsCurrent(reply))
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
    runQuery(currentQuery, QSqlDatabase::database());
    artists ? buildTableArtists() : buildTableGenres();
    hideLoading();
}

void libraryView::receivedSongListForQuery(QNetworkReply *reply)
{
    const QByteArray body = takeBody(reply);
    if (searchString().isEmpty()) {
        qDebug() << "Non più interessato a questi elementi";
        hideLoading();
        return;
    }
    if (!replyIsCurrent(reply))
        return;
    const QList<SongInfo> songs = StoreReplies::readSearchSongs(body);
    {
        LibrarySql::Savepoint work(QSqlDatabase::database(), "store_titles");
        for (const SongInfo &song : songs)
            database->insertMDSongsSearch(song);
        work.release();
    }
    qDebug() << "finito inserimento" << searchString();
    runQuery(currentQuery, QSqlDatabase::database());
    buildTableSongs();
    hideLoading();
}

void libraryView::receivedSongListForGenArtQuery(QNetworkReply *reply)
{
    const QByteArray body = takeBody(reply);
    if (!replyIsCurrent(reply))
        return;
    database->truncateMDSearchTitles();
    const QList<SongInfo> songs = StoreReplies::readListSongs(body);
    {
        LibrarySql::Savepoint work(database->mdDb, "store_list");
        for (const SongInfo &song : songs)
            database->insertMDSongsSearchMem(song);
        work.release();
    }
    qDebug() << "finito inserimento";
    hideLoading();
    runQuery(currentQuery, database->mdDb);
    buildTableSongs();
}

void libraryView::receivedSongInfo(QNetworkReply *reply)
{
    const SongInfo song = StoreReplies::readSongInfo(takeBody(reply));
    qDebug() << song.title;
    const QString text =
        tr("Title: %1\nArtist: %2\nLength: %3\nBPM: %4\nKEY: %5\nFormat: %6\nGenre: %7\nAutors: "
           "%8\nBought? :%9")
            .arg(song.title, song.artist, StoreReplies::lengthText(song.length),
                 QString::number(song.bpm), LibraryCells::keyText(song.keySign, chordLang), song.format, song.genre, song.author,
                 song.isFromSub != 0 ? tr("Si") : tr("No"));
    Prompter::question(tr("Detailed Info"), text, QMessageBox::Ok);
}
