// ChipInfo.chip bytes, queries and edits, the shipped database, and mkchipdb.
#include "chipdb/ChipDatabase.h"
#include "MessageRecorder.h"
#include "RawDatabase.h"
#include "TempFolder.h"
#include "chipdb/DatabasePath.h"
#include "res/MessageBox.h"
#include "tests/support/ProgramProcess.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sstream>

// Chips in the tables name only the fields that matter to them; the rest are zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

class ChipDatabaseFile : public ::testing::Test {
  protected:
    std::unique_ptr<ChipDatabase> open(const std::string& bytes, Language language = {}) {
        writeFile(path, bytes);
        auto loaded = std::make_unique<ChipDatabase>(language, path);
        EXPECT_EQ(loaded->load(), 1);
        return loaded;
    }

    TempFolder folder;
    std::string path = folder.file("ChipInfo.chip");
};

TEST_F(ChipDatabaseFile, SaveSortsWholeRecordsByManufacturerThenNameBytesAndKeepsTheRest) {
    // Capitals before small letters, a prefix before its longer names, GBK after ASCII.
    const RawChip gbkName{"\xD0\xBE\xC6\xAC", "Winbond", 7}, gbkMaker{"GD", "\xD5\xD7\xD2\xD7", 8};
    std::vector<RawChip> sorted = {{"B", "Macronix", 6},      {"W25Q16", "WINBOND", 4},
                                   {"W25Q16B", "WINBOND", 2}, {"A1", "Winbond", 1},
                                   {"AA", "Winbond", 5},      gbkName,
                                   {"Z9", "winbond", 3},      gbkMaker};
    const std::string tail = "bytes past the records";
    auto db = open(rawDatabase(
        {sorted[3], sorted[2], sorted[6], gbkMaker, sorted[1], gbkName, sorted[4], sorted[0]}, tail,
        'R'));
    ASSERT_EQ(db->save(), 1);
    EXPECT_EQ(readFile(path), rawDatabase(sorted, tail, 'R'));

    // Edits convert every field; a replaced record keeps its padding and reserved bytes.
    const ChipInfo edited{
        ChipType::Eeprom93, "B", "Macronix", 27, 36, 128, 0, 16, 0xEF, 0x14, 6, 16},
        added{ChipType::Flash25, "EN25T80", "Eon", 27, 36, 1048576, 1, 256, 0x1C, 0x13, 0, 8};
    EXPECT_EQ(db->addOrReplace(&edited) + db->addOrReplace(&added) + db->remove("A1"), 3);
    ASSERT_EQ(db->save(), 1);
    // The file never shrinks: after a delete its old last bytes stay behind the new end.
    sorted[0] = {"B", "Macronix", 6, 3, 128, 0, 27, 36, 0xEF, 0x14, 16, 6, 16};
    sorted.erase(sorted.begin() + 3);
    sorted.insert(sorted.begin(), {"EN25T80", "Eon", 0, 0, 1048576, 1, 27, 36, 0x1C, 0x13});
    EXPECT_EQ(readFile(path), rawDatabase(sorted, "", 'R') + tail);
    ChipInfo read{};
    ChipDatabase reloaded(Language::English, path);
    ASSERT_EQ(reloaded.load() + reloaded.find(&read, 1, nullptr, "B"), 2);
    EXPECT_EQ(formatText("%u %u %u %u %u %u", unsigned(read.type), read.capacity, read.pageSize,
                         read.addressWidth, read.memoryWidth, read.deviceId),
              "3 128 16 6 16 20");
}

TEST_F(ChipDatabaseFile, LoadRefusesDamagedFilesAndIsThenEmpty) {
    const std::string good = rawDatabase({{"W25Q80"}, {"W25Q16"}});
    std::string threeClaimed = good, lastByteChanged = good, tooMany(100 + 108 * 1001, '\0');
    threeClaimed[0] = 3;
    lastByteChanged.back() ^= 1;
    tooMany.replace(0, 2, littleEndian(1001, 2));
    const std::pair<std::string, uint16_t> cases[] = {
        {rawDatabase({}), 0}, {good, 2},
        {good + "tail", 2},   {std::string(99, 0), 99},
        {threeClaimed, 99},   {lastByteChanged, 99},
        {tooMany, 99}};
    for (const auto& [bytes, count] : cases) {
        SCOPED_TRACE(bytes.size());
        auto db = open(good);
        writeFile(path, bytes);
        EXPECT_EQ(db->load(), count == 99 ? 0 : 1);
        EXPECT_EQ(db->count(), count == 99 ? 0 : count);
        ChipInfo found{};
        EXPECT_EQ(db->find(&found, 1, nullptr, "W25Q80"), count == 2 ? 1 : 0);
    }
    // Only the Chinese build says that the file cannot be opened.
    RecordingSink boxes;
    EXPECT_EQ(ChipDatabase(Language::English, folder.file("missing")).load(), 0);
    EXPECT_EQ(ChipDatabase(Language::Chinese, folder.path()).load(), 0);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"打开文件失败！"});
}

TEST_F(ChipDatabaseFile, SaveReplacesTheFileWholeOrNotAtAll) {
    const std::string original = rawDatabase({{"W25Q80"}});
    auto db = open(original, Language::Chinese);
    ChipInfo added = ChipInfo{ChipType::Flash25, "X1", "Winbond", 0, 0, 0, 0, 0, 0xFF, 0xFF};
    ASSERT_EQ(db->addOrReplace(&added), 1);
    RecordingSink boxes;
    // A size limit below the new content makes the write fail: the old file stays whole.
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const struct rlimit limited = {250, previous.rlim_max};
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    EXPECT_EQ(db->save(), 0);
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &previous), 0);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"ChipInfo.chip"});

    // Through a link, keeping the file's mode; temporary files of an interrupted save go.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(path.c_str(), folder.file("link").c_str()), 0);
    for (const char* name : {".ChipInfo.chip.a1B2c3", ".ChipInfo.chip.keep", "ChipInfo.chip.b1"})
        writeFile(folder.file(name), "x");
    ChipDatabase viaLink(Language::English, folder.file("link"));
    ASSERT_EQ(viaLink.load() + viaLink.addOrReplace(&added) + viaLink.save(), 3);
    EXPECT_EQ(readFile(path).size(), 100u + 2 * 108);
    struct stat info {};
    EXPECT_TRUE(::lstat(folder.file("link").c_str(), &info) == 0 && S_ISLNK(info.st_mode));
    EXPECT_TRUE(::stat(path.c_str(), &info) == 0 && (info.st_mode & 07777) == 0640);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{".ChipInfo.chip.keep", "ChipInfo.chip",
                                                          "ChipInfo.chip.b1", "link"}));
    // A missing file is never created.
    ASSERT_EQ(::unlink(path.c_str()), 0);
    EXPECT_EQ(db->save() + ChipDatabase(Language::English, path).save(), 0);
    EXPECT_EQ(::access(path.c_str(), F_OK), -1);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>(2, "打开文件失败！"));
}

TEST_F(ChipDatabaseFile, AWritableFileInAFolderTheUserCannotWriteIsWrittenInPlace) {
    const std::string original = rawDatabase({{"W25Q80"}}, std::string(108, 'x') + "tail");
    writeFile(path, original);
    ASSERT_EQ(::chmod(path.c_str(), 0444) + ::chmod(folder.path().c_str(), 0555), 0);
    // Root, whom permissions do not bind, saves as another user.
    auto asAnotherUser = [root = ::geteuid() == 0](bool other) {
        int failed = !root   ? 0
                     : other ? ::setegid(65534) + ::seteuid(65534)
                             : ::seteuid(0) + ::setegid(0);
        ASSERT_EQ(failed, 0);
    };
    ChipInfo added = ChipInfo{ChipType::Flash25, "X1", "Winbond", 0, 0, 0, 0, 0, 0xFF, 0xFF};
    auto db = std::make_unique<ChipDatabase>(Language::English, path);
    asAnotherUser(true);
    EXPECT_EQ(db->load() + db->addOrReplace(&added), 2);
    EXPECT_EQ(db->save(), 0); // a file the user may not write is not written at all
    asAnotherUser(false);
    EXPECT_EQ(readFile(path), original);
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    asAnotherUser(true);
    EXPECT_EQ(db->save(), 1);
    asAnotherUser(false);
    EXPECT_EQ(readFile(path),
              rawDatabase({{"W25Q80"}, {"X1", "Winbond", 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0}}) +
                  "tail");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"ChipInfo.chip"});
}

TEST_F(ChipDatabaseFile, QueriesAndEditsWalkTheSlotsInOrderWithExactNames) {
    auto db = open(rawDatabase({}));
    const ChipInfo chips[] = {
        {ChipType::Eeprom24, "EEPROM", "Atmel", 0, 0, 0, 0, 0, 0xEF, 0x14},
        {ChipType::Flash25, "W25Q16", "Winbond", 0, 0, 0, 0, 0, 0xEF, 0x14},
        {ChipType::Eeprom25, "AT25", "Atmel"},
        {ChipType::Eeprom24, "C", "ATMEL"},
        {ChipType::Flash25, "W25Q80", "Winbond", 0, 0, 0, 0, 0, 0xEF, 0x13},
        {ChipType::Eeprom24, "AT24", "Atmel"},
    };
    for (const ChipInfo& chip : chips)
        ASSERT_EQ(db->addOrReplace(&chip), 1);
    ChipInfo out[8]{};
    auto names = [&out](uint16_t n) {
        std::string joined;
        for (uint16_t i = 0; i < n; ++i)
            joined += std::string(out[i].name) + ",";
        return joined;
    };
    ManufacturerName makers[4];
    ASSERT_EQ(db->listManufacturers(makers, 4), 3);
    EXPECT_EQ(std::string(makers[0].data()) + makers[1].data() + makers[2].data(),
              "AtmelWinbondATMEL");
    EXPECT_EQ(names(db->find(out, 8, "Atmel", nullptr)), "EEPROM,AT25,AT24,");
    EXPECT_EQ(names(db->find(out, 2, "Atmel", nullptr)), "EEPROM,AT25,");
    EXPECT_EQ(names(db->findByManufacturerAndType(out, 8, "Atmel", ChipType::Eeprom24)),
              "EEPROM,AT24,");
    EXPECT_EQ(names(db->find(out, 8, "Nobody", "W25Q80")), "W25Q80,"); // by name alone
    EXPECT_EQ(db->find(out, 8, "atmel", nullptr) + db->find(out, 8, "Atme", nullptr) +
                  db->findByManufacturerAndType(out, 8, "Atmel", ChipType::Eeprom93) +
                  db->find(out, 8, nullptr, "W25Q8") + db->find(out, 8, nullptr, "w25q80") +
                  db->find(out, 8, nullptr, nullptr) + db->findById(out, 0xEF, 0x15) +
                  db->findById(out, 0x14, 0xEF),
              0);
    ASSERT_EQ(db->findById(out, 0xEF, 0x14), 1);
    EXPECT_STREQ(out[0].name, "EEPROM"); // the lowest slot, whatever its family

    // A known name is replaced, manufacturer and family included; an empty one is refused.
    const ChipInfo moved{ChipType::Eeprom24, "W25Q16", "Atmel"},
        unnamed{ChipType::Flash25, "", "A"};
    EXPECT_EQ(db->addOrReplace(&moved) + db->addOrReplace(&unnamed), 1);
    EXPECT_EQ(names(db->findByManufacturerAndType(out, 8, "Atmel", ChipType::Eeprom24)),
              "EEPROM,W25Q16,AT24,");
    EXPECT_EQ(db->remove("Z") + db->remove(nullptr) + db->remove("EEPROM") + db->remove("AT24"), 2);
    EXPECT_EQ(names(db->find(out, 8, "Atmel", nullptr)), "W25Q16,AT25,");

    // A full database replaces a known name but refuses a new one.
    for (int i = db->count(); i < ChipDatabase::kMaxRecords; ++i) {
        ChipInfo filler{};
        std::snprintf(filler.name, sizeof filler.name, "F%d", i);
        ASSERT_EQ(db->addOrReplace(&filler), 1);
    }
    const ChipInfo extra{ChipType::Flash25, "NEW", "Winbond"};
    EXPECT_EQ(db->addOrReplace(&extra) + db->addOrReplace(&moved), 1);
    EXPECT_EQ(db->save(), 1);
    EXPECT_EQ(readFile(path).size(), 100u + 1000 * 108);
}

TEST(DatabasePath, SitsBesideTheExecutableAndFitsItsField) {
    EXPECT_EQ(databasePathBeside("/opt/brimwick/brimwick"), "/opt/brimwick/ChipInfo.chip");
    EXPECT_EQ(databasePathBeside("/brimwick") + databasePathBeside("brimwick"), "/ChipInfo.chip");
    EXPECT_EQ(databasePathBeside("/" + std::string(254 - 14, 'd') + "/x").size(), 255u);
    EXPECT_EQ(databasePathBeside("/" + std::string(255 - 14, 'd') + "/x"), "");
}

TEST(ShippedDatabase, IsWellFormedSortedUniqueAndTrueToTheTableAndTheDatasheets) {
    const std::string file = readFile(BRIMWICK_SHIPPED_CHIPINFO);
    auto le = [&file](size_t at, int size) {
        uint32_t value = 0;
        while (size-- > 0)
            value = value << 8 | static_cast<uint8_t>(file.at(at + size_t(size)));
        return value;
    };
    const uint32_t count = le(0, 2);
    ASSERT_EQ(file.size(), 100u + 108u * count) << "no stale bytes in a fresh file";
    EXPECT_GE(count, 800u);
    uint8_t sum = 0;
    for (size_t i = 100; i < file.size(); ++i)
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(file[i]));
    EXPECT_EQ(le(2, 1), sum);
    EXPECT_EQ(file.substr(3, 97), std::string(97, '\0'));
    std::map<std::string, std::string> chips;
    std::set<uint32_t> families;
    std::string previousKey;
    for (size_t at = 100; at < file.size(); at += 108) {
        const std::string name(&file[at + 4], strnlen(&file[at + 4], 40));
        const std::string maker(&file[at + 44], strnlen(&file[at + 44], 20));
        const uint32_t type = le(at, 4), mode = le(at + 72, 4), page = le(at + 76, 2);
        const uint32_t addressWidth = le(at + 80, 1), memoryWidth = le(at + 81, 1);
        SCOPED_TRACE(name);
        // Sorted by manufacturer, then name; text fields zero-filled; padding, reserved zero.
        const std::string key = file.substr(at + 44, 20) + file.substr(at + 4, 40);
        EXPECT_LT(previousKey, key);
        previousKey = key;
        EXPECT_EQ(file.substr(at + 4 + name.size(), 40 - name.size()) +
                      file.substr(at + 44 + maker.size(), 20 - maker.size()) +
                      file.substr(at + 66, 2) + file.substr(at + 82, 26),
                  std::string(88 - name.size() - maker.size(), '\0'));
        EXPECT_TRUE(!name.empty() && name.size() <= 39 && maker.size() <= 19 && type <= 3);
        EXPECT_TRUE(le(at + 64, 1) <= le(at + 65, 1) && le(at + 68, 4) > 0);
        EXPECT_TRUE(type == 3 ? (memoryWidth == 8 || memoryWidth == 16) && addressWidth >= 1 &&
                                    addressWidth <= 20
                              : memoryWidth == 8 && addressWidth == 0);
        EXPECT_TRUE(mode == 0 || (page & (page - 1)) == 0);
        families.insert(type);
        chips[name] =
            formatText("%s %u %u %02X%02X %s%u %u %u %s %u-%u", name.c_str(), type, le(at + 68, 4),
                       le(at + 78, 1), le(at + 79, 1), mode ? "PP" : "BP", mode ? page : 1,
                       addressWidth, memoryWidth, maker.c_str(), le(at + 64, 1), le(at + 65, 1));
    }
    EXPECT_EQ(chips.size(), count) << "names are unique";
    EXPECT_EQ(families.size(), 4u);

    // Every row of the table is in the file field by field, and its facts in ChipFacts.tsv.
    std::map<std::string, std::vector<std::string>> table, facts;
    for (auto [path, rows] :
         {std::pair{BRIMWICK_CHIP_TABLE, &table}, std::pair{BRIMWICK_SHIPPED_FACTS, &facts}}) {
        std::istringstream in(readFile(path));
        for (std::string line; std::getline(in, line);) {
            std::vector<std::string> c(1);
            for (char ch : line + "\t") {
                if (ch != '\t') {
                    c.back() += ch;
                    continue;
                }
                c.back().erase(0, c.back().find_first_not_of(' '));
                c.back().erase(c.back().find_last_not_of(' ') + 1);
                c.emplace_back();
            }
            if (line[0] != '#' && c.size() > 2)
                (*rows)[c[1]] = std::vector<std::string>(c.begin(), c.end() - 1);
        }
    }
    ASSERT_EQ(table.size(), count);
    ASSERT_EQ(facts.size(), count);
    const std::vector<std::string> familyNames = {"25 FLASH", "24 EEPROM", "25 EEPROM",
                                                  "93 EEPROM"};
    for (const auto& [name, c] : table) {
        ASSERT_EQ(c.size(), 18u) << name;
        const auto type = std::find(familyNames.begin(), familyNames.end(), c[0]);
        EXPECT_EQ(chips[name], name + " " + std::to_string(type - familyNames.begin()) + " " +
                                   c[5] + " " + c[8] + c[9] + " " + c[6] + c[7] + " " + c[10] +
                                   " " + c[11] + " " + c[2] + " " + c[3] + "-" + c[4]);
        const std::vector<std::string>& f = facts[name];
        ASSERT_EQ(f.size(), 8u) << name;
        EXPECT_EQ(std::vector<std::string>(f.begin() + 2, f.end()),
                  std::vector<std::string>(c.begin() + 12, c.end()));
        EXPECT_EQ(f[0], c[0]);
    }

    // A sample across makers and families, as their datasheets give them: name, JEDEC ID,
    // capacity, program mode and page, Microwire address bits / organisation.
    for (std::string expected : {"EN25T80 1C5114 1048576 PP256 0/8",
                                 "W25Q64JV EF4017 8388608 PP256 0/8",
                                 "W25Q256JV EF4019 33554432 PP256 0/8",
                                 "W25Q32JW-IM EF8016 4194304 PP256 0/8",
                                 "GD25Q32C C84016 4194304 PP256 0/8",
                                 "GD25LQ64 C86017 8388608 PP256 0/8",
                                 "MX25L6433F C22017 8388608 PP256 0/8",
                                 "MX25U12835F C22538 16777216 PP256 0/8",
                                 "MT25QL256 20BA19 33554432 PP256 0/8",
                                 "N25Q128A13 20BA18 16777216 PP256 0/8",
                                 "IS25LP128 9D6018 16777216 PP256 0/8",
                                 "IS25WP064 9D7017 8388608 PP256 0/8",
                                 "S25FL128L 016018 16777216 PP256 0/8",
                                 "S25FL116K 014015 2097152 PP256 0/8",
                                 "XM25QH128C 204018 16777216 PP256 0/8",
                                 "XT25F128B 0B4018 16777216 PP256 0/8",
                                 "P25Q32H 856016 4194304 PP256 0/8",
                                 "BY25Q128AS 684018 16777216 PP256 0/8",
                                 "EN25QH128 1C7018 16777216 PP256 0/8",
                                 "F25L32PA 8C2016 4194304 PP256 0/8",
                                 "A25L040 373013 524288 PP256 0/8",
                                 "AT25DF321A 1F4701 4194304 PP256 0/8",
                                 "SST25VF016B BF2541 2097152 BP1 0/8",
                                 "SST26VF064B BF2643 8388608 PP256 0/8",
                                 "FM25Q16 A14015 2097152 PP256 0/8",
                                 "ZD25D40 BA2013 524288 PP256 0/8",
                                 "ZB25VQ16 5E4015 2097152 PP256 0/8",
                                 "PN25F32 E04016 4194304 PP256 0/8",
                                 "Pm25LD020 7F9D22 262144 PP256 0/8",
                                 "P25Q16H 856015 2097152 PP256 0/8",
                                 "XT25F16B 0B4015 2097152 PP256 0/8",
                                 "W25Q512NW EF6020 67108864 PP256 0/8",
                                 "GD25LQ128E C86018 16777216 PP256 0/8",
                                 "IS25LQ040B 9D4013 524288 PP256 0/8",
                                 "AT24C256C - 32768 PP64 0/8",
                                 "24LC512 - 65536 PP128 0/8",
                                 "M24M02-DR - 262144 PP256 0/8",
                                 "AT24CM01 - 131072 PP256 0/8",
                                 "CAT24C32 - 4096 PP32 0/8",
                                 "M24C02-R - 256 PP16 0/8",
                                 "25LC1024 - 131072 PP256 0/8",
                                 "M95256-R - 32768 PP64 0/8",
                                 "AT25M02 - 262144 PP256 0/8",
                                 "CAT25256 - 32768 PP64 0/8",
                                 "CAT25040 - 512 PP16 0/8",
                                 "M95256 - 32768 PP64 0/8",
                                 "25AA256 - 32768 PP64 0/8",
                                 "AT25128B - 16384 PP64 0/8",
                                 "93LC66B - 512 BP1 8/16",
                                 "M93C86-W(x8) - 2048 BP1 11/8",
                                 "CAT93C46(x16) - 128 BP1 6/16",
                                 "93AA56A - 256 BP1 9/8",
                                 "FT24C02A - 256 PP16 0/8",
                                 "24LC1026 - 131072 PP128 0/8",
                                 "BR24G32 - 4096 PP32 0/8",
                                 "M24C64-F - 8192 PP32 0/8",
                                 "P25Q40H 856013 524288 PP256 0/8",
                                 "AT93C86A(x8) - 2048 BP1 11/8"}) {
        const std::string name = expected.substr(0, expected.find(' '));
        const std::vector<std::string>& c = table[name];
        ASSERT_EQ(c.size(), 18u) << name;
        EXPECT_EQ(name + " " + c[12] + " " + c[5] + " " + c[6] + c[7] + " " + c[10] + "/" + c[11],
                  expected);
    }

    // Supply ranges from the datasheets: 1.8 V flash must stay below the 3.3 V a bridge drives,
    // and a 5 V-only EEPROM must not claim 2.5 V.
    for (std::string expected :
         {"N25Q128A11 17-20", "MT25QU256 17-20", "W25Q16DW 17-19", "M95256 45-55", "M95256-R 18-55",
          "25LC256 25-55", "25AA256 18-55", "24FC1026 18-55", "BR24G512 17-55", "P25Q80H 23-36"}) {
        const std::string name = expected.substr(0, expected.find(' '));
        const std::vector<std::string>& c = table[name];
        ASSERT_EQ(c.size(), 18u) << name;
        EXPECT_EQ(name + " " + c[3] + "-" + c[4], expected);
    }
}

} // namespace

TEST(MkChipDb, RefusesABadEntryByItsLineAndKeepsTheOldOutput) {
    const std::string good = "25 FLASH\tW25Q80 \tWinbond\t27\t36\t1048576\tPP\t256\tEF\t13\t0\t8\t"
                             "EF4014\t4K=20 64K=D8\t3\tY\t-\tdatasheet\n";
    auto with = [](size_t column, const std::string& value, std::string family = "25 FLASH") {
        std::vector<std::string> c = {family,   "X",     "Acme", "27", "36", "1048576",
                                      "PP",     "256",   "EF",   "14", "0",  "8",
                                      "EF4015", "4K=20", "3",    "?",  "-",  "ds"};
        if (family != "25 FLASH")
            c = {family, "X", "Acme", "18", "55", "256", "PP", "8", "FF",
                 "FF",   "0", "8",    "-",  "-",  "-",   "-",  "-", "ds"};
        if (family == "93 EEPROM")
            c[5] = "128", c[6] = "BP", c[7] = "1", c[10] = "7";
        c[column] = value;
        std::string line;
        for (const std::string& column : c)
            line += column + "\t";
        return line.substr(0, line.size() - 1);
    };
    const std::pair<std::string, std::string> cases[] = {
        {with(1, "AT24C02", "24 EEPROM") + "\r\n", ""},
        {with(0, "26 FLASH"), "unknown family"},
        {with(5, "104857601"), "capacity"},
        {with(5, "1048576", "24 EEPROM"), "capacity 1048576 must be a power of two from 128"},
        {with(7, "200", "25 EEPROM"), "power of two"},
        {with(7, "128"), "256-byte pages"},
        {with(4, "55"), "maximum voltage"},
        {with(10, "8", "93 EEPROM"), "address width 8 must be 7"},
        {with(11, "16", "93 EEPROM"), "address width 7 must be 6"},
        {with(17, "-"), "a source"},
        {with(12, "C84015"), "JEDEC ID"},
        {with(12, "EF4015", "24 EEPROM"), "EEPROMs have -"},
        {with(13, "4K=2"), "erase"},
        {with(14, "4"), "address bytes must be 3"},
        {with(15, "yes"), "SFDP"},
        {with(9, "13"), "\"W25Q80\" answers the same IDs"},
        {with(16, "W25Q80"), "\"W25Q80\", which does not have"},
        {good, "duplicate name \"W25Q80\""},
    };
    TempFolder folder;
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line);
        writeFile(folder.file("ChipInfo.chip"), "old");
        ::unlink(folder.file("ChipFacts.tsv").c_str());
        writeFile(folder.file("chips.tsv"), "# comment\n" + good + line);
        const testsupport::ProgramRun run = testsupport::runProgram(
            BRIMWICK_MKCHIPDB, {folder.file("chips.tsv"), folder.file("ChipInfo.chip")});
        const std::string output = run.out + run.err;
        EXPECT_EQ(run.code == 0, message.empty()) << output;
        EXPECT_EQ(readFile(folder.file("ChipInfo.chip")).size(), message.empty() ? 316u : 3u);
        EXPECT_EQ(output.find("chips.tsv:3: ") != output.npos &&
                      output.find(message) != output.npos,
                  !message.empty())
            << output;
        EXPECT_EQ(folder.entries().size(), message.empty() ? 3u : 2u);
    }
}
