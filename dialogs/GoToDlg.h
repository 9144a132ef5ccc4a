// Edit > Go To Address: one hexadecimal address, up to six digits.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>

#include "res/Texts.h"

class QLineEdit;
class QPushButton;

class GoToDlg : public QDialog {
    Q_OBJECT
  public:
    explicit GoToDlg(const Texts& texts, QWidget* parent = nullptr);

    // The address typed; an empty field reads as 0.
    uint32_t address() const;
    QLineEdit* edit() const { return edit_; }
    QPushButton* okButton() const { return ok_; }

  private:
    QLineEdit* edit_;
    QPushButton* ok_;
};
