#include "testutil.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace TestUtil {

bool onFullDisk(qint64 bytes, const std::function<void()> &write)
{
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit full = before;
    full.rlim_cur = rlim_t(bytes);
    // A write past the limit fails with EFBIG instead of killing the test.
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    const bool limited = setrlimit(RLIMIT_FSIZE, &full) == 0;
    if (limited)
        write();
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, handler);
    return limited;
}

qint64 memoryRise(const std::function<void()> &work)
{
    auto kb = [](const char *key) {
        const QByteArray status = readFile(QStringLiteral("/proc/self/status"));
        const int at = status.indexOf(key);
        return at < 0 ? -1 : status.mid(at + int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    };
    const qint64 before = kb("VmRSS:");
    // "5" sets the peak back to what is resident now.
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    const bool peakReset = reset.open(QIODevice::WriteOnly) && reset.write("5") == 1 && reset.flush();
    work();
    const qint64 peak = kb("VmHWM:");
    return peakReset && before >= 0 && peak >= 0 ? std::max<qint64>(0, peak - before) * 1024 : -1;
}

QByteArray runPython(const QString &script, const QStringList &args)
{
    QByteArray out, err;
    const int rc = runProgram(QStringLiteral("/usr/bin/python3"),
                              QStringList{testsDir() + QLatin1Char('/') + script} + args,
                              &out, &err);
    if (rc != 0)
        QTest::qFail(qPrintable(QStringLiteral("%1 failed (%2): %3")
                                    .arg(script).arg(rc).arg(QString::fromUtf8(err))),
                     __FILE__, __LINE__);
    return out;
}

int runProgram(const QString &program, const QStringList &args, QByteArray *out,
               QByteArray *err, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(timeoutMs))
        return -1;
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -2;
    }
    if (out)
        *out = p.readAllStandardOutput();
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -3;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QString testsDir() { return QStringLiteral(VELMAR_TESTS_DIR); }
QString binDir() { return QStringLiteral(VELMAR_BIN_DIR); }

} // namespace TestUtil
