// The chip editor as the user meets it: the fields it shows, and every check of OK with
// its message in both builds.
#include "AppTestSupport.h"
#include "dialogs/ChipInfoDlg.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <sstream>

namespace {

constexpr int Flash = 1055, Eeprom24 = 1057, Eeprom93 = 1058;
constexpr int Name = 1021, Maker = 1028, Cap = 1024, Min = 1020, Max = 1022, Page = 1025;
constexpr int MId = 1026, DId = 1027, AW = 1034, MW = 1031, UnitB = 1059, BP = 1030;

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
    // Every field of the working chip.
    std::string result() const {
        ChipInfo c{};
        dialog.getResult(&c);
        return formatText(" type=%u name=%s maker=%s min=%d max=%d cap=%u mode=%u page=%d "
                          "ids=%02X%02X aw=%d mw=%d ",
                          unsigned(c.type), c.name, c.manufacturer, c.minVoltage, c.maxVoltage,
                          c.capacity, c.programMode, c.pageSize, c.manufacturerId, c.deviceId,
                          c.addressWidth, c.memoryWidth);
    }

    const Texts& texts;
    CChipInfoDlg dialog;
};

const ChipInfo kFlash{
    ChipType::Flash25, "W25Q80", "Winbond", 27, 36, 1048576, 1, 256, 0x05, 0xC2, 0, 8};

struct Case {
    std::vector<int> clicks;
    std::vector<std::pair<int, const char*>> edits;
    const char* Texts::*message; // null: OK closes the dialog
    const char* fields;          // what the working chip then holds, field by field
};

const Case kCases[] = {
    {{},
     {},
     nullptr,
     "type=0 name=W25Q80 maker=Winbond min=27 max=36 cap=1048576 mode=1 page=256 ids=05C2 aw=0 "
     "mw=8"},
    {{}, {{Cap, "102400"}}, nullptr, "cap=104857600"},
    {{UnitB}, {{Cap, "0000000512tail"}}, nullptr, "cap=512"},
    {{}, {{Cap, "102401"}}, &Texts::capacityError, ""},
    {{UnitB}, {{Cap, "102401"}}, &Texts::capacityError, ""},
    {{}, {{Cap, ""}}, &Texts::capacityError, ""},
    {{}, {{Cap, "4294968320"}}, &Texts::capacityError, ""},
    {{}, {{Cap, "-1"}}, &Texts::capacityError, ""},
    {{}, {{Min, "1.8"}, {Max, "3.9"}}, nullptr, "min=18 max=39"},
    {{}, {{Min, "2.9"}}, &Texts::minVoltageError, ""},
    {{}, {{Min, "9.0"}}, &Texts::minVoltageError, ""},
    {{}, {{Min, "27"}}, &Texts::minVoltageError, ""},
    {{}, {{Min, "2,7"}}, &Texts::minVoltageError, ""},
    {{}, {{Max, "36"}}, &Texts::maxVoltageError, ""},
    {{}, {{Max, "x.6"}}, &Texts::maxVoltageError, ""},
    {{}, {{Max, "3.66"}}, &Texts::maxVoltageError, ""},
    {{}, {{Page, ""}}, &Texts::pageSizeError, ""},
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
    {{Eeprom93}, {{AW, "6"}, {MW, "32"}}, &Texts::memoryWidthError, ""},
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

} // namespace

TEST(ChipEditor, OkChecksTheFieldsInTheirOrderAndNamesTheFirstThatFails) {
    for (Language language : {Language::English, Language::Chinese})
        for (const Case& c : kCases) {
            SCOPED_TRACE(c.fields + std::to_string(c.edits.size()));
            Editor editor(kFlash, language);
            for (int id : c.clicks)
                editor.dialog.button(id)->click();
            for (auto [id, text] : c.edits)
                editor.set(id, text);
            EXPECT_EQ(editor.ok(), c.message ? editor.texts.*c.message : "");
            std::istringstream fields(c.fields);
            for (std::string field; fields >> field;)
                EXPECT_NE(editor.result().find(" " + field + " "), std::string::npos)
                    << field << " in" << editor.result();
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
    chinese.set(Name, "CHANGED");
    chinese.dialog.reject();
    EXPECT_NE(chinese.result().find("name=AT93C46 "), std::string::npos) << "Cancel gives nothing";
}
