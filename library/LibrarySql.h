// Helpers shared by the library's operations: the failure log line, a
// savepoint that nests, and the reading of song rows into SongInfo records.
#pragma once

#include "SongInfo.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

class QSqlQuery;
class QSqlRecord;

namespace LibrarySql {

// Logs "SqLite error:" with the query's error text and keeps the error as
// the last failure (see lastFailure); always false.
bool failed(const QSqlQuery &q);

// The error of the last statement failed() was told of on this thread.
QSqlError lastFailure();

// A null QString binds as NULL, which equals nothing: an untagged file's
// empty artist would make a new artist row for every song. Texts are bound
// through this, so empty is always ''.
inline QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

// SAVEPOINT on open, ROLLBACK TO on destruction unless released. Unlike
// BEGIN it also works inside an open transaction (a rebuild).
class Savepoint
{
public:
    Savepoint(QSqlDatabase db, const char *name);
    ~Savepoint();
    Savepoint(const Savepoint &) = delete;
    Savepoint &operator=(const Savepoint &) = delete;

    bool isOpen() const { return open; }
    // Makes the work permanent (or part of the enclosing transaction).
    bool release();
    void rollback();

private:
    bool run(const QString &sql);
    // The same for the statements that give the work back: their own
    // failure ("no such savepoint" once SQLite has rolled back already) must
    // not hide why the work failed.
    void runKeepingFailure(const QString &sql);

    QSqlDatabase db;
    QString name;
    bool open = false;
};

// Which columns a song row carries: the library's, or a store cache's.
enum class RowKind { Library, Store };

// Reads every remaining row of an executed query by column name; a column the
// statement lacks leaves its field empty.
QList<SongInfo> readSongs(QSqlQuery &q, RowKind kind = RowKind::Library);
// The same for one library row already read (a table model's record).
SongInfo songOf(const QSqlRecord &record);

} // namespace LibrarySql
