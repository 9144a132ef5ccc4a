// The commands that need no programmer, and how brimwick-cli answers bad usage: exit
// codes, texts in both languages, JSON rows parsed back.
#include "chipdb/ChipDatabase.h"
#include "cli/Output.h"
#include "tests/cli/CliRun.h"

#include <cstring>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

using namespace clitest;

namespace {

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> env;
    int code;
    const char* out; // found in stdout ("" = stdout empty)
    const char* err; // found in stderr
};

TEST(Usage, CommandsWithoutAProgrammerAnswerWithTheirExitCodeAndTexts) {
    const std::vector<UsageCase> cases = {
        {"chips by text", {"chips", "w25q64"}, {}, 0, "W25Q64 ", ""},
        {"chips by pattern and family",
         {"chips", "--family", "24eeprom", "AT24C0?"},
         {},
         0,
         "AT24C08                  Atmel                24 EEPROM       1024  FF FF\n",
         ""},
        {"help lists the exit codes", {"--help"}, {}, 0, "  130  interrupted", ""},
        {"version", {"--version"}, {}, 0, "brimwick-cli 2.", ""},
        {"no command", {}, {}, 2, "", "A subcommand is required"},
        {"unknown family", {"chips", "--family", "26flash"}, {}, 2, "", "26flash"},
        {"device and all together", {"--all", "--device", "x", "chips"}, {}, 2, "", "excludes"},
        {"unknown format", {"--format", "elf", "chips"}, {}, 2, "", "elf"},
        {"database missing",
         {"--db", "/nonexistent/ChipInfo.chip", "chips"},
         {},
         2,
         "",
         "Failure to load chip database!"},
        {"database missing in Chinese",
         {"--db", "/nonexistent/ChipInfo.chip", "chips"},
         {"LC_ALL=", "LC_MESSAGES=zh_CN.UTF-8", "LANG=en_US.UTF-8"},
         2,
         "",
         "器件信息数据库加载失败！"},
        {"LC_ALL decides before LANG",
         {"--db", "/nonexistent/ChipInfo.chip", "chips"},
         {"LC_ALL=C", "LANG=zh_TW.UTF-8"},
         2,
         "",
         "Failure to load chip database!"},
    };
    for (const UsageCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run = runCli(c.args, c.env);
        EXPECT_EQ(run.code, c.code);
        if (*c.out == '\0') {
            EXPECT_EQ(run.out, "");
        } else {
            EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        }
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

TEST(Usage, JsonRowsOfChipsParseWithEveryField) {
    const ProgramRun run = runCli({"--json", "chips", "--family", "25flash", "W25Q64"});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto rows = events(run);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], nlohmann::json::parse(R"({"event":"chip","name":"W25Q64",
        "manufacturer":"Winbond","family":"25 FLASH","capacity":8388608,
        "manufacturerId":"EF","deviceId":"16"})"));
    EXPECT_EQ(run.out.rfind(R"({"event":"chip",)", 0), 0u); // "event" comes first
}

TEST(Usage, BytesThatAreNotUtf8ShowInJsonAsReplacementCharacters) {
    const std::string copy = testing::TempDir() + "brimwick-cli-latin1.chip";
    std::filesystem::copy_file(BRIMWICK_CHIP_DATABASE, copy,
                               std::filesystem::copy_options::overwrite_existing);
    ChipDatabase database(Language::English, copy);
    ASSERT_EQ(database.load(), 1);
    ChipInfo chip{};
    ASSERT_EQ(database.find(&chip, 1, nullptr, "W25Q64"), 1);
    std::strcpy(chip.name, "W25Q64\xE9");
    ASSERT_EQ(database.addOrReplace(&chip), 1);
    ASSERT_EQ(database.save(), 1);
    const ProgramRun run = runCli({"--json", "--db", copy, "chips", "W25Q64\xE9"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(events(run).at(0)["name"], "W25Q64\uFFFD");
}

TEST(Usage, TheProgressBarShowsPercentRateAndTimeLeft) {
    FILE* err = std::tmpfile();
    Output output(false, stdout, err, true);
    output.progress("a", "read", 0, 2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(120)); // redrawn 10 times a second
    output.progress("b", "read", 1000, 2000);                    // several programmers add up
    output.endProgress();
    std::rewind(err);
    char text[256] = {};
    text[std::fread(text, 1, sizeof text - 1, err)] = '\0';
    std::fclose(err);
    EXPECT_NE(std::string(text).find("\rread    [#######.......................]  25%"),
              std::string::npos)
        << text;
    EXPECT_NE(std::string(text).find(" left "), std::string::npos) << text;
    EXPECT_EQ(durationText(125.4), "2:05");
    EXPECT_EQ(rateText(1216000), "1.2 MB/s");
}

} // namespace
