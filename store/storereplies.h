// Readers of the store's XML replies to the library page's requests, and the
// form body those requests carry. Elements are matched by name at any depth;
// a body that is not well-formed ends the reading at the fault and keeps the
// records completed before it. Each record starts empty, so a field that one
// song lacks never carries over from the song before.
#pragma once

#include "LibraryRecords.h"
#include "SongInfo.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

namespace StoreReplies {

// Each reader hands every record to `take` as soon as it is complete, and
// stops when `take` returns false.
using TakeListing = std::function<bool(const Genres &record)>;
using TakeSong = std::function<bool(const SongInfo &song)>;

// Genres ("genre", "genre_id") or artists ("interpreter", "interpreter_id"):
// a record opens at its element and is complete at "num_songs".
void readListing(const QByteArray &body, const QString &openElement, const QString &idElement,
                 const TakeListing &take);
// Songs of a title search: a song is complete at "download" (status 2).
void readSearchSongs(const QByteArray &body, const TakeSong &take);
// Songs of a store artist or genre: every "song" under the document's first
// element "list"; nothing when the document is not a store message.
void readListSongs(const QByteArray &body, const TakeSong &take);
// One song's details; "download" is the number of times it was bought.
SongInfo readSongInfo(const QByteArray &body);

// "mm′ss″" with the minutes modulo 60.
QString lengthText(int seconds);

// application/x-www-form-urlencoded, every reserved character escaped
// ("+" and "&" in a value survive a standard decoder).
QByteArray formBody(const QList<QPair<QString, QString>> &fields);

} // namespace StoreReplies
