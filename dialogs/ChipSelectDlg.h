// Select Device (template 134): manufacturers, their chips, and a family filter. Reads the
// database only.
#pragma once

#include "chipdb/ChipDatabase.h"
#include "dialogs/ChipLists.h"
#include "res/Texts.h"

#include <QDialog>

class FamilyFilter;
class QListWidget;

class CChipSelectDlg : public QDialog {
  public:
    enum ControlId : int { IdManufacturerList = 1044, IdDeviceList = 1043 };

    CChipSelectDlg(const ChipDatabase* database, const Texts& texts, QWidget* parent = nullptr);

    // After the dialog ended with Accepted: copies the chosen chip and returns true; false
    // (nothing written) when no chip was selected.
    bool getSelectedChip(ChipInfo* out) const;

    QListWidget* manufacturerList() const { return manufacturers_; }
    QListWidget* deviceList() const { return devices_; }

    // OK, and a double-click on a chip: takes the device list's selection.
    void accept() override;

  private:
    void fillManufacturerList();
    void fillDeviceList();

    ChipLists lists_;
    QListWidget* manufacturers_;
    QListWidget* devices_;
    FamilyFilter* filter_;
    int selectedIndex_ = -1;
};
