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

// A buffer whose first 64 KiB hold a pattern that no load writes, so that any byte a
// load sets (or wrongly leaves) shows.
struct Loaded {
    DataBuffer buffer;
    Loaded() {
        EXPECT_TRUE(buffer.allocate());
        auto pattern = patternBytes(0x10000, 0x55);
        buffer.copyIn(0, pattern.data(), pattern.size());
    }
    std::vector<uint8_t> head(size_t n = 0x10000) const {
        return std::vector<uint8_t>(buffer.store(), buffer.store() + n);
    }
};
} // namespace

TEST(DataFiles, FormatComesFromTheLastThreeCharacters) {
    for (const char* name : {"a.HEX", "a.hex", "myhex", "hex", "/tmp/x.hex"})
        EXPECT_TRUE(isIntelHexName(name)) << name;
    for (const char* name : {"a.Hex", "a.ihx", "a.bin", "ex", "x", "", "a.hexx", "HEx"})
        EXPECT_FALSE(isIntelHexName(name)) << name;
}

TEST(DataFiles, BinaryLoadIsByteExact) {
    TempDir dir;
    const auto file300 = patternBytes(300, 1);
    const auto file100 = patternBytes(100, 2);
    const std::string long300 = dir.write("long.bin", file300);
    const std::string short100 = dir.write("short.bin", file100);
    const std::string exact = dir.write("exact.bin", patternBytes(256, 3));

    for (const Texts* texts : {&zh, &en}) {
        {
            Loaded l;
            auto before = l.head();
            RecordingSink sink;
            ASSERT_TRUE(loadDataFile(l.buffer, 256, long300, *texts));
            EXPECT_EQ(sink.shown,
                      std::vector<std::string>{texts == &zh ? kTooLargeZh : kTooLargeEn});
            auto after = l.head();
            EXPECT_TRUE(std::equal(after.begin(), after.begin() + 256, file300.begin()));
            EXPECT_TRUE(std::equal(after.begin() + 256, after.end(), before.begin() + 256));
        }
        {
            Loaded l;
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
    Loaded l;
    RecordingSink sink;
    ASSERT_TRUE(loadDataFile(l.buffer, 256, exact, zh));
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(l.head(256), patternBytes(256, 3));
}

TEST(DataFiles, FailedLoadsLeaveTheBufferAlone) {
    TempDir dir;
    const std::string badHex = dir.write("bad.hex", hexRecord(0, 0x04, {0, 1}) + "\n:00000001FF\n");
    struct Case {
        std::string name;
        std::vector<std::string> zhBoxes, enBoxes;
    };
    const Case cases[] = {
        {dir.file("missing.bin"), {}, {}},
        {dir.path(), {}, {}},       // a folder opens on Linux but is no data file
        {"/proc/self/mem", {}, {}}, // opens, then every read fails
        {dir.file("missing.hex"), {"打开文件失败！"}, {"Open file error!"}},
        {badHex, {"无法识别的记录格式！"}, {}},
    };
    // /proc/self/mem opens, but reading at offset 0 fails with EIO.
    FILE* mem = std::fopen("/proc/self/mem", "rb");
    ASSERT_NE(mem, nullptr);
    std::fclose(mem);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Texts* texts : {&zh, &en}) {
            Loaded l;
            auto before = l.head();
            RecordingSink sink;
            EXPECT_FALSE(loadDataFile(l.buffer, 0x10000, c.name, *texts));
            EXPECT_EQ(sink.shown, texts == &zh ? c.zhBoxes : c.enBoxes);
            EXPECT_EQ(l.head(), before);
        }
    }
    // Without a store nothing is read.
    DataBuffer none;
    EXPECT_FALSE(loadDataFile(none, 256, dir.write("x.bin", "abc"), zh));
}

TEST(DataFiles, IntelHexLoadPlacesTheImageOverFF) {
    TempDir dir;
    const auto data = patternBytes(16, 7);
    const std::string at100 = dir.write("at100.hex", hexFile(0x0100, data, 16, "\r\n"));
    {
        Loaded l;
        auto before = l.head();
        RecordingSink sink;
        ASSERT_TRUE(loadDataFile(l.buffer, 1024 * 1024, at100, zh));
        EXPECT_TRUE(sink.shown.empty());
        auto after = l.head();
        for (uint32_t i = 0; i < 0x10000; ++i) {
            uint8_t expected = i >= 0x100 && i < 0x110 ? data[i - 0x100] : 0xFF;
            ASSERT_EQ(after[i], expected) << i;
        }
    }
    {
        // Past the chip: the message, then the chip's 256 bytes of the image (all FF).
        Loaded l;
        auto before = l.head();
        RecordingSink sink;
        ASSERT_TRUE(loadDataFile(l.buffer, 256, at100, en));
        EXPECT_EQ(sink.shown, std::vector<std::string>{kTooLargeEn});
        auto after = l.head();
        EXPECT_TRUE(
            std::all_of(after.begin(), after.begin() + 256, [](uint8_t b) { return b == 0xFF; }));
        EXPECT_TRUE(std::equal(after.begin() + 256, after.end(), before.begin() + 256));
    }
    {
        // Only the end record: the chip's bytes become FF.
        Loaded l;
        RecordingSink sink;
        ASSERT_TRUE(loadDataFile(l.buffer, 512, dir.write("e.hex", ":00000001FF\n"), zh));
        EXPECT_TRUE(sink.shown.empty());
        auto after = l.head(512);
        EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](uint8_t b) { return b == 0xFF; }));
    }
    {
        // A record past 0xFFFF: image length 0, so the load leaves FF and says nothing.
        Loaded l;
        RecordingSink sink;
        std::string past = dir.write("past.hex", hexFile(0xFFF8, patternBytes(16), 16, "\n"));
        ASSERT_TRUE(loadDataFile(l.buffer, 0x20000, past, zh));
        EXPECT_TRUE(sink.shown.empty());
        auto after = l.head();
        EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](uint8_t b) { return b == 0xFF; }));
    }
    {
        // "Hex" is not an Intel HEX name: the text itself is loaded.
        Loaded l;
        std::string text = hexFile(0, {1, 2}, 16, "\n");
        ASSERT_TRUE(loadDataFile(l.buffer, 256, dir.write("raw.Hex", text), zh));
        EXPECT_EQ(std::string(l.buffer.store(), l.buffer.store() + text.size()), text);
    }
}

TEST(DataFiles, SaveWritesExactlyTheCapacity) {
    TempDir dir;
    Loaded l;
    const std::string path = dir.write("out.bin", patternBytes(1000, 9));
    ASSERT_TRUE(saveDataFile(l.buffer, 128, path));
    EXPECT_EQ(readWholeFile(path), l.head(128));

    ASSERT_TRUE(saveDataFile(l.buffer, 0, path));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);

    // Round trip through a file of the chip's size.
    ASSERT_TRUE(saveDataFile(l.buffer, 0x8000, path));
    Loaded other;
    other.buffer.fill(0, 0x10000, 0);
    ASSERT_TRUE(loadDataFile(other.buffer, 0x8000, path, zh));
    EXPECT_EQ(other.head(0x8000), l.head(0x8000));

    EXPECT_FALSE(saveDataFile(l.buffer, 128, dir.file("no/such/folder.bin")));
    // A full disk must not read as saved.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_FALSE(saveDataFile(l.buffer, 128, "/dev/full"));
    }
    DataBuffer none;
    EXPECT_FALSE(saveDataFile(none, 128, dir.file("none.bin")));
}

TEST(DataFiles, CapacityZeroReadsAndWritesNothing) {
    TempDir dir;
    Loaded l;
    auto before = l.head();
    RecordingSink sink;
    ASSERT_TRUE(loadDataFile(l.buffer, 0, dir.write("a.bin", "abc"), zh));
    EXPECT_EQ(sink.shown, std::vector<std::string>{kTooLargeZh});
    ASSERT_TRUE(loadDataFile(l.buffer, 0, dir.write("empty.bin", ""), zh));
    ASSERT_TRUE(loadDataFile(l.buffer, 0, dir.write("a.hex", hexFile(0, {1}, 16, "\n")), zh));
    EXPECT_EQ(sink.shown, (std::vector<std::string>{kTooLargeZh, kTooLargeZh}));
    EXPECT_EQ(l.head(), before);
}

TEST(DataFiles, CapacityAboveTheStoreUsesTheWholeStoreAndNoMore) {
    TempDir dir;
    const uint32_t capacity = 100u * 1024 * 1024;
    std::vector<uint8_t> big = patternBytes(kStoreSize + 10, 4);
    const std::string bigPath = dir.write("big.bin", big);
    Loaded l;
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
