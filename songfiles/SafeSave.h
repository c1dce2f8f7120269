// Crash- and disk-full-safe replacement of a file: the new content is written
// complete into a temporary file in the same folder, every write is checked,
// the data is flushed to disk, and only then does a rename put it in place of
// the old file. Any failure removes the temporary file and leaves the old file
// byte for byte as it was. The song files are often the user's only copy.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace SafeSave {

// Writes the parts, in order, as the whole new content of path (a symlink is
// followed, so the file it names is replaced). The new file keeps the old
// file's permission bits (and owner and group where the user may set them);
// a new file gets 0644 less umask. A file the user cannot write, or that
// nobody may write, is never replaced. False with a reason in error (when
// given) on any failure.
bool writeFile(const QString &path, const QList<QByteArray> &parts, QString *error = nullptr);

// False, with "the song file is read-only" or "the song's folder is
// read-only" in error, when writeFile would refuse to put a file at path.
bool checkWritable(const QString &path, QString *error = nullptr);

// Copies source to target the same safe way, with the source's permission
// bits (and owner and group where the user may set them); an existing
// target is kept and the copy fails.
bool copyFile(const QString &source, const QString &target, QString *error = nullptr);

} // namespace SafeSave
