// Every command's bytes on the wire, sent through the real link to a simulated programmer.
#include "tests/protocol/LinkedProgrammer.h"

using namespace prototest;

namespace {

using CommandWire = LinkedProgrammer;

Bytes pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>((i * 13) ^ (i >> 8));
    }
    return bytes;
}

} // namespace

TEST_F(CommandWire, FlashReadOf64KiBFromZero) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 1 << 20);
    plugIn(&chip);
    firmware_->setChipContents(0, pattern(0x10000));
    programmer_.prepareFamily(chip);

    Bytes dest(0x10000, 0x00);
    ASSERT_EQ(programmer_.startReadChip(dest.data(), 0, 0x10000), 1);
    EXPECT_EQ(lastCommand(), (Bytes{0x01, 0x0A, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
                                    0x00, 0x03, 0x00, 0x00, 0x00}));
    EXPECT_EQ(programmer_.state(), BusyState::Reading);
    EXPECT_EQ(pollToEnd(), OpStatus::Idle);
    EXPECT_EQ(dest, pattern(0x10000));
    EXPECT_EQ(programmer_.getProgress(), 100);
    EXPECT_EQ(programmer_.state(), BusyState::Idle);
}

TEST_F(CommandWire, EepromWriteWithEightBytePages) {
    const ChipInfo chip = makeChip(ChipType::Eeprom24, 256, 0, 0x10);
    plugIn(&chip);
    programmer_.prepareFamily(chip);

    Bytes source = pattern(256);
    ASSERT_EQ(programmer_.startWriteChip(source.data(), 0, 256, 8), 1);
    EXPECT_EQ(lastCommand(), (Bytes{0x02, 0x0C, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,
                                    0x00, 0x00, 0x08, 0x13, 0x00, 0x00, 0x00}));
    // The data went from a copy: the caller's buffer may change at once.
    std::fill(source.begin(), source.end(), 0x00);
    EXPECT_EQ(pollToEnd(), OpStatus::Idle);
    EXPECT_EQ(firmware_->chipContents(), pattern(256));
    EXPECT_EQ(programmer_.getProgress(), 100);
}

TEST_F(CommandWire, PageSizeAddressAndLengthAreBigEndian) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 1 << 20);
    plugIn(&chip);
    programmer_.prepareFamily(chip);
    const Bytes source = pattern(0x300);
    ASSERT_EQ(programmer_.startWriteChip(source.data(), 0x012345, 0x300, 256), 1);
    EXPECT_EQ(lastCommand(), (Bytes{0x02, 0x0C, 0x01, 0x00, 0x01, 0x23, 0x45, 0x00, 0x00, 0x03,
                                    0x00, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00}));
    EXPECT_EQ(pollToEnd(), OpStatus::Idle);
    const Bytes chipNow = firmware_->chipContents();
    EXPECT_EQ(Bytes(chipNow.begin() + 0x012345, chipNow.begin() + 0x012645), source);
}

TEST_F(CommandWire, MicrowireWidthModeIsCarriedIntoALaterFlashRead) {
    const ChipInfo flash = makeChip(ChipType::Flash25, 1 << 20);
    plugIn(&flash);
    ChipInfo microwire = makeChip(ChipType::Eeprom93, 128);
    microwire.addressWidth = 7;
    microwire.memoryWidth = 8;
    programmer_.prepareFamily(microwire);
    Bytes dest(16);
    ASSERT_EQ(programmer_.startReadChip(dest.data(), 0x10, 16), 1);
    EXPECT_EQ(lastCommand(), (Bytes{0x01, 0x0A, 0x04, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00,
                                    0x10, 0x73, 0x03, 0x00, 0x00}));
    EXPECT_EQ(pollToEnd(), OpStatus::Idle);
    // The flash chip does not answer a Microwire read.
    EXPECT_EQ(dest, Bytes(16, 0xFF));

    programmer_.prepareFamily(flash);
    ASSERT_EQ(programmer_.startReadChip(dest.data(), 0, 16), 1);
    EXPECT_EQ(lastCommand(), (Bytes{0x01, 0x0A, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0x10, 0x03, 0x03, 0x00, 0x00}));
    EXPECT_EQ(pollToEnd(), OpStatus::Idle);
}

TEST_F(CommandWire, EraseStatusIdAndVersion) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 4096, 0x1C, 0x13);
    sim::FirmwareOptions options = simtest::unpaced();
    options.pacing.eraseMs = 250;
    plugIn(&chip, options);
    firmware_->setChipContents(0, Bytes(4096, 0x00));
    programmer_.prepareFamily(chip);

    uint8_t ids[2] = {};
    ASSERT_EQ(programmer_.readChipId(ids), 1);
    EXPECT_EQ(lastCommand(), (Bytes{0x05, 0x00, 0x01}));
    EXPECT_EQ(ids[0], 0x1C);
    EXPECT_EQ(ids[1], 0x13);

    char text[Programmer::kVersionTextSize];
    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(programmer_.readFirmwareVersion(text), 1);
    EXPECT_EQ(lastCommand(), (Bytes{0x07, 0x00}));
    EXPECT_STREQ(text, "Brimwick SIM V1.00");

    ASSERT_EQ(programmer_.startErase(), 1);
    EXPECT_EQ(lastCommand(), (Bytes{0x04, 0x01, 0x01}));
    EXPECT_EQ(programmer_.poll(), OpStatus::Erasing);
    EXPECT_EQ(lastCommand(), (Bytes{0x03, 0x00, 0x01}));
    EXPECT_EQ(programmer_.getProgress(), 0);
    int statusPolls = 1;
    OpStatus status;
    while ((status = programmer_.poll()) == OpStatus::Erasing) {
        ++statusPolls;
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(status, OpStatus::Idle);
    EXPECT_GE(statusPolls, 3);
    EXPECT_EQ(programmer_.getProgress(), 100);
    EXPECT_EQ(firmware_->chipContents(), Bytes(4096, 0xFF));

    // Status and ID need no idle state; the version does.
    int eraseStatus = -1;
    ASSERT_EQ(programmer_.queryEraseStatus(&eraseStatus), 1);
    EXPECT_EQ(eraseStatus, 0);
}

TEST_F(CommandWire, ReadsAndWritesBeyondTheBufferAreRefusedBeforeSending) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 4096);
    plugIn(&chip);
    programmer_.prepareFamily(chip);
    Bytes small(16);
    EXPECT_EQ(programmer_.startReadChip(small.data(), 0, Programmer::kMaxChipLength + 1), 0);
    EXPECT_EQ(programmer_.startWriteChip(small.data(), 0, 0xFFFFFFFF, 256), 0);
    EXPECT_EQ(programmer_.startReadChip(nullptr, 0, 16), 0);
    EXPECT_EQ(commandsSent(), 0u);
    EXPECT_EQ(programmer_.state(), BusyState::Idle);
}

TEST_F(CommandWire, NoProgrammerNoInit) {
    Programmer unbound;
    uint8_t ids[2] = {7, 7};
    EXPECT_EQ(unbound.readChipId(ids), 0);
    EXPECT_EQ(ids[0], 7);
    EXPECT_EQ(unbound.startErase(), 0);
    EXPECT_EQ(unbound.poll(), OpStatus::Idle);
    // The link finds nothing in an empty simulator folder.
    EXPECT_EQ(link_.open(), 0);
}
