// The simulated programmer's socket server and brimwick-sim as a user runs it.
#include "sim/SimCommandLine.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/SimProgrammer.h"
#include "usb/Backends.h"
#include "usb/SimWire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using namespace testsupport;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// A pipe of the simulator's socket, as the link opens it.
std::shared_ptr<usb::PipeChannel> pipeOf(const std::string& socket, usb::PipeKind kind) {
    return usb::makeSimBackend(fs::path(socket).parent_path())->openPipe(socket, kind);
}

usb::IoStatus send(usb::PipeChannel& pipe, const Bytes& bytes) {
    return pipe.write(bytes.data(), uint32_t(bytes.size()), {}).status;
}

Bytes receive(usb::PipeChannel& pipe) {
    Bytes packet(64);
    packet.resize(pipe.read(packet.data(), 64).bytes); // 0 unless read
    return packet;
}

TEST(SimCommandLine, OptionsAndBadInput) {
    sim::SimCommandLine line;
    std::string error;
    ASSERT_TRUE(sim::parseSimCommandLine({"--page-us=700", "--stall-after-bytes", "4096",
                                          "--drop-answer-at", "3", "--late-answer-rate", "0.25"},
                                         &line, &error));
    EXPECT_EQ(line.chipName, "EN25T80");
    EXPECT_EQ(line.firmware.pacing.bytesPerSecond, 1'216'000u);
    EXPECT_EQ(line.firmware.pacing.pageProgramUs, 700u);
    EXPECT_EQ(line.firmware.faults.stallAfterDataBytes, 4096u);
    EXPECT_EQ(line.firmware.faults.dropAnswer.atCommand, 3u);
    EXPECT_EQ(line.firmware.faults.corruptAnswer.atCommand, 0u);
    EXPECT_DOUBLE_EQ(line.firmware.faults.lateAnswer.probability, 0.25);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--chip"},
                                               {"--bogus"},
                                               {"--drop-answer-rate", "1.5"},
                                               {"--disconnect-at-command", "0"}}) {
        line.chipName = "KEPT";
        EXPECT_FALSE(sim::parseSimCommandLine(args, &line, &error)) << args[0];
        EXPECT_NE(error.find(args[0]), std::string::npos) << error;
        EXPECT_EQ(line.chipName, "KEPT");
    }
}

TEST(SimServer, PlugsInUnderADriverStyleNameAndUnplugsAtOnce) {
    const ChipInfo chip = testChip(ChipType::Flash25, 4096);
    SimProgrammer programmer(&chip);
    const fs::path socket = programmer.socketPath();
    EXPECT_EQ(socket.filename().string().rfind(
                  "usb#vid_10c4&pid_505d#sim-" + std::to_string(::getpid()) + "-", 0),
              0u);
    struct stat info {};
    ASSERT_EQ(::stat(programmer.folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // A server that answers a read with more bytes than asked is refused, the buffer kept.
    const std::string liar = programmer.folder() + "/liar";
    sockaddr_un address{AF_UNIX, {}};
    std::strcpy(address.sun_path, liar.c_str());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::listen(listener, 1);
    auto lie = std::async(std::launch::async, [&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        uint8_t reply[4 + 80] = {80};
        simwire::recvAll(fd, reply + 4, 5); // the role and the length asked
        simwire::sendAll(fd, reply, sizeof reply);
        ::close(fd);
    });
    Bytes buffer(128, 0xA5);
    EXPECT_EQ(pipeOf(liar, usb::PipeKind::Read)->read(buffer.data(), 64).status,
              usb::IoStatus::Failed);
    EXPECT_EQ(buffer[64], 0xA5);
    lie.get();
    ::close(listener);
    // Unplugging ends a waiting read at once and removes the socket.
    auto writer = pipeOf(socket, usb::PipeKind::Write);
    auto reader = pipeOf(socket, usb::PipeKind::Read);
    ASSERT_EQ(send(*writer, kId), usb::IoStatus::Ok);
    EXPECT_EQ(receive(*reader), kIdAnswer);
    auto waiting = std::async(std::launch::async, [&] { return receive(*reader); });
    std::this_thread::sleep_for(30ms);
    const auto start = std::chrono::steady_clock::now();
    programmer.unplug();
    EXPECT_EQ(waiting.get(), Bytes{});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_FALSE(fs::exists(socket));
    EXPECT_EQ(send(*writer, kId), usb::IoStatus::Gone);
}

TEST(SimProgram, ServesItsChipUntilTerminatedAndSaysClearlyWhatWentWrong) {
    TempFolder folder, files;
    const std::string db = files.file("ChipInfo.chip"), image = files.file("chip.bin");
    writeDatabase(db, {testChip(ChipType::Flash25, 4096, "SIMTEST", 0xEF, 0x13)});
    testsupport::SimProcess sim(BRIMWICK_SIM_PROGRAM, folder.path(),
                                {"--db", db, "--chip", "SIMTEST", "--image", image, "--rate", "0"});
    EXPECT_EQ(sim.banner(), "Simulated programmer with SIMTEST (25 FLASH, 4096 bytes)");
    ASSERT_FALSE(sim.socketPath().empty());
    auto writer = pipeOf(sim.socketPath(), usb::PipeKind::Write);
    auto reader = pipeOf(sim.socketPath(), usb::PipeKind::Read);
    send(*writer, writeCommand(1, 2, 3));
    EXPECT_EQ(receive(*reader), (Bytes{0x02, 0x01, 0x01}));
    send(*writer, {0xA1, 0xB2, 0xC3});
    send(*writer, kId);
    EXPECT_EQ(receive(*reader), (Bytes{0x05, 0x02, 0xEF, 0x13}));
    EXPECT_EQ(sim.stop(), 0) << sim.error();
    const std::string saved = readFile(image);
    ASSERT_EQ(saved.size(), 4096u);
    EXPECT_EQ(saved.substr(1, 5), "\xFF\xA1\xB2\xC3\xFF");
    EXPECT_TRUE(fs::is_empty(folder.path())); // unplugged
    testsupport::SimProcess empty(BRIMWICK_SIM_PROGRAM, folder.path(),
                                  {"--empty", "--disconnect-at-command", "1"});
    EXPECT_EQ(empty.banner(), "Simulated programmer with an empty socket");
    ASSERT_FALSE(empty.socketPath().empty());
    send(*pipeOf(empty.socketPath(), usb::PipeKind::Write), {0x07, 0x00});
    std::this_thread::sleep_for(300ms);
    empty.stop();
    EXPECT_EQ(empty.error(), "brimwick-sim: the programmer unplugged itself (fault)\n");
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

} // namespace
