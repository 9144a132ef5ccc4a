// The chip-family bytes derived from each kind of chip.
#include "protocol/FamilyParams.h"
#include "protocol/Programmer.h"
#include "tests/sim/FirmwareHost.h"

#include <gtest/gtest.h>

using simtest::makeChip;

namespace {

FamilyParams paramsFor(const ChipInfo& chip, FamilyParams start = {}) {
    setFamilyParams(start, chip);
    return start;
}

ChipInfo microwire(uint8_t addressWidth, uint8_t memoryWidth) {
    ChipInfo chip = makeChip(ChipType::Eeprom93, 256);
    chip.addressWidth = addressWidth;
    chip.memoryWidth = memoryWidth;
    return chip;
}

} // namespace

TEST(FamilyParams, AddressModeTable) {
    EXPECT_EQ(paramsFor(makeChip(ChipType::Flash25, 1 << 20)).familyCode, 1);
    EXPECT_EQ(paramsFor(makeChip(ChipType::Flash25, 1 << 20)).addressMode, 3);

    EXPECT_EQ(paramsFor(makeChip(ChipType::Eeprom24, 256, 0, 0x10)).familyCode, 2);
    EXPECT_EQ(paramsFor(makeChip(ChipType::Eeprom24, 2048, 0, 0x10)).addressMode, 0x13);
    EXPECT_EQ(paramsFor(makeChip(ChipType::Eeprom24, 2049, 0, 0x10)).addressMode, 0x23);
    EXPECT_EQ(paramsFor(makeChip(ChipType::Eeprom24, 4096, 0, 0x10)).addressMode, 0x23);
    EXPECT_EQ(paramsFor(makeChip(ChipType::Eeprom24, 65536, 0, 0xFE)).addressMode, 3);
    EXPECT_EQ(paramsFor(makeChip(ChipType::Eeprom24, 128, 0, 0xFE)).addressMode, 3);

    EXPECT_EQ(paramsFor(makeChip(ChipType::Eeprom25, 512)).familyCode, 3);
    EXPECT_EQ(paramsFor(makeChip(ChipType::Eeprom25, 512)).addressMode, 3);
    EXPECT_EQ(paramsFor(makeChip(ChipType::Eeprom25, 1024)).addressMode, 0x13);

    const FamilyParams x8 = paramsFor(microwire(7, 8));
    EXPECT_EQ(x8.familyCode, 4);
    EXPECT_EQ(x8.addressMode, 0x73);
    EXPECT_EQ(x8.widthMode, 3);
    const FamilyParams x16 = paramsFor(microwire(6, 16));
    EXPECT_EQ(x16.addressMode, 0x63);
    EXPECT_EQ(x16.widthMode, 1);
    EXPECT_EQ(paramsFor(microwire(17, 8)).addressMode, static_cast<uint8_t>(17 * 16 + 3));
}

TEST(FamilyParams, WidthModeIsKeptByTheOtherFamiliesAndUnknownTypesChangeNothing) {
    FamilyParams params = paramsFor(microwire(7, 8));
    for (ChipType type : {ChipType::Flash25, ChipType::Eeprom24, ChipType::Eeprom25}) {
        params = paramsFor(makeChip(type, 4096), params);
        EXPECT_EQ(params.widthMode, 3);
    }
    EXPECT_EQ(params.reserved[0], 0);
    EXPECT_EQ(params.reserved[1], 0);

    ChipInfo unknown = makeChip(ChipType::Flash25, 4096);
    unknown.type = static_cast<ChipType>(9);
    FamilyParams before = params;
    EXPECT_EQ(setFamilyParams(params, unknown), 0);
    EXPECT_EQ(std::memcmp(&before, &params, sizeof params), 0);

    // prepareFamily works on the process-wide set and keeps the chip.
    Programmer programmer;
    familyParams() = FamilyParams{};
    EXPECT_EQ(programmer.prepareFamily(unknown), 0);
    EXPECT_EQ(familyParams().familyCode, 0);
    EXPECT_EQ(programmer.prepareFamily(microwire(6, 16)), 1);
    EXPECT_EQ(familyParams().widthMode, 1);
    EXPECT_EQ(programmer.preparedChip().addressWidth, 6);
}
