#include "DatabaseHelper.h"
#include "appsettings.h"
#include "memorypolicy.h"
#include "startup.h"

#include <QApplication>
#include <QSettings>
#include <QString>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

int main(int argc, char *argv[])
{
    MemoryPolicy::apply();
    // A peer gone mid-write (a later start that gave up on the program while
    // it was held, a connection cut) is an error for the writer, never the
    // end of the program and its music: not every library that writes asks
    // the kernel to spare the signal.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    quitOnTerminationSignals();
    if (const QString dump = qEnvironmentVariable("VELMAR_WIDGET_DUMP"); !dump.isEmpty())
        dumpWidgetsOnSignal(dump);
    std::unique_ptr<DatabaseHelper> db;
    // A song named on the command line.
    if (const int started = startProgram(db, app.arguments().value(1)); started != 0) {
        endProgram();
        // A start that handed its song to the program running already did
        // what was asked.
        return started == kHandedOver ? 0 : 1;
    }
    const int result = app.exec();
    appSettings->sync();
    // Armed once everything the program keeps is on disk: the window wrote
    // the edits and its positions when it closed, the settings are synced,
    // the log is flushed line by line, and the downloads remove their part
    // files first as the window goes. What is left may wait on others: a
    // sound server that stops asking for sound, host-name lookups that a
    // resolver does not answer, which Qt waits for to their end.
    endProcessWithin(std::chrono::milliseconds(200), result);
    endProgram();
    return result;
}
