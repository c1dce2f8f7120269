#include "constants.h"

QTranslator *translator = nullptr;
QTranslator *systemTranslator = nullptr;
MainWindow *mw = nullptr;

const char kProductName[] = "Velmar PC";
const char kProductVersion[] = VELMAR_VERSION;

const QStringList midiExtensions{QStringLiteral("MIDI"), QStringLiteral("MID"),
                                 QStringLiteral("KAR"),  QStringLiteral("MF3"),
                                 QStringLiteral("MF4"),  QStringLiteral("MF5")};
const QStringList mp3Extensions{QStringLiteral("MP3")};

const char logFolderName[] = "logs";
