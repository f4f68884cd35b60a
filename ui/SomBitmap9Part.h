// An image drawn in nine parts: fixed corners, edges stretched in one
// direction, the centre in both. The four bounds are in frame coordinates.
#pragma once

#include "ui/SomBitmap.h"

class CSomBitmap9Part : public CSomBitmap {
public:
    CSomBitmap9Part(UINT resourceId, int leftEnd, int rightStart, int topEnd, int bottomStart, WORD frames = 1,
                    BYTE kind = KIND_PNG)
        : CSomBitmap(resourceId, frames, kind),
          leftEnd_(leftEnd),
          rightStart_(rightStart),
          topEnd_(topEnd),
          bottomStart_(bottomStart) {}

    CSomBitmap9Part(const wchar_t* path, int leftEnd, int rightStart, int topEnd, int bottomStart, WORD frames = 1,
                    BYTE kind = KIND_PNG)
        : CSomBitmap(path, frames, kind),
          leftEnd_(leftEnd),
          rightStart_(rightStart),
          topEnd_(topEnd),
          bottomStart_(bottomStart) {}

    void DrawStretched(HDC dc, int x, int y, int cx, int cy, int frame) override;

private:
    int leftEnd_;
    int rightStart_;
    int topEnd_;
    int bottomStart_;
};
