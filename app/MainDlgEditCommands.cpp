// Edit > Fill and Edit > Exchange.
#include "app/MainDlg.h"
#include "dialogs/BufferFillDlg.h"
#include "buffer/FillExchange.h"
#include "res/MessageBox.h"

void CMainDlg::OnEditFill() {
    BufferFillDlg dialog(texts_, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const FillResult result = fillBuffer(buffer_, dialog.request());
    if (result.outcome != FillOutcome::Filled) {
        messageBoxIf(fillMessage(result.outcome, texts_));
        return;
    }
    refreshHexView();
}

void CMainDlg::OnEditExchange() {
    exchangeBytes(buffer_);
    refreshHexView();
}
