#include "protocol/FamilyParams.h"

FamilyParams& familyParams() {
    static FamilyParams params;
    return params;
}

int setFamilyParams(FamilyParams& params, const ChipInfo& chip) {
    switch (chip.type) {
    case ChipType::Flash25:
        params.familyCode = 1;
        params.addressMode = 3;
        return 1;
    case ChipType::Eeprom24:
        params.familyCode = 2;
        if (chip.deviceId == 0xFE) {
            params.addressMode = 3;
        } else {
            params.addressMode = chip.capacity <= 2048 ? 0x13 : 0x23;
        }
        return 1;
    case ChipType::Eeprom25:
        params.familyCode = 3;
        params.addressMode = chip.capacity <= 512 ? 3 : 0x13;
        return 1;
    case ChipType::Eeprom93:
        params.familyCode = 4;
        params.addressMode = static_cast<uint8_t>(chip.addressWidth * 16 + 3);
        params.widthMode = chip.memoryWidth == 8 ? 3 : 1;
        return 1;
    }
    return 0;
}
