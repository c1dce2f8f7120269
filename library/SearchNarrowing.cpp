#include "SearchNarrowing.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>

QString SearchNarrowing::libraryState(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    QString state;
    // Changes made through this connection, and by any other since it opened.
    if (q.exec(QStringLiteral("SELECT total_changes()")) && q.next())
        state = q.value(0).toString();
    if (q.exec(QStringLiteral("PRAGMA data_version")) && q.next())
        state += QLatin1Char('/') + q.value(0).toString();
    return state;
}

QString SearchNarrowing::statementFor(const QString &sql, const QString &text, const QSqlDatabase &db) const
{
    if (m_sql.isEmpty() || sql != m_sql || !text.contains(m_text) || libraryState(db) != m_state)
        return sql;
    return sql + QStringLiteral(" AND Songs.IdSong IN (") + m_songs + QLatin1Char(')');
}

void SearchNarrowing::remember(const QString &sql, const QString &text, QSqlQueryModel &model,
                               const QSqlDatabase &db)
{
    forget();
    if (text.isEmpty() || model.lastError().isValid() || model.canFetchMore() || model.rowCount() > kMaxSongs)
        return;
    QStringList songs;
    for (int row = 0; row < model.rowCount(); ++row)
        songs << QString::number(model.index(row, 0).data().toLongLong());
    m_songs = songs.join(QLatin1Char(','));
    m_sql = sql;
    m_text = text;
    m_state = libraryState(db);
}

void SearchNarrowing::forget()
{
    m_sql.clear();
    m_text.clear();
    m_state.clear();
    m_songs.clear();
}
