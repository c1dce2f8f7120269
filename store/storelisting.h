// One big store answer listed on the library page: the artists or genres of
// a search, the songs of a title search, or the songs of a store artist or
// genre. The answer is judged and parsed on a thread of its own and handed
// over in batches as it is read; the window's thread writes them into the
// cache in short slices of one prepared statement and turns its event loop
// between slices, so the window never stands still for the answer's size.
// Dropping the listing, or the page no longer wanting it, stops the reading
// and the writing at the next record. The store's news are listed the same
// way into a staging table of their own, which the caller puts in place once
// all is in; an answer that cannot be read whole writes nothing. A song the
// library already has from the store (by its key, see
// DatabaseHelper::keepStoreSong) is cached as downloaded.
#pragma once

#include "LibraryRecords.h"
#include "SongInfo.h"
#include "phrase.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSqlDatabase>

#include <functional>
#include <memory>

class QThread;
class StoreCacheWriter;

class StoreListing : public QObject
{
    Q_OBJECT
public:
    enum Kind { StoreArtists, StoreGenres, SearchSongs, ListSongs, News };

    // Fills `table` of `db` ("MDSearchGenArt" for artists and genres,
    // "MDSearchTitle" for songs) from `body`; `contentType` is the reply's.
    // `wanted` is asked before every slice: false ends the listing.
    StoreListing(Kind kind, const QByteArray &body, const QByteArray &contentType, const QSqlDatabase &db,
                 const char *table, std::function<bool()> wanted, QObject *parent = nullptr);
    // Stops the reader and waits for it.
    ~StoreListing() override;

    void start();
    // Gives the listing up: ended(false) at once, nothing more written.
    void stop() { end(false); }
    qsizetype written() const { return count; }
    // Why the answer could not be read whole (see StoreAnswer); known once
    // the listing has ended.
    Phrase unreadable() const;
    // The news answer's MD5 in hex, known once the listing has ended.
    QString md5() const;

signals:
    // The first records are in the cache.
    void firstRecords();
    // Every record is in (`complete`), or the listing was given up: no
    // longer wanted, or the cache refused a write.
    void ended(bool complete);
    // From the reader: more records wait.
    void more();

private:
    struct Shared;
    void schedule();
    void writeSlice();
    void end(bool complete);

    Kind kind;
    std::shared_ptr<Shared> shared;
    std::unique_ptr<StoreCacheWriter> writer;
    std::function<bool()> wanted;
    QThread *reader = nullptr;
    QList<SongInfo> songs;
    QList<Genres> records;
    qsizetype at = 0;
    qsizetype count = 0;
    bool scheduled = false;
    bool shown = false;
    bool over = false;
};
