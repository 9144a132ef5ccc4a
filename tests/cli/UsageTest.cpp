// The commands that need no programmer, and how brimwick-cli answers bad usage: exit
// codes, texts in both languages, JSON rows parsed back.
#include "tests/cli/CliProcess.h"

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
        const CliRun run = runCli(c.args, c.env);
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
    const CliRun run = runCli({"--json", "chips", "--family", "25flash", "W25Q64"});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto events = run.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], nlohmann::json::parse(R"({"event":"chip","name":"W25Q64",
        "manufacturer":"Winbond","family":"25 FLASH","capacity":8388608,
        "manufacturerId":"EF","deviceId":"16"})"));
    EXPECT_EQ(run.out.rfind(R"({"event":"chip",)", 0), 0u); // "event" comes first
}

} // namespace
