#include "dialogs/FamilyFilter.h"

#include "dialogs/ChipFamilies.h"
#include "dialogs/ControlId.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

FamilyFilter::FamilyFilter(const Texts& texts, QWidget* parent)
    : QGroupBox(QString::fromUtf8(texts.chipTypeGroup), parent), group_(new QButtonGroup(this)) {
    auto* layout = new QVBoxLayout(this);
    for (int id : {int(kFamilyAllButton), int(kFamily25FlashButton), int(kFamily25EepromButton),
                   int(kFamily24EepromButton), int(kFamily93EepromButton)}) {
        auto* radio = new QRadioButton(QString::fromUtf8(familyButtonLabel(id, texts)), this);
        setControlId(radio, id);
        group_->addButton(radio, id);
        layout->addWidget(radio);
    }
    group_->button(kFamilyAllButton)->setChecked(true);
}

std::optional<ChipType> FamilyFilter::family() const {
    return familyOfButton(group_->checkedId());
}
