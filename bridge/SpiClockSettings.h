// The SPI clock chosen for each bridge whose clock can be set (the CH347), by device
// path: the window's Programmer menu and brimwick-cli's --spi-clock set it, the device
// commands read it when they open the bridge. A bridge never set runs at the CH347's
// default, 15 MHz (several chips fail verify at 60 MHz on these bridges).
//
// Threads: any thread may call any member.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

class SpiClockSettings {
  public:
    // Keeps for `devicePath` the clock its bridge runs for a wish of `hz` (rounded down
    // to 60 MHz / 2^n) and returns it; nullopt, with nothing changed, below the slowest.
    std::optional<uint32_t> set(const std::string& devicePath, uint64_t hz);
    // The clock kept for `devicePath`, or the default.
    uint32_t clockFor(const std::string& devicePath) const;
    // Every clock the bridge offers, fastest first, for menus.
    static std::vector<uint32_t> choices();

  private:
    mutable std::mutex mutex_;
    std::map<std::string, uint32_t> clocks_;
};

// A clock as a user writes it: "30000000", "30MHz", "7.5 MHz", "468.75kHz", "30M";
// nullopt for anything else (a negative, zero, empty or unit-less fraction).
std::optional<uint64_t> parseSpiClock(std::string_view text);
// "15 MHz", "468.75 kHz": as menus and messages show a clock.
std::string spiClockText(uint32_t hz);

} // namespace bridge
