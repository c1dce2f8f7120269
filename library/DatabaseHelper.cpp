#include "DatabaseHelper.h"

#include "LibrarySql.h"
#include "resourcepaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QDateTime>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <sqlite3.h>
#include <unistd.h>

namespace {

const char kDbFileName[] = "db_VelmarPC.sqlite";
const char kDriveIdxConnection[] = "driveIdx";
const char kMDdbConnection[] = "MDdb";

} // namespace

namespace {

// Tables of the template that every library operation relies on (the
// store's song caches the library makes itself).
const char *const kLibraryTables[] = {"Songs", "Artisti", "Genere", "Autori", "PlayList",
                                      "PlayListSongs", "MDSearchGenArt"};

const char kHead[] =
    "SELECT IdSong,isFromSub,Titolo,NomeArtista,Durata,Formato,Bpm,keySign AS Key,innerPath "
    "FROM Songs JOIN Artisti ON Songs.IdArtista=Artisti.IdArtista "
    "JOIN Autori ON Songs.IdAutore=Autori.IdAutore "
    "JOIN Genere ON Songs.IdGenere=Genere.IdGenere";

QString head(const char *tail)
{
    return QLatin1String(kHead) + QLatin1Char(' ') + QLatin1String(tail);
}

} // namespace

DatabaseHelper::DatabaseHelper()
    : sqlSongsByTitle(head("ORDER BY Titolo ASC")),
      sqlMDNews(QStringLiteral("SELECT IdSong,isFromSub,Titolo,Artista,Durata,Formato,Bpm,"
                               "keySign AS Key,innerPath,ProductId FROM MDNews")),
      sqlRecentSongs(head("WHERE ultimaRiproduzione > '' ORDER BY ultimaRiproduzione DESC LIMIT :x")),
      sqlDownloadedSongs(head("WHERE isFromSub = 1")),
      sqlPlaylistSongs(QStringLiteral(
          "SELECT  Songs.IdSong,isFromSub,Titolo,NomeArtista,Durata,Formato,Bpm,keySign AS Key,"
          "innerPath FROM Songs JOIN Artisti ON Songs.IdArtista=Artisti.IdArtista "
          "JOIN Autori ON Songs.IdAutore=Autori.IdAutore "
          "JOIN Genere ON Songs.IdGenere=Genere.IdGenere "
          "JOIN PlayListSongs ON Songs.IdSong=PlayListSongs.IdSong "
          "WHERE IdPlayList = :idPlay ORDER BY PlayListSongs.SeqNum")),
      sqlArtists(QStringLiteral("SELECT * FROM Artisti ")),
      sqlGenres(QStringLiteral("SELECT * FROM Genere")),
      sqlSongsOfArtist(head("WHERE Songs.IdArtista =:f")),
      sqlSongsOfGenre(head("WHERE Songs.IdGenere =:f")),
      sqlTitleFilter(head("WHERE Titolo LIKE '%'||:f||'%'")),
      sqlTitleFilterWithMD(head("WHERE Titolo LIKE '%'||:f||'%' UNION SELECT ProductId,isFromSub, "
                                "Titolo,Artista,Durata,Formato,Bpm,keySign AS Key,innerPath "
                                "FROM MDSearchTitle")),
      sqlMDSearchTitle(QStringLiteral(
          "SELECT ProductId,isFromSub, Titolo,Artista as NomeArtista,Durata,Formato,Bpm,"
          "keySign AS Key,innerPath FROM MDSearchTitle")),
      sqlArtistNameFilter(head("WHERE NomeArtista LIKE '%'||:f||'%'")),
      sqlGenreNameFilter(head("WHERE NomeGenere LIKE '%'||:f||'%'")),
      sqlArtistFilter(QStringLiteral("SELECT * FROM Artisti WHERE NomeArtista LIKE '%'||:f||'%'")),
      sqlArtistFilterWithMD(QStringLiteral("SELECT * FROM Artisti WHERE NomeArtista LIKE "
                                           "'%'||:f||'%' UNION SELECT * FROM MDSearchGenArt")),
      sqlGenreFilter(QStringLiteral("SELECT * FROM Genere WHERE NomeGenere LIKE '%'||:f||'%'")),
      sqlGenreFilterWithMD(QStringLiteral("SELECT * FROM Genere WHERE NomeGenere LIKE "
                                          "'%'||:f||'%' UNION SELECT * FROM MDSearchGenArt")),
      documentsPath(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)),
      libraryFolder(documentsPath + QStringLiteral("/VelmarPC/"))
{
}

DatabaseHelper::~DatabaseHelper()
{
    // A rebuild that never finished gives the old library back.
    rebuildSavepoint.reset();
    indexInsert.reset();
    QStringList names{driveIdxDb.connectionName(), mdDb.connectionName(),
                      libraryDb.connectionName()};
    names += copyConnections;
    driveIdxDb = QSqlDatabase();
    mdDb = QSqlDatabase();
    libraryDb = QSqlDatabase();
    for (const QString &name : names) {
        if (!name.isEmpty())
            QSqlDatabase::removeDatabase(name);
    }
}

bool DatabaseHelper::initDb()
{
    QDir dir(libraryFolder);
    if (!dir.exists()) {
        // The documents folder itself may be missing on a fresh Linux account.
        const bool created = dir.mkpath(QStringLiteral("."));
        qDebug().nospace() << "Library folder made: " << created;
    }

    const QString dbPath = libraryFolder + QLatin1String(kDbFileName);
    const QFileInfo info(dbPath);
    if (info.exists()) {
        // An empty file holds no songs: it is what a crash during a first copy
        // by an older version leaves, and SQLite would open it as a library
        // without tables forever.
        if (!(info.isFile() && info.size() == 0)) {
            qDebug().nospace() << "Library database found: " << true;
            // A library left without write permission would refuse every new
            // song; only the bits are changed, never the content.
            const QFileDevice::Permissions perms = info.permissions();
            if (info.isFile() && !(perms & QFileDevice::WriteOwner)
                && !QFile::setPermissions(dbPath, perms | QFileDevice::ReadOwner
                                                      | QFileDevice::WriteOwner
                                                      | QFileDevice::ReadUser
                                                      | QFileDevice::WriteUser))
                qWarning().noquote() << "The library database" << dbPath << "is not writable";
            return true;
        }
        qWarning().noquote() << "The library database" << dbPath << "is empty: made again from the template";
        if (!QFile::remove(dbPath))
            return false;
    }

    if (!copyTemplate(dbPath))
        return false;
    qDebug().nospace() << "Library database made: " << QFile::exists(dbPath);
    return true;
}

// Copies the template beside the target under a fixed temporary name, makes it
// private and writable, forces it to disk and only then gives it its name, so
// that no crash leaves a half-copied library and no existing file is replaced.
bool DatabaseHelper::copyTemplate(const QString &dbPath)
{
    const QString partPath = dbPath + QStringLiteral(".part");
    QFile::remove(partPath);

    QFile source{QString::fromLatin1(ResourcePaths::templateDatabase)};
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = source.readAll();
    if (data.isEmpty())
        return false;

    QFile part(partPath);
    bool ok = part.open(QIODevice::WriteOnly | QIODevice::NewOnly)
              && part.write(data) == data.size() && part.flush()
              && ::fsync(part.handle()) == 0;
    part.close();
    ok = ok && part.setPermissions(QFileDevice::ReadUser | QFileDevice::WriteUser)
         && QFile::rename(partPath, dbPath);
    if (!ok)
        QFile::remove(partPath);
    return ok;
}

bool DatabaseHelper::connect()
{
    driveIdxDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                           QLatin1String(kDriveIdxConnection));
    driveIdxDb.setDatabaseName(QStringLiteral(":memory:"));
    if (driveIdxDb.open()) {
        QSqlQuery q(driveIdxDb);
        q.exec(QStringLiteral("CREATE TABLE indexes (suffix TEXT,file TEXT,path TEXT);"));
    }

    mdDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kMDdbConnection));
    mdDb.setDatabaseName(QStringLiteral(":memory:"));
    if (mdDb.open()) {
        QSqlQuery q(mdDb);
        for (const char *table : {"MDNews", "MDSearchTitle"})
            q.exec(storeSongTable(table));
    }

    libraryDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    libraryDb.setDatabaseName(libraryFolder + QLatin1String(kDbFileName));
    if (!libraryDb.open())
        return false;
    const QVariant handle = libraryDb.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        sqlite3_busy_handler(*static_cast<sqlite3 *const *>(handle.constData()), &DatabaseHelper::waitBriefly, this);

    QSqlQuery q;
    q.exec(QStringLiteral("PRAGMA foreign_keys = ON;"));
    // A search as the user types reads the whole song table; SQLite's
    // default 2 MB cache would read a large library from the system again at
    // every keystroke.
    q.exec(QStringLiteral("PRAGMA cache_size = -32768"));
    setUpTables();
    return true;
}

void DatabaseHelper::setUpTables()
{
    setUpWhenFree = false;
    if (checkLibraryTables()) {
        QSqlQuery q;
        for (const char *table : {"MDNews", "MDSearchTitle"}) {
            if (!q.exec(storeSongTable(table)))
                LibrarySql::failed(q);
        }
        if (!q.exec(QLatin1String(storeSongsTable)))
            LibrarySql::failed(q);
        addLookupIndexes();
        mendOlderRows();
    } else if (held) {
        setUpWhenFree = true;
    }
}

// Runs on the thread of the statement that waits, the window's: it waits
// briefly for a moment's write of another program, never for a holder.
int DatabaseHelper::waitBriefly(void *helper, int tries)
{
    auto *self = static_cast<DatabaseHelper *>(helper);
    if (self->held)
        return 0;
    if (tries == 0)
        self->busyFor.start();
    const qint64 left = kBusyWaitMs - self->busyFor.elapsed();
    if (left <= 0) {
        self->held = true;
        qWarning().noquote() << "The library file is held by another program:" << self->libraryDb.databaseName();
        return 0;
    }
    QThread::msleep(ulong(std::min<qint64>(left, 5)));
    return 1;
}

bool DatabaseHelper::tryFree()
{
    if (!held)
        return true;
    // Fails at once while the file is held: the handler does not wait.
    QSqlQuery probe(libraryDb);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        return false;
    probe.finish();
    held = false;
    qInfo().noquote() << "The library file is free again";
    if (setUpWhenFree)
        setUpTables();
    return true;
}

// A file that opens but is no song library (another program's database, a
// damaged file) is reported and left untouched: it may hold the user's data.
bool DatabaseHelper::checkLibraryTables()
{
    QSqlQuery q;
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))) {
        qCritical().noquote() << "The library database" << libraryDb.databaseName()
                              << "cannot be read as a library:" << q.lastError().text();
        return false;
    }
    QStringList present;
    while (q.next())
        present << q.value(0).toString();
    QStringList missing;
    for (const char *table : kLibraryTables) {
        if (!present.contains(QLatin1String(table)))
            missing << QLatin1String(table);
    }
    if (missing.isEmpty())
        return true;
    qCritical().noquote() << "The library database" << libraryDb.databaseName()
                          << "is no song library, tables missing:"
                          << missing.join(QLatin1Char(','));
    return false;
}

// MIDI songs without a tempo event were once listed at 1 BPM; they play at
// 120. A tempo event gives 3 BPM at the slowest.
void DatabaseHelper::mendOlderRows()
{
    QSqlQuery q;
    if (!q.exec(QStringLiteral("UPDATE Songs SET Bpm = 120 WHERE Bpm = 1 AND Formato = 'MIDI'")))
        LibrarySql::failed(q);
}

// Lookup indexes, added to libraries of every age; they change no content.
// Without them registration checks the whole song table for the path, and
// every artist, genre or author a removal or rebuild deletes makes SQLite
// scan it again for the cascade.
void DatabaseHelper::addLookupIndexes()
{
    static const char *const indexes[] = {
        "CREATE INDEX IF NOT EXISTS SongsInnerPath ON Songs (innerPath)",
        "CREATE INDEX IF NOT EXISTS SongsArtista ON Songs (IdArtista)",
        "CREATE INDEX IF NOT EXISTS SongsGenere ON Songs (IdGenere)",
        "CREATE INDEX IF NOT EXISTS SongsAutore ON Songs (IdAutore)",
        "CREATE INDEX IF NOT EXISTS PlayListSongsList ON PlayListSongs (IdPlayList, SeqNum)",
        // The song list in title order, shown again whenever a search is emptied.
        "CREATE INDEX IF NOT EXISTS SongsTitolo ON Songs (Titolo)",
        // The songs from the store, looked up at every store list.
        "CREATE INDEX IF NOT EXISTS SongsFromSub ON Songs (isFromSub)",
    };
    QSqlQuery q;
    for (const char *sql : indexes) {
        if (!q.exec(QLatin1String(sql)))
            LibrarySql::failed(q);
    }
}

// SQLite's code says a write was refused or the disk failed; a file made
// read-only while open (chattr +i, a read-only mount) reaches SQLite as an
// I/O error, so the file and its folder (where the journal goes) are asked.
DatabaseHelper::Refusal DatabaseHelper::lastRefusal() const
{
    const int code = LibrarySql::lastFailure().nativeErrorCode().toInt() & 0xff;
    if (code == SQLITE_BUSY)
        return Refusal::Busy;
    if (code == SQLITE_READONLY)
        return Refusal::ReadOnly;
    if (code == SQLITE_FULL)
        return Refusal::DiskFull;
    if (code != SQLITE_IOERR && code != SQLITE_CANTOPEN)
        return Refusal::Other;
    for (const QString &path : {libraryDb.databaseName(), libraryFolder}) {
        if (::access(QFile::encodeName(path).constData(), W_OK) != 0
            && (errno == EACCES || errno == EPERM || errno == EROFS))
            return Refusal::ReadOnly;
    }
    return Refusal::DiskError;
}

QString DatabaseHelper::lastFailureText() const
{
    return LibrarySql::lastFailure().text();
}

QSqlDatabase DatabaseHelper::readDb()
{
    const QString file = libraryDb.databaseName();
    const QString journal = file + QStringLiteral("-journal");
    // The usual road: no change under way, or none left behind.
    if (!QFileInfo::exists(journal))
        return libraryDb;
    {
        // Not told as a failure: it would hide why a write failed. A file
        // another program holds is no change to put back: read as it is.
        QSqlQuery probe(libraryDb);
        if (probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))
            || (probe.lastError().nativeErrorCode().toInt() & 0xff) == SQLITE_BUSY)
            return libraryDb;
    }
    const auto state = [](const QString &path) {
        const QFileInfo info(path);
        return QString::number(info.size()) + QLatin1Char('@')
               + QString::number(info.lastModified().toMSecsSinceEpoch());
    };
    const QString now = state(file) + QLatin1Char(' ') + state(journal);
    if (now == copyOf && !copyConnections.isEmpty())
        return QSqlDatabase::database(copyConnections.last(), false);

    if (!copyFolder)
        copyFolder = std::make_unique<QTemporaryDir>();
    const QString name = QStringLiteral("libraryCopy%1").arg(++copies);
    const QString copy = copyFolder->filePath(name + QStringLiteral(".sqlite"));
    const auto writable = [](const QString &path) {
        return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    };
    bool made = copyFolder->isValid() && QFile::copy(file, copy) && writable(copy)
                && QFile::copy(journal, copy + QStringLiteral("-journal"))
                && writable(copy + QStringLiteral("-journal"));
    if (made) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(copy);
        QSqlQuery rollBack(db);
        // The first read puts the change back from the journal.
        made = db.open() && rollBack.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    }
    if (!made) {
        qWarning().noquote() << "The library file cannot be read and no copy of it can be made in"
                             << copyFolder->path();
        if (QSqlDatabase::contains(name))
            QSqlDatabase::removeDatabase(name);
        QFile::remove(copy);
        QFile::remove(copy + QStringLiteral("-journal"));
        return libraryDb;
    }
    qWarning().noquote() << "The library file cannot be read until a change it refused is put back:"
                            " its lists are read from a copy";
    while (copyConnections.size() > 1) {
        const QString old = copyConnections.takeFirst();
        QSqlDatabase::removeDatabase(old);
        QFile::remove(copyFolder->filePath(old + QStringLiteral(".sqlite")));
    }
    copyConnections << name;
    copyOf = now;
    return QSqlDatabase::database(name, false);
}
