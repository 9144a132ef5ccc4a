// The build tool that turns the chip table into ChipInfo.chip.
#include "chipdb/ChipDatabase.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>

namespace {

// Runs the tool on `table`; returns its exit code and what it printed.
std::pair<int, std::string> runTool(const TempFolder& folder, const std::string& table) {
    writeFile(folder.file("chips.tsv"), table);
    std::string command = std::string("'") + BRIMWICK_MKCHIPDB + "' '" + folder.file("chips.tsv") +
                          "' '" + folder.file("ChipInfo.chip") + "' 2>&1";
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    char chunk[256];
    for (size_t got; pipe && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        output.append(chunk, got);
    int status = pipe ? ::pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

const std::string kGoodLine =
    "25 FLASH\tW25Q80 \tWinbond\t27\t36\t1048576\tPP\t256\tEF\t13\t0\t8\n";

TEST(MkChipDb, WritesWhatTheProgramsOwnSaveWrites) {
    TempFolder folder;
    auto [code, output] =
        runTool(folder, "# comment\n\n" + kGoodLine +
                            "93 EEPROM\t93LC46B\tMicrochip\t25\t55\t128\tBP\t1\tFF\tFF\t6\t16\r\n"
                            "24 EEPROM\tAT24C02\tAtmel\t18\t55\t256\tPP\t8\tff\tff\t0\t8\n");
    ASSERT_EQ(code, 0) << output;
    const std::string built = readFile(folder.file("ChipInfo.chip"));
    ASSERT_EQ(built.size(), 100u + 3 * 108);
    EXPECT_EQ(built.substr(100 + 44, 6), std::string("Atmel\0", 6)); // sorted
    ChipDatabase database(Language::English, folder.file("ChipInfo.chip"));
    ASSERT_EQ(database.load(), 1);
    ChipInfo chip{};
    ASSERT_EQ(database.find(&chip, 1, nullptr, "93LC46B"), 1);
    EXPECT_EQ(chip.type, ChipType::Eeprom93);
    EXPECT_EQ(chip.addressWidth, 6);
    EXPECT_EQ(chip.memoryWidth, 16);
    ASSERT_EQ(database.save(), 1);
    EXPECT_EQ(readFile(folder.file("ChipInfo.chip")), built);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"ChipInfo.chip", "chips.tsv"}));
}

TEST(MkChipDb, RefusesABadEntryByItsLineAndKeepsTheOldOutput) {
    const std::pair<std::string, std::string> bad[] = {
        {"25 FLASH\tX\tAcme\t27\t36\t1024\tPP\t256\tEF\t13\t0", "12 tab-separated columns"},
        {"26 FLASH\tX\tAcme\t27\t36\t1024\tPP\t256\tEF\t13\t0\t8", "unknown family"},
        {"25 FLASH\t" + std::string(40, 'N') + "\tAcme\t27\t36\t1024\tPP\t256\tEF\t13\t0\t8",
         "name"},
        {"25 FLASH\tX\tAVeryLongMakerName20\t27\t36\t1024\tPP\t256\tEF\t13\t0\t8", "manufacturer"},
        {"25 FLASH\tX\tAcme\t36\t27\t1024\tPP\t256\tEF\t13\t0\t8", "voltages"},
        {"25 FLASH\tX\tAcme\t27\t36\t104857601\tPP\t256\tEF\t13\t0\t8", "capacity"},
        {"25 FLASH\tX\tAcme\t27\t36\t1024\tPP\t200\tEF\t13\t0\t8", "power of two"},
        {"25 FLASH\tX\tAcme\t27\t36\t1024\tPP\t256\tEFF\t13\t0\t8", "hex"},
        {"93 EEPROM\tX\tAcme\t27\t36\t128\tBP\t1\tFF\tFF\t21\t8", "address width"},
        {"93 EEPROM\tX\tAcme\t27\t36\t128\tBP\t1\tFF\tFF\t7\t12", "memory width"},
        {"24 EEPROM\tX\tAcme\t27\t36\t128\tPP\t8\tFF\tFF\t7\t8", "address width must be 0"},
        {kGoodLine.substr(0, kGoodLine.size() - 1), "duplicate name \"W25Q80\""},
    };
    TempFolder folder;
    writeFile(folder.file("ChipInfo.chip"), "old");
    for (const auto& [line, message] : bad) {
        SCOPED_TRACE(line);
        auto [code, output] = runTool(folder, "# header\n" + kGoodLine + line + "\n");
        EXPECT_NE(code, 0);
        EXPECT_NE(output.find("chips.tsv:3: "), std::string::npos) << output;
        EXPECT_NE(output.find(message), std::string::npos) << output;
        EXPECT_EQ(readFile(folder.file("ChipInfo.chip")), "old");
    }
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"ChipInfo.chip", "chips.tsv"}));
}

} // namespace
