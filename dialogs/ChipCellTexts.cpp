#include "dialogs/ChipCellTexts.h"

#include "chipdb/ChipText.h"
#include "res/MessageBox.h"

std::string voltageCellText(uint8_t tenths) {
    return formatText("%d.%dV", tenths / 10, tenths % 10);
}

std::string capacityCellText(const ChipInfo& chip) {
    unsigned long capacity = chip.capacity;
    if (chip.type == ChipType::Eeprom93) {
        if (chip.memoryWidth == 8)
            return capacity < 1024 ? formatText("%lu x8bit", capacity)
                                   : formatText("%luK x8bit", capacity / 1024);
        return capacity < 2048 ? formatText("%lu x16bit", capacity / 2)
                               : formatText("%luK x16bit", capacity / 2048);
    }
    return capacity < 1024 ? formatText("%luB", capacity) : formatText("%luKB", capacity / 1024);
}

std::string identificationCellText(uint8_t value) {
    return formatText("%X%X", value >> 4, value & 0x0F);
}

std::string fieldText(const char* field, size_t size) {
    return chipTextForDisplay(field, size);
}

std::array<std::string, kChipTableColumns> chipRowTexts(const ChipInfo& chip, int rowNumber,
                                                        const Texts& texts) {
    bool pageProgram = chip.programMode != 0;
    return {
        formatText("%d", rowNumber),
        fieldText(chip.name, sizeof chip.name),
        voltageCellText(chip.minVoltage),
        voltageCellText(chip.maxVoltage),
        capacityCellText(chip),
        pageProgram ? texts.cellPageProgram : texts.cellByteProgram,
        pageProgram ? formatText("%d", chip.pageSize) : std::string(texts.cellInvalid),
        identificationCellText(chip.manufacturerId),
        identificationCellText(chip.deviceId),
    };
}
