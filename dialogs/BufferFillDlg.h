// Edit > Fill's dialog: start address, end address and the byte to write, each typed
// in hexadecimal. A filter keeps every edit to hexadecimal digits as the user types.
#pragma once

#include <QDialog>
#include <QString>

#include "buffer/FillExchange.h"
#include "res/Texts.h"

class QLineEdit;
class QPushButton;

class BufferFillDlg : public QDialog {
    Q_OBJECT
  public:
    // Control ids of the dialog, by role.
    enum ControlId {
        IdStartAddress = 1049,
        IdEndAddress = 1050,
        IdFillData = 1051,
        IdOk = 1052,
        IdCancel = 1053,
    };

    // The end address starts at `lastAddress`, the chip's last byte (six hex digits; a
    // chip past 16 MiB starts at FFFFFF, which Fill clamps to the bytes in use).
    explicit BufferFillDlg(const Texts& texts, uint32_t lastAddress = 0xFFFFFF,
                           QWidget* parent = nullptr);

    // Results, valid after the dialog closed with OK.
    bool inputValid() const { return request_.inputValid; }
    uint32_t startAddress() const { return request_.startAddress; }
    uint32_t endAddress() const { return request_.endAddress; }
    uint8_t fillValue() const { return request_.fillValue; }
    const FillRequest& request() const { return request_; }

    QLineEdit* edit(ControlId id) const;
    QPushButton* button(ControlId id) const;

    // Every way of closing with OK (the OK button, Enter) reads the three texts first.
    void accept() override;
    void reject() override;

  private:
    struct FilteredEdit {
        QLineEdit* edit = nullptr;
        QString lastAccepted;
    };
    void filterInput(FilteredEdit& field);

    FilteredEdit start_;
    FilteredEdit end_;
    FilteredEdit data_;
    QPushButton* ok_;
    QPushButton* cancel_;
    FillRequest request_;
    bool restoring_ = false;
};
