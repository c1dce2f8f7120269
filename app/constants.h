// Program-wide objects and constants created by start-up.
#pragma once

#include <QStringList>

#include "appsettings.h"
#include "language.h"
#include "program.h"

class MainWindow;

extern MainWindow *mw;

// Song file extensions, upper case.
extern const QStringList midiExtensions;
extern const QStringList mp3Extensions;

// Relative to the process's working folder.
extern const char logFolderName[];
