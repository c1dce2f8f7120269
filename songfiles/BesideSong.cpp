#include "BesideSong.h"

#include "SongFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

// An NSS lookup into a buffer grown until the entry fits.
template <typename Entry, typename Lookup>
bool lookUp(int sizeName, Entry &entry, std::vector<char> &buffer, Lookup lookup)
{
    const long hint = ::sysconf(sizeName);
    buffer.resize(hint > 0 ? size_t(hint) : 16384);
    for (;;) {
        Entry *found = nullptr;
        const int r = lookup(&entry, buffer.data(), buffer.size(), &found);
        if (r == ERANGE && buffer.size() < (size_t(1) << 24)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return r == 0 && found;
    }
}

// Whether the user uid is in the group gid: the program's own user as its
// process is, any other as the system's user database says (the group a
// file was given proves nothing: a setgid folder gives its own to every
// file made in it).
bool inGroup(uid_t uid, gid_t gid)
{
    if (uid == ::geteuid())
        return BesideSong::memberOf(gid);
    struct passwd user {};
    std::vector<char> userBuffer, groupBuffer;
    if (!lookUp(_SC_GETPW_R_SIZE_MAX, user, userBuffer,
                [uid](passwd *e, char *b, size_t n, passwd **f) { return ::getpwuid_r(uid, e, b, n, f); }))
        return false;
    if (user.pw_gid == gid)
        return true;
    struct group group {};
    if (!lookUp(_SC_GETGR_R_SIZE_MAX, group, groupBuffer,
                [gid](struct group *e, char *b, size_t n, struct group **f) { return ::getgrgid_r(gid, e, b, n, f); }))
        return false;
    for (char **member = group.gr_mem; member && *member; ++member) {
        if (std::strcmp(*member, user.pw_name) == 0)
            return true;
    }
    return false;
}

// The entries of a folder that otherName may have made, read once per
// change of the folder: a song's start looks for them without reading a
// folder of thousands of songs each time.
struct Listing {
    dev_t device = 0;
    ino_t inode = 0;
    timespec changed {};
    QList<QByteArray> entries;
};
QMutex listingsLock;
QHash<QByteArray, Listing> listings;

bool madeByOtherName(const char *entry)
{
    const size_t n = std::strlen(entry);
    return n > 7 && (entry[n - 7] == '~' || entry[n - 7] == '-');
}

QList<QByteArray> listed(const QByteArray &folder)
{
    struct stat seen {};
    if (::stat(folder.constData(), &seen) != 0)
        return {};
    const QMutexLocker lock(&listingsLock);
    Listing &listing = listings[folder];
    if (listing.device == seen.st_dev && listing.inode == seen.st_ino &&
        listing.changed.tv_sec == seen.st_mtim.tv_sec && listing.changed.tv_nsec == seen.st_mtim.tv_nsec)
        return listing.entries;
    listing.entries.clear();
    if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *e = ::readdir(dir)) {
            if (madeByOtherName(e->d_name))
                listing.entries << QByteArray(e->d_name);
        }
        ::closedir(dir);
    }
    // A folder's time of change is as coarse as its file system's clock (two
    // seconds on FAT, a few milliseconds elsewhere): one changed so lately
    // may change again unseen.
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const qint64 age = (qint64(now.tv_sec) - seen.st_mtim.tv_sec) * 1000000000 + (now.tv_nsec - seen.st_mtim.tv_nsec);
    const bool settled = age > (seen.st_mtim.tv_nsec == 0 ? qint64(3000000000) : qint64(100000000));
    // No inode: read again next time.
    listing.device = seen.st_dev;
    listing.inode = settled ? seen.st_ino : 0;
    listing.changed = seen.st_mtim;
    const QList<QByteArray> entries = listing.entries;
    if (listings.size() > 64)
        listings.clear();
    return entries;
}

QMutex toldLock;
QSet<QByteArray> toldOf;
QStringList toldSince;

} // namespace

namespace BesideSong {

QByteArray name(const QByteArray &folder, const QByteArray &stem, const QByteArray &tail)
{
    long longest = ::pathconf(folder.constData(), _PC_NAME_MAX);
    if (longest <= 0)
        longest = NAME_MAX;
    if (stem.size() + tail.size() <= longest)
        return stem + tail;
    const QByteArray mark = '~' + QCryptographicHash::hash(stem, QCryptographicHash::Md5).toHex().left(8);
    qsizetype keep = std::max<qsizetype>(0, qsizetype(longest) - tail.size() - mark.size());
    // Not inside a UTF-8 character.
    while (keep > 0 && keep < stem.size() && (uint8_t(stem[keep]) & 0xC0) == 0x80)
        --keep;
    return stem.left(keep) + mark + tail;
}

QByteArray otherName(const QByteArray &folder, const QByteArray &stem, const QByteArray &tail)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray made = name(folder, stem, tail + "XXXXXX");
    for (qsizetype at = made.size() - 6; at < made.size(); ++at)
        made[at] = letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return made;
}

QList<QByteArray> otherNames(const QByteArray &folder, const QByteArray &stem, const QByteArray &tail)
{
    const QByteArray prefix = name(folder, stem, tail + "XXXXXX").chopped(6);
    QList<QByteArray> found;
    for (const QByteArray &entry : listed(folder)) {
        if (entry.size() == prefix.size() + 6 && entry.startsWith(prefix))
            found << entry;
    }
    return found;
}

QList<QByteArray> namesOf(const QByteArray &folder, const struct stat &song)
{
    QList<QByteArray> names;
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent *e = ::readdir(dir)) {
        struct stat st {};
        if (e->d_ino == song.st_ino && ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            st.st_dev == song.st_dev && st.st_ino == song.st_ino)
            names << QByteArray(e->d_name);
    }
    ::closedir(dir);
    return names;
}

QByteArray join(const QByteArray &folder, const QByteArray &entry)
{
    return (folder == "/" ? QByteArray() : folder) + '/' + entry;
}

void split(const QByteArray &path, QByteArray &folder, QByteArray &entry)
{
    const int slash = path.lastIndexOf('/');
    folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    entry = path.mid(slash + 1);
}

qint64 songBound(const QByteArray &name)
{
    return name.toLower().endsWith(".mp3") ? SONG_FILE_MAX_MP3_BYTES : SONG_FILE_MAX_MIDI_BYTES;
}

bool memberOf(gid_t gid)
{
    if (gid == ::getegid())
        return true;
    const int n = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(size_t(std::max(n, 0)));
    const int got = n > 0 ? ::getgroups(n, groups.data()) : 0;
    return std::find(groups.begin(), groups.begin() + std::max(got, 0), gid) != groups.begin() + std::max(got, 0);
}

bool couldWrite(uid_t uid, const struct stat &song)
{
    if (uid == 0 || uid == song.st_uid || (song.st_mode & S_IWOTH))
        return true;
    return (song.st_mode & S_IWGRP) && inGroup(uid, song.st_gid);
}

Found::Found(const QByteArray &path, const struct stat &song, qint64 bound, int how) : m_path(path)
{
    QByteArray folder, entry;
    split(path, folder, entry);
    const QString file = shown(entry);
    // Judged before it is opened (a FIFO or a device is never opened), and
    // again once open, in case it was swapped meanwhile.
    const auto judge = [&](const struct stat &st) {
        if (S_ISLNK(st.st_mode))
            m_why = QCoreApplication::translate("SafeSave", "%1 is a link").arg(file);
        else if (!S_ISREG(st.st_mode))
            m_why = QCoreApplication::translate("SafeSave", "%1 is not a file").arg(file);
        else if (!couldWrite(st.st_uid, song))
            m_why = QCoreApplication::translate("SafeSave", "%1 was made by a user who may not write the song")
                        .arg(file);
        else if (st.st_size > bound)
            m_why = QCoreApplication::translate("SafeSave", "%1 is larger than a song may be").arg(file);
        return m_why.isEmpty();
    };
    if (::lstat(path.constData(), &m_info) != 0) {
        const int why = errno;
        m_absent = why == ENOENT || why == ENOTDIR;
        if (!m_absent)
            m_why = QStringLiteral("%1: %2").arg(file, QString::fromLocal8Bit(std::strerror(why)));
        return;
    }
    if (!judge(m_info))
        return;
    const struct stat looked = m_info;
    m_fd = ::open(path.constData(), how | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (m_fd < 0) {
        const int why = errno;
        m_why = QStringLiteral("%1: %2").arg(file, QString::fromLocal8Bit(std::strerror(why)));
        return;
    }
    if (::fstat(m_fd, &m_info) != 0 || m_info.st_dev != looked.st_dev || m_info.st_ino != looked.st_ino ||
        !judge(m_info)) {
        if (m_why.isEmpty())
            m_why = QCoreApplication::translate("SafeSave", "%1 is not a file").arg(file);
        ::close(m_fd);
        m_fd = -1;
    }
}

Found::~Found()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString Found::leftAlone() const
{
    return QCoreApplication::translate("SafeSave", "%1, and is left alone").arg(m_why);
}

void Found::tellLeftAlone() const
{
    if (!m_absent && m_fd < 0)
        tell(m_path, leftAlone() + QLatin1Char('.'));
}

void tell(const QByteArray &file, const QString &text)
{
    const QMutexLocker lock(&toldLock);
    if (toldOf.contains(file))
        return;
    toldOf.insert(file);
    toldSince << text;
    qWarning().noquote() << "[SafeSave]" << QFile::decodeName(file) << text;
}

QStringList takeTold()
{
    const QMutexLocker lock(&toldLock);
    return std::exchange(toldSince, QStringList());
}

QString shown(const QByteArray &entry)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString read = utf8(entry);
    // Not UTF-8: an old archive's Latin-1, as file managers show it.
    return utf8.hasError() ? QString::fromLatin1(entry) : read;
}

} // namespace BesideSong
