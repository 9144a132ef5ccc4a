#include "AppTestSupport.h"

#include "app/HexViewWidget.h"
#include "dialogs/BufferFillDlg.h"

std::vector<ChipInfo> standardChips() {
    return {
        makeChip(ChipType::Flash25, "EN25T80", 0x100000, 1, 256, 0x1C, 0x13, 8, "Eon"),
        makeChip(ChipType::Eeprom24, "AT24C02", 256, 1, 8, 0, 0, 8, "Atmel"),
        makeChip(ChipType::Eeprom93, "AT93C46", 128, 0, 0, 0, 0, 16, "Atmel"),
    };
}

std::unique_ptr<StartedWindow> startWindow(Language language, const std::vector<ChipInfo>& chips,
                                           const std::vector<std::string>& arguments) {
    auto started = std::make_unique<StartedWindow>();
    const std::string database = started->path("ChipInfo.chip");
    writeDatabase(database, chips);
    started->window = std::make_unique<CMainDlg>(language, database);
    // Never start a real viewer from a test: the guide's opener always fails.
    started->window->setUserGuideFolder(started->folder.path());
    started->window->setDocumentOpener(QStringLiteral("false"));
    started->startedUp = started->window->OnInitDialog(arguments);
    return started;
}

void selectChip(CMainDlg& window, const ChipInfo& chip) {
    window.currentChip() = chip;
    window.applyChipChangeToView();
    window.showChipInfo(window.currentChip());
}

std::vector<std::string> hexLine(CMainDlg& window, int i) {
    const HexLine& line = window.hexView()->lines()->line(i);
    return {line.address, line.hex, line.ascii};
}

int hexLineCount(CMainDlg& window) {
    return window.hexView()->lines()->rowCount();
}

std::shared_ptr<bool> answerFileDialog(const std::string& path) {
    return whenModal<QFileDialog>([path](QFileDialog* dialog) {
        dialog->selectFile(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept();
    });
}

bool fillBuffer(CMainDlg& window, const char* start, const char* end, const char* data) {
    auto ran = whenModal<BufferFillDlg>([=](BufferFillDlg* dialog) {
        dialog->edit(BufferFillDlg::IdStartAddress)->setText(start);
        dialog->edit(BufferFillDlg::IdEndAddress)->setText(end);
        dialog->edit(BufferFillDlg::IdFillData)->setText(data);
        dialog->button(BufferFillDlg::IdOk)->click();
    });
    window.action(IdEditFill)->trigger();
    return *ran;
}

std::string bytesAt(CMainDlg& window, uint32_t offset, uint32_t count) {
    std::string bytes(count, '\0');
    window.dataBuffer().copyOut(offset, reinterpret_cast<uint8_t*>(bytes.data()), count);
    return bytes;
}
