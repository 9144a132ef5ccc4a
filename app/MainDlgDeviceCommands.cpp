// Device commands of the Operation menu and the device steps of start-up. The work is
// DeviceOperations'; the window shows what it reports.
#include "app/MainDlg.h"

void CMainDlg::DeviceHost::setStatusText(const char* text) {
    window_.setStatusText(text);
}

void CMainDlg::DeviceHost::showProgress() {
    window_.showProgress();
}

void CMainDlg::DeviceHost::showPercent(int percent) {
    window_.showPercent(percent);
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

// Start-up: open the programmer (status line and box on failure), then bind the
// programmer object to the link whether or not the device opened.
void CMainDlg::openDeviceAtStartUp() {
    deviceOperations_.openAtStartUp();
    setProgressSource([this] { return programmer_.getProgress(); });
}

void CMainDlg::OnAuto() {
    deviceOperations_.autoProgram();
}

void CMainDlg::OnRead() {
    // A read replaces the chip's bytes of the buffer; Undo brings back what they held.
    history_.begin(buffer_, 0, currentChip_.capacity);
    deviceOperations_.read();
    history_.end(buffer_);
    updateUndoCommands();
}

void CMainDlg::OnErase() {
    deviceOperations_.erase();
}

void CMainDlg::OnWrite() {
    deviceOperations_.write();
}

void CMainDlg::OnVerify() {
    deviceOperations_.verify();
}

void CMainDlg::OnChipIdentify() {
    deviceOperations_.identify();
}

void CMainDlg::OnFirmwareVersion() {
    deviceOperations_.firmwareVersion();
}
