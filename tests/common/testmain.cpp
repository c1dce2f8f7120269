// Runs every test class linked into the executable, or only those named on
// the command line before any Qt Test option ("tst_x ClassA -v2").
#include "testutil.h"

#include <QApplication>
#include <QtTest>
#include <memory>
#include <utility>
#include <vector>

namespace {
std::vector<std::pair<const char *, TestUtil::Factory>> &registry()
{
    static std::vector<std::pair<const char *, TestUtil::Factory>> r;
    return r;
}
} // namespace

int TestUtil::registerTest(const char *name, Factory factory)
{
    registry().emplace_back(name, std::move(factory));
    return int(registry().size());
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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

    int failed = 0;
    for (const auto &[name, make] : registry()) {
        if (!only.isEmpty() && !only.contains(QLatin1String(name)))
            continue;
        std::unique_ptr<QObject> test(make());
        failed += QTest::qExec(test.get(), qtArgs);
    }
    return failed ? 1 : 0;
}
