// The text of the chip information box, built from a chip and the build's texts.
#pragma once

#include <string>

#include "chipdb/ChipInfo.h"
#include "res/Texts.h"

// Name, manufacturer, capacity, both identifiers and the programming mode, each
// carrying its own \r\n line ends.
std::string chipInfoText(const ChipInfo& chip, const Texts& texts);

// The capacity line(s) alone: bytes for 25 FLASH, 24 and 25 EEPROM; cells of 8 bits or
// words of 16 bits (with the byte-order note) for 93 EEPROM.
std::string capacityText(const ChipInfo& chip, const Texts& texts);
