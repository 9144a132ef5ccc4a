// 24-series I2C EEPROM algorithms over any I2cBus.
//
// Device address 1010 + three bits + R/W. Up to 2 KiB one address byte follows, and the
// address bits above it (24C04/08/16) go in the device address as block bits; above,
// two address bytes, with block bits again for the parts above 64 KiB (24M01/24M02).
// Page writes never cross a page; during its write cycle the chip acknowledges nothing,
// so after each page the bridge polls the device address (ACK polling) until it answers.
#pragma once

#include "bridge/ChipResult.h"
#include "bridge/I2cBus.h"

#include <span>
#include <stop_token>

namespace bridge {

struct I2cEepromGeometry {
    uint32_t capacity = 0;
    uint32_t pageSize = 0;        // 0: the usual page of this size (i2cPageSize)
    uint32_t writeCycleUs = 5000; // the datasheet's longest write cycle
};

// The page size 24-series parts of `capacity` bytes have: 8 up to 256 bytes, 16 up to
// 2 KiB, 32 up to 8 KiB, 64 up to 32 KiB, 128 for 64 KiB, 256 above.
uint32_t i2cPageSize(uint32_t capacity);

class I2cEeprom {
  public:
    // Address bits A2-A0 tied low.
    static constexpr uint8_t kDeviceAddress = 0xA0;

    I2cEeprom(I2cBus& bus, I2cEepromGeometry geometry);

    uint32_t addressBytes() const { return geometry_.capacity <= 2048 ? 1 : 2; }
    // The device address byte (write) for `address`, block bits included.
    uint8_t deviceAddress(uint32_t address) const;

    // NoChip when nothing acknowledges the device address (no chip, wrong address pins,
    // no pull-ups), after waiting out a write cycle in case the chip was busy.
    ChipResult probe(std::stop_token stop = {});
    // With `passes` > 1 the range is read again and ReadsDiffer reported where a pass
    // differs from the first.
    ChipResult read(uint32_t address, std::span<uint8_t> dest, int passes = 1,
                    std::stop_token stop = {}, const Progress& progress = {});
    // Probes first (nothing is written without an answer), writes page by page, then
    // reads back: VerifyFailed at the first byte that differs.
    ChipResult write(uint32_t address, std::span<const uint8_t> data, std::stop_token stop = {},
                     const Progress& progress = {});

    uint64_t pagesWritten() const { return pagesWritten_; }

  private:
    ChipResult readOnce(uint32_t address, std::span<uint8_t> dest, std::stop_token stop,
                        const Progress& progress);
    // Polls the device address until it is acknowledged, at most kMaxPollUs of bus time.
    ChipResult waitReady(uint32_t address, std::stop_token stop);
    // Polls that together take about `us` of bus time at the current clock.
    void addPolls(I2cScript* script, uint32_t address, uint32_t us) const;
    uint32_t pollsFor(uint32_t us) const;

    I2cBus& bus_;
    I2cEepromGeometry geometry_;
    uint64_t pagesWritten_ = 0;
};

} // namespace bridge
