// 93-series Microwire EEPROM algorithms over any MicrowireBus.
//
// Instructions: start bit 1, two opcode bits, the address (its length from the size and
// the organisation: 93C46 7/6 bits in x8/x16, 93C56/66 9/8, 93C76/86 11/10), data MSB
// first. Programming needs EWEN before and gets EWDS after; the chip shows busy (DO 0)
// while CS is high until its write cycle ends. x16 cells are high byte first in memory.
#pragma once

#include "bridge/ChipResult.h"
#include "bridge/MicrowireBus.h"

#include <span>
#include <stop_token>

namespace bridge {

struct MicrowireGeometry {
    uint32_t capacity = 0;
    uint32_t width = 16;           // bits per cell: 8 or 16 (the ORG pin)
    uint32_t writeCycleUs = 5000;  // WRITE and ERASE, the datasheet's longest
    uint32_t wholeCycleUs = 15000; // ERAL and WRAL
};

uint32_t microwireAddressBits(uint32_t capacity, uint32_t width);

class MicrowireEeprom {
  public:
    MicrowireEeprom(MicrowireBus& bus, MicrowireGeometry geometry);

    uint32_t addressBits() const { return addressBits_; }
    uint32_t width() const { return geometry_.width; }
    // NoChip when DO does not drive the dummy 0 that precedes READ data.
    ChipResult read(uint32_t address, std::span<uint8_t> dest, int passes = 1,
                    std::stop_token stop = {}, const Progress& progress = {});
    // Whole cells only (x16: even address and length). Checks the chip answers first,
    // then WRITE per cell with a ready poll, EWDS, and a read back.
    ChipResult write(uint32_t address, std::span<const uint8_t> data, std::stop_token stop = {},
                     const Progress& progress = {});
    // ERAL: every cell FF, checked by a read.
    ChipResult eraseAll(std::stop_token stop = {});

  private:
    uint32_t cellBytes() const { return geometry_.width / 8; }
    MicrowireFrame instruction(uint32_t opcode, uint32_t address) const;
    // EWEN or EWDS (the two bits after 00).
    MicrowireFrame control(uint32_t sub) const { return instruction(0, sub << (addressBits_ - 2)); }
    ChipResult readOnce(uint32_t cell, std::span<uint8_t> dest, std::stop_token stop);
    ChipResult waitReady(std::stop_token stop);

    MicrowireBus& bus_;
    MicrowireGeometry geometry_;
    uint32_t addressBits_;
};

} // namespace bridge
