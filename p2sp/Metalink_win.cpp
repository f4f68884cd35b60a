#include "Metalink.h"

// Seeds are not read yet: every task runs on its own URL.
bool LoadMetalinkSeed(const std::wstring&, const std::wstring&, const std::wstring&, PieceTable*) { return false; }
