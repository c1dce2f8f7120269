#include "StoreCacheWriter.h"

#include <QVariant>

using LibrarySql::failed;

StoreCacheWriter::StoreCacheWriter(const QSqlDatabase &database, const char *table)
    : db(database), insert(database)
{
    const bool listing = qstrcmp(table, "MDSearchGenArt") == 0;
    prepared = insert.prepare(
        listing ? QStringLiteral("INSERT INTO MDSearchGenArt(Id, Nome, NumSongs) VALUES (?, ?, ?)")
                : QStringLiteral("INSERT INTO %1(IdSong, ProductId, isFromSub, Genere, Artista, Autore, "
                                 "Titolo, innerPath, Formato, Bpm, keySign, Durata) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                      .arg(QLatin1String(table)));
    if (!prepared)
        failed(insert);
}

StoreCacheWriter::~StoreCacheWriter() = default;

bool StoreCacheWriter::openSlice()
{
    slice = std::make_unique<LibrarySql::Savepoint>(db, "store_slice");
    return prepared && slice->isOpen();
}

bool StoreCacheWriter::add(const SongInfo &song)
{
    using LibrarySql::text;
    insert.bindValue(0, song.idSong);
    insert.bindValue(1, song.ProductId);
    insert.bindValue(2, song.isFromSub);
    insert.bindValue(3, text(song.genre));
    insert.bindValue(4, text(song.artist));
    insert.bindValue(5, text(song.author));
    insert.bindValue(6, text(song.title));
    insert.bindValue(7, text(song.innerPath));
    insert.bindValue(8, text(song.format));
    insert.bindValue(9, song.bpm);
    insert.bindValue(10, text(song.keySign));
    insert.bindValue(11, song.length);
    return insert.exec() || failed(insert);
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
