// The chip editor's fields as texts and choices, and the rules that turn them into a chip.
#pragma once

#include "chipdb/ChipInfo.h"
#include "res/Texts.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Longest texts the chip record can keep with their terminator (UTF-8 bytes).
constexpr size_t kMaxNameBytes = 39;
constexpr size_t kMaxManufacturerBytes = 19;
// Largest capacity number accepted, in the chosen unit.
constexpr uint64_t kMaxCapacityNumber = 102400;

struct ChipForm {
    std::string name;
    std::string manufacturer;
    std::string capacity;
    bool capacityInBytes = false; // "B" checked, else "KB"
    std::string minVoltage;
    std::string maxVoltage;
    bool pageProgram = true; // "PP" checked
    std::string pageSize;
    std::string manufacturerId;
    std::string deviceId;
    std::optional<ChipType> family; // none when no family button is checked
    std::string addressWidth;
    std::string memoryWidth;
    bool widthsEditable = false; // the two width edits accept input ("93 EEPROM")
};

// Reads up to `maxCount` characters from the start of `text`; each must be 0-9. None when
// the text is empty or holds another character there. The value is exact (64 bits).
std::optional<uint64_t> readDecimal(std::string_view text, size_t maxCount);
// Same with hexadecimal digits; 16 bits wide, 0xFFFF when reading fails.
uint16_t readHexadecimal(std::string_view text, size_t maxCount);

// The form showing `chip` when the editor opens.
ChipForm formFromChip(const ChipInfo& chip);

// Runs the editor's checks in their order, writing each field into `chip` as it passes.
// A name or manufacturer left as `chip` shows it keeps its stored bytes. Returns null
// when every check passed, else the message of the first that failed; the fields read
// before it stay written.
const char* readChipForm(const ChipForm& form, ChipInfo& chip, const Texts& texts);
