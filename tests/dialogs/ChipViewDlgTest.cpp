// The database manager on a real file: table texts of both builds, and Add, Delete and
// Edit reaching the file on disk.
#include "dialogs/ChipViewDlg.h"
#include "DialogTestSupport.h"
#include "dialogs/ChipInfoDlg.h"
#include "dialogs/ControlId.h"
#include "res/Texts.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

std::vector<std::string> column(const QTableWidget* table, int col) {
    std::vector<std::string> out;
    for (int row = 0; row < table->rowCount(); ++row)
        out.push_back(textOf(table->item(row, col)->text()));
    return out;
}

std::vector<std::string> rowTexts(const QTableWidget* table, int row) {
    std::vector<std::string> out;
    for (int col = 0; col < table->columnCount(); ++col)
        out.push_back(textOf(table->item(row, col)->text()));
    return out;
}

std::vector<std::string> entries(const QListWidget* list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count(); ++i)
        out.push_back(textOf(list->item(i)->text()));
    return out;
}

std::string selectedManufacturer(const QListWidget* list) {
    auto items = list->selectedItems();
    return items.isEmpty() ? "" : textOf(items.first()->text());
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> names(const std::vector<ChipInfo>& chips) {
    std::vector<std::string> out;
    for (const ChipInfo& chip : chips)
        out.emplace_back(chip.name);
    return out;
}

// Fills the editor that the dialog opens and presses its OK.
void answerEditor(std::function<void(CChipInfoDlg*)> fill) {
    onNextModalDialog([fill](QWidget* modal) {
        auto* editor = dynamic_cast<CChipInfoDlg*>(modal);
        ASSERT_NE(editor, nullptr);
        fill(editor);
        findControl<QAbstractButton>(editor, 1)->click();
    });
}

void setText(CChipInfoDlg* editor, int id, const char* text) {
    editor->edit(id)->setText(QString::fromUtf8(text));
}

ChipInfo microwire(const char* name, uint32_t capacity, uint8_t width) {
    ChipInfo chip = makeChip("Atmel", name, ChipType::Eeprom93, capacity);
    chip.memoryWidth = width;
    chip.programMode = 0;
    chip.manufacturerId = 0x05;
    chip.deviceId = 0xC2;
    chip.minVoltage = 5;
    chip.maxVoltage = 55;
    return chip;
}

class ChipView : public ::testing::Test {
  protected:
    void SetUp() override {
        ChipInfo smallFlash = makeChip("Atmel", "AT25F256", ChipType::Flash25, 1536);
        smallFlash.pageSize = 128;
        writeDatabaseFile(path, {
                                    microwire("AT93C46", 128, 8),
                                    microwire("AT93C56", 2048, 8),
                                    microwire("AT93C66", 512, 16),
                                    microwire("AT93C86", 4096, 16),
                                    smallFlash,
                                    makeChip("Atmel", "AT25F1024", ChipType::Flash25, 1 << 20),
                                    makeChip("Atmel", "AT24C01", ChipType::Eeprom24, 128),
                                    makeChip("Winbond", "W25Q80", ChipType::Flash25),
                                    makeChip("Winbond", "W25Q16", ChipType::Flash25, 2 << 20),
                                    makeChip("Macronix", "MX25L1605", ChipType::Flash25),
                                });
        openDialog(Language::English);
    }
    void TearDown() override { cancelModalWatch(); }

    void openDialog(Language language) {
        dialog.reset();
        database = std::make_unique<ChipDatabase>(language, path);
        ASSERT_EQ(database->load(), 1);
        dialog = std::make_unique<CChipViewDlg>(database.get(), textsFor(language));
        dialog->show();
    }
    QTableWidget* table() const { return dialog->chipTable(); }
    QListWidget* makers() const { return dialog->manufacturerList(); }
    void clickMaker(int row) {
        QRect rect = makers()->visualItemRect(makers()->item(row));
        QTest::mouseClick(makers()->viewport(), Qt::LeftButton, {}, rect.center());
    }
    void family(int id) { findControl<QAbstractButton>(dialog.get(), id)->click(); }

    TempDir dir;
    std::string path = dir.file("ChipInfo.chip");
    std::unique_ptr<ChipDatabase> database;
    std::unique_ptr<CChipViewDlg> dialog;
};

} // namespace

TEST_F(ChipView, TableTextsOfBothBuilds) {
    EXPECT_EQ(textOf(dialog->windowTitle()), "Device View");
    EXPECT_EQ(entries(makers()), (std::vector<std::string>{"Atmel", "Macronix", "Winbond"}));
    EXPECT_EQ(selectedManufacturer(makers()), "Atmel");
    std::vector<std::string> headers,
        expected = {"NO.",          "Chip",      "Min Voltage",     "Max Voltage", "Capacity(KB)",
                    "Program Mode", "Page Size", "Manufacturer ID", "Device ID"};
    for (int col = 0; col < table()->columnCount(); ++col)
        headers.push_back(textOf(table()->horizontalHeaderItem(col)->text()));
    EXPECT_EQ(headers, expected);
    EXPECT_EQ(table()->columnWidth(1), 120);
    EXPECT_EQ(table()->columnWidth(4), 60);

    EXPECT_EQ(column(table(), 0), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7"}));
    EXPECT_EQ(column(table(), 1),
              (std::vector<std::string>{"AT24C01", "AT25F1024", "AT25F256", "AT93C46", "AT93C56",
                                        "AT93C66", "AT93C86"}));
    EXPECT_EQ(column(table(), 4),
              (std::vector<std::string>{"128B", "1024KB", "1KB", "128 x8bit", "2K x8bit",
                                        "256 x16bit", "2K x16bit"}));
    EXPECT_EQ(rowTexts(table(), 2), (std::vector<std::string>{"3", "AT25F256", "2.7V", "3.6V",
                                                              "1KB", "PP", "128", "EF", "14"}));
    EXPECT_EQ(rowTexts(table(), 5),
              (std::vector<std::string>{"6", "AT93C66", "0.5V", "5.5V", "256 x16bit", "BP",
                                        "Invalid", "05", "C2"}));
    EXPECT_EQ(table()->item(0, 1)->textAlignment(), int(Qt::AlignCenter));
    EXPECT_TRUE(table()->showGrid());
    EXPECT_EQ(table()->selectionBehavior(), QAbstractItemView::SelectRows);

    family(1058);
    EXPECT_EQ(column(table(), 0), (std::vector<std::string>{"1", "2", "3", "4"}));
    family(1057);
    EXPECT_EQ(column(table(), 1), std::vector<std::string>{"AT24C01"});

    openDialog(Language::Chinese);
    EXPECT_EQ(textOf(dialog->windowTitle()), "Dialog");
    EXPECT_EQ(textOf(table()->horizontalHeaderItem(4)->text()), "容量");
    EXPECT_EQ(table()->columnWidth(1), 100);
    EXPECT_EQ(table()->columnWidth(4), 80);
    EXPECT_EQ(rowTexts(table(), 2)[5], "页编程");
    EXPECT_EQ(rowTexts(table(), 5)[5], "字节编程");
    EXPECT_EQ(rowTexts(table(), 5)[6], "无效");
    EXPECT_EQ(textOf(findControl<QAbstractButton>(dialog.get(), 1000)->text()), "添加器件");
}

TEST_F(ChipView, OnlyAClickOnAManufacturerRefillsTheTable) {
    makers()->setFocus();
    QTest::keyClick(makers(), Qt::Key_Down);
    EXPECT_EQ(selectedManufacturer(makers()), "Macronix");
    EXPECT_EQ(column(table(), 1).front(), "AT24C01") << "the keyboard does not refill";
    clickMaker(2);
    EXPECT_EQ(column(table(), 1), (std::vector<std::string>{"W25Q16", "W25Q80"}));
}

TEST_F(ChipView, AddReachesTheFileAndSelectsTheNewManufacturer) {
    RecordingSink sink;
    family(1055);
    table()->selectRow(1); // AT25F256: the editor starts from a copy of it
    std::string prefilledName;
    answerEditor([&](CChipInfoDlg* editor) {
        prefilledName = textOf(editor->edit(CChipInfoDlg::IdName)->text());
        EXPECT_EQ(textOf(editor->windowTitle()), "Add Chip");
        setText(editor, CChipInfoDlg::IdName, "ZT25Q32");
        setText(editor, CChipInfoDlg::IdManufacturer, "Zetta");
        setText(editor, CChipInfoDlg::IdCapacity, "4096");
    });
    dialog->OnAddChip();
    ASSERT_TRUE(modalActionRan());
    EXPECT_EQ(prefilledName, "AT25F256");
    EXPECT_TRUE(sink.boxes.empty());

    ChipInfo stored{};
    ASSERT_TRUE(fileHasChip(path, "ZT25Q32", &stored));
    EXPECT_STREQ(stored.manufacturer, "Zetta");
    EXPECT_EQ(stored.capacity, 4096u * 1024);
    EXPECT_EQ(stored.pageSize, 128);
    EXPECT_EQ(chipsInFile(path).size(), 11u);
    EXPECT_EQ(entries(makers()),
              (std::vector<std::string>{"Atmel", "Macronix", "Winbond", "Zetta"}));
    EXPECT_EQ(selectedManufacturer(makers()), "Zetta");
    EXPECT_EQ(column(table(), 1), std::vector<std::string>{"ZT25Q32"});
}

TEST_F(ChipView, AddWithoutARowStartsFromDefaults) {
    RecordingSink sink;
    family(1056); // Atmel has no 25 EEPROM: empty table
    ASSERT_EQ(table()->rowCount(), 0);
    answerEditor([](CChipInfoDlg* editor) {
        EXPECT_EQ(textOf(editor->edit(CChipInfoDlg::IdName)->text()), "");
        EXPECT_EQ(textOf(editor->edit(CChipInfoDlg::IdCapacity)->text()), "1");
        EXPECT_TRUE(editor->button(CChipInfoDlg::IdUnitKB)->isChecked());
        EXPECT_EQ(textOf(editor->edit(CChipInfoDlg::IdMinVoltage)->text()), "2.7");
        EXPECT_EQ(textOf(editor->edit(CChipInfoDlg::IdMaxVoltage)->text()), "5.5");
        EXPECT_EQ(textOf(editor->edit(CChipInfoDlg::IdPageSize)->text()), "256");
        EXPECT_EQ(textOf(editor->edit(CChipInfoDlg::IdManufacturerId)->text()), "FF");
        EXPECT_TRUE(editor->button(1055)->isChecked());
        setText(editor, CChipInfoDlg::IdName, "AT25010");
        setText(editor, CChipInfoDlg::IdManufacturer, "Atmel");
        editor->button(1056)->click();
    });
    dialog->OnAddChip();
    ASSERT_TRUE(modalActionRan());
    ChipInfo stored{};
    ASSERT_TRUE(fileHasChip(path, "AT25010", &stored));
    EXPECT_EQ(stored.type, ChipType::Eeprom25);
    EXPECT_EQ(stored.manufacturerId, 0xFF);
    EXPECT_EQ(column(table(), 1), std::vector<std::string>{"AT25010"}) << "filter kept";
}

TEST_F(ChipView, DuplicatesAndEmptyNamesAreNotAdded) {
    for (Language language : {Language::English, Language::Chinese}) {
        openDialog(language);
        const std::string before = fileBytes(path);
        RecordingSink sink;
        answerEditor([](CChipInfoDlg*) {}); // pre-filled name of the first row, unchanged
        dialog->OnAddChip();
        ASSERT_TRUE(modalActionRan());
        answerEditor([](CChipInfoDlg* editor) { // a name held by another manufacturer
            setText(editor, CChipInfoDlg::IdName, "W25Q80");
            setText(editor, CChipInfoDlg::IdManufacturer, "Elsewhere");
        });
        dialog->OnAddChip();
        ASSERT_TRUE(modalActionRan());
        const char* exists = textsFor(language).chipExists;
        EXPECT_EQ(sink.texts(), (std::vector<std::string>{exists, exists}));

        answerEditor([](CChipInfoDlg* editor) { setText(editor, CChipInfoDlg::IdName, ""); });
        dialog->OnAddChip();
        ASSERT_TRUE(modalActionRan());
        EXPECT_EQ(sink.boxes.size(), 2u) << "an empty name adds nothing, silently";
        EXPECT_EQ(fileBytes(path), before);
        EXPECT_EQ(database->count(), 10);
    }
    EXPECT_STREQ(textsFor(Language::Chinese).chipExists, "添加的器件已存在！");
}

TEST_F(ChipView, DeleteTakesTheFirstSelectedOrTheFirstRow) {
    RecordingSink sink;
    dialog->OnDeleteChip(); // nothing selected: the first row
    EXPECT_FALSE(fileHasChip(path, "AT24C01"));
    EXPECT_EQ(chipsInFile(path).size(), 9u);
    EXPECT_EQ(selectedManufacturer(makers()), "Atmel");
    EXPECT_EQ(column(table(), 1).front(), "AT25F1024");

    table()->selectRow(3);
    QTest::keyClick(table(), Qt::Key_Down, Qt::ShiftModifier); // rows 3 and 4 selected
    dialog->OnDeleteChip();
    EXPECT_FALSE(fileHasChip(path, "AT93C56"));
    EXPECT_TRUE(fileHasChip(path, "AT93C66"));

    clickMaker(1);
    dialog->OnDeleteChip(); // Macronix's only chip: the manufacturer goes
    EXPECT_FALSE(fileHasChip(path, "MX25L1605"));
    EXPECT_EQ(entries(makers()), (std::vector<std::string>{"Atmel", "Winbond"}));
    EXPECT_EQ(selectedManufacturer(makers()), "Atmel");
    EXPECT_TRUE(sink.boxes.empty()) << "no question";
}

TEST_F(ChipView, EditAndDoubleClickStoreByName) {
    RecordingSink sink;
    clickMaker(2); // Winbond: W25Q16, W25Q80
    answerEditor([](CChipInfoDlg* editor) {
        EXPECT_EQ(textOf(editor->windowTitle()), "Edit Chip");
        EXPECT_EQ(textOf(editor->edit(CChipInfoDlg::IdName)->text()), "W25Q80");
        setText(editor, CChipInfoDlg::IdCapacity, "2048");
    });
    QRect cell = table()->visualItemRect(table()->item(1, 1));
    doubleClick(table()->viewport(), cell.center());
    ASSERT_TRUE(modalActionRan());
    ChipInfo stored{};
    ASSERT_TRUE(fileHasChip(path, "W25Q80", &stored));
    EXPECT_EQ(stored.capacity, 2048u * 1024);
    EXPECT_EQ(rowTexts(table(), 1)[4], "2048KB");

    // A new name stores a new chip beside the old one; moving it to another manufacturer
    // reselects that manufacturer.
    answerEditor([](CChipInfoDlg* editor) {
        setText(editor, CChipInfoDlg::IdName, "W25Q16JV");
        setText(editor, CChipInfoDlg::IdManufacturer, "Macronix");
    });
    dialog->OnEditChip(); // nothing selected after the reload: the first row
    ASSERT_TRUE(modalActionRan());
    EXPECT_TRUE(fileHasChip(path, "W25Q16"));
    ASSERT_TRUE(fileHasChip(path, "W25Q16JV", &stored));
    EXPECT_STREQ(stored.manufacturer, "Macronix");
    EXPECT_EQ(selectedManufacturer(makers()), "Macronix");

    // Cancel changes nothing.
    const std::string before = fileBytes(path);
    onNextModalDialog([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    dialog->OnEditChip();
    ASSERT_TRUE(modalActionRan());
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(ChipView, EmptyTableLeavesDeleteAndEditIdle) {
    family(1056); // no 25 EEPROM at Atmel
    ASSERT_EQ(table()->rowCount(), 0);
    const std::string before = fileBytes(path);
    onNextModalDialog([](QWidget*) {});
    dialog->OnEditChip();
    dialog->OnDeleteChip();
    QCoreApplication::processEvents();
    cancelModalWatch();
    EXPECT_FALSE(modalActionRan()) << "no editor for a chip the table does not show";
    EXPECT_EQ(fileBytes(path), before);
}

TEST_F(ChipView, ASaveThatFailsIsReported) {
    for (Language language : {Language::English, Language::Chinese}) {
        openDialog(language);
        std::string saved = fileBytes(path);
        std::filesystem::remove(path); // saving never creates the file
        RecordingSink sink;
        dialog->OnDeleteChip();
        const char* expected = language == Language::English ? textsFor(language).chipDbSaveFailed
                                                             : textsFor(language).dbFileOpenFailed;
        ASSERT_FALSE(sink.boxes.empty());
        EXPECT_EQ(sink.boxes.front().second, expected);
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_EQ(table()->rowCount(), 0) << "no stale rows of a database that is gone";
        EXPECT_EQ(makers()->count(), 0);
        std::ofstream(path, std::ios::binary) << saved;
    }
}

TEST(ChipViewFull, AFullDatabaseRefusesANewChipSilently) {
    TempDir dir;
    std::string path = dir.file("ChipInfo.chip");
    std::vector<ChipInfo> chips;
    for (int i = 0; i < ChipDatabase::kMaxRecords; ++i) {
        char manufacturer[20], name[20];
        std::snprintf(manufacturer, sizeof manufacturer, "Maker%04d", i % 150);
        std::snprintf(name, sizeof name, "CHIP%04d", i);
        chips.push_back(makeChip(manufacturer, name, ChipType::Flash25));
    }
    writeDatabaseFile(path, chips);
    auto database = std::make_unique<ChipDatabase>(Language::English, path);
    ASSERT_EQ(database->load(), 1);
    CChipViewDlg dialog(database.get(), textsFor(Language::English));
    EXPECT_EQ(dialog.manufacturerList()->count(), 150);
    EXPECT_EQ(dialog.chipTable()->rowCount(), 7); // Maker0000: chips 0, 150, ..., 900

    const std::string before = fileBytes(path);
    RecordingSink sink;
    answerEditor([](CChipInfoDlg* editor) { setText(editor, CChipInfoDlg::IdName, "ONEMORE"); });
    dialog.OnAddChip();
    ASSERT_TRUE(modalActionRan());
    EXPECT_TRUE(sink.boxes.empty());
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_EQ(names(chipsInFile(path)).size(), size_t(ChipDatabase::kMaxRecords));

    // An existing name is still replaced.
    answerEditor([](CChipInfoDlg* editor) { setText(editor, CChipInfoDlg::IdCapacity, "8"); });
    dialog.OnEditChip();
    ASSERT_TRUE(modalActionRan());
    ChipInfo stored{};
    ASSERT_TRUE(fileHasChip(path, "CHIP0000", &stored));
    EXPECT_EQ(stored.capacity, 8u * 1024);
}
