// Chip Identify and Firmware Version from the main window against a simulated programmer.
#include "tests/operations/OperationsFixture.h"

#include <QAction>
#include <QTextEdit>

using namespace optest;

namespace {

std::vector<ChipInfo> identifyChips() {
    return {
        flashChip("EN25T80", 0x100000, 0x1C, 0x13),
        flashChip("W25X16", 0x200000, 0xEF, 0x14),
        makeChip(ChipType::Eeprom24, "AT24C02", 256, 1, 8, 0x0C, 0x05, 8, "Atmel"),
        // Two flash chips answering alike: the database's first one is taken.
        flashChip("MX25L400", 0x80000, 0xC2, 0x12),
        flashChip("MX25L401", 0x80000, 0xC2, 0x12),
    };
}

} // namespace

TEST_F(OperationsTest, IdentifySelectsTheChipWhoseIdsTheChipAnswers) {
    for (Language language : {Language::English, Language::Chinese}) {
        const ChipInfo inSocket = flashChip("ANY", 0x200000, 0xEF, 0x14);
        plugIn(&inSocket);
        CMainDlg& window = start(language, identifyChips());
        window.OnVScroll(SB_PAGEDOWN, 0);
        ASSERT_GT(window.hexViewModel().topRow, 0u);

        const size_t before = commandCount();
        window.runCommand(IdChipIdentify);
        EXPECT_EQ(opcodesSince(before), Bytes{0x05});
        EXPECT_STREQ(window.currentChip().name, "W25X16");
        EXPECT_EQ(window.dataBuffer().length(), 0x200000u);
        EXPECT_EQ(window.hexViewModel().topRow, 0u);
        EXPECT_EQ(hexLine(window, 0)[0], "0x000000:");
        const std::string panel = window.chipInfoEdit()->toPlainText().toStdString();
        EXPECT_NE(panel.find("W25X16"), std::string::npos) << panel;
        EXPECT_NE(panel.find("EF"), std::string::npos) << panel;
        EXPECT_TRUE(window.action(IdErase)->isEnabled());
        EXPECT_TRUE(window.action(IdChipIdentify)->isEnabled());
        if (language == Language::English) {
            EXPECT_EQ(status(), "Identify Successfully");
            EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"Identify Successfully!"});
        } else {
            EXPECT_EQ(status(), "识别成功！");
            EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"识别成功！"});
        }
        boxes_.boxes.clear();
        started_.reset();
    }
}

TEST_F(OperationsTest, IdentifyTakesTheFirstMatchOfAnyFamily) {
    const ChipInfo twin = flashChip("ANY", 0x80000, 0xC2, 0x12);
    plugIn(&twin);
    CMainDlg& window = start(Language::English, identifyChips());
    ChipInfo first{};
    ASSERT_EQ(window.chipDatabase().findById(&first, 0xC2, 0x12), 1);
    window.runCommand(IdChipIdentify);
    EXPECT_STREQ(window.currentChip().name, first.name);

    // A flash chip answering with the IDs of a 24 EEPROM record selects that record:
    // Erase and Identify are greyed with it.
    const ChipInfo odd = flashChip("ANY", 0x10000, 0x0C, 0x05);
    plugIn(&odd);
    window.runCommand(IdChipIdentify);
    EXPECT_STREQ(window.currentChip().name, "AT24C02");
    EXPECT_EQ(window.dataBuffer().length(), 256u);
    EXPECT_EQ(window.shownPictureType(), 1);
    EXPECT_FALSE(window.action(IdErase)->isEnabled());
    EXPECT_FALSE(window.action(IdChipIdentify)->isEnabled());
    const size_t before = commandCount();
    window.OnChipIdentify(); // refused for a 24 EEPROM, without a word
    EXPECT_EQ(commandCount(), before);
    EXPECT_EQ(boxes_.boxes.size(), 2u);
}

TEST_F(OperationsTest, UnknownIdsAndFfFfAreNotIdentified) {
    for (Language language : {Language::English, Language::Chinese}) {
        plugIn(nullptr); // an empty socket answers FF FF
        CMainDlg& window = start(language, identifyChips());
        const std::string notFound =
            language == Language::English ? "Can not find device in database" : "无法识别！";
        const std::string notFoundBox = language == Language::English
                                            ? "Can not find device in database!\r\n"
                                            : "无法识别！\r\n";
        window.runCommand(IdChipIdentify);
        EXPECT_EQ(status(), notFound);
        EXPECT_EQ(boxes_.texts(),
                  std::vector<std::string>{notFoundBox + "ManufacturerID:FF\r\nDeviceID:FF"});
        EXPECT_STREQ(window.currentChip().name, "EN25T80");
        EXPECT_EQ(window.dataBuffer().length(), 0x100000u);
        boxes_.boxes.clear();

        const ChipInfo stranger = flashChip("ANY", 0x10000, 0x0B, 0x0E);
        plugIn(&stranger);
        window.runCommand(IdChipIdentify);
        EXPECT_EQ(boxes_.texts(),
                  std::vector<std::string>{notFoundBox + "ManufacturerID:B\r\nDeviceID:E"});
        EXPECT_STREQ(window.currentChip().name, "EN25T80");
        boxes_.boxes.clear();
        started_.reset();
    }
}

TEST_F(OperationsTest, FirmwareVersionShowsTheProgrammersText) {
    for (Language language : {Language::English, Language::Chinese}) {
        sim::FirmwareOptions options = unpaced();
        options.versionText = "SIM FW 3.14 build 7";
        plugIn(nullptr, options);
        CMainDlg& window = start(language);
        const size_t before = commandCount();
        window.runCommand(IdFirmwareVersion);
        EXPECT_EQ(firmware_->commandLog().size(), before + 1);
        EXPECT_EQ(firmware_->commandLog().back(), (Bytes{0x07, 0x00}));
        if (language == Language::English) {
            EXPECT_EQ(status(), "Successfully");
            EXPECT_EQ(boxes_.texts(),
                      std::vector<std::string>{
                          "Read firmware version Successfully! SIM FW 3.14 build 7"});
        } else {
            EXPECT_EQ(status(), "读固件版本成功！");
            EXPECT_EQ(boxes_.texts(),
                      std::vector<std::string>{"读固件版本成功！固件版本：SIM FW 3.14 build 7"});
        }
        boxes_.boxes.clear();
        started_.reset();
    }
}
