// The chip editor as the user meets it: the fields it shows, and every check of OK with
// its message in both builds.
#include "dialogs/ChipInfoDlg.h"
#include "DialogTestSupport.h"
#include "res/Texts.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using Id = CChipInfoDlg::ControlId;

class ChipEditor {
  public:
    ChipEditor(const ChipInfo& start, Language language = Language::English)
        : texts(textsFor(language)),
          dialog(std::make_unique<CChipInfoDlg>("Edit Chip", &start, texts)) {
        dialog->show();
    }
    void set(int id, const char* text) { dialog->edit(id)->setText(QString::fromUtf8(text)); }
    std::string get(int id) const { return textOf(dialog->edit(id)->text()); }
    void click(int id) { dialog->button(id)->click(); }
    // Presses OK; returns the message shown, or "" when the dialog closed with OK.
    std::string pressOk() {
        RecordingSink sink;
        dialog->show(); // again, after an earlier OK closed it
        dialog->setResult(QDialog::Rejected);
        dialog->accept();
        if (sink.boxes.empty()) {
            EXPECT_EQ(dialog->result(), QDialog::Accepted);
            return "";
        }
        EXPECT_EQ(sink.boxes.size(), 1u);
        EXPECT_TRUE(dialog->isVisible()) << "a refused OK leaves the dialog open";
        return sink.boxes.front().second;
    }
    ChipInfo result() const {
        ChipInfo chip{};
        dialog->getResult(&chip);
        return chip;
    }

    const Texts& texts;
    std::unique_ptr<CChipInfoDlg> dialog;
};

ChipInfo flashChip() {
    ChipInfo chip = makeChip("Winbond", "W25Q80", ChipType::Flash25, 1024 * 1024);
    chip.manufacturerId = 0x05;
    chip.deviceId = 0xC2;
    return chip;
}

} // namespace

TEST(ChipEditor, ShowsTheChipItStartsFrom) {
    ChipEditor flash(flashChip());
    EXPECT_EQ(flash.dialog->windowTitle().toStdString(), "Edit Chip");
    EXPECT_EQ(flash.get(Id::IdName), "W25Q80");
    EXPECT_EQ(flash.get(Id::IdManufacturer), "Winbond");
    EXPECT_EQ(flash.get(Id::IdCapacity), "1024");
    EXPECT_TRUE(flash.dialog->button(Id::IdUnitKB)->isChecked());
    EXPECT_EQ(flash.get(Id::IdMinVoltage), "2.7");
    EXPECT_EQ(flash.get(Id::IdMaxVoltage), "3.6");
    EXPECT_TRUE(flash.dialog->button(Id::IdPageProgram)->isChecked());
    EXPECT_EQ(flash.get(Id::IdPageSize), "256");
    EXPECT_EQ(flash.get(Id::IdManufacturerId), "05");
    EXPECT_EQ(flash.get(Id::IdDeviceId), "C2");
    EXPECT_TRUE(flash.dialog->button(1055)->isChecked());
    EXPECT_EQ(flash.get(Id::IdAddressWidth), " ");
    EXPECT_EQ(flash.get(Id::IdMemoryWidth), " ");
    EXPECT_TRUE(flash.dialog->edit(Id::IdAddressWidth)->isReadOnly());
    EXPECT_TRUE(flash.dialog->edit(Id::IdMemoryWidth)->isReadOnly());

    ChipInfo small = makeChip("Atmel", "AT93C46", ChipType::Eeprom93, 128);
    small.memoryWidth = 16;
    small.programMode = 0;
    ChipEditor microwire(small, Language::Chinese);
    EXPECT_EQ(microwire.get(Id::IdCapacity), "128");
    EXPECT_TRUE(microwire.dialog->button(Id::IdUnitB)->isChecked());
    EXPECT_TRUE(microwire.dialog->button(Id::IdByteProgram)->isChecked());
    EXPECT_TRUE(microwire.dialog->button(1058)->isChecked());
    EXPECT_EQ(microwire.get(Id::IdAddressWidth), "7");
    EXPECT_EQ(microwire.get(Id::IdMemoryWidth), "16");
    EXPECT_FALSE(microwire.dialog->edit(Id::IdAddressWidth)->isReadOnly());
    EXPECT_EQ(microwire.dialog->button(1056)->text().toStdString(), "25 EEPROM");
    EXPECT_EQ(microwire.dialog->button(Id::IdPageProgram)->text().toStdString(), "页编程");

    // Family clicks toggle the width edits without touching their text.
    microwire.click(1057);
    EXPECT_TRUE(microwire.dialog->edit(Id::IdAddressWidth)->isReadOnly());
    EXPECT_EQ(microwire.get(Id::IdAddressWidth), "7");
    microwire.click(1058);
    EXPECT_FALSE(microwire.dialog->edit(Id::IdMemoryWidth)->isReadOnly());
}

TEST(ChipEditor, OkUnchangedKeepsTheChipExceptRoundedCapacity) {
    ChipInfo start = flashChip();
    start.capacity = 1536;
    ChipEditor editor(start);
    EXPECT_EQ(editor.get(Id::IdCapacity), "1");
    EXPECT_EQ(editor.pressOk(), "");
    ChipInfo result = editor.result();
    EXPECT_EQ(result.capacity, 1024u);
    EXPECT_STREQ(result.name, "W25Q80");
    EXPECT_STREQ(result.manufacturer, "Winbond");
    EXPECT_EQ(result.minVoltage, 27);
    EXPECT_EQ(result.maxVoltage, 36);
    EXPECT_EQ(result.pageSize, 256);
    EXPECT_EQ(result.manufacturerId, 0x05);
    EXPECT_EQ(result.deviceId, 0xC2);
    EXPECT_EQ(result.addressWidth, 0);
    EXPECT_EQ(result.memoryWidth, 8);
}

TEST(ChipEditor, CapacityLimitsAndUnits) {
    for (Language language : {Language::English, Language::Chinese}) {
        const Texts& texts = textsFor(language);
        ChipEditor editor(flashChip(), language);
        editor.set(Id::IdCapacity, "102400");
        EXPECT_EQ(editor.pressOk(), "");
        EXPECT_EQ(editor.result().capacity, 104857600u);

        for (const char* bad : {"102401", "", "12a", "4294968320", "9999999999", "-1"}) {
            ChipEditor refused(flashChip(), language);
            refused.set(Id::IdCapacity, bad);
            EXPECT_EQ(refused.pressOk(), texts.capacityError) << bad;
            refused.click(Id::IdUnitB);
            EXPECT_EQ(refused.pressOk(), texts.capacityError) << bad;
        }

        ChipEditor bytes(flashChip(), language);
        bytes.click(Id::IdUnitB);
        bytes.set(Id::IdCapacity, "0000000512tail"); // the eleventh character is not read
        EXPECT_EQ(bytes.pressOk(), "");
        EXPECT_EQ(bytes.result().capacity, 512u);
    }
    EXPECT_STREQ(textsFor(Language::Chinese).capacityError, "容量输入错误！");
    EXPECT_STREQ(textsFor(Language::English).capacityError, "Capacity error!");
}

TEST(ChipEditor, VoltageChecks) {
    for (Language language : {Language::English, Language::Chinese}) {
        const Texts& texts = textsFor(language);
        for (const char* bad : {"2.9", "9.0", "27", "2,7", "2.75", "a.5", ""}) {
            ChipEditor editor(flashChip(), language);
            editor.set(Id::IdMinVoltage, bad);
            EXPECT_EQ(editor.pressOk(), texts.minVoltageError) << bad;
        }
        for (const char* bad : {"36", "3,6", "x.6", "3.y", "3.66", ""}) {
            ChipEditor editor(flashChip(), language);
            editor.set(Id::IdMaxVoltage, bad);
            EXPECT_EQ(editor.pressOk(), texts.maxVoltageError) << bad;
        }
    }
    ChipEditor editor(flashChip());
    editor.set(Id::IdMinVoltage, "1.8");
    editor.set(Id::IdMaxVoltage, "3.9");
    EXPECT_EQ(editor.pressOk(), "");
    EXPECT_EQ(editor.result().minVoltage, 18);
    EXPECT_EQ(editor.result().maxVoltage, 39);
}

TEST(ChipEditor, PageSizeOnlyWithPageProgram) {
    const Texts& english = textsFor(Language::English);
    for (const char* bad : {"", "x", "25x6"}) {
        ChipEditor editor(flashChip());
        editor.set(Id::IdPageSize, bad);
        EXPECT_EQ(editor.pressOk(), english.pageSizeError) << bad;
    }
    ChipEditor longText(flashChip());
    longText.set(Id::IdPageSize, "9999x"); // only four characters are read
    EXPECT_EQ(longText.pressOk(), "");
    EXPECT_EQ(longText.result().pageSize, 9999);

    ChipEditor byteMode(flashChip(), Language::Chinese);
    byteMode.click(Id::IdByteProgram);
    byteMode.set(Id::IdPageSize, "not a number");
    EXPECT_EQ(byteMode.pressOk(), "");
    EXPECT_EQ(byteMode.result().programMode, 0u);
    EXPECT_EQ(byteMode.result().pageSize, 256);
}

TEST(ChipEditor, IdentificationBytesNeverRefused) {
    struct Case {
        const char* text;
        uint8_t value;
    } cases[] = {{"c2", 0xC2}, {"C", 0x0C}, {"G1", 0xFF}, {"", 0xFF}, {"1F5", 0x1F}};
    for (const Case& c : cases) {
        ChipEditor editor(flashChip());
        editor.set(Id::IdManufacturerId, c.text);
        editor.set(Id::IdDeviceId, c.text);
        EXPECT_EQ(editor.pressOk(), "") << c.text;
        EXPECT_EQ(editor.result().manufacturerId, c.value) << c.text;
        EXPECT_EQ(editor.result().deviceId, c.value) << c.text;
    }
}

TEST(ChipEditor, MicrowireWidths) {
    const Texts& chinese = textsFor(Language::Chinese);
    struct Case {
        const char* address;
        const char* memory;
        const char* message; // null: accepted
        uint8_t addressWidth = 0, memoryWidth = 0;
    } cases[] = {
        {"7", "16", nullptr, 7, 16},
        {"20", "8", nullptr, 20, 8},
        {"07", "08", nullptr, 7, 8},
        {"0", "8", chinese.addressWidthError},
        {"21", "8", chinese.addressWidthError},
        {" ", " ", chinese.addressWidthError},
        {"6", "9", chinese.memoryWidthError},
        {"6", "", chinese.memoryWidthError},
        {"6", "32", chinese.memoryWidthError},
    };
    for (const Case& c : cases) {
        ChipEditor editor(flashChip(), Language::Chinese);
        editor.click(1058); // a flash chip switched to 93 EEPROM
        editor.set(Id::IdAddressWidth, c.address);
        editor.set(Id::IdMemoryWidth, c.memory);
        std::string message = editor.pressOk();
        EXPECT_EQ(message, c.message ? c.message : "") << c.address << "/" << c.memory;
        if (!c.message) {
            EXPECT_EQ(editor.result().type, ChipType::Eeprom93);
            EXPECT_EQ(editor.result().addressWidth, c.addressWidth);
            EXPECT_EQ(editor.result().memoryWidth, c.memoryWidth);
        }
    }
    // Switching without filling the widths: they still hold one space.
    ChipEditor untouched(flashChip(), Language::Chinese);
    untouched.click(1058);
    EXPECT_EQ(untouched.pressOk(), chinese.addressWidthError);

    ChipInfo microwire = makeChip("Atmel", "AT93C66", ChipType::Eeprom93, 512);
    microwire.memoryWidth = 16;
    ChipEditor toI2c(microwire);
    toI2c.click(1057);
    EXPECT_EQ(toI2c.pressOk(), "");
    EXPECT_EQ(toI2c.result().type, ChipType::Eeprom24);
    EXPECT_EQ(toI2c.result().addressWidth, 0);
    EXPECT_EQ(toI2c.result().memoryWidth, 8);
}

TEST(ChipEditor, FieldsBeforeAFailedCheckAreWritten) {
    ChipEditor editor(flashChip());
    editor.set(Id::IdName, "NEWNAME");
    editor.set(Id::IdManufacturer, "NewCo");
    editor.set(Id::IdCapacity, "64");
    editor.set(Id::IdMinVoltage, "1.6");
    editor.set(Id::IdMaxVoltage, "bad");
    EXPECT_EQ(editor.pressOk(), textsFor(Language::English).maxVoltageError);
    ChipInfo partial = editor.result();
    EXPECT_STREQ(partial.name, "NEWNAME");
    EXPECT_STREQ(partial.manufacturer, "NewCo");
    EXPECT_EQ(partial.capacity, 64u * 1024);
    EXPECT_EQ(partial.minVoltage, 16);
    EXPECT_EQ(partial.maxVoltage, 36); // not reached
    EXPECT_EQ(editor.get(Id::IdMaxVoltage), "bad") << "the user's text stays";

    editor.set(Id::IdMaxVoltage, "5.5");
    EXPECT_EQ(editor.pressOk(), "");
    EXPECT_EQ(editor.result().maxVoltage, 55);
}

TEST(ChipEditor, OverlongNamesAreRefusedBeforeAnythingElse) {
    for (Language language : {Language::English, Language::Chinese}) {
        const Texts& texts = textsFor(language);
        ChipEditor name(flashChip(), language);
        name.set(Id::IdName, std::string(40, 'N').c_str());
        name.set(Id::IdCapacity, "oops");
        EXPECT_EQ(name.pressOk(), texts.nameTooLong);
        EXPECT_STREQ(name.result().name, "W25Q80") << "nothing cut, nothing stored";

        // 13 Chinese characters are 39 UTF-8 bytes; one more is 42.
        std::string thirteen;
        for (int i = 0; i < 13; ++i)
            thirteen += "芯";
        ChipEditor fits(flashChip(), language);
        fits.set(Id::IdName, thirteen.c_str());
        EXPECT_EQ(fits.pressOk(), "");
        EXPECT_EQ(std::string(fits.result().name), thirteen);
        ChipEditor tooLong(flashChip(), language);
        tooLong.set(Id::IdName, (thirteen + "片").c_str());
        EXPECT_EQ(tooLong.pressOk(), texts.nameTooLong);

        ChipEditor manufacturer(flashChip(), language);
        manufacturer.set(Id::IdManufacturer, std::string(19, 'M').c_str());
        EXPECT_EQ(manufacturer.pressOk(), "");
        manufacturer.set(Id::IdManufacturer, "兆易创新科技集团"); // 24 bytes
        manufacturer.set(Id::IdCapacity, "oops");
        EXPECT_EQ(manufacturer.pressOk(), texts.manufacturerTooLong);
        EXPECT_EQ(std::string(manufacturer.result().manufacturer), std::string(19, 'M'));
    }
}

TEST(ChipEditor, CancelGivesNothingBack) {
    ChipEditor editor(flashChip());
    editor.set(Id::IdName, "CHANGED");
    editor.dialog->reject();
    EXPECT_EQ(editor.dialog->result(), QDialog::Rejected);
    EXPECT_STREQ(editor.result().name, "W25Q80");
}
