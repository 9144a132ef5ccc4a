// Reads the ChipInfo.chip that the build ships with a parser of its own and checks
// its structure and a few chips against their datasheets.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct ShippedChip {
    uint32_t type;
    std::string name;
    std::string manufacturer;
    unsigned minVoltage, maxVoltage;
    uint32_t capacity;
    uint32_t programMode;
    unsigned pageSize;
    unsigned manufacturerId, deviceId;
    unsigned addressWidth, memoryWidth;
};

uint32_t le(const std::vector<uint8_t>& bytes, size_t offset, size_t size) {
    uint32_t value = 0;
    for (size_t i = size; i-- > 0;)
        value = (value << 8) | bytes[offset + i];
    return value;
}

std::string text(const std::vector<uint8_t>& bytes, size_t offset, size_t size) {
    const char* field = reinterpret_cast<const char*>(&bytes[offset]);
    return std::string(field, strnlen(field, size));
}

class ShippedDatabase : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ifstream in(BRIMWICK_SHIPPED_CHIPINFO, std::ios::binary);
        ASSERT_TRUE(in) << BRIMWICK_SHIPPED_CHIPINFO;
        file_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ASSERT_GE(file_.size(), 100u);
        count_ = le(file_, 0, 2);
        ASSERT_EQ(file_.size(), 100u + 108u * count_) << "no stale bytes in a fresh file";
        for (size_t i = 0; i < count_; ++i) {
            size_t at = 100 + 108 * i;
            ShippedChip chip{
                le(file_, at, 4),      text(file_, at + 4, 40), text(file_, at + 44, 20),
                file_[at + 64],        file_[at + 65],          le(file_, at + 68, 4),
                le(file_, at + 72, 4), le(file_, at + 76, 2),   file_[at + 78],
                file_[at + 79],        file_[at + 80],          file_[at + 81]};
            chips_[chip.name] = chip;
            ordered_.push_back(chip);
        }
    }

    const ShippedChip& chip(const std::string& name) {
        static const ShippedChip none{};
        auto found = chips_.find(name);
        if (found == chips_.end()) {
            ADD_FAILURE() << name << " is not shipped";
            return none;
        }
        return found->second;
    }

    std::vector<uint8_t> file_;
    uint32_t count_ = 0;
    std::map<std::string, ShippedChip> chips_;
    std::vector<ShippedChip> ordered_;
};

TEST_F(ShippedDatabase, IsWellFormedSortedAndUnique) {
    EXPECT_GE(count_, 150u);
    EXPECT_LE(count_, 1000u);
    uint8_t sum = 0;
    for (size_t i = 100; i < file_.size(); ++i)
        sum = static_cast<uint8_t>(sum + file_[i]);
    EXPECT_EQ(file_[2], sum);
    for (size_t i = 3; i < 100; ++i)
        EXPECT_EQ(file_[i], 0) << "header byte " << i;
    EXPECT_EQ(chips_.size(), count_) << "names are unique";

    std::set<uint32_t> families;
    for (size_t i = 0; i < count_; ++i) {
        size_t at = 100 + 108 * i;
        if (i > 0) {
            int order = std::memcmp(&file_[at - 108 + 44], &file_[at + 44], 20);
            if (order == 0)
                order = std::memcmp(&file_[at - 108 + 4], &file_[at + 4], 40);
            EXPECT_LT(order, 0) << "record " << i << " out of order";
        }
        // Text fields are zero-filled behind their terminator; padding and reserved are zero.
        const ShippedChip& c = ordered_[i];
        for (size_t k = 4 + c.name.size(); k < 44; ++k)
            EXPECT_EQ(file_[at + k], 0) << c.name;
        for (size_t k = 44 + c.manufacturer.size(); k < 64; ++k)
            EXPECT_EQ(file_[at + k], 0) << c.name;
        for (size_t k : {66, 67})
            EXPECT_EQ(file_[at + k], 0) << c.name;
        for (size_t k = 82; k < 108; ++k)
            EXPECT_EQ(file_[at + k], 0) << c.name;

        EXPECT_FALSE(c.name.empty());
        EXPECT_LE(c.name.size(), 39u);
        EXPECT_LE(c.manufacturer.size(), 19u);
        EXPECT_LE(c.type, 3u) << c.name;
        EXPECT_LE(c.minVoltage, c.maxVoltage) << c.name;
        EXPECT_GT(c.capacity, 0u) << c.name;
        families.insert(c.type);
        if (c.type == 3) {
            EXPECT_EQ(c.programMode, 0u) << c.name;
            EXPECT_TRUE(c.memoryWidth == 8 || c.memoryWidth == 16) << c.name;
            EXPECT_TRUE(c.addressWidth >= 1 && c.addressWidth <= 20) << c.name;
        } else {
            EXPECT_EQ(c.addressWidth, 0u) << c.name;
            EXPECT_EQ(c.memoryWidth, 8u) << c.name;
        }
        if (c.programMode == 1) {
            EXPECT_EQ(c.pageSize & (c.pageSize - 1), 0u) << c.name;
        }
    }
    EXPECT_EQ(families.size(), 4u);
}

TEST_F(ShippedDatabase, ChipsMatchTheirDatasheets) {
    const ShippedChip& en25t80 = chip("EN25T80");
    EXPECT_EQ(en25t80.type, 0u);
    EXPECT_EQ(en25t80.manufacturer, "Eon");
    EXPECT_EQ(en25t80.capacity, 1048576u);
    EXPECT_EQ(en25t80.manufacturerId, 0x1Cu);
    EXPECT_EQ(en25t80.deviceId, 0x13u);
    EXPECT_EQ(en25t80.programMode, 1u);
    EXPECT_EQ(en25t80.pageSize, 256u);
    EXPECT_EQ(en25t80.minVoltage, 27u);
    EXPECT_EQ(en25t80.maxVoltage, 36u);

    const std::map<std::string, std::pair<uint32_t, unsigned>> flashIds = {
        {"W25Q80", {1u << 20, 0xEF13}},   {"W25Q16", {2u << 20, 0xEF14}},
        {"W25Q32", {4u << 20, 0xEF15}},   {"W25Q64", {8u << 20, 0xEF16}},
        {"W25Q128", {16u << 20, 0xEF17}}, {"MX25L8005", {1u << 20, 0xC213}},
        {"GD25Q32", {4u << 20, 0xC815}},  {"MX25L512", {64u << 10, 0xC205}},
    };
    for (const auto& [name, expected] : flashIds) {
        const ShippedChip& c = chip(name);
        EXPECT_EQ(c.type, 0u) << name;
        EXPECT_EQ(c.capacity, expected.first) << name;
        EXPECT_EQ(c.manufacturerId << 8 | c.deviceId, expected.second) << name;
        EXPECT_EQ(c.pageSize, 256u) << name;
    }

    const ShippedChip& at24c02 = chip("AT24C02");
    EXPECT_EQ(at24c02.type, 1u);
    EXPECT_EQ(at24c02.capacity, 256u);
    EXPECT_EQ(at24c02.pageSize, 8u);
    EXPECT_EQ(at24c02.manufacturerId << 8 | at24c02.deviceId, 0xFFFFu);
    EXPECT_EQ(chip("24LC512").pageSize, 128u);
    EXPECT_EQ(chip("M24C02").pageSize, 16u);

    // The original 24C01 protocol without a device address byte is marked FE.
    EXPECT_EQ(chip("X24C01").deviceId, 0xFEu);
    EXPECT_EQ(chip("X24C01").capacity, 128u);

    const ShippedChip& at25080 = chip("AT25080A");
    EXPECT_EQ(at25080.type, 2u);
    EXPECT_EQ(at25080.capacity, 1024u);
    EXPECT_EQ(at25080.pageSize, 32u);
    EXPECT_EQ(chip("25LC1024").capacity, 131072u);

    const ShippedChip& x16 = chip("AT93C46(x16)");
    EXPECT_EQ(x16.type, 3u);
    EXPECT_EQ(x16.capacity, 128u);
    EXPECT_EQ(x16.addressWidth, 6u);
    EXPECT_EQ(x16.memoryWidth, 16u);
    const ShippedChip& x8 = chip("93LC86A");
    EXPECT_EQ(x8.capacity, 2048u);
    EXPECT_EQ(x8.addressWidth, 11u);
    EXPECT_EQ(x8.memoryWidth, 8u);
    EXPECT_EQ(chip("M93C56(x8)").addressWidth, 9u);
}

} // namespace
