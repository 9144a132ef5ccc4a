#include "chipdb/UnknownChip.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kSmallestCodedCapacity = 128 * 1024; // device byte 10h
constexpr uint32_t kThreeByteLimit = 16u * 1024 * 1024;

uint32_t capacityFromDeviceId(uint8_t deviceId) {
    if (deviceId == 0x05)
        return kSmallestCodedCapacity / 2;
    if (deviceId >= 0x10 && deviceId <= 0x19)
        return kSmallestCodedCapacity << (deviceId - 0x10);
    return 0;
}

} // namespace

UnknownChipRow unknownChipRow(const ChipDatabase& database, uint8_t manufacturerId,
                              uint8_t deviceId) {
    UnknownChipRow row{};
    ChipInfo& chip = row.chip;
    chip.type = ChipType::Flash25;
    std::snprintf(chip.name, sizeof chip.name, "NEW-%02X%02X", manufacturerId, deviceId);
    std::snprintf(chip.manufacturer, sizeof chip.manufacturer, "ID %02X", manufacturerId);
    ChipInfo known{};
    for (uint16_t i = 0; database.chipAt(i, &known) == 1; ++i) {
        if (known.type == ChipType::Flash25 && known.manufacturerId == manufacturerId) {
            std::memcpy(chip.manufacturer, known.manufacturer, sizeof chip.manufacturer);
            break;
        }
    }
    chip.minVoltage = 27;
    chip.maxVoltage = 36;
    chip.capacity = capacityFromDeviceId(deviceId);
    chip.programMode = 1;
    chip.pageSize = 256;
    chip.manufacturerId = manufacturerId;
    chip.deviceId = deviceId;
    chip.memoryWidth = 8;
    char source[32];
    std::snprintf(source, sizeof source, "identify %02X %02X", manufacturerId, deviceId);
    row.facts = ChipFacts{
        "-",   "4K=20 32K=52 64K=D8 chip=C7", chip.capacity > kThreeByteLimit ? "4" : "3", "?", "-",
        source};
    return row;
}
