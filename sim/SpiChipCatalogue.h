// The chips a simulated bridge can carry, by part name, with their datasheet IDs, sizes,
// protection scheme, times and SFDP tables.
#pragma once

#include "sim/SpiEepromChip.h"
#include "sim/SpiNorChip.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

enum class SfdpVariant {
    AsBuilt, // the chip's own tables (or none, for chips without)
    None,    // 5A reads FF
    Damaged, // the basic table's density disagrees with the JEDEC ID
};

struct SpiChipOptions {
    SfdpVariant sfdp = SfdpVariant::AsBuilt;
    uint8_t status1 = 0;        // block protection set at power-on (status register 1)
    bool hardwareLock = false;  // SRP set and the WP pin held low
    uint64_t pageProgramNs = 0; // a slower (or faster) part than the datasheet's typical
};

// A JESD216B SFDP image: header, one parameter header, a 16-DWORD basic flash parameter
// table (4 KiB/32 KiB/64 KiB erase types, 256-byte pages, 3- or 4-byte addressing) and,
// for chips above 16 MiB, the 4-byte address instruction table.
std::vector<uint8_t> buildSfdp(uint32_t capacity, bool fourByte);

std::optional<SpiNorConfig> findSpiNor(const std::string& name);
std::optional<SpiEepromConfig> findSpiEeprom(const std::string& name);
// Every part name, for --help and error messages.
std::vector<std::string> spiChipNames();

// The chip named `name` on `clock`, as configured by `options`; null for an unknown name.
std::unique_ptr<SpiSlave> makeSpiChip(const std::string& name, const SpiChipOptions& options,
                                      const VirtualClock& clock);

} // namespace sim
