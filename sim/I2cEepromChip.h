// A 24-series I2C EEPROM: device address 1010 + A2-A0 (the block bits of the larger
// parts take the place of low A bits; the others must be 0, the pins tied low), one or
// two word address bytes, a page buffer (writes wrap inside the page, as the parts do),
// and a self-timed write cycle started by the stop condition, during which the chip
// acknowledges nothing. Reads continue across the whole array and wrap at its end.
#pragma once

#include "sim/I2cSlave.h"
#include "sim/SpiSlave.h"

#include <optional>
#include <string>
#include <vector>

namespace sim {

struct I2cEepromConfig {
    std::string name;
    uint32_t capacity = 0;
    uint32_t pageSize = 0;
    uint64_t writeCycleNs = 5'000'000;
};

std::optional<I2cEepromConfig> findI2cEeprom(const std::string& name);
std::vector<std::string> i2cEepromNames();

class I2cEepromChip : public I2cSlave {
  public:
    I2cEepromChip(I2cEepromConfig config, const VirtualClock& clock);

    void start() override;
    bool write(uint8_t byte) override;
    uint8_t read(bool ack) override;
    void stop() override;

    const I2cEepromConfig& config() const { return config_; }
    std::vector<uint8_t>& memory() { return memory_; }
    bool busy() const;
    uint64_t writeCycles() const { return writeCycles_; }

  private:
    enum class Phase { Idle, DeviceAddress, WordAddress, Data, Reading };
    uint32_t addressBytes() const { return config_.capacity <= 2048 ? 1 : 2; }

    I2cEepromConfig config_;
    const VirtualClock& clock_;
    std::vector<uint8_t> memory_;
    Phase phase_ = Phase::Idle;
    uint32_t pointer_ = 0;
    uint32_t addressLeft_ = 0;
    // The page being loaded: its bytes and which of them were written.
    std::vector<uint8_t> page_;
    std::vector<bool> loaded_;
    uint32_t pageBase_ = 0;
    uint64_t busyUntil_ = 0;
    uint64_t writeCycles_ = 0;
};

} // namespace sim
