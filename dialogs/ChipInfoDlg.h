// The chip editor (template 133): one chip's parameters, checked field by field on OK.
// It never touches the database; the caller stores the result.
#pragma once

#include "chipdb/ChipInfo.h"
#include "dialogs/ChipForm.h"
#include "res/Texts.h"

#include <QDialog>

class QAbstractButton;
class QButtonGroup;
class QLineEdit;

class CChipInfoDlg : public QDialog {
  public:
    enum ControlId : int {
        IdName = 1021,
        IdManufacturer = 1028,
        IdCapacity = 1024,
        IdUnitB = 1059,
        IdUnitKB = 1060,
        IdMinVoltage = 1020,
        IdMaxVoltage = 1022,
        IdPageProgram = 1029,
        IdByteProgram = 1030,
        IdPageSize = 1025,
        IdManufacturerId = 1026,
        IdDeviceId = 1027,
        IdAddressWidth = 1034,
        IdMemoryWidth = 1031,
    };

    // `start` null: the editor starts from an all-zero chip.
    CChipInfoDlg(const char* title, const ChipInfo* start, const Texts& texts,
                 QWidget* parent = nullptr);

    // The edited chip; meaningful after the dialog ended with Accepted.
    void getResult(ChipInfo* out) const;

    QLineEdit* edit(int id) const;
    QAbstractButton* button(int id) const;

    // OK: checks the fields; stays open with a message when one is wrong.
    void accept() override;

  private:
    void buildControls();
    void showChip();
    ChipForm readControls() const;
    void setWidthsEditable(bool editable);

    const Texts& texts_;
    ChipInfo chip_{};
    QButtonGroup* unitGroup_ = nullptr;
    QButtonGroup* modeGroup_ = nullptr;
    QButtonGroup* familyGroup_ = nullptr;
};
