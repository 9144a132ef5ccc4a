// The I2C speed chosen for each bridge (CH341A, CH347), by device path: the window's
// Programmer menu and brimwick-cli's --i2c-speed set it, the device commands read it when
// they open the bridge for a 24 EEPROM. A bridge never set runs at 100 kHz, which every
// 24-series part and long clip leads manage; 400 kHz suits most parts on short leads.
//
// Threads: any thread may call any member.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace bridge {

class I2cSpeedSettings {
  public:
    static constexpr uint32_t kDefaultKHz = 100;

    // Keeps for `devicePath` the speed the bridge runs for a wish of `hz` (rounded down
    // to 20, 100, 400 or 750 kHz) and returns it in kHz; nullopt, with nothing changed,
    // below 20 kHz.
    std::optional<uint32_t> set(const std::string& devicePath, uint64_t hz);
    // The speed kept for `devicePath` in kHz, or the default.
    uint32_t speedFor(const std::string& devicePath) const;
    // Every speed the bridges offer in kHz, slowest first, for menus.
    static std::vector<uint32_t> choices();

  private:
    mutable std::mutex mutex_;
    std::map<std::string, uint32_t> speeds_;
};

// The speed in kHz a wish of `hz` becomes; nullopt below the slowest.
std::optional<uint32_t> i2cSpeedKHz(uint64_t hz);

} // namespace bridge
