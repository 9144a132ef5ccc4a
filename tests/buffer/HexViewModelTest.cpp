// The hex view's arithmetic where the window tests do not go: lengths at and past the
// 16 MiB store, a missing store, the line up at the top.
#include <gtest/gtest.h>

#include <array>

#include "buffer/HexViewModel.h"

TEST(HexViewModel, ScrollNumbersFollowTheBufferLength) {
    constexpr uint32_t kMiB = 1024 * 1024;
    struct Case {
        uint32_t length, maxTopRow, scrollMax, step;
        uint16_t rows;
    };
    const Case cases[] = {
        {16 * kMiB, 1048544, 32767, 32, 32},
        {kMiB, 65504, 2047, 32, 32},
        {0x10000, 4064, 4064, 1, 32},
        {0x10010, 4065, 127, 32, 32},
        {528, 1, 1, 1, 32},
        {512, 0, 0, 1, 32},
        {16, 0, 0, 1, 1},
        {15, 0, 0, 1, 0},
        {100 * kMiB, 1048544, 32767, 32, 32}, // the view covers the store's 16 MiB
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        DataBuffer buffer; // the arithmetic needs no store
        buffer.setLength(c.length);
        HexViewModel model{buffer};
        EXPECT_EQ(model.setUp(c.length), c.scrollMax);
        EXPECT_EQ(model.maxTopRow(), c.maxTopRow);
        EXPECT_EQ(HexViewModel::scrollStepFor(c.length), c.step);
        EXPECT_EQ(model.rowCount, c.rows);
    }
}

TEST(HexViewModel, BottomOfAChipLargerThanTheStoreShowsTheStoresEnd) {
    DataBuffer buffer;
    HexViewModel model{buffer};
    buffer.setLength(100u * 1024 * 1024);
    model.setUp(buffer.length());
    std::array<HexLine, kHexViewLines> lines;
    lines[0].address = "old";
    EXPECT_FALSE(model.refresh(lines)); // no store: the lines stay
    EXPECT_EQ(lines[0].address, "old");

    ASSERT_TRUE(buffer.allocate());
    buffer.store()[kStoreSize - 1] = 'Z';
    EXPECT_FALSE(model.onVScroll(SB_LINEUP, 0).refresh); // already at the top
    ScrollResult r = model.onVScroll(SB_BOTTOM, 0);
    EXPECT_EQ(model.topRow, 1048544u);
    EXPECT_EQ(r.position, 32767u);
    model.topRow = 0xFFFFFFFF; // clamped before anything is read
    ASSERT_TRUE(model.refresh(lines));
    EXPECT_EQ(model.topRow, 1048544u);
    EXPECT_EQ(lines[31].address, "0xFFFFF0:");
    EXPECT_EQ(lines[31].ascii, "...............Z");
}
