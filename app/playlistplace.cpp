#include "playlistplace.h"

namespace {

// Where each entry of `before` stands in `now` (-1: taken out), for an edit
// that only took entries out or added some at the end. An entry not found
// after the last one matched is looked for before it, so that an edit of
// another kind still keeps most entries.
QList<int> matchEntries(const QList<uint> &before, const QList<uint> &now)
{
    QList<int> to(before.size(), -1);
    QList<bool> taken(now.size(), false);
    int from = 0;
    for (int i = 0; i < before.size(); ++i) {
        int at = -1;
        for (int j = from; j < now.size() && at < 0; ++j)
            at = !taken.at(j) && now.at(j) == before.at(i) ? j : -1;
        for (int j = 0; j < from && at < 0; ++j)
            at = !taken.at(j) && now.at(j) == before.at(i) ? j : -1;
        if (at >= 0) {
            to[i] = at;
            taken[at] = true;
            from = at + 1;
        }
    }
    return to;
}

} // namespace

void PlaylistPlace::start(int playlistId, const QList<uint> &entries, int index)
{
    m_id = playlistId;
    m_entries = entries;
    m_index = index;
    m_gone = index < 0 || index >= entries.size();
}

void PlaylistPlace::follow(const QList<uint> &now, int movedFrom, int movedTo)
{
    if (!active())
        return;
    const int count = int(m_entries.size());
    QList<int> to;
    if (movedFrom >= 0 && movedFrom < count && movedTo >= 0 && movedTo < count) {
        QList<uint> moved = m_entries;
        moved.move(movedFrom, movedTo);
        if (moved == now) {
            QList<int> places(count);
            for (int i = 0; i < count; ++i)
                places[i] = i;
            places.move(movedFrom, movedTo);
            to.resize(count);
            for (int i = 0; i < count; ++i)
                to[places.at(i)] = i;
        }
    }
    if (to.isEmpty())
        to = matchEntries(m_entries, now);
    if (!m_gone && m_index < count && to.at(m_index) >= 0) {
        m_index = to.at(m_index);
    } else {
        // The entry playing (or the one that followed it) went: the first
        // one after it that stayed follows it now; when none stayed, what
        // is added after the last one before it that stayed (after none:
        // the list's first).
        const int start = m_gone ? m_index : m_index + 1;
        int after = -1;
        for (int i = start; i >= 0 && i < count && after < 0; ++i) {
            if (to.at(i) >= 0)
                after = to.at(i);
        }
        for (int i = qMin(start, count) - 1; i >= 0 && after < 0; --i) {
            if (to.at(i) >= 0)
                after = to.at(i) + 1;
        }
        m_index = qMax(after, 0);
        m_gone = true;
    }
    m_entries = now;
}

int PlaylistPlace::next() const
{
    if (!active())
        return -1;
    const int at = m_gone ? m_index : m_index + 1;
    return at >= 0 && at < m_entries.size() ? at : -1;
}
