#include "ChipFiles.h"

#include "RawDatabase.h"
#include "TempFolder.h"
#include "chipdb/ChipDatabase.h"

#include <cstdio>
#include <memory>

ChipInfo makeChip(ChipType type, const char* name, uint32_t capacity, uint32_t programMode,
                  uint16_t pageSize, uint8_t manufacturerId, uint8_t deviceId, uint8_t memoryWidth,
                  const char* manufacturer) {
    ChipInfo chip{};
    chip.type = type;
    std::snprintf(chip.name, sizeof chip.name, "%s", name);
    std::snprintf(chip.manufacturer, sizeof chip.manufacturer, "%s", manufacturer);
    chip.minVoltage = 27;
    chip.maxVoltage = 36;
    chip.capacity = capacity;
    chip.programMode = programMode;
    chip.pageSize = pageSize;
    chip.manufacturerId = manufacturerId;
    chip.deviceId = deviceId;
    chip.memoryWidth = memoryWidth;
    return chip;
}

void writeDatabase(const std::string& path, const std::vector<ChipInfo>& chips) {
    std::vector<RawChip> raw;
    for (const ChipInfo& c : chips)
        raw.push_back({c.name, c.manufacturer, 0, uint32_t(c.type), c.capacity, c.programMode,
                       c.minVoltage, c.maxVoltage, c.manufacturerId, c.deviceId, c.pageSize,
                       c.addressWidth, c.memoryWidth});
    writeFile(path, rawDatabase(raw));
}

std::vector<ChipInfo> chipsInFile(const std::string& path) {
    auto database = std::make_unique<ChipDatabase>(Language::English, path);
    std::vector<ChipInfo> chips;
    if (!database->load())
        return chips;
    std::vector<ManufacturerName> names(ChipDatabase::kMaxRecords);
    uint16_t count = database->listManufacturers(names.data(), names.size());
    std::vector<ChipInfo> found(1024);
    for (uint16_t i = 0; i < count; ++i) {
        uint16_t n = database->find(found.data(), found.size(), names[i].data(), nullptr);
        chips.insert(chips.end(), found.begin(), found.begin() + n);
    }
    return chips;
}
