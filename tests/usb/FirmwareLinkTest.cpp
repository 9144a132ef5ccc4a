// Command exchanges and data phases with the simulated programmer's firmware, the way
// the programmer protocol drives the link.
#include "tests/usb/FirmwareBench.h"
#include "tests/usb/ScriptedDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace usbtest {

namespace {

ChipInfo chip(ChipType type, const char* name, uint32_t capacity) {
    ChipInfo info{};
    info.type = type;
    std::strncpy(info.name, name, sizeof info.name - 1);
    info.capacity = capacity;
    info.programMode = 1;
    info.pageSize = 256;
    info.memoryWidth = 8;
    return info;
}

// One command packet out (500 ms) and its answer back (1000 ms), as a command exchange does.
std::vector<uint8_t> commandExchange(UsbLink& link, const std::vector<uint8_t>& command) {
    if (link.timedWrite(command.data(), static_cast<uint32_t>(command.size()), nullptr, 500) != 1)
        return {};
    uint8_t packet[64];
    std::atomic<uint32_t> count{0};
    if (link.timedRead(packet, 64, &count, 1000) != 1)
        return {};
    return std::vector<uint8_t>(packet, packet + count.load());
}

TEST(FirmwareLink, FirmwareVersionAnswerArrivesWhole) {
    ChipInfo flash = chip(ChipType::Flash25, "EN25T80", 0x100000);
    sim::ProgrammerFirmware firmware(&flash);
    auto bench = makeFirmwareBench(firmware);
    std::vector<uint8_t> answer = commandExchange(bench->link(), {0x07, 0x00});
    ASSERT_GE(answer.size(), 3u);
    EXPECT_EQ(answer[0], 0x07);
    std::string text(reinterpret_cast<const char*>(answer.data()) + 2);
    EXPECT_EQ(text, sim::kDefaultVersionText);
}

TEST(FirmwareLink, ChipReadDataPhaseBringsTheChipContents) {
    ChipInfo flash = chip(ChipType::Flash25, "W25X10", 0x20000);
    sim::ProgrammerFirmware firmware(&flash);
    auto contents = pattern(0x10000, 0x3C);
    firmware.setChipContents(0x8000, contents);
    auto bench = makeFirmwareBench(firmware);
    UsbLink& link = bench->link();

    // Read 0x10000 bytes from 0x8000: family 1, address mode 3.
    std::vector<uint8_t> command = {0x01, 0x0A, 0x01, 0x00, 0x00, 0x80, 0x00, 0x00,
                                    0x01, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00};
    ASSERT_EQ(commandExchange(link, command), (std::vector<uint8_t>{0x01, 0x01, 0x00}));

    std::vector<uint8_t> buffer(0x10000 + 64);
    std::atomic<uint32_t> count{0};
    ASSERT_EQ(link.startRead(buffer.data(), 0x10000 + 64, &count, 100000), 1);
    int result = -1;
    uint32_t lastSeen = 0;
    bool countNeverFell = true;
    while (!link.pollRead(&result)) {
        uint32_t now = count.load();
        countNeverFell = countNeverFell && now >= lastSeen;
        lastSeen = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(countNeverFell);
    ASSERT_EQ(count.load(), 0x10000u);
    EXPECT_TRUE(std::equal(contents.begin(), contents.end(), buffer.begin()));

    // The link is ready for the next command straight away.
    EXPECT_EQ(commandExchange(link, {0x07, 0x00}).at(0), 0x07);
}

TEST(FirmwareLink, ChipWriteDataPhaseProgramsTheChip) {
    ChipInfo eeprom = chip(ChipType::Eeprom24, "24C02", 256);
    sim::ProgrammerFirmware firmware(&eeprom);
    auto bench = makeFirmwareBench(firmware);
    UsbLink& link = bench->link();

    std::vector<uint8_t> command = {0x02, 0x0C, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0x01, 0x00, 0x00, 0x08, 0x13, 0x00, 0x00, 0x00};
    ASSERT_EQ(commandExchange(link, command), (std::vector<uint8_t>{0x02, 0x01, 0x01}));
    auto data = pattern(256, 0x11);
    std::atomic<uint32_t> count{0};
    ASSERT_EQ(link.startWrite(data.data(), 256, &count, 1000000), 1);
    int result = -1;
    while (!link.pollWrite(&result))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(count.load(), 256u);

    // Programmed once the firmware has taken the data; ask it back through the link.
    std::vector<uint8_t> readBack = {0x01, 0x0A, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                     0x00, 0x01, 0x00, 0x13, 0x00, 0x00, 0x00};
    ASSERT_EQ(commandExchange(link, readBack), (std::vector<uint8_t>{0x01, 0x01, 0x00}));
    std::vector<uint8_t> buffer(256 + 64);
    ASSERT_EQ(link.timedRead(buffer.data(), 256 + 64, &count, 100000), 1);
    EXPECT_EQ(count.load(), 256u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), buffer.begin()));
}

TEST(FirmwareLink, UnplugDuringADataPhaseEndsTheReadAtOnce) {
    ChipInfo flash = chip(ChipType::Flash25, "W25X10", 0x20000);
    sim::FirmwareOptions options;
    options.faults.disconnectAfterDataBytes = 10000;
    sim::ProgrammerFirmware firmware(&flash, options);
    auto bench = makeFirmwareBench(firmware);
    UsbLink& link = bench->link();
    std::vector<uint8_t> command = {0x01, 0x0A, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0x01, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00};
    ASSERT_EQ(commandExchange(link, command), (std::vector<uint8_t>{0x01, 0x01, 0x00}));

    std::vector<uint8_t> buffer(0x10000 + 64);
    std::atomic<uint32_t> count{0};
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(link.startRead(buffer.data(), 0x10000 + 64, &count, 100000), 1);
    int result = -1;
    while (!link.pollRead(&result))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(result, 0);
    // Ended by the unplug itself, not by the 2 s without data.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_LE(count.load(), 10000u);
    // Further commands fail at once too.
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(commandExchange(link, {0x07, 0x00}).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST(FirmwareLink, StalledFirmwareFailsTheCommandWithinItsLimits) {
    ChipInfo flash = chip(ChipType::Flash25, "EN25T80", 0x100000);
    sim::FirmwareOptions options;
    options.faults.stallAtCommand = 1;
    sim::ProgrammerFirmware firmware(&flash, options);
    auto bench = makeFirmwareBench(firmware);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(commandExchange(bench->link(), {0x05, 0x00, 0x01}).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(500 + 1000 + 1500));
}

} // namespace

} // namespace usbtest
