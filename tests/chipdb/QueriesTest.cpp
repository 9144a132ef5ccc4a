#include "chipdb/ChipDatabase.h"

#include "TestSupport.h"

#include <memory>

namespace {

ChipInfo makeChip(const std::string& name, const std::string& manufacturer,
                  ChipType type = ChipType::Flash25, uint8_t manufacturerId = 0xFF,
                  uint8_t deviceId = 0xFF) {
    ChipInfo chip{};
    chip.type = type;
    std::strncpy(chip.name, name.c_str(), sizeof chip.name - 1);
    std::strncpy(chip.manufacturer, manufacturer.c_str(), sizeof chip.manufacturer - 1);
    chip.capacity = 4096;
    chip.manufacturerId = manufacturerId;
    chip.deviceId = deviceId;
    chip.memoryWidth = 8;
    return chip;
}

// An empty database in memory (loaded from a 100-byte file), filled slot by slot.
class Queries : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFile(folder_.file("ChipInfo.chip"), rawDatabase({}));
        database_ =
            std::make_unique<ChipDatabase>(Language::English, folder_.file("ChipInfo.chip"));
        ASSERT_EQ(database_->load(), 1);
    }
    void add(const ChipInfo& chip) { ASSERT_EQ(database_->addOrReplace(&chip), 1); }

    ScratchFolder folder_;
    std::unique_ptr<ChipDatabase> database_;
    ChipInfo out_[1024];
};

TEST_F(Queries, FindByNameNeedsTheExactName) {
    EXPECT_EQ(database_->find(out_, 1024, nullptr, "W25Q80"), 0);
    add(makeChip("W25Q80", "Winbond"));
    add(makeChip("W25Q80BV", "Winbond"));
    EXPECT_EQ(database_->find(out_, 1024, nullptr, nullptr), 0);

    out_[0] = makeChip("untouched", "none");
    EXPECT_EQ(database_->find(out_, 1024, nullptr, "W25Q8"), 0);
    EXPECT_EQ(database_->find(out_, 1024, nullptr, "w25q80"), 0);
    EXPECT_EQ(database_->find(out_, 1024, nullptr, std::string(60, 'W').c_str()), 0);
    EXPECT_STREQ(out_[0].name, "untouched");
    EXPECT_EQ(database_->find(out_, 0, nullptr, "W25Q80"), 0); // no room to write it

    // The manufacturer is ignored when a name is given.
    ASSERT_EQ(database_->find(out_, 1024, "Nobody", "W25Q80"), 1);
    EXPECT_STREQ(out_[0].name, "W25Q80");
    EXPECT_STREQ(out_[0].manufacturer, "Winbond");
}

TEST_F(Queries, ManufacturersAreListedOnceInOrderOfFirstAppearance) {
    for (const char* manufacturer : {"Eon", "ST", "ST", "Atmel", "Eon", "ST", "st"})
        add(makeChip(std::string("chip") + std::to_string(database_->count()), manufacturer));
    ManufacturerName names[100];
    ASSERT_EQ(database_->listManufacturers(names, 100), 4);
    EXPECT_STREQ(names[0].data(), "Eon");
    EXPECT_STREQ(names[1].data(), "ST");
    EXPECT_STREQ(names[2].data(), "Atmel");
    EXPECT_STREQ(names[3].data(), "st");
}

TEST_F(Queries, QueriesNeverWriteMoreThanTheCallerHasRoomFor) {
    for (int i = 0; i < 150; ++i)
        add(makeChip("C" + std::to_string(i), "Maker" + std::to_string(i)));
    for (int i = 0; i < 20; ++i)
        add(makeChip("S" + std::to_string(i), "Same"));

    ManufacturerName names[101];
    names[100].fill('#');
    EXPECT_EQ(database_->listManufacturers(names, 100), 100);
    EXPECT_EQ(names[100][0], '#');
    EXPECT_STREQ(names[99].data(), "Maker99");

    out_[5] = makeChip("sentinel", "none");
    EXPECT_EQ(database_->find(out_, 5, "Same", nullptr), 5);
    EXPECT_STREQ(out_[5].name, "sentinel");
    EXPECT_EQ(database_->findByManufacturerAndType(out_, 5, "Same", ChipType::Flash25), 5);
    EXPECT_STREQ(out_[5].name, "sentinel");
    EXPECT_EQ(database_->find(out_, 1024, "Same", nullptr), 20);
    EXPECT_EQ(database_->listManufacturers(nullptr, 100), 0);
}

TEST_F(Queries, FindByManufacturerAndFamilyKeepSlotOrderAndExactCase) {
    add(makeChip("B", "Atmel", ChipType::Eeprom24));
    add(makeChip("A", "Atmel", ChipType::Flash25));
    add(makeChip("C", "ATMEL", ChipType::Eeprom24));
    add(makeChip("D", "Atmel", ChipType::Eeprom24));

    ASSERT_EQ(database_->find(out_, 1024, "Atmel", nullptr), 3);
    EXPECT_STREQ(out_[0].name, "B");
    EXPECT_STREQ(out_[1].name, "A");
    EXPECT_STREQ(out_[2].name, "D");
    EXPECT_EQ(database_->find(out_, 1024, "atmel", nullptr), 0);
    EXPECT_EQ(database_->find(out_, 1024, "Atme", nullptr), 0);

    ASSERT_EQ(database_->findByManufacturerAndType(out_, 1024, "Atmel", ChipType::Eeprom24), 2);
    EXPECT_STREQ(out_[0].name, "B");
    EXPECT_STREQ(out_[1].name, "D");
    EXPECT_EQ(database_->findByManufacturerAndType(out_, 1024, "Atmel", ChipType::Eeprom93), 0);
    EXPECT_EQ(database_->findByManufacturerAndType(out_, 1024, nullptr, ChipType::Flash25), 0);
}

TEST_F(Queries, FindByIdTakesTheLowestSlotOfAnyFamily) {
    add(makeChip("EEPROM", "Any", ChipType::Eeprom24, 0xEF, 0x14));
    add(makeChip("W25Q16", "Winbond", ChipType::Flash25, 0xEF, 0x14));
    ChipInfo found = makeChip("untouched", "none");
    ASSERT_EQ(database_->findById(&found, 0xEF, 0x14), 1);
    EXPECT_STREQ(found.name, "EEPROM");
    found = makeChip("untouched", "none");
    EXPECT_EQ(database_->findById(&found, 0xEF, 0x15), 0);
    EXPECT_EQ(database_->findById(&found, 0x14, 0xEF), 0);
    EXPECT_STREQ(found.name, "untouched");
    EXPECT_EQ(database_->findById(nullptr, 0xEF, 0x14), 0);
}

TEST_F(Queries, RemoveShiftsLaterRecordsDown) {
    add(makeChip("A", "M"));
    add(makeChip("B", "M"));
    add(makeChip("C", "M"));
    EXPECT_EQ(database_->remove("Z"), 0);
    EXPECT_EQ(database_->remove(nullptr), 0);
    EXPECT_EQ(database_->count(), 3);

    ASSERT_EQ(database_->remove("A"), 1);
    ASSERT_EQ(database_->find(out_, 1024, "M", nullptr), 2);
    EXPECT_STREQ(out_[0].name, "B");
    EXPECT_STREQ(out_[1].name, "C");
    ASSERT_EQ(database_->remove("C"), 1);
    EXPECT_EQ(database_->count(), 1);
    EXPECT_EQ(database_->find(out_, 1024, nullptr, "C"), 0);
}

TEST_F(Queries, AddOrReplaceKeepsNamesUnique) {
    add(makeChip("W25Q80", "Winbond"));
    add(makeChip("MX25L8005", "Macronix"));
    ChipInfo moved = makeChip("W25Q80", "Macronix", ChipType::Eeprom25);
    moved.capacity = 512;
    ASSERT_EQ(database_->addOrReplace(&moved), 1);
    EXPECT_EQ(database_->count(), 2);
    EXPECT_EQ(database_->find(out_, 1024, "Winbond", nullptr), 0);
    ASSERT_EQ(database_->find(out_, 1024, nullptr, "W25Q80"), 1);
    EXPECT_STREQ(out_[0].manufacturer, "Macronix");
    EXPECT_EQ(out_[0].type, ChipType::Eeprom25);
    EXPECT_EQ(out_[0].capacity, 512u);

    EXPECT_EQ(database_->addOrReplace(nullptr), 0);
    ChipInfo unnamed = makeChip("", "Winbond");
    EXPECT_EQ(database_->addOrReplace(&unnamed), 0);
    ChipInfo unterminated = makeChip("x", "Winbond");
    std::memset(unterminated.name, 'N', sizeof unterminated.name);
    EXPECT_EQ(database_->addOrReplace(&unterminated), 0);
    EXPECT_EQ(database_->count(), 2);
}

TEST_F(Queries, AFullDatabaseReplacesButRefusesNewChips) {
    for (int i = 0; i < ChipDatabase::kMaxRecords; ++i)
        add(makeChip("C" + std::to_string(i), "M"));
    ChipInfo replacement = makeChip("C999", "Other");
    EXPECT_EQ(database_->addOrReplace(&replacement), 1);
    ChipInfo extra = makeChip("C1000", "M");
    EXPECT_EQ(database_->addOrReplace(&extra), 0);
    EXPECT_EQ(database_->count(), ChipDatabase::kMaxRecords);
    EXPECT_EQ(database_->find(out_, 1024, "M", nullptr), 999);
    EXPECT_EQ(database_->save(), 1);
    EXPECT_EQ(readFile(folder_.file("ChipInfo.chip")).size(), 100u + 1000 * 108);
}

} // namespace
