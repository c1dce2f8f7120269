#include "storelisting.h"

#include "DatabaseHelper.h"
#include "StoreCacheWriter.h"
#include "melodromemanager.h"
#include "storeanswer.h"
#include "storereplies.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QMutex>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <atomic>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Records handed over at a time: large enough to cost the reader little
// locking, small enough for the first rows to show at once.
constexpr qsizetype kBatch = 2000;
// The window's share of a slice: the inserts, then the commit.
constexpr qint64 kSliceMs = 10;

} // namespace

struct StoreListing::Shared
{
    QMutex lock;
    QList<QList<SongInfo>> songs;
    QList<QList<Genres>> records;
    bool read = false;
    Phrase unreadable;
    QString md5;
    std::atomic_bool stop{false};
};

StoreListing::StoreListing(Kind listKind, const QByteArray &body, const QByteArray &contentType,
                           const QSqlDatabase &db, const char *table, std::function<bool()> stillWanted,
                           QObject *parent)
    : QObject(parent),
      kind(listKind),
      shared(std::make_shared<Shared>()),
      writer(std::make_unique<StoreCacheWriter>(db, table)),
      wanted(std::move(stillWanted))
{
    connect(this, &StoreListing::more, this, &StoreListing::schedule, Qt::QueuedConnection);
    // The songs the library has from the store, read here: the reader has
    // no connection of its own.
    const DatabaseHelper::StoreSongsOwned owned = kind == StoreArtists || kind == StoreGenres
                                                      ? DatabaseHelper::StoreSongsOwned()
                                                      : DatabaseHelper::storeSongsOwned();
    reader = QThread::create([this, s = shared, body, contentType, owned] {
        const Phrase unreadable = StoreAnswer::reason(body, contentType);
        QString md5;
        QList<SongInfo> songBatch;
        QList<Genres> recordBatch;
        // The last hand-over also says that the reading is over.
        const auto handOver = [&](bool last = false) {
            {
                QMutexLocker locked(&s->lock);
                if (!songBatch.isEmpty())
                    s->songs.append(std::move(songBatch));
                if (!recordBatch.isEmpty())
                    s->records.append(std::move(recordBatch));
                if (last) {
                    s->unreadable = unreadable;
                    s->md5 = md5;
                    s->read = true;
                }
            }
            songBatch = {};
            recordBatch = {};
            emit more();
        };
        const auto takeSong = [&](SongInfo song) {
            song.length = qMax(0, song.length);
            song.bpm = qMax(0, song.bpm);
            song.keySign = song.keySign.trimmed();
            // A song the library has from the store is marked so, at every
            // listing: the store's own mark says only that it is for sale.
            if (!owned.isEmpty() && owned.has(song.ProductId, MelodromeManager::songFileName(song)))
                song.isFromSub = StoreDownloaded;
            songBatch.append(song);
            if (songBatch.size() >= kBatch)
                handOver();
            return !s->stop;
        };
        const auto takeRecord = [&](const Genres &record) {
            recordBatch.append(record);
            if (recordBatch.size() >= kBatch)
                handOver();
            return !s->stop;
        };
        switch (kind) {
        case StoreArtists:
            StoreReplies::readListing(body, QStringLiteral("interpreter"), QStringLiteral("interpreter_id"),
                                      takeRecord);
            break;
        case StoreGenres:
            StoreReplies::readListing(body, QStringLiteral("genre"), QStringLiteral("genre_id"), takeRecord);
            break;
        case SearchSongs:
            StoreReplies::readSearchSongs(body, takeSong);
            break;
        case ListSongs:
            StoreReplies::readListSongs(body, takeSong);
            break;
        case News:
            // Whole or not at all.
            if (!unreadable.isEmpty())
                break;
            md5 = QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex());
            StoreReplies::readSearchSongs(body, takeSong);
            break;
        }
        handOver(true);
    });
}

StoreListing::~StoreListing()
{
    shared->stop = true;
    if (reader) {
        reader->wait();
        delete reader;
    }
    songs = {};
    records = {};
    shared.reset();
#ifdef __GLIBC__
    // The answer and its records were freed in pieces: give their pages
    // back rather than keep the list's high-water mark for the program's
    // life (the thresholds: MemoryPolicy). Off the window's thread: it
    // walks every arena's free memory.
    QThreadPool::globalInstance()->start([] { malloc_trim(0); });
#endif
}

void StoreListing::start()
{
    reader->start();
}

Phrase StoreListing::unreadable() const
{
    QMutexLocker locked(&shared->lock);
    return shared->unreadable;
}

QString StoreListing::md5() const
{
    QMutexLocker locked(&shared->lock);
    return shared->md5;
}

void StoreListing::schedule()
{
    if (scheduled || over)
        return;
    scheduled = true;
    QTimer::singleShot(0, this, [this] {
        scheduled = false;
        writeSlice();
    });
}

// Writes for about kSliceMs, then lets the window have its turn.
void StoreListing::writeSlice()
{
    if (over)
        return;
    if (wanted && !wanted()) {
        end(false);
        return;
    }
    QElapsedTimer clock;
    clock.start();
    bool failed = !writer->openSlice();
    while (!failed && clock.elapsed() < kSliceMs) {
        if (at >= songs.size() && at >= records.size()) {
            QMutexLocker locked(&shared->lock);
            songs = shared->songs.isEmpty() ? QList<SongInfo>() : shared->songs.takeFirst();
            records = shared->records.isEmpty() ? QList<Genres>() : shared->records.takeFirst();
            at = 0;
            if (songs.isEmpty() && records.isEmpty())
                break;
        }
        failed = !(kind == StoreArtists || kind == StoreGenres ? writer->add(records.at(at))
                                                               : writer->add(songs.at(at)));
        ++at;
        ++count;
    }
    failed = !writer->closeSlice() || failed;
    if (failed) {
        end(false);
        return;
    }
    // What the records are shown by runs in a turn of its own, not on top
    // of a slice.
    if (count > 0 && !shown) {
        shown = true;
        QTimer::singleShot(0, this, [this] {
            if (!over && (!wanted || wanted()))
                emit firstRecords();
        });
    }
    bool left;
    bool read;
    {
        QMutexLocker locked(&shared->lock);
        left = !shared->songs.isEmpty() || !shared->records.isEmpty();
        read = shared->read;
    }
    left = left || at < songs.size() || at < records.size();
    if (left)
        schedule();
    else if (read)
        QTimer::singleShot(0, this, [this] { end(true); });
}

void StoreListing::end(bool complete)
{
    if (over)
        return;
    over = true;
    shared->stop = true;
    songs = {};
    records = {};
    emit ended(complete);
}
