// Fonts the program's looks name. The families they ask for ("LCDDot",
// "TitilliumWeb", "Marker Felt", "Verdana", "Courier", "Futura") are not free
// fonts, so each name is made to stand for a free family we carry or that
// setup.sh installs.
#pragma once

#include <QString>

namespace ProgramFonts {

// Registers a font file compiled into the program (":/fonts/lcddot.ttf") and
// returns its application-font id, -1 when it cannot be read; the family name
// the looks use for it then resolves to the file's own family. Registering a
// file twice gives the same id.
int addApplicationFont(const QString &resource);

// Makes every family name the looks use resolve to its stand-in; called once
// at start-up, harmless to call again.
void install();

// The family that stands for a looks family name, the name itself when none
// does.
QString standIn(const QString &family);

} // namespace ProgramFonts
