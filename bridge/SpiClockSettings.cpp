#include "bridge/SpiClockSettings.h"

#include "bridge/Ch347Spi.h"

#include <cctype>
#include <cstdio>

namespace bridge {

std::optional<uint32_t> SpiClockSettings::set(const std::string& devicePath, uint64_t hz) {
    const std::optional<uint32_t> clock = ch347Clock(hz);
    if (clock) {
        std::lock_guard lock(mutex_);
        clocks_[devicePath] = *clock;
    }
    return clock;
}

uint32_t SpiClockSettings::clockFor(const std::string& devicePath) const {
    std::lock_guard lock(mutex_);
    const auto found = clocks_.find(devicePath);
    return found == clocks_.end() ? Ch347Spi::kDefaultClockHz : found->second;
}

std::vector<uint32_t> SpiClockSettings::choices() {
    std::vector<uint32_t> clocks;
    for (int shift = 0; shift <= Ch347Spi::kSlowestShift; ++shift)
        clocks.push_back(Ch347Spi::kBaseClockHz >> shift);
    return clocks;
}

std::optional<uint64_t> parseSpiClock(std::string_view text) {
    // Whole and fractional digits, read exactly in millionths so "7.5MHz" is not 7499999.
    size_t at = 0;
    uint64_t whole = 0;
    size_t digits = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at, ++digits) {
        whole = whole * 10 + static_cast<uint64_t>(text[at] - '0');
        if (whole > 1'000'000'000'000)
            return std::nullopt;
    }
    uint64_t fraction = 0; // millionths
    size_t fractionDigits = 0;
    if (at < text.size() && text[at] == '.') {
        for (++at; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
            if (++fractionDigits > 6)
                return std::nullopt;
            fraction = fraction * 10 + static_cast<uint64_t>(text[at] - '0');
        }
        for (size_t i = fractionDigits; i < 6; ++i)
            fraction *= 10;
    }
    if (digits + fractionDigits == 0)
        return std::nullopt;
    while (at < text.size() && text[at] == ' ')
        ++at;
    std::string unit;
    for (; at < text.size(); ++at)
        unit += static_cast<char>(std::tolower(static_cast<unsigned char>(text[at])));
    uint64_t scale = 0;
    if (unit.empty() || unit == "hz")
        scale = 1;
    else if (unit == "k" || unit == "khz")
        scale = 1'000;
    else if (unit == "m" || unit == "mhz")
        scale = 1'000'000;
    else
        return std::nullopt;
    const uint64_t hz = whole * scale + fraction * scale / 1'000'000;
    if (hz == 0 || (scale == 1 && fraction != 0))
        return std::nullopt;
    return hz;
}

std::string spiClockText(uint32_t hz) {
    char text[32];
    if (hz >= 1'000'000)
        std::snprintf(text, sizeof text, "%g MHz", hz / 1e6);
    else
        std::snprintf(text, sizeof text, "%g kHz", hz / 1e3);
    return text;
}

} // namespace bridge
