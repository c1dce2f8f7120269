#include "constants.h"

MainWindow *mw = nullptr;

const QStringList midiExtensions{QStringLiteral("MIDI"), QStringLiteral("MID"),
                                 QStringLiteral("KAR"),  QStringLiteral("MF3"),
                                 QStringLiteral("MF4"),  QStringLiteral("MF5")};
const QStringList mp3Extensions{QStringLiteral("MP3")};

const char logFolderName[] = "logs";
