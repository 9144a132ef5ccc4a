// File > Relate: makes this program the one that opens .bin and .hex files.
#include "app/MainDlg.h"
#include "desktop/FileAssociation.h"

void CMainDlg::OnFileAssociate() {
    associateDataFiles(language_);
}
