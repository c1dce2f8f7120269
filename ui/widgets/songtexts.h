// Song fields as the user reads them. Files and the library keep "<UNKNOWN>"
// for an artist, genre or author a song does not name (other programs and
// the store read it so); the pages show it in the language chosen.
#pragma once

#include <QString>

namespace SongTexts {

// `stored`, or its translation when it is the stand-in for an unknown value.
QString shown(const QString &stored);

} // namespace SongTexts
