// File and Edit commands through the real window, its dialogs, real files and the hex view.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "TempFolder.h"
#include "app/HexViewWidget.h"
#include "app/MainApp.h"
#include "dialogs/BufferFillDlg.h"

namespace {

void wheel(QWidget* target, int delta) {
    QPointF at(10, 10);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST(Commands, QtDialogsSpeakTheBuildsLanguageWhateverTheLocale) {
    // ctest runs this again for each build under the other language's locale (Qt takes the
    // system locale once per process, before the application exists: see main.cpp).
    const char* build = std::getenv("BRIMWICK_TEST_BUILD");
    const bool chinese = build && std::string_view(build) == "zh";
    installQtTranslations(chinese ? Language::Chinese : Language::English);
    TempFolder folder;
    writeFile(folder.file("empty.bin"), "");
    QStringList texts; // buttons and labels of a message box, an input and a file dialog
    QMessageBox box;
    for (auto button : {QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::No,
                        QMessageBox::Save, QMessageBox::Discard})
        texts << box.addButton(button)->text();
    QInputDialog input;
    QFileDialog files(nullptr, {}, QString::fromStdString(folder.path()));
    files.setOption(QFileDialog::DontUseNativeDialog);
    for (QDialog* dialog : std::initializer_list<QDialog*>{&input, &files}) {
        dialog->show();
        for (QLabel* label : dialog->findChildren<QLabel*>())
            texts << label->text();
        for (QAbstractButton* button : dialog->findChild<QDialogButtonBox*>()->buttons())
            texts << button->text();
    }
    const QModelIndex size = files.findChild<QFileSystemModel*>()->index(
        QString::fromStdString(folder.file("empty.bin")), 1);
    EXPECT_TRUE(QTest::qWaitFor([&size] { return !size.data().toString().isEmpty(); }, 5000));
    EXPECT_EQ(size.data().toString().toStdString(), chinese ? "0 字节" : "0 bytes");
    for (const QString& text : texts) // Chinese in every text, or none at all
        EXPECT_TRUE(text.isEmpty() || (text.toUtf8() != text.toLatin1()) == chinese)
            << text.toStdString();
}

TEST(Commands, ACommandLineFileLoadsOnceAndAFailureIsReportedOnce) {
    TempFolder folder;
    writeFile(folder.file("image.bin"), "HELLO");
    auto start = [](Language language, std::vector<std::string> arguments) {
        RecordingSink boxes;
        auto started = startWindow(language, standardChips(), arguments);
        std::string shown = bytesAt(*started->window, 0, 6);
        for (const std::string& text : boxes.texts())
            shown += "|" + text;
        return shown;
    };
    const std::string image = folder.file("image.bin"), missing = folder.file("missing");
    const std::string erased(6, '\xFF');
    EXPECT_EQ(start(Language::English, {image}), "HELLO\xFF");
    EXPECT_EQ(start(Language::English, {image, image}), erased);
    EXPECT_EQ(start(Language::English, {missing}),
              erased + "|Failure to open the file!\r\nNo such file");
    EXPECT_EQ(start(Language::Chinese, {missing}), erased + "|打开文件失败.\r\n文件不存在");
    // A file opened from the file manager arrives after the program's own name.
    EXPECT_EQ(programArguments({"/usr/bin/brimwick", "/tmp/a b.bin"}),
              std::vector<std::string>{"/tmp/a b.bin"});
    EXPECT_TRUE(programArguments({"/usr/bin/brimwick"}).empty());
}

TEST(Commands, OpenAndSaveGoThroughTheRealFileDialogs) {
    // The filters, and Qt's own texts of the dialog in Chinese too.
    QTranslator* chinese = installQtTranslations(Language::Chinese);
    ASSERT_NE(chinese, nullptr) << "qt6-translations-l10n is not installed";
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    RecordingSink boxes;
    window.OnVScroll(SB_THUMBTRACK, 100);
    writeFile(started->path("dump"), std::string(300, 'Z'));
    std::string texts;
    auto opened = whenModal<QFileDialog>([&texts, &started](QFileDialog* dialog) {
        texts = dialog->nameFilters().join("|").toStdString() + "|";
        for (QLabel* label : dialog->findChildren<QLabel*>())
            texts += label->text().toStdString() + "|";
        for (QAbstractButton* button : dialog->findChild<QDialogButtonBox*>()->buttons())
            texts += button->text().toStdString() + "|";
        dialog->selectFile(QString::fromStdString(started->path("dump")));
        static_cast<QDialog*>(dialog)->accept();
    });
    window.setStatusText("器件为空"); // a Read's result, no longer shown after Open
    window.action(IdFileOpen)->trigger();
    installQtTranslations(Language::English);
    ASSERT_TRUE(*opened);
    EXPECT_EQ(
        texts,
        "二进制文件(*.bin) (*.bin)|HEX文件(*.hex) (*.hex)|所有文件(*.*) (*)|Intel HEX文件(*.ihex) "
        "(*.ihex)|S-Record文件(*.srec;*.s19;*.s28;*.s37;*.mot) (*.srec *.s19 *.s28 *.s37 "
        "*.mot)|查找范围：|文件名称(&N)：|文件类型：|打开(&O)|取消|");
    EXPECT_EQ(hexLine(window, 0)[2], "ZZZZZZZZZZZZZZZZ");
    EXPECT_EQ(bytesAt(window, 299, 2) + window.statusEdit()->text().toStdString(), "Z\xFF");

    // Intel HEX by its name, a record above 64 KiB behind an extended linear address record;
    // a bad one: the reader's message, then the failure, the buffer as it was.
    writeFile(started->path("good.hex"),
              ":0401000001020304f1\n:020000040001F9\n:0400000005060708e2\n:00000001ff\n");
    writeFile(started->path("bad.hex"), "\n:0400000001020304F1\n");
    for (const char* name : {"good.hex", "bad.hex"}) {
        auto opened = answerFileDialog(started->path(name));
        window.action(IdFileOpen)->trigger();
        ASSERT_TRUE(*opened);
    }
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{
                                 "校验和错误！", "打开文件失败.\r\n第 2 行：记录的校验和不符"}));
    EXPECT_EQ(bytesAt(window, 0xFF, 6) + bytesAt(window, 0x10000, 5), "\xFF\x01\x02\x03\x04\xFF"
                                                                      "\x05\x06\x07\x08\xFF");

    // Save writes the chip's size, adds the extension and asks before replacing a file.
    selectChip(window, makeChip(ChipType::Eeprom93, "AT93C46", 128, 0, 0, 0, 0, 16));
    writeFile(started->path("saved.bin"), std::string(1000, 'x'));
    auto asked = whenModal<QMessageBox>(
        [](QMessageBox* question) { question->button(QMessageBox::Yes)->click(); });
    auto saved = answerFileDialog(started->path("saved"));
    window.action(IdFileSave)->trigger();
    ASSERT_TRUE(*saved && *asked);
    EXPECT_EQ(readFile(started->path("saved.bin")), std::string(128, '\xFF'));
    EXPECT_EQ(window.statusEdit()->text().toStdString(), "保存成功！");
    // The S-record filter, as the user picks it, gives a name without extension its own.
    auto srec = whenModal<QFileDialog>([&started](QFileDialog* dialog) {
        dialog->selectNameFilter(dialog->nameFilters().last());
        emit dialog->filterSelected(dialog->selectedNameFilter());
        dialog->selectFile(QString::fromStdString(started->path("saved")));
        static_cast<QDialog*>(dialog)->accept();
    });
    window.action(IdFileSave)->trigger();
    ASSERT_TRUE(*srec);
    EXPECT_EQ(readFile(started->path("saved.srec")).substr(0, 24), "S0030000FC\r\nS1130000FFFF");

    // A file that cannot be written is reported, never called a success.
    window.setStatusText("");
    auto failed = whenModal<QFileDialog>([&started](QFileDialog* dialog) {
        dialog->selectFile(QString::fromStdString(started->path("no-folder/out.bin")));
        QMetaObject::invokeMethod(dialog, "done", Q_ARG(int, QDialog::Accepted));
    });
    window.action(IdFileSave)->trigger();
    ASSERT_TRUE(*failed);
    EXPECT_EQ(window.statusEdit()->text().toStdString(), "");
    EXPECT_EQ(boxes.texts().back(), "保存文件失败！");
}

TEST(Commands, FillAndExchangeChangeTheBufferAndTheView) {
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    RecordingSink boxes;
    selectChip(window, makeChip(ChipType::Eeprom24, "AT24C02", 256, 0, 8, 0, 0));
    EXPECT_TRUE(fillBuffer(window, "10", "1F", "00"));
    fillBuffer(window, "FF", "FFFFFF", "5a"); // an end past the buffer stops at its end
    EXPECT_EQ(bytesAt(window, 0x0F, 18), "\xFF" + std::string(16, '\0') + "\xFF");
    EXPECT_EQ(bytesAt(window, 0xFE, 3), "\xFF\x5A\xFF");
    EXPECT_EQ(hexLine(window, 1)[1], "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ");
    fillBuffer(window, "100", "10", "00");
    fillBuffer(window, "20", "10", "00");
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"填充失败，开始地址超出范围！",
                                                       "填充失败，开始地址比结束地址大！"}));
    window.action(IdEditExchange)->trigger();
    EXPECT_EQ(hexLine(window, 0)[1].substr(0, 6), "FF FF ");
    EXPECT_EQ(bytesAt(window, 0xFE, 2), "\x5A\xFF");

    // The end starts at the chip's last byte; that byte is filled and undone, none past it.
    whenModal<BufferFillDlg>([](BufferFillDlg* dialog) {
        EXPECT_EQ(dialog->edit(BufferFillDlg::IdEndAddress)->text().toStdString(), "0000FF");
        dialog->edit(BufferFillDlg::IdStartAddress)->setText("FF");
        dialog->edit(BufferFillDlg::IdFillData)->setText("00");
        dialog->button(BufferFillDlg::IdOk)->click();
    });
    window.action(IdEditFill)->trigger();
    EXPECT_EQ(bytesAt(window, 0xFE, 3), std::string("\x5A\0\xFF", 3));
    window.action(IdEditUndo)->trigger();
    EXPECT_EQ(bytesAt(window, 0xFE, 3), "\x5A\xFF\xFF");
    // Every byte without a printable character shows as the same placeholder.
    window.dataBuffer().copyIn(
        0x20, reinterpret_cast<const uint8_t*>("\0\1\2\n\x1F .A~\x7F\x80\xA0\xB7\xFF\t\r"), 16);
    window.refreshHexView();
    EXPECT_EQ(window.hexView()->lines()->index(2, 2).data().toString().toStdString(),
              "..... .A~.......");

    // The dialog's fields take hexadecimal digits only, wherever the cursor is.
    BufferFillDlg dialog(kTextsEnglish);
    QLineEdit* start = dialog.edit(BufferFillDlg::IdStartAddress);
    start->setText("1234");
    start->setCursorPosition(2);
    QTest::keyClicks(start, "G");
    start->insert("5x");
    QTest::keyClicks(start, "abcdef");
    EXPECT_EQ(start->text().toStdString(), "123ab4");
    EXPECT_EQ(dialog.edit(BufferFillDlg::IdFillData)->maxLength(), 2);
    EXPECT_EQ(dialog.edit(BufferFillDlg::IdEndAddress)->text().toStdString(), "FFFFFF");
    BufferFillDlg large(kTextsEnglish, 0x1FFFFFF); // a 32 MiB chip over a bridge
    EXPECT_EQ(large.edit(BufferFillDlg::IdEndAddress)->text().toStdString(), "1FFFFFF");
}

TEST(Commands, TheHexViewScrollsByBarWheelAndThumb) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    QScrollBar* bar = window.hexView()->scrollBar();
    EXPECT_EQ(bar->maximum(), 2047); // 1 MiB: 65504 top rows, 32 per position
    // Both ends, both ways (line +/-, page P/p, top T, bottom B): a request past an end
    // stops there, one away from it moves.
    const std::pair<char, uint32_t> edges[] = {
        {'P', 32},    {'B', 65504}, {'+', 65504}, {'P', 65504}, {'B', 65504},
        {'-', 65503}, {'P', 65504}, {'p', 65472}, {'T', 0},     {'-', 0},
        {'p', 0},     {'+', 1},     {'p', 0}};
    for (const auto& [key, topRow] : edges) {
        bar->triggerAction(QAbstractSlider::SliderAction(std::string(" +-PpTB").find(key)));
        EXPECT_EQ(std::tuple(window.hexViewModel().topRow, bar->value(), hexLine(window, 0)[0]),
                  std::tuple(topRow, int(topRow / 32),
                             QString::asprintf("0x%06X:", topRow * 16).toStdString()));
    }

    selectChip(window, makeChip(ChipType::Eeprom24, "AT24C512", 0x10000));
    EXPECT_EQ(bar->maximum(), 4064);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub); // at the top: no move
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(hexLine(window, 0)[0], "0x000010:");
    wheel(window.hexView()->list()->viewport(), -120); // three rows a notch
    wheel(&window, 60);                                // half notches add up
    wheel(&window, -60 - 120);
    EXPECT_EQ(std::to_string(window.hexViewModel().topRow) + std::to_string(bar->value()), "77");
    bar->setSliderDown(true);
    bar->setSliderPosition(4064);
    EXPECT_EQ(hexLine(window, 31)[0], "0x00FFF0:");
    window.show(); // more lines in a taller window, to both ends; never smaller than at start
    selectChip(window, makeChip(ChipType::Flash25, "W25Q80", 0x100000));
    window.resize(window.minimumSize() + QSize(100, 13 * 10));
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(hexLine(window, 41)[0] + std::to_string(hexLineCount(window)), "0x0FFFF0:42");
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    bar->setSliderPosition(bar->maximum()); // the thumb at its end too
    EXPECT_EQ(hexLine(window, 0)[0] + hexLine(window, 41)[0], "0x0FFD60:0x0FFFF0:");
    window.resize(100, 100);
    EXPECT_EQ(hexLineCount(window) * (window.size() == window.minimumSize()), 32);
}
