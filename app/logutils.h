// Log files: every Qt log message goes to the current file in the log folder
// and to the standard error stream, which shows only warnings and errors
// when it is a terminal. Safe to call from any thread.
#pragma once

#include <QString>
#include <QtGlobal>

namespace LOGUTILS {

// Files kept in the log folder.
constexpr int kMaxLogFiles = 50;
// A file larger than this starts a new one with the next message.
constexpr qint64 kMaxLogFileSize = 10 * 1024 * 1024;

// Prepares the folder and the file and installs the handler; false (and Qt's
// default output stays) when the file cannot be opened.
bool initLogging();
// Makes a new current file name from the present date and time.
void initLogFileName();
// Prunes the program's own log files to the newest kMaxLogFiles.
void deleteOldLogs();
void myMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg);

// The current log file's path (empty before initLogFileName).
QString currentLogFileName();
// Rotation size limit; tests lower it.
void setMaxLogFileSize(qint64 bytes);

} // namespace LOGUTILS
