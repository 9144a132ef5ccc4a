// Read and write data phases: boundaries, wrap-around, family rules, pacing.
#include "sim/ChipModel.h"
#include "tests/sim/FirmwareHost.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>

using namespace simtest;
using sim::ProgrammerFirmware;
using sim::TransferStatus;

namespace {

Bytes pattern(size_t size, uint8_t seed = 0) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
    }
    return bytes;
}

} // namespace

TEST(FirmwareDataPhase, ReadEndsWithAShortTransferAtEveryBoundary) {
    const uint32_t capacity = 64 * 1024;
    const ChipInfo chip = makeChip(ChipType::Flash25, capacity);
    ProgrammerFirmware firmware(&chip, unpaced());
    FirmwareHost host(firmware);
    const Bytes contents = pattern(capacity);
    firmware.setChipContents(0, contents);

    for (uint32_t length : {0u, 1u, 63u, 64u, 65u, 4095u, 4096u, 4097u, 8192u, 12345u}) {
        SCOPED_TRACE(length);
        const uint32_t address = 100;
        ASSERT_EQ(host.exchange(readCommand(1, address, length)), (Bytes{0x01, 0x01, 0x00}));
        std::vector<uint32_t> asked;
        const Bytes data = host.readPhase(length + 64, &asked);
        EXPECT_EQ(data, Bytes(contents.begin() + address, contents.begin() + address + length));
        // Nothing more follows the short transfer.
        EXPECT_FALSE(host.in(64, 20ms));
    }
    EXPECT_EQ(firmware.stats().dataBytesOut,
              0u + 1 + 63 + 64 + 65 + 4095 + 4096 + 4097 + 8192 + 12345);
}

TEST(FirmwareDataPhase, ReadOnABoundaryEndsWithAZeroLengthTransfer) {
    const ChipInfo chip = makeChip(ChipType::Eeprom24, 256);
    ProgrammerFirmware firmware(&chip, unpaced());
    FirmwareHost host(firmware);
    ASSERT_TRUE(host.exchange(readCommand(2, 0, 128)));
    EXPECT_EQ(host.in(64)->size(), 64u);
    EXPECT_EQ(host.in(64)->size(), 64u);
    EXPECT_EQ(host.in(64), Bytes{});
    EXPECT_FALSE(host.in(64, 20ms));
}

TEST(FirmwareDataPhase, ReadsAndWritesWrapAtTheEndOfTheChip) {
    const ChipInfo chip = makeChip(ChipType::Eeprom25, 512);
    ProgrammerFirmware firmware(&chip, unpaced());
    FirmwareHost host(firmware);
    const Bytes contents = pattern(512, 3);
    firmware.setChipContents(0, contents);

    ASSERT_TRUE(host.exchange(readCommand(3, 500, 30)));
    Bytes expected(contents.begin() + 500, contents.end());
    expected.insert(expected.end(), contents.begin(), contents.begin() + 18);
    EXPECT_EQ(host.readPhase(94), expected);

    // A read far past the end (and longer than the chip) still stays inside it.
    ASSERT_TRUE(host.exchange(readCommand(3, 0xFFFFFF00, 1024)));
    const Bytes far = host.readPhase(1024 + 64);
    ASSERT_EQ(far.size(), 1024u);
    EXPECT_EQ(far[0], contents[0xFFFFFF00u % 512]);

    ASSERT_TRUE(host.exchange(writeCommand(3, 510, 4)));
    ASSERT_TRUE(host.writePhase({1, 2, 3, 4}));
    const Bytes after = firmware.chipContents();
    EXPECT_EQ(after[510], 1);
    EXPECT_EQ(after[511], 2);
    EXPECT_EQ(after[0], 3);
    EXPECT_EQ(after[1], 4);
    EXPECT_EQ(after.size(), 512u);
}

TEST(FirmwareDataPhase, FlashProgramsByClearingBitsEepromTakesBytesAsGiven) {
    const ChipInfo flash = makeChip(ChipType::Flash25, 8192);
    ProgrammerFirmware firmware(&flash, unpaced());
    FirmwareHost host(firmware);
    const Bytes first = pattern(8192, 1);
    const Bytes second = pattern(8192, 77);

    ASSERT_EQ(host.exchange(writeCommand(1, 0, 8192)), (Bytes{0x02, 0x01, 0x01}));
    ASSERT_TRUE(host.writePhase(first));
    EXPECT_EQ(firmware.chipContents(), first);
    // The link ends a 4096-multiple write with a zero-length transfer: harmless.
    EXPECT_EQ(host.out({}).status, TransferStatus::Done);

    // A second write without erase: old AND new, so verify would fail on a real chip.
    ASSERT_TRUE(host.exchange(writeCommand(1, 0, 8192)));
    ASSERT_TRUE(host.writePhase(second));
    Bytes anded(8192);
    for (size_t i = 0; i < anded.size(); ++i) {
        anded[i] = first[i] & second[i];
    }
    EXPECT_EQ(firmware.chipContents(), anded);
    EXPECT_NE(firmware.chipContents(), second);

    ASSERT_EQ(host.exchange({0x04, 0x01, 0x01}), (Bytes{0x04, 0x01, 0x01}));
    ASSERT_TRUE(host.exchange(writeCommand(1, 0, 8192)));
    ASSERT_TRUE(host.writePhase(second));
    EXPECT_EQ(firmware.chipContents(), second);
    EXPECT_EQ(firmware.stats().dataBytesIn, 3u * 8192);

    for (ChipType type : {ChipType::Eeprom24, ChipType::Eeprom25, ChipType::Eeprom93}) {
        const ChipInfo eeprom = makeChip(type, 2048);
        ProgrammerFirmware eepromFirmware(&eeprom, unpaced());
        FirmwareHost eepromHost(eepromFirmware);
        const uint8_t family = sim::familyCodeOf(type);
        eepromFirmware.setChipContents(0, pattern(2048, 5));
        ASSERT_TRUE(eepromHost.exchange(writeCommand(family, 0, 2048, 16)));
        ASSERT_TRUE(eepromHost.writePhase(pattern(2048, 9)));
        EXPECT_EQ(eepromFirmware.chipContents(), pattern(2048, 9));
    }
}

TEST(FirmwareDataPhase, AnotherFamilyOrAnEmptySocketReadsErasedAndIgnoresWrites) {
    const ChipInfo chip = makeChip(ChipType::Eeprom24, 256);
    ProgrammerFirmware firmware(&chip, unpaced());
    FirmwareHost host(firmware);
    firmware.setChipContents(0, pattern(256));

    ASSERT_EQ(host.exchange(readCommand(1, 0, 100)), (Bytes{0x01, 0x01, 0x00}));
    EXPECT_EQ(host.readPhase(164), Bytes(100, 0xFF));
    ASSERT_EQ(host.exchange(writeCommand(4, 0, 100)), (Bytes{0x02, 0x01, 0x01}));
    ASSERT_TRUE(host.writePhase(Bytes(100, 0x00)));
    EXPECT_EQ(firmware.chipContents(), pattern(256));

    ProgrammerFirmware empty(nullptr, unpaced());
    FirmwareHost emptyHost(empty);
    ASSERT_TRUE(emptyHost.exchange(readCommand(1, 0, 300)));
    EXPECT_EQ(emptyHost.readPhase(364), Bytes(300, 0xFF));
    ASSERT_TRUE(emptyHost.exchange(writeCommand(1, 0, 10)));
    EXPECT_TRUE(emptyHost.writePhase(Bytes(10, 0)));
    EXPECT_TRUE(emptyHost.exchange({0x03, 0x00, 0x01})); // back in command mode
}

TEST(FirmwareDataPhase, ANewCommandEndsAnUnfinishedRead) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 65536);
    ProgrammerFirmware firmware(&chip, unpaced());
    FirmwareHost host(firmware);
    ASSERT_TRUE(host.exchange(readCommand(1, 0, 65536)));
    EXPECT_EQ(host.in(4096)->size(), 4096u);
    EXPECT_EQ(host.exchange({0x05, 0x00, 0x01}), (Bytes{0x05, 0x02, 0xEF, 0x14}));
    EXPECT_FALSE(host.in(64, 20ms));
}

TEST(FirmwareDataPhase, AnAbandonedWriteGivesTheFirmwareBackAfterTwoIdleSeconds) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 4096);
    ProgrammerFirmware firmware(&chip, unpaced());
    FirmwareHost host(firmware);
    ASSERT_TRUE(host.exchange(writeCommand(1, 0, 4096)));
    ASSERT_TRUE(host.writePhase(Bytes(100, 0x00)));
    // Within the idle limit, a "command" is still data.
    EXPECT_EQ(host.exchange({0x05, 0x00, 0x01}, 20ms), std::nullopt);
    std::this_thread::sleep_for(2100ms);
    EXPECT_EQ(host.exchange({0x05, 0x00, 0x01}), (Bytes{0x05, 0x02, 0xEF, 0x14}));
    EXPECT_EQ(firmware.chipContents()[100], 0x05);
}

TEST(FirmwareDataPhase, PacingKeepsTheRateOverTheWholePhase) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 1 << 20);
    sim::FirmwareOptions options;
    options.pacing.bytesPerSecond = 400'000; // 80,000 bytes take 200 ms
    ProgrammerFirmware firmware(&chip, options);
    FirmwareHost host(firmware);

    const auto start = sim::Clock::now();
    ASSERT_TRUE(host.exchange(readCommand(1, 0, 80'000)));
    // A transfer asked before it is due says when to come back.
    uint8_t buffer[4096];
    const auto early = firmware.hostIn(buffer, 4096);
    ASSERT_EQ(early.status, TransferStatus::NotYet);
    EXPECT_GT(early.retryAt, start + 9ms);
    EXPECT_LT(early.retryAt, sim::Clock::now() + 11ms);
    EXPECT_EQ(host.readPhase(80'064).size(), 80'000u);
    const auto readTime = sim::Clock::now() - start;
    EXPECT_GE(readTime, 199ms);
    EXPECT_LT(readTime, 1500ms);

    // Writes: the same rate plus the page-program time (80,000 / 256 = 312 pages).
    sim::Pacing pacing = options.pacing;
    pacing.pageProgramUs = 500;
    firmware.setPacing(pacing);
    const auto writeStart = sim::Clock::now();
    ASSERT_TRUE(host.exchange(writeCommand(1, 0, 80'000, 256)));
    ASSERT_TRUE(host.writePhase(Bytes(80'000, 0x00)));
    const auto writeTime = sim::Clock::now() - writeStart;
    EXPECT_GE(writeTime, 199ms + 312 * 500us);
    EXPECT_LT(writeTime, 2000ms);
}
