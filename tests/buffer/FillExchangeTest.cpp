#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "buffer/FillExchange.h"

namespace {
FillRequest request(uint32_t start, uint32_t end, uint8_t value) {
    return FillRequest{true, start, end, value};
}

// A 256-byte buffer of a known pattern, with a known pattern past it too.
struct Buffer256 {
    DataBuffer buffer;
    Buffer256(uint32_t length = 256) {
        EXPECT_TRUE(buffer.allocate());
        buffer.setLength(length);
        for (uint32_t i = 0; i < 1024; ++i)
            buffer.store()[i] = static_cast<uint8_t>(i * 3 + 1);
    }
    std::vector<uint8_t> head() const {
        return std::vector<uint8_t>(buffer.store(), buffer.store() + 1024);
    }
};
} // namespace

TEST(FillExchange, HexTextHelpers) {
    EXPECT_EQ(firstNonHexIndex("12G"), 2);
    EXPECT_EQ(firstNonHexIndex("G12"), 0);
    EXPECT_EQ(firstNonHexIndex(""), -1);
    EXPECT_EQ(firstNonHexIndex("09afAF"), -1);
    EXPECT_EQ(firstNonHexIndex("1 2"), 1);

    uint32_t value = 77;
    EXPECT_TRUE(parseHex("", value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(parseHex("ff", value));
    EXPECT_EQ(value, 0xFFu);
    EXPECT_TRUE(parseHex("FFFFFF", value));
    EXPECT_EQ(value, 0xFFFFFFu);
    EXPECT_TRUE(parseHex("00aB1", value));
    EXPECT_EQ(value, 0xAB1u);
    value = 77;
    EXPECT_FALSE(parseHex("1g", value));
    EXPECT_FALSE(parseHex("-1", value));
    EXPECT_EQ(value, 77u);
}

TEST(FillExchange, FillSetsTheRangeClampedToTheBuffer) {
    {
        Buffer256 b;
        auto before = b.head();
        FillResult r = fillBuffer(b.buffer, request(0x10, 0x1F, 0x00));
        EXPECT_EQ(r.outcome, FillOutcome::Filled);
        EXPECT_EQ(r.count, 16u);
        for (uint32_t i = 0; i < 1024; ++i)
            EXPECT_EQ(b.buffer.store()[i], i >= 0x10 && i <= 0x1F ? 0 : before[i]) << i;
    }
    {
        Buffer256 b;
        auto before = b.head();
        FillResult r = fillBuffer(b.buffer, request(0xFF, 0xFFFFFF, 0x5A));
        EXPECT_EQ(r.count, 1u);
        before[0xFF] = 0x5A;
        EXPECT_EQ(b.head(), before);
    }
    {
        Buffer256 b;
        auto before = b.head();
        EXPECT_EQ(fillBuffer(b.buffer, request(7, 7, 0xC3)).count, 1u);
        before[7] = 0xC3;
        EXPECT_EQ(b.head(), before);
    }
    // The dialog's initial texts cover the whole 16 MiB.
    DataBuffer whole;
    ASSERT_TRUE(whole.allocate());
    whole.setLength(kStoreSize);
    whole.fill(0, kStoreSize, 0x00);
    FillResult r = fillBuffer(whole, request(0, 0xFFFFFF, 0xFF));
    EXPECT_EQ(r.count, kStoreSize);
    EXPECT_TRUE(std::all_of(whole.bytes().begin(), whole.bytes().end(),
                            [](uint8_t x) { return x == 0xFF; }));
}

TEST(FillExchange, FillChecksRunInOrderAndLeaveTheBufferAlone) {
    struct Case {
        FillRequest request;
        uint32_t length;
        FillOutcome outcome;
    };
    const Case cases[] = {
        {FillRequest{false, 0, 0xFF, 1}, 256, FillOutcome::InputError},
        {request(0x100, 0x1FF, 1), 256, FillOutcome::StartOutOfRange},
        {request(0x20, 0x10, 1), 256, FillOutcome::StartAboveEnd},
        {request(0x300, 0x10, 1), 256, FillOutcome::StartOutOfRange},
        {request(0, 0xFFFFFF, 1), 0, FillOutcome::StartOutOfRange},
    };
    for (const Case& c : cases) {
        Buffer256 b(c.length);
        auto before = b.head();
        FillResult r = fillBuffer(b.buffer, c.request);
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.count, 0u);
        EXPECT_EQ(b.head(), before);
    }

    const Texts& zh = textsFor(Language::Chinese);
    const Texts& en = textsFor(Language::English);
    EXPECT_STREQ(fillMessage(FillOutcome::InputError, zh), "输入格式错误！");
    EXPECT_STREQ(fillMessage(FillOutcome::StartOutOfRange, zh), "填充失败，开始地址超出范围！");
    EXPECT_STREQ(fillMessage(FillOutcome::StartAboveEnd, zh), "填充失败，开始地址比结束地址大！");
    EXPECT_STREQ(fillMessage(FillOutcome::InputError, en), "Input error!");
    EXPECT_STREQ(fillMessage(FillOutcome::StartOutOfRange, en), "Fill error!");
    EXPECT_STREQ(fillMessage(FillOutcome::StartAboveEnd, en), "Fill error!");
    EXPECT_EQ(fillMessage(FillOutcome::Filled, en), nullptr);
}

TEST(FillExchange, FillOfAChipLargerThanTheStoreStopsAtTheStore) {
    DataBuffer buffer;
    ASSERT_TRUE(buffer.allocate());
    buffer.setLength(100u * 1024 * 1024);
    FillResult r = fillBuffer(buffer, request(0xFFFFF0, 0xFFFFFF, 0));
    EXPECT_EQ(r.count, 16u);
    EXPECT_EQ(buffer.store()[kStoreSize - 1], 0);
    EXPECT_EQ(buffer.store()[kStoreSize - 17], 0xFF);
    r = fillBuffer(buffer, request(0xFFFFFE, 0x7FFFFFFF, 1));
    EXPECT_EQ(r.count, 2u);
    EXPECT_EQ(fillBuffer(buffer, request(kStoreSize, 0x7FFFFFFF, 1)).outcome,
              FillOutcome::StartOutOfRange);
}

TEST(FillExchange, ExchangeSwapsPairsAndBorrowsTheNextStoreByte) {
    DataBuffer buffer;
    ASSERT_TRUE(buffer.allocate());
    uint8_t* s = buffer.store();
    const uint8_t even[] = {1, 2, 3, 4};
    buffer.copyIn(0, even, 4);
    s[4] = 0xAA;
    buffer.setLength(4);
    EXPECT_EQ(exchangeBytes(buffer), 2u);
    EXPECT_EQ(std::vector<uint8_t>(s, s + 5), (std::vector<uint8_t>{2, 1, 4, 3, 0xAA}));
    exchangeBytes(buffer);
    EXPECT_EQ(std::vector<uint8_t>(s, s + 5), (std::vector<uint8_t>{1, 2, 3, 4, 0xAA}));

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
