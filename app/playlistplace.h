// Where Auto Play stands in a playlist: the entry playing, followed through
// the edits made to the list while it plays, so that the song after it is
// the one the list shows next when it ends. A playlist may hold a song more
// than once: entries are told apart by their place, and a move is followed
// as the move it was.
#pragma once

#include <QList>

class PlaylistPlace
{
public:
    // The entry at `index` of the list `entries` (song ids in play order)
    // starts playing.
    void start(int playlistId, const QList<uint> &entries, int index);
    void clear() { *this = PlaylistPlace(); }
    bool active() const { return m_id >= 0; }
    int playlistId() const { return m_id; }
    // The list as it stands after an edit; `movedFrom` and `movedTo` (-1
    // when the edit was another) tell the one entry that was moved.
    void follow(const QList<uint> &now, int movedFrom = -1, int movedTo = -1);
    // The place of the entry playing, -1 once it was taken out of the list.
    int index() const { return m_gone ? -1 : m_index; }
    // The place of the entry that plays next, -1 when none follows.
    int next() const;

private:
    int m_id = -1;
    QList<uint> m_entries;
    // The entry playing; once removed, the place of the entry that followed it.
    int m_index = -1;
    bool m_gone = false;
};
