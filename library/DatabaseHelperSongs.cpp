// Registration of songs with their artist, genre and author, and the lookups
// that turn library rows into records.
#include "DatabaseHelper.h"
#include "LibrarySql.h"

#include <QDebug>
#include <QSqlQuery>
#include <QVariant>

#include <iterator>

using LibrarySql::failed;

namespace {

const char kSongs[] =
    "SELECT IdSong,Titolo,NomeArtista,NomeAutore,NomeGenere,Formato,keySign,Durata,Bpm,"
    "isFromSub,innerPath FROM Songs JOIN Artisti ON Songs.IdArtista=Artisti.IdArtista "
    "JOIN Autori ON Songs.IdAutore=Autori.IdAutore "
    "JOIN Genere ON Songs.IdGenere=Genere.IdGenere";

const char *const kFilterConditions[] = {
    "WHERE Titolo LIKE '%'||:f||'%'",
    "WHERE NomeArtista LIKE '%'||:f||'%'",
    "WHERE NomeGenere LIKE '%'||:f||'%'",
    "WHERE Songs.IdArtista =:f",
    "WHERE Songs.IdGenere =:f",
};

// Fills a name/id/count record from the first row of a "SELECT *" on
// Artisti or Genere; the record stays cleared when there is none.
template <typename Record>
Record selectNamed(const QSqlDatabase &db, const char *sql, int id)
{
    Record record;
    record.clear();
    QSqlQuery q(db);
    q.prepare(QLatin1String(sql));
    q.bindValue(QStringLiteral(":id"), id);
    if (!q.exec()) {
        failed(q);
        return record;
    }
    if (q.next()) {
        record.setId(q.value(0).toInt());
        record.setName(q.value(1).toString());
        record.setNumsongs(q.value(2).toInt());
    }
    return record;
}

template <typename Record>
QList<Record> selectAllNamed(const QSqlDatabase &db, const char *sql)
{
    QList<Record> records;
    QSqlQuery q(db);
    if (!q.exec(QLatin1String(sql))) {
        failed(q);
        return records;
    }
    while (q.next()) {
        Record record;
        record.setId(q.value(0).toInt());
        record.setName(q.value(1).toString());
        record.setNumsongs(q.value(2).toInt());
        records.append(record);
    }
    return records;
}

} // namespace

bool DatabaseHelper::checkSong(const SongInfo &info, const QString &path)
{
    // A single savepoint keeps a failed song insert from leaving new
    // artist, genre or author rows behind with no song.
    LibrarySql::Savepoint savepoint(QSqlDatabase::database(), "checkSong");
    if (!savepoint.isOpen())
        return false;

    // A file dropped from the song folder itself is reported by the import
    // without a copy; it must not appear twice.
    QSqlQuery known;
    known.prepare(QStringLiteral("SELECT 1 FROM Songs WHERE innerPath = :path LIMIT 1"));
    known.bindValue(QStringLiteral(":path"), LibrarySql::text(path));
    if (!known.exec())
        return failed(known);
    if (known.next())
        return savepoint.release();
    known.finish();

    const int idArtist = checkInsertArtist(info.artist);
    const int idGenre = checkInsertGenre(info.genre);
    const int idAuthor = checkInsertAuthor(info.author);
    if (!insertDataSongs(info, path, idArtist, idGenre, idAuthor))
        return false;
    return savepoint.release();
}

int DatabaseHelper::checkInsertArtist(const QString &name)
{
    return checkInsertName("Artisti", "IdArtista", "NomeArtista", name);
}

int DatabaseHelper::checkInsertGenre(const QString &name)
{
    return checkInsertName("Genere", "IdGenere", "NomeGenere", name);
}

int DatabaseHelper::checkInsertAuthor(const QString &name)
{
    return checkInsertName("Autori", "IdAutore", "NomeAutore", name);
}

// Table and column names are ours; only the name is a value, and it is bound.
int DatabaseHelper::checkInsertName(const char *table, const char *idColumn,
                                    const char *nameColumn, const QString &name)
{
    const QString t = QLatin1String(table);
    const QString n = QLatin1String(nameColumn);
    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = :name")
                  .arg(QLatin1String(idColumn), t, n));
    q.bindValue(QStringLiteral(":name"), LibrarySql::text(name));
    if (!q.exec())
        return failed(q);
    if (q.next())
        return q.value(0).toInt();

    QSqlQuery insert;
    insert.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (:name)").arg(t, n));
    insert.bindValue(QStringLiteral(":name"), LibrarySql::text(name));
    if (!insert.exec())
        return failed(insert);
    return insert.lastInsertId().toInt();
}

bool DatabaseHelper::insertDataSongs(const SongInfo &info, const QString &path, int idArtist,
                                     int idGenre, int idAuthor)
{
    QSqlQuery q;
    q.prepare(QStringLiteral(
        "INSERT INTO Songs (isFromSub,IdGenere,IdArtista,IdAutore,Titolo,innerPath,NomeFile,"
        "Formato,Bpm,keySign,Durata,MarkerPresent, ConfigPresent,ultimaRiproduzione) VALUES "
        "(:isFromSub,:IdGenere,:IdArtista,:IdAutore,:Titolo,:innerPath,:NomeFile,:Formato,:Bpm,"
        ":keySign,:Durata,:MarkerPresent,:ConfigPresent,:UltimaRiproduzione)"));
    q.bindValue(QStringLiteral(":isFromSub"), info.isFromSub);
    q.bindValue(QStringLiteral(":IdGenere"), idGenre);
    q.bindValue(QStringLiteral(":IdArtista"), idArtist);
    q.bindValue(QStringLiteral(":IdAutore"), idAuthor);
    q.bindValue(QStringLiteral(":innerPath"), LibrarySql::text(path));
    q.bindValue(QStringLiteral(":NomeFile"), LibrarySql::text(path.section(QLatin1Char('/'), -1)));
    q.bindValue(QStringLiteral(":Titolo"), LibrarySql::text(info.title));
    q.bindValue(QStringLiteral(":Formato"), LibrarySql::text(info.format));
    q.bindValue(QStringLiteral(":Bpm"), info.bpm);
    q.bindValue(QStringLiteral(":keySign"), LibrarySql::text(info.keySign));
    q.bindValue(QStringLiteral(":Durata"), info.length);
    q.bindValue(QStringLiteral(":MarkerPresent"), false);
    q.bindValue(QStringLiteral(":ConfigPresent"), false);
    q.bindValue(QStringLiteral(":UltimaRiproduzione"), QStringLiteral(""));
    return q.exec() || failed(q);
}

bool DatabaseHelper::updateLastPlay(int idSong)
{
    QSqlQuery q;
    // To the millisecond: songs that follow each other at once keep their order.
    q.prepare(QStringLiteral("Update Songs set ultimaRiproduzione = "
                             "strftime('%Y-%m-%d %H:%M:%f','now','localtime') where IdSong=:id"));
    q.bindValue(QStringLiteral(":id"), idSong);
    return q.exec() || failed(q);
}

SongInfo DatabaseHelper::selectSongById(int idSong, bool *read)
{
    const QList<SongInfo> songs =
        selectSongList(QStringLiteral("WHERE IdSong = :id"), ":id", idSong, read);
    return songs.isEmpty() ? SongInfo() : songs.first();
}

SongInfo DatabaseHelper::selectSongByPath(const QString &path)
{
    const QList<SongInfo> songs =
        selectSongList(QStringLiteral("WHERE innerPath = :path LIMIT 1"), ":path", LibrarySql::text(path));
    return songs.isEmpty() ? SongInfo() : songs.first();
}

Artist DatabaseHelper::selectArtistById(int id)
{
    return selectNamed<Artist>(readDb(), "SELECT * FROM Artisti WHERE IdArtista = :id", id);
}

Genres DatabaseHelper::selectGenreById(int id)
{
    return selectNamed<Genres>(readDb(), "SELECT * FROM Genere WHERE IdGenere = :id", id);
}

QList<Artist> DatabaseHelper::selectArtists()
{
    return selectAllNamed<Artist>(readDb(), "SELECT * FROM Artisti ");
}

QList<Genres> DatabaseHelper::selectGenres()
{
    return selectAllNamed<Genres>(readDb(), "SELECT * FROM Genere ");
}

QList<SongInfo> DatabaseHelper::selectSongs()
{
    return selectSongList(QString());
}

QList<SongInfo> DatabaseHelper::selectSubSongs()
{
    return selectSongList(QStringLiteral("WHERE isFromSub = 1"));
}

QList<SongInfo> DatabaseHelper::selectLastXSongs(int x)
{
    return selectSongList(QStringLiteral("WHERE ultimaRiproduzione > '' ORDER BY ultimaRiproduzione DESC LIMIT :x"),
                          ":x", x);
}

QList<SongInfo> DatabaseHelper::selectSongsWithFilter(int mode, const QString &f)
{
    if (mode < 1 || mode > int(std::size(kFilterConditions))) {
        qDebug() << "SqLite error:" << "no statement for filter mode" << mode;
        return {};
    }
    return selectSongList(QLatin1String(kFilterConditions[mode - 1]), ":f", LibrarySql::text(f));
}

QList<SongInfo> DatabaseHelper::selectSongList(const QString &condition, const char *bind,
                                               const QVariant &value, bool *read)
{
    QSqlQuery q(readDb());
    q.setForwardOnly(true);
    QString sql = QLatin1String(kSongs);
    if (!condition.isEmpty())
        sql += QLatin1Char(' ') + condition;
    q.prepare(sql);
    if (bind)
        q.bindValue(QLatin1String(bind), value);
    const bool done = q.exec() || failed(q);
    if (read)
        *read = done;
    return done ? LibrarySql::readSongs(q) : QList<SongInfo>();
}
