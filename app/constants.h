// Program-wide objects and constants created by start-up.
#pragma once

#include <QStringList>

#include "appsettings.h"

class MainWindow;
class QTranslator;

extern QTranslator *translator;
extern QTranslator *systemTranslator;
extern MainWindow *mw;

extern const char kProductName[];
extern const char kProductVersion[];

// Song file extensions, upper case.
extern const QStringList midiExtensions;
extern const QStringList mp3Extensions;

// Relative to the process's working folder.
extern const char logFolderName[];
