// The "Chip Type:" box of the filter dialogs: ALL and the four families, ALL checked.
#pragma once

#include "chipdb/ChipInfo.h"
#include "res/Texts.h"

#include <QGroupBox>
#include <optional>

class QButtonGroup;

class FamilyFilter : public QGroupBox {
  public:
    FamilyFilter(const Texts& texts, QWidget* parent);

    // The checked family; none for "ALL".
    std::optional<ChipType> family() const;
    QButtonGroup* buttons() const { return group_; }

  private:
    QButtonGroup* group_;
};
