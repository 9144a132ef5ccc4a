#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "BufferTestSupport.h"
#include "buffer/DataFiles.h"
#include "buffer/IntelHex.h"

namespace {
const Texts& zh = textsFor(Language::Chinese);
const Texts& en = textsFor(Language::English);

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), ::tolower);
    return text;
}
} // namespace

TEST(IntelHex, DecodeHexPairsTakesUppercaseOnly) {
    uint8_t bytes[3] = {7, 7, 7};
    EXPECT_TRUE(decodeHexPairs("0A1FF0", bytes, 3));
    EXPECT_EQ(bytes[0], 0x0A);
    EXPECT_EQ(bytes[1], 0x1F);
    EXPECT_EQ(bytes[2], 0xF0);
    uint8_t untouched[2] = {7, 7};
    EXPECT_FALSE(decodeHexPairs("0a1F", untouched, 2));
    EXPECT_FALSE(decodeHexPairs("1FG0", untouched, 2));
    EXPECT_FALSE(decodeHexPairs("1F0", untouched, 2)); // too short
    EXPECT_EQ(untouched[0], 7);
    EXPECT_EQ(untouched[1], 7);
}

// Intel HEX and S-record files place their bytes over 0xFF in the chip's first
// capacity bytes; nothing past the chip changes.
TEST(RecordFiles, PlaceTheirBytesAnywhereInTheStore) {
    TempDir dir;
    const auto d16 = patternBytes(16, 9);
    const auto d1000 = patternBytes(1000, 3);
    const std::string at10 = hexRecord(0x0010, 0, d16) + "\n";
    const uint32_t kMiB = 0x100000;
    struct Case {
        std::string name, content;
        uint32_t capacity, at;
        std::vector<uint8_t> data;
        bool tooLarge = false;
    };
    const Case cases[] = {
        {"crlf16.hex", hexFile(0x200, d1000, 16, "\r\n"), 0x10000, 0x200, d1000},
        {"lf32.hex", hexFile(0x200, d1000, 32, "\n"), 0x10000, 0x200, d1000},
        {"junk.hex", "; made by hand\n  \t" + hexFile(0x200, d1000, 16, "\n"), 0x10000, 0x200,
         d1000},
        {"endonly.hex", std::string(kHexEnd) + ":garbage after the end", 512, 0, {}},
        {"linear.hex", hexRecord(0, 4, {0, 1}) + at10 + kHexEnd, kMiB, 0x10010, d16},
        {"segment.hex", hexRecord(0, 2, {0x10, 0}) + at10 + kHexEnd, kMiB, 0x10010, d16},
        {"segtop.hex", hexRecord(0, 2, {0xF0, 0}) + hexRecord(0xFFF0, 0, d16) + kHexEnd, kMiB,
         0xFFFF0, d16},
        {"start.hex",
         hexRecord(0, 3, {1, 2, 3, 4}) + hexRecord(0, 5, {0, 0, 1, 0}) + at10 + kHexEnd, 256, 0x10,
         d16},
        {"lastwins.hex", hexRecord(0, 4, {0, 2}) + hexRecord(0, 4, {0, 0}) + at10 + kHexEnd, kMiB,
         0x10, d16},
        {"crossing.hex", hexRecord(0xFFF8, 0, d16) + kHexEnd, kMiB, 0xFFF8, d16},
        {"storetop.hex", hexRecord(0, 4, {0, 0xFF}) + hexRecord(0xFFF0, 0, d16) + kHexEnd,
         kStoreSize, 0xFFFFF0, d16},
        {"pastchip.hex", hexRecord(0x100, 0, d16) + kHexEnd, 256, 0x100, d16, true},
        {"a.s19",
         sRecord(0, 0, {'H', 'D', 'R'}) + sRecord(1, 0x100, d16) + sRecord(5, 1, {}) +
             sRecord(9, 0, {}),
         0x10000, 0x100, d16},
        {"noend.s28", sRecord(2, 0x12345, d16) + sRecord(2, 0x12355, d16), kMiB, 0x12345,
         [&] {
             auto twice = d16;
             twice.insert(twice.end(), d16.begin(), d16.end());
             return twice;
         }()},
        {"top.s37", sRecord(3, 0xFFFFF0, d16) + sRecord(7, 0, {}), kStoreSize, 0xFFFFF0, d16},
        {"lower.srec",
         "junk\r\nS1" + lowercase(sRecord(1, 0x20, d16).substr(2)) + "\r\n\r\n" +
             sRecord(6, 1, {}) + sRecord(9, 0, {}) + "S1 after the end is not read",
         256, 0x20, d16},
        {"pastchip.mot", sRecord(1, 0xF8, d16), 256, 0xF8, d16, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.write(c.name, c.content);
        for (const Texts* texts : {&zh, &en}) {
            PatternBuffer l;
            std::vector<uint8_t> expected(l.buffer.bytes().begin(), l.buffer.bytes().end());
            std::fill_n(expected.begin(), c.capacity, 0xFF);
            for (size_t i = 0; i < c.data.size() && c.at + i < c.capacity; ++i)
                expected[c.at + i] = c.data[i];
            RecordingSink sink;
            ASSERT_TRUE(loadDataFile(l.buffer, c.capacity, path, *texts));
            EXPECT_EQ(sink.shown, c.tooLarge ? std::vector<std::string>{texts->fileTooLarge}
                                             : std::vector<std::string>{});
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), l.buffer.bytes().begin()));
        }
    }
}
