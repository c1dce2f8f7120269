// Crash- and disk-full-safe replacement of a file: the new content is written
// complete into a temporary file in the same folder, every write is checked,
// the data is flushed to disk, and only then does a rename put it in place of
// the old file. Any failure removes the temporary file and leaves the old file
// byte for byte as it was. The song files are often the user's only copy.
//
// A file keeps its owner, group and mode. Where the new file cannot be given
// them (a song of another member of a shared group, which only root may give
// away), the new content is written into the file itself instead, after it
// is complete beside it and the old content is kept beside it too: the write
// is read back, and on any failure the old content is put back.
//
// Paths are taken as nativeSongPath reads them, so a file whose name is not
// UTF-8 is written, copied and found like any other.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace SafeSave {

// Writes the parts, in order, as the whole new content of path (a symlink is
// followed, so the file it names is replaced). The new file keeps the old
// file's permission bits, owner and group (see above); a new file gets 0644
// less umask. A file the user cannot write, or that nobody may write, is
// never replaced. False with a reason in error (when given) on any failure.
bool writeFile(const QString &path, const QList<QByteArray> &parts, QString *error = nullptr);

// False, with "the song file is read-only" or "the song's folder is
// read-only" in error, when writeFile would refuse to put a file at path.
bool checkWritable(const QString &path, QString *error = nullptr);

// Copies source to target the same safe way, with the source's permission
// bits (and owner and group where the user may set them); an existing
// target is kept and the copy fails.
bool copyFile(const QString &source, const QString &target, QString *error = nullptr);

// The whole content of path, read as a song file is (regular files only, at
// most maxBytes); false with a reason in error.
bool readFile(const QString &path, qint64 maxBytes, QByteArray &out, QString *error = nullptr);

bool exists(const QString &path);
bool remove(const QString &path);

} // namespace SafeSave
