// ChipInfo.chip as bytes on disk, built here by hand from the record layout (type 0,
// name 4, manufacturer 44, voltages 64, padding 66, capacity 68, mode 72, page size 76,
// IDs 78, widths 80, reserved 82), and the queries and edits on the loaded database.
#include "chipdb/ChipDatabase.h"
#include "chipdb/DatabasePath.h"
#include "chipdb/ExecutablePath.h"

#include "MessageRecorder.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <memory>

namespace {

struct Raw {
    uint32_t type = 0;
    std::string name, manufacturer = "Winbond";
    char filler = 0; // padding and reserved bytes
    uint8_t minVoltage = 27, maxVoltage = 36;
    uint32_t capacity = 1048576, programMode = 1;
    uint16_t pageSize = 256;
    uint8_t manufacturerId = 0xEF, deviceId = 0x13, addressWidth = 0, memoryWidth = 8;
};

std::string le(uint32_t value, int size) {
    std::string bytes;
    for (int i = 0; i < size; ++i)
        bytes += static_cast<char>(value >> (8 * i));
    return bytes;
}

std::string record(const Raw& c) {
    std::string bytes = le(c.type, 4) + c.name + std::string(40 - c.name.size(), '\0') +
                        c.manufacturer + std::string(20 - c.manufacturer.size(), '\0');
    bytes += {char(c.minVoltage), char(c.maxVoltage), c.filler, c.filler};
    bytes += le(c.capacity, 4) + le(c.programMode, 4) + le(c.pageSize, 2);
    bytes += {char(c.manufacturerId), char(c.deviceId), char(c.addressWidth), char(c.memoryWidth)};
    return bytes + std::string(26, c.filler);
}

// Header (count, checksum, 97 reserved bytes), the records, then `tail`.
std::string database(const std::vector<Raw>& chips, const std::string& tail = "",
                     char reserved = 0) {
    std::string records;
    for (const Raw& chip : chips)
        records += record(chip);
    uint8_t sum = 0;
    for (char byte : records)
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(byte));
    return le(static_cast<uint32_t>(chips.size()), 2) + char(sum) + std::string(97, reserved) +
           records + tail;
}

Raw raw(const char* name, const char* manufacturer = "Winbond", char filler = 0) {
    Raw chip;
    chip.name = name;
    chip.manufacturer = manufacturer;
    chip.filler = filler;
    return chip;
}

ChipInfo chipInfo(const char* name, const char* manufacturer, ChipType type = ChipType::Flash25,
                  uint8_t manufacturerId = 0xFF, uint8_t deviceId = 0xFF) {
    ChipInfo chip{};
    chip.type = type;
    std::strncpy(chip.name, name, sizeof chip.name - 1);
    std::strncpy(chip.manufacturer, manufacturer, sizeof chip.manufacturer - 1);
    chip.manufacturerId = manufacturerId;
    chip.deviceId = deviceId;
    return chip;
}

// The chip named `name` as the next start of the program reads it.
bool reload(const std::string& path, const char* name, ChipInfo* out) {
    auto db = std::make_unique<ChipDatabase>(Language::English, path);
    return db->load() == 1 && db->find(out, 1, nullptr, name) == 1;
}

// GBK bytes of 兆易创新 and 芯片, as a database made on a Chinese system holds them.
const std::string kGbkMaker = "\xD5\xD7\xD2\xD7\xB4\xB4\xD0\xC2";
const std::string kGbkName = "\xD0\xBE\xC6\xAC";

class ChipDatabaseFile : public ::testing::Test {
  protected:
    std::unique_ptr<ChipDatabase> open(const std::string& bytes,
                                       Language language = Language::English) {
        writeFile(path, bytes);
        auto loaded = std::make_unique<ChipDatabase>(language, path);
        EXPECT_EQ(loaded->load(), 1);
        return loaded;
    }

    TempFolder folder;
    std::string path = folder.file("ChipInfo.chip");
};

TEST_F(ChipDatabaseFile, RecordsAreLittleEndianAtTheirOffsetsAndKeepTheirFillerBytes) {
    Raw microwire = raw("AT93C46", "Atmel", '\xAA');
    auto db = open(database({microwire}));
    ChipInfo read{};
    ASSERT_EQ(db->find(&read, 1, nullptr, "AT93C46"), 1);
    read.type = ChipType::Eeprom93;
    read.capacity = 128;
    read.programMode = 0;
    read.pageSize = 16;
    read.addressWidth = 6;
    read.memoryWidth = 16;
    ASSERT_EQ(db->addOrReplace(&read), 1);
    ChipInfo flash = chipInfo("EN25T80", "Eon", ChipType::Flash25, 0x1C, 0x13);
    flash.minVoltage = 27;
    flash.maxVoltage = 36;
    flash.capacity = 1048576;
    flash.programMode = 1;
    flash.pageSize = 256;
    flash.memoryWidth = 8;
    ASSERT_EQ(db->addOrReplace(&flash), 1);
    ASSERT_EQ(db->save(), 1);

    // A replaced record keeps its padding and reserved bytes; a new one has zeros there.
    Raw expectedMicrowire = microwire;
    expectedMicrowire.type = 3;
    expectedMicrowire.capacity = 128;
    expectedMicrowire.programMode = 0;
    expectedMicrowire.pageSize = 16;
    expectedMicrowire.addressWidth = 6;
    expectedMicrowire.memoryWidth = 16;
    Raw expectedFlash = raw("EN25T80", "Eon");
    expectedFlash.manufacturerId = 0x1C;
    EXPECT_EQ(readFile(path), database({expectedMicrowire, expectedFlash}));

    ChipInfo back{};
    ASSERT_TRUE(reload(path, "AT93C46", &back));
    EXPECT_EQ(back.type, ChipType::Eeprom93);
    EXPECT_EQ(back.pageSize, 16);
    EXPECT_EQ(back.addressWidth, 6);
    EXPECT_EQ(back.memoryWidth, 16);
    EXPECT_EQ(back.deviceId, 0x13);
}

TEST_F(ChipDatabaseFile, LoadRefusesDamagedFilesAndIsThenEmpty) {
    const std::string good = database({raw("W25Q80"), raw("W25Q16")});
    std::string threeClaimed = good, lastByteChanged = good, tooMany(100 + 108 * 1001, '\0');
    threeClaimed[0] = 3;
    lastByteChanged.back() ^= 1;
    tooMany.replace(0, 2, le(1001, 2));
    const struct {
        const char* what;
        std::string bytes;
        int loads;
        uint16_t count;
    } cases[] = {
        {"no records", database({}), 1, 0},
        {"exactly two records", good, 1, 2},
        {"bytes after the records", good + "tail", 1, 2},
        {"99 bytes", std::string(99, '\0'), 0, 0},
        {"header says 3, file holds 2", threeClaimed, 0, 0},
        {"last record byte changed", lastByteChanged, 0, 0},
        {"1001 records", tooMany, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto db = open(good);
        writeFile(path, c.bytes);
        EXPECT_EQ(db->load(), c.loads);
        EXPECT_EQ(db->count(), c.count);
        ChipInfo found{};
        EXPECT_EQ(db->find(&found, 1, nullptr, "W25Q80"), c.count ? 1 : 0);
    }

    // Only the Chinese build says that the file cannot be opened.
    RecordingSink boxes;
    EXPECT_EQ(ChipDatabase(Language::English, folder.file("missing")).load(), 0);
    EXPECT_EQ(ChipDatabase(Language::Chinese, folder.path()).load(), 0);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"打开文件失败！"});
}

TEST_F(ChipDatabaseFile, SaveSortsWholeRecordsByManufacturerBytesThenNameBytes) {
    const std::string tail = "bytes past the records";
    Raw gbkName = raw(kGbkName.c_str(), "Winbond", 7),
        gbkMaker = raw("GD25Q16", kGbkMaker.c_str(), 8);
    auto db = open(database({raw("A1", "Winbond", 1), raw("W25Q16B", "WINBOND", 2),
                             raw("Z9", "winbond", 3), gbkMaker, raw("W25Q16", "WINBOND", 4),
                             gbkName, raw("AA", "Winbond", 5), raw("B", "Macronix", 6)},
                            tail, 'R'));
    ASSERT_EQ(db->save(), 1);
    // Capitals before small letters, a prefix before its longer names, GBK after ASCII.
    std::vector<Raw> sorted = {raw("B", "Macronix", 6),      raw("W25Q16", "WINBOND", 4),
                               raw("W25Q16B", "WINBOND", 2), raw("A1", "Winbond", 1),
                               raw("AA", "Winbond", 5),      gbkName,
                               raw("Z9", "winbond", 3),      gbkMaker};
    EXPECT_EQ(readFile(path), database(sorted, tail, 'R'));

    // The file never shrinks: after a delete the old last record stays behind the new end.
    ASSERT_EQ(db->remove("A1"), 1);
    ASSERT_EQ(db->save(), 1);
    sorted.erase(sorted.begin() + 3);
    EXPECT_EQ(readFile(path), database(sorted, "", 'R') + record(gbkMaker) + tail);
    EXPECT_EQ(ChipDatabase(Language::English, path).load(), 1);
}

TEST_F(ChipDatabaseFile, SaveReplacesTheFileWholeOrNotAtAll) {
    const std::string original = database({raw("W25Q80")});
    auto db = open(original, Language::Chinese);
    ChipInfo added = chipInfo("X1", "Winbond");
    ASSERT_EQ(db->addOrReplace(&added), 1);
    RecordingSink boxes;

    // A size limit below the new content makes the write fail: the old file stays whole.
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    struct rlimit limited = previous;
    limited.rlim_cur = 250;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    EXPECT_EQ(db->save(), 0);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"ChipInfo.chip"});
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"打开文件失败！"});

    // Through a link, keeping the file's mode; temporary files of an interrupted save go.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(path.c_str(), folder.file("link").c_str()), 0);
    for (const char* name : {".ChipInfo.chip.a1B2c3", ".ChipInfo.chip.keep", "ChipInfo.chip.b1"})
        writeFile(folder.file(name), "x");
    ChipDatabase viaLink(Language::English, folder.file("link"));
    ASSERT_EQ(viaLink.load(), 1);
    ASSERT_EQ(viaLink.addOrReplace(&added), 1);
    ASSERT_EQ(viaLink.save(), 1);
    EXPECT_EQ(readFile(path).size(), 100u + 2 * 108);
    struct stat info {};
    ASSERT_EQ(::lstat(folder.file("link").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{".ChipInfo.chip.keep", "ChipInfo.chip",
                                                          "ChipInfo.chip.b1", "link"}));

    // A missing file is never created.
    ASSERT_EQ(::unlink(path.c_str()), 0);
    EXPECT_EQ(db->save(), 0);
    EXPECT_EQ(ChipDatabase(Language::English, path).save(), 0);
    EXPECT_EQ(::access(path.c_str(), F_OK), -1);
    EXPECT_EQ(boxes.texts().size(), 2u);
}

// Runs as another user when the test runs as root, whom permissions do not bind.
class AsAnotherUser {
  public:
    AsAnotherUser() : root_(::geteuid() == 0) {
        if (root_ && (::setegid(65534) != 0 || ::seteuid(65534) != 0))
            ADD_FAILURE() << "cannot become user 65534";
    }
    ~AsAnotherUser() {
        if (root_ && (::seteuid(0) != 0 || ::setegid(0) != 0))
            ADD_FAILURE() << "cannot become root again";
    }

  private:
    bool root_;
};

TEST_F(ChipDatabaseFile, AWritableFileInAFolderTheUserCannotWriteIsWrittenInPlace) {
    const std::string original = database({raw("W25Q80")}, "tail");
    writeFile(path, original);
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(folder.path().c_str(), 0555), 0);
    ChipInfo added = chipInfo("X1", "Winbond");
    {
        AsAnotherUser user;
        ChipDatabase db(Language::English, path);
        ASSERT_EQ(db.load(), 1);
        ASSERT_EQ(db.addOrReplace(&added), 1);
        EXPECT_EQ(db.save(), 1);
    }
    ChipInfo stored{};
    EXPECT_TRUE(reload(path, "X1", &stored));
    EXPECT_EQ(readFile(path).size(), 100u + 2 * 108);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"ChipInfo.chip"});

    // A file the user may not write is not written at all.
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const std::string saved = readFile(path);
    AsAnotherUser user;
    ChipDatabase db(Language::English, path);
    ASSERT_EQ(db.load(), 1);
    ASSERT_EQ(db.remove("X1"), 1);
    EXPECT_EQ(db.save(), 0);
    EXPECT_EQ(readFile(path), saved);
}

TEST_F(ChipDatabaseFile, QueriesAndEditsWalkTheSlotsInOrderWithExactNames) {
    auto db = open(database({}));
    const std::vector<ChipInfo> chips = {
        chipInfo("EEPROM", "Atmel", ChipType::Eeprom24, 0xEF, 0x14),
        chipInfo("W25Q16", "Winbond", ChipType::Flash25, 0xEF, 0x14),
        chipInfo("AT25", "Atmel", ChipType::Eeprom25),
        chipInfo("C", "ATMEL", ChipType::Eeprom24),
        chipInfo("W25Q80", "Winbond", ChipType::Flash25, 0xEF, 0x13),
        chipInfo("AT24", "Atmel", ChipType::Eeprom24),
    };
    for (const ChipInfo& chip : chips)
        ASSERT_EQ(db->addOrReplace(&chip), 1);
    ChipInfo out[8]{};
    auto names = [&out](uint16_t n) {
        std::string joined;
        for (uint16_t i = 0; i < n; ++i)
            joined += std::string(i ? "," : "") + out[i].name;
        return joined;
    };
    ManufacturerName makers[4];
    ASSERT_EQ(db->listManufacturers(makers, 4), 3);
    EXPECT_EQ(std::string(makers[0].data()) + makers[1].data() + makers[2].data(),
              "AtmelWinbondATMEL");
    EXPECT_EQ(names(db->find(out, 8, "Atmel", nullptr)), "EEPROM,AT25,AT24");
    EXPECT_EQ(names(db->find(out, 2, "Atmel", nullptr)), "EEPROM,AT25");
    EXPECT_EQ(db->find(out, 8, "atmel", nullptr) + db->find(out, 8, "Atme", nullptr), 0);
    EXPECT_EQ(names(db->findByManufacturerAndType(out, 8, "Atmel", ChipType::Eeprom24)),
              "EEPROM,AT24");
    EXPECT_EQ(db->findByManufacturerAndType(out, 8, "Atmel", ChipType::Eeprom93), 0);

    // By name the manufacturer is ignored; a prefix or another case is not the name.
    EXPECT_EQ(names(db->find(out, 8, "Nobody", "W25Q80")), "W25Q80");
    EXPECT_EQ(db->find(out, 8, nullptr, "W25Q8") + db->find(out, 8, nullptr, "w25q80") +
                  db->find(out, 8, nullptr, nullptr),
              0);
    ChipInfo identified{};
    ASSERT_EQ(db->findById(&identified, 0xEF, 0x14), 1);
    EXPECT_STREQ(identified.name, "EEPROM"); // the lowest slot, whatever its family
    EXPECT_EQ(db->findById(&identified, 0xEF, 0x15) + db->findById(&identified, 0x14, 0xEF), 0);

    // A known name is replaced, manufacturer and family included; an empty one is refused.
    ChipInfo moved = chipInfo("W25Q16", "Atmel", ChipType::Eeprom24);
    ASSERT_EQ(db->addOrReplace(&moved), 1);
    ChipInfo unnamed = chipInfo("", "Atmel");
    EXPECT_EQ(db->addOrReplace(&unnamed), 0);
    EXPECT_EQ(names(db->findByManufacturerAndType(out, 8, "Atmel", ChipType::Eeprom24)),
              "EEPROM,W25Q16,AT24");
    EXPECT_EQ(db->remove("Z") + db->remove(nullptr), 0);
    ASSERT_EQ(db->remove("EEPROM"), 1);
    ASSERT_EQ(db->remove("AT24"), 1);
    EXPECT_EQ(names(db->find(out, 8, "Atmel", nullptr)), "W25Q16,AT25");
    EXPECT_EQ(db->count(), 4);

    // A full database replaces a known name but refuses a new one.
    for (int i = db->count(); i < ChipDatabase::kMaxRecords; ++i) {
        ChipInfo filler = chipInfo(("F" + std::to_string(i)).c_str(), "Filler");
        ASSERT_EQ(db->addOrReplace(&filler), 1);
    }
    ChipInfo extra = chipInfo("NEW", "Winbond");
    EXPECT_EQ(db->addOrReplace(&extra), 0);
    EXPECT_EQ(db->addOrReplace(&moved), 1);
    EXPECT_EQ(db->count(), ChipDatabase::kMaxRecords);
    ASSERT_EQ(db->save(), 1);
    EXPECT_EQ(readFile(path).size(), 100u + 1000 * 108);
}

TEST(DatabasePath, SitsBesideTheExecutableAndFitsItsField) {
    EXPECT_EQ(databasePathBeside("/opt/brimwick/brimwick"), "/opt/brimwick/ChipInfo.chip");
    EXPECT_EQ(databasePathBeside("/brimwick"), "/ChipInfo.chip");
    EXPECT_EQ(databasePathBeside("brimwick"), "");
    EXPECT_EQ(databasePathBeside("/" + std::string(254 - 14, 'd') + "/x").size(), 255u);
    EXPECT_EQ(databasePathBeside("/" + std::string(255 - 14, 'd') + "/x"), "");
    // The tests run in the program folder, beside the shipped database.
    RecordingSink boxes;
    ChipDatabase shipped(Language::Chinese);
    EXPECT_EQ(shipped.filePath(), executableDirectory() + "/ChipInfo.chip");
    EXPECT_EQ(shipped.load(), 1);
    EXPECT_TRUE(boxes.boxes.empty());
}

} // namespace
