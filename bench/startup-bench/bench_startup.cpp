// Time from starting the program to the main window's first paint, with an
// empty library: the first start (folder and database made from the template)
// and a later start (database already there).
//
// Usage: bench_startup [runs]   (default 5 of each; the target is 1500 ms)
//
// Each run is a fresh process of this tool going through the program's own
// start-up with the offscreen platform, in a home folder of its own. The time
// runs from just before the process is started until the paint has finished.
// The child prints its figures on a line of their own, after a tag, since
// the libraries it starts print to the same output (RtMidi without an ALSA
// sequencer); a run that fails says why.
#include "DatabaseHelper.h"
#include "startup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr double kTargetMs = 1500.0;
constexpr char kFigures[] = "startup-figures:";

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Notes the end of the first paint of the main window, once the paint
// events of that update have all been handled.
class FirstPaint : public QObject
{
public:
    qint64 paintedNs = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !seen) {
            auto *widget = qobject_cast<QWidget *>(watched);
            if (widget && widget->window()->objectName() == QLatin1String("MainWindow")) {
                seen = true;
                QTimer::singleShot(0, this, [this] {
                    paintedNs = monotonicNs();
                    QCoreApplication::quit();
                });
            }
        }
        return false;
    }

private:
    bool seen = false;
};

int child(int argc, char **argv)
{
    const qint64 mainNs = monotonicNs();
    QApplication app(argc, argv);
    FirstPaint watcher;
    app.installEventFilter(&watcher);
    std::unique_ptr<DatabaseHelper> db;
    if (startProgram(db) != 0) {
        endProgram();
        std::fprintf(stderr, "the program did not start: its song database could not be made or opened\n");
        return 1;
    }
    QTimer::singleShot(30000, &app, &QCoreApplication::quit);
    app.exec();
    endProgram();
    if (!watcher.paintedNs) {
        std::fprintf(stderr, "the main window was not painted within 30 s\n");
        return 1;
    }
    std::printf("\n%s %lld %lld\n", kFigures, static_cast<long long>(mainNs),
                static_cast<long long>(watcher.paintedNs));
    return 0;
}

struct Sample {
    double toMainMs;
    double toPaintMs;
};

bool runOnce(const QString &self, const QString &root, Sample &sample)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", root + "/home");
    env.insert("XDG_CONFIG_HOME", root + "/config");
    env.insert("XDG_DATA_HOME", root + "/data");
    env.insert("XDG_CACHE_HOME", root + "/cache");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(root);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    const qint64 startNs = monotonicNs();
    p.start(self, {"--child"});
    const auto failed = [&p](const QString &why) {
        const QByteArray said = p.readAllStandardError().trimmed();
        std::fprintf(stderr, "run failed: %s\n%s%s", qPrintable(why), said.constData(), said.isEmpty() ? "" : "\n");
        return false;
    };
    if (!p.waitForStarted(60000))
        return failed(QStringLiteral("the child did not start: %1").arg(p.errorString()));
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return failed(QStringLiteral("the child did not end within 60 s"));
    }
    if (p.exitStatus() != QProcess::NormalExit)
        return failed(QStringLiteral("the child crashed: %1").arg(p.errorString()));
    if (p.exitCode() != 0)
        return failed(QStringLiteral("the child ended with code %1").arg(p.exitCode()));
    const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
    const auto line = std::find_if(lines.begin(), lines.end(), [](const QByteArray &l) { return l.startsWith(kFigures); });
    long long mainNs = 0, paintNs = 0;
    if (line == lines.end()
        || std::sscanf(line->constData() + sizeof kFigures - 1, "%lld %lld", &mainNs, &paintNs) != 2)
        return failed(QStringLiteral("the child printed no \"%1\" line: %2")
                          .arg(QLatin1String(kFigures), QString::fromLocal8Bit(lines.join(" | ").trimmed())));
    sample = {(mainNs - startNs) / 1e6, (paintNs - startNs) / 1e6};
    return true;
}

void report(const char *what, std::vector<Sample> samples)
{
    std::sort(samples.begin(), samples.end(),
              [](const Sample &a, const Sample &b) { return a.toPaintMs < b.toPaintMs; });
    const Sample &median = samples[samples.size() / 2];
    std::printf("%-14s first paint: min %7.1f ms  median %7.1f ms  max %7.1f ms"
                "  (process start to main: median %.1f ms)  %s\n",
                what, samples.front().toPaintMs, median.toPaintMs, samples.back().toPaintMs,
                median.toMainMs, samples.back().toPaintMs <= kTargetMs ? "ok" : "OVER 1500 ms");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return child(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QString self = QCoreApplication::applicationFilePath();
    std::vector<Sample> first, later;
    for (int i = 0; i < runs; ++i) {
        QTemporaryDir dir;
        Sample s{};
        if (!runOnce(self, dir.path(), s))
            return 1;
        first.push_back(s);
        if (!runOnce(self, dir.path(), s))
            return 1;
        later.push_back(s);
    }
    report("first start", first);
    report("later start", later);
    const bool ok = std::all_of(first.begin(), first.end(), [](const Sample &s) { return s.toPaintMs <= kTargetMs; })
                    && std::all_of(later.begin(), later.end(), [](const Sample &s) { return s.toPaintMs <= kTargetMs; });
    return ok ? 0 : 2;
}
