// A 25-series SPI EEPROM (25LC/AT25/M95 datasheets): 05 read status, 01 write status,
// 06/04 write enable/disable, 03 read, 02 write inside one page. One, two or three
// address bytes by size; a 512-byte chip with one address byte takes the ninth address
// bit in bit 3 of the read and write opcodes (0B, 0A). Writes take effect when chip
// select goes high, need WEL, clear it and keep the chip busy (WIP) for the write cycle,
// during which only status reads are answered. Status: bit 0 WIP, 1 WEL, BP0-1 in bits
// 2-3 (1: top quarter, 2: top half, 3: all protected), bit 7 WPEN.
#pragma once

#include "sim/SpiSlave.h"

#include <string>
#include <vector>

namespace sim {

struct SpiEepromConfig {
    std::string name;
    uint32_t capacity = 0;
    uint32_t pageSize = 16;
    uint32_t addressBytes = 1;
    uint64_t writeCycleNs = 5'000'000;
};

class SpiEepromChip : public SpiSlave {
  public:
    SpiEepromChip(SpiEepromConfig config, const VirtualClock& clock);

    void select() override;
    uint8_t exchange(uint8_t mosi) override;
    void deselect() override;

    void setStatus(uint8_t value) { status_ = value; }
    uint8_t status() const { return static_cast<uint8_t>((status_ & ~1) | (busy() ? 1 : 0)); }
    bool busy() const { return clock_.now() < busyUntil_; }
    std::vector<uint8_t>& memory() { return memory_; }
    const SpiEepromConfig& config() const { return config_; }

  private:
    uint32_t highAddressBit(uint8_t opcode) const;

    SpiEepromConfig config_;
    const VirtualClock& clock_;
    std::vector<uint8_t> memory_;
    uint8_t status_ = 0;
    uint64_t busyUntil_ = 0;
    bool selected_ = false;
    bool ignored_ = false;
    uint8_t opcode_ = 0;
    size_t bytes_ = 0;
    uint32_t address_ = 0;
    uint8_t newStatus_ = 0;
    std::vector<std::pair<uint32_t, uint8_t>> writes_;
};

} // namespace sim
