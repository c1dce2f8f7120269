#include "SafeSave.h"

#include "SongFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Counts the writes and flushes of an in-place write; a test ends the
// process in the middle of the one it names.
std::atomic<int> stepsTaken{0};
std::atomic<int> dieAtStep{0};

void step(int fd = -1, const char *bytes = nullptr, size_t n = 0, off_t at = 0)
{
    if (++stepsTaken != dieAtStep)
        return;
    if (fd >= 0 && n > 1)
        (void)::pwrite(fd, bytes, n / 2, at);
    ::_exit(86);
}

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

constexpr size_t kChunk = 256 * 1024;

// Writes in chunks, each one step.
bool writeSteps(int fd, off_t at, const char *from, size_t n)
{
    for (size_t done = 0; done < n;) {
        const size_t part = std::min(kChunk, n - done);
        step(fd, from + done, part, at + off_t(done));
        if (!writeAt(fd, at + off_t(done), from + done, part))
            return false;
        done += part;
    }
    return true;
}

bool syncStep(int fd)
{
    step();
    return ::fsync(fd) == 0;
}

// Whether the user is in group gid.
bool memberOf(gid_t gid)
{
    if (gid == ::getegid())
        return true;
    const int n = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(size_t(std::max(n, 0)));
    const int got = n > 0 ? ::getgroups(n, groups.data()) : 0;
    return std::find(groups.begin(), groups.begin() + std::max(got, 0), gid) != groups.begin() + std::max(got, 0);
}

// The song's name cut to keep within the folder's longest name with tail
// after it, with a mark of the whole name where it is cut, so that two
// long names that begin alike get names of their own.
QByteArray nameWithin(const QByteArray &folder, const QByteArray &name, const QByteArray &tail, bool &cut)
{
    long longest = ::pathconf(folder.constData(), _PC_NAME_MAX);
    if (longest <= 0)
        longest = NAME_MAX;
    cut = name.size() + tail.size() > longest;
    if (!cut)
        return name + tail;
    const QByteArray mark =
        '~' + QCryptographicHash::hash(name, QCryptographicHash::Md5).toHex().left(8);
    qsizetype keep = std::max<qsizetype>(0, qsizetype(longest) - tail.size() - mark.size());
    while (keep > 0 && keep < name.size() && (uint8_t(name[keep]) & 0xC0) == 0x80)
        --keep;
    return name.left(keep) + mark + tail;
}

// Where the song's old content is kept while it is written in place: found
// by the song's name when the write was interrupted.
QByteArray keptPath(const QByteArray &target)
{
    const int slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.left(slash);
    bool cut = false;
    return (folder == "/" ? QByteArray() : folder) + '/' +
           nameWithin(folder, '.' + target.mid(slash + 1), QByteArrayLiteral(".kept"), cut);
}

// The kept copy: a head (its mark, the song's name, the old size and the
// hash of the new content), the old content, its hash and an end mark. A
// copy whose end mark and hash do not match was never finished, and the
// song was not touched yet.
const QByteArray keptMark("VLMKEPT1");
const QByteArray keptEnd("VLMKEND1");
constexpr int hashBytes = 16;

QByteArray keptHead(const QByteArray &name, quint64 oldSize, const QByteArray &newHash)
{
    QByteArray head = keptMark;
    const quint32 length = quint32(name.size());
    head.append(reinterpret_cast<const char *>(&length), sizeof length);
    head += name;
    head.append(reinterpret_cast<const char *>(&oldSize), sizeof oldSize);
    head += newHash;
    return head;
}

QByteArray md5Of(int fd, off_t at, off_t size, bool &ok)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    QByteArray buffer(qsizetype(kChunk), Qt::Uninitialized);
    ok = true;
    for (off_t done = 0; done < size;) {
        const size_t n = size_t(std::min<off_t>(off_t(kChunk), size - done));
        if (!readAll(fd, at + done, buffer.data(), n)) {
            ok = false;
            return {};
        }
        hash.addData(QByteArrayView(buffer.constData(), qsizetype(n)));
        done += off_t(n);
    }
    return hash.result();
}

// Copies size bytes of from at fromAt into to at toAt, each chunk a step;
// adds them to hash when given.
bool copySteps(int from, off_t fromAt, int to, off_t toAt, off_t size, QCryptographicHash *hash)
{
    QByteArray buffer(qsizetype(kChunk), Qt::Uninitialized);
    for (off_t done = 0; done < size;) {
        const size_t n = size_t(std::min<off_t>(off_t(kChunk), size - done));
        if (!readAll(from, fromAt + done, buffer.data(), n))
            return false;
        if (hash)
            hash->addData(QByteArrayView(buffer.constData(), qsizetype(n)));
        step(to, buffer.constData(), n, toAt + done);
        if (!writeAt(to, toAt + done, buffer.constData(), n))
            return false;
        done += off_t(n);
    }
    return true;
}

// A file for the kept copy in folder with no name yet where the file system
// allows it (a copy never finished then leaves nothing behind), else a
// hidden one beside the song, named in temp.
int createUnnamed(const QByteArray &folder, const QByteArray &name, QByteArray &temp, QString &err)
{
    temp.clear();
#ifdef O_TMPFILE
    const int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
#endif
    return createBeside(folder, name, temp, err);
}

// Gives the finished copy its name; fails when one is there already.
bool nameKept(int fd, QByteArray &temp, const QByteArray &as)
{
    if (!temp.isEmpty()) {
        if (::link(temp.constData(), as.constData()) != 0)
            return false;
        ::unlink(temp.constData());
        temp.clear();
        return true;
    }
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, as.constData(), AT_SYMLINK_FOLLOW) == 0;
}

// Writes size bytes of the kept copy (from at) into the song fd, read back
// against their hash.
bool putBack(int kept, off_t at, off_t size, const QByteArray &oldHash, int fd)
{
    if (!copySteps(kept, at, fd, 0, size, nullptr) || ::ftruncate(fd, size) != 0 || ::fsync(fd) != 0)
        return false;
    bool read = false;
    const QByteArray hash = md5Of(fd, 0, size, read);
    if (read && hash != oldHash)
        errno = EIO;
    return read && hash == oldHash;
}

// Puts the new content (the parts) into the target itself, which keeps its
// owner, group, mode and other names that way. The old content is first
// kept complete and flushed beside it, where whoever may write the song may
// read it and put it back (its group and mode), under a name found from the
// song's own: a write that dies halfway is undone at the song's next
// opening (recoverKept). A write that fails or does not read back is
// undone at once; a finished one leaves nothing.
bool writeInPlace(const QByteArray &target, const struct stat &was, const QList<QByteArray> &parts, QString &err)
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
    QCryptographicHash fresh(QCryptographicHash::Md5);
    off_t size = 0;
    for (const QByteArray &part : parts) {
        fresh.addData(part);
        size += off_t(part.size());
    }
    const QByteArray newHash = fresh.result();
    QByteArray folder, name, temp;
    splitPath(target, folder, name);
    const QByteArray keep = keptPath(target);
    const int kept = createUnnamed(folder, name, temp, err);
    if (kept < 0)
        return done(false);
    const auto dropKept = [&](bool named) {
        ::close(kept);
        if (!temp.isEmpty())
            ::unlink(temp.constData());
        if (named) {
            ::unlink(keep.constData());
            syncFolder(folder);
        }
    };
    // Whoever may write the song may put it back: the copy has its group
    // and mode, and its owner where the user may give it.
    if (::fchown(kept, now.st_uid, now.st_gid) != 0)
        (void)::fchown(kept, uid_t(-1), now.st_gid);
    (void)::fchmod(kept, now.st_mode & 0666);
    const QByteArray head = keptHead(name, quint64(now.st_size), newHash);
    QCryptographicHash old(QCryptographicHash::Md5);
    bool ok = writeSteps(kept, 0, head.constData(), size_t(head.size())) &&
              copySteps(fd, 0, kept, off_t(head.size()), now.st_size, &old);
    const QByteArray oldHash = old.result();
    if (ok) {
        const QByteArray tail = oldHash + keptEnd;
        ok = writeSteps(kept, off_t(head.size()) + now.st_size, tail.constData(), size_t(tail.size())) &&
             syncStep(kept);
    }
    // Locked while the song is written, so that a look for an interrupted
    // write (another user opening the song) leaves it alone.
    ok = ok && ::flock(kept, LOCK_EX) == 0 && nameKept(kept, temp, keep);
    if (!ok) {
        err = errnoText("cannot keep a copy of the song beside it", errno);
        dropKept(false);
        return done(false);
    }
    step();
    syncFolder(folder);
    // Room for all of it before a byte of the song changes.
    if (size > now.st_size) {
        const int r = ::posix_fallocate(fd, 0, size);
        if (r == ENOSPC || r == EDQUOT || r == EFBIG) {
            err = errnoText("not enough room for the song", r);
            dropKept(true);
            return done(false);
        }
    }
    bool written = true;
    off_t at = 0;
    for (const QByteArray &part : parts) {
        written = written && writeSteps(fd, at, part.constData(), size_t(part.size()));
        at += off_t(part.size());
    }
    step();
    written = written && ::ftruncate(fd, size) == 0 && syncStep(fd);
    bool read = false;
    written = written && md5Of(fd, 0, size, read) == newHash && read;
    if (written) {
        step();
        dropKept(true);
        return done(true);
    }
    const int why = errno ? errno : EIO;
    if (putBack(kept, off_t(head.size()), now.st_size, oldHash, fd)) {
        err = errnoText("cannot write the song", why);
        dropKept(true);
    } else {
        ::close(kept);
        err = QStringLiteral("%1; its content before the save is kept in %2 and is put back when the song is next "
                             "opened")
                  .arg(errnoText("cannot write the song", why), QFile::decodeName(keep));
    }
    return done(false);
}

// What an in-place write of target that died left: its kept copy, found by
// the song's name. A copy never finished means the song was not touched; a
// song that holds neither its old nor its new content was cut off halfway
// and gets its old content back. Either way the copy goes. False, with the
// reason, when a copy stays (a save under way holds it, or the user may not
// write the song).
bool recoverKept(const QByteArray &target, QString &err)
{
    const QByteArray keep = keptPath(target);
    const int kept = ::open(keep.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (kept < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return true;
        err = errnoText("cannot read the copy kept by an interrupted save", errno);
        return false;
    }
    const auto done = [&](bool ok) {
        ::close(kept);
        return ok;
    };
    struct stat ks {};
    if (::fstat(kept, &ks) != 0 || !S_ISREG(ks.st_mode)) {
        err = QStringLiteral("not a file: %1").arg(QFile::decodeName(keep));
        return done(false);
    }
    if (::flock(kept, LOCK_EX | LOCK_NB) != 0) {
        err = QStringLiteral("the song is being saved");
        return done(false);
    }
    QByteArray folder, name;
    splitPath(target, folder, name);
    // The head, as keptHead writes it.
    QByteArray mark(keptMark.size() + 4, Qt::Uninitialized);
    quint32 nameLength = 0;
    bool complete = readAll(kept, 0, mark.data(), size_t(mark.size())) && mark.startsWith(keptMark);
    if (complete)
        std::memcpy(&nameLength, mark.constData() + keptMark.size(), sizeof nameLength);
    complete = complete && nameLength <= 4096;
    QByteArray keptName(complete ? qsizetype(nameLength) : 0, Qt::Uninitialized);
    quint64 oldSize = 0;
    QByteArray newHash(hashBytes, Qt::Uninitialized), oldHash(hashBytes, Qt::Uninitialized),
        end(keptEnd.size(), Qt::Uninitialized);
    const off_t headSize = off_t(mark.size()) + off_t(nameLength) + off_t(sizeof oldSize) + hashBytes;
    complete = complete && readAll(kept, off_t(mark.size()), keptName.data(), nameLength) &&
               readAll(kept, off_t(mark.size()) + off_t(nameLength), reinterpret_cast<char *>(&oldSize),
                       sizeof oldSize) &&
               readAll(kept, headSize - hashBytes, newHash.data(), hashBytes);
    if (complete && keptName != name) {
        // Another song whose long name is cut to the same: not this one's.
        return done(true);
    }
    complete = complete && oldSize <= quint64(std::numeric_limits<off_t>::max()) &&
               quint64(ks.st_size) == quint64(headSize) + oldSize + hashBytes + quint64(keptEnd.size()) &&
               readAll(kept, headSize + off_t(oldSize), oldHash.data(), hashBytes) &&
               readAll(kept, headSize + off_t(oldSize) + hashBytes, end.data(), size_t(end.size())) &&
               end == keptEnd;
    bool read = false;
    complete = complete && md5Of(kept, headSize, off_t(oldSize), read) == oldHash && read;
    if (complete) {
        const int fd = ::open(target.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        struct stat ss {};
        if (fd < 0 || ::fstat(fd, &ss) != 0) {
            err = errnoText("cannot put back the song an interrupted save left", errno);
            if (fd >= 0)
                ::close(fd);
            return done(false);
        }
        const QByteArray now = md5Of(fd, 0, ss.st_size, read);
        const bool whole = read && (now == newHash || (now == oldHash && quint64(ss.st_size) == oldSize));
        if (!whole && !putBack(kept, headSize, off_t(oldSize), oldHash, fd)) {
            err = errnoText("cannot put back the song an interrupted save left", errno);
            ::close(fd);
            return done(false);
        }
        ::close(fd);
        if (!whole)
            qWarning().noquote() << "[SafeSave::recover] put back as it was before an interrupted save:"
                                 << QFile::decodeName(target);
    }
    if (::unlink(keep.constData()) != 0)
        qWarning().noquote() << "[SafeSave::recover] cannot remove" << QFile::decodeName(keep) << strerror(errno);
    syncFolder(folder);
    return done(true);
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
    bool existed = ::stat(target.constData(), &st) == 0;
    if (!mayReplace(target, existed ? &st : nullptr, err))
        return false;
    // What an interrupted write left is settled before another.
    if (existed && !recoverKept(target, err))
        return false;
    existed = ::stat(target.constData(), &st) == 0;
    if (!existed && model)
        st = *model;
    mode_t mode = 0644;
    if (existed || model) {
        mode = st.st_mode & (existed ? 07777 : 0777);
    } else {
        mode &= ~currentUmask();
    }
    // A new file would not have the song's owner (only root gives a file
    // away) or group, or would take one of the song's names from the others.
    if (existed && (st.st_nlink > 1 || (::geteuid() != 0 && (st.st_uid != ::geteuid() || !memberOf(st.st_gid))))) {
        const bool written = writeInPlace(target, st, parts, err);
        if (written)
            syncFolder(folder);
        return written;
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
    if (existed && !kept) {
        ::close(fd);
        ::unlink(temp.constData());
        const bool written = writeInPlace(target, st, parts, err);
        if (written)
            syncFolder(folder);
        return written;
    }
    for (const QByteArray &part : parts) {
        if (!writeAll(fd, part))
            return fail("write failed");
    }
    if (::fsync(fd) != 0)
        return fail("flush failed");
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

bool recover(const QString &path, QString *error)
{
    QString dummy;
    QString &err = error ? *error : dummy;
    return path.isEmpty() || recoverKept(resolveTarget(path), err);
}

QString backupPath(const QString &path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.left(slash);
    bool cut = false;
    const QByteArray name =
        nameWithin(nativeSongPath(folder), QFile::encodeName(path.mid(slash + 1)), QByteArrayLiteral(".bak"), cut);
    if (!cut)
        return path + QLatin1String(".bak");
    return path.left(slash + 1) + QFile::decodeName(name);
}

QString shownName(const QString &path)
{
    const QByteArray native = nativeSongPath(path);
    const QByteArray name = native.mid(native.lastIndexOf('/') + 1);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString read = utf8(name);
    // Not UTF-8: an old archive's Latin-1, as file managers show it.
    return utf8.hasError() ? QString::fromLatin1(name) : read;
}

void interruptForTest(int stepNumber)
{
    dieAtStep = stepNumber;
    stepsTaken = 0;
}

int stepsForTest()
{
    return stepsTaken;
}

} // namespace SafeSave
