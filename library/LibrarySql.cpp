#include "LibrarySql.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <utility>
#include <vector>

namespace LibrarySql {

namespace {
thread_local QSqlError g_lastFailure;
}

bool failed(const QSqlQuery &q)
{
    g_lastFailure = q.lastError();
    qDebug() << "SqLite error:" << g_lastFailure.text();
    return false;
}

QSqlError lastFailure()
{
    return g_lastFailure;
}

Savepoint::Savepoint(QSqlDatabase database, const char *savepointName)
    : db(std::move(database)), name(QString::fromLatin1(savepointName))
{
    open = run(QStringLiteral("SAVEPOINT ") + name);
}

Savepoint::~Savepoint()
{
    rollback();
}

bool Savepoint::release()
{
    if (!open)
        return false;
    open = false;
    if (run(QStringLiteral("RELEASE ") + name))
        return true;
    // Nothing may stay half done: a release that fails (a full disk at the
    // commit) gives the work back.
    runKeepingFailure(QStringLiteral("ROLLBACK TO ") + name);
    runKeepingFailure(QStringLiteral("RELEASE ") + name);
    return false;
}

void Savepoint::rollback()
{
    if (!open)
        return;
    open = false;
    // After an I/O error SQLite may already have rolled the whole transaction
    // back; the savepoint is then gone and these fail harmlessly.
    runKeepingFailure(QStringLiteral("ROLLBACK TO ") + name);
    runKeepingFailure(QStringLiteral("RELEASE ") + name);
}

bool Savepoint::run(const QString &sql)
{
    QSqlQuery q(db);
    return q.exec(sql) || failed(q);
}

void Savepoint::runKeepingFailure(const QString &sql)
{
    const QSqlError why = g_lastFailure;
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        qDebug() << "SqLite error:" << q.lastError().text();
        g_lastFailure = why;
    }
}

namespace {

using Setter = void (*)(SongInfo &, const QVariant &);
struct Column {
    const char *name;
    Setter set;
};

void setTitle(SongInfo &s, const QVariant &v) { s.title = v.toString(); }
void setFormat(SongInfo &s, const QVariant &v) { s.format = v.toString(); }
void setKey(SongInfo &s, const QVariant &v) { s.keySign = v.toString(); }
void setLength(SongInfo &s, const QVariant &v) { s.length = v.toInt(); }
void setBpm(SongInfo &s, const QVariant &v) { s.bpm = v.toInt(); }
void setPath(SongInfo &s, const QVariant &v) { s.innerPath = v.toString(); }
void setId(SongInfo &s, const QVariant &v) { s.idSong = v.toUInt(); }

const Column kLibraryColumns[] = {
    {"IdSong", setId},
    {"isFromSub", [](SongInfo &s, const QVariant &v) { s.isFromSub = v.toBool() ? 1 : 0; }},
    {"Titolo", setTitle},
    {"NomeArtista", [](SongInfo &s, const QVariant &v) { s.artist = v.toString(); }},
    {"NomeAutore", [](SongInfo &s, const QVariant &v) { s.author = v.toString(); }},
    {"NomeGenere", [](SongInfo &s, const QVariant &v) { s.genre = v.toString(); }},
    {"Formato", setFormat},
    {"keySign", setKey},
    {"Key", setKey},
    {"Durata", setLength},
    {"Bpm", setBpm},
    {"innerPath", setPath},
};

// The download state (3 to 5) lives in isFromSub, so it is read whole.
const Column kStoreColumns[] = {
    {"IdSong", setId},
    {"ProductId", [](SongInfo &s, const QVariant &v) { s.ProductId = v.toInt(); }},
    {"isFromSub", [](SongInfo &s, const QVariant &v) { s.isFromSub = v.toUInt(); }},
    {"Titolo", setTitle},
    {"Artista", [](SongInfo &s, const QVariant &v) { s.artist = v.toString(); }},
    {"Autore", [](SongInfo &s, const QVariant &v) { s.author = v.toString(); }},
    {"Genere", [](SongInfo &s, const QVariant &v) { s.genre = v.toString(); }},
    {"Formato", setFormat},
    {"keySign", setKey},
    {"Durata", setLength},
    {"Bpm", setBpm},
    {"innerPath", setPath},
};

template <size_t N>
std::vector<std::pair<int, Setter>> present(const QSqlRecord &record, const Column (&columns)[N])
{
    std::vector<std::pair<int, Setter>> found;
    for (const Column &c : columns) {
        const int index = record.indexOf(QLatin1String(c.name));
        if (index >= 0)
            found.emplace_back(index, c.set);
    }
    return found;
}

} // namespace

QList<SongInfo> readSongs(QSqlQuery &q, RowKind kind)
{
    const QSqlRecord record = q.record();
    const auto columns = kind == RowKind::Library ? present(record, kLibraryColumns)
                                                  : present(record, kStoreColumns);
    QList<SongInfo> songs;
    while (q.next()) {
        SongInfo song;
        for (const auto &[index, set] : columns)
            set(song, q.value(index));
        songs.append(song);
    }
    return songs;
}

SongInfo songOf(const QSqlRecord &record)
{
    SongInfo song;
    for (const auto &[index, set] : present(record, kLibraryColumns))
        set(song, record.value(index));
    return song;
}

} // namespace LibrarySql
