#include "SafeSave.h"

#include "SongFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(const char *what, int err)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(err)));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// The file a path finally names, so a symlinked song keeps its link.
QByteArray resolveTarget(const QString &path)
{
    QByteArray native = nativeSongPath(path);
    char resolved[PATH_MAX];
    if (::realpath(native.constData(), resolved))
        return QByteArray(resolved);
    return native;
}

// The folder of a file and the file's name in it.
void splitPath(const QByteArray &file, QByteArray &folder, QByteArray &name)
{
    const int slash = file.lastIndexOf('/');
    folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : file.left(slash);
    name = file.mid(slash + 1);
}

void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The process's umask. umask() tells it only by setting it, and for that
// instant every file another thread creates (an import's copy, a download's
// part file) would get the wrong mode; the kernel shows it in
// /proc/self/status. Where it does not, 022, the usual one.
mode_t currentUmask()
{
    constexpr mode_t fallback = 022;
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fallback;
    char text[4096];
    size_t have = 0;
    for (ssize_t n; have < sizeof text - 1 && (n = ::read(fd, text + have, sizeof text - 1 - have)) != 0;) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        have += size_t(n);
    }
    ::close(fd);
    text[have] = '\0';
    const char *line = std::strstr(text, "\nUmask:");
    if (!line)
        return fallback;
    char *end = nullptr;
    const unsigned long mask = std::strtoul(line + 7, &end, 8);
    return end == line + 7 || mask > 0777 ? fallback : mode_t(mask);
}

// Whether the user may write path: for the user's own rights, also when the
// program runs with other rights than it started with.
bool userMayWrite(const QByteArray &path, int how)
{
    return ::faccessat(AT_FDCWD, path.constData(), how, AT_EACCESS) == 0;
}

// Whether a file may be put at target: the user must be able to write an
// existing file (a file nobody may write was marked "do not touch" by its
// owner, which holds for root too) and the folder the new file is made in.
// A folder that is missing is left for the write to tell.
bool mayReplace(const QByteArray &target, const struct stat *existing, QString &err)
{
    if (existing && ((existing->st_mode & 0222) == 0 || !userMayWrite(target, W_OK))) {
        err = QCoreApplication::translate("SafeSave", "the song file is read-only");
        return false;
    }
    QByteArray folder, name;
    splitPath(target, folder, name);
    if (!userMayWrite(folder, W_OK | X_OK) && (errno == EACCES || errno == EROFS)) {
        err = QCoreApplication::translate("SafeSave", "the song's folder is read-only");
        return false;
    }
    return true;
}

// A hidden name beside the target for a file of the save's own, within the
// folder's longest name: a long song name is cut, not the save.
QByteArray besideName(const QByteArray &folder, const QByteArray &name)
{
    static const QByteArray tail(".saving-XXXXXX");
    long longest = ::pathconf(folder.constData(), _PC_NAME_MAX);
    if (longest <= 0)
        longest = NAME_MAX;
    qsizetype keep = std::min<qsizetype>(name.size(), qsizetype(longest) - 1 - tail.size());
    // Not inside a UTF-8 character.
    while (keep > 0 && keep < name.size() && (uint8_t(name[keep]) & 0xC0) == 0x80)
        --keep;
    return (folder == "/" ? QByteArray() : folder) + "/." + name.left(std::max<qsizetype>(keep, 0)) + tail;
}

// A new file beside the target; -1 with the reason in err.
int createBeside(const QByteArray &folder, const QByteArray &name, QByteArray &path, QString &err)
{
    path = besideName(folder, name);
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0)
        err = errnoText("cannot create a file beside the song", errno);
    return fd;
}

// pread or pwrite of n bytes at at, to the last one; a call that moves
// nothing fails with shortErr.
template <typename Io, typename Bytes>
bool whole(Io io, int fd, off_t at, Bytes *p, size_t n, int shortErr)
{
    while (n > 0) {
        const ssize_t done = io(fd, p, n, at);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = shortErr;
            return false;
        }
        p += done;
        at += done;
        n -= size_t(done);
    }
    return true;
}

bool readAll(int fd, off_t at, char *into, size_t n)
{
    return whole(::pread, fd, at, into, n, EIO);
}

bool writeAt(int fd, off_t at, const char *from, size_t n)
{
    return whole(::pwrite, fd, at, from, n, ENOSPC);
}

// Makes to hold exactly the size bytes of from, flushed to disk.
bool copyInto(int from, int to, off_t size)
{
    constexpr size_t chunk = 1 << 20;
    QByteArray buffer(qsizetype(chunk), Qt::Uninitialized);
    for (off_t at = 0; at < size;) {
        const size_t n = size_t(std::min<off_t>(off_t(chunk), size - at));
        if (!readAll(from, at, buffer.data(), n) || !writeAt(to, at, buffer.constData(), n))
            return false;
        at += off_t(n);
    }
    return ::ftruncate(to, size) == 0 && ::fsync(to) == 0;
}

// Whether a and b hold the same size bytes.
bool sameContent(int a, int b, off_t size)
{
    constexpr size_t chunk = 1 << 20;
    QByteArray one(qsizetype(chunk), Qt::Uninitialized), two(qsizetype(chunk), Qt::Uninitialized);
    for (off_t at = 0; at < size;) {
        const size_t n = size_t(std::min<off_t>(off_t(chunk), size - at));
        if (!readAll(a, at, one.data(), n) || !readAll(b, at, two.data(), n))
            return false;
        if (std::memcmp(one.constData(), two.constData(), n) != 0) {
            errno = EIO;
            return false;
        }
        at += off_t(n);
    }
    return true;
}

// Puts the complete new content (the file fresh, size bytes) into the target
// itself, which keeps its owner, group and mode that way. Its old content is
// kept beside it first and put back when the write fails or does not read back.
bool writeInPlace(const QByteArray &target, const struct stat &was, int fresh, off_t size, QString &err)
{
    const int fd = ::open(target.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    struct stat now {};
    if (fd < 0 || ::fstat(fd, &now) != 0) {
        err = errnoText("cannot open the song to write it", errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    const auto done = [&](bool ok) {
        ::close(fd);
        return ok;
    };
    if (now.st_dev != was.st_dev || now.st_ino != was.st_ino) {
        err = QStringLiteral("the song was replaced while it was saved");
        return done(false);
    }
    QByteArray folder, name, oldPath;
    splitPath(target, folder, name);
    const int old = createBeside(folder, name, oldPath, err);
    if (old < 0)
        return done(false);
    const auto dropOld = [&] {
        ::close(old);
        ::unlink(oldPath.constData());
    };
    if (!copyInto(fd, old, now.st_size) || !sameContent(fd, old, now.st_size)) {
        err = errnoText("cannot keep a copy of the song beside it", errno);
        dropOld();
        return done(false);
    }
    // Room for all of it before a byte of the song changes.
    if (size > now.st_size) {
        const int r = ::posix_fallocate(fd, 0, size);
        if (r == ENOSPC || r == EDQUOT || r == EFBIG) {
            err = errnoText("not enough room for the song", r);
            dropOld();
            return done(false);
        }
    }
    if (copyInto(fresh, fd, size) && sameContent(fresh, fd, size)) {
        dropOld();
        return done(true);
    }
    const int why = errno;
    if (copyInto(old, fd, now.st_size) && sameContent(old, fd, now.st_size)) {
        err = errnoText("cannot write the song", why);
        dropOld();
    } else {
        ::close(old);
        err = QStringLiteral("%1; its content before the save is kept in %2")
                  .arg(errnoText("cannot write the song", why), QFile::decodeName(oldPath));
    }
    return done(false);
}

// Writes the parts as the new content of the resolved target. The new file
// takes the mode, owner and group of the file it replaces (written into that
// file where they cannot be given to a new one), else of model as far as the
// user may give them, else 0644 less umask.
bool writeResolved(const QByteArray &target, const QList<QByteArray> &parts, const struct stat *model, QString &err)
{
    QByteArray folder;
    QByteArray name;
    splitPath(target, folder, name);

    struct stat st;
    const bool existed = ::stat(target.constData(), &st) == 0;
    if (!mayReplace(target, existed ? &st : nullptr, err))
        return false;
    if (!existed && model)
        st = *model;
    mode_t mode = 0644;
    if (existed || model) {
        mode = st.st_mode & (existed ? 07777 : 0777);
    } else {
        mode &= ~currentUmask();
    }

    QByteArray temp;
    int fd = createBeside(folder, name, temp, err);
    if (fd < 0)
        return false;
    auto fail = [&](const char *what) {
        const int saved = errno;
        err = errnoText(what, saved);
        if (fd >= 0)
            ::close(fd);
        ::unlink(temp.constData());
        return false;
    };
    // The owner only root may give; the group any member of it.
    bool kept = true;
    if (existed || model) {
        if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) && ::fchown(fd, st.st_uid, st.st_gid) != 0)
            (void)::fchown(fd, uid_t(-1), st.st_gid);
        if (::fchmod(fd, mode) != 0)
            return fail("cannot set permissions");
        struct stat made {};
        kept = ::fstat(fd, &made) == 0 && made.st_uid == st.st_uid && made.st_gid == st.st_gid &&
               (made.st_mode & 07777) == mode;
    } else if (::fchmod(fd, mode) != 0) {
        return fail("cannot set permissions");
    }
    off_t size = 0;
    for (const QByteArray &part : parts) {
        if (!writeAll(fd, part))
            return fail("write failed");
        size += off_t(part.size());
    }
    if (::fsync(fd) != 0)
        return fail("flush failed");
    if (existed && !kept) {
        const bool written = writeInPlace(target, st, fd, size, err);
        ::close(fd);
        ::unlink(temp.constData());
        if (written)
            syncFolder(folder);
        return written;
    }
    if (::close(fd) != 0) {
        fd = -1;
        return fail("close failed");
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int saved = errno;
        ::unlink(temp.constData());
        err = errnoText("cannot replace the file", saved);
        return false;
    }
    syncFolder(folder);
    return true;
}

} // namespace

namespace SafeSave {

bool checkWritable(const QString &path, QString *error)
{
    QString dummy;
    QString &err = error ? *error : dummy;
    const QByteArray target = resolveTarget(path);
    struct stat st;
    const bool existed = ::stat(target.constData(), &st) == 0;
    return mayReplace(target, existed ? &st : nullptr, err);
}

bool writeFile(const QString &path, const QList<QByteArray> &parts, QString *error)
{
    QString dummy;
    QString &err = error ? *error : dummy;
    if (path.isEmpty()) {
        err = QStringLiteral("empty path");
        return false;
    }
    return writeResolved(resolveTarget(path), parts, nullptr, err);
}

bool copyFile(const QString &source, const QString &target, QString *error)
{
    QString dummy;
    QString &err = error ? *error : dummy;
    if (target.isEmpty() || exists(target)) {
        err = target.isEmpty() ? QStringLiteral("empty path") : QStringLiteral("target exists");
        return false;
    }
    QFile in;
    struct stat st;
    QByteArray bytes;
    if (openSongFile(source, in, &err) != SongFileStatus::Ok || ::fstat(in.handle(), &st) != 0 ||
        readOpenedSongFile(in, std::numeric_limits<qint64>::max(), bytes, &err) != SongFileStatus::Ok)
        return false;
    in.close();
    return writeResolved(resolveTarget(target), {bytes}, &st, err);
}

bool readFile(const QString &path, qint64 maxBytes, QByteArray &out, QString *error)
{
    return readSongFile(path, maxBytes, out, error) == SongFileStatus::Ok;
}

bool exists(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::lstat(nativeSongPath(path).constData(), &st) == 0;
}

bool remove(const QString &path)
{
    return !path.isEmpty() && ::unlink(nativeSongPath(path).constData()) == 0;
}

} // namespace SafeSave
