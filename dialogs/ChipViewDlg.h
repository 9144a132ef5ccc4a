// The chip database manager (template 132): the chips of one manufacturer as a table, with
// Add, Delete and Edit. Every change is saved to the file at once and the file read back.
#pragma once

#include "chipdb/ChipDatabase.h"
#include "dialogs/ChipLists.h"
#include "res/Texts.h"

#include <QDialog>

class FamilyFilter;
class QListWidget;
class QTableWidget;

class CChipViewDlg : public QDialog {
  public:
    enum ControlId : int {
        IdManufacturerList = 1005,
        IdChipTable = 1004,
        IdAddChip = 1000,
        IdDeleteChip = 1031,
        IdEditChip = 1032,
    };

    CChipViewDlg(ChipDatabase* database, const Texts& texts, QWidget* parent = nullptr);

    QListWidget* manufacturerList() const { return manufacturers_; }
    QTableWidget* chipTable() const { return table_; }

    void OnAddChip();
    void OnDeleteChip();
    void OnEditChip();

  private:
    void fillManufacturerList(const char* reselect);
    void fillChipTable();
    void addRow(const ChipInfo& chip);
    // The chip of the first selected row, or of the first row; false for an empty table.
    bool chosenChip(ChipInfo& chip) const;
    // Runs the chip editor on `chip`; true and `chip` replaced when it ended with OK.
    bool editChip(const char* title, ChipInfo& chip);
    // Makes an edit permanent: save, read the file back, show it again.
    void saveAndReload(const char* manufacturer);

    ChipDatabase* database_;
    const Texts& texts_;
    ChipLists lists_;
    QListWidget* manufacturers_;
    QTableWidget* table_;
    FamilyFilter* filter_;
};
