// A save's data is on the disk before its name: the calls that flush, name
// and write files are interposed in this test program (as the real-time
// guard interposes locks) and their order checked on the Editing page's
// save road, SongRW::saveToFile, so that a power cut right after a save
// never leaves the song empty or cut. The calls are passed on to the C
// library's; only those made while armed are noted.
#include "SongRW.h"
#include "songfixtures.h"
#include "testutil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <dlfcn.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Call {
    enum Kind { Sync, Name, Rename, Unlink, Write } kind;
    QByteArray path; // the file's path (a file without a name: empty)
    QByteArray to;   // the name given (Name, Rename)
    int fd = -1;
    qint64 size = -1; // of the file, as the call found it
};

std::atomic<bool> g_armed{false};
std::mutex g_lock;
std::vector<Call> g_calls;

QByteArray pathOf(int fd)
{
    char buffer[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + QByteArray::number(fd)).constData(), buffer, sizeof buffer);
    const QByteArray path(buffer, n > 0 ? int(n) : 0);
    return path.endsWith(" (deleted)") ? QByteArray() : path;
}

qint64 sizeOf(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? qint64(st.st_size) : -1;
}

void note(Call::Kind kind, int fd, const QByteArray &path = {}, const QByteArray &to = {})
{
    if (!g_armed.load())
        return;
    struct stat st {};
    const qint64 size = fd >= 0 ? sizeOf(fd) : ::stat(path.constData(), &st) == 0 ? qint64(st.st_size) : -1;
    Call c{kind, fd >= 0 ? pathOf(fd) : path, to, fd, size};
    const std::lock_guard<std::mutex> locker(g_lock);
    g_calls.push_back(c);
}

template <typename F>
F next(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fsync(int fd)
{
    static const auto real = next<int (*)(int)>("fsync");
    note(Call::Sync, fd);
    return real(fd);
}
extern "C" int fdatasync(int fd)
{
    static const auto real = next<int (*)(int)>("fdatasync");
    note(Call::Sync, fd);
    return real(fd);
}
extern "C" int rename(const char *from, const char *to)
{
    static const auto real = next<int (*)(const char *, const char *)>("rename");
    note(Call::Rename, -1, from, to);
    return real(from, to);
}
extern "C" int renameat(int fromDir, const char *from, int toDir, const char *to)
{
    static const auto real = next<int (*)(int, const char *, int, const char *)>("renameat");
    note(Call::Rename, -1, from, to);
    return real(fromDir, from, toDir, to);
}
extern "C" int link(const char *from, const char *to)
{
    static const auto real = next<int (*)(const char *, const char *)>("link");
    note(Call::Name, -1, from, to);
    return real(from, to);
}
extern "C" int linkat(int fromDir, const char *from, int toDir, const char *to, int flags)
{
    static const auto real = next<int (*)(int, const char *, int, const char *, int)>("linkat");
    // A file without a name is named through /proc/self/fd/N.
    const QByteArray source(from);
    const int fd = source.startsWith("/proc/self/fd/") ? source.mid(14).toInt() : -1;
    note(Call::Name, fd, source, to);
    return real(fromDir, from, toDir, to, flags);
}
extern "C" int unlink(const char *path)
{
    static const auto real = next<int (*)(const char *)>("unlink");
    note(Call::Unlink, -1, path);
    return real(path);
}
extern "C" ssize_t pwrite(int fd, const void *data, size_t n, off_t at)
{
    static const auto real = next<ssize_t (*)(int, const void *, size_t, off_t)>("pwrite");
    note(Call::Write, fd);
    return real(fd, data, n, at);
}

class TestSaveOrder : public QObject
{
    Q_OBJECT

    // The calls of two saves of the song at path, each with its key changed.
    static std::vector<Call> twoSaves(const QString &path)
    {
        {
            const std::lock_guard<std::mutex> locker(g_lock);
            g_calls.clear();
        }
        for (int key : {2, 3}) {
            // The first opening makes the backup.
            g_armed = true;
            std::unique_ptr<SongRW> editor(SongRW::createFromFile(path, true));
            const bool saved = editor && (editor->setDeltaKey(key), editor->saveToFile(path));
            g_armed = false;
            if (!saved)
                return {};
        }
        const std::lock_guard<std::mutex> locker(g_lock);
        return g_calls;
    }
    static qint64 sizeNow(const QByteArray &path)
    {
        struct stat st {};
        return ::stat(path.constData(), &st) == 0 ? qint64(st.st_size) : -1;
    }
    // Whether the folder was flushed after call `after`.
    static bool folderSyncedAfter(const std::vector<Call> &calls, size_t after, const QByteArray &folder)
    {
        for (size_t i = after + 1; i < calls.size(); ++i)
            if (calls[i].kind == Call::Sync && calls[i].path == folder)
                return true;
        return false;
    }

private slots:
    // A song replaced by a new file (its owner saves it): the new file and
    // the backup are flushed whole under their temporary names before the
    // rename gives them the song's, and the folder after it.
    void newFileFlushedBeforeItsName()
    {
        QTemporaryDir dir;
        const QString path = SongFixtures::makeMidi(dir.path(), QStringLiteral("song.mid"));
        const QByteArray folder = QFile::encodeName(QDir(dir.path()).canonicalPath());
        const std::vector<Call> calls = twoSaves(path);
        QVERIFY(!calls.empty());
        QStringList failures;
        int renames = 0;
        for (size_t i = 0; i < calls.size(); ++i) {
            const Call &r = calls[i];
            if (r.kind != Call::Rename || !r.to.startsWith(folder))
                continue;
            ++renames;
            // The size the name holds at the end of the save that renamed
            // it: the last one's is on the disk now.
            bool flushed = false;
            for (size_t j = 0; j < i; ++j)
                flushed = flushed || (calls[j].kind == Call::Sync && calls[j].path == r.path && calls[j].size > 0);
            bool laterRename = false;
            for (size_t j = i + 1; j < calls.size(); ++j)
                laterRename = laterRename || (calls[j].kind == Call::Rename && calls[j].to == r.to);
            if (!laterRename) {
                qint64 synced = -1;
                for (size_t j = 0; j < i; ++j)
                    if (calls[j].kind == Call::Sync && calls[j].path == r.path)
                        synced = calls[j].size;
                if (synced != sizeNow(r.to))
                    failures << QStringLiteral("%1 flushed at %2 bytes, %3 now").arg(QString::fromLocal8Bit(r.to))
                                    .arg(synced).arg(sizeNow(r.to));
            }
            if (!flushed)
                failures << QStringLiteral("%1 named before its data was flushed").arg(QString::fromLocal8Bit(r.to));
            if (!folderSyncedAfter(calls, i, folder))
                failures << QStringLiteral("the folder not flushed after %1 was named").arg(QString::fromLocal8Bit(r.to));
        }
        QCOMPARE(failures, QStringList());
        // The song twice, its backup once.
        QCOMPARE(renames, 3);
    }

    // A song with a second name is written into itself: its old content is
    // kept beside it, flushed whole before it is named and the name
    // flushed before the song's first byte changes; the song is flushed
    // before the copy goes.
    void inPlaceWriteKeepsTheOldContentFirst()
    {
        QTemporaryDir dir;
        const QString path = SongFixtures::makeMidi(dir.path(), QStringLiteral("song.mid"));
        const QByteArray folder = QFile::encodeName(QDir(dir.path()).canonicalPath());
        const QByteArray song = folder + "/song.mid";
        const QByteArray kept = folder + "/.song.mid.kept";
        QCOMPARE(::link(song.constData(), (folder + "/second name.mid").constData()), 0);
        const std::vector<Call> calls = twoSaves(path);
        QVERIFY(!calls.empty());
        QStringList failures;
        int writes = 0;
        size_t saveBegan = 0; // after the last copy's removal
        for (size_t i = 0; i < calls.size(); ++i) {
            const Call &c = calls[i];
            if (c.kind == Call::Name && c.to == kept) {
                // The same file: by its descriptor where it had no name yet.
                bool flushed = false;
                for (size_t j = saveBegan; j < i; ++j)
                    flushed = flushed || (calls[j].kind == Call::Sync && calls[j].size == c.size
                                          && (c.fd >= 0 ? calls[j].fd == c.fd : calls[j].path == c.path));
                if (!flushed)
                    failures << QStringLiteral("the copy named before it was flushed whole");
                // Up to the song's first write of this save.
                size_t write = i + 1;
                while (write < calls.size() && !(calls[write].kind == Call::Write && calls[write].path == song))
                    ++write;
                bool named = false;
                for (size_t j = i + 1; j < write; ++j)
                    named = named || (calls[j].kind == Call::Sync && calls[j].path == folder);
                if (write == calls.size() || !named)
                    failures << QStringLiteral("the song written before the copy's name was flushed");
            } else if (c.kind == Call::Unlink && c.path == kept) {
                // The song's last write before, and a flush of it whole after that.
                size_t last = i;
                for (size_t j = 0; j < i; ++j)
                    if (calls[j].kind == Call::Write && calls[j].path == song)
                        last = j;
                bool flushed = false;
                for (size_t j = last + 1; last < i && j < i; ++j)
                    flushed = flushed || (calls[j].kind == Call::Sync && calls[j].path == song);
                if (!flushed)
                    failures << QStringLiteral("the copy removed before the song was flushed");
                if (!folderSyncedAfter(calls, i, folder))
                    failures << QStringLiteral("the folder not flushed after the copy went");
                saveBegan = i + 1;
            }
            writes += c.kind == Call::Write && c.path == song;
        }
        QCOMPARE(failures, QStringList());
        QVERIFY(writes >= 2);
        QCOMPARE(std::count_if(calls.begin(), calls.end(), [&](const Call &c) { return c.kind == Call::Name && c.to == kept; }),
                 2);
        QCOMPARE(std::count_if(calls.begin(), calls.end(), [&](const Call &c) { return c.kind == Call::Unlink && c.path == kept; }),
                 2);
    }
};

VELMAR_TEST(TestSaveOrder)
#include "tst_saveorder.moc"
