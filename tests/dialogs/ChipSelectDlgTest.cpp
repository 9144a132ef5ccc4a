// Select Device on a real database file: manufacturers, family filter, the chosen chip,
// and the Chip Select command's part that fetches it again.
#include "dialogs/ChipSelectDlg.h"
#include "DialogTestSupport.h"
#include "dialogs/ChipDialogs.h"
#include "dialogs/ControlId.h"
#include "res/Texts.h"

#include <QAbstractButton>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace {

std::vector<std::string> entries(const QListWidget* list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count(); ++i)
        out.push_back(textOf(list->item(i)->text()));
    return out;
}

int selectedRow(const QListWidget* list) {
    auto items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

void clickRow(QListWidget* list, int row, bool twice = false) {
    QRect rect = list->visualItemRect(list->item(row));
    if (twice)
        doubleClick(list->viewport(), rect.center());
    else
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

class ChipSelect : public ::testing::Test {
  protected:
    void SetUp() override {
        ChipInfo odd = makeChip("Odd", "ODD1", static_cast<ChipType>(7));
        writeDatabaseFile(path, {
                                    makeChip("Winbond", "W25Q80", ChipType::Flash25),
                                    makeChip("Winbond", "W25Q16", ChipType::Flash25, 2 << 20),
                                    makeChip("Atmel", "AT24C02", ChipType::Eeprom24, 256),
                                    makeChip("Atmel", "AT93C46", ChipType::Eeprom93, 128),
                                    makeChip("Atmel", "AT25080", ChipType::Eeprom25, 1024),
                                    makeChip("Atmel", "AT25DF041", ChipType::Flash25),
                                    makeChip("Macronix", "MX25L1605", ChipType::Flash25),
                                    odd,
                                });
        database = std::make_unique<ChipDatabase>(Language::English, path);
        ASSERT_EQ(database->load(), 1);
    }

    TempDir dir;
    std::string path = dir.file("ChipInfo.chip");
    std::unique_ptr<ChipDatabase> database;
};

} // namespace

TEST_F(ChipSelect, ListsManufacturersWithKnownFamiliesAndTheirChips) {
    CChipSelectDlg dialog(database.get(), textsFor(Language::English));
    EXPECT_EQ(textOf(dialog.windowTitle()), "Select Device");
    EXPECT_EQ(entries(dialog.manufacturerList()),
              (std::vector<std::string>{"Atmel", "Macronix", "Winbond"}));
    EXPECT_EQ(selectedRow(dialog.manufacturerList()), 0);
    EXPECT_TRUE(findControl<QAbstractButton>(&dialog, 1054)->isChecked());
    EXPECT_EQ(entries(dialog.deviceList()),
              (std::vector<std::string>{"AT24C02", "AT25080", "AT25DF041", "AT93C46"}));
    EXPECT_EQ(selectedRow(dialog.deviceList()), 0);

    const std::pair<int, const char*> families[] = {
        {1055, "AT25DF041"}, {1056, "AT25080"}, {1057, "AT24C02"}, {1058, "AT93C46"}};
    for (auto [button, chip] : families) {
        findControl<QAbstractButton>(&dialog, button)->click();
        EXPECT_EQ(entries(dialog.deviceList()), std::vector<std::string>{chip}) << button;
        EXPECT_EQ(selectedRow(dialog.deviceList()), 0);
    }

    // 93 EEPROM at Winbond: nothing to choose, and OK chooses nothing.
    clickRow(dialog.manufacturerList(), 2);
    EXPECT_TRUE(entries(dialog.deviceList()).empty());
    dialog.accept();
    ChipInfo untouched = makeChip("x", "UNTOUCHED", ChipType::Flash25);
    EXPECT_FALSE(dialog.getSelectedChip(&untouched));
    EXPECT_STREQ(untouched.name, "UNTOUCHED");
}

TEST_F(ChipSelect, DoubleClickChoosesLikeOk) {
    CChipSelectDlg dialog(database.get(), textsFor(Language::Chinese));
    dialog.show();
    EXPECT_EQ(textOf(dialog.windowTitle()), "选择器件");
    clickRow(dialog.manufacturerList(), 2);
    ASSERT_EQ(entries(dialog.deviceList()), (std::vector<std::string>{"W25Q16", "W25Q80"}));
    clickRow(dialog.deviceList(), 1, true);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    ChipInfo chosen{};
    ASSERT_TRUE(dialog.getSelectedChip(&chosen));
    EXPECT_STREQ(chosen.name, "W25Q80");
    EXPECT_EQ(chosen.capacity, 1024u * 1024);
}

TEST_F(ChipSelect, ChipSelectCommandFetchesTheChipIntoTheCurrentChip) {
    const Texts& texts = textsFor(Language::English);
    ChipInfo current = makeChip("Keep", "CURRENT", ChipType::Flash25, 4096);

    onNextModalDialog([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(runChipSelect(*database, current, texts));
    EXPECT_TRUE(modalActionRan());
    EXPECT_STREQ(current.name, "CURRENT");

    onNextModalDialog([](QWidget* modal) {
        auto* dialog = dynamic_cast<CChipSelectDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->manufacturerList()->setCurrentRow(1); // Macronix
        findControl<QAbstractButton>(dialog, 1)->click();
    });
    EXPECT_TRUE(runChipSelect(*database, current, texts));
    EXPECT_TRUE(modalActionRan());
    EXPECT_STREQ(current.name, "MX25L1605");
    EXPECT_STREQ(current.manufacturer, "Macronix");

    // A family without chips: OK leaves the current chip as it was.
    onNextModalDialog([](QWidget* modal) {
        findControl<QAbstractButton>(modal, 1058)->click();
        static_cast<CChipSelectDlg*>(modal)->manufacturerList()->setCurrentRow(1);
        findControl<QAbstractButton>(modal, 1)->click();
    });
    EXPECT_FALSE(runChipSelect(*database, current, texts));
    EXPECT_STREQ(current.name, "MX25L1605");
}

TEST(ChipSelectLarge, ListsEveryManufacturerOfAFullDatabase) {
    TempDir dir;
    std::string path = dir.file("ChipInfo.chip");
    std::vector<ChipInfo> chips;
    for (int i = 0; i < ChipDatabase::kMaxRecords; ++i) {
        char manufacturer[20], name[20];
        std::snprintf(manufacturer, sizeof manufacturer, "Maker%04d", i);
        std::snprintf(name, sizeof name, "CHIP%04d", i);
        chips.push_back(makeChip(manufacturer, name, ChipType::Eeprom24, 256));
    }
    writeDatabaseFile(path, chips);
    auto database = std::make_unique<ChipDatabase>(Language::English, path);
    ASSERT_EQ(database->load(), 1);

    CChipSelectDlg dialog(database.get(), textsFor(Language::English));
    ASSERT_EQ(dialog.manufacturerList()->count(), ChipDatabase::kMaxRecords);
    EXPECT_EQ(textOf(dialog.manufacturerList()->item(999)->text()), "Maker0999");
    dialog.manufacturerList()->setCurrentRow(999);
    EXPECT_EQ(entries(dialog.deviceList()), std::vector<std::string>{"CHIP0999"});
}

TEST(ChipSelectShipped, TheShippedDatabaseOffersTheDefaultChip) {
#ifndef SHIPPED_CHIP_DATABASE
    GTEST_SKIP() << "no shipped database in this build";
#else
    TempDir dir;
    std::string path = dir.file("ChipInfo.chip");
    std::filesystem::copy_file(SHIPPED_CHIP_DATABASE, path);
    auto database = std::make_unique<ChipDatabase>(Language::Chinese, path);
    ASSERT_EQ(database->load(), 1);
    ChipInfo standard{};
    ASSERT_EQ(database->find(&standard, 1, nullptr, "EN25T80"), 1);

    CChipSelectDlg dialog(database.get(), textsFor(Language::Chinese));
    auto makers = entries(dialog.manufacturerList());
    auto at = std::find(makers.begin(), makers.end(), std::string(standard.manufacturer));
    ASSERT_NE(at, makers.end());
    dialog.manufacturerList()->setCurrentRow(int(at - makers.begin()));
    findControl<QAbstractButton>(&dialog, 1055)->click();
    auto chips = entries(dialog.deviceList());
    auto chip = std::find(chips.begin(), chips.end(), "EN25T80");
    ASSERT_NE(chip, chips.end());
    dialog.deviceList()->setCurrentRow(int(chip - chips.begin()));
    dialog.accept();
    ChipInfo chosen{};
    ASSERT_TRUE(dialog.getSelectedChip(&chosen));
    EXPECT_STREQ(chosen.name, "EN25T80");
    EXPECT_STREQ(chosen.manufacturer, standard.manufacturer);
    EXPECT_EQ(chosen.capacity, standard.capacity);
    EXPECT_EQ(chosen.deviceId, standard.deviceId);
#endif
}
