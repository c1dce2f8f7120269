// The program's name and version, as shown and logged.
#pragma once

extern const char kProductName[];
extern const char kProductVersion[];
