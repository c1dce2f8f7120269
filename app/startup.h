// Program start-up and shut-down around the event loop.
#pragma once

#include <QString>

#include <chrono>
#include <memory>

class QString;

class DatabaseHelper;

// Runs once the QApplication exists: settings store, log files, language,
// song database, then the main window, shown, which starts song (a path from
// the command line, when given) once its first page is up. Returns 0, or 1
// when the database cannot be created or opened (no window is shown then).
// Where the program already runs on the same library for the same user, that
// one is asked to come forward and start song, nothing is opened here, and
// the result is kHandedOver, or kAlreadyRunning when it did not answer (said
// in one line and in a box, once the box is closed).
int startProgram(std::unique_ptr<DatabaseHelper> &db, const QString &song = QString());
constexpr int kHandedOver = 2;
constexpr int kAlreadyRunning = 3;

// Frees the window, the translators and the settings store (which writes out
// any change) after the event loop.
void endProgram();

// SIGTERM and SIGINT (session end, Ctrl+C) close the windows and end the event
// loop as a normal close would, instead of killing the process mid-write,
// whatever dialog or question is open: nothing more is asked, the edits, the
// settings and the download part files are dealt with, and the process ends
// within half a second.
void quitOnTerminationSignals();

// Ends the process `bound` from now whatever it is doing then, the part
// files of unfinished downloads removed first. For once everything the
// program keeps is on disk: what is left (letting go of the sound devices,
// Qt's own teardown) may wait on others.
void endProcessWithin(std::chrono::milliseconds bound, int code);

// SIGUSR1 writes what the windows shown say into `path` (WidgetTexts'
// lines): how the end-to-end run reads the program's texts. Only set up when
// the run asks for it (VELMAR_WIDGET_DUMP).
void dumpWidgetsOnSignal(const QString &path);
