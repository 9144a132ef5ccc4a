// Where the chip database is read and saved: beside the program, else the user's copy.
#include "MessageRecorder.h"
#include "RawDatabase.h"
#include "TempFolder.h"
#include "chipdb/ChipDatabase.h"
#include "chipdb/DatabasePath.h"
#include "chipdb/ExecutablePath.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

struct TreeCase {
    const char* name;
    mode_t installedMode;
    bool editsUserCopy;
};

TEST(DatabaseLocation, ReadOnlyInstallIsCopiedOnFirstSaveWritableTreeIsEditedInPlace) {
    for (const TreeCase& c : {TreeCase{"read-only install", 0444, true},
                              TreeCase{"writable install tree", 0644, false}}) {
        SCOPED_TRACE(c.name);
        TempFolder root;
        fs::create_directories(root.file("lib/brimwick"));
        const std::string program = root.file("lib/brimwick/brimwick");
        const std::string installed = root.file("lib/brimwick/ChipInfo.chip");
        const std::string copy = root.file("data/brimwick/ChipInfo.chip");
        const std::string original = rawDatabase({{.name = "B", .manufacturer = "M"}});
        writeFile(installed, original);
        ::chmod(installed.c_str(), c.installedMode);

        DatabaseLocation location = databaseLocationFor(program, root.file("data"));
        EXPECT_EQ(location.installed, installed);
        EXPECT_EQ(location.userCopy, c.editsUserCopy ? copy : "");
        auto database = std::make_unique<ChipDatabase>(Language::English, location);
        EXPECT_EQ(database->filePath(), installed);
        ASSERT_EQ(database->load(), 1);
        ChipInfo chip{};
        ASSERT_EQ(database->find(&chip, 1, nullptr, "B"), 1);
        std::strcpy(chip.name, "A");
        ASSERT_EQ(database->addOrReplace(&chip), 1);
        ASSERT_EQ(database->save(), 1);

        const std::string edited = c.editsUserCopy ? copy : installed;
        EXPECT_EQ(database->filePath(), edited);
        EXPECT_EQ(fs::exists(copy), c.editsUserCopy);
        const std::string saved = readFile(edited);
        ASSERT_EQ(saved.size(), 316u);
        EXPECT_EQ(nameAt(saved, 0) + nameAt(saved, 1), "AB");
        if (c.editsUserCopy) {
            EXPECT_EQ(readFile(installed), original) << "the installed database stays as it is";
            EXPECT_EQ((fs::status(copy).permissions() & fs::perms::owner_write),
                      fs::perms::owner_write);
        }

        // The next start loads the edited file; a copy is never replaced by the installed one.
        auto next = std::make_unique<ChipDatabase>(Language::English,
                                                   databaseLocationFor(program, root.file("data")));
        EXPECT_EQ(next->filePath(), edited);
        ASSERT_EQ(next->load(), 1);
        EXPECT_EQ(next->count(), 2);
        ASSERT_EQ(next->remove("A"), 1);
        ASSERT_EQ(next->save(), 1);
        EXPECT_EQ(nameAt(readFile(edited), 0), "B");
    }
}

TEST(DatabaseLocation, SystemTreesAndUnusableFolders) {
    const DatabaseLocation packaged = databaseLocationFor("/usr/lib/brimwick/brimwick", "/h/d");
    EXPECT_EQ(packaged.installed, "/usr/lib/brimwick/ChipInfo.chip");
    EXPECT_EQ(packaged.userCopy, "/h/d/brimwick/ChipInfo.chip");
    EXPECT_EQ(packaged.loadPath(), packaged.installed) << "no copy yet";
    EXPECT_EQ(databaseLocationFor("/usr/local/lib/brimwick/brimwick", "/h/d").userCopy, "");
    EXPECT_EQ(databaseLocationFor("/usr/lib/brimwick/brimwick", "relative/d").userCopy, "");
    EXPECT_EQ(
        databaseLocationFor("/usr/lib/brimwick/brimwick", "/" + std::string(250, 'd')).userCopy, "")
        << "the copy keeps the 255-character limit of the file beside the program";

    // A copy that cannot be made fails the save with the file message; nothing changes.
    TempFolder root;
    writeFile(root.file("data"), "\x01");
    RecordingSink sink;
    ChipDatabase database(Language::Chinese,
                          DatabaseLocation{root.file("installed.chip"), root.file("data/copy")});
    writeFile(root.file("installed.chip"), rawDatabase({}));
    ASSERT_EQ(database.load(), 1);
    EXPECT_EQ(database.save(), 0);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"打开文件失败！"});
    EXPECT_EQ(database.filePath(), root.file("installed.chip"));
}

// The tests run from the build folder, beside the shipped database: a user's copy in their
// data folder changes nothing for them.
TEST(DatabaseLocation, BuildFolderProgramKeepsTheDatabaseBesideIt) {
    TempFolder data;
    fs::create_directories(data.file("brimwick"));
    writeFile(data.file("brimwick/ChipInfo.chip"), rawDatabase({}));
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    RecordingSink sink;
    ChipDatabase database(Language::Chinese);
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(database.filePath(), executableDirectory() + "/ChipInfo.chip");
    EXPECT_TRUE(sink.texts().empty());
}

} // namespace
