// Prints how brimwick-cli keeps up with the link: a 4 MiB chip at the simulated
// programmer's default rate (1,216,000 B/s), read, written and verified from the
// command line against the time the data alone needs on the link; --all on four
// simulated programmers against one; CRC32 + SHA-256 of 16 MiB. Read, write and
// verify each include the check of the chip's IDs before the data moves.
#include "buffer/Checksums.h"
#include "tests/support/ProgramProcess.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using testsupport::SimProcess;

constexpr uint32_t kChipSize = 4u << 20; // W25Q32
constexpr double kLinkRate = 1216000.0;  // bytes per second, the simulator's default

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Timed {
    int code = -1;
    double process = 0;   // from start to exit
    double operation = 0; // from the first "start" event to the last "done" or "summary"
};

Timed runCli(const fs::path& folder, std::vector<std::string> args) {
    args.insert(args.begin(), {"--json", "--chip", "W25Q32"});
    Clock::time_point firstStart{};
    Clock::time_point lastEnd{};
    const Clock::time_point begun = Clock::now();
    const testsupport::ProgramRun run = testsupport::runProgram(
        BRIMWICK_CLI_PROGRAM, args, {"BRIMWICK_SIM_DIR=" + folder.string()}, nullptr,
        [&](const std::string& line) {
            if (line.starts_with(R"({"event":"start")") && firstStart == Clock::time_point{}) {
                firstStart = Clock::now();
            } else if (line.starts_with(R"({"event":"done")") ||
                       line.starts_with(R"({"event":"summary")")) {
                lastEnd = Clock::now();
            }
        });
    Timed timed;
    timed.code = run.code;
    timed.process = secondsSince(begun);
    timed.operation = std::chrono::duration<double>(lastEnd - firstStart).count();
    if (run.code != 0) {
        std::fprintf(stderr, "brimwick-cli failed (%d): %s\n", run.code, run.err.c_str());
    }
    return timed;
}

void printAgainstLink(const char* name, const Timed& timed) {
    const double link = kChipSize / kLinkRate;
    std::printf("%-7s link %.3f s  operation with the ID check %.3f s (%.1f %% of link time)  "
                "process %.3f s (%.1f %%)\n",
                name, link, timed.operation, 100.0 * link / timed.operation, timed.process,
                100.0 * link / timed.process);
}

void benchChecksums() {
    std::vector<uint8_t> bytes(16u << 20);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 31 + (i >> 12));
    }
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const Clock::time_point start = Clock::now();
        const Checksums sums = checksumsOf(bytes);
        best = std::min(best, secondsSince(start));
        if (!sums.sha256) {
            std::fprintf(stderr, "SHA-256 failed\n");
        }
    }
    std::printf("CRC32 + SHA-256 of 16 MiB: %.1f ms (goal <= 60 ms)\n", best * 1000);
}

} // namespace

int main() {
    benchChecksums();

    const fs::path folder = fs::temp_directory_path() / ("bench-cli-" + std::to_string(getpid()));
    fs::create_directories(folder);
    {
        std::vector<char> image(kChipSize);
        for (size_t i = 0; i < image.size(); ++i) {
            image[i] = static_cast<char>(i * 13 + (i >> 10));
        }
        std::ofstream((folder / "data.bin").string(), std::ios::binary)
            .write(image.data(), static_cast<std::streamsize>(image.size()));
    }
    const std::string data = (folder / "data.bin").string();
    {
        SimProcess sim(BRIMWICK_SIM_PROGRAM, folder.string(), {"--chip", "W25Q32"});
        if (sim.socketPath().empty()) {
            std::fprintf(stderr, "cannot start brimwick-sim: %s\n", sim.error().c_str());
            return 1;
        }
        printAgainstLink("write", runCli(folder, {"write", "--no-verify", data}));
        printAgainstLink("verify", runCli(folder, {"verify", data}));
        const Timed one = runCli(folder, {"read", (folder / "one.bin").string()});
        printAgainstLink("read", one);

        std::vector<std::unique_ptr<SimProcess>> more;
        for (int i = 0; i < 3; ++i) {
            more.push_back(
                std::make_unique<SimProcess>(BRIMWICK_SIM_PROGRAM, folder.string(),
                                             std::vector<std::string>{"--chip", "W25Q32"}));
        }
        const Timed four = runCli(folder, {"--all", "read", (folder / "all.bin").string()});
        std::printf("--all read on 4 programmers: operation %.3f s = %.3f x one (goal <= 1.1); "
                    "process %.3f s = %.3f x one\n",
                    four.operation, four.operation / one.operation, four.process,
                    four.process / one.process);
    }
    fs::remove_all(folder);
    return 0;
}
