// Removal of songs, artists and genres, the rebuild from the song folder,
// and the in-memory index of song files found on a drive.
#include "DatabaseHelper.h"
#include "LibrarySql.h"
#include "SafeSave.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>

using LibrarySql::failed;

namespace {

// The playlist entries of songs a removal takes: a playlist plays and
// counts only what the library still holds.
bool dropPlaylistEntries(const QList<int> &songs)
{
    QSqlQuery q;
    q.prepare(QStringLiteral("DELETE FROM PlayListSongs WHERE IdSong = :idSong"));
    for (int id : songs) {
        q.bindValue(QStringLiteral(":idSong"), id);
        if (!q.exec())
            return failed(q);
    }
    return true;
}

} // namespace

bool DatabaseHelper::removeSongFromLibrary(int idSong)
{
    LibrarySql::Savepoint savepoint(QSqlDatabase::database(), "removeSong");
    if (!savepoint.isOpen() || !dropPlaylistEntries({idSong}))
        return false;
    QSqlQuery q;
    q.prepare(QStringLiteral("DELETE FROM Songs WHERE idSong= :idSong"));
    q.bindValue(QStringLiteral(":idSong"), idSong);
    return (q.exec() || failed(q)) && savepoint.release();
}

bool DatabaseHelper::removeArtist(int idArtist)
{
    return removeWithFiles("SELECT innerPath, IdSong FROM Songs WHERE IdArtista=:artistId", ":artistId",
                           "DELETE FROM Artisti WHERE IdArtista= :idArtista", ":idArtista",
                           idArtist);
}

bool DatabaseHelper::removeGenre(int idGenre)
{
    return removeWithFiles("SELECT innerPath, IdSong FROM Songs WHERE IdGenere=:genreId", ":genreId",
                           "DELETE FROM Genere WHERE IdGenere= :idGenere", ":idGenere", idGenre);
}

// The songs go with their artist or genre through the schema's cascade; their
// files are deleted only once the rows are gone.
bool DatabaseHelper::removeWithFiles(const char *selectText, const char *selectBind,
                                     const char *deleteText, const char *deleteBind, int id)
{
    QStringList paths;
    QList<int> songs;
    QSqlQuery select;
    select.setForwardOnly(true);
    select.prepare(QLatin1String(selectText));
    select.bindValue(QLatin1String(selectBind), id);
    if (select.exec()) {
        while (select.next()) {
            paths << select.value(0).toString();
            songs << select.value(1).toInt();
        }
    }
    select.finish();

    LibrarySql::Savepoint savepoint(QSqlDatabase::database(), "removeSongs");
    if (!savepoint.isOpen() || !dropPlaylistEntries(songs))
        return false;
    QSqlQuery remove;
    remove.prepare(QLatin1String(deleteText));
    remove.bindValue(QLatin1String(deleteBind), id);
    if (!remove.exec())
        return failed(remove);
    if (!savepoint.release())
        return false;
    for (const QString &path : paths)
        removeSongFiles(path);
    return true;
}

// Deletes a song file with its own companions only: the CD+G file that goes
// with an MP3 (never the one beside a MIDI song of the same name, which may
// belong to another MP3) and the editors' backup. A path outside the song
// folder was not put there by the program and is left alone.
bool DatabaseHelper::removeSongFiles(const QString &path)
{
    const QString folder = QDir::cleanPath(QDir(libraryFolder).absolutePath()) + QLatin1Char('/');
    const QFileInfo info(path);
    if (path.isEmpty() || !QDir::cleanPath(info.absoluteFilePath()).startsWith(folder)) {
        qDebug().noquote() << "Not removed" << path << "(outside the song folder)";
        return false;
    }
    if (!QFile::remove(path)) {
        qDebug().noquote() << "Not removed" << path;
        return false;
    }
    if (info.suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0) {
        const QString base = path.left(path.size() - 3);
        QFile::remove(base + QLatin1String("cdg"));
        QFile::remove(base + QLatin1String("CDG"));
    }
    QFile::remove(SafeSave::backupPath(path));
    qDebug() << "Removed";
    return true;
}

void DatabaseHelper::prepareForRebuild()
{
    // A second prepare would record the links of the half-rebuilt library
    // over those of the old one, losing every playlist.
    if (rebuilding) {
        qDebug() << "A rebuild is under way already";
        return;
    }
    rebuildSavepoint = std::make_unique<LibrarySql::Savepoint>(QSqlDatabase::database(), "rebuild");
    if (!rebuildSavepoint->isOpen()) {
        rebuildSavepoint.reset();
        return;
    }
    static const char *const steps[] = {
        ("UPDATE PlayListSongs SET FullPath=(SELECT Songs.NomeFile FROM Songs "
         "WHERE PlayListSongs.IdSong=Songs.IdSong)"),
        "DELETE from Songs",
        "DELETE from Artisti",
        "DELETE from Genere",
        "DELETE from Autori",
        "UPDATE sqlite_sequence SET seq = 0 WHERE name = 'Songs'",
    };
    QSqlQuery q;
    for (const char *step : steps) {
        if (!q.exec(QLatin1String(step))) {
            failed(q);
            rebuildSavepoint.reset();
            return;
        }
    }
    rebuilding = true;
}

void DatabaseHelper::finalizeRebuild()
{
    if (!rebuilding)
        return;
    rebuilding = false;
    QSqlQuery q;
    const bool linked = q.exec(QStringLiteral(
        "UPDATE PlayListSongs SET IdSong=(SELECT Songs.IdSong FROM Songs "
        "WHERE PlayListSongs.FullPath=Songs.NomeFile)"));
    if (!linked)
        failed(q);
    q.finish();
    // Without the links the new library would cut every playlist: the old
    // one comes back instead.
    if (!linked || !rebuildSavepoint->release())
        qDebug() << "Rebuild cancelled: the library stays as it was";
    rebuildSavepoint.reset();
}

QList<QUrl> DatabaseHelper::songFolderFiles() const
{
    // Every suffix the program plays: a rebuild that missed one would drop
    // those songs and cut their playlist rows.
    static const QStringList patterns{
        QStringLiteral("*.mid"), QStringLiteral("*.midi"), QStringLiteral("*.kar"),
        QStringLiteral("*.mp3"), QStringLiteral("*.mf3"),  QStringLiteral("*.mf4"),
        QStringLiteral("*.mf5")};
    QList<QUrl> files;
    const QDir dir(libraryFolder);
    for (const QString &name : dir.entryList(patterns, QDir::Files, QDir::Name)) {
        // A save that died halfway is put back before the song is read.
        SafeSave::recover(dir.filePath(name));
        files << QUrl::fromLocalFile(dir.filePath(name));
    }
    return files;
}

bool DatabaseHelper::addFileToIndex(const QString &path)
{
    const QFileInfo info(path);
    const QString file = info.fileName();
    if (!indexInsert) {
        auto q = std::make_unique<QSqlQuery>(driveIdxDb);
        if (!q->prepare(QStringLiteral("insert into indexes (suffix,file, path) "
                                       "values(:suffix,:file,:path)")))
            return false;
        indexInsert = std::move(q);
    }
    QSqlQuery &q = *indexInsert;
    // The folder keeps its own name even when it equals the file's.
    q.bindValue(QStringLiteral(":path"), LibrarySql::text(path.left(path.size() - file.size())));
    q.bindValue(QStringLiteral(":file"), LibrarySql::text(file));
    q.bindValue(QStringLiteral(":suffix"), LibrarySql::text(info.suffix()));
    return q.exec() || failed(q);
}

bool DatabaseHelper::truncateIndexedFilesTable()
{
    return truncate(driveIdxDb, "indexes");
}

bool DatabaseHelper::selectIndexedFiles()
{
    QSqlQuery q(driveIdxDb);
    if (q.exec(QStringLiteral("SELECT * FROM indexes"))) {
        while (q.next())
            qDebug().noquote() << q.value(QStringLiteral("path")).toString();
    }
    return true;
}
