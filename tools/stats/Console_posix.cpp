#include "tools/stats/Console.h"

void PrepareConsoleForUtf8() {}  // terminals here take UTF-8
