// brimwick-cli run as a process against simulated CH341A bridges (brimwick-sim --bridge).
#include "chipdb/ChipDatabase.h"
#include "chipdb/ChipTable.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/SimProgrammer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>

using namespace testsupport;

namespace {

constexpr uint32_t kFlashSize = 4 * 1024 * 1024; // W25Q32

struct CliRun {
    const char* name;
    std::vector<std::string> args;
    int code;
    std::string text; // in stdout when the code is 0, else in stderr
    std::vector<std::string> env = {};
};

class BridgeCli : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return folder_.file(name); }
    std::string plug(std::vector<std::string> simArgs) {
        simArgs.insert(simArgs.begin(), {"--rate", "0", "--bridge", "ch341a"});
        sims_.push_back(
            std::make_unique<SimProcess>(BRIMWICK_SIM_PROGRAM, folder_.path(), simArgs));
        EXPECT_FALSE(sims_.back()->socketPath().empty()) << sims_.back()->error();
        return sims_.back()->socketPath();
    }
    ProgramRun cli(std::vector<std::string> args, std::vector<std::string> env = {}) {
        env.push_back("BRIMWICK_SIM_DIR=" + folder_.path());
        return runProgram(BRIMWICK_CLI_PROGRAM, args, env);
    }
    void expectRuns(std::span<const CliRun> runs) {
        for (const CliRun& run : runs) {
            SCOPED_TRACE(run.name);
            const ProgramRun done = cli(run.args, run.env);
            EXPECT_EQ(done.code, run.code) << done.out << done.err;
            EXPECT_NE((run.code == 0 ? done.out : done.err).find(run.text), std::string::npos)
                << done.out << done.err;
            // Nothing reported as done when it failed.
            if (run.code != 0) {
                EXPECT_EQ(done.out.find("Successfully"), std::string::npos) << done.out;
            }
        }
    }

    TempFolder folder_;
    std::vector<std::unique_ptr<SimProcess>> sims_;
};

TEST_F(BridgeCli, DevicesAndIdentifyShowTheBridgeTheJedecIdAndSfdp) {
    const struct {
        std::vector<std::string> sim;
        std::vector<std::string> cli;
        int code;
        std::string text;
    } cases[] = {
        {{"--chip", "W25Q32"}, {"devices"}, 0, "1  CH341A 1a86:5512  "},
        {{"--chip", "W25Q32"}, {"--json", "devices"}, 0, R"("kind":"CH341A 1a86:5512")"},
        {{"--chip", "W25Q32"},
         {"identify"},
         0,
         "W25Q32JV  JEDEC ID EF 40 16, SFDP 1.6: 4 MiB, pages of 256 bytes, erase 4 KiB (20)"},
        {{"--chip", "W25Q32"},
         {"--json", "identify"},
         0,
         R"("jedecId":"EF 40 16","sfdp":{"state":"sound")"},
        {{"--chip", "W25Q32", "--sfdp", "none"}, {"identify"}, 0, "JEDEC ID EF 40 16, no SFDP"},
        {{"--chip", "W25Q32", "--sfdp", "damaged"},
         {"identify"},
         0,
         "JEDEC ID EF 40 16, SFDP damaged"},
        {{"--empty"}, {"identify"}, 1, "No chip answers: the JEDEC ID reads FF FF FF"},
        {{"--empty"}, {"--chip", "W25Q32", "read", "x.bin"}, 1, "No chip answers"},
        {{"--no-contact"},
         {"identify"},
         1,
         "No contact with the chip: the JEDEC ID reads 00 00 00"},
        {{"--chip", "25LC256", "--no-contact"}, {"--chip", "25LC256", "blank"}, 1, "reads 00 even"},
        {{"--chip", "25LC256", "--empty"}, {"--chip", "25LC256", "blank"}, 1, "No chip answers"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        plug(c.sim);
        const ProgramRun run = cli(c.cli);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_NE((c.code == 0 ? run.out : run.err).find(c.text), std::string::npos)
            << run.out << run.err;
        sims_.clear();
    }
}

TEST_F(BridgeCli, DeviceCommandsMoveTheRightBytes) {
    plug({"--chip", "W25Q32"});
    // Part of the chip: the bytes outside the file stay as they are.
    Bytes data = pattern(0x3000, 7);
    Bytes other = data;
    other[0x2345] ^= 0x5A;
    writeFile(path("data.hex"), ":020000040000FA\n:0400100001020304E2\n:00000001FF\n");
    writeFile(path("data.bin"), std::string(data.begin(), data.end()));
    writeFile(path("other.bin"), std::string(other.begin(), other.end()));
    const std::vector<std::string> chip = {"--chip", "W25Q32"};
    auto with = [&chip](std::vector<std::string> args) {
        args.insert(args.begin(), chip.begin(), chip.end());
        return args;
    };
    const CliRun runs[] = {
        {"erase", with({"erase"}), 0, "Erase Successfully"},
        {"blank", with({"blank"}), 0, "Blank Check Successfully"},
        {"write", with({"write", path("data.bin")}), 0, "Verify Successfully"},
        {"verify", with({"verify", path("data.bin")}), 0, "Verify Successfully"},
        {"verify differs", with({"verify", path("other.bin")}), 4, "differs at 0x2345"},
        {"not blank", with({"blank"}), 4, "Not blank: address 0x0 holds"},
        {"auto keeps what lies outside the file's range", with({"auto", path("data.hex")}), 0,
         "Verify Successfully"},
        {"firmware", {"version"}, 0, ": Successfully  CH341A"},
    };
    expectRuns(runs);
    const ProgramRun read = cli(with({"read", path("out.bin")}));
    ASSERT_EQ(read.code, 0) << read.err;
    const std::string chipBytes = readFile(path("out.bin"));
    ASSERT_EQ(chipBytes.size(), kFlashSize);
    // Auto erased the whole chip, then wrote the four bytes at 0x10.
    EXPECT_EQ(chipBytes.substr(0x10, 4), "\x01\x02\x03\x04");
    EXPECT_EQ(chipBytes.find_first_not_of('\xFF', 0x14), std::string::npos);
    EXPECT_EQ(chipBytes.find_first_not_of('\xFF'), 0x10u);

    // A 25 EEPROM: the file's bytes, the rest as it was (erased).
    sims_.clear();
    plug({"--chip", "25LC256"});
    const CliRun eeprom[] = {
        {"eeprom write",
         {"--chip", "25LC256", "write", path("data.bin")},
         0,
         "Verify Successfully"},
        {"eeprom read", {"--chip", "25LC256", "read", path("ee.bin")}, 0, "Read Successfully"},
    };
    expectRuns(eeprom);
    const std::string eeBytes = readFile(path("ee.bin"));
    ASSERT_EQ(eeBytes.size(), 32768u);
    EXPECT_EQ(eeBytes.substr(0, data.size()), std::string(data.begin(), data.end()));
    EXPECT_EQ(eeBytes.find_first_not_of('\xFF', data.size()), std::string::npos);
}

// The store grows to a 32 MiB chip and its top is reached with 4-byte addresses: the
// first record crosses the 16 MiB line, the second would land on the first if an
// address wrapped there (5A & A5 is neither), so Write's read-back would differ.
TEST_F(BridgeCli, A32MiBChipIsWrittenAndVerifiedAcrossItsFirst16MiB) {
    plug({"--chip", "W25Q256"});
    writeFile(path("top.s37"), "S31500FFFFF85A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A54\n"
                               "S31501FFFFF0A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5AB\nS70500000000FA\n");
    const CliRun runs[] = {
        {"write", {"--chip", "W25Q256JV", "write", path("top.s37")}, 0, "Verify Successfully"},
        {"verify", {"--chip", "W25Q256JV", "verify", path("top.s37")}, 0, "Verify Successfully"},
    };
    expectRuns(runs);
}

TEST_F(BridgeCli, ProtectionSupplyAndFaultsEndWithTheirTexts) {
    writeFile(path("data.bin"), std::string(4096, '\x5A'));
    // A copy of the database in which the W25Q32 is a 1.8 V part.
    const std::string db = folder_.write("ChipInfo.chip", readFile(BRIMWICK_CHIP_DATABASE));
    {
        ChipDatabase database(Language::English, db);
        ASSERT_EQ(database.load(), 1);
        ChipInfo chip{};
        ASSERT_EQ(database.find(&chip, 1, nullptr, "W25Q32"), 1);
        chip.maxVoltage = 20;
        ASSERT_EQ(database.addOrReplace(&chip), 1);
        std::strcpy(chip.name, "W25Q01"); // above what the store grows to
        chip.capacity = 128u << 20;
        chip.maxVoltage = 36;
        ASSERT_EQ(database.addOrReplace(&chip), 1);
        ASSERT_EQ(database.save(), 1);
    }
    const std::vector<std::string> chinese = {"LC_ALL=", "LC_MESSAGES=zh_CN.UTF-8"};
    const struct {
        std::vector<std::string> sim;
        CliRun run;
    } cases[] = {
        {{"--chip", "W25Q32", "--protect", "1C"},
         {"protected",
          {"--chip", "W25Q32", "write", path("data.bin")},
          1,
          "write protected from 0x000000 to 0x3FFFFF"}},
        {{"--chip", "W25Q32", "--protect", "1C"},
         {"erase protected", {"--chip", "W25Q32", "erase"}, 1, "--unprotect"}},
        {{"--chip", "W25Q32", "--protect", "1C"},
         {"unprotected",
          {"--chip", "W25Q32", "--unprotect", "write", path("data.bin")},
          0,
          "Verify Successfully"}},
        {{"--chip", "25LC256", "--protect", "0C"},
         {"eeprom protected",
          {"--chip", "25LC256", "write", path("data.bin")},
          1,
          "write protected from 0x000000 to 0x007FFF"}},
        {{"--chip", "25LC256", "--protect", "0C"},
         {"eeprom unprotected",
          {"--chip", "25LC256", "--unprotect", "write", path("data.bin")},
          0,
          "Verify Successfully"}},
        {{"--chip", "W25Q32"},
         {"128 MiB", {"--db", db, "--chip", "W25Q01", "read", path("r.bin")}, 1, "64 MB buffer"}},
        {{"--chip", "W25Q32", "--protect", "1C", "--wp-locked"},
         {"locked", {"--chip", "W25Q32", "--unprotect", "erase"}, 1, "the WP pin locks"}},
        {{"--chip", "W25Q32"},
         {"1.8 V", {"--db", db, "--chip", "W25Q32", "blank"}, 1, "needs a 1.8 V adapter"}},
        {{"--chip", "W25Q32"},
         {"1.8 V in Chinese",
          {"--db", db, "--chip", "W25Q32", "blank"},
          1,
          "1.8 V 转接板",
          chinese}},
        {{"--chip", "W25Q32"},
         {"1.8 V forced",
          {"--db", db, "--force", "--chip", "W25Q32", "blank"},
          0,
          "Blank Check Successfully"}},
        {{"--chip", "W25Q32", "--noisy-read-after-bytes", "1000"},
         {"loose clip",
          {"--chip", "W25Q32", "read", "--passes", "2", path("r.bin")},
          4,
          "differs from read 1"}},
        {{"--disconnect-after-bytes", "3000", "--chip", "W25Q32"},
         {"unplugged mid-write",
          {"--chip", "W25Q32", "write", path("data.bin")},
          1,
          "unplugged during the operation"}},
        {{"--chip", "W25Q32"},
         {"another chip", {"--chip", "GD25Q32", "read", path("r.bin")}, 1, "Wrong chip?"}},
    };
    for (const auto& c : cases) {
        plug(c.sim);
        const auto start = std::chrono::steady_clock::now();
        expectRuns(std::span(&c.run, 1));
        EXPECT_LT(msSince(start), 60'000) << c.run.name; // no hang, even on a loaded machine
        sims_.clear();
    }
}

TEST_F(BridgeCli, A24EepromOverTheCh347AtTheI2cSpeedAsked) {
    plug({"--bridge", "ch347f", "--chip", "24C256"}); // the CH347F switches its pins to I2C
    const Bytes data = pattern(0x1234, 3);
    writeFile(path("data.bin"), std::string(data.begin(), data.end()));
    auto on = [](const char* chip, std::vector<std::string> args) {
        args.insert(args.begin(), {"--chip", chip, "--i2c-speed", "400k"});
        return args;
    };
    const CliRun runs[] = {
        {"devices", {"devices"}, 0, "1  CH347F 1a86:55de  "},
        {"write", on("AT24C256", {"write", path("data.bin")}), 0, "Verify Successfully"},
        {"verify", on("AT24C256", {"verify", path("data.bin")}), 0, "Verify Successfully"},
        {"blank", on("AT24C256", {"blank"}), 4, "Not blank: address 0x0 holds"},
        {"read", on("AT24C256", {"read", path("ee.bin")}), 0, "Read Successfully"},
        {"speed below the slowest",
         {"--i2c-speed", "10k", "version"},
         2,
         "below the slowest I2C speed"},
        {"93 EEPROM", on("AT93C46(x8)", {"read", path("x.bin")}), 2, "use a CH341A for a 93"},
    };
    expectRuns(runs);
    const std::string chipBytes = readFile(path("ee.bin"));
    ASSERT_EQ(chipBytes.size(), 32768u);
    EXPECT_EQ(chipBytes.substr(0, data.size()), std::string(data.begin(), data.end()));
    EXPECT_EQ(chipBytes.find_first_not_of('\xFF', data.size()), std::string::npos);
}

} // namespace
