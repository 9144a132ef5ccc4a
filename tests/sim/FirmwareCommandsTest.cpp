// The firmware's answer to every command, and what it ignores.
#include "tests/sim/FirmwareHost.h"

#include <gtest/gtest.h>

#include <thread>

using namespace simtest;
using sim::ProgrammerFirmware;
using sim::TransferStatus;

TEST(FirmwareCommands, EveryCommandIsAnsweredWithItsOpcodeFirst) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 1024 * 1024, 0xEF, 0x14);
    ProgrammerFirmware firmware(&chip, unpaced());
    FirmwareHost host(firmware);

    EXPECT_EQ(host.exchange({0x05, 0x00, 0x01}), (Bytes{0x05, 0x02, 0xEF, 0x14}));
    EXPECT_EQ(host.exchange({0x03, 0x00, 0x01}), (Bytes{0x03, 0x01, 0x00}));
    EXPECT_EQ(host.exchange({0x04, 0x01, 0x01}), (Bytes{0x04, 0x01, 0x01}));
    EXPECT_EQ(host.exchange(readCommand(1, 0, 0)), (Bytes{0x01, 0x01, 0x00}));
    EXPECT_EQ(host.in(64), Bytes{}); // the empty data phase ends at once
    EXPECT_EQ(host.exchange(writeCommand(1, 0, 0)), (Bytes{0x02, 0x01, 0x01}));

    const auto version = host.exchange({0x07, 0x00});
    ASSERT_TRUE(version);
    const std::string text = "Brimwick SIM V1.00";
    Bytes expected{0x07, static_cast<uint8_t>(text.size())};
    expected.insert(expected.end(), text.begin(), text.end());
    expected.push_back(0);
    EXPECT_EQ(*version, expected);

    EXPECT_EQ(firmware.stats().commands, 6u);
    EXPECT_EQ(firmware.stats().answersSent, 6u);
    EXPECT_EQ(firmware.commandLog().front(), (Bytes{0x05, 0x00, 0x01}));
}

TEST(FirmwareCommands, UnknownShortAndEmptyPacketsGetNoAnswer) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 4096);
    ProgrammerFirmware firmware(&chip, unpaced());
    FirmwareHost host(firmware);

    EXPECT_EQ(host.out({0x06, 0x00, 0x01}).status, TransferStatus::Done);
    EXPECT_EQ(host.out({0x01, 0x0A, 0x01, 0, 0}).status, TransferStatus::Done); // short read
    EXPECT_EQ(host.out({0x05, 0x00}).status, TransferStatus::Done);             // short ID
    EXPECT_EQ(host.out({}).status, TransferStatus::Done);
    EXPECT_FALSE(host.in(64, 50ms));
    EXPECT_EQ(firmware.stats().answersSent, 0u);

    // Bytes after a complete command do not matter.
    EXPECT_EQ(host.exchange({0x03, 0x00, 0x01, 0x99, 0x98}), (Bytes{0x03, 0x01, 0x00}));
}

TEST(FirmwareCommands, VersionTextIsBoundedAndSplitLikeABulkPipe) {
    sim::FirmwareOptions options = unpaced();
    options.versionText = std::string(150, 'v');
    ProgrammerFirmware firmware(nullptr, options);
    FirmwareHost host(firmware);

    ASSERT_EQ(host.out({0x07, 0x00}).status, TransferStatus::Done);
    const auto first = host.in(64);
    const auto second = host.in(64);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->size(), 64u);
    EXPECT_EQ(second->size(), 2u + 99u + 1u - 64u);
    EXPECT_EQ((*first)[1], 99);
    EXPECT_EQ(second->back(), 0);
}

TEST(FirmwareCommands, ChipIdNeedsAFlashChipOfTheRightFamily) {
    const ChipInfo flash = makeChip(ChipType::Flash25, 4096, 0xC2, 0x13);
    ProgrammerFirmware flashFirmware(&flash, unpaced());
    FirmwareHost flashHost(flashFirmware);
    EXPECT_EQ(flashHost.exchange({0x05, 0x00, 0x01}), (Bytes{0x05, 0x02, 0xC2, 0x13}));
    EXPECT_EQ(flashHost.exchange({0x05, 0x00, 0x02}), (Bytes{0x05, 0x02, 0xFF, 0xFF}));

    const ChipInfo eeprom = makeChip(ChipType::Eeprom24, 256, 0x12, 0x34);
    ProgrammerFirmware eepromFirmware(&eeprom, unpaced());
    FirmwareHost eepromHost(eepromFirmware);
    EXPECT_EQ(eepromHost.exchange({0x05, 0x00, 0x02}), (Bytes{0x05, 0x02, 0xFF, 0xFF}));

    ProgrammerFirmware empty(nullptr, unpaced());
    FirmwareHost emptyHost(empty);
    EXPECT_EQ(emptyHost.exchange({0x05, 0x00, 0x01}), (Bytes{0x05, 0x02, 0xFF, 0xFF}));
    EXPECT_EQ(empty.chipCapacity(), 0u);
}

TEST(FirmwareCommands, EraseStatusIsOneWhileTheEraseRuns) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 4096);
    sim::FirmwareOptions options = unpaced();
    options.pacing.eraseMs = 150;
    ProgrammerFirmware firmware(&chip, options);
    FirmwareHost host(firmware);
    firmware.setChipContents(0, Bytes(4096, 0x00));

    EXPECT_EQ(host.exchange({0x03, 0x00, 0x01}), (Bytes{0x03, 0x01, 0x00}));
    const auto started = sim::Clock::now();
    EXPECT_EQ(host.exchange({0x04, 0x01, 0x01}), (Bytes{0x04, 0x01, 0x01}));
    EXPECT_EQ(host.exchange({0x03, 0x00, 0x01}), (Bytes{0x03, 0x01, 0x01}));
    EXPECT_TRUE(firmware.stats().erasing);
    Bytes status;
    do {
        std::this_thread::sleep_for(20ms);
        status = host.exchange({0x03, 0x00, 0x01}).value_or(Bytes{});
    } while (status == Bytes{0x03, 0x01, 0x01} && sim::Clock::now() - started < 2s);
    EXPECT_EQ(status, (Bytes{0x03, 0x01, 0x00}));
    EXPECT_GE(sim::Clock::now() - started, 150ms);
    EXPECT_EQ(firmware.chipContents(), Bytes(4096, 0xFF));
}

TEST(FirmwareCommands, EraseTouchesOnlyAFlashChipAddressedAsFlash) {
    const ChipInfo flash = makeChip(ChipType::Flash25, 256);
    ProgrammerFirmware firmware(&flash, unpaced());
    FirmwareHost host(firmware);
    firmware.setChipContents(0, Bytes(256, 0x5A));
    EXPECT_EQ(host.exchange({0x04, 0x01, 0x03}), (Bytes{0x04, 0x01, 0x01}));
    EXPECT_EQ(firmware.chipContents(), Bytes(256, 0x5A));

    const ChipInfo eeprom = makeChip(ChipType::Eeprom25, 256);
    ProgrammerFirmware eepromFirmware(&eeprom, unpaced());
    FirmwareHost eepromHost(eepromFirmware);
    eepromFirmware.setChipContents(0, Bytes(256, 0x5A));
    EXPECT_EQ(eepromHost.exchange({0x04, 0x01, 0x03}), (Bytes{0x04, 0x01, 0x01}));
    EXPECT_EQ(eepromFirmware.chipContents(), Bytes(256, 0x5A));
}
