#include "sim/ChipModel.h"

#include "sim/ProgrammerFirmware.h"

#include <algorithm>

namespace sim {

uint8_t familyCodeOf(ChipType type) {
    switch (type) {
    case ChipType::Flash25:
        return 1;
    case ChipType::Eeprom24:
        return 2;
    case ChipType::Eeprom25:
        return 3;
    case ChipType::Eeprom93:
        return 4;
    }
    return 0;
}

ChipModel::ChipModel(const ChipInfo* chip) {
    if (chip == nullptr) {
        return;
    }
    familyCode_ = familyCodeOf(chip->type);
    const uint32_t size = std::min(chip->capacity, kMaxChipBytes);
    present_ = familyCode_ != 0 && size > 0;
    if (!present_) {
        return;
    }
    memory_.assign(size, 0xFF);
    if (familyCode_ == 1) {
        manufacturerId_ = chip->manufacturerId;
        deviceId_ = chip->deviceId;
    }
}

bool ChipModel::answers(uint8_t familyCode) const {
    return present_ && familyCode == familyCode_;
}

void ChipModel::read(uint8_t familyCode, uint64_t address, uint8_t* out, size_t count) const {
    if (!answers(familyCode)) {
        std::fill(out, out + count, uint8_t{0xFF});
        return;
    }
    const size_t size = memory_.size();
    size_t position = static_cast<size_t>(address % size);
    while (count > 0) {
        const size_t run = std::min(count, size - position);
        std::copy_n(memory_.data() + position, run, out);
        out += run;
        count -= run;
        position = 0;
    }
}

bool ChipModel::program(uint8_t familyCode, uint64_t address, const uint8_t* data, size_t count) {
    if (!answers(familyCode)) {
        return false;
    }
    const size_t size = memory_.size();
    size_t position = static_cast<size_t>(address % size);
    const bool flash = familyCode_ == 1;
    for (size_t i = 0; i < count; ++i) {
        memory_[position] = flash ? static_cast<uint8_t>(memory_[position] & data[i]) : data[i];
        if (++position == size) {
            position = 0;
        }
    }
    return true;
}

bool ChipModel::erase(uint8_t familyCode) {
    if (!answers(familyCode) || familyCode_ != 1) {
        return false;
    }
    std::fill(memory_.begin(), memory_.end(), uint8_t{0xFF});
    return true;
}

std::array<uint8_t, 2> ChipModel::id(uint8_t familyCode) const {
    if (!answers(familyCode)) {
        return {0xFF, 0xFF};
    }
    return {manufacturerId_, deviceId_};
}

} // namespace sim
