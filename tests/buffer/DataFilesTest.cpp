// Every data file format through real files, checked against GNU objcopy and srec_cat.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <tuple>

#include "BufferTestSupport.h"
#include "buffer/DataFiles.h"

namespace {
const Texts& zh = textsFor(Language::Chinese);
const Texts& en = textsFor(Language::English);

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), ::tolower);
    return text;
}
} // namespace

TEST(DataFiles, FormatComesFromTheNameOrTheWord) {
    const FileFormat bin = FileFormat::Binary, hex = FileFormat::IntelHex,
                     srec = FileFormat::SRecord;
    const std::pair<const char*, FileFormat> cases[] = {
        {"a.HEX", hex},  {"myhex", hex},  {"/x.ihex", hex}, {"a.Hex", bin},   {"a.ihx", bin},
        {"ex", bin},     {"a.hexx", bin}, {"a.srec", srec}, {"a.S19", srec},  {"b.s28", srec},
        {"c.s37", srec}, {"d.MOT", srec}, {"srec", bin},    {"x.s19/f", bin}, {"a.s19.bin", bin},
    };
    for (const auto& [name, format] : cases)
        EXPECT_EQ(formatForName(name), format) << name;
    for (FileFormat f : {bin, hex, srec})
        EXPECT_EQ(formatFromWord(formatWord(f)), f);
    EXPECT_STREQ(formatWord(srec), "srec");
    EXPECT_EQ(formatFromWord("hex"), std::nullopt);
}

// Every format places the file's bytes over 0xFF in the chip's first capacity bytes
// (cut to the store) and nothing past them; a file that holds more says "too large".
TEST(DataFiles, LoadsPlaceTheFileOverFFAnywhereInTheStore) {
    TempFolder dir;
    const std::string d16 = patternBytes(16, 9), d1000 = patternBytes(1000, 3);
    const std::string at10 = hexRecord(0x10, 0, d16) + "\n", big = patternBytes(kStoreSize + 10);
    const uint32_t kMiB = 0x100000;
    struct Case {
        std::string name, content;
        uint32_t capacity, at;
        std::string data;
        bool tooLarge = false;
    };
    const Case cases[] = {
        {"long.bin", patternBytes(300, 1), 256, 0, patternBytes(300, 1), true},
        {"short.bin", d1000.substr(0, 100), 256, 0, d1000.substr(0, 100)},
        {"raw.Hex", at10, 256, 0, at10},
        {"zero.bin", "abc", 0, 0, "abc", true},
        {"empty.bin", "", 0, 0, ""},
        {"big.bin", big, 100 * kMiB, 0, big, true},
        {"crlf16.hex", hexFile(0x200, d1000, 16, "\r\n"), 0x10000, 0x200, d1000},
        {"junk.hex", "; by hand\n \t" + hexFile(0x200, d1000, 32, "\n"), 0x10000, 0x200, d1000},
        {"endonly.hex", std::string(kHexEnd) + ":garbage after the end", 512, 0, ""},
        {"zero.hex", at10 + kHexEnd, 0, 0x10, d16, true},
        {"linear.hex", hexRecord(0, 4, {0, 1}) + at10 + kHexEnd, kMiB, 0x10010, d16},
        {"segment.hex", hexRecord(0, 2, {0x10, 0}) + at10 + kHexEnd, kMiB, 0x10010, d16},
        {"segtop.hex", hexRecord(0, 2, {'\xF0', 0}) + hexRecord(0xFFF0, 0, d16) + kHexEnd, kMiB,
         0xFFFF0, d16},
        {"start.hex", hexRecord(0, 3, "\1\2\3\4") + hexRecord(0, 5, {0, 0, 1, 0}) + at10 + kHexEnd,
         256, 0x10, d16},
        {"lastwins.hex", hexRecord(0, 4, {0, 2}) + hexRecord(0, 4, {0, 0}) + at10 + kHexEnd, kMiB,
         0x10, d16},
        {"crossing.hex", hexRecord(0xFFF8, 0, d16) + kHexEnd, kMiB, 0xFFF8, d16},
        {"storetop.hex", hexRecord(0, 4, {0, '\xFF'}) + hexRecord(0xFFF0, 0, d16) + kHexEnd,
         kStoreSize, 0xFFFFF0, d16},
        {"pastchip.hex", hexRecord(0x100, 0, d16) + kHexEnd, 256, 0x100, d16, true},
        {"a.s19",
         sRecord(0, 0, "HDR") + sRecord(1, 0x100, d16) + sRecord(5, 1, "") + sRecord(9, 0, ""),
         0x10000, 0x100, d16},
        {"noend.s28", sRecord(2, 0x12345, d16) + sRecord(2, 0x12355, d16), kMiB, 0x12345,
         d16 + d16},
        {"top.s37", sRecord(3, 0xFFFFF0, d16) + sRecord(7, 0, ""), kStoreSize, 0xFFFFF0, d16},
        {"lower.srec",
         "junk\r\nS1" + lowercase(sRecord(1, 0x20, d16).substr(2)) + "\r\n" + sRecord(6, 1, "") +
             sRecord(9, 0, "") + "S1 after the end is not read",
         256, 0x20, d16},
        {"pastchip.mot", sRecord(1, 0xF8, d16), 256, 0xF8, d16, true},
        {"lower.hex", lowercase(hexFile(0x200, d1000, 16, "\n")), 0x10000, 0x200, d1000},
        {"low.s37", sRecord(3, 0x20, d16) + sRecord(7, 0, ""), 256, 0x20, d16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.write(c.name, c.content);
        std::string expected = storeBytes(patternBuffer());
        const uint32_t chip = patternBuffer().clampToStore(c.capacity);
        std::fill_n(expected.begin(), chip, '\xFF');
        if (c.at < chip)
            expected.replace(c.at, c.data.substr(0, chip - c.at).size(),
                             c.data.substr(0, chip - c.at));
        for (const Texts* texts : {&zh, &en}) {
            DataBuffer& buffer = patternBuffer();
            RecordingSink sink;
            ASSERT_TRUE(loadDataFile(buffer, c.capacity, path, *texts));
            EXPECT_EQ(sink.texts(), c.tooLarge ? std::vector<std::string>{texts->fileTooLarge}
                                               : std::vector<std::string>{});
            EXPECT_TRUE(storeHolds(buffer, expected));
        }
        // What a write programs: the addresses the file gives, cut to the chip.
        const auto length =
            static_cast<uint32_t>(std::min<uint64_t>(c.data.size(), chip - std::min(c.at, chip)));
        std::vector<AddressRange> ranges;
        if (length > 0)
            ranges.push_back({c.at, length});
        EXPECT_EQ(loadData(patternBuffer(), c.capacity, path, formatForName(path)).ranges, ranges);
    }
    // Records that overlap or touch make one range; a gap makes two.
    const std::string gaps = hexRecord(0x12, 0, "\1\2\3\4") + hexRecord(0x10, 0, "\5\6") +
                             hexRecord(0x16, 0, "\7") + hexRecord(0x20, 0, "\1") + kHexEnd;
    EXPECT_EQ(
        loadData(patternBuffer(), 256, dir.write("gaps.hex", gaps), FileFormat::IntelHex).ranges,
        (std::vector<AddressRange>{{0x10, 7}, {0x20, 1}}));
}

// Every fault of every format: the build's box (the window then adds "Failure to open
// the file!") and not one byte of the buffer changed.
TEST(DataFiles, FailedLoadsSpeakPerBuildAndLeaveTheBufferAlone) {
    TempFolder dir;
    const std::string good = hexRecord(0x10, 0, "\1\2\3\4"), s1 = sRecord(1, 0x10, "\1\2\3");
    std::string badSum = good, s1BadSum = s1;
    badSum.back() = badSum.back() == 'F' ? 'E' : static_cast<char>(badSum.back() + 1);
    s1BadSum[s1.size() - 2] = s1[s1.size() - 2] == '0' ? '1' : '0';
    // The checksum of an address record counts its type byte.
    const std::string typeLeftOut = hexRecord(0, 4, {0, 1}).substr(0, 13) + "FD";
    const std::string kEnd = "文件异常结束！", kIllegal = "记录中有非法字符！",
                      kRecord = "无法识别的记录格式！", kSum = "校验和错误！",
                      kOpen = "打开文件失败！";
    struct Case {
        std::string name, content, chinese, english = "", reason = ""; // reason: English line 2
    };
    const Case cases[] = {
        {"noend.hex", good + "\r\n", kEnd, "",
         "Line 1: the file ends inside a record or before its end record"},
        {"empty.hex", "", kEnd},
        {"shorthead.hex", good + "\r\n:0400", kEnd},
        {"shortbody.hex", ":04001000010203", kEnd},
        {"badhead.hex", "\n\n" + lowercase(good) + "\n:0G001000", kIllegal, "",
         "Line 4: a record holds a character that is no hex digit"},
        {"type06.hex", hexRecord(0, 6, {0}) + kHexEnd, kRecord},
        {"ext04long.hex", hexRecord(0, 4, {0, 1, 0}) + kHexEnd, kRecord},
        {"ext02short.hex", hexRecord(0, 2, {1}) + kHexEnd, kRecord},
        {"start05short.hex", hexRecord(0, 5, {1, 2}) + kHexEnd, kRecord},
        {"count0.hex", ":00001000F0\n" + std::string(kHexEnd), kRecord},
        {"endcount.hex", ":01000001AA54\n", kRecord},
        {"beyond.hex", hexRecord(0, 4, {1, 0}) + good + kHexEnd, kRecord},
        {"over.hex", hexRecord(0, 4, {0, '\xFF'}) + hexRecord(0xFFFE, 0, "\1\2\3") + kHexEnd,
         kRecord},
        {"checksum.hex", good + "\r\n" + badSum + "\n" + kHexEnd, kSum, "",
         "Line 2: the record's checksum does not match"},
        {"typesum.hex", typeLeftOut + "\n" + good + "\n" + kHexEnd, kSum},
        {"empty.srec", "\r\n", kEnd},
        {"short.srec", s1.substr(0, 8), kEnd},
        {"cut.s19", "S", kEnd},
        {"sum.s19", s1BadSum, kSum},
        {"char.s19", s1.substr(0, 10) + "G" + s1.substr(11), kIllegal},
        {"type.s19", "SX" + s1.substr(2), kIllegal},
        {"s4.s19", sRecord(4, 0, "\1"), kRecord},
        {"count.s19", "S1020010ED\n", kRecord},
        {"lostline.s19", s1 + sRecord(5, 2, ""), kRecord, "",
         "Line 2: a record of an unknown type, length or count"},
        {"beyond.s37", sRecord(3, 0xFFFFFF, "\1\2"), kRecord, "",
         "Line 1: data beyond the 16 MiB buffer"},
        {"missing.bin", "", "", "", "No such file"},
        {"missing.hex", "", kOpen, "Open file error!"},
        {"missing.srec", "", kOpen, "Open file error!"},
        {"", "", "", "", "This is a folder, not a file"},          // Linux opens a folder
        {"/proc/self/mem", "", "", "", "The file cannot be read"}, // every read fails
    };
    const std::string before = storeBytes(patternBuffer());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.name.empty()                  ? dir.path()
                                 : c.name[0] == '/'              ? c.name
                                 : c.name.starts_with("missing") ? dir.file(c.name)
                                                                 : dir.write(c.name, c.content);
        for (const Texts* texts : {&zh, &en}) {
            DataBuffer& buffer = patternBuffer();
            RecordingSink sink;
            std::string failure;
            EXPECT_FALSE(loadDataFile(buffer, 0x10000, path, *texts, &failure));
            // The window's failure text, and why on the line below it.
            const std::string head = std::string(texts->fileOpenFailed) + "\r\n";
            EXPECT_EQ(failure.substr(0, head.size()), head);
            EXPECT_GT(failure.size(), head.size());
            if (texts == &en && !c.reason.empty()) {
                EXPECT_EQ(failure, head + c.reason);
            }
            const std::string& box = texts == &zh ? c.chinese : c.english;
            EXPECT_EQ(sink.texts(),
                      box.empty() ? std::vector<std::string>{} : std::vector<std::string>{box});
            EXPECT_TRUE(storeHolds(buffer, before));
        }
    }
    DataBuffer none; // without a store nothing is read
    EXPECT_EQ(loadData(none, 256, dir.write("x.bin", "abc"), FileFormat::Binary).outcome,
              LoadOutcome::NoStore);
    std::string failure;
    loadDataFile(patternBuffer(), 256, dir.file("missing.hex"), zh, &failure);
    EXPECT_EQ(failure, "打开文件失败.\r\n文件不存在");
    loadDataFile(patternBuffer(), 256, dir.write("sum.srec", s1BadSum), zh, &failure);
    EXPECT_EQ(failure, "打开文件失败.\r\n第 1 行：记录的校验和不符");
}

TEST(DataFiles, SaveWritesExactlyTheCapacityOrSaysItFailed) {
    TempFolder dir;
    DataBuffer& buffer = patternBuffer();
    const std::string path = dir.write("out.bin", patternBytes(1000, 9));
    ASSERT_TRUE(saveDataFile(buffer, 128, path));
    EXPECT_EQ(readFile(path), storeBytes(buffer).substr(0, 128));
    ASSERT_TRUE(saveDataFile(buffer, 0, path));
    EXPECT_EQ(readFile(path), "");
    ASSERT_TRUE(saveDataFile(buffer, 0, dir.file("empty.hex")));
    EXPECT_EQ(readFile(dir.file("empty.hex")), ":00000001FF\r\n");
    // A chip larger than the store: the store's 16 MiB.
    ASSERT_TRUE(saveDataFile(buffer, 100u * 1024 * 1024, path));
    EXPECT_TRUE(readFile(path) == storeBytes(buffer));

    EXPECT_FALSE(saveDataFile(buffer, 128, dir.file("no/such/folder.bin")));
    for (FileFormat f : {FileFormat::Binary, FileFormat::IntelHex, FileFormat::SRecord})
        EXPECT_FALSE(saveData(buffer, 128, "/dev/full", f)); // a full disk is no save
    DataBuffer none;
    EXPECT_FALSE(saveDataFile(none, 128, dir.file("none.bin")));
}

// Over a bridge the store grows to a 32 MiB chip: records reach its top, and one past it
// is refused naming that size.
TEST(DataFiles, RecordsReachTheTopOfAGrownStoreAndNoFurther) {
    TempFolder dir;
    DataBuffer buffer;
    buffer.setLength(32u << 20);
    ASSERT_TRUE(buffer.allocate());
    const std::string top = dir.write("top.s37", sRecord(3, 0x1FFFFFE, "\1\2"));
    ASSERT_TRUE(loadDataFile(buffer, 32u << 20, top, en, nullptr));
    EXPECT_EQ(buffer.store()[0x1FFFFFF], 2);
    RecordingSink sink;
    std::string failure;
    const std::string past = dir.write("past.s37", sRecord(3, 0x1FFFFFF, "\1\2"));
    EXPECT_FALSE(loadDataFile(buffer, 32u << 20, past, en, &failure));
    EXPECT_NE(failure.find("Line 1: data beyond the 32 MiB buffer"), std::string::npos);
}

TEST(RecordFiles, WrittenAsOtherToolsWriteThem) {
    TempFolder dir;
    DataBuffer& buffer = patternBuffer(patternBytes(19, 1) + "\xFF"); // FF is written too
    ASSERT_TRUE(saveDataFile(buffer, 20, dir.file("a.hex")));
    EXPECT_EQ(readFile(dir.file("a.hex")), ":1000000001080F161D242B323940474E555C636A98\r\n"
                                           ":0400100071787FFF85\r\n"
                                           ":00000001FF\r\n");
    ASSERT_TRUE(saveDataFile(buffer, 20, dir.file("a.srec")));
    EXPECT_EQ(readFile(dir.file("a.srec")), "S0030000FC\r\n"
                                            "S113000001080F161D242B323940474E555C636A94\r\n"
                                            "S107001071787FFF81\r\n"
                                            "S5030002FA\r\n"
                                            "S9030000FC\r\n");
}

// The address width follows the image's size: S1 up to 64 KiB, then S2 (the store
// needs no S3), with the matching end record; an extended linear address record (04)
// before each 64 KiB after the first, never a segment one (02).
TEST(RecordFiles, AddressWidthFollowsTheImageSizeAndReadsBack) {
    TempFolder dir;
    using Types = std::set<std::string>;
    const std::tuple<uint32_t, Types, size_t> cases[] = {
        {0x10000, {"S0", "S1", "S5", "S9"}, 0},
        {0x10001, {"S0", "S2", "S5", "S8"}, 1},
        {kStoreSize, {"S0", "S2", "S6", "S8"}, 0xFF}, // 1 MiB records: an S6 count
    };
    for (const auto& [size, srecTypes, linearRecords] : cases) {
        SCOPED_TRACE(size);
        const std::string bytes = patternBytes(size, 7);
        for (const char* name : {"w.srec", "w.hex"}) {
            ASSERT_TRUE(saveDataFile(patternBuffer(bytes), size, dir.file(name)));
            const std::string file = readFile(dir.file(name));
            std::set<std::string> types;
            size_t linear = 0;
            for (size_t at = 0; at < file.size(); at = file.find('\n', at) + 1) {
                types.insert(file.substr(at, 2));
                linear += file.compare(at, 9, ":02000004") == 0;
            }
            EXPECT_EQ(types, (name[2] == 's' ? srecTypes : Types{":1", ":0"}));
            if (name[2] == 'h') {
                EXPECT_EQ(linear, linearRecords);
                EXPECT_EQ(file.find(":02000002"), std::string::npos);
            }
            DataBuffer& buffer = patternBuffer();
            ASSERT_TRUE(loadDataFile(buffer, size, dir.file(name), en));
            EXPECT_EQ(std::memcmp(buffer.store(), bytes.data(), size), 0);
        }
    }
}

TEST(RecordFiles, OtherToolsFilesLoadAndOursReadBackByteExact) {
    TempFolder dir;
    // Below 64 KiB; above it (objcopy's segment records below 1 MiB, linear ones
    // above); more than 65,535 S-records (an S6 count).
    for (uint32_t size : {1000u, 0x110010u}) {
        SCOPED_TRACE(size);
        const std::string bytes = patternBytes(size, 5);
        dir.write("chip.bin", bytes);
        const std::pair<const char*, FileFormat> made[] = {
            {"objcopy -I binary -O ihex chip.bin in", FileFormat::IntelHex},
            {"objcopy -I binary -O srec chip.bin in", FileFormat::SRecord},
            {"srec_cat chip.bin -binary -o in -intel", FileFormat::IntelHex},
            {"srec_cat chip.bin -binary -o in", FileFormat::SRecord},
            {"srec_cat chip.bin -binary -o in -address-length=4", FileFormat::SRecord},
        };
        for (const auto& [command, format] : made) {
            SCOPED_TRACE(command);
            ASSERT_EQ(std::system(("cd " + dir.path() + " && " + command).c_str()), 0);
            DataBuffer& buffer = patternBuffer();
            ASSERT_TRUE(loadData(buffer, size, dir.file("in"), format).loaded());
            EXPECT_TRUE(std::string(buffer.bytes().begin(), buffer.bytes().begin() + size) ==
                        bytes);
        }
        DataBuffer& buffer = patternBuffer(bytes);
        ASSERT_TRUE(saveDataFile(buffer, size, dir.file("out.hex")));
        ASSERT_TRUE(saveDataFile(buffer, size, dir.file("out.srec")));
        for (const char* command : {"objcopy -I ihex -O binary out.hex out.bin",
                                    "srec_cat out.hex -intel -o out.bin -binary",
                                    "objcopy -I srec -O binary out.srec out.bin",
                                    "srec_cat out.srec -o out.bin -binary"}) {
            SCOPED_TRACE(command);
            std::remove(dir.file("out.bin").c_str());
            ASSERT_EQ(std::system(("cd " + dir.path() + " && " + command).c_str()), 0);
            EXPECT_TRUE(readFile(dir.file("out.bin")) == bytes);
        }
    }
}
