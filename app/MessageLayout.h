// Where the characters of a prompt's message go: a column 235 pixels wide in
// the middle of the window, filled character by character without regard to
// words, the block centred vertically on the number of lines the whole
// text's width suggests. Pure arithmetic, so tests give the widths.
#pragma once

#include <vector>

struct MessageCell {
    int index;  // character of the text
    int left;
    int top;
    int width;
};

struct MessageLayout {
    int columnLeft = 0;
    int lineCount = 0;  // as estimated from the whole width, used for centring
    int pitch = 0;
    int top = 0;
    std::vector<MessageCell> cells;  // characters that fit, in text order
};

constexpr int kMessageColumnWidth = 235;
constexpr int kMessageLineGap = 5;

// charWidths: each character's width; totalWidth and textHeight: the whole
// text as measured; the client area is clientWidth x clientHeight.
MessageLayout LayOutMessage(const std::vector<int>& charWidths, int totalWidth, int textHeight, int clientWidth,
                            int clientHeight);
