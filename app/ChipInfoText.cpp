#include "app/ChipInfoText.h"

#include "chipdb/ChipText.h"
#include "res/MessageBox.h"

namespace {

constexpr uint32_t kMiB = 0x100000;
constexpr uint32_t kKiB = 1024;

// The name fields are fixed arrays; never read past them even without a terminator.
// GBK names are shown decoded.
template <size_t N> std::string fieldText(const char (&field)[N]) {
    return chipTextForDisplay(field, N);
}

std::string scaled(uint32_t count, const char* mega, const char* kilo, const char* plain) {
    if (count >= kMiB)
        return formatText(mega, static_cast<long>(count / kMiB));
    if (count >= kKiB)
        return formatText(kilo, static_cast<long>(count / kKiB));
    return formatText(plain, static_cast<long>(count));
}

std::string idText(const char* format, uint8_t id) {
    return formatText(format, static_cast<unsigned>(id >> 4), static_cast<unsigned>(id & 0xF));
}

} // namespace

std::string capacityText(const ChipInfo& chip, const Texts& texts) {
    const uint32_t c = chip.capacity;
    if (chip.type != ChipType::Eeprom93)
        return scaled(c, texts.capMB, texts.capKB, texts.capB);
    if (chip.memoryWidth == 8)
        return scaled(c, texts.cap93M8, texts.cap93K8, texts.cap93B8);
    return scaled(c / 2, texts.cap93M16, texts.cap93K16, texts.cap93B16);
}

std::string chipInfoText(const ChipInfo& chip, const Texts& texts) {
    std::string text = formatText(texts.infoName, fieldText(chip.name).c_str());
    text += formatText(texts.infoManufacturer, fieldText(chip.manufacturer).c_str());
    text += capacityText(chip, texts);
    text += idText(texts.infoManufacturerId, chip.manufacturerId);
    text += idText(texts.infoDeviceId, chip.deviceId);
    if (chip.programMode != 0)
        text += formatText(texts.infoPageMode, static_cast<int>(chip.pageSize));
    else
        text += texts.infoByteMode;
    return text;
}
