// Small value records of the library lists: an artist, a genre (the store's
// genres and artists travel in it too) and a playlist with its song count.
#pragma once

#include <QMetaType>
#include <QString>

class LibraryRecord
{
public:
    QString getName() const { return name; }
    void setName(const QString &value) { name = value; }
    int getId() const { return id; }
    void setId(int value) { id = value; }
    int getNumsongs() const { return numsongs; }
    void setNumsongs(int value) { numsongs = value; }

    void clear()
    {
        name = QString();
        id = 0;
        numsongs = 0;
    }

protected:
    QString name;
    int id = 0;
    int numsongs = 0;
};

class Artist : public LibraryRecord
{
};

class Genres : public LibraryRecord
{
public:
    // Keeps the count, unlike the other records.
    void clear()
    {
        name = QString();
        id = 0;
    }
};

class Playlist : public LibraryRecord
{
};

Q_DECLARE_METATYPE(Artist)
Q_DECLARE_METATYPE(Genres)
Q_DECLARE_METATYPE(Playlist)
