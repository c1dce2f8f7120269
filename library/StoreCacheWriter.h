// Writes the records of a big store answer into one of the store caches,
// one slice at a time: each slice is one transaction over one statement
// prepared once, so that the caller can give the event loop its turn
// between slices.
#pragma once

#include "LibraryRecords.h"
#include "LibrarySql.h"
#include "SongInfo.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <memory>

class StoreCacheWriter
{
public:
    // `table`: "MDSearchTitle" or "MDNews" (songs), "MDSearchGenArt"
    // (artists and genres).
    StoreCacheWriter(const QSqlDatabase &db, const char *table);
    ~StoreCacheWriter();

    // A slice: open, add records, close. A slice not closed is given back.
    bool openSlice();
    bool add(const SongInfo &song);
    bool add(const Genres &record);
    bool closeSlice();

private:
    QSqlDatabase db;
    QSqlQuery insert;
    bool prepared = false;
    std::unique_ptr<LibrarySql::Savepoint> slice;
};
