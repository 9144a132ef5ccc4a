// ChipInfo.chip built byte by byte from the file layout, without the program's own code:
// header (count, checksum of the records, 97 reserved bytes), then 108-byte records (type 0,
// name 4, manufacturer 44, voltages 64, padding 66, capacity 68, mode 72, page size 76,
// IDs 78, widths 80, reserved 82).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct RawChip {
    std::string name, manufacturer = "Winbond";
    char filler = 0; // padding and reserved bytes
    uint32_t type = 0, capacity = 1048576, programMode = 1;
    uint8_t minVoltage = 27, maxVoltage = 36, manufacturerId = 0xEF, deviceId = 0x13;
    uint16_t pageSize = 256;
    uint8_t addressWidth = 0, memoryWidth = 8;
};

inline std::string littleEndian(uint32_t value, int size) {
    std::string bytes;
    for (int i = 0; i < size; ++i)
        bytes += static_cast<char>(value >> (8 * i));
    return bytes;
}

inline std::string rawRecord(const RawChip& c) {
    return littleEndian(c.type, 4) + c.name + std::string(40 - c.name.size(), '\0') +
           c.manufacturer + std::string(20 - c.manufacturer.size(), '\0') +
           std::string{char(c.minVoltage), char(c.maxVoltage), c.filler, c.filler} +
           littleEndian(c.capacity, 4) + littleEndian(c.programMode, 4) +
           littleEndian(c.pageSize, 2) +
           std::string{char(c.manufacturerId), char(c.deviceId), char(c.addressWidth),
                       char(c.memoryWidth)} +
           std::string(26, c.filler);
}

// A whole file: the header, the records, then `tail`.
inline std::string rawDatabase(const std::vector<RawChip>& chips, const std::string& tail = "",
                               char reserved = 0) {
    std::string records;
    uint8_t sum = 0;
    for (const RawChip& chip : chips)
        records += rawRecord(chip);
    for (char byte : records)
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(byte));
    return littleEndian(uint32_t(chips.size()), 2) + char(sum) + std::string(97, reserved) +
           records + tail;
}

// The name in record `slot` of a file.
inline std::string nameAt(const std::string& file, size_t slot) {
    const char* field = file.data() + 100 + 108 * slot + 4;
    return std::string(field, strnlen(field, 40));
}
