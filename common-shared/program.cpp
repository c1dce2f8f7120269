#include "program.h"

const char kProductName[] = "Velmar PC";
const char kProductVersion[] = VELMAR_VERSION;
