#include "sim/I2cEepromChip.h"

#include <algorithm>

namespace sim {
namespace {

// Page sizes and write cycles of Microchip 24LC and ST M24 datasheets.
const I2cEepromConfig kParts[] = {
    {"24C01", 128, 8},     {"24C02", 256, 8},      {"24C04", 512, 16},     {"24C08", 1024, 16},
    {"24C16", 2048, 16},   {"24C32", 4096, 32},    {"24C64", 8192, 32},    {"24C128", 16384, 64},
    {"24C256", 32768, 64}, {"24C512", 65536, 128}, {"24M01", 131072, 256}, {"24M02", 262144, 256},
};

} // namespace

std::optional<I2cEepromConfig> findI2cEeprom(const std::string& name) {
    for (const I2cEepromConfig& c : kParts)
        if (c.name == name)
            return c;
    return std::nullopt;
}

std::vector<std::string> i2cEepromNames() {
    std::vector<std::string> names;
    for (const I2cEepromConfig& c : kParts)
        names.push_back(c.name);
    return names;
}

I2cEepromChip::I2cEepromChip(I2cEepromConfig config, const VirtualClock& clock)
    : config_(std::move(config)), clock_(clock), memory_(config_.capacity, 0xFF),
      page_(config_.pageSize), loaded_(config_.pageSize) {}

bool I2cEepromChip::busy() const {
    return clock_.now() < busyUntil_;
}

void I2cEepromChip::start() {
    phase_ = Phase::DeviceAddress;
}

bool I2cEepromChip::write(uint8_t byte) {
    const uint32_t blockShift = 8 * addressBytes();
    switch (phase_) {
    case Phase::Idle:
    case Phase::Reading:
        return false;
    case Phase::DeviceAddress: {
        // Block bits: as many low A bits as the array needs above the word address.
        const uint32_t blocks = std::max<uint32_t>(1, config_.capacity >> blockShift);
        const uint8_t blockMask = static_cast<uint8_t>((blocks - 1) << 1);
        if (busy() || (byte & 0xF0) != 0xA0 || (byte & 0x0E & ~blockMask) != 0) {
            phase_ = Phase::Idle;
            return false;
        }
        if (byte & 1) {
            phase_ = Phase::Reading;
            return true;
        }
        const uint32_t block = (byte & blockMask) >> 1;
        pointer_ = (block << blockShift) % config_.capacity;
        addressLeft_ = addressBytes();
        phase_ = Phase::WordAddress;
        std::fill(loaded_.begin(), loaded_.end(), false);
        return true;
    }
    case Phase::WordAddress: {
        --addressLeft_;
        const uint32_t shift = 8 * addressLeft_;
        pointer_ = (pointer_ & ~(0xFFu << shift)) | uint32_t{byte} << shift;
        pointer_ %= config_.capacity;
        if (addressLeft_ == 0) {
            phase_ = Phase::Data;
            pageBase_ = pointer_ - pointer_ % config_.pageSize;
        }
        return true;
    }
    case Phase::Data: {
        const uint32_t offset = pointer_ % config_.pageSize;
        page_[offset] = byte;
        loaded_[offset] = true;
        // The address counter wraps inside the page.
        pointer_ = pageBase_ + (offset + 1) % config_.pageSize;
        return true;
    }
    }
    return false;
}

uint8_t I2cEepromChip::read(bool) {
    if (phase_ != Phase::Reading)
        return 0xFF; // nobody drives SDA
    const uint8_t value = memory_[pointer_];
    pointer_ = (pointer_ + 1) % config_.capacity;
    return value;
}

void I2cEepromChip::stop() {
    if (phase_ == Phase::Data && std::find(loaded_.begin(), loaded_.end(), true) != loaded_.end()) {
        for (uint32_t i = 0; i < config_.pageSize; ++i)
            if (loaded_[i])
                memory_[pageBase_ + i] = page_[i];
        busyUntil_ = clock_.now() + config_.writeCycleNs;
        ++writeCycles_;
    }
    phase_ = Phase::Idle;
}

} // namespace sim
