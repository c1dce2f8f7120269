#include "SafeSave.h"

#include "BesideSong.h"
#include "SongFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QFile>

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

// The tails of the files beside a song (see BesideSong).
const QByteArray keptTail(".kept"), backupTail(".bak"), partTail(".saving-");

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
    BesideSong::split(target, folder, name);
    if (!userMayWrite(folder, W_OK | X_OK) && (errno == EACCES || errno == EROFS)) {
        err = QCoreApplication::translate("SafeSave", "the song's folder is read-only");
        return false;
    }
    return true;
}

// A new file beside the target for a save's own use, locked while it is
// written, so that a look for what a crashed save left (clearParts) tells
// it from one in use; -1 with the reason in err.
int createBeside(const QByteArray &folder, const QByteArray &name, QByteArray &path, QString &err)
{
    for (int tries = 0; tries < 3; ++tries) {
        path = BesideSong::join(folder, BesideSong::name(folder, '.' + name, partTail + "XXXXXX"));
        const int fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0) {
            err = errnoText("cannot create a file beside the song", errno);
            return -1;
        }
        // Where the file system keeps no locks it is not cleared either.
        (void)::flock(fd, LOCK_EX);
        // Cleared as left behind before it was locked: made again.
        struct stat made {}, named {};
        if (::fstat(fd, &made) == 0 && ::lstat(path.constData(), &named) == 0 && made.st_dev == named.st_dev &&
            made.st_ino == named.st_ino)
            return fd;
        ::close(fd);
    }
    err = errnoText("cannot create a file beside the song", EEXIST);
    return -1;
}

// Removes what saves of name that crashed left in folder: partial files no
// save holds any longer, made by someone who could have written song.
void clearParts(const QByteArray &folder, const QByteArray &name, const struct stat &song)
{
    for (const QByteArray &entry : BesideSong::otherNames(folder, '.' + name, partTail)) {
        const QByteArray part = BesideSong::join(folder, entry);
        const BesideSong::Found found(part, song, std::numeric_limits<qint64>::max(), O_RDONLY);
        if (found.usable() && ::flock(found.fd(), LOCK_EX | LOCK_NB) == 0 && ::unlink(part.constData()) == 0)
            qWarning().noquote() << "[SafeSave] removed what a crashed save left:" << QFile::decodeName(part);
    }
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

// The kept copy: a head (its mark, the song's name and inode, the sizes of
// its old and new content and the hash of the new), the old content, the
// new, the hash of the old and an end mark. A copy whose end mark and hashes
// do not match was never finished, and the song was not touched yet. A copy
// of the first kind (left by an earlier version) holds neither the inode nor
// the new content.
const QByteArray keptMark1("VLMKEPT1"), keptEnd1("VLMKEND1");
const QByteArray keptMark2("VLMKEPT2"), keptEnd2("VLMKEND2");
constexpr int hashBytes = 16;
constexpr quint32 longestName = 4096;

struct KeptHead {
    bool second = true;   // of the second kind
    QByteArray name;
    quint64 inode = 0, oldSize = 0, newSize = 0;
    QByteArray newHash;
    off_t size = 0;       // bytes of the head
    off_t newAt() const { return size + off_t(oldSize); }
    off_t tailAt() const { return newAt() + (second ? off_t(newSize) : 0); }
    off_t whole() const { return tailAt() + hashBytes + off_t(keptEnd2.size()); }
};

template <typename T>
void append(QByteArray &to, T value)
{
    to.append(reinterpret_cast<const char *>(&value), sizeof value);
}

QByteArray keptHead(const QByteArray &name, quint64 inode, quint64 oldSize, quint64 newSize,
                    const QByteArray &newHash)
{
    QByteArray head = keptMark2;
    append(head, quint32(name.size()));
    head += name;
    append(head, inode);
    append(head, oldSize);
    append(head, newSize);
    return head + newHash;
}

// Reads the head keptHead wrote (or the first kind's); false when it is
// not one.
bool readKeptHead(int fd, KeptHead &head)
{
    QByteArray mark(keptMark2.size(), Qt::Uninitialized);
    quint32 nameLength = 0;
    off_t at = 0;
    const auto read = [&](void *into, size_t n) {
        const bool ok = readAll(fd, at, static_cast<char *>(into), n);
        at += off_t(n);
        return ok;
    };
    if (!read(mark.data(), size_t(mark.size())) || (mark != keptMark1 && mark != keptMark2) ||
        !read(&nameLength, sizeof nameLength) || nameLength > longestName)
        return false;
    head.second = mark == keptMark2;
    head.name.resize(qsizetype(nameLength));
    head.newHash.resize(hashBytes);
    const bool ok = read(head.name.data(), nameLength) && (!head.second || read(&head.inode, sizeof head.inode)) &&
                    read(&head.oldSize, sizeof head.oldSize) &&
                    (!head.second || read(&head.newSize, sizeof head.newSize)) &&
                    read(head.newHash.data(), hashBytes);
    head.size = at;
    return ok;
}

// What a kept copy of a song may hold at most: its head, the song's old and
// new content, each no larger than a song of its kind.
qint64 keptBound(const QByteArray &name)
{
    return 2 * BesideSong::songBound(name) + 64 + longestName;
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

// Whether the song holds what an in-place write of the kept copy's new
// content over its old can leave, cut off anywhere, a power cut included
// (blocks written in any order): every byte the new one's or the old one's
// (zero past the old end, where room was made first).
bool leftByTheWrite(int song, off_t size, int kept, const KeptHead &head)
{
    const off_t oldSize = off_t(head.oldSize), newSize = off_t(head.newSize);
    if (size != oldSize && size != newSize && size != std::max(oldSize, newSize))
        return false;
    QByteArray now(qsizetype(kChunk), Qt::Uninitialized), was(qsizetype(kChunk), Qt::Uninitialized),
        meant(qsizetype(kChunk), Qt::Uninitialized);
    for (off_t at = 0; at < size; at += off_t(kChunk)) {
        const size_t n = size_t(std::min<off_t>(off_t(kChunk), size - at));
        const size_t old = size_t(std::clamp<off_t>(oldSize - at, 0, off_t(n)));
        const size_t fresh = size_t(std::clamp<off_t>(newSize - at, 0, off_t(n)));
        if (!readAll(song, at, now.data(), n) || !readAll(kept, head.size + at, was.data(), old) ||
            !readAll(kept, head.newAt() + at, meant.data(), fresh))
            return false;
        for (size_t i = 0; i < n; ++i) {
            if (!((i < fresh && now[i] == meant[i]) || (i < old ? now[i] == was[i] : now[i] == 0)))
                return false;
        }
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

// Gives fd (named temp, or no name) the name as; fails when one is there.
bool linkAs(int fd, QByteArray &temp, const QByteArray &as)
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

// Gives the finished copy the kept copy's name, or, where that is held (by
// a file left alone), another that recoverKept finds as well; as is the
// name given.
bool nameKept(int fd, QByteArray &temp, const QByteArray &folder, const QByteArray &name, QByteArray &as)
{
    as = BesideSong::join(folder, BesideSong::name(folder, '.' + name, keptTail));
    for (int tries = 0; tries < 8; ++tries) {
        if (linkAs(fd, temp, as))
            return true;
        if (errno != EEXIST)
            return false;
        as = BesideSong::join(folder, BesideSong::otherName(folder, '.' + name, keptTail + '~'));
    }
    return false;
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
// song's own, with the new content and the song's inode: a write that dies
// halfway is undone at the song's next opening (recoverKept), and only in
// that file. A write that fails or does not read back is undone at once; a
// finished one leaves nothing.
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
    QByteArray folder, name, temp, keep;
    BesideSong::split(target, folder, name);
    // What the copy holds stays within what its next reader takes.
    const qint64 bound = BesideSong::songBound(name);
    if (now.st_size > bound || size > bound) {
        err = QStringLiteral("too large for a song: %1 bytes, at most %2")
                  .arg(std::max<qint64>(now.st_size, size))
                  .arg(bound);
        return done(false);
    }
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
    const QByteArray head = keptHead(name, quint64(now.st_ino), quint64(now.st_size), quint64(size), newHash);
    QCryptographicHash old(QCryptographicHash::Md5);
    bool ok = writeSteps(kept, 0, head.constData(), size_t(head.size())) &&
              copySteps(fd, 0, kept, off_t(head.size()), now.st_size, &old);
    off_t at = off_t(head.size()) + now.st_size;
    for (const QByteArray &part : parts) {
        ok = ok && writeSteps(kept, at, part.constData(), size_t(part.size()));
        at += off_t(part.size());
    }
    const QByteArray oldHash = old.result();
    if (ok) {
        const QByteArray tail = oldHash + keptEnd2;
        ok = writeSteps(kept, at, tail.constData(), size_t(tail.size())) && syncStep(kept);
    }
    // Locked while the song is written, so that a look for an interrupted
    // write (another user opening the song) leaves it alone.
    ok = ok && ::flock(kept, LOCK_EX) == 0 && nameKept(kept, temp, folder, name, keep);
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
    at = 0;
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

// What settling a kept copy came to.
enum class Settled {
    Done,        // nothing of it is left to do
    Unfinished,  // the song holds no whole content: a save of it is under way, or cannot be undone here
    Failed,      // the song could not be put back
};

// Moves a kept copy whose song was replaced since out of the way, and says
// where it is: the content it keeps may be the only one left.
void keepAside(const QByteArray &keep, const QByteArray &folder, const QByteArray &name)
{
    const QByteArray aside = BesideSong::join(folder, BesideSong::otherName(folder, '.' + name, ".kept-aside~"));
    const bool moved = ::link(keep.constData(), aside.constData()) == 0 && ::unlink(keep.constData()) == 0;
    QByteArray entry, where;
    BesideSong::split(moved ? aside : keep, where, entry);
    const QString said = QCoreApplication::translate("SafeSave", "A save of %1 was cut off, and another file was put "
                                                                 "in its place since: it is not written over, and "
                                                                 "what %1 held before that save is kept in %2.");
    BesideSong::tell(moved ? aside : keep, said.arg(BesideSong::shown(name), BesideSong::shown(entry)));
}

// Settles one kept copy of the song target (open as kept): a copy never
// finished means the song was not touched, and goes; a song that holds its
// old or whole new content is left so; a song that holds what the write
// left gets its old content back, one put in its place since is left alone
// and the copy set aside. A copy of another song (a long name cut alike) is
// left for its own.
Settled settleKept(const QByteArray &keep, int kept, const QByteArray &target, QString &err)
{
    if (::flock(kept, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        err = QCoreApplication::translate("SafeSave", "being saved by another user; try again");
        return Settled::Unfinished;
    }
    QByteArray folder, name;
    BesideSong::split(target, folder, name);
    struct stat ks {};
    KeptHead head;
    bool complete = ::fstat(kept, &ks) == 0 && readKeptHead(kept, head);
    if (complete && head.name != name)
        return Settled::Done;
    const quint64 bound = quint64(BesideSong::songBound(name));
    QByteArray oldHash(hashBytes, Qt::Uninitialized), end(keptEnd2.size(), Qt::Uninitialized);
    bool read = false;
    complete = complete && head.oldSize <= bound && head.newSize <= bound && ks.st_size == head.whole() &&
               readAll(kept, head.tailAt(), oldHash.data(), hashBytes) &&
               readAll(kept, head.tailAt() + hashBytes, end.data(), size_t(end.size())) &&
               end == (head.second ? keptEnd2 : keptEnd1) &&
               md5Of(kept, head.size, off_t(head.oldSize), read) == oldHash && read &&
               (!head.second || (md5Of(kept, head.newAt(), off_t(head.newSize), read) == head.newHash && read));
    if (complete) {
        // Where the user may not write the song it is only looked at.
        int fd = ::open(target.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        const bool mayWrite = fd >= 0;
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
            fd = ::open(target.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        struct stat ss {};
        if (fd < 0 || ::fstat(fd, &ss) != 0 || !S_ISREG(ss.st_mode)) {
            err = errnoText("cannot put back the song an interrupted save left", fd < 0 ? errno : EINVAL);
            if (fd >= 0)
                ::close(fd);
            return Settled::Failed;
        }
        const auto done = [&](Settled settled) {
            ::close(fd);
            return settled;
        };
        const QByteArray now = md5Of(fd, 0, ss.st_size, read);
        const bool whole = read && ((now == head.newHash && (!head.second || quint64(ss.st_size) == head.newSize)) ||
                                    (now == oldHash && quint64(ss.st_size) == head.oldSize));
        if (!whole) {
            if (head.second && (quint64(ss.st_ino) != head.inode || !leftByTheWrite(fd, ss.st_size, kept, head))) {
                keepAside(keep, folder, name);
                return done(Settled::Done);
            }
            if (!mayWrite) {
                err = QCoreApplication::translate("SafeSave", "being saved by another user; try again");
                return done(Settled::Unfinished);
            }
            if (!putBack(kept, head.size, off_t(head.oldSize), oldHash, fd)) {
                err = errnoText("cannot put back the song an interrupted save left", errno);
                return done(Settled::Failed);
            }
            qWarning().noquote() << "[SafeSave::recover] put back as it was before an interrupted save:"
                                 << QFile::decodeName(target);
        }
        ::close(fd);
    }
    if (::unlink(keep.constData()) != 0) {
        // One the user may not remove (another's, in a sticky folder) is
        // emptied: a copy with nothing in it is never acted on again.
        const int spent = ::open(keep.constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (spent < 0 || ::ftruncate(spent, 0) != 0)
            qWarning().noquote() << "[SafeSave::recover] cannot remove" << QFile::decodeName(keep) << strerror(errno);
        if (spent >= 0)
            ::close(spent);
    }
    syncFolder(folder);
    return Settled::Done;
}

// What in-place writes of target that died left: its kept copies, found by
// the song's name (under another name too, where a file left alone held
// the copy's own), each settled by settleKept, and the partial files of
// its crashed saves. False, with the reason, when the song holds no whole
// content (unfinished) or could not be put back.
bool recoverKept(const QByteArray &target, QString &err, bool &unfinished)
{
    unfinished = false;
    struct stat song {};
    if (::stat(target.constData(), &song) != 0 || !S_ISREG(song.st_mode))
        return true;
    QByteArray folder, name;
    BesideSong::split(target, folder, name);
    const QByteArray stem = '.' + name;
    QList<QByteArray> copies{BesideSong::name(folder, stem, keptTail)};
    copies += BesideSong::otherNames(folder, stem, keptTail + '~');
    bool settled = true;
    for (const QByteArray &entry : copies) {
        const QByteArray keep = BesideSong::join(folder, entry);
        const BesideSong::Found found(keep, song, keptBound(name), O_RDONLY);
        found.tellLeftAlone();
        if (!found.usable())
            continue;
        QString why;
        const Settled result = settleKept(keep, found.fd(), target, why);
        if (result != Settled::Done) {
            settled = false;
            unfinished = unfinished || result == Settled::Unfinished;
            err = why;
        }
    }
    clearParts(folder, name, song);
    return settled;
}

// Writes the parts as the new content of the resolved target. The new file
// takes the mode, owner and group of the file it replaces (written into that
// file where they cannot be given to a new one), else of model as far as the
// user may give them, else 0644 less umask.
bool writeResolved(const QByteArray &target, const QList<QByteArray> &parts, const struct stat *model, QString &err)
{
    QByteArray folder;
    QByteArray name;
    BesideSong::split(target, folder, name);

    struct stat st;
    bool existed = ::stat(target.constData(), &st) == 0;
    if (!mayReplace(target, existed ? &st : nullptr, err))
        return false;
    // What an interrupted write left is settled before another.
    bool unfinished = false;
    if (existed && !recoverKept(target, err, unfinished))
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
    if (existed &&
        (st.st_nlink > 1 || (::geteuid() != 0 && (st.st_uid != ::geteuid() || !BesideSong::memberOf(st.st_gid))))) {
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

bool earlier(const timespec &a, const timespec &b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The song's own backup beside the name name in folder: under the backup's
// name, or another where a file left alone holds that (the earliest made);
// empty when none, else with its time of making in made. refused, when
// given, gets why a file under the backup's name is left alone.
QByteArray ownBackup(const QByteArray &folder, const QByteArray &name, const struct stat &song, QString *refused,
                     timespec &made)
{
    const qint64 bound = BesideSong::songBound(name);
    const QByteArray primary = BesideSong::join(folder, BesideSong::name(folder, name, backupTail));
    const BesideSong::Found own(primary, song, bound, O_RDONLY);
    if (own.usable()) {
        made = own.info().st_mtim;
        return primary;
    }
    own.tellLeftAlone();
    if (refused && !own.absent())
        *refused = own.leftAlone();
    QByteArray found;
    for (const QByteArray &entry : BesideSong::otherNames(folder, name, backupTail + '~')) {
        const QByteArray other = BesideSong::join(folder, entry);
        const BesideSong::Found backup(other, song, bound, O_RDONLY);
        backup.tellLeftAlone();
        if (backup.usable() && (found.isEmpty() || earlier(backup.info().st_mtim, made))) {
            found = other;
            made = backup.info().st_mtim;
        }
    }
    return found;
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

bool recover(const QString &path, QString *error, bool *unfinished)
{
    QString dummy;
    QString &err = error ? *error : dummy;
    bool left = false;
    const bool settled = path.isEmpty() || recoverKept(resolveTarget(path), err, left);
    if (unfinished)
        *unfinished = left;
    // And what crashed copies to its backup left, beside the name the song
    // was given (the backup's place).
    const QByteArray native = nativeSongPath(path);
    struct stat song {};
    if (!path.isEmpty() && ::stat(native.constData(), &song) == 0) {
        QByteArray folder, name;
        BesideSong::split(native, folder, name);
        clearParts(folder, BesideSong::name(folder, name, backupTail), song);
    }
    return settled;
}

// The entry beside path named from its name and tail, as a path of the same
// spelling as path.
QString besidePath(const QString &path, const QByteArray &entry)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1) + QFile::decodeName(entry);
}

QString backupPath(const QString &path)
{
    QByteArray folder, name;
    BesideSong::split(nativeSongPath(path), folder, name);
    const QByteArray entry = BesideSong::name(folder, name, backupTail);
    return entry == name + backupTail ? path + QLatin1String(".bak") : besidePath(path, entry);
}

QString backupOf(const QString &path, QString *refused)
{
    const QByteArray native = nativeSongPath(path);
    struct stat song {};
    if (path.isEmpty() || ::stat(native.constData(), &song) != 0)
        return {};
    QByteArray folder, name;
    BesideSong::split(native, folder, name);
    timespec made {};
    QByteArray found = ownBackup(folder, name, song, refused, made);
    // One backup for every name of a song with several: the one made
    // before its first save, under whichever name it was saved (an earlier
    // version made one per name, the later holding that save).
    if (song.st_nlink > 1) {
        for (const QByteArray &other : BesideSong::namesOf(folder, song)) {
            timespec theirs {};
            const QByteArray backup = other == name ? QByteArray() : ownBackup(folder, other, song, nullptr, theirs);
            if (!backup.isEmpty() && (found.isEmpty() || earlier(theirs, made))) {
                found = backup;
                made = theirs;
            }
        }
    }
    if (found.isEmpty())
        return {};
    const QByteArray entry = found.mid(found.lastIndexOf('/') + 1);
    return entry == name + backupTail ? path + QLatin1String(".bak") : besidePath(path, entry);
}

bool makeBackup(const QString &path, QString *error)
{
    QString dummy;
    QString &err = error ? *error : dummy;
    if (!backupOf(path).isEmpty())
        return true;
    const QByteArray native = nativeSongPath(path);
    struct stat song {};
    if (::stat(native.constData(), &song) != 0) {
        err = errnoText("cannot read the song", errno);
        return false;
    }
    QByteArray folder, name;
    BesideSong::split(native, folder, name);
    const QByteArray own = BesideSong::name(folder, name, backupTail);
    struct stat held {};
    if (::lstat(BesideSong::join(folder, own).constData(), &held) != 0)
        return copyFile(path, backupPath(path), &err);
    // Its own name is held by a file left alone (ownBackup said so).
    const QByteArray other = BesideSong::otherName(folder, name, backupTail + '~');
    return copyFile(path, besidePath(path, other), &err);
}

QStringList takeNotices()
{
    return BesideSong::takeTold();
}

QString shownName(const QString &path)
{
    const QByteArray native = nativeSongPath(path);
    return BesideSong::shown(native.mid(native.lastIndexOf('/') + 1));
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
