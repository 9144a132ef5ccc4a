// Fill, Exchange, hex view and edit history at the store's last bytes and beyond.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "buffer/EditHistory.h"
#include "buffer/FillExchange.h"
#include "buffer/HexViewModel.h"

TEST(DataBuffer, OneStoreAndEveryOperationStopsAtItsEnd) {
    DataBuffer buffer;
    EXPECT_EQ(buffer.fill(0, 16, 0), 0u); // nothing without a store
    ASSERT_TRUE(buffer.allocate());
    uint8_t* block = buffer.store();
    block[5] = 0x12;
    ASSERT_TRUE(buffer.allocate());
    EXPECT_EQ(buffer.store(), block);
    EXPECT_EQ(block[5], 0x12); // a second allocate neither moves nor wipes the store
    EXPECT_EQ(buffer.boundedCount(0xFFFFFFFFFull, 10), 0u);
    EXPECT_EQ(buffer.boundedCount(0, 0xFFFFFFFFFull), kStoreSize);
    EXPECT_EQ(buffer.fill(kStoreSize - 3, 1000, 0x11), 3u);
    const std::vector<uint8_t> source{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(buffer.copyIn(kStoreSize - 2, source.data(), source.size()), 2u);
    std::vector<uint8_t> out(4, 0xEE);
    EXPECT_EQ(buffer.copyOut(kStoreSize - 4, out.data(), out.size()), 4u);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0x11, 1, 2}));
    EXPECT_EQ(buffer.range(kStoreSize - 1, 16).size(), 1u);
    EXPECT_TRUE(buffer.range(kStoreSize + 5, 16).empty());
}

TEST(DataBuffer, GrowsToALargerChipKeepingItsBytesAndNeverWhileHeld) {
    DataBuffer buffer;
    buffer.setLength(2 * kStoreSize);
    EXPECT_EQ(buffer.size(), 0u); // nothing to grow before the store exists
    ASSERT_TRUE(buffer.allocate());
    ASSERT_EQ(buffer.size(), 2 * kStoreSize); // the chip chosen before it
    buffer.store()[kStoreSize - 1] = 0x5A;
    {
        const DataBuffer::Hold hold(buffer);
        buffer.setLength(3 * kStoreSize); // a chip chosen while a command runs
        EXPECT_EQ(buffer.size(), 2 * kStoreSize);
        EXPECT_EQ(buffer.lengthInStore(), 2 * kStoreSize);
    }
    buffer.setLength(2 * kStoreSize + 1); // whole 16 MiB steps
    ASSERT_EQ(buffer.size(), 3 * kStoreSize);
    EXPECT_EQ(buffer.store()[kStoreSize - 1], 0x5A);
    EXPECT_EQ(buffer.store()[2 * kStoreSize], 0xFF);
    EXPECT_EQ(buffer.store()[3 * kStoreSize - 1], 0xFF);
    buffer.setLength(100u << 20); // the chip editor's largest: cut to the largest store
    EXPECT_EQ(buffer.size(), kMaxStoreSize);
    EXPECT_EQ(buffer.lengthInStore(), kMaxStoreSize);
    EXPECT_EQ(buffer.fill(kMaxStoreSize - 2, 10, 0), 2u);
    buffer.setLength(1024); // a smaller chip keeps the store and its bytes
    EXPECT_EQ(buffer.size(), kMaxStoreSize);
    EXPECT_EQ(buffer.store()[kStoreSize - 1], 0x5A);
}

TEST(FillExchange, FillStaysInsideTheBufferAndTheStore) {
    const uint32_t kBig = 100u * 1024 * 1024;
    struct Case {
        const char* name;
        uint32_t length;
        FillRequest request;
        FillOutcome outcome;
        uint32_t count;
    };
    const Case cases[] = {
        {"range", 256, {true, 0x10, 0x1F, 0}, FillOutcome::Filled, 16},
        {"end past the buffer", 256, {true, 0xFF, 0xFFFFFF, 0x5A}, FillOutcome::Filled, 1},
        {"bad input", 256, {false, 0, 0xFF, 1}, FillOutcome::InputError, 0},
        {"start at the end", 256, {true, 0x100, 0x1FF, 1}, FillOutcome::StartOutOfRange, 0},
        {"start above end", 256, {true, 0x20, 0x10, 1}, FillOutcome::StartAboveEnd, 0},
        {"range checked first", 256, {true, 0x300, 0x10, 1}, FillOutcome::StartOutOfRange, 0},
        {"empty buffer", 0, {true, 0, 0xFFFFFF, 1}, FillOutcome::StartOutOfRange, 0},
        {"store's end",
         kBig,
         {true, kMaxStoreSize - 16, kMaxStoreSize - 1, 0},
         FillOutcome::Filled,
         16},
        {"past the store", kBig, {true, kMaxStoreSize - 2, 0x7FFFFFFF, 1}, FillOutcome::Filled, 2},
        {"start past the store",
         kBig,
         {true, kMaxStoreSize, ~0u, 1},
         FillOutcome::StartOutOfRange,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataBuffer buffer;
        ASSERT_TRUE(buffer.allocate());
        buffer.setLength(c.length);
        for (uint32_t i = 0; i < 1024; ++i)
            buffer.store()[i] = static_cast<uint8_t>(i * 3 + 1);
        std::vector<uint8_t> expected(buffer.bytes().begin(), buffer.bytes().end());
        std::fill_n(expected.begin() + c.request.startAddress, c.count, c.request.fillValue);
        const FillResult result = fillBuffer(buffer, c.request);
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(result.count, c.count);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.bytes().begin()));
    }
}

TEST(FillExchange, ExchangeSwapsPairsAndBorrowsTheNextStoreByte) {
    DataBuffer buffer;
    ASSERT_TRUE(buffer.allocate());
    uint8_t* s = buffer.store();
    const uint8_t odd[] = {1, 2, 3, 0xAA, 0xBB};
    buffer.copyIn(0, odd, 5);
    buffer.setLength(3);
    EXPECT_EQ(exchangeBytes(buffer), 2u);
    EXPECT_EQ(std::vector<uint8_t>(s, s + 5), (std::vector<uint8_t>{2, 1, 0xAA, 3, 0xBB}));
    buffer.setLength(0);
    EXPECT_EQ(exchangeBytes(buffer), 0u);
    EXPECT_EQ(s[0], 2);
    // A chip larger than the largest store swaps the store's pairs and nothing past them.
    buffer.setLength(100u * 1024 * 1024 + 1);
    s = buffer.store();
    s[kMaxStoreSize - 2] = 0x11;
    s[kMaxStoreSize - 1] = 0x22;
    EXPECT_EQ(exchangeBytes(buffer), kMaxStoreSize / 2);
    EXPECT_EQ(std::vector<uint8_t>(s + kMaxStoreSize - 2, s + kMaxStoreSize),
              (std::vector<uint8_t>{0x22, 0x11}));
    buffer.setLength(kMaxStoreSize - 1);
    EXPECT_EQ(exchangeBytes(buffer), kMaxStoreSize / 2);
    EXPECT_EQ(s[kMaxStoreSize - 1], 0x22);
}

// A chip of up to 100 MiB: the view covers the largest store, 64 MiB, with seven-digit
// addresses and reads nothing past it; without a store nothing is drawn.
TEST(HexViewModel, AChipLargerThanTheStoreShowsTheStoreAndNoMore) {
    DataBuffer buffer;
    HexViewModel model{buffer};
    buffer.setLength(100u * 1024 * 1024);
    EXPECT_EQ(model.setUp(buffer.length()), 131071u);
    EXPECT_EQ(model.maxTopRow(), 4194272u);
    std::vector<HexLine> lines(1);
    lines[0].address = "old";
    EXPECT_FALSE(model.refresh(lines));
    EXPECT_EQ(lines[0].address, "old");

    ASSERT_TRUE(buffer.allocate());
    std::copy_n("\x1FZ", 2, &buffer.store()[kMaxStoreSize - 2]); // control codes shown raw
    EXPECT_FALSE(model.onVScroll(SB_LINEUP, 0).refresh);         // already at the top
    EXPECT_EQ(model.onVScroll(SB_THUMBTRACK, 2).position, 2u);   // 32 rows per thumb position
    EXPECT_EQ(model.onVScroll(SB_BOTTOM, 0).position, 131071u);
    EXPECT_EQ(model.topRow, 4194272u);
    model.topRow = 0xFFFFFFFF; // clamped before anything is read
    ASSERT_TRUE(model.refresh(lines));
    EXPECT_EQ(model.topRow, 4194272u);
    EXPECT_EQ(lines[31].address, "0x3FFFFF0");
    EXPECT_EQ(lines[31].ascii, "..............\x1FZ");
}

TEST(EditHistory, OldestStepsGoPastTheLimitAndTheNewestAlwaysStays) {
    DataBuffer buffer;
    ASSERT_TRUE(buffer.allocate());
    const size_t step = 100 + EditHistory::kStepOverheadBytes;
    EditHistory history(3 * step);
    for (uint8_t value = 0; value < 5; ++value)
        history.record(buffer, value * 100u, 100, [&] { buffer.fill(value * 100u, 100, value); });
    EXPECT_EQ(history.heldBytes(), 3 * step);
    int undone = 0;
    while (history.undo(buffer))
        ++undone;
    EXPECT_EQ(undone, 3);
    const uint8_t* store = buffer.store();
    EXPECT_EQ(std::vector<uint8_t>(store + 99, store + 102), (std::vector<uint8_t>{0, 1, 1}));
    EXPECT_EQ(store[200], 0xFF);

    // A new step forgets the redo steps; one larger than the limit is kept alone.
    history.record(buffer, 0, 1000, [&] { buffer.fill(0, 1000, 0xAA); });
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(history.heldBytes(), 1000 + EditHistory::kStepOverheadBytes);
    EXPECT_TRUE(history.undo(buffer));
    EXPECT_EQ(std::vector<uint8_t>(store + 99, store + 102), (std::vector<uint8_t>{0, 1, 1}));
    EXPECT_EQ(store[999], 0xFF);
    EXPECT_FALSE(history.undo(buffer));
}
