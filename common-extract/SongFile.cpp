#include "SongFile.h"

#include <QStringList>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

SongFileStatus failWith(SongFileStatus status, const QString &reason, QString *error)
{
    if (error)
        *error = reason;
    return status;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// The entry of folder that reads as name, or that name begins with (the
// longest such); name's own bytes when none does.
QByteArray folderEntry(const QByteArray &folder, const QString &name)
{
    QByteArray best = QFile::encodeName(name);
    qsizetype bestLength = -1;
    DIR *dir = ::opendir(folder.isEmpty() ? "." : folder.constData());
    if (!dir)
        return best;
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray raw(e->d_name);
        const QString read = QFile::decodeName(raw);
        if (read.size() <= bestLength || !read.contains(QChar::ReplacementCharacter) || !name.startsWith(read))
            continue;
        best = raw + QFile::encodeName(name.mid(read.size()));
        bestLength = read.size();
    }
    ::closedir(dir);
    return best;
}

} // namespace

QByteArray nativeSongPath(const QString &path)
{
    const QByteArray plain = QFile::encodeName(path);
    struct stat st {};
    if (!path.contains(QChar::ReplacementCharacter) || ::lstat(plain.constData(), &st) == 0)
        return plain;
    const QStringList parts = path.split(QLatin1Char('/'));
    QByteArray native;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        const QByteArray folder = native;
        if (i > 0)
            native += '/';
        native += part.contains(QChar::ReplacementCharacter) ? folderEntry(i == 1 && folder.isEmpty() ? "/" : folder, part)
                                                             : QFile::encodeName(part);
    }
    return native;
}

SongFileStatus openSongFile(const QString &path, QFile &file, QString *error, SongRefusal *refusal)
{
    const auto fail = [&](SongFileStatus status, SongRefusal::Kind kind, const QString &cause = QString()) {
        if (refusal)
            *refusal = {kind, cause};
        const QString reason = kind == SongRefusal::Missing      ? QStringLiteral("no such file")
                               : kind == SongRefusal::NotRegular ? QStringLiteral("not a regular file")
                                                                 : QStringLiteral("cannot be read: %1").arg(cause);
        return failWith(status, reason, error);
    };
    const QByteArray native = nativeSongPath(path);
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        if (code == ENOENT || code == ENOTDIR)
            return fail(SongFileStatus::Missing, SongRefusal::Missing);
        return fail(SongFileStatus::Unreadable, SongRefusal::Unreadable, systemError(code));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(SongFileStatus::NotRegular, SongRefusal::NotRegular);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(SongFileStatus::Unreadable, SongRefusal::Unreadable, file.errorString());
    }
    return SongFileStatus::Ok;
}

SongFileStatus readOpenedSongFile(QFile &file, qint64 maxBytes, QByteArray &out, QString *error)
{
    out.clear();
    const qint64 size = file.size();
    if (size > maxBytes)
        return failWith(SongFileStatus::TooLarge,
                        QStringLiteral("too large for a song (%1 bytes, at most %2)").arg(size).arg(maxBytes),
                        error);
    out = file.read(size);
    if (out.size() != size) {
        out.clear();
        return failWith(SongFileStatus::Unreadable,
                        QStringLiteral("cannot be read: %1").arg(file.errorString()), error);
    }
    return SongFileStatus::Ok;
}

SongFileStatus readSongFile(const QString &path, qint64 maxBytes, QByteArray &out, QString *error)
{
    out.clear();
    QFile file;
    const SongFileStatus opened = openSongFile(path, file, error);
    return opened == SongFileStatus::Ok ? readOpenedSongFile(file, maxBytes, out, error) : opened;
}
