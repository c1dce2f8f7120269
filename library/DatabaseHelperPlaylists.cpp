// Playlists: named, ordered lists of library songs.
#include "DatabaseHelper.h"
#include "LibrarySql.h"

#include <QDebug>
#include <QSqlQuery>
#include <QVariant>

using LibrarySql::failed;

bool DatabaseHelper::insertPlaylist(const QString &name)
{
    QSqlQuery q;
    q.prepare(QStringLiteral("INSERT INTO PlayList (ListName) VALUES (:name)"));
    q.bindValue(QStringLiteral(":name"), LibrarySql::text(name));
    return q.exec() || failed(q);
}

bool DatabaseHelper::updatePlaylistName(int id, const QString &name)
{
    QSqlQuery q;
    q.prepare(QStringLiteral("update PlayList set ListName = :name where IdPlaylist = :id"));
    q.bindValue(QStringLiteral(":name"), LibrarySql::text(name));
    q.bindValue(QStringLiteral(":id"), id);
    return q.exec() || failed(q);
}

bool DatabaseHelper::deletePlaylist(int id)
{
    QSqlQuery q;
    q.prepare(QStringLiteral("DELETE FROM PlayList WHERE IdPlayList = :id"));
    q.bindValue(QStringLiteral(":id"), id);
    if (!q.exec())
        return failed(q);
    qDebug() << "Deleting succesfull";
    return true;
}

QList<Playlist> DatabaseHelper::selectPlaylists(bool *ok)
{
    QList<Playlist> lists;
    const QSqlDatabase db = readDb();
    QSqlQuery q(db);
    bool read = q.exec(QStringLiteral("SELECT * FROM PlayList "));
    if (!read)
        failed(q);
    QSqlQuery count(db);
    count.prepare(QStringLiteral("SELECT COUNT(*) as cnt FROM PlayListSongs WHERE IdPlayList=:id"));
    while (read && q.next()) {
        Playlist list;
        list.setId(q.value(QStringLiteral("IdPlayList")).toInt());
        list.setName(q.value(QStringLiteral("ListName")).toString());
        count.bindValue(QStringLiteral(":id"), list.getId());
        read = (count.exec() && count.next()) || failed(count);
        list.setNumsongs(read ? count.value(0).toInt() : 0);
        count.finish();
        lists.append(list);
    }
    if (ok)
        *ok = read;
    return read ? lists : QList<Playlist>();
}

bool DatabaseHelper::insertSongInPlayList(int idSong, int idPlaylist)
{
    QSqlQuery prev;
    prev.prepare(QStringLiteral("SELECT COUNT (*) AS Prev FROM PlayListSongs "
                                "WHERE idPlayList = :idPlay"));
    prev.bindValue(QStringLiteral(":idPlay"), idPlaylist);
    int seq = 1;
    if (!prev.exec())
        failed(prev);
    else if (prev.next())
        seq = prev.value(0).toInt();
    prev.finish();

    QSqlQuery q;
    q.prepare(QStringLiteral("INSERT INTO PlayListSongs (IdPlayList,SeqNum,IdSong) "
                             "VALUES (:idPlay, :seq, :idSong)"));
    q.bindValue(QStringLiteral(":idPlay"), idPlaylist);
    q.bindValue(QStringLiteral(":seq"), seq);
    q.bindValue(QStringLiteral(":idSong"), idSong);
    return q.exec() || failed(q);
}

bool DatabaseHelper::reorderSongIntoPlaylist(int idPlaylist, const QList<SongInfo> &songs)
{
    // The old order is given back unless every new row made it.
    LibrarySql::Savepoint savepoint(QSqlDatabase::database(), "reorderPlaylist");
    if (!savepoint.isOpen())
        return false;
    QSqlQuery q;
    q.prepare(QStringLiteral("DELETE FROM PlayListSongs WHERE idPlayList = :idPlay"));
    q.bindValue(QStringLiteral(":idPlay"), idPlaylist);
    if (!q.exec())
        return failed(q);
    for (const SongInfo &song : songs) {
        if (!insertSongInPlayList(int(song.idSong), idPlaylist))
            return false;
    }
    return savepoint.release();
}

QList<SongInfo> DatabaseHelper::getPlaylistSongs(int idPlaylist)
{
    QSqlQuery q(readDb());
    q.setForwardOnly(true);
    if (!q.prepare(sqlPlaylistSongs)) {
        failed(q);
        return {};
    }
    q.bindValue(QStringLiteral(":idPlay"), idPlaylist);
    if (!q.exec()) {
        failed(q);
        return {};
    }
    return LibrarySql::readSongs(q);
}
