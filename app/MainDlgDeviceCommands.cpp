// Device commands of the Operation menu and the device steps of start-up. Each
// handler is the one place its command's work goes; until the device link and the
// programmer are wired in they do nothing.
#include "app/MainDlg.h"

// Start-up: open the programmer (status line and box on failure), then bind the
// programmer object to the link whether or not the device opened.
void CMainDlg::openDeviceAtStartUp() {}

void CMainDlg::OnAuto() {}

void CMainDlg::OnRead() {}

void CMainDlg::OnErase() {}

void CMainDlg::OnWrite() {}

void CMainDlg::OnVerify() {}

void CMainDlg::OnChipIdentify() {}

void CMainDlg::OnFirmwareVersion() {}
