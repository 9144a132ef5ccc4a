#include "dialogs/ChipForm.h"

#include "chipdb/ChipText.h"
#include "dialogs/ChipCellTexts.h"
#include "res/MessageBox.h"

#include <algorithm>
#include <cstring>

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexDigitValue(char c) {
    if (isDigit(c))
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// "d.d" -> tenths of a volt; `highestDigit` bounds both digits.
std::optional<uint8_t> readVoltage(std::string_view text, char highestDigit) {
    if (text.size() != 3 || text[1] != '.')
        return std::nullopt;
    for (char c : {text[0], text[2]})
        if (c < '0' || c > highestDigit)
            return std::nullopt;
    return static_cast<uint8_t>(10 * (text[0] - '0') + (text[2] - '0'));
}

// Copies `text` with its terminator into a cleared fixed field; the caller has checked
// that it fits.
void storeText(char* field, size_t fieldSize, const std::string& text) {
    std::memset(field, 0, fieldSize);
    std::memcpy(field, text.data(), std::min(text.size(), fieldSize - 1));
}

} // namespace

std::optional<uint64_t> readDecimal(std::string_view text, size_t maxCount) {
    std::string_view digits = text.substr(0, std::min(text.size(), maxCount));
    if (digits.empty() || maxCount > 19) // 19 digits always fit in 64 bits
        return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

uint16_t readHexadecimal(std::string_view text, size_t maxCount) {
    std::string_view digits = text.substr(0, std::min(text.size(), maxCount));
    if (digits.empty())
        return 0xFFFF;
    uint16_t value = 0;
    for (char c : digits) {
        int digit = hexDigitValue(c);
        if (digit < 0)
            return 0xFFFF;
        value = static_cast<uint16_t>((value << 4) | digit);
    }
    return value;
}

ChipForm formFromChip(const ChipInfo& chip) {
    ChipForm form;
    form.name = fieldText(chip.name, sizeof chip.name);
    form.manufacturer = fieldText(chip.manufacturer, sizeof chip.manufacturer);
    form.capacityInBytes = chip.capacity < 1024;
    unsigned long capacity = form.capacityInBytes ? chip.capacity : chip.capacity / 1024;
    form.capacity = formatText("%lu", capacity);
    form.minVoltage = formatText("%d.%d", chip.minVoltage / 10, chip.minVoltage % 10);
    form.maxVoltage = formatText("%d.%d", chip.maxVoltage / 10, chip.maxVoltage % 10);
    form.pageProgram = chip.programMode != 0;
    form.pageSize = formatText("%d", chip.pageSize);
    form.manufacturerId = identificationCellText(chip.manufacturerId);
    form.deviceId = identificationCellText(chip.deviceId);
    switch (chip.type) {
    case ChipType::Eeprom24:
    case ChipType::Eeprom25:
    case ChipType::Eeprom93:
        form.family = chip.type;
        break;
    default:
        form.family = ChipType::Flash25;
    }
    form.widthsEditable = chip.type == ChipType::Eeprom93;
    if (form.widthsEditable) {
        form.addressWidth = formatText("%d", chip.addressWidth);
        form.memoryWidth = formatText("%d", chip.memoryWidth);
    } else {
        form.addressWidth = " ";
        form.memoryWidth = " ";
    }
    return form;
}

const char* readChipForm(const ChipForm& form, ChipInfo& chip, const Texts& texts) {
    // A text left as shown keeps the bytes it came from (a GBK name stays GBK). The
    // record keeps 40 bytes of the name and 20 of the manufacturer, each with its
    // terminator; a longer text is refused rather than cut.
    std::string name = chipTextToStore(form.name, chip.name, sizeof chip.name);
    if (name.size() > kMaxNameBytes)
        return texts.nameTooLong;
    storeText(chip.name, sizeof chip.name, name);
    std::string manufacturer =
        chipTextToStore(form.manufacturer, chip.manufacturer, sizeof chip.manufacturer);
    if (manufacturer.size() > kMaxManufacturerBytes)
        return texts.manufacturerTooLong;
    storeText(chip.manufacturer, sizeof chip.manufacturer, manufacturer);

    std::optional<uint64_t> capacity = readDecimal(form.capacity, 10);
    if (!capacity || *capacity > kMaxCapacityNumber)
        return texts.capacityError;
    chip.capacity = static_cast<uint32_t>(form.capacityInBytes ? *capacity : *capacity * 1024);

    std::optional<uint8_t> minVoltage = readVoltage(form.minVoltage, '8');
    if (!minVoltage)
        return texts.minVoltageError;
    chip.minVoltage = *minVoltage;
    std::optional<uint8_t> maxVoltage = readVoltage(form.maxVoltage, '9');
    if (!maxVoltage)
        return texts.maxVoltageError;
    chip.maxVoltage = *maxVoltage;

    if (form.pageProgram) {
        chip.programMode = 1;
        std::optional<uint64_t> pageSize = readDecimal(form.pageSize, 4);
        if (!pageSize)
            return texts.pageSizeError;
        chip.pageSize = static_cast<uint16_t>(*pageSize);
    } else {
        chip.programMode = 0;
    }

    if (!form.family)
        return texts.chipTypeError;
    chip.type = *form.family;

    chip.manufacturerId = static_cast<uint8_t>(readHexadecimal(form.manufacturerId, 2));
    chip.deviceId = static_cast<uint8_t>(readHexadecimal(form.deviceId, 2));

    if (chip.type == ChipType::Eeprom93) {
        std::optional<uint64_t> addressWidth = readDecimal(form.addressWidth, 2);
        if (!addressWidth || *addressWidth < 1 || *addressWidth > 20)
            return texts.addressWidthError;
        chip.addressWidth = static_cast<uint8_t>(*addressWidth);
        std::optional<uint64_t> memoryWidth = readDecimal(form.memoryWidth, 2);
        if (!memoryWidth || (*memoryWidth != 8 && *memoryWidth != 16))
            return texts.memoryWidthError;
        chip.memoryWidth = static_cast<uint8_t>(*memoryWidth);
    } else {
        chip.addressWidth = 0;
        chip.memoryWidth = 8;
    }
    return nullptr;
}
