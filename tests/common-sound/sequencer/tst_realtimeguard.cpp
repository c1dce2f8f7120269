// The real-time guard itself, on a thread marked real-time: every blocking
// lock the code may take, every timed lock and every wait on a condition
// variable or a semaphore is counted and its place named, a try-lock is not.
#include "RealTime.h"
#include "realtimeguard.h"
#include "testutil.h"

#include <QMutex>
#include <QReadWriteLock>
#include <QRecursiveMutex>
#include <QWaitCondition>
#include <QtTest>

#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include <semaphore.h>

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
                                 "std::shared_mutex", "std::shared_mutex unique", "std::timed_mutex try_lock_for",
                                 "std::timed_mutex try_lock_until", "pthread_mutex_timedlock",
                                 "pthread_mutex_clocklock", "std::condition_variable wait, notified",
                                 "std::condition_variable wait_for", "std::condition_variable wait_until system clock",
                                 "QWaitCondition wait, notified", "sem_wait", "sem_timedwait", "sem_clockwait"})
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
        std::timed_mutex timed;
        pthread_mutex_t plain = PTHREAD_MUTEX_INITIALIZER;
        std::mutex conditionLock;
        std::condition_variable condition;
        QWaitCondition qtCondition;
        bool notified = false;
        sem_t semaphore;
        sem_init(&semaphore, 0, 1);
        const auto soon = [] {
            timespec t{};
            clock_gettime(CLOCK_REALTIME, &t);
            t.tv_sec += 1;
            return t;
        };
        // Held by this thread, or waited on until the guard has seen the wait.
        const bool contended = lock.contains("held") || lock.contains("notified");
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
            } else if (lock == "std::shared_mutex unique") {
                const std::unique_lock<std::shared_mutex> locker(shared);
            } else if (lock == "std::timed_mutex try_lock_for") {
                if (timed.try_lock_for(std::chrono::milliseconds(5)))
                    timed.unlock();
            } else if (lock == "std::timed_mutex try_lock_until") {
                if (timed.try_lock_until(std::chrono::steady_clock::now() + std::chrono::milliseconds(5)))
                    timed.unlock();
            } else if (lock == "pthread_mutex_timedlock") {
                const timespec until = soon();
                if (pthread_mutex_timedlock(&plain, &until) == 0)
                    pthread_mutex_unlock(&plain);
            } else if (lock == "pthread_mutex_clocklock") {
                timespec until{};
                clock_gettime(CLOCK_MONOTONIC, &until);
                until.tv_sec += 1;
                if (pthread_mutex_clocklock(&plain, CLOCK_MONOTONIC, &until) == 0)
                    pthread_mutex_unlock(&plain);
            } else if (lock == "std::condition_variable wait, notified") {
                std::unique_lock<std::mutex> locker(conditionLock, std::try_to_lock);
                condition.wait(locker, [&] { return notified; });
            } else if (lock == "std::condition_variable wait_for") {
                std::unique_lock<std::mutex> locker(conditionLock, std::try_to_lock);
                condition.wait_for(locker, std::chrono::milliseconds(1));
            } else if (lock == "std::condition_variable wait_until system clock") {
                std::unique_lock<std::mutex> locker(conditionLock, std::try_to_lock);
                condition.wait_until(locker, std::chrono::system_clock::now() + std::chrono::milliseconds(1));
            } else if (lock == "QWaitCondition wait, notified") {
                QMutexLocker locker(&mutex);
                while (!notified)
                    qtCondition.wait(&mutex);
            } else if (lock == "sem_wait") {
                sem_wait(&semaphore);
            } else if (lock == "sem_timedwait") {
                const timespec until = soon();
                sem_timedwait(&semaphore, &until);
            } else if (lock == "sem_clockwait") {
                // The wait RtAudioStream's callback takes while its stream stops.
                timespec until{};
                clock_gettime(CLOCK_MONOTONIC, &until);
                until.tv_sec += 1;
                sem_clockwait(&semaphore, CLOCK_MONOTONIC, &until);
            } else {
                const bool all = mutex.tryLock() && recursive.tryLock() && readWrite.tryLockForRead()
                                 && standard.try_lock() && shared.try_lock_shared() && timed.try_lock()
                                 && sem_trywait(&semaphore) == 0;
                if (all) {
                    timed.unlock();
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
        if (contended) {
            held.unlock();
            const std::lock_guard<std::mutex> locker(conditionLock);
            const QMutexLocker qtLocker(&mutex);
            notified = true;
            condition.notify_all();
            qtCondition.wakeAll();
        }
        realTime.join();
        sem_destroy(&semaphore);
        RealTimeGuard::arm(false);
        const QString said = RealTimeGuard::report();
        QCOMPARE(contended ? seen : RealTimeGuard::locks() > 0, counted);
        // QtCore's waits, built without frame pointers, are named by Qt's function.
        if (counted)
            QVERIFY2(said.contains("TestRealTimeGuard::locks") || (lock.startsWith("QWaitCondition") && said.contains("QWaitCondition")),
                     qPrintable(said));
    }
};

VELMAR_TEST(TestRealTimeGuard)
#include "tst_realtimeguard.moc"
