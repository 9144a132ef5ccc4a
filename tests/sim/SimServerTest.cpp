// The socket server: the wire protocol, unplugging, stalls and reopened pipes.
#include "sim/SimServer.h"
#include "tests/sim/FirmwareHost.h"
#include "tests/sim/SimFolder.h"
#include "tests/sim/WireClient.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <thread>

using namespace simtest;
using sim::ProgrammerFirmware;
using sim::SimServer;
namespace fs = std::filesystem;

namespace {

const Bytes kIdCommand{0x05, 0x00, 0x01};
const Bytes kIdAnswer{0x05, 0x02, 0xEF, 0x14};

ChipInfo flashChip() {
    return makeChip(ChipType::Flash25, 65536);
}

} // namespace

TEST(SimServer, PlugsInUnderTheDriverStyleNameAndSpeaksTheWire) {
    ScopedSimFolder folder;
    const ChipInfo chip = flashChip();
    ProgrammerFirmware firmware(&chip, unpaced());
    SimServer server(firmware);
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    EXPECT_TRUE(server.pluggedIn());

    const fs::path path = server.socketPath();
    EXPECT_EQ(path.parent_path(), folder.path());
    const std::string name = path.filename().string();
    const std::string expectedStart =
        "usb#vid_10c4&pid_505d#sim-" + std::to_string(::getpid()) + "-";
    ASSERT_EQ(name.rfind(expectedStart, 0), 0u) << name;
    const std::string number = name.substr(expectedStart.size());
    EXPECT_FALSE(number.empty());
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << name;
    EXPECT_TRUE(fs::is_socket(path));
    struct stat info {};
    ASSERT_EQ(::stat(folder.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    WireClient probe(path, 'I');
    EXPECT_EQ(probe.probeAnswer(), uint8_t{'K'});
    EXPECT_TRUE(probe.closedByServer());

    WireClient writer(path, 'W');
    WireClient reader(path, 'R');
    EXPECT_EQ(writer.write(kIdCommand), 3);
    EXPECT_EQ(reader.read(64), kIdAnswer);

    // A read data phase through the socket, ended by a zero-length transfer.
    firmware.setChipContents(0, Bytes(8192, 0x3C));
    EXPECT_EQ(writer.write(readCommand(1, 0, 8192)), 15);
    EXPECT_EQ(reader.read(64), (Bytes{0x01, 0x01, 0x00}));
    EXPECT_EQ(reader.read(4096), Bytes(4096, 0x3C));
    EXPECT_EQ(reader.read(4096), Bytes(4096, 0x3C));
    EXPECT_EQ(reader.read(64), Bytes{});

    // Transfers above the wire's limit break the protocol: the connection ends.
    EXPECT_EQ(writer.write(Bytes(4097, 0)), std::nullopt);
    // A refused transfer is -1.
    sim::Faults faults;
    faults.refuseIn = true;
    firmware.setFaults(faults);
    WireClient reader2(path, 'R');
    EXPECT_EQ(reader2.read(64), std::nullopt);
}

TEST(SimServer, StopUnplugsAndNamesAreUniquePerServer) {
    ScopedSimFolder folder;
    const ChipInfo chip = flashChip();
    ProgrammerFirmware firmware(&chip, unpaced());
    SimServer first(firmware);
    SimServer second(firmware);
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(second.start());
    EXPECT_NE(first.socketPath(), second.socketPath());

    WireClient reader(first.socketPath(), 'R');
    ASSERT_TRUE(reader.ask(64)); // waits for an answer that never comes
    std::this_thread::sleep_for(20ms);
    const auto start = sim::Clock::now();
    first.stop();
    EXPECT_LT(sim::Clock::now() - start, 500ms);
    EXPECT_FALSE(first.pluggedIn());
    EXPECT_FALSE(fs::exists(first.socketPath()));
    EXPECT_TRUE(reader.closedByServer());
    EXPECT_FALSE(WireClient(first.socketPath(), 'I').connected());
    EXPECT_FALSE(first.start()); // an unplugged server stays unplugged
    EXPECT_TRUE(fs::exists(second.socketPath()));
}

TEST(SimServer, FirmwareDisconnectUnplugsTheServer) {
    ScopedSimFolder folder;
    sim::FirmwareOptions options = unpaced();
    options.faults.disconnectAtCommand = 2;
    const ChipInfo chip = flashChip();
    ProgrammerFirmware firmware(&chip, options);
    SimServer server(firmware);
    ASSERT_TRUE(server.start());
    WireClient writer(server.socketPath(), 'W');
    WireClient reader(server.socketPath(), 'R');
    EXPECT_EQ(writer.write(kIdCommand), 3);
    EXPECT_EQ(reader.read(64), kIdAnswer);
    EXPECT_EQ(writer.write(kIdCommand), std::nullopt);
    EXPECT_TRUE(server.waitUnplugged(1s));
    EXPECT_FALSE(fs::exists(server.socketPath()));
    EXPECT_TRUE(reader.closedByServer());
}

TEST(SimServer, AStallBlocksAnswersAndAnAbandonedReadLosesNothing) {
    ScopedSimFolder folder;
    sim::FirmwareOptions options = unpaced();
    options.faults.lateAnswer.atCommand = 1;
    options.faults.lateAnswerMs = 300;
    const ChipInfo chip = flashChip();
    ProgrammerFirmware firmware(&chip, options);
    SimServer server(firmware);
    ASSERT_TRUE(server.start());

    WireClient writer(server.socketPath(), 'W');
    EXPECT_EQ(writer.write(kIdCommand), 3);
    {
        // The host gives up on its read before the late answer and closes the pipe.
        WireClient reader(server.socketPath(), 'R');
        ASSERT_TRUE(reader.ask(64));
        EXPECT_EQ(reader.answer(100), std::nullopt);
    }
    std::this_thread::sleep_for(400ms);
    // The answer waited in the device for the host's next read.
    WireClient reader(server.socketPath(), 'R');
    EXPECT_EQ(reader.read(64), kIdAnswer);

    // A reopened pipe takes over from an old one that is still waiting.
    WireClient stale(server.socketPath(), 'R');
    ASSERT_TRUE(stale.ask(64));
    std::this_thread::sleep_for(30ms);
    WireClient fresh(server.socketPath(), 'R');
    ASSERT_TRUE(fresh.ask(64));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(writer.write(kIdCommand), 3);
    EXPECT_EQ(fresh.answer(), kIdAnswer);
    EXPECT_TRUE(stale.closedByServer());

    // A stall: the command is taken, no answer ever comes.
    sim::Faults faults;
    faults.stallAtCommand = 3;
    firmware.setFaults(faults);
    EXPECT_EQ(writer.write(kIdCommand), 3);
    EXPECT_EQ(fresh.read(64, 300), std::nullopt);
    EXPECT_EQ(writer.write(kIdCommand, 300), std::nullopt);
    EXPECT_TRUE(server.pluggedIn());
}

TEST(SimServer, AReadTheHostHungUpOnTakesNothing) {
    ScopedSimFolder folder;
    const ChipInfo chip = flashChip();
    ProgrammerFirmware firmware(&chip, unpaced());
    SimServer server(firmware);
    ASSERT_TRUE(server.start());
    WireClient writer(server.socketPath(), 'W');

    // The host gives up on a read, hangs up and at once sends the next command on a new
    // read pipe: the answer must reach the new pipe, however quickly it comes.
    for (int round = 0; round < 20; ++round) {
        auto stale = std::make_unique<WireClient>(server.socketPath(), 'R');
        ASSERT_TRUE(stale->ask(64));
        std::this_thread::sleep_for(2ms); // its server thread is waiting in the firmware
        stale.reset();
        WireClient fresh(server.socketPath(), 'R');
        ASSERT_TRUE(fresh.ask(64));
        EXPECT_EQ(writer.write(kIdCommand), 3);
        EXPECT_EQ(fresh.answer(), kIdAnswer) << "round " << round;
    }
    EXPECT_EQ(firmware.stats().answersSent, 20u);

    // The firmware itself: a transfer no longer wanted returns at once and takes nothing.
    firmware.injectPacket({0x07, 0x00, 0x00});
    uint8_t buffer[64];
    const auto start = sim::Clock::now();
    const auto cancelled = firmware.hostIn(buffer, 64, start + 1s, [] { return false; });
    EXPECT_EQ(cancelled.status, sim::TransferStatus::NotYet);
    EXPECT_LT(sim::Clock::now() - start, 500ms);
    WireClient reader(server.socketPath(), 'R');
    EXPECT_EQ(reader.read(64), (Bytes{0x07, 0x00, 0x00}));
    EXPECT_EQ(firmware.hostOut(kIdCommand.data(), 3, {}, [] { return false; }).status,
              sim::TransferStatus::NotYet);
    EXPECT_EQ(firmware.stats().commands, 20u);
}
