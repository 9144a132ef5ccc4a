// The chip-family bytes that every chip command carries, derived from the selected chip.
// A set belongs to the Programmer that sends it and to that programmer's thread.
#pragma once

#include "chipdb/ChipInfo.h"

#include <cstdint>

struct FamilyParams {
    uint8_t familyCode = 0;  // 1 25 FLASH, 2 24 EEPROM, 3 25 EEPROM, 4 93 EEPROM
    uint8_t addressMode = 0; // how the programmer addresses the chip
    uint8_t widthMode = 0;   // 93 EEPROM organisation: 3 = x8, 1 = x16
    uint8_t reserved[2] = {0, 0};
};

// The one set of the process, which the window's Programmer uses: all zero at start,
// changed only by setFamilyParams, used only on the window's thread. A front end that
// drives several programmers gives each its own set instead (Programmer(FamilyParams&)).
FamilyParams& familyParams();

// Sets `params` for the chip's family: 1 for a known family, 0 (nothing changed)
// otherwise. widthMode is set only for a 93 EEPROM chip: the other families send
// whatever it last held, as the programmer has always received it.
int setFamilyParams(FamilyParams& params, const ChipInfo& chip);
