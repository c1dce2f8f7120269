// The files the program keeps beside a song (the copy an in-place save keeps,
// the backup, a save's partial file): how they are named, the one rule by
// which a file found under such a name is acted on, and what the user is
// told of one that is left alone.
//
// Anyone who may create files in a song's folder can place a file under
// those names: a shared group folder, a sticky one. Such a file is used only
// when whoever made it could have written the song, it is never followed
// through a link, and it is never larger than a song may be; anything else
// is left alone, and the program goes on under another name.
//
// Paths are native (nativeSongPath's bytes). Any thread.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

namespace BesideSong {

// The one way a file beside a song is named: a stem (the song's name, with a
// dot before it for a hidden file) and a tail, within the folder's longest
// name. A stem too long for that is cut and marked with the first eight hex
// digits of its MD5, so that two long names that begin alike keep names of
// their own ("NAME~1a2b3c4d.bak").
QByteArray name(const QByteArray &folder, const QByteArray &stem, const QByteArray &tail);
// A name of its own for one of several files, or for a file whose name is
// held by a file left alone: the tail (ending in "~", or "-" for a partial
// file) followed by six random characters.
QByteArray otherName(const QByteArray &folder, const QByteArray &stem, const QByteArray &tail);
// The entries of folder that otherName may have given for stem and tail.
// The folder is read once per change of it.
QList<QByteArray> otherNames(const QByteArray &folder, const QByteArray &stem, const QByteArray &tail);
// The other names of the song in folder (its hard links there).
QList<QByteArray> namesOf(const QByteArray &folder, const struct stat &song);
// Entry in folder.
QByteArray join(const QByteArray &folder, const QByteArray &entry);
void split(const QByteArray &path, QByteArray &folder, QByteArray &entry);

// The largest song of the kind the name tells: what a file kept for it may
// hold.
qint64 songBound(const QByteArray &name);

// A file found beside a song, opened only when the rule allows it: a regular
// file reached without a link, made by the song's owner, root, a member of
// the song's group where the group may write it (anyone where all may), and
// at most bound bytes. Otherwise it is not opened and why says, naming it,
// why it is left alone.
class Found
{
public:
    Found(const QByteArray &path, const struct stat &song, qint64 bound, int how);
    ~Found();
    Found(const Found &) = delete;
    Found &operator=(const Found &) = delete;

    bool usable() const { return m_fd >= 0; }
    bool absent() const { return m_absent; }
    int fd() const { return m_fd; }
    const struct stat &info() const { return m_info; }
    const QString &why() const { return m_why; }
    // What the user is told of the file left alone.
    QString leftAlone() const;
    // Told once (see tell) when the file is there and left alone.
    void tellLeftAlone() const;

private:
    QByteArray m_path;
    int m_fd = -1;
    bool m_absent = false;
    struct stat m_info {};
    QString m_why;
};

// Whether a file of uid could have been written by someone who may write
// song (see Found).
bool couldWrite(uid_t uid, const struct stat &song);
// Whether the program's user is in group gid.
bool memberOf(gid_t gid);

// Tells the user text about file, once per run of the program (the log
// always).
void tell(const QByteArray &file, const QString &text);
// What was told since the last call, for the user.
QStringList takeTold();

// A name as its folder lists it: one that is not UTF-8 read as Latin-1.
QString shown(const QByteArray &entry);

} // namespace BesideSong
