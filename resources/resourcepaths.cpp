#include "resourcepaths.h"

namespace ResourcePaths {
const char templateDatabase[] = ":/db/db_VelmarPC.sqlite";
const char languageFolder[] = ":/Language/";
} // namespace ResourcePaths
