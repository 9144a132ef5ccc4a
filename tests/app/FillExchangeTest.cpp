// The Fill dialog's input filter and results, and Fill and Exchange on the buffer.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "dialogs/BufferFillDlg.h"

namespace {

QLineEdit* startEdit(BufferFillDlg* dialog) {
    return dialog->edit(BufferFillDlg::IdStartAddress);
}

// Runs Edit > Fill with these three texts typed in and OK pressed.
void fillThroughDialog(CMainDlg& window, const char* start, const char* end, const char* data) {
    auto ran = whenModal<BufferFillDlg>([=](BufferFillDlg* dialog) {
        dialog->edit(BufferFillDlg::IdStartAddress)->setText(start);
        dialog->edit(BufferFillDlg::IdEndAddress)->setText(end);
        dialog->edit(BufferFillDlg::IdFillData)->setText(data);
        dialog->button(BufferFillDlg::IdOk)->click();
    });
    window.action(IdEditFill)->trigger();
    EXPECT_TRUE(*ran);
}

std::vector<uint8_t> bytesAt(CMainDlg& window, uint32_t offset, uint32_t count) {
    std::vector<uint8_t> bytes(count);
    window.dataBuffer().copyOut(offset, bytes.data(), count);
    return bytes;
}

} // namespace

TEST(FillDialog, DefaultsLimitsAndTitle) {
    BufferFillDlg english(kTextsEnglish);
    EXPECT_EQ(english.windowTitle().toStdString(), "Fill");
    EXPECT_EQ(english.edit(BufferFillDlg::IdStartAddress)->text().toStdString(), "000000");
    EXPECT_EQ(english.edit(BufferFillDlg::IdEndAddress)->text().toStdString(), "FFFFFF");
    EXPECT_EQ(english.edit(BufferFillDlg::IdFillData)->text().toStdString(), "FF");
    EXPECT_EQ(english.edit(BufferFillDlg::IdStartAddress)->maxLength(), 6);
    EXPECT_EQ(english.edit(BufferFillDlg::IdEndAddress)->maxLength(), 6);
    EXPECT_EQ(english.edit(BufferFillDlg::IdFillData)->maxLength(), 2);
    EXPECT_EQ(english.button(BufferFillDlg::IdOk)->text().toStdString(), "OK");
    EXPECT_TRUE(english.button(BufferFillDlg::IdOk)->isDefault());
    EXPECT_EQ(english.button(BufferFillDlg::IdCancel)->text().toStdString(), "Cancel");

    BufferFillDlg chinese(kTextsChinese);
    EXPECT_EQ(chinese.windowTitle().toStdString(), "填充");
    EXPECT_EQ(chinese.button(BufferFillDlg::IdOk)->text().toStdString(), "确定");
    EXPECT_EQ(chinese.button(BufferFillDlg::IdCancel)->text().toStdString(), "取消");
}

TEST(FillDialog, FilterRejectsNonHexAndPlacesTheCursor) {
    BufferFillDlg dialog(kTextsEnglish);
    dialog.show();
    QLineEdit* start = startEdit(&dialog);
    start->setFocus();
    start->clear();
    QTest::keyClicks(start, "12");
    QTest::keyClick(start, Qt::Key_G);
    EXPECT_EQ(start->text().toStdString(), "12");
    EXPECT_EQ(start->cursorPosition(), 2);

    start->setCursorPosition(0);
    QTest::keyClick(start, Qt::Key_G);
    EXPECT_EQ(start->text().toStdString(), "12");
    EXPECT_EQ(start->cursorPosition(), 0);

    // Pasted text with a bad character in the middle.
    start->setText("1234");
    start->setCursorPosition(2);
    start->insert("5x");
    EXPECT_EQ(start->text().toStdString(), "1234");
    EXPECT_EQ(start->cursorPosition(), 3);

    // Lowercase digits are accepted; the length limit holds.
    start->setCursorPosition(2);
    QTest::keyClicks(start, "abcdef");
    EXPECT_EQ(start->text().toStdString(), "12ab34");

    QLineEdit* data = dialog.edit(BufferFillDlg::IdFillData);
    data->clear();
    QTest::keyClicks(data, "f");
    QTest::keyClick(data, Qt::Key_Z);
    EXPECT_EQ(data->text().toStdString(), "f");
    EXPECT_EQ(data->cursorPosition(), 1);
}

TEST(FillDialog, OkReadsTheTextsAndCancelDoesNot) {
    BufferFillDlg dialog(kTextsEnglish);
    dialog.show();
    dialog.edit(BufferFillDlg::IdStartAddress)->setText("10");
    dialog.edit(BufferFillDlg::IdEndAddress)->setText("");
    dialog.edit(BufferFillDlg::IdFillData)->setText("a5");
    // Enter in an edit presses the default button.
    QTest::keyClick(dialog.edit(BufferFillDlg::IdFillData), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.inputValid());
    EXPECT_EQ(dialog.startAddress(), 0x10u);
    EXPECT_EQ(dialog.endAddress(), 0u);
    EXPECT_EQ(dialog.fillValue(), 0xA5);

    BufferFillDlg cancelled(kTextsEnglish);
    cancelled.show();
    cancelled.button(BufferFillDlg::IdCancel)->click();
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);
    EXPECT_FALSE(cancelled.inputValid());

    BufferFillDlg escaped(kTextsEnglish);
    escaped.show();
    QTest::keyClick(escaped.edit(BufferFillDlg::IdStartAddress), Qt::Key_Escape);
    EXPECT_EQ(escaped.result(), QDialog::Rejected);
}

TEST(FillCommand, FillsTheRangeAndReportsBadRanges) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    RecordingSink boxes;
    selectChip(window, makeChip(ChipType::Eeprom24, "AT24C02", 256, 0, 8, 0, 0));

    fillThroughDialog(window, "10", "1F", "00");
    EXPECT_EQ(bytesAt(window, 0x0F, 1), std::vector<uint8_t>{0xFF});
    EXPECT_EQ(bytesAt(window, 0x10, 16), std::vector<uint8_t>(16, 0x00));
    EXPECT_EQ(bytesAt(window, 0x20, 1), std::vector<uint8_t>{0xFF});
    EXPECT_EQ(hexLine(window, 1)[1], "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ");
    EXPECT_TRUE(boxes.boxes.empty());

    // End beyond the buffer: only the byte at FF.
    fillThroughDialog(window, "FF", "FFFFFF", "5a");
    EXPECT_EQ(bytesAt(window, 0xFE, 3), (std::vector<uint8_t>{0xFF, 0x5A, 0xFF}));

    fillThroughDialog(window, "100", "FFFFFF", "00");
    fillThroughDialog(window, "20", "10", "00");
    fillThroughDialog(window, "300", "10", "00");
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>{"Fill error!", "Fill error!", "Fill error!"}));
    EXPECT_EQ(bytesAt(window, 0x20, 1), std::vector<uint8_t>{0xFF});

    // Cancel changes nothing.
    auto ran = whenModal<BufferFillDlg>([](BufferFillDlg* dialog) {
        dialog->edit(BufferFillDlg::IdFillData)->setText("00");
        dialog->button(BufferFillDlg::IdCancel)->click();
    });
    window.action(IdEditFill)->trigger();
    EXPECT_TRUE(*ran);
    EXPECT_EQ(bytesAt(window, 0, 1), std::vector<uint8_t>{0xFF});
}

TEST(FillCommand, ChineseMessagesAndDefaultsFillEverything) {
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    RecordingSink boxes;
    selectChip(window, makeChip(ChipType::Eeprom24, "AT24C02", 256, 0, 8, 0, 0));
    fillThroughDialog(window, "100", "10", "00");
    fillThroughDialog(window, "20", "10", "00");
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"填充失败，开始地址超出范围！",
                                                       "填充失败，开始地址比结束地址大！"}));

    window.dataBuffer().fill(0, 256, 0x00);
    fillThroughDialog(window, "000000", "FFFFFF", "FF");
    EXPECT_EQ(bytesAt(window, 0, 256), std::vector<uint8_t>(256, 0xFF));
    // Empty texts: from 0 to 0 with 0x00.
    fillThroughDialog(window, "", "", "");
    EXPECT_EQ(bytesAt(window, 0, 2), (std::vector<uint8_t>{0x00, 0xFF}));
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST(ExchangeCommand, SwapsEveryPairAndTwiceRestores) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    selectChip(window, makeChip(ChipType::Eeprom24, "X", 4));
    const uint8_t bytes[5] = {0x01, 0x02, 0x03, 0x04, 0x55};
    window.dataBuffer().copyIn(0, bytes, 5);
    window.action(IdEditExchange)->trigger();
    EXPECT_EQ(bytesAt(window, 0, 5), (std::vector<uint8_t>{0x02, 0x01, 0x04, 0x03, 0x55}));
    window.action(IdEditExchange)->trigger();
    EXPECT_EQ(bytesAt(window, 0, 5), (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04, 0x55}));

    selectChip(window, makeChip(ChipType::Eeprom24, "X", 32));
    window.dataBuffer().copyIn(0, bytes, 4);
    window.action(IdEditExchange)->trigger();
    EXPECT_EQ(hexLine(window, 0)[1].substr(0, 12), "02 01 04 03 ");
}
