#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

// One run of the real program in a home, configuration and working folder of
// its own. The program is ended with SIGTERM once it has logged its start and
// its library file exists (it handles the signal once start-up is complete),
// or ends by itself when it cannot start.
class ProgramRun
{
public:
    explicit ProgramRun(const QString &root) : root(root) {}

    QString home() const { return root + "/home"; }
    QString dbPath() const { return home() + "/Documents/VelmarPC/db_VelmarPC.sqlite"; }
    QString confPath() const { return root + "/config/Kvero/VelmarPC.conf"; }

    // Started with the arguments, in the home of this run.
    void start(QProcess &p, const QString &lang, const QStringList &args = {})
    {
        for (const char *sub : {"/home", "/config", "/data", "/cache", "/runtime", "/work"})
            QDir().mkpath(root + sub);
        QFile::setPermissions(root + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                     | QFileDevice::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"LC_ALL", "LC_MESSAGES", "LC_NUMERIC", "LANGUAGE"})
            env.remove(name);
        env.insert("LANG", lang);
        env.insert("HOME", home());
        env.insert("XDG_CONFIG_HOME", root + "/config");
        env.insert("XDG_DATA_HOME", root + "/data");
        env.insert("XDG_CACHE_HOME", root + "/cache");
        env.insert("XDG_RUNTIME_DIR", root + "/runtime");
        env.insert("QT_QPA_PLATFORM", "offscreen");

        p.setProcessEnvironment(env);
        p.setWorkingDirectory(root + "/work");
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.start(TestUtil::binDir() + "/VelmarPC", args);
    }
    // Until the log holds `line` once more than `before` times, the program
    // ends or a bound that only stops a hung program from hanging the test.
    void waitForLog(QProcess &p, const QString &line, qsizetype before)
    {
        for (int i = 0; i < 1200 && p.state() == QProcess::Running && log().count(line) <= before; ++i)
            p.waitForFinished(100);
    }

    // Returns the exit code, or -1 when the program did not end normally.
    int run(const QString &lang)
    {
        QProcess p;
        start(p, lang);
        if (!p.waitForStarted(60000))
            return -1;
        // Polling for the files this run makes.
        const qsizetype launches = log().count(QLatin1String("Launching"));
        for (int i = 0; i < 1200 && p.state() == QProcess::Running
                        && !(log().count(QLatin1String("Launching")) > launches && QFile::exists(dbPath()));
             ++i)
            p.waitForFinished(100);
        if (p.state() == QProcess::Running)
            ::kill(pid_t(p.processId()), SIGTERM);
        const bool ended = p.state() == QProcess::NotRunning || p.waitForFinished(60000);
        if (!ended) {
            p.kill();
            p.waitForFinished();
        }
        errors = QString::fromLocal8Bit(p.readAllStandardError());
        int code = ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        // LeakSanitizer's own tracer (clang 14, glibc 2.36) can crash on the
        // thread-local blocks of a program ended this early, depending on
        // nothing but the program's layout: the program got to its end, the
        // leak check could not run. Said, not failed.
        if (code == 1 && errors.contains(QLatin1String("LeakSanitizer has encountered a fatal error"))
            && errors.contains(QLatin1String("Tracer caught signal"))) {
            qWarning("LeakSanitizer could not check this run for leaks (its tracer crashed)");
            code = 0;
        }
        if (code != 0)
            qWarning().noquote() << "VelmarPC ended with" << code << "and wrote:" << errors;
        return code;
    }

    // Every log file the runs wrote, joined.
    QString log() const
    {
        QString text;
        const QDir logs(root + "/work/logs");
        for (const QString &name : logs.entryList({"*.txt"}, QDir::Files, QDir::Name))
            text += QString::fromLocal8Bit(TestUtil::readFile(logs.filePath(name)));
        return text;
    }

    // The standard error stream of the last run.
    QString errors;

private:
    QString root;
};

QString sqlite3(const QString &db, const QString &sql)
{
    QByteArray out;
    const int rc = TestUtil::runProgram(QStringLiteral("sqlite3"), {db, sql}, &out);
    return rc == 0 ? QString::fromUtf8(out).trimmed() : QStringLiteral("sqlite3 failed");
}

} // namespace

// The real program, started as a user would start it.
class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void firstAndSecondStart()
    {
        QTemporaryDir dir;
        ProgramRun program(dir.path());
        QCOMPARE(program.run("it_IT.UTF-8"), 0);
        QVERIFY(QFile::exists(program.dbPath()));

        const QString log = program.log();
        // An Italian locale picks Italian and remembers it.
        for (const char *line : {"Loaded translation : lang_it", "Loaded system translation : qt_it"})
            QVERIFY2(log.contains(QLatin1String(line)), line);
        QCOMPARE(QSettings(program.confPath(), QSettings::IniFormat).value("System/Lang"), QVariant("0"));
        QVERIFY(log.contains(QRegularExpression("^Debug: \\(.*\\) Launching", QRegularExpression::MultilineOption)));
        QVERIFY2(program.errors.contains("Debug Launching Velmar PC v2.4.10\n"), qPrintable(program.errors));

        const QString db = program.dbPath();
        const QString schema = sqlite3(db, ".schema");
        for (const char *part :
             {"CREATE TABLE Songs", "IdSong INTEGER PRIMARY KEY AUTOINCREMENT",
              "ON DELETE CASCADE ON UPDATE CASCADE", "ultimaRiproduzione TEXT DEFAULT ''",
              "CONSTRAINT artista_unique UNIQUE (NomeArtista)", "CONSTRAINT genere_unique UNIQUE (NomeGenere)",
              "CONSTRAINT autore_unique UNIQUE (NomeAutore)", "CREATE TABLE MDSearchGenArt",
              "CREATE TRIGGER incMp3Count AFTER INSERT ON Songs BEGIN UPDATE Genere SET NumBrani=NumBrani+1"})
            QVERIFY2(schema.contains(QLatin1String(part)), part);
        QCOMPARE(sqlite3(db, "SELECT name FROM sqlite_master WHERE type = 'trigger' ORDER BY name"),
                 QString("deleteAllFromTrack\nincMp3Count\nonMoveSong\nshiftSeqNum"));
        QCOMPARE(sqlite3(db, "SELECT * FROM PlayList ORDER BY IdPlayList"),
                 QString("1|All Songs|0\n2|Recenti|0\n3|Downloaded|0\n4|News|0"));
        QCOMPARE(sqlite3(db, "SELECT name || seq FROM sqlite_sequence ORDER BY name"),
                 QString("InstrFamily7\nInstrument7\nSongs0"));
        QCOMPARE(sqlite3(db, "PRAGMA integrity_check"), QString("ok"));
        QCOMPARE(sqlite3(db, "PRAGMA foreign_key_check"), QString());

        const QByteArray before = TestUtil::readFile(db);
        QCOMPARE(program.run("it_IT.UTF-8"), 0);
        QVERIFY(TestUtil::readFile(db) == before);
        QVERIFY(program.log().contains("Library database found: true"));
    }

    // "System/Lang" is stored only when an Italian locale chose it.
    void language_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QVariant>("stored");   // before the start; invalid: missing
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("qt");
        QTest::addColumn<QVariant>("after");    // after the start; invalid: missing

        QTest::newRow("german locale") << "de_DE.UTF-8" << QVariant() << "lang_en" << "qt_en" << QVariant();
        QTest::newRow("stored german") << "it_IT.UTF-8" << QVariant(2) << "lang_de" << "qt_de" << QVariant(2);
        QTest::newRow("stored 7") << "it_IT.UTF-8" << QVariant(7) << "lang_en" << "qt_en" << QVariant(7);
    }
    void language()
    {
        QFETCH(QString, lang);
        QFETCH(QVariant, stored);
        QFETCH(QString, program);
        QFETCH(QString, qt);
        QFETCH(QVariant, after);

        QTemporaryDir dir;
        ProgramRun run(dir.path());
        if (stored.isValid()) {
            QSettings conf(run.confPath(), QSettings::IniFormat);
            conf.setValue("System/Lang", stored);
        }
        QCOMPARE(run.run(lang), 0);
        const QString log = run.log();
        QVERIFY2(log.contains("Loaded translation : " + program), qPrintable(log));
        QVERIFY2(log.contains("Loaded system translation : " + qt), qPrintable(log));

        QSettings conf(run.confPath(), QSettings::IniFormat);
        QCOMPARE(conf.contains("System/Lang"), after.isValid());
        if (after.isValid())
            QCOMPARE(conf.value("System/Lang").toString(), after.toString());
    }

    void songFolderIsAFile()
    {
        QTemporaryDir dir;
        ProgramRun program(dir.path());
        QVERIFY(QDir().mkpath(program.home() + "/Documents"));
        QVERIFY(TestUtil::writeFile(program.home() + "/Documents/VelmarPC", "a file"));
        QCOMPARE(program.run("en_US.UTF-8"), 1);
        const QString log = program.log();
        QVERIFY2(log.contains("Library folder made: false"), qPrintable(log));
        QVERIFY2(log.contains("The library database cannot be made"), qPrintable(log));
        QCOMPARE(TestUtil::readFile(program.home() + "/Documents/VelmarPC"), QByteArray("a file"));
    }

    // A second start by the same user on the same library opens nothing of
    // its own: the first takes the song named on its command line (given
    // relative to where it started) and plays it; the second ends with 0 and
    // says so, also after a start that gave up on it while it was held.
    // Once the first has ended, a start is a first start again.
    void secondStartHandsOver()
    {
        QTemporaryDir dir;
        TestUtil::runPython(QStringLiteral("../scripts/make_kar.py"), {dir.path(), QStringLiteral("2"), "given"});
        ProgramRun program(dir.path());
        // The sound bank where the program keeps it, as after a first start:
        // with or without a sound server here, no question about it waits
        // in front of the song.
        const QString bank = dir.path() + "/data/VelmarPC/Basic.sfc";
        QVERIFY(QDir().mkpath(QFileInfo(bank).path()) && QFile::link("/usr/share/sounds/sf2/TimGM6mb.sf2", bank));
        QProcess first;
        program.start(first, "en_US.UTF-8");
        QVERIFY(first.waitForStarted(60000));
        program.waitForLog(first, "Launching", 0);
        QProcess second;
        program.start(second, "en_US.UTF-8", {"../given.kar"});
        QVERIFY(second.waitForFinished(60000));
        const QString said = QString::fromLocal8Bit(second.readAllStandardError());
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(said.contains("its window was brought forward with " + dir.filePath("given.kar")), qPrintable(said));
        program.waitForLog(first, "LOAD SONG : " + dir.filePath("given.kar"), 0);
        QVERIFY2(program.log().contains("LOAD SONG : " + dir.filePath("given.kar")), qPrintable(program.log()));
        // The second opened neither the library nor a window.
        QCOMPARE(program.log().count("Library database "), 1);
        QCOMPARE(first.state(), QProcess::Running);
        // A start that gave up on the first while it was held, gone before
        // it goes on: the answer it finds no one to read ends nothing.
        ::kill(pid_t(first.processId()), SIGSTOP);
        QProcess gaveUp;
        program.start(gaveUp, "en_US.UTF-8", {"../given.kar"});
        if (!gaveUp.waitForFinished(3000))
            ::kill(pid_t(gaveUp.processId()), SIGTERM);
        QVERIFY(gaveUp.waitForFinished(60000));
        ::kill(pid_t(first.processId()), SIGCONT);
        QProcess later;
        program.start(later, "en_US.UTF-8", {"../given.kar"});
        QVERIFY(later.waitForFinished(60000));
        QCOMPARE(later.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        ::kill(pid_t(first.processId()), SIGTERM);
        QVERIFY(first.waitForFinished(60000));
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(program.run("en_US.UTF-8"), 0);
        QCOMPARE(program.log().count("Library database found"), 1);
    }

    // The start-up benchmark reads its figures whatever else the program
    // prints on the same output (RtMidi, on a machine without an ALSA
    // sequencer): one line per kind of start. Its times are not judged here.
    void startupBenchmarkReports()
    {
        const QString program = QStringLiteral(VELMAR_PROGRAM_BIN_DIR "/bench_startup");
        if (!QFileInfo::exists(program))
            QSKIP("the benchmarks are not built here");
        QProcess bench;
        bench.start(program, {"1"});
        QVERIFY(bench.waitForFinished(180000));
        const QString out = bench.readAllStandardOutput(), err = bench.readAllStandardError();
        QVERIFY2(bench.exitCode() == 0 || bench.exitCode() == 2, qPrintable(err));
        for (const char *start : {"first start", "later start"})
            QVERIFY2(out.contains(QRegularExpression(QStringLiteral("^%1 +first paint: min +\\d").arg(start),
                                                     QRegularExpression::MultilineOption)),
                     qPrintable(out + err));
    }
};

VELMAR_TEST(TestStartup)
#include "tst_startup.moc"
