// The chip image file: loaded at start, written back atomically after each change.
#include "tests/sim/FirmwareHost.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace simtest;
using sim::ProgrammerFirmware;
namespace fs = std::filesystem;

namespace {

class FirmwareImage : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("brimwick-image-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    Bytes fileBytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void writeFile(const fs::path& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    fs::path folder_;
};

} // namespace

TEST_F(FirmwareImage, MissingFileIsAnErasedChipAndChangesAreWrittenBack) {
    const fs::path image = folder_ / "chip.bin";
    const ChipInfo chip = makeChip(ChipType::Flash25, 4096);
    {
        ProgrammerFirmware firmware(&chip, unpaced());
        std::string error;
        ASSERT_TRUE(firmware.attachImage(image.string(), &error)) << error;
        EXPECT_EQ(firmware.chipContents(), Bytes(4096, 0xFF));
        EXPECT_FALSE(fs::exists(image)); // nothing changed yet

        FirmwareHost host(firmware);
        ASSERT_TRUE(host.exchange(writeCommand(1, 16, 3)));
        ASSERT_TRUE(host.writePhase({0x12, 0x34, 0x56}));
        const Bytes saved = fileBytes(image);
        ASSERT_EQ(saved.size(), 4096u);
        EXPECT_EQ(saved[16], 0x12);
        EXPECT_EQ(saved[18], 0x56);
        EXPECT_EQ(firmware.imageError(), "");
    }
    ProgrammerFirmware again(&chip, unpaced());
    ASSERT_TRUE(again.attachImage(image.string()));
    EXPECT_EQ(again.chipContents()[17], 0x34);
    // No temporary file is left beside the image.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator{}), 1);
}

TEST_F(FirmwareImage, ShortFileIsPaddedLargerFileIsRefusedUntouched) {
    const ChipInfo chip = makeChip(ChipType::Eeprom24, 256);
    const fs::path shortImage = folder_ / "short.bin";
    writeFile(shortImage, {1, 2, 3});
    ProgrammerFirmware firmware(&chip, unpaced());
    ASSERT_TRUE(firmware.attachImage(shortImage.string()));
    Bytes expected(256, 0xFF);
    expected[0] = 1;
    expected[1] = 2;
    expected[2] = 3;
    EXPECT_EQ(firmware.chipContents(), expected);

    const fs::path largeImage = folder_ / "large.bin";
    writeFile(largeImage, Bytes(300, 0x42));
    ProgrammerFirmware other(&chip, unpaced());
    std::string error;
    EXPECT_FALSE(other.attachImage(largeImage.string(), &error));
    EXPECT_NE(error.find("300"), std::string::npos) << error;
    EXPECT_EQ(fileBytes(largeImage), Bytes(300, 0x42));
}

TEST_F(FirmwareImage, EraseIsWrittenBackAndWriteFailuresAreReported) {
    const ChipInfo chip = makeChip(ChipType::Flash25, 1024);
    const fs::path image = folder_ / "chip.bin";
    writeFile(image, Bytes(1024, 0x00));
    ProgrammerFirmware firmware(&chip, unpaced());
    ASSERT_TRUE(firmware.attachImage(image.string()));
    FirmwareHost host(firmware);
    ASSERT_TRUE(host.exchange({0x04, 0x01, 0x01}));
    EXPECT_EQ(fileBytes(image), Bytes(1024, 0xFF));

    const fs::path lost = folder_ / "gone" / "chip.bin";
    ProgrammerFirmware orphan(&chip, unpaced());
    ASSERT_TRUE(orphan.attachImage(lost.string()));
    FirmwareHost orphanHost(orphan);
    ASSERT_TRUE(orphanHost.exchange(writeCommand(1, 0, 1)));
    ASSERT_TRUE(orphanHost.writePhase({0x00}));
    EXPECT_NE(orphan.imageError(), "");
    std::string error;
    EXPECT_FALSE(orphan.saveImage(&error));
    EXPECT_NE(error, "");
}
