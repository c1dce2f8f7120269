#include "StoreCacheWriter.h"

#include "DatabaseHelper.h"

#include <QVariant>

using LibrarySql::failed;

StoreCacheWriter::StoreCacheWriter(const QSqlDatabase &database, const char *table)
    : db(database), insert(database)
{
    prepared = qstrcmp(table, "MDSearchGenArt") != 0
                   ? DatabaseHelper::prepareMDSong(insert, table)
                   : insert.prepare(QStringLiteral("INSERT INTO MDSearchGenArt(Id, Nome, NumSongs) VALUES (?, ?, ?)"))
                         || failed(insert);
}

StoreCacheWriter::~StoreCacheWriter() = default;

bool StoreCacheWriter::openSlice()
{
    slice = std::make_unique<LibrarySql::Savepoint>(db, "store_slice");
    return prepared && slice->isOpen();
}

bool StoreCacheWriter::add(const SongInfo &song)
{
    return DatabaseHelper::execMDSong(insert, song);
}

bool StoreCacheWriter::add(const Genres &record)
{
    insert.bindValue(0, record.getId());
    insert.bindValue(1, LibrarySql::text(record.getName()));
    insert.bindValue(2, record.getNumsongs());
    return insert.exec() || failed(insert);
}

bool StoreCacheWriter::closeSlice()
{
    const bool ok = slice && slice->release();
    slice.reset();
    return ok;
}
