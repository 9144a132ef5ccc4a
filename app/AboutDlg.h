// Help > About: the program's icon, name and version, and an OK button.
#pragma once

#include <QDialog>

#include "res/Texts.h"

class QPushButton;

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(const Texts& texts, QWidget* parent = nullptr);
    QPushButton* okButton() const { return ok_; }

  private:
    QPushButton* ok_;
};
