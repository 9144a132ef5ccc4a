// A box for a result the user may want to keep: the text in a read-only, selectable
// field, a Copy button that puts all of it on the clipboard, and OK. Checksum and
// Compare with File show their results here.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "res/Texts.h"

class QPlainTextEdit;
class QPushButton;

class ReportDlg : public QDialog {
    Q_OBJECT
  public:
    ReportDlg(const Texts& texts, const char* title, const std::string& text,
              QWidget* parent = nullptr);

    QString text() const;
    QPlainTextEdit* textField() const { return field_; }
    QPushButton* copyButton() const { return copy_; }
    QPushButton* okButton() const { return ok_; }

  private:
    QPlainTextEdit* field_;
    QPushButton* copy_;
    QPushButton* ok_;
};
