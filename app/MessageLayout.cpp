#include "app/MessageLayout.h"

#include <cstddef>

MessageLayout LayOutMessage(const std::vector<int>& charWidths, int totalWidth, int textHeight, int clientWidth,
                            int clientHeight) {
    MessageLayout layout;
    if (charWidths.empty()) return layout;
    layout.columnLeft = (clientWidth - kMessageColumnWidth) / 2;
    const int columnRight = layout.columnLeft + kMessageColumnWidth;
    layout.pitch = textHeight + kMessageLineGap;
    // A text as wide as the column or narrower is one line; a wider one is
    // assumed to fill its lines, which wrapping at characters nearly does.
    layout.lineCount =
        totalWidth <= kMessageColumnWidth ? 1 : (totalWidth + kMessageColumnWidth - 1) / kMessageColumnWidth;
    layout.top = (clientHeight - layout.lineCount * layout.pitch) / 2;

    int x = layout.columnLeft;
    int y = layout.top;
    for (std::size_t i = 0; i < charWidths.size(); ++i) {
        const int width = charWidths[i] > 0 ? charWidths[i] : 0;
        // A character wider than the whole column still gets a line of its
        // own rather than an endless run of empty lines.
        if (x + width > columnRight && x > layout.columnLeft) {
            x = layout.columnLeft;
            y += layout.pitch;
        }
        if (y + textHeight > clientHeight) break;
        layout.cells.push_back(MessageCell{static_cast<int>(i), x, y, width});
        x += width;
    }
    return layout;
}
