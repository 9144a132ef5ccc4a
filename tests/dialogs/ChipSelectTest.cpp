// Select Device on a real database file: manufacturers, the family filter, the chosen chip,
// and the Chip Select command's part that fetches it again.
#include "AppTestSupport.h"
#include "TempFolder.h"
#include "dialogs/ChipDialogs.h"
#include "dialogs/ChipSelectDlg.h"
#include "dialogs/ControlId.h"

#include <QAbstractButton>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

std::string entries(const QListWidget* list) {
    std::string joined;
    for (int row = 0; row < list->count(); ++row)
        joined +=
            list->item(row)->text().toStdString() + (list->item(row)->isSelected() ? "*|" : "|");
    return joined;
}

} // namespace

TEST(ChipSelect, ListsManufacturersWithChipsAndTheirChipsByFamily) {
    TempFolder folder;
    writeDatabase(folder.file("ChipInfo.chip"),
                  {makeChip(ChipType::Eeprom24, "AT24C02", 256, 1, 8, 0, 0, 8, "Atmel"),
                   makeChip(ChipType::Eeprom25, "AT25080", 1024, 1, 32, 0, 0, 8, "Atmel"),
                   makeChip(ChipType::Flash25, "AT25DF041", 1 << 19, 1, 256, 0, 0, 8, "Atmel"),
                   makeChip(ChipType::Eeprom93, "AT93C46", 128, 0, 0, 0, 0, 8, "Atmel"),
                   makeChip(ChipType::Flash25, "MX25L1605", 2 << 20, 1, 256, 0, 0, 8, "Macronix"),
                   makeChip(static_cast<ChipType>(7), "ODD1", 128, 1, 8, 0, 0, 8, "Odd"),
                   makeChip(ChipType::Flash25, "W25Q16", 2 << 20, 1, 256, 0, 0, 8, "Winbond"),
                   makeChip(ChipType::Flash25, "W25Q80", 1 << 20, 1, 256, 0, 0, 8, "Winbond")});
    ChipDatabase database(Language::English, folder.file("ChipInfo.chip"));
    ASSERT_EQ(database.load(), 1);
    CChipSelectDlg dialog(&database, kTextsEnglish);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Select Device");
    EXPECT_EQ(entries(dialog.manufacturerList()), "Atmel*|Macronix|Winbond|");
    EXPECT_TRUE(findControl<QAbstractButton>(&dialog, 1054)->isChecked());
    EXPECT_EQ(entries(dialog.deviceList()), "AT24C02*|AT25080|AT25DF041|AT93C46|");
    const std::pair<int, const char*> families[] = {
        {1055, "AT25DF041*|"}, {1056, "AT25080*|"}, {1057, "AT24C02*|"}, {1058, "AT93C46*|"}};
    for (auto [button, chips] : families) {
        findControl<QAbstractButton>(&dialog, button)->click();
        EXPECT_EQ(entries(dialog.deviceList()), chips) << button;
    }
    // 93 EEPROM at Winbond: nothing to choose, and OK chooses nothing.
    dialog.manufacturerList()->setCurrentRow(2);
    EXPECT_EQ(entries(dialog.deviceList()), "");
    dialog.accept();
    ChipInfo chosen = makeChip(ChipType::Flash25, "UNTOUCHED", 1);
    EXPECT_FALSE(dialog.getSelectedChip(&chosen));
    EXPECT_STREQ(chosen.name, "UNTOUCHED");

    // A double-click on a chip chooses it as OK does.
    findControl<QAbstractButton>(&dialog, 1054)->click();
    dialog.show();
    QListWidget* chips = dialog.deviceList();
    QPoint second = chips->visualItemRect(chips->item(1)).center();
    QTest::mouseClick(chips->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(chips->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_TRUE(dialog.getSelectedChip(&chosen));
    EXPECT_STREQ(chosen.name, "W25Q80");
    EXPECT_EQ(chosen.capacity, 1u << 20);

    // Chip Select fetches the chosen chip again by name; Cancel changes nothing.
    ChipInfo current = makeChip(ChipType::Flash25, "CURRENT", 1);
    whenModal<QDialog>([](QDialog* modal) { modal->reject(); });
    EXPECT_FALSE(runChipSelect(database, current, kTextsChinese));
    whenModal<QDialog>([](QDialog* modal) {
        static_cast<CChipSelectDlg*>(modal)->manufacturerList()->setCurrentRow(1);
    });
    EXPECT_TRUE(runChipSelect(database, current, kTextsChinese));
    EXPECT_STREQ(current.name, "MX25L1605");
    EXPECT_STREQ(current.manufacturer, "Macronix");
}
