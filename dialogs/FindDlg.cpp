#include "dialogs/FindDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

FindDlg::FindDlg(const Texts& texts, const QString& text, bool hex, bool matchCase, QWidget* parent)
    : QDialog(parent), edit_(new QLineEdit(text, this)),
      hexOption_(new QRadioButton(QString::fromUtf8(texts.findHexOption), this)),
      textOption_(new QRadioButton(QString::fromUtf8(texts.findTextOption), this)),
      matchCase_(new QCheckBox(QString::fromUtf8(texts.findMatchCase), this)),
      next_(new QPushButton(QString::fromUtf8(texts.findNextButton), this)),
      previous_(new QPushButton(QString::fromUtf8(texts.findPreviousButton), this)) {
    setWindowTitle(QString::fromUtf8(texts.findTitle));
    (hex ? hexOption_ : textOption_)->setChecked(true);
    // Hex bytes have no letter case: the choice belongs to text.
    matchCase_->setChecked(matchCase);
    matchCase_->setEnabled(!hex);
    connect(textOption_, &QRadioButton::toggled, matchCase_, &QCheckBox::setEnabled);
    auto* close = new QPushButton(QString::fromUtf8(texts.closeButton), this);
    next_->setDefault(true);
    previous_->setAutoDefault(false);
    close->setAutoDefault(false);
    connect(next_, &QPushButton::clicked, this,
            [this] { emit findRequested(SearchDirection::Forward); });
    connect(previous_, &QPushButton::clicked, this,
            [this] { emit findRequested(SearchDirection::Backward); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QString::fromUtf8(texts.findLabel), this), 0, 0);
    grid->addWidget(edit_, 0, 1, 1, 2);
    grid->addWidget(hexOption_, 1, 1);
    grid->addWidget(textOption_, 1, 2);
    grid->addWidget(matchCase_, 2, 2);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(next_);
    buttons->addWidget(previous_);
    buttons->addWidget(close);
    grid->addLayout(buttons, 3, 0, 1, 3);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    edit_->setMinimumWidth(220);
    edit_->selectAll();
    edit_->setFocus();
}

QString FindDlg::text() const {
    return edit_->text();
}

bool FindDlg::hex() const {
    return hexOption_->isChecked();
}

bool FindDlg::matchCase() const {
    return matchCase_->isChecked();
}
