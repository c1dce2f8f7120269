#include "DatabaseHelper.h"
#include "startup.h"

#include <QApplication>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    quitOnTerminationSignals();
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
