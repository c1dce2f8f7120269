#include "teststore.h"
#include "testutil.h"

#include "downloadmngr.h"
#include "prompter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// The download manager against the local test store, into a real folder that
// already holds an older copy of the file.
class TestDownloadMngr : public QObject
{
    Q_OBJECT

    TestStore store;
    QTemporaryDir dir;
    const QByteArray oldBytes = QByteArrayLiteral("the old song that must survive");
    int questions = 0;

    void answer(QMessageBox::StandardButton button)
    {
        Prompter::setScript([this, button](const QString &, const QString &, QMessageBox::StandardButtons) {
            ++questions;
            return button;
        });
    }

    // A fresh target holding the old bytes, or none.
    QString target(bool withOld)
    {
        const QString path = dir.filePath(QStringLiteral("song.mid"));
        QFile::remove(path);
        if (withOld)
            TestUtil::writeFile(path, oldBytes);
        return path;
    }

    static int run(DownloadMngr &d, const QString &url, quint32 size, const QString &folder)
    {
        d.m_url = url;
        d.m_destFolder = folder;
        d.m_fileName = QStringLiteral("song.mid");
        d.m_fileSize = size;
        d.setTimeouts({1500, 1500, 8000});
        return d.startDownloadSync();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(store.start());
        QVERIFY(dir.isValid());
    }
    void init()
    {
        store.reset();
        answer(QMessageBox::Yes);
        questions = 0;
    }
    void cleanupTestCase() { Prompter::setScript({}); }

    // The announced size decides within ten bytes; below ten only exactly.
    void sizes_data()
    {
        QTest::addColumn<int>("announced");
        QTest::addColumn<int>("served");
        QTest::addColumn<int>("result");
        QTest::newRow("10 short") << 1000 << 990 << 0;
        QTest::newRow("10 long") << 1000 << 1010 << 0;
        QTest::newRow("11 short") << 1000 << 989 << 2;
        QTest::newRow("11 long") << 1000 << 1011 << 2;
        QTest::newRow("5 exact") << 5 << 5 << 0;
        QTest::newRow("5, 4 served") << 5 << 4 << 2;
        QTest::newRow("nothing announced") << 0 << 8 << 2;
    }
    void sizes()
    {
        QFETCH(int, announced);
        QFETCH(int, served);
        QFETCH(int, result);
        const QString path = target(false);
        DownloadMngr d;
        QCOMPARE(run(d, store.base() + QStringLiteral("/files/bytes/%1").arg(served), announced, dir.path()),
                 result);
        QCOMPARE(QFile::exists(path), result == 0);
        QVERIFY(!QFile::exists(path + ".part"));
        QCOMPARE(store.requests().size(), announced ? 1 : 0);
    }

    // Every way a download can go wrong leaves the old file as it was and no
    // part file behind.
    void failuresKeepOldFile_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("result");
        QTest::newRow("404 page") << "http404" << 2;
        QTest::newRow("500 page") << "http500" << 2;
        QTest::newRow("empty") << "empty" << 2;
        QTest::newRow("truncated") << "truncated" << 2;
        QTest::newRow("silent") << "silent" << 2;
        QTest::newRow("cancel while trickling") << "trickle" << 1;
        QTest::newRow("overwrite refused") << QString() << 1;
    }
    void failuresKeepOldFile()
    {
        QFETCH(QString, fault);
        QFETCH(int, result);
        const QString path = target(true);
        const QString file = QStringLiteral("/files/bytes/4000");
        if (fault.isEmpty())
            answer(QMessageBox::No);
        else
            store.setFault(file, fault, 0, QStringLiteral("chunk=100&gap=20"));
        DownloadMngr d;
        connect(&d, &DownloadMngr::progressValChanged, &d, [&](qint64 got, qint64) {
            if (fault == QLatin1String("trickle") && got >= 300)
                d.onUserAbort();
        });
        QCOMPARE(run(d, store.base() + file, 4000, dir.path()), result);
        d.onUserAbort();
        QCOMPARE(questions, 1);
        QCOMPARE(TestUtil::readFile(path), oldBytes);
        QVERIFY(!QFile::exists(path + ".part"));
        QCOMPARE(store.requests().size(), fault.isEmpty() ? 0 : 1);
    }

    // Five megabytes over an old file: progress in order, the same bytes on
    // disk, the folder's trailing "/" makes no difference.
    void bigDownloadReplacesOldFile()
    {
        const QString path = target(true);
        const int size = 5 * 1024 * 1024;
        DownloadMngr d;
        QList<QPair<qint64, qint64>> progress;
        connect(&d, &DownloadMngr::progressValChanged, &d,
                [&](qint64 got, qint64 total) { progress.append({got, total}); });
        QCOMPARE(run(d, store.base() + QStringLiteral("/files/bytes/%1").arg(size), size, dir.path() + "/"), 0);
        QCOMPARE(d.getDestFullPath(), path);
        QVERIFY(TestUtil::readFile(path) == TestStore::patternBytes(size));
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last(), qMakePair(qint64(size), qint64(size)));
        for (int i = 1; i < progress.size(); ++i)
            QVERIFY(progress[i].first >= progress[i - 1].first);
        QCOMPARE(store.requests().value(0).headers.value("user-agent"), QStringLiteral("Quorin5 0.0.0"));
    }
};

VELMAR_TEST(TestDownloadMngr)
#include "tst_downloadmngr.moc"
