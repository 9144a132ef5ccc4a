#include "chipdb/ChipDatabase.h"

#include "TestSupport.h"

namespace {

ChipInfo exampleFlash() {
    ChipInfo chip{};
    chip.type = ChipType::Flash25;
    std::strcpy(chip.name, "EN25T80");
    std::strcpy(chip.manufacturer, "Eon");
    chip.minVoltage = 27;
    chip.maxVoltage = 36;
    chip.capacity = 1048576;
    chip.programMode = 1;
    chip.pageSize = 256;
    chip.manufacturerId = 0x1C;
    chip.deviceId = 0x13;
    chip.addressWidth = 0;
    chip.memoryWidth = 8;
    return chip;
}

TEST(ChipRecord, ExampleFlashRecordIsStoredLittleEndianAtItsOffsets) {
    ChipInfo chip = exampleFlash();
    ChipRecord record;
    ASSERT_EQ(ChipDatabase::chipInfoToRecord(&chip, &record), 1);

    RawChip raw;
    raw.name = "EN25T80";
    raw.manufacturer = "Eon";
    raw.manufacturerId = 0x1C;
    EXPECT_EQ(Bytes(record.bytes.begin(), record.bytes.end()), rawRecord(raw));
    const Bytes expectedFlags = {0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Bytes(record.bytes.begin(), record.bytes.begin() + 4), expectedFlags);
    EXPECT_EQ(record.bytes[64], 0x1B);
    EXPECT_EQ(record.bytes[65], 0x24);
    EXPECT_EQ(Bytes(record.bytes.begin() + 68, record.bytes.begin() + 72),
              (Bytes{0x00, 0x00, 0x10, 0x00}));
    EXPECT_EQ(Bytes(record.bytes.begin() + 72, record.bytes.begin() + 76),
              (Bytes{0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(record.bytes[76], 0x00);
    EXPECT_EQ(record.bytes[77], 0x01);
}

TEST(ChipRecord, ConversionsLeavePaddingAndReservedAndRoundTrip) {
    ChipRecord record;
    record.bytes.fill(0xAA);
    ChipInfo chip = exampleFlash();
    chip.type = ChipType::Eeprom93;
    chip.addressWidth = 6;
    chip.memoryWidth = 16;
    ASSERT_EQ(ChipDatabase::chipInfoToRecord(&chip, &record), 1);
    EXPECT_EQ(record.bytes[66], 0xAA);
    EXPECT_EQ(record.bytes[67], 0xAA);
    for (size_t i = 82; i < 108; ++i)
        EXPECT_EQ(record.bytes[i], 0xAA) << i;
    // The text fields are zero-filled after their terminator, as the file format says.
    EXPECT_EQ(record.bytes[4 + 7], 0);
    EXPECT_EQ(record.bytes[43], 0);
    EXPECT_EQ(record.bytes[63], 0);

    ChipInfo back;
    std::memset(&back, 0x55, sizeof back);
    ASSERT_EQ(ChipDatabase::recordToChipInfo(&record, &back), 1);
    EXPECT_EQ(back.type, ChipType::Eeprom93);
    EXPECT_STREQ(back.name, "EN25T80");
    EXPECT_STREQ(back.manufacturer, "Eon");
    EXPECT_EQ(back.capacity, 1048576u);
    EXPECT_EQ(back.pageSize, 256);
    EXPECT_EQ(back.deviceId, 0x13);
    EXPECT_EQ(back.addressWidth, 6);
    EXPECT_EQ(back.memoryWidth, 16);

    EXPECT_EQ(ChipDatabase::chipInfoToRecord(nullptr, &record), 0);
    EXPECT_EQ(ChipDatabase::chipInfoToRecord(&chip, nullptr), 0);
    EXPECT_EQ(ChipDatabase::recordToChipInfo(nullptr, &back), 0);
    EXPECT_EQ(ChipDatabase::recordToChipInfo(&record, nullptr), 0);
}

TEST(ChipRecord, OverlongTextsStayInsideTheirFields) {
    ChipInfo chip = exampleFlash();
    std::memset(chip.manufacturer, 'M', 39);
    chip.manufacturer[39] = '\0';
    ChipRecord record;
    record.bytes.fill(0xAA);
    ASSERT_EQ(ChipDatabase::chipInfoToRecord(&chip, &record), 1);
    EXPECT_EQ(record.bytes[63], 'M');
    EXPECT_EQ(record.bytes[64], 27); // the voltage after the 20-byte field is intact

    std::memset(record.name(), 'N', 40); // a full name field from a foreign file
    ChipInfo back;
    std::memset(&back, 0x55, sizeof back);
    ASSERT_EQ(ChipDatabase::recordToChipInfo(&record, &back), 1);
    EXPECT_EQ(std::strlen(back.name), 39u);
    EXPECT_EQ(std::string(back.manufacturer), std::string(20, 'M'));
}

} // namespace
