// Files made by GNU objcopy and srec_cat load byte-exact, and the files the program
// writes read back byte-exact in those tools.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "BufferTestSupport.h"
#include "buffer/DataFiles.h"

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
