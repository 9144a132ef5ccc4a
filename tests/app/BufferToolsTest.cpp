// Typing in the hex view, caret keys, Undo/Redo, Go To, Find, Checksum, Compare, in the window.
#include <cstring>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "TempFolder.h"
#include "app/HexViewWidget.h"
#include "dialogs/FindDlg.h"
#include "dialogs/GoToDlg.h"
#include "dialogs/ReportDlg.h"

using namespace std::string_literals;

namespace {

uint32_t caret(CMainDlg& window) {
    return window.hexEditor().caret() ? window.hexEditor().caret()->offset : UINT32_MAX;
}

// Runs command `id`, reads the result box it shows, presses Copy and OK.
std::string reportOf(CMainDlg& window, unsigned id) {
    auto text = std::make_shared<std::string>();
    whenModal<ReportDlg>([text](ReportDlg* box) {
        *text = box->text().toStdString();
        box->copyButton()->click();
        box->okButton()->click();
    });
    window.action(id)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), *text);
    return *text;
}

} // namespace

TEST(BufferTools, TypingOverBytesUndoRedoAndTheCaretKeys) {
    RecordingSink boxes;
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTableView* list = window.hexView()->list();
    uint8_t* store = window.dataBuffer().store();
    EXPECT_FALSE(window.action(IdEditUndo)->isEnabled());

    // Line 3, byte 5, its low digit (the hex text is drawn centred in its cell): the click
    // selects the byte, typing starts high.
    const QModelIndex index = list->model()->index(3, 1);
    const QString line3 = index.data().toString();
    const QFontMetrics metrics(list->font());
    const QRect cell = list->visualRect(index);
    const int x = cell.x() + (cell.width() - metrics.horizontalAdvance(line3)) / 2 +
                  metrics.horizontalAdvance(line3.left(3 * 5 + 1)) + 2;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(x, cell.center().y()));
    EXPECT_EQ(caret(window), 0x35u);
    QTest::keyClicks(list, "aB5");
    EXPECT_EQ(bytesAt(window, 0x35, 2), "\xAB\x5F");
    QTest::keyClicks(list, "gc"); // not a hex digit: nothing
    QTest::keyClick(list, Qt::Key_Tab);
    QTest::keyClick(list, 'H');
    QTest::sendKeyEvent(QTest::Click, list, Qt::Key_unknown, QStringLiteral("é"), {});
    QTest::keyClick(list, 'i');
    EXPECT_EQ(hexLine(window, 3)[1].substr(15, 12), "AB 5C 48 69 ");
    EXPECT_EQ(hexLine(window, 3)[2].substr(5, 4), ".\\Hi");

    // Ctrl+Z undoes one character, then one whole byte typed as two digits.
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(bytesAt(window, 0x35, 4), "\xAB\xFF\xFF\xFF");
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(store[0x36], 0x5C);
    EXPECT_EQ(hexLine(window, 3)[1].substr(15, 6), "AB 5C ");
    EXPECT_TRUE(window.action(IdEditRedo)->isEnabled());

    // Bytes changed behind the history's back are never overwritten by an old step.
    store[0x36] = 0x00;
    window.action(IdEditUndo)->trigger();
    EXPECT_EQ(bytesAt(window, 0x35, 2), "\xAB\0"s);
    EXPECT_FALSE(window.action(IdEditUndo)->isEnabled());

    // Fill, Exchange and a file load are undone and redone alike.
    EXPECT_TRUE(fillBuffer(window, "1", "3F", "00"));
    window.action(IdEditExchange)->trigger();
    const std::string file = started->path("image.bin");
    writeFile(file, "HELLO");
    ASSERT_TRUE(window.loadDataFile(file));
    EXPECT_EQ(store[0x40], 0xFF);
    window.action(IdEditUndo)->trigger();
    EXPECT_EQ(bytesAt(window, 0, 2), "\0\xFF"s);
    window.action(IdEditUndo)->trigger();
    EXPECT_EQ(bytesAt(window, 0, 2), "\xFF\0"s);
    window.action(IdEditRedo)->trigger();
    window.action(IdEditRedo)->trigger();
    EXPECT_EQ(bytesAt(window, 0, 6), "HELLO\xFF");
    for (int i = 0; i < 3; ++i)
        window.action(IdEditUndo)->trigger();
    EXPECT_EQ(bytesAt(window, 0x35, 2), "\xAB\0"s);
    EXPECT_FALSE(window.action(IdEditUndo)->isEnabled());

    // The caret keys on the 1 MiB chip: the view follows as the scroll bar would.
    struct Move {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        uint32_t caret;
        uint32_t topRow;
    };
    const Move moves[] = {
        {"Ctrl+Home", Qt::Key_Home, Qt::ControlModifier, 0, 0},
        {"Left at the first byte", Qt::Key_Left, {}, 0, 0},
        {"Up on the first line", Qt::Key_Up, {}, 0, 0},
        {"End", Qt::Key_End, {}, 0x0F, 0},
        {"Right to the next line", Qt::Key_Right, {}, 0x10, 0},
        {"Page Down", Qt::Key_PageDown, {}, 0x210, 2},
        {"Down", Qt::Key_Down, {}, 0x220, 3},
        {"Ctrl+End", Qt::Key_End, Qt::ControlModifier, 0xFFFFF, 0xFFE0},
        {"Right at the last byte", Qt::Key_Right, {}, 0xFFFFF, 0xFFE0},
        {"Down on the last line", Qt::Key_Down, {}, 0xFFFFF, 0xFFE0},
        {"Page Up", Qt::Key_PageUp, {}, 0xFFDFF, 0xFFDF},
        {"Home", Qt::Key_Home, {}, 0xFFDF0, 0xFFDF},
    };
    for (const Move& move : moves) {
        SCOPED_TRACE(move.name);
        QTest::keyClick(list, move.key, move.modifiers);
        EXPECT_EQ(std::tuple(caret(window), window.hexViewModel().topRow,
                             window.hexView()->scrollBar()->value()),
                  std::tuple(move.caret, move.topRow, int(move.topRow / 32)));
    }
    // Typing stops at the chip's last byte.
    QTest::keyClick(list, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_Tab); // back to the hex column
    QTest::keyClicks(list, "123");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(store) + 0xFFFFF, 2), "\x32\xFF");
    EXPECT_EQ(hexLine(window, 31)[1].substr(45), "32 ");

    // Esc, wherever the focus is, ends the edit; the next Esc is the window's.
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.hexView()->editing());
    EXPECT_TRUE(window.isVisible());
    auto asked = whenModal<QMessageBox>([](QMessageBox* box) { box->reject(); });
    QTest::keyClick(list, Qt::Key_Escape); // the typed bytes are not saved: asked, kept
    EXPECT_TRUE(*asked && window.isVisible());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(BufferTools, GoToAndFindFromTheCaretBothWaysAroundTheChip) {
    RecordingSink boxes;
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    uint8_t* store = window.dataBuffer().store();
    std::memcpy(store + 0x1234, "chip", 4);
    std::memcpy(store + 0x80010, "chip", 4);
    std::memcpy(store + 0x12345, "CHip", 4);   // past the first 64 KiB, letters in either case
    const uint8_t end[3] = {0xDE, 0xAD, 0xBE}; // the chip's last two bytes, one past it
    std::memcpy(store + 0xFFFFE, end, 3);
    auto goTo = [&window](const char* address) {
        whenModal<GoToDlg>([address](GoToDlg* dialog) {
            dialog->edit()->setText(address);
            dialog->okButton()->click();
        });
        window.action(IdEditGoTo)->trigger();
    };
    goTo("1230");
    EXPECT_EQ(caret(window), 0x1230u);
    EXPECT_EQ(window.hexViewModel().topRow, 0x123u);
    EXPECT_EQ(window.hexView()->scrollBar()->value(), 0x123 / 32);
    goTo("100000");
    EXPECT_EQ(caret(window), 0x1230u);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"地址超出范围！"});

    whenModal<FindDlg>([&window](FindDlg* dialog) {
        dialog->textOption()->click();
        dialog->edit()->setText("chip");
        dialog->nextButton()->click();
        EXPECT_EQ(caret(window), 0x1234u);
        dialog->nextButton()->click();
        dialog->reject();
    });
    window.action(IdEditFind)->trigger();
    struct Step {
        const char* name;
        unsigned command;
        uint32_t caret;
        const char* status;
    };
    const Step steps[] = {
        {"Find Next", IdEditFindNext, 0x80010, "已找到，地址 0x080010"},
        {"Find Next wraps to the first", IdEditFindNext, 0x1234,
         "已找到，地址 0x001234（已从开头继续查找）"},
        {"Find Previous wraps to the last", IdEditFindPrevious, 0x80010,
         "已找到，地址 0x080010（已从末尾继续查找）"},
        {"Find Previous", IdEditFindPrevious, 0x12345, "已找到，地址 0x012345"},
    };
    EXPECT_EQ(caret(window), 0x12345u);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        window.action(step.command)->trigger();
        EXPECT_EQ(caret(window), step.caret);
        EXPECT_EQ(window.statusEdit()->text().toStdString(), step.status);
        EXPECT_EQ(window.hexEditor().caret()->column, CaretColumn::Ascii);
        EXPECT_EQ(window.hexView()->match(), (ByteRange{step.caret, 4})); // the whole match
    }
    HexViewWidget& view = *window.hexView();
    EXPECT_EQ(std::tuple(view.matchCell(0, 1), view.matchCell(0, 2), view.matchCell(1, 2)),
              std::tuple(std::pair(15, 11), std::pair(5, 4), std::pair(0, 0)));
    whenModal<FindDlg>([](FindDlg* dialog) {
        dialog->matchCaseOption()->click();
        dialog->nextButton()->click();
        dialog->reject();
    });
    window.action(IdEditFind)->trigger();
    window.action(IdEditFindPrevious)->trigger();
    EXPECT_EQ(caret(window), 0x1234u); // "CHip" is no match now
    fillBuffer(window, "1237", "1237", "00");
    EXPECT_FALSE(view.match()); // its last byte changed: nothing marked

    whenModal<FindDlg>([&window](FindDlg* dialog) {
        dialog->hexOption()->click();
        dialog->edit()->setText("de  AD");
        dialog->previousButton()->click();
        EXPECT_EQ(caret(window), 0xFFFFEu);
        EXPECT_EQ(window.hexViewModel().topRow, 0xFFE0u);
        dialog->edit()->setText("ADBE");
        dialog->nextButton()->click();
        EXPECT_EQ(window.statusEdit()->text().toStdString(), "未找到");
        dialog->edit()->setText("A");
        dialog->nextButton()->click();
        dialog->reject();
    });
    window.action(IdEditFind)->trigger();
    EXPECT_EQ(caret(window), 0xFFFFEu);
    EXPECT_EQ(boxes.texts().back(), "请输入十六进制字节，例如 5A A5 或 5AA5！");
}

TEST(BufferTools, ChecksumAndCompareWithAFileLeaveTheBufferAsItIs) {
    RecordingSink boxes;
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    for (const std::string bytes : {"123456789", "abc"}) {
        selectChip(window, makeChip(ChipType::Eeprom24, "X", static_cast<uint32_t>(bytes.size())));
        window.dataBuffer().copyIn(0, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(
            reportOf(window, IdEditChecksum),
            bytes == "abc"
                ? "Bytes: 3 (0x3) from address 0\nCRC32: 352441C2\nSHA-256: ba7816bf8f01cfea4141"
                  "40de5dae2223b00361a396177a9cb410ff61f20015ad\nSum (8-bit): 26\nSum "
                  "(16-bit): 0126\n"
                : "Bytes: 9 (0x9) from address 0\nCRC32: CBF43926\nSHA-256: 15e2b0d3c33891eb"
                  "b0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225\nSum (8-bit): DD\nSum "
                  "(16-bit): 01DD\n");
    }

    selectChip(window, standardChips()[1]); // 256 bytes
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<char>(i);
    window.dataBuffer().copyIn(0, reinterpret_cast<const uint8_t*>(bytes.data()), 256);
    std::string file = bytes;
    for (size_t k = 0; k < 103; ++k)
        file[2 * k] = static_cast<char>(~file[2 * k]);
    writeFile(started->path("backup.bin"), file);
    answerFileDialog(started->path("backup.bin"));
    const std::string report = reportOf(window, IdFileCompare);
    const std::string head = "File: backup.bin\nBytes compared: 256\nBytes that differ: 103\n\n"
                             "Address   Buffer  File\n0x000000  00      FF\n0x000002  02      FD\n";
    EXPECT_EQ(report.substr(0, head.size()), head);
    EXPECT_EQ(report.substr(report.size() - 36), "0x0000C6  C6      39\n... and 3 more\n");
    EXPECT_EQ(bytesAt(window, 0, 256), bytes);

    // An Intel HEX file: 00 01 02 03, the rest of the chip FF.
    writeFile(started->path("four.hex"), ":0400000000010203F6\n:00000001FF\n");
    answerFileDialog(started->path("four.hex"));
    EXPECT_EQ(reportOf(window, IdFileCompare).substr(0, 58),
              "File: four.hex\nBytes compared: 256\nBytes that differ: 251\n");
    writeFile(started->path("bad.hex"), ":0400000000010203F7\n");
    answerFileDialog(started->path("bad.hex"));
    window.action(IdFileCompare)->trigger();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Failure to open the file!\r\nLine 1: the "
                                                      "record's checksum does not match"});
}
