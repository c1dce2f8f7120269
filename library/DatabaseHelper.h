// Owner of the song library's storage: the song folder, the library database
// file (made from the template resource) and two in-memory databases.
#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>

class DatabaseHelper : public QObject
{
    Q_OBJECT
public:
    // Sets the query texts and the folders; opens nothing.
    DatabaseHelper();
    ~DatabaseHelper() override;

    // Makes sure the song folder and the library file exist; false when the
    // file could not be made.
    bool initDb();
    // Opens the drive index and store databases in memory and the library
    // file on the default connection; false when the file does not open.
    bool connect();

    const QString &getLibraryFolder() const { return libraryFolder; }

    // Read directly by the library browser.
    QSqlDatabase driveIdxDb;
    QSqlDatabase mdDb;

    QString sqlSongsByTitle;
    QString sqlMDNews;
    QString sqlRecentSongs;
    QString sqlDownloadedSongs;
    QString sqlPlaylistSongs;
    QString sqlArtists;
    QString sqlGenres;
    QString sqlSongsOfArtist;
    QString sqlSongsOfGenre;
    QString sqlTitleFilter;
    QString sqlTitleFilterWithMD;
    QString sqlMDSearchTitle;
    QString sqlArtistNameFilter;
    QString sqlGenreNameFilter;
    QString sqlArtistFilter;
    QString sqlArtistFilterWithMD;
    QString sqlGenreFilter;
    QString sqlGenreFilterWithMD;

    QSqlDatabase libraryDb;

private:
    bool copyTemplate(const QString &dbPath);
    void checkLibraryTables();

    QString documentsPath;
    QString libraryFolder;
};
