// The simulated programmer's firmware, socket server and brimwick-sim program.
#include "sim/ChipModel.h"
#include "sim/SimCommandLine.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/SimProgrammer.h"
#include "usb/Backends.h"
#include "usb/SimWire.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>
#include <filesystem>
#include <future>
#include <optional>
#include <thread>

using namespace testsupport;
using namespace std::chrono_literals;
using sim::TransferStatus;
namespace fs = std::filesystem;

namespace {

// A firmware with a test chip in its socket (or none), and transfers as the link makes them.
struct Host {
    Host(ChipType type, uint32_t capacity, sim::FirmwareOptions options = unpaced(),
         bool emptySocket = false)
        : chip(testChip(type, capacity)), firmware(emptySocket ? nullptr : &chip, options) {}
    const ChipInfo chip;
    sim::ProgrammerFirmware firmware;
    TransferStatus out(const Bytes& bytes, std::chrono::milliseconds wait = 1000ms) {
        return firmware.hostOut(bytes.data(), uint32_t(bytes.size()), sim::Clock::now() + wait)
            .status;
    }
    std::optional<Bytes> in(uint32_t maxLength = 64, std::chrono::milliseconds wait = 200ms) {
        Bytes buffer(maxLength);
        const auto r = firmware.hostIn(buffer.data(), maxLength, sim::Clock::now() + wait);
        buffer.resize(r.length);
        return r.status == TransferStatus::Done ? std::optional(buffer) : std::nullopt;
    }
    std::optional<Bytes> exchange(const Bytes& command, std::chrono::milliseconds wait = 200ms) {
        return out(command) == TransferStatus::Done ? in(64, wait) : std::nullopt;
    }
    // Chunks of 4096 until one comes back short.
    Bytes readPhase(uint32_t total) {
        Bytes data;
        for (uint32_t chunk = 4096; chunk == 4096; total -= chunk) {
            chunk = std::min<uint32_t>(total, 4096);
            const auto got = in(chunk, 2000ms).value_or(Bytes{});
            data.insert(data.end(), got.begin(), got.end());
            chunk = got.size() == chunk ? chunk : 0;
        }
        return data;
    }
    bool writePhase(const Bytes& data) {
        for (size_t at = 0; at < data.size(); at += 4096)
            if (out(Bytes(data.begin() + at, data.begin() + std::min(data.size(), at + 4096)),
                    2000ms) != TransferStatus::Done)
                return false;
        return true;
    }
};

TEST(Firmware, NoAnswerToWhatIsNoCommandAndFfFfForAChipWithoutIds) {
    struct Case {
        const char* name;
        bool emptySocket;
        Bytes command;
        std::optional<Bytes> answer;
    } cases[] = {
        {"unknown opcode", false, {0x06, 0x00, 0x01}, std::nullopt},
        {"short read command", false, {0x01, 0x0A, 0x01, 0, 0}, std::nullopt},
        {"empty packet", false, {}, std::nullopt},
        {"bytes after a whole command", false, {0x03, 0x00, 0x01, 0x99}, Bytes{0x03, 0x01, 0x00}},
        {"ID asked with another family", false, {0x05, 0x00, 0x02}, Bytes{0x05, 0x02, 0xFF, 0xFF}},
        {"ID of an empty socket", true, kId, Bytes{0x05, 0x02, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Host host(ChipType::Flash25, 4096, unpaced(), c.emptySocket);
        EXPECT_EQ(host.exchange(c.command, 30ms), c.answer);
    }
}

TEST(Firmware, ReadDataEndsWithTheFirstShortTransferAndWrapsAtTheChipsEnd) {
    Host host(ChipType::Flash25, 0x10000);
    const Bytes contents = pattern(0x10000);
    host.firmware.setChipContents(0, contents);
    for (uint32_t length : {0u, 4096u, 12345u}) {
        SCOPED_TRACE(length);
        ASSERT_EQ(host.exchange(readCommand(1, 100, length)), (Bytes{0x01, 0x01, 0x00}));
        EXPECT_EQ(host.readPhase(length + 64),
                  Bytes(contents.begin() + 100, contents.begin() + 100 + length));
        EXPECT_FALSE(host.in(64, 10ms)); // nothing follows
    }
    // Addresses wrap, however far past the end they start.
    ASSERT_TRUE(host.exchange(readCommand(1, 0xFFFFFFF0, 32)));
    Bytes wrapped(contents.end() - 16, contents.end());
    wrapped.insert(wrapped.end(), contents.begin(), contents.begin() + 16);
    EXPECT_EQ(host.readPhase(96), wrapped);
    // A new command ends a read the host did not finish.
    ASSERT_TRUE(host.exchange(readCommand(1, 0, 0x10000)));
    EXPECT_EQ(host.in(4096)->size(), 4096u);
    EXPECT_EQ(host.exchange(kId), kIdAnswer);
    EXPECT_FALSE(host.in(64, 10ms));
}

TEST(Firmware, FlashOnlyClearsBitsEepromsTakeBytesAnotherFamilyChangesNothing) {
    Host host(ChipType::Flash25, 8192);
    sim::ProgrammerFirmware& firmware = host.firmware;
    const Bytes data = pattern(8192, 1);
    firmware.setChipContents(0, Bytes(8192, 0x5A)); // programmed before
    ASSERT_EQ(host.exchange(writeCommand(1, 0, 8192)), (Bytes{0x02, 0x01, 0x01}));
    ASSERT_TRUE(host.writePhase(data));
    EXPECT_EQ(host.out({}), TransferStatus::Done); // the link's closing zero-length write
    for (size_t i = 0; i < 8192; i += 97)
        EXPECT_EQ(firmware.chipContents()[i], data[i] & 0x5A);
    const Bytes anded = firmware.chipContents();
    ASSERT_TRUE(host.exchange({0x04, 0x01, 0x03})); // erase with another family's byte
    EXPECT_EQ(firmware.chipContents(), anded);
    ASSERT_TRUE(host.exchange({0x04, 0x01, 0x01}));
    ASSERT_TRUE(host.exchange(writeCommand(1, 8190, 4))); // writes wrap too
    ASSERT_TRUE(host.writePhase({1, 2, 3, 4}));
    Bytes expected(8192, 0xFF);
    expected[8190] = 1, expected[8191] = 2, expected[0] = 3, expected[1] = 4;
    EXPECT_EQ(firmware.chipContents(), expected);
    for (ChipType type : {ChipType::Eeprom24, ChipType::Eeprom25, ChipType::Eeprom93}) {
        SCOPED_TRACE(int(type));
        Host eepromHost(type, 2048);
        sim::ProgrammerFirmware& chip = eepromHost.firmware;
        chip.setChipContents(0, pattern(2048, 5));
        ASSERT_TRUE(eepromHost.exchange(writeCommand(sim::familyCodeOf(type), 0, 2048, 16)));
        ASSERT_TRUE(eepromHost.writePhase(pattern(2048, 9)));
        EXPECT_EQ(chip.chipContents(), pattern(2048, 9));
        // Commands with the flash family byte read FF and write nothing.
        ASSERT_TRUE(eepromHost.exchange(readCommand(1, 0, 100)));
        EXPECT_EQ(eepromHost.readPhase(164), Bytes(100, 0xFF));
        ASSERT_TRUE(eepromHost.exchange(writeCommand(1, 0, 100)));
        ASSERT_TRUE(eepromHost.writePhase(Bytes(100, 0)));
        EXPECT_EQ(chip.chipContents(), pattern(2048, 9));
    }
}

TEST(Firmware, AWriteDataPhaseTakesCommandsAsDataUntilTwoSecondsWithoutData) {
    Host host(ChipType::Flash25, 4096);
    ASSERT_TRUE(host.exchange(writeCommand(1, 0, 4096)));
    ASSERT_TRUE(host.writePhase(Bytes(100, 0x00)));
    EXPECT_EQ(host.exchange(kId, 20ms), std::nullopt);
    EXPECT_EQ(host.firmware.chipContents()[100], 0x05);
    std::this_thread::sleep_for(2100ms);
    EXPECT_EQ(host.exchange(kId), kIdAnswer);
    EXPECT_EQ(host.firmware.chipContents()[103], 0xFF);
}

TEST(Firmware, AStalledDeviceTakesAndSendsNothingUntilUnpluggedAndPoweredUp) {
    sim::FirmwareOptions options = unpaced();
    options.faults.stallAfterDataBytes = 10000;
    Host host(ChipType::Flash25, 0x10000, options);
    sim::ProgrammerFirmware& firmware = host.firmware;
    ASSERT_TRUE(host.exchange(readCommand(1, 0, 0x10000)));
    EXPECT_EQ(host.in(4096)->size(), 4096u);
    EXPECT_EQ(host.in(4096)->size(), 4096u);
    EXPECT_EQ(host.in(4096, 20ms), std::nullopt);
    EXPECT_EQ(host.out(kId, 20ms), TransferStatus::NotYet);
    std::thread unplugger([&] {
        std::this_thread::sleep_for(50ms);
        firmware.unplug();
    });
    uint8_t buffer[64];
    EXPECT_EQ(firmware.hostIn(buffer, 64, sim::Clock::now() + 5s).status, TransferStatus::Gone);
    unplugger.join();
    firmware.powerCycle();
    EXPECT_EQ(host.exchange(kId), kIdAnswer);
}

TEST(Firmware, ChipImageIsLoadedAndWrittenBackAndStaleTemporariesGo) {
    TempFolder folder;
    const std::string image = folder.file("chip.bin");
    // A save cut short by a process that is gone, and one of a process still running.
    const std::string stale = folder.write("chip.bin.tmp-999999999", "x"),
                      live = folder.write("chip.bin.tmp-1", "x");
    {
        Host host(ChipType::Flash25, 4096);
        ASSERT_TRUE(host.firmware.attachImage(image));
        EXPECT_EQ(host.firmware.chipContents(), Bytes(4096, 0xFF)); // missing file: erased
        EXPECT_FALSE(fs::exists(image));
        ASSERT_TRUE(host.exchange(writeCommand(1, 16, 3)));
        ASSERT_TRUE(host.writePhase({0x12, 0x34, 0x56}));
        EXPECT_EQ(fs::file_size(image), 4096u);
    }
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live));
    Host host(ChipType::Flash25, 4096);
    ASSERT_TRUE(host.firmware.attachImage(image)); // exactly the chip's size
    const Bytes loaded = host.firmware.chipContents();
    EXPECT_EQ(Bytes(loaded.begin() + 16, loaded.begin() + 19), (Bytes{0x12, 0x34, 0x56}));
    // A larger file is refused and left alone: writing it back would cut it short.
    const std::string large = folder.write("large.bin", std::string(5000, 'L'));
    std::string error;
    EXPECT_FALSE(host.firmware.attachImage(large, &error));
    EXPECT_NE(error.find("5000"), std::string::npos) << error;
    EXPECT_EQ(fs::file_size(large), 5000u);
}

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
                                               {"--bridge", "ch348"},
                                               {"--sfdp", "odd"},
                                               {"--protect", "1G"},
                                               {"--org", "12"},
                                               {"--bridge", "ch341a", "--chip", "EN25T80"},
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
