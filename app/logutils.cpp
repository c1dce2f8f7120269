#include "logutils.h"

#include "constants.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace LOGUTILS {
namespace {

// Serialises the size check, the rotation and the append of every thread.
QMutex &logMutex()
{
    static QMutex mutex;
    return mutex;
}

QString g_logFileName;
qint64 g_maxLogFileSize = kMaxLogFileSize;
// Stays open between messages; reopened when the name changes. Never
// destroyed: messages may still come while statics are torn down at exit.
QFile &logFile()
{
    static QFile *file = new QFile;
    return *file;
}
// A message logged by the handler itself (on the same thread) must not wait
// for the lock it holds.
thread_local bool t_inHandler = false;

QString logFolder() { return QLatin1String(logFolderName); }

// Only our own files: the folder is relative to the working folder and may
// hold anything else.
bool isOwnLogFile(const QString &fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^%1_\\d{4}_\\d{2}_\\d{2}__\\d{2}_\\d{2}_\\d{2}(_\\d+)?\\.txt$")
            .arg(QRegularExpression::escape(QCoreApplication::applicationName())));
    return pattern.match(fileName).hasMatch();
}

void deleteOldLogsLocked()
{
    QFileInfoList files;
    const QFileInfoList entries = QDir(logFolder()).entryInfoList(
        QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::NoSort);
    for (const QFileInfo &info : entries) {
        if (isOwnLogFile(info.fileName()))
            files << info;
    }
    if (files.size() <= kMaxLogFiles)
        return;
    std::sort(files.begin(), files.end(), [](const QFileInfo &a, const QFileInfo &b) {
        const QDateTime ta = a.lastModified(), tb = b.lastModified();
        return ta != tb ? ta < tb : a.fileName() < b.fileName();
    });
    const qsizetype excess = files.size() - kMaxLogFiles;
    for (qsizetype i = 0; i < excess; ++i)
        QFile::remove(files.at(i).filePath());
}

// On rotation within one second the plain name is taken (it is the full
// file), so a counter keeps the files apart.
void initLogFileNameLocked(bool rotating)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString base = logFolder()
                         + QStringLiteral("/%1_%2__%3")
                               .arg(QCoreApplication::applicationName(),
                                    now.toString(QStringLiteral("yyyy_MM_dd")),
                                    now.toString(QStringLiteral("hh_mm_ss")));
    QString name = base + QStringLiteral(".txt");
    for (int n = 1; rotating && (name == g_logFileName || QFile::exists(name)); ++n)
        name = base + QStringLiteral("_%1.txt").arg(n);
    g_logFileName = name;
}

// The current file, open for appending; false when it cannot be opened.
bool openLogFileLocked()
{
    if (logFile().isOpen() && logFile().fileName() == g_logFileName)
        return true;
    logFile().close();
    logFile().setFileName(g_logFileName);
    return logFile().open(QIODevice::WriteOnly | QIODevice::Append);
}

} // namespace

bool initLogging()
{
    QDir folder(logFolder());
    if (!folder.exists())
        QDir().mkdir(logFolder());
    deleteOldLogs();
    initLogFileName();
    QFile file(currentLogFileName());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    file.close();
    qInstallMessageHandler(myMessageHandler);
    return true;
}

void initLogFileName()
{
    QMutexLocker lock(&logMutex());
    // The name is relative to the working folder, which may have changed.
    logFile().close();
    initLogFileNameLocked(false);
}

void deleteOldLogs()
{
    QMutexLocker lock(&logMutex());
    deleteOldLogsLocked();
}

QString currentLogFileName()
{
    QMutexLocker lock(&logMutex());
    return g_logFileName;
}

void setMaxLogFileSize(qint64 bytes)
{
    QMutexLocker lock(&logMutex());
    g_maxLogFileSize = bytes;
}

void myMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    const QByteArray local = msg.toLocal8Bit();
    const char *fileFormat = "Debug: (%1:%2, %3) %4";
    const char *errFormat = "Debug %s\n";
    switch (type) {
    case QtDebugMsg:
        break;
    case QtInfoMsg:
        fileFormat = "Info: (%1:%2, %3) %4";
        errFormat = "Info %s\n";
        break;
    case QtWarningMsg:
        fileFormat = "Warning: (%1:%2, %3) %4";
        errFormat = "Warning %s\n";
        break;
    case QtCriticalMsg:
        fileFormat = "Critical: (%1:%2, %3) %4";
        errFormat = "Critical %s\n";
        break;
    case QtFatalMsg:
        fileFormat = "Fatal: (%1:%2, %3) %4";
        errFormat = "Fatal %s\n";
        break;
    }
    const QString line = QString::fromLatin1(fileFormat)
                             .arg(QString::fromUtf8(context.file), QString::number(context.line),
                                  QString::fromUtf8(context.function),
                                  QString::fromLocal8Bit(local));

    // A person's terminal shows warnings and errors only; the file, and a
    // standard error sent to a file or a pipe, get every message.
    const bool shown = type != QtDebugMsg && type != QtInfoMsg ? true : !isatty(STDERR_FILENO);
    if (t_inHandler) {
        if (shown) {
            std::fprintf(stderr, errFormat, local.constData());
            std::fflush(stderr);
        }
        return;
    }
    t_inHandler = true;
    {
        QMutexLocker lock(&logMutex());
        if (openLogFileLocked() && logFile().size() > g_maxLogFileSize) {
            logFile().close();
            deleteOldLogsLocked();
            initLogFileNameLocked(true);
        }
        if (shown) {
            std::fprintf(stderr, errFormat, local.constData());
            std::fflush(stderr);
        }
        if (openLogFileLocked()) {
            // Flushed at once: the last lines before a crash must be there.
            logFile().write((line + QLatin1Char('\n')).toUtf8());
            logFile().flush();
        }
    }
    t_inHandler = false;
}

} // namespace LOGUTILS
