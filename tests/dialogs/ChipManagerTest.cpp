// The database manager and Select Device on real database files: the texts of both builds,
// Add, Delete and Edit reaching the file, and a database with GBK names kept byte-exact.
#include "AppTestSupport.h"
#include "TempFolder.h"
#include "dialogs/ChipInfoDlg.h"
#include "dialogs/ChipSelectDlg.h"
#include "dialogs/ChipViewDlg.h"
#include "dialogs/ControlId.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

namespace {

std::string texts(const QListWidget* list) {
    std::string joined;
    for (int row = 0; row < list->count(); ++row)
        joined += list->item(row)->text().toStdString() + "|";
    return joined;
}

std::string selected(const QListWidget* list) {
    auto items = list->selectedItems();
    return items.isEmpty() ? "" : items.first()->text().toStdString();
}

// Cells of one column, or of one row when `row` is given.
std::string cells(const QTableWidget* table, int column, int row = -1) {
    std::string joined;
    for (int i = 0; i < (row < 0 ? table->rowCount() : table->columnCount()); ++i)
        joined += table->item(row < 0 ? i : row, row < 0 ? column : i)->text().toStdString() + "|";
    return joined;
}

// Fills the chip editor the next command opens and presses its OK.
std::shared_ptr<bool> answerEditor(std::function<void(CChipInfoDlg*)> fill) {
    return whenModal<QDialog>([fill](QDialog* modal) {
        auto* editor = dynamic_cast<CChipInfoDlg*>(modal);
        if (editor) {
            fill(editor);
            editor->button(1)->click();
        }
        if (modal->isVisible())
            modal->reject();
    });
}

void type(CChipInfoDlg* editor, int id, const char* text) {
    editor->edit(id)->setText(QString::fromUtf8(text));
}

ChipInfo microwire(const char* name, uint32_t capacity, uint8_t width) {
    ChipInfo chip =
        makeChip(ChipType::Eeprom93, name, capacity, 0, 256, 0x05, 0xC2, width, "Atmel");
    chip.minVoltage = 5;
    chip.maxVoltage = 55;
    return chip;
}

class ChipManager : public ::testing::Test {
  protected:
    void SetUp() override {
        writeDatabase(
            path, {makeChip(ChipType::Eeprom24, "AT24C01", 128, 1, 8, 0, 0, 8, "Atmel"),
                   makeChip(ChipType::Flash25, "AT25F1024", 1 << 20, 1, 256, 0, 0, 8, "Atmel"),
                   makeChip(ChipType::Flash25, "AT25F256", 1536, 1, 128, 0xEF, 0x14, 8, "Atmel"),
                   microwire("AT93C46", 128, 8), microwire("AT93C56", 2048, 8),
                   microwire("AT93C66", 512, 16), microwire("AT93C86", 4096, 16),
                   makeChip(ChipType::Flash25, "MX25L1605", 2 << 20, 1, 256, 0, 0, 8, "Macronix"),
                   makeChip(ChipType::Flash25, "W25Q16", 2 << 20, 1, 256, 0, 0, 8, "Winbond"),
                   makeChip(ChipType::Flash25, "W25Q80", 1 << 20, 1, 256, 0, 0, 8, "Winbond")});
        open(Language::English);
    }
    void open(Language language) {
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
    std::string names() {
        std::string joined;
        for (const ChipInfo& chip : chipsInFile(path))
            joined += std::string(chip.name) + "|";
        return joined;
    }

    TempFolder folder;
    std::string path = folder.file("ChipInfo.chip");
    std::unique_ptr<ChipDatabase> database;
    std::unique_ptr<CChipViewDlg> dialog;
};

} // namespace

TEST_F(ChipManager, ShowsTheTableOfEachBuildWithHeadersNeverCut) {
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Device View");
    EXPECT_EQ(texts(makers()), "Atmel|Macronix|Winbond|");
    EXPECT_EQ(selected(makers()), "Atmel");
    std::string headers;
    const int described[] = {40, 120, 60, 60, 60, 60, 60, 60, 60};
    QFontMetrics metrics(table()->horizontalHeader()->font());
    for (int column = 0; column < table()->columnCount(); ++column) {
        QString header = table()->horizontalHeaderItem(column)->text();
        headers += header.toStdString() + "|";
        EXPECT_GE(table()->columnWidth(column), described[column]) << column;
        EXPECT_GE(table()->columnWidth(column), metrics.horizontalAdvance(header) + 8) << column;
    }
    EXPECT_EQ(headers, "NO.|Chip|Min Voltage|Max Voltage|Capacity(KB)|Program Mode|Page Size|"
                       "Manufacturer ID|Device ID|");
    EXPECT_EQ(table()->columnWidth(0), 40);
    EXPECT_EQ(cells(table(), 0), "1|2|3|4|5|6|7|");
    EXPECT_EQ(cells(table(), 4), "128B|1024KB|1KB|128 x8bit|2K x8bit|256 x16bit|2K x16bit|");
    EXPECT_EQ(cells(table(), 0, 2), "3|AT25F256|2.7V|3.6V|1KB|PP|128|EF|14|");
    EXPECT_EQ(cells(table(), 0, 5), "6|AT93C66|0.5V|5.5V|256 x16bit|BP|Invalid|05|C2|");
    EXPECT_EQ(table()->item(0, 1)->textAlignment(), int(Qt::AlignCenter));
    family(1058);
    EXPECT_EQ(cells(table(), 1), "AT93C46|AT93C56|AT93C66|AT93C86|");
    family(1057);
    EXPECT_EQ(cells(table(), 1), "AT24C01|");
    // A manufacturer is taken by a click; moving with the keyboard does not refill.
    makers()->setFocus();
    QTest::keyClick(makers(), Qt::Key_Down);
    EXPECT_EQ(cells(table(), 1), "AT24C01|");
    clickMaker(2);
    family(1054);
    EXPECT_EQ(cells(table(), 1), "W25Q16|W25Q80|");

    open(Language::Chinese);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Dialog");
    EXPECT_EQ(table()->horizontalHeaderItem(4)->text().toStdString(), "容量");
    EXPECT_EQ(table()->columnWidth(4), 80);
    EXPECT_EQ(cells(table(), 0, 5), "6|AT93C66|0.5V|5.5V|256 x16bit|字节编程|无效|05|C2|");
    EXPECT_EQ(cells(table(), 5), "页编程|页编程|页编程|字节编程|字节编程|字节编程|字节编程|");
    EXPECT_EQ(findControl<QAbstractButton>(dialog.get(), 1000)->text().toStdString(), "添加器件");
}

TEST_F(ChipManager, AddDeleteAndEditReachTheFileAtOnce) {
    RecordingSink boxes;
    family(1055);
    table()->selectRow(1); // AT25F256: Add starts from a copy of it
    std::string prefilled;
    auto added = answerEditor([&prefilled](CChipInfoDlg* editor) {
        prefilled =
            editor->windowTitle().toStdString() + "|" + editor->edit(1021)->text().toStdString();
        type(editor, CChipInfoDlg::IdName, "ZT25Q32");
        type(editor, CChipInfoDlg::IdManufacturer, "Zetta");
    });
    dialog->OnAddChip();
    ASSERT_TRUE(*added);
    EXPECT_EQ(prefilled, "Add Chip|AT25F256");
    EXPECT_EQ(names(),
              "AT24C01|AT25F1024|AT25F256|AT93C46|AT93C56|AT93C66|AT93C86|MX25L1605|W25Q16|"
              "W25Q80|ZT25Q32|");
    EXPECT_EQ(chipsInFile(path).back().pageSize, 128);
    EXPECT_EQ(texts(makers()), "Atmel|Macronix|Winbond|Zetta|");
    EXPECT_EQ(selected(makers()), "Zetta");
    EXPECT_EQ(cells(table(), 1), "ZT25Q32|") << "the family filter stays";

    // A name already in the database, under any manufacturer, is refused; an empty one is
    // dropped without a word. Without rows the editor starts from the defaults.
    for (const char* name : {"ZT25Q32", "W25Q80", ""})
        answerEditor([name](CChipInfoDlg* editor) { type(editor, CChipInfoDlg::IdName, name); }),
            dialog->OnAddChip();
    family(1056);
    std::string defaults;
    answerEditor([&defaults](CChipInfoDlg* editor) {
        for (int id : {1021, 1024, 1020, 1022, 1025, 1026, 1027})
            defaults += editor->edit(id)->text().toStdString() + "|";
        defaults += editor->button(1055)->isChecked() ? "25 FLASH" : "?";
    });
    dialog->OnAddChip();
    EXPECT_EQ(defaults, "|1|2.7|5.5|256|FF|FF|25 FLASH");
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>{"Chip already exists!", "Chip already exists!"}));

    // Delete takes the first selected row, else the first row; no question is asked.
    family(1054);
    clickMaker(0);
    dialog->OnDeleteChip();
    table()->selectRow(3);
    QTest::keyClick(table(), Qt::Key_Down, Qt::ShiftModifier);
    dialog->OnDeleteChip();
    clickMaker(1);
    dialog->OnDeleteChip(); // Macronix's only chip: the manufacturer goes
    EXPECT_EQ(names(), "AT25F1024|AT25F256|AT93C46|AT93C66|AT93C86|W25Q16|W25Q80|ZT25Q32|");
    EXPECT_EQ(texts(makers()), "Atmel|Winbond|Zetta|");
    EXPECT_EQ(selected(makers()), "Atmel");

    // Edit (a double-click too) stores by name: a new name is a new chip.
    clickMaker(1);
    auto edited = answerEditor([](CChipInfoDlg* editor) {
        EXPECT_EQ(editor->windowTitle().toStdString() + editor->edit(1021)->text().toStdString(),
                  "Edit ChipW25Q80");
        type(editor, CChipInfoDlg::IdCapacity, "2048");
    });
    const QPoint cell = table()->visualItemRect(table()->item(1, 1)).center();
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, cell);
    ASSERT_TRUE(*edited);
    EXPECT_EQ(cells(table(), 4), "2048KB|2048KB|");
    answerEditor([](CChipInfoDlg* editor) {
        type(editor, CChipInfoDlg::IdName, "W25Q16JV");
        type(editor, CChipInfoDlg::IdManufacturer, "Macronix");
    });
    dialog->OnEditChip();
    EXPECT_EQ(names(),
              "AT25F1024|AT25F256|AT93C46|AT93C66|AT93C86|W25Q16JV|W25Q16|W25Q80|ZT25Q32|");
    EXPECT_EQ(selected(makers()), "Macronix");
    const std::string before = readFile(path);
    whenModal<QDialog>([](QDialog* editor) { editor->reject(); });
    dialog->OnEditChip();
    family(1056); // no rows: Edit and Delete do nothing
    dialog->OnEditChip();
    dialog->OnDeleteChip();
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(ChipManager, ASaveThatFailsIsReportedAndNothingStaleIsShown) {
    for (Language language : {Language::English, Language::Chinese}) {
        open(language);
        const std::string saved = readFile(path);
        ASSERT_EQ(::unlink(path.c_str()), 0); // saving never creates the file
        RecordingSink boxes;
        dialog->OnDeleteChip();
        EXPECT_EQ(boxes.texts().front(), language == Language::English
                                             ? "Failure to save chip database! The change is lost."
                                             : "打开文件失败！");
        EXPECT_EQ(::access(path.c_str(), F_OK), -1);
        EXPECT_EQ(table()->rowCount() + makers()->count(), 0);
        writeFile(path, saved);
    }
}

TEST(GbkDatabase, NamesShowDecodedAndAnUnchangedEditKeepsTheFileByteExact) {
    // 华邦 and 兆易创新 in GBK, sorted as bytes after ASCII; one name is 19 GBK characters.
    const std::string winbond = "\xBB\xAA\xB0\xEE", gigaDevice = "\xD5\xD7\xD2\xD7\xB4\xB4\xD0\xC2";
    std::string longName, decoded;
    for (int i = 0; i < 19; ++i) {
        longName += "\xD5\xD7";
        decoded += "兆";
    }
    auto started = startWindow(
        Language::Chinese,
        {makeChip(ChipType::Flash25, "EN25T80", 1 << 20, 1, 256, 0x1C, 0x13, 8, "Eon"),
         makeChip(ChipType::Flash25, "W25Q80", 1 << 20, 1, 256, 0xEF, 0x13, 8, winbond.c_str()),
         makeChip(ChipType::Flash25, "GD25Q16", 2 << 20, 1, 256, 0xC8, 0x14, 8, gigaDevice.c_str()),
         makeChip(ChipType::Eeprom24, longName.c_str(), 256, 1, 8, 0, 0, 8, gigaDevice.c_str())});
    CMainDlg& window = *started->window;
    const std::string path = started->path("ChipInfo.chip");
    const std::string original = readFile(path);
    RecordingSink boxes;

    CChipViewDlg manager(&window.chipDatabase(), kTextsChinese);
    QListWidget* makers = manager.manufacturerList();
    EXPECT_EQ(texts(makers), "Eon|华邦|兆易创新|");
    QTest::mouseClick(makers->viewport(), Qt::LeftButton, {},
                      makers->visualItemRect(makers->item(2)).center());
    EXPECT_EQ(cells(manager.chipTable(), 1), "GD25Q16|" + decoded + "|");
    for (const std::string& name : {std::string("GD25Q16"), decoded}) {
        manager.chipTable()->selectRow(name == decoded ? 1 : 0);
        std::string shown;
        auto ran = answerEditor([&shown](CChipInfoDlg* editor) {
            shown = editor->edit(1021)->text().toStdString() + "|" +
                    editor->edit(1028)->text().toStdString();
        });
        manager.OnEditChip(); // OK without a change
        ASSERT_TRUE(*ran);
        EXPECT_EQ(shown, name + "|兆易创新");
    }
    EXPECT_EQ(readFile(path), original);
    EXPECT_TRUE(boxes.boxes.empty());

    auto chosen = whenModal<QDialog>([](QDialog* modal) {
        auto* select = dynamic_cast<CChipSelectDlg*>(modal);
        EXPECT_EQ(texts(select->manufacturerList()), "Eon|华邦|兆易创新|");
        select->manufacturerList()->setCurrentRow(1);
        EXPECT_EQ(texts(select->deviceList()), "W25Q80|");
        select->accept();
    });
    window.action(IdChipSelect)->trigger();
    ASSERT_TRUE(*chosen);
    EXPECT_TRUE(window.chipInfoEdit()->toPlainText().startsWith("器件：W25Q80\n\n厂商：华邦\n"));
}
