// Where the characters of a prompt's message go, with given widths.
#include "app/MessageLayout.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

constexpr int kW = 404;
constexpr int kH = 201;
constexpr int kTextHeight = 12;
constexpr int kPitch = kTextHeight + 5;

MessageLayout Lay(const std::vector<int>& widths) {
    return LayOutMessage(widths, std::accumulate(widths.begin(), widths.end(), 0), kTextHeight, kW, kH);
}

TEST(MessageLayout, ShortMessageIsOneCentredLine) {
    const MessageLayout layout = Lay(std::vector<int>(10, 12));
    EXPECT_EQ(84, layout.columnLeft);
    EXPECT_EQ(1, layout.lineCount);
    EXPECT_EQ(kPitch, layout.pitch);
    EXPECT_EQ((kH - kPitch) / 2, layout.top);
    ASSERT_EQ(10u, layout.cells.size());
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(84 + 12 * i, layout.cells[i].left);
        EXPECT_EQ(layout.top, layout.cells[i].top);
        EXPECT_EQ(12, layout.cells[i].width);
    }
}

TEST(MessageLayout, MessageExactlyAsWideAsTheColumnStaysOnOneLine) {
    std::vector<int> widths(19, 12);
    widths.push_back(235 - 19 * 12);  // the last character ends on the column's edge
    const MessageLayout layout = Lay(widths);
    EXPECT_EQ(1, layout.lineCount);
    ASSERT_EQ(20u, layout.cells.size());
    EXPECT_EQ(layout.top, layout.cells.back().top);
    EXPECT_EQ(84 + 235, layout.cells.back().left + layout.cells.back().width);
}

TEST(MessageLayout, OnePixelWiderWrapsTheCharacterThatCrossesTheEdge) {
    std::vector<int> widths(19, 12);
    widths.push_back(235 - 19 * 12 + 1);
    const MessageLayout layout = Lay(widths);
    EXPECT_EQ(2, layout.lineCount);
    EXPECT_EQ((kH - 2 * kPitch) / 2, layout.top);
    ASSERT_EQ(20u, layout.cells.size());
    EXPECT_EQ(layout.top, layout.cells[18].top);
    EXPECT_EQ(84, layout.cells[19].left);
    EXPECT_EQ(layout.top + kPitch, layout.cells[19].top);
}

TEST(MessageLayout, WrapsCharacterByCharacterNotAtWords) {
    // 12-pixel characters: 19 fit in 235 pixels (228), the 20th does not,
    // whatever the characters are.
    const MessageLayout layout = Lay(std::vector<int>(45, 12));
    EXPECT_EQ(3, layout.lineCount);  // 540 / 235 rounded up
    ASSERT_EQ(45u, layout.cells.size());
    for (int i = 0; i < 45; ++i) {
        EXPECT_EQ(84 + 12 * (i % 19), layout.cells[i].left) << i;
        EXPECT_EQ(layout.top + kPitch * (i / 19), layout.cells[i].top) << i;
    }
}

TEST(MessageLayout, LineCountRoundsTheWidthUp) {
    struct Case {
        int total;
        int lines;
    } cases[] = {{1, 1}, {235, 1}, {236, 2}, {470, 2}, {471, 3}, {705, 3}, {706, 4}};
    for (const Case& c : cases) {
        const MessageLayout layout = LayOutMessage({c.total}, c.total, kTextHeight, kW, kH);
        EXPECT_EQ(c.lines, layout.lineCount) << c.total;
        EXPECT_EQ((kH - c.lines * kPitch) / 2, layout.top) << c.total;
    }
}

TEST(MessageLayout, StopsAtTheBottomOfTheWindow) {
    // Far more text than the window holds: nothing is placed below it.
    const MessageLayout layout = Lay(std::vector<int>(19 * 30, 12));
    ASSERT_FALSE(layout.cells.empty());
    EXPECT_LT(layout.cells.size(), 19u * 30u);
    for (const MessageCell& cell : layout.cells) EXPECT_LE(cell.top + kTextHeight, kH);
    EXPECT_GT(layout.cells.back().top + kPitch + kTextHeight, kH);
}

TEST(MessageLayout, CharacterWiderThanTheColumnDoesNotLoop) {
    const MessageLayout layout = Lay({12, 300, 12});
    ASSERT_EQ(3u, layout.cells.size());
    EXPECT_EQ(layout.top, layout.cells[0].top);
    EXPECT_EQ(84, layout.cells[1].left);
    EXPECT_EQ(layout.top + kPitch, layout.cells[1].top);
    EXPECT_EQ(layout.top + 2 * kPitch, layout.cells[2].top);
}

TEST(MessageLayout, EmptyTextPlacesNothing) {
    EXPECT_TRUE(Lay({}).cells.empty());
}

}  // namespace
