// The chip editor, Select Device and the database manager on real database files.
#include "dialogs/ChipDialogs.h"
#include "AppTestSupport.h"
#include "TempFolder.h"
#include "dialogs/ChipInfoDlg.h"
#include "dialogs/ChipSelectDlg.h"
#include "dialogs/ChipViewDlg.h"
#include "dialogs/ControlId.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

constexpr int Flash = 1055, Eeprom24 = 1057, Eeprom93 = 1058;
constexpr int Name = 1021, Maker = 1028, Cap = 1024, Min = 1020, Max = 1022, Page = 1025;
constexpr int MId = 1026, DId = 1027, AW = 1034, MW = 1031, UnitB = 1059, BP = 1030;

struct Editor {
    explicit Editor(const ChipInfo& start, Language language = Language::English)
        : texts(textsFor(language)), dialog(texts.editChipTitle, &start, texts) {
        dialog.show();
    }
    std::string get(int id) const { return dialog.edit(id)->text().toStdString(); }
    const Texts& texts;
    CChipInfoDlg dialog;
};

// Entries of a list, the selected ones marked with '*'.
std::string entries(const QListWidget* list) {
    std::string joined;
    for (int row = 0; row < list->count(); ++row)
        joined +=
            list->item(row)->text().toStdString() + (list->item(row)->isSelected() ? "*|" : "|");
    return joined;
}

// Cells of one column, or of one row when `row` is given.
std::string cells(const QTableWidget* table, int column, int row = -1) {
    std::string joined;
    for (int i = 0; i < (row < 0 ? table->rowCount() : table->columnCount()); ++i)
        joined += table->item(row < 0 ? i : row, row < 0 ? column : i)->text().toStdString() + "|";
    return joined;
}

void click(QAbstractItemView* view, QModelIndex index, bool twice = false) {
    const QPoint at = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    if (twice)
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

// Fills in the chip editor that the next command opens and presses its OK.
std::shared_ptr<bool> answerEditor(std::function<void(CChipInfoDlg*)> fill) {
    return whenModal<QDialog>([fill](QDialog* modal) {
        if (auto* editor = dynamic_cast<CChipInfoDlg*>(modal)) {
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

ChipInfo chip(ChipType type, const char* name, uint32_t capacity, const char* maker = "Atmel") {
    return makeChip(type, name, capacity, 1, 256, 0x1C, 0x13, 8, maker);
}
ChipInfo microwire(const char* name, uint32_t capacity, uint8_t width) {
    ChipInfo chip{ChipType::Eeprom93, {}, "Atmel", 5, 55, capacity, 0, 256, 0x05, 0xC2, 7, width};
    std::snprintf(chip.name, sizeof chip.name, "%s", name);
    return chip;
}

const ChipInfo kFlash{
    ChipType::Flash25, "W25Q80", "Winbond", 27, 36, 1048576, 1, 256, 0x05, 0xC2, 0, 8};

struct Case {
    std::vector<int> clicks;
    std::vector<std::pair<int, const char*>> edits;
    const char* Texts::*message; // null: OK closes the dialog
    const char* fields;          // what the working chip then holds, field by field
};

const Case kCases[] = {
    {{}, {}, nullptr, "type=0 name=W25Q80 maker=Winbond min=27 max=36 cap=1048576 mode=1"},
    {{}, {}, nullptr, "page=256 ids=05C2 aw=0 mw=8"},
    {{}, {{Cap, "102400"}}, nullptr, "cap=104857600"},
    {{UnitB}, {{Cap, "0000000512tail"}}, nullptr, "cap=512"},
    {{}, {{Cap, "102401"}}, &Texts::capacityError, ""},
    {{UnitB}, {{Cap, "102401"}}, &Texts::capacityError, ""},
    {{}, {{Cap, ""}}, &Texts::capacityError, ""},
    {{}, {{Cap, "4294968320"}}, &Texts::capacityError, ""},
    {{}, {{Min, "1.8"}, {Max, "3.9"}}, nullptr, "min=18 max=39"},
    {{}, {{Min, "2.9"}}, &Texts::minVoltageError, ""},
    {{}, {{Min, "27"}}, &Texts::minVoltageError, ""},
    {{}, {{Min, "2,7"}}, &Texts::minVoltageError, ""},
    {{}, {{Max, "36"}}, &Texts::maxVoltageError, ""},
    {{}, {{Max, "3.66"}}, &Texts::maxVoltageError, ""},
    {{}, {{Page, "25x6"}}, &Texts::pageSizeError, ""},
    {{}, {{Page, "9999x"}}, nullptr, "page=9999"},
    {{BP}, {{Page, "none"}}, nullptr, "mode=0 page=256"},
    {{}, {{MId, "c2"}, {DId, "C"}}, nullptr, "ids=C20C"},
    {{}, {{MId, "G1"}, {DId, ""}}, nullptr, "ids=FFFF"},
    {{}, {{MId, "1F5"}}, nullptr, "ids=1FC2"},
    {{Eeprom93}, {{AW, "7"}, {MW, "16"}}, nullptr, "type=3 aw=7 mw=16"},
    {{Eeprom93}, {{AW, "20"}, {MW, "08"}}, nullptr, "aw=20 mw=8"},
    {{Eeprom93}, {{AW, "0"}, {MW, "8"}}, &Texts::addressWidthError, ""},
    {{Eeprom93}, {{AW, "21"}, {MW, "8"}}, &Texts::addressWidthError, ""},
    {{Eeprom93}, {}, &Texts::addressWidthError, ""}, // the widths still hold one space
    {{Eeprom93}, {{AW, "6"}, {MW, "9"}}, &Texts::memoryWidthError, ""},
    {{Eeprom93, Eeprom24}, {{AW, "6"}}, nullptr, "type=1 aw=0 mw=8"},
    {{},
     {{Name, "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN"}, {Cap, "x"}},
     &Texts::nameTooLong,
     "name=W25Q80"},
    {{},
     {{Name, "芯芯芯芯芯芯芯芯芯芯芯芯芯"}},
     nullptr,
     "name=芯芯芯芯芯芯芯芯芯芯芯芯芯"}, // 39 bytes
    {{}, {{Name, "芯芯芯芯芯芯芯芯芯芯芯芯芯片"}}, &Texts::nameTooLong, ""},
    {{}, {{Maker, "兆易创新科技集团"}}, &Texts::manufacturerTooLong, ""},
    {{},
     {{Name, "NEW"}, {Maker, "NewCo"}, {Cap, "64"}, {Min, "1.6"}, {Max, "bad"}},
     &Texts::maxVoltageError,
     "name=NEW maker=NewCo min=16 max=36 cap=65536"},
};

class ChipDialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        writeDatabase(
            path,
            {chip(ChipType::Eeprom24, "AT24C01", 128), chip(ChipType::Eeprom25, "AT25080", 1024),
             chip(ChipType::Flash25, "AT25F1024", 1 << 20),
             makeChip(ChipType::Flash25, "AT25F256", 1536, 1, 128, 0xEF, 0x14, 8, "Atmel"),
             microwire("AT93C46", 128, 8), microwire("AT93C56", 2048, 8),
             microwire("AT93C66", 1024, 16), microwire("AT93C86", 4096, 16),
             chip(ChipType::Flash25, "MX25L1605", 2 << 20, "Macronix"),
             chip(static_cast<ChipType>(7), "ODD1", 128, "Odd"),
             chip(ChipType::Flash25, "W25Q16", 2 << 20, "Winbond"),
             chip(ChipType::Flash25, "W25Q80", 1 << 20, "Winbond")});
        open(Language::English);
    }
    void open(Language language) {
        manager.reset();
        database = std::make_unique<ChipDatabase>(language, path);
        ASSERT_EQ(database->load(), 1);
        manager = std::make_unique<CChipViewDlg>(database.get(), textsFor(language));
        manager->show();
    }
    QTableWidget* table() const { return manager->chipTable(); }
    QListWidget* makers() const { return manager->manufacturerList(); }
    void family(QWidget* dialog, int id) { findControl<QAbstractButton>(dialog, id)->click(); }
    std::string names() {
        std::string joined;
        for (const ChipInfo& chip : chipsInFile(path))
            joined += std::string(chip.name) + "|";
        return joined;
    }

    TempFolder folder;
    std::string path = folder.file("ChipInfo.chip");
    std::unique_ptr<ChipDatabase> database;
    std::unique_ptr<CChipViewDlg> manager;
};

} // namespace

TEST(ChipEditor, OkChecksTheFieldsInTheirOrderAndNamesTheFirstThatFails) {
    for (Language language : {Language::English, Language::Chinese})
        for (const Case& c : kCases) {
            SCOPED_TRACE(c.fields + std::to_string(c.edits.size()));
            Editor editor(kFlash, language);
            for (int id : c.clicks)
                editor.dialog.button(id)->click();
            for (auto [id, text] : c.edits)
                editor.dialog.edit(id)->setText(QString::fromUtf8(text));
            RecordingSink boxes; // OK: the message shown, or none and the dialog closed
            editor.dialog.setResult(QDialog::Rejected);
            editor.dialog.accept();
            EXPECT_EQ(boxes.boxes.empty() ? "" : boxes.texts().back(),
                      c.message ? editor.texts.*c.message : "");
            EXPECT_EQ(editor.dialog.isVisible(), !boxes.boxes.empty()) << "a refused OK stays";
            ChipInfo r{};
            editor.dialog.getResult(&r);
            const std::string result = formatText(
                " type=%u name=%s maker=%s min=%d max=%d cap=%u mode=%u page=%d ids=%02X%02X "
                "aw=%d mw=%d ",
                unsigned(r.type), r.name, r.manufacturer, r.minVoltage, r.maxVoltage, r.capacity,
                r.programMode, r.pageSize, r.manufacturerId, r.deviceId, r.addressWidth,
                r.memoryWidth);
            std::istringstream fields(c.fields);
            for (std::string field; fields >> field;)
                EXPECT_NE(result.find(" " + field + " "), std::string::npos) << field << result;
            for (auto [id, text] : c.edits)
                EXPECT_EQ(editor.get(id), text) << "the user's text stays";
        }
    std::string messages;
    for (auto message : {&Texts::capacityError, &Texts::minVoltageError, &Texts::maxVoltageError,
                         &Texts::pageSizeError, &Texts::chipTypeError, &Texts::addressWidthError,
                         &Texts::memoryWidthError})
        messages += std::string(kTextsEnglish.*message) + kTextsChinese.*message + "|";
    EXPECT_EQ(messages, "Capacity error!容量输入错误！|Min voltage error!最小电压输入错误！|"
                        "Max voltage error!最大电压输入错误！|Page size error!页字节数输入错误！|"
                        "Chip type error!芯片型号选择错误！|Address width error!地址位数输入错误！|"
                        "Memory width error!存储单元位数输入错误！|");
}

TEST(ChipEditor, ShowsTheChipItStartsFromWithReadOnlyWidthsGreyed) {
    auto greyed = [](const QLineEdit* edit) {
        return edit->isReadOnly() &&
               edit->palette().color(QPalette::Base) == edit->palette().color(QPalette::Window);
    };
    auto shown = [](const Editor& editor) {
        std::string texts;
        for (int id : {Name, Maker, Cap, Min, Max, Page, MId, DId, AW, MW})
            texts += editor.get(id) + "|";
        for (int id : {UnitB, 1060, 1029, BP, Flash, 1056, Eeprom24, Eeprom93})
            texts += editor.dialog.button(id)->isChecked() ? "x" : "-";
        return texts;
    };
    ChipInfo small = kFlash;
    small.capacity = 1536;
    Editor flash(small);
    EXPECT_EQ(flash.dialog.windowTitle().toStdString(), "Edit Chip");
    EXPECT_EQ(shown(flash), "W25Q80|Winbond|1|2.7|3.6|256|05|C2| | |-xx-x---");
    EXPECT_TRUE(greyed(flash.dialog.edit(AW)) && greyed(flash.dialog.edit(MW)));

    ChipInfo microwire = makeChip(ChipType::Eeprom93, "AT93C46", 128, 0, 9, 0, 0, 16, "Atmel");
    microwire.addressWidth = 7;
    Editor chinese(microwire, Language::Chinese);
    EXPECT_EQ(shown(chinese), "AT93C46|Atmel|128|2.7|3.6|9|00|00|7|16|x--x---x");
    EXPECT_EQ(chinese.dialog.button(1029)->text().toStdString(), "页编程");
    EXPECT_FALSE(greyed(chinese.dialog.edit(AW)) || greyed(chinese.dialog.edit(MW)));
    // Family clicks switch the widths between editable and read-only, keeping their text.
    chinese.dialog.button(Eeprom24)->click();
    EXPECT_TRUE(greyed(chinese.dialog.edit(AW)) && greyed(chinese.dialog.edit(MW)));
    EXPECT_EQ(chinese.get(AW), "7");
    chinese.dialog.button(Eeprom93)->click();
    EXPECT_FALSE(greyed(chinese.dialog.edit(MW)));
}

TEST_F(ChipDialogs, SelectDeviceOpensOnTheChipAndListsWhatPassesTheFiltersNaturally) {
    const ChipInfo opened = chip(ChipType::Flash25, "AT25F1024", 1 << 20);
    CChipSelectDlg select(database.get(), kTextsEnglish, &opened);
    select.show();
    EXPECT_EQ(select.windowTitle().toStdString(), "Select Device");
    std::string shown = entries(select.manufacturerList()) + entries(select.deviceList());
    for (int id : {1055, 1056, 1057, 1058}) // a maker without a chip of the family is hidden
        family(&select, id),
            shown += " " + entries(select.manufacturerList()) + entries(select.deviceList());
    EXPECT_EQ(shown, "Atmel*|Macronix|Winbond|AT24C01|AT25F256|AT25F1024*|AT93C46|AT93C56|"
                     "AT93C66|AT93C86|AT25080| Atmel*|Macronix|Winbond|AT25F256|AT25F1024*| "
                     "Atmel*|AT25080*| Atmel*|AT24C01*| Atmel*|AT93C46*|AT93C56|AT93C66|AT93C86|");
    family(&select, 1054);
    select.filterEdit()->setText("q"); // part of a name, either case; Down picks the next
    QTest::keyClick(select.filterEdit(), Qt::Key_Down);
    EXPECT_EQ(entries(select.manufacturerList()) + entries(select.deviceList()),
              "Winbond*|W25Q16|W25Q80*|");
    select.filterEdit()->setText("Zz"); // nothing passes: OK chooses nothing
    EXPECT_EQ(entries(select.manufacturerList()) + entries(select.deviceList()), "");
    select.accept();
    ChipInfo chosen{};
    EXPECT_FALSE(select.getSelectedChip(&chosen));
    select.filterEdit()->setText("25Q8"); // a double-click chooses as OK does
    select.show();
    click(select.deviceList(), select.deviceList()->model()->index(0, 0), true);
    EXPECT_EQ(select.result(), QDialog::Accepted);
    EXPECT_TRUE(select.getSelectedChip(&chosen) && std::string(chosen.name) == "W25Q80");

    // Cancel in Chip Select changes nothing (OK: through the window in the GBK test).
    ChipInfo current = makeChip(ChipType::Flash25, "CURRENT", 1);
    whenModal<QDialog>([](QDialog* modal) { modal->reject(); });
    EXPECT_FALSE(runChipSelect(*database, current, kTextsChinese));
    EXPECT_STREQ(current.name, "CURRENT");
}

TEST_F(ChipDialogs, TheManagerShowsTheTableOfEachBuildWithHeadersNeverCut) {
    EXPECT_EQ(manager->windowTitle().toStdString(), "Device View");
    EXPECT_EQ(entries(makers()), "Atmel*|Macronix|Winbond|");
    std::string headers;
    const int described[] = {40, 120, 60, 60, 60, 60, 60, 60, 60};
    QFontMetrics metrics(table()->horizontalHeader()->font());
    for (int column = 0; column < table()->columnCount(); ++column) {
        const QString header = table()->horizontalHeaderItem(column)->text();
        headers += header.toStdString() + "|";
        EXPECT_GE(table()->columnWidth(column), described[column]) << column;
        EXPECT_GE(table()->columnWidth(column), metrics.horizontalAdvance(header) + 8) << column;
    }
    EXPECT_EQ(headers, "NO.|Chip|Min Voltage|Max Voltage|Capacity(KB)|Program Mode|Page Size|"
                       "Manufacturer ID|Device ID|");
    EXPECT_EQ(table()->columnWidth(0), 40);
    EXPECT_EQ(cells(table(), 4), "128B|1KB|1024KB|1KB|128 x8bit|2K x8bit|512 x16bit|2K x16bit|");
    EXPECT_EQ(cells(table(), 0, 3), "4|AT25F256|2.7V|3.6V|1KB|PP|128|EF|14|");
    EXPECT_EQ(cells(table(), 0, 6), "7|AT93C66|0.5V|5.5V|512 x16bit|BP|Invalid|05|C2|");
    EXPECT_EQ(table()->item(0, 1)->textAlignment(), int(Qt::AlignCenter));
    family(manager.get(), 1058);
    EXPECT_EQ(cells(table(), 0), "1|2|3|4|");
    // A manufacturer is taken by a click; moving to it with the keyboard does not refill.
    makers()->setFocus();
    QTest::keyClick(makers(), Qt::Key_Down);
    EXPECT_EQ(cells(table(), 1), "AT93C46|AT93C56|AT93C66|AT93C86|");
    click(makers(), makers()->model()->index(2, 0));
    family(manager.get(), 1054);
    EXPECT_EQ(cells(table(), 1), "W25Q16|W25Q80|");

    open(Language::Chinese);
    EXPECT_EQ(manager->windowTitle().toStdString(), "器件管理");
    EXPECT_EQ(table()->horizontalHeaderItem(4)->text().toStdString() +
                  std::to_string(table()->columnWidth(4)) + cells(table(), 5),
              "容量80页编程|页编程|页编程|页编程|字节编程|字节编程|字节编程|字节编程|");
    EXPECT_EQ(cells(table(), 0, 6), "7|AT93C66|0.5V|5.5V|512 x16bit|字节编程|无效|05|C2|");
    EXPECT_EQ(findControl<QAbstractButton>(manager.get(), 1000)->text().toStdString(), "添加器件");
}

TEST_F(ChipDialogs, AddDeleteAndEditReachTheFileAtOnce) {
    RecordingSink boxes;
    family(manager.get(), 1055);
    table()->selectRow(1); // AT25F256: Add starts from a copy of it
    std::string prefilled;
    answerEditor([&prefilled](CChipInfoDlg* editor) {
        prefilled =
            editor->windowTitle().toStdString() + "|" + editor->edit(1021)->text().toStdString();
        type(editor, 1021, "ZT25Q32");
        type(editor, 1028, "Zetta");
    });
    manager->OnAddChip();
    EXPECT_EQ(prefilled, "Add Chip|AT25F256");
    EXPECT_EQ(entries(makers()), "Atmel|Macronix|Winbond|Zetta*|");
    EXPECT_EQ(cells(table(), 1), "ZT25Q32|") << "the family filter stays";
    // A name already in the database, under any manufacturer, is refused; an empty one is
    // dropped without a word. Without rows the editor starts from the defaults.
    for (const char* name : {"ZT25Q32", "W25Q80", ""}) {
        answerEditor([name](CChipInfoDlg* editor) { type(editor, 1021, name); });
        manager->OnAddChip();
    }
    family(manager.get(), 1056);
    std::string defaults;
    answerEditor([&defaults](CChipInfoDlg* editor) {
        for (int id : {1021, 1024, 1020, 1022, 1025, 1026, 1027})
            defaults += editor->edit(id)->text().toStdString() + "|";
        defaults += editor->button(1055)->isChecked() ? "25 FLASH" : "?";
    });
    manager->OnAddChip();
    EXPECT_EQ(defaults, "|1|2.7|5.5|256|FF|FF|25 FLASH");
    EXPECT_EQ(boxes.texts(), std::vector<std::string>(2, "Chip already exists!"));

    // Delete takes the first selected row, else the first row, and asks nothing.
    family(manager.get(), 1054);
    click(makers(), makers()->model()->index(0, 0));
    manager->OnDeleteChip();
    table()->selectRow(3);
    QTest::keyClick(table(), Qt::Key_Down, Qt::ShiftModifier);
    manager->OnDeleteChip();
    click(makers(), makers()->model()->index(1, 0));
    manager->OnDeleteChip(); // Macronix's only chip: the manufacturer goes
    EXPECT_EQ(names(),
              "AT25080|AT25F1024|AT25F256|AT93C56|AT93C66|AT93C86|ODD1|W25Q16|W25Q80|ZT25Q32|");
    EXPECT_EQ(entries(makers()), "Atmel*|Winbond|Zetta|");

    // Edit (a double-click too) stores by name: a new name is a new chip.
    click(makers(), makers()->model()->index(1, 0));
    auto edited = answerEditor([](CChipInfoDlg* editor) {
        EXPECT_EQ(editor->windowTitle().toStdString() + editor->edit(1021)->text().toStdString(),
                  "Edit ChipW25Q80");
        type(editor, 1024, "2048");
    });
    click(table(), table()->model()->index(1, 1), true);
    ASSERT_TRUE(*edited);
    EXPECT_EQ(cells(table(), 4), "2048KB|2048KB|");
    answerEditor([](CChipInfoDlg* editor) {
        type(editor, 1021, "W25Q16JV");
        type(editor, 1028, "Macronix");
    });
    manager->OnEditChip();
    EXPECT_EQ(names(), "AT25080|AT25F1024|AT25F256|AT93C56|AT93C66|AT93C86|W25Q16JV|ODD1|W25Q16|"
                       "W25Q80|ZT25Q32|");
    EXPECT_EQ(entries(makers()), "Atmel|Macronix*|Winbond|Zetta|");
    const std::string before = readFile(path);
    whenModal<QDialog>([](QDialog* editor) { editor->reject(); });
    manager->OnEditChip();
    family(manager.get(), 1056); // no rows: Edit and Delete do nothing
    manager->OnEditChip();
    manager->OnDeleteChip();
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(ChipDialogs, ASaveThatFailsIsReportedAndNothingStaleIsShown) {
    for (Language language : {Language::English, Language::Chinese}) {
        open(language);
        const std::string saved = readFile(path);
        ASSERT_EQ(::unlink(path.c_str()), 0); // saving never creates the file
        RecordingSink boxes;
        manager->OnDeleteChip();
        EXPECT_EQ(boxes.texts().front(), language == Language::English
                                             ? "Failure to save chip database! The change is lost."
                                             : "打开文件失败！");
        EXPECT_EQ(::access(path.c_str(), F_OK), -1);
        EXPECT_EQ(table()->rowCount() + makers()->count(), 0);
        writeFile(path, saved);
    }
}

TEST(GbkDatabase, NamesShowDecodedAnUnchangedEditKeepsTheBytesAndChipSelectShowsThem) {
    // 华邦 and 兆易创新 in GBK, sorted as bytes after ASCII; one name is 19 GBK characters.
    const std::string winbond = "\xBB\xAA\xB0\xEE", giga = "\xD5\xD7\xD2\xD7\xB4\xB4\xD0\xC2";
    std::string longName, decoded;
    for (int i = 0; i < 19; ++i)
        longName += "\xD5\xD7", decoded += "兆";
    auto started = startWindow(Language::Chinese,
                               {chip(ChipType::Flash25, "EN25T80", 1 << 20, "Eon"),
                                chip(ChipType::Eeprom24, "24C02", 256, winbond.c_str()),
                                chip(ChipType::Flash25, "GD25Q16", 2 << 20, giga.c_str()),
                                chip(ChipType::Flash25, longName.c_str(), 1 << 20, giga.c_str())});
    CMainDlg& window = *started->window;
    const std::string original = readFile(started->path("ChipInfo.chip"));
    RecordingSink boxes;
    CChipViewDlg manager(&window.chipDatabase(), kTextsChinese);
    EXPECT_EQ(entries(manager.manufacturerList()), "Eon*|华邦|兆易创新|");
    click(manager.manufacturerList(), manager.manufacturerList()->model()->index(2, 0));
    EXPECT_EQ(cells(manager.chipTable(), 1), "GD25Q16|" + decoded + "|");
    for (int row : {0, 1}) {
        manager.chipTable()->selectRow(row);
        std::string shown;
        answerEditor([&shown](CChipInfoDlg* editor) {
            shown = editor->edit(1021)->text().toStdString() + "|" +
                    editor->edit(1028)->text().toStdString();
        });
        manager.OnEditChip(); // OK without a change
        EXPECT_EQ(shown, (row ? decoded : "GD25Q16") + "|兆易创新");
    }
    EXPECT_EQ(readFile(started->path("ChipInfo.chip")), original);
    EXPECT_TRUE(boxes.boxes.empty());

    window.OnVScroll(SB_THUMBTRACK, 100);
    auto chosen = whenModal<QDialog>([](QDialog* modal) {
        static_cast<CChipSelectDlg*>(modal)->manufacturerList()->setCurrentRow(1);
        EXPECT_EQ(entries(static_cast<CChipSelectDlg*>(modal)->deviceList()), "24C02*|");
        findControl<QAbstractButton>(modal, 1)->click();
    });
    window.action(IdChipSelect)->trigger();
    ASSERT_TRUE(*chosen);
    EXPECT_TRUE(window.chipInfoEdit()->toPlainText().startsWith("器件：24C02\n\n厂商：华邦\n"));
    EXPECT_EQ(window.dataBuffer().length(), 256u);
    EXPECT_EQ(hexLine(window, 15)[0] + hexLine(window, 16)[0], "0x0000F0: ");
    EXPECT_FALSE(window.action(IdErase)->isEnabled());
}
