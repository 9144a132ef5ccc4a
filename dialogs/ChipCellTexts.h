// The texts of one row of the database manager's chip table.
#pragma once

#include "chipdb/ChipInfo.h"
#include "res/Texts.h"

#include <array>
#include <cstdint>
#include <string>

constexpr int kChipTableColumns = 9;

std::string voltageCellText(uint8_t tenths);        // 27 -> "2.7V"
std::string capacityCellText(const ChipInfo& chip); // "1024KB", "256 x16bit", ...
std::string identificationCellText(uint8_t value);  // two uppercase hex digits
// A fixed char field up to its NUL, as UTF-8 to show (GBK names decoded).
std::string fieldText(const char* field, size_t size);

// Column texts of the row with number `rowNumber` (counted from 1).
std::array<std::string, kChipTableColumns> chipRowTexts(const ChipInfo& chip, int rowNumber,
                                                        const Texts& texts);
