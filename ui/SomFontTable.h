// The process-wide table of 16 fonts that the markup's font numbers select
// (number n is entry n - 1). Built from the default GUI font's attributes;
// the face depends on the system version.
#pragma once

#include "ui/GdiHelpers.h"

#include <windows.h>

#include <array>

class CSomFontTable {
public:
    static constexpr int kCount = 16;
    static constexpr int kDefaultEntry = 2;  // text elements, buttons, check boxes

    CSomFontTable();
    // Entry index 0..15; null outside.
    HFONT Get(int entry) const;
    // The face used for entries 0..14 on a system of this major version.
    static const wchar_t* FaceForVersion(DWORD majorVersion);

private:
    std::array<ScopedFont, kCount> fonts_;
};

// Creates a font from the default GUI font's attributes with the given face,
// pixel height (as a character height) and weight (0 keeps the default's).
HFONT CreateSomFont(const wchar_t* face, int pixelHeight, int weight, bool underline = false,
                    bool italic = false);
