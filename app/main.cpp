#include "DatabaseHelper.h"
#include "startup.h"

#include <QApplication>
#include <QString>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    quitOnTerminationSignals();
    if (const QString dump = qEnvironmentVariable("VELMAR_WIDGET_DUMP"); !dump.isEmpty())
        dumpWidgetsOnSignal(dump);
    std::unique_ptr<DatabaseHelper> db;
    // A song named on the command line.
    if (startProgram(db, app.arguments().value(1)) != 0) {
        endProgram();
        return 1;
    }
    const int result = app.exec();
    endProgram();
    return result;
}
