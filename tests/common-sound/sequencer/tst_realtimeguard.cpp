// The real-time guard itself, on a thread marked real-time: every blocking
// lock the code may take is counted and its place named, a try-lock is not.
#include "RealTime.h"
#include "realtimeguard.h"
#include "testutil.h"

#include <QMutex>
#include <QReadWriteLock>
#include <QRecursiveMutex>
#include <QtTest>

#include <mutex>
#include <shared_mutex>
#include <thread>

class TestRealTimeGuard : public QObject
{
    Q_OBJECT

private slots:
    void locks_data()
    {
        QTest::addColumn<QString>("lock");
        QTest::addColumn<bool>("counted");
        for (const char *kind : {"QMutex free", "QMutex held by another thread", "QMutex timed tryLock, held",
                                 "QRecursiveMutex", "QReadWriteLock read", "QReadWriteLock write", "std::mutex",
                                 "std::shared_mutex"})
            QTest::newRow(kind) << kind << true;
        QTest::newRow("try-locks") << "try-locks" << false;
    }
    void locks()
    {
        QFETCH(QString, lock);
        QFETCH(bool, counted);
        if (!RealTimeGuard::available())
            QSKIP("ThreadSanitizer owns the locks: the guard counts nothing");
        if (lock == "QMutex free" && !RealTimeGuard::seesEveryQMutexLock())
            QSKIP("a free QMutex is locked by inline code that calls nothing here; the sanitizer build sees it");
        QMutex mutex, held;
        QRecursiveMutex recursive;
        QReadWriteLock readWrite;
        std::mutex standard;
        std::shared_mutex shared;
        const bool contended = lock.contains("held");
        if (contended)
            held.lock();
        RealTimeGuard::arm(true);
        std::thread realTime([&] {
            const RealTime::ThreadScope scope;
            if (lock == "QMutex free") {
                const QMutexLocker locker(&mutex);
            } else if (lock == "QMutex held by another thread") {
                held.lock();
                held.unlock();
            } else if (lock == "QMutex timed tryLock, held") {
                if (held.tryLock(5))
                    held.unlock();
            } else if (lock == "QRecursiveMutex") {
                const QMutexLocker locker(&recursive);
            } else if (lock == "QReadWriteLock read") {
                const QReadLocker locker(&readWrite);
            } else if (lock == "QReadWriteLock write") {
                const QWriteLocker locker(&readWrite);
            } else if (lock == "std::mutex") {
                const std::lock_guard<std::mutex> locker(standard);
            } else if (lock == "std::shared_mutex") {
                const std::shared_lock<std::shared_mutex> locker(shared);
            } else {
                const bool all = mutex.tryLock() && recursive.tryLock() && readWrite.tryLockForRead()
                                 && standard.try_lock() && shared.try_lock_shared();
                if (all) {
                    shared.unlock_shared();
                    standard.unlock();
                    readWrite.unlock();
                    recursive.unlock();
                    mutex.unlock();
                }
            }
        });
        // The other thread lets go once the guard has seen the wait.
        const bool seen = contended && QTest::qWaitFor([] { return RealTimeGuard::locks() > 0; }, 10000);
        if (contended)
            held.unlock();
        realTime.join();
        RealTimeGuard::arm(false);
        const QString said = RealTimeGuard::report();
        QCOMPARE(contended ? seen : RealTimeGuard::locks() > 0, counted);
        if (counted)
            QVERIFY2(said.contains("TestRealTimeGuard::locks"), qPrintable(said));
    }
};

VELMAR_TEST(TestRealTimeGuard)
#include "tst_realtimeguard.moc"
