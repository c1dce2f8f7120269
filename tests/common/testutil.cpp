#include "testutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
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

SoundServer::SoundServer() : m_dir(QDir::temp().filePath(QStringLiteral("sound-server-%1").arg(QCoreApplication::applicationPid()))) {}

SoundServer::~SoundServer()
{
    stop(true);
    QDir(m_dir).removeRecursively();
}

bool SoundServer::start()
{
    stop(true);
    QDir().mkpath(m_dir);
    const QString socket = m_dir + QStringLiteral("/native");
    qputenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit());
    m_server = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), m_dir);
    env.insert(QStringLiteral("PULSE_STATE_PATH"), m_dir);
    m_server->setProcessEnvironment(env);
    m_server->setStandardOutputFile(QProcess::nullDevice());
    m_server->setStandardErrorFile(m_dir + QStringLiteral("/server.log"));
    m_server->start(QStringLiteral("pulseaudio"),
                    {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                     QStringLiteral("--use-pid-file=no"), QStringLiteral("--disallow-exit"), QStringLiteral("-L"),
                     QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket),
                     QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=test rate=48000"),
                     QStringLiteral("-L"), QStringLiteral("module-always-sink")});
    if (!m_server->waitForStarted(5000))
        return false;
    for (int i = 0; i < 100 && m_server->state() == QProcess::Running; ++i) {
        if (runProgram(QStringLiteral("pactl"), {QStringLiteral("info")}, nullptr, nullptr, 5000) == 0)
            return true;
        QThread::msleep(100);
    }
    return false;
}

void SoundServer::stop(bool kill)
{
    if (!m_server)
        return;
    hold(false);
    if (kill)
        m_server->kill();
    else
        m_server->terminate();
    m_server->waitForFinished(5000);
    m_server.reset();
}

void SoundServer::hold(bool held)
{
    if (m_server && m_server->processId() > 0)
        ::kill(pid_t(m_server->processId()), held ? SIGSTOP : SIGCONT);
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
