// The chip a simulated bridge carries, whatever its bus: an SPI part, a 24-series I2C
// EEPROM or a 93-series Microwire EEPROM (in x8 or x16 organisation), attached to the
// CH341A model.
#pragma once

#include "sim/Ch341aDevice.h"
#include "sim/I2cEepromChip.h"
#include "sim/MicrowireChip.h"
#include "sim/SpiChipCatalogue.h"

#include <memory>
#include <string>

namespace sim {

struct BridgeChip {
    std::unique_ptr<SpiSlave> spi;
    std::unique_ptr<I2cEepromChip> i2c;
    std::unique_ptr<MicrowireChip> microwire;
    bool present() const { return spi || i2c || microwire; }
};

// Null members when `name` is no part of any list. `width` is the Microwire organisation.
BridgeChip makeBridgeChip(const std::string& name, const SpiChipOptions& options, uint32_t width,
                          const VirtualClock& clock);
void attachBridgeChip(Ch341aDevice& device, BridgeChip& chip);

} // namespace sim
