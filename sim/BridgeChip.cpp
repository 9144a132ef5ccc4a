#include "sim/BridgeChip.h"

namespace sim {

BridgeChip makeBridgeChip(const std::string& name, const SpiChipOptions& options, uint32_t width,
                          const VirtualClock& clock) {
    BridgeChip chip;
    if (auto i2c = findI2cEeprom(name))
        chip.i2c = std::make_unique<I2cEepromChip>(*i2c, clock);
    else if (auto wire = findMicrowire(name))
        chip.microwire = std::make_unique<MicrowireChip>(*wire, width, clock);
    else
        chip.spi = makeSpiChip(name, options, clock);
    return chip;
}

void attachBridgeChip(Ch341aDevice& device, BridgeChip& chip) {
    device.attachChip(chip.spi.get());
    device.attachI2c(chip.i2c.get());
    device.attachMicrowire(chip.microwire.get());
}

} // namespace sim
