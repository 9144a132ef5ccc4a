// Reads the ChipInfo.chip that the build ships with a parser of its own and checks its
// structure and a few chips against their datasheets.
#include <gtest/gtest.h>

#include "TempFolder.h"

#include <cstring>
#include <map>
#include <set>

namespace {

struct Shipped {
    uint32_t type, capacity, programMode, pageSize, ids, addressWidth, memoryWidth;
    std::string manufacturer;
    unsigned minVoltage, maxVoltage;
};

TEST(ShippedDatabase, IsWellFormedSortedUniqueAndTrueToTheDatasheets) {
    const std::string file = readFile(BRIMWICK_SHIPPED_CHIPINFO);
    ASSERT_GE(file.size(), 100u);
    auto byte = [&file](size_t at) { return static_cast<uint8_t>(file[at]); };
    auto le = [&byte](size_t at, int size) {
        uint32_t value = 0;
        while (size-- > 0)
            value = value << 8 | byte(at + size_t(size));
        return value;
    };
    const uint32_t count = le(0, 2);
    ASSERT_EQ(file.size(), 100u + 108u * count) << "no stale bytes in a fresh file";
    EXPECT_GE(count, 150u);
    uint8_t sum = 0;
    for (size_t i = 100; i < file.size(); ++i)
        sum = static_cast<uint8_t>(sum + byte(i));
    EXPECT_EQ(byte(2), sum);
    EXPECT_EQ(file.substr(3, 97), std::string(97, '\0'));

    std::map<std::string, Shipped> chips;
    std::set<uint32_t> families;
    std::string previousKey;
    for (size_t i = 0, at = 100; i < count; ++i, at += 108) {
        const std::string name(&file[at + 4], strnlen(&file[at + 4], 40));
        const std::string maker(&file[at + 44], strnlen(&file[at + 44], 20));
        const Shipped c{le(at, 4),
                        le(at + 68, 4),
                        le(at + 72, 4),
                        le(at + 76, 2),
                        le(at + 78, 1) << 8 | byte(at + 79),
                        byte(at + 80),
                        byte(at + 81),
                        maker,
                        byte(at + 64),
                        byte(at + 65)};
        SCOPED_TRACE(name);
        EXPECT_TRUE(chips.emplace(name, c).second) << "names are unique";
        // Sorted by manufacturer, then name; text fields zero-filled; padding, reserved zero.
        const std::string key = file.substr(at + 44, 20) + file.substr(at + 4, 40);
        EXPECT_LT(previousKey, key);
        previousKey = key;
        EXPECT_EQ(file.substr(at + 4 + name.size(), 40 - name.size()),
                  std::string(40 - name.size(), '\0'));
        EXPECT_EQ(file.substr(at + 44 + maker.size(), 20 - maker.size()),
                  std::string(20 - maker.size(), '\0'));
        EXPECT_EQ(file.substr(at + 66, 2) + file.substr(at + 82, 26), std::string(28, '\0'));
        EXPECT_TRUE(!name.empty() && name.size() <= 39 && maker.size() <= 19);
        EXPECT_TRUE(c.type <= 3 && c.minVoltage <= c.maxVoltage && c.capacity > 0);
        EXPECT_EQ(c.type == 3 ? c.memoryWidth == 8 || c.memoryWidth == 16 : c.memoryWidth == 8,
                  true);
        EXPECT_EQ(c.type == 3 ? c.addressWidth >= 1 && c.addressWidth <= 20 : c.addressWidth == 0,
                  true);
        EXPECT_TRUE(c.programMode == 0 || (c.pageSize & (c.pageSize - 1)) == 0);
        families.insert(c.type);
    }
    EXPECT_EQ(families.size(), 4u);

    // type, capacity, IDs, page size, address and memory width as the datasheets give them.
    const std::map<std::string, std::vector<uint32_t>> datasheets = {
        {"EN25T80", {0, 1u << 20, 0x1C13, 256, 0, 8}},
        {"W25Q80", {0, 1u << 20, 0xEF13, 256, 0, 8}},
        {"W25Q128", {0, 16u << 20, 0xEF17, 256, 0, 8}},
        {"MX25L8005", {0, 1u << 20, 0xC213, 256, 0, 8}},
        {"GD25Q32", {0, 4u << 20, 0xC815, 256, 0, 8}},
        {"MX25L512", {0, 64u << 10, 0xC205, 256, 0, 8}},
        {"AT24C02", {1, 256, 0xFFFF, 8, 0, 8}},
        {"24LC512", {1, 64u << 10, 0xFFFF, 128, 0, 8}},
        {"X24C01", {1, 128, 0xFFFE, 4, 0, 8}},
        {"AT25080A", {2, 1024, 0xFFFF, 32, 0, 8}},
        {"AT93C46(x16)", {3, 128, 0xFFFF, 1, 6, 16}},
        {"93LC86A", {3, 2048, 0xFFFF, 1, 11, 8}},
    };
    for (const auto& [name, expected] : datasheets) {
        ASSERT_TRUE(chips.count(name)) << name;
        const Shipped& c = chips[name];
        EXPECT_EQ((std::vector<uint32_t>{c.type, c.capacity, c.ids, c.programMode ? c.pageSize : 1,
                                         c.addressWidth, c.memoryWidth}),
                  expected)
            << name;
    }
    EXPECT_EQ(chips["EN25T80"].manufacturer + std::to_string(chips["EN25T80"].minVoltage) +
                  std::to_string(chips["EN25T80"].maxVoltage),
              "Eon2736");
}

} // namespace
