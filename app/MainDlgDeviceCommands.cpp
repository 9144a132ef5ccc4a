// Device commands of the Operation menu and the device steps of start-up. The work is
// DeviceOperations'; the window shows what it reports.
#include "app/MainDlg.h"
#include "dialogs/ChipInfoDlg.h"

#include "res/MessageBox.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include <algorithm>
#include <cstring>

void CMainDlg::DeviceHost::setStatusText(const char* text) {
    window_.setStatusText(text);
}

void CMainDlg::DeviceHost::showMessage(const std::string& text) {
    messageBox(text);
}

void CMainDlg::DeviceHost::progress(Stage, uint64_t done, uint64_t total) {
    percent_ =
        total == 0 ? 100 : static_cast<uint16_t>(std::min<uint64_t>(100, done * 100 / total));
    window_.showProgress();
}

void CMainDlg::DeviceHost::pumpOneMessage() {
    window_.pumpOneMessage();
}

void CMainDlg::DeviceHost::refreshHexView() {
    window_.refreshHexView();
}

void CMainDlg::DeviceHost::identifiedChipChanged() {
    window_.applyIdentifiedChipToView();
    window_.showChipInfo(window_.currentChip_);
}

bool CMainDlg::DeviceHost::confirm(const std::string& warning) {
    return messageBox(warning, BoxStyle::ContinueCancel) == BoxResult::Ok;
}

// Cancel is the default of both: Enter never clears a chip's protection nor drives a
// 1.8 V chip at 3.3 V.
bool CMainDlg::DeviceHost::confirmClearProtection(const std::string& text) {
    return messageBox(text, BoxStyle::ContinueCancel) == BoxResult::Ok;
}

bool CMainDlg::DeviceHost::confirmSupplyVoltage(const std::string& text) {
    return messageBox(text, BoxStyle::ContinueCancel) == BoxResult::Ok;
}

// A chip the database lacks: Chip Edit with what the chip told, saved in one step.
void CMainDlg::DeviceHost::offerNewChip(const ChipInfo& prefilled) {
    const Texts& texts = window_.texts_;
    const std::string ids =
        formatText("%02X %02X", unsigned{prefilled.manufacturerId}, unsigned{prefilled.deviceId});
    if (messageBox(formatText(texts.addUnknownChipQuestion, ids.c_str()), BoxStyle::OkCancel) !=
        BoxResult::Ok)
        return;
    CChipInfoDlg dialog(texts.addChipTitle, &prefilled, texts, &window_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    ChipInfo chip{};
    dialog.getResult(&chip);
    chip.name[sizeof chip.name - 1] = '\0';
    if (chip.name[0] == '\0')
        return; // nothing to store under an empty name
    ChipDatabase& database = window_.chipDatabase_;
    ChipInfo existing{};
    if (database.find(&existing, 1, nullptr, chip.name)) {
        messageBox(texts.chipExists);
        return;
    }
    if (!database.addOrReplace(&chip) || !database.save()) {
        messageBoxIf(texts.chipDbSaveFailed);
        database.load(); // the file as it is: the chip is not there
        return;
    }
    // The chip in use was built from the chip's answers: it goes on under its saved name.
    if (std::strcmp(window_.currentChip_.name, prefilled.name) == 0) {
        window_.currentChip_ = chip;
        identifiedChipChanged();
    }
}

int CMainDlg::DeviceHost::chooseChip(const std::vector<ChipInfo>& chips) {
    const Texts& texts = window_.texts_;
    QStringList names;
    for (const ChipInfo& chip : chips)
        names << QString::fromUtf8(chip.name) + QStringLiteral("  (") +
                     QString::fromUtf8(chip.manufacturer) + QStringLiteral(")");
    const std::string ids = formatText("%02X %02X", unsigned{chips.front().manufacturerId},
                                       unsigned{chips.front().deviceId});
    QInputDialog dialog(&window_);
    dialog.setWindowTitle(QString::fromUtf8(texts.chooseChipTitle));
    dialog.setLabelText(QString::fromUtf8(formatText(texts.chooseChipLabel, ids.c_str()).c_str()));
    dialog.setOptions(QInputDialog::UseListViewForComboBoxItems);
    dialog.setComboBoxItems(names);
    dialog.setTextValue(names.front());
    dialog.setOkButtonText(QString::fromUtf8(texts.okButton));
    dialog.setCancelButtonText(QString::fromUtf8(texts.cancelButton));
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    return static_cast<int>(names.indexOf(dialog.textValue()));
}

// Start-up: open the programmer (status line and box on failure), then bind the
// programmer object to the link whether or not the device opened.
void CMainDlg::openDeviceAtStartUp() {
    deviceOperations_.openAtStartUp();
    setProgressSource([this] { return deviceHost_.percent(); });
    // With several programmers the user learns which one was taken.
    const std::string opened = usbLink_.devicePath();
    if (!opened.empty() && usbLink_.listProgrammers().size() > 1)
        setStatusText(formatText(texts_.programmerInUse, opened.c_str()));
}

template <typename Command> void CMainDlg::runDeviceCommand(Command command) {
    // A command chosen during another one shares its stop source: it finds the
    // programmer busy anyway.
    if (deviceCommands_ == 0)
        deviceStop_ = std::stop_source();
    ++deviceCommands_;
    command(deviceStop_.get_token());
    --deviceCommands_;
}

void CMainDlg::done(int result) {
    if (deviceCommands_ > 0) {
        deviceStop_.request_stop();
        // The question must not hold the operation's loop (its transfers would pass
        // their deadlines): it comes when the command has returned.
        if (history_.modified()) {
            closeAfterCommand_ = result;
            return;
        }
    } else if (history_.modified() && !confirmClose()) {
        return;
    }
    QDialog::done(result);
}

bool CMainDlg::confirmClose() {
    QMessageBox box(this);
    box.setWindowTitle(QString::fromUtf8(texts_.windowTitle));
    box.setIcon(QMessageBox::Warning);
    box.setText(QString::fromUtf8(texts_.unsavedQuestion).replace(QLatin1String("\r\n"), "\n"));
    QPushButton* save =
        box.addButton(QString::fromUtf8(texts_.saveButton), QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton(QString::fromUtf8(texts_.discardButton), QMessageBox::DestructiveRole);
    QPushButton* cancel =
        box.addButton(QString::fromUtf8(texts_.cancelButton), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == discard)
        return true;
    // A Save that is cancelled or fails keeps the window and the changes.
    return box.clickedButton() == save && saveBuffer();
}

void CMainDlg::OnAuto() {
    const uint64_t before = history_.state();
    OperationResult result;
    runDeviceCommand(
        [this, &result](std::stop_token stop) { result = deviceOperations_.autoProgram(stop); });
    // The chip holds the buffer now, unless the buffer was changed meanwhile.
    if (result.ok() && history_.state() == before)
        bufferMatches(documentName_);
}

void CMainDlg::OnRead() {
    // A read replaces the chip's bytes of the buffer; Undo brings back what they held.
    history_.begin(buffer_, 0, currentChip_.capacity);
    OperationResult result;
    runDeviceCommand(
        [this, &result](std::stop_token stop) { result = deviceOperations_.read(stop); });
    history_.end(buffer_);
    if (result.ok())
        bufferMatches(QString::fromUtf8(
            currentChip_.name,
            static_cast<qsizetype>(strnlen(currentChip_.name, sizeof currentChip_.name))));
    updateUndoCommands();
}

void CMainDlg::OnErase() {
    runDeviceCommand([this](std::stop_token stop) { deviceOperations_.erase(stop); });
}

void CMainDlg::OnWrite() {
    const uint64_t before = history_.state();
    OperationResult result;
    runDeviceCommand(
        [this, &result](std::stop_token stop) { result = deviceOperations_.write(stop); });
    if (result.ok() && history_.state() == before)
        bufferMatches(documentName_);
}

void CMainDlg::OnVerify() {
    runDeviceCommand([this](std::stop_token stop) { deviceOperations_.verify(stop); });
}

void CMainDlg::OnChipIdentify() {
    OperationResult result;
    runDeviceCommand([this, &result](std::stop_token stop) {
        result = deviceOperations_.identify(nullptr, stop);
    });
    if (result.nor)
        showBridgeIdentity(*result.nor);
}

void CMainDlg::OnFirmwareVersion() {
    runDeviceCommand([this](std::stop_token stop) { deviceOperations_.firmwareVersion(stop); });
}

void CMainDlg::OnBlankCheck() {
    runDeviceCommand([this](std::stop_token stop) { deviceOperations_.blankCheck(stop); });
}
