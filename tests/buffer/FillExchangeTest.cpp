// Fill and Exchange at the edges the window tests do not reach: the store's last bytes,
// chips larger than the store, odd lengths, the checks' order.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "buffer/FillExchange.h"

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
        {"store's end", kBig, {true, 0xFFFFF0, 0xFFFFFF, 0}, FillOutcome::Filled, 16},
        {"past the store", kBig, {true, 0xFFFFFE, 0x7FFFFFFF, 1}, FillOutcome::Filled, 2},
        {"start past the store", kBig, {true, kStoreSize, ~0u, 1}, FillOutcome::StartOutOfRange, 0},
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
    // A chip larger than the store swaps the store's pairs and nothing past them.
    s[kStoreSize - 2] = 0x11;
    s[kStoreSize - 1] = 0x22;
    buffer.setLength(100u * 1024 * 1024 + 1);
    EXPECT_EQ(exchangeBytes(buffer), kStoreSize / 2);
    EXPECT_EQ(s[kStoreSize - 2], 0x22);
    EXPECT_EQ(s[kStoreSize - 1], 0x11);
    buffer.setLength(kStoreSize - 1);
    EXPECT_EQ(exchangeBytes(buffer), kStoreSize / 2);
    EXPECT_EQ(s[kStoreSize - 1], 0x22);
}
