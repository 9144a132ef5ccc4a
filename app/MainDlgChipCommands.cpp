// Operation > Chip Select and Operation > Chip Edit: the chip database dialogs.
#include "app/MainDlg.h"
#include "dialogs/ChipDialogs.h"

// The dialog runs without a parent window; the buffer keeps its bytes, only the
// length in use and the view follow the new chip.
void CMainDlg::OnChipSelect() {
    if (!runChipSelect(chipDatabase_, currentChip_, texts_))
        return;
    applyChipChangeToView();
    showChipInfo(currentChip_);
}

// The manager saves every change at once; the current chip stays the copy taken earlier.
void CMainDlg::OnChipEdit() {
    runChipEdit(chipDatabase_, texts_);
}
