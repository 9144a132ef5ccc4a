// Operation > Chip Select and Operation > Chip Edit: the chip database dialogs.
#include "app/MainDlg.h"

// Runs Select Device; when a chip was chosen: applyChipChangeToView(), then
// showChipInfo(currentChip()).
void CMainDlg::OnChipSelect() {}

// Runs the chip database manager on chipDatabase().
void CMainDlg::OnChipEdit() {}
