// Chips and ChipInfo.chip files for the window and dialog tests (from RawDatabase.h).
#pragma once

#include "chipdb/ChipInfo.h"

#include <cstdint>
#include <string>
#include <vector>

ChipInfo makeChip(ChipType type, const char* name, uint32_t capacity, uint32_t programMode = 1,
                  uint16_t pageSize = 256, uint8_t manufacturerId = 0x1C, uint8_t deviceId = 0x13,
                  uint8_t memoryWidth = 8, const char* manufacturer = "XYZ");

// Writes a ChipInfo.chip holding `chips` in the given order.
void writeDatabase(const std::string& path, const std::vector<ChipInfo>& chips);

// The chips the file holds, as the next start of the program would read them (none when
// it does not load).
std::vector<ChipInfo> chipsInFile(const std::string& path);
