// Select Device (template 134): manufacturers, their chips, and a family filter. Reads the
// database only. A name filter narrows both lists as the user types; the chips are shown
// in natural name order, and only manufacturers with a chip that passes both filters.
#pragma once

#include "chipdb/ChipDatabase.h"
#include "dialogs/ChipLists.h"
#include "res/Texts.h"

#include <QDialog>

class FamilyFilter;
class QLineEdit;
class QListWidget;

class CChipSelectDlg : public QDialog {
  public:
    enum ControlId : int { IdManufacturerList = 1044, IdDeviceList = 1043 };

    // Opens on `current` (its manufacturer and the chip selected) when the database has it.
    CChipSelectDlg(const ChipDatabase* database, const Texts& texts,
                   const ChipInfo* current = nullptr, QWidget* parent = nullptr);

    // After the dialog ended with Accepted: copies the chosen chip and returns true; false
    // (nothing written) when no chip was selected.
    bool getSelectedChip(ChipInfo* out) const;

    QListWidget* manufacturerList() const { return manufacturers_; }
    QListWidget* deviceList() const { return devices_; }
    QLineEdit* filterEdit() const { return nameFilter_; }

    // OK, and a double-click on a chip: takes the device list's selection.
    void accept() override;

  protected:
    // Up, Down, Page Up and Page Down in the name filter move through the chips, so that
    // typing a part of a name and picking the chip need no mouse.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Refill, keeping the selected manufacturer and chip where they are still listed
    // (null: the first).
    void fillManufacturerList(const char* keepManufacturer, const char* keepChip);
    void fillDeviceList(const char* keepChip = nullptr);
    // Refill both lists for the filters now set.
    void refilter();
    ChipFilter currentFilter() const;

    ChipLists lists_;
    QListWidget* manufacturers_;
    QListWidget* devices_;
    FamilyFilter* filter_;
    QLineEdit* nameFilter_;
    int selectedIndex_ = -1;
};
