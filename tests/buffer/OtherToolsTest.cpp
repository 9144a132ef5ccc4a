// Files made by GNU objcopy and srec_cat load byte-exact, and the files the program
// writes read back byte-exact in those tools.
#include <gtest/gtest.h>

#include <vector>

#include "BufferTestSupport.h"
#include "buffer/DataFiles.h"

namespace {
std::string fileText(const std::string& path) {
    const auto bytes = readWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

DataBuffer& bufferWith(const std::vector<uint8_t>& bytes) {
    static DataBuffer buffer;
    EXPECT_TRUE(buffer.allocate());
    buffer.fill(0, kStoreSize, 0xA5);
    buffer.copyIn(0, bytes.data(), bytes.size());
    return buffer;
}
} // namespace

TEST(RecordFiles, WrittenAsOtherToolsExpect) {
    TempDir dir;
    std::vector<uint8_t> bytes = patternBytes(20, 1);
    bytes[19] = 0xFF; // written like any other byte
    DataBuffer& buffer = bufferWith(bytes);
    ASSERT_TRUE(saveDataFile(buffer, 20, dir.file("a.hex")));
    EXPECT_EQ(fileText(dir.file("a.hex")), ":1000000001080F161D242B323940474E555C636A98\r\n"
                                           ":0400100071787FFF85\r\n"
                                           ":00000001FF\r\n");
    ASSERT_TRUE(saveDataFile(buffer, 20, dir.file("a.srec")));
    EXPECT_EQ(fileText(dir.file("a.srec")), "S0030000FC\r\n"
                                            "S113000001080F161D242B323940474E555C636A94\r\n"
                                            "S107001071787FFF81\r\n"
                                            "S5030002FA\r\n"
                                            "S9030000FC\r\n");
    // Above 64 KiB: S2 with its S8 end; an extended linear address record per 64 KiB.
    ASSERT_TRUE(saveDataFile(buffer, 0x10010, dir.file("b.s28")));
    const std::string s28 = fileText(dir.file("b.s28"));
    EXPECT_EQ(s28.substr(0, 16), "S0030000FC\r\nS214");
    EXPECT_NE(s28.find("\r\nS5031001EB\r\nS804000000FB\r\n"), std::string::npos);
    ASSERT_TRUE(saveDataFile(buffer, 0x10010, dir.file("b.hex")));
    EXPECT_NE(fileText(dir.file("b.hex")).find("\r\n:020000040001F9\r\n:10000000A5A5"),
              std::string::npos);
}

TEST(RecordFiles, OtherToolsFilesLoadAndOursReadBackByteExact) {
    TempDir dir;
    const std::string bin = dir.file("chip.bin");
    const std::string in = dir.file("in"), out = dir.file("out.bin");
    // Below 64 KiB; above it (segment records below 1 MiB, linear ones above); and more
    // than 65,535 S-records (an S6 count).
    for (size_t size : {size_t{1000}, size_t{0x110010}}) {
        const std::vector<uint8_t> bytes = patternBytes(size, 5);
        dir.write("chip.bin", bytes);
        SCOPED_TRACE(size);
        struct Case {
            const char* made;
            FileFormat format;
        };
        const Case made[] = {
            {"objcopy -I binary -O ihex chip.bin in", FileFormat::IntelHex},
            {"objcopy -I binary -O srec chip.bin in", FileFormat::SRecord},
            {"srec_cat chip.bin -binary -o in -intel", FileFormat::IntelHex},
            {"srec_cat chip.bin -binary -o in", FileFormat::SRecord},
            {"srec_cat chip.bin -binary -o in -address-length=4", FileFormat::SRecord},
        };
        for (const Case& c : made) {
            SCOPED_TRACE(c.made);
            ASSERT_TRUE(runTool("cd " + dir.path() + " && " + c.made));
            DataBuffer& buffer = bufferWith({});
            ASSERT_TRUE(loadData(buffer, static_cast<uint32_t>(size), in, c.format).loaded());
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.bytes().begin()));
        }
        const char* back[] = {
            "objcopy -I ihex -O binary out.hex out.bin",
            "srec_cat out.hex -intel -o out.bin -binary",
            "objcopy -I srec -O binary out.srec out.bin",
            "srec_cat out.srec -o out.bin -binary",
        };
        DataBuffer& buffer = bufferWith(bytes);
        ASSERT_TRUE(saveDataFile(buffer, static_cast<uint32_t>(size), dir.file("out.hex")));
        ASSERT_TRUE(saveDataFile(buffer, static_cast<uint32_t>(size), dir.file("out.srec")));
        for (const char* command : back) {
            SCOPED_TRACE(command);
            std::remove(out.c_str());
            ASSERT_TRUE(runTool("cd " + dir.path() + " && " + command));
            EXPECT_EQ(readWholeFile(out), bytes);
        }
    }
}
