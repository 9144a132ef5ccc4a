// The command protocol through the real link to a simulated programmer.
#include "protocol/Programmer.h"
#include "tests/support/ScriptedBackend.h"
#include "tests/support/SimProgrammer.h"
#include "usb/UsbLink.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace testsupport;
using namespace std::chrono_literals;

namespace {

OpStatus pollToEnd(Programmer& programmer) {
    OpStatus status;
    while ((status = programmer.poll()) != OpStatus::Idle && status != OpStatus::Failed)
        std::this_thread::sleep_for(2ms);
    return status;
}

class Protocol : public ::testing::Test {
  protected:
    void plugIn(const ChipInfo& chip, sim::FirmwareOptions options = unpaced()) {
        device_ = std::make_unique<SimProgrammer>(&chip, options);
        ASSERT_EQ(link_.open(), 1);
        programmer_.init(&link_);
        programmer_.prepareFamily(chip);
    }
    sim::ProgrammerFirmware& firmware() { return device_->firmware(); }
    Bytes lastCommand() { return firmware().commandLog().back(); }
    std::unique_ptr<SimProgrammer> device_;
    UsbLink link_;
    FamilyParams params_; // this programmer's own, as each of a CLI's programmers has
    Programmer programmer_{params_};
};

TEST_F(Protocol, EveryCommandGoesOutByteForByteAndDoesWhatItSays) {
    sim::FirmwareOptions options = unpaced();
    options.versionText = "Brimwick SIM V1.00 " + std::string(80, '#'); // 99: two packets
    plugIn(testChip(ChipType::Flash25, 1 << 20, "TEST", 0x1C, 0x13), options);
    const Bytes contents = pattern(0x400, 5);
    firmware().setChipContents(0x10, contents);
    Bytes dest(0x10000, 0);
    ASSERT_EQ(programmer_.startReadChip(dest.data(), 0x10, 0x400), 1);
    EXPECT_EQ(lastCommand(), (Bytes{0x01, 0x0A, 1, 0, 0, 0, 0x10, 0, 0, 0x04, 0, 3, 0, 0, 0}));
    EXPECT_EQ(pollToEnd(programmer_), OpStatus::Idle);
    EXPECT_EQ(Bytes(dest.begin(), dest.begin() + 0x400), contents);
    EXPECT_EQ(dest[0x400], 0); // only the bytes asked reach the destination
    Bytes source = pattern(0x300, 8);
    ASSERT_EQ(programmer_.startErase(), 1);
    EXPECT_EQ(lastCommand(), (Bytes{0x04, 0x01, 0x01}));
    EXPECT_EQ(pollToEnd(programmer_), OpStatus::Idle);
    EXPECT_EQ(lastCommand(), (Bytes{0x03, 0x00, 0x01}));
    ASSERT_EQ(programmer_.startWriteChip(source.data(), 0x012345, 0x300, 256), 1);
    EXPECT_EQ(lastCommand(),
              (Bytes{0x02, 0x0C, 1, 0, 0x01, 0x23, 0x45, 0, 0, 0x03, 0, 0x01, 0x00, 3, 0, 0, 0}));
    const Bytes sent = source;
    std::fill(source.begin(), source.end(), 0); // the data goes from a copy
    EXPECT_EQ(pollToEnd(programmer_), OpStatus::Idle);
    const Bytes chip = firmware().chipContents();
    EXPECT_EQ(Bytes(chip.begin() + 0x012345, chip.begin() + 0x012645), sent);
    uint8_t ids[2] = {};
    ASSERT_EQ(programmer_.readChipId(ids), 1);
    EXPECT_EQ(lastCommand(), (Bytes{0x05, 0x00, 0x01}));
    EXPECT_EQ(Bytes(ids, ids + 2), (Bytes{0x1C, 0x13}));
    char text[Programmer::kVersionTextSize];
    ASSERT_EQ(programmer_.readFirmwareVersion(text), 1);
    EXPECT_EQ(lastCommand(), (Bytes{0x07, 0x00}));
    EXPECT_EQ(text, options.versionText);
    ASSERT_EQ(programmer_.readChipId(ids), 1); // no piece of the long answer is left over
}

TEST_F(Protocol, TheFamilyBytesFollowTheChipAndBelongToTheirProgrammer) {
    plugIn(testChip(ChipType::Flash25, 1 << 20));
    auto chip = [](ChipType type, uint32_t capacity, uint8_t deviceId = 0x10, uint8_t width = 8,
                   uint8_t addressWidth = 7) {
        ChipInfo info = testChip(type, capacity, "T", 0, deviceId);
        info.memoryWidth = width;
        info.addressWidth = addressWidth;
        return info;
    };
    struct Case {
        const char* name;
        ChipInfo chip;
        uint8_t family, addressMode, widthMode;
    } cases[] = {
        {"25 FLASH, a fresh run", chip(ChipType::Flash25, 1 << 20), 1, 3, 0},
        {"24 EEPROM of 2 KiB", chip(ChipType::Eeprom24, 2048), 2, 0x13, 0},
        {"24 EEPROM of 4 KiB", chip(ChipType::Eeprom24, 4096), 2, 0x23, 0},
        {"24 EEPROM with device ID FE", chip(ChipType::Eeprom24, 65536, 0xFE), 2, 3, 0},
        {"25 EEPROM of 512 bytes", chip(ChipType::Eeprom25, 512), 3, 3, 0},
        {"25 EEPROM of 1 KiB", chip(ChipType::Eeprom25, 1024), 3, 0x13, 0},
        {"93 EEPROM x16, 6 address bits", chip(ChipType::Eeprom93, 128, 0, 16, 6), 4, 0x63, 1},
        {"93 EEPROM x8, 7 address bits", chip(ChipType::Eeprom93, 128, 0, 8, 7), 4, 0x73, 3},
        {"25 FLASH keeps the last width byte", chip(ChipType::Flash25, 1 << 20), 1, 3, 3},
    };
    Bytes dest(16);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(programmer_.prepareFamily(c.chip), 1);
        ASSERT_EQ(programmer_.startReadChip(dest.data(), 0, 16), 1);
        EXPECT_EQ(pollToEnd(programmer_), OpStatus::Idle);
        const Bytes sent = lastCommand();
        EXPECT_EQ(sent[2], c.family);
        EXPECT_EQ(Bytes(sent.begin() + 11, sent.end()), (Bytes{c.addressMode, c.widthMode, 0, 0}));
    }
    // The window's programmer uses the one set of the process; this one its own.
    familyParams() = FamilyParams{};
    Programmer window;
    window.prepareFamily(chip(ChipType::Eeprom25, 512));
    EXPECT_EQ(familyParams().familyCode, 3);
    EXPECT_EQ(params_.familyCode, 1);
}

TEST_F(Protocol, OnlyTheAnswersOfTheTableAreTaken) {
    plugIn(testChip(ChipType::Flash25, 4096));
    Bytes dest(64, 0xAB);
    int status = -1;
    uint8_t ids[2] = {0x11, 0x22};
    char text[Programmer::kVersionTextSize];
    enum Op { Erase, Read, Write, Status, Id, Version };
    const std::function<int()> run[] = {
        [&] { return programmer_.startErase(); },
        [&] { return programmer_.startReadChip(dest.data(), 0, 64); },
        [&] { return programmer_.startWriteChip(dest.data(), 0, 0, 256); },
        [&] { return programmer_.queryEraseStatus(&status); },
        [&] { return programmer_.readChipId(ids); },
        [&] { return programmer_.readFirmwareVersion(text); }};
    struct Case {
        Op op;
        std::vector<Bytes> packets; // what comes instead of the real answer
        int expected;
    } cases[] = {
        {Erase, {{0x04, 0x00, 0x01}}, 1}, // byte 1 is not looked at
        {Erase, {{0x04, 0x01, 0x00}}, 0},
        {Read, {{0x01, 0x01, 0x01}}, 0},
        {Write, {{0x02, 0x01, 0x00}}, 0},
        {Status, {{0x03, 0x01}}, 0},
        {Id, {{0x05, 0x03, 0xC2, 0x20}}, 0},
        {Id, {{0x05, 0x02, 0xC2}}, 0},
        // Another command's answer, an empty packet and one longer than 4 bytes first.
        {Id, {{0x03, 0x01, 0x00}, {}, {0x05, 0x02, 1, 2, 3}, {0x05, 0x02, 0xAA, 0xBB}}, 1},
        {Status, {{0x03, 0x01, 0x07}}, 1},
        {Version, {{0x07, 0x09, 'V', '2', 0, 'Z'}}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.packets));
        ASSERT_TRUE(link_.bringInStep()); // the packets must not be drained
        sim::Faults faults;
        faults.dropAnswer.atCommand = firmware().stats().commands + 1;
        firmware().setFaults(faults);
        for (const Bytes& packet : c.packets)
            firmware().injectPacket(packet);
        EXPECT_EQ(run[c.op](), c.expected);
        EXPECT_EQ(link_.inStep(), c.expected == 1); // a refused answer leaves it out of step
        if (programmer_.state() != BusyState::Idle)
            programmer_.cancel();
    }
    EXPECT_EQ(status, 7);
    EXPECT_EQ(Bytes(ids, ids + 2), (Bytes{0xAA, 0xBB}));
    EXPECT_STREQ(text, "V2");
    EXPECT_EQ(dest, Bytes(64, 0xAB));
    EXPECT_EQ(firmware().chipContents(), Bytes(4096, 0xFF));
    // A flood of other packets ends the wait; the simulator's own stray and over-long
    // packets are skipped.
    ASSERT_TRUE(link_.bringInStep());
    for (uint32_t i = 0; i <= Programmer::kMaxSkippedPackets; ++i)
        firmware().injectPacket({0x06, 0x00});
    EXPECT_EQ(programmer_.readChipId(ids), 0);
    ASSERT_TRUE(link_.bringInStep());
    sim::Faults noisy;
    noisy.strayPackets.probability = noisy.overlongPackets.probability = 1.0;
    firmware().setFaults(noisy);
    ASSERT_EQ(programmer_.readChipId(ids), 1);
    EXPECT_EQ(ids[0], 0xEF);
}

TEST_F(Protocol, PollingMovesTheProgressAndRefusesStartsWhileBusy) {
    sim::FirmwareOptions options;
    options.pacing.bytesPerSecond = 1'000'000; // 256 KiB in about a quarter second
    options.faults.extraReadBytes = 64;
    plugIn(testChip(ChipType::Flash25, 256 * 1024), options);
    Bytes dest(256 * 1024 + 64, 0x00);
    ASSERT_EQ(programmer_.startReadChip(dest.data(), 0, 256 * 1024), 1);
    std::vector<uint16_t> seen;
    OpStatus status;
    while ((status = programmer_.poll()) == OpStatus::Reading) {
        seen.push_back(programmer_.getProgress());
        Bytes small(16);
        EXPECT_EQ(programmer_.startReadChip(small.data(), 0, 16), 0);
        EXPECT_EQ(programmer_.startErase(), 0);
        EXPECT_EQ(programmer_.readFirmwareVersion(nullptr), 0);
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(status, OpStatus::Idle);
    EXPECT_EQ(firmware().commandLog().size(), 1u); // nothing sent while busy
    ASSERT_GT(seen.size(), 10u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_LT(seen.front(), 20);
    EXPECT_EQ(Bytes(dest.end() - 64, dest.end()), Bytes(64, 0x00)); // spare bytes kept out
    EXPECT_EQ(firmware().stats().dataBytesOut, 256 * 1024 + 64u);   // but taken off the pipe
    EXPECT_EQ(programmer_.poll(), OpStatus::Idle);
    EXPECT_EQ(programmer_.getProgress(), 100);
    // Nothing to move: over at once, nothing divided by zero.
    uint8_t guard = 0x99;
    ASSERT_EQ(programmer_.startWriteChip(&guard, 0, 0, 256), 1);
    EXPECT_EQ(pollToEnd(programmer_), OpStatus::Idle);
    EXPECT_EQ(programmer_.getProgress(), 100);
    // An erase whose status goes unanswered fails once, its progress kept.
    sim::Faults faults;
    faults.dropAnswer.atCommand = firmware().stats().commands + 3;
    firmware().setFaults(faults);
    firmware().setPacing({0, 5000, 0});
    ASSERT_EQ(programmer_.startErase(), 1);
    EXPECT_EQ(programmer_.poll(), OpStatus::Erasing);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(programmer_.poll(), OpStatus::Failed);
    EXPECT_GT(msSince(start), 950);
    EXPECT_EQ(programmer_.getProgress(), 0);
    EXPECT_EQ(programmer_.poll(), OpStatus::Idle);
}

TEST(ShortDataPhases, AReadOrWriteThatMovesLessThanAskedFailsAndChangesNothing) {
    auto device = std::make_shared<ScriptedBackend>();
    UsbLink link({device});
    ASSERT_EQ(link.open(), 1);
    FamilyParams params;
    Programmer programmer(params);
    programmer.init(&link);
    // 8 KiB of a 1 MiB chip, then the end-of-data packet.
    device->queue({0x01, 0x01, 0x00});
    device->queue(Bytes(4096, 0x11));
    device->queue(Bytes(4096, 0x22));
    device->queue({});
    Bytes dest(1 << 20, 0x77);
    ASSERT_EQ(programmer.startReadChip(dest.data(), 0, 1 << 20), 1);
    EXPECT_EQ(pollToEnd(programmer), OpStatus::Failed);
    EXPECT_EQ(dest, Bytes(1 << 20, 0x77));
    EXPECT_FALSE(link.inStep());
    // A pipe that takes 100 of the 4096 bytes of a chunk (on a link still in step).
    UsbLink other({device});
    ASSERT_EQ(other.open(), 1);
    programmer.init(&other);
    device->queue({0x02, 0x01, 0x01});
    device->setOutLimit(100);
    const Bytes data(4096, 0x33);
    ASSERT_EQ(programmer.startWriteChip(data.data(), 0, 4096, 256), 1);
    EXPECT_EQ(pollToEnd(programmer), OpStatus::Failed);
    EXPECT_FALSE(other.inStep());
    // A command the pipe took only in part is never answered.
    UsbLink third({device});
    ASSERT_EQ(third.open(), 1);
    programmer.init(&third);
    device->setOutLimit(5);
    device->queue({0x01, 0x01, 0x00});
    EXPECT_EQ(programmer.startReadChip(dest.data(), 0, 16), 0);
}

} // namespace
