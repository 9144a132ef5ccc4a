// 25-series SPI EEPROM algorithms over any SpiBus: read, and page writes each followed
// by a status poll done on the bridge. One address byte up to 512 bytes (the ninth
// address bit in bit 3 of the opcode), two up to 64 KiB, three above. Status bits BP0-1
// (2-3) protect the top quarter, half or all of the chip.
#pragma once

#include "bridge/ChipResult.h"
#include "bridge/SpiBus.h"

#include <span>
#include <stop_token>

namespace bridge {

struct EepromGeometry {
    uint32_t capacity = 0;
    uint32_t pageSize = 16;
};

class SpiEeprom {
  public:
    SpiEeprom(SpiBus& bus, EepromGeometry geometry);

    uint32_t addressBytes() const;
    // These chips have no ID: one answers write enable by setting WEL in its status register
    // (bits 4-6 always read 0). NoChip when the status reads FF (MISO floats high), NoContact
    // when WEL stays 0 with every bit low (MISO held low). Leaves write enable off.
    ChipResult checkPresence(std::stop_token stop = {});
    ChipResult read(uint32_t address, std::span<uint8_t> dest, std::stop_token stop = {},
                    const Progress& progress = {});
    // Protected (with the range) when the status register protects part of the range;
    // else writes and reads back. Bytes outside the range stay as they are.
    ChipResult write(uint32_t address, std::span<const uint8_t> data, std::stop_token stop = {},
                     const Progress& progress = {});

    // Clears BP0-1 with write enable and a status write; NotCleared when they stayed.
    ChipResult clearProtection(std::stop_token stop = {});

  private:
    std::vector<uint8_t> header(uint8_t opcode, uint32_t address) const;
    ChipResult waitReady(uint8_t status, std::stop_token stop);
    // The protected range the status register selects.
    ChipResult protectedRange(uint32_t* begin, uint8_t* status, std::stop_token stop);

    SpiBus& bus_;
    EepromGeometry geometry_;
};

} // namespace bridge
