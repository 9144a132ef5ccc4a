// The main window's side of the hex view: set-up, refresh, scrolling and the resets
// after a chip change or a file load.
#include <QFileInfo>

#include "app/HexViewWidget.h"
#include "app/MainDlg.h"
#include "buffer/DataFiles.h"

void CMainDlg::setUpHexView() {
    hexView_->setUpHexView(currentChip_.capacity);
}

void CMainDlg::refreshHexView() {
    hexView_->refreshHexView();
}

void CMainDlg::OnVScroll(int code, uint32_t position) {
    if (!startedUp_)
        return;
    hexView_->onVScroll(code, position);
}

void CMainDlg::applyChipChangeToView() {
    hexView_->endEdit();
    buffer_.setLength(currentChip_.capacity);
    hexView_->resetToTop();
    setUpHexView();
    refreshHexView();
}

void CMainDlg::applyIdentifiedChipToView() {
    hexView_->endEdit();
    buffer_.setLength(currentChip_.capacity);
    hexView_->resetToTop();
    refreshHexView();
}

void CMainDlg::resetViewAfterLoad() {
    hexView_->resetToTop();
    refreshHexView();
}

bool CMainDlg::loadDataFile(const std::string& name, std::string* failure) {
    if (failure)
        *failure = texts_.fileOpenFailed;
    if (!buffer_.allocated())
        return false;
    bool loaded = false;
    history_.record(buffer_, 0, currentChip_.capacity, [&] {
        loaded = ::loadDataFile(buffer_, currentChip_.capacity, name, texts_, failure);
    });
    if (loaded)
        bufferMatches(QFileInfo(QFile::decodeName(name.c_str())).fileName());
    updateUndoCommands();
    if (!loaded)
        return false;
    resetViewAfterLoad();
    return true;
}
