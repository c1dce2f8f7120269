// Crash- and disk-full-safe replacement of a file: the new content is written
// complete into a temporary file in the same folder, every write is checked,
// the data is flushed to disk, and only then does a rename put it in place of
// the old file. Any failure removes the temporary file and leaves the old file
// byte for byte as it was. The song files are often the user's only copy.
//
// A file keeps its owner, group, mode and names. Where a new file cannot be
// given them (a song of another member of a shared group, which only root
// may give away, or a song with more than one name), the new content is
// written into the file itself instead. Its old content is first kept,
// complete and flushed, in a hidden file beside it whose name comes from the
// song's (".NAME.kept"), with the song's group and mode, so whoever may
// write the song may put it back; the write is read back, any failure puts
// the old content back, and a finished write removes the copy. A write cut
// off halfway (a crash, a kill, a power cut) leaves the copy, and recover
// puts the old content back the next time the song is opened, into that
// file only while it holds what the write left.
//
// The files kept beside a song are acted on only as BesideSong's rule
// allows: one another user placed there is left alone, and never stops a
// save (the copy then goes under another name).
//
// Paths are taken as nativeSongPath reads them, so a file whose name is not
// UTF-8 is written, copied and found like any other.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

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

// Settles what in-place writes of the song at path that died left: the
// song gets its old content back where it holds what such a write left
// (neither its old content nor the whole new one), and the kept copy goes;
// a file put in the song's place since is not written over, and its copy is
// set aside, which the user is told. Partial files of crashed saves (and of
// crashed copies to its backup) go.
// True when nothing is left; false, with the reason, when a copy stays.
// unfinished, when given, tells whether the song holds no whole content
// now: a save of it is under way, or the user may not put it back.
bool recover(const QString &path, QString *error = nullptr, bool *unfinished = nullptr);

// The name the backup of the song at path gets: path + ".bak", or, where
// that name would be longer than the folder allows, the song's name cut, a
// mark of its whole name and ".bak" ("NAME~1a2b3c4d.bak").
QString backupPath(const QString &path);
// The song's own backup: at backupPath, or under another name where a file
// left alone holds that one; for a song of several names (hard links) in
// one folder, the earliest made of the backups of its names. Empty when there is
// none; refused, when given, then says why a file at backupPath is not one.
QString backupOf(const QString &path, QString *refused = nullptr);
// Copies the song to a backup of its own unless it has one (backupOf):
// at backupPath, or, where a file left alone holds that, under another name.
bool makeBackup(const QString &path, QString *error = nullptr);

// What the user is to be told, once, of files found beside songs since the
// last call (a file left alone, a copy set aside).
QStringList takeNotices();

// The song's file name as the folder lists it: a name that is not UTF-8 is
// read as Latin-1, not with U+FFFD for its bytes.
QString shownName(const QString &path);

// Tests: the process ends (_exit(86)) in the middle of the stepNumber-th
// write or flush of the next in-place writes; 0 never. stepsForTest counts
// those taken since.
void interruptForTest(int stepNumber);
int stepsForTest();

bool exists(const QString &path);
bool remove(const QString &path);

} // namespace SafeSave
