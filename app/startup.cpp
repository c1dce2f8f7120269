#include "startup.h"

#include "DatabaseHelper.h"
#include "constants.h"
#include "language.h"
#include "logutils.h"
#include "mainwindow.h"

#include <QApplication>
#include <QDebug>
#include <QLocale>
#include <QSettings>
#include <QSocketNotifier>
#include <QTranslator>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

int startProgram(std::unique_ptr<DatabaseHelper> &db)
{
    programSettings();

    LOGUTILS::initLogging();
    qDebug().noquote() << "Launching" << kProductName << QStringLiteral("v") + kProductVersion;
    qDebug().noquote() << "appSettings :"
                       << (appSettings->status() == QSettings::NoError ? "Ok" : "Fail");
    qDebug().noquote() << "appSettings :" << appSettings->fileName();

    const int language = chooseLanguage(*appSettings, QLocale::system().name());
    installTranslators(language);

    db = std::make_unique<DatabaseHelper>();
    if (!db->initDb()) {
        qDebug() << "Impossibile creare il DB";
        return 1;
    }
    if (!db->connect()) {
        qDebug() << "Impossbile aprire DB";
        return 1;
    }

    mw = new MainWindow(db.get(), nullptr);
    mw->show();
    return 0;
}

void endProgram()
{
    delete mw;
    mw = nullptr;
    for (QTranslator **t : {&translator, &systemTranslator}) {
        if (*t) {
            QCoreApplication::removeTranslator(*t);
            delete *t;
            *t = nullptr;
        }
    }
    delete appSettings;
    appSettings = nullptr;
}

namespace {
int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}
} // namespace

void quitOnTerminationSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        // The main window first: its close stores where the views' own
        // windows stand before they go.
        if (mw)
            mw->close();
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
