#include <gtest/gtest.h>

#include <vector>

#include "BufferTestSupport.h"
#include "buffer/IntelHex.h"

namespace {
const Texts& zh = textsFor(Language::Chinese);
const Texts& en = textsFor(Language::English);
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

TEST(IntelHex, ReadsFilesAsOtherToolsWriteThem) {
    TempDir dir;
    const std::vector<uint8_t> data = patternBytes(1000, 3);
    struct Case {
        const char* name;
        size_t perRecord;
        const char* lineEnd;
        std::string prefix;
    };
    const Case cases[] = {
        {"crlf16.hex", 16, "\r\n", ""},
        {"lf32.hex", 32, "\n", ""},
        {"mixed.hex", 16, "\n", "; generated\n  \t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path =
            dir.write(c.name, c.prefix + hexFile(0x0200, data, c.perRecord, c.lineEnd));
        RecordingSink sink;
        HexImage image;
        ASSERT_TRUE(image.readIntelHex(path, zh));
        EXPECT_TRUE(sink.shown.empty());
        EXPECT_EQ(image.imageLength(), 0x200u + 1000);
        for (uint32_t a = 0; a < kHexImageSize; ++a) {
            uint8_t expected = a >= 0x200 && a < 0x200 + 1000 ? data[a - 0x200] : 0xFF;
            ASSERT_EQ(image.at(a), expected) << a;
        }
    }
    // Only the end record, with trailing text after it that is never read.
    std::string path = dir.write("end.hex", hexEndRecord() + "\r\n:garbage after the end");
    HexImage image;
    EXPECT_TRUE(image.readIntelHex(path, zh));
    EXPECT_EQ(image.imageLength(), 0u);
}

TEST(IntelHex, EveryFailureSpeaksChineseAndIsSilentInEnglish) {
    TempDir dir;
    const std::string good = hexRecord(0x0010, 0x00, {1, 2, 3, 4});
    std::string badChecksum = good;
    // Last two characters are the checksum; off by one.
    badChecksum.back() =
        badChecksum.back() == 'F' ? 'E' : static_cast<char>(badChecksum.back() + 1);
    std::string lower = hexRecord(0x0010, 0x00, {0xAB, 0xCD});
    for (char& ch : lower)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));

    struct Case {
        const char* name;
        std::string content;
        const char* chinese;
    };
    const Case cases[] = {
        {"noend", good + "\r\n", "文件异常结束！"},
        {"empty", "", "文件异常结束！"},
        {"shorthead", good + "\r\n:0400", "文件异常结束！"},
        {"shortbody", ":04001000010203", "文件异常结束！"},
        {"lower", lower + "\r\n" + hexEndRecord(), "记录中有非法字符！"},
        {"badhead", ":0G001000", "记录中有非法字符！"},
        {"ext02", hexRecord(0, 0x02, {0x10, 0x00}) + "\n" + hexEndRecord(), "无法识别的记录格式！"},
        {"ext04", hexRecord(0, 0x04, {0x00, 0x01}) + "\n" + hexEndRecord(), "无法识别的记录格式！"},
        {"count0", ":00001000F0\n" + hexEndRecord(), "无法识别的记录格式！"},
        {"endcount", ":01000001AA54\n", "无法识别的记录格式！"},
        {"checksum", badChecksum + "\n" + hexEndRecord(), "校验和错误！"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.write(std::string(c.name) + ".hex", c.content);
        {
            RecordingSink sink;
            HexImage image;
            EXPECT_FALSE(image.readIntelHex(path, zh));
            EXPECT_EQ(sink.shown, std::vector<std::string>{c.chinese});
        }
        {
            RecordingSink sink;
            HexImage image;
            EXPECT_FALSE(image.readIntelHex(path, en));
            EXPECT_TRUE(sink.shown.empty());
        }
    }
    for (const std::string& path : {dir.file("missing.hex"), dir.path()}) {
        RecordingSink sink;
        HexImage image;
        EXPECT_FALSE(image.readIntelHex(path, zh));
        EXPECT_FALSE(image.readIntelHex(path, en));
        EXPECT_EQ(sink.shown, (std::vector<std::string>{"打开文件失败！", "Open file error!"}));
    }
}

TEST(IntelHex, RecordsAtTheTopOfTheAddressSpace) {
    TempDir dir;
    // Ends exactly at 0x10000: the length is kept.
    std::string path = dir.write("top.hex", hexFile(0xFFF0, patternBytes(16, 9), 16, "\n"));
    HexImage image;
    ASSERT_TRUE(image.readIntelHex(path, zh));
    EXPECT_EQ(image.imageLength(), 0x10000u);
    EXPECT_EQ(image.at(0xFFFF), patternBytes(16, 9)[15]);

    // Runs past 0xFFFF: the bytes that fit are kept, nothing is written beyond the
    // image, and the length reads 0.
    const std::vector<uint8_t> data = patternBytes(32, 1);
    path = dir.write("past.hex", hexRecord(0xFFF8, 0x00, data) + "\n" + hexEndRecord());
    HexImage past;
    RecordingSink sink;
    ASSERT_TRUE(past.readIntelHex(path, zh));
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(past.highestEnd(), 0xFFF8u + 32);
    EXPECT_EQ(past.imageLength(), 0u);
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(past.at(0xFFF8 + i), data[i]);
    EXPECT_EQ(past.at(0), 0xFF); // nothing wrapped round to the start
    EXPECT_EQ(past.at(23), 0xFF);
}
