// Saving replaces ChipInfo.chip in one step: a failure at any point leaves the old
// file as it was and no temporary file behind.
#include "chipdb/ChipDatabase.h"

#include "TestSupport.h"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <memory>

namespace {

ChipInfo flash(const char* name) {
    ChipInfo chip{};
    std::strcpy(chip.name, name);
    std::strcpy(chip.manufacturer, "Winbond");
    chip.capacity = 1048576;
    chip.programMode = 1;
    chip.pageSize = 256;
    chip.memoryWidth = 8;
    return chip;
}

class DatabaseSave : public ::testing::Test {
  protected:
    void SetUp() override {
        RawChip a;
        a.name = "W25Q80";
        a.manufacturer = "Winbond";
        RawChip b = a;
        b.name = "W25Q16";
        original_ = rawDatabase({b, a});
        writeFile(path_, original_);
        database_ = std::make_unique<ChipDatabase>(Language::Chinese, path_);
        ASSERT_EQ(database_->load(), 1);
        for (const char* name : {"X1", "X2", "X3", "X4"}) {
            ChipInfo chip = flash(name);
            ASSERT_EQ(database_->addOrReplace(&chip), 1);
        }
    }

    void expectUnchanged() {
        EXPECT_EQ(readFile(path_), original_);
        EXPECT_EQ(folder_.entries(), std::vector<std::string>{"ChipInfo.chip"});
    }

    ScratchFolder folder_;
    std::string path_ = folder_.file("ChipInfo.chip");
    Bytes original_;
    std::unique_ptr<ChipDatabase> database_;
};

TEST_F(DatabaseSave, NeverCreatesAMissingFile) {
    RecordingSink sink;
    ASSERT_EQ(::unlink(path_.c_str()), 0);
    EXPECT_EQ(database_->save(), 0);
    EXPECT_TRUE(folder_.entries().empty());
    EXPECT_EQ(sink.texts, std::vector<std::string>{"打开文件失败！"});

    ChipDatabase english(Language::English, path_);
    EXPECT_EQ(english.save(), 0);
    EXPECT_TRUE(folder_.entries().empty());
    EXPECT_EQ(sink.texts.size(), 1u);
}

TEST_F(DatabaseSave, ReplacesTheContentKeepingModeAndLeavingNoTemporaryFile) {
    ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
    ASSERT_EQ(database_->save(), 1);
    struct stat info {};
    ASSERT_EQ(::stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(folder_.entries(), std::vector<std::string>{"ChipInfo.chip"});
    Bytes saved = readFile(path_);
    ASSERT_EQ(saved.size(), 100u + 6 * 108);
    EXPECT_EQ(nameAt(saved, 0), "W25Q16");
    EXPECT_EQ(nameAt(saved, 5), "X4");

    auto reloaded = std::make_unique<ChipDatabase>(Language::English, path_);
    ASSERT_EQ(reloaded->load(), 1);
    EXPECT_EQ(reloaded->count(), 6);
}

TEST_F(DatabaseSave, ThroughASymbolicLinkUpdatesTheTargetAndKeepsTheLink) {
    std::string link = folder_.file("link.chip");
    ASSERT_EQ(::symlink(path_.c_str(), link.c_str()), 0);
    ChipDatabase viaLink(Language::English, link);
    ASSERT_EQ(viaLink.load(), 1);
    ASSERT_EQ(viaLink.remove("W25Q16"), 1);
    ASSERT_EQ(viaLink.save(), 1);
    struct stat info {};
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(readFile(path_)[0], 1);
    EXPECT_EQ(folder_.entries().size(), 2u);
}

TEST_F(DatabaseSave, AFailedWriteLeavesTheOldFileIntact) {
    RecordingSink sink;
    // A file-size limit below the new content makes the write of the new file fail.
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    struct rlimit limited = previous;
    limited.rlim_cur = 300;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    int result = database_->save();
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(result, 0);
    expectUnchanged();
    EXPECT_EQ(sink.texts, std::vector<std::string>{"打开文件失败！"});
}

TEST_F(DatabaseSave, AReadOnlyFolderOrFileIsNotWritten) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    ASSERT_EQ(::chmod(folder_.path().c_str(), 0500), 0);
    EXPECT_EQ(database_->save(), 0);
    ASSERT_EQ(::chmod(folder_.path().c_str(), 0700), 0);
    expectUnchanged();

    ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
    EXPECT_EQ(database_->save(), 0);
    expectUnchanged();
}

} // namespace
