// Song files for the editor tests, made by mido or by the container encoder.
#pragma once

#include "LzhufTestEncoder.h"
#include "testutil.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace SongFixtures {

// Users of the system's user database for the tests of a shared folder: an
// owner and a member of one group (theirs by their own group), and one
// outside it; and, where the system has one, a group that lists a member of
// it (not the outsider). None (false) where the system has no such users.
struct SharedUsers {
    gid_t group = 0, outsiderGroup = 0, listedGroup = 0;
    uid_t owner = 0, member = 0, outsider = 0, listedMember = 0;
    explicit operator bool() const { return owner && member && outsider; }
};

inline SharedUsers sharedUsers()
{
    QMap<gid_t, QList<uid_t>> byGroup;
    QMap<uid_t, gid_t> groupOf;
    ::setpwent();
    while (const passwd *user = ::getpwent()) {
        if (user->pw_uid != 0) {
            byGroup[user->pw_gid] << user->pw_uid;
            groupOf[user->pw_uid] = user->pw_gid;
        }
    }
    ::endpwent();
    SharedUsers users;
    for (auto it = byGroup.cbegin(); it != byGroup.cend() && !users; ++it) {
        if (it.value().size() < 2)
            continue;
        const group *listed = ::getgrgid(it.key());
        for (auto user = groupOf.cbegin(); user != groupOf.cend(); ++user) {
            const passwd *entry = ::getpwuid(user.key());
            bool member = user.value() == it.key();
            for (char **m = listed ? listed->gr_mem : nullptr; m && *m && entry && !member; ++m)
                member = QByteArray(*m) == entry->pw_name;
            if (!member) {
                users = {it.key(), user.value(), 0, it.value().at(0), it.value().at(1), user.key(), 0};
                break;
            }
        }
    }
    const passwd *outsider = users ? ::getpwuid(users.outsider) : nullptr;
    ::setgrent();
    while (const group *listed = ::getgrent()) {
        if (!outsider || users.listedGroup || listed->gr_gid == 0 || listed->gr_gid == users.outsiderGroup)
            continue;
        uid_t member = 0;
        bool outsiderListed = false;
        for (char **m = listed->gr_mem; m && *m; ++m) {
            const passwd *entry = ::getpwnam(*m);
            outsiderListed = outsiderListed || QByteArray(*m) == outsider->pw_name;
            if (entry && entry->pw_uid != 0 && entry->pw_gid != listed->gr_gid && !member)
                member = entry->pw_uid;
        }
        if (member && !outsiderListed) {
            users.listedGroup = listed->gr_gid;
            users.listedMember = member;
        }
    }
    ::endgrent();
    return users;
}

// Runs body in a child process as uid in groups (the first its own); what
// body returns comes back through a pipe. "exit N" (or "signal N") when the
// child ends otherwise.
inline QByteArray asUser(uid_t uid, const QList<gid_t> &groups, const std::function<QByteArray()> &body)
{
    int pipe[2];
    if (::pipe(pipe) != 0)
        return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe[0]);
        if (::setgroups(size_t(groups.size()), groups.constData()) != 0 || ::setgid(groups.first()) != 0 ||
            ::setuid(uid) != 0)
            ::_exit(250);
        const QByteArray said = body();
        ::_exit(::write(pipe[1], said.constData(), size_t(said.size())) == said.size() ? 0 : 251);
    }
    ::close(pipe[1]);
    QByteArray said;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            said.append(buffer, n);
        else if (errno != EINTR)
            break;
    }
    ::close(pipe[0]);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return "no child";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return said;
    return WIFEXITED(status) ? "exit " + QByteArray::number(WEXITSTATUS(status))
                             : "signal " + QByteArray::number(WTERMSIG(status));
}

// A four-bar song of SMF format 0 or 1 (tests/songfiles/song_tool.py); a
// shift other than 0 makes another song, its keys that much higher.
inline QString makeMidi(const QString &folder, const QString &name, int format = 1, int shift = 0)
{
    const QString path = QDir(folder).filePath(name);
    TestUtil::runPython(QStringLiteral("songfiles/song_tool.py"),
                        {QStringLiteral("make"), path, QString::number(format), QString::number(shift)});
    return path;
}

// magic "_MF3", "_MF4" or "_MF5" with zero fields over a compressed MIDI song.
inline QString makeMfx(const QString &folder, const QString &name, const QByteArray &magic)
{
    const QByteArray midi = TestUtil::readFile(makeMidi(folder, QStringLiteral("payload.mid"), 0));
    const QString path = QDir(folder).filePath(name);
    TestUtil::writeFile(path, LzhufTestEncoder::container(magic.constData(), midi));
    QFile::remove(QDir(folder).filePath(QStringLiteral("payload.mid")));
    return path;
}

// mido's strict reading of edited against original: its tracks, head metas
// and whether its notes are original's (tests/songfiles/song_tool.py check).
inline QJsonObject mido(const QString &original, const QString &edited)
{
    return QJsonDocument::fromJson(TestUtil::runPython(QStringLiteral("songfiles/song_tool.py"),
                                                       {QStringLiteral("check"), original, edited}))
        .object();
}

// Per track, how many settings records of each command mido finds, as JSON.
inline QString settingsRecords(const QString &path)
{
    return QString::fromLatin1(
        TestUtil::runPython(QStringLiteral("songfiles/song_tool.py"), {QStringLiteral("records"), path}));
}

} // namespace SongFixtures
