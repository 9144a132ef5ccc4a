// The build tool that turns the chip table into ChipInfo.chip (the file it builds for the
// programs is checked in ShippedDatabaseTest).
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>

TEST(MkChipDb, RefusesABadEntryByItsLineAndKeepsTheOldOutput) {
    const std::string good = "25 FLASH\tW25Q80 \tWinbond\t27\t36\t1048576\tPP\t256\tEF\t13\t0\t8\n";
    const std::pair<std::string, std::string> cases[] = {
        {"24 EEPROM\tAT24C02\tAtmel\t18\t55\t256\tPP\t8\tff\tff\t0\t8\r\n", ""},
        {"25 FLASH\tX\tAcme\t27\t36\t1024\tPP\t256\tEF\t13\t0", "12 tab-separated columns"},
        {"26 FLASH\tX\tAcme\t27\t36\t1024\tPP\t256\tEF\t13\t0\t8", "unknown family"},
        {"25 FLASH\tX\tAVeryLongMakerName20\t27\t36\t1024\tPP\t256\tEF\t13\t0\t8", "manufacturer"},
        {"25 FLASH\tX\tAcme\t36\t27\t1024\tPP\t256\tEF\t13\t0\t8", "voltages"},
        {"25 FLASH\tX\tAcme\t27\t36\t104857601\tPP\t256\tEF\t13\t0\t8", "capacity"},
        {"25 FLASH\tX\tAcme\t27\t36\t1024\tPP\t200\tEF\t13\t0\t8", "power of two"},
        {"93 EEPROM\tX\tAcme\t27\t36\t128\tBP\t1\tFF\tFF\t21\t8", "address width"},
        {"24 EEPROM\tX\tAcme\t27\t36\t128\tPP\t8\tFF\tFF\t7\t8", "address width must be 0"},
        {good, "duplicate name \"W25Q80\""},
    };
    TempFolder folder;
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line);
        writeFile(folder.file("ChipInfo.chip"), "old");
        writeFile(folder.file("chips.tsv"), "# comment\n" + good + line);
        std::string output, command = std::string(BRIMWICK_MKCHIPDB) + " " +
                                      folder.file("chips.tsv") + " " +
                                      folder.file("ChipInfo.chip") + " 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        char chunk[256];
        for (size_t got; pipe && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
            output.append(chunk, got);
        const int status = pipe ? ::pclose(pipe) : -1;
        EXPECT_EQ(WIFEXITED(status) && WEXITSTATUS(status) == 0, message.empty()) << output;
        EXPECT_EQ(readFile(folder.file("ChipInfo.chip")).size(), message.empty() ? 316u : 3u);
        EXPECT_EQ(output.find("chips.tsv:3: ") != output.npos &&
                      output.find(message) != output.npos,
                  !message.empty())
            << output;
        EXPECT_EQ(folder.entries(), (std::vector<std::string>{"ChipInfo.chip", "chips.tsv"}));
    }
}
