// Caches of the store's replies (news, title search, genres and artists) and
// the download state of a cached store song.
#include "DatabaseHelper.h"
#include "LibrarySql.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

using LibrarySql::failed;

namespace {

// The store's song caches ("MDNews", the news being written and
// "MDSearchTitle", of the file and of memory) share one row layout: this
// list makes their tables, their insert and the values it binds.
struct StoreSongColumn
{
    const char *name;
    const char *type;
    QVariant (*value)(const SongInfo &song);
};

const StoreSongColumn kStoreSongColumns[] = {
    {"IdSong", "INTEGER", [](const SongInfo &s) { return QVariant(s.idSong); }},
    {"ProductId", "INTEGER", [](const SongInfo &s) { return QVariant(s.ProductId); }},
    {"Genere", "TEXT", [](const SongInfo &s) { return QVariant(LibrarySql::text(s.genre)); }},
    {"Artista", "TEXT", [](const SongInfo &s) { return QVariant(LibrarySql::text(s.artist)); }},
    {"Autore", "TEXT", [](const SongInfo &s) { return QVariant(LibrarySql::text(s.author)); }},
    {"Titolo", "TEXT", [](const SongInfo &s) { return QVariant(LibrarySql::text(s.title)); }},
    {"Formato", "INTEGER", [](const SongInfo &s) { return QVariant(LibrarySql::text(s.format)); }},
    {"Bpm", "INTEGER DEFAULT 0", [](const SongInfo &s) { return QVariant(s.bpm); }},
    {"keySign", "TEXT", [](const SongInfo &s) { return QVariant(LibrarySql::text(s.keySign)); }},
    {"Durata", "INTEGER DEFAULT 0", [](const SongInfo &s) { return QVariant(s.length); }},
    {"innerPath", "TEXT", [](const SongInfo &s) { return QVariant(LibrarySql::text(s.innerPath)); }},
    {"isFromSub", "INTEGER DEFAULT 0", [](const SongInfo &s) { return QVariant(s.isFromSub); }},
};

} // namespace

QString DatabaseHelper::storeSongTable(const char *table)
{
    QStringList columns;
    for (const StoreSongColumn &column : kStoreSongColumns)
        columns << QLatin1String(column.name) + QLatin1Char(' ') + QLatin1String(column.type);
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
        .arg(QLatin1String(table), columns.join(QLatin1Char(',')));
}

bool DatabaseHelper::insertMDSongsNews(const SongInfo &info)
{
    return insertMDSong(QSqlDatabase::database(), "MDNews", info);
}

bool DatabaseHelper::insertMDSongsSearch(const SongInfo &info)
{
    return insertMDSong(QSqlDatabase::database(), "MDSearchTitle", info);
}

bool DatabaseHelper::insertMDSongsSearchMem(const SongInfo &info)
{
    return insertMDSong(mdDb, "MDSearchTitle", info);
}

bool DatabaseHelper::insertMDSongsSearch(const QList<SongInfo> &songs)
{
    for (const SongInfo &song : songs) {
        if (!insertMDSong(mdDb, "MDSearchTitle", song))
            return false;
    }
    return true;
}

// The :IdGenere, :IdArtista and :IdAutore parameters carry names: the cache
// columns hold the store's texts.
bool DatabaseHelper::insertMDSong(QSqlDatabase db, const char *table, const SongInfo &info)
{
    QSqlQuery q(db);
    prepareMDSong(q, table);
    return execMDSong(q, info);
}

// Bound by position: a list of thousands binds twelve values a song, and a
// name is looked up at every bind.
bool DatabaseHelper::prepareMDSong(QSqlQuery &q, const char *table)
{
    QStringList names;
    QStringList marks;
    for (const StoreSongColumn &column : kStoreSongColumns) {
        names << QLatin1String(column.name);
        marks << QStringLiteral("?");
    }
    return q.prepare(QStringLiteral("INSERT INTO %1(%2) VALUES (%3)")
                         .arg(QLatin1String(table), names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))))
           || failed(q);
}

bool DatabaseHelper::execMDSong(QSqlQuery &q, const SongInfo &info)
{
    int at = 0;
    for (const StoreSongColumn &column : kStoreSongColumns)
        q.bindValue(at++, column.value(info));
    return q.exec() || failed(q);
}

bool DatabaseHelper::insertMDGenreSearch(const Genres &genre)
{
    QSqlQuery q;
    q.prepare(QStringLiteral("INSERT INTO MDSearchGenArt(Id, Nome, NumSongs) "
                             "VALUES (:id, :name, :num)"));
    q.bindValue(QStringLiteral(":id"), genre.getId());
    q.bindValue(QStringLiteral(":name"), LibrarySql::text(genre.getName()));
    q.bindValue(QStringLiteral(":num"), genre.getNumsongs());
    return q.exec() || failed(q);
}

QList<SongInfo> DatabaseHelper::selectMDSongs()
{
    QSqlQuery q;
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT IdSong,ProductId, Titolo,Autore,Artista,Genere,Formato,"
                               "keySign,Durata,Bpm,isFromSub,innerPath, Durata FROM MDNews"))) {
        failed(q);
        return {};
    }
    return LibrarySql::readSongs(q, LibrarySql::RowKind::Store);
}

QString DatabaseHelper::getSongIdWithProductId(const QString &productId)
{
    return storeFieldOfProduct("IdSong", productId);
}

QString DatabaseHelper::getStoreKeyWithProductId(int productId)
{
    return storeFieldOfProduct("keySign", productId);
}

// The first cache that gives the product's field answers: the news, then
// the title searches of the file and of memory (a cache that lists the
// product without the field, as the artist and genre lists do for the key,
// does not). The column name is ours.
QString DatabaseHelper::storeFieldOfProduct(const char *column, const QVariant &productId)
{
    for (int place = 0; place < 3; ++place) {
        const QString value = storeFieldIn(place, column, productId);
        if (!value.isEmpty())
            return value;
    }
    return QString();
}

QString DatabaseHelper::storeFieldIn(int place, const char *column, const QVariant &productId)
{
    // 0 the news, 1 the title searches of the file, 2 those of memory.
    static const char *const tables[] = {"MDNews", "MDSearchTitle", "MDSearchTitle"};
    QSqlQuery q(place == 2 ? mdDb : QSqlDatabase::database());
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE ProductId = :id AND trim(coalesce(%1, '')) <> ''")
                  .arg(QLatin1String(column), QLatin1String(tables[place])));
    // A text binds too; the INTEGER column's affinity compares it as a number.
    q.bindValue(QStringLiteral(":id"), productId);
    return q.exec() && q.next() ? q.value(0).toString().trimmed() : QString();
}

SongInfo DatabaseHelper::storeRecordOfProduct(int productId, SongProvenience provenience)
{
    const int first = provenience == ProvenienceNews ? 0 : provenience == ProvenienceStoreList ? 2 : 1;
    const int order[] = {first, first == 0 ? 1 : 0, first == 2 ? 1 : 2};
    SongInfo song;
    const std::pair<const char *, QString *> fields[] = {{"Titolo", &song.title},  {"Artista", &song.artist},
                                                        {"Autore", &song.author},  {"Genere", &song.genre},
                                                        {"keySign", &song.keySign}};
    for (const auto &[column, value] : fields) {
        for (int place : order) {
            *value = storeFieldIn(place, column, productId);
            if (!value->isEmpty())
                break;
        }
    }
    song.ProductId = productId;
    return song;
}

bool DatabaseHelper::updateDownloadStatus(int productId, int newStatus)
{
    bool ok = true;
    const std::pair<QSqlDatabase, const char *> caches[] = {
        {QSqlDatabase::database(), "MDNews"}, {QSqlDatabase::database(), "MDSearchTitle"}, {mdDb, "MDSearchTitle"}};
    for (const auto &[db, table] : caches) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE %1 SET isFromSub=:newStatus WHERE ProductId = :prodId;")
                      .arg(QLatin1String(table)));
        q.bindValue(QStringLiteral(":newStatus"), newStatus);
        q.bindValue(QStringLiteral(":prodId"), productId);
        ok = (q.exec() || failed(q)) && ok;
    }
    return ok;
}

const char DatabaseHelper::storeSongsTable[] =
    "CREATE TABLE IF NOT EXISTS MDDownloads (ProductId INTEGER PRIMARY KEY, innerPath TEXT NOT NULL UNIQUE)";

bool DatabaseHelper::keepStoreSong(int productId, const QString &path)
{
    // A file holds one product, a product one file: the rows of either go.
    QSqlQuery q;
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO MDDownloads (ProductId, innerPath) VALUES (:id, :path)"));
    q.bindValue(QStringLiteral(":id"), productId);
    q.bindValue(QStringLiteral(":path"), LibrarySql::text(path));
    return q.exec() || failed(q);
}

QString DatabaseHelper::storeSongFile(int productId)
{
    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT innerPath FROM MDDownloads WHERE ProductId = :id"));
    q.bindValue(QStringLiteral(":id"), productId);
    if (!q.exec()) {
        failed(q);
        return QString();
    }
    return q.next() ? q.value(0).toString() : QString();
}

bool DatabaseHelper::storePathTaken(const QString &path, int productId)
{
    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT (SELECT count(*) FROM Songs WHERE innerPath = :path) + (SELECT count(*) FROM "
                             "MDDownloads WHERE innerPath = :same AND ProductId <> :id)"));
    q.bindValue(QStringLiteral(":path"), LibrarySql::text(path));
    q.bindValue(QStringLiteral(":same"), LibrarySql::text(path));
    q.bindValue(QStringLiteral(":id"), productId);
    // Unknown counts as taken: a name of its own is never another's.
    if (!q.exec() || !q.next()) {
        failed(q);
        return true;
    }
    return q.value(0).toInt() > 0;
}

SongInfo DatabaseHelper::librarySongOfProduct(int productId, const QString &namedPath)
{
    const QString kept = storeSongFile(productId);
    const QString path = kept.isEmpty() ? namedPath : kept;
    if (kept.isEmpty()) {
        // Downloaded before keys were kept: only while no key claims it.
        QSqlQuery claimed;
        claimed.prepare(QStringLiteral("SELECT 1 FROM MDDownloads WHERE innerPath = :path"));
        claimed.bindValue(QStringLiteral(":path"), LibrarySql::text(path));
        if (!claimed.exec() || claimed.next())
            return SongInfo();
    }
    const SongInfo song = selectSongByPath(path);
    return song.innerPath == path && song.isFromSub == 1 ? song : SongInfo();
}

DatabaseHelper::StoreSongsOwned DatabaseHelper::storeSongsOwned()
{
    StoreSongsOwned owned;
    QSqlQuery q;
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT ProductId FROM MDDownloads JOIN Songs USING (innerPath) WHERE isFromSub = 1"))) {
        failed(q);
        return owned;
    }
    while (q.next())
        owned.keys.insert(q.value(0).toInt());
    if (!q.exec(QStringLiteral("SELECT innerPath FROM Songs WHERE isFromSub = 1 AND innerPath NOT IN (SELECT "
                               "innerPath FROM MDDownloads)"))) {
        failed(q);
        return owned;
    }
    while (q.next())
        owned.names.insert(QFileInfo(q.value(0).toString()).fileName());
    return owned;
}

bool DatabaseHelper::unmarkSongsGone(const std::function<QString(const SongInfo &)> &fileName)
{
    // The mark the store's lists give a song for sale.
    const int forSale = 2;
    const StoreSongsOwned owned = storeSongsOwned();
    bool ok = true;
    const struct {
        QSqlDatabase db;
        const char *table;
    } caches[] = {{QSqlDatabase::database(), "MDNews"}, {QSqlDatabase::database(), "MDSearchTitle"},
                  {mdDb, "MDSearchTitle"}};
    for (const auto &cache : caches) {
        QSqlQuery marked(cache.db);
        marked.prepare(QStringLiteral("SELECT DISTINCT ProductId,Titolo,Artista,Formato FROM %1 "
                                      "WHERE isFromSub = :downloaded")
                           .arg(QLatin1String(cache.table)));
        marked.bindValue(QStringLiteral(":downloaded"), int(StoreDownloaded));
        if (!marked.exec()) {
            ok = failed(marked);
            continue;
        }
        QList<int> gone;
        while (marked.next()) {
            SongInfo song;
            song.title = marked.value(1).toString();
            song.artist = marked.value(2).toString();
            song.format = marked.value(3).toString();
            if (!owned.has(marked.value(0).toInt(), fileName(song)))
                gone << marked.value(0).toInt();
        }
        marked.finish();
        QSqlQuery unmark(cache.db);
        unmark.prepare(QStringLiteral("UPDATE %1 SET isFromSub = :forSale WHERE ProductId = :id AND isFromSub = "
                                      ":downloaded")
                           .arg(QLatin1String(cache.table)));
        for (int id : std::as_const(gone)) {
            unmark.bindValue(QStringLiteral(":forSale"), forSale);
            unmark.bindValue(QStringLiteral(":id"), id);
            unmark.bindValue(QStringLiteral(":downloaded"), int(StoreDownloaded));
            if (!unmark.exec())
                ok = failed(unmark);
        }
    }
    return ok;
}

bool DatabaseHelper::truncateMDNews()
{
    return truncate(QSqlDatabase::database(), "MDNews");
}

bool DatabaseHelper::startNewsStaging()
{
    QSqlDatabase db = QSqlDatabase::database();
    QSqlQuery q(db);
    return (q.exec(storeSongTable(newsStaging)) || failed(q)) && truncate(db, newsStaging);
}

// No DROP: SQLite refuses it while any statement of the connection still
// reads (the news page's rows are fetched as they are scrolled to); renames
// it allows.
bool DatabaseHelper::swapInNews()
{
    QSqlDatabase db = QSqlDatabase::database();
    LibrarySql::Savepoint swap(db, "news_swap");
    if (!swap.isOpen())
        return false;
    QSqlQuery q(db);
    const QString staging = QLatin1String(newsStaging);
    for (const QString &sql : {QStringLiteral("ALTER TABLE MDNews RENAME TO MDNewsOld"),
                               QStringLiteral("ALTER TABLE %1 RENAME TO MDNews").arg(staging),
                               QStringLiteral("ALTER TABLE MDNewsOld RENAME TO %1").arg(staging)}) {
        if (!q.exec(sql))
            return failed(q);
    }
    return swap.release();
}

bool DatabaseHelper::truncateMDSearchTitles()
{
    return truncate(QSqlDatabase::database(), "MDSearchTitle") && truncate(mdDb, "MDSearchTitle");
}

bool DatabaseHelper::truncateMDSearchGenArt()
{
    return truncate(QSqlDatabase::database(), "MDSearchGenArt");
}

// No VACUUM: these run at every news refresh, every keystroke of a store
// search and every drive chosen. On the library file it would rewrite the
// whole file each time and fail while a list still reads from it; freed
// pages are reused by the next rows anyway.
bool DatabaseHelper::truncate(QSqlDatabase db, const char *table)
{
    QSqlQuery q(db);
    return q.exec(QStringLiteral("DELETE FROM ") + QLatin1String(table));
}
