#include "bridge/I2cSpeedSettings.h"

#include "bridge/I2cStream.h"

#include <algorithm>

namespace bridge {

std::optional<uint32_t> i2cSpeedKHz(uint64_t hz) {
    if (hz < uint64_t{kI2cSpeedsKHz.front()} * 1000)
        return std::nullopt;
    return kI2cSpeedsKHz[i2cSpeedCode(
        static_cast<uint32_t>(std::min<uint64_t>(hz / 1000, UINT32_MAX)))];
}

std::optional<uint32_t> I2cSpeedSettings::set(const std::string& devicePath, uint64_t hz) {
    const std::optional<uint32_t> kHz = i2cSpeedKHz(hz);
    if (kHz) {
        std::lock_guard lock(mutex_);
        speeds_[devicePath] = *kHz;
    }
    return kHz;
}

uint32_t I2cSpeedSettings::speedFor(const std::string& devicePath) const {
    std::lock_guard lock(mutex_);
    const auto found = speeds_.find(devicePath);
    return found == speeds_.end() ? kDefaultKHz : found->second;
}

std::vector<uint32_t> I2cSpeedSettings::choices() {
    return {kI2cSpeedsKHz.begin(), kI2cSpeedsKHz.end()};
}

} // namespace bridge
