#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "BufferTestSupport.h"
#include "buffer/DataFiles.h"

namespace {
const Texts& zh = textsFor(Language::Chinese);
const Texts& en = textsFor(Language::English);
const char* kTooLargeZh = "文件太大，超出部分将被丢弃！";
const char* kTooLargeEn = "File is too large, the excess will be discarded!";
} // namespace

TEST(DataFiles, FormatComesFromTheNameOrTheWord) {
    struct Case {
        const char* name;
        FileFormat format;
    };
    const Case cases[] = {
        {"a.HEX", FileFormat::IntelHex}, {"a.hex", FileFormat::IntelHex},
        {"myhex", FileFormat::IntelHex}, {"/tmp/x.ihex", FileFormat::IntelHex},
        {"a.Hex", FileFormat::Binary},   {"a.ihx", FileFormat::Binary},
        {"a.bin", FileFormat::Binary},   {"ex", FileFormat::Binary},
        {"", FileFormat::Binary},        {"a.hexx", FileFormat::Binary},
        {"a.srec", FileFormat::SRecord}, {"a.S19", FileFormat::SRecord},
        {"b.s28", FileFormat::SRecord},  {"c.s37", FileFormat::SRecord},
        {"d.MOT", FileFormat::SRecord},  {"srec", FileFormat::Binary},
        {"x.s19/f", FileFormat::Binary}, {"a.s19.bin", FileFormat::Binary},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatForName(c.name), c.format) << c.name;
    for (FileFormat f : {FileFormat::Binary, FileFormat::IntelHex, FileFormat::SRecord})
        EXPECT_EQ(formatFromWord(formatWord(f)), f);
    EXPECT_STREQ(formatWord(FileFormat::SRecord), "srec");
    EXPECT_EQ(formatFromWord("hex"), std::nullopt);
}

TEST(DataFiles, BinaryLoadIsByteExact) {
    TempDir dir;
    const auto file300 = patternBytes(300, 1);
    const auto file100 = patternBytes(100, 2);
    const std::string long300 = dir.write("long.bin", file300);
    const std::string short100 = dir.write("short.bin", file100);
    for (const Texts* texts : {&zh, &en}) {
        {
            PatternBuffer l;
            auto before = l.head();
            RecordingSink sink;
            ASSERT_TRUE(loadDataFile(l.buffer, 256, long300, *texts));
            EXPECT_EQ(sink.shown,
                      std::vector<std::string>{texts == &zh ? kTooLargeZh : kTooLargeEn});
            auto after = l.head();
            EXPECT_TRUE(std::equal(after.begin(), after.begin() + 256, file300.begin()));
            EXPECT_TRUE(std::equal(after.begin() + 256, after.end(), before.begin() + 256));
        }
        PatternBuffer l;
        auto before = l.head();
        RecordingSink sink;
        ASSERT_TRUE(loadDataFile(l.buffer, 256, short100, *texts));
        EXPECT_TRUE(sink.shown.empty());
        auto after = l.head();
        EXPECT_TRUE(std::equal(after.begin(), after.begin() + 100, file100.begin()));
        EXPECT_TRUE(std::all_of(after.begin() + 100, after.begin() + 256,
                                [](uint8_t b) { return b == 0xFF; }));
        EXPECT_TRUE(std::equal(after.begin() + 256, after.end(), before.begin() + 256));
    }
}

// Every fault of every format: the build's boxes (the window then adds "Failure to
// open the file!") and not one byte of the buffer changed.
TEST(DataFiles, FailedLoadsSpeakPerBuildAndLeaveTheBufferAlone) {
    TempDir dir;
    const std::string good = hexRecord(0x0010, 0x00, {1, 2, 3, 4});
    std::string badChecksum = good;
    badChecksum.back() =
        badChecksum.back() == 'F' ? 'E' : static_cast<char>(badChecksum.back() + 1);
    std::string lower = hexRecord(0x0010, 0x00, {0xAB, 0xCD});
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    // The checksum of an address record counts its type byte.
    std::string typeLeftOut = hexRecord(0, 0x04, {0x00, 0x01});
    typeLeftOut.replace(typeLeftOut.size() - 2, 2, "FD");
    const std::string s1 = sRecord(1, 0x10, {1, 2, 3});
    std::string s1Bad = s1;
    s1Bad[s1Bad.size() - 2] = s1Bad[s1Bad.size() - 2] == '0' ? '1' : '0';

    const char* kEnd = "文件异常结束！";
    const char* kIllegal = "记录中有非法字符！";
    const char* kFormat = "无法识别的记录格式！";
    const char* kSum = "校验和错误！";
    struct Case {
        std::string name, content;
        const char* chinese; // the reader's box; the English build shows none
    };
    const Case cases[] = {
        {"noend.hex", good + "\r\n", kEnd},
        {"empty.hex", "", kEnd},
        {"shorthead.hex", good + "\r\n:0400", kEnd},
        {"shortbody.hex", ":04001000010203", kEnd},
        {"lower.hex", lower + "\r\n" + kHexEnd, kIllegal},
        {"badhead.hex", ":0G001000", kIllegal},
        {"type06.hex", hexRecord(0, 0x06, {0}) + "\n" + kHexEnd, kFormat},
        {"ext04long.hex", hexRecord(0, 0x04, {0, 1, 0}) + "\n" + kHexEnd, kFormat},
        {"ext02short.hex", hexRecord(0, 0x02, {1}) + "\n" + kHexEnd, kFormat},
        {"start05short.hex", hexRecord(0, 0x05, {1, 2}) + "\n" + kHexEnd, kFormat},
        {"count0.hex", ":00001000F0\n" + std::string(kHexEnd), kFormat},
        {"endcount.hex", ":01000001AA54\n", kFormat},
        {"beyond.hex", hexRecord(0, 0x04, {0x01, 0x00}) + "\n" + good + "\n" + kHexEnd, kFormat},
        {"over.hex",
         hexRecord(0, 0x04, {0x00, 0xFF}) + "\n" + hexRecord(0xFFFE, 0, {1, 2, 3}) + "\n" + kHexEnd,
         kFormat},
        {"checksum.hex", badChecksum + "\n" + kHexEnd, kSum},
        {"typesum.hex", typeLeftOut + "\n" + good + "\n" + kHexEnd, kSum},
        {"empty.srec", "\r\n", kEnd},
        {"short.srec", s1.substr(0, 8), kEnd},
        {"cut.s19", "S", kEnd},
        {"sum.s19", s1Bad, kSum},
        {"char.s19", s1.substr(0, 10) + "G" + s1.substr(11), kIllegal},
        {"type.s19", "SX" + s1.substr(2), kIllegal},
        {"s4.s19", sRecord(4, 0, {1}), kFormat},
        {"count.s19", "S1020010ED\n", kFormat},
        {"missing.s19", s1 + sRecord(5, 2, {}), kFormat},
        {"beyond.s37", sRecord(3, 0xFFFFFF, {1, 2}), kFormat},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.write(c.name, c.content);
        for (const Texts* texts : {&zh, &en}) {
            PatternBuffer l;
            auto before = l.head();
            RecordingSink sink;
            EXPECT_FALSE(loadDataFile(l.buffer, 0x10000, path, *texts));
            EXPECT_EQ(sink.shown, texts == &zh ? std::vector<std::string>{c.chinese}
                                               : std::vector<std::string>{});
            EXPECT_EQ(l.head(), before);
        }
    }
    // Files that cannot be read: the Intel HEX and S-record readers say so.
    FILE* mem = std::fopen("/proc/self/mem", "rb"); // opens; every read at 0 fails
    ASSERT_NE(mem, nullptr);
    std::fclose(mem);
    struct Unreadable {
        std::string name;
        std::vector<std::string> zhBoxes, enBoxes;
    };
    const Unreadable unreadable[] = {
        {dir.file("missing.bin"), {}, {}},
        {dir.path(), {}, {}}, // a folder opens on Linux but is no data file
        {"/proc/self/mem", {}, {}},
        {dir.file("missing.hex"), {"打开文件失败！"}, {"Open file error!"}},
        {dir.file("missing.srec"), {"打开文件失败！"}, {"Open file error!"}},
    };
    for (const Unreadable& c : unreadable) {
        SCOPED_TRACE(c.name);
        for (const Texts* texts : {&zh, &en}) {
            PatternBuffer l;
            auto before = l.head();
            RecordingSink sink;
            EXPECT_FALSE(loadDataFile(l.buffer, 0x10000, c.name, *texts));
            EXPECT_EQ(sink.shown, texts == &zh ? c.zhBoxes : c.enBoxes);
            EXPECT_EQ(l.head(), before);
        }
    }
    DataBuffer none; // without a store nothing is read
    EXPECT_EQ(loadData(none, 256, dir.write("x.bin", "abc"), FileFormat::Binary).outcome,
              LoadOutcome::NoStore);
}

TEST(DataFiles, SaveWritesExactlyTheCapacity) {
    TempDir dir;
    PatternBuffer l;
    const std::string path = dir.write("out.bin", patternBytes(1000, 9));
    ASSERT_TRUE(saveDataFile(l.buffer, 128, path));
    EXPECT_EQ(readWholeFile(path), l.head(128));

    ASSERT_TRUE(saveDataFile(l.buffer, 0, path));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);

    EXPECT_FALSE(saveDataFile(l.buffer, 128, dir.file("no/such/folder.bin")));
    // A full disk must not read as saved, in any format.
    for (FileFormat f : {FileFormat::Binary, FileFormat::IntelHex, FileFormat::SRecord})
        EXPECT_FALSE(saveData(l.buffer, 128, "/dev/full", f));
    DataBuffer none;
    EXPECT_FALSE(saveDataFile(none, 128, dir.file("none.bin")));
}

TEST(DataFiles, CapacityZeroReadsAndWritesNothing) {
    TempDir dir;
    PatternBuffer l;
    auto before = l.head();
    RecordingSink sink;
    ASSERT_TRUE(loadDataFile(l.buffer, 0, dir.write("a.bin", "abc"), zh));
    ASSERT_TRUE(loadDataFile(l.buffer, 0, dir.write("empty.bin", ""), zh));
    ASSERT_TRUE(loadDataFile(l.buffer, 0, dir.write("a.hex", hexFile(0, {1}, 16, "\n")), zh));
    EXPECT_EQ(sink.shown, (std::vector<std::string>{kTooLargeZh, kTooLargeZh}));
    EXPECT_EQ(l.head(), before);
    ASSERT_TRUE(saveDataFile(l.buffer, 0, dir.file("empty.hex")));
    const auto saved = readWholeFile(dir.file("empty.hex"));
    EXPECT_EQ(std::string(saved.begin(), saved.end()), ":00000001FF\r\n");
}

TEST(DataFiles, CapacityAboveTheStoreUsesTheWholeStoreAndNoMore) {
    TempDir dir;
    const uint32_t capacity = 100u * 1024 * 1024;
    std::vector<uint8_t> big = patternBytes(kStoreSize + 10, 4);
    const std::string bigPath = dir.write("big.bin", big);
    PatternBuffer l;
    {
        RecordingSink sink;
        ASSERT_TRUE(loadDataFile(l.buffer, capacity, bigPath, en));
        EXPECT_EQ(sink.shown, std::vector<std::string>{kTooLargeEn});
        EXPECT_TRUE(std::equal(l.buffer.bytes().begin(), l.buffer.bytes().end(), big.begin()));
    }
    {
        RecordingSink sink;
        const auto small = patternBytes(1000, 5);
        ASSERT_TRUE(loadDataFile(l.buffer, capacity, dir.write("small.bin", small), en));
        EXPECT_TRUE(sink.shown.empty());
        EXPECT_TRUE(std::equal(small.begin(), small.end(), l.buffer.bytes().begin()));
        EXPECT_TRUE(std::all_of(l.buffer.bytes().begin() + 1000, l.buffer.bytes().end(),
                                [](uint8_t b) { return b == 0xFF; }));
    }
    RecordingSink sink;
    ASSERT_TRUE(loadDataFile(l.buffer, capacity, bigPath, en));
    const std::string out = dir.file("saved.bin");
    ASSERT_TRUE(saveDataFile(l.buffer, capacity, out));
    EXPECT_EQ(std::filesystem::file_size(out), kStoreSize);
    EXPECT_EQ(readWholeFile(out), std::vector<uint8_t>(big.begin(), big.begin() + kStoreSize));
}
