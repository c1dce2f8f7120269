// The program's one settings store, `appSettings` (organisation "Kvero",
// application "VelmarPC", fallbacks off): every page, client and the main
// window read and write their keys here. Start-up creates it; a piece built
// on its own (a page in a test, a tool) gets it on first use. A QSettings of
// a piece's own would not do: a default-constructed one writes to a file
// named after no organisation, which the rest of the program never reads.
#pragma once

class QSettings;

extern QSettings *appSettings;

// `appSettings`, created here when start-up has not made it yet.
QSettings &programSettings();
