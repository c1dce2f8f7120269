#include "logutils.h"
#include "testutil.h"

#include <QtCore>
#include <QtTest>

#include <memory>
#include <pty.h>
#include <unistd.h>
#include <vector>

namespace {

QString ownName(int i)
{
    return QStringLiteral("%1_2020_01_01__00_00_%2.txt")
        .arg(QCoreApplication::applicationName())
        .arg(i, 2, 10, QLatin1Char('0'));
}

// An old file whose modification time orders it.
void makeOldFile(const QString &name, int minutesAfter2020)
{
    QFile f("logs/" + name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("old\n");
    QVERIFY(f.setFileTime(QDateTime(QDate(2020, 1, 1), QTime(0, 0)).addSecs(60 * minutesAfter2020),
                          QFileDevice::FileModificationTime));
}

} // namespace

// Log files in a working folder of our own, with the handler installed for
// real and the test framework's own handler put back afterwards.
class TestLogUtils : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString oldCurrent;
    QtMessageHandler oldHandler = nullptr;

private slots:
    void init()
    {
        oldHandler = qInstallMessageHandler(nullptr);
        qInstallMessageHandler(oldHandler);
        dir = std::make_unique<QTemporaryDir>();
        oldCurrent = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir->path()));
    }
    void cleanup()
    {
        qInstallMessageHandler(oldHandler);
        LOGUTILS::setMaxLogFileSize(LOGUTILS::kMaxLogFileSize);
        QDir::setCurrent(oldCurrent);
    }

    // On a terminal only warnings and errors show; the file keeps every
    // message, and so does a standard error that is no terminal.
    void terminalShowsWarnings()
    {
        QVERIFY(LOGUTILS::initLogging());
        int controller = -1, terminal = -1;
        QCOMPARE(openpty(&controller, &terminal, nullptr, nullptr, nullptr), 0);
        std::fflush(stderr);
        const int saved = dup(STDERR_FILENO);
        dup2(terminal, STDERR_FILENO);
        QMessageLogger("a.cpp", 1, "f()").debug("a debug line");
        QMessageLogger("a.cpp", 2, "f()").info("an info line");
        QMessageLogger("a.cpp", 3, "f()").warning("a warning line");
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        ::close(saved);
        ::close(terminal);
        QByteArray shown(4096, '\0');
        const ssize_t n = ::read(controller, shown.data(), shown.size());
        ::close(controller);
        shown.truncate(qMax<ssize_t>(0, n));
        qInstallMessageHandler(oldHandler);
        QCOMPARE(shown, QByteArray("Warning a warning line\r\n"));
        const QByteArray file = TestUtil::readFile(LOGUTILS::currentLogFileName());
        for (const char *line : {"a debug line", "an info line", "a warning line"})
            QVERIFY2(file.contains(line), line);
    }

    // A file at the limit is still appended to; past it the next message
    // starts a new file, and the oldest of our own files go, never another
    // program's. Lines are UTF-8, with or without a place in the code.
    void rotationAtTheLimit()
    {
        const qint64 limit = 1000;
        LOGUTILS::setMaxLogFileSize(limit);
        QVERIFY(QDir().mkdir("logs"));
        for (const QString &foreign : QStringList{"notes.txt", "Other_2020_01_01__00_00_00.txt", ownName(0) + ".bak"})
            makeOldFile(foreign, 0);
        QVERIFY(LOGUTILS::initLogging());
        const QString first = LOGUTILS::currentLogFileName();
        QVERIFY(TestUtil::writeFile(first, QByteArray(limit, 'x')));
        for (int i = 0; i < 55; ++i)
            makeOldFile(ownName(i), i);

        QMessageLogger(nullptr, 0, nullptr).debug("at the limit, caffè");
        QCOMPARE(LOGUTILS::currentLogFileName(), first);
        QCOMPARE(QDir("logs").entryList(QDir::Files).size(), 59);

        QMessageLogger("song.cpp", 42, "void play()").debug("past the %s", "limit");
        const QString second = LOGUTILS::currentLogFileName();
        qInstallMessageHandler(oldHandler);
        QVERIFY(second != first);
        QVERIFY(TestUtil::readFile(first).endsWith(u8"xDebug: (:0, ) at the limit, caffè\n"));
        QCOMPARE(TestUtil::readFile(second), QByteArray("Debug: (song.cpp:42, void play()) past the limit\n"));
        QCOMPARE(QDir("logs").entryList(QDir::Files).size(), 54);
        QVERIFY(QFile::exists(first) && QFile::exists("logs/" + ownName(6)) && !QFile::exists("logs/" + ownName(5)));
    }

    // Every line complete, none lost, even while files rotate under the threads.
    void fourThreads()
    {
        LOGUTILS::setMaxLogFileSize(20000);
        QVERIFY(LOGUTILS::initLogging());
        constexpr int kThreads = 4, kMessages = 1500;
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back(QThread::create([t] {
                for (int i = 0; i < kMessages; ++i)
                    QMessageLogger("worker.cpp", t, "run").debug("thread %d message %d payload %s", t, i,
                                                                 "0123456789abcdefghij");
            }));
            threads.back()->start();
        }
        for (auto &th : threads)
            QVERIFY(th->wait(120000));
        qInstallMessageHandler(oldHandler);

        const QRegularExpression line(
            "^Debug: \\(worker.cpp:(\\d), run\\) thread \\1 message (\\d+) payload 0123456789abcdefghij$");
        QSet<QString> seen;
        int files = 0, total = 0;
        for (const QString &name : QDir("logs").entryList({"*.txt"}, QDir::Files)) {
            ++files;
            const QList<QByteArray> lines = TestUtil::readFile("logs/" + name).split('\n');
            QVERIFY(lines.last().isEmpty());
            for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
                const auto m = line.match(QString::fromUtf8(lines[i]));
                QVERIFY2(m.hasMatch(), lines[i].constData());
                seen.insert(m.captured(1) + "/" + m.captured(2));
                ++total;
            }
        }
        QCOMPARE(total, kThreads * kMessages);
        QCOMPARE(seen.size(), kThreads * kMessages);
        QVERIFY(files > 10);
        QVERIFY(files <= LOGUTILS::kMaxLogFiles + 1);
    }
};

VELMAR_TEST(TestLogUtils)
#include "tst_logutils.moc"
