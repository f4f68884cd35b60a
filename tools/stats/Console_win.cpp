#include "tools/stats/Console.h"

#include <windows.h>

void PrepareConsoleForUtf8() { SetConsoleOutputCP(CP_UTF8); }
