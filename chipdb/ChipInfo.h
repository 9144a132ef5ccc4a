// One chip's parameters as the whole program passes them around (copied by value).
#pragma once

#include <cstdint>

enum class ChipType : uint32_t {
    Flash25 = 0,
    Eeprom24 = 1,
    Eeprom25 = 2,
    Eeprom93 = 3,
};

struct ChipInfo {
    ChipType type;
    char name[40];         // NUL-terminated, at most 39 characters
    char manufacturer[40]; // NUL-terminated; the file keeps 20 bytes, so at most 19 characters
    uint8_t minVoltage;    // tenths of a volt
    uint8_t maxVoltage;
    uint32_t capacity;    // bytes (a 16-bit Microwire chip still counts bytes)
    uint32_t programMode; // 1 page program, 0 byte program
    uint16_t pageSize;
    uint8_t manufacturerId;
    uint8_t deviceId;
    uint8_t addressWidth; // Microwire only, 0 otherwise
    uint8_t memoryWidth;  // 8 or 16 for Microwire, 8 otherwise
};

// The all-zero chip used when the default chip is missing.
inline ChipInfo zeroChip() {
    return ChipInfo{};
}
