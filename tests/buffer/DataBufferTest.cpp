// The store's edges, which every load, fill and transfer relies on.
#include <gtest/gtest.h>

#include <vector>

#include "buffer/DataBuffer.h"

TEST(DataBuffer, OneStoreAndEveryOperationStopsAtItsEnd) {
    DataBuffer buffer;
    EXPECT_EQ(buffer.fill(0, 16, 0), 0u); // nothing without a store
    ASSERT_TRUE(buffer.allocate());
    uint8_t* block = buffer.store();
    block[5] = 0x12;
    ASSERT_TRUE(buffer.allocate());
    EXPECT_EQ(buffer.store(), block);
    EXPECT_EQ(block[5], 0x12); // a second allocate neither moves nor wipes the store
    EXPECT_EQ(DataBuffer::boundedCount(0xFFFFFFFFFull, 10), 0u);
    EXPECT_EQ(DataBuffer::boundedCount(0, 0xFFFFFFFFFull), kStoreSize);
    EXPECT_EQ(buffer.fill(kStoreSize - 3, 1000, 0x11), 3u);
    const std::vector<uint8_t> source{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(buffer.copyIn(kStoreSize - 2, source.data(), source.size()), 2u);
    std::vector<uint8_t> out(4, 0xEE);
    EXPECT_EQ(buffer.copyOut(kStoreSize - 4, out.data(), out.size()), 4u);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0x11, 1, 2}));
    EXPECT_EQ(buffer.range(kStoreSize - 1, 16).size(), 1u);
    EXPECT_TRUE(buffer.range(kStoreSize + 5, 16).empty());
}
