#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "buffer/HexViewModel.h"

namespace {
constexpr uint32_t kMiB = 1024 * 1024;

struct View {
    DataBuffer buffer;
    HexViewModel model{buffer};
    // Chip change as the window does it: length, top row 0, set-up.
    explicit View(uint32_t length, bool allocate = true) {
        if (allocate) {
            EXPECT_TRUE(buffer.allocate());
        }
        buffer.setLength(length);
        model.topRow = 0;
        model.setUp(length);
    }
};
} // namespace

TEST(HexViewModel, ScrollNumbersFollowTheBufferLength) {
    struct Case {
        uint32_t length, maxTopRow, scrollMax, step;
    };
    const Case cases[] = {
        {16 * kMiB, 1048544, 32767, 32},
        {kMiB, 65504, 2047, 32},
        {0x10000, 4064, 4064, 1},
        {0x10010, 4065, 127, 32},
        {528, 1, 1, 1},
        {512, 0, 0, 1},
        {128, 0, 0, 1},
        {16, 0, 0, 1},
        {0, 0, 0, 1},
        // Above the store the view covers the first 16 MiB.
        {100 * kMiB, 1048544, 32767, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        View view(c.length, /*allocate=*/false); // the arithmetic needs no store
        EXPECT_EQ(view.model.maxTopRow(), c.maxTopRow);
        EXPECT_EQ(view.model.scrollMax(), c.scrollMax);
        EXPECT_EQ(HexViewModel::scrollStepFor(c.length), c.step);
        EXPECT_EQ(view.model.setUp(c.length), c.scrollMax);
    }
}

TEST(HexViewModel, RowCountComesFromTheCapacityAtMost32) {
    const std::pair<uint32_t, uint16_t> cases[] = {
        {128, 8}, {512, 32}, {528, 32}, {16, 1}, {15, 0}, {0, 0}, {kMiB, 32}, {100 * kMiB, 32}};
    for (auto [capacity, rows] : cases) {
        View view(capacity, /*allocate=*/false);
        EXPECT_EQ(view.model.rowCount, rows) << capacity;
    }
}

TEST(HexViewModel, TinyChipStopsEveryMoveButTheThumb) {
    View view(128);
    for (int code : std::initializer_list<int>{SB_LINEUP, SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN,
                                               SB_TOP, SB_BOTTOM, SB_ENDSCROLL, 99, -1}) {
        EXPECT_FALSE(view.model.onVScroll(code, 0).refresh) << code;
    }
    ScrollResult thumb = view.model.onVScroll(SB_THUMBTRACK, 5);
    EXPECT_TRUE(thumb.refresh);
    EXPECT_EQ(view.model.topRow, 0u);
    EXPECT_EQ(thumb.position, 0u);

    std::array<HexLine, kHexViewLines> lines;
    ASSERT_TRUE(view.model.refresh(lines));
    EXPECT_EQ(lines[0].address, "0x000000:");
    EXPECT_EQ(lines[7].address, "0x000070:");
    EXPECT_EQ(lines[8], (HexLine{" ", " ", " "}));
    EXPECT_EQ(lines[31], (HexLine{" ", " ", " "}));
}

TEST(HexViewModel, SmallBufferMovesOneRowPerPage) {
    View view(0x10000);
    ScrollResult r = view.model.onVScroll(SB_PAGEDOWN, 0);
    EXPECT_TRUE(r.refresh);
    EXPECT_EQ(view.model.topRow, 1u);
    EXPECT_EQ(r.position, 1u);
    r = view.model.onVScroll(SB_BOTTOM, 0);
    EXPECT_EQ(view.model.topRow, 4064u);
    EXPECT_EQ(r.position, 4064u);
    EXPECT_FALSE(view.model.onVScroll(SB_LINEDOWN, 0).refresh);
    EXPECT_FALSE(view.model.onVScroll(SB_PAGEDOWN, 0).refresh);
    r = view.model.onVScroll(SB_LINEUP, 0);
    EXPECT_EQ(view.model.topRow, 4063u);
    EXPECT_EQ(r.position, 4063u);
}

TEST(HexViewModel, LargeBufferPagesAndThumbLandWhereExpected) {
    View view(kMiB);
    for (size_t i = 0; i < kMiB; i += 16)
        view.buffer.store()[i] = static_cast<uint8_t>(i >> 4);

    ScrollResult r = view.model.onVScroll(SB_THUMBPOSITION, 2047);
    EXPECT_TRUE(r.refresh);
    EXPECT_EQ(view.model.topRow, 65504u);
    EXPECT_EQ(r.position, 2047u);
    std::array<HexLine, kHexViewLines> lines;
    ASSERT_TRUE(view.model.refresh(lines));
    EXPECT_EQ(lines[0].address, "0x0FFE00:");
    EXPECT_EQ(lines[31].address, "0x0FFFF0:");
    EXPECT_EQ(lines[31].hex.substr(0, 3), "FF ");

    // A thumb past the range still lands on the last screen.
    r = view.model.onVScroll(SB_THUMBTRACK, 0xFFFF);
    EXPECT_EQ(view.model.topRow, 65504u);
    EXPECT_EQ(r.position, 2047u);

    view.model.topRow = 65504 - 10;
    r = view.model.onVScroll(SB_PAGEDOWN, 0);
    EXPECT_EQ(view.model.topRow, 65504u);
    EXPECT_EQ(r.position, 2047u);

    view.model.topRow = 20;
    r = view.model.onVScroll(SB_PAGEUP, 0);
    EXPECT_EQ(view.model.topRow, 0u);
    EXPECT_EQ(r.position, 0u);

    view.model.topRow = 100;
    view.model.onVScroll(SB_PAGEDOWN, 0);
    EXPECT_EQ(view.model.topRow, 132u);
    r = view.model.onVScroll(SB_LINEDOWN, 0);
    EXPECT_EQ(view.model.topRow, 133u);
    EXPECT_EQ(r.position, 133u / 32);
    view.model.onVScroll(SB_PAGEUP, 0);
    EXPECT_EQ(view.model.topRow, 101u);
    EXPECT_TRUE(view.model.onVScroll(SB_TOP, 0).refresh);
    EXPECT_EQ(view.model.topRow, 0u);
}

TEST(HexViewModel, WholeStoreBottomAndLengthAboveTheStore) {
    for (uint32_t length : {16 * kMiB, 100 * kMiB}) {
        View view(length);
        view.buffer.store()[kStoreSize - 1] = 'Z';
        ScrollResult r = view.model.onVScroll(SB_BOTTOM, 0);
        EXPECT_EQ(view.model.topRow, 1048544u);
        EXPECT_EQ(r.position, 32767u);
        std::array<HexLine, kHexViewLines> lines;
        ASSERT_TRUE(view.model.refresh(lines));
        EXPECT_EQ(lines[31].address, "0xFFFFF0:");
        EXPECT_EQ(lines[31].ascii, "...............Z");
        // A top row set beyond the store is clamped before anything is read.
        view.model.topRow = 0xFFFFFFFF;
        ASSERT_TRUE(view.model.refresh(lines));
        EXPECT_EQ(view.model.topRow, 1048544u);
    }
}

TEST(HexViewModel, RefreshClampsAndBlanksLinesBelowTheChip) {
    View view(kMiB);
    view.model.onVScroll(SB_BOTTOM, 0);
    // Chip change to 128 bytes without the window's reset: the refresh clamps.
    view.buffer.setLength(128);
    view.model.setUp(128);
    std::array<HexLine, kHexViewLines> lines;
    ASSERT_TRUE(view.model.refresh(lines));
    EXPECT_EQ(view.model.topRow, 0u);
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(lines[i].address, "0x" + formatHexNumber(i * 16, 6) + ":");
    for (uint32_t i = 8; i < kHexViewLines; ++i)
        EXPECT_EQ(lines[i], (HexLine{" ", " ", " "})) << i;
}

TEST(HexViewModel, StartWithoutDefaultChipShowsNoDataButScrolls) {
    View view(0);
    view.buffer.setLength(kStoreSize); // capacity 0, length 16 MiB
    EXPECT_EQ(view.model.rowCount, 0);
    EXPECT_EQ(view.model.scrollMax(), 32767u);
    std::array<HexLine, kHexViewLines> lines;
    ASSERT_TRUE(view.model.refresh(lines));
    for (const HexLine& line : lines)
        EXPECT_EQ(line, (HexLine{" ", " ", " "}));
}

TEST(HexViewModel, WithoutStoreTheRefreshLeavesTheLines) {
    View view(kMiB, /*allocate=*/false);
    std::array<HexLine, kHexViewLines> lines;
    lines[0].address = "old";
    EXPECT_FALSE(view.model.canRefresh());
    EXPECT_FALSE(view.model.refresh(lines));
    EXPECT_EQ(lines[0].address, "old");
    EXPECT_EQ(view.model.line(0), (HexLine{" ", " ", " "}));
}

TEST(HexViewModel, WheelScrollsThreeRowsThroughTheSameClamp) {
    View view(kMiB);
    EXPECT_FALSE(view.model.onWheel(1).refresh); // already at the top
    ScrollResult r = view.model.onWheel(-1);
    EXPECT_TRUE(r.refresh);
    EXPECT_EQ(view.model.topRow, 3u);
    r = view.model.onWheel(-20);
    EXPECT_EQ(view.model.topRow, 63u);
    EXPECT_EQ(r.position, 1u);
    view.model.onWheel(5);
    EXPECT_EQ(view.model.topRow, 48u);
    view.model.topRow = 65503;
    r = view.model.onWheel(-1);
    EXPECT_EQ(view.model.topRow, 65504u);
    EXPECT_EQ(r.position, 2047u);
    EXPECT_FALSE(view.model.onWheel(-1).refresh);
    EXPECT_FALSE(view.model.onWheel(0).refresh);
}

TEST(HexViewModel, TextBuilders) {
    EXPECT_EQ(formatHexNumber(0x1F0, 6), "0001F0");
    EXPECT_EQ(formatHexNumber(0xABCDEF12, 6), "CDEF12");
    EXPECT_EQ(formatHexNumber(0xA, 2), "0A");

    std::vector<uint8_t> ff(16, 0xFF);
    std::string hex;
    for (int i = 0; i < 16; ++i)
        hex += "FF ";
    EXPECT_EQ(formatHexBytes(ff.data(), 16), hex);
    EXPECT_EQ(formatHexBytes(ff.data(), 16).size(), 48u);
    const uint8_t mixed[] = {0x00, 0x7F, 0xA5, 0x0C};
    EXPECT_EQ(formatHexBytes(mixed, 4), "00 7F A5 0C ");

    const uint8_t edge[] = {0x00, 0x01, 0x80, 0xFF, 0x02, 0x1F, 0x20, 0x7F, 'A'};
    EXPECT_EQ(formatAscii(edge, sizeof edge), std::string("....\x02\x1F \x7F"
                                                          "A"));
}

TEST(HexViewModel, LineTextsComeFromTheRowsAtTheTop) {
    View view(0x1000);
    for (uint32_t i = 0; i < 16; ++i)
        view.buffer.store()[0x1F0 + i] = static_cast<uint8_t>(0x30 + i);
    view.model.topRow = 0x10;
    HexLine line = view.model.line(15);
    EXPECT_EQ(line.address, "0x0001F0:");
    EXPECT_EQ(line.hex, "30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F ");
    EXPECT_EQ(line.ascii, "0123456789:;<=>?");
}
