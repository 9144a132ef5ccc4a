// brimwick-sim as a user runs it: options, the socket it prints, SIGTERM, the image.
#include "chipdb/ChipDatabase.h"
#include "tests/sim/FirmwareHost.h"
#include "tests/sim/SimFolder.h"
#include "tests/sim/WireClient.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace simtest;
namespace fs = std::filesystem;

namespace {

struct ProgramRun {
    pid_t pid = -1;
    FILE* out = nullptr;
    FILE* err = nullptr;
};

ProgramRun launch(const std::vector<std::string>& args) {
    int outPipe[2];
    int errPipe[2];
    EXPECT_EQ(::pipe(outPipe), 0);
    EXPECT_EQ(::pipe(errPipe), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    std::vector<char*> argv{const_cast<char*>(BRIMWICK_SIM_PROGRAM)};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    ProgramRun run;
    EXPECT_EQ(posix_spawn(&run.pid, BRIMWICK_SIM_PROGRAM, &actions, nullptr, argv.data(), environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    run.out = ::fdopen(outPipe[0], "r");
    run.err = ::fdopen(errPipe[0], "r");
    return run;
}

std::string readLine(FILE* file) {
    char line[512] = {};
    if (std::fgets(line, sizeof line, file) == nullptr) {
        return {};
    }
    std::string text = line;
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

int finish(ProgramRun& run, std::string* errText = nullptr) {
    int status = 0;
    ::waitpid(run.pid, &status, 0);
    if (errText != nullptr) {
        errText->clear();
        for (std::string line; !(line = readLine(run.err)).empty();) {
            *errText += line + "\n";
        }
    }
    std::fclose(run.out);
    std::fclose(run.err);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A chip database holding one chip, made through the database's own save.
void writeDatabase(const fs::path& path, const ChipInfo& chip) {
    std::ofstream(path, std::ios::binary) << std::string(ChipDatabase::kHeaderSize, '\0');
    ChipDatabase database(Language::English, path.string());
    ASSERT_EQ(database.load(), 1);
    ASSERT_EQ(database.addOrReplace(&chip), 1);
    ASSERT_EQ(database.save(), 1);
}

} // namespace

TEST(SimProgram, ServesTheChipUntilTerminatedThenUnplugsAndKeepsTheImage) {
    ScopedSimFolder folder;
    const fs::path work = folder.path().string() + "-files";
    fs::create_directories(work);
    ChipInfo chip = makeChip(ChipType::Flash25, 4096, 0xEF, 0x13);
    std::strcpy(chip.name, "SIMTEST");
    std::strcpy(chip.manufacturer, "Test");
    writeDatabase(work / "ChipInfo.chip", chip);
    const fs::path image = work / "chip.bin";

    ProgramRun run = launch({"--db", (work / "ChipInfo.chip").string(), "--chip", "SIMTEST",
                             "--image", image.string(), "--rate", "0"});
    EXPECT_EQ(readLine(run.out), "Simulated programmer with SIMTEST (25 FLASH, 4096 bytes)");
    const std::string socket = readLine(run.out);
    EXPECT_EQ(fs::path(socket).parent_path(), folder.path());
    {
        WireClient writer(socket, 'W');
        WireClient reader(socket, 'R');
        EXPECT_EQ(writer.write({0x05, 0x00, 0x01}), 3);
        EXPECT_EQ(reader.read(64), (Bytes{0x05, 0x02, 0xEF, 0x13}));
        EXPECT_EQ(writer.write(writeCommand(1, 2, 3)), 17);
        EXPECT_EQ(reader.read(64), (Bytes{0x02, 0x01, 0x01}));
        EXPECT_EQ(writer.write({0xA1, 0xB2, 0xC3}), 3);
        EXPECT_EQ(writer.write({0x03, 0x00, 0x01}), 3); // in step again
        EXPECT_EQ(reader.read(64), (Bytes{0x03, 0x01, 0x00}));
    }
    ::kill(run.pid, SIGTERM);
    std::string errText;
    EXPECT_EQ(finish(run, &errText), 0) << errText;
    EXPECT_FALSE(fs::exists(socket));

    std::ifstream in(image, std::ios::binary);
    const Bytes saved{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(saved.size(), 4096u);
    EXPECT_EQ(saved[1], 0xFF);
    EXPECT_EQ(saved[2], 0xA1);
    EXPECT_EQ(saved[4], 0xC3);
    fs::remove_all(work);
}

TEST(SimProgram, BadInputGetsAClearMessage) {
    ScopedSimFolder folder;
    ProgramRun bad = launch({"--rate", "fast"});
    std::string errText;
    EXPECT_EQ(finish(bad, &errText), 2);
    EXPECT_EQ(errText, "brimwick-sim: invalid value for --rate: \"fast\"\n");

    ProgramRun missing = launch({"--db", (folder.path() / "none.chip").string()});
    EXPECT_EQ(finish(missing, &errText), 1);
    EXPECT_NE(errText.find("cannot load the chip database"), std::string::npos) << errText;

    ProgramRun help = launch({"--help"});
    EXPECT_EQ(readLine(help.out), "Usage: brimwick-sim [options]");
    EXPECT_EQ(finish(help), 0);
}

TEST(SimProgram, AFaultUnplugEndsTheProgram) {
    ScopedSimFolder folder;
    ProgramRun run = launch({"--empty", "--disconnect-at-command", "1"});
    EXPECT_EQ(readLine(run.out), "Simulated programmer with an empty socket");
    const std::string socket = readLine(run.out);
    WireClient writer(socket, 'W');
    EXPECT_EQ(writer.write({0x07, 0x00}), std::nullopt);
    std::string errText;
    EXPECT_EQ(finish(run, &errText), 0);
    EXPECT_EQ(errText, "brimwick-sim: the programmer unplugged itself (fault)\n");
    EXPECT_FALSE(fs::exists(socket));
}
