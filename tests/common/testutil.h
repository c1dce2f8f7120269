// Shared test support: one executable per library runs every registered
// QObject test class; files come from scripts in the repo or the tests.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QProcess>
#include <functional>
#include <memory>

namespace TestUtil {

using Factory = std::function<QObject *()>;

// Registers a test class; VELMAR_TEST does it from a static initialiser.
int registerTest(const char *name, Factory factory);
// The Qt platform the executable's tests run on when QT_QPA_PLATFORM is not
// set ("offscreen" unless one of its files sets another from a static
// initialiser).
int setDefaultPlatform(const char *platform);

// Runs /usr/bin/python3 with a script from tests/ (path relative to tests/)
// and the given arguments; fails the running test when it does not exit 0.
// Returns the script's standard output.
QByteArray runPython(const QString &script, const QStringList &args = {});

// Same for any program; returns exit code, fills out/err when given.
int runProgram(const QString &program, const QStringList &args,
               QByteArray *out = nullptr, QByteArray *err = nullptr,
               int timeoutMs = 120000);

// The child of `parent` named `name`; a missing one stops the run with its
// name rather than a crash.
template <class T>
T *child(const QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no child named %s", name);
    return found;
}

// Runs `write` as on a full disk: a file can grow to `bytes` and no further.
// False when the limit could not be set.
bool onFullDisk(qint64 bytes, const std::function<void()> &write);

// How far the process's resident memory rose above where it stood while
// `work` ran (its peak, from /proc), in bytes; -1 when it cannot be told.
qint64 memoryRise(const std::function<void()> &work);

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &data);

// A PulseAudio server of the test's own with one null sink, for code that
// plays through the sound library as the program does: PULSE_SERVER points
// at it from the first start() on. start() is false when pulseaudio is not
// installed or did not come up; stop() ends it as a stopped sound server
// ends (SIGTERM), or killed (SIGKILL); hold() makes it hang (SIGSTOP) and
// go on (SIGCONT).
class SoundServer
{
public:
    SoundServer();
    ~SoundServer();
    bool start();
    void stop(bool kill = false);
    void hold(bool held);

private:
    QString m_dir;
    std::unique_ptr<QProcess> m_server;
};

// Folders: tests/ in the source tree, the build's bin/.
QString testsDir();
QString binDir();

} // namespace TestUtil

#define VELMAR_TEST(Class)                                                     \
    static const int velmarTestRegistered_##Class =                            \
        TestUtil::registerTest(QT_STRINGIFY(Class), [] { return new Class; });
