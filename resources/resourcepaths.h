// Paths of the resources compiled into the program.
#pragma once

namespace ResourcePaths {
// Empty song library that a first start copies into the song folder.
extern const char templateDatabase[];
// Folder of the program's and Qt's translations (".qm").
extern const char languageFolder[];
} // namespace ResourcePaths
