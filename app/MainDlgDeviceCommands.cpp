// Device commands of the Operation menu and the device steps of start-up. The work is
// DeviceOperations'; the window shows what it reports.
#include "app/MainDlg.h"

#include "res/MessageBox.h"

#include <QInputDialog>
#include <QStringList>

#include <algorithm>

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
    if (deviceCommands_ > 0)
        deviceStop_.request_stop();
    QDialog::done(result);
}

void CMainDlg::OnAuto() {
    runDeviceCommand([this](std::stop_token stop) { deviceOperations_.autoProgram(stop); });
}

void CMainDlg::OnRead() {
    // A read replaces the chip's bytes of the buffer; Undo brings back what they held.
    history_.begin(buffer_, 0, currentChip_.capacity);
    runDeviceCommand([this](std::stop_token stop) { deviceOperations_.read(stop); });
    history_.end(buffer_);
    updateUndoCommands();
}

void CMainDlg::OnErase() {
    runDeviceCommand([this](std::stop_token stop) { deviceOperations_.erase(stop); });
}

void CMainDlg::OnWrite() {
    runDeviceCommand([this](std::stop_token stop) { deviceOperations_.write(stop); });
}

void CMainDlg::OnVerify() {
    runDeviceCommand([this](std::stop_token stop) { deviceOperations_.verify(stop); });
}

void CMainDlg::OnChipIdentify() {
    runDeviceCommand([this](std::stop_token stop) { deviceOperations_.identify(nullptr, stop); });
}

void CMainDlg::OnFirmwareVersion() {
    runDeviceCommand([this](std::stop_token stop) { deviceOperations_.firmwareVersion(stop); });
}

void CMainDlg::OnBlankCheck() {
    runDeviceCommand([this](std::stop_token stop) { deviceOperations_.blankCheck(stop); });
}
