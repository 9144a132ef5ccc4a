// The memory chip in the programmer's socket: its contents and how its family reads,
// programs, erases and identifies. Addresses wrap at the end of the chip.
#pragma once

#include "chipdb/ChipInfo.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// The family byte that commands carry for a chip type; 0 for an unknown type.
uint8_t familyCodeOf(ChipType type);

class ChipModel {
  public:
    // `chip` null = empty socket. Starts erased (0xFF).
    explicit ChipModel(const ChipInfo* chip);

    // A chip answers only when it is there and the command uses its family.
    bool answers(uint8_t familyCode) const;
    uint32_t capacity() const { return static_cast<uint32_t>(memory_.size()); }

    // Bytes from `address` on; 0xFF when the chip does not answer to `familyCode`.
    void read(uint8_t familyCode, uint64_t address, uint8_t* out, size_t count) const;
    // Programs bytes from `address` on: flash can only clear bits, EEPROMs take the
    // bytes as given. false when nothing was changed because the chip did not answer.
    bool program(uint8_t familyCode, uint64_t address, const uint8_t* data, size_t count);
    // Whole-chip erase of a 25 FLASH chip; false (nothing done) for other chips.
    bool erase(uint8_t familyCode);
    // Manufacturer and device ID; FF FF when the chip has none or does not answer.
    std::array<uint8_t, 2> id(uint8_t familyCode) const;

    const std::vector<uint8_t>& memory() const { return memory_; }
    std::vector<uint8_t>& memory() { return memory_; }

  private:
    bool present_ = false;
    uint8_t familyCode_ = 0;
    uint8_t manufacturerId_ = 0xFF;
    uint8_t deviceId_ = 0xFF;
    std::vector<uint8_t> memory_;
};

} // namespace sim
