#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "buffer/DataBuffer.h"

TEST(DataBuffer, OneStoreOfFFAndEveryOperationStopsAtItsEnd) {
    DataBuffer buffer;
    EXPECT_TRUE(buffer.bytes().empty());
    EXPECT_EQ(buffer.fill(0, 16, 0), 0u);
    ASSERT_TRUE(buffer.allocate());
    ASSERT_EQ(buffer.bytes().size(), kStoreSize);
    EXPECT_TRUE(std::all_of(buffer.bytes().begin(), buffer.bytes().end(),
                            [](uint8_t b) { return b == 0xFF; }));
    uint8_t* block = buffer.store();
    block[5] = 0x12;
    ASSERT_TRUE(buffer.allocate());
    EXPECT_EQ(buffer.store(), block);
    EXPECT_EQ(block[5], 0x12); // a second allocate neither moves nor wipes the store

    buffer.setLength(100u * 1024 * 1024);
    EXPECT_EQ(buffer.lengthInStore(), kStoreSize);
    EXPECT_EQ(DataBuffer::boundedCount(0xFFFFFFFFFull, 10), 0u);
    EXPECT_EQ(DataBuffer::boundedCount(0, 0xFFFFFFFFFull), kStoreSize);
    EXPECT_EQ(buffer.fill(kStoreSize - 3, 1000, 0x11), 3u);
    EXPECT_EQ(block[kStoreSize - 4], 0xFF);
    const std::vector<uint8_t> source{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(buffer.copyIn(kStoreSize - 2, source.data(), source.size()), 2u);
    EXPECT_EQ(buffer.copyIn(kStoreSize, source.data(), source.size()), 0u);
    std::vector<uint8_t> out(4, 0xEE);
    EXPECT_EQ(buffer.copyOut(kStoreSize - 3, out.data(), out.size()), 3u);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x11, 1, 2, 0xEE}));
    EXPECT_EQ(buffer.range(kStoreSize - 1, 16).size(), 1u);
    EXPECT_TRUE(buffer.range(kStoreSize + 5, 16).empty());
}
