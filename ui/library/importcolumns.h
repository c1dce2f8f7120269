// The import dialog's list of files, whole and in the program's language.
// Qt's file model writes sizes and dates in the machine's locale, and Qt's
// dialog gives the size, kind and date columns fixed widths that cut them
// ("7 Dec …:24:34"): here sizes and dates are written as the language
// chosen writes them (again after a language change), the three columns are
// as wide as what they show and the names take the rest, and the dialog
// opens wide enough for all of it (within its screen).
#pragma once

class QFileDialog;

namespace ImportColumns {

// Once, on Qt's own dialog (not the desktop's) in its detail view, after its
// icon provider is set: the kinds of files it names are measured.
void apply(QFileDialog *dialog);

} // namespace ImportColumns
