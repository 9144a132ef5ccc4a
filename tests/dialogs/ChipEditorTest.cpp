// The chip editor as the user meets it: the fields it shows, and every check of OK with
// its message in both builds.
#include "AppTestSupport.h"
#include "dialogs/ChipInfoDlg.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace {

using Id = CChipInfoDlg::ControlId;
constexpr int k25Flash = 1055, k24Eeprom = 1057, k93Eeprom = 1058;

class Editor {
  public:
    explicit Editor(const ChipInfo& start, Language language = Language::English)
        : texts(textsFor(language)), dialog(texts.editChipTitle, &start, texts) {
        dialog.show();
    }
    void set(int id, const char* text) { dialog.edit(id)->setText(QString::fromUtf8(text)); }
    std::string get(int id) const { return dialog.edit(id)->text().toStdString(); }
    // Presses OK: the message shown, or "" when the dialog closed with OK.
    std::string ok() {
        RecordingSink boxes;
        dialog.show();
        dialog.setResult(QDialog::Rejected);
        dialog.accept();
        if (boxes.boxes.empty())
            return dialog.result() == QDialog::Accepted ? "" : "not accepted";
        EXPECT_TRUE(dialog.isVisible()) << "a refused OK leaves the dialog open";
        return boxes.texts().back();
    }
    // Every field of the working chip: type name manufacturer min max capacity mode page
    // IDs widths.
    std::string result() const {
        ChipInfo c{};
        dialog.getResult(&c);
        return formatText("%u %s %s %d %d %u %u %d %02X %02X %d %d", unsigned(c.type), c.name,
                          c.manufacturer, c.minVoltage, c.maxVoltage, c.capacity, c.programMode,
                          c.pageSize, c.manufacturerId, c.deviceId, c.addressWidth, c.memoryWidth);
    }

    const Texts& texts;
    CChipInfoDlg dialog;
};

const ChipInfo kFlash =
    makeChip(ChipType::Flash25, "W25Q80", 1048576, 1, 256, 0x05, 0xC2, 8, "Winbond");
const std::string kFlashFields = "0 W25Q80 Winbond 27 36 1048576 1 256 05 C2 0 8";

struct Case {
    const char* what;
    std::vector<int> clicks;
    std::vector<std::pair<int, const char*>> edits;
    const char* Texts::*message; // null: OK closes the dialog
    std::string fields;          // the working chip afterwards; empty: not looked at
};

const Case kCases[] = {
    {"unchanged", {}, {}, nullptr, kFlashFields},
    {"largest capacity",
     {},
     {{Id::IdCapacity, "102400"}},
     nullptr,
     "0 W25Q80 Winbond 27 36 104857600 1 256 05 C2 0 8"},
    {"ten characters read",
     {Id::IdUnitB},
     {{Id::IdCapacity, "0000000512tail"}},
     nullptr,
     "0 W25Q80 Winbond 27 36 512 1 256 05 C2 0 8"},
    {"capacity above", {}, {{Id::IdCapacity, "102401"}}, &Texts::capacityError, ""},
    {"capacity above in B", {Id::IdUnitB}, {{Id::IdCapacity, "102401"}}, &Texts::capacityError, ""},
    {"capacity empty", {}, {{Id::IdCapacity, ""}}, &Texts::capacityError, ""},
    {"capacity past 32 bits", {}, {{Id::IdCapacity, "4294968320"}}, &Texts::capacityError, ""},
    {"capacity sign", {}, {{Id::IdCapacity, "-1"}}, &Texts::capacityError, ""},
    {"voltages",
     {},
     {{Id::IdMinVoltage, "1.8"}, {Id::IdMaxVoltage, "3.9"}},
     nullptr,
     "0 W25Q80 Winbond 18 39 1048576 1 256 05 C2 0 8"},
    {"min 2.9", {}, {{Id::IdMinVoltage, "2.9"}}, &Texts::minVoltageError, ""},
    {"min 9.0", {}, {{Id::IdMinVoltage, "9.0"}}, &Texts::minVoltageError, ""},
    {"min 27", {}, {{Id::IdMinVoltage, "27"}}, &Texts::minVoltageError, ""},
    {"min 2,7", {}, {{Id::IdMinVoltage, "2,7"}}, &Texts::minVoltageError, ""},
    {"min 2.75", {}, {{Id::IdMinVoltage, "2.75"}}, &Texts::minVoltageError, ""},
    {"max 36", {}, {{Id::IdMaxVoltage, "36"}}, &Texts::maxVoltageError, ""},
    {"max x.6", {}, {{Id::IdMaxVoltage, "x.6"}}, &Texts::maxVoltageError, ""},
    {"max 3.66", {}, {{Id::IdMaxVoltage, "3.66"}}, &Texts::maxVoltageError, ""},
    {"page empty", {}, {{Id::IdPageSize, ""}}, &Texts::pageSizeError, ""},
    {"page 25x6", {}, {{Id::IdPageSize, "25x6"}}, &Texts::pageSizeError, ""},
    {"page four characters",
     {},
     {{Id::IdPageSize, "9999x"}},
     nullptr,
     "0 W25Q80 Winbond 27 36 1048576 1 9999 05 C2 0 8"},
    {"byte program keeps the page size",
     {Id::IdByteProgram},
     {{Id::IdPageSize, "none"}},
     nullptr,
     "0 W25Q80 Winbond 27 36 1048576 0 256 05 C2 0 8"},
    {"IDs",
     {},
     {{Id::IdManufacturerId, "c2"}, {Id::IdDeviceId, "C"}},
     nullptr,
     "0 W25Q80 Winbond 27 36 1048576 1 256 C2 0C 0 8"},
    {"IDs never refused",
     {},
     {{Id::IdManufacturerId, "G1"}, {Id::IdDeviceId, ""}},
     nullptr,
     "0 W25Q80 Winbond 27 36 1048576 1 256 FF FF 0 8"},
    {"ID of three digits",
     {},
     {{Id::IdManufacturerId, "1F5"}},
     nullptr,
     "0 W25Q80 Winbond 27 36 1048576 1 256 1F C2 0 8"},
    {"93 widths",
     {k93Eeprom},
     {{Id::IdAddressWidth, "7"}, {Id::IdMemoryWidth, "16"}},
     nullptr,
     "3 W25Q80 Winbond 27 36 1048576 1 256 05 C2 7 16"},
    {"93 widest",
     {k93Eeprom},
     {{Id::IdAddressWidth, "20"}, {Id::IdMemoryWidth, "08"}},
     nullptr,
     "3 W25Q80 Winbond 27 36 1048576 1 256 05 C2 20 8"},
    {"93 address 0",
     {k93Eeprom},
     {{Id::IdAddressWidth, "0"}, {Id::IdMemoryWidth, "8"}},
     &Texts::addressWidthError,
     ""},
    {"93 address 21",
     {k93Eeprom},
     {{Id::IdAddressWidth, "21"}, {Id::IdMemoryWidth, "8"}},
     &Texts::addressWidthError,
     ""},
    {"93 widths left empty", {k93Eeprom}, {}, &Texts::addressWidthError, ""},
    {"93 memory 9",
     {k93Eeprom},
     {{Id::IdAddressWidth, "6"}, {Id::IdMemoryWidth, "9"}},
     &Texts::memoryWidthError,
     ""},
    {"93 memory 32",
     {k93Eeprom},
     {{Id::IdAddressWidth, "6"}, {Id::IdMemoryWidth, "32"}},
     &Texts::memoryWidthError,
     ""},
    {"93 then 24",
     {k93Eeprom, k24Eeprom},
     {{Id::IdAddressWidth, "6"}},
     nullptr,
     "1 W25Q80 Winbond 27 36 1048576 1 256 05 C2 0 8"},
    {"name of 40 bytes",
     {},
     {{Id::IdName, "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN"}, {Id::IdCapacity, "x"}},
     &Texts::nameTooLong,
     kFlashFields},
    {"name of 39 bytes",
     {},
     {{Id::IdName, "芯芯芯芯芯芯芯芯芯芯芯芯芯"}},
     nullptr,
     "0 芯芯芯芯芯芯芯芯芯芯芯芯芯 Winbond 27 36 1048576 1 256 05 C2 0 8"},
    {"name of 42 bytes",
     {},
     {{Id::IdName, "芯芯芯芯芯芯芯芯芯芯芯芯芯片"}},
     &Texts::nameTooLong,
     ""},
    {"manufacturer of 24 bytes",
     {},
     {{Id::IdManufacturer, "兆易创新科技集团"}},
     &Texts::manufacturerTooLong,
     ""},
    {"fields before a refusal stay written",
     {},
     {{Id::IdName, "NEW"},
      {Id::IdManufacturer, "NewCo"},
      {Id::IdCapacity, "64"},
      {Id::IdMinVoltage, "1.6"},
      {Id::IdMaxVoltage, "bad"}},
     &Texts::maxVoltageError,
     "0 NEW NewCo 16 36 65536 1 256 05 C2 0 8"},
};

} // namespace

TEST(ChipEditor, OkChecksTheFieldsInTheirOrderAndNamesTheFirstThatFails) {
    for (Language language : {Language::English, Language::Chinese})
        for (const Case& c : kCases) {
            SCOPED_TRACE(c.what);
            Editor editor(kFlash, language);
            for (int id : c.clicks)
                editor.dialog.button(id)->click();
            for (auto [id, text] : c.edits)
                editor.set(id, text);
            EXPECT_EQ(editor.ok(), c.message ? editor.texts.*c.message : "");
            EXPECT_TRUE(c.fields.empty() || editor.result() == c.fields) << editor.result();
            for (auto [id, text] : c.edits)
                EXPECT_EQ(editor.get(id), text) << "the user's text stays";
        }
    const struct {
        const char* Texts::*message;
        const char *english, *chinese;
    } messages[] = {
        {&Texts::capacityError, "Capacity error!", "容量输入错误！"},
        {&Texts::minVoltageError, "Min voltage error!", "最小电压输入错误！"},
        {&Texts::maxVoltageError, "Max voltage error!", "最大电压输入错误！"},
        {&Texts::pageSizeError, "Page size error!", "页字节数输入错误！"},
        {&Texts::chipTypeError, "Chip type error!", "芯片型号选择错误！"},
        {&Texts::addressWidthError, "Address width error!", "地址位数输入错误！"},
        {&Texts::memoryWidthError, "Memory width error!", "存储单元位数输入错误！"},
    };
    for (const auto& m : messages) {
        EXPECT_STREQ(kTextsEnglish.*m.message, m.english);
        EXPECT_STREQ(kTextsChinese.*m.message, m.chinese);
    }
}

TEST(ChipEditor, ShowsTheChipItStartsFromWithReadOnlyWidthsGreyed) {
    auto greyed = [](const QLineEdit* edit) {
        return edit->isReadOnly() &&
               edit->palette().color(QPalette::Base) == edit->palette().color(QPalette::Window);
    };
    ChipInfo small = kFlash;
    small.capacity = 1536;
    Editor flash(small);
    EXPECT_EQ(flash.dialog.windowTitle().toStdString(), "Edit Chip");
    std::string shown;
    for (int id : {Id::IdName, Id::IdManufacturer, Id::IdCapacity, Id::IdMinVoltage,
                   Id::IdMaxVoltage, Id::IdPageSize, Id::IdManufacturerId, Id::IdDeviceId,
                   Id::IdAddressWidth, Id::IdMemoryWidth})
        shown += flash.get(id) + "|";
    EXPECT_EQ(shown, "W25Q80|Winbond|1|2.7|3.6|256|05|C2| | |");
    EXPECT_TRUE(flash.dialog.button(Id::IdUnitKB)->isChecked());
    EXPECT_TRUE(flash.dialog.button(Id::IdPageProgram)->isChecked());
    EXPECT_TRUE(flash.dialog.button(k25Flash)->isChecked());
    EXPECT_TRUE(greyed(flash.dialog.edit(Id::IdAddressWidth)));
    EXPECT_TRUE(greyed(flash.dialog.edit(Id::IdMemoryWidth)));

    ChipInfo microwire = makeChip(ChipType::Eeprom93, "AT93C46", 128, 0, 0, 0, 0, 16, "Atmel");
    microwire.addressWidth = 7;
    Editor chinese(microwire, Language::Chinese);
    EXPECT_EQ(chinese.get(Id::IdCapacity) + chinese.get(Id::IdAddressWidth) +
                  chinese.get(Id::IdMemoryWidth),
              "128716");
    EXPECT_TRUE(chinese.dialog.button(Id::IdUnitB)->isChecked());
    EXPECT_TRUE(chinese.dialog.button(Id::IdByteProgram)->isChecked());
    EXPECT_TRUE(chinese.dialog.button(k93Eeprom)->isChecked());
    EXPECT_EQ(chinese.dialog.button(Id::IdPageProgram)->text().toStdString(), "页编程");
    EXPECT_FALSE(chinese.dialog.edit(Id::IdAddressWidth)->isReadOnly());
    EXPECT_FALSE(greyed(chinese.dialog.edit(Id::IdMemoryWidth)));
    // Family clicks switch the widths between editable and read-only, keeping their text.
    chinese.dialog.button(k24Eeprom)->click();
    EXPECT_TRUE(greyed(chinese.dialog.edit(Id::IdAddressWidth)));
    EXPECT_EQ(chinese.get(Id::IdAddressWidth), "7");
    chinese.dialog.button(k93Eeprom)->click();
    EXPECT_FALSE(greyed(chinese.dialog.edit(Id::IdMemoryWidth)));

    chinese.set(Id::IdName, "CHANGED");
    chinese.dialog.reject();
    EXPECT_EQ(chinese.result().substr(0, 10), "3 AT93C46 ") << "Cancel gives nothing back";
}
