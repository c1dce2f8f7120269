#include "startup.h"

#include "DatabaseHelper.h"
#include "constants.h"
#include "downloadmngr.h"
#include "language.h"
#include "logutils.h"
#include "mainwindow.h"
#include "singleinstance.h"
#include "widgettexts.h"

#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QLocale>
#include <QSaveFile>
#include <QSettings>
#include <QSocketNotifier>
#include <QTranslator>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
std::unique_ptr<SingleInstance> g_instance;

// A start from a file manager has no terminal: what it could not do is said
// in a window, which stays until it is read.
void sayNotHandedOver(const QString &song)
{
    const QString why = QCoreApplication::translate("main", "Velmar PC is already running.");
    std::fprintf(stderr, "%s\n", qPrintable(why));
    const QString text =
        song.isEmpty()
            ? QCoreApplication::translate("main", "Velmar PC is already running on this library, but it does not "
                                                  "answer: it may be stopped or busy.")
            : QCoreApplication::translate("main", "Velmar PC is already running on this library, but it does not "
                                                  "answer: it may be stopped or busy. %1 was not played.")
                  .arg(QDir::toNativeSeparators(song));
    QMessageBox::warning(nullptr, QCoreApplication::translate("main", "Attention"), text);
}
} // namespace

int startProgram(std::unique_ptr<DatabaseHelper> &db, const QString &song)
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
    // Before the library is touched: a second player would sound over the
    // first and keep lists of its own.
    const QString given = song.isEmpty() ? song : QFileInfo(song).absoluteFilePath();
    g_instance = std::make_unique<SingleInstance>(db->getLibraryFolder());
    switch (g_instance->claim(given)) {
    case SingleInstance::Start::First:
        break;
    case SingleInstance::Start::HandedOver:
        qInfo().noquote() << "Velmar PC runs already on this library: its window was brought forward"
                          << (given.isEmpty() ? QString() : QStringLiteral("with ") + given);
        return kHandedOver;
    case SingleInstance::Start::AlreadyRunning:
        sayNotHandedOver(given);
        return kAlreadyRunning;
    }
    if (!db->initDb()) {
        qDebug() << "The library database cannot be made";
        return 1;
    }
    if (!db->connect()) {
        qDebug() << "The library database cannot be opened";
        return 1;
    }

    mw = new MainWindow(db.get(), nullptr);
    mw->setCommandLineSong(song);
    QObject::connect(g_instance.get(), &SingleInstance::broughtForward, mw, &MainWindow::bringForward);
    mw->show();
    return 0;
}

void endProgram()
{
    delete mw;
    mw = nullptr;
    g_instance.reset();
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
// A signal handler may only write(): the byte wakes the event loop, which
// does the work.
struct SignalPipe {
    int fds[2] = {-1, -1};
};
SignalPipe g_quitPipe;
SignalPipe g_dumpPipe;

void wake(const SignalPipe &pipe)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(pipe.fds[1], &byte, 1);
}
void onTerminationSignal(int) { wake(g_quitPipe); }
void onDumpSignal(int) { wake(g_dumpPipe); }

void onSignals(SignalPipe &pipe, void (*handler)(int), std::initializer_list<int> numbers,
               const std::function<void()> &then)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipe.fds) != 0)
        return;
    auto *notifier = new QSocketNotifier(pipe.fds[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [&pipe, then] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(pipe.fds[0], &byte, 1);
        then();
    });
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : numbers)
        ::sigaction(s, &action, nullptr);
}
} // namespace

void endProcessWithin(std::chrono::milliseconds bound, int code)
{
    std::thread([bound, code] {
        std::this_thread::sleep_for(bound);
        DownloadMngr::removePartFilesNow();
        std::fflush(nullptr);
        std::_Exit(code);
    }).detach();
}

void quitOnTerminationSignals()
{
    onSignals(g_quitPipe, onTerminationSignal, {SIGTERM, SIGINT}, [] {
        // Every wait ends now, the one of a question open at the signal
        // too, and one begun from here on returns at once unanswered: no
        // dialog holds the end, nor asks anything on the way out. (quit()
        // would first offer every window its close, which a dialog may
        // answer with a question of its own.)
        QCoreApplication::exit(0);
        // A dialog ends as by its own cancel: a download's cancels the
        // download, whose part file goes.
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<QDialog *>(w); dialog && dialog->isVisible())
                dialog->done(QDialog::Rejected);
        }
        // The main window first: its close writes the edits and stores
        // where the views' own windows stand before they go.
        if (mw)
            mw->close();
        QApplication::closeAllWindows();
        if (appSettings)
            appSettings->sync();
        // Whatever still holds the process (a sound device, a name lookup)
        // holds it no longer than this; part files go first.
        endProcessWithin(std::chrono::milliseconds(400), 0);
    });
}

void dumpWidgetsOnSignal(const QString &path)
{
    // Each list says which widgets took the focus since the last one: a
    // walk with Tab is checked by what it reached.
    WidgetTexts::recordFocus();
    onSignals(g_dumpPipe, onDumpSignal, {SIGUSR1}, [path] {
        // Written aside and renamed: a reader never sees half a list.
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(WidgetTexts::toLines(WidgetTexts::collectShown() + WidgetTexts::takeFocused()).toUtf8());
            file.commit();
        }
    });
}
