#include "SafeSave.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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
    QByteArray native = QFile::encodeName(path);
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

// Writes the parts as the new content of the resolved target. The new file
// takes the mode (and owner and group where the user may set them) of the
// file it replaces, else of model, else 0644 less umask.
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

    QByteArray temp = (folder == "/" ? QByteArray() : folder) + "/." + name + ".saving-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        err = errnoText("cannot create a file beside the song", errno);
        return false;
    }
    auto fail = [&](const char *what) {
        const int saved = errno;
        err = errnoText(what, saved);
        if (fd >= 0)
            ::close(fd);
        ::unlink(temp.constData());
        return false;
    };
    // The owner too where we may (as root); otherwise the file becomes ours.
    if ((existed || model) && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
        (void)::fchown(fd, st.st_uid, st.st_gid);
    if (::fchmod(fd, mode) != 0)
        return fail("cannot set permissions");
    for (const QByteArray &part : parts) {
        if (!writeAll(fd, part))
            return fail("write failed");
    }
    if (::fsync(fd) != 0)
        return fail("flush failed");
    if (::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temp.constData());
        err = errnoText("close failed", saved);
        return false;
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
    if (target.isEmpty() || QFileInfo::exists(target)) {
        err = target.isEmpty() ? QStringLiteral("empty path") : QStringLiteral("target exists");
        return false;
    }
    QFile in(source);
    struct stat st;
    if (!in.open(QIODevice::ReadOnly) || ::fstat(in.handle(), &st) != 0) {
        err = in.errorString();
        return false;
    }
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError || bytes.size() != in.size()) {
        err = QStringLiteral("read failed: %1").arg(in.errorString());
        return false;
    }
    in.close();
    return writeResolved(resolveTarget(target), {bytes}, &st, err);
}

} // namespace SafeSave
