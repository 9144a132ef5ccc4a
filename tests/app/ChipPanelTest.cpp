// Chip information text, socket picture, command states, status line and progress.
#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QTextEdit>
#include <QToolBar>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/ChipInfoText.h"
#include "app/ChipPictures.h"

namespace {

const Texts& english = kTextsEnglish;
const Texts& chinese = kTextsChinese;

// The capacity line without its trailing line ends.
std::string capacity(const ChipInfo& chip, const Texts& texts) {
    return capacityText(chip, texts);
}

} // namespace

TEST(ChipInfoText, FlashChipWithPageProgramming) {
    ChipInfo chip = makeChip(ChipType::Flash25, "AB25X16", 0x200000, 1, 256, 0x1C, 0x15);
    EXPECT_EQ(chipInfoText(chip, english),
              "Chip:AB25X16\r\n\r\nManufacturer:XYZ\r\n\r\nCapacity:2MB\r\n\r\n"
              "Manufacturer ID:1C \r\n\r\nDevice ID:15 \r\n\r\nProgram Mode:PP\r\n\r\n"
              "Page Size:256Bytes\r\n");
    EXPECT_EQ(chipInfoText(chip, chinese),
              "器件：AB25X16\r\n\r\n厂商：XYZ\r\n\r\n容量：2MB\r\n\r\n厂商ID：1C \r\n\r\n"
              "器件ID：15 \r\n\r\n编程模式：页编程\r\n\r\n页大小：256字节\r\n");
}

TEST(ChipInfoText, CapacityFormatsOfEveryFamily) {
    auto flash = [](uint32_t size) { return makeChip(ChipType::Flash25, "F", size); };
    EXPECT_EQ(capacity(flash(0x100000), english), "Capacity:1MB\r\n\r\n");
    EXPECT_EQ(capacity(flash(0x100000), chinese), "容量：1MB\r\n\r\n");
    EXPECT_EQ(capacity(flash(0x80000), english), "Capacity:512KB\r\n\r\n");
    EXPECT_EQ(capacity(flash(0x180000), english), "Capacity:1MB\r\n\r\n");
    EXPECT_EQ(capacity(flash(0x1000000), english), "Capacity:16MB\r\n\r\n");

    auto eeprom24 = [](uint32_t size) { return makeChip(ChipType::Eeprom24, "E", size); };
    EXPECT_EQ(capacity(eeprom24(256), english), "Capacity:256B\r\n\r\n");
    EXPECT_EQ(capacity(eeprom24(1536), english), "Capacity:1KB\r\n\r\n");
    EXPECT_EQ(capacity(eeprom24(1023), chinese), "容量：1023B\r\n\r\n");
    EXPECT_EQ(capacity(makeChip(ChipType::Eeprom25, "E", 1024), english), "Capacity:1KB\r\n\r\n");

    auto eeprom93 = [](uint32_t size, uint8_t width) {
        return makeChip(ChipType::Eeprom93, "M", size, 0, 0, 0, 0, width);
    };
    EXPECT_EQ(capacity(eeprom93(128, 8), english), "Capacity:128 x8bit\r\n\r\n");
    EXPECT_EQ(capacity(eeprom93(128, 16), english),
              "Capacity:64 x16bit\r\n\r\n(MSB First)\r\n\r\n");
    EXPECT_EQ(capacity(eeprom93(128, 16), chinese),
              "容量：64 x16bit\r\n\r\n(高8位在前，低8位在后)\r\n\r\n");
    EXPECT_EQ(capacity(eeprom93(1024, 16), english),
              "Capacity:512 x16bit\r\n\r\n(MSB First)\r\n\r\n");
    EXPECT_EQ(capacity(eeprom93(2048, 16), english),
              "Capacity:1K x16bit\r\n\r\n(MSB First)\r\n\r\n");
    EXPECT_EQ(capacity(eeprom93(1024, 8), english), "Capacity:1K x8bit\r\n\r\n");
    EXPECT_EQ(capacity(eeprom93(0x200000, 8), english), "Capacity:2M x8bit\r\n\r\n");
    EXPECT_EQ(capacity(eeprom93(0x200000, 16), english),
              "Capacity:1M x16bit\r\n\r\n(MSB First)\r\n\r\n");
    // Any width but 8 counts 16-bit words.
    EXPECT_EQ(capacity(eeprom93(128, 0), english), "Capacity:64 x16bit\r\n\r\n(MSB First)\r\n\r\n");
    // Width is looked at for Microwire chips only.
    EXPECT_EQ(capacity(makeChip(ChipType::Flash25, "F", 512, 1, 256, 0, 0, 16), english),
              "Capacity:512B\r\n\r\n");
}

TEST(ChipInfoText, IdsAlwaysTwoDigitsAndByteModeHasNoPageLine) {
    ChipInfo chip = makeChip(ChipType::Eeprom24, "AT24C02", 256, 0, 8, 0x05, 0xEF, 8, "Atmel");
    const std::string text = chipInfoText(chip, english);
    EXPECT_NE(text.find("Manufacturer ID:05 \r\n\r\n"), std::string::npos);
    EXPECT_NE(text.find("Device ID:EF \r\n\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 17), "Program Mode:BP\r\n");
    EXPECT_EQ(text.find("Page Size"), std::string::npos);
    EXPECT_EQ(chipInfoText(chip, chinese).find("页大小"), std::string::npos);
}

TEST(ChipInfoText, NameWithoutTerminatorStaysInItsField) {
    ChipInfo chip = makeChip(ChipType::Flash25, "X", 1024);
    std::memset(chip.name, 'N', sizeof chip.name);
    std::memset(chip.manufacturer, 'M', sizeof chip.manufacturer);
    const std::string text = chipInfoText(chip, english);
    EXPECT_EQ(text.substr(0, 5 + 40 + 4), "Chip:" + std::string(40, 'N') + "\r\n\r\n");
    EXPECT_NE(text.find("Manufacturer:" + std::string(40, 'M') + "\r\n"), std::string::npos);
}

TEST(ChipPanel, WindowShowsTextPictureAndCommandStates) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    QWidget* eraseButton = window.toolBar()->widgetForAction(window.action(IdErase));
    QWidget* identifyButton = window.toolBar()->widgetForAction(window.action(IdChipIdentify));

    // Start-up found EN25T80.
    EXPECT_EQ(window.chipInfoEdit()->toPlainText().toStdString(),
              "Chip:EN25T80\n\nManufacturer:Eon\n\nCapacity:1MB\n\nManufacturer ID:1C \n\n"
              "Device ID:13 \n\nProgram Mode:PP\n\nPage Size:256Bytes\n");
    EXPECT_EQ(window.shownPictureType(), 0);

    selectChip(window, makeChip(ChipType::Eeprom24, "AT24C02", 256, 0, 8, 0, 0));
    EXPECT_EQ(window.shownPictureType(), 1);
    EXPECT_EQ(
        window.chipPictureLabel()->pixmap().toImage(),
        chipPicture(1).convertToFormat(window.chipPictureLabel()->pixmap().toImage().format()));
    EXPECT_FALSE(window.action(IdErase)->isEnabled());
    EXPECT_FALSE(window.action(IdChipIdentify)->isEnabled());
    EXPECT_FALSE(eraseButton->isEnabled());
    EXPECT_FALSE(identifyButton->isEnabled());
    EXPECT_TRUE(window.action(IdWrite)->isEnabled());

    selectChip(window, makeChip(ChipType::Eeprom93, "AT93C46", 128, 0, 0, 0, 0, 16));
    EXPECT_EQ(window.shownPictureType(), 3);
    EXPECT_NE(window.chipInfoEdit()->toPlainText().indexOf("(MSB First)"), -1);

    selectChip(window, makeChip(ChipType::Flash25, "W25Q16", 0x200000));
    EXPECT_EQ(window.shownPictureType(), 0);
    EXPECT_TRUE(window.action(IdErase)->isEnabled());
    EXPECT_TRUE(identifyButton->isEnabled());

    // An unknown family empties the picture and leaves the states alone.
    selectChip(window, makeChip(ChipType::Eeprom25, "25LC", 128));
    EXPECT_EQ(window.shownPictureType(), 2);
    ChipInfo odd = makeChip(static_cast<ChipType>(7), "ODD", 128);
    selectChip(window, odd);
    EXPECT_EQ(window.shownPictureType(), -1);
    EXPECT_TRUE(window.chipPictureLabel()->pixmap().isNull());
    EXPECT_FALSE(window.action(IdErase)->isEnabled());
    EXPECT_NE(window.chipInfoEdit()->toPlainText().indexOf("Chip:ODD"), -1);
}

TEST(ChipPanel, PicturesDifferPerFamilyAndTwoEepromFamiliesShareOne) {
    for (int type = 0; type < 4; ++type) {
        QImage picture = chipPicture(type);
        EXPECT_EQ(picture.width(), 165);
        EXPECT_EQ(picture.height(), 148);
    }
    EXPECT_NE(chipPicture(0), chipPicture(1));
    EXPECT_NE(chipPicture(0), chipPicture(3));
    EXPECT_NE(chipPicture(1), chipPicture(3));
    EXPECT_EQ(chipPicture(1), chipPicture(2));
    EXPECT_TRUE(chipPicture(4).isNull());
    EXPECT_TRUE(chipPicture(-1).isNull());
}

TEST(StatusAndProgress, StatusKeepsOnlyTheNewestMessage) {
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    EXPECT_EQ(window.statusEdit()->text().toStdString(), "");
    window.setStatusText("正在读出数据...");
    window.setStatusText(std::string("保存成功！"));
    EXPECT_EQ(window.statusEdit()->text().toStdString(), "保存成功！");
    // A two-line message reads as one line.
    window.setStatusText("设备打开失败！\r\n请重新连接设备！");
    EXPECT_EQ(window.statusEdit()->text().toStdString(), "设备打开失败！ 请重新连接设备！");
}

TEST(StatusAndProgress, PercentAndProgress) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    EXPECT_EQ(window.progressBar()->value(), 0);
    EXPECT_EQ(window.percentEdit()->text().toStdString(), "");

    window.showPercent(5);
    EXPECT_EQ(window.percentEdit()->text().toStdString(), " 5%");
    EXPECT_EQ(window.progressBar()->value(), 5);
    window.showPercent(99);
    EXPECT_EQ(window.percentEdit()->text().toStdString(), "99%");
    window.showPercent(100);
    window.showPercent(250);
    EXPECT_EQ(window.percentEdit()->text().toStdString(), "99%");
    EXPECT_EQ(window.progressBar()->value(), 99);
    // Only the low 16 bits count.
    window.showPercent(0x10000 + 42);
    EXPECT_EQ(window.percentEdit()->text().toStdString(), "42%");

    uint16_t progress = 100;
    window.setProgressSource([&progress] { return progress; });
    window.showProgress();
    EXPECT_EQ(window.percentEdit()->text().toStdString(), "100%");
    EXPECT_EQ(window.progressBar()->value(), 100);
    progress = 7;
    window.showProgress();
    EXPECT_EQ(window.percentEdit()->text().toStdString(), " 7%");
    EXPECT_EQ(window.progressBar()->value(), 7);
    // No upper bound on the text; the bar stays full.
    progress = 150;
    window.showProgress();
    EXPECT_EQ(window.percentEdit()->text().toStdString(), "150%");
    EXPECT_EQ(window.progressBar()->value(), 100);
}
