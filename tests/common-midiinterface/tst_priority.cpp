// Real-time scheduling for a thread the system refuses it to (no
// CAP_SYS_NICE, no real-time limit): asked through RealtimeKit on a D-Bus of
// the test's own, whose RealtimeKit is this test answering as the daemon
// does, granting or refusing.
#include "RealTime.h"
#include "ThreadPriority.h"
#include "testutil.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QProcess>
#include <QtTest>

#include <linux/capability.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

class FakeRealtimeKit : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.RealtimeKit1")
    Q_PROPERTY(int MaxRealtimePriority READ maxPriority)
    Q_PROPERTY(qlonglong RTTimeUSecMax READ maxRtTime)
public:
    bool grant = true;
    quint64 thread = 0;
    uint priority = 0;
    int maxPriority() const { return 20; }
    qlonglong maxRtTime() const { return 200000; }

public slots:
    void MakeThreadRealtime(quint64 tid, uint prio)
    {
        thread = tid;
        priority = prio;
        sched_param param{};
        param.sched_priority = int(prio);
        if (!grant || sched_setscheduler(pid_t(tid), SCHED_RR | SCHED_RESET_ON_FORK, &param) != 0)
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Operation not permitted"));
    }
};

// The lines of the scheduling's own code that reach Qt's log, with their kind.
QList<QPair<QtMsgType, QString>> g_lines;
void keepLine(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (context.file && qstrcmp(context.file, "ThreadPriority") == 0)
        g_lines.append({type, text});
}

// What a line says, whatever its wording: each fact a word of it (the
// thread, the priority, how it was granted or why not).
bool says(const QString &line, const QStringList &facts)
{
    for (const QString &fact : facts) {
        if (!line.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(QRegularExpression::escape(fact)))))
            return false;
    }
    return true;
}
bool namesANumber(const QString &line)
{
    return line.contains(QRegularExpression(QStringLiteral("\\d")));
}

// This thread alone loses the right to raise itself.
void dropSysNice()
{
    __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    syscall(SYS_capget, &head, data);
    data[0].effective &= ~(1u << CAP_SYS_NICE);
    syscall(SYS_capset, &head, data);
}

} // namespace

class TestPriority : public QObject
{
    Q_OBJECT
    QProcess m_bus;
    FakeRealtimeKit m_kit;
    rlimit m_rtTime{};

private slots:
    void initTestCase()
    {
        m_bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
        QVERIFY2(m_bus.waitForReadyRead(10000), "dbus-daemon did not start");
        const QByteArray address = m_bus.readLine().trimmed();
        // Read at the first use of the system bus, which is the code's.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("kit"));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.RealtimeKit1")));
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/RealtimeKit1"), &m_kit,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
        getrlimit(RLIMIT_RTTIME, &m_rtTime);
    }
    void cleanupTestCase()
    {
        setrlimit(RLIMIT_RTTIME, &m_rtTime);
        ThreadPriority::resetForTest();
        m_bus.kill();
        m_bus.waitForFinished();
    }

    void askedThroughRealtimeKit_data()
    {
        QTest::addColumn<bool>("grant");
        QTest::newRow("granted") << true;
        QTest::newRow("refused") << false;
    }
    void askedThroughRealtimeKit()
    {
        QFETCH(bool, grant);
        ThreadPriority::resetForTest();
        m_kit.grant = grant;
        std::atomic<int> result{-1};
        std::atomic<pid_t> tid{0};
        RealTime::drainLog();
        g_lines.clear();
        const QtMessageHandler testLog = qInstallMessageHandler(keepLine);
        std::thread thread([&] {
            dropSysNice();
            tid = pid_t(syscall(SYS_gettid));
            result = ThreadPriority::raiseThisThread(ThreadPriority::Role::Sequencer, 80) ? 1 : 0;
        });
        // The kit answers from this thread's event loop.
        QTRY_VERIFY_WITH_TIMEOUT(result.load() >= 0, 20000);
        thread.join();
        // The thread, real-time from the kit's answer on, wrote no line: its
        // line waited in the real-time log's ring for the drain. Granted, it
        // tells the thread, the priority and how; refused, it warns naming
        // the thread and the kit's reason.
        const auto whileRaised = std::exchange(g_lines, {});
        RealTime::drainLog();
        qInstallMessageHandler(testLog);
        QVERIFY(whileRaised.isEmpty());
        QCOMPARE(g_lines.size(), 1);
        const auto &[type, line] = g_lines.first();
        QCOMPARE(type, grant ? QtInfoMsg : QtWarningMsg);
        QVERIFY2(says(line, grant ? QStringList{"sequencer", "20", "RealtimeKit"}
                                  : QStringList{"sequencer", "Operation not permitted"}),
                 qPrintable(line));
        QCOMPARE(result.load(), grant ? 1 : 0);
        QCOMPARE(m_kit.thread, quint64(tid.load()));
        QCOMPARE(m_kit.priority, 20u);
        rlimit limit{};
        QVERIFY(getrlimit(RLIMIT_RTTIME, &limit) == 0 && limit.rlim_max == 200000);
        QCOMPARE(ThreadPriority::refused(), !grant);
        const QString report = QString::fromStdString(ThreadPriority::report());
        QVERIFY2(grant ? says(report, {"sequencer", "20", "RealtimeKit"})
                       : says(report, {"sequencer"}) && !namesANumber(report) && !says(report, {"RealtimeKit"}),
                 qPrintable(report));
    }

    // A real-time thread that never sleeps (as one taking a lock back in a
    // loop) reaches RealtimeKit's limit of real-time CPU time: at the hard
    // limit the kernel would kill the program. At the soft one below it the
    // threads go back to normal scheduling, the program lives and logs it.
    void droppedAtTheRealtimeLimit()
    {
        ThreadPriority::resetForTest();
        m_kit.grant = true;
        const rlimit kitLimit{200000, 200000};
        QVERIFY(setrlimit(RLIMIT_RTTIME, &kitLimit) == 0);
        g_lines.clear();
        const QtMessageHandler testLog = qInstallMessageHandler(keepLine);
        std::atomic<int> raised{-1};
        std::atomic<bool> done{false}, spunOut{false}, quit{false}, again{false};
        std::thread spinner([&] {
            raised = ThreadPriority::raiseThisThread(ThreadPriority::Role::Sequencer, 10) ? 1 : 0;
            timespec start{}, now{};
            clock_gettime(CLOCK_MONOTONIC, &start);
            while (raised.load() && (sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) == SCHED_RR) {
                clock_gettime(CLOCK_MONOTONIC, &now);
                if (now.tv_sec - start.tv_sec > 30) {
                    spunOut = true;
                    break;
                }
            }
            done = true;
            // Then it plays as a sequencer does, sleeping every millisecond.
            while (raised.load() && !quit.load()) {
                again = (sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) == SCHED_RR;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        // The kit, when asked, answers from this thread's event loop.
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 60000);
        if (!raised.load())
            spinner.join();
        if (!raised.load()) {
            qInstallMessageHandler(testLog);
            QSKIP("no real-time scheduling for this test's threads");
        }
        QVERIFY2(!spunOut.load(), "the thread ran real-time for 30 s");
        QCOMPARE(ThreadPriority::grant(ThreadPriority::Role::Sequencer), ThreadPriority::Grant::Refused);
        const QString report = QString::fromStdString(ThreadPriority::report());
        QVERIFY2(says(report, {"sequencer", "limit"}) && !says(report, {"RealtimeKit"}), qPrintable(report));
        // Ready for the next runaway: the kernel moved the soft limit up by
        // a second with its signal, past the hard one.
        rlimit limit{};
        QVERIFY(getrlimit(RLIMIT_RTTIME, &limit) == 0);
        QCOMPARE(limit.rlim_max, rlim_t(200000));
        QCOMPARE(limit.rlim_cur, rlim_t(100000));
        // A warning from the helper thread, naming how long the thread ran
        // (the soft limit).
        const auto drops = [] {
            return std::count_if(g_lines.cbegin(), g_lines.cend(),
                                 [](const auto &l) { return l.first == QtWarningMsg && says(l.second, {"100 ms"}); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(drops() == 1, 20000);
        // A thread that then plays without a stall is raised again, and the
        // log says so.
        QTRY_VERIFY_WITH_TIMEOUT(again.load(), 60000);
        QCOMPARE(ThreadPriority::grant(ThreadPriority::Role::Sequencer), ThreadPriority::Grant::Granted);
        QVERIFY(std::any_of(g_lines.cbegin(), g_lines.cend(),
                            [](const auto &l) { return says(l.second, {"sequencer", "again"}); }));
        quit = true;
        spinner.join();
        RealTime::drainLog();
        qInstallMessageHandler(testLog);
    }
};

VELMAR_TEST(TestPriority)
#include "tst_priority.moc"
