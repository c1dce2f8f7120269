// Keeps typing into the title search quick on a large library. A text that
// few titles contain makes SQLite read the whole song table at every
// keystroke; but every title containing a longer text also contains the
// shorter one. So once a search's whole result is known (the list read it
// to its end), a text that contains that search's text looks only among its
// songs. What is remembered holds only while the library stays as it was
// (no change on this connection or by another process since) and is dropped
// by any other statement.
//
// The statement searched must end in its WHERE condition on the title, with
// the songs' id as "Songs.IdSong" and as the first column of its rows.
#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

class QSqlQueryModel;

class SearchNarrowing
{
public:
    // The most songs a remembered result holds; a larger one is not kept.
    static constexpr int kMaxSongs = 1000;

    // The statement to run for `text`: `sql`, or `sql` restricted to the
    // songs of the remembered result when that answers a text contained in
    // `text` with the same statement.
    QString statementFor(const QString &sql, const QString &text, const QSqlDatabase &db) const;
    // After `model` ran `sql` for `text`: its result is remembered when it is
    // whole, anything remembered before is dropped.
    void remember(const QString &sql, const QString &text, QSqlQueryModel &model, const QSqlDatabase &db);
    void forget();

private:
    // What tells whether the library changed since.
    static QString libraryState(const QSqlDatabase &db);

    QString m_sql;
    QString m_text;
    QString m_state;
    QString m_songs; // "1,5,9"
};
