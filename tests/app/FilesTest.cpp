// File > Open, File > Save and the command-line file, through real files and the
// real file dialogs.
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <fstream>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/HexViewWidget.h"

namespace {

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Answers the next file dialog with `path` (empty: cancel).
std::shared_ptr<bool> answerFileDialog(const std::string& path,
                                       QStringList* filtersSeen = nullptr) {
    return whenModal<QFileDialog>([path, filtersSeen](QFileDialog* dialog) {
        if (filtersSeen)
            *filtersSeen = dialog->nameFilters();
        if (path.empty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept();
    });
}

std::string bytesAt(CMainDlg& window, uint32_t offset, uint32_t count) {
    std::string bytes(count, '\0');
    window.dataBuffer().copyOut(offset, reinterpret_cast<uint8_t*>(bytes.data()), count);
    return bytes;
}

} // namespace

TEST(CommandLine, OneArgumentLoadsTheFile) {
    QTemporaryDir folder;
    const std::string file = folder.filePath("image.bin").toStdString();
    writeFile(file, "HELLO");
    RecordingSink boxes;
    auto started = startWindow(Language::English, standardChips(), {file});
    EXPECT_TRUE(started->startedUp);
    EXPECT_EQ(bytesAt(*started->window, 0, 6), "HELLO\xFF");
    EXPECT_EQ(hexLine(*started->window, 0)[2], "HELLO...........");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(CommandLine, MissingFileIsReportedOnceAndTwoArgumentsLoadNothing) {
    QTemporaryDir folder;
    const std::string missing = folder.filePath("missing.bin").toStdString();
    {
        RecordingSink boxes;
        auto started = startWindow(Language::English, standardChips(), {missing});
        EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Failure to open the file!"});
    }
    {
        RecordingSink boxes;
        auto started = startWindow(Language::Chinese, standardChips(), {missing});
        EXPECT_EQ(boxes.texts(), std::vector<std::string>{"打开文件失败."});
    }
    const std::string file = folder.filePath("image.bin").toStdString();
    writeFile(file, "HELLO");
    RecordingSink boxes;
    auto started = startWindow(Language::English, standardChips(), {file, file});
    EXPECT_EQ(bytesAt(*started->window, 0, 1), "\xFF");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(FileOpen, LoadsBinaryThroughTheOpenDialogAndResetsTheView) {
    auto started = startWindow(Language::English);
    CMainDlg& window = *started->window;
    RecordingSink boxes;
    window.OnVScroll(SB_THUMBTRACK, 100);
    ASSERT_NE(window.hexViewModel().topRow, 0u);

    const std::string file = started->path("dump");
    writeFile(file, std::string(300, 'Z'));
    QStringList filters;
    auto ran = answerFileDialog(file, &filters);
    window.action(IdFileOpen)->trigger();
    ASSERT_TRUE(*ran);
    // Shown as the build's texts; "*.*" lists files without an extension too.
    EXPECT_EQ(filters, (QStringList{"bin file(*.bin) (*.bin)", "hex file(*.hex) (*.hex)",
                                    "all file(*.*) (*)", "ihex file(*.ihex) (*.ihex)",
                                    "srec file(*.srec;*.s19;*.s28;*.s37;*.mot) (*.srec *.s19 "
                                    "*.s28 *.s37 *.mot)"}));
    EXPECT_EQ(window.hexViewModel().topRow, 0u);
    EXPECT_EQ(window.hexView()->scrollBar()->value(), 0);
    EXPECT_EQ(hexLine(window, 0)[2], "ZZZZZZZZZZZZZZZZ");
    EXPECT_EQ(bytesAt(window, 299, 2), "Z\xFF");
    EXPECT_TRUE(boxes.boxes.empty());

    // Cancel leaves everything as it was.
    auto cancelled = answerFileDialog("");
    window.action(IdFileOpen)->trigger();
    EXPECT_TRUE(*cancelled);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(FileOpen, BadIntelHexShowsTheReaderMessageThenTheFailure) {
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    RecordingSink boxes;
    const std::string file = started->path("bad.hex");
    writeFile(file, ":0400000001020304F1\n"); // checksum off by one, no end record
    QStringList filters;
    auto ran = answerFileDialog(file, &filters);
    window.action(IdFileOpen)->trigger();
    ASSERT_TRUE(*ran);
    EXPECT_EQ(filters.first().toStdString(), "二进制文件(*.bin) (*.bin)");
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"校验和错误！", "打开文件失败."}));
    EXPECT_EQ(bytesAt(window, 0, 1), "\xFF");

    boxes.boxes.clear();
    const std::string good = started->path("good.hex");
    // The second record lies above 64 KiB, behind an extended linear address record.
    writeFile(good, ":0401000001020304F1\n:020000040001F9\n:0400000005060708E2\n:00000001FF\n");
    auto again = answerFileDialog(good);
    window.action(IdFileOpen)->trigger();
    ASSERT_TRUE(*again);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(bytesAt(window, 0x100, 5), std::string("\x01\x02\x03\x04\xFF"));
    EXPECT_EQ(bytesAt(window, 0x10000, 5), std::string("\x05\x06\x07\x08\xFF"));
    EXPECT_EQ(hexLine(window, 16)[1].substr(0, 12), "01 02 03 04 ");
}

TEST(FileSave, WritesTheChipsBytesAndAddsTheExtension) {
    for (Language language : {Language::English, Language::Chinese}) {
        auto started = startWindow(language);
        CMainDlg& window = *started->window;
        RecordingSink boxes;
        selectChip(window, makeChip(ChipType::Eeprom93, "AT93C46", 128, 0, 0, 0, 0, 16));
        window.dataBuffer().fill(0, 4, 0x11);
        const std::string file = started->path("saved");
        writeFile(file + ".bin", std::string(1000, 'x'));
        // The dialog asks before replacing an existing file; say yes.
        auto asked = whenModal<QMessageBox>(
            [](QMessageBox* question) { question->button(QMessageBox::Yes)->click(); });
        auto ran = answerFileDialog(file);
        window.action(IdFileSave)->trigger();
        ASSERT_TRUE(*ran);
        EXPECT_TRUE(*asked);
        const std::string saved = readFile(file + ".bin");
        ASSERT_EQ(saved.size(), 128u);
        EXPECT_EQ(saved.substr(0, 5), "\x11\x11\x11\x11\xFF");
        EXPECT_EQ(window.statusEdit()->text().toStdString(),
                  language == Language::Chinese ? "保存成功！" : "");
        EXPECT_TRUE(boxes.boxes.empty());

        // The S-record entry, after the build's own: its extension goes to a name typed
        // without one, and the file is written in that format.
        auto srec = whenModal<QFileDialog>([file](QFileDialog* dialog) {
            // As the user picks it: Qt selects it and tells the dialog's listeners.
            dialog->selectNameFilter(dialog->nameFilters().last());
            emit dialog->filterSelected(dialog->selectedNameFilter());
            dialog->selectFile(QString::fromStdString(file + "2"));
            static_cast<QDialog*>(dialog)->accept();
        });
        window.action(IdFileSave)->trigger();
        ASSERT_TRUE(*srec);
        EXPECT_EQ(readFile(file + "2.srec").substr(0, 24), "S0030000FC\r\nS11300001111");
    }
}

TEST(FileSave, FailureIsReportedAndNotCalledSuccess) {
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    RecordingSink boxes;
    const std::string file = started->path("no-such-folder/out.bin");
    auto ran = whenModal<QFileDialog>([file](QFileDialog* dialog) {
        // The dialog itself refuses a missing folder; go around it as a race would.
        dialog->selectFile(QString::fromStdString(file));
        dialog->setFileMode(QFileDialog::AnyFile);
        QMetaObject::invokeMethod(dialog, "done", Q_ARG(int, QDialog::Accepted));
    });
    window.action(IdFileSave)->trigger();
    ASSERT_TRUE(*ran);
    EXPECT_EQ(window.statusEdit()->text().toStdString(), "");
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"保存文件失败！"});
}
