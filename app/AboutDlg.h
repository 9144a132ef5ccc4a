// Help > About: the program's icon, name and version, and an OK button; below them, which
// chip database is in use.
#pragma once

#include <QDialog>
#include <string>

#include "res/Texts.h"

class QLabel;
class QPushButton;

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    CAboutDlg(const Texts& texts, const std::string& databasePath, QWidget* parent = nullptr);
    QPushButton* okButton() const { return ok_; }
    QLabel* databaseLabel() const { return database_; }

  private:
    QPushButton* ok_;
    QLabel* database_;
};
