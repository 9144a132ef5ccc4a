// File > Relate: makes this program the one that opens .bin and .hex files.
#include "app/MainDlg.h"

void CMainDlg::OnFileAssociate() {}
