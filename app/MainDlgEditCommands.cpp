// Edit > Fill and Edit > Exchange.
#include <algorithm>

#include "app/MainDlg.h"
#include "buffer/FillExchange.h"
#include "dialogs/BufferFillDlg.h"
#include "res/MessageBox.h"

void CMainDlg::OnEditFill() {
    // The end address starts at the chip's last byte; a chip of no size keeps FFFFFF.
    const uint32_t capacity = currentChip_.capacity;
    BufferFillDlg dialog(texts_, capacity > 0 ? capacity - 1 : 0xFFFFFF, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The bytes Fill may set, for Undo: from the start to the end clamped to the bytes
    // in use.
    const FillRequest& request = dialog.request();
    const uint64_t inUse = buffer_.lengthInStore();
    const uint64_t start = request.startAddress;
    const uint64_t count = start < inUse && request.endAddress >= start
                               ? std::min<uint64_t>(uint64_t{request.endAddress} + 1, inUse) - start
                               : 0;
    FillResult result;
    history_.record(buffer_, start, count, [&] { result = fillBuffer(buffer_, request); });
    updateUndoCommands();
    if (result.outcome != FillOutcome::Filled) {
        messageBoxIf(fillMessage(result.outcome, texts_));
        return;
    }
    refreshHexView();
}

void CMainDlg::OnEditExchange() {
    // An odd length swaps one byte past it too.
    const uint64_t inUse = buffer_.lengthInStore();
    history_.record(buffer_, 0, inUse + (inUse & 1), [this] { exchangeBytes(buffer_); });
    updateUndoCommands();
    refreshHexView();
}
