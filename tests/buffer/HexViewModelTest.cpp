// A chip larger than the store (the chip editor takes up to 100 MiB): the view covers
// the store's 16 MiB and reads nothing past it; without a store nothing is drawn. The
// window tests walk the view of every smaller size.
#include <gtest/gtest.h>

#include <array>

#include "buffer/HexViewModel.h"

TEST(HexViewModel, AChipLargerThanTheStoreShowsTheStoreAndNoMore) {
    DataBuffer buffer;
    HexViewModel model{buffer};
    buffer.setLength(100u * 1024 * 1024);
    EXPECT_EQ(model.setUp(buffer.length()), 32767u);
    EXPECT_EQ(model.maxTopRow(), 1048544u);
    std::array<HexLine, kHexViewLines> lines;
    lines[0].address = "old";
    EXPECT_FALSE(model.refresh(lines));
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
