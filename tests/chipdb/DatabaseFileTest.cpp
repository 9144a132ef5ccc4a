#include "chipdb/ChipDatabase.h"
#include "chipdb/DatabasePath.h"
#include "chipdb/ExecutablePath.h"

#include "TestSupport.h"

#include <memory>

namespace {

std::unique_ptr<ChipDatabase> databaseAt(const std::string& path,
                                         Language language = Language::English) {
    return std::make_unique<ChipDatabase>(language, path);
}

RawChip chip(const std::string& name, const std::string& manufacturer, uint8_t filler = 0) {
    RawChip raw;
    raw.name = name;
    raw.manufacturer = manufacturer;
    raw.filler = filler;
    return raw;
}

TEST(DatabaseFile, LoadAcceptsAnEmptyDatabaseAndRefusesDamagedFiles) {
    ScratchFolder folder;
    std::string path = folder.file("ChipInfo.chip");
    auto database = databaseAt(path);
    ChipInfo found[2];

    writeFile(path, rawDatabase({}));
    EXPECT_EQ(database->load(), 1);
    EXPECT_EQ(database->count(), 0);

    Bytes good = rawDatabase({chip("W25Q80", "Winbond"), chip("W25Q16", "Winbond")});
    writeFile(path, good);
    ASSERT_EQ(database->load(), 1);
    ASSERT_EQ(database->count(), 2);

    // Each refusal leaves an empty database, whatever was loaded before.
    auto expectRefused = [&](const Bytes& bytes, const char* what) {
        ASSERT_EQ(database->load(), 1);
        writeFile(path, bytes);
        EXPECT_EQ(database->load(), 0) << what;
        EXPECT_EQ(database->count(), 0) << what;
        EXPECT_EQ(database->find(found, 2, nullptr, "W25Q80"), 0) << what;
        writeFile(path, good);
    };
    expectRefused(Bytes(99, 0), "99-byte file");
    Bytes threeClaimed = rawDatabase({chip("A", "X"), chip("B", "X")});
    threeClaimed[0] = 3;
    expectRefused(threeClaimed, "header says 3, file holds 2");
    Bytes changed = good;
    changed[100 + 108 + 10] ^= 0x01;
    expectRefused(changed, "one record byte changed");
    Bytes tooMany(100 + 108 * 1001, 0);
    putLe(tooMany, 0, 1001, 2);
    expectRefused(tooMany, "count above 1000");
}

TEST(DatabaseFile, OnlyTheChineseBuildTellsThatTheFileCannotBeOpened) {
    ScratchFolder folder;
    RecordingSink sink;
    EXPECT_EQ(databaseAt(folder.file("missing.chip"), Language::English)->load(), 0);
    EXPECT_TRUE(sink.texts.empty());
    EXPECT_EQ(databaseAt(folder.file("missing.chip"), Language::Chinese)->load(), 0);
    EXPECT_EQ(sink.texts, std::vector<std::string>{"打开文件失败！"});

    // The other refusals are silent in both builds.
    writeFile(folder.file("short.chip"), Bytes(99, 0));
    EXPECT_EQ(databaseAt(folder.file("short.chip"), Language::Chinese)->load(), 0);
    EXPECT_EQ(sink.texts.size(), 1u);
    // A folder in place of the file cannot be loaded either.
    EXPECT_EQ(databaseAt(folder.path(), Language::Chinese)->load(), 0);
    EXPECT_EQ(sink.texts.size(), 2u);
}

TEST(DatabaseFile, SaveSortsWholeRecordsByManufacturerBytesThenNameBytes) {
    ScratchFolder folder;
    std::string path = folder.file("ChipInfo.chip");
    writeFile(path, rawDatabase({chip("A1", "Winbond", 1), chip("W25Q16B", "WINBOND", 2),
                                 chip("Z9", "winbond", 3), chip("W25Q16", "WINBOND", 4),
                                 chip("AA", "Winbond", 5), chip("B", "Macronix", 6)},
                                {}, 0x5A));
    auto database = databaseAt(path);
    ASSERT_EQ(database->load(), 1);
    ASSERT_EQ(database->save(), 1);

    Bytes file = readFile(path);
    ASSERT_EQ(file.size(), 100u + 6 * 108);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Macronix", "B"}, {"WINBOND", "W25Q16"}, {"WINBOND", "W25Q16B"},
        {"Winbond", "A1"}, {"Winbond", "AA"},     {"winbond", "Z9"}};
    const std::vector<uint8_t> expectedFiller = {6, 4, 2, 1, 5, 3};
    for (size_t slot = 0; slot < expected.size(); ++slot) {
        EXPECT_EQ(manufacturerAt(file, slot), expected[slot].first) << slot;
        EXPECT_EQ(nameAt(file, slot), expected[slot].second) << slot;
        // Padding and reserved bytes move with their record.
        EXPECT_EQ(file[100 + 108 * slot + 66], expectedFiller[slot]) << slot;
        EXPECT_EQ(file[100 + 108 * slot + 107], expectedFiller[slot]) << slot;
    }
    EXPECT_EQ(file[2], sumOf(file, 100, file.size()));
    EXPECT_EQ(file[0], 6);
    EXPECT_EQ(file[1], 0);
    for (size_t i = 3; i < 100; ++i)
        EXPECT_EQ(file[i], 0x5A) << "header byte " << i;
    EXPECT_EQ(databaseAt(path)->load(), 1);
}

TEST(DatabaseFile, BytesPastTheLastRecordSurviveSavesAndDeletes) {
    ScratchFolder folder;
    std::string path = folder.file("ChipInfo.chip");
    Bytes tail(50);
    for (size_t i = 0; i < tail.size(); ++i)
        tail[i] = static_cast<uint8_t>(0xC0 + i);
    Bytes original = rawDatabase({chip("A", "Eon"), chip("B", "Eon")}, tail);
    writeFile(path, original);

    auto database = databaseAt(path);
    ASSERT_EQ(database->load(), 1);
    ASSERT_EQ(database->save(), 1);
    EXPECT_EQ(readFile(path), original);

    ASSERT_EQ(database->remove("A"), 1);
    ASSERT_EQ(database->save(), 1);
    Bytes afterDelete = readFile(path);
    ASSERT_EQ(afterDelete.size(), original.size());
    EXPECT_EQ(afterDelete[0], 1);
    EXPECT_EQ(nameAt(afterDelete, 0), "B");
    // The file does not shrink: the old second record and the tail stay behind it.
    EXPECT_EQ(Bytes(afterDelete.begin() + 208, afterDelete.end()),
              Bytes(original.begin() + 208, original.end()));
    ASSERT_EQ(database->load(), 1);
    EXPECT_EQ(database->count(), 1);
}

TEST(DatabasePath, SitsBesideTheExecutableAndFitsTheField) {
    EXPECT_EQ(databasePathBeside("/opt/brimwick/brimwick"), "/opt/brimwick/ChipInfo.chip");
    EXPECT_EQ(databasePathBeside("/brimwick"), "/ChipInfo.chip");
    EXPECT_EQ(databasePathBeside("brimwick"), "");
    EXPECT_EQ(databasePathBeside(""), "");
    std::string fits = "/" + std::string(255 - 1 - 13 - 1, 'd') + "/x";
    EXPECT_EQ(databasePathBeside(fits).size(), 255u);
    std::string tooLong = "/" + std::string(255 - 1 - 13, 'd') + "/x";
    EXPECT_EQ(databasePathBeside(tooLong), "");

    std::string self = executablePath();
    EXPECT_EQ(self.substr(self.rfind('/') + 1), "test_chipdb");
    EXPECT_EQ(executableDirectory() + "/" + "test_chipdb", self);

    // The tests run from the program folder, beside the shipped database.
    RecordingSink sink;
    auto shipped = std::make_unique<ChipDatabase>(Language::Chinese);
    EXPECT_EQ(shipped->filePath(), executableDirectory() + "/ChipInfo.chip");
    EXPECT_EQ(shipped->load(), 1);
    EXPECT_GE(shipped->count(), 150);
    EXPECT_TRUE(sink.texts.empty());
}

} // namespace
