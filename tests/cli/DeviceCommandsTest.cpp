// Every device command of brimwick-cli against simulated programmers, each its own
// brimwick-sim process found through the real link: texts, exit codes, files, JSON
// events, several programmers at once with a fault, and Ctrl+C.
#include "buffer/Checksums.h"
#include "tests/cli/CliRun.h"
#include "tests/support/SimProgrammer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <thread>

using namespace clitest;
using testsupport::SimProcess;
namespace fs = std::filesystem;

namespace {

using testsupport::Bytes;
using testsupport::pattern;

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
    ProgramRun cli(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
        env.push_back("BRIMWICK_SIM_DIR=" + folder_.path());
        return runCli(args, env);
    }

    TempFolder folder_;
    std::vector<std::unique_ptr<SimProcess>> sims_;
};

struct Step {
    const char* name;
    std::vector<std::string> args;
    int code;
    std::string out; // found in stdout
    std::string err; // found in stderr
    std::vector<std::string> env = {};
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
    const std::vector<Step> steps = {
        {"devices", {"devices"}, 0, socket + "  Brimwick SIM V1.00\n", ""},
        {"version",
         {"version"},
         0,
         "brimwick-cli 2.0\n" + socket + ": Successfully  Brimwick SIM V1.00",
         ""},
        {"identify", {"identify"}, 0, "Identify Successfully  IDs 37 05: A25L512\n", ""},
        {"blank when erased", {"blank"}, 0, "Blank Check Successfully  A25L512", ""},
        {"write",
         {"write", path("data.bin")},
         0,
         "Write Successfully  A25L512  65536 bytes  " + path("data.bin") + "  " + sums,
         ""},
        {"verify",
         {"verify", path("data.bin")},
         0,
         "Verify Successfully  A25L512  65536 bytes",
         ""},
        {"read twice", {"read", "--passes", "2", path("out.bin")}, 0, sums, ""},
        {"not blank", {"blank"}, 4, "", "Not blank: address 0x13 holds 86"},
        {"verify finds the first difference",
         {"verify", path("other.bin")},
         4,
         "",
         ": Verify Failure!\nAddr:0x1234\nBuffer:F2\nDevice:57\n"},
        {"the same in Chinese",
         {"verify", path("other.bin")},
         4,
         "",
         "校验出错!\n地址:0x1234\n缓冲区:F2\n器件:57",
         {"LANG=zh_CN.UTF-8"}},
        {"erase", {"--yes", "erase"}, 0, "Erase Successfully  A25L512", ""},
        {"blank after erase", {"blank"}, 0, "A25L512", ""},
        {"auto", {"auto", path("other.bin")}, 0, "Verify Successfully  A25L512", ""},
        {"an EEPROM has no erase",
         {"--chip", "AT24C02", "erase"},
         2,
         "",
         "AT24C02 is written over directly"},
        {"unknown chip",
         {"--chip", "NOPE", "read", path("x.bin")},
         2,
         "",
         "No chip named \"NOPE\""},
        {"missing file", {"write", path("missing.bin")}, 2, "", "Failure to open the file!"},
        {"unwritable file",
         {"read", path("no/such/folder.bin")},
         2,
         "",
         "Failure to save the file!"},
        {"unknown device", {"--device", path("nope"), "blank"}, 3, "", "No programmer found at"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const ProgramRun run = cli(step.args, step.env);
        EXPECT_EQ(run.code, step.code) << run.err;
        EXPECT_NE(run.out.find(step.out), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(step.err), std::string::npos) << run.err;
    }
    EXPECT_EQ(readFile(path("out.bin")), text(data));
    EXPECT_FALSE(fs::exists(path("x.bin")));
}

TEST_F(CliDevices, JsonEventsOfAWriteAndOfAMismatchParse) {
    const std::string socket = plug({"--chip", "A25L512"}).socketPath();
    const Bytes data = pattern(kChipSize, 3);
    writeFile(path("data.bin"), text(data));
    const ProgramRun written = cli({"--json", "write", path("data.bin")});
    ASSERT_EQ(written.code, 0) << written.err;
    const auto events = clitest::events(written);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(),
              nlohmann::json::parse(R"({"event":"start","command":"write","device":")" + socket +
                                    R"(","chip":"A25L512","bytes":65536})"));
    uint64_t done = 0;
    for (size_t i = 1; i + 1 < events.size(); ++i) {
        SCOPED_TRACE(events[i].dump());
        EXPECT_EQ(events[i]["event"], "progress");
        EXPECT_EQ(events[i]["stage"], "write");
        EXPECT_GE(events[i]["done"].get<uint64_t>(), done);
        done = events[i]["done"];
        EXPECT_EQ(events[i]["total"], kChipSize);
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
    const auto last = clitest::events(differs).back();
    EXPECT_EQ(last,
              nlohmann::json({{"event", "error"},
                              {"device", socket},
                              {"code", 4},
                              {"message", "Verify Failure!\nAddr:0x0\nBuffer:04\nDevice:03"}}));
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
    for (const nlohmann::json& event : clitest::events(run)) {
        done += event["event"] == "done";
        if (event["event"] == "error") {
            failed = event["device"];
            EXPECT_EQ(event["code"], 1);
            EXPECT_EQ(event["message"], "Write Failure!");
        }
    }
    EXPECT_EQ(done, 2);
    EXPECT_EQ(failed, sims_[1]->socketPath());
    EXPECT_EQ(clitest::events(run).back(),
              nlohmann::json(
                  {{"event", "summary"}, {"devices", 3}, {"done", 2}, {"failed", 1}, {"code", 1}}));

    // The two left each read into a file of their own.
    const ProgramRun read = cli({"--all", "read", path("r.bin")});
    EXPECT_EQ(read.code, 0) << read.err;
    EXPECT_NE(read.out.find("summary: 2 programmers, 2 done, 0 failed (exit 0)"), std::string::npos)
        << read.out;
    EXPECT_EQ(readFile(path("r-1.bin")), text(pattern(kChipSize, 5)));
    EXPECT_EQ(readFile(path("r-2.bin")), text(pattern(kChipSize, 5)));
}

TEST_F(CliDevices, AChipWhoseIdsSeveralChipsShareMustBeNamed) {
    plug({"--chip", "EN25T80"});
    const ProgramRun run = cli({"read", path("x.bin")});
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("several chips (EN25F80, EN25Q80, EN25T80): name it with --chip"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(path("x.bin")));
}

TEST_F(CliDevices, ReadsThatDisagreeSaveNothing) {
    // A loose contact from the second read's byte 0x20 on.
    plug({"--chip", "A25L512", "--noisy-read-after-bytes", std::to_string(kChipSize + 0x20)});
    const ProgramRun run = cli({"read", "--passes", "3", path("x.bin")});
    EXPECT_EQ(run.code, 4);
    EXPECT_NE(run.err.find("Read 2 differs from read 1 at 65504 addresses, the first 0x20: "
                           "nothing saved"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(path("x.bin")));
}

TEST_F(CliDevices, CtrlCStopsAReadWithoutSavingAnything) {
    plug({"--chip", "A25L512", "--rate", "20000"}); // about 3 s for the chip
    std::atomic<pid_t> pid{-1};
    ProgramRun run;
    std::thread reader([&] {
        run = testsupport::runProgram(BRIMWICK_CLI_PROGRAM, {"read", path("x.bin")},
                                      {"BRIMWICK_SIM_DIR=" + folder_.path()}, &pid);
    });
    while (pid.load() < 0) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::kill(pid.load(), SIGINT);
    reader.join();
    EXPECT_EQ(run.code, 130) << run.err;
    EXPECT_FALSE(fs::exists(path("x.bin")));
}

} // namespace
