// The build tool that turns the chip table into ChipInfo.chip.
#include "chipdb/ChipDatabase.h"

#include "TestSupport.h"

#include <sys/wait.h>

#include <cstdio>
#include <memory>

namespace {

struct ToolRun {
    int exitCode;
    std::string output;
};

ToolRun runTool(const std::string& table, const std::string& output) {
    std::string command =
        std::string("'") + BRIMWICK_MKCHIPDB + "' '" + table + "' '" + output + "' 2>&1";
    ToolRun run{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char chunk[256];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        run.output.append(chunk, got);
    int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

void writeText(const std::string& path, const std::string& text) {
    writeFile(path, Bytes(text.begin(), text.end()));
}

const std::string kGoodLine =
    "25 FLASH\tW25Q80 \tWinbond\t27\t36\t1048576\tPP\t256\tEF\t13\t0\t8\n";

TEST(MkChipDb, WritesWhatTheProgramsOwnSaveWrites) {
    ScratchFolder folder;
    writeText(folder.file("chips.tsv"),
              "# comment\n\n" + kGoodLine +
                  "93 EEPROM\t93LC46B\tMicrochip\t25\t55\t128\tBP\t1\tFF\tFF\t6\t16\r\n"
                  "24 EEPROM\tAT24C02\tAtmel\t18\t55\t256\tPP\t8\tff\tff\t0\t8\n");
    ToolRun run = runTool(folder.file("chips.tsv"), folder.file("ChipInfo.chip"));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    Bytes built = readFile(folder.file("ChipInfo.chip"));
    ASSERT_EQ(built.size(), 100u + 3 * 108);
    EXPECT_EQ(manufacturerAt(built, 0), "Atmel");
    EXPECT_EQ(nameAt(built, 2), "W25Q80");

    auto database = std::make_unique<ChipDatabase>(Language::English, folder.file("ChipInfo.chip"));
    ASSERT_EQ(database->load(), 1);
    ChipInfo chip;
    ASSERT_EQ(database->find(&chip, 1, nullptr, "93LC46B"), 1);
    EXPECT_EQ(chip.type, ChipType::Eeprom93);
    EXPECT_EQ(chip.addressWidth, 6);
    EXPECT_EQ(chip.memoryWidth, 16);
    EXPECT_EQ(chip.programMode, 0u);
    ASSERT_EQ(database->save(), 1);
    EXPECT_EQ(readFile(folder.file("ChipInfo.chip")), built);
    EXPECT_EQ(folder.entries().size(), 2u) << "no leftovers beside the output";
}

TEST(MkChipDb, RefusesBadEntriesByLineAndKeepsTheOldOutput) {
    ScratchFolder folder;
    const Bytes previous = {1, 2, 3};
    writeFile(folder.file("ChipInfo.chip"), previous);
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"25 FLASH\tX\tAcme\t27\t36\t1024\tPP\t256\tEF\t13\t0", "12 tab-separated columns"},
        {"26 FLASH\tX\tAcme\t27\t36\t1024\tPP\t256\tEF\t13\t0\t8", "unknown family"},
        {"25 FLASH\t" + std::string(40, 'N') + "\tAcme\t27\t36\t1024\tPP\t256\tEF\t13\t0\t8",
         "name"},
        {"25 FLASH\tX\tAVeryLongMakerName20\t27\t36\t1024\tPP\t256\tEF\t13\t0\t8", "manufacturer"},
        {"25 FLASH\tX\tAcme\t36\t27\t1024\tPP\t256\tEF\t13\t0\t8", "voltages"},
        {"25 FLASH\tX\tAcme\t27\t36\t0\tPP\t256\tEF\t13\t0\t8", "capacity"},
        {"25 FLASH\tX\tAcme\t27\t36\t104857601\tPP\t256\tEF\t13\t0\t8", "capacity"},
        {"25 FLASH\tX\tAcme\t27\t36\t1024\tPP\t200\tEF\t13\t0\t8", "power of two"},
        {"25 FLASH\tX\tAcme\t27\t36\t1024\tPP\t256\tEFF\t13\t0\t8", "hex"},
        {"93 EEPROM\tX\tAcme\t27\t36\t128\tBP\t1\tFF\tFF\t21\t8", "address width"},
        {"93 EEPROM\tX\tAcme\t27\t36\t128\tBP\t1\tFF\tFF\t7\t12", "memory width"},
        {"24 EEPROM\tX\tAcme\t27\t36\t128\tPP\t8\tFF\tFF\t7\t8", "address width must be 0"},
    };
    for (const auto& [line, message] : bad) {
        writeText(folder.file("chips.tsv"), "# header\n" + kGoodLine + line + "\n");
        ToolRun run = runTool(folder.file("chips.tsv"), folder.file("ChipInfo.chip"));
        EXPECT_NE(run.exitCode, 0) << line;
        EXPECT_NE(run.output.find("chips.tsv:3:"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
        EXPECT_EQ(readFile(folder.file("ChipInfo.chip")), previous);
    }

    writeText(folder.file("chips.tsv"), kGoodLine + kGoodLine);
    ToolRun duplicate = runTool(folder.file("chips.tsv"), folder.file("ChipInfo.chip"));
    EXPECT_NE(duplicate.exitCode, 0);
    EXPECT_NE(duplicate.output.find("chips.tsv:2: duplicate name \"W25Q80\""), std::string::npos)
        << duplicate.output;
    EXPECT_EQ(folder.entries().size(), 2u);
}

} // namespace
