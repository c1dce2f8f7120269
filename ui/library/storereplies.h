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

namespace StoreReplies {

// Genres ("genre", "genre_id") or artists ("interpreter", "interpreter_id"):
// a record opens at its element and is complete at "num_songs".
QList<Genres> readListing(const QByteArray &body, const QString &openElement,
                          const QString &idElement);
// Songs of a title search: a song is complete at "download" (status 2).
QList<SongInfo> readSearchSongs(const QByteArray &body);
// Songs of a store artist or genre: every "song" under the document's first
// element "list"; nothing when the document is not a store message.
QList<SongInfo> readListSongs(const QByteArray &body);
// One song's details; "download" is the number of times it was bought.
SongInfo readSongInfo(const QByteArray &body);

// "mm′ss″" with the minutes modulo 60.
QString lengthText(int seconds);

// application/x-www-form-urlencoded, every reserved character escaped
// ("+" and "&" in a value survive a standard decoder).
QByteArray formBody(const QList<QPair<QString, QString>> &fields);

} // namespace StoreReplies
