#include "ui/SomBitmap9Part.h"

void CSomBitmap9Part::DrawStretched(HDC dc, int x, int y, int cx, int cy, int frame) {
    if (!GetHandle() || cx <= 0 || cy <= 0) return;
    const int W = GetFrameWidth();
    const int H = GetHeight();
    const int L = leftEnd_;
    const int R = rightStart_;
    const int T = topEnd_;
    const int B = bottomStart_;
    const int m = cx - L - (W - R);  // middle width
    const int n = cy - T - (H - B);  // middle height

    // Top row.
    DrawPart(dc, x, y, L, T, 0, 0, frame);
    if (m != 0) DrawPartStretched(dc, x + L, y, m, T, L, 0, R - L, T, frame);
    DrawPart(dc, x + L + m, y, W - R, T, R, 0, frame);
    // Middle row.
    if (n != 0) {
        DrawPartStretched(dc, x, y + T, L, n, 0, T, L, B - T, frame);
        if (m != 0) DrawPartStretched(dc, x + L, y + T, m, n, L, T, R - L, B - T, frame);
        DrawPartStretched(dc, x + L + m, y + T, W - R, n, R, T, W - R, B - T, frame);
    }
    // Bottom row.
    DrawPart(dc, x, y + T + n, L, H - B, 0, B, frame);
    if (m != 0) DrawPartStretched(dc, x + L, y + T + n, m, H - B, L, B, R - L, H - B, frame);
    DrawPart(dc, x + L + m, y + T + n, W - R, H - B, R, B, frame);
}
