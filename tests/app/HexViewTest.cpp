// The hex view of the main window while scrolling by line, page, thumb and wheel.
#include <QScrollBar>
#include <QTableView>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/HexViewWidget.h"

namespace {

std::string address(CMainDlg& window, int line) {
    return hexLine(window, line)[0];
}

QScrollBar* bar(CMainDlg& window) {
    return window.hexView()->scrollBar();
}

void wheel(QWidget* target, int delta) {
    QPointF at(10, 10);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST(HexView, StartUpShowsTheDefaultChipFromTheTop) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    ASSERT_EQ(hexLineCount(window), 32);
    std::string allFF;
    for (int i = 0; i < 16; ++i)
        allFF += "FF ";
    EXPECT_EQ(hexLine(window, 0),
              (std::vector<std::string>{"0x000000:", allFF, "................"}));
    EXPECT_EQ(address(window, 31), "0x0001F0:");
    EXPECT_EQ(bar(window)->minimum(), 0);
    EXPECT_EQ(bar(window)->maximum(), 2047); // 1 MiB: 65504 rows / 32
    auto* model = window.hexView()->lines();
    EXPECT_EQ(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString().toStdString(),
              " ADDR");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString().toStdString(),
              " 0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F ");
    EXPECT_EQ(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString().toStdString(),
              "    ASCII     ");
    EXPECT_EQ(window.hexView()->list()->columnWidth(0), 60);
    EXPECT_EQ(window.hexView()->list()->columnWidth(1), 300);
    EXPECT_EQ(window.hexView()->list()->columnWidth(2), 110);
    EXPECT_EQ(window.hexView()->list()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST(HexView, ChineseHeaderAndBytesShownAsCharacters) {
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    EXPECT_EQ(window.hexView()
                  ->lines()
                  ->headerData(0, Qt::Horizontal, Qt::DisplayRole)
                  .toString()
                  .toStdString(),
              " 地址");
    const uint8_t bytes[16] = {0x00, 0x01, 0x80, 0xFF, 0x02, 0x1F, 0x20, 0x7F,
                               'A',  'z',  '0',  0x0A, 0x09, 0x7E, 0x81, 0x41};
    window.dataBuffer().copyIn(0x20, bytes, 16);
    window.refreshHexView();
    const auto line = hexLine(window, 2);
    EXPECT_EQ(line[0], "0x000020:");
    EXPECT_EQ(line[1], "00 01 80 FF 02 1F 20 7F 41 7A 30 0A 09 7E 81 41 ");
    EXPECT_EQ(line[2], std::string("....\x02\x1F \x7F"
                                   "Az0\n\t~.A"));
    // On screen a control code is drawn as a dot, never as a line break.
    const QString shown = window.hexView()
                              ->lines()
                              ->data(window.hexView()->lines()->index(2, 2), Qt::DisplayRole)
                              .toString();
    EXPECT_EQ(shown.size(), 16);
    EXPECT_EQ(shown.indexOf(QChar('\n')), -1);
    EXPECT_EQ(shown[11], QChar(0x00B7));
    EXPECT_EQ(shown[0], QChar('.'));
}

TEST(HexView, SixtyFourKilobytesScrollRowByRow) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    selectChip(window, makeChip(ChipType::Eeprom24, "AT24C512", 0x10000));
    EXPECT_EQ(bar(window)->maximum(), 4064);
    EXPECT_EQ(bar(window)->value(), 0);

    bar(window)->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(window.hexViewModel().topRow, 1u);
    EXPECT_EQ(address(window, 0), "0x000010:");
    EXPECT_EQ(bar(window)->value(), 1);

    bar(window)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(address(window, 0), "0x000020:");
    EXPECT_EQ(bar(window)->value(), 2);

    bar(window)->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(window.hexViewModel().topRow, 4064u);
    EXPECT_EQ(address(window, 31), "0x00FFF0:");
    EXPECT_EQ(bar(window)->value(), 4064);
    // At the bottom a further step changes nothing.
    bar(window)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(bar(window)->value(), 4064);
    EXPECT_EQ(address(window, 0), "0x00FE00:");

    // Wheel: three rows per notch, towards offset 0 when turned away from the user.
    wheel(window.hexView()->list()->viewport(), 120);
    EXPECT_EQ(window.hexViewModel().topRow, 4061u);
    EXPECT_EQ(bar(window)->value(), 4061);
    wheel(bar(window), -240);
    EXPECT_EQ(window.hexViewModel().topRow, 4064u);
    // Half notches add up.
    wheel(window.hexView()->list()->viewport(), 60);
    EXPECT_EQ(window.hexViewModel().topRow, 4064u);
    wheel(window.hexView()->list()->viewport(), 60);
    EXPECT_EQ(window.hexViewModel().topRow, 4061u);

    bar(window)->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(address(window, 0), "0x000000:");
    EXPECT_EQ(bar(window)->value(), 0);
}

TEST(HexView, SixteenMegabytesScrollAScreenPerPosition) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    selectChip(window, makeChip(ChipType::Flash25, "W25Q128", 0x1000000));
    EXPECT_EQ(bar(window)->maximum(), 32767);
    // Mark a row far down to see it arrive on screen.
    const uint8_t mark[16] = {0xDE, 0xAD, 0xBE, 0xEF};
    window.dataBuffer().copyIn(0xFFFE00, mark, 16);

    bar(window)->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(window.hexViewModel().topRow, 32u);
    EXPECT_EQ(address(window, 0), "0x000200:");
    bar(window)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(window.hexViewModel().topRow, 33u);
    EXPECT_EQ(bar(window)->value(), 1);
    bar(window)->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(window.hexViewModel().topRow, 1u);
    bar(window)->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(window.hexViewModel().topRow, 0u);

    // Thumb dragged to the end: tracked live.
    bar(window)->setSliderDown(true);
    bar(window)->setSliderPosition(32767);
    EXPECT_EQ(window.hexViewModel().topRow, 1048544u);
    EXPECT_EQ(address(window, 0), "0xFFFE00:");
    EXPECT_EQ(hexLine(window, 0)[1].substr(0, 12), "DE AD BE EF ");
    EXPECT_EQ(address(window, 31), "0xFFFFF0:");
    bar(window)->setSliderPosition(100);
    EXPECT_EQ(window.hexViewModel().topRow, 3200u);
    bar(window)->setSliderDown(false);
    EXPECT_EQ(window.hexViewModel().topRow, 3200u);
    EXPECT_EQ(bar(window)->value(), 100);

    // The window's own handler takes the platform's codes.
    window.OnVScroll(SB_BOTTOM, 0);
    EXPECT_EQ(window.hexViewModel().topRow, 1048544u);
    window.OnVScroll(SB_PAGEDOWN, 0);
    EXPECT_EQ(bar(window)->value(), 32767);
    window.OnVScroll(SB_THUMBPOSITION, 2);
    EXPECT_EQ(address(window, 0), "0x000400:");
    // The wheel over the window's other parts scrolls the view too.
    wheel(&window, -120);
    EXPECT_EQ(window.hexViewModel().topRow, 67u);
    EXPECT_EQ(bar(window)->value(), 2);
}

TEST(HexView, OneMegabyteThumbAtTheEndShowsTheLastScreen) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    window.OnVScroll(SB_THUMBTRACK, 2047);
    EXPECT_EQ(window.hexViewModel().topRow, 65504u);
    EXPECT_EQ(address(window, 0), "0x0FFE00:");
    EXPECT_EQ(address(window, 31), "0x0FFFF0:");
}

TEST(HexView, SmallChipsAndChipChanges) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    window.OnVScroll(SB_THUMBTRACK, 10);
    selectChip(window, makeChip(ChipType::Eeprom93, "AT93C46", 128, 0, 0, 0, 0, 16));
    EXPECT_EQ(window.hexViewModel().topRow, 0u);
    EXPECT_EQ(bar(window)->maximum(), 0);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(address(window, i), formatText("0x%06X:", i * 16));
    // Lines the 1 MiB chip used show a single space in each column.
    ASSERT_EQ(hexLineCount(window), 32);
    for (int i = 8; i < 32; ++i)
        EXPECT_EQ(hexLine(window, i), (std::vector<std::string>{" ", " ", " "})) << i;

    // Line, page, top and bottom requests stop without a refresh; a thumb refreshes.
    window.dataBuffer().fill(0, 16, 0x41);
    for (int code :
         {SB_LINEUP, SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN, SB_TOP, SB_BOTTOM, SB_ENDSCROLL})
        window.OnVScroll(code, 0);
    EXPECT_EQ(hexLine(window, 0)[2], "................");
    window.OnVScroll(SB_THUMBTRACK, 0);
    EXPECT_EQ(hexLine(window, 0)[2], "AAAAAAAAAAAAAAAA");

    selectChip(window, makeChip(ChipType::Eeprom24, "X", 16));
    EXPECT_EQ(address(window, 0), "0x000000:");
    EXPECT_EQ(hexLine(window, 1)[0], " ");
    selectChip(window, makeChip(ChipType::Eeprom24, "X", 15));
    EXPECT_EQ(hexLine(window, 0)[0], " ");

    selectChip(window, makeChip(ChipType::Eeprom24, "X", 528));
    EXPECT_EQ(bar(window)->maximum(), 1);
    window.OnVScroll(SB_LINEDOWN, 0);
    EXPECT_EQ(address(window, 31), "0x000200:");
}

TEST(HexView, RefreshKeepsTopRowWithinTheBuffer) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    window.OnVScroll(SB_BOTTOM, 0);
    // Identify-style change: new length, view back to the top, lines not set up again.
    window.currentChip() = makeChip(ChipType::Flash25, "W25X10", 0x20000);
    window.applyIdentifiedChipToView();
    EXPECT_EQ(window.hexViewModel().topRow, 0u);
    EXPECT_EQ(bar(window)->maximum(), 255);
    EXPECT_EQ(bar(window)->value(), 0);
    EXPECT_EQ(address(window, 0), "0x000000:");
}
