// brimwick-cli run as a process: usage, both languages, device commands against brimwick-sim.
#include "buffer/Checksums.h"
#include "chipdb/ChipDatabase.h"
#include "cli/Output.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/SimProgrammer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

ProgramRun runCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    return runProgram(BRIMWICK_CLI_PROGRAM, args, env);
}

// Every stdout line parsed as JSON; a line that is not JSON fails the parse.
std::vector<nlohmann::json> jsonEvents(const ProgramRun& run) {
    std::vector<nlohmann::json> parsed;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        parsed.push_back(nlohmann::json::parse(line));
    return parsed;
}

// A run's exit code, and `text` in stdout on success, in stderr (stdout empty) on failure.
struct Step {
    const char* name;
    std::vector<std::string> args;
    int code;
    std::string text;
    std::vector<std::string> env = {};
};

void expectRun(const ProgramRun& run, const Step& step) {
    SCOPED_TRACE(step.name);
    EXPECT_EQ(run.code, step.code) << run.err;
    EXPECT_NE((step.code == 0 ? run.out : run.err).find(step.text), std::string::npos)
        << run.out << run.err;
    EXPECT_TRUE(step.code == 0 || run.out.empty()) << run.out;
}

TEST(Usage, CommandsWithoutAProgrammerAnswerWithTheirExitCodeAndTexts) {
    const char* kMissing = "/nonexistent/ChipInfo.chip";
    const Step cases[] = {
        {"chips by text", {"chips", "w25q64"}, 0, "W25Q64 "},
        {"chips by pattern and family",
         {"chips", "--family", "24eeprom", "AT24C0?"},
         0,
         "AT24C08                  Atmel                24 EEPROM       1024  FF FF\n"},
        {"help lists the exit codes", {"--help"}, 0, "  130  interrupted"},
        {"version", {"--version"}, 0, "brimwick-cli 2."},
        {"read's FILE", {"read", "--help"}, 0, "The file to write the chip into"},
        {"auto on flash", {"auto", "--help"}, 0, "A 25 FLASH chip is erased\nwhole first"},
        {"no command", {}, 2, "A subcommand is required"},
        {"unknown family", {"chips", "--family", "26flash"}, 2, "26flash"},
        {"device and all together", {"--all", "--device", "x", "chips"}, 2, "excludes"},
        {"unknown format", {"--format", "elf", "chips"}, 2, "elf"},
        {"database missing", {"--db", kMissing, "chips"}, 2, "Failure to load chip database!"},
        {"database missing in Chinese",
         {"--db", kMissing, "chips"},
         2,
         "器件信息数据库加载失败！",
         {"LC_ALL=", "LC_MESSAGES=zh_CN.UTF-8", "LANG=en_US.UTF-8"}},
        {"LC_ALL decides before LANG",
         {"--db", kMissing, "chips"},
         2,
         "Failure to load chip database!",
         {"LC_ALL=C", "LANG=zh_TW.UTF-8"}},
    };
    for (const Step& step : cases)
        expectRun(runCli(step.args, step.env), step);
}

TEST(Usage, JsonRowsOfChipsParseWithEveryField) {
    const ProgramRun run = runCli({"--json", "chips", "--family", "25flash", "[W]25Q64"});
    ASSERT_EQ(run.code, 0) << run.err;
    auto rows = jsonEvents(run);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["shares"].size(), 10u);
    EXPECT_EQ(rows[0]["shares"][5], "W25Q64JV");
    rows[0].erase("shares");
    EXPECT_EQ(rows[0], nlohmann::json::parse(R"({"event":"chip","name":"W25Q64",
        "manufacturer":"Winbond","family":"25 FLASH","capacity":8388608,
        "manufacturerId":"EF","deviceId":"16","minVoltage":27,"maxVoltage":36,
        "programMode":"PP","pageSize":256,"addressWidth":0,"memoryWidth":8,"jedecId":"EF4017",
        "erase":"4K=20 32K=52 64K=D8 chip=C7","addressBytes":"3","sfdp":"?",
        "source":"flashrom flashchips.h; Linux spi-nor winbond.c"})"));
    EXPECT_EQ(run.out.rfind(R"({"event":"chip",)", 0), 0u); // "event" comes first
}

TEST(Usage, BytesThatAreNotUtf8ShowInJsonAsReplacementCharacters) {
    const TempFolder folder;
    const std::string copy = folder.write("latin1.chip", readFile(BRIMWICK_CHIP_DATABASE));
    ChipDatabase database(Language::English, copy);
    ASSERT_EQ(database.load(), 1);
    ChipInfo chip{};
    ASSERT_EQ(database.find(&chip, 1, nullptr, "W25Q64"), 1);
    std::strcpy(chip.name, "W25Q64\xE9");
    ASSERT_EQ(database.addOrReplace(&chip), 1);
    ASSERT_EQ(database.save(), 1);
    const ProgramRun run = runCli({"--json", "--db", copy, "chips", "W25Q64\xE9"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(jsonEvents(run).at(0)["name"], "W25Q64\uFFFD");
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

constexpr uint32_t kChipSize = 65536; // A25L512, IDs 37 05, the only chip with them

std::string text(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

// A private folder for the simulators' sockets and the files of one test.
class CliDevices : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return folder_.file(name); }
    // A brimwick-sim process with `args`, at memory speed unless they say otherwise.
    SimProcess& plug(std::vector<std::string> args) {
        args.insert(args.begin(), {"--rate", "0"});
        sims_.push_back(std::make_unique<SimProcess>(BRIMWICK_SIM_PROGRAM, folder_.path(), args));
        EXPECT_FALSE(sims_.back()->socketPath().empty()) << sims_.back()->error();
        return *sims_.back();
    }
    ProgramRun cli(const std::vector<std::string>& args, std::vector<std::string> env = {},
                   std::atomic<pid_t>* pid = nullptr) {
        env.push_back("BRIMWICK_SIM_DIR=" + folder_.path());
        return runProgram(BRIMWICK_CLI_PROGRAM, args, env, pid);
    }

    TempFolder folder_;
    std::vector<std::unique_ptr<SimProcess>> sims_;
};

TEST_F(CliDevices, EveryCommandOnOneProgrammerInTurn) {
    const std::string socket =
        plug({"--chip", "A25L512", "--image", path("chip.bin")}).socketPath();
    // The chip's first bytes stay FF; the other file differs first at 0x1234.
    Bytes data = pattern(kChipSize, 1);
    std::fill_n(data.begin(), 0x13, 0xFF);
    Bytes other = data;
    other[0x1234] ^= 0xA5;
    writeFile(path("data.bin"), text(data));
    writeFile(path("other.bin"), text(other));
    const std::string sums = "crc32 " + crc32Text(checksumsOf(data).crc32) + "  sha256 " +
                             sha256Text(*checksumsOf(data).sha256);
    const Step steps[] = {
        {"devices", {"devices"}, 0, socket + "  Brimwick SIM V1.00\n"},
        {"version",
         {"version"},
         0,
         "brimwick-cli 2.0\n" + socket + ": Successfully  Brimwick SIM V1.00"},
        {"identify", {"identify"}, 0, "Identify Successfully  IDs 37 05: A25L512\n"},
        {"blank when erased", {"blank"}, 0, "Blank Check Successfully  A25L512"},
        {"write, verified",
         {"write", path("data.bin")},
         0,
         "Verify Successfully  A25L512  65536 bytes  " + path("data.bin") + "  written " + sums +
             "  chip " + sums + "\n"},
        {"verify", {"verify", path("data.bin")}, 0, "Verify Successfully  A25L512  65536 bytes"},
        {"read twice", {"read", "--passes", "2", path("out.bin")}, 0, sums},
        {"not blank", {"blank"}, 4, "Not blank: address 0x13 holds 86"},
        {"verify finds the first difference",
         {"verify", path("other.bin")},
         4,
         ": Verify Failure: differs at 0x1234: file F2, chip 57\n"},
        {"the same in Chinese",
         {"verify", path("other.bin")},
         4,
         "校验出错：地址 0x1234 处不同，文件 F2，器件 57",
         {"LANG=zh_CN.UTF-8"}},
        {"write onto unerased flash", {"write", path("other.bin")}, 4, "file F2, chip 52\n"},
        {"unverified", {"write", "--no-verify", path("other.bin")}, 0, "Write Successfully"},
        {"erase", {"--yes", "erase"}, 0, "Erase Successfully  A25L512"},
        {"blank after erase, chip in any case", {"--chip", "a25L512", "blank"}, 0, "A25L512"},
        {"programmer by number", {"--device", "1", "blank"}, 0, "Blank Check Successfully"},
        {"no such number", {"--device", "2", "blank"}, 3, "No programmer found at 2"},
        {"auto", {"auto", path("other.bin")}, 0, "Verify Successfully  A25L512"},
        {"an EEPROM has no erase",
         {"--chip", "AT24C02", "erase"},
         2,
         "AT24C02 is written over directly"},
        {"unknown chip",
         {"--chip", "a25l51", "read", path("x.bin")},
         2,
         "No chip named \"a25l51\" in the chip database; did you mean A25L512"},
        {"missing file",
         {"write", path("missing.bin")},
         2,
         "Failure to open the file! (" + path("missing.bin") + ")\n" + path("missing.bin") + ": " +
             std::strerror(ENOENT)},
        {"unwritable file", {"read", path("no/such/folder.bin")}, 2, "Failure to save the file!"},
        {"unknown device", {"--device", path("nope"), "blank"}, 3, "No programmer found at"},
    };
    for (const Step& step : steps)
        expectRun(cli(step.args, step.env), step);
    EXPECT_EQ(readFile(path("out.bin")), text(data));
    EXPECT_FALSE(fs::exists(path("x.bin")));
}

TEST_F(CliDevices, SerialEepromsOnACh341aBridgeEveryCommand) {
    const std::string i2c = plug({"--bridge", "ch341a", "--chip", "24C256"}).socketPath();
    const std::string wire =
        plug({"--bridge", "ch341a", "--chip", "93C66", "--org", "8"}).socketPath();
    writeFile(path("i2c.bin"), text(pattern(32768, 3)));
    writeFile(path("wire.bin"), text(pattern(512, 4)));
    const Step steps[] = {
        {"blank", {"--device", i2c, "--chip", "AT24C256", "blank"}, 0, "Blank Check Successfully"},
        {"write",
         {"--device", i2c, "--chip", "AT24C256", "write", path("i2c.bin")},
         0,
         "Verify Successfully  AT24C256  32768 bytes"},
        {"verify",
         {"--device", i2c, "--chip", "AT24C256", "verify", path("i2c.bin")},
         0,
         "Verify Successfully"},
        {"read",
         {"--device", i2c, "--chip", "AT24C256", "read", path("back.bin")},
         0,
         "Read Successfully"},
        {"not blank",
         {"--device", i2c, "--chip", "AT24C256", "blank"},
         4,
         "Not blank: address 0x0"},
        {"no erase", {"--device", i2c, "--chip", "AT24C256", "erase"}, 2, "written over directly"},
        {"93 x8",
         {"--device", wire, "--chip", "AT93C66(x8)", "write", path("wire.bin")},
         0,
         "Verify Successfully  AT93C66(x8)  512 bytes"},
        {"93 read as x16: no dummy bit",
         {"--device", wire, "--chip", "AT93C66(x16)", "verify", path("wire.bin")},
         1,
         "nothing acknowledges its address or drives its data line"},
        {"24 chip on the 93 bridge",
         {"--device", wire, "--chip", "AT24C256", "blank"},
         1,
         "No chip answers"},
    };
    for (const Step& step : steps)
        expectRun(cli(step.args), step);
    EXPECT_EQ(readFile(path("back.bin")), text(pattern(32768, 3)));
}

TEST_F(CliDevices, JsonEventsOfAWriteAndOfAMismatchParse) {
    const std::string socket = plug({"--chip", "A25L512"}).socketPath();
    const Bytes data = pattern(kChipSize, 3);
    writeFile(path("data.bin"), text(data));
    const ProgramRun written = cli({"--json", "write", "--no-verify", path("data.bin")});
    ASSERT_EQ(written.code, 0) << written.err;
    const auto events = jsonEvents(written);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(),
              nlohmann::json::parse(R"({"event":"start","command":"write","device":")" + socket +
                                    R"(","chip":"A25L512","bytes":65536})"));
    uint64_t done = 0;
    for (size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_GE(events[i]["done"].get<uint64_t>(), done) << events[i];
        done = events[i]["done"];
        EXPECT_EQ(events[i], nlohmann::json({{"event", "progress"},
                                             {"device", socket},
                                             {"stage", "write"},
                                             {"done", done},
                                             {"total", kChipSize}}));
    }
    EXPECT_EQ(done, kChipSize);
    const Checksums sums = checksumsOf(data);
    EXPECT_EQ(events.back(), nlohmann::json({{"event", "done"},
                                             {"command", "write"},
                                             {"device", socket},
                                             {"chip", "A25L512"},
                                             {"bytes", kChipSize},
                                             {"file", path("data.bin")},
                                             {"crc32", crc32Text(sums.crc32)},
                                             {"sha256", sha256Text(*sums.sha256)}}));

    writeFile(path("data.bin"), text(pattern(kChipSize, 4)));
    const ProgramRun differs = cli({"--json", "verify", path("data.bin")});
    EXPECT_EQ(differs.code, 4);
    const auto last = jsonEvents(differs).back();
    EXPECT_EQ(last,
              nlohmann::json({{"event", "error"},
                              {"device", socket},
                              {"code", 4},
                              {"message", "Verify Failure: differs at 0x0: file 04, chip 03"}}));
    // The messages stay on stderr.
    EXPECT_NE(differs.err.find(socket + ": Verify Failure: differs at 0x0"), std::string::npos);
}

// A file smaller than the EEPROM programs only its own bytes; --whole-chip all of them.
TEST_F(CliDevices, WriteProgramsOnlyTheAddressesTheFileHolds) {
    expectRun(cli({"blank"}), {"none", {}, 3, "No programmer found: check"});
    plug({"--chip", "AT24C02", "--image", path("ee.bin")});
    const Bytes full = pattern(256, 7);
    writeFile(path("full.bin"), text(full));
    writeFile(path("small.bin"), "hello");
    writeFile(path("big.bin"), text(full) + "x");
    writeFile(path("empty.bin"), "");
    writeFile(path("two.hex"), ":02001000abcd76\n:01008000ee91\n:00000001ff\n");
    writeFile(path("bad.hex"), ":02001000ABCD76\r\n:02001000ABCD77\r\n");
    std::string chip = text(full);
    const std::pair<Step, std::string> steps[] = {
        {{"full", {"write", path("full.bin")}, 0, "256 bytes"}, chip},
        {{"binary", {"write", path("small.bin")}, 0, "5 bytes"}, chip.replace(0, 5, "hello")},
        {{"ranges", {"write", path("two.hex")}, 0, "3 bytes"},
         chip.replace(0x10, 2, "\xAB\xCD").replace(0x80, 1, "\xEE")},
        {{"verify ranges", {"verify", path("small.bin")}, 0, "5 bytes"}, chip},
        {{"verify all", {"verify", "--whole-chip", path("small.bin")}, 4, "0x5: file FF, chip "},
         chip},
        {{"fault", {"write", path("bad.hex")}, 2, "\nLine 2: the record's checksum does not match"},
         chip},
        {{"too large", {"write", path("big.bin")}, 2, "holds more than the 256 bytes of AT24C02"},
         chip},
        {{"nothing in it", {"auto", path("empty.bin")}, 2, "empty.bin holds no data"}, chip},
        {{"whole chip", {"write", "--whole-chip", path("small.bin")}, 0, "256 bytes"},
         "hello" + std::string(251, '\xFF')},
    };
    for (const auto& [step, image] : steps) {
        std::vector<std::string> args = step.args;
        args.insert(args.begin(), {"--chip", "AT24C02"});
        expectRun(cli(args), step);
        EXPECT_TRUE(readFile(path("ee.bin")) == image) << step.name;
    }
    const ProgramRun run = cli({"--json", "--chip", "at24c02", "auto", path("small.bin")});
    const Checksums sums = checksumsOf(Bytes{'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(jsonEvents(run).back()["chipSha256"], sha256Text(*sums.sha256)) << run.out;
    EXPECT_EQ(jsonEvents(run).back()["crc32"], crc32Text(sums.crc32)) << run.out;
    // The pass in a read's progress.
    const auto events =
        jsonEvents(cli({"--json", "--chip", "AT24C02", "read", "--passes", "2", path("r.bin")}));
    EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                            [](const auto& event) { return event.value("pass", 0) == 2; }));
    // On a terminal: a header over the chips; end of input at a question is no.
    const std::string cliCommand = std::string(BRIMWICK_CLI_PROGRAM) + " ";
    const ProgramRun chips =
        runProgram("/usr/bin/script", {"-qec", cliCommand + "chips W25Q64", "/dev/null"});
    EXPECT_EQ(chips.out.substr(0, 29), "NAME                     MANU") << chips.out;
    const ProgramRun asked =
        runProgram("/usr/bin/script", {"-qec", cliCommand + "erase", "/dev/null"},
                   {"BRIMWICK_SIM_DIR=" + folder_.path()});
    EXPECT_EQ(asked.code, 130);
    EXPECT_NE(asked.out.find("[y/N] \r\nbrimwick-cli: Nothing done"), std::string::npos);
}

TEST_F(CliDevices, AllProgrammersAtOnceReportEachAndTheWorstCode) {
    plug({"--chip", "A25L512"});
    plug({"--chip", "A25L512", "--disconnect-after-bytes", "20000"});
    plug({"--chip", "A25L512"});
    writeFile(path("data.bin"), text(pattern(kChipSize, 5)));
    const ProgramRun run = cli({"--all", "--json", "write", path("data.bin")});
    EXPECT_EQ(run.code, 1) << run.err;
    int done = 0;
    std::string failed;
    for (const nlohmann::json& event : jsonEvents(run)) {
        done += event["event"] == "done";
        if (event["event"] == "error") {
            failed = event["device"];
            EXPECT_EQ(event["code"], 1);
            EXPECT_EQ(event["message"], "Write Failure!");
        }
    }
    EXPECT_EQ(done, 2);
    EXPECT_EQ(failed, sims_[1]->socketPath());
    EXPECT_EQ(jsonEvents(run).back(),
              nlohmann::json(
                  {{"event", "summary"}, {"devices", 3}, {"done", 2}, {"failed", 1}, {"code", 1}}));

    // The two left each read into a file of their own.
    expectRun(cli({"--all", "read", path("r.bin")}),
              {"read", {}, 0, "summary: 2 programmers, 2 done, 0 failed (exit 0)"});
    EXPECT_EQ(readFile(path("r-1.bin")) + readFile(path("r-2.bin")),
              text(pattern(kChipSize, 5)) + text(pattern(kChipSize, 5)));
}

TEST_F(CliDevices, IdentifyOnIdsTheDatabaseLacksOffersATableRowInBothBuilds) {
    const std::string copy = folder_.write("other.chip", readFile(BRIMWICK_CHIP_DATABASE));
    ChipDatabase database(Language::English, copy);
    const ChipInfo unknown{ChipType::Flash25, "ZX", "Z", 27, 36, 4194304, 1, 256, 0xBA, 0x15, 0, 8};
    ASSERT_EQ(database.load() + database.addOrReplace(&unknown) + database.save(), 3);
    plug({"--db", copy, "--chip", "ZX"});
    const std::string row = "25 FLASH\tNEW-BA15\tZetta\t27\t36\t4194304\tPP\t256\tBA\t15\t0\t8\t-\t"
                            "4K=20 32K=52 64K=D8 chip=C7\t3\t?\t-\tidentify BA 15\n";
    for (const auto& [lang, note] : {std::pair{"LANG=C", "send the row to the project:\n"},
                                     std::pair{"LANG=zh_CN.UTF-8", "再把这一行发回项目：\n"}}) {
        const ProgramRun run = cli({"identify"}, {lang});
        EXPECT_EQ(run.code, 1) << run.err;
        EXPECT_EQ(run.out, row);
        EXPECT_NE(run.err.find(note), std::string::npos) << run.err;
    }
    const ProgramRun json = cli({"--json", "identify"});
    EXPECT_EQ(jsonEvents(json).back()["row"], row.substr(0, row.size() - 1));
}

TEST_F(CliDevices, AChipWhoseIdsSeveralChipsShareMustBeNamed) {
    plug({"--chip", "EN25T80"});
    expectRun(cli({"read", path("x.bin")}),
              {"EN25T80", {}, 2, "several chips (EN25F80, EN25Q80, EN25T80): name it with --chip"});
    EXPECT_FALSE(fs::exists(path("x.bin")));
}

TEST_F(CliDevices, ReadsThatDisagreeSaveNothing) {
    // A loose contact from the second read's byte 0x20 on.
    plug({"--chip", "A25L512", "--noisy-read-after-bytes", std::to_string(kChipSize + 0x20)});
    expectRun(cli({"read", "--passes", "3", path("x.bin")}),
              {"noisy",
               {},
               4,
               "Read 2 differs from read 1 at 65504 addresses, the first 0x20: nothing saved"});
    EXPECT_FALSE(fs::exists(path("x.bin")));
}

TEST_F(CliDevices, CtrlCStopsAReadWithoutSavingAnything) {
    plug({"--chip", "A25L512", "--rate", "20000"}); // about 3 s for the chip
    std::atomic<pid_t> pid{-1};
    ProgramRun run;
    std::thread reader([&] { run = cli({"read", path("x.bin")}, {}, &pid); });
    while (pid.load() < 0)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::kill(pid.load(), SIGINT);
    reader.join();
    EXPECT_EQ(run.code, 130) << run.err;
    EXPECT_FALSE(fs::exists(path("x.bin")));
}

} // namespace

TEST_F(CliDevices, AnotherChipInTheSocketStopsTheCommandUnlessForced) {
    plug({"--chip", "A25L512"});
    const std::string wrong = "Wrong chip? The selected chip is A25L010 (IDs 37 10), but the "
                              "socket answers IDs 37 05, those of A25L512.\nUse --force";
    const Step steps[] = {
        {"blank", {"--chip", "A25L010", "blank"}, 1, wrong},
        {"write", {"--chip", "A25L010", "write", path("x.bin")}, 1, wrong},
        {"forced", {"--force", "--chip", "A25L010", "blank"}, 0, "Blank Check Successfully"},
    };
    writeFile(path("x.bin"), text(pattern(kChipSize)));
    for (const Step& step : steps)
        expectRun(cli(step.args), step);
    plug({"--empty"});
    expectRun(
        cli({"--device", sims_[1]->socketPath(), "--chip", "A25L512", "read", path("y.bin")}),
        {"empty", {}, 1, "answers FF FF: no chip in the socket, or the clip is not connected"});
    EXPECT_FALSE(fs::exists(path("y.bin")));
    EXPECT_EQ(readFile(path("x.bin")), text(pattern(kChipSize))); // nothing written either way
}

TEST_F(CliDevices, CtrlCWhileAnAnswerIsAwaitedEndsAtOnceAsInterrupted) {
    // Without --chip: command 1 identifies, 2 checks the chip, 3 reads.
    for (const char* stalled : {"1", "3"}) {
        SCOPED_TRACE(stalled);
        plug({"--chip", "A25L512", "--stall-at-command", stalled});
        std::atomic<pid_t> pid{-1};
        ProgramRun run;
        const auto start = std::chrono::steady_clock::now();
        std::thread reader([&] {
            run = cli({"--device", sims_.back()->socketPath(), "read", path("x.bin")}, {}, &pid);
        });
        while (pid.load() < 0)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ::kill(pid.load(), SIGINT);
        reader.join();
        EXPECT_EQ(run.code, 130) << run.err;
        EXPECT_NE(run.err.find(": Interrupted"), std::string::npos) << run.err;
        EXPECT_LT(msSince(start), 900); // not after the answer's 1 s limit
        EXPECT_FALSE(fs::exists(path("x.bin")));
    }
}

// A write stopped half-way leaves the programmer taking data for 2 s: a new process
// must wait that out, or its command bytes would be programmed into the chip.
TEST_F(CliDevices, AnInterruptedWriteLeavesNoCommandBytesInTheChip) {
    const Bytes data = pattern(kChipSize, 7);
    writeFile(path("data.bin"), text(data));
    for (const int signal : {SIGINT, SIGKILL}) {
        SCOPED_TRACE(signal);
        const std::string image = path("chip" + std::to_string(signal) + ".bin");
        const std::string socket =
            plug({"--chip", "A25L512", "--rate", "20000", "--image", image}).socketPath();
        std::atomic<pid_t> pid{-1};
        ProgramRun written;
        std::thread writer([&] {
            written = cli({"--device", socket, "write", path("data.bin")}, {}, &pid);
        });
        while (pid.load() < 0)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        ::kill(pid.load(), signal);
        writer.join();
        EXPECT_EQ(written.code, signal == SIGINT ? 130 : 128 + SIGKILL) << written.err;
        const ProgramRun read = cli({"--device", socket, "read", path("r.bin")});
        ASSERT_EQ(read.code, 0) << read.err;
        // The chip holds the file's first bytes, then erased ones: nothing else.
        const std::string chip = readFile(path("r.bin"));
        const size_t end =
            chip.find_first_not_of('\xFF', 0) == std::string::npos
                ? 0
                : std::mismatch(chip.begin(), chip.end(), text(data).begin()).first - chip.begin();
        EXPECT_GT(end, 0u);
        EXPECT_LT(end, kChipSize);
        EXPECT_EQ(chip.substr(end), std::string(kChipSize - end, '\xFF'))
            << "at 0x" << std::hex << end;
        EXPECT_TRUE(readFile(image) == chip); // written back while the simulator runs
    }
}

namespace {

TEST_F(CliDevices, Ch347BridgeRunsTheDeviceCommandsAtTheClockAsked) {
    const std::string socket = plug({"--bridge", "ch347", "--chip", "25LC256"}).socketPath();
    const Bytes data = pattern(32768, 5);
    writeFile(path("data.bin"), text(data));
    const Step steps[] = {
        {"devices", {"devices"}, 0, "1  CH347T 1a86:55db  " + socket + "  CH347T SPI 15 MHz\n"},
        {"clock rounded down", {"--spi-clock", "40MHz", "version"}, 0, "CH347T SPI 30 MHz"},
        {"slowest", {"--spi-clock", "468750", "version"}, 0, "CH347T SPI 468.75 kHz"},
        {"below the slowest",
         {"--spi-clock", "400kHz", "version"},
         2,
         "400kHz is below the slowest SPI clock, 468.75 kHz"},
        {"not a clock", {"--spi-clock", "fast", "version"}, 2, "not a clock: fast"},
        {"write at 60 MHz",
         {"--spi-clock", "60MHz", "--chip", "25LC256", "write", path("data.bin")},
         0,
         "Verify Successfully  25LC256  32768 bytes"},
        {"read at 1.875 MHz",
         {"--spi-clock", "1.875MHz", "--chip", "25LC256", "read", path("out.bin")},
         0,
         "Read Successfully"},
    };
    for (const Step& step : steps)
        expectRun(cli(step.args), step);
    EXPECT_EQ(readFile(path("out.bin")), text(data));
}

} // namespace
