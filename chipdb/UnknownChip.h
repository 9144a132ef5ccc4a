// The chip-table row offered for a 25 FLASH chip whose ID bytes (90h) the database lacks:
// the IDs as answered, the maker of another chip with the same manufacturer byte, and the
// capacity that most makers encode in the device byte (10h = 128 KiB, each step doubles;
// 05h = 64 KiB), else 0 so that mkchipdb refuses the row until the user fills it in.
#pragma once

#include "chipdb/ChipDatabase.h"
#include "chipdb/ChipTable.h"

struct UnknownChipRow {
    ChipInfo chip;
    ChipFacts facts;
};

UnknownChipRow unknownChipRow(const ChipDatabase& database, uint8_t manufacturerId,
                              uint8_t deviceId);
