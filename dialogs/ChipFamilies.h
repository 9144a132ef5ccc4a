// The family radio buttons of the chip dialogs. Their order on screen does not follow the
// ChipType numbering, so every dialog maps ids through here.
#pragma once

#include "chipdb/ChipInfo.h"
#include "res/Texts.h"

#include <optional>

enum FamilyButtonId : int {
    kFamilyAllButton = 1054, // the filter dialogs only: no family restriction
    kFamily25FlashButton = 1055,
    kFamily25EepromButton = 1056,
    kFamily24EepromButton = 1057,
    kFamily93EepromButton = 1058,
};

// The button ids from 1055 on, in their order on screen.
inline constexpr int kFamilyButtons[] = {kFamily25FlashButton, kFamily25EepromButton,
                                         kFamily24EepromButton, kFamily93EepromButton};

// The family a button stands for; none for "ALL" and unknown ids.
inline std::optional<ChipType> familyOfButton(int id) {
    switch (id) {
    case kFamily25FlashButton:
        return ChipType::Flash25;
    case kFamily25EepromButton:
        return ChipType::Eeprom25;
    case kFamily24EepromButton:
        return ChipType::Eeprom24;
    case kFamily93EepromButton:
        return ChipType::Eeprom93;
    default:
        return std::nullopt;
    }
}

// The editor's button for a chip's family; an unknown value shows as "25 FLASH".
inline int buttonOfFamily(ChipType type) {
    switch (type) {
    case ChipType::Eeprom24:
        return kFamily24EepromButton;
    case ChipType::Eeprom25:
        return kFamily25EepromButton;
    case ChipType::Eeprom93:
        return kFamily93EepromButton;
    default:
        return kFamily25FlashButton;
    }
}

inline const char* familyButtonLabel(int id, const Texts& texts) {
    switch (id) {
    case kFamily25FlashButton:
        return texts.family25Flash;
    case kFamily25EepromButton:
        return texts.family25Eeprom;
    case kFamily24EepromButton:
        return texts.family24Eeprom;
    case kFamily93EepromButton:
        return texts.family93Eeprom;
    default:
        return texts.familyAll;
    }
}
