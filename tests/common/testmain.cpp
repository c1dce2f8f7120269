// Runs every test class linked into the executable, or only those named on
// the command line before any Qt Test option ("tst_x ClassA -v2").
// "tst_x -classes" lists the classes; VELMAR_TEST_ORDER=reverse runs them
// last first, so that a class relying on an earlier one shows.
//
// The tests run in a child process: the parent keeps a temporary folder of
// the run's own (TMPDIR) and, being the subreaper of whatever the tests
// start, ends every process they left and removes the folder, however the
// child ended (a crash included). VELMAR_TEST_DIRECT=1 runs the tests in
// this process, for a debugger.
//
// VELMAR_TEST_SHARD=K/N (a run without arguments) runs the K-th of N parts
// of the program's test functions, so that ctest may run a long program's
// parts at once: dealt out in their order there and back (1, 2, 2, 1, 1,
// 2, ... for two), as neighbours are often alike in length.
#include "testutil.h"

#include <QApplication>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {
std::vector<std::pair<const char *, TestUtil::Factory>> &registry()
{
    static std::vector<std::pair<const char *, TestUtil::Factory>> r;
    return r;
}

// The test functions of a class, as QtTest finds them.
QStringList testFunctions(const QMetaObject *meta)
{
    static const QStringList fixtures{"initTestCase", "cleanupTestCase", "init", "cleanup"};
    QStringList names;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        const QString name = QString::fromLatin1(m.name());
        if (m.methodType() == QMetaMethod::Slot && m.access() == QMetaMethod::Private && m.parameterCount() == 0
            && !fixtures.contains(name) && !name.endsWith(QLatin1String("_data")))
            names << name;
    }
    return names;
}

const char *&defaultPlatform()
{
    static const char *platform = "offscreen";
    return platform;
}

// The parent's children, from /proc.
std::vector<pid_t> children()
{
    std::vector<pid_t> found;
    const std::string self = std::to_string(getpid());
    DIR *proc = opendir("/proc");
    if (!proc)
        return found;
    while (dirent *e = readdir(proc)) {
        const pid_t pid = pid_t(std::atoi(e->d_name));
        if (pid <= 0)
            continue;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
        FILE *f = std::fopen(path, "r");
        if (!f)
            continue;
        char buf[512] = {};
        const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
        std::fclose(f);
        // "pid (name) state ppid ...": the name may hold spaces and brackets.
        const char *close = std::strrchr(buf, ')');
        if (n == 0 || !close)
            continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(close + 1, " %c %d", &state, &ppid) == 2 && std::to_string(ppid) == self)
            found.push_back(pid);
    }
    closedir(proc);
    return found;
}

// Forks; the child returns to run the tests, the parent waits for it, ends
// what it left behind and returns its exit status.
int supervise(bool *isChild)
{
    char root[] = "/tmp/velmar-test-XXXXXX";
    if (!mkdtemp(root)) {
        std::perror("mkdtemp");
        *isChild = true; // run anyway, unguarded
        return 0;
    }
    // As /tmp is to them: a test that drops to another user still reaches
    // its own folders inside.
    chmod(root, 0755);
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        *isChild = true;
        return 0;
    }
    if (child == 0) {
        *isChild = true;
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setenv("TMPDIR", root, 1);
        return 0;
    }
    *isChild = false;
    // Signals for the run go to the tests; the parent only waits.
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    signal(SIGQUIT, SIG_IGN);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // Whatever the tests started and left (a store service, a program under
    // test) came to the parent: end it, and what it started in turn.
    for (int round = 0; round < 20; ++round) {
        const std::vector<pid_t> left = children();
        if (left.empty())
            break;
        for (pid_t pid : left) {
            std::fprintf(stderr, "test run: ending process %d the tests left running\n", int(pid));
            kill(pid, round < 10 ? SIGTERM : SIGKILL);
        }
        for (int i = 0; i < 50 && waitpid(-1, nullptr, WNOHANG) >= 0; ++i)
            usleep(20000);
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "test run: the tests ended by signal %d (%s)\n", WTERMSIG(status),
                     strsignal(WTERMSIG(status)));
        return 128 + WTERMSIG(status);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
} // namespace

int TestUtil::registerTest(const char *name, Factory factory)
{
    registry().emplace_back(name, std::move(factory));
    return int(registry().size());
}

int TestUtil::setDefaultPlatform(const char *platform)
{
    defaultPlatform() = platform;
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "-classes") == 0) {
        for (const auto &entry : registry())
            std::printf("%s\n", entry.first);
        return 0;
    }
    if (!qEnvironmentVariableIsSet("VELMAR_TEST_DIRECT")) {
        bool isChild = false;
        const int status = supervise(&isChild);
        if (!isChild)
            return status;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", defaultPlatform());
    QApplication app(argc, argv);

    QStringList only;
    QStringList qtArgs{QString::fromLocal8Bit(argv[0])};
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (qtArgs.size() == 1 && !a.startsWith(QLatin1Char('-')) && !a.contains(QLatin1Char('(')))
            only << a;
        else
            qtArgs << a;
    }

    auto classes = registry();
    if (qgetenv("VELMAR_TEST_ORDER") == "reverse")
        std::reverse(classes.begin(), classes.end());
    const QStringList shard = qEnvironmentVariable("VELMAR_TEST_SHARD").split(QLatin1Char('/'));
    const int part = shard.value(0).toInt(), parts = shard.value(1).toInt();
    const bool sharded = argc == 1 && parts > 1 && part >= 1 && part <= parts;
    int failed = 0, counted = 0;
    for (const auto &[name, make] : classes) {
        if (!only.isEmpty() && !only.contains(QLatin1String(name)))
            continue;
        std::unique_ptr<QObject> test(make());
        QStringList args = qtArgs;
        if (sharded) {
            QStringList mine;
            for (const QString &function : testFunctions(test->metaObject())) {
                const int turn = counted++ % (2 * parts);
                if ((turn < parts ? turn : 2 * parts - 1 - turn) == part - 1)
                    mine << function;
            }
            if (mine.isEmpty())
                continue;
            args << mine;
        }
        failed += QTest::qExec(test.get(), args);
    }
    return failed ? 1 : 0;
}
