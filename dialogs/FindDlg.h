// Edit > Find: what to look for (hex bytes or text) and which way. The dialog stays
// open between searches; each button press asks the window to search from its caret.
// Text is found in either case of its letters unless "match case" is checked (text only).
#pragma once

#include <QDialog>
#include <QString>

#include "buffer/ByteSearch.h"
#include "res/Texts.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class FindDlg : public QDialog {
    Q_OBJECT
  public:
    // Starts with the last search's text, kind and case choice.
    FindDlg(const Texts& texts, const QString& text, bool hex, bool matchCase = false,
            QWidget* parent = nullptr);

    QString text() const;
    bool hex() const;
    bool matchCase() const;
    QCheckBox* matchCaseOption() const { return matchCase_; }
    QLineEdit* edit() const { return edit_; }
    QRadioButton* hexOption() const { return hexOption_; }
    QRadioButton* textOption() const { return textOption_; }
    QPushButton* nextButton() const { return next_; }
    QPushButton* previousButton() const { return previous_; }

  signals:
    void findRequested(SearchDirection direction);

  private:
    QLineEdit* edit_;
    QRadioButton* hexOption_;
    QRadioButton* textOption_;
    QCheckBox* matchCase_;
    QPushButton* next_;
    QPushButton* previous_;
};
